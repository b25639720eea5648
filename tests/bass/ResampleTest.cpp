// Rate conversion in the mixer, measured on what reaches the capture output: tones from low-rate and
// high-rate sources stand clear of images and aliases, the pass band is flat, the result agrees with
// FFmpeg's own resampling, and the frequency attribute and its slides change the rate sample-exactly.
#include "BassTestUtil.h"

#include <algorithm>
#include <atomic>
#include <functional>

namespace {

using bt::Lib;

constexpr double kAmp = 0.5;

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// A 16-bit stereo WAV file whose frame i holds left(i), right(i) (values in -1..1).
std::string WriteWav(const std::string& path, int rate, size_t frames, const std::function<double(size_t)>& left,
                     const std::function<double(size_t)>& right) {
  std::vector<uint8_t> v;
  uint32_t data = uint32_t(frames * 4);
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  Put32(v, 36 + data);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(v, 16);
  Put16(v, 1);
  Put16(v, 2);
  Put32(v, uint32_t(rate));
  Put32(v, uint32_t(rate) * 4);
  Put16(v, 4);
  Put16(v, 16);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(v, data);
  auto q = [](double x) { return uint32_t(uint16_t(int16_t(std::lrint(std::clamp(x, -1.0, 1.0) * 32767.0)))); };
  for (size_t i = 0; i < frames; ++i) {
    Put16(v, q(left(i)));
    Put16(v, q(right(i)));
  }
  bt::WriteFile(path, v);
  return path;
}

// Tones one after the other, "segment" frames each: tone k at fractions[k] of the source's Nyquist
// frequency on the left, and at 0.7 of that on the right (so a channel mix-up shows).
std::string WriteToneSteps(const std::string& path, int rate, const std::vector<double>& fractions, size_t segment) {
  auto tone = [&, segment](size_t i, double scale) {
    double f = fractions[std::min(i / segment, fractions.size() - 1)] * 0.5 * scale;  // cycles per frame
    return kAmp * std::sin(2 * M_PI * f * double(i % segment));
  };
  return WriteWav(
      path, rate, segment * fractions.size(), [&](size_t i) { return tone(i, 1.0); },
      [&](size_t i) { return tone(i, 0.7); });
}

// Least-squares fit of a tone of known frequency (cycles per frame) to one channel over frames
// [from, to): its amplitude and the RMS of everything else (images, aliases, noise, DC).
struct ToneFit {
  double amp = 0, rest = 0;
  double ToRestDb() const { return bt::Db(amp / std::sqrt(2.0) / rest); }
};
ToneFit FitTone(const std::vector<float>& s, int chans, int ch, double cycles, size_t from, size_t to) {
  double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
  for (size_t i = from; i < to; ++i) {
    double a = 2 * M_PI * cycles * double(i - from), c = std::cos(a), sn = std::sin(a), x = s[i * chans + ch];
    cc += c * c;
    ss += sn * sn;
    cs += c * sn;
    xc += x * c;
    xs += x * sn;
  }
  double det = cc * ss - cs * cs;
  double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
  double res = 0;
  for (size_t i = from; i < to; ++i) {
    double ang = 2 * M_PI * cycles * double(i - from);
    double e = s[i * chans + ch] - (a * std::cos(ang) + b * std::sin(ang));
    res += e * e;
  }
  ToneFit f;
  f.amp = std::hypot(a, b);
  f.rest = std::sqrt(res / double(to - from));
  return f;
}

bool WaitStopped(DWORD h, double secs = 60) {
  return bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, secs);
}

void CALLBACK CountSync(HSYNC, DWORD, DWORD, void* user) { static_cast<std::atomic<int>*>(user)->fetch_add(1); }

// Plays a file to its end through the fast capture output; "setup" runs before play.
struct Played {
  bt::Wav wav;
  QWORD position = 0, length = 0;
  float freq = 0;  // the frequency attribute at the end
};
Played PlayToEnd(Lib& lib, const std::string& file, const std::function<void(HSTREAM)>& setup = {}) {
  Played p;
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  EXPECT_NE(h, 0u);
  if (setup) setup(h);
  EXPECT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitStopped(h));
  p.position = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
  p.length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  BASS_ChannelGetAttribute(h, BASS_ATTRIB_FREQ, &p.freq);
  p.wav = lib.Finish();
  return p;
}

// The middle of tone segment k of a capture (edges skipped: the tone starts and stops abruptly there).
std::pair<size_t, size_t> Middle(size_t k, size_t segment, int rate) {
  double scale = 44100.0 / rate;
  size_t from = size_t(std::ceil(double(k * segment) * scale)), to = size_t(double((k + 1) * segment) * scale);
  size_t edge = 2205;  // 50 ms
  return {from + edge, to - edge};
}

class SourceRate : public ::testing::TestWithParam<int> {};

TEST_P(SourceRate, TonesStandSeventyDecibelsAboveImagesAliasesAndNoise) {
  const int rate = GetParam();
  const std::vector<double> fractions = {0.05, 0.3, 0.6, 0.8, 0.9};
  const size_t segment = size_t(rate) / 4;
  Lib lib;
  ASSERT_TRUE(lib.ok);
  auto p = PlayToEnd(lib, WriteToneSteps(lib.dir / "tones.wav", rate, fractions, segment));
  ASSERT_EQ(p.wav.chans, 2);
  ASSERT_EQ(p.wav.rate, 44100);
  for (size_t k = 0; k < fractions.size(); ++k) {
    auto [from, to] = Middle(k, segment, rate);
    ASSERT_LE(to, p.wav.samples.size() / 2);
    for (int ch = 0; ch < 2; ++ch) {
      double hz = fractions[k] * rate / 2 * (ch ? 0.7 : 1.0);
      ToneFit f = FitTone(p.wav.samples, 2, ch, hz / 44100, from, to);
      EXPECT_GE(f.ToRestDb(), 70.0) << rate << " Hz source, " << hz << " Hz tone, channel " << ch;
    }
  }
  // The whole source was played, and took its own duration at the output rate.
  EXPECT_EQ(p.position, p.length);
  double expected = double(segment * fractions.size()) * 44100.0 / rate;
  EXPECT_NEAR(double(p.wav.samples.size() / 2), expected, 1.0);
}

TEST_P(SourceRate, PassBandIsFlatToNineTenthsOfTheSourceNyquistFrequency) {
  const int rate = GetParam();
  std::vector<double> fractions;
  for (int k = 1; k <= 9; ++k) fractions.push_back(k / 10.0);
  const size_t segment = size_t(rate) / 5;
  Lib lib;
  ASSERT_TRUE(lib.ok);
  auto p = PlayToEnd(lib, WriteToneSteps(lib.dir / "sweep.wav", rate, fractions, segment));
  double written = std::lrint(kAmp * 32767.0) / 32768.0;
  for (size_t k = 0; k < fractions.size(); ++k) {
    auto [from, to] = Middle(k, segment, rate);
    ASSERT_LE(to, p.wav.samples.size() / 2);
    for (int ch = 0; ch < 2; ++ch) {
      double hz = fractions[k] * rate / 2 * (ch ? 0.7 : 1.0);
      ToneFit f = FitTone(p.wav.samples, 2, ch, hz / 44100, from, to);
      EXPECT_NEAR(bt::Db(f.amp / written), 0.0, 0.5) << rate << " Hz source, " << hz << " Hz tone, channel " << ch;
    }
  }
}

// Signal-to-difference ratio of "ours" against "ref" (one channel) at the best alignment within
// +-maxLag frames, over the reference's frames [from, to).
double AlignedSnrDb(const std::vector<float>& ours, const std::vector<float>& ref, int ch, size_t from, size_t to,
                    int maxLag = 300) {
  double best = -1e9;
  for (int lag = -maxLag; lag <= maxLag; ++lag) {
    double sig = 0, err = 0;
    for (size_t i = from; i < to; ++i) {
      long j = long(i) + lag;
      if (j < 0 || size_t(j) * 2 + 1 >= ours.size()) continue;
      double r = ref[i * 2 + size_t(ch)], e = r - ours[size_t(j) * 2 + size_t(ch)];
      sig += r * r;
      err += e * e;
    }
    if (err > 0) best = std::max(best, 10 * std::log10(sig / err));
  }
  return best;
}

TEST_P(SourceRate, AgreesWithFfmpegsOwnResampling) {
  const int rate = GetParam();
  const size_t frames = size_t(rate) * 3 / 2;
  const double seconds = double(frames) / rate;
  // A chirp over most of the pass band on the left, two tones on the right.
  auto chirp = [&](size_t i) {
    double t = double(i) / rate, f0 = 0.02 * rate / 2, f1 = 0.8 * rate / 2;
    return 0.45 * std::sin(2 * M_PI * (f0 * t + (f1 - f0) * t * t / (2 * seconds)));
  };
  auto tones = [&](size_t i) {
    double t = double(i) / rate;
    return 0.3 * std::sin(2 * M_PI * 0.13 * rate * t) + 0.2 * std::sin(2 * M_PI * 0.37 * rate * t + 1.0);
  };
  Lib lib;
  ASSERT_TRUE(lib.ok);
  std::string src = WriteWav(lib.dir / "src.wav", rate, frames, chirp, tones);
  auto p = PlayToEnd(lib, src);
  for (const char* resampler : {"soxr", "swr"}) {
    std::string ref = lib.dir / (std::string(resampler) + ".raw");
    std::string cmd = "ffmpeg -nostdin -y -i \"" + src + "\" -af aresample=resampler=" + resampler +
                      " -ar 44100 -f f32le -c:a pcm_f32le \"" + ref + "\"";
    ASSERT_EQ(bt::Run(cmd), 0) << cmd;
    auto bytes = bt::ReadFile(ref);
    std::vector<float> r(bytes.size() / 4);
    std::memcpy(r.data(), bytes.data(), r.size() * 4);
    size_t n = std::min(r.size(), p.wav.samples.size()) / 2;
    ASSERT_GT(n, 8820u);
    for (int ch = 0; ch < 2; ++ch) {
      double snr = AlignedSnrDb(p.wav.samples, r, ch, 2205, n - 2205);
      std::printf("%d Hz source, channel %d: %.1f dB against FFmpeg (%s)\n", rate, ch, snr, resampler);
      if (std::string(resampler) == "soxr") {
        EXPECT_GE(snr, 46.0) << rate << " Hz, channel " << ch;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, SourceRate, ::testing::Values(8000, 11025, 22050, 32000, 48000));

// 1 kHz on the left, 3 kHz on the right, 44.1 kHz.
std::string WriteTwoTones(const std::string& path, double seconds) {
  size_t frames = size_t(seconds * 44100);
  return WriteWav(
      path, 44100, frames, [](size_t i) { return kAmp * std::sin(2 * M_PI * 1000.0 * double(i) / 44100); },
      [](size_t i) { return kAmp * std::sin(2 * M_PI * 3000.0 * double(i) / 44100); });
}

TEST(Speed, AFrequencySlideEndsAtItsTargetWithTheOutputLengthOfTheRateItPlayed) {
  Lib lib;
  ASSERT_TRUE(lib.ok);
  std::string file = WriteTwoTones(lib.dir / "t.wav", 1.0);
  std::atomic<int> slideEnds{0};
  auto p = PlayToEnd(lib, file, [&](HSTREAM h) {
    BASS_ChannelSetSync(h, BASS_SYNC_SLIDE, 0, CountSync, &slideEnds);
    // Half speed, reached over the first 500 ms of output.
    ASSERT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_FREQ, 22050, 500));
  });
  EXPECT_EQ(slideEnds.load(), 1);
  EXPECT_EQ(p.freq, 22050.0f);
  EXPECT_EQ(p.position, p.length);
  // 22050 output frames while the rate falls linearly from 1 to 0.5 take 16537.5 source frames; the
  // other 27562.5 play at half speed: 55125 more.
  EXPECT_NEAR(double(p.wav.samples.size() / 2), 22050 + 55125, 2.0);
  // After the slide the tones sound an octave lower, clean.
  size_t from = 22050 + 4410, to = p.wav.samples.size() / 2 - 4410;
  EXPECT_GE(FitTone(p.wav.samples, 2, 0, 500.0 / 44100, from, to).ToRestDb(), 70.0);
  EXPECT_GE(FitTone(p.wav.samples, 2, 1, 1500.0 / 44100, from, to).ToRestDb(), 70.0);
}

TEST(Speed, FasterThanTheOutputRateKeepsTonesCleanAndFiltersWhatWouldAlias) {
  Lib lib;
  ASSERT_TRUE(lib.ok);
  // Left 1 kHz; right 20 kHz, which at 1.25 times the speed lies above the output's Nyquist frequency.
  std::string file = WriteWav(
      lib.dir / "t.wav", 44100, 44100, [](size_t i) { return kAmp * std::sin(2 * M_PI * 1000.0 * double(i) / 44100); },
      [](size_t i) { return kAmp * std::sin(2 * M_PI * 20000.0 * double(i) / 44100); });
  auto p = PlayToEnd(lib, file, [](HSTREAM h) { ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_FREQ, 55125)); });
  EXPECT_EQ(p.position, p.length);
  EXPECT_NEAR(double(p.wav.samples.size() / 2), 44100 / 1.25, 1.0);
  size_t from = 2205, to = p.wav.samples.size() / 2 - 2205;
  EXPECT_GE(FitTone(p.wav.samples, 2, 0, 1250.0 / 44100, from, to).ToRestDb(), 70.0);
  // Whatever of the right channel is left (its alias would sit at 19.1 kHz) is 70 dB below the tone.
  EXPECT_LE(bt::Db(bt::Rms(p.wav.samples, 2, 1, from, to) / (kAmp / std::sqrt(2.0))), -70.0);
}

TEST(Speed, BackToTheNaturalRateOnAWholeFramePassesSamplesUnchanged) {
  // Doubling the rate for a while moves the position by whole frames; after the return to the
  // stream's own rate the samples must reach the output exactly as decoded.
  Lib lib(true, nullptr);  // real time: the rate changes while the stream plays
  ASSERT_TRUE(lib.ok);
  std::string file = WriteTwoTones(lib.dir / "t.wav", 2.0);
  HSTREAM d = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  auto ref = bt::AsS16(bt::DecodeAll(d));
  BASS_StreamFree(d);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_FREQ, 88200));
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) > 40000; }));
  ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_FREQ, 0));
  ASSERT_LT(BASS_ChannelGetPosition(h, BASS_POS_BYTE), BASS_ChannelGetLength(h, BASS_POS_BYTE) / 2);
  ASSERT_TRUE(WaitStopped(h));
  auto w = lib.Finish();
  // The last 0.3 s are the decode's last 0.3 s, sample for sample.
  size_t tail = 13230 * 2;
  ASSERT_GE(w.samples.size(), tail);
  size_t diffs = 0;
  for (size_t i = 0; i < tail; ++i)
    diffs += w.samples[w.samples.size() - tail + i] != ref[ref.size() - tail + i] / 32768.0f;
  EXPECT_EQ(diffs, 0u);
}

}  // namespace

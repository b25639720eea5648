// The library's effects measured on generated signals (decoding user streams read with GetData).
#include "BassTestUtil.h"

namespace {

struct Signal {
  double freq = 1000;
  double amp = 0.5;
  bool impulse = false;
  long n = 0;
};

// Float stereo: a sine, or a single impulse followed by silence.
DWORD CALLBACK Gen(HSTREAM, void* buf, DWORD len, void* user) {
  auto* s = static_cast<Signal*>(user);
  auto* f = static_cast<float*>(buf);
  for (DWORD i = 0; i < len / 8; ++i, ++s->n) {
    float v = s->impulse ? (s->n == 0 ? 1.0f : 0.0f) : float(s->amp * std::sin(2 * M_PI * s->freq * s->n / 44100.0));
    f[2 * i] = f[2 * i + 1] = v;
  }
  return len;
}

std::vector<float> Read(DWORD h, size_t frames) {
  std::vector<float> out(frames * 2);
  DWORD got = BASS_ChannelGetData(h, out.data(), DWORD(out.size() * 4));
  EXPECT_EQ(got, out.size() * 4);
  return out;
}

double RmsAfterSettling(DWORD h) {
  auto x = Read(h, 44100);
  return bt::Rms(x, 2, 0, 8820);
}

class Fx : public ::testing::Test {
protected:
  bt::Lib lib{false};
  Signal sig;
  DWORD Stream() {
    DWORD h = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT, Gen, &sig);
    EXPECT_NE(h, 0u);
    return h;
  }
  double Gain(double freq, const BASS_DX8_PARAMEQ& p) {
    sig = Signal{freq};
    DWORD plain = Stream();
    double ref = RmsAfterSettling(plain);
    sig = Signal{freq};
    DWORD h = Stream();
    HFX fx = BASS_ChannelSetFX(h, BASS_FX_DX8_PARAMEQ, 1);
    EXPECT_NE(fx, 0u);
    EXPECT_TRUE(BASS_FXSetParameters(fx, &p));
    double got = RmsAfterSettling(h);
    BASS_StreamFree(plain);
    BASS_StreamFree(h);
    return bt::Db(got / ref);
  }
};

TEST_F(Fx, EqualiserRaisesItsBandAndLeavesOthers) {
  BASS_DX8_PARAMEQ p{1000, 12, 12};
  EXPECT_NEAR(Gain(1000, p), 12.0, 0.5);
  EXPECT_NEAR(Gain(100, p), 0.0, 1.0);
  EXPECT_NEAR(Gain(10000, p), 0.0, 1.0);
  BASS_DX8_PARAMEQ cut{3000, 6, -15};
  EXPECT_NEAR(Gain(3000, cut), -15.0, 0.5);
}

// A flat band passes the sound through untouched, also after it has been used and set back to 0 dB.
TEST_F(Fx, AFlatEqualiserBandLeavesTheSoundBitExact) {
  sig = Signal{440};
  DWORD plain = Stream();
  auto ref = Read(plain, 3 * 44100);
  sig = Signal{440};
  DWORD h = Stream();
  HFX fx = BASS_ChannelSetFX(h, BASS_FX_DX8_PARAMEQ, 1);
  BASS_DX8_PARAMEQ flat{1000, 12, 0}, loud{1000, 12, 12};
  ASSERT_TRUE(BASS_FXSetParameters(fx, &flat));
  auto a = Read(h, 44100);
  ASSERT_TRUE(BASS_FXSetParameters(fx, &loud));
  auto b = Read(h, 44100);
  ASSERT_TRUE(BASS_FXSetParameters(fx, &flat));
  auto c = Read(h, 44100);
  EXPECT_TRUE(std::equal(a.begin(), a.end(), ref.begin()));
  EXPECT_FALSE(std::equal(b.begin(), b.end(), ref.begin() + long(a.size())));
  // Once the raised band's ringing has died away, nothing of it is left in the sound.
  EXPECT_TRUE(std::equal(c.begin() + 44100, c.end(), ref.begin() + long(a.size() + b.size()) + 44100));
  BASS_StreamFree(plain);
  BASS_StreamFree(h);
}

TEST_F(Fx, ParametersRoundTripAndBadValuesAreRefused) {
  DWORD h = Stream();
  HFX eq = BASS_ChannelSetFX(h, BASS_FX_DX8_PARAMEQ, 0);
  BASS_DX8_PARAMEQ p{};
  ASSERT_TRUE(BASS_FXGetParameters(eq, &p));
  EXPECT_EQ(p.fGain, 0.0f);
  BASS_DX8_PARAMEQ bad{1000, 12, 20};
  EXPECT_FALSE(BASS_FXSetParameters(eq, &bad));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  HFX echo = BASS_ChannelSetFX(h, BASS_FX_DX8_ECHO, 0);
  BASS_DX8_ECHO e{};
  ASSERT_TRUE(BASS_FXGetParameters(echo, &e));
  EXPECT_EQ(e.fWetDryMix, 50.0f);
  EXPECT_EQ(e.fFeedback, 50.0f);
  EXPECT_EQ(e.fLeftDelay, 500.0f);
  EXPECT_EQ(e.fRightDelay, 500.0f);
  HFX fl = BASS_ChannelSetFX(h, BASS_FX_DX8_FLANGER, 0);
  BASS_DX8_FLANGER f{};
  ASSERT_TRUE(BASS_FXGetParameters(fl, &f));
  EXPECT_EQ(f.fWetDryMix, 50.0f);
  EXPECT_EQ(f.fDepth, 100.0f);
  EXPECT_EQ(f.fFeedback, -50.0f);
  EXPECT_EQ(f.fFrequency, 0.25f);
  EXPECT_EQ(f.lWaveform, 1u);
  EXPECT_EQ(f.fDelay, 2.0f);
  EXPECT_EQ(f.lPhase, DWORD(BASS_DX8_PHASE_90));
  HFX rv = BASS_ChannelSetFX(h, BASS_FX_DX8_REVERB, 0);
  BASS_DX8_REVERB r{};
  ASSERT_TRUE(BASS_FXGetParameters(rv, &r));
  EXPECT_EQ(r.fInGain, 0.0f);
  EXPECT_EQ(r.fReverbMix, 0.0f);
  EXPECT_EQ(r.fReverbTime, 1000.0f);
  EXPECT_EQ(r.fHighFreqRTRatio, 0.001f);
  r.fReverbMix = -8;
  ASSERT_TRUE(BASS_FXSetParameters(rv, &r));
  BASS_DX8_REVERB r2{};
  BASS_FXGetParameters(rv, &r2);
  EXPECT_EQ(r2.fReverbMix, -8.0f);
  EXPECT_EQ(BASS_ChannelSetFX(h, 99, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
  EXPECT_TRUE(BASS_ChannelRemoveFX(h, eq));
  EXPECT_FALSE(BASS_FXGetParameters(eq, &p));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(Fx, EchoAddsTheDelayedCopyAtTheSetDelay) {
  sig.impulse = true;
  DWORD h = Stream();
  HFX fx = BASS_ChannelSetFX(h, BASS_FX_DX8_ECHO, 0);
  BASS_DX8_ECHO e{50, 0, 100, 250, FALSE};
  ASSERT_TRUE(BASS_FXSetParameters(fx, &e));
  auto x = Read(h, 44100);
  EXPECT_FLOAT_EQ(x[0], 0.5f);  // dry half
  EXPECT_FLOAT_EQ(x[2 * 4410], 0.5f);  // left copy at 100 ms
  EXPECT_FLOAT_EQ(x[2 * 11025 + 1], 0.5f);  // right copy at 250 ms
  double rest = 0;
  for (size_t i = 2; i < x.size(); ++i)
    if (i != 2 * 4410 && i != 2 * 11025 + 1 && i != 1) rest += std::fabs(x[i]);
  EXPECT_EQ(rest, 0.0);
  // Feedback repeats it, each time weaker; reset clears the delay line.
  e.fFeedback = 50;
  sig = Signal{};
  sig.impulse = true;
  DWORD h2 = Stream();
  HFX fx2 = BASS_ChannelSetFX(h2, BASS_FX_DX8_ECHO, 0);
  ASSERT_TRUE(BASS_FXSetParameters(fx2, &e));
  auto y = Read(h2, 44100);
  EXPECT_FLOAT_EQ(y[2 * 4410], 0.5f);
  EXPECT_FLOAT_EQ(y[2 * 8820], 0.25f);
  EXPECT_FLOAT_EQ(y[2 * 13230], 0.125f);
}

TEST_F(Fx, ReverbAndFlangerChangeTheSignalAndStayBounded) {
  for (DWORD type : {DWORD(BASS_FX_DX8_REVERB), DWORD(BASS_FX_DX8_FLANGER)}) {
    sig = Signal{440, 0.9};
    DWORD plain = Stream();
    auto ref = Read(plain, 88200);
    sig = Signal{440, 0.9};
    DWORD h = Stream();
    HFX fx = BASS_ChannelSetFX(h, type, 0);
    ASSERT_NE(fx, 0u);
    if (type == BASS_FX_DX8_FLANGER) {
      BASS_DX8_FLANGER f{};
      BASS_FXGetParameters(fx, &f);
      f.fFeedback = 99;  // the strongest setting must still stay bounded
      f.fFrequency = 5;
      ASSERT_TRUE(BASS_FXSetParameters(fx, &f));
    } else {
      BASS_DX8_REVERB r{0, 0, 3000, 0.999f};
      ASSERT_TRUE(BASS_FXSetParameters(fx, &r));
    }
    auto x = Read(h, 88200);
    double diff = 0, peak = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      diff += std::fabs(x[i] - ref[i]);
      peak = std::max(peak, double(std::fabs(x[i])));
      ASSERT_TRUE(std::isfinite(x[i]));
    }
    EXPECT_GT(diff / x.size(), 0.01) << type;
    EXPECT_LT(peak, 8.0) << type;
    // After the input stops, the tail dies away.
    if (type == BASS_FX_DX8_REVERB) {
      BASS_FXReset(fx);
      sig.amp = 0;
      auto tail = Read(h, 4410);
      EXPECT_EQ(bt::Rms(tail, 2, 0), 0.0);  // reset emptied the reverberator
    }
  }
}

TEST_F(Fx, HigherPriorityRunsFirst) {
  // A 100% wet echo delays the signal by 1 ms: a DSP after it sees the delayed data.
  sig.impulse = true;
  DWORD h = Stream();
  HFX echo = BASS_ChannelSetFX(h, BASS_FX_DX8_ECHO, 10);
  BASS_DX8_ECHO e{100, 0, 1, 1, FALSE};
  ASSERT_TRUE(BASS_FXSetParameters(echo, &e));
  static float seen = -1;
  BASS_ChannelSetDSP(h, [](HDSP, DWORD, void* b, DWORD, void*) { seen = static_cast<float*>(b)[0]; }, nullptr, 5);
  Read(h, 100);
  EXPECT_EQ(seen, 0.0f);  // the DSP (priority 5) saw the echo's output: the impulse was delayed
  BASS_ChannelSetDSP(h, [](HDSP, DWORD, void* b, DWORD, void*) { static_cast<float*>(b)[0] = 7.0f; }, nullptr, 20);
  Read(h, 100);
  EXPECT_EQ(seen, 0.0f);  // 7.0 entered the echo first (priority 20 > 10) and comes out 1 frame later
}

}  // namespace

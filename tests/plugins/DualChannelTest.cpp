// The engine's dual-channel mode: the decoding channel runs through the play
// thread, the active DSP module and the ring into the output stream.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "EngineTestUtil.h"
#include "../ThreadWakeUps.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/PluginCtrl.h"

using namespace engine;
using namespace enginetest;

namespace {

std::string Staged(const std::string& name) { return std::string(ORVELLA_STAGE_DIR) + "/plugins/" + name; }

// Plays `file` to its end into a fast capture; `setup` runs after construction.
std::vector<int16_t> CapturePlay(const std::string& file, const std::function<void(TZOZUZivade&)>& setup,
                                 int* ends = nullptr) {
  ProgramDir dir;
  std::string out = dir.File("capture.wav");
  int endCount = 0;
  {
    CaptureOutput capture(out, 1);
    TZOZUZivade eng;
    setup(eng);
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++endCount; };
    if (!eng.Open(file)) return {};
    eng.Play();
    if (!PumpUntil([&] { return endCount > 0; }, 30000)) return {};
    PumpUntil([] { return false; }, 50);
  }
  if (ends) *ends = endCount;
  return ReadWav16(out);
}

// Drops the leading zero samples (the sine starts at 0; outputs may start with silence).
std::vector<int16_t> FromFirstSound(const std::vector<int16_t>& s) {
  size_t i = 0;
  while (i < s.size() && s[i] == 0) ++i;
  i -= i % 2;
  return std::vector<int16_t>(s.begin() + long(i), s.end());
}

int WorstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, double gain) {
  int worst = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    worst = std::max(worst, std::abs(int(std::lround(a[i] * gain)) - b[i]));
  return worst;
}

}  // namespace

TEST(DualChannel, IsTheDefaultAndSoundsLikeSingleChannel) {
  std::string wav = SineWav(2.0, 1000);
  ASSERT_FALSE(wav.empty());
  bool dual = false;
  auto single = FromFirstSound(CapturePlay(wav, [](TZOZUZivade& e) { e.SetSingleChannel(true); }));
  int ends = 0;
  auto both = FromFirstSound(CapturePlay(wav, [&](TZOZUZivade& e) { dual = e.PluginBuffersReady(); }, &ends));
  EXPECT_TRUE(dual);
  EXPECT_EQ(ends, 1);
  ASSERT_GT(single.size(), 150000u);
  // The whole file, no more, no less (the last samples of a sine may be 0).
  EXPECT_NEAR(double(both.size()), double(single.size()), 4);
  EXPECT_LE(WorstDifference(single, both, 1.0), 0);
}

// A capture whose clock runs without limit gets a ring of seconds (fewer hand-overs between the
// play thread and the mixer); a file several times longer than that ring still arrives whole and
// exact, with one end. A clock that keeps time keeps the ring of well under a second.
TEST(DualChannel, AFastCaptureHasARingOfSecondsAndStaysExact) {
  std::string wav = SineWav(9.0, 700);
  ASSERT_FALSE(wav.empty());
  auto single = FromFirstSound(CapturePlay(wav, [](TZOZUZivade& e) { e.SetSingleChannel(true); }));
  int ends = 0;
  uint32_t fastRing = 0;
  auto both = FromFirstSound(CapturePlay(
      wav, [&](TZOZUZivade& e) { e.OnModeChange = [&](TZOZUZivade*, TPlayerMode, TPlayerMode to) {
                                   if (to == plmPlaying) fastRing = plugins::RingSize();
                                 }; },
      &ends));
  EXPECT_EQ(ends, 1);
  ASSERT_GT(single.size(), 9 * 44100u * 2 - 100);
  EXPECT_NEAR(double(both.size()), double(single.size()), 4);
  EXPECT_LE(WorstDifference(single, both, 1.0), 0);
  // 16-bit stereo at 44.1 kHz: 3 s, well under the length of the file.
  EXPECT_EQ(fastRing, 3u * 176400u);

  ProgramDir dir;
  CaptureOutput timed(dir.File("timed.wav"), 2);  // twice real time: a clock that counts
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  // Between two and four units of 200 ms (a ring already in that range is kept).
  EXPECT_GE(plugins::RingSize(), 2u * 35280u);
  EXPECT_LE(plugins::RingSize(), 4u * 35280u);
  eng.Stop();
}

TEST(DualChannel, TheGainModuleLowersTheAudioBy6dB) {
  std::string wav = SineWav(1.0, 1000);
  auto src = FromFirstSound(ReadWav16(wav));
  platform::MessageRecorder msgs;
  auto got = FromFirstSound(CapturePlay(wav, [](TZOZUZivade& e) {
    ASSERT_TRUE(e.StartDSPPlugin(Staged("dsp_orvella.so"), 0));
  }));
  ASSERT_GT(got.size(), 80000u);
  EXPECT_NEAR(double(got.size()), double(src.size()), 4);
  // Volume 255 is 0.9945 of full scale; the module applies 10^(-6/20).
  EXPECT_LE(WorstDifference(src, got, 0.9945 * std::pow(10.0, -6.0 / 20.0)), 2);
  EXPECT_TRUE(msgs.Messages().empty());
}

TEST(DualChannel, AModuleThatDoublesTheSamplesDoublesTheLength) {
  std::string wav = SineWav(1.0, 500);
  auto src = FromFirstSound(ReadWav16(wav));
  auto got = FromFirstSound(CapturePlay(wav, [](TZOZUZivade& e) {
    ASSERT_TRUE(e.StartDSPPlugin(Staged("dsp_orvella.so"), 2));
  }));
  EXPECT_NEAR(double(got.size()), 2.0 * double(src.size()), 8);
  // Every frame twice: output frames 2k and 2k+1 both hold source frame k (left samples shown).
  int worst = 0;
  for (size_t k = 0; 4 * k + 2 < got.size() && 2 * k < src.size(); ++k) {
    int expected = int(std::lround(src[2 * k] * 0.9945));
    worst = std::max(worst, std::abs(expected - got[4 * k]));
    worst = std::max(worst, std::abs(expected - got[4 * k + 2]));
  }
  EXPECT_LE(worst, 1);
}

TEST(DualChannel, PositionsWhilePlayingLeaveOutWhatWaitsInTheRing) {
  ProgramDir dir;
  std::string wav = SineWav(6.0);
  CaptureOutput capture(dir.File("pos.wav"), 2);  // twice real time
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 1000; }, 10000));
  int checked = 0;
  while (eng.GetPosition() < 4000 && checked < 100) {
    uint32_t pos = eng.GetPosition();
    QWORD decoded = eng.Bass().BASS_ChannelGetPosition(eng.DecodeChannel(), BASS_POS_BYTE);
    QWORD heard = eng.Bass().BASS_ChannelGetPosition(eng.OutputChannel(), BASS_POS_BYTE);
    double decodedMs = double(decoded) / 176.4, heardMs = double(heard) / 176.4;
    // The decoder runs ahead by the ring; the engine reports what is heard.
    EXPECT_GT(decodedMs - pos, 100.0);
    EXPECT_NEAR(double(pos), heardMs, 60.0);
    ++checked;
    PumpUntil([] { return false; }, 30);
  }
  EXPECT_GT(checked, 10);
  EXPECT_GT(plugins::RingUsed(), 0u);
}

// On a clock that keeps time the output takes 50 ms at a time from the ring; the play thread is
// woken only when the ring is down to half (about 300 ms), and then fills it in one go.
TEST(DualChannel, ThePlayThreadWakesOncePerHalfARingNotForEveryRead) {
  ProgramDir dir;
  std::string wav = SineWav(5.0);
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 1000; }, 10000));
  uint64_t w0 = testutil::WakeUpsOf("play thread");
  uint32_t p0 = eng.GetPosition();
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 3500; }, 10000));
  uint64_t w1 = testutil::WakeUpsOf("play thread");
  double secs = (eng.GetPosition() - p0) / 1000.0;
  ASSERT_GT(w0, 0u) << "no play thread found";
  EXPECT_LT(double(w1 - w0) / secs, 8.0) << w1 - w0 << " wake-ups over " << secs << " s of sound";
  EXPECT_GT(plugins::RingUsed(), 0u);
  eng.Close();
}

class TransportBothModes : public ::testing::TestWithParam<bool> {};

TEST_P(TransportBothModes, PauseResumeAndSeekLandWhereAsked) {
  ProgramDir dir;
  std::string wav = SineWav(20.0);
  SilentOutput silent;
  TZOZUZivade eng;
  eng.SetSingleChannel(GetParam());
  ASSERT_TRUE(eng.Open(wav));
  EXPECT_EQ(eng.SingleChannel(), GetParam());
  eng.Play();
  EXPECT_EQ(eng.OutputChannel() == eng.DecodeChannel(), GetParam());
  eng.Pause(true);
  ASSERT_EQ(eng.Mode(), plmPaused);
  eng.SetPosition(10000);
  EXPECT_NEAR(eng.GetPosition(), 10000, 30);
  eng.Pause(false);
  ASSERT_EQ(eng.Mode(), plmPlaying);
  uint32_t pos = eng.GetPosition();
  EXPECT_GE(pos, 9500u);
  EXPECT_LT(pos, 9900u);

  eng.SetPosition(5000);
  pos = eng.GetPosition();
  EXPECT_GE(pos, 5000u);
  EXPECT_LT(pos, 5400u);
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 5600; }, 5000));  // and it plays on from there

  eng.Stop();
  eng.Play();  // from the start again
  EXPECT_LT(eng.GetPosition(), 400u);
  eng.Close();
  EXPECT_FALSE(plugins::PlayThreadRunning());
}

INSTANTIATE_TEST_SUITE_P(Modes, TransportBothModes, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Single" : "Dual"; });

TEST(DualChannel, ADecodingChannelThatDisappearsClosesTheStream) {
  ProgramDir dir;
  std::string wav = SineWav(10.0);
  SilentOutput silent;
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 100; }, 5000));
  // Gone behind the engine's back: the play thread's next read fails with an invalid handle.
  eng.Bass().BASS_StreamFree(eng.DecodeChannel());
  ASSERT_TRUE(PumpUntil([&] { return eng.Mode() == plmStandby; }, 5000));
  ASSERT_EQ(msgs.Messages().size(), 1u);
  EXPECT_EQ(msgs.Messages()[0].text,
            "Decoding Channel is unavailable by any reasons.\nOpened stream is beging closed.");
  EXPECT_FALSE(plugins::PlayThreadRunning());
}

TEST(DualChannel, EightBitMonoSoundsLikeSingleChannelToo) {
  std::string wav = Media("sine_8bit_mono_11025.wav",
                          "ffmpeg -nostdin -y -f lavfi -i sine=frequency=300:sample_rate=11025:duration=1.5 "
                          "-ac 1 -c:a pcm_u8 {out}");
  ASSERT_FALSE(wav.empty());
  auto single = FromFirstSound(CapturePlay(wav, [](TZOZUZivade& e) { e.SetSingleChannel(true); }));
  auto both = FromFirstSound(CapturePlay(wav, [](TZOZUZivade&) {}));
  ASSERT_GT(single.size(), 100000u);
  EXPECT_NEAR(double(both.size()), double(single.size()), 8);
  EXPECT_LE(WorstDifference(single, both, 1.0), 0);
}

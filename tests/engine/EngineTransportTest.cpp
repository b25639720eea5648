// Modes, events and transport of the engine over the real audio library, with
// the capture output (fast clock) or the silent real-time output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

using namespace engine;
using namespace enginetest;

namespace {

struct Recorder {
  std::vector<std::string> events;
  int playEnds = 0;
  void Attach(TZOZUZivade& eng) {
    eng.OnModeChange = [this](TZOZUZivade*, TPlayerMode a, TPlayerMode b) {
      events.push_back(std::string(PlayerModeName(a)) + ">" + PlayerModeName(b));
    };
    eng.OnPlayEnd = [this](TZOZUZivade*) {
      events.push_back("OnPlayEnd");
      ++playEnds;
    };
  }
};

// Mean absolute level of 10 ms blocks of the left channel.
std::vector<double> Envelope(const std::vector<int16_t>& s) {
  std::vector<double> env;
  const size_t block = 441;
  for (size_t i = 0; i + block * 2 <= s.size(); i += block * 2) {
    double sum = 0;
    for (size_t k = 0; k < block; ++k) sum += std::abs(s[i + 2 * k]);
    env.push_back(sum / block);
  }
  return env;
}

}  // namespace

TEST(EngineTransport, ModesAndEventsFollowTheTableAndTheEndIsReportedOnce) {
  ProgramDir dir;
  std::string wav = SineWav(1.0);
  ASSERT_FALSE(wav.empty());
  CaptureOutput capture(dir.File("out.wav"), 1);
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  Recorder rec;
  rec.Attach(eng);

  ASSERT_TRUE(eng.Open(wav));
  EXPECT_EQ(rec.events, std::vector<std::string>{"plmStandby>plmReady"});
  EXPECT_EQ(eng.GetLength(), 1000u);
  EXPECT_EQ(eng.DecoderName(), "bass.so");
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return rec.playEnds > 0; }, 20000));
  PumpUntil([] { return false; }, 100);  // nothing more may come
  EXPECT_EQ(rec.events, (std::vector<std::string>{"plmStandby>plmReady", "plmReady>plmPlaying",
                                                  "plmPlaying>plmStopped", "OnPlayEnd"}));
  EXPECT_EQ(rec.playEnds, 1);

  for (const auto& m : msgs.Messages()) ADD_FAILURE() << m.text;
}

TEST(EngineTransport, StopAndCloseFromEveryPlayingMode) {
  ProgramDir dir;
  std::string wav = SineWav(10.0);
  SilentOutput silent;
  TZOZUZivade eng;
  Recorder rec;
  rec.Attach(eng);
  eng.Play();  // nothing open: nothing happens
  eng.Stop();
  EXPECT_TRUE(rec.events.empty());
  ASSERT_TRUE(eng.Open(wav));
  eng.Stop();  // plmReady: Stop does nothing
  eng.Play();
  eng.Pause(true);
  eng.Play();  // plmPaused: Play resumes
  eng.Stop();
  eng.Play();  // plmStopped: back to the start
  EXPECT_LT(eng.GetPosition(), 400u);
  eng.Pause(true);
  eng.Stop();
  eng.Close();
  eng.Close();  // nothing open: nothing happens
  EXPECT_EQ(rec.events, (std::vector<std::string>{"plmStandby>plmReady", "plmReady>plmPlaying", "plmPlaying>plmPaused",
                                                  "plmPaused>plmPlaying", "plmPlaying>plmStopped",
                                                  "plmStopped>plmPlaying", "plmPlaying>plmPaused",
                                                  "plmPaused>plmStopped", "plmStopped>plmStandby"}));
  EXPECT_EQ(eng.StreamName(), "");
  EXPECT_EQ(rec.playEnds, 0);
}

TEST(EngineTransport, ResumeGoesBackHalfASecondAndPlayFromStoppedStartsAtZero) {
  ProgramDir dir;
  std::string wav = SineWav(20.0);
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  eng.Pause(true);
  ASSERT_EQ(eng.Mode(), plmPaused);
  eng.SetPosition(10000);
  EXPECT_NEAR(eng.GetPosition(), 10000, 30);
  eng.Pause(false);
  ASSERT_EQ(eng.Mode(), plmPlaying);
  uint32_t pos = eng.GetPosition();
  EXPECT_GE(pos, 9500u);
  EXPECT_LT(pos, 9900u);

  eng.Pause(true);
  eng.SetPosition(300);
  eng.Pause(false);
  EXPECT_LT(eng.GetPosition(), 400u);

  eng.SetPosition(3000);
  eng.Stop();
  EXPECT_GE(eng.GetPosition(), 2900u);  // stop keeps the position
  eng.Play();
  EXPECT_LT(eng.GetPosition(), 400u);
}

TEST(EngineTransport, SeekingLandsWhereAskedAndNotBeyondTheEnd) {
  ProgramDir dir;
  std::string wav = SineWav(10.0);
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  eng.SetPosition(5000);
  uint32_t pos = eng.GetPosition();
  EXPECT_GE(pos, 5000u);
  EXPECT_LT(pos, 5400u);
  eng.SetPosition(60000);  // beyond the length: nothing happens
  EXPECT_LT(eng.GetPosition(), 6500u);
  EXPECT_FALSE(eng.Fading() && eng.Muted());
}

TEST(EngineTransport, AFailedOpenKeepsThePreviousStreamPlaying) {
  ProgramDir dir;
  std::string wav = SineWav(10.0);
  SilentOutput silent;
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Open("\"" + wav + "\""));  // quotes are stripped
  EXPECT_EQ(eng.StreamName(), wav);
  eng.Play();
  DWORD output = eng.OutputChannel();
  // The output stalls until the play thread's first blocks reach it.
  ASSERT_TRUE(PumpUntil([&] { return eng.Bass().BASS_ChannelIsActive(output) == BASS_ACTIVE_PLAYING; }, 5000));
  EXPECT_FALSE(eng.Open("/nonexistent/song.mp3"));
  EXPECT_EQ(eng.Mode(), plmPlaying);
  EXPECT_EQ(eng.StreamName(), wav);
  EXPECT_EQ(eng.Bass().BASS_ChannelIsActive(output), DWORD(BASS_ACTIVE_PLAYING));
  ASSERT_EQ(msgs.Messages().size(), 1u);
  EXPECT_EQ(msgs.Messages()[0].text, "Invalid or unsupported stream file.\n -> /nonexistent/song.mp3");

  EXPECT_FALSE(eng.Open("/tmp/noext"));
  EXPECT_FALSE(eng.Open("/tmp/a.x"));  // one-letter extensions are not examined
  EXPECT_EQ(eng.Mode(), plmPlaying);
}

TEST(EngineTransport, VolumeIsClampedAndNotAppliedWhileMuted) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  eng.SetVolume(300);
  EXPECT_EQ(eng.Volume(), 255u);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(5), 9945u);
  eng.SetVolume(100);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(5), 3900u);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(6), 3900u);
  eng.SetMuted(true, 0);
  EXPECT_TRUE(eng.Muted());
  EXPECT_FALSE(eng.Fading());
  EXPECT_EQ(eng.Bass().BASS_GetConfig(5), 0u);
  eng.SetVolume(200);
  EXPECT_EQ(eng.Volume(), 200u);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(5), 0u);
  eng.SetMuted(false, 0);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(5), 7800u);
}

TEST(EngineTransport, CapturedAudioIsTheDecodeAtTheEnginesVolume) {
  ProgramDir dir;
  std::string wav = SineWav(2.0, 1000);
  std::string out = dir.File("out.wav");
  {
    CaptureOutput capture(out, 1);
    TZOZUZivade eng;
    int ends = 0;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    ASSERT_TRUE(eng.Open(wav));
    eng.Play();
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
  }
  std::vector<int16_t> src = ReadWav16(wav);
  std::vector<int16_t> got = ReadWav16(out);
  ASSERT_GE(got.size(), src.size());
  // The sine starts at zero: align on the first sample that moves.
  size_t firstSrc = 0, firstGot = 0;
  while (firstSrc < src.size() && src[firstSrc] == 0) ++firstSrc;
  while (firstGot < got.size() && got[firstGot] == 0) ++firstGot;
  ASSERT_LT(firstGot, got.size());
  ptrdiff_t offset = ptrdiff_t(firstGot) - ptrdiff_t(firstSrc);
  ASSERT_GE(offset, 0);
  int worst = 0;
  for (size_t i = 0; i < src.size() && i + offset < got.size(); ++i) {
    int expected = static_cast<int>(std::lround(src[i] * 0.9945));
    worst = std::max(worst, std::abs(expected - got[i + offset]));
  }
  EXPECT_LE(worst, 2);
}

TEST(EngineTransport, PauseFadesOutOverHalfASecond) {
  ProgramDir dir;
  std::string wav = SineWav(4.0, 500);
  std::string out = dir.File("fade.wav");
  {
    CaptureOutput capture(out, 4);  // four times real time: the pause lands well before the end
    TZOZUZivade eng;
    ASSERT_TRUE(eng.Open(wav));
    eng.Play();
    ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 1000; }, 20000));
    eng.Pause(true);
    EXPECT_EQ(eng.Mode(), plmPaused);
    EXPECT_FALSE(eng.Fading());
  }
  std::vector<double> env = Envelope(ReadWav16(out));
  ASSERT_GT(env.size(), 150u);
  double full = 0;
  for (size_t i = 10; i < 90; ++i) full = std::max(full, env[i]);
  // From the first block clearly below full level to the first silent one.
  size_t startFade = 0, endFade = 0;
  for (size_t i = 20; i < env.size(); ++i)
    if (env[i] < full * 0.97) {
      startFade = i;
      break;
    }
  for (size_t i = startFade; i < env.size(); ++i)
    if (env[i] < full * 0.01) {
      endFade = i;
      break;
    }
  ASSERT_GT(startFade, 0u);
  ASSERT_GT(endFade, startFade);
  EXPECT_NEAR(double(endFade - startFade) * 10, 500, 40);
}

TEST(EngineTransport, ASeekBeforePlayIsWherePlayStarts) {
  ProgramDir dir;
  std::string wav = SineWav(10.0);
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Open(wav));
  eng.SetPosition(4000);
  eng.Play();
  uint32_t pos = eng.GetPosition();
  EXPECT_GE(pos, 4000u);
  EXPECT_LT(pos, 4300u);
}

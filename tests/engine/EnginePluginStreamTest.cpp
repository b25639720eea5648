// Streams decoded by an input plug-in through the engine: the level display, the
// resume step back, balance on the plug-in's output, end notices of an earlier run,
// and requests that plug-ins send to the engine window.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/PluginCtrl.h"

using namespace engine;
using namespace enginetest;
namespace fs = std::filesystem;

namespace {

const std::string kPcm = std::string(ORV_TEST_PLUGINS) + "/in_testpcm.so";
const std::string kSlow = std::string(ORV_ENGINE_TEST_PLUGINS) + "/in_slowstart.so";

std::string Tpcm(const ScratchDir& dir, const std::string& name, double seconds, int hz) {
  std::string path = dir.File(name);
  fs::copy_file(SineWav(seconds, hz), path, fs::copy_options::overwrite_existing);
  return path;
}

}  // namespace

TEST(EnginePluginStream, TheLevelDisplayLightsForAPluginStreamWhoseOutputOpensLate) {
  ProgramDir dir;
  std::string file = dir.File("tone.slow");
  WriteFile(file, "any");
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_EQ(plugins::LoadInputPlugin(kSlow), 0);
  int ticks = 0, lit = 0;
  eng.OnNewFFTData = [&](TZOZUZivade*, const TBandOut& bands) {
    ++ticks;
    for (uint16_t b : bands)
      if (b > 0) {
        ++lit;
        break;
      }
  };
  ASSERT_TRUE(eng.Open(file));
  EXPECT_EQ(eng.StreamKind(), TZOZUZivade::skPlugin);
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  ASSERT_TRUE(PumpUntil([&] { return eng.PluginOutputOpen(); }, 5000));
  EXPECT_TRUE(PumpUntil([&] { return lit >= 5; }, 5000)) << ticks << " ticks";
  eng.Close();
}

TEST(EnginePluginStream, ResumeStepsBackHalfASecond) {
  ProgramDir dir;
  std::string file = Tpcm(dir, "resume.tpcm", 10.0, 440);
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
  ASSERT_TRUE(eng.Open(file));
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return eng.PluginOutputOpen(); }, 5000));
  eng.SetPosition(4000);
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 4100; }, 5000));
  eng.Pause(true);
  ASSERT_EQ(eng.Mode(), plmPaused);
  PumpUntil([] { return false; }, 300);  // what the device took still sounds
  uint32_t paused = eng.GetPosition();
  eng.Pause(false);
  ASSERT_EQ(eng.Mode(), plmPlaying);
  // Play goes on from half a second before the pause.
  EXPECT_TRUE(PumpUntil([&] { return eng.GetPosition() + 350 < paused; }, 3000)) << paused;
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= paused; }, 5000));
  eng.Close();
}

TEST(EnginePluginStream, BalanceAndMuteReachThePluginsOutput) {
  ProgramDir dir;
  std::string file = Tpcm(dir, "pan.tpcm", 4.0, 440);
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
  eng.SetBalance(0.5f);
  eng.SetSpeed(32000);
  ASSERT_TRUE(eng.Open(file));
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return eng.PluginOutputOpen() && eng.OutputChannel(); }, 5000));
  float pan = -9, freq = -9, vol = -9;
  ASSERT_TRUE(eng.Bass().BASS_ChannelGetAttribute(eng.OutputChannel(), BASS_ATTRIB_PAN, &pan));
  ASSERT_TRUE(eng.Bass().BASS_ChannelGetAttribute(eng.OutputChannel(), BASS_ATTRIB_FREQ, &freq));
  EXPECT_FLOAT_EQ(pan, 0.5f);
  EXPECT_FLOAT_EQ(freq, 32000.0f);
  // A stop and a new play make a new output: it gets them again, and the mute state.
  eng.SetSpeed(0);
  eng.Stop();
  eng.SetMuted(true, 0);
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return eng.PluginOutputOpen() && eng.OutputChannel(); }, 5000));
  ASSERT_TRUE(eng.Bass().BASS_ChannelGetAttribute(eng.OutputChannel(), BASS_ATTRIB_PAN, &pan));
  ASSERT_TRUE(eng.Bass().BASS_ChannelGetAttribute(eng.OutputChannel(), BASS_ATTRIB_FREQ, &freq));
  ASSERT_TRUE(eng.Bass().BASS_ChannelGetAttribute(eng.OutputChannel(), BASS_ATTRIB_VOL, &vol));
  EXPECT_FLOAT_EQ(pan, 0.5f);
  EXPECT_FLOAT_EQ(freq, 44100.0f);
  EXPECT_FLOAT_EQ(vol, 0.0f);
  eng.Close();
}

TEST(EnginePluginStream, AnEndNoticeOfAnEarlierRunDoesNotEndTheNextStream) {
  ProgramDir dir;
  std::string a = Tpcm(dir, "a.tpcm", 4.0, 440);
  std::string b = Tpcm(dir, "b.tpcm", 1.5, 330);
  CaptureOutput capture(dir.File("eof.wav"), 2);
  platform::MessageRecorder msgs;
  {
    TZOZUZivade eng;
    ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
    int ends = 0;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    ASSERT_TRUE(eng.Open(a));
    eng.Play();
    ASSERT_TRUE(PumpUntil([&] { return eng.PluginOutputOpen(); }, 5000));
    // The plug-in's end notice for the first file is still queued when the next file starts.
    platform::PostMessage(eng.HiddenWindow(), engine::WM_WA_MPEG_EOF, 0, 0);
    ASSERT_TRUE(eng.Open(b));
    eng.Play();
    ASSERT_EQ(eng.Mode(), plmPlaying);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(eng.Mode(), plmPlaying);
    EXPECT_FALSE(plugins::EndOfInput());
    // The second file's own end still ends it, once, after all of it was heard.
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(eng.Mode(), plmStopped);
    eng.Close();
  }
  // The capture is complete once the library is gone.
  std::vector<int16_t> heard = ReadWav16(dir.File("eof.wav"));
  EXPECT_GT(double(heard.size()) / 2 / 44100, 1.45);
  for (const auto& m : msgs.Messages()) ADD_FAILURE() << m.text;
}

TEST(EnginePluginStream, AnEndNoticeWhileThePluginStillWritesEndsAfterWhatWasQueued) {
  ProgramDir dir;
  std::string file = Tpcm(dir, "long.tpcm", 30.0, 440);
  CaptureOutput capture(dir.File("long.wav"), 2);
  {
    TZOZUZivade eng;
    ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
    int ends = 0;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    ASSERT_TRUE(eng.Open(file));
    eng.Play();
    ASSERT_TRUE(PumpUntil([&] { return eng.PluginOutputOpen(); }, 5000));
    // A plug-in that says it ended but keeps its output fed: the output never runs dry.
    ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 200; }, 5000));
    platform::PostMessage(eng.HiddenWindow(), engine::WM_WA_MPEG_EOF, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 40000));
    EXPECT_EQ(eng.Mode(), plmStopped);
    eng.Close();
  }
  // What was queued and a little more was heard, not the rest of the file.
  double heard = double(ReadWav16(dir.File("long.wav")).size()) / 2 / 44100;
  EXPECT_GT(heard, 0.2);
  EXPECT_LT(heard, 15.0);
}

TEST(EnginePluginStream, PluginRequestsReachTheEvent) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  std::vector<uint32_t> requests;
  eng.OnPluginRequest = [&](TZOZUZivade*, uint32_t kind) { requests.push_back(kind); };
  for (uint32_t kind : {0u, 1u, 2u, 3u, 7u}) platform::PostMessage(eng.HiddenWindow(), WM_PLUGIN_REQUEST, kind, 0);
  ASSERT_TRUE(PumpUntil([&] { return requests.size() == 5; }, 2000));
  EXPECT_EQ(requests, (std::vector<uint32_t>{0, 1, 2, 3, 7}));
  eng.OnPluginRequest = nullptr;
  platform::PostMessage(eng.HiddenWindow(), WM_PLUGIN_REQUEST, 1, 0);  // nobody listens: nothing happens
  PumpUntil([] { return false; }, 50);
  EXPECT_EQ(requests.size(), 5u);
}

// Stop before the plug-in's output opened: the plug-in is told to stop too, so
// its decoding thread does not go on writing, no late start notice revives the
// run, and the library can then be unloaded safely.
TEST(EnginePluginStream, StopBeforeTheOutputOpensStopsThePlugin) {
  ProgramDir dir;
  std::string file = dir.File("tone.slow");
  WriteFile(file, "any");
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_EQ(plugins::LoadInputPlugin(kSlow), 0);
  eng.SetMuted(true, 0);  // no fade: the stop comes well inside the plug-in's 300 ms
  ASSERT_TRUE(eng.Open(file));
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  ASSERT_FALSE(eng.PluginOutputOpen());
  eng.Stop();
  EXPECT_EQ(eng.Mode(), plmStopped);
  platform::PumpAndSleep(700);
  EXPECT_FALSE(eng.PluginOutputOpen());
  EXPECT_EQ(eng.Mode(), plmStopped);
  eng.Close();
  EXPECT_EQ(plugins::UnloadInputPlugin(kSlow), 0);
  platform::PumpAndSleep(200);  // a thread left running in the unloaded library would crash here
}

// Input plug-ins: the table and its result codes, stream identification, play
// through the output emulator into the capture, SetInfo and the end notice,
// and the queries plug-ins send to the engine window.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <thread>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/PluginCtrl.h"

using namespace engine;
using namespace enginetest;
namespace fs = std::filesystem;

namespace {

const std::string kPcm = std::string(ORV_TEST_PLUGINS) + "/in_testpcm.so";

// A sine WAV under the plug-in's own extension.
std::string TpcmFile(const ScratchDir& dir, double seconds, int hz) {
  std::string path = dir.File("tone.tpcm");
  fs::copy_file(SineWav(seconds, hz), path, fs::copy_options::overwrite_existing);
  return path;
}

}  // namespace

TEST(InputHost, LoadAndUnloadResultCodes) {
  EXPECT_EQ(plugins::LoadInputPlugin(kPcm), plugins::plNotReady);  // 1: no host yet
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  EXPECT_EQ(plugins::LoadInputPlugin(kPcm), plugins::plLoaded);
  std::string upper = kPcm.substr(0, kPcm.size() - 13) + "IN_TESTPCM.SO";
  EXPECT_EQ(plugins::LoadInputPlugin(upper), plugins::plAlreadyLoaded);  // 2, in any letter case
  EXPECT_TRUE(plugins::IsPluginLoaded(upper));
  EXPECT_EQ(plugins::LoadInputPlugin(dir.File("in_missing.so")), plugins::plLoadFailed);  // 4
  EXPECT_EQ(plugins::LoadInputPlugin(std::string(ORV_TEST_PLUGINS) + "/dsp_testkit.so"),
            plugins::plNotInputPlugin);  // 5
  // Copies under other names fill the table: eight fit, the ninth gets 3.
  for (int i = 1; i < 8; ++i) {
    std::string copy = dir.File("in_copy" + std::to_string(i) + ".so");
    fs::copy_file(kPcm, copy);
    EXPECT_EQ(plugins::LoadInputPlugin(copy), plugins::plLoaded) << i;
  }
  std::string ninth = dir.File("in_copy9.so");
  fs::copy_file(kPcm, ninth);
  EXPECT_EQ(plugins::LoadInputPlugin(ninth), plugins::plTableFull);

  plugins::TPluginInfo info = plugins::GetPluginInfo(0);
  EXPECT_EQ(info.Name, kPcm);
  EXPECT_EQ(info.Description, "Test PCM decoder");
  EXPECT_EQ(info.FileExtensions, "TPCM;TPC2");
  EXPECT_EQ(info.Seekable, 1);
  EXPECT_EQ(info.Version, 0x100);
  EXPECT_TRUE(plugins::GetPluginInfo(8).Name.empty());
  EXPECT_EQ(plugins::GetInputModule(-1), nullptr);

  EXPECT_EQ(plugins::SelectInputPlugin(8), -1);
  EXPECT_EQ(plugins::SelectInputPlugin(-2), -1);
  ASSERT_EQ(plugins::SelectInputPlugin(2), 0);
  EXPECT_EQ(plugins::GetSelectedPluginName(), dir.File("in_copy2.so"));
  EXPECT_EQ(plugins::UnloadInputPlugin(dir.File("in_copy2.so")), plugins::plInUse);  // 8
  EXPECT_TRUE(plugins::IsPluginLoaded(dir.File("in_copy2.so")));
  ASSERT_EQ(plugins::SelectInputPlugin(-1), 0);
  EXPECT_EQ(plugins::UnloadInputPlugin(dir.File("in_copy2.so")), plugins::plUnloaded);
  EXPECT_EQ(plugins::UnloadInputPlugin(dir.File("in_copy2.so")), plugins::plNotLoaded);  // 7
  EXPECT_EQ(plugins::LoadInputPlugin(ninth), plugins::plLoaded);  // the freed slot takes it
  EXPECT_EQ(plugins::GetPluginIndex(ninth), 2);
}

TEST(InputHost, ExtensionPatternsAndSearch) {
  EXPECT_EQ(plugins::ExtensionPattern("MP3;MP2"), "*.mp3;*.mp2");
  EXPECT_EQ(plugins::ExtensionPattern("MP3;"), "*.mp3;");
  EXPECT_EQ(plugins::ExtensionPattern(""), "");
  EXPECT_EQ(plugins::GetPluginExtFilter(), "");  // no host
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  EXPECT_EQ(plugins::GetPluginExtFilter(), "");
  ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
  EXPECT_EQ(plugins::GetPluginExtFilter(), "*.tpcm;*.tpc2;");
  EXPECT_EQ(plugins::FindPluginForExt("tpc"), 0);  // a substring is enough
  EXPECT_EQ(plugins::FindPluginForExt("mp3"), -1);
}

TEST(InputHost, APluginDecodesAFileThroughTheOutputEmulatorIntoTheCapture) {
  ProgramDir dir;
  std::string file = TpcmFile(dir, 2.0, 1000);
  std::string out = dir.File("capture.wav");
  std::vector<int32_t> bitRates;
  int ends = 0, starts = 0;
  std::vector<std::string> modes;
  platform::MessageRecorder msgs;
  {
    CaptureOutput capture(out, 1);
    TZOZUZivade eng;
    ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
    TStreamInfo info;
    int supportedBy = -1, slot = -1;
    std::string name;
    ASSERT_TRUE(eng.GetStreamInfo(file, info, supportedBy, slot, name));
    EXPECT_EQ(supportedBy, sbPluginOnly);
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(name, kPcm);
    EXPECT_EQ(info.Duration, 2000);
    EXPECT_EQ(info.Title, "Test PCM");

    eng.OnGetChannelInfo = [&](TZOZUZivade*, PChannelInfo ci) { bitRates.push_back(ci->BitRate); };
    eng.OnPluginStartPlay = [&](TZOZUZivade*, PChannelInfo ci) {
      ++starts;
      EXPECT_EQ(ci->SampleRate, 44100);
      EXPECT_EQ(ci->Channels, 2);
      EXPECT_EQ(ci->BitsPerSample, 16);
    };
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    eng.OnModeChange = [&](TZOZUZivade*, TPlayerMode, TPlayerMode to) { modes.push_back(PlayerModeName(to)); };
    ASSERT_TRUE(eng.Open(file));
    EXPECT_EQ(eng.StreamKind(), TZOZUZivade::skPlugin);
    EXPECT_EQ(eng.DecoderName(), "Test PCM decoder");
    EXPECT_EQ(eng.GetLength(), 2000u);
    EXPECT_TRUE(eng.CanSeek());
    EXPECT_EQ(plugins::UnloadInputPlugin(kPcm), plugins::plInUse);
    eng.Play();
    ASSERT_EQ(eng.Mode(), plmPlaying);
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
    PumpUntil([] { return false; }, 200);  // a second end would arrive meanwhile
    EXPECT_EQ(eng.Mode(), plmStopped);
    eng.Close();
    EXPECT_EQ(plugins::SelectedPlugin(), -1);
  }
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(starts, 1);
  ASSERT_FALSE(bitRates.empty());
  EXPECT_EQ(bitRates.front(), 128);
  EXPECT_EQ(modes, (std::vector<std::string>{"plmReady", "plmPlaying", "plmStopped", "plmStandby"}));
  for (const auto& m : msgs.Messages()) ADD_FAILURE() << m.text;

  const THeardMatch m = CompareHeard(ReadWav16(file), ReadWav16(out));
  ASSERT_TRUE(m.heard);
  EXPECT_NEAR(double(m.gotSamples), double(m.srcSamples), 4);
  EXPECT_LE(m.worst, 2);
}

TEST(InputHost, SetInfoPostsOnlyWhatChangedAndBitRatesFrom8000AreBitsPerSecond) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
  In_Module* m = plugins::GetInputModule(0);
  ASSERT_NE(m, nullptr);
  ASSERT_NE(m->SetInfo, nullptr);
  EXPECT_EQ(m->outMod, plugins::OutputModule());
  EXPECT_EQ(m->SAGetMode(), 0);
  EXPECT_EQ(m->dsp_isactive(), 0);
  std::vector<TChannelInfo> seen;
  eng.OnGetChannelInfo = [&](TZOZUZivade*, PChannelInfo ci) { seen.push_back(*ci); };
  m->SetInfo(-1, -1, -1, 1);
  PumpUntil([] { return false; }, 50);
  EXPECT_TRUE(seen.empty());
  // The record is read when the notice arrives, so each call waits for its notice.
  auto setInfo = [&](int bitrate, int rate, int channels) {
    size_t before = seen.size();
    m->SetInfo(bitrate, rate, channels, 0);
    return PumpUntil([&] { return seen.size() > before; }, 2000);
  };
  ASSERT_TRUE(setInfo(96, 22050, 1));
  ASSERT_TRUE(setInfo(128, -1, -1));
  ASSERT_TRUE(setInfo(7999, -1, -1));
  ASSERT_TRUE(setInfo(128000, -1, -1));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].BitRate, 96);
  EXPECT_EQ(seen[0].SampleRate, 22050);
  EXPECT_EQ(seen[1].BitRate, 128);
  EXPECT_EQ(seen[1].SampleRate, 22050);  // left as it was
  EXPECT_EQ(seen[1].Channels, 1);
  EXPECT_EQ(seen[2].BitRate, 7999);
  EXPECT_EQ(seen[3].BitRate, 128);
}

TEST(InputHost, QueriesOnTheEngineWindow) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  platform::HWND w = eng.HiddenWindow();
  EXPECT_EQ(platform::SendMessage(w, platform::WM_USER, 0, 0), 20496);
  EXPECT_EQ(platform::SendMessage(w, platform::WM_USER, 0, 125), -1);
  EXPECT_STREQ(reinterpret_cast<const char*>(platform::SendMessage(w, platform::WM_USER, 0, 211)), "");
  plugins::SetPlaylistMirror(1, {"/music/a.mp3", "/music/b.ogg"});
  EXPECT_EQ(platform::SendMessage(w, platform::WM_USER, 0, 125), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(platform::SendMessage(w, platform::WM_USER, 1, 211)), "/music/b.ogg");
  EXPECT_STREQ(reinterpret_cast<const char*>(platform::SendMessage(w, platform::WM_USER, 2, 211)), "");
  std::string ini = reinterpret_cast<const char*>(platform::SendMessage(w, platform::WM_USER, 0, 334));
  EXPECT_EQ(ini, dir.Path() + "/plugins/plugin.ini");
  EXPECT_NE(platform::SendMessage(w, platform::WM_USER, 0, 3025), 0);  // the Wasabi service manager
  EXPECT_EQ(platform::SendMessage(w, platform::WM_USER, 0, 99999), 0);
  plugins::SetPlaylistMirror(-1, {});
  // A plug-in asks from its own thread; the answer comes from the engine's.
  std::atomic<intptr_t> answer{0};
  std::thread asker([&] { answer = ::SendMessage(reinterpret_cast<HWND>(w), ::WM_USER, 0, 0); });
  ASSERT_TRUE(PumpUntil([&] { return answer.load() != 0; }, 2000));
  asker.join();
  EXPECT_EQ(answer, 20496);
}

TEST(InputHost, PauseResumeAndSeekThroughAPlugin) {
  ProgramDir dir;
  std::string file = dir.File("long.tpcm");
  fs::copy_file(SineWav(12.0, 440), file);
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
  ASSERT_TRUE(eng.Open(file));
  EXPECT_EQ(eng.GetPosition(), 0u);  // ready: 0 without asking the plug-in
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return eng.PluginOutputOpen(); }, 5000));
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 300; }, 5000));
  eng.SetPosition(6000);
  uint32_t pos = eng.GetPosition();
  EXPECT_GE(pos, 6000u);
  EXPECT_LT(pos, 6500u);
  eng.Pause(true);
  ASSERT_EQ(eng.Mode(), plmPaused);
  // What the device had already taken still sounds; then the position stands still.
  PumpUntil([] { return false; }, 400);
  uint32_t paused = eng.GetPosition();
  PumpUntil([] { return false; }, 200);
  EXPECT_NEAR(eng.GetPosition(), paused, 5);
  eng.Pause(false);
  ASSERT_EQ(eng.Mode(), plmPlaying);
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() >= paused + 200; }, 5000));
  eng.Stop();
  EXPECT_EQ(eng.Mode(), plmStopped);
  eng.Close();
  EXPECT_EQ(eng.Mode(), plmStandby);
  EXPECT_EQ(plugins::UnloadInputPlugin(kPcm), plugins::plUnloaded);
}

TEST(InputHost, TheFirstThreeLettersOfTheExtensionPickThePlugin) {
  ProgramDir dir;
  SilentOutput silent;
  std::string wav = dir.File("tone.wav");
  fs::copy_file(SineWav(1.0, 440), wav);
  TZOZUZivade eng;
  ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
  TStreamInfo info;
  int supportedBy = -1, slot = -1;
  std::string name;
  ASSERT_TRUE(eng.GetStreamInfo(wav, info, supportedBy, slot, name));
  EXPECT_EQ(supportedBy, sbBassOnly);  // "WAV" is not in "TPCM;TPC2"
  EXPECT_EQ(slot, -1);
  std::string tpc = dir.File("tone.tpc2");
  fs::copy_file(wav, tpc);
  ASSERT_TRUE(eng.GetStreamInfo(tpc, info, supportedBy, slot, name));
  EXPECT_EQ(supportedBy, sbPluginOnly);
  EXPECT_EQ(info.Duration, 1000);
}

// The plug-in's own thread runs the active module through dsp_dosamples, while
// the UI thread switches modules under it.
TEST(InputHost, APluginRunsTheActiveDSPModuleOnItsThread) {
  ProgramDir dir;
  std::string file = TpcmFile(dir, 1.0, 1000);
  std::string out = dir.File("gain.wav");
  std::string orvella = std::string(ORVELLA_STAGE_DIR) + "/plugins/dsp_orvella.so";
  int ends = 0;
  {
    CaptureOutput capture(out, 1);
    TZOZUZivade eng;
    ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
    ASSERT_TRUE(eng.StartDSPPlugin(orvella, 0));
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    ASSERT_TRUE(eng.Open(file));
    eng.Play();
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
  }
  std::vector<int16_t> src = ReadWav16(file), got = ReadWav16(out);
  size_t a = 0, b = 0;
  while (a < src.size() && src[a] == 0) ++a;
  while (b < got.size() && got[b] == 0) ++b;
  ASSERT_LT(b, got.size());
  int worst = 0;
  for (size_t i = 0; a + i < src.size() && b + i < got.size(); ++i)
    worst = std::max(worst, std::abs(int(std::lround(src[a + i] * 0.9945 * std::pow(10.0, -6.0 / 20.0))) - got[b + i]));
  EXPECT_LE(worst, 2);

  // Switching while it plays (real-time clock so the switches land mid-stream).
  ProgramDir dir2;
  std::string longer = dir2.File("long.tpcm");
  fs::copy_file(SineWav(3.0, 500), longer);
  CaptureOutput capture(dir2.File("switch.wav"), 4);
  TZOZUZivade eng;
  platform::MessageRecorder msgs;
  ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
  ASSERT_TRUE(eng.Open(longer));
  eng.Play();
  for (int i = 0; i < 30 && eng.Mode() == plmPlaying; ++i) {
    ASSERT_TRUE(eng.StartDSPPlugin(orvella, i % 4));
    PumpUntil([] { return false; }, 10);
    if (i % 4 == 3) eng.StopDSPPlugin();
  }
  eng.Close();
  EXPECT_TRUE(msgs.Messages().empty());
}

TEST(InputHost, APluginThatFindsNoLengthDoesNotTakeTheFile) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
  std::string copy = dir.File("in_other.so");
  fs::copy_file(kPcm, copy);
  ASSERT_EQ(plugins::LoadInputPlugin(copy), 0);
  std::string broken = dir.File("broken.tpcm");
  WriteFile(broken, "not a wave file at all");
  TStreamInfo info;
  int supportedBy = -1, slot = -1;
  std::string name;
  EXPECT_FALSE(eng.GetStreamInfo(broken, info, supportedBy, slot, name));  // both slots answer length 0
  EXPECT_EQ(supportedBy, sbNone);
  EXPECT_EQ(slot, -1);
  platform::MessageRecorder msgs;
  EXPECT_FALSE(eng.Open(broken));
  ASSERT_EQ(msgs.Messages().size(), 1u);
  EXPECT_EQ(msgs.Messages()[0].text, "Invalid or unsupported stream file.\n -> " + broken);
}

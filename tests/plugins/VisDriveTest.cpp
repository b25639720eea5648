// Visualisation modules run by the engine: what Render receives from real
// playback, pause and resume, starts and stops, and modules that misbehave.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <vector>

#include "EngineTestUtil.h"
#include "engine/VisDataThread.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "plugins/VisDrive2.h"
#include "VisTestKit.h"

using namespace engine;
using namespace enginetest;
using namespace vistest;

namespace {

std::string StereoTones() {
  return Media("vis_1k_left_3k_right.wav",
               "ffmpeg -nostdin -y -f lavfi -i sine=frequency=1000:sample_rate=44100:duration=20 "
               "-f lavfi -i sine=frequency=3000:sample_rate=44100:duration=20 "
               "-filter_complex amerge=inputs=2 -ac 2 -c:a pcm_s16le {out}");
}
std::string MonoTone() {
  return Media("vis_1k_mono.wav",
               "ffmpeg -nostdin -y -f lavfi -i sine=frequency=1000:sample_rate=44100:duration=20 "
               "-ac 1 -c:a pcm_s16le {out}");
}
std::string Silence() {
  return Media("vis_silence.wav",
               "ffmpeg -nostdin -y -f lavfi -i anullsrc=r=44100:cl=stereo -t 20 -c:a pcm_s16le {out}");
}

int PeakBin(const unsigned char* spectrum) {
  // Byte i is FFT bin i + 1.
  return int(std::max_element(spectrum, spectrum + 576) - spectrum) + 1;
}
int ZeroCrossings(const unsigned char* wave) {
  int n = 0;
  for (int i = 1; i < 576; ++i) {
    int a = int8_t(wave[i - 1]), b = int8_t(wave[i]);
    if ((a < 0) != (b < 0)) ++n;
  }
  return n;
}

}  // namespace

// ---------------------------------------------------------------------------
// What Render receives

TEST(VisData, StereoTonesPeakAtTheirBinsAndTheWaveformsCrossZeroAtTheirRates) {
  Kit kit;
  ASSERT_TRUE(kit.Loaded());
  Running r;
  std::string file = StereoTones();
  ASSERT_FALSE(file.empty());
  ASSERT_TRUE(r.Play(file));
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= 6; }, 10000));
  ASSERT_FALSE(r.shows.empty());
  EXPECT_NE(r.shows.back().ThreadId, 0u);
  Kit::Rendered f = kit.Last(0);
  EXPECT_EQ(f.srate, 44100);
  EXPECT_EQ(f.nch, 2);
  // 2048 points at 44.1 kHz: 1 kHz is bin 46.4, 3 kHz bin 139.3.
  EXPECT_NEAR(PeakBin(f.spectrum[0]), 46, 1);
  EXPECT_NEAR(PeakBin(f.spectrum[1]), 139, 1);
  EXPECT_GT(f.spectrum[0][45], 10);
  // 576 samples: 13.1 cycles of 1 kHz, 39.2 of 3 kHz, two crossings each.
  EXPECT_NEAR(ZeroCrossings(f.waveform[0]), 26, 2);
  EXPECT_NEAR(ZeroCrossings(f.waveform[1]), 78, 3);
  // The module painted its frame's surface.
  EXPECT_GT(kit.SurfaceDraws(0), 0);
  platform::HWND frame = kit.FrameWindow(0);
  ASSERT_NE(frame, nullptr);
  std::vector<uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(plugins::CopyVisFrameSurface(frame, px, w, h));
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 32);
  EXPECT_EQ(px[0], 0xFF00C000u);
  r.eng.QuitVisPlugin();
  EXPECT_TRUE(r.Stopped());
  EXPECT_EQ(kit.Quits(0), 1);
  EXPECT_EQ(r.shows.back().ThreadId, 0u);
  EXPECT_TRUE(r.Texts().empty());
}

TEST(VisData, MonoGivesEqualChannelsAndSilenceGivesZeros) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(MonoTone()));
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= 4; }, 10000));
  Kit::Rendered f = kit.Last(0);
  EXPECT_EQ(f.nch, 1);
  EXPECT_NEAR(PeakBin(f.spectrum[0]), 46, 1);
  EXPECT_EQ(0, std::memcmp(f.spectrum[0], f.spectrum[1], 576));
  EXPECT_EQ(0, std::memcmp(f.waveform[0], f.waveform[1], 576));
  EXPECT_NEAR(ZeroCrossings(f.waveform[0]), 26, 2);

  ASSERT_TRUE(r.eng.Open(Silence()));
  r.eng.Play();
  int before = kit.Renders(0);
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= before + 4; }, 10000));
  f = kit.Last(0);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 576; ++i) {
      ASSERT_EQ(f.spectrum[c][i], 0) << c << " " << i;
      ASSERT_EQ(f.waveform[c][i], 0) << c << " " << i;
    }
  r.eng.QuitVisPlugin();
  EXPECT_TRUE(r.Stopped());
}

TEST(VisData, VisScaleScalesTheSpectrumBytes) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(StereoTones()));
  r.eng.SetVisScale(256);
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= 4; }, 10000));
  int low = kit.Last(0).spectrum[0][45];
  r.eng.SetVisScale(1024);
  int before = kit.Renders(0);
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= before + 4; }, 10000));
  int high = kit.Last(0).spectrum[0][45];
  ASSERT_GT(low, 3);
  EXPECT_GE(high, 3 * low);
  EXPECT_LE(high, 5 * low + 4);
  r.eng.QuitVisPlugin();
  EXPECT_TRUE(r.Stopped());
}

TEST(VisData, OneSpectrumChannelAndTwoWaveformChannelsLandWhereTheyBelong) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(StereoTones()));
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 1));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(1) >= 4; }, 10000));
  Kit::Rendered f = kit.Last(1);
  // One FFT of both channels: both tones show in channel 0; channel 1 stays untouched.
  EXPECT_GT(f.spectrum[0][45], 5);
  EXPECT_GT(f.spectrum[0][138], 5);
  for (int i = 0; i < 576; ++i) ASSERT_EQ(f.spectrum[1][i], 0);
  EXPECT_NEAR(ZeroCrossings(f.waveform[0]), 26, 2);
  EXPECT_NEAR(ZeroCrossings(f.waveform[1]), 78, 3);
  r.eng.QuitVisPlugin();
  EXPECT_TRUE(r.Stopped());
}

TEST(VisData, RunningAModuleDoesNotChangeWhatIsHeard) {
  Kit kit;
  ProgramDir dir;
  ScratchDir out;
  std::string file = Media("vis_heard_3s.wav",
                           "ffmpeg -nostdin -y -f lavfi -i sine=frequency=700:sample_rate=44100:duration=3 "
                           "-ac 2 -c:a pcm_s16le {out}");
  std::string capture = out.File("heard.wav");
  {
    CaptureOutput cap(capture, 0);
    platform::MessageRecorder msgs;
    TZOZUZivade eng;
    ASSERT_TRUE(eng.Open(file));
    eng.Play();
    ASSERT_TRUE(eng.RunVisPlugin(kKit, 0));
    bool ended = false;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ended = true; };
    ASSERT_TRUE(PumpUntil([&] { return ended; }, 15000));
    EXPECT_GT(kit.Renders(0), 20);
    eng.QuitVisPlugin();
  }
  THeardMatch m = CompareHeard(FFmpegDecode(file), ReadWav16(capture));
  EXPECT_TRUE(m.heard);
  EXPECT_EQ(m.gotSamples, m.srcSamples);
  EXPECT_LE(m.worst, 2);
}

// ---------------------------------------------------------------------------
// Pause, resume, starts and stops

TEST(VisDrive, PauseStopsTheRendersAndResumeRestartsThem) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(StereoTones()));
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= 3; }, 10000));
  r.eng.Pause(true);
  ASSERT_EQ(r.eng.Mode(), plmPaused);
  PumpUntil([] { return false; }, 200);  // a frame already on its way may still render
  int atPause = kit.Renders(0);
  PumpUntil([] { return false; }, 600);
  EXPECT_EQ(kit.Renders(0), atPause);
  EXPECT_TRUE(r.eng.VisData()->Suspended());
  r.eng.Pause(false);
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= atPause + 3; }, 10000));
  r.eng.Stop();
  PumpUntil([] { return false; }, 200);
  int atStop = kit.Renders(0);
  PumpUntil([] { return false; }, 500);
  EXPECT_EQ(kit.Renders(0), atStop);
  r.eng.QuitVisPlugin();
  EXPECT_TRUE(r.Stopped());
}

TEST(VisDrive, ModulesStopAndStartInALoopAndASecondStartReplacesTheFirst) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(StereoTones()));
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0)) << i;
    if (i % 2 == 0) {
      int before = kit.Renders(0);
      ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) > before; }, 10000)) << i;
    } else {
      ASSERT_TRUE(PumpUntil([&] { return r.eng.VisActive(); }, 10000)) << i;
    }
    r.eng.QuitVisPlugin();
    ASSERT_TRUE(r.Stopped()) << i;
  }
  EXPECT_EQ(kit.Inits(0), 4);
  EXPECT_EQ(kit.Quits(0), 4);
  // Starting module 1 while module 0 runs: the first ends, then the second starts.
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
  ASSERT_TRUE(PumpUntil([&] { return r.eng.VisActive(); }, 10000));
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 1));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(1) > 0; }, 10000));
  EXPECT_EQ(kit.Quits(0), 5);
  EXPECT_EQ(r.shows.back().ModuleIndex, 1);
  r.eng.QuitVisPlugin();
  EXPECT_TRUE(r.Stopped());
  EXPECT_TRUE(r.Texts().empty());
}

// ---------------------------------------------------------------------------
// Modules that misbehave: the player goes on, and a later start works.

namespace {
void ExpectGoodStartWorks(Running& r, Kit& kit) {
  int before = kit.Renders(0);
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) > before + 1; }, 10000));
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
}
void ExpectStillPlaying(Running& r) {
  uint32_t p = r.eng.GetPosition();
  ASSERT_TRUE(PumpUntil([&] { return r.eng.GetPosition() > p + 100; }, 5000));
  EXPECT_EQ(r.eng.Mode(), plmPlaying);
}
}  // namespace

TEST(VisBadModules, RenderAnsweringOneQuitsTheModuleAndAFaultStopsItWithoutQuit) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(StereoTones()));
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 2));
  ASSERT_TRUE(PumpUntil([&] { return kit.Quits(2) == 1; }, 10000));
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(kit.Renders(2), 3);  // never called again
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
  EXPECT_EQ(kit.Quits(2), 1);

  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 3));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(3) >= 3; }, 10000));
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(kit.Renders(3), 3);
  ExpectStillPlaying(r);
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
  EXPECT_EQ(kit.Quits(3), 0);  // not called after a fault
  ExpectGoodStartWorks(r, kit);
  EXPECT_TRUE(r.Texts().empty());
}

TEST(VisBadModules, InitFailingAndMissingModulesReportAFailedStart) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(StereoTones()));
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 4));
  ASSERT_TRUE(r.Stopped());
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Failed initializing vis module"});
  EXPECT_EQ(kit.Quits(4), 0);
  ASSERT_FALSE(r.shows.empty());
  EXPECT_EQ(r.shows.back().ThreadId, 0u);
  r.msgs.Clear();

  // No header function, a NULL header, no module, an index past the end, a file that is not a library.
  ScratchDir s;
  WriteFile(s.File("vis_text.so"), "this is not a shared object\n");
  for (const std::string& lib : {kDir + "/vis_testnoexport.so", kDir + "/vis_testnullheader.so",
                                 kDir + "/vis_testnullmodule.so", kKit, s.File("vis_text.so")}) {
    r.shows.clear();
    ASSERT_TRUE(r.eng.RunVisPlugin(lib, lib == kKit ? 8 : 0)) << lib;
    ASSERT_TRUE(r.Stopped()) << lib;
    ASSERT_FALSE(r.shows.empty()) << lib;
    EXPECT_EQ(r.shows.front().ThreadId, 0u) << lib;
    EXPECT_FALSE(r.eng.VisActive());
  }
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Failed loading vis module"});
  r.msgs.Clear();
  EXPECT_FALSE(r.eng.RunVisPlugin(kDir + "/vis_absent.so", 0));
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Specified visualization plug-in does not exist"});

  // Nine modules: eight are listed, the eighth runs.
  std::vector<winampVisModule*> mods;
  EXPECT_EQ(plugins::LoadVisPlugin(kDir + "/vis_testnine.so", nullptr, mods), 8);
  plugins::CloseVisListing();
  Kit nine(kDir + "/vis_testnine.so");
  ASSERT_TRUE(r.eng.RunVisPlugin(kDir + "/vis_testnine.so", 7));
  ASSERT_TRUE(PumpUntil([&] { return nine.Inits(7) == 1; }, 10000));
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
  ExpectStillPlaying(r);
  ExpectGoodStartWorks(r, kit);
}

TEST(VisBadModules, AModuleThatOpensNoWindowIsQuitAfterTheSearch) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(StereoTones()));
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 7));
  ASSERT_TRUE(r.Stopped());
  EXPECT_EQ(kit.Inits(7), 1);
  EXPECT_EQ(kit.Quits(7), 1);
  EXPECT_EQ(kit.Renders(7), 0);
  ASSERT_FALSE(r.shows.empty());
  EXPECT_EQ(r.shows.back().ThreadId, 0u);
  ExpectStillPlaying(r);
  ExpectGoodStartWorks(r, kit);
}

TEST(VisBadModules, InitOrQuitThatNeverReturnIsLeftBehindAndTheNextStartWorks) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(StereoTones()));
  const int abandonedBefore = plugins::AbandonedVisLibraries();
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 5));
  ASSERT_TRUE(PumpUntil([&] { return kit.Inits(5) == 1; }, 5000));
  ExpectStillPlaying(r);  // the UI thread is not held by the module
  r.eng.QuitVisPlugin();  // bounded: gives up on the module
  ASSERT_TRUE(r.Stopped());
  EXPECT_EQ(plugins::AbandonedVisLibraries(), abandonedBefore + 1);
  EXPECT_EQ(r.Texts(), (std::vector<std::string>{"Error : VismodCounter non-zero", "Error : DriveThreadId non-zero"}));
  r.msgs.Clear();
  ExpectGoodStartWorks(r, kit);

  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 6));
  ASSERT_TRUE(PumpUntil([&] { return r.eng.VisActive(); }, 10000));
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
  EXPECT_EQ(kit.Quits(6), 1);
  EXPECT_EQ(plugins::AbandonedVisLibraries(), abandonedBefore + 2);
  ExpectStillPlaying(r);
  ExpectGoodStartWorks(r, kit);
  kit.Release();  // the threads left behind may end now; nothing of theirs is touched
}

// ---------------------------------------------------------------------------
// vis_orvella.so, the module the player ships

namespace {
// A program folder whose plugins/ holds the shipped module and a settings file of the test's own.
struct ShippedModuleDir : ScratchDir {
  std::string lib;
  ShippedModuleDir(const std::string& ini) {
    std::filesystem::create_symlink(std::string(ORVELLA_STAGE_DIR) + "/bass.so", File("bass.so"));
    std::filesystem::create_directory(File("plugins"));
    lib = File("plugins/vis_orvella.so");
    std::filesystem::create_symlink(std::string(ORVELLA_STAGE_DIR) + "/plugins/vis_orvella.so", lib);
    WriteFile(File("plugins/plugin.ini"), ini);
    platform::SetProgramFolder(Path());
  }
  ~ShippedModuleDir() { platform::SetProgramFolder(ORVELLA_STAGE_DIR); }
};
}  // namespace

TEST(VisOrvella, DrawsLogBarsWithTheColoursOfItsSettingsIntoTheSurface) {
  ShippedModuleDir dir("[other]\nkey=1\n[vis_orvella]\nbars=16\nbarColor=FF0000\npeakColor=00FF00\n"
                       "backgroundColor=000000\n");
  SilentOutput silent;
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Open(StereoTones()));
  eng.Play();
  ASSERT_TRUE(eng.RunVisPlugin(dir.lib, 0));
  ASSERT_TRUE(PumpUntil([&] { return eng.VisActive(); }, 10000));
  platform::HWND frame = eng.VisWindowInfo().VisWindow;
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return plugins::VisFrameSurfaceUnlocks(frame) > 10; }, 10000));
  std::vector<uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(plugins::CopyVisFrameSurface(frame, px, w, h));
  ASSERT_EQ(w, 400);
  // The bottom row: which of the 16 bars are lit.
  std::vector<int> lit;
  for (int bar = 0; bar < 16; ++bar) {
    uint32_t p = px[size_t(h - 1) * w + size_t(bar * w / 16 + 2)];
    if ((p & 0xFFFFFF) == 0xFF0000) lit.push_back(bar);
    else EXPECT_EQ(p & 0xFFFFFF, 0u) << bar;
  }
  // Log-spaced over 576 bins: 1 kHz (bin 46) falls in bar 9, 3 kHz (bin 139) in bar 12.
  EXPECT_EQ(lit, (std::vector<int>{9, 12}));
  bool peakSeen = false;
  for (uint32_t p : px) peakSeen = peakSeen || (p & 0xFFFFFF) == 0x00FF00;
  EXPECT_TRUE(peakSeen);

  // Config writes the section in use and keeps the rest of the file.
  std::vector<winampVisModule*> mods;
  ASSERT_EQ(plugins::LoadVisPlugin(dir.lib, nullptr, mods), 3);
  mods[0]->Config(mods[0]);
  plugins::CloseVisListing();
  std::string ini = ReadFile(dir.File("plugins/plugin.ini"));
  EXPECT_NE(ini.find("[other]\nkey=1\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("bars=16\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("barColor=FF0000\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("fps=60\n"), std::string::npos) << ini;
  eng.QuitVisPlugin();
  EXPECT_TRUE(PumpUntil([&] { return !plugins::DriveThreadRunning(); }, 10000));
  EXPECT_TRUE(msgs.Messages().empty());
}

// ---------------------------------------------------------------------------
// The data thread's frame on a library of the test's own: exact bytes.

namespace {
struct FakeLib {
  static inline bool eightBit = false;
  static inline DWORD chans = 2;
  static inline DWORD fftFloats = 2048;  // what the two-channel FFT gives back
  static DWORD IsActive(DWORD) { return BASS_ACTIVE_PLAYING; }
  static BOOL GetInfo(DWORD, BASS_CHANNELINFO* ci) {
    *ci = BASS_CHANNELINFO{};
    ci->freq = 22050;
    ci->chans = chans;
    ci->flags = eightBit ? BASS_SAMPLE_8BITS : 0;
    return TRUE;
  }
  static DWORD GetData(DWORD, void* buf, DWORD length) {
    if (length == BASS_DATA_AVAILABLE) return 1 << 20;
    if (length & 0x80000000u) {
      float* f = static_cast<float*>(buf);
      for (DWORD i = 0; i < fftFloats; ++i) f[i] = i % 2 ? 0.25f : 0.001f * float(i / 2);
      return fftFloats * 4;
    }
    auto* b = static_cast<uint8_t*>(buf);
    for (DWORD i = 0; i < length; ++i) b[i] = uint8_t(i % 7 == 0 ? 0 : 200 + i % 50);
    return length;
  }
  static QWORD GetPosition(DWORD, DWORD) { return 0; }
};

std::vector<platform::MSG> TakeThreadMessages() {
  std::vector<platform::MSG> out;
  platform::MSG m;
  while (platform::PeekMessage(&m, true)) out.push_back(m);
  return out;
}
}  // namespace

TEST(VisDataThread, EightBitSamplesAreCenteredAndTheSpectrumIsScaledAndClamped) {
  engine::TBassCore lib;
  lib.BASS_ChannelIsActive = &FakeLib::IsActive;
  lib.BASS_ChannelGetInfo = &FakeLib::GetInfo;
  lib.BASS_ChannelGetData = &FakeLib::GetData;
  lib.BASS_ChannelGetPosition = &FakeLib::GetPosition;
  plugins::TVisSharedRecord shared;
  const platform::UINT msg = platform::RegisterWindowMessage("WM_BASSSendingData");
  TVisDataThread data(lib, shared, msg);
  data.SetTargetThread(platform::GetCurrentThreadId());
  data.SetStream(1, 0, 2, 22050, 7, false);
  data.SetScale(1024);
  data.Configure(0, 25, 2, 2);
  FakeLib::eightBit = true;
  ASSERT_TRUE(data.ProduceFrame());
  {
    std::lock_guard lock(shared.Lock);
    EXPECT_TRUE(shared.NewData);
    EXPECT_EQ(shared.FrameRate, 22050);
    // Spectrum: left from even positions (bin 1 = 0.001 x 1024 = 1.02 -> 1), right from odd (0.25 x 1024 -> 255).
    EXPECT_EQ(shared.Data[0], 1);
    EXPECT_EQ(shared.Data[576], 255);
    // Waveform of unsigned 8-bit samples: value - 128 (0 -> -128, 200 + n -> 72 + n).
    EXPECT_EQ(int8_t(shared.Data[2 * 576]), -128);             // frame 0, left: byte 0
    EXPECT_EQ(int8_t(shared.Data[3 * 576]), int8_t(201 - 128));  // frame 0, right: byte 1
  }
  // The frame is not taken: twenty skipped frames post notice 57 once, not again while it is pending.
  TakeThreadMessages();
  for (int i = 0; i < 60; ++i) EXPECT_FALSE(data.ProduceFrame());
  int notices57 = 0;
  for (const platform::MSG& m : TakeThreadMessages())
    if (m.message == msg && m.wParam == plugins::vcClearNew) ++notices57;
  EXPECT_EQ(notices57, 1);
  {
    std::lock_guard lock(shared.Lock);  // as the drive thread handles 57
    shared.NewData = false;
    shared.ClearPending = false;
  }
  // A library giving back fewer floats than a full frame leaves the rest at zero, past no buffer's end.
  FakeLib::eightBit = false;
  FakeLib::fftFloats = 200;
  ASSERT_TRUE(data.ProduceFrame());
  {
    std::lock_guard lock(shared.Lock);
    EXPECT_EQ(shared.Data[576 + 98], 255);  // right bin 99 of 100
    EXPECT_EQ(shared.Data[576 + 99], 0);    // past what came back
    // 16-bit samples: their high byte (bytes 200, 201 little-endian: 0xC9C8 -> 0xC9).
    int16_t s;
    uint8_t raw[2] = {uint8_t(200 + 4 % 50), uint8_t(200 + 5 % 50)};
    std::memcpy(&s, raw, 2);
    EXPECT_EQ(int8_t(shared.Data[2 * 576 + 1]), int8_t(s >> 8));  // frame 1 left: bytes 4, 5
  }
  FakeLib::fftFloats = 2048;
}

TEST(VisDrive, AHiddenFrameIsNotRenderedUntilShownAgain) {
  Kit kit;
  Running r;
  ASSERT_TRUE(r.Play(StereoTones()));
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= 3; }, 10000));
  r.eng.HideVisWindow();
  PumpUntil([] { return false; }, 200);
  int hidden = kit.Renders(0);
  PumpUntil([] { return false; }, 500);
  EXPECT_EQ(kit.Renders(0), hidden);
  EXPECT_EQ(r.eng.Mode(), plmPlaying);  // the sound goes on
  r.eng.ShowVisWindow();
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= hidden + 3; }, 5000));
  r.eng.QuitVisPlugin();
  EXPECT_TRUE(r.Stopped());
}

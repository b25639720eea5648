// The UI thread's waits on the threads that run DSP modules: a module that
// sends to its host window from ModifySamples must not lock up stopping,
// starting, seeking or closing; a module that never returns is left behind
// after a bounded wait and the player goes on without it.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/PluginCtrl.h"

using namespace engine;
using namespace enginetest;
namespace fs = std::filesystem;

namespace {

const std::string kKit = std::string(ORV_TEST_PLUGINS) + "/dsp_testkit.so";
const std::string kPcm = std::string(ORV_TEST_PLUGINS) + "/in_testpcm.so";
constexpr int kAskPosition = 5;
constexpr int kNeverReturns = 6;

// A function of the loaded kit (nullptr when the kit is not loaded).
template <typename F>
F KitFunction(const char* name) {
  void* h = dlopen(kKit.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!h) return nullptr;
  auto f = reinterpret_cast<F>(dlsym(h, name));
  dlclose(h);  // the host (or the leak of a hung module) keeps it mapped
  return f;
}

int KitCount(const char* name) {
  auto f = KitFunction<int (*)()>(name);
  return f ? f() : -1;
}

bool KitLoaded() {
  void* h = dlopen(kKit.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

// A deadlocked UI thread cannot time itself out: this ends the program with a
// message when the guarded steps have not finished in time.
class HangWatch {
 public:
  HangWatch(int seconds, const char* what)
      : thread_([this, seconds, what] {
          std::unique_lock lock(mutex_);
          if (!cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
            std::fprintf(stderr, "HUNG: %s\n", what);
            std::fflush(stderr);
            std::_Exit(3);
          }
        }) {}
  ~HangWatch() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

std::vector<std::string> Texts(const platform::MessageRecorder& r) {
  std::vector<std::string> t;
  for (const auto& m : r.Messages()) t.push_back(m.text);
  return t;
}

// Waits until the module has answered at least `more` further queries.
bool QueriesGoOn(int more) {
  int start = KitCount("testkit_queries");
  return PumpUntil([&] { return KitCount("testkit_queries") >= start + more; }, 5000);
}

}  // namespace

TEST(DSPHostWaits, AModuleThatQueriesTheHostCanBeStoppedAndStartedWhilePlaying) {
  ProgramDir dir;
  std::string wav = SineWav(3.0);
  CaptureOutput capture(dir.File("asks.wav"), 4);
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  HangWatch watch(100, "stopping or starting a module that queries the host");
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  int queries = 0;
  for (int cycle = 0; cycle < 40; ++cycle) {
    if (eng.Mode() != plmPlaying) {  // the file ended: play it again
      eng.Close();
      ASSERT_TRUE(eng.Open(wav));
      eng.Play();
    }
    ASSERT_TRUE(eng.StartDSPPlugin(kKit, kAskPosition)) << cycle;
    if (cycle == 0) queries = KitCount("testkit_queries");
    ASSERT_TRUE(QueriesGoOn(2)) << cycle;
    switch (cycle % 4) {
      case 1:  // a seek empties the ring while the module may be inside a block
        eng.SetPosition(200);
        break;
      case 2:  // playback ends and starts again with the module running
        eng.Close();
        ASSERT_TRUE(eng.Open(wav));
        eng.Play();
        ASSERT_TRUE(QueriesGoOn(2)) << cycle;
        break;
      case 3:  // pause and resume (the resume empties the ring too)
        eng.Pause(true);
        eng.Pause(false);
        break;
    }
    eng.StopDSPPlugin();
    EXPECT_FALSE(plugins::IsDSPActive());
  }
  eng.Close();
  EXPECT_GT(KitCount("testkit_queries"), queries + 80);
  EXPECT_TRUE(Texts(msgs).empty());
}

// The same module on an input plug-in's decoding thread.
TEST(DSPHostWaits, AModuleThatQueriesTheHostFromAnInputPluginCanBeStoppedAndStarted) {
  ProgramDir dir;
  std::string file = dir.File("tone.tpcm");
  fs::copy_file(SineWav(10.0, 500), file);
  CaptureOutput capture(dir.File("asks.wav"), 4);
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  HangWatch watch(100, "stopping or starting a module that queries the host from an input plug-in");
  ASSERT_EQ(plugins::LoadInputPlugin(kPcm), 0);
  ASSERT_TRUE(eng.Open(file));
  eng.Play();
  int cycle = 0;
  for (; cycle < 60 && eng.Mode() == plmPlaying; ++cycle) {
    ASSERT_TRUE(eng.StartDSPPlugin(kKit, kAskPosition)) << cycle;
    // The plug-in writes ahead of what is heard and then waits for room: a
    // query may not come in every cycle, but the first ones must.
    if (cycle < 3) ASSERT_TRUE(QueriesGoOn(1)) << cycle;
    else PumpUntil([] { return false; }, 10);
    eng.StopDSPPlugin();
  }
  EXPECT_EQ(cycle, 60);  // all of them while the plug-in played
  eng.Close();
  EXPECT_GT(KitCount("testkit_queries"), 0);
  EXPECT_TRUE(Texts(msgs).empty());
}

TEST(DSPHostWaits, AModuleThatNeverReturnsIsLeftBehindAndTheNextStreamPlaysWithoutIt) {
  ProgramDir dir;
  std::string first = SineWav(1.0, 440);
  std::string second = SineWav(2.0, 1000);
  std::string out = dir.File("after.wav");
  platform::MessageRecorder msgs;
  int quitsBefore = 0;
  {
    CaptureOutput capture(out, 2);
    TZOZUZivade eng;
    int ends = 0;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    HangWatch watch(100, "stopping a stream whose module never returns");
    ASSERT_TRUE(eng.StartDSPPlugin(kKit, kNeverReturns));
    KitFunction<void (*)()>("testkit_hold")();
    quitsBefore = KitCount("testkit_quits");
    int left = KitCount("testkit_left");
    ASSERT_TRUE(eng.Open(first));
    eng.Play();
    ASSERT_TRUE(PumpUntil([] { return KitCount("testkit_inside") == 1; }, 5000));

    eng.Stop();
    eng.Close();  // the play thread is inside the module: the wait for it gives up
    EXPECT_FALSE(plugins::PlayThreadRunning());
    EXPECT_FALSE(plugins::IsDSPActive());
    ASSERT_TRUE(PumpUntil([&] { return !msgs.Messages().empty(); }, 5000));
    EXPECT_EQ(Texts(msgs), std::vector<std::string>{"DSP error"});
    EXPECT_EQ(KitCount("testkit_inside"), 1);  // still stuck

    ASSERT_TRUE(eng.Open(second));
    eng.Play();
    // Let the stuck call return now, while the next stream plays: the thread
    // left behind must not write its block into the ring.
    KitFunction<void (*)()>("testkit_release")();
    ASSERT_TRUE(PumpUntil([&] { return KitCount("testkit_left") == left + 1; }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 30000));
    EXPECT_EQ(KitCount("testkit_quits"), quitsBefore);  // a module left behind is never quit
    PumpUntil([] { return false; }, 50);
  }
  // The library stays mapped: code of the module may still run.
  EXPECT_TRUE(KitLoaded());
  EXPECT_EQ(KitCount("testkit_quits"), quitsBefore);
  EXPECT_EQ(Texts(msgs), std::vector<std::string>{"DSP error"});

  // What was heard is the second file alone, untouched by any module.
  const THeardMatch m = CompareHeard(ReadWav16(second), ReadWav16(out));
  ASSERT_TRUE(m.heard);
  EXPECT_NEAR(double(m.gotSamples), double(m.srcSamples), 4);
  EXPECT_LE(m.worst, 1);
}

// Stopping the module (not the stream) while it hangs: the stop gives up
// waiting, the module is left behind, and the stream goes on without it.
TEST(DSPHostWaits, StoppingAModuleThatNeverReturnsLetsTheStreamPlayOn) {
  ProgramDir dir;
  std::string wav = SineWav(2.0, 1000);
  std::string out = dir.File("on.wav");
  platform::MessageRecorder msgs;
  int ends = 0;
  {
    CaptureOutput capture(out, 1);
    TZOZUZivade eng;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    HangWatch watch(100, "stopping a module that never returns");
    ASSERT_TRUE(eng.StartDSPPlugin(kKit, kNeverReturns));
    KitFunction<void (*)()>("testkit_hold")();
    int left = KitCount("testkit_left");
    ASSERT_TRUE(eng.Open(wav));
    eng.Play();
    ASSERT_TRUE(PumpUntil([] { return KitCount("testkit_inside") == 1; }, 5000));
    eng.StopDSPPlugin();
    EXPECT_FALSE(plugins::IsDSPActive());
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 30000));
    EXPECT_EQ(Texts(msgs), std::vector<std::string>{"DSP error"});
    KitFunction<void (*)()>("testkit_release")();
    ASSERT_TRUE(PumpUntil([&] { return KitCount("testkit_left") == left + 1; }, 5000));
  }
  // One block went into the module and never came back; the rest was heard.
  auto src = ReadWav16(wav), got = ReadWav16(out);
  EXPECT_NEAR(double(got.size()), double(src.size() - plugins::PlayBlockBytes(16, 2, 44100) / 2), 4);
}

// Where a running module's frame lives and how it leaves: closed by hand, moved
// into an embed target and back, hidden and re-shown by the module; the drive
// thread's priority; play requests a module sends to the Winamp-like window.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestUtil.h"
#include "VisTestKit.h"
#include "engine/ZOZUZivade.h"
#include "plugins/VisDrive2.h"

using namespace engine;
using namespace enginetest;
using namespace vistest;

namespace {

// Running with module 0 of the kit rendering a tone.
bool StartRecorder(Running& r, Kit& kit) {
  if (!r.Play(SineWav(20.0, 1000)) || !r.eng.RunVisPlugin(kKit, 0)) return false;
  return PumpUntil([&] { return r.eng.VisActive() && kit.Renders(0) >= 3; }, 10000);
}

size_t Reattached(const Running& r) {
  return size_t(std::count_if(r.shows.begin(), r.shows.end(),
                              [](const plugins::TVisPluginInfo& i) { return i.ThreadId != 0 && i.FirstShow == 0; }));
}

platform::HWND NewTarget() {
  return platform::CreateMessageWindow([](platform::HWND h, platform::UINT m, platform::WPARAM w, platform::LPARAM l) {
    return platform::DefWindowProc(h, m, w, l);
  });
}

}  // namespace

TEST(VisEmbed, ClosingTheFrameByHandQuitsTheModuleAndLeavesNothingBehind) {
  Kit kit;
  ASSERT_TRUE(kit.Loaded());
  Running r;
  ASSERT_TRUE(StartRecorder(r, kit));
  platform::HWND frame = r.eng.VisWindowInfo().VisWindow;
  ASSERT_NE(frame, nullptr);
  plugins::VisFrameCloseRequested(frame);
  ASSERT_TRUE(r.Stopped());
  EXPECT_FALSE(r.eng.VisActive());
  EXPECT_EQ(kit.Quits(0), 1);  // the module is told, it did nothing wrong
  EXPECT_EQ(r.shows.back().ThreadId, 0u);
  EXPECT_EQ(plugins::VisWindowState(), plugins::vwsNone);
  EXPECT_FALSE(platform::IsWindow(frame));
  const int renders = kit.Renders(0);
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(kit.Renders(0), renders);
  // A closed frame does not stand in the way of the next start.
  ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) > renders + 2; }, 10000));
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
  EXPECT_TRUE(r.Texts().empty());
}

TEST(VisEmbed, TheFrameMovesIntoAnEmbedTargetOnlyWhenAllowedAndComesBack) {
  Kit kit;
  ASSERT_TRUE(kit.Loaded());
  Running r;
  ASSERT_TRUE(StartRecorder(r, kit));
  platform::HWND target = NewTarget();
  // Not allowed yet: nothing moves. Notices are taken in order, so the allowed
  // move below is the first re-attachment the engine hears of.
  r.eng.ReattachVis(target);
  r.eng.AllowVisAttach(true);
  r.eng.ReattachVis(target);
  ASSERT_TRUE(PumpUntil([&] { return Reattached(r) == 1; }, 5000));
  EXPECT_EQ(r.shows.back().WindowState, plugins::vwsEmbedTarget);
  EXPECT_EQ(plugins::VisWindowState(), plugins::vwsEmbedTarget);
  const int renders = kit.Renders(0);
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) > renders + 2; }, 5000));  // still fed there
  r.eng.ReattachVis(nullptr);
  ASSERT_TRUE(PumpUntil([&] { return Reattached(r) == 2; }, 5000));
  EXPECT_EQ(r.shows.back().WindowState, plugins::vwsGenFrame);
  EXPECT_EQ(r.shows.back().VisWindow, r.shows.front().VisWindow);  // the module's frame is the same one
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
  platform::DestroyWindow(target);
  EXPECT_TRUE(r.Texts().empty());
}

TEST(VisEmbed, AModuleHidingItsWindowIsNotFedUntilItShowsItAgain) {
  Kit kit;
  ASSERT_TRUE(kit.Loaded());
  Running r;
  ASSERT_TRUE(StartRecorder(r, kit));
  platform::HWND main = plugins::VisMainWindow();
  platform::SendMessage(main, platform::WM_USER, 0, 630);
  ASSERT_TRUE(PumpUntil([&] { return !r.eng.VisActive(); }, 5000));
  platform::SendMessage(main, platform::WM_USER, 1, 631);
  ASSERT_TRUE(PumpUntil([&] { return r.eng.VisActive(); }, 5000));
  EXPECT_EQ(Reattached(r), 1u);
  const int renders = kit.Renders(0);
  ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) > renders + 2; }, 5000));
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
}

TEST(VisEmbed, TheDriveThreadRunsBelowTheProgramsPriority) {
  Kit kit;
  ASSERT_TRUE(kit.Loaded());
  Running r;
  ASSERT_TRUE(StartRecorder(r, kit));
  errno = 0;
  const int base = getpriority(PRIO_PROCESS, 0);
  EXPECT_EQ(kit.Nice(0), std::min(base + 5, 19));
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
}

TEST(VisEmbed, APlayRequestReachesTheProgramWholeAsA32BitNumber) {
  Kit kit;
  ASSERT_TRUE(kit.Loaded());
  Running r;
  std::vector<uint32_t> requests;
  r.eng.OnUpdatePlayList = [&](TZOZUZivade*, uint32_t v) { requests.push_back(v); };
  ASSERT_TRUE(StartRecorder(r, kit));
  struct CopyData {
    uintptr_t dwData;
    uint32_t cbData;
    void* lpData;
  };
  std::string file = "/music/a long name/track.flac";
  CopyData cd{100, uint32_t(file.size() + 1), file.data()};
  platform::HWND main = plugins::VisMainWindow();
  EXPECT_EQ(platform::SendMessage(main, platform::WM_COPYDATA, 0, reinterpret_cast<platform::LPARAM>(&cd)), 1);
  CopyData other{7, uint32_t(file.size() + 1), file.data()};
  platform::SendMessage(main, platform::WM_COPYDATA, 0, reinterpret_cast<platform::LPARAM>(&other));
  platform::SendMessage(main, platform::WM_USER, 0, 101);  // clear the playlist
  ASSERT_TRUE(PumpUntil([&] { return requests.size() >= 2; }, 5000));
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0], 0u);
  EXPECT_EQ(r.eng.PlayListRequestFile(requests[0]), file);
  EXPECT_EQ(requests[1], 0u);
  EXPECT_EQ(r.eng.PlayListRequestFile(requests[0] + 1), "");
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
}

TEST(VisEmbed, AModuleStartedWithAnEmbedTargetOpensInIt) {
  Kit kit;
  ASSERT_TRUE(kit.Loaded());
  Running r;
  platform::HWND target = NewTarget();
  r.eng.SetVisEmbedTarget(target);
  ASSERT_TRUE(StartRecorder(r, kit));
  ASSERT_FALSE(r.shows.empty());
  EXPECT_EQ(r.shows.front().WindowState, plugins::vwsEmbedTarget);
  EXPECT_EQ(r.shows.front().FirstShow, 1);
  // Back into a frame of its own, then the stop takes everything down.
  r.eng.ReattachVis(nullptr);
  ASSERT_TRUE(PumpUntil([&] { return Reattached(r) == 1; }, 5000));
  EXPECT_EQ(r.shows.back().WindowState, plugins::vwsGenFrame);
  r.eng.QuitVisPlugin();
  ASSERT_TRUE(r.Stopped());
  EXPECT_TRUE(platform::IsWindow(target));  // the target is the program's, it stays
  platform::DestroyWindow(target);
}

TEST(VisEmbed, PriorityLevelsMapToNiceValuesAndIdleWithoutFailingWhenRefused) {
  struct Seen {
    int nice = -100, policy = -1;
  };
  auto on = [](int level) {
    Seen s;
    std::thread t([&] {
      plugins::ApplyDrivePriority(level);
      errno = 0;
      s.nice = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
      s.policy = sched_getscheduler(0);
    });
    t.join();
    return s;
  };
  errno = 0;
  const int base = getpriority(PRIO_PROCESS, 0);
  EXPECT_EQ(on(0).nice, base);
  EXPECT_EQ(on(-2).nice, std::min(base + 10, 19));
  // Idle: the idle policy where the system grants it (it does for any user), else lowest.
  Seen idle = on(-15);
  EXPECT_TRUE(idle.policy == SCHED_IDLE || idle.nice == std::min(base + 10, 19));
  // Raising may be refused: then the thread simply keeps the program's level.
  Seen high = on(2);
  EXPECT_LE(high.nice, base);
  EXPECT_TRUE(high.nice == base || high.nice == std::max(base - 10, -20));
}

// The optional drawer libraries, through fakes built by the tests: what the
// host window answers with them (241, 260, 503, 505), what is refused when they
// are missing or incomplete, and a visualisation module framed by the vis drawer.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "EngineTestUtil.h"
#include "VisTestKit.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/Drawers.h"
#include "plugins/PluginCtrl.h"
#include "plugins/VisDrive2.h"
#include "plugins/sdk/winamp_vis.h"

using namespace engine;
using namespace enginetest;
using namespace vistest;
using platform::LRESULT;

namespace {

LRESULT Query(platform::HWND w, platform::LPARAM code, platform::WPARAM wParam = 0) {
  return platform::SendMessage(w, platform::WM_USER, wParam, code);
}

// A fake held open by the test, so its records outlive the engine unloading it.
class Fake {
 public:
  explicit Fake(const std::string& file) : handle_(dlopen((kDir + "/" + file).c_str(), RTLD_NOW)) {
    if (handle_) Fn<void (*)()>("drawerfake_reset")();
  }
  ~Fake() {
    if (handle_) dlclose(handle_);
  }
  bool Loaded() const { return handle_ != nullptr; }
  int Count(const char* what) { return Fn<int (*)(const char*)>("drawerfake_count")(what); }
  std::array<int32_t, 6> Show() {
    std::array<int32_t, 6> v{};
    Fn<void (*)(int32_t*)>("drawerfake_show")(v.data());
    return v;
  }
  std::array<int32_t, 6> RunArgs() {
    std::array<int32_t, 6> v{};
    Fn<void (*)(int32_t*)>("drawerfake_run_args")(v.data());
    return v;
  }
  std::string Navigated() { return Fn<const char* (*)()>("drawerfake_navigated")(); }
  LRESULT Handle(const char* which) {
    return reinterpret_cast<LRESULT>(Fn<void* (*)(const char*)>("drawerfake_handle")(which));
  }
  LRESULT Magnetic(int target) { return reinterpret_cast<LRESULT>(Fn<void* (*)(int)>("drawerfake_magnetic")(target)); }

 private:
  template <typename F>
  F Fn(const char* name) {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }
  void* handle_;
};

plugins::TMainGeometry MainAt(int x, int y, int w, int h, bool visible = true) {
  plugins::TMainGeometry g;
  g.exists = true;
  g.visible = visible;
  g.x = x;
  g.y = y;
  g.width = w;
  g.height = h;
  return g;
}

struct GeometryScope {
  explicit GeometryScope(plugins::TMainGeometry g) {
    plugins::SetMainGeometrySource([g] { return g; });
  }
  ~GeometryScope() { plugins::SetMainGeometrySource(nullptr); }
};

}  // namespace

TEST(Drawers, WithoutTheLibrariesTheirQueriesAnswerZeroAndTheVisDrawerIsRefused) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  platform::HWND host = plugins::HostWindow();
  EXPECT_FALSE(eng.MiniBrowserReady());
  EXPECT_FALSE(eng.VisDrawerReady());
  EXPECT_EQ(Query(host, 241), 0);
  EXPECT_EQ(Query(host, 503), 0);
  EXPECT_EQ(Query(host, 260, 2), 0);
  embedWindowState state{};
  EXPECT_EQ(Query(host, 505, reinterpret_cast<platform::WPARAM>(&state)), 0);
  EXPECT_EQ(state.me, nullptr);
  eng.SetUseVisDrawer(true);
  EXPECT_FALSE(eng.UseVisDrawer());
}

TEST(Drawers, TheMiniBrowserLibraryAnswersNavigationsBitmapsAndDrawerFrames) {
  Fake fake("drawer_rarareru.so");
  ASSERT_TRUE(fake.Loaded());
  SilentOutput silent;
  platform::MessageRecorder msgs;
  {
    DrawerDir dir(DrawerList{{"RARareru.so", "drawer_rarareru.so"}});
    TZOZUZivade eng;
    std::vector<uint32_t> browserShows;
    eng.OnMBWindowShow = [&](TZOZUZivade*, uint32_t kind) { browserShows.push_back(kind); };
    platform::HWND host = plugins::HostWindow();
    ASSERT_TRUE(eng.MiniBrowserReady());
    EXPECT_FALSE(eng.VisDrawerReady());
    EXPECT_EQ(fake.Count("inits"), 1);
    EXPECT_EQ(Query(host, 260, 2), fake.Handle("browser"));

    const char* address = "http://127.0.0.1/lyrics";
    EXPECT_EQ(Query(host, 241, reinterpret_cast<platform::WPARAM>(address)), 0);
    EXPECT_EQ(fake.Navigated(), address);
    {
      GeometryScope g(MainAt(10, 20, 300, 116));
      EXPECT_EQ(Query(host, 241), 0);
      EXPECT_EQ(fake.Show(), (std::array<int32_t, 6>{-1, 310, 20, 380, 116, 1}));
    }
    {
      GeometryScope g(MainAt(10, 20, 300, 116, false));
      Query(host, 241);
      EXPECT_EQ(fake.Show(), (std::array<int32_t, 6>{-1, 100, 100, 380, 400, 1}));
    }
    // The library's "shown" notice reaches the main window's event.
    ASSERT_TRUE(PumpUntil([&] { return !browserShows.empty(); }, 5000));
    EXPECT_EQ(browserShows[0], 5u);
    EXPECT_EQ(Query(host, 503), 0x6E7);

    // Drawer frames: the service's address, called from a plug-in's own thread.
    GeometryScope g(MainAt(10, 20, 300, 116));
    auto service = reinterpret_cast<embedWindowFunc>(Query(host, 505, 0));
    ASSERT_NE(service, nullptr);
    embedWindowState state{};
    state.right = 200;
    state.bottom = 100;
    std::atomic<::HWND> got{nullptr};
    std::thread t([&] { got = service(&state); });
    ASSERT_TRUE(PumpUntil([&] { return got.load() != nullptr; }, 5000));
    t.join();
    EXPECT_EQ(reinterpret_cast<LRESULT>(got.load()), fake.Handle("drawer0"));
    EXPECT_EQ(reinterpret_cast<LRESULT>(state.me), fake.Handle("drawer0"));
    EXPECT_EQ(fake.Show(), (std::array<int32_t, 6>{0, 10 + 300 + 50, 20 + 30, 200, 100, 1}));

    // A record without a valid rectangle gets 500 x 500; the second drawer sits further out.
    embedWindowState square{};
    LRESULT second = Query(host, 505, reinterpret_cast<platform::WPARAM>(&square));
    EXPECT_NE(second, 0);
    EXPECT_EQ(fake.Show(), (std::array<int32_t, 6>{1, 10 + 300 + 100, 20 + 60, 500, 500, 1}));
    // A record that names its window keeps it; the drawer is answered and not shown again.
    embedWindowState named{};
    named.me = reinterpret_cast<::HWND>(host);
    LRESULT third = Query(host, 505, reinterpret_cast<platform::WPARAM>(&named));
    EXPECT_NE(third, 0);
    EXPECT_EQ(named.me, reinterpret_cast<::HWND>(host));
    EXPECT_EQ(fake.Show()[0], 1);
    EXPECT_EQ(fake.Count("genDrawers"), 3);
    EXPECT_EQ(fake.Count("quitMiniBrowser"), 0);
  }
  // Shutdown told the library.
  EXPECT_EQ(fake.Count("quitMiniBrowser"), 1);
  EXPECT_EQ(fake.Count("quitGenDrawer"), 1);
  EXPECT_TRUE(msgs.Messages().empty());
}

TEST(Drawers, AnIncompleteOrWindowlessMiniBrowserLibraryIsLeftOut) {
  SilentOutput silent;
  {
    Fake fake("drawer_rarareru_incomplete.so");
    DrawerDir dir(DrawerList{{"RARareru.so", "drawer_rarareru_incomplete.so"}});
    TZOZUZivade eng;
    EXPECT_FALSE(eng.MiniBrowserReady());
    EXPECT_EQ(fake.Count("inits"), 0);  // never started without every export
    EXPECT_EQ(Query(plugins::HostWindow(), 503), 0);
  }
  {
    Fake fake("drawer_rarareru_nowindow.so");
    DrawerDir dir(DrawerList{{"RARareru.so", "drawer_rarareru_nowindow.so"}});
    TZOZUZivade eng;
    EXPECT_EQ(fake.Count("inits"), 1);
    EXPECT_FALSE(eng.MiniBrowserReady());
    EXPECT_EQ(Query(plugins::HostWindow(), 241), 0);
    EXPECT_EQ(Query(plugins::HostWindow(), 260, 2), 0);
  }
  EXPECT_EQ(plugins::MiniBrowserLib(), nullptr);
}

TEST(Drawers, AModuleAskingForAFrameGetsTheVisDrawerDockedToTheMainWindow) {
  Kit kit;
  Fake browser("drawer_rarareru.so");
  Fake vis("drawer_dorizivur2.so");
  ASSERT_TRUE(kit.Loaded() && browser.Loaded() && vis.Loaded());
  GeometryScope g(MainAt(40, 400, 300, 116));
  {
    struct WithDrawers : DrawerDir {
      WithDrawers() : DrawerDir(DrawerList{{"RARareru.so", "drawer_rarareru.so"}, {"DorIzivur2.so", "drawer_dorizivur2.so"}}) {}
    };
    RunningWith<WithDrawers> r;
    ASSERT_TRUE(r.eng.VisDrawerReady());
    r.eng.SetUseVisDrawer(true);
    EXPECT_TRUE(r.eng.UseVisDrawer());
    ASSERT_TRUE(r.Play(SineWav(20.0, 1000)));
    ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
    ASSERT_TRUE(PumpUntil([&] { return kit.Renders(0) >= 3 && kit.SurfaceDraws(0) >= 1; }, 10000));
    ASSERT_FALSE(r.shows.empty());
    EXPECT_EQ(r.shows.back().WindowState, plugins::vwsDrawer);
    EXPECT_EQ(plugins::VisWindowState(), plugins::vwsDrawer);
    EXPECT_EQ(vis.Count("runVisDrawer"), 1);
    // Above the main window for the module's 64 x 32, style 2, with the browser library's value.
    EXPECT_EQ(vis.RunArgs(), (std::array<int32_t, 6>{40, 400 - 32 - 34, 64, 32, 2, 1}));
    EXPECT_EQ(browser.Count("magnetic"), 1);
    EXPECT_EQ(browser.Magnetic(0), vis.Handle("visDrawer"));
    EXPECT_EQ(browser.Magnetic(1), reinterpret_cast<LRESULT>(plugins::VisMainWindow()));
    EXPECT_EQ(vis.Count("quitVisDrawer"), 0);
    r.eng.QuitVisPlugin();
    ASSERT_TRUE(r.Stopped());
    EXPECT_EQ(vis.Count("quitVisDrawer"), 1);  // its frame went with the module
    EXPECT_EQ(kit.Quits(0), 1);

    // Switched off, the next module gets the host's own frame.
    r.eng.SetUseVisDrawer(false);
    ASSERT_TRUE(r.eng.RunVisPlugin(kKit, 0));
    ASSERT_TRUE(PumpUntil([&] { return r.eng.VisActive(); }, 10000));
    EXPECT_EQ(r.shows.back().WindowState, plugins::vwsGenFrame);
    EXPECT_EQ(vis.Count("runVisDrawer"), 1);
    r.eng.QuitVisPlugin();
    ASSERT_TRUE(r.Stopped());
    EXPECT_TRUE(r.Texts().empty());
  }
}

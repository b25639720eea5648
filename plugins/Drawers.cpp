#include "plugins/Drawers.h"

#include <cstring>
#include <mutex>
#include <utility>

#include "platform/DynamicLibrary.h"

namespace plugins {

namespace {

struct TDrawers {
  platform::DynamicLibrary mbLib, visLib;
  TMiniBrowserLib mb;
  TVisDrawerLib vis;
  bool mbLoaded = false, visLoaded = false;
  std::mutex geometryLock;
  std::function<TMainGeometry()> geometry;  // guarded by geometryLock
};

TDrawers& Dr() {
  static TDrawers* d = new TDrawers;  // the libraries may be asked about until the very end
  return *d;
}

const std::vector<std::string> kMiniBrowserExports = {
    "InitMiniBrowser", "ShowMiniBrowser", "MBNavigate",    "MBNavigate2",   "AddMagneticWindow",
    "RemoveMagneticWindow", "GetSubClass_Proc", "QuitMiniBrowser", "InitGenDrawer", "ShowGenDrawer",
    "QuitGenDrawer", "GetGenDrawerInfo", "GetGenexBitmap", "GetLyricsText"};
const std::vector<std::string> kVisDrawerExports = {"RunVisDrawer", "QuitVisDrawer", "VisDrawerActive"};

}  // namespace

platform::HWND StartMiniBrowser(const std::string& path, platform::HWND mainWindow, platform::HWND engineWindow,
                                platform::UINT dataMessage) {
  TDrawers& d = Dr();
  if (d.mbLoaded) return d.mb.window;
  if (!d.mbLib.OpenWithSymbols(path, kMiniBrowserExports)) return nullptr;
  TMiniBrowserLib& m = d.mb;
  const platform::DynamicLibrary& l = d.mbLib;
  m.handle = l.Handle();
  m.InitMiniBrowser = l.Function<InitMiniBrowserFunc>("InitMiniBrowser");
  m.ShowMiniBrowser = l.Function<ShowMiniBrowserFunc>("ShowMiniBrowser");
  m.MBNavigate = l.Function<MBNavigateFunc>("MBNavigate");
  m.MBNavigate2 = l.Function<MBNavigate2Func>("MBNavigate2");
  m.AddMagneticWindow = l.Function<AddMagneticWindowFunc>("AddMagneticWindow");
  m.RemoveMagneticWindow = l.Function<RemoveMagneticWindowFunc>("RemoveMagneticWindow");
  m.GetSubClass_Proc = l.Function<GetSubClassProcFunc>("GetSubClass_Proc");
  m.QuitMiniBrowser = l.Function<QuitMiniBrowserFunc>("QuitMiniBrowser");
  m.InitGenDrawer = l.Function<InitGenDrawerFunc>("InitGenDrawer");
  m.ShowGenDrawer = l.Function<ShowGenDrawerFunc>("ShowGenDrawer");
  m.QuitGenDrawer = l.Function<QuitGenDrawerFunc>("QuitGenDrawer");
  m.GetGenDrawerInfo = l.Function<GetGenDrawerInfoFunc>("GetGenDrawerInfo");
  m.GetGenexBitmap = l.Function<GetGenexBitmapFunc>("GetGenexBitmap");
  m.GetLyricsText = l.Function<GetLyricsTextFunc>("GetLyricsText");
  m.window = reinterpret_cast<platform::HWND>(m.InitMiniBrowser(m.handle, reinterpret_cast<::HWND>(mainWindow),
                                                                reinterpret_cast<::HWND>(engineWindow), dataMessage));
  if (!m.window) {
    d.mb = TMiniBrowserLib{};
    d.mbLib.Close();
    return nullptr;
  }
  m.subclassValue = m.GetSubClass_Proc();
  d.mbLoaded = true;
  return m.window;
}

void* LoadVisDrawer(const std::string& path) {
  TDrawers& d = Dr();
  if (d.visLoaded) return d.vis.handle;
  if (!d.visLib.OpenWithSymbols(path, kVisDrawerExports)) return nullptr;
  d.vis.handle = d.visLib.Handle();
  d.vis.RunVisDrawer = d.visLib.Function<RunVisDrawerFunc>("RunVisDrawer");
  d.vis.QuitVisDrawer = d.visLib.Function<QuitVisDrawerFunc>("QuitVisDrawer");
  d.vis.VisDrawerActive = d.visLib.Function<VisDrawerActiveFunc>("VisDrawerActive");
  d.visLoaded = true;
  return d.vis.handle;
}

void QuitMiniBrowserAndDrawers() {
  TDrawers& d = Dr();
  if (!d.mbLoaded) return;
  d.mb.QuitMiniBrowser();
  d.mb.QuitGenDrawer();
}

void UnloadDrawerLibraries() {
  TDrawers& d = Dr();
  d.mb = TMiniBrowserLib{};
  d.vis = TVisDrawerLib{};
  d.mbLoaded = d.visLoaded = false;
  d.mbLib.Close();
  d.visLib.Close();
}

const TMiniBrowserLib* MiniBrowserLib() { return Dr().mbLoaded ? &Dr().mb : nullptr; }
const TVisDrawerLib* VisDrawerLib() { return Dr().visLoaded ? &Dr().vis : nullptr; }

void SetMainGeometrySource(std::function<TMainGeometry()> source) {
  std::lock_guard lock(Dr().geometryLock);
  Dr().geometry = std::move(source);
}

TMainGeometry MainGeometry() {
  std::function<TMainGeometry()> g;
  {
    std::lock_guard lock(Dr().geometryLock);
    g = Dr().geometry;
  }
  return g ? g() : TMainGeometry{};
}

platform::LRESULT AnswerMiniBrowserQuery(platform::WPARAM address) {
  const TMiniBrowserLib* m = MiniBrowserLib();
  if (!m) return 0;
  if (address) {
    m->MBNavigate(reinterpret_cast<const char*>(address));
    return 0;
  }
  // At the main window's right edge, as high as it; a fixed place when it is hidden.
  TMainGeometry g = MainGeometry();
  if (g.exists && g.visible)
    m->ShowMiniBrowser(g.x + g.width, g.y, 380, g.height, 1);
  else
    m->ShowMiniBrowser(100, 100, 380, 400, 1);
  return 0;
}

platform::LRESULT AnswerGenexBitmap() {
  const TMiniBrowserLib* m = MiniBrowserLib();
  return m ? m->GetGenexBitmap() : 0;
}

platform::HWND MakeGenDrawerFrame(embedWindowState* state, platform::HWND mainWindow, platform::HWND engineWindow,
                                  platform::UINT dataMessage) {
  const TMiniBrowserLib* m = MiniBrowserLib();
  if (!m) return nullptr;
  int32_t index = 0;
  ::HWND drawer = m->InitGenDrawer("", reinterpret_cast<::HWND>(mainWindow), reinterpret_cast<::HWND>(engineWindow),
                                   dataMessage, &index);
  if (!drawer) return nullptr;
  // A window the plug-in names stays where it is: windows of different libraries
  // do not change parents here. The drawer is answered all the same.
  if (state && state->me) return reinterpret_cast<platform::HWND>(drawer);
  int width = 500, height = 500;
  if (state && state->right - state->left > 0 && state->bottom - state->top > 0) {
    width = state->right - state->left;
    height = state->bottom - state->top;
  }
  if (state) state->me = drawer;
  TMainGeometry g = MainGeometry();
  int x = 500, y = 500;
  if (g.exists) {
    x = g.x + g.width + 50 * (index + 1);
    y = g.y + 30 * (index + 1);
  }
  m->ShowGenDrawer(index, x, y, width, height, 1);
  return reinterpret_cast<platform::HWND>(drawer);
}

}  // namespace plugins

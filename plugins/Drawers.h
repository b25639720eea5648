// The optional drawer libraries (plugins/sdk/orvella_drawer.h): the mini browser
// and general drawer frames of RARareru.so, the visualisation drawer of
// DorIzivur2.so. Loaded by the engine's constructor only when present; when a
// library lacks an export it is unloaded again and its features stay off.
//
// Threads: UI thread only, except DrawerEmbedService (any thread; it forwards
// to the UI thread through the host window).
#pragma once

#include <functional>
#include <string>

#include "platform/Messages.h"
#include "plugins/sdk/orvella_drawer.h"
#include "plugins/sdk/winamp_vis.h"

namespace plugins {

struct TMiniBrowserLib {
  void* handle = nullptr;
  InitMiniBrowserFunc InitMiniBrowser = nullptr;
  ShowMiniBrowserFunc ShowMiniBrowser = nullptr;
  MBNavigateFunc MBNavigate = nullptr;
  MBNavigate2Func MBNavigate2 = nullptr;
  AddMagneticWindowFunc AddMagneticWindow = nullptr;
  RemoveMagneticWindowFunc RemoveMagneticWindow = nullptr;
  GetSubClassProcFunc GetSubClass_Proc = nullptr;
  QuitMiniBrowserFunc QuitMiniBrowser = nullptr;
  InitGenDrawerFunc InitGenDrawer = nullptr;
  ShowGenDrawerFunc ShowGenDrawer = nullptr;
  QuitGenDrawerFunc QuitGenDrawer = nullptr;
  GetGenDrawerInfoFunc GetGenDrawerInfo = nullptr;
  GetGenexBitmapFunc GetGenexBitmap = nullptr;
  GetLyricsTextFunc GetLyricsText = nullptr;
  platform::HWND window = nullptr;  // the mini browser
  intptr_t subclassValue = 0;       // GetSubClass_Proc's answer, handed to RunVisDrawer
};

struct TVisDrawerLib {
  void* handle = nullptr;
  RunVisDrawerFunc RunVisDrawer = nullptr;
  QuitVisDrawerFunc QuitVisDrawer = nullptr;
  VisDrawerActiveFunc VisDrawerActive = nullptr;
};

// Loads RARareru.so from `path` and starts its mini browser; the mini browser's
// window, or nullptr (library incomplete, missing, or no window: it is unloaded).
platform::HWND StartMiniBrowser(const std::string& path, platform::HWND mainWindow, platform::HWND engineWindow,
                                platform::UINT dataMessage);
// Loads DorIzivur2.so from `path`; its handle, or nullptr.
void* LoadVisDrawer(const std::string& path);
// Shutdown calls of the mini-browser library (QuitMiniBrowser, QuitGenDrawer).
void QuitMiniBrowserAndDrawers();
// Unloads both libraries.
void UnloadDrawerLibraries();
// The loaded libraries, nullptr when absent.
const TMiniBrowserLib* MiniBrowserLib();
const TVisDrawerLib* VisDrawerLib();

// Where the main window is, for placing drawers next to it. Set by the program;
// without it (or while `exists` is false) drawers go to their fallback places.
struct TMainGeometry {
  bool exists = false, visible = false;
  int x = 0, y = 0, width = 0, height = 0;
  int screenWidth = 1024, screenHeight = 768;
};
void SetMainGeometrySource(std::function<TMainGeometry()> source);
TMainGeometry MainGeometry();

// Host-window queries 241, 503 and 505 (the answer of each).
platform::LRESULT AnswerMiniBrowserQuery(platform::WPARAM address);
platform::LRESULT AnswerGenexBitmap();
// The drawer embed service: a general drawer frame for the record (UI thread).
platform::HWND MakeGenDrawerFrame(embedWindowState* state, platform::HWND mainWindow, platform::HWND engineWindow,
                                  platform::UINT dataMessage);

}  // namespace plugins

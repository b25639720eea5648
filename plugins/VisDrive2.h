// VisDrive2: runs one Winamp visualisation module at a time on a thread of its
// own (the drive thread), hands it the frames the engine's data thread
// produces, and makes the main window answer the module as a Winamp main
// window would (queries, the embed-window service) while it runs.
//
// Threads:
// - every function of this header runs on the UI thread, except
//   DriveThreadId() and the frame host's surface functions (any thread);
// - the module's Init, Render and Quit run on the drive thread; its queries to
//   hwndParent are answered on the UI thread (the drive thread waits);
// - the data thread publishes frames into TVisSharedRecord under its lock; the
//   drive thread copies a frame under the same lock and renders outside it;
// - the drive thread reaches the engine only by messages posted to the engine
//   window (the data message with a code in wParam); message boxes it asks for
//   are shown by the UI thread.
// A module that faults in Init or Render is never called again (no Quit). One
// whose Init or Quit does not return is left behind after bounded waits: its
// library stays loaded for the rest of the run and its thread is never touched.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "plugins/VisTypes.h"
#include "plugins/sdk/winamp_vis.h"

namespace plugins {

// Frames a module draws in. The built-in host makes message-layer windows with
// an offscreen pixel surface; the program installs one that makes real windows.
class TVisFrameHost {
 public:
  virtual ~TVisFrameHost() = default;
  // UI thread. A frame of the given client size with its title; nullptr on failure.
  virtual platform::HWND CreateFrame(int width, int height, const std::string& title) = 0;
  virtual void DestroyFrame(platform::HWND frame) = 0;
  virtual void ShowFrame(platform::HWND frame, bool show) = 0;
  // UI thread. Shows the frame's drawing area inside the embed target `target`,
  // or back in the frame's own window when nullptr. False when `target` is no
  // embed target this host knows: the frame stays where it was.
  virtual bool AttachFrame(platform::HWND frame, platform::HWND target) {
    (void)frame;
    return target == nullptr || platform::IsWindow(target);
  }
  // UI thread. Wraps a module's own top-level native window (an X11 window id)
  // into a frame of this host; nullptr where native windows cannot be adopted.
  virtual platform::HWND AdoptWindow(unsigned long nativeWindow, const std::string& title) {
    (void)nativeWindow;
    (void)title;
    return nullptr;
  }
  // Any thread. The native window id a module may draw into (0: none).
  virtual unsigned long NativeWindow(platform::HWND frame) = 0;
  // Any thread. The frame's pixel surface; false when the frame has none.
  virtual bool LockSurface(platform::HWND frame, OrvellaVisSurface* surface) = 0;
  virtual void UnlockSurface(platform::HWND frame) = 0;
};
// Installs the frame host (not owned; it must outlive the driver). nullptr restores the built-in one.
void SetVisFrameHost(TVisFrameHost* host);
TVisFrameHost* VisFrameHost();
// The built-in host: message-layer frames with offscreen surfaces (a program's host may build on it).
TVisFrameHost* BuiltInVisFrameHost();
// The built-in host's surface of a frame as it was last unlocked (tests, headless runs).
bool CopyVisFrameSurface(platform::HWND frame, std::vector<uint32_t>& pixels, int& width, int& height);
// How many times a module gave a frame's surface back since it was made.
int VisFrameSurfaceUnlocks(platform::HWND frame);

// What the Winamp-like window answers about playback; set by the engine.
struct TVisHostAnswers {
  std::function<int()> PositionMs;  // current position in ms
};

// Set-up, once, by the engine's constructor. `mainWindow` may be nullptr: the
// driver then makes a hidden stand-in main window for modules to talk to.
void InitVisDrive(platform::HWND mainWindow, platform::HWND engineWindow, platform::UINT dataMessage,
                  void* drawerLibrary, TVisSharedRecord* shared, int threadPriority, TVisHostAnswers answers);
// Ends a running module (bounded) and tears the driver down; called by the engine's destructor.
void QuitVisDrive();
// The window modules get as hwndParent.
platform::HWND VisMainWindow();

// Starts the drive thread for module `moduleIndex` of the library `path`. False
// when a previous drive thread does not end or the thread cannot be made.
bool StartDriveThread(const std::string& path, int moduleIndex, platform::HWND embedTarget,
                      const TChannelAttrb& attributes, int playerMode, bool attach, bool useDrawer);
// Stops the running module and its thread with bounded waits. `final` (engine
// shutdown) skips the last wait and the code 70.
void StopDriveThread(bool final = false);
// The engine got code 70 with a run's serial: a thread that ended by itself is
// joined and tidied up. False for a notice of a run already dealt with.
bool DriveThreadFinished(uint64_t serial);
// Codes 55 and 60 carry the run's serial: what they announce, while that run is current.
bool VisRunTiming(uint64_t serial, int32_t out[4]);
bool VisRunInfo(uint64_t serial, TVisPluginInfo* out);
// Message-layer id of the drive thread, 0 when none. Any thread.
uint32_t DriveThreadId();
bool DriveThreadRunning();
// Posts a code to the drive thread (no-op without one).
bool PostToDriveThread(platform::WPARAM code, platform::LPARAM value);
// Stream attributes the Winamp-like window answers with (also refreshed on code 82).
void SetVisChannelAttrb(const TChannelAttrb& attributes);
const TChannelAttrb& VisChannelAttrb();
// Libraries left behind inside a call that never returned.
int AbandonedVisLibraries();

// Listing for the control window (UI thread): loads `path` when it is not the
// listed library, fills `modules` (up to eight) and returns their count (0 when
// none; a library that does not load shows the loader's text).
int LoadVisPlugin(const std::string& path, platform::HWND mainWindow, std::vector<winampVisModule*>& modules,
                  std::string* description = nullptr);
void CloseVisListing();

// The user closed the frame by hand (UI thread): the engine hears code 65, the
// module gets Quit and the thread ends (code 70).
void VisFrameCloseRequested(platform::HWND frame);
// The window state of the running module's frame (vwsNone without one). UI thread.
int VisWindowState();
// Nice value the drive thread takes for a priority level: -15 idle (SCHED_IDLE
// where allowed), -2 lowest .. 2 highest; raising may be refused, which is not an error.
void ApplyDrivePriority(int priority);

// The Winamp-like window's answer to one message (exposed for the tests of the answers table).
platform::LRESULT VisWinampAnswer(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wParam,
                                  platform::LPARAM lParam, bool* handled);

}  // namespace plugins

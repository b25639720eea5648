// Types the engine shares with the visualisation driver (plugins/VisDrive2.h):
// the data message's codes, the stream attributes, the window record of
// OnVisWindowShow and the shared frame record. No plug-in SDK names here, so
// the engine's header stays free of them.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Messages.h"

namespace plugins {

// Codes of the data message (wParam) between the engine, the data thread and the drive thread.
enum TVisCode : platform::WPARAM {
  vcRender = 10,      // to thread: render one frame
  vcHide = 40,        // to thread: hide the module's frame
  vcReattach = 45,    // to thread: re-attach to an embed target (lParam window) or back
  vcAllowAttach = 46, // to thread: allow attaching to an embed target (lParam 0/1)
  vcShow = 50,        // to thread: show the module's frame
  vcTiming = 55,      // to engine: module chosen (lParam: the run's serial, see VisRunTiming)
  vcStop = 56,        // to thread: stop the module
  vcClearNew = 57,    // to thread: clear the shared record's new-data flag
  vcPlayList = 58,    // to engine: a plug-in asked to play a file (lParam) or clear the list (0)
  vcShown = 60,       // to engine: window shown (lParam: the run's serial, see VisRunInfo), 0: start failed
  vcGone = 65,        // to engine: the module's window went away
  vcDrawer = 66,      // to thread: use the drawer window (lParam 0/1)
  vcReattached = 68,  // to engine: lParam = TVisPluginInfo*
  vcFinished = 70,    // to engine: the driver finished (lParam: the run's serial)
  vcMode = 81,        // to thread: copy the player mode from the shared record
  vcInfo = 82,        // to thread: copy the stream information from the shared record
};

// Window states of TVisPluginInfo.
enum : uint8_t { vwsNone = 0, vwsOwnWindow = 1, vwsDrawer = 2, vwsGenFrame = 3, vwsEmbedTarget = 4 };

// Stream attributes copied into the driver when a module starts.
struct TChannelAttrb {
  std::string Title;
  std::string FileName;
  int32_t SampleRate = 0;
  int32_t BitRate = 0;
  int32_t Duration = 0;  // ms
  int32_t Channels = 0;
};

// The payload of OnVisWindowShow.
struct TVisPluginInfo {
  uint32_t ThreadId = 0;  // the drive thread, 0 when none
  platform::HWND VisWindow = nullptr;
  uint8_t WindowState = vwsNone;
  const char* PluginPath = nullptr;  // valid while the module runs
  uint16_t ModuleIndex = 0;
  uint8_t FirstShow = 0;
};

constexpr int kVisBins = 576;

// The record the data thread fills and the drive thread reads. Owned by the
// engine for its whole life. Every field is guarded by Lock.
struct TVisSharedRecord {
  std::mutex Lock;
  // Stream information (UI thread).
  uint8_t PlayerMode = 0;
  int32_t SampleRate = 0, BitRate = 0;
  uint16_t Channels = 0;
  int32_t Duration = 0;
  char Title[256] = {};
  char FileName[256] = {};
  // The frame (data thread): spectrum channels first, then waveform channels, 576 bytes each.
  bool NewData = false;
  int32_t FrameRate = 0, FrameChannels = 0, Position = 0;
  int32_t SpectrumNch = 0, WaveformNch = 0;  // as the frame was written
  uint8_t Data[4 * kVisBins] = {};
  // Notice 57 was posted and the drive thread has not handled it yet.
  bool ClearPending = false;
};

}  // namespace plugins

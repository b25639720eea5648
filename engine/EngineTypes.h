// Types the engine shares with the main window, the playlist and the plug-in host.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/Messages.h"
#include "plugins/sdk/winamp_channel_info.h"

namespace engine {

enum TPlayerMode { plmStandby, plmReady, plmStopped, plmPlaying, plmPaused };

const char* PlayerModeName(TPlayerMode mode);

// What can decode a file.
enum SupportedByKind : int { sbBassAndPlugin = 0, sbBassOnly = 1, sbPluginOnly = 2, sbNone = 3 };

struct TStreamInfo {
  std::string FileName;
  uint32_t FileSize = 0;
  uint32_t SampleRate = 0;
  int32_t BitRate = 0;  // kbit/s
  int16_t BitsPerSample = 16;
  int32_t Duration = 0;  // ms
  uint16_t Channels = 0;
  int32_t Format = 0;  // the audio library's channel type code
  std::string Title, Artist, Album, Year, Genre;
  uint8_t GenreID = 0;
  uint8_t Track = 0;
  std::string Comment;
};

// Display name of a format code ("Unknown" for codes nobody names).
std::string FormatName(int32_t code);

using TBandOut = std::array<uint16_t, 25>;

struct TMIDI_FONTINFO {
  std::string FontName, Notice, Comment;
  uint32_t Presets = 0, SampleSize = 0, SampleLoaded = 0;
};

struct TMIDITrackInfo {
  int32_t TrackCount = 0;
  std::array<std::string, 256> Tracks;
};

// Channel information the plug-in host fills (bits per sample, bit rate, sample rate, channels).
using TChannelInfo = ::ChannelInfo;
using PChannelInfo = TChannelInfo*;

// Messages of the engine's hidden window.
using platform::WM_USER;
constexpr platform::UINT WM_WA_MPEG_EOF = WM_USER + 2;
constexpr platform::UINT WM_PLUGIN_STARTPLAY = WM_USER + 101;
constexpr platform::UINT WM_PLUGIN_STREAMHANDLE = WM_USER + 105;
constexpr platform::UINT WM_BASS_PLAYEND = WM_USER + 107;
constexpr platform::UINT WM_BASS_NEWFFTDATA = WM_USER + 108;
constexpr platform::UINT WM_PLUGIN_FIRST = WM_USER + 109;
constexpr platform::UINT WM_BASS_META = WM_USER + 110;
constexpr platform::UINT WM_BASS_DOWNLOADED = WM_USER + 111;
constexpr platform::UINT WM_PLUGIN_SETINFO = WM_USER + 112;
constexpr platform::UINT WM_PLUGIN_REQUEST = WM_USER + 115;
constexpr platform::UINT WM_PLUGIN_DECODEFAIL = WM_USER + 120;
constexpr platform::UINT WM_BASS_LYRIC = WM_USER + 121;
constexpr platform::UINT WM_BASS_NETSTATUS = WM_USER + 122;
constexpr platform::UINT WM_BASS_SLIDEDONE = WM_USER + 123;
// Posted by the engine to itself when an input plug-in starts, seeks or stops playing
// (wParam: the run's number). An end notice the plug-in posted before it belongs to an
// earlier run: plug-ins post WM_WA_MPEG_EOF without saying which run it ends.
constexpr platform::UINT WM_PLUGIN_RUNMARK = WM_USER + 126;
constexpr platform::UINT WM_QUERYENDSESSION = 17;

}  // namespace engine

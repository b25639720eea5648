// Shared glue of the add-ons: the core interface, error codes, exports.
//
// Threading: Core() may be called from any thread; the pointer is found once and then constant.
#pragma once

#include "../bass_addon.h"

#define ORV_EXPORT extern "C" __attribute__((visibility("default")))

namespace orvaddon {

// The core interface: the loaded bass.so's BASS_GetConfigPtr(BASS_CONFIG_ORV_ADDON_API), else the
// one handed to OrvBassAddonGet. NULL when no core is loaded. Sets the error code to BASS_OK.
const ORV_CORE_API* Core();
// A public BASS_ function of the loaded core (BASS_GetConfig, BASS_StreamFree...), NULL without one.
void* CoreSymbol(const char* name);
template <class F> F* CoreFunction(const char* name) { return reinterpret_cast<F*>(CoreSymbol(name)); }

// Remember the interface handed over by BASS_PluginLoad.
void SetCore(const ORV_CORE_API* core);
// Drop it again (ORV_ADDON.Free: the core detaches us, and may be unloaded next).
void ForgetCore();

// Set the calling thread's error code in the core (no-op without a core); returns false.
bool Fail(int code);

// A format add-on route: FFmpeg demuxers and codecs it takes, and the channel type it reports.
struct Route {
  const char* demuxers;
  const char* codecs;  // NULL: any
  DWORD ctype;
};

// Try the routes in order through the core's FFmpeg decoder; BASS_ERROR_FILEFORM when none fits.
BOOL OpenByRoutes(const Route* routes, int count, ORV_FILE* file, DWORD flags, ORV_DECODER* out);

// Puts a decoder behind one that reports "length" bytes (QWORD(-1): learn the length by decoding
// the whole stream once now) and, with "exactSeek", seeks by restarting and decoding up to the
// target (for formats whose demuxer cannot land sample-exactly). With "reopen" (the route and
// file it was opened from) a restart opens the file anew instead of seeking to 0. Fails (closing
// the decoder) when the stream cannot restart.
struct Reopen {
  ORV_FILE* file;
  DWORD flags;
  Route route;
};
BOOL WrapExact(ORV_DECODER* dec, QWORD length, bool exactSeek = true, const Reopen* reopen = nullptr);

// Bytes of one frame of the decoder's output.
DWORD FrameBytes(const ORV_DECODER& dec);

}  // namespace orvaddon

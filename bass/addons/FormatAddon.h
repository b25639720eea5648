// Declares a format add-on that decodes through the core's FFmpeg decoder:
//   ORV_FORMAT_ADDON(formats, routes)
// where "formats" is a BASS_PLUGINFORM array (what BASS_PluginGetInfo lists) and "routes" an
// orvaddon::Route array (which FFmpeg demuxer/codec pairs open as which channel type).
#pragma once

#include "AddonCore.h"

#define ORV_COUNT_OF(a) (sizeof(a) / sizeof((a)[0]))

#define ORV_FORMAT_ADDON(formats, routes)                                                         \
  namespace {                                                                                    \
  BOOL OpenFile(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {                                 \
    return orvaddon::OpenByRoutes(routes, int(ORV_COUNT_OF(routes)), file, flags, out);          \
  }                                                                                              \
  const ORV_ADDON kAddon = {ORV_ADDON_ABI,                                                       \
                            {ORVELLA_BASS_VERSION, DWORD(ORV_COUNT_OF(formats)), formats},       \
                            OpenFile, nullptr, orvaddon::ForgetCore};                                         \
  }                                                                                              \
  ORV_EXPORT const ORV_ADDON* OrvBassAddonGet(const ORV_CORE_API* core) {                        \
    if (!core || core->abi != ORV_ADDON_ABI) return nullptr;                                     \
    orvaddon::SetCore(core);                                                                     \
    return &kAddon;                                                                              \
  }

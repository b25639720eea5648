// Dolby Digital AC-3 elementary streams.
#include "FormatAddon.h"

namespace {
const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_AC3, "Dolby Digital AC-3", "*.ac3"},
};
const orvaddon::Route kRoutes[] = {
    {"ac3,eac3", "ac3,ac3_fixed,eac3", BASS_CTYPE_STREAM_AC3},
};
}  // namespace

ORV_FORMAT_ADDON(kFormats, kRoutes)

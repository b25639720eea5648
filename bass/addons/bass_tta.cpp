// The True Audio lossless codec.
#include "FormatAddon.h"

namespace {
const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_TTA, "TTA", "*.tta"},
};
const orvaddon::Route kRoutes[] = {
    {"tta", "tta", BASS_CTYPE_STREAM_TTA},
};
}  // namespace

ORV_FORMAT_ADDON(kFormats, kRoutes)

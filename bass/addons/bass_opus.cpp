// Opus in Ogg.
#include "FormatAddon.h"

namespace {
const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_OPUS, "Opus", "*.opus"},
};
const orvaddon::Route kRoutes[] = {
    {"ogg", "opus,libopus", BASS_CTYPE_STREAM_OPUS},
};
}  // namespace

ORV_FORMAT_ADDON(kFormats, kRoutes)

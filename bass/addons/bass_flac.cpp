// Free Lossless Audio Codec, native and in Ogg.
#include "FormatAddon.h"

namespace {
const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_FLAC, "FLAC", "*.flac"},
    {BASS_CTYPE_STREAM_FLAC_OGG, "FLAC (Ogg)", "*.oga"},
};
const orvaddon::Route kRoutes[] = {
    {"flac", "flac", BASS_CTYPE_STREAM_FLAC},
    {"ogg", "flac", BASS_CTYPE_STREAM_FLAC_OGG},
};
}  // namespace

ORV_FORMAT_ADDON(kFormats, kRoutes)

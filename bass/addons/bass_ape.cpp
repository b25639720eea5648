// Monkey's Audio.
#include "FormatAddon.h"

namespace {
const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_APE, "Monkey's Audio", "*.ape;*.apl;*.mac"},
};
const orvaddon::Route kRoutes[] = {
    {"ape", "ape", BASS_CTYPE_STREAM_APE},
};
}  // namespace

ORV_FORMAT_ADDON(kFormats, kRoutes)

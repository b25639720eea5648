// Speex in Ogg.
#include "FormatAddon.h"

namespace {
const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_SPX, "Speex", "*.spx"},
};
const orvaddon::Route kRoutes[] = {
    {"ogg", "speex,libspeex", BASS_CTYPE_STREAM_SPX},
};
}  // namespace

ORV_FORMAT_ADDON(kFormats, kRoutes)

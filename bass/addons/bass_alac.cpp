// Apple Lossless in MP4/M4A and CAF containers.
#include "FormatAddon.h"

namespace {
const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_ALAC, "Apple Lossless", "*.m4a;*.mp4;*.caf"},
};
const orvaddon::Route kRoutes[] = {
    {"mov,mp4,m4a,3gp,3g2,mj2,caf", "alac", BASS_CTYPE_STREAM_ALAC},
};
}  // namespace

ORV_FORMAT_ADDON(kFormats, kRoutes)

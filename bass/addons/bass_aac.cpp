// AAC in ADTS streams and in MP4/M4A containers.
#include "FormatAddon.h"

namespace {
const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_AAC, "Advanced Audio Coding", "*.aac;*.adts"},
    {BASS_CTYPE_STREAM_MP4, "MPEG-4 Audio", "*.mp4;*.m4a;*.m4b;*.m4p"},
};
// Apple Lossless in MP4 belongs to bass_alac; only AAC codecs are taken from MP4 here.
const orvaddon::Route kRoutes[] = {
    {"aac", "aac,aac_fixed,aac_latm", BASS_CTYPE_STREAM_AAC},
    {"mov,mp4,m4a,3gp,3g2,mj2", "aac,aac_fixed,aac_latm", BASS_CTYPE_STREAM_MP4},
};
}  // namespace

ORV_FORMAT_ADDON(kFormats, kRoutes)

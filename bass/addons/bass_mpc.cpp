// Musepack stream versions 7 and 8.
#include "FormatAddon.h"

namespace {
const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_MPC, "Musepack", "*.mpc;*.mpp;*.mp+"},
};
const orvaddon::Route kRoutes[] = {
    {"mpc,mpc8", "musepack7,musepack8,mpc7,mpc8", BASS_CTYPE_STREAM_MPC},
};
}  // namespace

ORV_FORMAT_ADDON(kFormats, kRoutes)

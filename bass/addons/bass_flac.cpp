// Free Lossless Audio Codec, native and in Ogg. Native files that can seek go to the core's
// libFLAC decoder first (no FFmpeg mapped for them); what it declines takes the FFmpeg routes.
#include "FormatAddon.h"

#include <cstddef>

namespace {

const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_FLAC, "FLAC", "*.flac"},
    {BASS_CTYPE_STREAM_FLAC_OGG, "FLAC (Ogg)", "*.oga"},
};
const orvaddon::Route kNative[] = {{"flac", "flac", BASS_CTYPE_STREAM_FLAC}};
const orvaddon::Route kOgg[] = {{"ogg", "flac", BASS_CTYPE_STREAM_FLAC_OGG}};

BOOL OpenFile(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  const ORV_CORE_API* core = orvaddon::Core();
  if (!core) return FALSE;
  // A core older than its OpenFlac member has none. A decline leaves the file where it was.
  if (core->size >= offsetof(ORV_CORE_API, OpenFlac) + sizeof core->OpenFlac && core->OpenFlac &&
      core->OpenFlac(file, flags, out))
    return TRUE;
  if (orvaddon::OpenByRoutes(kNative, 1, file, flags, out)) return TRUE;
  if (!core->FileSeek(file, 0) || !orvaddon::OpenByRoutes(kOgg, 1, file, flags, out)) return FALSE;
  // Ogg pages give FFmpeg only page-exact seeks for FLAC: seeks decode from the start.
  QWORD length = out->funcs->length ? out->funcs->length(out->self) : QWORD(-1);
  orvaddon::Reopen again{file, flags, kOgg[0]};
  return orvaddon::WrapExact(out, length, true, &again);
}

const ORV_ADDON kAddon = {ORV_ADDON_ABI, {ORVELLA_BASS_VERSION, 2, kFormats}, OpenFile, nullptr, orvaddon::ForgetCore};

}  // namespace

ORV_EXPORT const ORV_ADDON* OrvBassAddonGet(const ORV_CORE_API* core) {
  if (!core || core->abi != ORV_ADDON_ABI) return nullptr;
  orvaddon::SetCore(core);
  return &kAddon;
}

// Opus in Ogg.
#include "FormatAddon.h"

#include <cstring>
#include <vector>

namespace {

const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_OPUS, "Opus", "*.opus"},
};
const orvaddon::Route kRoutes[] = {
    {"ogg", "opus,libopus", BASS_CTYPE_STREAM_OPUS},
};

// Exact length in 48 kHz samples: the last page's granule position less the pre-skip of the
// identification header. QWORD(-1) when either is not found.
QWORD OpusSamples(const ORV_CORE_API* core, ORV_FILE* file) {
  QWORD size = core->FileSize(file);
  uint8_t head[512];
  DWORD n = core->FileRead(file, head, sizeof head);
  const uint8_t* id = nullptr;
  for (DWORD i = 0; i + 19 <= n; ++i)
    if (std::memcmp(head + i, "OpusHead", 8) == 0) {
      id = head + i;
      break;
    }
  if (!id || size == QWORD(-1)) return QWORD(-1);
  QWORD preskip = id[10] | id[11] << 8;
  QWORD tailStart = size > 65536 ? size - 65536 : 0;
  std::vector<uint8_t> tail(size_t(size - tailStart));
  if (!core->FileSeek(file, tailStart) || core->FileRead(file, tail.data(), DWORD(tail.size())) != tail.size())
    return QWORD(-1);
  for (size_t i = tail.size() >= 27 ? tail.size() - 27 : 0; i + 1 > 0; --i) {
    if (std::memcmp(tail.data() + i, "OggS", 4) != 0) continue;
    QWORD granule = 0;
    for (int b = 7; b >= 0; --b) granule = granule << 8 | tail[i + 6 + size_t(b)];
    if (granule == QWORD(-1) || granule < preskip) return QWORD(-1);
    return granule - preskip;
  }
  return QWORD(-1);
}

BOOL OpenFile(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  const ORV_CORE_API* core = orvaddon::Core();
  if (!core) return FALSE;
  QWORD samples = OpusSamples(core, file);
  if (!core->FileSeek(file, 0) || !orvaddon::OpenByRoutes(kRoutes, 1, file, flags, out)) return FALSE;
  if (samples == QWORD(-1) || out->freq != 48000) return TRUE;
  QWORD bytes = samples * orvaddon::FrameBytes(*out);
  QWORD told = out->funcs->length ? out->funcs->length(out->self) : QWORD(-1);
  // The pre-skip is not part of the stream's length; the decoder alone may count it.
  return told == bytes ? TRUE : orvaddon::WrapExact(out, bytes, false);
}

const ORV_ADDON kAddon = {ORV_ADDON_ABI, {ORVELLA_BASS_VERSION, 1, kFormats}, OpenFile, nullptr, orvaddon::ForgetCore};

}  // namespace

ORV_EXPORT const ORV_ADDON* OrvBassAddonGet(const ORV_CORE_API* core) {
  if (!core || core->abi != ORV_ADDON_ABI) return nullptr;
  orvaddon::SetCore(core);
  return &kAddon;
}

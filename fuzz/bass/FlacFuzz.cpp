// Fuzz target: native FLAC files through the core's libFLAC decoder (the add-on interface's
// OpenFlac), from memory: the check in front of it, metadata, decoding in every output format,
// damaged and lost frames, seeking, tags, file positions. The first byte picks what is put in front
// of the rest so inputs reach the frames: nothing, a "fLaC" head with a STREAMINFO block made of
// the next 34 input bytes, the same behind an ID3v2 tag, or a STREAMINFO of plausible values
// (rate, channels, depth and block size picked by the next 4 bytes) so the input is all frames. The
// second byte picks the output format. What must hold: a refusal says why; whole sample frames
// only, a stream that ends, a length equal to what was decoded, positions where they were set,
// file positions inside the file. FFmpeg is never opened here (bass_stream_fuzz's ground).
#include "StreamChecks.h"
#include "bass.h"
#include "bass_addon.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Put(std::vector<uint8_t>& v, const char* s) { v.insert(v.end(), s, s + std::strlen(s)); }

std::vector<uint8_t> Shape(const uint8_t* data, size_t size, DWORD& flags) {
  std::vector<uint8_t> v;
  if (size < 2) return v;
  const uint8_t kind = data[0] % 4;
  const uint8_t fmt = data[1];
  flags = fuzzcheck::DecodeFlags(fmt);
  data += 2;
  size -= 2;
  auto take = [&](size_t n) {
    for (size_t i = 0; i < n; ++i) v.push_back(i < size ? data[i] : 0);
    const size_t used = std::min(n, size);
    data += used;
    size -= used;
  };
  switch (kind) {
    case 2: {
      // An ID3v2 tag of the size the next byte says, filled from the input.
      const size_t body = size ? data[0] : 0;
      v.insert(v.end(), {'I', 'D', '3', 3, 0, 0, 0, 0, uint8_t(body >> 7), uint8_t(body & 0x7F)});
      take(1);
      take(body);
      [[fallthrough]];
    }
    case 1:
      Put(v, "fLaC");
      v.insert(v.end(), {0x80, 0, 0, 34});
      take(34);
      break;
    case 3: {
      uint8_t p[4] = {0, 0, 0, 0};
      for (int i = 0; i < 4 && size; ++i, ++data, --size) p[i] = *data;
      static const uint32_t kRates[] = {8000, 22050, 44100, 48000, 96000, 192000, 11025, 32000};
      static const uint32_t kBits[] = {8, 12, 16, 20, 24, 16, 16, 24};
      static const uint32_t kBlocks[] = {4096, 1152, 4608, 192, 576, 16384, 256, 65535};
      const uint32_t rate = kRates[p[0] & 7], chans = 1 + (p[0] >> 3 & 7), bits = kBits[p[1] & 7];
      const uint32_t block = kBlocks[p[1] >> 3 & 7];
      const uint64_t total = uint64_t(p[2]) << 12 | uint64_t(p[3]) << 4;
      Put(v, "fLaC");
      v.insert(v.end(), {0x80, 0, 0, 34, uint8_t(block >> 8), uint8_t(block), uint8_t(block >> 8), uint8_t(block),
                         0, 0, 0, 0, 0, 0});
      const uint64_t packed = uint64_t(rate) << 44 | uint64_t(chans - 1) << 41 | uint64_t(bits - 1) << 36 | total;
      for (int i = 7; i >= 0; --i) v.push_back(uint8_t(packed >> (8 * i)));
      v.insert(v.end(), 16, 0);
      break;
    }
    default:
      break;
  }
  v.insert(v.end(), data, data + size);
  return v;
}

void Exercise(DWORD h, const std::vector<uint8_t>& file) {
  BASS_CHANNELINFO info;
  if (!BASS_ChannelGetInfo(h, &info) || info.ctype != BASS_CTYPE_STREAM_FLAC) std::abort();
  // The length is known before decoding (STREAMINFO), in whole frames.
  const QWORD announced = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  if (announced == QWORD(-1) || announced % (info.chans * fuzzcheck::SampleBytes(info.flags))) std::abort();
  fuzzcheck::CheckStream(h, file.size(), 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ORV_CORE_API* core = []() -> const ORV_CORE_API* {
    fuzzcheck::StartLibrary();
    auto* c = static_cast<const ORV_CORE_API*>(BASS_GetConfigPtr(BASS_CONFIG_ORV_ADDON_API));
    return c && c->size >= offsetof(ORV_CORE_API, OpenFlac) + sizeof c->OpenFlac ? c : nullptr;
  }();
  if (!core) std::abort();
  DWORD flags = 0;
  auto v = Shape(data, size, flags);
  if (v.empty()) return 0;
  ORV_FILE* f = core->FileOpen(TRUE, v.data(), 0, v.size(), 0);
  if (!f) std::abort();
  ORV_DECODER dec{};
  if (!core->OpenFlac(f, flags, &dec)) {
    if (BASS_ErrorGetCode() != BASS_ERROR_FILEFORM) std::abort();  // a refusal leaves the file to FFmpeg
    core->FileClose(f);
    return 0;
  }
  const DWORD h = core->CreateStream(&dec, f, flags, 0, nullptr);
  if (!h) std::abort();
  Exercise(h, v);
  BASS_StreamFree(h);
  return 0;
}

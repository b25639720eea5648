// Fuzz target: MPEG audio through libmpg123 (the detection in front of it, the decoder, seeking,
// tags, file positions), from memory. The first byte picks what is put in front of the rest so
// inputs reach the decoder: nothing, an ID3v2 tag header, or a pair of valid frame headers of
// MPEG-1 Layer III, MPEG-2 Layer III or Layer II around input bytes; the second byte picks the
// sample format. What must hold: whole sample frames only, a stream that ends, a length equal to
// what was decoded once it ended, positions where they were set.
#include "StreamChecks.h"
#include "bass.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A frame of "size" bytes: the header, then input bytes (zeros when they run out).
void PutFrame(std::vector<uint8_t>& v, const uint8_t h[4], size_t size, const uint8_t*& data, size_t& left) {
  v.insert(v.end(), h, h + 4);
  for (size_t i = 4; i < size; ++i) {
    v.push_back(left ? *data : 0);
    if (left) ++data, --left;
  }
}

std::vector<uint8_t> Shape(const uint8_t* data, size_t size, DWORD& flags) {
  std::vector<uint8_t> v;
  if (size < 2) return v;
  const uint8_t kind = data[0] % 5;
  const uint8_t fmt = data[1];
  flags = fuzzcheck::DecodeFlags(fmt) | (fmt & 8 ? BASS_STREAM_PRESCAN : 0);
  data += 2;
  size -= 2;
  switch (kind) {
    case 1: {  // ID3v2 tag: version, flags (footer) and size from the input
      const uint8_t b = size ? data[0] : 0;
      const uint8_t tag[10] = {'I', 'D', '3', uint8_t(2 + b % 3), 0, uint8_t(b & 0x10), 0, 0, uint8_t(b >> 5), uint8_t(b & 0x7F)};
      v.insert(v.end(), tag, tag + 10);
      break;
    }
    case 2: {  // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: 417 bytes a frame
      const uint8_t h[4] = {0xFF, 0xFB, 0x90, 0x64};
      PutFrame(v, h, 417, data, size);
      PutFrame(v, h, 417, data, size);
      break;
    }
    case 3: {  // MPEG-2 Layer III, 32 kbit/s, 22.05 kHz, mono: 104 bytes a frame
      const uint8_t h[4] = {0xFF, 0xF3, 0x48, 0xC4};
      PutFrame(v, h, 104, data, size);
      PutFrame(v, h, 104, data, size);
      break;
    }
    case 4: {  // MPEG-1 Layer II, 192 kbit/s, 48 kHz: 576 bytes a frame
      const uint8_t h[4] = {0xFF, 0xFD, 0xA4, 0x04};
      PutFrame(v, h, 576, data, size);
      PutFrame(v, h, 576, data, size);
      break;
    }
    default:
      break;
  }
  v.insert(v.end(), data, data + size);
  return v;
}

void Exercise(DWORD h, const std::vector<uint8_t>& file) {
  if (!h) {
    if (BASS_ErrorGetCode() == BASS_OK) std::abort();  // a failure must say why
    return;
  }
  fuzzcheck::CheckStream(h, file.size(), 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzcheck::StartLibrary();
  DWORD flags = 0;
  auto v = Shape(data, size, flags);
  if (v.empty()) return 0;
  DWORD s = BASS_StreamCreateFile(TRUE, v.data(), 0, v.size(), flags);
  Exercise(s, v);
  if (s) BASS_StreamFree(s);
  return 0;
}

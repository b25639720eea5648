// Fuzz target: stream and music creation from memory and from a user file that cannot seek, then a
// little decoding, seeking and reading of tags. The first byte picks a header to prepend so inputs reach the format parsers.
#include "StreamChecks.h"
#include "bass.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

std::vector<uint8_t> Shape(const uint8_t* data, size_t size) {
  std::vector<uint8_t> v;
  if (size == 0) return v;
  v.reserve(size + 1100);  // the longest header is the module's 1084 bytes
  uint8_t kind = data[0] % 8;
  ++data;
  --size;
  switch (kind) {
    case 1: {  // WAV with a PCM header whose fields come from the input
      const char* riff = "RIFF";
      v.insert(v.end(), riff, riff + 4);
      Put32(v, uint32_t(size + 36));
      const char* wave = "WAVEfmt ";
      v.insert(v.end(), wave, wave + 8);
      Put32(v, 16);
      for (int i = 0; i < 16; ++i) v.push_back(size > size_t(i) ? data[i] : 0);
      const char* d = "data";
      v.insert(v.end(), d, d + 4);
      Put32(v, uint32_t(size));
      break;
    }
    case 2: {  // MPEG audio frame header
      uint8_t h[4] = {0xFF, 0xFB, 0x90, 0x64};
      v.insert(v.end(), h, h + 4);
      break;
    }
    case 3: {
      const char* o = "OggS";
      v.insert(v.end(), o, o + 4);
      break;
    }
    case 4:  // ProTracker module: the signature sits at 1080
      v.assign(1084, 0);
      std::memcpy(v.data() + 1080, "M.K.", 4);
      if (size) std::memcpy(v.data(), data, std::min<size_t>(size, 1080));
      break;
    case 5: {
      const char* x = "Extended Module: ";
      v.insert(v.end(), x, x + 17);
      break;
    }
    case 6: {
      const char* x = "IMPM";
      v.insert(v.end(), x, x + 4);
      break;
    }
    case 7: {
      const char* x = "FORM\0\0\0\0AIFF";
      v.insert(v.end(), x, x + 12);
      break;
    }
    default:
      break;
  }
  v.insert(v.end(), data, data + size);
  return v;
}

void Exercise(DWORD h) {
  if (!h) {
    if (BASS_ErrorGetCode() == BASS_OK) std::abort();  // a failure must say why
    return;
  }
  BASS_CHANNELINFO info;
  if (!BASS_ChannelGetInfo(h, &info) || info.chans < 1 || info.chans > 8) std::abort();
  std::vector<uint8_t> buf(16384);
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  for (int i = 0; i < 8; ++i)
    if (BASS_ChannelGetData(h, buf.data(), DWORD(buf.size())) == DWORD(-1)) break;
  if (len != QWORD(-1) && len > 0) BASS_ChannelSetPosition(h, len / 2, BASS_POS_BYTE);
  BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
  float fft[512];
  BASS_ChannelGetData(h, fft, BASS_DATA_FFT1024);
  for (DWORD t : {0u, 1u, 2u, 0x10000u}) BASS_ChannelGetTags(h, t);
}

// The same bytes as a user file that cannot seek (STREAMFILE_BUFFER), handed over in pieces of a
// size the input picks: the probes' replay of its start and FFmpeg's reading front to back.
struct OneWay {
  const std::vector<uint8_t>* bytes;
  size_t pos = 0, piece = 1;
};
const BASS_FILEPROCS kOneWay = {
    [](void*) {}, [](void* u) -> QWORD { return static_cast<OneWay*>(u)->bytes->size(); },
    [](void* buf, DWORD len, void* u) -> DWORD {
      auto* f = static_cast<OneWay*>(u);
      const size_t n = std::min({size_t(len), f->bytes->size() - f->pos, f->piece});
      std::memcpy(buf, f->bytes->data() + f->pos, n);
      f->pos += n;
      return DWORD(n);
    },
    [](QWORD, void*) -> BOOL { std::abort(); }};  // such a file is never asked to seek

void ExerciseOneWay(const std::vector<uint8_t>& bytes, size_t piece) {
  OneWay oneWay{&bytes, 0, piece};
  DWORD u = BASS_StreamCreateFileUser(STREAMFILE_BUFFER, BASS_STREAM_DECODE, &kOneWay, &oneWay);
  Exercise(u);
  if (u) BASS_StreamFree(u);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzcheck::StartLibrary();
  auto v = Shape(data, size);
  if (v.empty()) return 0;
  DWORD s = BASS_StreamCreateFile(TRUE, v.data(), 0, v.size(), BASS_STREAM_DECODE);
  Exercise(s);
  if (s) BASS_StreamFree(s);
  ExerciseOneWay(v, 1 + size_t(data[size - 1]) * 64);
  DWORD m = BASS_MusicLoad(TRUE, v.data(), 0, DWORD(v.size()), BASS_MUSIC_DECODE | BASS_MUSIC_PRESCAN, 0);
  Exercise(m);
  if (m) BASS_MusicFree(m);
  return 0;
}

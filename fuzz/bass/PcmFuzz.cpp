// Fuzz target: plain PCM and float WAVE and AIFF files through the core's own decoder (the RIFF and
// AIFF walks in front of it, decoding in every sample format, seeking, tags, file positions), from
// memory. The first byte picks what is put in front of the rest so inputs reach the decoder:
// nothing, a RIFF WAVE header with a "fmt " chunk made of the next 16 input bytes and a data chunk
// whose size field is the next 4, a bare "RIFF....WAVE" head (the input makes the chunks), an RF64
// head with a ds64 chunk, or a FORM head of AIFF or AIFF-C (the input makes the chunks). The second
// byte picks the output format. What must hold: a file the walk takes is decoded by the core to
// exactly its whole frames; the walk's data lies inside the file; whole sample frames only, a
// stream that ends, a length equal to what was decoded, positions where they were set, file
// positions inside the file. Files the walk leaves (or whose downmix it leaves) to FFmpeg are not
// opened here: bass_stream_fuzz drives that path.
#include "HeaderWalks.h"
#include "StreamChecks.h"
#include "bass.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void Put(std::vector<uint8_t>& v, const char* s) { v.insert(v.end(), s, s + std::strlen(s)); }

std::vector<uint8_t> Shape(const uint8_t* data, size_t size, DWORD& flags) {
  std::vector<uint8_t> v;
  if (size < 2) return v;
  const uint8_t kind = data[0] % 6;
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
    case 1: {
      Put(v, "RIFF");
      Put32(v, uint32_t(size + 36));
      Put(v, "WAVEfmt ");
      Put32(v, 16);
      take(16);
      Put(v, "data");
      take(4);
      break;
    }
    case 2:
      Put(v, "RIFF");
      Put32(v, uint32_t(size + 4));
      Put(v, "WAVE");
      break;
    case 3:
      Put(v, "RF64");
      Put32(v, 0xFFFFFFFF);
      Put(v, "WAVEds64");
      Put32(v, 28);
      take(28);
      break;
    case 4:
    case 5:
      Put(v, "FORM");
      for (int shift = 24; shift >= 0; shift -= 8) v.push_back(uint8_t((size + 4) >> shift));
      Put(v, kind == 4 ? "AIFF" : "AIFC");
      break;
    default:
      break;
  }
  v.insert(v.end(), data, data + size);
  return v;
}

void Exercise(DWORD h, const std::vector<uint8_t>& file, QWORD expectBytes) {
  if (!h) {
    if (BASS_ErrorGetCode() == BASS_OK) std::abort();  // a failure must say why
    if (expectBytes) std::abort();                     // the walk took it: the core decodes it
    return;
  }
  const QWORD total = fuzzcheck::CheckStream(h, file.size(), 8);
  if (expectBytes && total != expectBytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzcheck::StartLibrary();
  DWORD flags = 0;
  auto v = Shape(data, size, flags);
  if (v.empty()) return 0;

  const orvbass::ReadAtFn read = [&](QWORD pos, void* buf, size_t n) -> size_t {
    if (pos >= v.size()) return 0;
    n = std::min<size_t>(n, v.size() - size_t(pos));
    std::memcpy(buf, v.data() + pos, n);
    return n;
  };
  orvbass::PcmLayout in;
  QWORD expect = 0;
  bool taken = orvbass::WalkRiffWave(read, v.size(), in);
  if (!taken) {
    in = orvbass::PcmLayout{};
    taken = orvbass::WalkAiff(read, v.size(), in);
  }
  if (taken) {
    if (in.chans < 1 || in.chans > 8 || in.frames == 0 || in.frameBytes < in.chans ||
        in.frameBytes % in.chans != 0 || in.dataStart + in.frames * QWORD(in.frameBytes) > v.size())
      std::abort();
    const bool mono = (flags & BASS_SAMPLE_MONO) != 0;
    if (!(mono && (in.chans > 2 || (in.chans == 2 && !in.plainStereo))))
      expect = in.frames * QWORD(mono ? 1 : in.chans) * QWORD(fuzzcheck::SampleBytes(flags));
  }
  // What the walk leaves alone goes to FFmpeg: bass_stream_fuzz's ground, and far slower.
  if (!expect) return 0;
  DWORD s = BASS_StreamCreateFile(TRUE, v.data(), 0, v.size(), flags);
  Exercise(s, v, expect);
  if (s) BASS_StreamFree(s);
  return 0;
}

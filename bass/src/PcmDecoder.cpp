// Plain PCM and float WAVE and AIFF files decoded by the core itself: opening FFmpeg maps about a
// hundred libraries (20+ MB, tens of milliseconds) for the simplest formats there are.
//
// Only what the FFmpeg path takes as a core format comes here (HeaderWalks.h's WalkRiffWave and
// WalkAiff), and only from files that can be read again from their start; everything else, a mono
// downmix of more than two channels among it, goes to FFmpeg as before. The output is what
// FFmpeg's decoder and libswresample make of the same samples, to the bit: the conversions below
// are their arithmetic (integer shifts, products with powers of two in float, rounding to nearest
// even), and a downmix of two channels to one goes through the same intermediate format and
// coefficients. Only float samples beyond what integer output can hold by far (65536 times full
// scale and more), infinities and NaN differ: they saturate (NaN is silence), where libswresample
// turns them into the negative extreme.
//
// Threading: a decoder is used by one thread at a time (the channel's lock).
#include "Core.h"
#include "HeaderWalks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orvbass {
namespace {

constexpr size_t kReadBytes = 65536;
// Intermediate formats of libswresample's downmix, and its two-channel coefficients.
constexpr float kHalfF = 0.5f;
constexpr double kHalfD = 0.5;
constexpr double kSqrtHalf = 0.70710678118654752440;  // M_SQRT1_2
constexpr float kSqrtHalfF = float(kSqrtHalf);

struct PcmDec {
  ORV_FILE* file = nullptr;
  PcmLayout in;
  SampleFmt outFmt = SampleFmt::S16;
  int outChans = 2;
  int outFrameBytes = 4;
  bool downmix = false;
  QWORD pos = 0;  // frame index of the next frame read() returns
  std::string id3v1, id3v2;
  std::vector<uint8_t> raw;  // file bytes of up to kReadBytes of whole frames
};

// One source sample at p as the decoder hands it on: u8, s16, s32 (24-bit shifted up), float, double.
inline uint32_t Bytes16(const uint8_t* p, bool be) {
  return be ? uint32_t(p[0]) << 8 | p[1] : uint32_t(p[1]) << 8 | p[0];
}
inline uint32_t Bytes32(const uint8_t* p, bool be) {
  return be ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
            : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
inline int16_t S16At(const uint8_t* p, bool be) { return int16_t(Bytes16(p, be)); }
inline int32_t S24At(const uint8_t* p, bool be) {
  const uint32_t v = be ? uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]
                        : uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  return int32_t(v << 8);
}
inline int32_t S32At(const uint8_t* p, bool be) { return int32_t(Bytes32(p, be)); }
inline float F32At(const uint8_t* p, bool be) {
  uint32_t v = Bytes32(p, be);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}
inline double F64At(const uint8_t* p, bool be) {
  uint64_t hi = Bytes32(p, be), lo = Bytes32(p + 4, be);
  uint64_t v = be ? hi << 32 | lo : lo << 32 | hi;
  double d;
  std::memcpy(&d, &v, 8);
  return d;
}

// Float to integer as libswresample rounds (to nearest even), saturating.
inline int16_t SatS16(float scaled) {
  if (scaled >= 32767.0f) return 32767;
  if (scaled <= -32768.0f) return -32768;
  if (scaled != scaled) return 0;
  return int16_t(lrintf(scaled));
}
inline int16_t SatS16(double scaled) {
  if (scaled >= 32767.0) return 32767;
  if (scaled <= -32768.0) return -32768;
  if (scaled != scaled) return 0;
  return int16_t(lrint(scaled));
}
inline uint8_t SatU8(float scaled) {
  if (scaled >= 127.0f) return 255;
  if (scaled <= -128.0f) return 0;
  if (scaled != scaled) return 128;
  return uint8_t(lrintf(scaled) + 0x80);
}
inline uint8_t SatU8(double scaled) {
  if (scaled >= 127.0) return 255;
  if (scaled <= -128.0) return 0;
  if (scaled != scaled) return 128;
  return uint8_t(lrint(scaled) + 0x80);
}

// Sample by sample, no channel change: libswresample's direct conversion between the formats.
void Convert(const PcmDec& d, const uint8_t* src, uint8_t* dst, size_t samples) {
  const bool be = d.in.bigEndian;
  const PcmCoding c = d.in.coding;
  const int step = d.in.frameBytes / d.in.chans;
  switch (d.outFmt) {
    case SampleFmt::S16: {
      auto* o = reinterpret_cast<int16_t*>(dst);
      for (size_t i = 0; i < samples; ++i, src += step) {
        switch (c) {
          case PcmCoding::U8: o[i] = int16_t((int(src[0]) - 0x80) * 256); break;
          case PcmCoding::S8: o[i] = int16_t(int8_t(src[0]) * 256); break;
          case PcmCoding::S16: o[i] = S16At(src, be); break;
          case PcmCoding::S24: o[i] = int16_t(S24At(src, be) >> 16); break;
          case PcmCoding::S32: o[i] = int16_t(S32At(src, be) >> 16); break;
          case PcmCoding::F32: o[i] = SatS16(F32At(src, be) * 32768.0f); break;
          case PcmCoding::F64: o[i] = SatS16(F64At(src, be) * 32768.0); break;
        }
      }
      break;
    }
    case SampleFmt::U8: {
      for (size_t i = 0; i < samples; ++i, src += step) {
        switch (c) {
          case PcmCoding::U8: dst[i] = src[0]; break;
          case PcmCoding::S8: dst[i] = uint8_t(src[0] ^ 0x80); break;
          case PcmCoding::S16: dst[i] = uint8_t((S16At(src, be) >> 8) + 0x80); break;
          case PcmCoding::S24: dst[i] = uint8_t((S24At(src, be) >> 24) + 0x80); break;
          case PcmCoding::S32: dst[i] = uint8_t((S32At(src, be) >> 24) + 0x80); break;
          case PcmCoding::F32: dst[i] = SatU8(F32At(src, be) * 128.0f); break;
          case PcmCoding::F64: dst[i] = SatU8(F64At(src, be) * 128.0); break;
        }
      }
      break;
    }
    case SampleFmt::F32: {
      auto* o = reinterpret_cast<float*>(dst);
      for (size_t i = 0; i < samples; ++i, src += step) {
        switch (c) {
          case PcmCoding::U8: o[i] = float(int(src[0]) - 0x80) * (1.0f / 128); break;
          case PcmCoding::S8: o[i] = float(int8_t(src[0])) * (1.0f / 128); break;
          case PcmCoding::S16: o[i] = float(S16At(src, be)) * (1.0f / 32768); break;
          case PcmCoding::S24: o[i] = float(S24At(src, be)) * (1.0f / 2147483648.0f); break;
          case PcmCoding::S32: o[i] = float(S32At(src, be)) * (1.0f / 2147483648.0f); break;
          case PcmCoding::F32: o[i] = F32At(src, be); break;
          case PcmCoding::F64: o[i] = float(F64At(src, be)); break;
        }
      }
      break;
    }
  }
}

// Two channels to one as libswresample mixes them: in 16-bit (sources and output of at most two
// bytes a sample; coefficients 0.5 as 16384/32768, rounded), in float (four-byte sources) or in
// double (64-bit float sources). The coefficients are 0.5 for integer output and sqrt(1/2) for
// float output (libswresample only normalises the sum for integer output).
void Downmix(const PcmDec& d, const uint8_t* src, uint8_t* dst, size_t frames) {
  const bool be = d.in.bigEndian;
  const PcmCoding c = d.in.coding;
  const int step = d.in.frameBytes / 2;
  const bool small = c == PcmCoding::U8 || c == PcmCoding::S8 || c == PcmCoding::S16;
  auto s16 = [&](const uint8_t* p) -> int {
    return c == PcmCoding::U8 ? (int(p[0]) - 0x80) * 256 : c == PcmCoding::S8 ? int(int8_t(p[0])) * 256 : S16At(p, be);
  };
  auto f32 = [&](const uint8_t* p) -> float {
    switch (c) {
      case PcmCoding::U8: return float(int(p[0]) - 0x80) * (1.0f / 128);
      case PcmCoding::S8: return float(int8_t(p[0])) * (1.0f / 128);
      case PcmCoding::S16: return float(S16At(p, be)) * (1.0f / 32768);
      case PcmCoding::S24: return float(S24At(p, be)) * (1.0f / 2147483648.0f);
      case PcmCoding::S32: return float(S32At(p, be)) * (1.0f / 2147483648.0f);
      default: return F32At(p, be);
    }
  };
  for (size_t i = 0; i < frames; ++i, src += d.in.frameBytes) {
    const uint8_t* l = src;
    const uint8_t* r = src + step;
    if (c == PcmCoding::F64) {
      const double a = F64At(l, be), b = F64At(r, be);
      if (d.outFmt == SampleFmt::F32) {
        reinterpret_cast<float*>(dst)[i] = float(kSqrtHalf * a + kSqrtHalf * b);
      } else {
        const double m = kHalfD * a + kHalfD * b;
        if (d.outFmt == SampleFmt::S16) reinterpret_cast<int16_t*>(dst)[i] = SatS16(m * 32768.0);
        else dst[i] = SatU8(m * 128.0);
      }
    } else if (d.outFmt == SampleFmt::F32) {
      reinterpret_cast<float*>(dst)[i] = kSqrtHalfF * f32(l) + kSqrtHalfF * f32(r);
    } else if (small) {
      const int m = (16384 * s16(l) + 16384 * s16(r) + 16384) >> 15;
      if (d.outFmt == SampleFmt::S16) reinterpret_cast<int16_t*>(dst)[i] = int16_t(m);
      else dst[i] = uint8_t((m >> 8) + 0x80);
    } else {
      const float m = kHalfF * f32(l) + kHalfF * f32(r);
      if (d.outFmt == SampleFmt::S16) reinterpret_cast<int16_t*>(dst)[i] = SatS16(m * 32768.0f);
      else dst[i] = SatU8(m * 128.0f);
    }
  }
}

DWORD DecRead(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* d = static_cast<PcmDec*>(self);
  auto* out = static_cast<uint8_t*>(buffer);
  const QWORD want = std::min<QWORD>(length / DWORD(d->outFrameBytes), d->in.frames - std::min(d->pos, d->in.frames));
  const size_t chunkFrames = std::max<size_t>(1, kReadBytes / size_t(d->in.frameBytes));
  QWORD done = 0;
  while (done < want) {
    const size_t n = size_t(std::min<QWORD>(chunkFrames, want - done));
    const size_t bytes = n * size_t(d->in.frameBytes);
    // A user file may hand over less than asked; read on until it gives nothing.
    size_t got = 0;
    while (got < bytes) {
      DWORD r = FileRead(d->file, d->raw.data() + got, DWORD(bytes - got));
      if (r == 0) break;
      got += r;
    }
    const size_t frames = got / size_t(d->in.frameBytes);
    uint8_t* dst = out + done * QWORD(d->outFrameBytes);
    if (d->downmix) Downmix(*d, d->raw.data(), dst, frames);
    else Convert(*d, d->raw.data(), dst, frames * size_t(d->in.chans));
    done += frames;
    d->pos += frames;
    if (frames < n) {
      // The file is shorter than it was (cut while playing): it ends here, on a whole frame.
      d->in.frames = d->pos;
      if (got % size_t(d->in.frameBytes)) FileSeek(d->file, d->in.dataStart + d->pos * QWORD(d->in.frameBytes));
      break;
    }
  }
  if (d->pos >= d->in.frames) *ended = TRUE;
  return DWORD(done * QWORD(d->outFrameBytes));
}

BOOL DecSeek(void* self, QWORD pos) {
  auto* d = static_cast<PcmDec*>(self);
  const QWORD frame = pos / QWORD(d->outFrameBytes);
  if (frame > d->in.frames) return FALSE;
  if (!FileSeek(d->file, d->in.dataStart + frame * QWORD(d->in.frameBytes))) return FALSE;
  d->pos = frame;
  return TRUE;
}

QWORD DecLength(void* self) {
  auto* d = static_cast<PcmDec*>(self);
  return d->in.frames * QWORD(d->outFrameBytes);
}

const char* DecTags(void* self, DWORD type) {
  auto* d = static_cast<PcmDec*>(self);
  const std::string* s = type == BASS_TAG_ID3 ? &d->id3v1 : type == BASS_TAG_ID3V2 ? &d->id3v2 : nullptr;
  return s && !s->empty() ? s->data() : nullptr;
}

QWORD DecFilePos(void* self, DWORD mode) {
  auto* d = static_cast<PcmDec*>(self);
  switch (mode) {
    case BASS_FILEPOS_CURRENT: return d->in.dataStart + d->pos * QWORD(d->in.frameBytes);
    case BASS_FILEPOS_DOWNLOAD:
    case BASS_FILEPOS_END: return FileSize(d->file);
    case BASS_FILEPOS_START: return d->in.dataStart;
    default: return QWORD(-1);
  }
}

void DecClose(void* self) { delete static_cast<PcmDec*>(self); }

const ORV_DECODER_FUNCS kFuncs = {DecRead, DecSeek, DecLength, DecTags, DecFilePos, DecClose};

bool Decline(ORV_FILE* file) {
  FileSeek(file, 0);
  return Fail(BASS_ERROR_FILEFORM, false);
}

}  // namespace

bool OpenPcm(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  // Only a file that can be read again from its start: the walk reads its head first.
  if (!FileSeek(file, 0)) return Fail(BASS_ERROR_FILEFORM, false);
  const QWORD size = FileSize(file);
  if (size == 0) return Decline(file);
  PcmLayout in;
  if (!WalkRiffWave(FileReaderAt(file), size, in)) {
    in = PcmLayout{};
    if (!WalkAiff(FileReaderAt(file), size, in)) return Decline(file);
  }
  const bool mono = (flags & BASS_SAMPLE_MONO) != 0;
  // libswresample's downmix of more channels (or of two that are not left and right) weighs them
  // by their speaker positions: FFmpeg's.
  if (mono && (in.chans > 2 || (in.chans == 2 && !in.plainStereo))) return Decline(file);

  auto d = std::make_unique<PcmDec>();
  d->file = file;
  d->in = in;
  d->outFmt = FmtOfFlags(flags);
  d->outChans = mono ? 1 : in.chans;
  d->downmix = mono && in.chans == 2;
  d->outFrameBytes = d->outChans * BytesOf(d->outFmt);
  Id3Blocks tags = ReadId3Blocks(FileReaderAt(file), size);
  d->id3v1 = std::move(tags.v1);
  d->id3v2 = std::move(tags.v2);
  if (!FileSeek(file, in.dataStart)) return Decline(file);
  // Room for one read of whole frames, so reading on the mixer thread never allocates.
  d->raw.resize(std::max<size_t>(1, kReadBytes / size_t(in.frameBytes)) * size_t(in.frameBytes));

  const bool isFloat = in.coding == PcmCoding::F32 || in.coding == PcmCoding::F64;
  out->funcs = &kFuncs;
  out->freq = DWORD(in.rate);
  out->chans = DWORD(d->outChans);
  out->flags = d->outFmt == SampleFmt::F32 ? BASS_SAMPLE_FLOAT : d->outFmt == SampleFmt::U8 ? BASS_SAMPLE_8BITS : 0;
  out->ctype = in.aiff ? BASS_CTYPE_STREAM_AIFF : isFloat ? BASS_CTYPE_STREAM_WAV_FLOAT : BASS_CTYPE_STREAM_WAV_PCM;
  // FFmpeg's 24- and 32-bit decoders name their own depth; the others keep the header's.
  out->origres = in.coding == PcmCoding::S24 ? 24 : in.coding == PcmCoding::S32 ? 32 : DWORD(in.bits);
  out->self = d.release();
  return true;
}

}  // namespace orvbass

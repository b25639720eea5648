// Sample conversions of the decoders that stand in for FFmpeg (PcmDecoder.cpp, FlacDecoder.cpp):
// samples as FFmpeg's decoders hand them on, converted as libswresample converts them, to the bit.
// The conversions are its arithmetic (integer shifts, products with powers of two in float,
// rounding to nearest even), and a downmix of two channels to one goes through the same
// intermediate format and coefficients. Only float samples beyond what integer output can hold by
// far (65536 times full scale and more), infinities and NaN differ: they saturate (NaN is
// silence), where libswresample turns them into the negative extreme.
//
// Threading: pure functions, any thread.
#pragma once

#include "Core.h"
#include "HeaderWalks.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvbass {
namespace pcmconv {

// Intermediate formats of libswresample's downmix, and its two-channel coefficients.
constexpr float kHalfF = 0.5f;
constexpr double kHalfD = 0.5;
constexpr double kSqrtHalf = 0.70710678118654752440;  // M_SQRT1_2
constexpr float kSqrtHalfF = float(kSqrtHalf);

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

// Samples of "in" (its coding, byte order and frame layout) to "outFmt", sample by sample, no
// channel change: libswresample's direct conversion between the formats.
inline void ConvertSamples(const PcmLayout& in, SampleFmt outFmt, const uint8_t* src, uint8_t* dst,
                           size_t samples) {
  const bool be = in.bigEndian;
  const PcmCoding c = in.coding;
  const int step = in.frameBytes / in.chans;
  switch (outFmt) {
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

// Frames of two channels to one as libswresample mixes them: in 16-bit (sources and output of at most two
// bytes a sample; coefficients 0.5 as 16384/32768, rounded), in float (four-byte sources) or in
// double (64-bit float sources). The coefficients are 0.5 for integer output and sqrt(1/2) for
// float output (libswresample only normalises the sum for integer output).
inline void DownmixStereo(const PcmLayout& in, SampleFmt outFmt, const uint8_t* src, uint8_t* dst, size_t frames) {
  const bool be = in.bigEndian;
  const PcmCoding c = in.coding;
  const int step = in.frameBytes / 2;
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
  for (size_t i = 0; i < frames; ++i, src += in.frameBytes) {
    const uint8_t* l = src;
    const uint8_t* r = src + step;
    if (c == PcmCoding::F64) {
      const double a = F64At(l, be), b = F64At(r, be);
      if (outFmt == SampleFmt::F32) {
        reinterpret_cast<float*>(dst)[i] = float(kSqrtHalf * a + kSqrtHalf * b);
      } else {
        const double m = kHalfD * a + kHalfD * b;
        if (outFmt == SampleFmt::S16) reinterpret_cast<int16_t*>(dst)[i] = SatS16(m * 32768.0);
        else dst[i] = SatU8(m * 128.0);
      }
    } else if (outFmt == SampleFmt::F32) {
      reinterpret_cast<float*>(dst)[i] = kSqrtHalfF * f32(l) + kSqrtHalfF * f32(r);
    } else if (small) {
      const int m = (16384 * s16(l) + 16384 * s16(r) + 16384) >> 15;
      if (outFmt == SampleFmt::S16) reinterpret_cast<int16_t*>(dst)[i] = int16_t(m);
      else dst[i] = uint8_t((m >> 8) + 0x80);
    } else {
      const float m = kHalfF * f32(l) + kHalfF * f32(r);
      if (outFmt == SampleFmt::S16) reinterpret_cast<int16_t*>(dst)[i] = SatS16(m * 32768.0f);
      else dst[i] = SatU8(m * 128.0f);
    }
  }
}

}  // namespace pcmconv

using pcmconv::ConvertSamples;
using pcmconv::DownmixStereo;

}  // namespace orvbass

// Helpers of the audio library tests: temporary folders, generated media, reference decodes.
#pragma once

#include "bass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace bt {

inline std::string TempDir() {
  char tmpl[] = "/tmp/orvbass_XXXXXX";
  char* d = mkdtemp(tmpl);
  return d ? std::string(d) : std::string("/tmp");
}

struct TempFolder {
  std::string path = TempDir();
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline int Run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

// A stereo test signal with different content per channel (so channel mix-ups show).
inline std::string Generate(const std::string& path, const std::string& codecArgs, double seconds = 1.5,
                            int rate = 44100, int chans = 2) {
  std::string src = chans == 1 ? "aevalsrc=0.5*sin(2*PI*440*t)+0.1*sin(2*PI*3000*t)"
                               : "aevalsrc=0.5*sin(2*PI*440*t)+0.1*sin(2*PI*3000*t)|0.4*sin(2*PI*660*t)";
  std::string cmd = "ffmpeg -nostdin -y -f lavfi -i \"" + src + ":s=" + std::to_string(rate) + ":d=" +
                    std::to_string(seconds) + "\" " + codecArgs + " \"" + path + "\"";
  EXPECT_EQ(Run(cmd), 0) << cmd;
  return path;
}

// FFmpeg has no MPEG-1 Layer I encoder: this writes a valid Layer I stream (44.1 kHz stereo,
// 448 kbit/s) whose subband samples are chosen directly - what it sounds like does not matter,
// only that every decoder reads the same samples from it.
inline std::string WriteMp1(const std::string& path, int frames) {
  std::vector<uint8_t> out;
  for (int fr = 0; fr < frames; ++fr) {
    std::vector<uint8_t> f(484, 0);  // 12 * 448000 / 44100 = 121 slots of 4 bytes, no padding
    f[0] = 0xFF;
    f[1] = 0xFF;  // MPEG-1, Layer I, no CRC
    f[2] = uint8_t(14 << 4 | 0 << 2);  // 448 kbit/s, 44100 Hz
    f[3] = 0x00;  // stereo
    size_t bit = 32;
    auto put = [&](uint32_t v, int n) {
      for (int i = n - 1; i >= 0; --i, ++bit)
        if (v >> i & 1) f[bit / 8] |= uint8_t(0x80 >> (bit % 8));
    };
    const int used = 6;
    for (int sb = 0; sb < 32; ++sb)
      for (int ch = 0; ch < 2; ++ch) put(sb < used ? 7 : 0, 4);  // 8-bit samples in the low subbands
    for (int sb = 0; sb < used; ++sb)
      for (int ch = 0; ch < 2; ++ch) put(uint32_t(8 + sb + ch), 6);
    for (int s = 0; s < 12; ++s)
      for (int sb = 0; sb < used; ++sb)
        for (int ch = 0; ch < 2; ++ch) {
          double v = std::sin(0.37 * (fr * 12 + s) * (sb + 1) + ch) * 100.0;
          put(uint32_t(127 + int(v)), 8);
        }
    out.insert(out.end(), f.begin(), f.end());
  }
  WriteFile(path, out);
  return path;
}

// FFmpeg's own decode of a file as interleaved signed 16-bit samples (channels and rate kept).
// MPEG Layer I/II go through FFmpeg's float decoders, as in the library (the fixed-point ones dither).
inline std::vector<int16_t> FfmpegDecodeS16(const std::string& path, const std::string& tmp,
                                            const std::string& decoder = "") {
  std::string out = tmp + ".ref.raw";
  std::string dec = decoder.empty() ? "" : "-c:a " + decoder + " ";
  std::string cmd = "ffmpeg -nostdin -y " + dec + "-i \"" + path + "\" -f s16le -acodec pcm_s16le \"" + out + "\"";
  EXPECT_EQ(Run(cmd), 0) << cmd;
  auto bytes = ReadFile(out);
  std::vector<int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

// libmpg123's own front end decoding an MPEG audio file: gapless (encoder delay and padding of a
// LAME/Xing header removed), at the file's rate and channel count (raw output, nothing resampled
// or remixed). The library decodes MPEG audio with libmpg123, so this is its exact reference.
inline std::vector<uint8_t> Mpg123DecodeRaw(const std::string& path, const std::string& tmp, const char* encoding) {
  std::string out = tmp + ".mpg123.raw";
  std::string cmd = std::string("mpg123 -q -e ") + encoding + " -O \"" + out + "\" \"" + path + "\"";
  EXPECT_EQ(Run(cmd), 0) << cmd;
  return ReadFile(out);
}
inline std::vector<int16_t> Mpg123DecodeS16(const std::string& path, const std::string& tmp) {
  auto bytes = Mpg123DecodeRaw(path, tmp, "s16");
  std::vector<int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}
inline std::vector<float> Mpg123DecodeF32(const std::string& path, const std::string& tmp) {
  auto bytes = Mpg123DecodeRaw(path, tmp, "f32");
  std::vector<float> s(bytes.size() / 4);
  std::memcpy(s.data(), bytes.data(), s.size() * 4);
  return s;
}

// Reads every byte a decoding channel gives.
inline std::vector<uint8_t> DecodeAll(DWORD h, size_t chunk = 12345) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buf(chunk);
  for (int guard = 0; guard < 1000000; ++guard) {
    DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
    if (n == DWORD(-1) || n == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

inline std::vector<int16_t> AsS16(const std::vector<uint8_t>& b) {
  std::vector<int16_t> s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

// A WAV file's samples (16-bit PCM or 32-bit float) as floats, and its format.
struct Wav {
  int chans = 0, rate = 0, bits = 0, format = 0;
  std::vector<float> samples;
};
inline Wav ReadWav(const std::string& path) {
  Wav w;
  auto b = ReadFile(path);
  auto u16 = [&](size_t o) { return uint32_t(b[o]) | uint32_t(b[o + 1]) << 8; };
  auto u32 = [&](size_t o) { return u16(o) | u16(o + 2) << 16; };
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0) return w;
  size_t p = 12;
  while (p + 8 <= b.size()) {
    uint32_t len = u32(p + 4);
    if (std::memcmp(&b[p], "fmt ", 4) == 0) {
      w.format = int(u16(p + 8));
      w.chans = int(u16(p + 10));
      w.rate = int(u32(p + 12));
      w.bits = int(u16(p + 22));
    } else if (std::memcmp(&b[p], "data", 4) == 0) {
      size_t n = std::min<size_t>(len, b.size() - p - 8);
      if (w.bits == 16) {
        for (size_t i = 0; i + 1 < n; i += 2) w.samples.push_back(int16_t(u16(p + 8 + i)) / 32768.0f);
      } else if (w.bits == 32 && w.format == 3) {
        w.samples.resize(n / 4);
        std::memcpy(w.samples.data(), &b[p + 8], (n / 4) * 4);
      }
      break;
    }
    p += 8 + len + (len & 1);
  }
  return w;
}

// Root mean square of one channel of interleaved samples over [from, to) frames.
inline double Rms(const std::vector<float>& s, int chans, int ch, size_t from = 0, size_t to = SIZE_MAX) {
  double sum = 0;
  size_t n = 0;
  for (size_t f = from; f < s.size() / chans && f < to; ++f, ++n) sum += double(s[f * chans + ch]) * s[f * chans + ch];
  return n ? std::sqrt(sum / n) : 0;
}

inline double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Waits (with a timeout) until pred() is true; returns whether it became true.
template <class P> bool WaitFor(P pred, double seconds = 20) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Library set-up for one test: the capture output (fast unless told otherwise) or silent output.
struct Lib {
  TempFolder dir;
  std::string capture;
  explicit Lib(bool captureOut = true, const char* speed = "1") {
    unsetenv("ORVELLA_BASS_CAPTURE");
    unsetenv("ORVELLA_BASS_CAPTURE_FAST");
    unsetenv("ORVELLA_BASS_CAPTURE_FLOAT");
    setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
    if (captureOut) {
      capture = dir / "capture.wav";
      setenv("ORVELLA_BASS_CAPTURE", capture.c_str(), 1);
      if (speed) setenv("ORVELLA_BASS_CAPTURE_FAST", speed, 1);
      setenv("ORVELLA_BASS_CAPTURE_FLOAT", "1", 1);
    }
    ok = BASS_Init(1, 44100, 0, nullptr, nullptr) != 0;
  }
  ~Lib() {
    if (ok) BASS_Free();
  }
  // Ends the output and reads what it captured.
  Wav Finish() {
    if (ok) BASS_Free();
    ok = false;
    return ReadWav(capture);
  }
  bool ok = false;
};

// A file in memory behind user-file procedures: at most `chunk` bytes a read (a slow source), and
// seeks refused when `seekable` is false (they are counted either way).
struct MemFile {
  std::vector<uint8_t> data;
  size_t chunk = SIZE_MAX;
  bool seekable = true;
  size_t pos = 0;
  int seeks = 0;
  bool closed = false;
};
inline const BASS_FILEPROCS kMemFileProcs = {
    [](void* u) { static_cast<MemFile*>(u)->closed = true; },
    [](void* u) -> QWORD { return static_cast<MemFile*>(u)->data.size(); },
    [](void* buf, DWORD len, void* u) -> DWORD {
      auto* m = static_cast<MemFile*>(u);
      DWORD n = DWORD(std::min({size_t(len), m->data.size() - m->pos, m->chunk}));
      std::memcpy(buf, m->data.data() + m->pos, n);
      m->pos += n;
      return n;
    },
    [](QWORD off, void* u) -> BOOL {
      auto* m = static_cast<MemFile*>(u);
      ++m->seeks;
      if (!m->seekable || off > m->data.size()) return FALSE;
      m->pos = size_t(off);
      return TRUE;
    }};

}  // namespace bt

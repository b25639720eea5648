// Small writers of tracker modules for the tests: one looped sample, a few notes, a known title.
// Each song is one pattern of 16 rows at speed 6 / 125 BPM (16 * 6 * 20 ms = 1.92 s).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace mw {

struct Buf {
  std::vector<uint8_t> b;
  void u8(int v) { b.push_back(uint8_t(v)); }
  void le16(int v) { u8(v & 0xFF), u8((v >> 8) & 0xFF); }
  void be16(int v) { u8((v >> 8) & 0xFF), u8(v & 0xFF); }
  void le32(uint32_t v) { le16(int(v & 0xFFFF)), le16(int(v >> 16)); }
  void str(const std::string& s, size_t n) {
    for (size_t i = 0; i < n; ++i) u8(i < s.size() ? s[i] : 0);
  }
  void zeros(size_t n) { b.insert(b.end(), n, 0); }
  size_t size() const { return b.size(); }
  void put16at(size_t at, int v) {
    b[at] = uint8_t(v & 0xFF);
    b[at + 1] = uint8_t(v >> 8);
  }
  void put32at(size_t at, uint32_t v) {
    put16at(at, int(v & 0xFFFF));
    put16at(at + 2, int(v >> 16));
  }
};

inline std::vector<int8_t> Wave(size_t n = 64) {
  std::vector<int8_t> w(n);
  for (size_t i = 0; i < n; ++i) w[i] = int8_t(std::lround(100 * std::sin(2 * M_PI * double(i) / double(n))));
  return w;
}

// ProTracker "M.K." module, 4 channels.
inline std::vector<uint8_t> Mod(const std::string& title) {
  Buf o;
  auto w = Wave();
  o.str(title, 20);
  for (int s = 0; s < 31; ++s) {
    o.str(s == 0 ? "sine" : "", 22);
    o.be16(s == 0 ? int(w.size() / 2) : 0);
    o.u8(0);
    o.u8(s == 0 ? 64 : 0);
    o.be16(0);
    o.be16(s == 0 ? int(w.size() / 2) : 1);
  }
  o.u8(1);
  o.u8(127);
  o.zeros(128);
  o.str("M.K.", 4);
  for (int row = 0; row < 64; ++row)
    for (int ch = 0; ch < 4; ++ch) {
      int period = (ch == 0 && row % 4 == 0 && row < 16) ? 428 - row * 8 : 0;
      int sample = period ? 1 : 0;
      int effect = (row == 15 && ch == 1) ? 0xD : 0;  // pattern break: the song ends after row 15
      o.u8((sample & 0xF0) | (period >> 8));
      o.u8(period & 0xFF);
      o.u8(((sample & 0x0F) << 4) | effect);
      o.u8(0);
    }
  for (int8_t v : w) o.u8(uint8_t(v));
  return o.b;
}

// Scream Tracker 3 module, 4 channels.
inline std::vector<uint8_t> S3m(const std::string& title) {
  Buf o;
  auto w = Wave();
  o.str(title, 28);
  o.u8(0x1A);
  o.u8(16);
  o.zeros(2);
  o.le16(2);  // orders (one pattern, one end marker)
  o.le16(1);  // instruments
  o.le16(1);  // patterns
  o.le16(0);
  o.le16(0x1320);
  o.le16(2);
  o.str("SCRM", 4);
  o.u8(64);
  o.u8(6);
  o.u8(125);
  o.u8(0xB0);
  o.u8(0);
  o.u8(0);
  o.zeros(8);
  o.le16(0);
  for (int c = 0; c < 32; ++c) o.u8(c < 4 ? (c % 2 ? 8 + c : c) : 255);
  o.u8(0);
  o.u8(255);
  size_t insPtr = o.size();
  o.le16(0);
  size_t patPtr = o.size();
  o.le16(0);
  while (o.size() % 16) o.u8(0);
  o.put16at(insPtr, int(o.size() / 16));
  size_t ins = o.size();
  o.u8(1);
  o.str("sine.raw", 12);
  size_t memseg = o.size();
  o.zeros(3);
  o.le32(uint32_t(w.size()));
  o.le32(0);
  o.le32(uint32_t(w.size()));
  o.u8(64);
  o.u8(0);
  o.u8(0);
  o.u8(1);  // looped
  o.le32(8363);
  o.zeros(12);
  o.str("sine", 28);
  o.str("SCRS", 4);
  (void)ins;
  while (o.size() % 16) o.u8(0);
  o.put16at(patPtr, int(o.size() / 16));
  size_t lenAt = o.size();
  o.le16(0);
  for (int row = 0; row < 64; ++row) {
    if (row < 16 && row % 4 == 0) {
      o.u8(32 | 0);  // channel 0: note and instrument
      o.u8(0x40 + row / 4);
      o.u8(1);
    }
    if (row == 15) {
      o.u8(128 | 1);  // channel 1: command C (pattern break)
      o.u8(3);
      o.u8(0);
    }
    o.u8(0);
  }
  o.put16at(lenAt, int(o.size() - lenAt));
  while (o.size() % 16) o.u8(0);
  size_t para = o.size() / 16;
  o.b[memseg] = uint8_t(para >> 16);
  o.put16at(memseg + 1, int(para & 0xFFFF));
  for (int8_t v : w) o.u8(uint8_t(v + 128));  // unsigned samples
  return o.b;
}

// FastTracker 2 module, 4 channels.
inline std::vector<uint8_t> Xm(const std::string& title) {
  Buf o;
  auto w = Wave();
  o.str("Extended Module: ", 17);
  o.str(title, 20);
  o.u8(0x1A);
  o.str("orvella test", 20);
  o.le16(0x0104);
  o.le32(276);
  o.le16(1);  // song length
  o.le16(0);
  o.le16(4);  // channels
  o.le16(1);  // patterns
  o.le16(1);  // instruments
  o.le16(1);  // linear frequencies
  o.le16(6);
  o.le16(125);
  o.zeros(256);
  // pattern, unpacked 5-byte cells
  Buf pat;
  for (int row = 0; row < 16; ++row)
    for (int ch = 0; ch < 4; ++ch) {
      bool note = ch == 0 && row % 4 == 0;
      pat.u8(note ? 49 + row / 4 : 0);
      pat.u8(note ? 1 : 0);
      pat.u8(0);
      pat.u8(0);
      pat.u8(0);
    }
  o.le32(9);
  o.u8(0);
  o.le16(16);
  o.le16(int(pat.size()));
  o.b.insert(o.b.end(), pat.b.begin(), pat.b.end());
  // instrument with one sample
  o.le32(243);
  o.str("sine", 22);
  o.u8(0);
  o.le16(1);
  o.le32(40);
  o.zeros(96 + 48 + 48);
  o.zeros(2 + 6 + 2 + 4);
  o.le16(0);
  o.le16(0);
  o.le32(uint32_t(w.size()));
  o.le32(0);
  o.le32(uint32_t(w.size()));
  o.u8(64);
  o.u8(0);
  o.u8(1);  // forward loop, 8-bit
  o.u8(128);
  o.u8(0);
  o.u8(0);
  o.str("sine", 22);
  int8_t prev = 0;
  for (int8_t v : w) {
    o.u8(uint8_t(int8_t(v - prev)));  // delta coded
    prev = v;
  }
  return o.b;
}

// Impulse Tracker module, samples only (no instruments).
inline std::vector<uint8_t> It(const std::string& title) {
  Buf o;
  auto w = Wave();
  o.str("IMPM", 4);
  o.str(title, 26);
  o.le16(0x1004);
  o.le16(2);  // orders
  o.le16(0);  // instruments
  o.le16(1);  // samples
  o.le16(1);  // patterns
  o.le16(0x0214);
  o.le16(0x0200);
  o.le16(1);  // stereo
  o.le16(0);
  o.u8(128);
  o.u8(48);
  o.u8(6);
  o.u8(125);
  o.u8(128);
  o.u8(0);
  o.le16(0);
  o.le32(0);
  o.le32(0);
  for (int c = 0; c < 64; ++c) o.u8(c < 4 ? 32 : 160);  // 160: channel off
  for (int c = 0; c < 64; ++c) o.u8(64);
  o.u8(0);
  o.u8(255);
  size_t smpPtr = o.size();
  o.le32(0);
  size_t patPtr = o.size();
  o.le32(0);
  o.put32at(smpPtr, uint32_t(o.size()));
  o.str("IMPS", 4);
  o.str("sine.raw", 12);
  o.u8(0);
  o.u8(64);
  o.u8(1 | 0x10);  // sample present, looped
  o.u8(64);
  o.str("sine", 26);
  o.u8(1);  // signed
  o.u8(0);
  o.le32(uint32_t(w.size()));
  o.le32(0);
  o.le32(uint32_t(w.size()));
  o.le32(8363);
  o.le32(0);
  o.le32(0);
  size_t dataPtr = o.size();
  o.le32(0);
  o.zeros(4);
  o.put32at(patPtr, uint32_t(o.size()));
  Buf pat;
  for (int row = 0; row < 16; ++row) {
    if (row % 4 == 0) {
      pat.u8(1 | 128);
      pat.u8(1 | 2);
      pat.u8(60 + row / 4);
      pat.u8(1);
    }
    if (row == 15) {
      pat.u8(2 | 128);
      pat.u8(8);
      pat.u8(3);  // C: pattern break
      pat.u8(0);
    }
    pat.u8(0);
  }
  o.le16(int(pat.size()));
  o.le16(16);
  o.zeros(4);
  o.b.insert(o.b.end(), pat.b.begin(), pat.b.end());
  o.put32at(dataPtr, uint32_t(o.size()));
  for (int8_t v : w) o.u8(uint8_t(v));
  return o.b;
}

// MultiTracker module, 4 channels: tracks of 64 rows, a pattern lists the track of each channel.
inline std::vector<uint8_t> Mtm(const std::string& title) {
  Buf o;
  auto w = Wave();
  o.str("MTM", 3);
  o.u8(0x10);
  o.str(title, 20);
  o.le16(2);  // tracks
  o.u8(0);    // last pattern
  o.u8(0);    // last order
  o.le16(0);  // comment length
  o.u8(1);    // samples
  o.u8(0);
  o.u8(64);  // rows per track
  o.u8(4);   // channels
  for (int c = 0; c < 32; ++c) o.u8(c % 2 ? 12 : 3);
  o.str("sine", 22);
  o.le32(uint32_t(w.size()));
  o.le32(0);
  o.le32(uint32_t(w.size()));
  o.u8(0);
  o.u8(64);
  o.u8(0);
  o.zeros(128);  // order 0 = pattern 0
  for (int t = 1; t <= 2; ++t)
    for (int row = 0; row < 64; ++row) {
      int note = (t == 1 && row < 16 && row % 4 == 0) ? 25 + row / 4 : 0;
      int ins = note ? 1 : 0;
      int eff = (t == 2 && row == 15) ? 0xD : 0;
      o.u8((note << 2) | (ins >> 4));
      o.u8(((ins & 0xF) << 4) | eff);
      o.u8(0);
    }
  for (int c = 0; c < 32; ++c) o.le16(c == 0 ? 1 : c == 1 ? 2 : 0);
  for (int8_t v : w) o.u8(uint8_t(v + 128));
  return o.b;
}

// Unreal package (UMX) holding a MOD: name table, one import (class Music from Core), one export
// whose object is the module (package version 68: name-indexed file type, lazy array offset).
inline void CompactIndex(Buf& o, int v) {  // non-negative values
  if (v < 64) {
    o.u8(v);
    return;
  }
  o.u8(0x40 | (v & 0x3F));
  v >>= 6;
  while (v) {
    int b = v & 0x7F;
    v >>= 7;
    o.u8(b | (v ? 0x80 : 0));
  }
}

inline std::vector<uint8_t> Umx(const std::string& title) {
  auto mod = Mod(title);
  Buf o;
  o.u8(0xC1), o.u8(0x83), o.u8(0x2A), o.u8(0x9E);
  o.le16(68);
  o.le16(0);
  o.le32(0);
  size_t hdr = o.size();
  o.zeros(24);
  size_t nameOff = o.size();
  const char* names[] = {"None", "Music", "Core", "Class", "mod", "song"};
  for (const char* n : names) {
    CompactIndex(o, int(std::strlen(n)) + 1);
    o.str(n, std::strlen(n) + 1);
    o.le32(0);
  }
  size_t impOff = o.size();
  CompactIndex(o, 2);  // class package "Core"
  CompactIndex(o, 3);  // class "Class"
  o.le32(0);
  CompactIndex(o, 1);  // object "Music"
  size_t objOff = o.size();
  Buf obj;
  CompactIndex(obj, 0);  // properties end ("None")
  CompactIndex(obj, 4);  // file type "mod"
  obj.le32(0);           // lazy array skip offset
  CompactIndex(obj, int(mod.size()));
  obj.b.insert(obj.b.end(), mod.begin(), mod.end());
  o.b.insert(o.b.end(), obj.b.begin(), obj.b.end());
  size_t expOff = o.size();
  o.u8(0x81);  // class: import 0 (-1)
  CompactIndex(o, 0);
  o.le32(0);
  CompactIndex(o, 5);  // "song"
  o.le32(0);
  CompactIndex(o, int(obj.size()));
  CompactIndex(o, int(objOff));
  o.put32at(hdr, 6);
  o.put32at(hdr + 4, uint32_t(nameOff));
  o.put32at(hdr + 8, 1);
  o.put32at(hdr + 12, uint32_t(expOff));
  o.put32at(hdr + 16, 1);
  o.put32at(hdr + 20, uint32_t(impOff));
  return o.b;
}

}  // namespace mw

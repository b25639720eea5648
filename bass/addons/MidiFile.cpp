#include "MidiFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace orvmidi {
namespace {

// Bounds keep hostile files from exhausting memory; real files stay far below them.
constexpr size_t kMaxEvents = 8u << 20;
constexpr size_t kMaxTextBytes = 64u << 20;

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }

bool SetError(std::string* error, const char* what) {
  if (error) *error = what;
  return false;
}

// Variable-length quantity: at most 4 bytes.
bool ReadVar(const uint8_t* p, size_t n, size_t& i, uint32_t& v) {
  v = 0;
  for (int k = 0; k < 4; ++k) {
    if (i >= n) return false;
    uint8_t b = p[i++];
    v = (v << 7) | (b & 0x7F);
    if (!(b & 0x80)) return true;
  }
  return false;
}

// The SMF inside a RIFF RMID file; the data itself otherwise.
bool Unwrap(const uint8_t*& data, size_t& size) {
  if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "RMID", 4) == 0) {
    size_t i = 12;
    while (i + 8 <= size) {
      uint32_t len = Le32(data + i + 4);
      if (std::memcmp(data + i, "data", 4) == 0) {
        if (len > size - i - 8) len = uint32_t(size - i - 8);
        data += i + 8;
        size = len;
        return true;
      }
      if (len > size - i - 8) return false;
      i += 8 + len + (len & 1);
    }
    return false;
  }
  return true;
}

}  // namespace

bool MidiFile::Parse(const uint8_t* data, size_t size, std::string* error) {
  events_.clear();
  texts_.clear();
  tempos_.clear();
  endTick_ = 0;
  trackCount_ = 0;
  if (!data || !Unwrap(data, size)) return SetError(error, "bad RIFF wrapper");
  if (size < 14 || std::memcmp(data, "MThd", 4) != 0) return SetError(error, "no MThd");
  uint32_t hlen = Be32(data + 4);
  if (hlen < 6 || hlen > size - 8) return SetError(error, "bad header length");
  format_ = Be16(data + 8);
  uint16_t declared = Be16(data + 10);
  int16_t div = int16_t(Be16(data + 12));
  if (format_ > 2) return SetError(error, "unknown format");
  if (declared == 0) return SetError(error, "no tracks");
  if (div == 0) return SetError(error, "zero division");
  if (div < 0) {
    int fps = -int8_t(uint16_t(div) >> 8);
    int tpf = uint16_t(div) & 0xFF;
    if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || tpf == 0) return SetError(error, "bad SMPTE division");
  }
  division_ = div;
  size_t pos = 8 + size_t(hlen);
  uint16_t track = 0;
  while (track < declared && pos + 8 <= size) {
    uint32_t len = Be32(data + pos + 4);
    if (len > size - pos - 8) return SetError(error, "chunk past the end of the file");
    if (std::memcmp(data + pos, "MTrk", 4) == 0) {
      if (!ParseTrack(data + pos + 8, len, track, error)) return false;
      ++track;
    }
    pos += 8 + size_t(len);
  }
  if (track < declared) return SetError(error, "missing tracks");
  trackCount_ = track;
  // Merge the tracks into time order; equal ticks keep track order, then file order.
  std::stable_sort(events_.begin(), events_.end(),
                   [](const ChannelEvent& a, const ChannelEvent& b) { return a.tick < b.tick; });
  std::stable_sort(texts_.begin(), texts_.end(), [](const MetaText& a, const MetaText& b) { return a.tick < b.tick; });
  std::stable_sort(tempos_.begin(), tempos_.end(), [](const Tempo& a, const Tempo& b) { return a.tick < b.tick; });
  Time(freq_);
  return true;
}

bool MidiFile::ParseTrack(const uint8_t* p, size_t n, uint16_t track, std::string* error) {
  size_t i = 0;
  uint64_t tick = 0;
  uint8_t running = 0;
  size_t textBytes = 0;
  for (const MetaText& t : texts_) textBytes += t.text.size();
  while (i < n) {
    uint32_t delta;
    if (!ReadVar(p, n, i, delta)) return SetError(error, "bad delta time");
    tick += delta;
    if (tick > 0xFFFFFFF0u) return SetError(error, "track too long");
    if (i >= n) return SetError(error, "event past the track end");
    uint8_t status = p[i];
    if (status < 0x80) {
      if (!running) return SetError(error, "data byte without status");
      status = running;
    } else {
      ++i;
    }
    if (status < 0xF0) {
      running = status;
      int need = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change and channel pressure take one
      if (i + size_t(need) > n) return SetError(error, "channel event past the track end");
      ChannelEvent e{uint32_t(tick), 0, track, status, uint8_t(p[i] & 0x7F),
                     uint8_t(need == 2 ? p[i + 1] & 0x7F : 0)};
      i += size_t(need);
      if (events_.size() >= kMaxEvents) return SetError(error, "too many events");
      events_.push_back(e);
    } else if (status == 0xF0 || status == 0xF7) {
      running = 0;
      uint32_t len;
      if (!ReadVar(p, n, i, len) || len > n - i) return SetError(error, "bad system exclusive length");
      i += len;  // the synthesizer runs in General MIDI mode; SysEx resets are not needed
    } else if (status == 0xFF) {
      running = 0;
      if (i >= n) return SetError(error, "meta event past the track end");
      uint8_t type = p[i++];
      uint32_t len;
      if (!ReadVar(p, n, i, len) || len > n - i) return SetError(error, "bad meta event length");
      const uint8_t* d = p + i;
      i += len;
      if (type == 0x2F) {
        endTick_ = std::max(endTick_, uint32_t(tick));
        break;
      }
      if (type == 0x51 && len >= 3) {
        uint32_t us = uint32_t(d[0]) << 16 | uint32_t(d[1]) << 8 | d[2];
        if (us > 0) tempos_.push_back({uint32_t(tick), us});
      } else if (type >= 1 && type <= 7) {
        size_t l = len;
        const void* nul = std::memchr(d, 0, l);
        if (nul) l = size_t(static_cast<const uint8_t*>(nul) - d);
        textBytes += l;
        if (textBytes > kMaxTextBytes || texts_.size() >= kMaxEvents) return SetError(error, "too much text");
        texts_.push_back({uint32_t(tick), 0, track, type, std::string(reinterpret_cast<const char*>(d), l)});
      } else if (type == 0x58 && len >= 4) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%u/%u/%u/%u", d[0], 1u << std::min<unsigned>(d[1], 31), d[2], d[3]);
        texts_.push_back({uint32_t(tick), 0, track, type, buf});
      } else if (type == 0x59 && len >= 2) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%d/%u", int(int8_t(d[0])), d[1]);
        texts_.push_back({uint32_t(tick), 0, track, type, buf});
      }
    } else {
      return SetError(error, "bad status byte");
    }
  }
  endTick_ = std::max(endTick_, uint32_t(tick));
  return true;
}

uint64_t MidiFile::SampleOfTick(uint64_t tick) const {
  double us;
  if (division_ < 0) {
    int fps = -int8_t(uint16_t(division_) >> 8);
    double rate = (fps == 29 ? 29.97 : double(fps)) * (uint16_t(division_) & 0xFF);
    us = double(tick) * 1e6 / rate;
  } else {
    us = 0;
    uint64_t last = 0;
    double usPerTick = 500000.0 / division_;
    for (const Tempo& t : tempos_) {
      if (t.tick >= tick) break;
      us += double(t.tick - last) * usPerTick;
      last = t.tick;
      usPerTick = double(t.usPerQuarter) / division_;
    }
    us += double(tick - last) * usPerTick;
  }
  return uint64_t(std::llround(us * freq_ / 1e6));
}

uint64_t MidiFile::Time(uint32_t freq) {
  freq_ = freq ? freq : 44100;
  // One pass over the merged lists with a running tempo (the lists are in tick order).
  size_t ti = 0;
  double us = 0, usPerTick = division_ > 0 ? 500000.0 / division_ : 0;
  uint64_t lastTick = 0;
  auto at = [&](uint64_t tick) -> uint64_t {
    if (division_ < 0) return SampleOfTick(tick);
    if (tick < lastTick) {  // lists are walked separately; restart the walk
      ti = 0;
      us = 0;
      lastTick = 0;
      usPerTick = 500000.0 / division_;
    }
    while (ti < tempos_.size() && tempos_[ti].tick <= tick) {
      us += double(tempos_[ti].tick - lastTick) * usPerTick;
      lastTick = tempos_[ti].tick;
      usPerTick = double(tempos_[ti].usPerQuarter) / division_;
      ++ti;
    }
    return uint64_t(std::llround((us + double(tick - lastTick) * usPerTick) * freq_ / 1e6));
  };
  for (ChannelEvent& e : events_) e.sample = at(e.tick);
  for (MetaText& t : texts_) t.sample = at(t.tick);
  lengthSamples_ = at(endTick_);
  return lengthSamples_;
}

}  // namespace orvmidi

#include "MidiTiming.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace inmidi {

namespace {

uint32_t Be(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

// Variable-length quantity; false when it runs past `end` or over 4 bytes.
bool Vlq(const uint8_t*& p, const uint8_t* end, uint32_t& v) {
  v = 0;
  for (int i = 0; i < 4; ++i) {
    if (p >= end) return false;
    uint8_t b = *p++;
    v = v << 7 | (b & 0x7F);
    if (!(b & 0x80)) return true;
  }
  return false;
}

void ParseTrack(const uint8_t* p, const uint8_t* end, TMidiTiming& t) {
  uint32_t tick = 0;
  uint8_t status = 0;
  while (p < end) {
    uint32_t delta;
    if (!Vlq(p, end, delta)) return;
    tick += delta;
    t.endTick = std::max(t.endTick, tick);
    if (p >= end) return;
    uint8_t b = *p;
    if (b == 0xFF) {
      if (end - p < 2) return;
      uint8_t type = p[1];
      p += 2;
      uint32_t len;
      if (!Vlq(p, end, len) || len > uint32_t(end - p)) return;
      if (type == 0x51 && len == 3) t.tempos.emplace_back(tick, Be(p, 3));
      if (type == 0x03 && t.title.empty()) t.title.assign(reinterpret_cast<const char*>(p), len);
      if (type == 0x2F) return;
      p += len;
      status = 0;
    } else if (b == 0xF0 || b == 0xF7) {
      ++p;
      uint32_t len;
      if (!Vlq(p, end, len) || len > uint32_t(end - p)) return;
      p += len;
      status = 0;
    } else {
      if (b & 0x80) {
        status = b;
        ++p;
      } else if (!status) {
        return;  // data byte without a running status: not a MIDI track
      }
      int kind = status >> 4;
      int size = (kind == 0xC || kind == 0xD) ? 1 : 2;
      if (end - p < size) return;
      p += size;
    }
  }
}

}  // namespace

TMidiTiming ParseMidiTiming(const std::vector<uint8_t>& data) {
  TMidiTiming t;
  const uint8_t* p = data.data();
  const uint8_t* end = p + data.size();
  if (data.size() < 14 || std::string(reinterpret_cast<const char*>(p), 4) != "MThd") return t;
  uint32_t headerLen = Be(p + 4, 4);
  if (headerLen < 6 || headerLen > data.size() - 8) return t;
  int tracks = int(Be(p + 10, 2));
  uint16_t division = uint16_t(Be(p + 12, 2));
  if (division & 0x8000) {
    int fps = 256 - (division >> 8);
    int perFrame = division & 0xFF;
    if (fps <= 0 || perFrame == 0) return t;
    t.smpte = true;
    t.smpteTickMs = 1000.0 / (double(fps) * perFrame);
  } else {
    if (division == 0) return t;
    t.division = division;
  }
  p += 8 + headerLen;
  for (int i = 0; i < tracks && end - p >= 8; ++i) {
    uint32_t len = Be(p + 4, 4);
    bool isTrack = std::string(reinterpret_cast<const char*>(p), 4) == "MTrk";
    p += 8;
    const uint8_t* trackEnd = len > uint32_t(end - p) ? end : p + len;
    if (isTrack) ParseTrack(p, trackEnd, t);
    p = trackEnd;
  }
  std::stable_sort(t.tempos.begin(), t.tempos.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  if (t.tempos.empty() || t.tempos.front().first != 0) t.tempos.insert(t.tempos.begin(), {0u, 500000u});
  t.ok = true;
  return t;
}

TMidiTiming ReadMidiTiming(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  const std::streamoff size = in.tellg();
  if (size < 0 || uint64_t(size) > kMaxMidiFileBytes) return {};
  in.seekg(0);
  std::vector<uint8_t> data(static_cast<size_t>(size));
  if (!in.read(reinterpret_cast<char*>(data.data()), size)) return {};
  return ParseMidiTiming(data);
}

double TMidiTiming::TicksToMs(uint32_t tick) const {
  if (smpte) return tick * smpteTickMs;
  double ms = 0;
  for (size_t i = 0; i < tempos.size(); ++i) {
    uint32_t from = tempos[i].first;
    if (from >= tick) break;
    uint32_t to = i + 1 < tempos.size() ? std::min(tempos[i + 1].first, tick) : tick;
    ms += double(to - from) * tempos[i].second / 1000.0 / division;
  }
  return ms;
}

uint32_t TMidiTiming::MsToTicks(double ms) const {
  if (ms <= 0) return 0;
  if (smpte) return uint32_t(std::lround(ms / smpteTickMs));
  double at = 0;
  for (size_t i = 0; i < tempos.size(); ++i) {
    double msPerTick = tempos[i].second / 1000.0 / division;
    bool last = i + 1 == tempos.size();
    double span = last ? 0 : double(tempos[i + 1].first - tempos[i].first) * msPerTick;
    if (last || at + span > ms) return tempos[i].first + uint32_t(std::lround((ms - at) / msPerTick));
    at += span;
  }
  return 0;
}

}  // namespace inmidi

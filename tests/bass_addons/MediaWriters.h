// Small writers of test media: a one-preset SoundFont with a looped sine sample, Standard MIDI
// Files with named tracks, lyrics and markers, and BIN/CUE disc images.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace at {

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
inline void PutName(std::vector<uint8_t>& v, const std::string& s, size_t n) {
  for (size_t i = 0; i < n; ++i) v.push_back(i < s.size() ? uint8_t(s[i]) : 0);
}
inline std::vector<uint8_t> Chunk(const std::string& id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> c(id.begin(), id.end());
  Put32(c, uint32_t(body.size()));
  c.insert(c.end(), body.begin(), body.end());
  if (body.size() & 1) c.push_back(0);
  return c;
}
inline std::vector<uint8_t> List(const std::string& type, const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> body(type.begin(), type.end());
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("LIST", body);
}
inline std::vector<uint8_t> Text(const std::string& s) {
  std::vector<uint8_t> v(s.begin(), s.end());
  v.push_back(0);
  if (v.size() & 1) v.push_back(0);
  return v;
}

// One preset (0, bank 0) playing a looped 441 Hz sine (original key 69) over the whole keyboard.
inline std::vector<uint8_t> TinySoundFont(const std::string& name, const std::string& copyright,
                                          const std::string& comment) {
  const uint32_t period = 100, samples = 44 * period;
  std::vector<uint8_t> smpl;
  for (uint32_t i = 0; i < samples; ++i) Put16(smpl, uint32_t(int16_t(std::lrint(12000 * std::sin(2 * M_PI * i / period)))) & 0xFFFF);
  for (int i = 0; i < 46; ++i) Put16(smpl, 0);  // the format's guard samples
  std::vector<uint8_t> ifil, phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
  Put16(ifil, 2);
  Put16(ifil, 1);
  PutName(phdr, "Sine", 20), Put16(phdr, 0), Put16(phdr, 0), Put16(phdr, 0), Put32(phdr, 0), Put32(phdr, 0), Put32(phdr, 0);
  PutName(phdr, "EOP", 20), Put16(phdr, 0), Put16(phdr, 0), Put16(phdr, 1), Put32(phdr, 0), Put32(phdr, 0), Put32(phdr, 0);
  Put16(pbag, 0), Put16(pbag, 0), Put16(pbag, 1), Put16(pbag, 0);
  for (int i = 0; i < 10; ++i) pmod.push_back(0);
  Put16(pgen, 41), Put16(pgen, 0);  // instrument 0
  Put16(pgen, 0), Put16(pgen, 0);
  PutName(inst, "SineInst", 20), Put16(inst, 0);
  PutName(inst, "EOI", 20), Put16(inst, 1);
  Put16(ibag, 0), Put16(ibag, 0), Put16(ibag, 2), Put16(ibag, 0);
  for (int i = 0; i < 10; ++i) imod.push_back(0);
  Put16(igen, 54), Put16(igen, 1);  // loop continuously
  Put16(igen, 53), Put16(igen, 0);  // sample 0
  Put16(igen, 0), Put16(igen, 0);
  PutName(shdr, "SineSample", 20), Put32(shdr, 0), Put32(shdr, samples), Put32(shdr, 0), Put32(shdr, samples),
      Put32(shdr, 44100), shdr.push_back(69), shdr.push_back(0), Put16(shdr, 0), Put16(shdr, 1);
  PutName(shdr, "EOS", 20);
  for (int i = 0; i < 26; ++i) shdr.push_back(0);
  std::vector<uint8_t> body = {'s', 'f', 'b', 'k'};
  for (const auto& l : {List("INFO", {Chunk("ifil", ifil), Chunk("isng", Text("EMU8000")), Chunk("INAM", Text(name)),
                                      Chunk("ICOP", Text(copyright)), Chunk("ICMT", Text(comment))}),
                        List("sdta", {Chunk("smpl", smpl)}),
                        List("pdta", {Chunk("phdr", phdr), Chunk("pbag", pbag), Chunk("pmod", pmod), Chunk("pgen", pgen),
                                      Chunk("inst", inst), Chunk("ibag", ibag), Chunk("imod", imod), Chunk("igen", igen),
                                      Chunk("shdr", shdr)})})
    body.insert(body.end(), l.begin(), l.end());
  std::vector<uint8_t> riff = {'R', 'I', 'F', 'F'};
  Put32(riff, uint32_t(body.size()));
  riff.insert(riff.end(), body.begin(), body.end());
  return riff;
}

// A MIDI track built event by event (absolute ticks, written as deltas).
struct MidiTrack {
  std::vector<uint8_t> bytes;
  uint32_t last = 0;
  void Delta(uint32_t tick) {
    uint32_t d = tick - last, buf = d & 0x7F;
    last = tick;
    while ((d >>= 7)) buf = (buf << 8) | 0x80 | (d & 0x7F);
    for (;;) {
      bytes.push_back(uint8_t(buf));
      if (buf & 0x80) buf >>= 8;
      else break;
    }
  }
  MidiTrack& Meta(uint32_t tick, uint8_t type, const std::string& text) {
    Delta(tick);
    bytes.push_back(0xFF), bytes.push_back(type), bytes.push_back(uint8_t(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
  }
  MidiTrack& Tempo(uint32_t tick, uint32_t us) {
    Delta(tick);
    bytes.insert(bytes.end(), {0xFF, 0x51, 0x03, uint8_t(us >> 16), uint8_t(us >> 8), uint8_t(us)});
    return *this;
  }
  MidiTrack& Event(uint32_t tick, uint8_t status, uint8_t a, int b = -1) {
    Delta(tick);
    bytes.push_back(status), bytes.push_back(a);
    if (b >= 0) bytes.push_back(uint8_t(b));
    return *this;
  }
  MidiTrack& End(uint32_t tick) {
    Delta(tick);
    bytes.insert(bytes.end(), {0xFF, 0x2F, 0x00});
    return *this;
  }
};

inline std::vector<uint8_t> MidiFileBytes(const std::vector<MidiTrack>& tracks, uint16_t division, uint16_t format = 1) {
  std::vector<uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(format), 0, uint8_t(tracks.size()),
                            uint8_t(division >> 8), uint8_t(division)};
  for (const MidiTrack& t : tracks) {
    f.insert(f.end(), {'M', 'T', 'r', 'k'});
    uint32_t n = uint32_t(t.bytes.size());
    f.insert(f.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    f.insert(f.end(), t.bytes.begin(), t.bytes.end());
  }
  return f;
}

}  // namespace at

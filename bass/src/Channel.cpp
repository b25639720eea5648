// Channel pipeline: decoder -> DSP procedures and effects -> playback buffer -> mixer.
#include "Core.h"

#include "Effects.h"
#include "Output.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvbass {

QWORD Channel::Length() {
  if (dec.funcs && dec.funcs->length) return dec.funcs->length(dec.self);
  return QWORD(-1);
}

void ToFloat(SampleFmt f, const void* src, float* dst, size_t n) {
  switch (f) {
    case SampleFmt::U8: {
      auto* s = static_cast<const uint8_t*>(src);
      for (size_t i = 0; i < n; ++i) dst[i] = (int(s[i]) - 128) * (1.0f / 128.0f);
      break;
    }
    case SampleFmt::S16: {
      auto* s = static_cast<const int16_t*>(src);
      for (size_t i = 0; i < n; ++i) dst[i] = s[i] * (1.0f / 32768.0f);
      break;
    }
    case SampleFmt::F32:
      std::memcpy(dst, src, n * sizeof(float));
      break;
  }
}

void FromFloat(SampleFmt f, const float* src, void* dst, size_t n) {
  switch (f) {
    case SampleFmt::U8: {
      auto* d = static_cast<uint8_t*>(dst);
      for (size_t i = 0; i < n; ++i) d[i] = uint8_t(std::clamp(std::lrintf(src[i] * 128.0f), -128L, 127L) + 128);
      break;
    }
    case SampleFmt::S16: {
      auto* d = static_cast<int16_t*>(dst);
      for (size_t i = 0; i < n; ++i) d[i] = int16_t(std::clamp(std::lrintf(src[i] * 32768.0f), -32768L, 32767L));
      break;
    }
    case SampleFmt::F32:
      std::memcpy(dst, src, n * sizeof(float));
      break;
  }
}

void ChannelResetBuffer(Channel& c, QWORD pos) {
  c.buf.clear();
  c.bufHead = 0;
  c.bufPos = c.mixPos = c.decodePos = pos;
  c.segs.clear();
  c.phase = 0;
  c.histValid = false;
  std::fill(std::begin(c.hist), std::end(c.hist), 0.0f);
  c.srcEnded = false;
  c.endReached = false;
  c.stalled = false;
  c.addonEvents.clear();
  c.generation.fetch_add(1);
}

static std::vector<Sync> MatchingSyncs(Channel& c, DWORD type) {
  std::vector<Sync> out;
  for (auto& s : c.syncs)
    if (s.type == type) out.push_back(s);
  return out;
}

bool ChannelSeek(Channel& c, QWORD pos) {
  pos -= pos % QWORD(c.frameBytes);
  if (!c.dec.funcs || !c.dec.funcs->seek) return Fail(BASS_ERROR_NOTAVAIL, false);
  QWORD len = c.Length();
  if (len != QWORD(-1) && pos > len) return Fail(BASS_ERROR_POSITION, false);
  if (!c.dec.funcs->seek(c.dec.self, pos)) return Fail(BASS_ERROR_POSITION, false);
  ChannelResetBuffer(c, pos);
  for (auto& s : MatchingSyncs(c, BASS_SYNC_SETPOS)) ChannelFireSync(c, s, 0, 0);
  return true;
}

QWORD ChannelHeardPos(Channel& c, uint64_t played) {
  if (c.decodeOnly) return c.decodePos;
  if (c.segs.empty()) return c.mixPos;
  if (played < c.segs.front().devStart) return c.segs.front().pos;
  for (size_t k = c.segs.size(); k-- > 0;) {
    const Segment& s = c.segs[k];
    if (s.devStart <= played) {
      uint64_t within = std::min<uint64_t>(played - s.devStart, s.devFrames);
      QWORD frames = s.bytes / QWORD(c.frameBytes);
      QWORD f = s.devFrames ? frames * within / s.devFrames : frames;
      return s.pos + f * QWORD(c.frameBytes);
    }
  }
  return c.segs.front().pos;
}

void ChannelTrim(Channel& c, uint64_t played) {
  while (c.segs.size() > 1 && c.segs[1].devStart <= played) c.segs.pop_front();
  QWORD heard = ChannelHeardPos(c, played);
  if (heard > c.bufPos) {
    QWORD drop = std::min<QWORD>(heard, c.mixPos) - c.bufPos;
    drop = std::min<QWORD>(drop, c.Buffered());
    c.bufHead += size_t(drop);
    c.bufPos += drop;
  }
  if (c.bufHead > (1u << 16) && c.bufHead * 2 > c.buf.size()) {
    c.buf.erase(c.buf.begin(), c.buf.begin() + long(c.bufHead));
    c.bufHead = 0;
  }
}

void ChannelFireSync(Channel& c, const Sync& s, DWORD data, uint64_t devFrame) {
  // A decoding channel has no device clock: its syncs run in the thread reading it, like mix-time ones.
  if (s.mixtime || c.decodeOnly) {
    if (s.onetime) RemoveSyncLocked(c, s.handle);
    s.proc(s.handle, c.handle, data, s.user);
  } else {
    ScheduleSync(c.shared_from_this(), s, data, devFrame);
  }
}

void ChannelAddonEvent(Channel& c, DWORD type, DWORD data, QWORD pos) {
  bool queue = false;
  for (auto& s : MatchingSyncs(c, type)) {
    if (s.mixtime || c.decodeOnly) ChannelFireSync(c, s, data, 0);
    else queue = true;  // heard later: fired from the mix that plays "pos"
  }
  if (queue) c.addonEvents.push_back({type, data, pos});
}

static void ApplyProcs(Channel& c, uint8_t* data, DWORD bytes) {
  if (c.procs.empty() || bytes == 0) return;
  std::vector<Processor> procs = c.procs;  // a procedure may remove itself or others
  int chans = int(c.chans);
  int frames = int(bytes / DWORD(c.frameBytes));
  for (auto& p : procs) {
    if (p.proc) {
      p.proc(p.handle, c.handle, data, bytes, p.user);
    } else if (p.fx) {
      if (c.fmt == SampleFmt::F32) {
        p.fx->Process(reinterpret_cast<float*>(data), frames, chans);
      } else {
        size_t n = size_t(frames) * size_t(chans);
        c.fscratch.resize(n);
        ToFloat(c.fmt, data, c.fscratch.data(), n);
        p.fx->Process(c.fscratch.data(), frames, chans);
        FromFloat(c.fmt, c.fscratch.data(), data, n);
      }
    }
  }
}

DWORD ChannelProduce(Channel& c, uint8_t* dst, DWORD bytes) {
  bytes -= bytes % DWORD(c.frameBytes);
  DWORD got = 0;
  while (got < bytes && !c.srcEnded) {
    BOOL ended = FALSE;
    DWORD n;
    if (c.unlockedReads) {
      if (c.inRead) break;  // another thread is in the procedure: nothing more now
      uint32_t gen = c.generation.load();
      c.inRead = true;
      c.reader = std::this_thread::get_id();
      c.mutex.unlock();
      n = c.dec.funcs->read(c.dec.self, dst + got, bytes - got, &ended);
      c.mutex.lock();
      c.inRead = false;
      // Freed, stopped or repositioned meanwhile: what was read belongs to the old state.
      if (!c.alive.load() || c.generation.load() != gen) return 0;
    } else {
      n = c.dec.funcs->read(c.dec.self, dst + got, bytes - got, &ended);
    }
    n = std::min(n, bytes - got);
    got += n;
    if (ended) c.srcEnded = true;
    if (n == 0) break;  // nothing now: the stream stalls
  }
  if (got == 0) return 0;
  uint32_t gen = c.generation.load();
  ApplyProcs(c, dst, got);
  QWORD from = c.decodePos, to = from + got;
  c.decodePos = to;
  // Mix-time position syncs fire as the data is produced; for a decoding channel every position
  // sync does (there is no device clock to wait for).
  for (auto& s : MatchingSyncs(c, BASS_SYNC_POS)) {
    if (c.generation.load() != gen) break;
    if (s.param >= from && s.param < to && (s.mixtime || c.decodeOnly)) ChannelFireSync(c, s, 0, 0);
  }
  return got;
}

void ChannelDecodeEnd(Channel& c) {
  if (!c.srcEnded || c.endReached) return;
  c.endReached = true;
  for (auto& s : MatchingSyncs(c, BASS_SYNC_END)) ChannelFireSync(c, s, 0, 0);
}

// Tops the playback buffer up so that "ahead" bytes are decoded past the mix position.
static void Fill(Channel& c, QWORD ahead) {
  // While another thread is inside the stream procedure, its target is c.scratch: leave it alone.
  while (!c.inRead && !c.srcEnded && c.decodePos - c.mixPos < ahead) {
    QWORD want = std::min<QWORD>(ahead - (c.decodePos - c.mixPos), 65536);
    want -= want % QWORD(c.frameBytes);
    if (want == 0) want = QWORD(c.frameBytes);
    c.scratch.resize(size_t(want));
    uint32_t gen = c.generation.load();
    QWORD before = c.decodePos;
    DWORD got = ChannelProduce(c, c.scratch.data(), DWORD(want));
    if (got == 0) break;
    if (c.generation.load() != gen || before + got != c.decodePos) break;  // a callback moved the stream
    c.buf.insert(c.buf.end(), c.scratch.begin(), c.scratch.begin() + got);
  }
}

void ChannelFillFrom(Channel& c, QWORD from, QWORD bytes) {
  if (from + bytes > c.mixPos) Fill(c, from + bytes - c.mixPos);
}

// Speaker weights for folding 1..8 channels onto stereo.
static void Weights(int chans, float* wl, float* wr) {
  const float k = 0.7071f;
  static const int kLeft = 0, kRight = 1, kCenter = 2, kNone = 3;
  int layout[8] = {kLeft, kRight, kCenter, kNone, kLeft, kRight, kLeft, kRight};
  if (chans == 3) layout[2] = kCenter;
  if (chans == 4) {
    layout[2] = kLeft;
    layout[3] = kRight;
  }
  if (chans == 5) {
    layout[3] = kLeft;
    layout[4] = kRight;
  }
  for (int i = 0; i < chans; ++i) {
    if (chans == 1) {
      wl[i] = wr[i] = 1.0f;
      continue;
    }
    switch (layout[i]) {
      case kLeft: wl[i] = 1; wr[i] = 0; break;
      case kRight: wl[i] = 0; wr[i] = 1; break;
      case kCenter: wl[i] = wr[i] = k; break;
      default: wl[i] = wr[i] = 0; break;
    }
  }
}

static bool Advance(Attr& a, double frames) {
  if (a.framesLeft <= 0) return false;
  if (frames >= a.framesLeft) {
    a.value = a.target;
    a.framesLeft = 0;
    return true;
  }
  a.value += float((a.target - a.value) * (frames / a.framesLeft));
  a.framesLeft -= frames;
  return false;
}

uint32_t ChannelMix(Channel& c, float* mix, uint32_t frames, uint64_t dev, DWORD outFreq, float gvol) {
  const int fb = c.frameBytes, chans = int(c.chans);
  double rate = c.freqAttr.value > 0 ? c.freqAttr.value : double(c.freq);
  double ratio = rate / outFreq;
  QWORD needFrames = QWORD(std::ceil(c.phase + frames * ratio)) + 3;
  QWORD ahead = std::max<QWORD>(needFrames, QWORD(c.freq) * L().bufferMs.load() / 1000) * QWORD(fb);
  Fill(c, ahead);
  if (!c.alive.load() || c.state != Channel::State::Playing) return 0;  // changed during a stream procedure

  QWORD avail = (c.decodePos - c.mixPos) / QWORD(fb);
  const uint8_t* src = c.buf.data() + c.bufHead + size_t(c.mixPos - c.bufPos);
  QWORD convFrames = std::min<QWORD>(avail, needFrames);
  // scratch: [hist][convFrames frames][2 zero frames]
  c.fscratch.assign(size_t(convFrames + 3) * chans, 0.0f);
  float* F = c.fscratch.data();
  std::memcpy(F, c.hist, sizeof(float) * chans);
  ToFloat(c.fmt, src, F + chans, size_t(convFrames) * chans);
  auto at = [&](int64_t k) -> const float* { return F + (k + 1) * chans; };

  float wl[8], wr[8];
  Weights(chans, wl, wr);
  // Volume and pan follow their slides frame by frame: value(j) = v0 + (target - v0) * j / left.
  const Attr vol0 = c.vol, pan0 = c.pan;
  auto valueAt = [](const Attr& a, uint32_t j) {
    if (a.framesLeft <= 0 || double(j) >= a.framesLeft) return a.framesLeft > 0 ? a.target : a.value;
    return float(a.value + (a.target - a.value) * (double(j) / a.framesLeft));
  };
  Attr vol = c.vol, pan = c.pan, fr = c.freqAttr;
  bool volEnd = Advance(vol, frames), panEnd = Advance(pan, frames), frEnd = Advance(fr, frames);

  uint32_t produced = 0;
  double p = c.phase;
  bool direct = ratio == 1.0 && c.phase == 0;
  if (direct && vol0.framesLeft <= 0 && pan0.framesLeft <= 0) {
    // The common case: no resampling, no slide - constant gains.
    produced = uint32_t(std::min<QWORD>(frames, convFrames));
    float v = vol0.value * gvol, pn = pan0.value;
    float gl = v * std::min(1.0f, 1.0f - pn), gr = v * std::min(1.0f, 1.0f + pn);
    const float* s = at(0);
    if (chans == 2) {
      for (uint32_t j = 0; j < produced; ++j) {
        mix[2 * j] += s[2 * j] * gl;
        mix[2 * j + 1] += s[2 * j + 1] * gr;
      }
    } else if (chans == 1) {
      for (uint32_t j = 0; j < produced; ++j) {
        mix[2 * j] += s[j] * gl;
        mix[2 * j + 1] += s[j] * gr;
      }
    } else {
      for (uint32_t j = 0; j < produced; ++j) {
        float l = 0, r = 0;
        for (int k = 0; k < chans; ++k) {
          l += s[j * chans + k] * wl[k];
          r += s[j * chans + k] * wr[k];
        }
        mix[2 * j] += l * gl;
        mix[2 * j + 1] += r * gr;
      }
    }
  } else {
    float y[8];
    for (uint32_t j = 0; j < frames; ++j) {
      const float* s;
      if (direct) {
        if (j >= convFrames) break;
        s = at(j);
        p = j + 1;
      } else {
        int64_t i = int64_t(std::floor(p));
        if (i >= int64_t(avail)) break;
        if (!c.srcEnded && i + 2 >= int64_t(avail)) break;
        float t = float(p - double(i));
        const float *x0 = at(i - 1), *x1 = at(i), *x2 = (i + 1 < int64_t(convFrames)) ? at(i + 1) : at(int64_t(convFrames)),
                    *x3 = (i + 2 < int64_t(convFrames)) ? at(i + 2) : at(int64_t(convFrames));
        for (int k = 0; k < chans; ++k) {
          float a = x0[k], b = x1[k], cc = x2[k], d = x3[k];
          float c1 = 0.5f * (cc - a), c2 = a - 2.5f * b + 2.0f * cc - 0.5f * d, c3 = 0.5f * (d - a) + 1.5f * (b - cc);
          y[k] = ((c3 * t + c2) * t + c1) * t + b;
        }
        s = y;
        p += ratio;
      }
      float v = valueAt(vol0, j) * gvol;
      float pn = valueAt(pan0, j);
      float gl = v * std::min(1.0f, 1.0f - pn), gr = v * std::min(1.0f, 1.0f + pn);
      float l = 0, r = 0;
      if (chans == 2) {
        l = s[0];
        r = s[1];
      } else {
        for (int k = 0; k < chans; ++k) {
          l += s[k] * wl[k];
          r += s[k] * wr[k];
        }
      }
      mix[2 * j] += l * gl;
      mix[2 * j + 1] += r * gr;
      ++produced;
    }
  }
  QWORD consumed = std::min<QWORD>(QWORD(std::floor(direct ? double(produced) : p)), avail);
  c.phase = direct ? 0 : p - double(consumed);
  if (consumed > 0) std::memcpy(c.hist, at(int64_t(consumed) - 1), sizeof(float) * chans);

  // Attributes slide with the device clock, whether or not data flowed.
  c.vol = vol;
  c.pan = pan;
  c.freqAttr = fr;
  QWORD startPos = c.mixPos;
  c.mixPos += consumed * QWORD(fb);
  if (produced) c.segs.push_back(Segment{dev, produced, startPos, consumed * QWORD(fb)});
  for (auto& s : MatchingSyncs(c, BASS_SYNC_POS)) {
    if (!s.mixtime && s.param >= startPos && s.param < c.mixPos) {
      double offs = double((s.param - startPos) / QWORD(fb)) / ratio;
      ChannelFireSync(c, s, 0, dev + uint64_t(offs));
    }
  }
  // Add-on events mixed in this block are heard with it, in the order they came.
  if (!c.addonEvents.empty()) {
    std::vector<Channel::AddonEvent> due;
    auto keep = c.addonEvents.begin();
    for (auto& e : c.addonEvents) {
      if (e.pos < c.mixPos) due.push_back(e);
      else *keep++ = e;
    }
    c.addonEvents.erase(keep, c.addonEvents.end());
    for (auto& e : due) {
      QWORD at = std::max(e.pos, startPos);
      double offs = double((at - startPos) / QWORD(fb)) / ratio;
      for (auto& s : MatchingSyncs(c, e.type))
        if (!s.mixtime) ChannelFireSync(c, s, e.data, dev + uint64_t(offs));
    }
  }
  if (volEnd || panEnd || frEnd) {
    DWORD attrib = volEnd ? BASS_ATTRIB_VOL : panEnd ? BASS_ATTRIB_PAN : BASS_ATTRIB_FREQ;
    for (auto& s : MatchingSyncs(c, BASS_SYNC_SLIDE)) ChannelFireSync(c, s, attrib, dev + frames);
  }
  c.stalled = !c.srcEnded && produced < frames;
  if (c.srcEnded && c.mixPos >= c.decodePos && !c.endReached) {
    c.endReached = true;
    c.endDevFrame = dev + produced;
    for (auto& s : MatchingSyncs(c, BASS_SYNC_END)) ChannelFireSync(c, s, 0, c.endDevFrame);
  }
  return produced;
}

DWORD ChannelActivity(Channel& c) {
  if (c.decodeOnly) return c.endReached ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
  switch (c.state) {
    case Channel::State::Stopped: return BASS_ACTIVE_STOPPED;
    case Channel::State::Paused: return BASS_ACTIVE_PAUSED;
    case Channel::State::Playing: break;
  }
  if (c.endReached && DevicePlayed() >= c.endDevFrame) {
    c.state = Channel::State::Stopped;
    c.playing = false;
    return BASS_ACTIVE_STOPPED;
  }
  return c.stalled ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
}

}  // namespace orvbass

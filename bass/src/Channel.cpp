// Channel pipeline: decoder -> DSP procedures and effects -> playback buffer -> mixer.
#include "Core.h"

#include "Effects.h"
#include "Output.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
  c.rs.Reset();
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

void ChannelFireNow(Channel& c, DWORD type, DWORD data) {
  for (auto& s : MatchingSyncs(c, type)) ChannelFireSync(c, s, data, DevicePlayed());
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
      if (p.fx->Idle()) continue;  // spares the integer channel's round trip through float
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

// The value of a sliding attribute "j" output frames into the block: v0 + (target - v0) * j / left.
static float ValueAt(const Attr& a, uint32_t j) {
  if (a.framesLeft <= 0 || double(j) >= a.framesLeft) return a.framesLeft > 0 ? a.target : a.value;
  return float(a.value + (a.target - a.value) * (double(j) / a.framesLeft));
}

namespace {

// What mixing a channel's frames into the stereo block needs: gains, slides, speaker weights.
struct MixGains {
  Attr vol, pan;
  float gvol;
  int chans;
  float wl[8], wr[8];
};

// Adds "n" interleaved frames "s" to the stereo block "mix" at output frame j0, with the volume and
// pan each frame has.
void AddFrames(const MixGains& g, float* mix, const float* s, uint32_t n, uint32_t j0) {
  const int chans = g.chans;
  mix += size_t(j0) * 2;
  if (g.vol.framesLeft <= 0 && g.pan.framesLeft <= 0) {
    // The common case: constant gains.
    float v = g.vol.value * g.gvol, pn = g.pan.value;
    float gl = v * std::min(1.0f, 1.0f - pn), gr = v * std::min(1.0f, 1.0f + pn);
    if (chans == 2) {
      for (uint32_t j = 0; j < n; ++j) {
        mix[2 * j] += s[2 * j] * gl;
        mix[2 * j + 1] += s[2 * j + 1] * gr;
      }
    } else if (chans == 1) {
      for (uint32_t j = 0; j < n; ++j) {
        mix[2 * j] += s[j] * gl;
        mix[2 * j + 1] += s[j] * gr;
      }
    } else {
      for (uint32_t j = 0; j < n; ++j) {
        float l = 0, r = 0;
        for (int k = 0; k < chans; ++k) {
          l += s[j * chans + k] * g.wl[k];
          r += s[j * chans + k] * g.wr[k];
        }
        mix[2 * j] += l * gl;
        mix[2 * j + 1] += r * gr;
      }
    }
    return;
  }
  for (uint32_t j = 0; j < n; ++j) {
    float v = ValueAt(g.vol, j0 + j) * g.gvol;
    float pn = ValueAt(g.pan, j0 + j);
    float gl = v * std::min(1.0f, 1.0f - pn), gr = v * std::min(1.0f, 1.0f + pn);
    const float* f = s + size_t(j) * chans;
    float l = 0, r = 0;
    if (chans == 2) {
      l = f[0];
      r = f[1];
    } else {
      for (int k = 0; k < chans; ++k) {
        l += f[k] * g.wl[k];
        r += f[k] * g.wr[k];
      }
    }
    mix[2 * j] += l * gl;
    mix[2 * j + 1] += r * gr;
  }
}

// AddFrames of the converted samples in one pass, for the common case (constant gains, mono or
// stereo, 16-bit or float): no intermediate float copy. Each sample goes through the same operations
// as ToFloat then AddFrames, so the sums are the same to the bit. False when the case is not covered.
bool AddConverted(const MixGains& g, float* mix, SampleFmt fmt, const uint8_t* src, uint32_t n) {
  if (g.vol.framesLeft > 0 || g.pan.framesLeft > 0 || (g.chans != 1 && g.chans != 2)) return false;
  if (fmt != SampleFmt::S16 && fmt != SampleFmt::F32) return false;
  const float v = g.vol.value * g.gvol, pn = g.pan.value;
  const float gl = v * std::min(1.0f, 1.0f - pn), gr = v * std::min(1.0f, 1.0f + pn);
  if (fmt == SampleFmt::S16) {
    const int16_t* s = reinterpret_cast<const int16_t*>(src);
    const float k = 1.0f / 32768.0f;
    if (g.chans == 2) {
      uint32_t j = 0;
#ifdef __SSE2__
      // Four frames at a time, the same operations in the same order.
      const __m128 vk = _mm_set1_ps(k), vg = _mm_setr_ps(gl, gr, gl, gr);
      for (; j + 4 <= n; j += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * j));
        const __m128 a = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16));
        const __m128 b = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16));
        float* m = mix + 2 * j;
        _mm_storeu_ps(m, _mm_add_ps(_mm_loadu_ps(m), _mm_mul_ps(_mm_mul_ps(a, vk), vg)));
        _mm_storeu_ps(m + 4, _mm_add_ps(_mm_loadu_ps(m + 4), _mm_mul_ps(_mm_mul_ps(b, vk), vg)));
      }
#endif
      for (; j < n; ++j) {
        const float l = float(s[2 * j]) * k, r = float(s[2 * j + 1]) * k;
        mix[2 * j] += l * gl;
        mix[2 * j + 1] += r * gr;
      }
    } else {
      for (uint32_t j = 0; j < n; ++j) {
        const float m = float(s[j]) * k;
        mix[2 * j] += m * gl;
        mix[2 * j + 1] += m * gr;
      }
    }
    return true;
  }
  // Float samples may sit at any byte offset in the buffer: read them by copy.
  auto at = [src](size_t i) {
    float f;
    std::memcpy(&f, src + i * sizeof(float), sizeof f);
    return f;
  };
  if (g.chans == 2) {
    for (uint32_t j = 0; j < n; ++j) {
      mix[2 * j] += at(2 * size_t(j)) * gl;
      mix[2 * j + 1] += at(2 * size_t(j) + 1) * gr;
    }
  } else {
    for (uint32_t j = 0; j < n; ++j) {
      const float m = at(j);
      mix[2 * j] += m * gl;
      mix[2 * j + 1] += m * gr;
    }
  }
  return true;
}

}  // namespace

// Equal rates: the frames at the mix position pass unchanged (the resampler keeps the last ones as
// history). Returns the frames produced, which are also the frames consumed.
static uint32_t MixDirect(Channel& c, const MixGains& g, float* mix, uint32_t frames, const uint8_t* src,
                          QWORD avail) {
  const uint32_t produced = uint32_t(std::min<QWORD>(frames, avail)), chunk = Resampler::kChunk;
  if (AddConverted(g, mix, c.fmt, src, produced)) {
    c.rs.Bypass(c.fmt, src, produced);
    return produced;
  }
  float* out = c.resampled.data();
  for (uint32_t j = 0; j < produced; j += chunk) {
    uint32_t n = std::min(chunk, produced - j);
    ToFloat(c.fmt, src + size_t(j) * size_t(c.frameBytes), out, size_t(n) * c.chans);
    AddFrames(g, mix, out, n, j);
  }
  c.rs.Bypass(c.fmt, src, produced);
  return produced;
}

// Resamples the frames at the mix position, the rate following the frequency attribute "fr0" frame by
// frame. Returns the frames produced; "consumed" gets the source frames passed.
static uint32_t MixResampled(Channel& c, const MixGains& g, float* mix, uint32_t frames, const Attr& fr0,
                             DWORD outFreq, const uint8_t* src, QWORD avail, QWORD& consumed) {
  const uint32_t chunk = Resampler::kChunk;
  const size_t fb = size_t(c.frameBytes);
  double steps[Resampler::kChunk];
  uint32_t produced = 0;
  consumed = 0;
  while (produced < frames) {
    uint32_t want = std::min(chunk, frames - produced);
    double total = 0, maxStep = 0;
    for (uint32_t j = 0; j < want; ++j) {
      steps[j] = double(ValueAt(fr0, produced + j)) / outFreq;
      total += steps[j];
      maxStep = std::max(maxStep, steps[j]);
    }
    // Input for this chunk: what its positions and the filter around them read.
    QWORD inLine = consumed + c.rs.Ahead();  // frames from the mix position already in the resampler
    QWORD need = QWORD(std::ceil(c.rs.Fraction() + total)) + Resampler::Reach(maxStep) + 1;
    if (c.rs.Ahead() < need && inLine < avail)
      c.rs.Push(c.fmt, src + size_t(inLine) * fb, size_t(std::min<QWORD>(need - c.rs.Ahead(), avail - inLine)));
    bool ended = c.srcEnded && consumed + c.rs.Ahead() >= avail;
    uint32_t n = c.rs.Run(c.resampled.data(), want, steps, ended);
    consumed += c.rs.TakeAdvance();
    AddFrames(g, mix, c.resampled.data(), n, produced);
    produced += n;
    if (n == 0) break;  // the input ended or is late
  }
  return produced;
}

namespace {
// What a block of "frames" output frames reads from the source at the current rate.
struct BlockNeed {
  double ratio;
  bool direct;       // equal rates and the position on a whole frame: the samples pass unchanged
  QWORD needFrames;  // source frames read past the mix position
};

BlockNeed NeedFor(const Channel& c, uint32_t frames, DWORD outFreq) {
  const Attr& fr0 = c.freqAttr;
  const double ratio = (fr0.value > 0 ? fr0.value : double(c.freq)) / outFreq;
  const double maxRatio = fr0.Sliding() ? std::max(ratio, double(fr0.target) / outFreq) : ratio;
  const bool direct = ratio == 1.0 && !fr0.Sliding() && c.rs.Fraction() == 0;
  QWORD needFrames = direct ? frames : QWORD(std::ceil(c.rs.Fraction() + frames * maxRatio)) +
                                           Resampler::Reach(maxRatio) + 1;
  return {ratio, direct, needFrames};
}

void FillFor(Channel& c, const BlockNeed& n) {
  Fill(c, std::max<QWORD>(n.needFrames, QWORD(c.freq) * L().bufferMs.load() / 1000) * QWORD(c.frameBytes));
}
}  // namespace

bool ChannelBlockReady(Channel& c, uint32_t frames, DWORD outFreq) {
  const BlockNeed n = NeedFor(c, frames, outFreq);
  FillFor(c, n);
  return c.srcEnded || (c.decodePos - c.mixPos) / QWORD(c.frameBytes) >= n.needFrames;
}

uint32_t ChannelMix(Channel& c, float* mix, uint32_t frames, uint64_t dev, DWORD outFreq, float gvol) {
  const int fb = c.frameBytes, chans = int(c.chans);
  const Attr fr0 = c.freqAttr;
  const BlockNeed need = NeedFor(c, frames, outFreq);
  const double ratio = need.ratio;
  const bool direct = need.direct;
  FillFor(c, need);
  if (!c.alive.load() || c.state != Channel::State::Playing) return 0;  // changed during a stream procedure

  const QWORD avail = (c.decodePos - c.mixPos) / QWORD(fb);
  const uint8_t* src = c.buf.data() + c.bufHead + size_t(c.mixPos - c.bufPos);
  MixGains g{c.vol, c.pan, gvol, chans, {}, {}};
  Weights(chans, g.wl, g.wr);
  QWORD consumed = 0;
  const uint32_t produced = direct ? MixDirect(c, g, mix, frames, src, avail)
                                   : MixResampled(c, g, mix, frames, fr0, outFreq, src, avail, consumed);
  if (direct) consumed = produced;

  Attr vol = c.vol, pan = c.pan, fr = c.freqAttr;
  bool volEnd = Advance(vol, frames), panEnd = Advance(pan, frames), frEnd = Advance(fr, frames);
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
  if (c.decodeOnly) return c.endReached ? BASS_ACTIVE_STOPPED : c.stalled ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
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

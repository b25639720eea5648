// bassmix.so: the BASS_Mixer_ family. A mixer is a stream of the core whose decoder pulls PCM
// from its decoding sources with BASS_ChannelGetData, resamples, maps channels and sums.
//
// Threading: the registry is guarded by g_mutex, a mixer's source list by its own mutex. The
// decoder (core's thread, one call at a time) reads sources without holding either lock, so a
// source's callbacks never wait for this library. Per-source resampling state belongs to the
// decoder; other threads only raise the source's atomic flags.
#include "AddonCore.h"
#include "bassmix.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

bool Fail(int code) { return orvaddon::Fail(code); }
bool Ok() {
  if (const ORV_CORE_API* c = orvaddon::Core()) c->SetError(BASS_OK);
  return true;
}

template <class F> F* Fn(const char* name) { return orvaddon::CoreFunction<F>(name); }

struct Source {
  DWORD handle = 0;
  DWORD freq = 44100, chans = 2, bytes = 2;  // source format (bytes per sample: 1, 2 or 4 float)
  bool isFloat = false;
  std::atomic<DWORD> flags{0};
  std::atomic<bool> reset{false};  // repositioned: drop what is buffered
  std::atomic<DWORD> level{0};
  QWORD start = 0, length = 0;     // mixer frames: when it starts, how long it plays (0 = all)
  std::mutex matrixMutex;
  std::vector<float> matrix;       // mixer chans x source chans
  // decoder only
  std::vector<float> pending;      // source frames not yet used (interleaved)
  double phase = 0;
  bool ended = false;
  std::vector<uint8_t> raw;
};

struct Mixer {
  DWORD freq, chans, flags;
  // The core's functions, found once: the core outlives its streams.
  DWORD (*getData)(DWORD, void*, DWORD) = nullptr;
  BOOL (*streamFree)(HSTREAM) = nullptr;
  HSTREAM handle = 0;
  std::mutex mutex;  // guards sources
  std::vector<std::shared_ptr<Source>> sources;
  std::atomic<QWORD> pos{0};  // frames produced (set by the decoder, read by AddChannel)
  // decoder only
  std::vector<float> acc, in;
};

struct Tables {
  std::mutex mutex;
  std::map<Mixer*, std::shared_ptr<Mixer>> mixers;  // by decoder; handle 0 while being created
  std::map<DWORD, Mixer*> sourceOf;                 // source channel -> its mixer
};
Tables& T() {
  static Tables* t = new Tables;  // outlives static destruction (the core frees at exit)
  return *t;
}
// Freed when the library is unloaded (an add-on can be unloaded and loaded again). At exit
// this runs after every exit handler, the core's own among them, so no stream of ours is left
// that could reach the tables afterwards.
__attribute__((destructor)) void FreeTables() { delete &T(); }

std::shared_ptr<Mixer> MixerOf(HSTREAM handle) {
  for (auto& [raw, m] : T().mixers)
    if (m->handle == handle && handle) return m;
  return nullptr;
}

// The source record of a channel and its mixer (g_mutex held by the caller).
std::shared_ptr<Source> SourceOf(DWORD channel, std::shared_ptr<Mixer>* mixerOut = nullptr) {
  auto it = T().sourceOf.find(channel);
  if (it == T().sourceOf.end()) return nullptr;
  auto m = T().mixers.find(it->second);
  if (m == T().mixers.end()) return nullptr;
  std::lock_guard<std::mutex> lock(m->second->mutex);
  for (auto& s : m->second->sources)
    if (s->handle == channel) {
      if (mixerOut) *mixerOut = m->second;
      return s;
    }
  return nullptr;
}

std::vector<float> DefaultMatrix(DWORD out, DWORD in) {
  std::vector<float> m(size_t(out) * in, 0.0f);
  if (in == 1) {
    for (DWORD o = 0; o < out; ++o) m[o] = 1.0f;  // mono to every speaker
  } else if (out == 1) {
    for (DWORD i = 0; i < in; ++i) m[i] = 1.0f / float(in);
  } else {
    for (DWORD i = 0; i < in; ++i) m[size_t(i % out) * in + i] = 1.0f;
  }
  return m;
}

// Appends source frames until "frames" are pending; false once the source has nothing more.
bool Fill(Mixer& m, Source& s, size_t frames) {
  auto getData = m.getData;
  if (!getData) return false;
  while (s.pending.size() / s.chans < frames && !s.ended) {
    size_t want = std::min<size_t>(frames - s.pending.size() / s.chans, 16384);
    s.raw.resize(want * s.chans * s.bytes);
    DWORD n = getData(s.handle, s.raw.data(), DWORD(s.raw.size()));
    if (n == DWORD(-1) || n == 0) {
      s.ended = true;
      break;
    }
    size_t samples = n / s.bytes;
    size_t at = s.pending.size();
    s.pending.resize(at + samples);
    for (size_t i = 0; i < samples; ++i) {
      const uint8_t* p = s.raw.data() + i * s.bytes;
      float v;
      if (s.isFloat) std::memcpy(&v, p, 4);
      else if (s.bytes == 1) v = (float(*p) - 128.0f) / 128.0f;
      else {
        int16_t x;
        std::memcpy(&x, p, 2);
        v = float(x) / 32768.0f;
      }
      s.pending[at + i] = v;
    }
    if (n < s.raw.size()) {
      s.ended = true;  // a decoding channel gives less only at its end
    }
  }
  return s.pending.size() / s.chans >= frames;
}

// Mixes "frames" output frames of one source into acc (starting at output frame "at").
void MixSource(Mixer& m, Source& s, size_t at, size_t frames) {
  double ratio = double(s.freq) / double(m.freq);
  std::vector<float> matrix;
  {
    std::lock_guard<std::mutex> lock(s.matrixMutex);
    matrix = s.matrix;
  }
  size_t need = size_t(std::floor(s.phase + double(frames) * ratio)) + 2;
  Fill(m, s, need);
  size_t have = s.pending.size() / s.chans;
  float peak[2] = {0, 0};
  m.in.resize(s.chans);
  size_t done = 0;
  for (; done < frames; ++done) {
    double p = s.phase + double(done) * ratio;
    size_t k = size_t(p);
    if (k >= have) break;
    float frac = float(p - double(k));
    size_t k1 = k + 1 < have ? k + 1 : k;
    for (DWORD c = 0; c < s.chans; ++c)
      m.in[c] = s.pending[k * s.chans + c] * (1.0f - frac) + s.pending[k1 * s.chans + c] * frac;
    float* out = m.acc.data() + (at + done) * m.chans;
    for (DWORD o = 0; o < m.chans; ++o) {
      float v = 0;
      for (DWORD c = 0; c < s.chans; ++c) v += matrix[size_t(o) * s.chans + c] * m.in[c];
      out[o] += v;
      peak[o & 1] = std::max(peak[o & 1], std::fabs(v));
    }
  }
  double used = s.phase + double(done) * ratio;
  size_t drop = std::min(size_t(used), have);
  s.phase = used - double(drop);
  s.pending.erase(s.pending.begin(), s.pending.begin() + drop * s.chans);
  if (m.chans == 1) peak[1] = peak[0];
  auto lvl = [](float v) { return DWORD(std::min(32768.0f, v * 32768.0f)); };
  s.level = lvl(peak[0]) | lvl(peak[1]) << 16;
  if (done < frames && s.ended) s.pending.clear();
}

DWORD Read(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* m = static_cast<Mixer*>(self);
  DWORD sampleBytes = (m->flags & BASS_SAMPLE_FLOAT) ? 4 : (m->flags & BASS_SAMPLE_8BITS) ? 1 : 2;
  size_t frames = length / (sampleBytes * m->chans);
  m->acc.assign(frames * m->chans, 0.0f);
  std::vector<std::shared_ptr<Source>> sources;
  {
    std::lock_guard<std::mutex> lock(m->mutex);
    sources = m->sources;
  }
  bool anyLeft = false;
  std::vector<DWORD> finished;
  for (auto& s : sources) {
    if (s->reset.exchange(false)) {
      s->pending.clear();
      s->phase = 0;
      s->ended = false;
    }
    QWORD now = m->pos;
    QWORD from = std::max<QWORD>(now, s->start);
    QWORD to = now + frames;
    if (s->length) to = std::min<QWORD>(to, s->start + s->length);
    bool paused = s->flags & BASS_MIXER_PAUSE;
    if (!s->ended && !paused && from < to) MixSource(*m, *s, size_t(from - now), size_t(to - from));
    else s->level = 0;
    bool over = s->ended && s->pending.empty();
    if (s->length && now + frames >= s->start + s->length) over = true;
    if (over && (s->flags & BASS_MIXER_CHAN_AUTOFREE)) finished.push_back(s->handle);
    if (!over) anyLeft = true;
  }
  m->pos += frames;
  // Sources that asked for it go when they end (their handles are freed, so they leave too).
  if (auto streamFree = m->streamFree)
    for (DWORD h : finished) {
      {
        std::lock_guard<std::mutex> lock(T().mutex);
        T().sourceOf.erase(h);
        std::lock_guard<std::mutex> ml(m->mutex);
        m->sources.erase(std::remove_if(m->sources.begin(), m->sources.end(),
                                        [&](const std::shared_ptr<Source>& s) { return s->handle == h; }),
                         m->sources.end());
      }
      streamFree(h);
    }
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < m->acc.size(); ++i) {
    float v = std::clamp(m->acc[i], -1.0f, 1.0f);
    if (sampleBytes == 4) std::memcpy(out + 4 * i, &v, 4);
    else if (sampleBytes == 1) out[i] = uint8_t(std::lrint(v * 127.0f) + 128);
    else {
      int16_t x = int16_t(std::lrint(v * 32767.0f));
      std::memcpy(out + 2 * i, &x, 2);
    }
  }
  if ((m->flags & BASS_MIXER_END) && !anyLeft) *ended = TRUE;
  return DWORD(frames * sampleBytes * m->chans);
}

BOOL Seek(void* self, QWORD pos) {
  auto* m = static_cast<Mixer*>(self);
  DWORD fb = m->chans * ((m->flags & BASS_SAMPLE_FLOAT) ? 4 : (m->flags & BASS_SAMPLE_8BITS) ? 1 : 2);
  m->pos = pos / fb;  // the mixer's own clock; the sources keep their positions
  return TRUE;
}

void Close(void* self) {
  auto* m = static_cast<Mixer*>(self);
  std::shared_ptr<Mixer> keep;
  std::lock_guard<std::mutex> lock(T().mutex);
  auto it = T().mixers.find(m);
  if (it == T().mixers.end()) return;
  keep = it->second;
  for (auto s = T().sourceOf.begin(); s != T().sourceOf.end();)
    s = s->second == m ? T().sourceOf.erase(s) : std::next(s);
  T().mixers.erase(it);
}

const ORV_DECODER_FUNCS kFuncs = {Read, Seek, nullptr, nullptr, nullptr, Close};

}  // namespace

ORV_EXPORT DWORD BASS_Mixer_GetVersion(void) { return ORVELLA_BASS_VERSION; }

ORV_EXPORT HSTREAM BASS_Mixer_StreamCreate(DWORD freq, DWORD chans, DWORD flags) {
  const ORV_CORE_API* core = orvaddon::Core();
  if (!core) return 0;
  if (freq < 1000 || freq > 384000 || chans < 1 || chans > 8) return Fail(BASS_ERROR_FORMAT), 0;
  auto m = std::make_shared<Mixer>();
  m->freq = freq;
  m->chans = chans;
  m->flags = flags;
  m->getData = Fn<DWORD(DWORD, void*, DWORD)>("BASS_ChannelGetData");
  m->streamFree = Fn<BOOL(HSTREAM)>("BASS_StreamFree");
  if (!m->getData || !m->streamFree) return Fail(BASS_ERROR_INIT), 0;
  ORV_DECODER dec{};
  dec.funcs = &kFuncs;
  dec.self = m.get();
  dec.freq = freq;
  dec.chans = chans;
  dec.flags = flags & (BASS_SAMPLE_FLOAT | BASS_SAMPLE_8BITS);
  dec.ctype = BASS_CTYPE_STREAM_MIXER;
  {
    std::lock_guard<std::mutex> lock(T().mutex);
    T().mixers[m.get()] = m;
  }
  HSTREAM h = core->CreateStream(&dec, nullptr, flags & ~(BASS_MIXER_END | BASS_MIXER_NONSTOP), 0, nullptr);
  std::lock_guard<std::mutex> lock(T().mutex);
  if (h && T().mixers.count(m.get())) m->handle = h;
  return h;
}

ORV_EXPORT BOOL BASS_Mixer_StreamAddChannelEx(HSTREAM handle, DWORD channel, DWORD flags, QWORD start, QWORD length) {
  auto getInfo = Fn<BOOL(DWORD, BASS_CHANNELINFO*)>("BASS_ChannelGetInfo");
  if (!getInfo) return Fail(BASS_ERROR_INIT);
  BASS_CHANNELINFO info{};
  if (!getInfo(channel, &info)) return FALSE;  // the core's error: no such channel
  if (!(info.flags & BASS_STREAM_DECODE)) return Fail(BASS_ERROR_DECODE);
  std::lock_guard<std::mutex> lock(T().mutex);
  auto m = MixerOf(handle);
  if (!m) return Fail(BASS_ERROR_HANDLE);
  if (T().sourceOf.count(channel) || channel == handle) return Fail(BASS_ERROR_ALREADY);
  auto s = std::make_shared<Source>();
  s->handle = channel;
  s->freq = info.freq;
  s->chans = info.chans;
  s->isFloat = info.flags & BASS_SAMPLE_FLOAT;
  s->bytes = s->isFloat ? 4 : (info.flags & BASS_SAMPLE_8BITS) ? 1 : 2;
  s->flags = flags;
  DWORD fb = m->chans * ((m->flags & BASS_SAMPLE_FLOAT) ? 4 : (m->flags & BASS_SAMPLE_8BITS) ? 1 : 2);
  s->start = m->pos + start / fb;  // "start" counts from now, in the mixer's bytes
  s->length = length / fb;
  s->matrix = DefaultMatrix(m->chans, s->chans);
  {
    std::lock_guard<std::mutex> ml(m->mutex);
    m->sources.push_back(s);
  }
  T().sourceOf[channel] = m.get();
  return Ok();
}

ORV_EXPORT BOOL BASS_Mixer_StreamAddChannel(HSTREAM handle, DWORD channel, DWORD flags) {
  return BASS_Mixer_StreamAddChannelEx(handle, channel, flags, 0, 0);
}

ORV_EXPORT HSTREAM BASS_Mixer_ChannelGetMixer(DWORD handle) {
  std::lock_guard<std::mutex> lock(T().mutex);
  std::shared_ptr<Mixer> m;
  if (!SourceOf(handle, &m)) return Fail(BASS_ERROR_HANDLE), 0;
  Ok();
  return m->handle;
}

ORV_EXPORT DWORD BASS_Mixer_ChannelFlags(DWORD handle, DWORD flags, DWORD mask) {
  std::lock_guard<std::mutex> lock(T().mutex);
  auto s = SourceOf(handle);
  if (!s) return Fail(BASS_ERROR_HANDLE), DWORD(-1);
  const DWORD settable = BASS_MIXER_PAUSE | BASS_MIXER_CHAN_AUTOFREE | BASS_MIXER_DOWNMIX | BASS_MIXER_NORAMPIN;
  mask &= settable;
  DWORD now = (s->flags.load() & ~mask) | (flags & mask);
  s->flags = now;
  Ok();
  return now;
}

ORV_EXPORT BOOL BASS_Mixer_ChannelRemove(DWORD handle) {
  std::lock_guard<std::mutex> lock(T().mutex);
  std::shared_ptr<Mixer> m;
  if (!SourceOf(handle, &m)) return Fail(BASS_ERROR_HANDLE);
  {
    std::lock_guard<std::mutex> ml(m->mutex);
    m->sources.erase(std::remove_if(m->sources.begin(), m->sources.end(),
                                    [&](const std::shared_ptr<Source>& s) { return s->handle == handle; }),
                     m->sources.end());
  }
  T().sourceOf.erase(handle);
  return Ok();
}

ORV_EXPORT BOOL BASS_Mixer_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
  std::shared_ptr<Source> s;
  {
    std::lock_guard<std::mutex> lock(T().mutex);
    s = SourceOf(handle);
  }
  if (!s) return Fail(BASS_ERROR_HANDLE);
  auto setPos = Fn<BOOL(DWORD, QWORD, DWORD)>("BASS_ChannelSetPosition");
  if (!setPos || !setPos(handle, pos, mode)) return FALSE;
  s->reset = true;  // what the mixer buffered is from before
  return TRUE;
}

ORV_EXPORT QWORD BASS_Mixer_ChannelGetPosition(DWORD handle, DWORD mode) {
  {
    std::lock_guard<std::mutex> lock(T().mutex);
    if (!SourceOf(handle)) return Fail(BASS_ERROR_HANDLE), QWORD(-1);
  }
  // The source's decoding position (what the mixer has taken from it).
  auto getPos = Fn<QWORD(DWORD, DWORD)>("BASS_ChannelGetPosition");
  return getPos ? getPos(handle, mode) : QWORD(-1);
}

ORV_EXPORT DWORD BASS_Mixer_ChannelGetLevel(DWORD handle) {
  std::lock_guard<std::mutex> lock(T().mutex);
  auto s = SourceOf(handle);
  if (!s) return Fail(BASS_ERROR_HANDLE), DWORD(-1);
  Ok();
  return s->level;
}

ORV_EXPORT DWORD BASS_Mixer_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
  (void)buffer;
  (void)length;
  std::lock_guard<std::mutex> lock(T().mutex);
  if (!SourceOf(handle)) return Fail(BASS_ERROR_HANDLE), DWORD(-1);
  return Fail(BASS_ERROR_NOTAVAIL), DWORD(-1);
}

// Syncs are the source's own: they fire as the mixer takes its data.
ORV_EXPORT HSYNC BASS_Mixer_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user) {
  {
    std::lock_guard<std::mutex> lock(T().mutex);
    if (!SourceOf(handle)) return Fail(BASS_ERROR_HANDLE), 0;
  }
  auto setSync = Fn<HSYNC(DWORD, DWORD, QWORD, SYNCPROC*, void*)>("BASS_ChannelSetSync");
  return setSync ? setSync(handle, type | BASS_SYNC_MIXTIME, param, proc, user) : 0;
}

ORV_EXPORT BOOL BASS_Mixer_ChannelRemoveSync(DWORD handle, HSYNC sync) {
  auto removeSync = Fn<BOOL(DWORD, HSYNC)>("BASS_ChannelRemoveSync");
  return removeSync ? removeSync(handle, sync) : FALSE;
}

ORV_EXPORT BOOL BASS_Mixer_ChannelSetMatrix(DWORD handle, const float* matrix) {
  std::shared_ptr<Mixer> m;
  std::lock_guard<std::mutex> lock(T().mutex);
  auto s = SourceOf(handle, &m);
  if (!s) return Fail(BASS_ERROR_HANDLE);
  if (!matrix) return Fail(BASS_ERROR_ILLPARAM);
  std::lock_guard<std::mutex> sl(s->matrixMutex);
  s->matrix.assign(matrix, matrix + size_t(m->chans) * s->chans);
  return Ok();
}

ORV_EXPORT BOOL BASS_Mixer_ChannelGetMatrix(DWORD handle, float* matrix) {
  std::lock_guard<std::mutex> lock(T().mutex);
  auto s = SourceOf(handle);
  if (!s) return Fail(BASS_ERROR_HANDLE);
  if (!matrix) return Fail(BASS_ERROR_ILLPARAM);
  std::lock_guard<std::mutex> sl(s->matrixMutex);
  std::copy(s->matrix.begin(), s->matrix.end(), matrix);
  return Ok();
}

// Envelopes (volume/pan curves over time) are not offered by this mixer.
ORV_EXPORT BOOL BASS_Mixer_ChannelSetEnvelope(DWORD handle, DWORD, const BASS_MIXER_NODE*, DWORD) {
  std::lock_guard<std::mutex> lock(T().mutex);
  if (!SourceOf(handle)) return Fail(BASS_ERROR_HANDLE);
  return Fail(BASS_ERROR_NOTAVAIL);
}
ORV_EXPORT QWORD BASS_Mixer_ChannelGetEnvelopePos(DWORD handle, DWORD, float*) {
  std::lock_guard<std::mutex> lock(T().mutex);
  if (!SourceOf(handle)) return Fail(BASS_ERROR_HANDLE), QWORD(-1);
  return Fail(BASS_ERROR_NOTAVAIL), QWORD(-1);
}
ORV_EXPORT BOOL BASS_Mixer_ChannelSetEnvelopePos(DWORD handle, DWORD, QWORD) {
  std::lock_guard<std::mutex> lock(T().mutex);
  if (!SourceOf(handle)) return Fail(BASS_ERROR_HANDLE);
  return Fail(BASS_ERROR_NOTAVAIL);
}

// Tracker modules (MOD, MTM, S3M, XM, IT, and UMX/MO3 containers of them) through libopenmpt.
#include "Core.h"

#include "LazyOpenmpt.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace orvbass {
namespace {

struct MusicDec {
  openmpt_module* mod = nullptr;
  int freq = 44100;
  int chans = 2;
  SampleFmt fmt = SampleFmt::S16;
  int frameBytes = 4;
  int64_t frames = 0;  // length
  int64_t pos = 0;
  std::string name, message;
  std::vector<std::string> inst, samples;
  std::vector<float> tmpf;
  std::vector<int16_t> tmps;
  ~MusicDec() {
    if (mod) openmpt_module_destroy(mod);
  }
};

std::string Meta(openmpt_module* m, const char* key) {
  const char* s = openmpt_module_get_metadata(m, key);
  std::string r = s ? s : "";
  openmpt_free_string(s);
  return r;
}

DWORD MRead(void* self, void* buffer, DWORD length, BOOL* ended) {
  auto* d = static_cast<MusicDec*>(self);
  // The song ends at its pre-scanned length (libopenmpt would render a little past it).
  size_t want = std::min<size_t>(length / DWORD(d->frameBytes), size_t(std::max<int64_t>(d->frames - d->pos, 0)));
  size_t got = 0;
  if (d->fmt == SampleFmt::S16 && d->chans == 2) {
    got = openmpt_module_read_interleaved_stereo(d->mod, d->freq, want, static_cast<int16_t*>(buffer));
  } else {
    d->tmpf.resize(want * 2);
    got = openmpt_module_read_interleaved_float_stereo(d->mod, d->freq, want, d->tmpf.data());
    if (d->chans == 1)
      for (size_t i = 0; i < got; ++i) d->tmpf[i] = 0.5f * (d->tmpf[2 * i] + d->tmpf[2 * i + 1]);
    FromFloat(d->fmt, d->tmpf.data(), buffer, got * size_t(d->chans));
  }
  d->pos += int64_t(got);
  if (got < want) d->frames = d->pos;  // the render ended early: it is the truth
  if (d->pos >= d->frames) *ended = TRUE;
  return DWORD(got) * DWORD(d->frameBytes);
}

BOOL MSeek(void* self, QWORD pos) {
  auto* d = static_cast<MusicDec*>(self);
  int64_t f = int64_t(pos / QWORD(d->frameBytes));
  openmpt_module_set_position_seconds(d->mod, double(f) / d->freq);
  d->pos = f;
  return TRUE;
}

QWORD MLength(void* self) {
  auto* d = static_cast<MusicDec*>(self);
  return QWORD(d->frames) * QWORD(d->frameBytes);
}

const char* MTags(void* self, DWORD type) {
  auto* d = static_cast<MusicDec*>(self);
  if (type == BASS_TAG_MUSIC_NAME) return d->name.c_str();
  if (type == BASS_TAG_MUSIC_MESSAGE) return d->message.empty() ? nullptr : d->message.c_str();
  if (type >= BASS_TAG_MUSIC_INST && type < BASS_TAG_MUSIC_INST + 0x100) {
    size_t i = type - BASS_TAG_MUSIC_INST;
    return i < d->inst.size() ? d->inst[i].c_str() : nullptr;
  }
  if (type >= BASS_TAG_MUSIC_SAMPLE && type < BASS_TAG_MUSIC_SAMPLE + 0x100) {
    size_t i = type - BASS_TAG_MUSIC_SAMPLE;
    return i < d->samples.size() ? d->samples[i].c_str() : nullptr;
  }
  return nullptr;
}

void MClose(void* self) { delete static_cast<MusicDec*>(self); }

const ORV_DECODER_FUNCS kMusicFuncs = {MRead, MSeek, MLength, MTags, nullptr, MClose};

void NoLog(const char*, void*) {}

}  // namespace

bool OpenMusic(ORV_FILE* file, DWORD flags, DWORD freq, ORV_DECODER* out) {
  // libopenmpt is opened here, by the first module; without it no module format is known.
  if (!orvmpt::Openmpt().loaded) return SetError(BASS_ERROR_FILEFORM);
  QWORD size = FileSize(file);
  if (size == 0 || size > (256u << 20)) return SetError(BASS_ERROR_FILEFORM);
  std::vector<uint8_t> data(static_cast<size_t>(size));
  FileSeek(file, 0);
  if (FileRead(file, data.data(), DWORD(size)) != size) return SetError(BASS_ERROR_FILEOPEN);
  int err = 0;
  openmpt_module* mod = openmpt_module_create_from_memory2(data.data(), data.size(), NoLog, nullptr,
                                                           openmpt_error_func_ignore, nullptr, &err, nullptr, nullptr);
  if (!mod) return SetError(BASS_ERROR_FILEFORM);
  auto d = std::make_unique<MusicDec>();
  d->mod = mod;
  std::string type = Meta(mod, "type"), container = Meta(mod, "container");
  DWORD ctype;
  if (type == "mod") ctype = BASS_CTYPE_MUSIC_MOD;
  else if (type == "mtm") ctype = BASS_CTYPE_MUSIC_MTM;
  else if (type == "s3m") ctype = BASS_CTYPE_MUSIC_S3M;
  else if (type == "xm") ctype = BASS_CTYPE_MUSIC_XM;
  else if (type == "it") ctype = BASS_CTYPE_MUSIC_IT;
  else return SetError(BASS_ERROR_FILEFORM);
  if (!container.empty() && container != "mo3" && container != "umx") return SetError(BASS_ERROR_FILEFORM);
  if (container == "mo3") ctype |= BASS_CTYPE_MUSIC_MO3;
  int filter = (flags & BASS_MUSIC_NONINTER) ? 1 : (flags & 0x800000 /* sinc */) ? 8 : 2;
  openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, filter);
  openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH,
                                  (flags & (BASS_MUSIC_RAMP | BASS_MUSIC_RAMPS)) ? -1 : 0);
  openmpt_module_set_repeat_count(mod, 0);
  // No dither: the same module renders to the same samples every time.
  openmpt_module_ctl_set_integer(mod, "dither", 0);
  d->freq = int(std::clamp<DWORD>(freq, 8000, 192000));
  d->chans = (flags & BASS_SAMPLE_MONO) ? 1 : 2;
  d->fmt = FmtOfFlags(flags);
  d->frameBytes = d->chans * BytesOf(d->fmt);
  d->frames = int64_t(std::llround(openmpt_module_get_duration_seconds(mod) * d->freq));
  d->name = Meta(mod, "title");
  d->message = Meta(mod, "message");
  for (int32_t i = 0, n = openmpt_module_get_num_instruments(mod); i < n; ++i) {
    const char* s = openmpt_module_get_instrument_name(mod, i);
    d->inst.emplace_back(s ? s : "");
    openmpt_free_string(s);
  }
  for (int32_t i = 0, n = openmpt_module_get_num_samples(mod); i < n; ++i) {
    const char* s = openmpt_module_get_sample_name(mod, i);
    d->samples.emplace_back(s ? s : "");
    openmpt_free_string(s);
  }
  out->funcs = &kMusicFuncs;
  out->freq = DWORD(d->freq);
  out->chans = DWORD(d->chans);
  out->flags = d->fmt == SampleFmt::F32 ? BASS_SAMPLE_FLOAT : d->fmt == SampleFmt::U8 ? BASS_SAMPLE_8BITS : 0;
  out->ctype = ctype;
  out->origres = 16;
  out->self = d.release();
  return true;
}

}  // namespace orvbass

#include "MidiRenderer.h"

#include "bassmidi.h"

#include "FluidApi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include <unistd.h>

namespace orvmidi {
namespace {

constexpr size_t kChunkFrames = 4096;

int MarkTypeOf(uint8_t meta) {
  switch (meta) {
    case 6: return 0;
    case 7: return 1;
    case 5: return 2;
    case 1: return 3;
    case 0x58: return 4;
    case 0x59: return 5;
    case 2: return 6;
    case 3: return 7;
    case 4: return 8;
    default: return -1;
  }
}

DWORD ReadFn(void* self, void* buffer, DWORD length, BOOL* ended) {
  return static_cast<MidiRenderer*>(self)->Read(buffer, length, ended);
}
BOOL SeekFn(void* self, QWORD pos) { return static_cast<MidiRenderer*>(self)->Seek(pos); }
QWORD LengthFn(void* self) { return static_cast<MidiRenderer*>(self)->Length(); }
const char* TagsFn(void* self, DWORD type) { return static_cast<MidiRenderer*>(self)->Tags(type); }
void CloseFn(void* self) { delete static_cast<MidiRenderer*>(self); }
const ORV_DECODER_FUNCS kFuncs = {ReadFn, SeekFn, LengthFn, TagsFn, nullptr, CloseFn};

}  // namespace

std::unique_ptr<MidiRenderer> MidiRenderer::Create(std::unique_ptr<MidiFile> file, DWORD freq, DWORD flags,
                                                   const std::vector<FontUse>& fonts, int* error) {
  if (!Fluid()) {
    *error = BASS_ERROR_NOTAVAIL;  // no synthesizer on this system
    return nullptr;
  }
  std::unique_ptr<MidiRenderer> r(new MidiRenderer);
  r->freq_ = freq ? freq : 44100;
  if (r->freq_ < 8000 || r->freq_ > 96000) {
    *error = BASS_ERROR_FORMAT;
    return nullptr;
  }
  r->flags_ = flags & (BASS_SAMPLE_FLOAT | BASS_SAMPLE_8BITS | BASS_SAMPLE_MONO);
  r->chans_ = (flags & BASS_SAMPLE_MONO) ? 1 : 2;
  DWORD bytes = (flags & BASS_SAMPLE_FLOAT) ? 4 : (flags & BASS_SAMPLE_8BITS) ? 1 : 2;
  r->info_ = std::make_shared<MidiStreamInfo>();
  r->info_->frameBytes = bytes * r->chans_;
  r->total_ = file->Time(r->freq_);
  r->file_ = std::move(file);

  // BASS_CONFIG_MIDI_VOICES, when the core holds one.
  if (auto getConfig = orvaddon::CoreFunction<DWORD(DWORD)>("BASS_GetConfig")) {
    DWORD voices = getConfig(BASS_CONFIG_MIDI_VOICES);
    if (voices >= 16 && voices <= 1000) r->voices_ = int(voices);
  }
  // The synthesizer itself is made on the first read: a stream opened for its length or its
  // texts only (stream information, track names) never needs one.
  r->fonts_ = fonts;
  bool readable = fonts.empty();
  for (const FontUse& f : fonts) readable |= access(f.path.c_str(), R_OK) == 0;
  if (!readable) {
    *error = BASS_ERROR_FILEOPEN;  // none of the given fonts can be loaded
    return nullptr;
  }
  r->ResetState();

  // Marks and track texts, in the output's byte positions.
  MidiStreamInfo& info = *r->info_;
  info.tracks = DWORD(r->file_->TrackCount());
  // Karaoke files carry their lyrics as text events, announced by "@" header texts ("@KMIDI
  // KARAOKE FILE", "@T title"); other files' text events are not lyrics.
  bool haveLyrics = false, karaoke = false;
  for (const MetaText& t : r->file_->Texts()) {
    haveLyrics |= t.type == 5;
    karaoke |= t.type == 1 && !t.text.empty() && t.text[0] == '@';
  }
  for (const MetaText& t : r->file_->Texts()) {
    int type = MarkTypeOf(t.type);
    if (type < 0) continue;
    Mark m{t.track, DWORD(std::min<uint64_t>(t.sample * info.frameBytes, 0xFFFFFFFFu)), t.text};
    info.marks[type].push_back(m);
    if (karaoke && !haveLyrics && t.type == 1 && !t.text.empty() && t.text[0] != '@') info.marks[2].push_back(m);
  }
  info.trackTags.resize(info.tracks);
  for (DWORD n = 0; n < info.tracks; ++n) {
    std::string name, texts;
    bool named = false;
    for (const MetaText& t : r->file_->Texts()) {
      if (t.track != n || t.text.empty()) continue;
      if (t.type == 3 && !named) {
        name = t.text;
        named = true;
      } else if (t.type == 1) {
        texts += t.text;
        texts.push_back('\0');
      }
    }
    std::string list = named ? name + std::string(1, '\0') : std::string();
    list += texts;
    list.push_back('\0');
    info.trackTags[n] = std::move(list);
  }
  return r;
}

bool MidiRenderer::EnsureSynth() {
  if (synth_) return true;
  if (!settings_) {
    settings_ = FL.new_fluid_settings();
    if (!settings_) return false;
    FL.fluid_settings_setnum(settings_, "synth.sample-rate", double(freq_));
    // The core calls us one at a time; FluidSynth's own locking is not needed.
    FL.fluid_settings_setint(settings_, "synth.threadsafe-api", 0);
    if (voices_) FL.fluid_settings_setint(settings_, "synth.polyphony", voices_);
  }
  synth_ = FL.new_fluid_synth(settings_);
  if (!synth_) return false;
  LoadFonts(fonts_);
  return true;
}

void MidiRenderer::LoadFonts(const std::vector<FontUse>& fonts) {
  while (FL.fluid_synth_sfcount(synth_) > 0) {
    fluid_sfont_t* f = FL.fluid_synth_get_sfont(synth_, 0);
    if (!f || FL.fluid_synth_sfunload(synth_, FL.fluid_sfont_get_id(f), 0) == FLUID_FAILED) break;
  }
  // The last font loaded is searched first, so the list's first (preferred) font goes last.
  for (auto it = fonts.rbegin(); it != fonts.rend(); ++it) FL.fluid_synth_sfload(synth_, it->path.c_str(), 1);
  FL.fluid_synth_set_gain(synth_, 0.4f * (fonts.empty() ? 1.0f : fonts[0].volume));
  FL.fluid_synth_program_reset(synth_);
}

bool MidiControl::Tracked(DWORD event) {
  switch (event) {
    case MIDI_EVENT_PROGRAM: case MIDI_EVENT_CHANPRES: case MIDI_EVENT_PITCH: case MIDI_EVENT_PITCHRANGE:
    case MIDI_EVENT_BANK: case MIDI_EVENT_MODULATION: case MIDI_EVENT_VOLUME: case MIDI_EVENT_PAN:
    case MIDI_EVENT_EXPRESSION: case MIDI_EVENT_SUSTAIN:
      return true;
    default:
      return false;
  }
}

void MidiRenderer::Track(int chan, DWORD event, int value) {
  if (MidiControl::Tracked(event)) control_->state[size_t(chan) * MidiControl::kEvents + event] = uint16_t(value);
}

// The General MIDI power-on state.
void MidiRenderer::ResetState() {
  for (int c = 0; c < 16; ++c) {
    for (DWORD e = 0; e < DWORD(MidiControl::kEvents); ++e) Track(c, e, 0);
    Track(c, MIDI_EVENT_PITCH, 8192);
    Track(c, MIDI_EVENT_PITCHRANGE, 2);
    Track(c, MIDI_EVENT_VOLUME, 100);
    Track(c, MIDI_EVENT_PAN, 64);
    Track(c, MIDI_EVENT_EXPRESSION, 127);
  }
}

void MidiRenderer::LiveEvent(DWORD chan, DWORD event, DWORD param) {
  int ch = int(chan & 15);
  if (event == MIDI_EVENT_RESET) ResetState();
  else if (event == MIDI_EVENT_PITCH) Track(ch, event, int(param & 0x3FFF));
  else Track(ch, event, int(param & 0x7F));
  switch (event) {
    case MIDI_EVENT_NOTE:
      if ((param >> 8) & 0x7F) FL.fluid_synth_noteon(synth_, ch, int(param & 0x7F), int((param >> 8) & 0x7F));
      else FL.fluid_synth_noteoff(synth_, ch, int(param & 0x7F));
      break;
    case MIDI_EVENT_PROGRAM: FL.fluid_synth_program_change(synth_, ch, int(param & 0x7F)); break;
    case MIDI_EVENT_CHANPRES: FL.fluid_synth_channel_pressure(synth_, ch, int(param & 0x7F)); break;
    case MIDI_EVENT_PITCH: FL.fluid_synth_pitch_bend(synth_, ch, int(param & 0x3FFF)); break;
    case MIDI_EVENT_PITCHRANGE: FL.fluid_synth_pitch_wheel_sens(synth_, ch, int(param & 0x7F)); break;
    case MIDI_EVENT_BANK: FL.fluid_synth_cc(synth_, ch, 0, int(param & 0x7F)); break;
    case MIDI_EVENT_MODULATION: FL.fluid_synth_cc(synth_, ch, 1, int(param & 0x7F)); break;
    case MIDI_EVENT_VOLUME: FL.fluid_synth_cc(synth_, ch, 7, int(param & 0x7F)); break;
    case MIDI_EVENT_PAN: FL.fluid_synth_cc(synth_, ch, 10, int(param & 0x7F)); break;
    case MIDI_EVENT_EXPRESSION: FL.fluid_synth_cc(synth_, ch, 11, int(param & 0x7F)); break;
    case MIDI_EVENT_SUSTAIN: FL.fluid_synth_cc(synth_, ch, 64, int(param & 0x7F)); break;
    case MIDI_EVENT_SOUNDOFF: FL.fluid_synth_all_sounds_off(synth_, ch); break;
    case MIDI_EVENT_NOTESOFF: FL.fluid_synth_all_notes_off(synth_, ch); break;
    case MIDI_EVENT_RESET: FL.fluid_synth_system_reset(synth_); break;
    default: break;
  }
}

void MidiRenderer::ApplyControl() {
  std::vector<FontUse> fonts;
  std::vector<std::array<DWORD, 3>> events;
  bool fontsChanged;
  {
    std::lock_guard<std::mutex> lock(control_->mutex);
    fontsChanged = control_->fontsChanged;
    control_->fontsChanged = false;
    if (fontsChanged) fonts.swap(control_->fonts);
    events.swap(control_->events);
  }
  if (fontsChanged) {
    fonts_ = fonts;
    LoadFonts(fonts_);
  }
  for (const auto& e : events) LiveEvent(e[0], e[1], e[2]);
}

MidiRenderer::~MidiRenderer() {
  if (closeHook_) closeHook_(closeUser_);
  if (synth_) FL.delete_fluid_synth(synth_);
  if (settings_) FL.delete_fluid_settings(settings_);
}

void MidiRenderer::MakeDecoder(ORV_DECODER* out, DWORD ctype) {
  *out = ORV_DECODER{};
  out->funcs = &kFuncs;
  out->self = this;
  out->freq = freq_;
  out->chans = chans_;
  out->flags = flags_ & (BASS_SAMPLE_FLOAT | BASS_SAMPLE_8BITS);
  out->ctype = ctype;
  out->origres = 0;
}

const char* MidiRenderer::Tags(DWORD type) const {
  if (type >= BASS_TAG_MIDI_TRACK && type - BASS_TAG_MIDI_TRACK < info_->trackTags.size())
    return info_->trackTags[type - BASS_TAG_MIDI_TRACK].c_str();
  return nullptr;
}

void MidiRenderer::Dispatch(const ChannelEvent& e, bool notes) {
  int ch = e.status & 0x0F;
  switch (e.status & 0xF0) {
    case 0x80:
      if (notes) FL.fluid_synth_noteoff(synth_, ch, e.data1);
      break;
    case 0x90:
      if (!notes) break;
      if (e.data2) FL.fluid_synth_noteon(synth_, ch, e.data1, e.data2);
      else FL.fluid_synth_noteoff(synth_, ch, e.data1);
      break;
    case 0xA0:
      if (notes) FL.fluid_synth_key_pressure(synth_, ch, e.data1, e.data2);
      break;
    case 0xB0: {
      FL.fluid_synth_cc(synth_, ch, e.data1, e.data2);
      static const DWORD kCc[65] = {MIDI_EVENT_BANK, MIDI_EVENT_MODULATION, 0, 0, 0, 0, 0, MIDI_EVENT_VOLUME, 0, 0,
                                    MIDI_EVENT_PAN, MIDI_EVENT_EXPRESSION};
      if (e.data1 < 64 && kCc[e.data1]) Track(ch, kCc[e.data1], e.data2);
      if (e.data1 == 64) Track(ch, MIDI_EVENT_SUSTAIN, e.data2);
      break;
    }
    case 0xC0:
      FL.fluid_synth_program_change(synth_, ch, e.data1);
      Track(ch, MIDI_EVENT_PROGRAM, e.data1);
      break;
    case 0xD0:
      FL.fluid_synth_channel_pressure(synth_, ch, e.data1);
      Track(ch, MIDI_EVENT_CHANPRES, e.data1);
      break;
    case 0xE0:
      FL.fluid_synth_pitch_bend(synth_, ch, e.data1 | e.data2 << 7);
      Track(ch, MIDI_EVENT_PITCH, e.data1 | e.data2 << 7);
      break;
  }
}

void MidiRenderer::Convert(const float* src, size_t frames, uint8_t* dst) {
  size_t n = frames * chans_;
  if (chans_ == 1) {
    mono_.resize(frames);
    for (size_t i = 0; i < frames; ++i) mono_[i] = 0.5f * (src[2 * i] + src[2 * i + 1]);
    src = mono_.data();
  }
  if (flags_ & BASS_SAMPLE_FLOAT) {
    std::memcpy(dst, src, n * sizeof(float));
  } else if (flags_ & BASS_SAMPLE_8BITS) {
    for (size_t i = 0; i < n; ++i)
      dst[i] = uint8_t(std::lrint(std::clamp(src[i], -1.0f, 1.0f) * 127.0f) + 128);
  } else {
    auto* d = reinterpret_cast<int16_t*>(dst);
    for (size_t i = 0; i < n; ++i) d[i] = int16_t(std::lrint(std::clamp(src[i], -1.0f, 1.0f) * 32767.0f));
  }
}

DWORD MidiRenderer::Read(void* buffer, DWORD length, BOOL* ended) {
  const auto& events = file_->Events();
  const auto& lyrics = info_->marks[2];
  const DWORD fb = info_->frameBytes;
  size_t frames = length / fb, done = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  if (!EnsureSynth()) {
    *ended = TRUE;
    return 0;
  }
  ApplyControl();
  while (done < frames && cur_ < total_) {
    while (next_ < events.size() && events[next_].sample <= cur_) Dispatch(events[next_++], true);
    uint64_t stop = next_ < events.size() ? std::min(events[next_].sample, total_) : total_;
    size_t n = size_t(std::min<uint64_t>({frames - done, stop - cur_, kChunkFrames}));
    scratch_.resize(n * 2);
    FL.fluid_synth_write_float(synth_, int(n), scratch_.data(), 0, 2, scratch_.data(), 1, 2);
    Convert(scratch_.data(), n, out + done * fb);
    uint64_t endByte = (cur_ + n) * fb;
    while (nextLyric_ < lyrics.size() && lyrics[nextLyric_].pos < endByte) {
      if (hook_ && lyrics[nextLyric_].pos >= cur_ * fb) hook_(hookUser_, DWORD(nextLyric_), lyrics[nextLyric_].pos);
      ++nextLyric_;
    }
    cur_ += n;
    done += n;
  }
  if (cur_ >= total_) *ended = TRUE;
  return DWORD(done * fb);
}

bool MidiRenderer::Seek(QWORD pos) {
  if (!EnsureSynth()) return false;
  ApplyControl();
  uint64_t target = std::min<uint64_t>(pos / info_->frameBytes, total_);
  // Silence everything, then bring controllers and programs to their state at the target.
  FL.fluid_synth_system_reset(synth_);
  ResetState();
  const auto& events = file_->Events();
  next_ = 0;
  while (next_ < events.size() && events[next_].sample < target) Dispatch(events[next_++], false);
  const auto& lyrics = info_->marks[2];
  nextLyric_ = 0;
  while (nextLyric_ < lyrics.size() && lyrics[nextLyric_].pos < target * info_->frameBytes) ++nextLyric_;
  cur_ = target;
  return true;
}

}  // namespace orvmidi

#include "engine/AddonFamilies.h"

#include <cstring>

#include "engine/EngineTypes.h"

namespace engine {
namespace {

#define ORVELLA_NAME(name) #name,
const std::vector<std::string> kCDNames = {ORVELLA_BASSCD_FUNCTIONS(ORVELLA_NAME)};
const std::vector<std::string> kMIDINames = {ORVELLA_BASSMIDI_FUNCTIONS(ORVELLA_NAME)};
const std::vector<std::string> kMixNames = {ORVELLA_BASSMIX_FUNCTIONS(ORVELLA_NAME)};
#undef ORVELLA_NAME

// Library thread: queue a copy of the mark's text, then wake the engine window.
void CALLBACK LyricProc(HSYNC, DWORD channel, DWORD data, void* user) {
  auto* rec = static_cast<TLyricRecord*>(user);
  if (!rec->midi || !rec->midi->BASS_MIDI_StreamGetMark) return;
  BASS_MIDI_MARK mark{};
  if (!rec->midi->BASS_MIDI_StreamGetMark(channel, BASS_MIDI_MARK_LYRIC, data, &mark) || !mark.text) return;
  rec->queue.Push(mark.text);
  platform::PostMessage(rec->window.load(), WM_BASS_LYRIC, 0, 0);
}

}  // namespace

void TLyricQueue::Reserve() {
  std::lock_guard lock(mutex_);
  if (texts_.empty()) texts_.resize(kCapacity);
}

void TLyricQueue::Push(const char* text) {
  std::lock_guard lock(mutex_);
  if (texts_.empty()) return;
  if (count_ == kCapacity) {  // the UI is far behind: the oldest goes, and is counted
    head_ = (head_ + 1) % kCapacity;
    --count_;
    ++dropped_;
  }
  auto& slot = texts_[(head_ + count_) % kCapacity];
  std::strncpy(slot.data(), text, kTextSize - 1);
  slot[kTextSize - 1] = '\0';
  ++count_;
}

bool TLyricQueue::Take(std::string& text) {
  std::lock_guard lock(mutex_);
  if (!count_) return false;
  text = texts_[head_].data();
  head_ = (head_ + 1) % kCapacity;
  --count_;
  return true;
}

size_t TLyricQueue::Pending() const {
  std::lock_guard lock(mutex_);
  return count_;
}

size_t TLyricQueue::Dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

TAddonFamilies::~TAddonFamilies() {
  cdLib_.Close();
  midiLib_.Close();
  mixLib_.Close();
}

bool TAddonFamilies::LoadCD(const std::string& path) {
  if (cdLib_.IsOpen()) return true;
  if (!cdLib_.OpenWithSymbols(path, kCDNames)) return false;
#define ORVELLA_RESOLVE(name) cd.name = cdLib_.Function<decltype(&::name)>(#name);
  ORVELLA_BASSCD_FUNCTIONS(ORVELLA_RESOLVE)
#undef ORVELLA_RESOLVE
  return true;
}

bool TAddonFamilies::LoadMIDI(const std::string& path) {
  if (midiLib_.IsOpen()) return true;
  if (!midiLib_.OpenWithSymbols(path, kMIDINames)) return false;
#define ORVELLA_RESOLVE(name) midi.name = midiLib_.Function<decltype(&::name)>(#name);
  ORVELLA_BASSMIDI_FUNCTIONS(ORVELLA_RESOLVE)
#undef ORVELLA_RESOLVE
  lyric_.midi = &midi;
  return true;
}

bool TAddonFamilies::LoadMixer(const std::string& path) {
  if (mixLib_.IsOpen()) return true;
  if (!mixLib_.OpenWithSymbols(path, kMixNames)) return false;
#define ORVELLA_RESOLVE(name) mix.name = mixLib_.Function<decltype(&::name)>(#name);
  ORVELLA_BASSMIX_FUNCTIONS(ORVELLA_RESOLVE)
#undef ORVELLA_RESOLVE
  return true;
}

bool TAddonFamilies::MixerVersionOk() const {
  return mixLib_.IsOpen() && (mix.BASS_Mixer_GetVersion() >> 16) == 0x0204;
}

std::vector<std::string> TAddonFamilies::ListDrives() const {
  std::vector<std::string> drives;
  if (!cdLib_.IsOpen()) return drives;
  for (DWORD d = 0; d < 4; ++d) {
    BASS_CD_INFO info{};
    if (!cd.BASS_CD_GetInfo(d, &info)) break;
    std::string entry(1, char('A' + info.letter));
    entry += ": ";
    entry += info.product ? info.product : "";
    drives.push_back(entry);
  }
  return drives;
}

DWORD TAddonFamilies::CDStreamCreateFile(const std::string& name, DWORD flags) const {
  return cdLib_.IsOpen() ? cd.BASS_CD_StreamCreateFile(name.c_str(), flags) : 0;
}

DWORD TAddonFamilies::CDTrackLength(DWORD drive, DWORD track) const {
  return cdLib_.IsOpen() ? cd.BASS_CD_GetTrackLength(drive, track) : DWORD(-1);
}

DWORD TAddonFamilies::MIDIStreamCreateFile(const std::string& name, DWORD flags, DWORD freq) const {
  return midiLib_.IsOpen() ? midi.BASS_MIDI_StreamCreateFile(FALSE, name.c_str(), 0, 0, flags, freq) : 0;
}

HSYNC TAddonFamilies::SetLyricSync(TBassCore& bass, DWORD channel, platform::HWND window) {
  if (!midiLib_.IsOpen()) return 0;
  lyric_.queue.Reserve();
  lyric_.window = window;
  lyric_.channel = channel;
  return bass.BASS_ChannelSetSync(channel, BASS_SYNC_MIDI_LYRIC, 0, &LyricProc, &lyric_);
}

void TAddonFamilies::FreeFont(DWORD font) const {
  if (midiLib_.IsOpen() && font) midi.BASS_MIDI_FontFree(font);
}

}  // namespace engine

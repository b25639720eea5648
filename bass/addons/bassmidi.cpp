// bassmidi.so: MIDI files rendered by FluidSynth with soundfonts, marks and track texts read by our
// own MIDI reader, and the BASS_MIDI_ family.
//
// Threading: the family functions may run on any thread; the tables below are guarded by g_mutex.
// A stream's decoder runs under the core's channel lock and reaches the tables only in close().
#include <cstddef>
#include "AddonCore.h"
#include "MidiFile.h"
#include "MidiRenderer.h"
#include "SoundFont.h"
#include "bassmidi.h"

#include "FluidApi.h"
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace orvmidi;

namespace {

constexpr QWORD kMaxMidiBytes = 64u << 20;

// A soundfont: its description, and a warm synth that keeps its samples in FluidSynth's sample
// cache once loaded, so later streams share them instead of reading the file again.
struct Font {
  std::string path;
  int memfd = -1;  // a font given in memory lives in an anonymous file
  SoundFontInfo info;
  std::atomic<float> volume{1.0f};
  std::mutex loadMutex;  // guards the cache synth; loading a large font takes a while
  fluid_settings_t* cacheSettings = nullptr;
  fluid_synth_t* cache = nullptr;
  std::atomic<bool> loaded{false};
  ~Font() {
    if (cache) FL.delete_fluid_synth(cache);
    if (cacheSettings) FL.delete_fluid_settings(cacheSettings);
    if (memfd >= 0) close(memfd);
  }
  bool Loaded() const { return loaded.load(); }
  bool Load() {
    std::lock_guard<std::mutex> lock(loadMutex);
    if (cache) return true;
    if (!Fluid()) return false;
    if (!cacheSettings) cacheSettings = FL.new_fluid_settings();
    if (!cacheSettings) return false;
    cache = FL.new_fluid_synth(cacheSettings);
    if (cache && FL.fluid_synth_sfload(cache, path.c_str(), 0) != FLUID_FAILED) {
      loaded = true;
      return true;
    }
    if (cache) FL.delete_fluid_synth(cache);
    cache = nullptr;
    return false;
  }
};

struct Stream {
  std::shared_ptr<const MidiStreamInfo> info;
  std::shared_ptr<MidiControl> control;
  std::vector<BASS_MIDI_FONT> fonts;
};

// The tables outlive static destruction: the core may free our streams from its own exit handler
// (BASS_Free at exit) after this library's destructors would have run.
struct Tables {
  std::mutex mutex;
  std::map<HSOUNDFONT, std::shared_ptr<Font>> fonts;
  std::vector<BASS_MIDI_FONT> defaultFonts;
  std::map<HSTREAM, Stream> streams;
  HSOUNDFONT nextFont = 1;
};
Tables& T() {
  static Tables* t = new Tables;
  return *t;
}
// Freed when the library is unloaded (an add-on can be unloaded and loaded again). At exit
// this runs after every exit handler, the core's own among them, so no stream of ours is left
// that could reach the tables afterwards. Fonts still loaded stay: freeing one calls into
// FluidSynth, which may already be finalised by then.
__attribute__((destructor)) void FreeTables() {
  if (T().fonts.empty() && T().streams.empty()) delete &T();
}
std::mutex& g_mutex = T().mutex;
auto& g_fonts = T().fonts;
auto& g_defaultFonts = T().defaultFonts;
auto& g_streams = T().streams;
HSOUNDFONT& g_nextFont = T().nextFont;

// The core channel a renderer belongs to, for its close and lyric hooks.
struct StreamLink {
  std::atomic<HSTREAM> handle{0};
  bool closed = false;  // guarded by g_mutex
  BOOL (*fireSync)(HSTREAM, DWORD, DWORD, QWORD) = nullptr;  // found at creation; the core outlives it
};

bool Fail(int code) { return orvaddon::Fail(code); }

bool Ok() {
  if (const ORV_CORE_API* c = orvaddon::Core()) c->SetError(BASS_OK);
  return true;
}

std::string PathOf(const void* file, DWORD flags) {
  if (!file) return {};
  if (flags & BASS_UNICODE) {
    const wchar_t* w = static_cast<const wchar_t*>(file);
    std::mbstate_t st{};
    size_t n = std::wcsrtombs(nullptr, &w, 0, &st);
    if (n == size_t(-1)) return {};
    std::string s(n, '\0');
    w = static_cast<const wchar_t*>(file);
    std::wcsrtombs(s.data(), &w, n, &st);
    return s;
  }
  return static_cast<const char*>(file);
}

// The fonts of a list that still exist (g_mutex held).
std::vector<std::shared_ptr<Font>> FontsOf(const std::vector<BASS_MIDI_FONT>& list) {
  std::vector<std::shared_ptr<Font>> fonts;
  for (const BASS_MIDI_FONT& f : list) {
    auto it = g_fonts.find(f.font);
    if (it != g_fonts.end()) fonts.push_back(it->second);
  }
  return fonts;
}

// Loads them (without g_mutex: a large font takes long) and gives their FluidSynth paths.
std::vector<FontUse> FontUses(const std::vector<std::shared_ptr<Font>>& fonts) {
  std::vector<FontUse> uses;
  for (const auto& f : fonts) {
    f->Load();
    uses.push_back({f->path, f->volume.load()});
  }
  return uses;
}

// The link is deleted by whoever comes last: the close, or the creation that registers it.
void OnClose(void* user) {
  auto* link = static_cast<StreamLink*>(user);
  std::lock_guard<std::mutex> lock(g_mutex);
  link->closed = true;
  if (HSTREAM h = link->handle.load()) {
    g_streams.erase(h);
    delete link;
  }
}

// The core's sync firing for our lyric type; an older core without it gives no lyric syncs.
auto FireSyncOf(const ORV_CORE_API* core) -> decltype(ORV_CORE_API::FireSync) {
  if (!core || core->size < offsetof(ORV_CORE_API, FireSync) + sizeof(core->FireSync)) return nullptr;
  return core->FireSync;
}

// Decoder thread, while the lyric's position is produced.
void OnLyric(void* user, DWORD index, QWORD pos) {
  auto* link = static_cast<StreamLink*>(user);
  if (link->fireSync && link->handle) link->fireSync(link->handle, BASS_SYNC_MIDI_LYRIC, index, pos);
}

// Reads a whole MIDI file through the core's file access.
bool ReadAll(ORV_FILE* f, std::vector<uint8_t>& data) {
  const ORV_CORE_API* core = orvaddon::Core();
  QWORD size = core->FileSize(f);
  if (size != QWORD(-1) && size > kMaxMidiBytes) return Fail(BASS_ERROR_FILEFORM);
  data.clear();
  uint8_t buf[65536];
  for (;;) {
    DWORD n = core->FileRead(f, buf, sizeof buf);
    if (n == 0) break;
    data.insert(data.end(), buf, buf + n);
    if (data.size() > kMaxMidiBytes) return Fail(BASS_ERROR_FILEFORM);
  }
  return true;
}

std::unique_ptr<MidiRenderer> MakeRenderer(const std::vector<uint8_t>& data, DWORD flags, DWORD freq,
                                           std::vector<BASS_MIDI_FONT>* usedFonts) {
  auto file = std::make_unique<MidiFile>();
  if (!file->Parse(data.data(), data.size())) {
    Fail(BASS_ERROR_FILEFORM);
    return nullptr;
  }
  std::vector<std::shared_ptr<Font>> fonts;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    *usedFonts = g_defaultFonts;
    fonts = FontsOf(g_defaultFonts);
  }
  std::vector<FontUse> uses = FontUses(fonts);
  int error = 0;
  auto r = MidiRenderer::Create(std::move(file), freq, flags, uses, &error);
  if (!r) Fail(error);
  return r;
}

// Makes the channel for a parsed file and registers its marks.
HSTREAM CreateFromData(const std::vector<uint8_t>& data, DWORD flags, DWORD freq, const char* name) {
  const ORV_CORE_API* core = orvaddon::Core();
  if (!core) return 0;
  std::vector<BASS_MIDI_FONT> fonts;
  auto r = MakeRenderer(data, flags, freq, &fonts);
  if (!r) return 0;
  auto* link = new StreamLink;
  link->fireSync = FireSyncOf(core);
  r->SetCloseHook(OnClose, link);
  r->SetLyricHook(OnLyric, link);
  auto info = r->Info();
  auto control = r->Control();
  ORV_DECODER dec;
  r->MakeDecoder(&dec, BASS_CTYPE_STREAM_MIDI);
  r.release();  // the core owns it now (and closes it on failure)
  HSTREAM h = core->CreateStream(&dec, nullptr, flags, 0, name);
  std::lock_guard<std::mutex> lock(g_mutex);
  if (link->closed) {  // failed, or already freed by another thread
    delete link;
    return h;
  }
  link->handle = h;
  g_streams[h] = Stream{info, control, fonts};
  return h;
}

// ---- Format add-on side (BASS_PluginLoad): MIDI files through BASS_StreamCreateFile ----

const BASS_PLUGINFORM kFormats[] = {
    {BASS_CTYPE_STREAM_MIDI, "MIDI", "*.mid;*.midi;*.rmi;*.kar"},
};

BOOL AddonOpenFile(ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  std::vector<uint8_t> data;
  if (!ReadAll(file, data)) return FALSE;
  std::vector<BASS_MIDI_FONT> fonts;
  auto r = MakeRenderer(data, flags, 44100, &fonts);
  if (!r) return FALSE;
  r->MakeDecoder(out, BASS_CTYPE_STREAM_MIDI);
  r.release();
  return TRUE;
}

const ORV_ADDON kAddon = {ORV_ADDON_ABI, {ORVELLA_BASS_VERSION, 1, kFormats}, AddonOpenFile, nullptr, orvaddon::ForgetCore};

std::shared_ptr<Font> FindFont(HSOUNDFONT h) {
  auto it = g_fonts.find(h);
  return it == g_fonts.end() ? nullptr : it->second;
}

}  // namespace

ORV_EXPORT const ORV_ADDON* OrvBassAddonGet(const ORV_CORE_API* core) {
  if (!core || core->abi != ORV_ADDON_ABI) return nullptr;
  orvaddon::SetCore(core);
  return &kAddon;
}

// ---- Streams ----

ORV_EXPORT HSTREAM BASS_MIDI_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags,
                                              DWORD freq) {
  const ORV_CORE_API* core = orvaddon::Core();
  if (!core) return 0;
  ORV_FILE* f = core->FileOpen(mem, file, offset, length, flags);
  if (!f) return 0;
  std::vector<uint8_t> data;
  bool ok = ReadAll(f, data);
  core->FileClose(f);
  if (!ok) return 0;
  std::string name = mem ? std::string() : PathOf(file, flags);
  return CreateFromData(data, flags & ~BASS_UNICODE, freq, mem ? nullptr : name.c_str());
}

ORV_EXPORT HSTREAM BASS_MIDI_StreamCreateFileUser(DWORD system, DWORD flags, const BASS_FILEPROCS* procs, void* user,
                                                  DWORD freq) {
  if (!orvaddon::Core()) return 0;
  if (!procs || !procs->read || system > STREAMFILE_BUFFERPUSH) return Fail(BASS_ERROR_ILLPARAM), 0;
  // MIDI files are small: read everything, then close the user's file.
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  bool tooBig = false;
  for (;;) {
    DWORD n = procs->read(buf, sizeof buf, user);
    if (n == 0 || n == DWORD(-1)) break;
    data.insert(data.end(), buf, buf + std::min<DWORD>(n, sizeof buf));
    if (data.size() > kMaxMidiBytes) {
      tooBig = true;
      break;
    }
  }
  if (procs->close) procs->close(user);
  if (tooBig) return Fail(BASS_ERROR_FILEFORM), 0;
  return CreateFromData(data, flags, freq, nullptr);
}

ORV_EXPORT HSTREAM BASS_MIDI_StreamCreate(DWORD channels, DWORD flags, DWORD freq) {
  // A live stream: nothing but the events sent with BASS_MIDI_StreamEvent.
  if (!orvaddon::Core()) return 0;
  if (channels == 0 || channels > 16) return Fail(BASS_ERROR_ILLPARAM), 0;
  // An empty format-0 file of one quarter note per tick that lasts "forever" (2^31 ticks).
  static const uint8_t kEndless[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 1,
                                     'M', 'T', 'r', 'k', 0, 0, 0, 8, 0x88, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00, 0x00};
  std::vector<uint8_t> data(kEndless, kEndless + sizeof kEndless);
  return CreateFromData(data, flags, freq, nullptr);
}

ORV_EXPORT BOOL BASS_MIDI_StreamGetMark(HSTREAM handle, DWORD type, DWORD index, BASS_MIDI_MARK* mark) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_streams.find(handle);
  if (it == g_streams.end()) return Fail(BASS_ERROR_HANDLE);
  if (type > BASS_MIDI_MARK_INST || !mark) return Fail(BASS_ERROR_ILLTYPE);
  const auto& marks = it->second.info->marks[type];
  if (index >= marks.size()) return Fail(BASS_ERROR_ILLPARAM);
  mark->track = marks[index].track;
  mark->pos = marks[index].pos;
  mark->text = marks[index].text.c_str();
  return Ok();
}

ORV_EXPORT DWORD BASS_MIDI_StreamGetMarkCount(HSTREAM handle, DWORD type) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_streams.find(handle);
  if (it == g_streams.end()) return Fail(BASS_ERROR_HANDLE), DWORD(-1);
  if (type > BASS_MIDI_MARK_INST) return Fail(BASS_ERROR_ILLTYPE), DWORD(-1);
  Ok();
  return DWORD(it->second.info->marks[type].size());
}

ORV_EXPORT DWORD BASS_MIDI_StreamGetTrackCount(HSTREAM handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_streams.find(handle);
  if (it == g_streams.end()) return Fail(BASS_ERROR_HANDLE), DWORD(-1);
  Ok();
  return it->second.info->tracks;
}

ORV_EXPORT BOOL BASS_MIDI_StreamSetFonts(HSTREAM handle, const BASS_MIDI_FONT* fonts, DWORD count) {
  if (!orvaddon::Core()) return FALSE;
  if (count && !fonts) return Fail(BASS_ERROR_ILLPARAM);
  std::vector<BASS_MIDI_FONT> list;
  std::shared_ptr<MidiControl> control;
  std::vector<std::shared_ptr<Font>> used;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (DWORD i = 0; i < count; ++i) {
      if (!g_fonts.count(fonts[i].font)) return Fail(BASS_ERROR_HANDLE);
      list.push_back(fonts[i]);
    }
    if (handle == 0) {
      g_defaultFonts = list;
      return Ok();
    }
    auto it = g_streams.find(handle);
    if (it == g_streams.end()) return Fail(BASS_ERROR_HANDLE);
    it->second.fonts = list;
    control = it->second.control;
    used = FontsOf(list);
  }
  std::vector<FontUse> uses = FontUses(used);
  std::lock_guard<std::mutex> clock(control->mutex);
  control->fonts = uses;
  control->fontsChanged = true;
  return Ok();
}

ORV_EXPORT DWORD BASS_MIDI_StreamGetFonts(HSTREAM handle, BASS_MIDI_FONT* fonts, DWORD count) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const std::vector<BASS_MIDI_FONT>* list = &g_defaultFonts;
  if (handle) {
    auto it = g_streams.find(handle);
    if (it == g_streams.end()) return Fail(BASS_ERROR_HANDLE), DWORD(-1);
    list = &it->second.fonts;
  }
  if (fonts) std::copy_n(list->begin(), std::min<size_t>(count, list->size()), fonts);
  Ok();
  return fonts ? DWORD(std::min<size_t>(count, list->size())) : DWORD(list->size());
}

ORV_EXPORT BOOL BASS_MIDI_StreamLoadSamples(HSTREAM handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  // A stream's fonts are loaded when it is created.
  if (!g_streams.count(handle)) return Fail(BASS_ERROR_HANDLE);
  return Ok();
}

ORV_EXPORT BOOL BASS_MIDI_StreamEvent(HSTREAM handle, DWORD chan, DWORD event, DWORD param) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_streams.find(handle);
  if (it == g_streams.end()) return Fail(BASS_ERROR_HANDLE);
  if (chan > 15 || event == 0 || event > MIDI_EVENT_NOTESOFF) return Fail(BASS_ERROR_ILLPARAM);
  std::lock_guard<std::mutex> clock(it->second.control->mutex);
  if (it->second.control->events.size() >= 65536) return Fail(BASS_ERROR_MEM);
  it->second.control->events.push_back({chan, event, param});
  return Ok();
}

ORV_EXPORT DWORD BASS_MIDI_StreamGetEvent(HSTREAM handle, DWORD chan, DWORD event) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_streams.find(handle);
  if (it == g_streams.end()) return Fail(BASS_ERROR_HANDLE), DWORD(-1);
  if (chan > 15) return Fail(BASS_ERROR_ILLPARAM), DWORD(-1);
  // Controller states are kept; notes and the rest are not.
  if (!MidiControl::Tracked(event)) return Fail(BASS_ERROR_NOTAVAIL), DWORD(-1);
  Ok();
  return it->second.control->state[size_t(chan) * MidiControl::kEvents + event];
}

// ---- Fonts ----

ORV_EXPORT HSOUNDFONT BASS_MIDI_FontInit(const void* file, DWORD flags) {
  if (!orvaddon::Core()) return 0;
  if (!file) return Fail(BASS_ERROR_ILLPARAM), 0;
  auto font = std::make_shared<Font>();
  if (flags & BASS_MIDI_FONT_MEM) {
    // The RIFF header tells the size of a font in memory; FluidSynth reads files, so it goes
    // into an anonymous one.
    const auto* p = static_cast<const uint8_t*>(file);
    if (std::memcmp(p, "RIFF", 4) != 0) return Fail(BASS_ERROR_FILEFORM), 0;
    size_t size = 8 + (size_t(p[4]) | size_t(p[5]) << 8 | size_t(p[6]) << 16 | size_t(p[7]) << 24);
    if (std::memcmp(p + 8, "sfbk", 4) != 0) return Fail(BASS_ERROR_FILEFORM), 0;
    SoundFontInfo info;
    auto readMem = [&](uint64_t off, void* buf, size_t n) -> size_t {
      if (off >= size) return 0;
      n = std::min<size_t>(n, size - size_t(off));
      std::memcpy(buf, p + off, n);
      return n;
    };
    if (!ReadSoundFont(readMem, size, &info)) return Fail(BASS_ERROR_FILEFORM), 0;
    font->memfd = memfd_create("orvella-soundfont", MFD_CLOEXEC);
    if (font->memfd < 0) return Fail(BASS_ERROR_MEM), 0;
    size_t done = 0;
    while (done < size) {
      ssize_t w = write(font->memfd, p + done, size - done);
      if (w <= 0) return Fail(BASS_ERROR_MEM), 0;
      done += size_t(w);
    }
    font->path = "/proc/self/fd/" + std::to_string(font->memfd);
    font->info = std::move(info);
  } else {
    font->path = PathOf(file, flags);
    std::FILE* f = std::fopen(font->path.c_str(), "rb");
    if (!f) return Fail(BASS_ERROR_FILEOPEN), 0;
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    auto readFile = [&](uint64_t off, void* buf, size_t n) -> size_t {
      if (std::fseek(f, long(off), SEEK_SET) != 0) return 0;
      return std::fread(buf, 1, n, f);
    };
    bool ok = size > 0 && ReadSoundFont(readFile, uint64_t(size), &font->info);
    std::fclose(f);
    if (!ok) return Fail(BASS_ERROR_FILEFORM), 0;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  HSOUNDFONT h = g_nextFont++;
  g_fonts[h] = font;
  Ok();
  return h;
}

ORV_EXPORT BOOL BASS_MIDI_FontFree(HSOUNDFONT handle) {
  std::shared_ptr<Font> gone;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_fonts.find(handle);
    if (it == g_fonts.end()) return Fail(BASS_ERROR_HANDLE);
    gone = it->second;
    g_fonts.erase(it);
    // Streams already playing keep their loaded copy; new streams no longer get it.
    g_defaultFonts.erase(std::remove_if(g_defaultFonts.begin(), g_defaultFonts.end(),
                                        [&](const BASS_MIDI_FONT& f) { return f.font == handle; }),
                         g_defaultFonts.end());
  }
  return Ok();
}

ORV_EXPORT BOOL BASS_MIDI_FontGetInfo(HSOUNDFONT handle, BASS_MIDI_FONTINFO* info) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto font = FindFont(handle);
  if (!font) return Fail(BASS_ERROR_HANDLE);
  if (!info) return Fail(BASS_ERROR_ILLPARAM);
  info->name = font->info.name.c_str();
  info->copyright = font->info.copyright.c_str();
  info->comment = font->info.comment.c_str();
  info->presets = DWORD(font->info.presets.size());
  info->samsize = DWORD(std::min<uint64_t>(font->info.sampleBytes, 0xFFFFFFFFu));
  info->samload = font->Loaded() ? info->samsize : 0;
  info->samtype = 0;
  return Ok();
}

ORV_EXPORT const char* BASS_MIDI_FontGetPreset(HSOUNDFONT handle, int preset, int bank) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto font = FindFont(handle);
  if (!font) return Fail(BASS_ERROR_HANDLE), nullptr;
  for (const SoundFontPreset& p : font->info.presets)
    if (p.preset == preset && p.bank == bank) return Ok(), p.name.c_str();
  return Fail(BASS_ERROR_ILLPARAM), nullptr;
}

ORV_EXPORT BOOL BASS_MIDI_FontLoad(HSOUNDFONT handle, int preset, int bank) {
  (void)preset;
  (void)bank;
  std::shared_ptr<Font> font;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    font = FindFont(handle);
  }
  if (!font) return Fail(BASS_ERROR_HANDLE);
  // FluidSynth loads a font's samples as a whole.
  if (!font->Load()) return Fail(BASS_ERROR_FILEFORM);
  return Ok();
}

ORV_EXPORT BOOL BASS_MIDI_FontSetVolume(HSOUNDFONT handle, float volume) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto font = FindFont(handle);
  if (!font) return Fail(BASS_ERROR_HANDLE);
  if (!(volume >= 0.0f && volume <= 10.0f)) return Fail(BASS_ERROR_ILLPARAM);
  font->volume = volume;
  return Ok();
}

ORV_EXPORT float BASS_MIDI_FontGetVolume(HSOUNDFONT handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto font = FindFont(handle);
  if (!font) return Fail(BASS_ERROR_HANDLE), -1.0f;
  Ok();
  return font->volume;
}

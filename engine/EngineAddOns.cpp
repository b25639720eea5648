// The engine's add-on list, soundfont and MIDI track texts.
#include <cstring>

#include "engine/AddonFamilies.h"
#include "engine/ZOZUZivade.h"
#include "platform/Paths.h"

namespace engine {

std::string TZOZUZivade::GetNativeFileExts() const {
  if (!bassReady_) return {};
  std::string exts = "*.wav;*.mp1;*.mp2;*.mp3;*.ogg;*.aiff;*.mo3;*.it;*.xm;*.s3m;*.mtm;*.mod;*.umx;";
  if (families_->CDLoaded()) exts += "*.cda;";
  if (wmaReady_) exts += "*.wma;*.asf;";
  if (soundFontReady_) exts += "*.mid;*.midi;*.rmi;*.kar;";
  return exts;
}

TBASSAddOnInfo TZOZUZivade::LoadAddOn(const std::string& path) {
  TBASSAddOnInfo none;
  if (!bass_.Loaded() || !platform::FileExists(path)) return none;
  std::string name = platform::LowerAscii(platform::ExtractFileName(path));
  TBASSAddOnInfo* freeSlot = nullptr;
  for (auto& slot : addOns_) {
    if (slot.Handle && slot.Name == name) return none;
    if (!slot.Handle && !freeSlot) freeSlot = &slot;
  }
  if (!freeSlot) return none;
  HPLUGIN handle = bass_.BASS_PluginLoad(path.c_str(), 0);
  if (!handle) return none;
  *freeSlot = TBASSAddOnInfo{};
  freeSlot->Handle = handle;
  freeSlot->Name = name;
  if (const BASS_PLUGININFO* info = bass_.BASS_PluginGetInfo(handle)) {
    freeSlot->Version = info->version;
    freeSlot->NumFormat = static_cast<int32_t>(info->formatc);
    freeSlot->FormatP = info->formats;
  }
  if (name == "bass_aac.so") aacReady_ = true;
  return *freeSlot;
}

const std::vector<std::string>& TZOZUZivade::FormatAddOnNames() {
  static const std::vector<std::string> names = {
      "bass_aac", "bass_ac3",  "bass_alac", "bass_ape", "basscd",      "bass_cda", "bass_enc", "bass_flac", "bass_fx",
      "bassmidi", "bass_mpc",  "bass_opus", "bass_spx", "bass_tta",    "bass_winanp", "basswma", "bass_wm"};
  return names;
}

std::vector<TAddOnAttempt> TZOZUZivade::AttachFormatAddOns(const std::string& addOnFolder) {
  std::vector<TAddOnAttempt> tried;
  const std::string folder = platform::WithSlash(addOnFolder);
  for (const std::string& name : FormatAddOnNames()) {
    TAddOnAttempt a;
    a.Path = folder + name + ".so";
    a.Info = LoadAddOn(a.Path);
    tried.push_back(std::move(a));
  }
  return tried;
}

std::vector<TAddOnAttempt> TZOZUZivade::AttachFormatAddOns() {
  return AttachFormatAddOns(ProgramFolder() + "plugins/bass/");
}

int TZOZUZivade::UnloadAddOn(HPLUGIN handle) {
  if (!bass_.Loaded()) return 0;
  int count = 0;
  for (auto& slot : addOns_) {
    if (!slot.Handle || (handle && slot.Handle != handle)) continue;
    if (bass_.BASS_PluginFree(slot.Handle)) {
      if (slot.Name == "bass_aac.so") aacReady_ = false;
      slot = TBASSAddOnInfo{};
      ++count;
    }
    if (handle) break;
  }
  return count;
}

std::string TZOZUZivade::AddOnExtList() const {
  std::string list;
  for (const auto& slot : addOns_) {
    if (!slot.Handle || !slot.FormatP) continue;
    for (int i = 0; i < slot.NumFormat; ++i)
      if (slot.FormatP[i].exts) list += platform::LowerAscii(slot.FormatP[i].exts) + ";";
  }
  return list;
}

std::string TZOZUZivade::AddOnForExt(const std::string& ext) const {
  std::string lowerExt = platform::LowerAscii(ext);
  if (lowerExt.empty()) return {};
  for (const auto& slot : addOns_) {
    if (!slot.Handle || !slot.FormatP) continue;
    std::string joined;
    for (int i = 0; i < slot.NumFormat; ++i)
      if (slot.FormatP[i].exts) joined += platform::LowerAscii(slot.FormatP[i].exts) + ";";
    // Whole entries only: ".mp" must not match "*.mp4".
    if (joined.find("*" + lowerExt + ";") != std::string::npos) return slot.Name;
  }
  return {};
}

bool TZOZUZivade::LoadSoundFont(const std::string& path, TMIDI_FONTINFO& info) {
  if (!families_->MIDILoaded() || !platform::FileExists(path)) return false;
  TBassMIDI& midi = families_->midi;
  HSOUNDFONT font = midi.BASS_MIDI_FontInit(path.c_str(), 0);
  if (!font) return false;
  BASS_MIDI_FONTINFO fi{};
  if (midi.BASS_MIDI_FontGetInfo(font, &fi)) {
    info.FontName = fi.name ? fi.name : "";
    info.Notice = fi.copyright ? fi.copyright : "";
    info.Comment = fi.comment ? fi.comment : "";
    info.Presets = fi.presets;
    info.SampleSize = fi.samsize;
    info.SampleLoaded = fi.samload;
  }
  families_->FreeFont(soundFont_);
  soundFont_ = 0;
  soundFontReady_ = false;
  BASS_MIDI_FONT entry{font, -1, 0};
  if (!midi.BASS_MIDI_StreamSetFonts(0, &entry, 1)) {
    families_->FreeFont(font);  // nobody could use it
    return false;
  }
  soundFont_ = font;
  fontInfo_ = info;
  soundFontReady_ = true;
  return true;
}

bool TZOZUZivade::GetMIDITrackInfo(const std::string& name, TMIDITrackInfo& info) {
  info.TrackCount = 0;
  if (!families_->MIDILoaded()) return false;
  DWORD channel = 0;
  bool temporary = false;
  if (name == streamInfo_.FileName && streamKind_ == skMIDI) {
    channel = decodeChannel_;
  } else {
    std::string ext = platform::LowerAscii(platform::ExtractFileExt(name));
    if (ext.size() >= 3 && std::strstr("*.mid;*.midi;*.rmi;*.kar;", ("*" + ext + ";").c_str())) {
      if (name.rfind("http://", 0) == 0 || name.rfind("mms://", 0) == 0)
        channel = families_->midi.BASS_MIDI_StreamCreateURL(name.c_str(), 0, 0x200000, nullptr, nullptr, 44100);
      else
        channel = families_->MIDIStreamCreateFile(name, 0x200000, 44100);
      temporary = channel != 0;
    }
  }
  if (!channel) return false;
  int count = 0;
  for (int i = 0; i < 256; ++i) {
    const char* text = bass_.BASS_ChannelGetTags(channel, 0x11000 + i);
    if (!text) break;
    info.Tracks[i] = text;
    ++count;
  }
  if (temporary) bass_.BASS_StreamFree(channel);
  if (count <= 0) return false;
  info.TrackCount = count;
  return true;
}

}  // namespace engine

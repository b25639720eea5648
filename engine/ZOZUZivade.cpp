#include "engine/ZOZUZivade.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/AddonFamilies.h"
#include "engine/VisDataThread.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "plugins/Drawers.h"
#include "plugins/PluginCtrl.h"

namespace engine {

namespace {
constexpr uint32_t kVolumeStep = 39;  // 255 gives 9945 of the library's 10000
constexpr DWORD kDecodeOnly = 0x200000;
constexpr int kFadeMs = 500;
constexpr platform::WPARAM kSpectrumTimer = 1;  // 25 ms ticks while playing and listened to
constexpr platform::WPARAM kVisResumeTimer = 2;  // one shot: feed a visualisation module again
// A fade whose end notice never comes (the output stopped meanwhile) must not hang the caller.
constexpr int kFadeWaitRounds = 100;
// Draining the queued sound after the end: 50 ms steps; an output whose position stands
// still for two seconds, or that plays three seconds longer than what was queued, is stalled.
constexpr int kDrainStepMs = 50;
constexpr int kDrainStillRounds = 40;
constexpr int kDrainGraceRounds = 60;

std::string StripQuotes(const std::string& name) {
  std::string s = name;
  if (!s.empty() && s.front() == '"') s.erase(0, 1);
  if (!s.empty() && s.back() == '"') s.pop_back();
  return s;
}


}  // namespace


// Library callbacks: they run on library threads and only post to the hidden window.
struct EngineCallbacks {
  static void CALLBACK EndProc(HSYNC, DWORD channel, DWORD, void* user) {
    platform::PostMessage(static_cast<platform::HWND>(user), WM_BASS_PLAYEND, channel, 0);
  }
  static void CALLBACK SlideOutProc(HSYNC, DWORD, DWORD, void* user) {
    platform::PostMessage(static_cast<platform::HWND>(user), WM_BASS_SLIDEDONE, 0, 0);
  }
  static void CALLBACK SlideInProc(HSYNC, DWORD, DWORD, void* user) {
    platform::PostMessage(static_cast<platform::HWND>(user), WM_BASS_SLIDEDONE, 1, 0);
  }
};

TZOZUZivade::TZOZUZivade(platform::HWND owner)
    : families_(std::make_unique<TAddonFamilies>()), errorBox_(platform::ProgramFolder()), owner_(owner) {
  hiddenWindow_ = platform::CreateMessageWindow(
      [this](platform::HWND, platform::UINT m, platform::WPARAM w, platform::LPARAM l) { return WndProc(m, w, l); });
  msgSendingData_ = platform::RegisterWindowMessage("WM_BASSSendingData");

  std::string folder = ProgramFolder();
  if (!bass_.Load(folder + "bass.so")) return;  // unready: Open says so
  DWORD version = bass_.BASS_GetVersion();
  if (!IsBassVersion24(version)) {
    errorBox_.ShowError("BASS version is not 2.4 !");
    bass_.Unload();
    return;
  }
  bass_.BASS_SetConfig(0x10200, 1);
  bass_.BASS_SetConfig(21, 1);
  bass_.BASS_SetConfig(0x10103, 1);
  bass_.BASS_SetConfig(0x10101, 1);
  if (!bass_.BASS_Init(1, 44100, 0, nullptr, nullptr)) {
    ShowLibError("Can't initialize device");
    bass_.Unload();
    return;
  }
  bassReady_ = true;
  BASS_INFO info{};
  if (bass_.BASS_GetInfo(&info) && info.dsver >= 8) {
    dx8EffectReady_ = true;
  } else {
    dx8EffectReady_ = false;
    platform::ShowMessage("DirectX Ver 8 or higher is not installed.\r\nSound effects except rotate are disabled.",
                          platform::kCaptionWarning, platform::MsgIcon::Warning);
  }
  // Equaliser gains 0, effect levels 16, every switch off: the members' starting values.
  volume_ = 255;
  ApplyGlobalVolume(volume_ * kVolumeStep);
  bassDllVer_ = std::to_string((version >> 24) & 0xFF) + "." + std::to_string((version >> 16) & 0xFF) + "." +
                std::to_string((version >> 8) & 0xFF) + "." + std::to_string(version & 0xFF);

  // Dual-channel is the default once the plug-in host has its buffers.
  // The drawer libraries are optional: without them their features stay off. The vis
  // drawer is loaded here, before the visualisation driver that is handed it.
  miniBrowser_ = plugins::StartMiniBrowser(folder + "plugins/RARareru.so", owner_, hiddenWindow_, msgSendingData_);
  visDrawerLib_ = plugins::LoadVisDrawer(folder + "plugins/DorIzivur2.so");
  pluginBuffersReady_ = plugins::InitPluginCtrl(hiddenWindow_, owner_, miniBrowser_, msgSendingData_, &bass_);
  singleChannelConfig_ = !pluginBuffersReady_;
  if (pluginBuffersReady_) InitVis();
  if (!pluginBuffersReady_)
    errorBox_.ShowError(
        "Failed to get buffer.\n - Cannot run Winamp input plug-ins.\n - Cannot support dual channel mode.");

  std::string addons = folder + "plugins/bass/";
  if (platform::FileExists(addons + "basswma.so") && bass_.BASS_PluginLoad((addons + "basswma.so").c_str(), 0))
    wmaReady_ = true;
  if (platform::FileExists(addons + "bassmix.so")) {
    if (families_->LoadMixer(addons + "bassmix.so")) {
      if (families_->MixerVersionOk()) mixerReady_ = true;
      else errorBox_.ShowError("BASS Mixer version is not 2.4 !");
    }
  }
  if (families_->LoadCD(addons + "basscd.so")) cdDrives_ = families_->ListDrives();
  families_->LoadMIDI(addons + "bassmidi.so");
}

TZOZUZivade::~TZOZUZivade() {
  // Connections given up still run in the library: they end within its network timeout.
  connectCancel_ = true;
  JoinFinishedConnects(true);
  metaRecord_.Disarm();
  netStatus_.Disarm();
  if (hiddenWindow_) platform::KillTimer(hiddenWindow_, kSpectrumTimer);
  QuitVis();
  plugins::QuitMiniBrowserAndDrawers();
  if (streamKind_ == skPlugin) {
    if (In_Module* m = PluginModule(); m && PluginRunning() && m->Stop) m->Stop();
  } else if (bassReady_ && outputChannel_ && IsBassKind()) {
    bass_.BASS_ChannelStop(outputChannel_);
    if (!singleChannelStream_) plugins::StopPlayThread();
  }
  if (plugins::IsDSPActive()) plugins::DeactivateDSPModule();
  // The host goes before the library: its output stream belongs to it.
  plugins::SelectInputPlugin(-1);
  if (pluginBuffersReady_) plugins::QuitPluginCtrl();
  if (bass_.Loaded()) {
    FreeDecodeChannel();
    bass_.BASS_PluginFree(0);
    bass_.BASS_Free();
  }
  families_->FreeFont(soundFont_);
  families_.reset();
  bass_.Unload();
  plugins::UnloadDrawerLibraries();
  miniBrowser_ = nullptr;
  visDrawerLib_ = nullptr;
  errorBox_.Drop();
  if (hiddenWindow_) platform::DestroyWindow(hiddenWindow_);
}

std::string TZOZUZivade::ProgramFolder() const { return platform::ProgramFolder(); }

bool TZOZUZivade::CDReady() const { return families_->CDLoaded(); }
bool TZOZUZivade::MIDIReady() const { return families_->MIDILoaded(); }

bool TZOZUZivade::SingleChannel() const { return singleChannelStream_; }

void TZOZUZivade::SetSingleChannel(bool on) {
  if (!on && !pluginBuffersReady_) {
    errorBox_.ShowError("Cannot support dual channel mode. (Failed to get buffer)");
    return;
  }
  singleChannelConfig_ = on;
}

void TZOZUZivade::SetVisScale(uint16_t scale) {
  if (scale < 256 || scale > 1024) return;
  visScale_ = scale;
  if (visData_) visData_->SetScale(scale);
}

void TZOZUZivade::ShowLibError(const std::string& message) {
  errorBox_.ShowBASSError(message, bass_.Loaded() ? bass_.BASS_ErrorGetCode() : -1);
}

void TZOZUZivade::ApplyGlobalVolume(uint32_t value) {
  bass_.BASS_SetConfig(6, value);
  bass_.BASS_SetConfig(5, value);
}

// ---------------------------------------------------------------------------
// Modes

void TZOZUZivade::SetMode(TPlayerMode mode) {
  TPlayerMode old = mode_;
  mode_ = mode;
  if (mode == plmStandby) {
    streamName_.clear();
    streamInfo_.FileName.clear();
    streamInfo_.Title.clear();
    streamInfo_.FileSize = 0;
    streamInfo_.Duration = 0;
    streamInfo_.Channels = 0;
    streamInfo_.SampleRate = 0;
    streamInfo_.BitRate = 0;
  }
  plugins::SetPlayerMode(mode);
  // Spectrum ticks run only while playing.
  if (mode == plmPlaying) {
    if (old != plmPlaying) bands_.fill(0);
    StartSpectrumTimer();
  } else if (hiddenWindow_) {
    platform::KillTimer(hiddenWindow_, kSpectrumTimer);
  }
  VisModeChanged(mode);
  NoteDecoder();
  if (OnModeChange) OnModeChange(this, old, mode);
}

void TZOZUZivade::NoteDecoder() {
  if (decoderName_ == notedDecoder_ && pluginSlot_ == notedSlot_) return;
  notedDecoder_ = decoderName_;
  notedSlot_ = pluginSlot_;
  if (OnDecoderChange) OnDecoderChange(this);
}

// ---------------------------------------------------------------------------
// Spectrum bands for the main window's level display

namespace {
// Upper FFT bin of each band; band 0 starts at bin 1 (bin 0 is left out).
constexpr int kBandUpperBin[25] = {1,  2,  3,  6,  12, 18, 24, 30,  36,  42,  48,  54, 60,
                                   66, 72, 78, 84, 90, 96, 102, 108, 120, 132, 156, 180};
}  // namespace

void TZOZUZivade::UpdateBands(const float* mag, TBandOut& kept) {
  int first = 1;
  for (int i = 0; i < 25; ++i) {
    float peak = 0;
    for (int b = first; b <= kBandUpperBin[i]; ++b) peak = std::max(peak, mag[b]);
    first = kBandUpperBin[i] + 1;
    long fresh = std::lround((i * 0.15 + 1) * peak * 80);
    fresh = std::clamp<long>(fresh, 0, 65535);
    if (kept[i] > fresh) {
      long fallen = kept[i] < 2 ? 0 : kept[i] - 2;
      kept[i] = static_cast<uint16_t>(std::max(fallen, fresh));
    } else {
      kept[i] = static_cast<uint16_t>(fresh);
    }
  }
}

void TZOZUZivade::StartSpectrumTimer() {
  if (mode_ == plmPlaying && OnNewFFTData && spectrumWanted_ && hiddenWindow_)
    platform::SetTimer(hiddenWindow_, kSpectrumTimer, 25);
}

void TZOZUZivade::SetSpectrumWanted(bool wanted) {
  if (wanted == spectrumWanted_) return;
  spectrumWanted_ = wanted;
  if (wanted) StartSpectrumTimer();
  else if (hiddenWindow_) platform::KillTimer(hiddenWindow_, kSpectrumTimer);
}

void TZOZUZivade::SpectrumTick() {
  // The timer keeps its period while the ticks go on (stopping and setting it again on every tick
  // only cost the loop work); it is stopped where a tick finds nothing to show.
  if (!outputChannel_ || mode_ != plmPlaying || !OnNewFFTData || !spectrumWanted_) {
    platform::KillTimer(hiddenWindow_, kSpectrumTimer);
    return;
  }
  DWORD active = bass_.BASS_ChannelIsActive(outputChannel_);
  if (active != BASS_ACTIVE_PLAYING && active != BASS_ACTIVE_STALLED) {
    platform::KillTimer(hiddenWindow_, kSpectrumTimer);  // stays stopped
    return;
  }
  float fft[512];
  if (bass_.BASS_ChannelGetData(outputChannel_, fft, BASS_DATA_FFT1024) == DWORD(-1)) bands_.fill(0);
  else UpdateBands(fft, bands_);
  // Sent, not posted: the display is drawn inside this tick, so the loop wakes once per frame
  // instead of once for the timer and once more for the queued notice.
  platform::SendMessage(hiddenWindow_, WM_BASS_NEWFFTDATA, 0, 0);
}

// ---------------------------------------------------------------------------
// Open and close

void TZOZUZivade::FreeDecodeChannel() {
  if (!decodeChannel_) return;
  if (streamKind_ == skMusic) bass_.BASS_MusicFree(decodeChannel_);
  else if (streamKind_ == skMIDI || streamKind_ == skCD || streamKind_ == skWMA || streamKind_ == skFile)
    bass_.BASS_StreamFree(decodeChannel_);
  decodeChannel_ = 0;
}

In_Module* TZOZUZivade::PluginModule() const {
  return streamKind_ == skPlugin ? plugins::GetInputModule(pluginSlot_) : nullptr;
}

void TZOZUZivade::Close() {
  if (connecting_) connectCancel_ = true;  // the connection under way is given up
  if (streamKind_ == skNone && !decodeChannel_) return;
  // Notices of the network procedures posted for this stream are dropped from now on.
  metaRecord_.Disarm();
  netStreamId_ = 0;
  tagList_.clear();
  httpHeaders_.clear();
  icyHeaders_.clear();
  metaTitle_.clear();
  ++streamGen_;
  if (streamKind_ == skPlugin) {
    if (In_Module* m = PluginModule(); m && (outputChannel_ || PluginRunning()) && m->Stop) m->Stop();
    MarkPluginRun();
    plugins::SelectInputPlugin(-1);
    pluginSlot_ = -1;
    outputOpen_ = starting_ = false;
  } else if (IsBassKind() && !singleChannelStream_) {
    plugins::StopPlayThread();
  }
  FreeDecodeChannel();
  outputChannel_ = 0;
  ResetEffectHandles();
  streamKind_ = skNone;
  streamName_.clear();
  streamInfo_.FileName.clear();
  streamInfo_.FileSize = 0;
  streamInfo_.SampleRate = 0;
  decoderName_.clear();
  endSync_ = lyricSync_ = slideSync_ = 0;
  fading_ = false;
  networkFile_ = liveBroadcast_ = downloadComplete_ = false;
  if (mode_ != plmStandby) SetMode(plmStandby);
  else NoteDecoder();
}

bool TZOZUZivade::Open(const std::string& nameIn) {
  if (!bassReady_) {
    errorBox_.ShowError("Player is not ready !");
    return false;
  }
  if (connecting_) connectCancel_ = true;  // the newer request wins
  std::string name = StripQuotes(nameIn);
  TStreamInfo info;
  int supported = sbNone, pluginNum = -1;
  std::string pluginName;
  if (net::IsNetworkAddress(name)) {
    bool wasPlaying = false;
    if (mode_ == plmPlaying && outputChannel_) {
      bass_.BASS_ChannelPause(outputChannel_);
      wasPlaying = true;
    }
    return OpenURL(name, nameIn, wasPlaying);
  }
  if (!GetStreamInfo(name, info, supported, pluginNum, pluginName)) {
    errorBox_.ShowError("Invalid or unsupported stream file.\n -> " + nameIn);
    return false;
  }
  if (info.Channels > 8) {
    errorBox_.ShowError("Channel count exceeds. (Max Channels : 8)\n -> " + nameIn);
    return false;
  }

  bool wasPlaying = false;
  if (mode_ == plmPlaying && outputChannel_) {
    bass_.BASS_ChannelPause(outputChannel_);
    wasPlaying = true;
  }
  auto resumePrevious = [&] {
    if (wasPlaying) bass_.BASS_ChannelPlay(outputChannel_, FALSE);
  };

  if (pluginBuffersReady_ && pluginNum >= 0 &&
      (supported == sbPluginOnly || (supported == sbBassAndPlugin && pluginFirst_))) {
    if (!plugins::GetInputModule(pluginNum)) {
      errorBox_.ShowError("Invalid or unsupported stream file.\n -> " + nameIn);
      resumePrevious();
      return false;
    }
    Close();
    streamKind_ = skPlugin;
    pluginSlot_ = pluginNum;
    plugins::SelectInputPlugin(pluginNum);
    decoderName_ = plugins::GetPluginInfo(pluginNum).Description;
    supportedBy_ = supported;
    TakeOpenedStream(name, info);
    return true;
  }

  DWORD flags = singleChannelConfig_ ? 0 : kDecodeOnly;
  std::string ext = platform::LowerAscii(platform::ExtractFileExt(name));
  std::string upperExt = ext;
  for (char& c : upperExt) c = char(std::toupper(static_cast<unsigned char>(c)));
  DWORD handle = 0;
  int kind = skNone;
  bool aac = false;
  auto inList = [&](const char* list) {
    return upperExt.size() >= 3 && std::strstr(list, ("*" + upperExt + ";").c_str()) != nullptr;
  };
  if (upperExt == ".CDA") {
    if (families_->CDLoaded()) handle = families_->CDStreamCreateFile(name, flags);
    kind = skCD;
  } else if (inList("*.MO3;*.IT;*.XM;*.S3M;*.MTM;*.MOD;*.UMX;")) {
    handle = bass_.BASS_MusicLoad(FALSE, name.c_str(), 0, 0, 0x28400 + flags, 0);
    kind = skMusic;
  } else if (inList("*.MID;*.MIDI;*.RMI;*.KAR;")) {
    if (soundFontReady_) {
      handle = families_->MIDIStreamCreateFile(name, flags, 44100);
    } else {
      if (families_->MIDILoaded()) errorBox_.ShowError("None of sound font is loaded.");
      resumePrevious();
      return false;
    }
    kind = skMIDI;
  } else {
    handle = bass_.BASS_StreamCreateFile(FALSE, name.c_str(), 0, 0, flags);
    kind = skFile;
    if (handle) {
      BASS_CHANNELINFO ci{};
      bass_.BASS_ChannelGetInfo(handle, &ci);
      if (ci.ctype == 0x10300 || ci.ctype == 0x10301) kind = skWMA;
      aac = ci.ctype == 0x10B00 || ci.ctype == 0x10B01;
    }
  }
  if (!handle) {
    errorBox_.ShowError("Invalid or unsupported stream file.\n -> " + nameIn);
    resumePrevious();
    return false;
  }

  Close();
  decodeChannel_ = handle;
  streamKind_ = kind;
  BASS_CHANNELINFO ci{};
  bass_.BASS_ChannelGetInfo(handle, &ci);
  bool eightBit = (ci.flags & BASS_SAMPLE_8BITS) != 0;
  if (info.BitsPerSample == 32 || (info.BitsPerSample == 16 && eightBit)) {
    errorBox_.ShowError(info.BitsPerSample == 32 ? "TZOZUZivade does not support 32-bit sources."
                                                 : "Sound card does not support 16-bit sources.");
    FreeDecodeChannel();
    streamKind_ = skNone;
    return false;
  }
  // The library's own file names stand for the decoders (the add-on manager compares them).
  if (GetNativeFileExts().find("*" + ext + ";") == std::string::npos) {
    decoderName_ = AddOnForExt(ext);
  } else if (kind == skCD) {
    decoderName_ = "basscd.so";
  } else if (kind == skWMA) {
    decoderName_ = "basswma.so";
  } else if (kind == skMIDI) {
    decoderName_ = "bassmidi.so";
  } else if (aac) {
    decoderName_ = "bass_aac.so";
  } else {
    decoderName_ = "bass.so";
  }

  supportedBy_ = supported;
  TakeOpenedStream(name, info);
  return true;
}

// ---------------------------------------------------------------------------
// Play, pause, stop

void TZOZUZivade::Play() {
  if (busy_ || streamKind_ == skNone) return;
  switch (mode_) {
    case plmPlaying:
      return;
    case plmPaused:
      Pause(false);
      return;
    case plmStopped:
      if (liveBroadcast_) {  // a broadcast is not repositioned: it is reopened
        ReopenLive();
        return;
      }
      if (IsBassKind()) {
        bass_.BASS_ChannelSetPosition(decodeChannel_, 0, BASS_POS_BYTE);
        QWORD pos = bass_.BASS_ChannelGetPosition(decodeChannel_, BASS_POS_BYTE);
        QWORD len = bass_.BASS_ChannelGetLength(decodeChannel_, BASS_POS_BYTE);
        if (pos == len) {
          errorBox_.ShowError("Playback reposition of opened stream is not allowed.");
          return;
        }
      }
      Restart();
      return;
    case plmReady:
      break;
    case plmStandby:
      return;
  }
  // plmReady: the band values start from zero (visualisation data, when it exists).
  if (streamKind_ == skPlugin) {
    In_Module* m = PluginModule();
    busy_ = true;
    starting_ = true;
    outputOpen_ = false;
    MarkPluginRun();
    int r = m && m->Play ? m->Play(streamName_.c_str()) : -1;
    busy_ = false;
    if (r != 0) {
      starting_ = false;
      errorBox_.ShowError("Can't play the specified stream.\n -> " + streamName_);
      plugins::SelectInputPlugin(-1);
      pluginSlot_ = -1;
      decoderName_.clear();
      NoteDecoder();
      return;
    }
    SetMode(plmPlaying);
    return;
  }
  if (singleChannelStream_) {
    outputChannel_ = decodeChannel_;  // the decoding channel is what plays
  } else {
    // A broadcast (and a network WMA file) fills its buffer before play starts.
    if ((liveBroadcast_ || (networkFile_ && streamKind_ == skWMA)) && !PreBuffer(decodeChannel_)) return;
    BASS_CHANNELINFO ci{};
    bass_.BASS_ChannelGetInfo(decodeChannel_, &ci);
    int bits = (ci.flags & BASS_SAMPLE_8BITS) ? 8 : 16;
    const uint64_t gen = streamGen_;
    DWORD output =
        plugins::StartPlayThread(decodeChannel_, decodeChannel_, int(ci.freq), liveBroadcast_, bits, int(ci.chans));
    // Starting the thread pumps messages: a stream closed meanwhile took its output with it.
    if (gen != streamGen_) return;
    outputChannel_ = output;
    if (!outputChannel_) {
      ShowLibError("Could not open the channel for play.");
      decoderName_.clear();
      NoteDecoder();
      return;
    }
    plugins::SetChannelState(streamKind_, decodeChannel_, outputChannel_, int(ci.chans), int(ci.freq));
  }
  UpdateVisStream();
  ResetEffectHandles();  // a new output starts without effects
  SetSoundEffects(effectBits_);
  ApplyOutputState();
  // The syncs go in before play starts: a short stream could otherwise end before they exist.
  endSync_ = bass_.BASS_ChannelSetSync(decodeChannel_, BASS_SYNC_END, 0, &EngineCallbacks::EndProc, hiddenWindow_);
  if (streamKind_ == skMIDI) lyricSync_ = families_->SetLyricSync(bass_, decodeChannel_, hiddenWindow_);
  // A restart would throw away a seek made before play when the decoding channel itself plays.
  if (!bass_.BASS_ChannelPlay(outputChannel_, outputChannel_ == decodeChannel_ ? FALSE : TRUE)) {
    ShowLibError("Could not open the channel for play.");
    bass_.BASS_ChannelRemoveSync(decodeChannel_, endSync_);
    if (lyricSync_) bass_.BASS_ChannelRemoveSync(decodeChannel_, lyricSync_);
    endSync_ = lyricSync_ = 0;
    decoderName_.clear();
    NoteDecoder();
    return;
  }
  SetMode(plmPlaying);
}

void TZOZUZivade::Restart() {
  if (busy_) return;
  if (streamKind_ == skPlugin) {
    In_Module* m = PluginModule();
    if (!m || !m->Play) return;
    busy_ = true;
    starting_ = true;
    outputOpen_ = false;
    MarkPluginRun();
    int r = m->Play(streamName_.c_str());
    busy_ = false;
    if (r != 0) {
      starting_ = false;
      return;
    }
    SetMode(plmPlaying);
    return;
  }
  if (IsBassKind()) {
    if (DualChannel()) plugins::ResetRing();
    if (!bass_.BASS_ChannelPlay(outputChannel_, TRUE)) return;
    SetMode(plmPlaying);
  }
}

// Moves the decoding channel; in dual-channel mode the ring is emptied after the
// move, so no block decoded before it can still reach the output.
void TZOZUZivade::SeekDecodeChannel(uint32_t ms) {
  bass_.BASS_ChannelSetPosition(decodeChannel_, bass_.BASS_ChannelSeconds2Bytes(decodeChannel_, ms / 1000.0),
                                BASS_POS_BYTE);
  if (DualChannel()) plugins::ResetRing();
}

bool TZOZUZivade::FadeOutAndWait() {
  const uint64_t gen = streamGen_;
  SetMuted(true, kFadeMs);
  for (int i = 0; fading_ && gen == streamGen_ && i < kFadeWaitRounds; ++i) Pump(20);
  // The end of the stream, handled during the wait, may have opened the next one.
  if (gen != streamGen_) return false;
  if (fading_) {  // the end notice did not come: finish the fade ourselves
    fading_ = false;
    if (slideSync_) bass_.BASS_ChannelRemoveSync(outputChannel_, slideSync_);
    slideSync_ = 0;
    ApplyGlobalVolume(0);
  }
  return true;
}

void TZOZUZivade::RestoreVolumeAtOnce() {
  ApplyGlobalVolume(volume_ * kVolumeStep);
  if (outputChannel_) bass_.BASS_ChannelSetAttribute(outputChannel_, BASS_ATTRIB_VOL, 1.0f);
  muted_ = false;
}

void TZOZUZivade::Pause(bool pause) {
  if (pause) {
    if (mode_ != plmPlaying) return;
    bool faded = !muted_;
    if (faded && !FadeOutAndWait()) {  // another stream plays now: it is not to be paused, and is heard
      RestoreVolumeAtOnce();
      return;
    }
    if (mode_ != plmPlaying) {  // the stream ended while the fade ran
      if (faded) RestoreVolumeAtOnce();
      return;
    }
    if (streamKind_ == skPlugin) {
      if (In_Module* m = PluginModule(); m && m->Pause) m->Pause();
    } else if (IsBassKind()) {
      bass_.BASS_ChannelPause(outputChannel_);
    }
    if (faded) RestoreVolumeAtOnce();
    SetMode(plmPaused);
    return;
  }
  if (mode_ != plmPaused) return;
  bool mutedHere = false;
  if (!muted_) {
    SetMuted(true, 0);
    mutedHere = true;
  }
  if (liveBroadcast_) {  // a broadcast resumes where it is now: it is reopened
    ReopenLive();
    if (mutedHere) SetMuted(false, kFadeMs);
    return;
  }
  uint32_t pos = GetPosition();
  uint32_t target = pos <= 500 ? 0 : pos - 500;
  if (streamKind_ == skPlugin) {
    if (In_Module* m = PluginModule()) {
      // Back half a second as with any other stream, while the output is still paused.
      if (m->SetOutputTime && CanSeek()) {
        MarkPluginRun();
        plugins::SetSeekPending();
        m->SetOutputTime(int(target));
      }
      if (m->UnPause) m->UnPause();
    }
  } else if (IsBassKind()) {
    if (DualChannel()) {
      // Stopped before the move: the output must not read the ring while it is emptied.
      bass_.BASS_ChannelStop(outputChannel_);
    }
    SeekDecodeChannel(target);
    // When the decoding channel itself plays, a restart would go back to the start of the file.
    bass_.BASS_ChannelPlay(outputChannel_, outputChannel_ == decodeChannel_ ? FALSE : TRUE);
  }
  if (mutedHere) SetMuted(false, kFadeMs);
  SetMode(plmPlaying);
}

void TZOZUZivade::Stop() {
  if (prebuffering_) prebufferCancel_ = true;  // Play ends its wait without playing
  if (mode_ != plmPlaying && mode_ != plmPaused) return;
  bool faded = !muted_;
  if (faded && !FadeOutAndWait()) {  // another stream plays now: it is not to be stopped, and is heard
    RestoreVolumeAtOnce();
    return;
  }
  if (mode_ != plmPlaying && mode_ != plmPaused) {  // the stream ended while the fade ran
    if (faded) RestoreVolumeAtOnce();
    return;
  }
  if (streamKind_ == skPlugin) {
    // A plug-in asked to play whose output has not opened yet is decoding already: it is stopped too.
    if (In_Module* m = PluginModule(); m && PluginRunning() && m->Stop) m->Stop();
    MarkPluginRun();
    outputChannel_ = 0;
    ResetEffectHandles();
    outputOpen_ = starting_ = false;
  } else if (IsBassKind()) {
    bass_.BASS_ChannelStop(outputChannel_);
  }
  if (faded) RestoreVolumeAtOnce();
  SetMode(plmStopped);
}

// ---------------------------------------------------------------------------
// Positions

uint32_t TZOZUZivade::GetLength() {
  if (streamKind_ == skNone) return 0;
  if (!IsBassKind()) return static_cast<uint32_t>(std::max(0, streamInfo_.Duration));
  QWORD len = bass_.BASS_ChannelGetLength(decodeChannel_, BASS_POS_BYTE);
  if (len == QWORD(-1) || len == 0) return 0;
  double s = bass_.BASS_ChannelBytes2Seconds(decodeChannel_, len);
  return s > 0 ? static_cast<uint32_t>(std::lround(s * 1000)) : 0;
}

uint32_t TZOZUZivade::GetPosition() {
  if (streamKind_ == skPlugin) return mode_ == plmReady ? 0 : uint32_t(std::max(0, plugins::GetPluginOutputTime()));
  if (streamKind_ == skNone || !IsBassKind()) return 0;
  QWORD pos = 0, ahead = 0;
  auto decoded = [&] { return uint64_t(bass_.BASS_ChannelGetPosition(decodeChannel_, BASS_POS_BYTE)); };
  // With the play thread, the decoder's position and what waits in the ring are read together: a
  // fill step takes several blocks from the decoder before it writes them into the ring.
  if (DualChannel() && outputChannel_) ahead = plugins::DecodedAheadOfRing(decoded, &pos);
  else pos = decoded();
  if (pos == QWORD(-1) || pos == 0) return 0;
  if (DualChannel() && outputChannel_) {
    // Decoded but not heard: what waits in the ring and in the output stream's own buffer.
    DWORD buffered = bass_.BASS_ChannelGetData(outputChannel_, nullptr, BASS_DATA_AVAILABLE);
    QWORD waiting = ahead + (buffered == DWORD(-1) ? 0 : buffered);
    if (waiting >= pos) return 0;
    pos -= waiting;
  }
  double s = bass_.BASS_ChannelBytes2Seconds(decodeChannel_, pos);
  return s > 0 ? static_cast<uint32_t>(std::lround(s * 1000)) : 0;
}

bool TZOZUZivade::CanSeek() {
  if (streamKind_ == skNone || liveBroadcast_) return false;
  if (streamKind_ == skPlugin) return plugins::GetPluginInfo(pluginSlot_).Seekable != 0;
  if (networkFile_) return streamKind_ != skWMA && downloadComplete_;
  return true;
}

void TZOZUZivade::SetPosition(uint32_t ms) {
  if (!CanSeek() || ms > GetLength() || busy_) return;
  const uint64_t gen = streamGen_;
  bool faded = false;
  if (!muted_ && mode_ == plmPlaying) {
    faded = true;
    if (!FadeOutAndWait()) {  // the position was meant for a stream that is gone
      RestoreVolumeAtOnce();
      return;
    }
  }
  if (streamKind_ == skPlugin) {
    In_Module* m = PluginModule();
    if (m && m->SetOutputTime) {
      bool wait = mode_ == plmPlaying && outputOpen_;
      if (wait) starting_ = true;
      MarkPluginRun();
      plugins::SetSeekPending();
      m->SetOutputTime(int(ms));
      for (int i = 0; wait && i < 51 && mode_ == plmPlaying && starting_ && gen == streamGen_; ++i)
        Pump(40);
      if (gen != streamGen_) {
        if (faded) RestoreVolumeAtOnce();
        return;
      }
      starting_ = false;
    }
  } else if (IsBassKind()) {
    bool restart = false;
    if (DualChannel() && outputChannel_) {
      DWORD state = bass_.BASS_ChannelIsActive(outputChannel_);
      // A paused output is stopped too: what it buffered belongs to the old position.
      if (state == BASS_ACTIVE_PLAYING || state == BASS_ACTIVE_STALLED || state == BASS_ACTIVE_PAUSED)
        bass_.BASS_ChannelStop(outputChannel_);
      restart = state == BASS_ACTIVE_PLAYING || state == BASS_ACTIVE_STALLED;
    }
    SeekDecodeChannel(ms);
    if (restart) bass_.BASS_ChannelPlay(outputChannel_, TRUE);
  }
  if (faded) SetMuted(false, kFadeMs);
}

// ---------------------------------------------------------------------------
// Loudness

void TZOZUZivade::SetVolume(uint32_t v) {
  if (!bassReady_) return;
  volume_ = std::min<uint32_t>(v, 255);
  if (streamKind_ == skPlugin) {
    if (In_Module* m = PluginModule(); m && m->SetVolume) m->SetVolume(int(volume_));
    return;
  }
  if (!muted_) ApplyGlobalVolume(volume_ * kVolumeStep);
}

void TZOZUZivade::SetMuted(bool mute, int fade) {
  if (!bassReady_ || fading_ || mute == muted_) return;
  bool slide = fade >= 50 && outputChannel_ != 0;
  muted_ = mute;
  if (mute) {
    if (slide) {
      fading_ = true;
      bass_.BASS_ChannelSlideAttribute(outputChannel_, BASS_ATTRIB_VOL, 0.0f, kFadeMs);
      slideSync_ = bass_.BASS_ChannelSetSync(outputChannel_, BASS_SYNC_SLIDE, 0, &EngineCallbacks::SlideOutProc,
                                             hiddenWindow_);
    } else {
      ApplyGlobalVolume(0);
      if (outputChannel_) bass_.BASS_ChannelSetAttribute(outputChannel_, BASS_ATTRIB_VOL, 0.0f);
    }
    return;
  }
  ApplyGlobalVolume(volume_ * kVolumeStep);
  if (slide) {
    fading_ = true;
    bass_.BASS_ChannelSetAttribute(outputChannel_, BASS_ATTRIB_VOL, 0.0f);
    bass_.BASS_ChannelSlideAttribute(outputChannel_, BASS_ATTRIB_VOL, 1.0f, kFadeMs);
    slideSync_ =
        bass_.BASS_ChannelSetSync(outputChannel_, BASS_SYNC_SLIDE, 0, &EngineCallbacks::SlideInProc, hiddenWindow_);
  } else if (outputChannel_) {
    bass_.BASS_ChannelSetAttribute(outputChannel_, BASS_ATTRIB_VOL, 1.0f);
  }
}

void TZOZUZivade::HandleSlideDone(int direction) {
  if (!fading_) return;  // a late notice of a fade already finished
  if (direction == 0) ApplyGlobalVolume(0);
  fading_ = false;
  if (slideSync_ && outputChannel_) bass_.BASS_ChannelRemoveSync(outputChannel_, slideSync_);
  slideSync_ = 0;
}

void TZOZUZivade::SetBalance(float balance) {
  if (!bassReady_) return;
  balance_ = balance;
  if (outputChannel_) bass_.BASS_ChannelSetAttribute(outputChannel_, BASS_ATTRIB_PAN, balance);
}

void TZOZUZivade::SetSpeed(float hz) {
  if (!bassReady_) return;
  speed_ = hz;
  if (outputChannel_) bass_.BASS_ChannelSetAttribute(outputChannel_, BASS_ATTRIB_FREQ, hz);
}

void TZOZUZivade::ApplyOutputState() {
  if (!bassReady_ || !outputChannel_) return;
  bass_.BASS_ChannelSetAttribute(outputChannel_, BASS_ATTRIB_PAN, balance_);
  bass_.BASS_ChannelSetAttribute(outputChannel_, BASS_ATTRIB_FREQ, speed_);  // 0: the stream's own rate
  if (fading_) return;  // the running slide owns the channel's volume
  bass_.BASS_ChannelSetAttribute(outputChannel_, BASS_ATTRIB_VOL, muted_ ? 0.0f : 1.0f);
  if (streamKind_ != skPlugin) ApplyGlobalVolume(muted_ ? 0 : volume_ * kVolumeStep);
}

// ---------------------------------------------------------------------------
// End of playback and the hidden window

// Every kind of open ends alike: the new stream is the current one, with a new identity.
void TZOZUZivade::TakeOpenedStream(const std::string& name, const TStreamInfo& info) {
  singleChannelStream_ = singleChannelConfig_;
  streamName_ = name;
  streamInfo_ = info;
  plugins::SetStreamDuration(info.Duration);
  ++streamGen_;
  UpdateVisInfo();
  SetMode(plmReady);
}

bool TZOZUZivade::Pump(int ms) {
  ++pumping_;
  const bool more = platform::PumpAndSleep(ms);
  --pumping_;
  return more;
}

void TZOZUZivade::CancelWaits() {
  connectCancel_ = true;
  prebufferCancel_ = true;
}

bool TZOZUZivade::DrainOutput(bool stalledCounts) {
  const uint64_t gen = streamGen_;
  const DWORD out = outputChannel_;
  if (!out) return true;
  // What is still to be heard: the ring and the output's own buffer.
  DWORD buffered = bass_.BASS_ChannelGetData(out, nullptr, BASS_DATA_AVAILABLE);
  QWORD queued = QWORD(plugins::RingUsed()) + (buffered == DWORD(-1) ? 0 : buffered);
  double queuedSeconds = std::max(0.0, bass_.BASS_ChannelBytes2Seconds(out, queued));
  const int limit = int(queuedSeconds * 1000 / kDrainStepMs) + kDrainGraceRounds;
  QWORD last = bass_.BASS_ChannelGetPosition(out, BASS_POS_BYTE);
  for (int round = 0, still = 0;; ++round) {
    DWORD state = bass_.BASS_ChannelIsActive(out);
    if (state != BASS_ACTIVE_PLAYING && !(stalledCounts && state == BASS_ACTIVE_STALLED)) return true;
    if (round >= limit || still >= kDrainStillRounds) {
      // Nothing more comes (a stalled play thread): end here rather than wait for ever.
      bass_.BASS_ChannelStop(out);
      return true;
    }
    if (!Pump(kDrainStepMs)) return true;
    if (gen != streamGen_ || out != outputChannel_ || mode_ != plmPlaying) return false;  // the user acted
    QWORD pos = bass_.BASS_ChannelGetPosition(out, BASS_POS_BYTE);
    still = pos == last ? still + 1 : 0;
    last = pos;
  }
}

void TZOZUZivade::HandlePlayEnd(DWORD channel) {
  // A notice of a stream closed since it was posted is dropped.
  if (channel != decodeChannel_ || mode_ != plmPlaying) return;
  // Let the queued sound drain before reporting the end.
  // In dual-channel mode the decoder ends first: the output stalls while the ring gets its last block.
  if (!DrainOutput(DualChannel())) return;
  SetMode(plmStopped);
  if (OnPlayEnd) OnPlayEnd(this);
}

void TZOZUZivade::HandlePluginStartPlay() {
  // A notice of a run stopped before its output opened is dropped.
  if (streamKind_ != skPlugin || (!starting_ && !outputOpen_)) return;
  starting_ = false;
  outputOpen_ = true;
  In_Module* m = PluginModule();
  if (m && m->SetVolume) m->SetVolume(int(volume_));
  channelInfo_ = plugins::ChannelInfoSnapshot();
  streamInfo_.Channels = uint16_t(channelInfo_.Channels);
  streamInfo_.SampleRate = uint32_t(channelInfo_.SampleRate);
  streamInfo_.BitsPerSample = channelInfo_.BitsPerSample;
  if (streamInfo_.Duration <= 0 && m && m->GetFileInfo) {
    char title[256] = {};
    int length = 0;
    m->GetFileInfo(nullptr, title, &length);
    if (length > 0) {
      title[255] = 0;
      streamInfo_.Title = title;
      streamInfo_.Duration = length;
      plugins::SetStreamDuration(length);
    }
  }
  if (OnPluginStartPlay) OnPluginStartPlay(this, &channelInfo_);
  plugins::SetChannelState(streamKind_, decodeChannel_, outputChannel_, channelInfo_.Channels,
                           channelInfo_.SampleRate);
  UpdateVisStream();
  UpdateVisInfo();
  ResetEffectHandles();  // the plug-in's output is a new channel
  SetSoundEffects(effectBits_);
  ApplyOutputState();
  // The timer started with the play request found no output yet and stopped itself.
  StartSpectrumTimer();
}

void TZOZUZivade::HandlePluginSetInfo() {
  channelInfo_ = plugins::ChannelInfoSnapshot();
  // Bit rates from 8000 up are bit/s.
  if (channelInfo_.BitRate >= 8000) channelInfo_.BitRate /= 1000;
  streamInfo_.Channels = uint16_t(channelInfo_.Channels);
  streamInfo_.SampleRate = uint32_t(channelInfo_.SampleRate);
  streamInfo_.BitRate = channelInfo_.BitRate;
  if (OnGetChannelInfo) OnGetChannelInfo(this, &channelInfo_);
}

void TZOZUZivade::MarkPluginRun() {
  ++pluginRun_;
  platform::PostMessage(hiddenWindow_, WM_PLUGIN_RUNMARK, static_cast<platform::WPARAM>(pluginRun_), 0);
}

void TZOZUZivade::HandlePluginEnd() {
  // A late notice must not end the ring of a stream opened since (it may be the play thread's),
  // nor a later run of the plug-in: it was posted before the current run's mark came through.
  if (streamKind_ != skPlugin || pluginRunSeen_ != pluginRun_) return;
  plugins::SetEndOfInput();
  // Only the stream that plays ends, and only once.
  if (mode_ != plmPlaying) return;
  // With the end of input set, a stalled output is waiting only for the ring's last partial block.
  if (outputOpen_ && !DrainOutput(true)) return;  // the user acted meanwhile
  if (In_Module* m = PluginModule(); m && m->Stop) m->Stop();
  MarkPluginRun();
  outputChannel_ = 0;
  ResetEffectHandles();
  outputOpen_ = false;
  SetMode(plmStopped);
  if (OnPlayEnd) OnPlayEnd(this);
}

bool TZOZUZivade::StartDSPPlugin(const std::string& path, int moduleIndex) {
  if (!plugins::IsDSPBufferReady()) {
    errorBox_.ShowError("DSP buffer is not ready");
    return false;
  }
  int count = plugins::LoadDSPPlugin(path, nullptr, nullptr);
  if (moduleIndex >= 0 && moduleIndex < count) {
    if (plugins::ActivateDSPModule(moduleIndex) == 0) return true;
    plugins::UnloadDSPPlugin();
    errorBox_.ShowError("Specified DSP plug-in is not operative");
    return false;
  }
  errorBox_.ShowError(count > 0 ? "Invalid module number" : "Specified DSP plug-in is invalid");
  return false;
}

void TZOZUZivade::StopDSPPlugin() {
  if (plugins::IsDSPActive()) plugins::DeactivateDSPModule();
}

void TZOZUZivade::ShowPluginConfig() {
  if (!bassReady_) {
    errorBox_.ShowError("Player is not ready !");
    return;
  }
  if (!pluginBuffersReady_) errorBox_.ShowError("Cannot run Winamp input plug-ins. (Faild to get buffer)!");
  if (OnShowPluginConfig) OnShowPluginConfig(this, pluginFirst_);
}

platform::LRESULT TZOZUZivade::WndProc(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
  switch (msg) {
    case WM_PLUGIN_STARTPLAY:
      HandlePluginStartPlay();
      return 0;
    case WM_PLUGIN_STREAMHANDLE:
      if (streamKind_ == skPlugin) {
        outputChannel_ = static_cast<DWORD>(wParam);
        ApplyOutputState();
      }
      return 0;
    case WM_PLUGIN_SETINFO:
      HandlePluginSetInfo();
      return 0;
    case WM_WA_MPEG_EOF:
      HandlePluginEnd();
      return 0;
    case WM_PLUGIN_RUNMARK:
      pluginRunSeen_ = static_cast<uint64_t>(wParam);
      return 0;
    case WM_PLUGIN_REQUEST:
      if (OnPluginRequest) OnPluginRequest(this, static_cast<uint32_t>(wParam));
      return 0;
    case WM_PLUGIN_DECODEFAIL:
      // wParam names the decoding channel that failed: a notice about a stream closed since is dropped.
      if (IsBassKind() && !singleChannelStream_ && static_cast<DWORD>(wParam) == decodeChannel_) {
        errorBox_.ShowError("Decoding Channel is unavailable by any reasons.\nOpened stream is beging closed.");
        Close();
      }
      return 0;
    case plugins::WM_PLUGIN_DSPERROR:
      errorBox_.ShowError("DSP error");
      return 0;
    case WM_BASS_PLAYEND:
      HandlePlayEnd(static_cast<DWORD>(wParam));
      return 0;
    case WM_BASS_META:
      HandleMeta();
      return 0;
    case WM_BASS_DOWNLOADED:
      HandleDownloaded(static_cast<DWORD>(wParam));
      return 0;
    case WM_BASS_NETSTATUS:
      return 0;  // the status text waits in its record; OpenURL reads it there
    case WM_BASS_SLIDEDONE:
      HandleSlideDone(static_cast<int>(wParam));
      return 0;
    case WM_PLUGIN_FIRST:
      pluginFirst_ = lParam != 0;
      return 0;
    case WM_BASS_LYRIC: {
      // Every pending text, oldest first; later notices then find the queue empty.
      std::string text;
      while (families_->Lyrics().Take(text))
        if (OnGetLyric) OnGetLyric(this, text.c_str());
      return 0;
    }
    case WM_QUERYENDSESSION:
      platform::KillTimer(hiddenWindow_, kSpectrumTimer);
      return 1;
    case platform::WM_TIMER:
      if (wParam == kSpectrumTimer) SpectrumTick();
      else if (wParam == kVisResumeTimer) HandleVisResumeTimer();
      return 0;
    case WM_BASS_NEWFFTDATA:
      if (OnNewFFTData) OnNewFFTData(this, bands_);
      return 0;
    case WM_USER:
      return plugins::AnswerHostQuery(wParam, lParam);
    default:
      break;
  }
  if (msg == msgSendingData_ && msgSendingData_ != 0) {
    switch (wParam) {
      case 58:
        PlayListRequest(lParam);
        break;
      case 95:
        if (OnMBWindowShow) OnMBWindowShow(this, 5);
        break;
      case 96:
        if (OnMBWindowShow) OnMBWindowShow(this, 0);
        break;
      case 97:
        if (OnGenWindowShow) OnGenWindowShow(this, static_cast<uintptr_t>(lParam));
        break;
      case plugins::vcTiming:
      case plugins::vcShown:
      case plugins::vcGone:
      case plugins::vcReattached:
      case plugins::vcFinished:
        HandleVisData(wParam, lParam);
        break;
      default:
        break;
    }
  }
  return 0;
}

}  // namespace engine

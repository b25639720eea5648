// TZOZUZivade: the player's one audio engine. It binds the audio library, opens
// one stream at a time, plays, pauses, stops and seeks it, controls volume,
// mute, balance and speed, identifies files, and reports through events.
//
// Threads: every operation, every event and the hidden window's message
// procedure run on the thread that created the engine (the UI thread). The
// library's sync procedures run on library threads and only post to the hidden
// window; state changes happen when those messages arrive.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/Dynamic_Bass.h"
#include "engine/EngineTypes.h"
#include "engine/ErrorBox.h"
#include "engine/NetStream.h"
#include "plugins/VisTypes.h"
#include "plugins/sdk/winamp_input.h"

namespace engine {

struct TBASSAddOnInfo {
  HPLUGIN Handle = 0;  // 0: empty slot
  std::string Name;    // file name in lower case
  uint32_t Version = 0;
  int32_t NumFormat = 0;
  const BASS_PLUGINFORM* FormatP = nullptr;  // owned by the add-on
};
// Slots of the add-on table. Only a run-time table: large enough for every add-on
// the program folder ships plus the user's own.
constexpr size_t kAddOnSlots = 32;
using TBASSAddOnList = std::array<TBASSAddOnInfo, kAddOnSlots>;

// One file the start-up routine tried: Info.Handle is 0 when it was absent or refused.
struct TAddOnAttempt {
  std::string Path;
  TBASSAddOnInfo Info;
};

class TAddonFamilies;  // the CD, MIDI and mixer add-on bindings
class TVisDataThread;

class TZOZUZivade {
 public:
  // Kinds of the open stream.
  enum StreamKindValue { skNone = 0, skFile = 1, skCD = 2, skWMA = 3, skMusic = 4, skMIDI = 5, skPlugin = 6 };

  explicit TZOZUZivade(platform::HWND owner = nullptr);
  ~TZOZUZivade();
  TZOZUZivade(const TZOZUZivade&) = delete;
  TZOZUZivade& operator=(const TZOZUZivade&) = delete;

  // Properties.
  std::string Version() const { return "2.10.0"; }
  const std::string& BASSDLLVer() const { return bassDllVer_; }
  bool DX8EffectReady() const { return dx8EffectReady_; }
  bool SingleChannel() const;
  void SetSingleChannel(bool on);
  bool PluginFirst() const { return pluginFirst_; }
  void SetPluginFirst(bool on) { pluginFirst_ = on; }
  uint16_t VisScale() const { return visScale_; }
  void SetVisScale(uint16_t scale);

  // Events.
  std::function<void(TZOZUZivade*, const TBandOut&)> OnNewFFTData;
  // One spectrum tick: the 512 magnitudes of a 1024-point FFT into the 25 kept band values
  // (a louder band takes the new value at once, a quieter one falls by 2 per tick).
  static void UpdateBands(const float* magnitudes512, TBandOut& kept);
  const TBandOut& Bands() const { return bands_; }
  // Whether anything shows the bands now (the main window is on screen). While not, the spectrum
  // ticks stop and nothing is computed; they resume when it is wanted again.
  void SetSpectrumWanted(bool wanted);
  bool SpectrumWanted() const { return spectrumWanted_; }
  std::function<void(TZOZUZivade*, PChannelInfo)> OnPluginStartPlay;
  std::function<void(TZOZUZivade*, PChannelInfo)> OnGetChannelInfo;
  std::function<void(TZOZUZivade*, const std::string&)> OnGetMeta;
  std::function<void(TZOZUZivade*, uint32_t)> OnDownloaded;
  std::function<void(TZOZUZivade*)> OnPlayEnd;
  std::function<void(TZOZUZivade*, TPlayerMode, TPlayerMode)> OnModeChange;
  std::function<void(TZOZUZivade*, const char*)> OnGetLyric;
  std::function<void(TZOZUZivade*, uint32_t)> OnPluginRequest;
  // 0: clear the playlist; otherwise the number of a file to play (PlayListRequestFile).
  std::function<void(TZOZUZivade*, uint32_t)> OnUpdatePlayList;
  std::function<void(TZOZUZivade*, uint32_t)> OnMBWindowShow;
  // lParam of code 97: a record of the drawer library's, so pointer-sized.
  std::function<void(TZOZUZivade*, uintptr_t)> OnGenWindowShow;
  // The open stream's decoder changed (a stream opened or closed, a plug-in given up after a
  // failed play): DecoderName() and PluginSlot() tell the new one. The managers show it in use.
  std::function<void(TZOZUZivade*)> OnDecoderChange;
  // Asked by ShowPluginConfig to show the input plug-in manager modally with its "plug-in first"
  // box set as given. The engine owns no window: the program supplies this.
  std::function<void(TZOZUZivade*, bool pluginFirst)> OnShowPluginConfig;

  // Transport.
  bool Open(const std::string& name);
  void Play();
  void Pause(bool pause);
  void Stop();
  void Close();
  uint32_t GetPosition();
  void SetPosition(uint32_t ms);
  uint32_t GetLength();
  bool CanSeek();

  // Loudness.
  void SetVolume(uint32_t volume);
  void SetMuted(bool mute, int fade);
  void SetBalance(float balance);
  void SetSpeed(float hz);
  uint32_t Volume() const { return volume_; }
  bool Muted() const { return muted_; }
  bool Fading() const { return fading_; }

  // Equaliser and effects. Switch bits: 1 flanger, 2 equaliser, 4 echo, 8 reverb, 0x10 rotate.
  enum EffectBits : uint32_t { fxFlanger = 1, fxEqualiser = 2, fxEcho = 4, fxReverb = 8, fxRotate = 0x10 };
  bool SetEQGain(int band, float gain);
  void SetEchoLevel(uint16_t level);
  void SetReverbLevel(uint16_t level);
  void SetFlangerLevel(uint16_t level);
  // Stores the bits and, with an output channel, attaches and detaches the effects to match.
  void SetSoundEffects(uint32_t bits);
  uint32_t SoundEffects() const { return effectBits_; }
  float EQGain(int band) const { return band >= 0 && band < 10 ? eqGain_[band] : 0.0f; }
  uint16_t EchoLevel() const { return echoLevel_; }
  uint16_t ReverbLevel() const { return reverbLevel_; }
  uint16_t FlangerLevel() const { return flangerLevel_; }
  // Library handles on the current output (0: not attached); for the equaliser window and tests.
  HFX EQHandle(int band) const { return band >= 0 && band < 10 ? eqFx_[band] : 0; }
  HFX EchoHandle() const { return echoFx_; }
  HFX ReverbHandle() const { return reverbFx_; }
  HFX FlangerHandle() const { return flangerFx_; }
  HDSP RotateHandle() const { return rotateDsp_; }

  // Stream information.
  bool GetStreamInfo(const std::string& name, TStreamInfo& info, int& supportedBy, int& pluginNum,
                     std::string& pluginName);
  bool GetStreamInfoCached(const std::string& name, TStreamInfo& info, int& supportedBy);
  // The file's tags were rewritten: when it is the open stream, its kept record takes the new texts.
  void RefreshStreamTags(const std::string& name);
  // True while the engine waits and lets other events run meanwhile (fades, drains, network):
  // whoever would destroy the engine must wait until it returns. CancelWaits cuts the network waits
  // short (the others are bounded).
  bool InWait() const { return pumping_ > 0; }
  void CancelWaits();
  std::string GetNativeFileExts() const;

  // MIDI and CD.
  bool LoadSoundFont(const std::string& path, TMIDI_FONTINFO& info);
  bool GetMIDITrackInfo(const std::string& name, TMIDITrackInfo& info);
  bool SoundFontReady() const { return soundFontReady_; }
  const std::vector<std::string>& CDDriveList() const { return cdDrives_; }
  int CDDriveCount() const { return static_cast<int>(cdDrives_.size()); }

  // Winamp DSP plug-ins: a library in plugins/ (or a path) and a module index.
  bool StartDSPPlugin(const std::string& path, int moduleIndex);
  void StopDSPPlugin();
  // The input plug-in manager: "Player is not ready !" without the library; without plug-in
  // buffers a warning first, then the window all the same.
  void ShowPluginConfig();
  bool PluginBuffersReady() const { return pluginBuffersReady_; }
  // The input plug-in slot of the open stream, -1 for none.
  int PluginSlot() const { return pluginSlot_; }
  bool PluginOutputOpen() const { return outputOpen_; }

  // Winamp visualisation plug-ins (one module at a time; see plugins/VisDrive2.h).
  // RunVisPlugin starts module `moduleIndex` of the library at `path`; while one
  // runs, the new request is kept and started once the running one has ended.
  bool RunVisPlugin(const std::string& path, int moduleIndex);
  void QuitVisPlugin();
  // Hide and show the running module's frame (the main window went to the tray and back).
  void HideVisWindow();
  void ShowVisWindow();
  // Embedding into the vis drawer window; switching on needs the drawer library.
  void SetUseVisDrawer(bool on);
  bool UseVisDrawer() const { return useVisDrawer_; }
  bool VisDrawerReady() const { return visDrawerLib_ != nullptr; }
  bool MiniBrowserReady() const { return miniBrowser_ != nullptr; }
  // Embed targets: allow the running module's frame into one (notice 46), and
  // move it into `target` or, with nullptr, back where it was (notice 45).
  void AllowVisAttach(bool on);
  void ReattachVis(platform::HWND target);
  // The embed target the next module's frame opens in (nullptr: a frame of its own).
  void SetVisEmbedTarget(platform::HWND target) { visEmbedTarget_ = target; }
  // The file a plug-in asked to play, by the number OnUpdatePlayList carried
  // (the latest request only; empty for 0 or an older number).
  std::string PlayListRequestFile(uint32_t id) const;
  // A module's window is shown and fed.
  bool VisActive() const { return visActive_; }
  // A start or a stop is under way.
  bool VisStarting() const { return visStarting_; }
  bool VisStopping() const { return visStopping_; }
  // The running module's window record (ThreadId 0 when none).
  const plugins::TVisPluginInfo& VisWindowInfo() const { return visInfo_; }
  std::function<void(TZOZUZivade*, const plugins::TVisPluginInfo&)> OnVisWindowShow;
  // The data thread (nullptr when it could not be made); for tests and benchmarks.
  TVisDataThread* VisData() { return visData_.get(); }

  // Add-ons.
  TBASSAddOnInfo LoadAddOn(const std::string& path);
  int UnloadAddOn(HPLUGIN handle);
  TBASSAddOnList GetAddOnList() const { return addOns_; }
  // The start-up routine of the player and of `orvella`: attaches the format add-ons of
  // `addOnFolder` (with a trailing slash) in their fixed order, and returns every file
  // tried, in that order. An absent or failing file is only left out of the table.
  std::vector<TAddOnAttempt> AttachFormatAddOns(const std::string& addOnFolder);
  // The same for the program folder's plugins/bass/.
  std::vector<TAddOnAttempt> AttachFormatAddOns();
  // The base names (without suffix) the routine tries, in order.
  static const std::vector<std::string>& FormatAddOnNames();
  std::string AddOnExtList() const;
  std::string AddOnForExt(const std::string& ext) const;

  // State the main window reads.
  TPlayerMode Mode() const { return mode_; }
  bool Ready() const { return bassReady_; }
  int StreamKind() const { return streamKind_; }
  const std::string& StreamName() const { return streamName_; }
  const TStreamInfo& StreamInfo() const { return streamInfo_; }
  int SupportedBy() const { return supportedBy_; }
  const std::string& DecoderName() const { return decoderName_; }
  DWORD DecodeChannel() const { return decodeChannel_; }
  DWORD OutputChannel() const { return outputChannel_; }
  uint64_t StreamGeneration() const { return streamGen_; }
  bool WMAReady() const { return wmaReady_; }
  bool AACReady() const { return aacReady_; }
  bool CDReady() const;
  bool MIDIReady() const;
  bool MixerReady() const { return mixerReady_; }
  platform::HWND HiddenWindow() const { return hiddenWindow_; }
  TErrorBox& ErrorBox() { return errorBox_; }

  // Network streams. A live broadcast is the "network stream" the main window asks about;
  // a network file is downloaded whole and becomes seekable once its download is complete.
  bool NetStream() const { return liveBroadcast_; }
  bool NetworkFile() const { return networkFile_; }
  bool DownloadComplete() const { return downloadComplete_; }
  // Copies of the open stream's lists: its tag list (the ICY headers of a broadcast, or its
  // HTTP headers when it has none; a WMA file's header tags), its HTTP headers and its ICY headers.
  const std::vector<std::string>& TagList() const { return tagList_; }
  const std::vector<std::string>& HttpHeaders() const { return httpHeaders_; }
  const std::vector<std::string>& IcyHeaders() const { return icyHeaders_; }
  // True while Open waits for a network stream to connect (messages are pumped meanwhile).
  bool Connecting() const { return connecting_; }
  // True while Play pre-buffers a broadcast (messages are pumped meanwhile).
  bool PreBuffering() const { return prebuffering_; }
  TBassCore& Bass() { return bass_; }

 private:
  friend struct EngineCallbacks;
  platform::LRESULT WndProc(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam);
  void SetMode(TPlayerMode mode);
  // Fires OnDecoderChange when the decoder name or the plug-in slot differ from the last told.
  void NoteDecoder();
  void StartSpectrumTimer();
  void SpectrumTick();
  void ShowLibError(const std::string& message);
  // Fades out and waits; false when the stream changed during the wait.
  bool FadeOutAndWait();
  void RestoreVolumeAtOnce();
  void ApplyGlobalVolume(uint32_t value);
  void HandlePlayEnd(DWORD channel);
  // Balance, speed and the mute state on the output of the moment (a new output starts without them).
  void ApplyOutputState();
  // Waits for the queued sound of the output to be heard; false when the stream changed meanwhile.
  // A drain that makes no progress, or outlasts what was queued, stops the output.
  bool DrainOutput(bool stalledCounts);
  void HandleSlideDone(int direction);
  void HandlePluginStartPlay();
  void HandlePluginSetInfo();
  void HandlePluginEnd();
  // Starts a new run of the input plug-in: end notices queued before it are dropped.
  void MarkPluginRun();
  void SeekDecodeChannel(uint32_t ms);
  bool DualChannel() const { return !singleChannelStream_ && IsBassKind(); }
  In_Module* PluginModule() const;
  void Restart();
  // Network streams.
  bool OpenURL(const std::string& url, const std::string& nameIn, bool wasPlaying);
  // Runs `create` on a worker thread and pumps messages until it answers; 0 with `cancelled`
  // when Close (or another Open) was asked meanwhile. `error` gets the library's code.
  DWORD ConnectPumping(std::function<DWORD()> create, bool& cancelled, int& error);
  void JoinFinishedConnects(bool all);
  bool PreBuffer(DWORD channel);
  void ReopenLive();
  void HandleMeta();
  void HandleDownloaded(DWORD channel);
  void ReadDownloadedTags();
  void FreeDecodeChannel();
  void CloseBeforeNew();
  bool MeasureWithBass(const std::string& name, TStreamInfo& info);
  bool IsBassKind() const { return streamKind_ >= skFile && streamKind_ <= skMIDI; }
  std::string ProgramFolder() const;

  TBassCore bass_;
  std::unique_ptr<TAddonFamilies> families_;
  TErrorBox errorBox_;
  platform::HWND owner_ = nullptr;
  platform::HWND hiddenWindow_ = nullptr;
  platform::UINT msgSendingData_ = 0;

  std::string bassDllVer_;
  bool dx8EffectReady_ = false;
  bool singleChannelConfig_ = true;
  bool singleChannelStream_ = true;
  bool pluginFirst_ = false;
  uint16_t visScale_ = 512;
  bool bassReady_ = false;
  bool pluginBuffersReady_ = false;
  bool wmaReady_ = false;
  bool aacReady_ = false;
  bool mixerReady_ = false;
  bool soundFontReady_ = false;
  DWORD soundFont_ = 0;
  TMIDI_FONTINFO fontInfo_;
  std::vector<std::string> cdDrives_;
  TBASSAddOnList addOns_{};

  TPlayerMode mode_ = plmStandby;
  // Changes whenever the open stream changes (opened, closed): code that resumes after a
  // wait that pumped messages compares it to know it still acts on the same stream.
  uint64_t streamGen_ = 0;
  int streamKind_ = skNone;
  DWORD decodeChannel_ = 0;
  DWORD outputChannel_ = 0;
  std::string streamName_;
  TStreamInfo streamInfo_;
  int supportedBy_ = sbNone;
  std::string decoderName_;
  std::string notedDecoder_;  // what OnDecoderChange last told
  int notedSlot_ = -1;
  bool busy_ = false;
  bool starting_ = false;    // an input plug-in's play or seek waits for its output
  // The input plug-in was asked to play and not yet to stop: its output may still be opening.
  bool PluginRunning() const { return outputOpen_ || starting_; }
  bool outputOpen_ = false;  // the input plug-in's output has started
  int pluginSlot_ = -1;
  uint64_t pluginRun_ = 0;      // the run now current
  uint64_t pluginRunSeen_ = 0;  // the last run mark that came through the queue
  TChannelInfo channelInfo_{};
  bool liveBroadcast_ = false;
  bool networkFile_ = false;
  bool downloadComplete_ = false;
  std::vector<std::string> tagList_, httpHeaders_, icyHeaders_;
  std::string metaTitle_;      // the last title a metadata notice gave (each new one is reported once)
  uint64_t netStreamId_ = 0;   // identity handed to the network procedures; 0: none current
  uint64_t netStreamSeq_ = 0;
  net::TMetaRecord metaRecord_;
  net::TNetStatusRecord netStatus_;
  bool connecting_ = false;
  bool connectCancel_ = false;
  int pumping_ = 0;  // depth of waits that pump events
  bool Pump(int ms);
  void TakeOpenedStream(const std::string& name, const TStreamInfo& info);
  bool prebuffering_ = false;
  bool prebufferCancel_ = false;
  struct ConnectJob;
  std::vector<std::pair<std::shared_ptr<ConnectJob>, std::thread>> connects_;

  uint32_t volume_ = 255;
  bool muted_ = false;
  bool fading_ = false;
  HSYNC slideSync_ = 0;
  HSYNC endSync_ = 0;
  HSYNC lyricSync_ = 0;
  float balance_ = 0;
  float speed_ = 0;
  TBandOut bands_{};  // the 25 spectrum values kept between ticks
  bool spectrumWanted_ = true;

  // Visualisation.
  void InitVis();
  void PlayListRequest(platform::LPARAM file);
  void QuitVis();
  bool StartVisDriver(const std::string& path, int moduleIndex);
  void HandleVisData(platform::WPARAM code, platform::LPARAM value);
  void VisModeChanged(TPlayerMode mode);
  void ScheduleVisResume(int ms);
  void HandleVisResumeTimer();
  // Stream handles to the data thread; stream information to the shared record (and code 82).
  void UpdateVisStream();
  void UpdateVisInfo();
  std::unique_ptr<plugins::TVisSharedRecord> visShared_;
  std::unique_ptr<TVisDataThread> visData_;
  void* visDrawerLib_ = nullptr;  // DorIzivur2.so when present (none ships)
  platform::HWND miniBrowser_ = nullptr;  // RARareru.so's mini browser when present
  std::string playListRequestFile_;
  uint32_t playListRequestId_ = 0;
  bool useVisDrawer_ = false;
  bool visActive_ = false, visStarting_ = false, visStopping_ = false;
  std::string visPendingPath_;
  int visPendingIndex_ = -1;
  platform::HWND visEmbedTarget_ = nullptr;
  uint64_t visResumeGen_ = 0;  // the stream the pending resume belongs to
  plugins::TVisPluginInfo visInfo_;
  std::string visPath_;

  // Equaliser and effects: settings live as long as the engine, handles only as long as the output.
  void ResetEffectHandles();
  void ApplyEffectLevel(HFX fx, DWORD type, uint16_t level);
  std::array<float, 10> eqGain_{};
  std::array<HFX, 10> eqFx_{};
  HFX echoFx_ = 0, reverbFx_ = 0, flangerFx_ = 0;
  HDSP rotateDsp_ = 0;
  uint16_t echoLevel_ = 16, reverbLevel_ = 16, flangerLevel_ = 16;
  uint32_t effectBits_ = 0;
  // Written by the rotate processor on the library's thread; reset here before it is attached.
  std::atomic<float> rotateAngle_{0.7853981f};
};

}  // namespace engine

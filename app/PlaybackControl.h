// TPlaybackControl: the main window's playback logic. It runs the transport
// (Play, Pause, Stop, Previous, Next), opens files, folders, stream addresses
// and dropped files, chooses the engine for each playlist entry, advances the
// playlist when play ends (shuffle and repeat), seeks with the progress bar,
// sets volume, mute and balance, keeps the position display and the running
// title, writes the status report of an opened stream and handles the engine's
// events.
//
// Collaborators come through the constructor: the audio engine, the playlist
// model, the settings record ("volume", "pan", "shuffle", "runRepeat",
// "LastPath", "showVideoWindow") and a view that shows what this class decides.
// The main window implements the view; tests hand in a recording one. Video and
// DVD entries are passed to the view's video hooks (the filter graph's side).
//
// Volume, mute and balance: the settings ("volume", "pan") and this object
// always hold what the bars and the box show, in every mode and before any
// track; the engine gets them on every change and again before each play.
//
// Engine events that move through the playlist (the end of play, the transport
// requests of plug-ins) wait while the playlist is in the middle of an add or
// while one of this object's own opening commands runs; they are carried out
// when it is done (an open that starts another entry drops a waiting end).
//
// Threads: UI thread only. Engine events arrive on the UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "engine/EngineTypes.h"

namespace engine {
class TZOZUZivade;
}
namespace playlist {
class TPlaylist;
}

namespace app {

// Geometry of the progress bar in the parent's pixels: the track image, the
// filled image drawn over it from the track's left, and the slider.
struct TProgressGeometry {
  int TrackLeft = 8;
  int TrackWidth = 345;
  int SliderWidth = 24;
};

// What the playback logic shows and asks of the main window.
class IPlaybackView {
 public:
  virtual ~IPlaybackView() = default;

  // Localised text of a "String..." key.
  virtual std::string Str(const std::string& key) const = 0;
  // The main window has been activated once.
  virtual bool Activated() const = 0;

  // Titles and labels.
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // The application title becomes the main window's caption again.
  virtual void RestoreApplicationTitle() = 0;
  virtual void SetRunningTitle(const std::string& title) = 0;
  virtual void SetTypeLabel(const std::string& text) = 0;     // LabelType
  virtual void SetBitrateLabel(const std::string& text) = 0;  // LabelBitrate
  virtual void SetPosLabel(const std::string& text) = 0;      // LabelPos
  // LabelStereo lit and LabelMono dark for stereo, the reverse otherwise.
  virtual void SetStereoLit(bool stereo) = 0;
  virtual void SetNavigationHints(const std::string& next, const std::string& previous) = 0;

  // Progress bar: filled image width and slider left (parent pixels), slider visible.
  virtual void ShowProgress(int filledWidth, int sliderLeft, bool sliderVisible) = 0;
  // Volume bar (0..255); setting it runs the bar's change handler (VolumeChanged).
  virtual int VolumeBarPosition() const = 0;
  virtual void SetVolumeBarPosition(int position) = 0;

  // Status window.
  virtual void StatusClear() = 0;
  virtual void StatusAdd(const std::string& line) = 0;
  virtual void StatusAppendToLast(const std::string& text) = 0;
  virtual bool StatusEmpty() const = 0;
  virtual void StatusScrollPage() = 0;
  virtual void StatusShow() = 0;

  // Main window.
  virtual void UseAudioLayout() = 0;  // client area 380 x 200, video panel hidden
  virtual void ClearLevels() = 0;     // the 25 level values
  virtual void DrawLevelBackground() = 0;
  virtual void SetStateTimer(bool on) = 0;  // TimerState, 100 ms
  virtual void StartRunStringTimer() = 0;   // TimerRunString
  virtual void RefreshLyrics() = 0;
  // The add-on manager's "in use" mark: the add-on's name, or "" for none.
  virtual void SetAddOnInUse(const std::string& decoderName) = 0;

  // Playlist window after PlayingIndex moved (the model's focus mark is set):
  // scroll vertically by `scrollPixels` (-1: leave the scroll position), redraw.
  virtual void ShowPlayingRow(int scrollPixels) = 0;

  // Dialogs. Empty results mean cancelled.
  virtual std::vector<std::string> ChooseFiles(const std::string& defaultExt, const std::string& startFolder) = 0;
  // The folder browser; returns the chosen folder or "".
  virtual std::string ChooseFolder(const std::string& startFolder) = 0;
  // The address prompt (modal); returns the confirmed address or "".
  virtual std::string PromptAddress() = 0;

  // Video and DVD (the filter graph's side); the defaults do nothing.
  virtual void VideoStartPlayback(int /*playMode*/) {}
  virtual void VideoPause() {}
  virtual void VideoStop() {}
  virtual void VideoPreviousChapter() {}
  virtual void VideoNextChapter() {}
  virtual bool VideoPlaying() const { return false; }
  virtual bool VideoStopped() const { return true; }
  virtual void VideoSeekToBar(int /*filledWidth*/, int /*range*/) {}
  // Position and length in ms for the display timer.
  virtual void VideoPosition(int64_t& /*positionMs*/, int64_t& /*lengthMs*/) {}
  virtual void VideoSetVolume(int /*position*/) {}
  virtual void VideoSetMuted(bool /*mute*/) {}
  virtual void VideoSetBalance(int /*position*/) {}
  virtual std::string VideoFileName() const { return {}; }
};

// Network facts of the open stream. The engine's network layer supplies them;
// without it every stream is a local one.
struct TNetworkFacts {
  bool NetStream = false;       // a network (radio) stream
  bool ReadFromInternet = false;  // a file read over HTTP
  std::vector<std::string> HttpHeaders, IcyHeaders, Tags;
};

class TPlaybackControl {
 public:
  TPlaybackControl(engine::TZOZUZivade& engine, playlist::TPlaylist& playlist, TSettings& settings,
                   IPlaybackView& view);
  ~TPlaybackControl();
  TPlaybackControl(const TPlaybackControl&) = delete;
  TPlaybackControl& operator=(const TPlaybackControl&) = delete;

  // Sets this object's handlers on the engine's events (mode, end, metadata,
  // download, plug-in start and info, MIDI lyric, plug-in requests).
  void AttachEngineEvents();

  // Transport.
  void StartPlayback();
  void Pause();
  void Stop();
  void Previous();
  void Next();
  void AdvanceAfterEnd();
  // Opens `path` in the engine and writes the status report; false when the
  // engine could not open it or another open is in progress.
  bool OpenInEngine(const std::string& path, bool start);

  // Opening.
  void OpenFiles();
  void OpenFolder();
  // The address prompt; `replace` is the main window's Open URL (clears and
  // plays), false the playlist's "Add Url" (appends).
  void OpenAddress(bool replace);
  void DropFiles(const std::vector<std::string>& names);

  // Progress bar (x relative to the pressed image).
  void SetProgressGeometry(const TProgressGeometry& g) { geometry_ = g; }
  const TProgressGeometry& ProgressGeometry() const { return geometry_; }
  void PressFilled(int x);
  void PressTrack(int x);
  void ReleaseBar();
  void PressSlider(int x);
  void MoveSlider(int x);
  void ReleaseSlider();
  void SeekToBar();

  // Volume bar (0..255), mute box, balance bar (-100..100).
  void VolumeChanged(int position);
  void MuteChanged(bool mute);
  void BalanceChanged(int position);

  // Display timer tick (TimerState).
  void TimerStateTick();

  // Engine events.
  void ModeChanged(engine::TPlayerMode oldMode, engine::TPlayerMode newMode);
  void GetMETAFromNet(const std::string& title);
  void DownloadEnded(uint32_t lengthMs);
  void PluginStartPlay(const engine::TChannelInfo& info);
  void PluginChannelInfo(const engine::TChannelInfo& info);
  void GetMIDILyric(const std::string& text);
  // The engine's end of play: AdvanceAfterEnd now, or once the playlist's add
  // (or an opening command) is done.
  void PlayEnded();
  // Requests of Winamp plug-ins: 0 volume up, 1 volume down, 2 forward 5 s,
  // 3 back 5 s, 4 previous, 5 next, 6 play, 7 pause, 8 stop; others are ignored.
  void ProcessPluginRequest(uint32_t kind);
  // An end of play or requests are waiting for the playlist.
  bool EventsWaiting() const { return endPending_ || !pendingRequests_.empty(); }

  std::string ComposeRunningTitle(const std::string& statusKey) const;

  // State of the main window this logic works on.
  int PlayMode = 0;  // 0 none chosen, 1 audio engine, 2 video file, 3 DVD
  std::string CurrentFile, CurrentTitle;
  int64_t PositionMs = 0;
  int64_t LengthMs = 1;  // never 0
  bool SeekDragging = false;
  // One-shot of the address prompt: the confirmed address replaces the list.
  // (Open folder uses the playlist host's flag, which the folder add spends.)
  bool ReplaceOnAdd = false;
  bool IsNetRadio = false;
  // The mute box (not a stored setting; it holds for every stream until unticked).
  bool Muted = false;
  uint32_t ShownSampleRate = 0;
  std::string RunningTitle;
  bool OpenInProgress() const { return opening_; }
  int FilledWidth() const { return filledWidth_; }
  int SliderLeft() const { return sliderLeft_; }
  bool SliderVisible() const { return sliderVisible_; }

  // Uniform random index 0..count-1 for shuffle; tests may replace it.
  std::function<int(int count)> RandomBelow;
  // Network facts of the open stream (see TNetworkFacts).
  std::function<TNetworkFacts()> NetworkFacts;

  // "nn:ss" of a time of day (the hour dropped).
  static std::string FormatMinSec(int64_t ms);

 private:
  bool EngineNetStream() const;
  bool PluginDecodes() const;
  void ReportChannelInfo(uint32_t rate, int channels);
  void ReportIcyName(const TNetworkFacts& net);
  void ShowBitrate();
  void SetBar(int filledWidth, bool sliderVisible);
  void ResetBar();
  void Restart();
  void MoveTo(int to);
  class CommandScope;
  bool Deferring() const;
  void RunDeferred();
  void ApplyLoudness();

  engine::TZOZUZivade& engine_;
  playlist::TPlaylist& playlist_;
  TSettings& settings_;
  IPlaybackView& view_;
  TProgressGeometry geometry_;
  int filledWidth_ = 0;
  int sliderLeft_ = 8;
  bool sliderVisible_ = true;
  int sliderGrabX_ = 0;
  bool opening_ = false;
  bool internetFileReported_ = false;
  int commandDepth_ = 0;  // opening commands under way (they add, then start play themselves)
  bool endPending_ = false;
  std::vector<uint32_t> pendingRequests_;
};

}  // namespace app

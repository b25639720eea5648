#include "app/PlaybackControl.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <random>

#include "engine/ZOZUZivade.h"
#include "platform/Encoding.h"
#include "playlist/Extensions.h"
#include "playlist/Playlist.h"

namespace app {

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// UTF-8 is the system code page: valid text passes unchanged, bytes that are
// not UTF-8 are taken as Latin-1 so the status window never shows broken text.
std::string FromUtf8(const std::string& s) { return platform::IsValidUtf8(s) ? s : platform::Latin1ToUtf8(s); }

bool NeedsSoundfont(const std::string& ext) { return ext == ".mid" || ext == ".kar"; }

}  // namespace

TPlaybackControl::TPlaybackControl(engine::TZOZUZivade& engine, playlist::TPlaylist& playlist, TSettings& settings,
                                   IPlaybackView& view)
    : engine_(engine), playlist_(playlist), settings_(settings), view_(view) {
  sliderLeft_ = geometry_.TrackLeft;
  RandomBelow = [](int count) {
    static std::mt19937 rng{std::random_device{}()};
    return std::uniform_int_distribution<int>(0, std::max(count - 1, 0))(rng);
  };
  NetworkFacts = [this] {
    TNetworkFacts facts;
    facts.NetStream = engine_.NetStream();
    facts.ReadFromInternet = engine_.NetworkFile();
    facts.HttpHeaders = engine_.HttpHeaders();
    // Icecast servers answer "HTTP/1.0 200 OK" and send their icy-* lines among the HTTP headers.
    facts.IcyHeaders = engine_.IcyHeaders().empty() ? engine_.HttpHeaders() : engine_.IcyHeaders();
    facts.Tags = engine_.TagList();
    return facts;
  };
  playlist_.OnIdle = [this] { RunDeferred(); };
}

TPlaybackControl::~TPlaybackControl() { playlist_.OnIdle = nullptr; }

// An opening command of this object: events that move through the playlist
// wait until it is done, then run unless the command started another entry.
class TPlaybackControl::CommandScope {
 public:
  explicit CommandScope(TPlaybackControl& c) : c_(c) { ++c_.commandDepth_; }
  ~CommandScope() {
    --c_.commandDepth_;
    c_.RunDeferred();
  }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  TPlaybackControl& c_;
};

bool TPlaybackControl::Deferring() const { return commandDepth_ > 0 || playlist_.Busy(); }

void TPlaybackControl::RunDeferred() {
  if (Deferring()) return;
  if (endPending_) {
    endPending_ = false;
    AdvanceAfterEnd();
  }
  std::vector<uint32_t> requests;
  requests.swap(pendingRequests_);
  for (uint32_t kind : requests) ProcessPluginRequest(kind);
}

void TPlaybackControl::PlayEnded() {
  if (Deferring()) {
    endPending_ = true;
    return;
  }
  AdvanceAfterEnd();
}

void TPlaybackControl::AttachEngineEvents() {
  engine_.OnModeChange = [this](engine::TZOZUZivade*, engine::TPlayerMode o, engine::TPlayerMode n) {
    ModeChanged(o, n);
  };
  engine_.OnPlayEnd = [this](engine::TZOZUZivade*) { PlayEnded(); };
  engine_.OnGetMeta = [this](engine::TZOZUZivade*, const std::string& t) { GetMETAFromNet(t); };
  engine_.OnDownloaded = [this](engine::TZOZUZivade*, uint32_t len) { DownloadEnded(len); };
  engine_.OnPluginStartPlay = [this](engine::TZOZUZivade*, engine::PChannelInfo i) {
    if (i) PluginStartPlay(*i);
  };
  engine_.OnGetChannelInfo = [this](engine::TZOZUZivade*, engine::PChannelInfo i) {
    if (i) PluginChannelInfo(*i);
  };
  engine_.OnGetLyric = [this](engine::TZOZUZivade*, const char* t) { GetMIDILyric(t ? t : ""); };
  engine_.OnPluginRequest = [this](engine::TZOZUZivade*, uint32_t kind) { ProcessPluginRequest(kind); };
}

std::string TPlaybackControl::FormatMinSec(int64_t ms) {
  if (ms < 0) ms = 0;
  const int64_t secs = (ms / 1000) % 3600;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d", static_cast<int>(secs / 60), static_cast<int>(secs % 60));
  return buf;
}

bool TPlaybackControl::EngineNetStream() const { return NetworkFacts().NetStream; }

bool TPlaybackControl::PluginDecodes() const {
  return engine_.StreamKind() == engine::TZOZUZivade::skPlugin;
}

void TPlaybackControl::ShowBitrate() {
  view_.SetBitrateLabel(std::to_string(engine_.StreamInfo().BitRate) + " kbps");
}

// ---------------------------------------------------------------- transport

void TPlaybackControl::StartPlayback() {
  if (playlist_.Empty()) return;
  // Whatever starts now supersedes an end of play still waiting for the playlist.
  endPending_ = false;
  const int index = std::clamp(playlist_.PlayingIndex, 0, playlist_.Count() - 1);
  const playlist::PlaylistEntry& entry = playlist_.Entry(index);
  CurrentTitle = entry.Title;
  CurrentFile = entry.File;
  view_.SetApplicationTitle(entry.Num + entry.Title);
  std::string ext = playlist::FileExtension(CurrentFile);
  view_.SetTypeLabel(Upper(ext.empty() ? ext : ext.substr(1)));

  PlayMode = playlist::ChoosePlayMode(CurrentFile, PlayMode);
  if (PlayMode == 3)
    view_.SetNavigationHints(view_.Str("StringNextChapterHint"), view_.Str("StringPreChapterHint"));
  else
    view_.SetNavigationHints(view_.Str("StringNextHint"), view_.Str("StringPreHint"));

  if (PlayMode == 1) {
    view_.UseAudioLayout();
    if (engine_.Mode() == engine::plmPaused) {
      engine_.Pause(false);
      return;
    }
    settings_.showVideoWindow = false;
    playlist_.Playable = true;
    // Compared exactly as written: an upper-case ".MID" is tried in the engine.
    if (NeedsSoundfont(ext) && !playlist::SoundfontPresent()) playlist_.Playable = false;
    if (playlist_.Playable) OpenInEngine(CurrentFile, true);
  } else if (PlayMode == 2 || PlayMode == 3) {
    view_.VideoStartPlayback(PlayMode);
  }
}

void TPlaybackControl::Pause() {
  if (PlayMode == 1) {
    engine_.Pause(engine_.Mode() == engine::plmPlaying);
    view_.DrawLevelBackground();
  } else if (PlayMode == 2 || PlayMode == 3) {
    view_.VideoPause();
  }
}

void TPlaybackControl::Stop() {
  view_.RestoreApplicationTitle();
  if (PlayMode == 1) {
    engine_.Stop();
    view_.SetStateTimer(false);
    ResetBar();
  } else if (PlayMode == 2 || PlayMode == 3) {
    view_.VideoStop();
  }
}

void TPlaybackControl::Restart() {
  Stop();
  StartPlayback();
}

void TPlaybackControl::Previous() {
  if (PlayMode == 3) {
    view_.VideoPreviousChapter();
    return;
  }
  MoveTo(playlist::PreviousIndex(playlist_.Count(), playlist_.PlayingIndex));
}

void TPlaybackControl::Next() {
  if (PlayMode == 3) {
    view_.VideoNextChapter();
    return;
  }
  MoveTo(playlist::NextIndex(playlist_.Count(), playlist_.PlayingIndex));
}

// Makes `to` the playing entry; what was playing goes on with it, a stopped player only moves.
void TPlaybackControl::MoveTo(int to) {
  if (to < 0) return;
  const bool audioPlaying = PlayMode == 1 && engine_.Mode() == engine::plmPlaying;
  const bool videoPlaying = PlayMode == 2 && view_.VideoPlaying();
  playlist_.PlayingIndex = to;
  playlist_.FocusPlaying();
  view_.ShowPlayingRow(-1);
  CurrentTitle = playlist_.Entry(to).Title;
  CurrentFile = playlist_.Entry(to).File;
  if (audioPlaying || videoPlaying) Restart();
}

void TPlaybackControl::AdvanceAfterEnd() {
  view_.SetStateTimer(false);
  ResetBar();
  if (playlist_.Empty()) return;
  const int to = playlist::IndexAfterEnd(playlist_.Count(), playlist_.PlayingIndex, settings_.runRepeat,
                                         settings_.shuffle, RandomBelow);
  if (to < 0) {  // the last entry ended, whatever shuffle and repeat say
    Stop();
    return;
  }
  playlist_.PlayingIndex = to;
  playlist_.Playable = true;
  playlist_.FocusPlaying();
  view_.ShowPlayingRow(to * 12);
  const std::string file = playlist_.Entry(to).File;
  if (PlayMode == 1) {
    if (NeedsSoundfont(Lower(playlist::FileExtension(file))) && !playlist::SoundfontPresent())
      playlist_.Playable = false;
    if (playlist_.Playable) Restart();
  } else if (PlayMode == 2 || PlayMode == 3) {
    Restart();
  }
}

// ---------------------------------------------------------------- opening a stream

bool TPlaybackControl::OpenInEngine(const std::string& path, bool start) {
  if (opening_) return false;
  opening_ = true;
  IsNetRadio = false;
  internetFileReported_ = false;
  if (!engine_.Open(path)) {
    opening_ = false;
    return false;
  }
  RunningTitle = ComposeRunningTitle("StringReadyToPlay");
  view_.SetRunningTitle(RunningTitle);
  LengthMs = std::max<int64_t>(engine_.GetLength(), 1);

  const TNetworkFacts net = NetworkFacts();
  const engine::TStreamInfo& info = engine_.StreamInfo();
  const std::string address = engine_.StreamName();
  if (view_.Activated() && !net.NetStream) view_.StatusClear();

  if (net.NetStream) {
    view_.StatusAdd(view_.Str("StringStandby"));
    view_.StatusAdd("URL : " + address);
    ReportIcyName(net);
    ShowBitrate();
    IsNetRadio = true;
  } else if (net.ReadFromInternet) {
    if (info.SampleRate != 0) {
      ShownSampleRate = info.SampleRate;
      view_.StatusAdd(view_.Str("StringOpenedFileFromInternet"));
      view_.StatusAdd("URL : " + address);
      ShowBitrate();
    }
    for (const std::string& h : net.HttpHeaders) {
      if (h.find("Server:") != std::string::npos) {
        view_.StatusAdd(h);
        break;
      }
    }
    internetFileReported_ = true;
    const bool wma = info.Format == 0x10300 || info.Format == 0x10301;
    for (const std::string& t : net.Tags) view_.StatusAdd(wma ? FromUtf8(t) : t);
  } else {
    view_.StatusAdd(view_.Str("StringOpenedLocalFile"));
    view_.StatusAdd(info.FileName.empty() ? address : info.FileName);
    ShowBitrate();
  }

  view_.StatusAdd(" ");
  if (PluginDecodes())
    view_.StatusAdd(" (" + view_.Str("StringBeingDecodedBWinampPlugin") + ")");
  else
    view_.StatusAdd(view_.Str("StringBeingDecodedBy") + " : " + engine_.DecoderName());

  if (!internetFileReported_) ShownSampleRate = info.SampleRate;
  if (ShownSampleRate != 0 && !net.NetStream) ReportChannelInfo(ShownSampleRate, info.Channels);

  const std::string ext = Upper(playlist::FileExtension(path));
  engine::TMIDITrackInfo tracks;
  if (ext.size() > 1 && std::string("*.MID;*.MIDI;*.RMI;*.KAR;").find("*" + ext + ";") != std::string::npos &&
      engine_.GetMIDITrackInfo(path, tracks)) {
    view_.StatusAdd(" ");
    view_.StatusAdd("MIDI Track info :");
    const int n = std::clamp(tracks.TrackCount, 0, static_cast<int>(tracks.Tracks.size()));
    for (int i = 0; i < n; ++i)
      view_.StatusAdd("Track[" + std::to_string(i) + "] : " + tracks.Tracks[static_cast<size_t>(i)]);
  }
  view_.StatusScrollPage();

  if (IsNetRadio) {
    filledWidth_ = 0;
    SetBar(0, false);
  } else {
    SetBar(filledWidth_, true);
  }
  view_.ClearLevels();
  ApplyLoudness();
  view_.SetStereoLit(info.Channels == 2);
  if (start) engine_.Play();
  const std::string& decoder = engine_.DecoderName();
  view_.SetAddOnInUse(decoder.rfind("bass_", 0) == 0 ? decoder : std::string());
  opening_ = false;
  return true;
}

void TPlaybackControl::ReportIcyName(const TNetworkFacts& net) {
  for (const std::string& h : net.IcyHeaders) {
    if (h.find("icy-name:") != std::string::npos) {
      view_.StatusAdd("icy-name : " + (h.size() > 9 ? h.substr(9) : std::string()));
      break;
    }
  }
}

void TPlaybackControl::ReportChannelInfo(uint32_t rate, int channels) {
  view_.StatusAdd(" ");
  if (!PluginDecodes()) {
    if (engine_.SingleChannel()) view_.StatusAdd("(Single channel mode)");
    view_.StatusAdd(view_.Str("StringStreamFormat") + " " + engine::FormatName(engine_.StreamInfo().Format));
  }
  std::string text;
  if (channels == 1) text = "Mono";
  else if (channels == 2) text = "Stereo";
  else if (channels > 2) text = std::to_string(channels) + " Channel";
  view_.StatusAdd(std::to_string(rate) + "Hz" + ", " + text);
}

// ---------------------------------------------------------------- opening files

void TPlaybackControl::OpenFiles() {
  CommandScope command(*this);
  const std::vector<std::string> files = view_.ChooseFiles("mp3", settings_.LastPath);
  if (files.empty()) return;
  playlist_.Clear();
  playlist_.AddFiles(files);
  settings_.LastPath = FolderOf(files.front());
  Restart();
}

void TPlaybackControl::OpenFolder() {
  CommandScope command(*this);
  playlist_.Host().SetReplaceOnAdd(true);
  const std::string folder = view_.ChooseFolder(settings_.LastPath);
  if (!folder.empty()) {
    settings_.LastPath = folder;
    playlist_.AddFolder(folder);
  }
  // The one-shot flag is spent by the add; a cancelled browser must not leave it set.
  playlist_.Host().SetReplaceOnAdd(false);
  Restart();
}

void TPlaybackControl::OpenAddress(bool replace) {
  CommandScope command(*this);
  ReplaceOnAdd = replace;
  if (opening_) return;
  const std::string address = view_.PromptAddress();
  if (address.empty()) return;
  if (ReplaceOnAdd) playlist_.Clear();
  playlist_.AddFile(address);
  if (!playlist_.Empty()) {
    playlist_.PlayingIndex = 0;
    playlist_.Renumber();
    playlist_.UpdateCounters();
  }
  if (ReplaceOnAdd) Restart();
}

void TPlaybackControl::DropFiles(const std::vector<std::string>& names) {
  if (names.empty()) return;
  CommandScope command(*this);
  playlist_.Clear();
  playlist_.AddFiles(names);
  StartPlayback();
}

// ---------------------------------------------------------------- progress bar

void TPlaybackControl::SetBar(int filledWidth, bool sliderVisible) {
  filledWidth_ = filledWidth;
  sliderLeft_ = geometry_.TrackLeft + filledWidth;
  sliderVisible_ = sliderVisible;
  view_.ShowProgress(filledWidth_, sliderLeft_, sliderVisible_);
}

void TPlaybackControl::ResetBar() { SetBar(0, sliderVisible_); }

void TPlaybackControl::PressFilled(int x) {
  const bool allowed = PlayMode == 1 ? !EngineNetStream() && engine_.Mode() != engine::plmStopped
                                     : (PlayMode == 2 || PlayMode == 3) && !view_.VideoStopped();
  if (!allowed) return;
  SeekDragging = true;
  SetBar(x - geometry_.TrackLeft < geometry_.SliderWidth ? 0 : x, sliderVisible_);
  SeekToBar();
}

void TPlaybackControl::PressTrack(int x) {
  const bool allowed = PlayMode == 1 ? !EngineNetStream() && engine_.Mode() != engine::plmStopped
                                     : (PlayMode == 2 || PlayMode == 3) && !view_.VideoStopped();
  if (!allowed) return;
  SeekDragging = true;
  if (geometry_.SliderWidth < geometry_.TrackWidth - x) {
    SetBar(x, sliderVisible_);
    SeekToBar();
  } else {
    SetBar(geometry_.TrackWidth - geometry_.SliderWidth, sliderVisible_);
    SeekToBar();
    AdvanceAfterEnd();
  }
}

void TPlaybackControl::ReleaseBar() { SeekDragging = false; }

void TPlaybackControl::PressSlider(int x) {
  sliderGrabX_ = x;
  SeekDragging = true;
}

void TPlaybackControl::MoveSlider(int x) {
  if (!SeekDragging) return;
  const int maxLeft = geometry_.TrackWidth - geometry_.SliderWidth / 2 / 2;
  const int left = std::clamp(sliderLeft_ + x - sliderGrabX_, geometry_.TrackLeft, std::max(maxLeft, geometry_.TrackLeft));
  SetBar(left - geometry_.TrackLeft, sliderVisible_);
}

void TPlaybackControl::ReleaseSlider() {
  SeekDragging = false;
  SeekToBar();
}

void TPlaybackControl::SeekToBar() {
  const int range = std::max(geometry_.TrackWidth - geometry_.SliderWidth, 1);
  if (PlayMode == 2 || PlayMode == 3) {
    view_.VideoSeekToBar(filledWidth_, range);
    return;
  }
  if (PlayMode != 1) return;
  int64_t length = engine_.GetLength();
  if (length == 0) length = 1;
  int64_t target = static_cast<int64_t>(filledWidth_) * length / range;
  // A track shorter than a second would otherwise wrap below zero.
  if (target >= length) target = std::max<int64_t>(length - 1000, 0);
  target = std::max<int64_t>(target, 0);
  view_.SetStateTimer(false);
  engine_.SetPosition(static_cast<uint32_t>(target));
  view_.SetStateTimer(true);
}

// ---------------------------------------------------------------- loudness

// The stored values are always what the bars show, whatever plays (or nothing
// yet): the next open hands them to the engine, and they are written at exit.
void TPlaybackControl::VolumeChanged(int position) {
  settings_.volume = std::clamp(position, 0, 255);
  if (PlayMode == 2 || PlayMode == 3)
    view_.VideoSetVolume(position);
  else
    engine_.SetVolume(static_cast<uint32_t>(settings_.volume));
}

void TPlaybackControl::MuteChanged(bool mute) {
  Muted = mute;
  if (PlayMode == 2 || PlayMode == 3)
    view_.VideoSetMuted(mute);
  else
    engine_.SetMuted(mute, 500);  // without an output the engine mutes at once
}

void TPlaybackControl::BalanceChanged(int position) {
  settings_.pan = std::clamp(position, -100, 100);
  if (PlayMode == 2 || PlayMode == 3)
    view_.VideoSetBalance(position);
  else
    engine_.SetBalance(static_cast<float>(settings_.pan) / 100.0f);
}

// Before each play: the engine gets what the bars and the mute box show. A mute
// change the engine ignored (it arrived during a fade) is caught up here.
void TPlaybackControl::ApplyLoudness() {
  engine_.SetVolume(static_cast<uint32_t>(std::clamp(settings_.volume, 0, 255)));
  engine_.SetBalance(static_cast<float>(std::clamp(settings_.pan, -100, 100)) / 100.0f);
  if (engine_.Muted() != Muted) engine_.SetMuted(Muted, 0);
}

// ---------------------------------------------------------------- display timer

void TPlaybackControl::TimerStateTick() {
  if (PlayMode == 1) {
    const bool net = EngineNetStream();
    // Paused too: a seek while paused must not have the bar snap back to the old position.
    const engine::TPlayerMode mode = engine_.Mode();
    if ((mode == engine::plmPlaying || mode == engine::plmPaused) && !net) {
      PositionMs = engine_.GetPosition();
      LengthMs = std::max<int64_t>(engine_.GetLength(), 1);
    }
    if (!net) view_.SetPosLabel(FormatMinSec(PositionMs));
  } else if (PlayMode == 2 || PlayMode == 3) {
    view_.VideoPosition(PositionMs, LengthMs);
    if (LengthMs <= 0) LengthMs = 1;
  }
  if (!SeekDragging) {
    const int range = geometry_.TrackWidth - geometry_.SliderWidth;
    const double ratio = std::clamp(static_cast<double>(PositionMs) / static_cast<double>(LengthMs), 0.0, 1.0);
    SetBar(static_cast<int>(std::lround(ratio * range)), sliderVisible_);
  }
}

// ---------------------------------------------------------------- engine events

void TPlaybackControl::ModeChanged(engine::TPlayerMode oldMode, engine::TPlayerMode newMode) {
  const TNetworkFacts net = NetworkFacts();
  const std::string address = engine_.StreamName();
  switch (newMode) {
    case engine::plmStandby:
      view_.StatusClear();
      break;
    case engine::plmReady:
      RunningTitle = net.NetStream ? view_.Str("StringReadyToPlay") + " >> " + address
                                   : ComposeRunningTitle("StringReadyToPlay");
      if (net.NetStream) {
        if (view_.StatusEmpty()) {
          view_.StatusAdd(view_.Str("StringConnectedToNetRadio"));
          view_.StatusAdd("URL : " + address);
          ReportIcyName(net);
        }
        ShowBitrate();
        ShownSampleRate = engine_.StreamInfo().SampleRate;
        if (ShownSampleRate != 0) ReportChannelInfo(ShownSampleRate, engine_.StreamInfo().Channels);
        IsNetRadio = true;
      }
      break;
    case engine::plmPlaying:
      RunningTitle = ComposeRunningTitle("StringPlaying");
      view_.RefreshLyrics();
      view_.SetStateTimer(true);
      view_.StartRunStringTimer();
      break;
    case engine::plmStopped:
      RunningTitle = IsNetRadio ? view_.Str("StringStopped") + " >> " + address + " *"
                                : ComposeRunningTitle("StringStopped");
      view_.SetPosLabel("00:00");
      SetBar(0, false);
      break;
    case engine::plmPaused:
      RunningTitle = IsNetRadio ? view_.Str("StringPaused") + " >> " + address + " *"
                                : ComposeRunningTitle("StringPaused");
      break;
  }
  view_.SetRunningTitle(RunningTitle);
  if (oldMode == engine::plmPlaying && newMode != engine::plmPlaying) view_.DrawLevelBackground();
  if (oldMode == engine::plmPlaying && newMode == engine::plmPlaying) SetBar(0, sliderVisible_);
}

void TPlaybackControl::GetMETAFromNet(const std::string& title) {
  if (title.empty()) return;
  RunningTitle = view_.Str("StringPlaying") + " >> " + title;
  view_.SetRunningTitle(RunningTitle);
  view_.RefreshLyrics();
}

void TPlaybackControl::DownloadEnded(uint32_t lengthMs) {
  view_.SetPosLabel("Length " + FormatMinSec(lengthMs));
  LengthMs = std::max<int64_t>(lengthMs, 1);
  ShowBitrate();
  if (!engine_.StreamInfo().Title.empty()) {
    if (engine_.Mode() == engine::plmReady) RunningTitle = ComposeRunningTitle("StringReadyToPlay");
    else if (engine_.Mode() == engine::plmPlaying) RunningTitle = ComposeRunningTitle("StringPlaying");
    view_.SetRunningTitle(RunningTitle);
    view_.RefreshLyrics();
  }
}

void TPlaybackControl::PluginStartPlay(const engine::TChannelInfo& info) {
  if (ShownSampleRate == 0) {
    if (internetFileReported_) {
      view_.StatusAdd(view_.Str("StringOpenedFileFromInternet"));
      view_.StatusAdd("URL : " + engine_.StreamName());
    }
    ShownSampleRate = static_cast<uint32_t>(std::max(info.SampleRate, 0));
    if (ShownSampleRate != 0) ReportChannelInfo(ShownSampleRate, engine_.StreamInfo().Channels);
  }
  LengthMs = std::max<int64_t>(engine_.GetLength(), 1);
  if (!EngineNetStream()) view_.RefreshLyrics();
}

void TPlaybackControl::PluginChannelInfo(const engine::TChannelInfo& info) {
  view_.SetBitrateLabel(std::to_string(info.BitRate) + " kbps");
}

void TPlaybackControl::GetMIDILyric(const std::string& text) {
  view_.StatusShow();
  if (!text.empty() && (text[0] == '\\' || text[0] == '/'))
    view_.StatusAdd(text.substr(1));
  else
    view_.StatusAppendToLast(text);
}

void TPlaybackControl::ProcessPluginRequest(uint32_t kind) {
  // The transport requests move through the playlist: not while it is being filled.
  if (kind >= 4 && kind <= 8 && Deferring()) {
    pendingRequests_.push_back(kind);
    return;
  }
  const int vol = view_.VolumeBarPosition();
  const bool audio = PlayMode == 1;
  const engine::TPlayerMode mode = engine_.Mode();
  switch (kind) {
    case 0:
      if (vol < 255) view_.SetVolumeBarPosition(255 - vol < 5 ? 255 : vol + 4);
      break;
    case 1:
      view_.SetVolumeBarPosition(vol < 5 ? 0 : vol - 4);
      break;
    case 2: {
      // The engine's position means nothing while video plays or nothing is open.
      if (!audio || (mode != engine::plmPlaying && mode != engine::plmPaused)) break;
      const int64_t pos = engine_.GetPosition();
      if (pos + 5000 < LengthMs) engine_.SetPosition(static_cast<uint32_t>(pos + 5000));
      break;
    }
    case 3: {
      if (!audio || (mode != engine::plmPlaying && mode != engine::plmPaused)) break;
      const int64_t pos = engine_.GetPosition();
      if (pos > 5000) engine_.SetPosition(static_cast<uint32_t>(pos - 5000));
      break;
    }
    case 4:
      Previous();
      break;
    case 5:
      Next();
      break;
    case 6:
      // Play starts the entry at PlayingIndex, or resumes a paused one; what
      // already plays goes on.
      if (audio && mode == engine::plmPlaying) break;
      if ((PlayMode == 2 || PlayMode == 3) && view_.VideoPlaying()) break;
      StartPlayback();
      break;
    case 7:
      // Pause only pauses: a second request does not resume.
      if ((audio && mode == engine::plmPlaying) || ((PlayMode == 2 || PlayMode == 3) && view_.VideoPlaying()))
        Pause();
      break;
    case 8:
      Stop();
      break;
    default:
      break;
  }
}

std::string TPlaybackControl::ComposeRunningTitle(const std::string& statusKey) const {
  const std::string status = view_.Str(statusKey);
  if (PlayMode == 1) {
    const engine::TStreamInfo& info = engine_.StreamInfo();
    if (!EngineNetStream() || view_.Activated()) {
      if (!info.Title.empty() && !info.Artist.empty()) return status + " >> " + info.Artist + " - " + info.Title;
      if (!info.Title.empty()) return status + " >> " + info.Title;
      return status + " >> " + (info.FileName.empty() ? engine_.StreamName() : info.FileName);
    }
    return status + " >> " + info.Artist + " - " + info.Title;
  }
  if (PlayMode == 2 || PlayMode == 3) return status + " >> " + view_.VideoFileName();
  return RunningTitle;
}

}  // namespace app

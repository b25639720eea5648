// The engine's side of Winamp visualisation plug-ins: the data thread, the
// start and stop of the drive thread and the notices it posts.
#include <algorithm>
#include <cstring>

#include "engine/VisDataThread.h"
#include "engine/ZOZUZivade.h"
#include "platform/Paths.h"
#include "plugins/PluginCtrl.h"
#include "plugins/VisDrive2.h"

namespace engine {

namespace {
constexpr platform::WPARAM kVisResumeTimer = 2;
constexpr int kResumeAfterPlayMs = 600;
constexpr int kResumeAfterStartMs = 1000;
// Below normal: a module drawing never takes time from decoding and output.
constexpr int kVisDrivePriority = -1;
}  // namespace

void TZOZUZivade::InitVis() {
  visShared_ = std::make_unique<plugins::TVisSharedRecord>();
  visData_ = std::make_unique<TVisDataThread>(bass_, *visShared_, msgSendingData_);
  visData_->SetScale(visScale_);
  plugins::TVisHostAnswers answers;
  answers.PositionMs = [this] { return int(GetPosition()); };
  plugins::SetHostPositionSource([this] { return int(GetPosition()); });
  plugins::InitVisDrive(owner_, hiddenWindow_, msgSendingData_, visDrawerLib_, visShared_.get(), kVisDrivePriority,
                        std::move(answers));
}

void TZOZUZivade::QuitVis() {
  if (!visData_) return;
  visData_->Suspend();
  if (hiddenWindow_) platform::KillTimer(hiddenWindow_, kVisResumeTimer);
  plugins::StopDriveThread(true);
  plugins::QuitVisDrive();
  plugins::SetHostPositionSource(nullptr);
  visData_.reset();  // before the library goes: the thread calls it
  visActive_ = visStarting_ = visStopping_ = false;
}

bool TZOZUZivade::RunVisPlugin(const std::string& path, int moduleIndex) {
  if (!visData_ || !visData_->Ready()) {
    errorBox_.ShowError("Cannot run Winamp visualization plug-ins");
    return false;
  }
  if (!platform::FileExists(path)) {
    errorBox_.ShowError("Specified visualization plug-in does not exist");
    return false;
  }
  if (visStarting_ || visStopping_) return false;
  if (plugins::DriveThreadRunning()) {
    // The new module starts once the running one has ended (code 70).
    visPendingPath_ = path;
    visPendingIndex_ = moduleIndex;
    QuitVisPlugin();
    return true;
  }
  return StartVisDriver(path, moduleIndex);
}

bool TZOZUZivade::StartVisDriver(const std::string& path, int moduleIndex) {
  plugins::TChannelAttrb a;
  a.Title = streamInfo_.Title;
  a.FileName = streamInfo_.FileName.empty() ? streamName_ : streamInfo_.FileName;
  a.SampleRate = int32_t(streamInfo_.SampleRate);
  a.BitRate = streamInfo_.BitRate;
  a.Duration = streamInfo_.Duration;
  a.Channels = streamInfo_.Channels > 2 ? 2 : streamInfo_.Channels;
  visStarting_ = true;
  visPath_ = path;
  UpdateVisInfo();
  if (!plugins::StartDriveThread(path, moduleIndex, visEmbedTarget_, a, int(mode_), visEmbedTarget_ != nullptr,
                                 useVisDrawer_)) {
    visStarting_ = false;
    return false;
  }
  return true;
}

void TZOZUZivade::QuitVisPlugin() {
  visActive_ = false;
  if (visData_) visData_->Suspend();
  visStopping_ = true;
  plugins::StopDriveThread();  // code 70 comes back through the hidden window before it returns
}

void TZOZUZivade::HideVisWindow() { plugins::PostToDriveThread(plugins::vcHide, 0); }
void TZOZUZivade::ShowVisWindow() { plugins::PostToDriveThread(plugins::vcShow, 0); }

void TZOZUZivade::AllowVisAttach(bool on) { plugins::PostToDriveThread(plugins::vcAllowAttach, on ? 1 : 0); }

void TZOZUZivade::ReattachVis(platform::HWND target) {
  plugins::PostToDriveThread(plugins::vcReattach, reinterpret_cast<platform::LPARAM>(target));
}

void TZOZUZivade::PlayListRequest(platform::LPARAM file) {
  // The event carries 32 bits: the file name stays here and the event gets its number.
  if (!file) {
    if (OnUpdatePlayList) OnUpdatePlayList(this, 0);
    return;
  }
  playListRequestFile_ = reinterpret_cast<const char*>(file);
  if (++playListRequestId_ == 0) playListRequestId_ = 1;
  if (OnUpdatePlayList) OnUpdatePlayList(this, playListRequestId_);
}

std::string TZOZUZivade::PlayListRequestFile(uint32_t id) const {
  return id != 0 && id == playListRequestId_ ? playListRequestFile_ : std::string();
}

void TZOZUZivade::SetUseVisDrawer(bool on) {
  if (on && !visDrawerLib_) return;
  useVisDrawer_ = on;
  plugins::PostToDriveThread(plugins::vcDrawer, on ? 1 : 0);
}

void TZOZUZivade::UpdateVisStream() {
  if (!visData_) return;
  int channels = streamInfo_.Channels, rate = int(streamInfo_.SampleRate);
  if (outputChannel_) {
    BASS_CHANNELINFO ci{};
    if (bass_.BASS_ChannelGetInfo(outputChannel_, &ci)) {
      channels = int(ci.chans);
      rate = int(ci.freq);
    }
  }
  visData_->SetStream(streamKind_, decodeChannel_, channels, rate, outputChannel_, DualChannel());
}

void TZOZUZivade::UpdateVisInfo() {
  plugins::TChannelAttrb a;
  a.Title = streamInfo_.Title;
  a.FileName = streamInfo_.FileName.empty() ? streamName_ : streamInfo_.FileName;
  a.SampleRate = int32_t(streamInfo_.SampleRate);
  a.BitRate = streamInfo_.BitRate;
  a.Duration = streamInfo_.Duration;
  a.Channels = streamInfo_.Channels > 2 ? 2 : streamInfo_.Channels;
  plugins::SetVisChannelAttrb(a);
  if (!visShared_) return;
  {
    std::lock_guard lock(visShared_->Lock);
    visShared_->PlayerMode = uint8_t(mode_);
    visShared_->SampleRate = a.SampleRate;
    visShared_->BitRate = a.BitRate;
    visShared_->Channels = uint16_t(a.Channels);
    visShared_->Duration = a.Duration;
    std::snprintf(visShared_->Title, sizeof(visShared_->Title), "%s", a.Title.c_str());
    std::snprintf(visShared_->FileName, sizeof(visShared_->FileName), "%s", a.FileName.c_str());
  }
  plugins::PostToDriveThread(plugins::vcInfo, 528);
}

void TZOZUZivade::VisModeChanged(TPlayerMode mode) {
  if (!visData_) return;
  visData_->SetMode(int(mode));
  if (mode != plmPlaying) visData_->Suspend();
  if (mode == plmStandby) visData_->SetStream(0, 0, 0, 0, 0, false);
  if (!plugins::DriveThreadRunning()) return;
  {
    std::lock_guard lock(visShared_->Lock);
    visShared_->PlayerMode = uint8_t(mode);
  }
  plugins::PostToDriveThread(plugins::vcMode, 4);
  if (mode == plmPlaying && visActive_) ScheduleVisResume(kResumeAfterPlayMs);
}

void TZOZUZivade::ScheduleVisResume(int ms) {
  // A one-shot timer that knows its stream: a resume meant for a stream closed since does nothing.
  visResumeGen_ = streamGen_;
  if (visData_) visData_->ResetFrameState();
  platform::SetTimer(hiddenWindow_, kVisResumeTimer, uint32_t(ms));
}

void TZOZUZivade::HandleVisResumeTimer() {
  platform::KillTimer(hiddenWindow_, kVisResumeTimer);
  if (!visData_ || visResumeGen_ != streamGen_ || mode_ != plmPlaying || !visActive_) return;
  UpdateVisStream();
  visData_->Resume();
}

void TZOZUZivade::HandleVisData(platform::WPARAM code, platform::LPARAM value) {
  const uint64_t serial = static_cast<uint64_t>(value);
  switch (code) {
    case plugins::vcTiming: {
      int32_t t[4];
      if (!visData_ || !plugins::VisRunTiming(serial, t)) return;
      visData_->Configure(t[0], t[1], t[2], t[3]);
      visData_->SetScale(visScale_);
      visData_->SetTargetThread(plugins::DriveThreadId());
      return;
    }
    case plugins::vcShown: {
      visStarting_ = false;
      plugins::TVisPluginInfo info;
      if (value == 0 || !plugins::VisRunInfo(serial, &info)) {
        visInfo_ = plugins::TVisPluginInfo{};
        if (OnVisWindowShow) OnVisWindowShow(this, visInfo_);
        return;
      }
      visInfo_ = info;
      visActive_ = true;
      if (OnVisWindowShow) OnVisWindowShow(this, visInfo_);
      if (mode_ == plmPlaying) ScheduleVisResume(kResumeAfterStartMs);
      return;
    }
    case plugins::vcGone:
      visActive_ = false;
      if (visData_) visData_->Suspend();
      return;
    case plugins::vcReattached: {
      plugins::TVisPluginInfo info;
      if (!plugins::VisRunInfo(serial, &info)) return;
      visInfo_ = info;
      if (OnVisWindowShow) OnVisWindowShow(this, visInfo_);
      // Fed again once it sits in its new place (code 65 stopped the feed while it moved).
      if (!visActive_ && !visStopping_) {
        visActive_ = true;
        if (mode_ == plmPlaying) ScheduleVisResume(kResumeAfterPlayMs);
      }
      return;
    }
    case plugins::vcFinished: {
      if (!plugins::DriveThreadFinished(serial)) return;  // a late notice of a run already dealt with
      visStopping_ = visStarting_ = visActive_ = false;
      if (visData_) {
        visData_->Suspend();
        visData_->SetTargetThread(0);
      }
      visInfo_ = plugins::TVisPluginInfo{};
      if (OnVisWindowShow) OnVisWindowShow(this, visInfo_);
      if (visPendingIndex_ >= 0 && !visPendingPath_.empty()) {
        std::string path = std::move(visPendingPath_);
        int index = visPendingIndex_;
        visPendingPath_.clear();
        visPendingIndex_ = -1;
        StartVisDriver(path, index);
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace engine

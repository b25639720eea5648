#include "app/MainVideo.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QScreen>
#include <QEvent>
#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/AppWindows.h"
#include "app/FormInfoVideo.h"
#include "app/Forms.h"
#include "app/Main.h"
#include "app/MainPlayback.h"
#include "app/PlaybackControl.h"
#include "app/SecondaryForms.h"
#include "app/SkinWidgets.h"
#include "app/VideoWidget.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "playlist/Playlist.h"
#include "playlist/ui/FormPL.h"
#include "video/DvdDisc.h"
#include "video/Snapshot.h"

namespace app {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QImage ToImage(const video::TVideoFrame& f) {
  QImage img(reinterpret_cast<const uchar*>(f.Pixels.data()), f.Width, f.Height, f.Width * 4, QImage::Format_RGB32);
  return img.copy();  // the frame's memory is not ours to keep
}

// Rounded half to even, as the DVD speed is shown ("Speed: 0" at half speed).
long long RoundHalfEven(double v) { return std::llrint(v); }

}  // namespace

TMainVideo::TMainVideo(TForm1& form, TApplicationWindows& windows, TMainPlayback& view, TPlaybackControl& control)
    : form_(form), windows_(windows), view_(view), control_(control) {
  context_ = std::make_unique<QObject>();
  if (QWidget* panel = form_.findChild<QWidget*>("PanelVideo")) {
    widget_ = new TVideoWidget(panel);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(widget_);
  }
  if (QToolButton* full = form_.SpeedButton("sbFullScreen")) videoControls_ = full->parentWidget();
  audioPanel_ = form_.findChild<QWidget*>("PanelAudio");
  textTimer_ = new QTimer(context_.get());
  textTimer_->setInterval(3000);
  textTimer_->setSingleShot(true);
  QObject::connect(textTimer_, &QTimer::timeout, context_.get(), [this] {
    if (widget_) widget_->SetText(QString());
  });
  cursorTimer_ = new QTimer(context_.get());
  cursorTimer_->setInterval(3000);
  QObject::connect(cursorTimer_, &QTimer::timeout, context_.get(), [this] {
    if (fullScreen_ && !pointerMoved_ && widget_) widget_->setCursor(Qt::BlankCursor);
    pointerMoved_ = false;
  });
  cursorTimer_->start();
  Wire();
  WireSettings();
  if (windows_.FormPL) {
    windows_.FormPL->ShowVideoInfo = [this](int index) {
      if (index >= 0 && index < windows_.Playlist->Count()) ShowVideoInfo(windows_.Playlist->Entry(index).File);
    };
  }
}

void TMainVideo::ShowVideoInfo(const std::string& file) {
  if (!info_) info_ = std::make_unique<TFormInfoVideo>();
  info_->Attach(this, file);
  if (form_.ShowModal) form_.ShowModal(info_.get());
  else info_->show();
}

TMainVideo::~TMainVideo() {
  if (windows_.FormSettings && settingsFilter_) windows_.FormSettings->removeEventFilter(settingsFilter_.get());
  if (windows_.FormPL) windows_.FormPL->ShowVideoInfo = nullptr;
  info_.reset();
  // The controller first: it joins libVLC's threads, so nothing posts to the context afterwards.
  controller_.reset();
  context_.reset();
  if (widget_ && fullScreen_) LeaveFullScreen();
}

void TMainVideo::Wire() {
  QObject* ctx = context_.get();
  auto action = [&](const char* name, std::function<void()> f) {
    if (QAction* a = form_.Action(name)) QObject::connect(a, &QAction::triggered, ctx, [f = std::move(f)] { f(); });
  };
  auto button = [&](const char* name, std::function<void()> f) {
    if (TImageButton* b = form_.Button(name)) b->onClick = std::move(f);
  };
  button("ImageSpeedUp", [this] { SpeedUp(); });
  button("ImageSpeedDown", [this] { SpeedDown(); });
  action("PMSpeedUp", [this] { SpeedUp(); });
  action("PMSpeedDown", [this] { SpeedDown(); });
  action("PMSnapShot", [this] { TakeSnapshot(); });
  action("PMStepForwardMenu", [this] { StepForward(); });
  action("PMPlayDVD", [this] { PlayDvd(); });
  action("PMMenuTitle", [this] { ShowMenu(true); });
  action("PMMenuRoot", [this] { ShowMenu(false); });
  action("PMSaveBookmark", [this] { SaveBookmark(); });
  action("PMRestoreBookmark", [this] { RestoreBookmark(); });
  if (QToolButton* full = form_.SpeedButton("sbFullScreen")) {
    full->setCheckable(true);
    QObject::connect(full, &QToolButton::clicked, ctx, [this] { ToggleFullScreen(); });
  }
  if (!widget_) return;
  widget_->onDoubleClick = [this] { ToggleFullScreen(); };
  widget_->onKey = [this](int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // A DVD menu takes Enter as "activate"; otherwise it toggles full screen.
      if (mode_ == 3 && controller_ && controller_->Title() == 0) controller_->Navigate(0);
      else ToggleFullScreen();
    } else if (key == Qt::Key_Space) {
      control_.Pause();
    } else if (key == Qt::Key_Escape) {
      LeaveFullScreen();
    } else if (mode_ == 3 && controller_) {
      if (key == Qt::Key_Up) controller_->Navigate(1);
      else if (key == Qt::Key_Down) controller_->Navigate(2);
      else if (key == Qt::Key_Left) controller_->Navigate(3);
      else if (key == Qt::Key_Right) controller_->Navigate(4);
    }
  };
  widget_->onPointerMove = [this](QPoint p) {
    pointerMoved_ = true;
    if (!fullScreen_) return;
    widget_->setCursor(Qt::ArrowCursor);
    PointerAt(widget_->mapToGlobal(p).y());
  };
}

bool TMainVideo::EnsureController() {
  if (controller_ && controller_->Ready()) return true;
  QObject* ctx = context_.get();
  engine::TZOZUZivade* engine = form_.Engine();
  engine::TBassCore* bass = engine && engine->Ready() ? &engine->Bass() : nullptr;
  controller_ = std::make_unique<video::TVideoController>(
      [ctx, this](const video::TVideoEvent& e) {
        QMetaObject::invokeMethod(ctx, [this, e] { OnEvent(e); }, Qt::QueuedConnection);
      },
      bass);
  if (!controller_->Ready()) {
    platform::ShowMessage("Video cannot be played: " + controller_->LastError() + ".", platform::kCaptionError,
                          platform::MsgIcon::Error);
    controller_.reset();
    return false;
  }
  return true;
}

void TMainVideo::ComposeTitle(const char* statusKey) {
  control_.RunningTitle = control_.ComposeRunningTitle(statusKey);
  view_.SetRunningTitle(control_.RunningTitle);
}

void TMainVideo::SetLabels(const std::string& pos, const std::string& dur) {
  if (QLabel* l = form_.Label("LabelVideoPos")) {
    l->setText(Q(pos));
    l->adjustSize();
  }
  if (QLabel* l = form_.Label("LabelVideoDur")) {
    l->setText(Q(dur));
    l->adjustSize();
  }
}

// Volume, mute and balance go to every new video, not only when the bars move.
void TMainVideo::ApplyLoudness() {
  if (!controller_) return;
  controller_->SetVolume(control_.Muted ? 0 : std::clamp(form_.tbVolume()->value(), 0, 255) * 39);
  controller_->SetBalance(std::clamp(form_.tbBalance()->value(), -100, 100));
}

void TMainVideo::StartPlayback(int playMode) {
  if (!EnsureController()) return;
  video::TVideoState state = controller_->State();
  if (state != video::TVideoState::Stopped && mode_ != playMode) {
    controller_->Stop();
    state = video::TVideoState::Stopped;
  }
  mode_ = playMode;
  if (state == video::TVideoState::Stopped) {
    form_.Settings().showVideoWindow = true;
    form_.ShowVideoPanel(true);
    videoName_ = platform::ExtractFileName(control_.CurrentFile);
    const TProgressGeometry& g = control_.ProgressGeometry();
    view_.ShowProgress(0, g.TrackLeft, true);
    if (widget_) widget_->ClearPicture();
    rateTenths_ = 10;
    dvdSpeed_ = 1.0;
    dvdTotalMs_ = 1;
    dvdPositionMs_ = 0;
    lastTitle_ = -1;
    positionText_ = video::ElapsedText(0);
    SetLabels(form_.Str("StringPosition") + positionText_, form_.Str("StringDuration") + positionText_);
    if (playMode == 3) {
      if (!StartDvd(control_.CurrentFile)) return;
    } else {
      DropDvdWindow();
      if (!controller_->Start(control_.CurrentFile, false)) {
        platform::ShowMessage(controller_->LastError(), platform::kCaptionError, platform::MsgIcon::Error);
        return;
      }
    }
    ApplyLoudness();
    ShowVideoText(Q(form_.Str("StringPlaying")));
    if (playMode == 2) view_.SetStateTimer(true);
    ComposeTitle("StringPlaying");
    view_.StartRunStringTimer();
  } else if (state == video::TVideoState::Paused) {
    controller_->Run();
    ComposeTitle("StringPlaying");
    view_.StartRunStringTimer();
  } else if (playMode == 2) {
    // Play on a playing video cancels a speed change.
    rateTenths_ = 10;
    controller_->SetRate(1.0);
    controller_->Run();
  } else {
    dvdSpeed_ = 1.0;
    controller_->SetRate(1.0);
  }
}

bool TMainVideo::StartDvd(const std::string& path) {
  std::string disc;
  switch (video::CheckDvdVolume(path, disc)) {
    case video::TDvdVolume::Invalid:
      platform::ShowMessage("The specified DVD volume to be played does not exist.", platform::kCaptionError,
                            platform::MsgIcon::Error);
      return false;
    case video::TDvdVolume::NotFound:
      platform::ShowMessage("No DVD volume is specified or isn't found.", platform::kCaptionError,
                            platform::MsgIcon::Error);
      return false;
    case video::TDvdVolume::Ok:
      break;
  }
  discId_ = video::DvdDiscIdentity(disc);
  pendingSeekMs_ = -1;
  pendingTitle_ = -1;
  // On X11 the disc plays in the panel's native child window, where a click on a menu
  // button reaches the navigator; elsewhere through the callbacks, with the keys.
  controller_->Stop();
  controller_->SetDvdWindow(widget_ ? widget_->NativeChild() : 0);
  if (!controller_->Start(disc, true)) {
    platform::ShowMessage(controller_->LastError(), platform::kCaptionError, platform::MsgIcon::Error);
    return false;
  }
  return true;
}

void TMainVideo::PlayDvd(const std::string& discPath) {
  if (!EnsureController()) return;
  control_.Stop();
  control_.PlayMode = 3;
  form_.SetPlayMode(3);
  mode_ = 3;
  if (controller_->State() != video::TVideoState::Stopped) controller_->Stop();
  // The panel opens and the running title names the disc.
  form_.Settings().showVideoWindow = true;
  form_.ShowVideoPanel(true);
  videoName_ = discPath.empty() ? std::string("DVD") : platform::ExtractFileName(discPath);
  if (videoName_.empty()) videoName_ = "DVD";
  dvdSpeed_ = 1.0;
  dvdTotalMs_ = 1;
  dvdPositionMs_ = 0;
  lastTitle_ = -1;
  positionText_ = video::ElapsedText(0);
  SetLabels(form_.Str("StringPosition") + positionText_, form_.Str("StringDuration") + positionText_);
  if (widget_) widget_->ClearPicture();
  if (!StartDvd(discPath)) {
    ComposeTitle("StringStopped");
    return;
  }
  ApplyLoudness();
  ComposeTitle("StringPlaying");
  view_.StartRunStringTimer();
}

void TMainVideo::ShowMenu(bool title) {
  if (mode_ == 3 && controller_ && !Stopped()) controller_->ShowMenu(title);
}

// An installed program folder is not the user's to write: OwnFilesFolder() decides.
std::string TMainVideo::BookmarkFile() const { return OwnFilesFolder() + "bookmark.bmk"; }

void TMainVideo::SaveBookmark() {
  if (mode_ != 3 || !controller_ || Stopped()) return;
  video::TDvdBookmark b;
  b.DiscId = discId_;
  b.Title = std::max(controller_->Title(), 0);
  b.Chapter = std::max(controller_->Chapter(), 0);
  b.TimeMs = controller_->TimeMs();
  std::string error;
  if (!video::SaveDvdBookmark(BookmarkFile(), b, &error))
    platform::ShowMessage(error, platform::kCaptionError, platform::MsgIcon::Error);
}

void TMainVideo::RestoreBookmark() {
  if (mode_ != 3 || !controller_ || Stopped()) return;
  video::TDvdBookmark b;
  switch (video::LoadDvdBookmark(BookmarkFile(), b)) {
    case video::TBookmarkRead::Missing:
      return;  // no bookmark saved: nothing to do
    case video::TBookmarkRead::Damaged:
      platform::ShowMessage("The bookmark file " + BookmarkFile() + " is damaged and cannot be restored.",
                            platform::kCaptionError, platform::MsgIcon::Error);
      return;
    case video::TBookmarkRead::Ok:
      break;
  }
  if (b.DiscId != discId_) {
    platform::ShowMessage("The bookmark was saved on another disc.", platform::kCaptionWarning,
                          platform::MsgIcon::Warning);
    return;
  }
  if (controller_->Title() == b.Title) {
    controller_->SeekMs(b.TimeMs);
    return;
  }
  // The time applies once the title plays.
  pendingTitle_ = b.Title;
  pendingSeekMs_ = b.TimeMs;
  controller_->SetTitle(b.Title);
}

void TMainVideo::Pause() {
  if (!controller_) return;
  if (controller_->State() == video::TVideoState::Playing) {
    controller_->Pause();
    ComposeTitle("StringPaused");
  } else if (controller_->State() == video::TVideoState::Paused) {
    controller_->Run();
    ComposeTitle("StringPlaying");
  }
}

void TMainVideo::DropDvdWindow() {
  if (dvdFull_) LeaveFullScreen();
  // libVLC lets go of the window when its player stops.
  if (controller_) controller_->Stop();
  if (widget_) widget_->DropNativeChild();
}

void TMainVideo::Stop() {
  DropDvdWindow();
  view_.SetStateTimer(false);
  view_.ShowProgress(0, control_.ProgressGeometry().TrackLeft, false);
  SetLabels("Position: 0:00:00", "Duration: 0:00:00");
  ComposeTitle("StringStopped");
}

void TMainVideo::PreviousChapter() {
  if (controller_ && !Stopped()) controller_->PreviousChapter();
}

void TMainVideo::NextChapter() {
  if (controller_ && !Stopped()) controller_->NextChapter();
}

bool TMainVideo::Playing() const { return controller_ && controller_->State() == video::TVideoState::Playing; }
bool TMainVideo::Stopped() const { return !controller_ || controller_->State() == video::TVideoState::Stopped; }

void TMainVideo::SeekToBar(int filledWidth, int range) {
  if (Stopped() || range <= 0) return;
  if (mode_ == 3) {
    const int64_t target = std::min<int64_t>(static_cast<int64_t>(filledWidth) * dvdTotalMs_ / range, dvdTotalMs_);
    view_.SetStateTimer(false);
    controller_->SeekMs(target / 1000 * 1000);  // whole seconds: a time code with frame 0
    view_.SetStateTimer(true);
    return;
  }
  int64_t d = controller_->LengthMs();
  if (d <= 0) d = 1;
  const int64_t target = std::clamp<int64_t>(static_cast<int64_t>(filledWidth) * d / range, 0, d);
  view_.SetStateTimer(false);
  controller_->SeekMs(target);
  view_.SetStateTimer(true);
}

void TMainVideo::Position(int64_t& positionMs, int64_t& lengthMs) {
  if (!controller_) return;
  if (mode_ == 3) {
    if (lastTitle_ > 0) {
      const int64_t total = controller_->LengthMs() / 1000 * 1000;
      if (total > 0 && total != dvdTotalMs_) {
        dvdTotalMs_ = total;
        if (QLabel* l = form_.Label("LabelVideoDur")) {
          l->setText(Q(form_.Str("StringDuration") + video::ElapsedText(total)));
          l->adjustSize();
        }
      }
    }
    positionMs = lastTitle_ == 0 ? 0 : dvdPositionMs_;
    lengthMs = dvdTotalMs_;
    return;
  }
  positionMs = controller_->TimeMs();
  lengthMs = std::max<int64_t>(controller_->LengthMs(), 1);
  positionText_ = video::ElapsedText(positionMs);
  SetLabels(form_.Str("StringPosition") + positionText_,
            form_.Str("StringDuration") + video::ElapsedText(controller_->LengthMs()));
}

void TMainVideo::SetVolume(int position) {
  if (controller_ && !control_.Muted) controller_->SetVolume(std::clamp(position, 0, 255) * 39);
}

void TMainVideo::SetMuted(bool mute) {
  if (controller_) controller_->SetVolume(mute ? 0 : std::clamp(form_.tbVolume()->value(), 0, 255) * 39);
}

void TMainVideo::SetBalance(int position) {
  if (controller_) controller_->SetBalance(position);
}

void TMainVideo::SpeedUp() {
  if (!Playing() || (control_.PlayMode != 2 && control_.PlayMode != 3)) return;
  if (mode_ == 3) {
    if (dvdSpeed_ < 32) dvdSpeed_ *= 2;
    controller_->SetRate(dvdSpeed_);
    ShowVideoText("Speed: " + QString::number(RoundHalfEven(dvdSpeed_)));
    return;
  }
  // Tenths, so ten steps up from 1.0 land on 2.0 exactly.
  if (rateTenths_ < 20) ++rateTenths_;
  controller_->SetRate(rateTenths_ / 10.0);
  ShowVideoText("Speed: " + QString::number(rateTenths_ * 10) + "%");
}

void TMainVideo::SpeedDown() {
  if (!Playing() || (control_.PlayMode != 2 && control_.PlayMode != 3)) return;
  if (mode_ == 3) {
    if (dvdSpeed_ > 1.0 / 32) dvdSpeed_ /= 2;
    controller_->SetRate(dvdSpeed_);
    ShowVideoText("Speed: " + QString::number(RoundHalfEven(dvdSpeed_)));
    return;
  }
  // Never 0 or below: libVLC would take a negative rate.
  if (rateTenths_ > 1) --rateTenths_;
  controller_->SetRate(rateTenths_ / 10.0);
  ShowVideoText("Speed: " + QString::number(rateTenths_ * 10) + "%");
}

void TMainVideo::ShowVideoText(const QString& text) {
  if (!widget_) return;
  widget_->SetText(text);
  if (text.isEmpty()) textTimer_->stop();
  else textTimer_->start();
}

void TMainVideo::TakeSnapshot() {
  if (!controller_ || (control_.PlayMode != 2 && control_.PlayMode != 3)) return;
  video::TVideoFrame frame;
  if (controller_->Embedded()) {
    // libVLC's own output: it saves the shown picture, which is read back here.
    const std::string png = OwnFilesFolder() + "snapshot.png.tmp";
    QImage shot;
    if (controller_->SnapshotPng(png)) shot.load(Q(png), "PNG");
    std::remove(png.c_str());
    if (!shot.isNull()) {
      shot = shot.convertToFormat(QImage::Format_RGB32);
      frame.Width = shot.width();
      frame.Height = shot.height();
      frame.Pixels.resize(static_cast<size_t>(frame.Width) * frame.Height);
      for (int y = 0; y < frame.Height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(shot.constScanLine(y));
        std::copy(row, row + frame.Width, frame.Pixels.begin() + static_cast<ptrdiff_t>(y) * frame.Width);
      }
    }
  }
  if (frame.Pixels.empty() && !controller_->CopyFrame(frame)) {
    platform::ShowMessage("There is no picture to save yet.", platform::kCaptionWarning, platform::MsgIcon::Warning);
    return;
  }
  // The position of the picture itself, not of the last timer tick.
  if (mode_ == 2) positionText_ = video::ElapsedText(controller_->TimeMs());
  const std::string path = video::SnapshotFileName(OwnFilesFolder(), videoName_, positionText_);
  std::string error;
  if (!video::SaveBitmap24(frame, path, &error)) {
    platform::ShowMessage(error, platform::kCaptionError, platform::MsgIcon::Error);
    return;
  }
  lastSnapshot_ = path;
}

void TMainVideo::StepForward() {
  if (controller_ && !Stopped()) controller_->StepForward();
}

void TMainVideo::SetPicture(float contrast, float brightness, float hue, float saturation) {
  if (controller_) controller_->SetAdjust(contrast, brightness, hue, saturation);
}

// ---------------------------------------------------------------- settings, Video page

namespace {
// Shows of the settings window reach the video side.
class ShowFilter : public QObject {
 public:
  explicit ShowFilter(std::function<void()> onShow) : onShow_(std::move(onShow)) {}

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Show) onShow_();
    return false;
  }

 private:
  std::function<void()> onShow_;
};

// libVLC's adjust filter: contrast, brightness and saturation as factors (bars in
// hundredths), hue in degrees.
struct PictureBar {
  const char* name;
  int min, max, def;
};
constexpr PictureBar kPictureBars[] = {
    {"tbContrast", 0, 200, 100}, {"tbBrightness", 0, 200, 100}, {"tbHue", -180, 180, 0}, {"tbSaturation", 0, 300, 100}};
}  // namespace

void TMainVideo::WireSettings() {
  TFormSettings* s = windows_.FormSettings.get();
  if (!s) return;
  settingsFilter_ = std::make_unique<ShowFilter>([this] { FillPicturePage(); });
  s->installEventFilter(settingsFilter_.get());
  QObject* ctx = context_.get();
  for (const PictureBar& b : kPictureBars)
    if (auto* bar = s->findChild<QSlider*>(b.name))
      QObject::connect(bar, &QSlider::valueChanged, ctx, [this] { ApplyPictureBars(); });
  for (const char* name : {"tbPosX", "tbPosY", "tbSizeX", "tbSizeY"})
    if (auto* bar = s->findChild<QSlider*>(name))
      QObject::connect(bar, &QSlider::valueChanged, ctx, [this] { ApplyOutputBars(); });
  for (const char* name : {"tbPosX", "tbPosY", "tbSizeX", "tbSizeY"}) {
    if (auto* bar = s->findChild<QSlider*>(name)) {
      const QSignalBlocker block(bar);
      bar->setRange(0, 100);
      bar->setValue(QString(name).startsWith("tbSize") ? 100 : 0);
    }
  }
  if (auto* aspect = s->findChild<QCheckBox*>("cbAspectRatio")) {
    aspect->setChecked(widget_ ? widget_->KeepAspect() : true);
    QObject::connect(aspect, &QCheckBox::toggled, ctx, [this](bool on) {
      if (widget_) widget_->SetKeepAspect(on);
    });
  }
}

void TMainVideo::FillPicturePage() {
  TFormSettings* s = windows_.FormSettings.get();
  if (!s) return;
  const bool active = !Stopped();
  if (QWidget* page = s->PictureControls()) page->setEnabled(active);
  if (!active) return;
  for (const PictureBar& b : kPictureBars) {
    if (auto* bar = s->findChild<QSlider*>(b.name)) {
      const QSignalBlocker block(bar);
      bar->setRange(b.min, b.max);
      bar->setValue(b.def);
      bar->setTickInterval(1);
      bar->setEnabled(true);
    }
  }
  for (const char* name : {"tbPosX", "tbPosY", "tbSizeX", "tbSizeY"})
    if (auto* bar = s->findChild<QSlider*>(name)) bar->setEnabled(widget_ != nullptr);
}

void TMainVideo::ApplyPictureBars() {
  TFormSettings* s = windows_.FormSettings.get();
  if (!s || !controller_) return;
  float v[4];
  for (int i = 0; i < 4; ++i) {
    auto* bar = s->findChild<QSlider*>(kPictureBars[i].name);
    v[i] = bar ? static_cast<float>(bar->value()) : static_cast<float>(kPictureBars[i].def);
  }
  controller_->SetAdjust(v[0] / 100.0f, v[1] / 100.0f, v[2], v[3] / 100.0f);
}

void TMainVideo::ApplyOutputBars() {
  TFormSettings* s = windows_.FormSettings.get();
  if (!s || !widget_) return;
  auto value = [s](const char* name, int def) {
    auto* bar = s->findChild<QSlider*>(name);
    return bar ? bar->value() : def;
  };
  const double x = value("tbPosX", 0) / 100.0, y = value("tbPosY", 0) / 100.0;
  const double w = value("tbSizeX", 100) / 100.0, h = value("tbSizeY", 100) / 100.0;
  widget_->SetOutputRect(QRectF(QPointF(x, y), QPointF(x + w, y + h)));
}

void TMainVideo::ToggleFullScreen() {
  if (!widget_) return;
  if (fullScreen_) {
    LeaveFullScreen();
    return;
  }
  fullScreen_ = true;
  if (controller_ && controller_->Embedded() && widget_->NativeChildId()) {
    dvdFull_ = std::make_unique<TVideoWidget>();
    dvdFull_->onKey = widget_->onKey;
    dvdFull_->onDoubleClick = widget_->onDoubleClick;
    dvdFull_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The screen's size also without a window manager to apply the full-screen state.
    if (QScreen* screen = widget_->screen()) dvdFull_->setGeometry(screen->geometry());
    dvdFull_->showFullScreen();
    dvdFull_->setFocus();
    dvdFull_->TakeNativeChild(*widget_);
    if (QToolButton* b = form_.SpeedButton("sbFullScreen")) b->setChecked(true);
    return;
  }
  widget_->setParent(nullptr);
  widget_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  widget_->showFullScreen();
  widget_->setFocus();
  if (QToolButton* b = form_.SpeedButton("sbFullScreen")) b->setChecked(true);
}

void TMainVideo::PointerAt(int y) {
  QWidget* bar = windows_.FormControlBar.get();
  if (!fullScreen_ || !bar || !widget_) return;
  constexpr int kBarWidth = 364, kBarHeight = 194;
  const QRect screen = widget_->screen() ? widget_->screen()->geometry() : widget_->geometry();
  if (y <= screen.bottom() + 1 - kBarHeight) {
    bar->hide();
    return;
  }
  QWidget* videoControls = videoControls_;
  QWidget* audio = audioPanel_;
  if (videoControls && audio && !videoControlsHome_) {
    videoControlsHome_ = videoControls->parentWidget();
    audioHome_ = audio->parentWidget();
    videoControls->setParent(bar);
    videoControls->move(0, 0);
    videoControls->show();
    audio->setParent(bar);
    audio->setGeometry(0, videoControls->height(), kBarWidth, kBarHeight - videoControls->height());
    audio->show();
    if (TImageButton* open = form_.Button("ImageOpen")) open->hide();
  }
  bar->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  bar->setGeometry(screen.left() + (screen.width() - kBarWidth) / 2, screen.bottom() + 1 - kBarHeight, kBarWidth,
                   kBarHeight);
  bar->show();
  bar->raise();
}

void TMainVideo::LeaveFullScreen() {
  if (!widget_ || !fullScreen_) return;
  fullScreen_ = false;
  if (dvdFull_) {
    widget_->TakeNativeChild(*dvdFull_);
    dvdFull_.reset();
    if (windows_.FormControlBar) windows_.FormControlBar->hide();
    if (QToolButton* b = form_.SpeedButton("sbFullScreen")) b->setChecked(false);
    return;
  }
  // The panels go back to the main window, centred in their bases as its layout keeps them.
  if (videoControlsHome_ && audioHome_) {
    QWidget* videoControls = videoControls_;
    QWidget* audio = audioPanel_;
    if (videoControls) {
      videoControls->setParent(videoControlsHome_);
      videoControls->move((videoControlsHome_->width() - videoControls->width()) / 2, 0);
      videoControls->show();
    }
    if (audio) {
      audio->setParent(audioHome_);
      audio->move((audioHome_->width() - audio->width()) / 2, 0);
      audio->show();
    }
    if (TImageButton* open = form_.Button("ImageOpen")) open->show();
    videoControlsHome_ = audioHome_ = nullptr;
  }
  QWidget* panel = form_.findChild<QWidget*>("PanelVideo");
  widget_->setWindowFlag(Qt::WindowStaysOnTopHint, false);
  widget_->showNormal();
  widget_->setParent(panel);
  if (panel && panel->layout()) panel->layout()->addWidget(widget_);
  widget_->setCursor(Qt::ArrowCursor);
  widget_->show();
  if (windows_.FormControlBar) windows_.FormControlBar->hide();
  if (QToolButton* b = form_.SpeedButton("sbFullScreen")) b->setChecked(false);
}

void TMainVideo::OnEvent(const video::TVideoEvent& e) {
  // Events of a media that has since been stopped or replaced.
  if (!controller_ || e.Media != controller_->Media() || controller_->State() == video::TVideoState::Stopped) {
    if (controller_ && e.Kind == video::TVideoEventKind::FrameReady && e.Media == controller_->Media())
      controller_->FrameTaken();
    return;
  }
  switch (e.Kind) {
    case video::TVideoEventKind::FrameReady: {
      video::TVideoFrame f;
      controller_->FrameTaken();
      if (widget_ && controller_->CopyFrame(f)) widget_->SetPicture(ToImage(f), f.PixelAspect);
      break;
    }
    case video::TVideoEventKind::Ended:
      control_.PlayEnded();
      break;
    case video::TVideoEventKind::Failed: {
      const std::string name = videoName_;
      Stop();
      // No advance: with repeat on, a file that cannot play would start again at once.
      platform::ShowMessage("\"" + name + "\" cannot be played: no picture or sound could be decoded from it.",
                            platform::kCaptionError, platform::MsgIcon::Error);
      break;
    }
    case video::TVideoEventKind::TitleChanged: {
      // libVLC reports a title change with each chapter: act on real changes only.
      if (mode_ != 3 || e.Value == lastTitle_) break;
      lastTitle_ = static_cast<int>(e.Value);
      if (pendingSeekMs_ >= 0 && e.Value == pendingTitle_) {
        controller_->SeekMs(pendingSeekMs_);
        pendingSeekMs_ = -1;
      }
      // The menus have no length of their own: 0, not a full bar. A title's length
      // is taken by the display timer once libVLC knows it.
      dvdTotalMs_ = 1;
      if (QLabel* l = form_.Label("LabelVideoDur")) {
        l->setText(Q(form_.Str("StringDuration") + video::ElapsedText(0)));
        l->adjustSize();
      }
      view_.SetStateTimer(true);
      break;
    }
    case video::TVideoEventKind::TimeChanged: {
      if (mode_ != 3) break;
      const int64_t ms = lastTitle_ == 0 ? 0 : e.Value / 1000 * 1000;
      if (ms == dvdPositionMs_ && !positionText_.empty()) break;
      dvdPositionMs_ = ms;
      positionText_ = video::ElapsedText(ms);
      if (QLabel* l = form_.Label("LabelVideoPos")) {
        l->setText(Q(form_.Str("StringPosition") + positionText_));
        l->adjustSize();
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace app

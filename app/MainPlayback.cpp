#include "app/MainPlayback.h"

#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSlider>
#include <QUrl>

#include "app/AppWindows.h"
#include "app/Forms.h"
#include "app/Main.h"
#include "app/MainVideo.h"
#include "app/SkinWidgets.h"
#include "engine/ZOZUZivade.h"
#include "playlist/Playlist.h"
#include "plugins/PluginCtrl.h"
#include "playlist/ui/FormPL.h"

namespace app {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Files dropped on the main window go to the playback logic.
class DropFilter : public QObject {
 public:
  explicit DropFilter(std::function<void(const std::vector<std::string>&)> drop) : drop_(std::move(drop)) {}

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::DragEnter) {
      auto* d = static_cast<QDragEnterEvent*>(e);
      if (d->mimeData()->hasUrls()) d->acceptProposedAction();
      return true;
    }
    if (e->type() == QEvent::Drop) {
      auto* d = static_cast<QDropEvent*>(e);
      std::vector<std::string> names;
      for (const QUrl& u : d->mimeData()->urls())
        if (u.isLocalFile()) names.push_back(u.toLocalFile().toStdString());
      d->acceptProposedAction();
      drop_(names);
      return true;
    }
    return false;
  }

 private:
  std::function<void(const std::vector<std::string>&)> drop_;
};

// "desc|pattern|desc|pattern|" (the open filter's stored form) as a Qt filter.
QString QtFilter(const std::string& filter) {
  QStringList parts = Q(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) continue;
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    out << parts[i] + " (" + patterns.trimmed() + ")";
  }
  return out.join(";;");
}

QPlainTextEdit* StatusMemo(TApplicationWindows& w) { return w.FormStatus ? w.FormStatus->Memo() : nullptr; }

}  // namespace

TMainPlayback::TMainPlayback(TForm1& form, TApplicationWindows& windows) : form_(form), windows_(windows) {
  control_ = std::make_unique<TPlaybackControl>(*form.Engine(), *windows.Playlist, form.Settings(), *this);
  if (TSkinImage* track = form.SkinImage("ImageProgressMax"); track && form.SkinImage("ImageSlider"))
    control_->SetProgressGeometry({track->x(), track->width(), form.SkinImage("ImageSlider")->width()});
  FileChooser = [this](const std::string& filter, const std::string& start) {
    std::vector<std::string> files;
    for (const QString& f : QFileDialog::getOpenFileNames(&form_, QString(), Q(start), QtFilter(filter)))
      files.push_back(f.toStdString());
    return files;
  };
  FolderChooser = [this](const std::string& start) {
    QString dir = QFileDialog::getExistingDirectory(&form_, QString(), Q(start));
    return dir.isEmpty() ? std::string() : dir.toStdString() + "/";
  };
  AddressPrompt = [this]() -> std::string {
    TFormUrl* prompt = windows_.FormUrl.get();
    if (!prompt || !form_.ShowModal) return {};
    prompt->Reset();
    form_.ShowModal(prompt);
    return prompt->Confirmed() ? prompt->Address() : std::string();
  };
  Wire();
  video_ = std::make_unique<TMainVideo>(form_, windows_, *this, *control_);
}

TMainPlayback::~TMainPlayback() {
  video_.reset();
  // The engine and the windows outlive this object: neither their events nor
  // the controls' handlers may reach a control that is gone.
  if (dropFilter_) form_.removeEventFilter(dropFilter_.get());
  context_.reset();  // disconnects the bars and the menu commands
  for (const char* name : {"ImagePause", "ImagePre", "ImageNext", "ImageOpen"})
    if (TImageButton* b = form_.Button(name)) b->onClick = nullptr;
  for (const char* name : {"ImageProgressMax", "ImageProgress", "ImageSlider"}) {
    if (TSkinImage* image = form_.SkinImage(name)) {
      image->onPress = nullptr;
      image->onMove = nullptr;
      image->onRelease = nullptr;
    }
  }
  if (windows_.FormPL && ownsOpenUrl_) windows_.FormPL->OpenUrl = nullptr;
  engine::TZOZUZivade* e = form_.Engine();
  if (!e) return;
  e->OnPlayEnd = nullptr;
  e->OnGetMeta = nullptr;
  e->OnDownloaded = nullptr;
  e->OnPluginStartPlay = nullptr;
  e->OnGetChannelInfo = nullptr;
  e->OnGetLyric = nullptr;
  e->OnPluginRequest = nullptr;
  e->OnModeChange = [f = &form_](engine::TZOZUZivade*, engine::TPlayerMode o, engine::TPlayerMode n) {
    f->ModeChanged(o, n);
  };
}

void TMainPlayback::Wire() {
  TPlaybackControl& c = *control_;
  context_ = std::make_unique<QObject>();
  QObject* ctx = context_.get();
  c.AttachEngineEvents();
  // The main window handles the mode change first and passes it on. Each change
  // also refreshes the plug-ins' copy of the playlist (files, titles, playing index).
  form_.Engine()->OnModeChange = [f = &form_, list = windows_.Playlist.get()](engine::TZOZUZivade*, engine::TPlayerMode o,
                                                                        engine::TPlayerMode n) {
    if (list && (n == engine::plmReady || n == engine::plmPlaying)) {
      std::vector<std::string> files, titles;
      files.reserve(list->Entries().size());
      titles.reserve(list->Entries().size());
      for (const playlist::PlaylistEntry& e : list->Entries()) {
        files.push_back(e.File);
        titles.push_back(e.Title);
      }
      plugins::SetPlaylistMirror(list->PlayingIndex, std::move(files), std::move(titles));
    }
    f->ModeChanged(o, n);
  };
  auto button = [this](const char* name, std::function<void()> f) {
    if (TImageButton* b = form_.Button(name)) b->onClick = std::move(f);
  };
  auto action = [this](const char* name, std::function<void()> f) {
    if (QAction* a = form_.Action(name))
      QObject::connect(a, &QAction::triggered, context_.get(), [f = std::move(f)] { f(); });
  };
  button("ImagePause", [&c] { c.Pause(); });
  button("ImagePre", [&c] { c.Previous(); });
  button("ImageNext", [&c] { c.Next(); });
  button("ImageOpen", [&c] { c.OpenFiles(); });
  action("PMPause", [&c] { c.Pause(); });
  action("PMPre", [&c] { c.Previous(); });
  action("PMNext", [&c] { c.Next(); });
  action("PMOpenFiles", [&c] { c.OpenFiles(); });
  action("PMOpenFolder", [&c] { c.OpenFolder(); });
  action("PMOpenURL", [&c] { c.OpenAddress(true); });
  // The playlist's "Add Url" runs the same prompt and only appends.
  if (windows_.FormPL && !windows_.FormPL->OpenUrl) {
    windows_.FormPL->OpenUrl = [&c] { c.OpenAddress(false); };
    ownsOpenUrl_ = true;
  }

  QObject::connect(form_.tbVolume(), &QSlider::valueChanged, ctx, [&c](int v) { c.VolumeChanged(v); });
  QObject::connect(form_.tbBalance(), &QSlider::valueChanged, ctx, [&c](int v) { c.BalanceChanged(v); });
  if (auto* mute = form_.findChild<QCheckBox*>("cbMute"))
    QObject::connect(mute, &QCheckBox::toggled, ctx, [&c](bool on) { c.MuteChanged(on); });
  auto x = [](QMouseEvent* e) { return static_cast<int>(e->position().x()); };
  if (TSkinImage* track = form_.SkinImage("ImageProgressMax")) {
    track->onPress = [&c, x](QMouseEvent* e) { c.PressTrack(x(e)); };
    track->onRelease = [&c](QMouseEvent*) { c.ReleaseBar(); };
  }
  if (TSkinImage* filled = form_.SkinImage("ImageProgress")) {
    filled->onPress = [&c, x](QMouseEvent* e) { c.PressFilled(x(e)); };
    filled->onRelease = [&c](QMouseEvent*) { c.ReleaseBar(); };
  }
  if (TSkinImage* slider = form_.SkinImage("ImageSlider")) {
    slider->setMouseTracking(true);
    slider->setCursor(Qt::PointingHandCursor);
    slider->onPress = [&c, x](QMouseEvent* e) { c.PressSlider(x(e)); };
    slider->onMove = [&c, x](QMouseEvent* e) { c.MoveSlider(x(e)); };
    slider->onRelease = [&c](QMouseEvent*) { c.ReleaseSlider(); };
  }

  dropFilter_ = std::make_unique<DropFilter>([&c](const std::vector<std::string>& names) { c.DropFiles(names); });
  form_.setAcceptDrops(true);
  form_.installEventFilter(dropFilter_.get());
}

// ---------------------------------------------------------------- video

void TMainPlayback::VideoStartPlayback(int playMode) { video_->StartPlayback(playMode); }
void TMainPlayback::VideoPause() { video_->Pause(); }
void TMainPlayback::VideoStop() { video_->Stop(); }
void TMainPlayback::VideoPreviousChapter() { video_->PreviousChapter(); }
void TMainPlayback::VideoNextChapter() { video_->NextChapter(); }
bool TMainPlayback::VideoPlaying() const { return video_ && video_->Playing(); }
bool TMainPlayback::VideoStopped() const { return !video_ || video_->Stopped(); }
void TMainPlayback::VideoSeekToBar(int filledWidth, int range) { video_->SeekToBar(filledWidth, range); }
void TMainPlayback::VideoPosition(int64_t& positionMs, int64_t& lengthMs) { video_->Position(positionMs, lengthMs); }
void TMainPlayback::VideoSetVolume(int position) { video_->SetVolume(position); }
void TMainPlayback::VideoSetMuted(bool mute) { video_->SetMuted(mute); }
void TMainPlayback::VideoSetBalance(int position) { video_->SetBalance(position); }
std::string TMainPlayback::VideoFileName() const { return video_ ? video_->VideoName() : std::string(); }

// ---------------------------------------------------------------- view

std::string TMainPlayback::Str(const std::string& key) const { return form_.Str(key); }
bool TMainPlayback::Activated() const { return form_.Activated(); }

// The desktop's task bar shows the window title: it carries the application title.
void TMainPlayback::SetApplicationTitle(const std::string& title) {
  QApplication::setApplicationName(Q(title));
  form_.setWindowTitle(Q(title));
}
void TMainPlayback::RestoreApplicationTitle() {
  QApplication::setApplicationName(kProductCaption);
  form_.setWindowTitle(kProductCaption);
}
void TMainPlayback::SetRunningTitle(const std::string& title) { form_.SetRunningTitle(Q(title)); }

void TMainPlayback::SetTypeLabel(const std::string& text) {
  // Labels whose text changes grow with it, so no text is cut.
  if (QLabel* l = form_.Label("LabelType")) {
    l->setText(Q(text));
    l->adjustSize();
  }
}
void TMainPlayback::SetBitrateLabel(const std::string& text) {
  if (QLabel* l = form_.Label("LabelBitrate")) {
    l->setText(Q(text));
    l->adjustSize();
  }
}
void TMainPlayback::SetPosLabel(const std::string& text) {
  if (QLabel* l = form_.Label("LabelPos")) {
    // Ten times a second with the same text most of the time: nothing to lay out or repaint then.
    const QString shown = Q(text);
    if (l->text() == shown) return;
    l->setText(shown);
    l->adjustSize();
  }
}

void TMainPlayback::SetStereoLit(bool stereo) {
  const QString lit = "color: " + QApplication::palette().color(QPalette::Inactive, QPalette::Highlight).name() +
                      "; background: transparent; font: 10px;";
  const QString dark = "color: " + QApplication::palette().color(QPalette::Shadow).name() +
                       "; background: transparent; font: 10px;";
  if (QLabel* l = form_.Label("LabelStereo")) l->setStyleSheet(stereo ? lit : dark);
  if (QLabel* l = form_.Label("LabelMono")) l->setStyleSheet(stereo ? dark : lit);
}

void TMainPlayback::SetNavigationHints(const std::string& next, const std::string& previous) {
  if (TImageButton* b = form_.Button("ImageNext")) b->setToolTip(Q(next));
  if (TImageButton* b = form_.Button("ImagePre")) b->setToolTip(Q(previous));
}

void TMainPlayback::ShowProgress(int filledWidth, int sliderLeft, bool sliderVisible) {
  if (TSkinImage* f = form_.SkinImage("ImageProgress")) f->resize(filledWidth, f->height());
  if (TSkinImage* s = form_.SkinImage("ImageSlider")) {
    s->move(sliderLeft, s->y());
    s->setVisible(sliderVisible);
  }
}

int TMainPlayback::VolumeBarPosition() const { return form_.tbVolume()->value(); }
void TMainPlayback::SetVolumeBarPosition(int position) { form_.tbVolume()->setValue(position); }

void TMainPlayback::StatusClear() {
  if (windows_.FormStatus) windows_.FormStatus->Clear();
}
void TMainPlayback::StatusAdd(const std::string& line) {
  if (windows_.FormStatus) windows_.FormStatus->AddLine(line);
}
void TMainPlayback::StatusAppendToLast(const std::string& text) {
  if (windows_.FormStatus) windows_.FormStatus->AppendToLast(text);
}
bool TMainPlayback::StatusEmpty() const { return !windows_.FormStatus || windows_.FormStatus->Lines().empty(); }
void TMainPlayback::StatusScrollPage() {
  if (QPlainTextEdit* m = StatusMemo(windows_)) m->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
}
void TMainPlayback::StatusShow() {
  if (windows_.FormStatus && !windows_.FormStatus->isVisible()) windows_.FormStatus->show();
}

void TMainPlayback::RefreshLyrics() { form_.ForceRefreshLyrics(); }

void TForm1::ForceRefreshLyrics() {
  if (!engine_) return;
  TLyrics::TNowPlaying now;
  now.netRadio = playback_ && playback_->Control().IsNetRadio;
  now.title = engine_->StreamInfo().Title;
  now.artist = engine_->StreamInfo().Artist;
  lyrics_.ForceRefreshLyrics(now);
}

void TMainPlayback::UseAudioLayout() {
  form_.ShowVideoPanel(false);
  form_.resize(380, 200);
}

void TMainPlayback::ClearLevels() { form_.LevelDisplay().ClearPeaks(); }

void TMainPlayback::DrawLevelBackground() {
  form_.LevelDisplay().DrawEmpty();
  if (TSkinImage* p = form_.SkinImage("ImagePeaks")) p->SetImage(form_.LevelDisplay().Image());
}

void TMainPlayback::SetStateTimer(bool on) { form_.SetTimerOn(TForm1::kTimerState, 100, on); }
void TMainPlayback::StartRunStringTimer() { form_.SetTimerOn(TForm1::kTimerRunString, 100, true); }

void TMainPlayback::ShowPlayingRow(int) {
  if (windows_.FormPL) windows_.FormPL->ShowPlaying();
}

std::vector<std::string> TMainPlayback::ChooseFiles(const std::string&, const std::string& startFolder) {
  return FileChooser ? FileChooser(form_.OpenFilter(), startFolder) : std::vector<std::string>{};
}
std::string TMainPlayback::ChooseFolder(const std::string& startFolder) {
  return FolderChooser ? FolderChooser(startFolder) : std::string();
}
std::string TMainPlayback::PromptAddress() { return AddressPrompt ? AddressPrompt() : std::string(); }

}  // namespace app

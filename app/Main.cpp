#include "app/Main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBitmap>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSessionManager>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QWindow>
#include <algorithm>

#include "app/AppWindows.h"
#include "app/MainLayout.h"
#include "app/MainPlayback.h"
#include "app/Forms.h"
#include "app/SecondaryForms.h"
#include "app/SkinWidgets.h"
#include "app/managers/FormAddonConfig.h"
#include "app/managers/FormDSPControl.h"
#include "app/managers/FormVisControl.h"
#include "engine/ZOZUZivade.h"
#include "playlist/ui/FormPL.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#ifdef ORVELLA_WITH_PLUGIN_HOST
#include "plugins/PluginCtrl.h"
#endif

namespace app {

void InstallVisFrameHost(QWidget* owner);  // MainVisFrame.cpp

namespace {


const char* const kDarkStyle = R"(
QSlider::groove:horizontal { height: 4px; background: #101215; border: 1px solid #0a0b0d; border-radius: 2px; }
QSlider::sub-page:horizontal { background: #1b8fa8; border-radius: 2px; }
QSlider::handle:horizontal { width: 10px; margin: -5px 0; background: #d6dbe2; border: 1px solid #101214; border-radius: 5px; }
QToolButton { color: #c9ced6; background: #2c2f36; border: 1px solid #15171a; border-radius: 4px; font: bold 9px; }
QToolButton:hover { background: #383c44; border-color: #1b8fa8; }
QToolButton:checked { color: #3dd6d0; background: #17191c; border-color: #3dd6d0; }
QToolButton:disabled { color: #5a5f68; }
QCheckBox::indicator { width: 13px; height: 13px; border: 1px solid #15171a; border-radius: 3px; background: #2c2f36; }
QCheckBox::indicator:checked { background: #3dd6d0; }
)";

// The program's icon: a play mark on a dark disc with an accent ring.
QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 64}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(QPen(QColor(61, 214, 208), s / 12));
    p.setBrush(QColor(34, 36, 42));
    p.drawEllipse(QRectF(s / 16, s / 16, s * 7 / 8, s * 7 / 8));
    QPolygonF tri;
    tri << QPointF(s * 0.40, s * 0.30) << QPointF(s * 0.72, s * 0.50) << QPointF(s * 0.40, s * 0.70);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(214, 219, 226));
    p.drawPolygon(tri);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

// Full screen: four corner marks, drawn because no full-screen glyph is in every desktop's fonts.
QIcon FullScreenIcon() {
  QPixmap pm(14, 14);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(QPen(QColor(201, 206, 214), 2, Qt::SolidLine, Qt::SquareCap));
  const int lo = 1, hi = 12, arm = 4;
  for (int x : {lo, hi})
    for (int y : {lo, hi}) {
      p.drawLine(x, y, x == lo ? x + arm : x - arm, y);
      p.drawLine(x, y, x, y == lo ? y + arm : y - arm);
    }
  p.end();
  return QIcon(pm);
}

}  // namespace

QRect SnapToWorkArea(const QRect& w, const QRect& a, int d) {
  QRect r = w;
  if (std::abs(r.left() - a.left()) < d) r.moveLeft(a.left());
  if (std::abs(r.top() - a.top()) < d) r.moveTop(a.top());
  if (std::abs((r.x() + r.width()) - (a.x() + a.width())) < d) r.moveLeft(a.x() + a.width() - r.width());
  if (std::abs((r.y() + r.height()) - (a.y() + a.height())) < d) r.moveTop(a.y() + a.height() - r.height());
  return r;
}

// ---------------------------------------------------------------------------
// Creation

TForm1::TForm1(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setWindowTitle(kProductCaption);
  QApplication::setApplicationDisplayName(QString());
  QApplication::setApplicationName(kProductCaption);
  setObjectName("Form1");
  programFolder_ = platform::ProgramFolder();
  resize(380, 500);
  setStyleSheet(kDarkStyle);
  setWindowIcon(ProgramIcon());

  hwnd_ = platform::CreateMessageWindow(
      [this](platform::HWND, platform::UINT m, platform::WPARAM w, platform::LPARAM l) { return WndProc(m, w, l); },
      this);

  CreateControls();
  CreateMenu();
  BindTexts();
  WireButtons();
  ApplyShape();

  InstallVisFrameHost(this);  // visualisation modules' frames become this window's tool windows
#ifdef ORVELLA_WITH_PLUGIN_HOST
  // Plug-ins of an installed player keep their settings beside the player's own.
  plugins::SetPluginSettingsFile(app::UsesUserFolders() ? app::StateFolder() + "plugin.ini" : std::string());
#endif
  engine_ = std::make_unique<engine::TZOZUZivade>(hwnd_);
  if (engine_->Ready()) {
    engine_->OnNewFFTData = [this](engine::TZOZUZivade*, const engine::TBandOut& b) { DisplayFFTBand(b); };
    engine_->OnModeChange = [this](engine::TZOZUZivade*, engine::TPlayerMode o, engine::TPlayerMode n) {
      ModeChanged(o, n);
    };
    engine_->OnGenWindowShow = [this](engine::TZOZUZivade*, uintptr_t record) {
      if (!shuttingDown_) lyrics_.GenWindowShow(record);
    };
    engine_->OnMBWindowShow = [this](engine::TZOZUZivade*, uint32_t kind) {
      if (!shuttingDown_) browserShown_ = kind == 5;
    };
    lyrics_.BrowserShown = [this] { return browserShown_; };
    // The remaining events (stream start, metadata, lyrics, end of play,
    // plug-in requests) are handled by the transport.
  } else {
    platform::ShowMessage("BASS.DLL is not ready to operate", platform::kCaptionConfirm,
                          platform::MsgIcon::Information);
  }

  QScreen* screen = QGuiApplication::primaryScreen();
  title_ = std::make_unique<TTitleStrip>(331, 16, screen ? static_cast<int>(screen->logicalDotsPerInch()) : 96);
  images_["TitleImage"]->SetImage(title_->Image());

  dataFolder_ = app::DataFolder();
  playMode_ = 0;
  dvdSpeed_ = 1.0;
  SetTimerOn(kTimerHideCursor, 3000, true);
  // The desktop session asking whether it may end reaches the window as its query message.
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    QObject::connect(gui, &QGuiApplication::commitDataRequest, this,
                     [this](QSessionManager&) { platform::SendMessage(hwnd_, WM_QUERYENDSESSION, 0, 0); });
  }
}

TForm1::~TForm1() {
  playback_.reset();  // before the engine: it holds handlers on the engine's events
  engine_.reset();  // it may still talk to this window while it goes
  if (hwnd_) platform::DestroyWindow(hwnd_);
}

void TForm1::CreateControls() {
  auto image = [this](const std::string& name, QWidget* parent, QColor c) {
    auto* img = new TSkinImage(parent, c);
    img->setObjectName(Q(name));
    images_[name] = img;
    return img;
  };
  image("ImageBGTop", this, QColor(44, 47, 54));
  image("ImageBGLeft", this, QColor(36, 38, 44));
  image("ImageBGRight", this, QColor(36, 38, 44));
  image("ImageBGBottom", this, QColor(36, 38, 44));

  auto* title = new QLabel("ORVELLA PLAYER", this);
  title->setObjectName("LabelTitle");
  QFont tf("Tahoma");
  tf.setBold(true);
  tf.setPixelSize(13);
  title->setFont(tf);
  title->setStyleSheet("color: #c9ced6; background: transparent;");
  title->adjustSize();
  title->move(128, 3);
  labels_["LabelTitle"] = title;

  auto button = [this](const std::string& name, QWidget* parent, int x, int y, int size) {
    auto* b = new TImageButton(parent, size, size);
    b->setObjectName(Q(name));
    b->move(x, y);
    buttons_[name] = b;
    return b;
  };
  button("ImageMenu", this, 6, 5, 15);
  button("ImageSettings", this, 22, 5, 15);
  button("ImageMinimize", this, 344, 5, 15);
  button("ImageClose", this, 360, 5, 15);

  panelMain_ = new QWidget(this);
  panelMain_->setObjectName("PanelMain");
  panelVideo_ = new QWidget(panelMain_);
  panelVideo_->setObjectName("PanelVideo");
  panelVideo_->setAutoFillBackground(true);
  QPalette vp = panelVideo_->palette();
  vp.setColor(QPalette::Window, Qt::black);
  panelVideo_->setPalette(vp);
  panelVideoControlsBase_ = new QWidget(panelMain_);
  panelVideoControls_ = new QWidget(panelVideoControlsBase_);
  panelVideoControls_->resize(kPanelWidth, kVideoControlsHeight);
  image("ImageBGControlsVideo", panelVideoControls_, QColor(34, 36, 42))->setGeometry(0, 0, kPanelWidth, kVideoControlsHeight);
  auto* full = new QToolButton(panelVideoControls_);
  full->setObjectName("sbFullScreen");
  full->setIcon(FullScreenIcon());
  full->setToolTip("Full Screen");
  full->setGeometry(8, 5, 23, 22);
  speedButtons_["sbFullScreen"] = full;

  panelAudioBase_ = new QWidget(panelMain_);
  panelAudio_ = new QWidget(panelAudioBase_);
  panelAudio_->setObjectName("PanelAudio");
  panelAudio_->resize(kPanelWidth, kAudioPanelHeight);
  image("ImageBGControls", panelAudio_, QColor(34, 36, 42))->setGeometry(0, 0, kPanelWidth, kAudioPanelHeight);

  auto* peaks = image("ImagePeaks", panelAudio_, Qt::black);
  peaks->SetStretch(false);
  peaks->setGeometry(16, 22, TLevelDisplay::kWidth, TLevelDisplay::kHeight);
  peaks->SetImage(level_.Image());

  auto label = [this](const std::string& name, QWidget* parent, int x, int y, const QString& text, const QString& css) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(Q(name));
    l->setStyleSheet(css);
    l->move(x, y);
    l->adjustSize();
    labels_[name] = l;
    return l;
  };
  const QString small = "color: #8d96a3; background: transparent; font: 10px;";
  label("LabelBitrate", panelAudio_, 128, 21, "kbps", small);
  label("LabelMono", panelAudio_, 184, 21, "Mono", "color: #404040; background: transparent; font: 10px;");
  label("LabelStereo", panelAudio_, 216, 21, "Stereo", "color: #404040; background: transparent; font: 10px;");
  label("LabelType", panelAudio_, 264, 21, "", "color: white; background: transparent; font: 10px;");
  QLabel* pos = label("LabelPos", panelAudio_, 300, 19, "00:00", "color: white; background: transparent;");
  QFont pf("Tahoma");
  pf.setBold(true);
  pf.setPixelSize(16);
  pos->setFont(pf);
  pos->adjustSize();
  label("LabelVideoPos", panelVideoControls_, 176, 10, "", small);
  label("LabelVideoDur", panelVideoControls_, 272, 10, "", small);

  tbVolume_ = new QSlider(Qt::Horizontal, panelAudio_);
  tbVolume_->setObjectName("tbVolume");
  tbVolume_->setRange(0, 255);
  tbVolume_->setValue(255);
  tbVolume_->setGeometry(120, 40, 129, 16);
  cbMute_ = new QCheckBox(panelAudio_);
  cbMute_->setObjectName("cbMute");
  cbMute_->setGeometry(248, 40, 17, 17);
  tbBalance_ = new QSlider(Qt::Horizontal, panelAudio_);
  tbBalance_->setObjectName("tbBalance");
  tbBalance_->setRange(-100, 100);
  tbBalance_->setGeometry(260, 40, 93, 16);

  auto* strip = image("TitleImage", panelAudio_, QColor(43, 43, 43));
  strip->SetStretch(false);
  strip->setGeometry(16, 60, 331, 16);

  image("ImageProgressMax", panelAudio_, QColor(18, 20, 23))->setGeometry(8, 102, 345, 8);
  image("ImageProgress", panelAudio_, QColor(61, 214, 208))->setGeometry(9, 102, 32, 8);
  image("ImageSlider", panelAudio_, QColor(214, 219, 226))->setGeometry(57, 101, 24, 10);

  const std::pair<const char*, int> transport[] = {{"ImagePre", 12},  {"ImageSpeedDown", 36}, {"ImagePlay", 60},
                                                   {"ImagePause", 84}, {"ImageStop", 108},     {"ImageSpeedUp", 132},
                                                   {"ImageNext", 156}, {"ImageOpen", 202}};
  for (auto [name, x] : transport) button(name, panelAudio_, x, 127, 24);

  const std::tuple<const char*, int, const char*> toggles[] = {
      {"sbShuffle", 248, "\u21C4"}, {"sbRepeat", 275, "\u21BB"}, {"sbEQ", 302, "EQ"}, {"sbPL", 328, "PL"}};
  for (auto [name, x, text] : toggles) {
    auto* b = new QToolButton(panelAudio_);
    b->setObjectName(name);
    b->setCheckable(true);
    b->setText(QString::fromUtf8(text));
    b->setGeometry(x, 127, 23, 22);
    speedButtons_[name] = b;
  }
}

void TForm1::CreateMenu() {
  popupMenuMain_ = new QMenu(this);
  popupMenuMain_->setObjectName("PopupMenuMain");
  auto add = [this](QMenu* menu, const std::string& name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(Q(name));
    actions_[name] = a;
    return a;
  };
  auto sub = [this](QMenu* menu, const std::string& name, const QString& caption) {
    QMenu* m = menu->addMenu(caption);
    m->menuAction()->setObjectName(Q(name));
    actions_[name] = m->menuAction();
    return m;
  };
  QMenu* m = popupMenuMain_;
  add(m, "PMOpenFiles", "&Open files ...");
  add(m, "PMOpenFolder", "Open folder ...");
  add(m, "PMOpenURL", "Open &URL ...");
  add(m, "PMPlayDVD", "Play DVD");
  m->addSeparator();
  add(m, "PMPre", "Previous");
  add(m, "PMSpeedDown", "Speed Down");
  add(m, "PMPlay", "Play");
  add(m, "PMPause", "Pause");
  add(m, "PMStop", "Stop");
  add(m, "PMSpeedUp", "Speed Up");
  add(m, "PMNext", "Next");
  m->addSeparator();
  QMenu* audio = sub(m, "PMAudio", "Audio");
  add(audio, "PMAddonSetup", "&Bass Addon Setup ...");
  add(audio, "PMPluginSetup", "&Input Plugin Setup ...");
  add(audio, "PMDSPSetup", "&DSP Plugin Setup ...");
  add(audio, "PMVisSetup", "&Vis Plugin Setup ...");
  QMenu* video = sub(m, "PMVideo", "Video");
  add(video, "PMVideoShow", "Show Window")->setCheckable(true);
  add(video, "PMSnapShot", "Take Snapshot");
  QMenu* dvd = sub(m, "PMDVD", "DVD");
  add(dvd, "PMMenuTitle", "Title Menu");
  add(dvd, "PMMenuRoot", "Root Menu");
  QMenu* bookmarks = sub(dvd, "PMBookmarks", "Bookmarks");
  add(bookmarks, "PMSaveBookmark", "Save Bookmark");
  add(bookmarks, "PMRestoreBookmark", "Restore Bookmark");
  add(dvd, "PMStepForwardMenu", "Step Forward");
  QAction* statusSep = m->addSeparator();
  statusSep->setVisible(false);
  add(m, "PMStatus", "View &Status ...")->setVisible(false);
  QMenu* lang = sub(m, "PMLang", "Language");
  for (const char* n : {"PMLangEnglish", "PMLangRussian", "PMLangKazakh"})
    add(lang, n, QString(n).mid(6))->setCheckable(true);
  add(m, "MCheckUpdate", "Check for updates ...");
  add(m, "PMAbout", "&About ...");
  m->addSeparator();
  add(m, "PMClose", "E&xit");
}

void TForm1::BindTexts() {
  auto bindLabel = [this](const std::string& key, QLabel* l) {
    Bind(key, [l] { return Std(l->text()); }, [l](const std::string& t) {
      l->setText(Q(t));
      l->adjustSize();
    });
  };
  auto bindHint = [this](const std::string& key, QWidget* w) {
    Bind(key, [w] { return Std(w->toolTip()); }, [w](const std::string& t) { w->setToolTip(Q(t)); });
  };
  bindLabel("LabelMono.Caption", labels_["LabelMono"]);
  bindLabel("LabelStereo.Caption", labels_["LabelStereo"]);
  for (const char* b : {"ImageMinimize", "ImageClose", "ImageMenu", "ImageSettings", "ImagePre", "ImagePlay",
                        "ImagePause", "ImageStop", "ImageNext", "ImageOpen"}) {
    bindHint(std::string(b) + ".Hint", buttons_[b]);
  }
  buttons_["ImageMinimize"]->setToolTip("Minimize");
  buttons_["ImageClose"]->setToolTip("Close");
  buttons_["ImageSettings"]->setToolTip("Settings");
  buttons_["ImagePre"]->setToolTip("Previous");
  buttons_["ImagePlay"]->setToolTip("Play");
  buttons_["ImagePause"]->setToolTip("Pause");
  buttons_["ImageStop"]->setToolTip("Stop");
  buttons_["ImageNext"]->setToolTip("Next");
  buttons_["ImageOpen"]->setToolTip("Open");
  for (const char* b : {"sbPL", "sbEQ"}) {
    QToolButton* sb = speedButtons_[b];
    Bind(std::string(b) + ".Caption", [sb] { return Std(sb->text()); }, [sb](const std::string& t) { sb->setText(Q(t)); });
  }
  speedButtons_["sbPL"]->setToolTip("Playlist");
  speedButtons_["sbEQ"]->setToolTip("Equalizer");
  speedButtons_["sbShuffle"]->setToolTip("Shuffle");
  speedButtons_["sbRepeat"]->setToolTip("Repeat");
  speedButtons_["sbFullScreen"]->setToolTip("Full Screen");
  for (const char* b : {"sbPL", "sbEQ", "sbShuffle", "sbRepeat", "sbFullScreen"})
    bindHint(std::string(b) + ".Hint", speedButtons_[b]);
  tbVolume_->setToolTip("Volume");
  cbMute_->setToolTip("Mute");
  tbBalance_->setToolTip("Balance");
  bindHint("tbVolume.Hint", tbVolume_);
  bindHint("cbMute.Hint", cbMute_);
  bindHint("tbBalance.Hint", tbBalance_);
  for (auto& [name, action] : actions_) {
    if (name == "MCheckUpdate") continue;  // the language file does not name it
    QAction* a = action;
    Bind(name + ".Caption", [a] { return Std(a->text()); }, [a](const std::string& t) { a->setText(Q(t)); });
  }
  Bind("OpenDialog1.Filter", [this] { return openFilter_; }, [this](const std::string& t) { openFilter_ = t; });
  for (const std::string& key : LanguageKeys())
    if (key.starts_with("String")) BindStored(key);
}

void TForm1::WireButtons() {
  static const char* const kControlArea[] = {"ImagePre", "ImageSpeedDown", "ImagePlay", "ImagePause",
                                             "ImageStop", "ImageSpeedUp", "ImageNext", "ImageOpen"};
  for (auto& [name, button] : buttons_) {
    TImageButton* b = button;
    const bool controlArea =
        std::find_if(std::begin(kControlArea), std::end(kControlArea), [&](const char* n) { return name == n; }) !=
        std::end(kControlArea);
    b->onHover = [this, b, controlArea] {
      if (controlArea) ResetButtonStates();
      if (!buttonHeld_) b->PaintButtonState(1);
    };
    b->onPress = [this, b] {
      buttonHeld_ = true;
      b->PaintButtonState(2);
    };
    const std::string n = name;
    b->onRelease = [this, b, n] {
      buttonHeld_ = false;
      if (n == "ImageMenu") {
        b->PaintButtonState(2);  // its menu has been shown and closed by the click
      } else if (n == "ImageSettings") {
        b->PaintButtonState(0);
        if (windows_) ShowModal(windows_->FormSettings.get());
      } else {
        b->PaintButtonState(0);
      }
    };
  }
  buttons_["ImageMenu"]->onClick = [this] { popupMenuMain_->exec(QCursor::pos() + QPoint(5, 5)); };
  buttons_["ImageClose"]->onClick = [this] { close(); };
  buttons_["ImageMinimize"]->onClick = [this] {
    if (tray_ && tray_->isVisible()) hide();
    else showMinimized();
  };
  buttons_["ImagePlay"]->onClick = [this] { StartPlayback(); };
  buttons_["ImageStop"]->onClick = [this] { Stop(); };

  auto on = [this](const char* name, std::function<void()> f) {
    QObject::connect(actions_[name], &QAction::triggered, this, [f = std::move(f)] { f(); });
  };
  on("PMPlay", [this] { StartPlayback(); });
  on("PMStop", [this] { Stop(); });
  on("PMClose", [this] { close(); });
  on("PMAbout", [this] { if (windows_) ShowModal(windows_->FormAbout.get()); });
  on("PMAddonSetup", [this] { if (windows_) ShowModal(windows_->AddonConfigForm.get()); });
  on("PMPluginSetup", [this] { if (engine_) engine_->ShowPluginConfig(); });
  on("PMDSPSetup", [this] { if (windows_) windows_->DSPControlForm->show(); });
  on("PMVisSetup", [this] { if (windows_) windows_->VisControlForm->show(); });
  on("PMStatus", [this] { if (windows_) windows_->FormStatus->show(); });
  on("MCheckUpdate", [this] { if (windows_) ShowModal(windows_->FormUpdate.get()); });
  on("PMVideoShow", [this] {
    settings_.showVideoWindow = !settings_.showVideoWindow;
    ShowVideoPanel(settings_.showVideoWindow);
  });
  on("PMLangEnglish", [this] { settings_.Language = "English"; ApplyLanguage("English"); });
  on("PMLangRussian", [this] { settings_.Language = "Russian"; ApplyLanguage("Russian"); });
  on("PMLangKazakh", [this] { settings_.Language = "Kazakh"; ApplyLanguage("Kazakh"); });

  QObject::connect(speedButtons_["sbShuffle"], &QToolButton::clicked, this, [this] { ToggleShuffle(); });
  QObject::connect(speedButtons_["sbRepeat"], &QToolButton::clicked, this, [this] { ToggleRepeat(); });
  QObject::connect(speedButtons_["sbEQ"], &QToolButton::clicked, this, [this] { ToggleEq(); });
  QObject::connect(speedButtons_["sbPL"], &QToolButton::clicked, this, [this] { TogglePlaylist(); });

  // Dragging by the top bar and the title label; moves over the control area
  // continue a drag and put the buttons back to normal.
  TSkinImage* top = images_["ImageBGTop"];
  top->setMouseTracking(true);
  top->onPress = [this](QMouseEvent* e) { StartDrag(e); };
  top->onMove = [this](QMouseEvent* e) {
    if (dragging_) {
      DragMove(e);
      return;
    }
    for (const char* n : {"ImageClose", "ImageMenu", "ImageMinimize", "ImageNext", "ImageOpen", "ImagePause",
                          "ImagePlay", "ImagePre", "ImageSettings", "ImageStop"})
      buttons_[n]->PaintButtonState(0);
  };
  top->onRelease = [this](QMouseEvent*) { EndDrag(); };
  labels_["LabelTitle"]->installEventFilter(this);
  TSkinImage* controls = images_["ImageBGControls"];
  controls->setMouseTracking(true);
  controls->onMove = [this](QMouseEvent* e) {
    if (dragging_) DragMove(e);
    else ResetButtonStates();
  };

  // Frame resizing, only while video or a DVD plays.
  TSkinImage* bottom = images_["ImageBGBottom"];
  bottom->setMouseTracking(true);
  bottom->onMove = [this, bottom](QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    const bool video = PlayMode() == 2 || PlayMode() == 3;
    const bool inGrip = p.y() >= bottom->height() - 8;
    const bool diagonal = p.x() >= bottom->width() - 8;
    if (!resizing_) {
      bottom->setCursor(video && inGrip ? (diagonal ? Qt::SizeFDiagCursor : Qt::SizeVerCursor) : Qt::ArrowCursor);
      return;
    }
    int h = height() - kBottomBar + p.y();
    if (h > 200) resize(width(), h);
    if (bottom->cursor().shape() == Qt::SizeFDiagCursor && p.x() > 380 && p.x() < 1280) resize(p.x(), height());
  };
  bottom->onPress = [this, bottom](QMouseEvent* e) {
    buttonHeld_ = true;
    const bool video = PlayMode() == 2 || PlayMode() == 3;
    if (video && e->position().y() >= bottom->height() - 8) resizing_ = true;
  };
  bottom->onRelease = [this](QMouseEvent*) {
    buttonHeld_ = false;
    resizing_ = false;
  };
  TSkinImage* right = images_["ImageBGRight"];
  right->setMouseTracking(true);
  right->onMove = [this, right](QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    const bool video = PlayMode() == 2 || PlayMode() == 3;
    if (!resizing_) {
      right->setCursor(video && p.x() >= right->width() - 8 ? Qt::SizeHorCursor : Qt::ArrowCursor);
      return;
    }
    int w = width() + p.x();
    if (w > 380 && w < 1280) resize(w, height());
  };
  right->onPress = [this, right](QMouseEvent* e) {
    const bool video = PlayMode() == 2 || PlayMode() == 3;
    if (video && e->position().x() >= right->width() - 8) resizing_ = true;
  };
  right->onRelease = [this](QMouseEvent*) {
    buttonHeld_ = false;
    resizing_ = false;
  };

  ShowModal = [this](QWidget* w) { DefaultShowModal(w); };
#ifdef ORVELLA_WITH_PLUGIN_HOST
  LoadInputPlugin = [](const std::string& name) { plugins::LoadInputPlugin(name); };
#endif
}

void TForm1::DefaultShowModal(QWidget* w) {
  if (!w) return;
  w->setWindowModality(Qt::ApplicationModal);
  w->show();
  QEventLoop loop;
  // A termination request while the window waits ends the wait too.
  while (w->isVisible() && !shuttingDown_) loop.processEvents(QEventLoop::WaitForMoreEvents);
  w->setWindowModality(Qt::NonModal);
}

void TForm1::ResetButtonStates() {
  for (auto& [name, b] : buttons_) b->PaintButtonState(0);
}

void TForm1::StartDrag(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  dragging_ = true;
  dragOffset_ = e->globalPosition().toPoint() - pos();
  if (engine_) platform::SendMessage(hwnd_, WM_ENTERSIZEMOVE, 0, 0);
}

void TForm1::DragMove(QMouseEvent* e) {
  QRect target(e->globalPosition().toPoint() - dragOffset_, size());
  QScreen* s = QGuiApplication::screenAt(target.center());
  if (!s) s = screen();
  if (s) target = SnapToWorkArea(target, s->availableGeometry());
  move(target.topLeft());
}

void TForm1::EndDrag() {
  if (!dragging_) return;
  dragging_ = false;
  if (engine_) platform::SendMessage(hwnd_, WM_EXITSIZEMOVE, 0, 0);
}

void TForm1::ApplyShape() {
  QBitmap mask(size());
  mask.fill(Qt::color0);
  QPainter p(&mask);
  p.setBrush(Qt::color1);
  p.setPen(Qt::color1);
  p.drawRoundedRect(QRect(0, 0, width() - 1, height() - 1), 6, 6);
  p.end();
  setMask(mask);
}

void TForm1::Layout() {
  const int w = width(), h = height();
  images_["ImageBGTop"]->setGeometry(0, 0, w, kTopBar);
  images_["ImageBGLeft"]->setGeometry(0, kTopBar, kSideBar, h - kTopBar - kBottomBar);
  images_["ImageBGRight"]->setGeometry(w - kSideBar, kTopBar, kSideBar, h - kTopBar - kBottomBar);
  images_["ImageBGBottom"]->setGeometry(0, h - kBottomBar, w, kBottomBar);
  QLabel* title = labels_["LabelTitle"];
  title->move((w - title->width()) / 2, 3);
  buttons_["ImageClose"]->move(w - buttons_["ImageClose"]->width() - 6, 5);
  buttons_["ImageMinimize"]->move(buttons_["ImageClose"]->x() - buttons_["ImageMinimize"]->width(), 5);

  const int innerW = w - 2 * kSideBar;
  panelMain_->setGeometry(kSideBar, kTopBar, innerW, h - kTopBar - kBottomBar);
  const int videoH = std::max(0, h - kTopBar - kAudioPanelHeight - kBottomBar);
  const bool controls = videoH > kVideoControlsHeight;
  panelVideo_->setGeometry(0, 0, innerW, controls ? videoH - kVideoControlsHeight : videoH);
  panelVideoControlsBase_->setVisible(controls);
  panelVideoControlsBase_->setGeometry(0, videoH - kVideoControlsHeight, innerW, kVideoControlsHeight);
  panelVideoControls_->move((innerW - kPanelWidth) / 2, 0);
  panelAudioBase_->setGeometry(0, videoH, innerW, kAudioPanelHeight);
  panelAudio_->move((innerW - kPanelWidth) / 2, 0);
}

void TForm1::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  Layout();
  ApplyShape();
}

void TForm1::moveEvent(QMoveEvent* e) {
  QWidget::moveEvent(e);
  // Every move (a drag, the desktop, a program) snaps to the work area's edges.
  if (!isVisible() || snapping_) return;
  QScreen* s = QGuiApplication::screenAt(frameGeometry().center());
  if (!s) s = screen();
  if (!s) return;
  const QRect snapped = SnapToWorkArea(QRect(pos(), size()), s->availableGeometry());
  if (snapped.topLeft() == pos()) return;
  snapping_ = true;
  move(snapped.topLeft());
  snapping_ = false;
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
  // The title label starts and ends drags like the top bar.
  if (watched == labels_["LabelTitle"]) {
    // Only mouse events are taken as such: the label also gets moves, paints and the like.
    if (e->type() == QEvent::MouseButtonPress) StartDrag(static_cast<QMouseEvent*>(e));
    else if (e->type() == QEvent::MouseMove && dragging_) DragMove(static_cast<QMouseEvent*>(e));
    else if (e->type() == QEvent::MouseButtonRelease) EndDrag();
  }
  return QWidget::eventFilter(watched, e);
}

// ---------------------------------------------------------------------------
// Window messages

platform::LRESULT TForm1::WndProc(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
  if (msg == platform::WM_TIMER) {
    OnTimer(wParam);
    return 0;
  }
  if (!engine_ || sessionEnding_) return platform::DefWindowProc(hwnd_, msg, wParam, lParam);
  switch (msg) {
    case WM_ACTIVATEAPP:
      // The plug-in browser and general-purpose windows go behind this one;
      // the plug-in host owns them and none exists yet.
      return platform::DefWindowProc(hwnd_, msg, wParam, lParam);
    case WM_SHOWWINDOW:
      // A running visualisation goes with the main window (into the tray and back).
      if (!shuttingDown_ && engine_->VisWindowInfo().ThreadId != 0) {
        if (wParam) engine_->ShowVisWindow();
        else engine_->HideVisWindow();
      }
      return platform::DefWindowProc(hwnd_, msg, wParam, lParam);
    case WM_QUERYENDSESSION:
      SetTimerOn(kTimerState, 100, false);
      sessionEnding_ = true;
      return 1;
    case platform::WM_USER:
      // Plug-ins asking the host window for the Wasabi service object.
#ifdef ORVELLA_WITH_PLUGIN_HOST
      if (lParam == kWasabiServiceQuery) return plugins::AnswerHostQuery(wParam, lParam);
#endif
      return 0;
    case platform::WM_COMMAND:
    case WM_SYSCOMMAND:
    case WM_ENTERSIZEMOVE:
    case WM_EXITSIZEMOVE: {
      platform::LRESULT r = platform::DefWindowProc(hwnd_, msg, wParam, lParam);
      if (EngineWindowHook) {
        bool handled = false;
        EngineWindowHook(msg, wParam, lParam, &handled);
      }
      return r;
    }
    case WM_SIZING:
    case WM_MOVING:
      if (EngineWindowHook) {
        bool handled = false;
        if (!(EngineWindowHook(msg, wParam, lParam, &handled) && !handled)) return 0;
      }
      return platform::DefWindowProc(hwnd_, msg, wParam, lParam);
    default:
      return platform::DefWindowProc(hwnd_, msg, wParam, lParam);
  }
}

void TForm1::SetTimerOn(uintptr_t id, uint32_t ms, bool on) {
  if (on) platform::SetTimer(hwnd_, id, ms);
  else platform::KillTimer(hwnd_, id);
  timers_[id] = on;
}

bool TForm1::TimerActive(uintptr_t id) const { return id < timers_.size() && timers_[id]; }

int TForm1::PlayMode() const { return playback_ ? playback_->Control().PlayMode : playMode_; }

void TForm1::SetPlayMode(int mode) {
  playMode_ = mode;
  if (playback_) playback_->Control().PlayMode = mode;
}

void TForm1::OnTimer(uintptr_t id) {
  // A tick queued before closing killed the timers still arrives: nothing to do then.
  if (shuttingDown_) return;
  switch (id) {
    case kTimerRunString:
      title_->ScrollTitle(2);
      images_["TitleImage"]->UpdateImage(title_->Image(), title_->Image().rect());
      break;
    case kTimerShowText:
      SetTimerOn(kTimerShowText, 3000, false);
      break;
    case kTimerState:
      if (playback_) playback_->Control().TimerStateTick();
      break;
    default:
      break;  // position display and the full-screen pointer belong to the transport and video
  }
}

void TForm1::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (!shown_) FormShow();
  if (engine_) platform::SendMessage(hwnd_, WM_SHOWWINDOW, 1, 0);
  if (engine_) engine_->SetSpectrumWanted(!isMinimized());
}

void TForm1::hideEvent(QHideEvent* e) {
  QWidget::hideEvent(e);
  if (engine_) platform::SendMessage(hwnd_, WM_SHOWWINDOW, 0, 0);
  // Nobody sees the level display (in the tray, hidden): no spectrum to compute.
  if (engine_) engine_->SetSpectrumWanted(false);
}

void TForm1::changeEvent(QEvent* e) {
  QWidget::changeEvent(e);
  if (e->type() == QEvent::ActivationChange && isActiveWindow()) {
    if (!activated_) FormActivate();
    if (engine_) platform::SendMessage(hwnd_, WM_ACTIVATEAPP, 1, 0);
  }
  if (e->type() == QEvent::WindowStateChange && engine_) engine_->SetSpectrumWanted(isVisible() && !isMinimized());
  if (e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && tray_ &&
      tray_->isVisible()) {
    hide();  // minimising goes into the notification area
  }
}

// ---------------------------------------------------------------------------
// Lookups

QAction* TForm1::Action(const std::string& name) const {
  auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}
TImageButton* TForm1::Button(const std::string& name) const {
  auto it = buttons_.find(name);
  return it == buttons_.end() ? nullptr : it->second;
}
TSkinImage* TForm1::SkinImage(const std::string& name) const {
  auto it = images_.find(name);
  return it == images_.end() ? nullptr : it->second;
}
QToolButton* TForm1::SpeedButton(const std::string& name) const {
  auto it = speedButtons_.find(name);
  return it == speedButtons_.end() ? nullptr : it->second;
}
QLabel* TForm1::Label(const std::string& name) const {
  auto it = labels_.find(name);
  return it == labels_.end() ? nullptr : it->second;
}

}  // namespace app

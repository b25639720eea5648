#include "app/Main.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QSlider>
#include <QScreen>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <cctype>

#include "app/AppWindows.h"
#include "app/Forms.h"
#include "app/MainLayout.h"
#include "app/MainPlayback.h"
#include "app/managers/FormVisControl.h"
#include "playlist/Extensions.h"
#include "app/SkinWidgets.h"
#include "engine/ZOZUZivade.h"
#include "playlist/Playlist.h"
#include "playlist/ui/FormPL.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

// The main window's start-up sequence, language, skin and toggles, and closing.
namespace app {

namespace {

// "#,##0": thousands separated by commas.
std::string Thousands(uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  int count = 0;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (count && count % 3 == 0) out.insert(out.begin(), ',');
    out.insert(out.begin(), *it);
    ++count;
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// Start-up sequence

void TForm1::FormShow() {
  if (shown_) return;
  shown_ = true;
  level_.ClearPeaks();
  if (engine_ && engine_->Ready()) {
    LoadAddOns();
    if (LoadInputPlugin) LoadInputPlugin("in_midi.so");
    ReportLibraries();
    ReportSoundfont();
    // Without the visualisation drawer library the Winamp-like window is not offered.
    if (engine_->VisDrawerReady()) {
      engine_->SetUseVisDrawer(true);
    } else if (windows_) {
      windows_->VisControlForm->cbUseWinampLook()->setChecked(false);
      windows_->VisControlForm->cbUseWinampLook()->setEnabled(false);
    }
  }
  // The floating-point control word needs no change on this platform.
  ReadSettingsFile();
  ApplyLanguage(settings_.Language);
  LoadSkin();
  BuildOpenFilter();
  if (settings_.firstRun) {
    if (RegisterFileTypes) RegisterFileTypes(settings_.Exts);
    if (windows_) ShowModal(windows_->FormAssociate.get());
    // Closed while the association window waited: the settings are written
    // already and the step will be offered again at the next start.
    if (shuttingDown_) return;
    settings_.firstRun = false;
  }
  SyncToggleButtons();
  if (windows_) {
    windows_->FormPL->setVisible(settings_.showPlaylist);
  }
  ShowVideoPanel(settings_.showVideoWindow);
  SetTrayIcon(settings_.trayIcon);
  TSkinImage* track = images_["ImageProgressMax"];
  TSkinImage* slider = images_["ImageSlider"];
  slider->move(track->x(), track->y() + (track->height() - slider->height()) / 2);
  slider->hide();
  images_["ImageProgress"]->setGeometry(track->x(), track->y(), 0, track->height());
  tbVolume_->setValue(settings_.volume);
  tbBalance_->setValue(settings_.pan);
  level_.DrawEmpty();
  images_["ImagePeaks"]->SetImage(level_.Image());
  if (windows_ && !playback_) playback_ = std::make_shared<TMainPlayback>(*this, *windows_);
  HandleCommandLine();
  commandLineDone_ = true;
}

void TForm1::LoadAddOns() {
  // The engine's one start-up routine, shared with the command-line companion.
  // An absent or failing add-on is not reported here.
  engine_->AttachFormatAddOns(programFolder_ + "plugins/bass/");
  // Files of the attached add-ons' formats are audio the playlist takes, like those of its tables.
  playlist::SetAddOnExtensions(engine_->AddOnExtList());
}

void TForm1::ReportLibraries() {
  auto status = [this](const std::string& line) {
    if (windows_) windows_->FormStatus->AddLine(line);
  };
  status("Loaded DLL's :");
  status(" bass.so for BASS basic native stream");
  std::string missing;
  auto miss = [&missing](const std::string& line) {
    if (!missing.empty()) missing += "\n";
    missing += line;
  };
  if (engine_->WMAReady()) status(" basswma.so for WMA stream");
  else miss(" plugins/bass/basswma.so  (used to support WMA stream)");
  if (engine_->CDReady()) status(" basscd.so for Audio CD");
  else miss(" plugins/bass/basscd.so  (used to support CD Audio track)");
  if (engine_->MIDIReady()) status(" bass_midi.so for MIDI sound");
  else miss(" plugins/bass/bassmidi.so  (used to support MIDI file)");
  if (engine_->AACReady()) status(" bass_aac.so for AAC stream");
  else miss(" plugins/bass/bass_aac.so  (used to support AAC, AAC+ stream)");
  if (!missing.empty()) {
    const char* heading = missing.find('\n') == std::string::npos ? "Following Library file is not loaded"
                                                                 : "Following Library files are not loaded";
    platform::ShowMessage(std::string(heading) + "\n\n" + missing, platform::kCaptionConfirm,
                          platform::MsgIcon::Information);
  }
}

void TForm1::ReportSoundfont() {
  auto status = [this](const std::string& line) {
    if (windows_) windows_->FormStatus->AddLine(line);
  };
  if (!engine_->MIDIReady()) {
    status("BASSMIDI.DLL is not loaded.");
    return;
  }
  const std::string folder = programFolder_ + "plugins/";
  engine::TMIDI_FONTINFO info;
  status("");
  if (engine_->LoadSoundFont(folder + kSoundfontName, info)) {
    if (engine_->MIDIReady()) status("MIDI sound ready !");
    status(std::string("MIDI soundfont \"") + kSoundfontName + "\" loaded");
    status(" Name : " + info.FontName);
    status(" Presets : " + Thousands(info.Presets));
    status(" Sample Size : " + Thousands(info.SampleSize) + " bytes");
    status(" ");
  } else {
    status(std::string("MIDI soundfont ") + kSoundfontName + " does not exist in ");
    status(folder);
    status(std::string("MIDI soundfont ") + kSoundfontName + " not loaded");
    status("You can get it from: ");
    status(kSoundfontAddress);
    status(" ");
  }
}

void TForm1::ReadSettingsFile() {
  platform::IniFile ini(SettingsPath());
  TSettingsLayout layout;
  if (QScreen* s = QGuiApplication::primaryScreen()) layout.screenWidth = s->geometry().width();
  layout.mainWidth = width();
  layout.mainHeight = height();
  if (windows_) {
    layout.eqWidth = windows_->FormEq->width();
    layout.eqHeight = windows_->FormEq->height();
    layout.plWidth = windows_->FormPL->width();
    layout.plHeight = windows_->FormPL->height();
  }
  ReadSettings(ini, layout, settings_);
  move(settings_.Left, settings_.Top);
  if (windows_) {
    windows_->FormEq->move(settings_.FormEqLeft, settings_.FormEqTop);
    windows_->FormPL->move(settings_.FormPLLeft, settings_.FormPLTop);
    windows_->FormPL->resize(settings_.FormPLWidth, settings_.FormPLHeight);
    // The sliders' range clamps stored values; the clamped value is what is kept.
    for (int i = 0; i < 10; ++i) settings_.eqBand[i] = windows_->FormEq->SetBand(i, settings_.eqBand[i]);
    WireEqualiser();
    windows_->FormEq->onClosed = [this] {
      if (!shuttingDown_) {
        settings_.showEq = false;
        SyncToggleButtons();
      }
    };
    windows_->FormPL->onClosed = [this] {
      if (!shuttingDown_) {
        settings_.showPlaylist = false;
        SyncToggleButtons();
      }
    };
  }
}

void TForm1::HandleCommandLine() {
  // "-enqueue FILE" (the desktop entry's enqueue action): the last playlist
  // comes back and the file joins its end; nothing is cleared or played.
  const bool enqueue = !args_.empty() && args_.front() == "-enqueue";
  std::string text;
  for (size_t i = enqueue ? 1 : 0; i < args_.size(); ++i) {
    if (i > (enqueue ? 1u : 0u)) text += ' ';
    text += args_[i];
  }
  if (!windows_) return;
  if (enqueue) {
    const std::string def = dataFolder_ + "Default.plf";
    if (platform::FileExists(def)) windows_->Playlist->LoadPlaylist(def);
    // The counters and the total time follow the new entry (the label would keep the old count).
    if (!text.empty() && windows_->Playlist->AddFile(text)) windows_->Playlist->UpdateCounters();
    return;
  }
  if (text.empty()) {
    const std::string def = dataFolder_ + "Default.plf";
    if (platform::FileExists(def)) {
      windows_->Playlist->LoadPlaylist(def);
    }
    return;
  }
  if (platform::LowerAscii(platform::ExtractFileExt(text)) == ".plf") {
    windows_->Playlist->LoadPlaylist(text);
    return;
  }
  if (windows_->Playlist->AddFile(text)) windows_->Playlist->UpdateCounters();
  // Played once the event loop has taken over from the first show: the main window is mapped
  // first, and opening the stream (its decoder libraries are loaded then) does not delay it.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (shuttingDown_) return;
        Stop();
        StartPlayback();
      },
      Qt::QueuedConnection);
}

void TForm1::StartPlayback() {
  if (!playback_) return;
  playback_->Control().StartPlayback();
  playMode_ = playback_->Control().PlayMode;
}

void TForm1::Stop() {
  if (playback_) playback_->Control().Stop();
}

void TForm1::FormActivate() {
  if (activated_) return;
  activated_ = true;
}

// ---------------------------------------------------------------------------
// Language, filter, skin

void TForm1::ApplyLanguage(const std::string& name) {
  for (auto [item, word] : {std::pair{"PMLangEnglish", "English"}, {"PMLangRussian", "Russian"},
                            {"PMLangKazakh", "Kazakh"}})
    actions_[item]->setChecked(name == word);
  ApplyLanguageFile(LanguageFilePath(programFolder_, name), [this](const std::string& window) -> ILanguageTarget* {
    if (window.empty()) return this;
    return windows_ ? windows_->Target(window) : nullptr;
  });
  labels_["LabelVideoPos"]->setText(Q(Text("StringPosition")));
  labels_["LabelVideoPos"]->adjustSize();
  labels_["LabelVideoDur"]->setText(Q(Text("StringDuration")));
  labels_["LabelVideoDur"]->adjustSize();
  CentreTitleLabels();
  if (windows_) windows_->Playlist->UpdateCounters();
  BuildOpenFilter();
}

void TForm1::CentreTitleLabels() {
  if (!windows_) return;
  for (auto [form, label] : {std::pair<QWidget*, QLabel*>{windows_->FormEq.get(), windows_->FormEq->LabelTitle()},
                             {windows_->FormPL.get(), windows_->FormPL->LabelTitle()}}) {
    label->adjustSize();
    label->move((form->width() - label->width()) / 2, label->y());
  }
}

void TForm1::BuildOpenFilter() {
  std::string f = Text("StringAllSupportedFiles") + "|";
  for (const char* e : playlist::PlayableExtensions) f += "*" + std::string(e) + ";";
  // The attached add-ons' formats are supported files too (else they could not be picked).
  for (const std::string& e : playlist::AddOnExtensions()) f += "*" + e + ";";
  f += "|";
  const std::string files = Text("StringFiles");
  for (std::string_view e : playlist::PlayableExtensions) {
    std::string upper(e.substr(1));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    f += upper + " " + files + " (*" + std::string(e) + ")|*" + std::string(e) + "|";
  }
  openFilter_ = f;
}

void TForm1::LoadSkin() {
  const std::string skin = programFolder_ + "skins/" + settings_.Skins + "/";
  const std::pair<const char*, const char*> images[] = {
      {"bg_left.bmp", "ImageBGLeft"},         {"bg_right.bmp", "ImageBGRight"},
      {"bg_top.bmp", "ImageBGTop"},           {"bg_bottom.bmp", "ImageBGBottom"},
      {"bg_controls.bmp", "ImageBGControls"}, {"bg_controls_video.bmp", "ImageBGControlsVideo"},
      {"progress.bmp", "ImageProgress"},      {"progress_max.bmp", "ImageProgressMax"},
      {"progress_slider.bmp", "ImageSlider"}};
  for (auto [file, image] : images)
    if (platform::FileExists(skin + file)) images_[image]->SetImage(LoadSkinBitmap(skin + file));
  // Button strips always come from the default skin.
  const std::string def = programFolder_ + "skins/default/";
  const std::pair<const char*, const char*> strips[] = {
      {"button_close.bmp", "ImageClose"},          {"button_menu.bmp", "ImageMenu"},
      {"button_minimize.bmp", "ImageMinimize"},    {"button_next.bmp", "ImageNext"},
      {"button_open.bmp", "ImageOpen"},            {"button_previous.bmp", "ImagePre"},
      {"button_pause.bmp", "ImagePause"},          {"button_play.bmp", "ImagePlay"},
      {"button_settings.bmp", "ImageSettings"},    {"button_speed_down.bmp", "ImageSpeedDown"},
      {"button_speed_up.bmp", "ImageSpeedUp"},     {"button_stop.bmp", "ImageStop"}};
  for (auto [file, button] : strips) buttons_[button]->SetStrip(LoadSkinBitmap(def + file));
  if (windows_) {
    windows_->FormPL->LoadSkin(skin);
    windows_->FormEq->LoadSkin(skin);
  }
}

// ---------------------------------------------------------------------------
// Toggles, video panel, tray

void TForm1::SyncToggleButtons() {
  speedButtons_["sbShuffle"]->setChecked(settings_.shuffle);
  speedButtons_["sbRepeat"]->setChecked(settings_.runRepeat);
  speedButtons_["sbEQ"]->setChecked(settings_.showEq && speedButtons_["sbEQ"]->isEnabled());
  speedButtons_["sbPL"]->setChecked(settings_.showPlaylist);
}

void TForm1::ToggleShuffle() {
  settings_.shuffle = !settings_.shuffle;
  SyncToggleButtons();
}

void TForm1::ToggleRepeat() {
  settings_.runRepeat = !settings_.runRepeat;
  SyncToggleButtons();
}

void TForm1::ToggleEq() {
  settings_.showEq = !settings_.showEq;
  SyncToggleButtons();
  if (windows_) windows_->FormEq->setVisible(settings_.showEq);
}

void TForm1::TogglePlaylist() {
  settings_.showPlaylist = !settings_.showPlaylist;
  SyncToggleButtons();
  if (windows_) windows_->FormPL->setVisible(settings_.showPlaylist);
}

void TForm1::ShowVideoPanel(bool show) {
  actions_["PMVideoShow"]->setChecked(show);
  videoPanelHeight_ = show ? 300 : 1;
  resize(width(), videoPanelHeight_ + kTopBar + kAudioPanelHeight + kBottomBar);
  if (windows_) windows_->FormEq->setVisible(!show && settings_.showEq);
  speedButtons_["sbEQ"]->setEnabled(!show);
  speedButtons_["sbEQ"]->setChecked(!show && settings_.showEq);
}

void TForm1::SetTrayIcon(bool on) {
  if (on && !tray_) {
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(kProductCaption);
    tray_->setContextMenu(popupMenuMain_);
    QObject::connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
      if (r == QSystemTrayIcon::Trigger) {
        showNormal();
        raise();
        activateWindow();
      }
    });
  }
  if (tray_) tray_->setVisible(on);
}

void TForm1::SetRunningTitle(const QString& title) {
  runningTitle_ = title;
  title_->SetTitle(title);
}

// ---------------------------------------------------------------------------
// Engine events

void TForm1::DisplayFFTBand(const engine::TBandOut& bands) {
  // A frame that shows nothing new costs no repaint (silence, a held level).
  if (level_.DrawLevelDisplay(bands)) images_["ImagePeaks"]->UpdateImage(level_.Image(), level_.LastChanged());
}

void TForm1::ModeChanged(engine::TPlayerMode oldMode, engine::TPlayerMode newMode) {
  if (shuttingDown_) return;  // the engine stopping as it is destroyed
  if (newMode == engine::plmPlaying) SetTimerOn(kTimerRunString, 100, true);
  if (playback_) playback_->Control().ModeChanged(oldMode, newMode);
}

// ---------------------------------------------------------------------------
// Closing

void TForm1::closeEvent(QCloseEvent* e) {
  // A close that arrives while the playlist is being filled (a termination
  // request is let through by the add's progress display) waits for the add:
  // the add reads through the engine that closing destroys.
  // The same while the engine waits with events running (the end of a track draining, a fade, a
  // connection): that wait goes on using the engine once it returns.
  const bool engineWaits = engine_ && engine_->InWait();
  if (engineWaits) engine_->CancelWaits();
  if ((windows_ && windows_->Playlist && windows_->Playlist->Busy()) || engineWaits) {
    e->ignore();
    QTimer::singleShot(50, this, [this] { close(); });
    return;
  }
  shuttingDown_ = true;
  // Closed before the start-up sequence loaded the last playlist: the empty
  // list must not replace it.
  if (!commandLineDone_ && windows_ && windows_->FormPL) windows_->FormPL->SaveOnDestroy = false;
  EngineWindowHook = nullptr;
  // Timers and the playback logic go before the engine: the settings-write
  // failure box below pumps events, and nothing may reach a destroyed engine.
  for (uintptr_t id : {kTimerState, kTimerRunString, kTimerHideCursor, kTimerShowText}) SetTimerOn(id, 0, false);
  if (playback_) playMode_ = playback_->Control().PlayMode;
  playback_.reset();
  engine_.reset();
  WriteSettingsFile();
  if (tray_) tray_->hide();
  e->accept();
  QWidget::closeEvent(e);
  if (onClosed) onClosed();
}

void TForm1::WriteSettingsFile() {
  settings_.Left = x();
  settings_.Top = y();
  if (windows_) {
    settings_.FormEqLeft = windows_->FormEq->x();
    settings_.FormEqTop = windows_->FormEq->y();
    settings_.FormPLLeft = windows_->FormPL->x();
    settings_.FormPLTop = windows_->FormPL->y();
    settings_.FormPLWidth = windows_->FormPL->width();
    settings_.FormPLHeight = windows_->FormPL->height();
  }
  platform::IniFile ini(SettingsPath());
  WriteSettings(ini, settings_);
  std::string error;
  // The write is atomic: on failure the previous file stays whole, the user is
  // told, and the program still ends.
  if (!ini.Save(&error)) platform::ShowMessage(error, platform::kCaptionError, platform::MsgIcon::Error);
}

}  // namespace app

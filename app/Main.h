// TForm1: the main window. It owns the audio engine for the whole run, carries
// the player's commands (menu PopupMenuMain, skinned buttons, tray icon), runs
// the start-up sequence on its first show, answers its window messages through
// the platform message layer, and writes the settings when it closes.
//
// Threads: UI thread only. Engine events arrive on the UI thread.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Language.h"
#include "app/LevelDisplay.h"
#include "app/Lyrics.h"
#include "app/Settings.h"
#include "app/TitleStrip.h"
#include "engine/EngineTypes.h"
#include "platform/Messages.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QLabel;
class QMenu;
class QSlider;
class QSystemTrayIcon;
class QToolButton;

namespace engine {
class TZOZUZivade;
}

namespace app {

class TApplicationWindows;
class TImageButton;
class TMainPlayback;
class TSkinImage;

inline constexpr const char* kProductCaption = "Orvella Player 1.4";
inline constexpr const char* kSoundfontName = "CT4MGM.SF2";
inline constexpr const char* kSoundfontAddress = "https://orvella-player.org/download/CT4MGM.SF2";

// Window messages the main window handles.
inline constexpr platform::UINT WM_SHOWWINDOW = 0x0018;
inline constexpr platform::UINT WM_ACTIVATEAPP = 0x001C;
inline constexpr platform::UINT WM_QUERYENDSESSION = 0x0011;
inline constexpr platform::UINT WM_SYSCOMMAND = 0x0112;
inline constexpr platform::UINT WM_SIZING = 0x0214;
inline constexpr platform::UINT WM_MOVING = 0x0216;
inline constexpr platform::UINT WM_ENTERSIZEMOVE = 0x0231;
inline constexpr platform::UINT WM_EXITSIZEMOVE = 0x0232;
inline constexpr platform::LPARAM kWasabiServiceQuery = 3025;

// Places each edge of `window` that is closer than `distance` pixels to the
// matching edge of `workArea` on that edge.
QRect SnapToWorkArea(const QRect& window, const QRect& workArea, int distance = 10);

class TForm1 : public QWidget, public TLangBindings {
 public:
  // Creation: caption, shape, engine and its events, title strip. Touches no other window.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The other windows, created by the program entry after this one.
  void SetWindows(TApplicationWindows* windows) { windows_ = windows; }
  // Program arguments 1..N.
  void SetCommandLine(std::vector<std::string> args) { args_ = std::move(args); }

  // Hooks for parts of the player that plug in later or that tests observe.
  // Loads a Winamp input plug-in by file name (the plug-in host); may be empty.
  std::function<void(const std::string&)> LoadInputPlugin;
  // Registers the playlist type and the given extensions with the desktop (first run).
  std::function<void(const std::string& exts)> RegisterFileTypes;
  // Shows a window modally; by default runs a local event loop until it hides.
  std::function<void(QWidget*)> ShowModal;
  // The engine's window hook for the main window (installed at first activation).
  // Returns true when it took the message; sets *handled when default handling must not follow.
  std::function<bool(platform::UINT, platform::WPARAM, platform::LPARAM, bool* handled)> EngineWindowHook;
  // Runs after closing has written the settings (the program entry ends the program).
  std::function<void()> onClosed;

  // Start-up sequence (first show); runs once, also when called directly.
  void FormShow();
  // First activation: runs once.
  void FormActivate();

  // Commands.
  void ApplyLanguage(const std::string& name);
  void BuildOpenFilter();
  void LoadSkin();
  void ShowVideoPanel(bool show);
  void ToggleShuffle();
  void ToggleRepeat();
  void ToggleEq();
  void TogglePlaylist();
  void SetTrayIcon(bool on);
  // Playback commands; the transport fills them in.
  void StartPlayback();
  void Stop();

  // Engine events.
  void DisplayFFTBand(const engine::TBandOut& bands);
  void ModeChanged(engine::TPlayerMode oldMode, engine::TPlayerMode newMode);

  // State.
  platform::HWND Handle() const { return hwnd_; }
  engine::TZOZUZivade* Engine() const { return engine_.get(); }
  // The playback logic and its view; null before the first show.
  TMainPlayback* Playback() const { return playback_.get(); }
  TSettings& Settings() { return settings_; }
  const std::string& ProgramFolder() const { return programFolder_; }
  const std::string& DataFolder() const { return dataFolder_; }
  const std::string& OpenFilter() const { return openFilter_; }
  // 0 nothing chosen, 1 audio engine, 2 video file, 3 DVD: the playback logic's.
  int PlayMode() const;
  // Sets it (the video side's entry points, tests).
  void SetPlayMode(int mode);
  bool ShuttingDown() const { return shuttingDown_; }
  bool SessionEnding() const { return sessionEnding_; }
  bool Activated() const { return activated_; }
  std::string Str(const std::string& key) const { return Text(key); }
  void SetRunningTitle(const QString& title);
  bool TimerActive(uintptr_t id) const;

  // Parts tests and the program reach.
  TLevelDisplay& LevelDisplay() { return level_; }
  TLyrics& Lyrics() { return lyrics_; }
  // A new title is known: the lyrics plug-in and the plug-in browser get its artist and title.
  void ForceRefreshLyrics();
  TTitleStrip& TitleStrip() { return *title_; }
  QMenu* PopupMenuMain() const { return popupMenuMain_; }
  QAction* Action(const std::string& name) const;
  TImageButton* Button(const std::string& name) const;
  TSkinImage* SkinImage(const std::string& name) const;
  QToolButton* SpeedButton(const std::string& name) const;
  QLabel* Label(const std::string& name) const;
  QSlider* tbVolume() const { return tbVolume_; }
  QSlider* tbBalance() const { return tbBalance_; }
  QSystemTrayIcon* TrayIcon() const { return tray_; }
  bool ButtonHeld() const { return buttonHeld_; }

  static constexpr uintptr_t kTimerState = 1, kTimerRunString = 2, kTimerHideCursor = 3, kTimerShowText = 4;

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void changeEvent(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  platform::LRESULT WndProc(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam);
  void CreateControls();
  void CreateMenu();
  void BindTexts();
  void WireButtons();
  void Layout();
  void ApplyShape();
  void LoadAddOns();
  void ReportLibraries();
  void ReportSoundfont();
  void ReadSettingsFile();
  void WriteSettingsFile();
  void WireEqualiser();
  void HandleCommandLine();
  void OnTimer(uintptr_t id);
  void ResetButtonStates();
  void StartDrag(QMouseEvent* e);
  void DragMove(QMouseEvent* e);
  void EndDrag();
  void SyncToggleButtons();
  void CentreTitleLabels();
  void DefaultShowModal(QWidget* w);
  void SetTimerOn(uintptr_t id, uint32_t ms, bool on);

  TApplicationWindows* windows_ = nullptr;
  std::unique_ptr<engine::TZOZUZivade> engine_;
  platform::HWND hwnd_ = nullptr;
  std::vector<std::string> args_;
  TSettings settings_;
  std::string programFolder_, dataFolder_;
  std::string openFilter_;
  int playMode_ = 0;
  double dvdSpeed_ = 1.0;
  bool shown_ = false, activated_ = false, shuttingDown_ = false, sessionEnding_ = false;
  bool commandLineDone_ = false;  // the last playlist is loaded: closing may save it
  bool browserShown_ = false;  // the plug-in browser's window, as its last notice said
  bool buttonHeld_ = false, dragging_ = false, resizing_ = false, snapping_ = false;
  QPoint dragOffset_;
  std::array<bool, 5> timers_{};
  QString runningTitle_;

  TLevelDisplay level_;
  TLyrics lyrics_;
  std::unique_ptr<TTitleStrip> title_;

  // Controls.
  std::map<std::string, TImageButton*> buttons_;
  std::map<std::string, TSkinImage*> images_;
  std::map<std::string, QToolButton*> speedButtons_;
  std::map<std::string, QLabel*> labels_;
  std::map<std::string, QAction*> actions_;
  QWidget* panelMain_ = nullptr;
  QWidget* panelVideo_ = nullptr;
  QWidget* panelVideoControlsBase_ = nullptr;
  QWidget* panelVideoControls_ = nullptr;
  QWidget* panelAudioBase_ = nullptr;
  QWidget* panelAudio_ = nullptr;
  QSlider* tbVolume_ = nullptr;
  QSlider* tbBalance_ = nullptr;
  QCheckBox* cbMute_ = nullptr;
  QMenu* popupMenuMain_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  int videoPanelHeight_ = 1;
  // Reset before the engine goes (the destructor does it): it holds handlers on the engine.
  friend class TMainPlayback;
  std::shared_ptr<TMainPlayback> playback_;
};

}  // namespace app

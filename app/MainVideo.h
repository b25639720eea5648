// TMainVideo: the main window's video and DVD side (PlayMode 2 and 3). It
// creates the video controller on the first video (libVLC is not loaded
// before), shows its pictures in the video panel, and carries Play, Pause,
// Stop, Previous/Next chapter, seeking, the position labels, speed, volume,
// mute and balance, the on-video text, full screen, snapshots and the
// failure boxes for video entries. The playback logic reaches it through its
// view (TMainPlayback forwards the video hooks here).
//
// Events of the controller come from libVLC's threads; they are posted to the
// UI thread with the identity of their media, and an event of a media that has
// since been stopped or replaced is dropped.
//
// Threads: UI thread only (the controller's poster only posts).
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "video/VideoController.h"

class QTimer;

namespace app {

class TApplicationWindows;
class TForm1;
class TMainPlayback;
class TFormInfoVideo;
class TPlaybackControl;
class TVideoWidget;

class TMainVideo {
 public:
  TMainVideo(TForm1& form, TApplicationWindows& windows, TMainPlayback& view, TPlaybackControl& control);
  ~TMainVideo();
  TMainVideo(const TMainVideo&) = delete;
  TMainVideo& operator=(const TMainVideo&) = delete;

  // The view's video hooks.
  void StartPlayback(int playMode);
  void Pause();
  void Stop();
  void PreviousChapter();
  void NextChapter();
  bool Playing() const;
  bool Stopped() const;
  void SeekToBar(int filledWidth, int range);
  void Position(int64_t& positionMs, int64_t& lengthMs);
  void SetVolume(int position);
  void SetMuted(bool mute);
  void SetBalance(int position);
  const std::string& VideoName() const { return videoName_; }

  // Commands.
  void SpeedUp();
  void SpeedDown();
  void TakeSnapshot();
  void ToggleFullScreen();
  void LeaveFullScreen();
  bool FullScreen() const { return fullScreen_; }
  // Full screen, pointer at `y` (screen pixels): the control bar shows at the bottom of the
  // screen with the video controls and the audio panel in it, or hides.
  void PointerAt(int y);
  void StepForward();
  void ShowVideoText(const QString& text);
  // DVD: "Play DVD" (the default drive, or `disc` when given), the menus, bookmarks.
  void PlayDvd(const std::string& disc = {});
  void ShowMenu(bool title);
  void SaveBookmark();
  void RestoreBookmark();
  int64_t DvdTotalMs() const { return dvdTotalMs_; }
  int64_t DvdPositionMs() const { return dvdPositionMs_; }
  std::string BookmarkFile() const;

  // Parts tests look at.
  video::TVideoController* Controller() const { return controller_.get(); }
  TVideoWidget* Widget() const { return widget_; }
  int RateTenths() const { return rateTenths_; }
  double DvdSpeed() const { return dvdSpeed_; }
  const std::string& PositionText() const { return positionText_; }
  // The last snapshot's file ("" when none was written).
  const std::string& LastSnapshot() const { return lastSnapshot_; }
  // The video properties window (created on first use, owned here).
  TFormInfoVideo* InfoWindow() const { return info_.get(); }
  void ShowVideoInfo(const std::string& file);
  // Picture controls of the settings window's Video page (libVLC's adjust filter ranges).
  void SetPicture(float contrast, float brightness, float hue, float saturation);

 private:
  bool EnsureController();
  // Checks the DVD and starts it; false (after the failure box) when it cannot play.
  bool StartDvd(const std::string& path);
  // Stops the player and removes the DVD's native window (video files paint in the widget).
  void DropDvdWindow();
  void OnEvent(const video::TVideoEvent& e);
  void ComposeTitle(const char* statusKey);
  void ApplyLoudness();
  void SetLabels(const std::string& pos, const std::string& dur);
  void Wire();
  void WireSettings();
  // The settings window's Video page was shown: set up its bars from the playing video.
  void FillPicturePage();
  void ApplyPictureBars();
  void ApplyOutputBars();

  TForm1& form_;
  TApplicationWindows& windows_;
  TMainPlayback& view_;
  TPlaybackControl& control_;
  std::unique_ptr<QObject> context_;  // receives posted events; gone before the controller
  std::unique_ptr<QObject> settingsFilter_;
  std::unique_ptr<video::TVideoController> controller_;
  TVideoWidget* widget_ = nullptr;  // owned by the video panel
  // Full screen of a DVD in libVLC's own X11 output: a window of its own that takes the
  // native child over (the panel's widget stays where it is: Qt would replace its window).
  std::unique_ptr<TVideoWidget> dvdFull_;
  std::unique_ptr<TFormInfoVideo> info_;
  QTimer* textTimer_ = nullptr;     // TimerShowText
  QTimer* cursorTimer_ = nullptr;   // TimerHideCursor
  std::string videoName_;
  std::string positionText_;  // VideoPositionText / DvdPositionText
  std::string lastSnapshot_;
  int rateTenths_ = 10;
  double dvdSpeed_ = 1.0;
  int64_t dvdTotalMs_ = 1;
  int64_t dvdPositionMs_ = 0;
  int lastTitle_ = -1;
  std::string discId_;
  int64_t pendingSeekMs_ = -1;  // a restored bookmark's time, once its title plays
  int pendingTitle_ = -1;
  bool fullScreen_ = false;
  bool pointerMoved_ = false;
  // The panels' own places while they are in the control bar.
  QWidget* videoControls_ = nullptr;  // the video controls panel and the audio panel
  QWidget* audioPanel_ = nullptr;
  QWidget* videoControlsHome_ = nullptr;
  QWidget* audioHome_ = nullptr;
  int mode_ = 0;  // 2 video, 3 DVD: what the controller plays
};

}  // namespace app

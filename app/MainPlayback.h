// TMainPlayback: the main window's side of the playback logic. It owns the
// TPlaybackControl of the main window, shows what the control decides on the
// main window's controls (it is the control's view), and connects the
// transport buttons, menu commands, volume, mute and balance, the progress
// bar, dropped files and the engine's events to it.
//
// Created by the main window's first show, when the other windows exist;
// destroyed before the engine (it takes its handlers off the engine first).
//
// Threads: UI thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/PlaybackControl.h"

class QObject;

namespace app {

class TApplicationWindows;
class TForm1;
class TMainVideo;

class TMainPlayback : public IPlaybackView {
 public:
  TMainPlayback(TForm1& form, TApplicationWindows& windows);
  ~TMainPlayback() override;
  TMainPlayback(const TMainPlayback&) = delete;
  TMainPlayback& operator=(const TMainPlayback&) = delete;

  TPlaybackControl& Control() { return *control_; }

  // Dialog seams; tests replace them. Empty results mean cancelled.
  std::function<std::vector<std::string>(const std::string& filter, const std::string& startFolder)> FileChooser;
  std::function<std::string(const std::string& startFolder)> FolderChooser;
  std::function<std::string()> AddressPrompt;

  // IPlaybackView.
  std::string Str(const std::string& key) const override;
  bool Activated() const override;
  void SetApplicationTitle(const std::string& title) override;
  void RestoreApplicationTitle() override;
  void SetRunningTitle(const std::string& title) override;
  void SetTypeLabel(const std::string& text) override;
  void SetBitrateLabel(const std::string& text) override;
  void SetPosLabel(const std::string& text) override;
  void SetStereoLit(bool stereo) override;
  void SetNavigationHints(const std::string& next, const std::string& previous) override;
  void ShowProgress(int filledWidth, int sliderLeft, bool sliderVisible) override;
  int VolumeBarPosition() const override;
  void SetVolumeBarPosition(int position) override;
  void StatusClear() override;
  void StatusAdd(const std::string& line) override;
  void StatusAppendToLast(const std::string& text) override;
  bool StatusEmpty() const override;
  void StatusScrollPage() override;
  void StatusShow() override;
  void UseAudioLayout() override;
  void ClearLevels() override;
  void DrawLevelBackground() override;
  void SetStateTimer(bool on) override;
  void StartRunStringTimer() override;
  void RefreshLyrics() override;
  void SetAddOnInUse(const std::string& decoderName) override { addOnInUse_ = decoderName; }
  void ShowPlayingRow(int scrollPixels) override;
  std::vector<std::string> ChooseFiles(const std::string& defaultExt, const std::string& startFolder) override;
  std::string ChooseFolder(const std::string& startFolder) override;
  std::string PromptAddress() override;
  // Video and DVD: the main window's video side.
  void VideoStartPlayback(int playMode) override;
  void VideoPause() override;
  void VideoStop() override;
  void VideoPreviousChapter() override;
  void VideoNextChapter() override;
  bool VideoPlaying() const override;
  bool VideoStopped() const override;
  void VideoSeekToBar(int filledWidth, int range) override;
  void VideoPosition(int64_t& positionMs, int64_t& lengthMs) override;
  void VideoSetVolume(int position) override;
  void VideoSetMuted(bool mute) override;
  void VideoSetBalance(int position) override;
  std::string VideoFileName() const override;

  const std::string& AddOnInUse() const { return addOnInUse_; }
  TMainVideo& Video() { return *video_; }

 private:
  void Wire();

  TForm1& form_;
  TApplicationWindows& windows_;
  std::unique_ptr<TPlaybackControl> control_;
  std::unique_ptr<TMainVideo> video_;  // goes before the control and the engine
  std::unique_ptr<QObject> dropFilter_;
  // Context of the connections to the main window's controls; they go with it.
  std::unique_ptr<QObject> context_;
  bool ownsOpenUrl_ = false;
  std::string addOnInUse_;
};

}  // namespace app

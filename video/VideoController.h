// TVideoController: plays one video file or DVD at a time over libVLC 3 for
// the main window (PlayMode 2 and 3). Pictures arrive through libVLC's video
// callbacks and the last one is kept (the widget paints it, snapshots save
// it); sound goes through our audio library (TVideoAudio); libVLC's events are
// copied and handed to a poster together with the identity of the media they
// belong to, so a late event of a media that has since been replaced is
// recognised and dropped by the receiver.
//
// libVLC is loaded when the first controller is made, which the main window
// does on the first video, never at start-up.
//
// Threads: every public function on the owning (UI) thread, except
// CopyFrame/FrameSerial (any thread). The poster and the frame sink are called
// on libVLC's threads: they must only copy and post.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "video/VideoAudio.h"

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_event_t;

namespace video {

class TVlcLibrary;

enum class TVideoState { Stopped = 0, Paused = 1, Playing = 2 };

// A decoded picture: rows top-down, pixels 0xffRRGGBB.
struct TVideoFrame {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
  int64_t TimeMs = -1;  // the player's time when it was shown
  double PixelAspect = 1.0;  // width of a pixel over its height (a PAL 4:3 DVD: 16/15)
};

enum class TVideoEventKind {
  Playing,
  Paused,
  Stopped,
  Ended,         // the media played to its end
  Failed,        // it cannot be played (or ended without a picture or a sample)
  TitleChanged,  // DVD: Value is the new title
  TimeChanged,   // Value is the time in ms
  FrameReady,    // a new picture is at hand (coalesced: one pending at a time)
};

struct TVideoEvent {
  TVideoEventKind Kind = TVideoEventKind::Stopped;
  uint64_t Media = 0;  // identity of the media the event belongs to
  int64_t Value = 0;
};

class TVideoController {
 public:
  using Poster = std::function<void(const TVideoEvent&)>;

  // `bass` may be null: the video then plays without sound.
  TVideoController(Poster post, engine::TBassCore* bass);
  ~TVideoController();
  TVideoController(const TVideoController&) = delete;
  TVideoController& operator=(const TVideoController&) = delete;

  // libVLC could be loaded (else LastError says why).
  bool Ready() const { return vlc_ != nullptr && instance_ != nullptr; }
  const std::string& LastError() const { return error_; }

  // DVDs on X11: the native window (an X11 window id, 0 for none) libVLC draws a DVD
  // into and takes the pointer on, so a click on a menu button reaches the navigator.
  // The window must not select pointer events itself (X gives button presses to one
  // client only). Used by the next Start of a DVD; video files always use the callbacks.
  void SetDvdWindow(uint32_t xwindow) { dvdWindow_ = xwindow; }
  // The media plays in that window: no picture reaches the callbacks (CopyFrame is
  // false); SnapshotPng saves the shown picture instead.
  bool Embedded() const { return embedded_; }
  // The picture shown, with what libVLC draws over it, as a PNG file (embedded output).
  bool SnapshotPng(const std::string& path);

  // Starts `path` (a DVD folder, image or device when `dvd`), from `startMs` on (the
  // first picture shown is the one at that time). A new media identity is taken;
  // false (with LastError) when libVLC refuses at once.
  bool Start(const std::string& path, bool dvd, int64_t startMs = 0);
  // Runs a paused media (the graph's Run).
  void Run();
  void Pause();
  // Stops and forgets the media; returns when libVLC's threads are done with it.
  void Stop();

  TVideoState State() const;
  uint64_t Media() const { return media_.load(); }
  bool Dvd() const { return dvd_; }
  int64_t TimeMs() const;
  int64_t LengthMs() const;
  void SeekMs(int64_t ms);
  double Rate() const;
  void SetRate(double rate);
  void NextChapter();
  void PreviousChapter();
  void StepForward();
  int Title() const;
  int Chapter() const;
  // DVD: plays `title` (0 is the menus' title of libVLC's navigator).
  void SetTitle(int title);
  // DVD: the title menu (`title`) or the root menu.
  void ShowMenu(bool title);
  // DVD menu navigation: 0 activate, 1 up, 2 down, 3 left, 4 right.
  void Navigate(unsigned action);
  // Picture controls of libVLC's adjust filter (enable once any is set).
  void SetAdjust(float contrast, float brightness, float hue, float saturation);

  // Sound: graph volume 0..10000, balance bar -100..100 (see TVideoAudio).
  void SetVolume(int graphVolume);
  void SetBalance(int position);
  TVideoAudio* Audio() { return audio_.get(); }

  // The last picture shown; false when none has been shown for this media.
  bool CopyFrame(TVideoFrame& out) const;
  // Counts pictures shown for this media.
  uint64_t FrameSerial() const { return frames_.load(); }
  // The UI thread took the pending FrameReady: the next picture may post again.
  void FrameTaken() { framePosted_.store(false); }

 private:
  struct Buffer;
  static unsigned FormatSetup(void** opaque, char* chroma, unsigned* width, unsigned* height, unsigned* pitches,
                              unsigned* lines);
  static void FormatCleanup(void* opaque);
  static void* Lock(void* opaque, void** planes);
  static void Unlock(void* opaque, void* picture, void* const* planes);
  static void Display(void* opaque, void* picture);
  static int AudioSetup(void** opaque, char* format, unsigned* rate, unsigned* channels);
  static void AudioCleanup(void* opaque);
  static void AudioPlay(void* opaque, const void* samples, unsigned count, int64_t pts);
  static void AudioPause(void* opaque, int64_t pts);
  static void AudioResume(void* opaque, int64_t pts);
  static void AudioFlush(void* opaque, int64_t pts);
  static void OnEvent(const libvlc_event_t* e, void* opaque);
  void Post(TVideoEventKind kind, int64_t value = 0);
  void ReleasePlayer();

  Poster post_;
  TVlcLibrary* vlc_ = nullptr;
  libvlc_instance_t* instance_ = nullptr;
  libvlc_media_player_t* player_ = nullptr;
  std::string error_;
  bool dvd_ = false;
  uint32_t dvdWindow_ = 0;
  std::atomic<bool> embedded_{false};
  int volume_ = 10000, balance_ = 0;
  std::unique_ptr<TVideoAudio> audio_;
  std::atomic<uint64_t> media_{0};

  // Pictures: buffers handed to libVLC (guarded by bufMutex_), the front picture (frameMutex_).
  std::mutex bufMutex_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  unsigned width_ = 0, height_ = 0;      // of the buffers (decoders may pad them)
  unsigned visibleW_ = 0, visibleH_ = 0;  // of the picture, at the buffers' top left
  double pixelAspect_ = 1.0;
  mutable std::mutex frameMutex_;
  TVideoFrame front_;
  std::atomic<uint64_t> frames_{0};
  std::atomic<bool> framePosted_{false};
  std::atomic<uint64_t> audioFrames_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> voutSeen_{false};  // the embedded output showed a picture
};

}  // namespace video

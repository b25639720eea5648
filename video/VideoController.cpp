#include "video/VideoController.h"

#include <algorithm>
#include <cstring>

#include "video/VlcLibrary.h"

namespace video {

struct TVideoController::Buffer {
  // Not cleared when made: libVLC writes every pixel before it shows a picture.
  std::unique_ptr<uint32_t[]> Pixels;
  size_t Size = 0;
  bool InUse = false;
  void Make(size_t n) {
    Pixels.reset(new uint32_t[n]);
    Size = n;
  }
};

namespace {
// libVLC's picture pool: enough for a picture being shown and the next ones decoded.
constexpr unsigned kBuffers = 3;
constexpr int64_t kNoTime = -1;
}  // namespace

TVideoController::TVideoController(Poster post, engine::TBassCore* bass) : post_(std::move(post)) {
  vlc_ = TVlcLibrary::Get(&error_);
  if (!vlc_) return;
  // libVLC never opens a sound device of its own: the sound goes through our
  // library (the memory output replaces the dummy one per player).
  const char* const args[] = {"--quiet", "--intf=dummy", "--aout=adummy", "--no-video-title-show", "--no-stats",
                              "--no-snapshot-preview", "--no-xlib", "--no-osd"};
  instance_ = vlc_->libvlc_new(static_cast<int>(std::size(args)), args);
  if (!instance_) {
    const char* e = vlc_->libvlc_errmsg();
    error_ = std::string("libVLC could not start") + (e ? std::string(": ") + e : std::string());
    return;
  }
  if (bass) audio_ = std::make_unique<TVideoAudio>(*bass);
}

TVideoController::~TVideoController() {
  ReleasePlayer();
  if (instance_) vlc_->libvlc_release(instance_);
}

void TVideoController::ReleasePlayer() {
  if (!player_) return;
  stopping_ = true;
  if (audio_) audio_->Abort();
  // Stops and joins libVLC's threads; no callback of this player runs afterwards.
  vlc_->libvlc_media_player_stop(player_);
  vlc_->libvlc_media_player_release(player_);
  player_ = nullptr;
  embedded_ = false;
  if (audio_) audio_->Close();
  stopping_ = false;
}

bool TVideoController::Start(const std::string& path, bool dvd, int64_t startMs) {
  if (!Ready()) return false;
  ReleasePlayer();
  media_.fetch_add(1);
  dvd_ = dvd;
  frames_ = 0;
  audioFrames_ = 0;
  voutSeen_ = false;
  framePosted_ = false;
  {
    std::lock_guard<std::mutex> lock(frameMutex_);
    front_ = TVideoFrame{};
  }
  libvlc_media_t* m = nullptr;
  if (dvd) {
    // A DVD folder (VIDEO_TS or its parent), an image or a device, through the DVD navigator.
    std::string target = path;
    if (target.size() > 12 && (target.ends_with("/VIDEO_TS.IFO") || target.ends_with("/video_ts.ifo")))
      target = target.substr(0, target.size() - 13);
    m = vlc_->libvlc_media_new_location(instance_, ("dvd://" + target).c_str());
  } else {
    m = vlc_->libvlc_media_new_path(instance_, path.c_str());
  }
  if (!m) {
    error_ = "libVLC cannot open " + path;
    return false;
  }
  // Without our output libVLC would open a sound device of its own.
  if (!audio_) vlc_->libvlc_media_add_option(m, ":no-audio");
  if (startMs > 0) vlc_->libvlc_media_add_option(m, (":start-time=" + std::to_string(startMs / 1000.0)).c_str());
  // libVLC shows a file's subtitles only when one is flagged default: the first is shown,
  // as a subtitle renderer of the system would. A disc's navigator chooses its own.
  if (!dvd) vlc_->libvlc_media_add_option(m, ":sub-track=0");
  player_ = vlc_->libvlc_media_player_new(instance_);
  if (!player_) {
    vlc_->libvlc_media_release(m);
    error_ = "libVLC could not create a player";
    return false;
  }
  vlc_->libvlc_media_player_set_media(player_, m);
  vlc_->libvlc_media_release(m);
  embedded_ = dvd && dvdWindow_ != 0;
  if (embedded_) {
    // libVLC's own X11 output: it selects the pointer on the window and hands
    // moves and clicks to the DVD navigator; keys stay with the application.
    vlc_->libvlc_media_player_set_xwindow(player_, dvdWindow_);
    vlc_->libvlc_video_set_mouse_input(player_, 1);
    vlc_->libvlc_video_set_key_input(player_, 0);
  } else {
    vlc_->libvlc_video_set_callbacks(player_, &Lock, &Unlock, &Display, this);
    vlc_->libvlc_video_set_format_callbacks(player_, &FormatSetup, &FormatCleanup);
  }
  if (audio_) {
    vlc_->libvlc_audio_set_callbacks(player_, &AudioPlay, &AudioPause, &AudioResume, &AudioFlush, nullptr, this);
    vlc_->libvlc_audio_set_format_callbacks(player_, &AudioSetup, &AudioCleanup);
  }
  libvlc_event_manager_t* em = vlc_->libvlc_media_player_event_manager(player_);
  for (libvlc_event_e t : {libvlc_MediaPlayerPlaying, libvlc_MediaPlayerPaused, libvlc_MediaPlayerStopped,
                           libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError,
                           libvlc_MediaPlayerTitleChanged, libvlc_MediaPlayerTimeChanged, libvlc_MediaPlayerVout})
    vlc_->libvlc_event_attach(em, t, &OnEvent, this);
  if (vlc_->libvlc_media_player_play(player_) != 0) {
    error_ = "libVLC cannot play " + path;
    ReleasePlayer();
    return false;
  }
  return true;
}

void TVideoController::Run() {
  if (player_) vlc_->libvlc_media_player_set_pause(player_, 0);
}

void TVideoController::Pause() {
  if (player_) vlc_->libvlc_media_player_set_pause(player_, 1);
}

void TVideoController::Stop() { ReleasePlayer(); }

TVideoState TVideoController::State() const {
  if (!player_) return TVideoState::Stopped;
  switch (vlc_->libvlc_media_player_get_state(player_)) {
    case libvlc_Paused:
      return TVideoState::Paused;
    case libvlc_Opening:
    case libvlc_Buffering:
    case libvlc_Playing:
      return TVideoState::Playing;
    case libvlc_Ended:
    case libvlc_Error:
      // Until the main window stops it the media stays where it ended.
      return TVideoState::Paused;
    default:
      return TVideoState::Stopped;
  }
}

int64_t TVideoController::TimeMs() const {
  if (!player_) return 0;
  return std::max<int64_t>(vlc_->libvlc_media_player_get_time(player_), 0);
}

int64_t TVideoController::LengthMs() const {
  if (!player_) return 0;
  return std::max<int64_t>(vlc_->libvlc_media_player_get_length(player_), 0);
}

void TVideoController::SeekMs(int64_t ms) {
  if (player_) vlc_->libvlc_media_player_set_time(player_, std::max<int64_t>(ms, 0));
}

double TVideoController::Rate() const { return player_ ? vlc_->libvlc_media_player_get_rate(player_) : 1.0; }

void TVideoController::SetRate(double rate) {
  // libVLC takes negative and zero rates; the player never asks for them.
  if (player_ && rate > 0) vlc_->libvlc_media_player_set_rate(player_, static_cast<float>(rate));
}

void TVideoController::NextChapter() {
  if (player_) vlc_->libvlc_media_player_next_chapter(player_);
}
void TVideoController::PreviousChapter() {
  if (player_) vlc_->libvlc_media_player_previous_chapter(player_);
}
void TVideoController::StepForward() {
  if (player_) vlc_->libvlc_media_player_next_frame(player_);
}
int TVideoController::Title() const { return player_ ? vlc_->libvlc_media_player_get_title(player_) : -1; }
int TVideoController::Chapter() const { return player_ ? vlc_->libvlc_media_player_get_chapter(player_) : -1; }
void TVideoController::SetTitle(int title) {
  if (player_) vlc_->libvlc_media_player_set_title(player_, title);
}
void TVideoController::ShowMenu(bool title) {
  if (!player_) return;
  // The navigator's menus are title 0; its chapters 1 and 2 call the root and the title menu.
  vlc_->libvlc_media_player_set_title(player_, 0);
  vlc_->libvlc_media_player_set_chapter(player_, title ? 2 : 1);
}
void TVideoController::Navigate(unsigned action) {
  if (player_) vlc_->libvlc_media_player_navigate(player_, action);
}

void TVideoController::SetAdjust(float contrast, float brightness, float hue, float saturation) {
  if (!player_) return;
  vlc_->libvlc_video_set_adjust_int(player_, libvlc_adjust_Enable, 1);
  vlc_->libvlc_video_set_adjust_float(player_, libvlc_adjust_Contrast, contrast);
  vlc_->libvlc_video_set_adjust_float(player_, libvlc_adjust_Brightness, brightness);
  vlc_->libvlc_video_set_adjust_float(player_, libvlc_adjust_Hue, hue);
  vlc_->libvlc_video_set_adjust_float(player_, libvlc_adjust_Saturation, saturation);
}

void TVideoController::SetVolume(int graphVolume) {
  volume_ = std::clamp(graphVolume, 0, 10000);
  if (audio_) audio_->SetVolume(volume_);
}

void TVideoController::SetBalance(int position) {
  balance_ = std::clamp(position, -100, 100);
  if (audio_) audio_->SetBalance(balance_);
}

bool TVideoController::SnapshotPng(const std::string& path) {
  if (!player_) return false;
  // Waits for the video output's next picture (at most a moment) and writes it.
  return vlc_->libvlc_video_take_snapshot(player_, 0, path.c_str(), 0, 0) == 0;
}

bool TVideoController::CopyFrame(TVideoFrame& out) const {
  std::lock_guard<std::mutex> lock(frameMutex_);
  if (front_.Pixels.empty()) return false;
  out = front_;
  return true;
}

void TVideoController::Post(TVideoEventKind kind, int64_t value) {
  if (post_) post_(TVideoEvent{kind, media_.load(), value});
}

// ---------------------------------------------------------------- libVLC's threads

unsigned TVideoController::FormatSetup(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                       unsigned* pitches, unsigned* lines) {
  auto* self = static_cast<TVideoController*>(*opaque);
  // Memory order B, G, R, X: one 32-bit word 0xXXRRGGBB per pixel on this machine.
  std::memcpy(chroma, "RV32", 4);
  if (*width == 0 || *height == 0 || *width > 8192 || *height > 8192) return 0;
  // Decoders hand over padded pictures (H.264: two rows more than aligned); the
  // picture itself is the video track's size, at the top left.
  unsigned visibleW = *width, visibleH = *height;
  double pixelAspect = 1.0;
  if (libvlc_media_t* m = self->vlc_->libvlc_media_player_get_media(self->player_)) {
    libvlc_media_track_t** tracks = nullptr;
    const unsigned n = self->vlc_->libvlc_media_tracks_get(m, &tracks);
    for (unsigned i = 0; i < n; ++i) {
      const libvlc_media_track_t* t = tracks[i];
      if (t->i_type == libvlc_track_video && t->video && t->video->i_width > 0 && t->video->i_height > 0 &&
          t->video->i_width <= *width && t->video->i_height <= *height) {
        visibleW = t->video->i_width;
        visibleH = t->video->i_height;
        if (t->video->i_sar_num > 0 && t->video->i_sar_den > 0)
          pixelAspect = static_cast<double>(t->video->i_sar_num) / t->video->i_sar_den;
        break;
      }
    }
    if (n) self->vlc_->libvlc_media_tracks_release(tracks, n);
    self->vlc_->libvlc_media_release(m);
  }
  std::lock_guard<std::mutex> lock(self->bufMutex_);
  self->width_ = *width;
  self->height_ = *height;
  self->visibleW_ = visibleW;
  self->visibleH_ = visibleH;
  self->pixelAspect_ = pixelAspect;
  pitches[0] = *width * 4;
  lines[0] = *height;
  self->buffers_.clear();
  for (unsigned i = 0; i < kBuffers; ++i) {
    auto b = std::make_unique<Buffer>();
    b->Make(static_cast<size_t>(*width) * *height);
    self->buffers_.push_back(std::move(b));
  }
  return kBuffers;
}

void TVideoController::FormatCleanup(void* opaque) {
  auto* self = static_cast<TVideoController*>(opaque);
  std::lock_guard<std::mutex> lock(self->bufMutex_);
  self->buffers_.clear();
}

void* TVideoController::Lock(void* opaque, void** planes) {
  auto* self = static_cast<TVideoController*>(opaque);
  std::lock_guard<std::mutex> lock(self->bufMutex_);
  for (auto& b : self->buffers_) {
    if (!b->InUse) {
      b->InUse = true;
      planes[0] = b->Pixels.get();
      return b.get();
    }
  }
  // More pictures in flight than buffers: libVLC asked for no more than it got, so this is a fault.
  auto b = std::make_unique<Buffer>();
  b->Make(static_cast<size_t>(self->width_) * self->height_);
  b->InUse = true;
  planes[0] = b->Pixels.get();
  self->buffers_.push_back(std::move(b));
  return self->buffers_.back().get();
}

void TVideoController::Unlock(void* opaque, void* picture, void* const*) {
  auto* self = static_cast<TVideoController*>(opaque);
  std::lock_guard<std::mutex> lock(self->bufMutex_);
  static_cast<Buffer*>(picture)->InUse = false;
}

void TVideoController::Display(void* opaque, void* picture) {
  auto* self = static_cast<TVideoController*>(opaque);
  auto* b = static_cast<Buffer*>(picture);
  {
    std::lock_guard<std::mutex> lock(self->frameMutex_);
    const unsigned w = self->visibleW_, h = self->visibleH_;
    self->front_.Width = static_cast<int>(w);
    self->front_.Height = static_cast<int>(h);
    self->front_.Pixels.resize(static_cast<size_t>(w) * h);
    // The pad byte is undefined in RV32: make it opaque.
    for (unsigned y = 0; y < h; ++y) {
      const uint32_t* src = b->Pixels.get() + static_cast<size_t>(y) * self->width_;
      uint32_t* dst = &self->front_.Pixels[static_cast<size_t>(y) * w];
      for (unsigned x = 0; x < w; ++x) dst[x] = src[x] | 0xff000000u;
    }
    self->front_.TimeMs = kNoTime;
    self->front_.PixelAspect = self->pixelAspect_;
  }
  self->frames_.fetch_add(1);
  if (!self->framePosted_.exchange(true)) self->Post(TVideoEventKind::FrameReady);
}

int TVideoController::AudioSetup(void** opaque, char* format, unsigned* rate, unsigned* channels) {
  auto* self = static_cast<TVideoController*>(*opaque);
  std::memcpy(format, "S16N", 4);
  if (*channels > 2) *channels = 2;
  if (*rate < 8000 || *rate > 192000) *rate = 48000;
  // Without an output the picture still plays; the samples are then dropped.
  self->audio_->Open(*rate, *channels);
  return 0;
}

void TVideoController::AudioCleanup(void* opaque) { static_cast<TVideoController*>(opaque)->audio_->Close(); }

void TVideoController::AudioPlay(void* opaque, const void* samples, unsigned count, int64_t pts) {
  auto* self = static_cast<TVideoController*>(opaque);
  self->audioFrames_.fetch_add(count);
  if (self->stopping_) return;
  self->audio_->Write(static_cast<const int16_t*>(samples), count, pts, self->vlc_->libvlc_clock);
}

void TVideoController::AudioPause(void* opaque, int64_t) { static_cast<TVideoController*>(opaque)->audio_->Pause(true); }
void TVideoController::AudioResume(void* opaque, int64_t) {
  static_cast<TVideoController*>(opaque)->audio_->Pause(false);
}
void TVideoController::AudioFlush(void* opaque, int64_t) { static_cast<TVideoController*>(opaque)->audio_->Flush(); }

void TVideoController::OnEvent(const libvlc_event_t* e, void* opaque) {
  auto* self = static_cast<TVideoController*>(opaque);
  switch (e->type) {
    case libvlc_MediaPlayerPlaying:
      self->Post(TVideoEventKind::Playing);
      break;
    case libvlc_MediaPlayerPaused:
      self->Post(TVideoEventKind::Paused);
      break;
    case libvlc_MediaPlayerStopped:
      self->Post(TVideoEventKind::Stopped);
      break;
    case libvlc_MediaPlayerEndReached:
      // Nothing seen and nothing heard: the file could not be rendered.
      if (self->frames_.load() == 0 && self->audioFrames_.load() == 0 && !self->voutSeen_.load())
        self->Post(TVideoEventKind::Failed);
      else self->Post(TVideoEventKind::Ended);
      break;
    case libvlc_MediaPlayerEncounteredError:
      self->Post(TVideoEventKind::Failed);
      break;
    case libvlc_MediaPlayerTitleChanged:
      self->Post(TVideoEventKind::TitleChanged, e->u.media_player_title_changed.new_title);
      break;
    case libvlc_MediaPlayerVout:
      // The embedded output shows pictures without the callbacks.
      if (self->embedded_ && e->u.media_player_vout.new_count > 0) self->voutSeen_ = true;
      break;
    case libvlc_MediaPlayerTimeChanged:
      if (self->dvd_) self->Post(TVideoEventKind::TimeChanged, e->u.media_player_time_changed.new_time);
      break;
    default:
      break;
  }
}

}  // namespace video

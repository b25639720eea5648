// The video controller over libVLC on generated media: pictures, transport,
// seeking, endings, failures, snapshots, picture controls and the sound heard
// through our audio library's capture output.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "../engine/EngineTestUtil.h"
#include "VideoTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "video/Snapshot.h"
#include "video/VideoController.h"

using namespace std::chrono_literals;
using enginetest::ProgramDir;
using enginetest::ScratchDir;
using video::TVideoController;
using video::TVideoEvent;
using video::TVideoEventKind;
using video::TVideoState;

namespace {

// Events as the main window would receive them: copied on libVLC's threads, taken here.
class EventQueue {
 public:
  TVideoController::Poster Poster() {
    return [this](const TVideoEvent& e) {
      std::lock_guard<std::mutex> lock(m_);
      q_.push_back(e);
      cv_.notify_all();
    };
  }
  // Waits for an event of `kind` (others are dropped); false on timeout.
  bool WaitFor(TVideoEventKind kind, int timeoutMs, TVideoEvent* got = nullptr) {
    std::unique_lock<std::mutex> lock(m_);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      while (!q_.empty()) {
        TVideoEvent e = q_.front();
        q_.pop_front();
        if (e.Kind == kind) {
          if (got) *got = e;
          return true;
        }
      }
      if (cv_.wait_until(lock, until) == std::cv_status::timeout && q_.empty()) return false;
    }
  }
  // The first of `kinds` to arrive.
  bool WaitForAny(std::initializer_list<TVideoEventKind> kinds, int timeoutMs, TVideoEvent* got) {
    std::unique_lock<std::mutex> lock(m_);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      while (!q_.empty()) {
        TVideoEvent e = q_.front();
        q_.pop_front();
        for (auto k : kinds)
          if (e.Kind == k) {
            *got = e;
            return true;
          }
      }
      if (cv_.wait_until(lock, until) == std::cv_status::timeout && q_.empty()) return false;
    }
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<TVideoEvent> q_;
};

// An engine whose output is captured into "heard.wav" of its own program folder.
struct CapturedEngine {
  ProgramDir program;
  const std::string wav = program.File("heard.wav");
  std::unique_ptr<engine::TZOZUZivade> engine;
  CapturedEngine() {
    enginetest::CaptureOutput capture(wav, 0);
    engine = std::make_unique<engine::TZOZUZivade>();
  }
};

// A video started through a captured engine at full volume, centred, as the main window starts one.
struct CapturedVideo : CapturedEngine {
  EventQueue events;
  std::unique_ptr<TVideoController> c = std::make_unique<TVideoController>(events.Poster(), &engine->Bass());
  // True once libVLC reports the file playing.
  ::testing::AssertionResult Start(const std::string& file) {
    if (!engine->Ready()) return ::testing::AssertionFailure() << "the engine is not ready";
    c->SetVolume(255 * 39);
    c->SetBalance(0);
    if (!c->Start(file, false)) return ::testing::AssertionFailure() << "the controller refused " << file;
    if (!events.WaitFor(TVideoEventKind::Playing, 10000)) return ::testing::AssertionFailure() << "not playing";
    return ::testing::AssertionSuccess();
  }
};

// A 12 s video whose first 6 s of sound tell their own time: 400 + 100 k Hz in the k-th tenth of
// a second; 200 Hz from 6 s on.
std::string SteppedTonesVideo() {
  return enginetest::Media(
      "tones_stepped.mkv",
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=160x120:r=25:d=12 -f lavfi -i "
      "\"aevalsrc=0.125*sin(2*PI*t*if(lt(t\\,6)\\,400+100*floor(t*10)\\,200)):s=48000:d=12:c=stereo\" "
      "-c:v mpeg4 -c:a pcm_s16le {out}");
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return done();
}

// A picture shown after the call, taken once the controller has a new one.
bool NextFrame(TVideoController& c, video::TVideoFrame& f, int timeoutMs = 5000) {
  const uint64_t serial = c.FrameSerial();
  if (!WaitUntil([&] { return c.FrameSerial() > serial + 1; }, timeoutMs)) return false;
  return c.CopyFrame(f);
}

// Waits until the shown picture is one of second `second` (red = 20 x second); pictures
// decoded before a seek may still be shown for a moment after it.
bool PictureOfSecond(TVideoController& c, int second, video::TVideoFrame& f, int timeoutMs = 5000) {
  return WaitUntil([&] { return c.CopyFrame(f) && std::abs(videotest::ChannelMean(f, 16) - 20.0 * second) < 8; },
                   timeoutMs);
}

class VideoControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = videotest::SmallMkv();
    ASSERT_FALSE(file_.empty()) << "ffmpeg could not make the test video";
  }
  std::string file_;
  EventQueue events_;
};

// White pixels in the bottom third of a picture: the test video has none of its own
// there (red stays below 240), so they are subtitle text.
int SubtitlePixels(const video::TVideoFrame& f) {
  int n = 0;
  for (int y = f.Height * 2 / 3; y < f.Height; ++y)
    for (int x = 0; x < f.Width; ++x) {
      const uint32_t p = f.Pixels[static_cast<size_t>(y) * f.Width + x];
      if (((p >> 16) & 0xff) > 230 && ((p >> 8) & 0xff) > 230 && (p & 0xff) > 230) ++n;
    }
  return n;
}

// The file's subtitles ("Hello subtitle" from 1 s to 3 s) are drawn into the picture.
TEST_F(VideoControllerTest, TheFirstSubtitlesAreShown) {
  TVideoController c(events_.Poster(), nullptr);
  ASSERT_TRUE(c.Ready()) << c.LastError();
  ASSERT_TRUE(c.Start(file_, false));
  video::TVideoFrame f;
  ASSERT_TRUE(PictureOfSecond(c, 2, f, 10000)) << "no picture of second 2";
  int most = 0;
  // Pictures of second 2 (the mean of red tells the second of a picture).
  WaitUntil([&] {
    if (c.CopyFrame(f) && std::abs(videotest::ChannelMean(f, 16) - 40.0) < 8) most = std::max(most, SubtitlePixels(f));
    return most > 20;
  }, 3000);
  EXPECT_GT(most, 20) << "no subtitle text in the pictures of second 2";
  ASSERT_TRUE(PictureOfSecond(c, 4, f, 5000)) << "no picture of second 4";
  EXPECT_EQ(SubtitlePixels(f), 0) << "the subtitle is still shown after its end";
  c.Stop();
}

TEST_F(VideoControllerTest, ShowsTheFirstPicturePausesResumesAndSeeks) {
  TVideoController c(events_.Poster(), nullptr);
  ASSERT_TRUE(c.Ready()) << c.LastError();
  ASSERT_TRUE(c.Start(file_, false));
  TVideoEvent e;
  ASSERT_TRUE(events_.WaitFor(TVideoEventKind::FrameReady, 10000, &e));
  EXPECT_EQ(e.Media, c.Media());
  video::TVideoFrame f;
  ASSERT_TRUE(c.CopyFrame(f));
  EXPECT_EQ(f.Width, 320);
  EXPECT_EQ(f.Height, 240);
  EXPECT_EQ(c.State(), TVideoState::Playing);
  EXPECT_TRUE(WaitUntil([&] { return c.LengthMs() > 11000; }, 5000));
  EXPECT_NEAR(c.LengthMs(), 12000, 200);

  c.Pause();
  ASSERT_TRUE(WaitUntil([&] { return c.State() == TVideoState::Paused; }, 5000));
  const int64_t at = c.TimeMs();
  std::this_thread::sleep_for(400ms);
  EXPECT_LE(c.TimeMs() - at, 50) << "time ran on while paused";
  c.Run();
  ASSERT_TRUE(WaitUntil([&] { return c.State() == TVideoState::Playing; }, 5000));
  EXPECT_TRUE(WaitUntil([&] { return c.TimeMs() > at + 300; }, 5000)) << "did not resume";

  // Half of the bar: 6 s; the picture shown afterwards is of second 6 (red 120).
  c.SeekMs(6000);
  ASSERT_TRUE(WaitUntil([&] { return c.TimeMs() >= 5500 && c.TimeMs() <= 6500; }, 5000)) << c.TimeMs();
  EXPECT_TRUE(PictureOfSecond(c, 6, f)) << videotest::ChannelMean(f, 16);
  c.Stop();
  EXPECT_EQ(c.State(), TVideoState::Stopped);
}

TEST_F(VideoControllerTest, RatesStayPositive) {
  TVideoController c(events_.Poster(), nullptr);
  ASSERT_TRUE(c.Start(file_, false));
  ASSERT_TRUE(events_.WaitFor(TVideoEventKind::Playing, 10000));
  c.SetRate(1.5);
  EXPECT_TRUE(WaitUntil([&] { return std::abs(c.Rate() - 1.5) < 0.01; }, 3000));
  c.SetRate(0);
  c.SetRate(-1);
  EXPECT_NEAR(c.Rate(), 1.5, 0.01) << "a rate of 0 or below reached libVLC";
}

TEST_F(VideoControllerTest, TheEndIsPostedWithTheMediaIdentity) {
  const std::string avi = videotest::ShortAvi();
  ASSERT_FALSE(avi.empty());
  TVideoController c(events_.Poster(), nullptr);
  ASSERT_TRUE(c.Start(file_, false));
  const uint64_t first = c.Media();
  ASSERT_TRUE(c.Start(avi, false));
  EXPECT_NE(c.Media(), first) << "a new media must have a new identity";
  TVideoEvent e;
  ASSERT_TRUE(events_.WaitForAny({TVideoEventKind::Ended, TVideoEventKind::Failed}, 15000, &e));
  EXPECT_EQ(e.Kind, TVideoEventKind::Ended);
  EXPECT_EQ(e.Media, c.Media());
  EXPECT_GT(c.FrameSerial(), 10u);
}

TEST_F(VideoControllerTest, BadFilesFailWithoutHanging) {
  ScratchDir dir;
  const std::string garbage = dir.File("random.mkv");
  std::string bytes;
  uint32_t x = 12345;
  for (int i = 0; i < 200000; ++i) {
    x = x * 1103515245u + 12345u;
    bytes += static_cast<char>(x >> 24);
  }
  enginetest::WriteFile(garbage, bytes);
  TVideoController c(events_.Poster(), nullptr);
  for (const std::string& bad : {garbage, dir.File("missing.mkv")}) {
    ASSERT_TRUE(c.Start(bad, false) || !c.LastError().empty());
    TVideoEvent e;
    ASSERT_TRUE(events_.WaitForAny({TVideoEventKind::Ended, TVideoEventKind::Failed}, 15000, &e)) << bad;
    EXPECT_EQ(e.Kind, TVideoEventKind::Failed) << bad << ": nothing was shown or heard, so it failed";
    c.Stop();
  }
  // A truncated file plays what it has and ends.
  const std::string cut = videotest::TruncatedMkv();
  ASSERT_FALSE(cut.empty());
  ASSERT_TRUE(c.Start(cut, false));
  TVideoEvent e;
  ASSERT_TRUE(events_.WaitForAny({TVideoEventKind::Ended, TVideoEventKind::Failed}, 20000, &e));
  c.Stop();
}

TEST_F(VideoControllerTest, SnapshotIsTheShownPictureAndBrightnessMovesItsMean) {
  TVideoController c(events_.Poster(), nullptr);
  ASSERT_TRUE(c.Start(file_, false));
  ASSERT_TRUE(events_.WaitFor(TVideoEventKind::Playing, 10000));
  c.SeekMs(5000);
  ASSERT_TRUE(WaitUntil([&] { return c.TimeMs() >= 5050; }, 5000));
  // Slowly, so second 5 lasts long enough to be caught on a busy machine.
  c.SetRate(0.25);
  video::TVideoFrame shown;
  ASSERT_TRUE(PictureOfSecond(c, 5, shown)) << "not a picture of second 5: " << videotest::ChannelMean(shown, 16);

  ScratchDir dir;
  const std::string name = video::SnapshotFileName(dir.Path() + "/", "small.mkv", video::ElapsedText(5000));
  EXPECT_EQ(name, dir.Path() + "/Snapshot - small.mkv - 0-00-05.bmp");
  ASSERT_TRUE(video::SaveBitmap24(shown, name));
  video::TVideoFrame saved, reference;
  ASSERT_TRUE(video::LoadBitmap24(name, saved));
  EXPECT_EQ(saved.Width, 320);
  EXPECT_EQ(saved.Height, 240);
  EXPECT_TRUE(saved.Pixels == shown.Pixels) << "the file holds another picture";
  ASSERT_TRUE(videotest::FFmpegFrame(file_, 5.5, reference));
  const double diff = videotest::MeanAbsDiff(saved, reference);
  EXPECT_GE(diff, 0);
  EXPECT_LT(diff, 4.0) << "the snapshot differs from FFmpeg's picture at that time: " << videotest::ChannelMean(saved, 16) << " "
                       << videotest::ChannelMean(reference, 16) << " " << videotest::ChannelMean(saved, 8) << " "
                       << videotest::ChannelMean(reference, 8) << " " << videotest::ChannelMean(saved, 0) << " "
                       << videotest::ChannelMean(reference, 0) << " px " << std::hex << saved.Pixels[1000] << " " << reference.Pixels[1000];

  const double before = videotest::ChannelMean(shown, 8);
  c.SetAdjust(1.0f, 1.6f, 0.0f, 1.0f);
  video::TVideoFrame brighter;
  ASSERT_TRUE(NextFrame(c, brighter));
  ASSERT_TRUE(NextFrame(c, brighter));
  EXPECT_GT(videotest::ChannelMean(brighter, 8), before + 10);
}

// The sound of a video through the engine's output, captured: the first audio
// track at the volume set, one side only with the balance at an end, nothing when muted.
TEST(VideoSound, TheFirstTrackIsHeardAtTheVolumeAndBalanceSet) {
  const std::string file = videotest::SmallMkv();
  ASSERT_FALSE(file.empty());
  CapturedVideo video;
  ASSERT_TRUE(video.Start(file));
  const std::string& wav = video.wav;
  std::unique_ptr<engine::TZOZUZivade>& engine = video.engine;
  TVideoController& c = *video.c;
  // Gains apply when the library's mixer takes the samples, so each change is marked by
  // the count of frames taken so far, which places it exactly in the capture.
  std::this_thread::sleep_for(2500ms);
  c.SetBalance(100);
  const uint64_t balanceAt = c.Audio()->FramesPlayed();
  std::this_thread::sleep_for(2500ms);
  c.SetVolume(0);
  const uint64_t muteAt = c.Audio()->FramesPlayed();
  std::this_thread::sleep_for(2500ms);
  const uint64_t endAt = c.Audio()->FramesPlayed();
  // The mixer takes frames ahead of the device: let the last ones be heard.
  std::this_thread::sleep_for(1000ms);
  ASSERT_GT(balanceAt, 48000u) << "stream " << c.Audio()->Stream() << " written " << c.Audio()->FramesWritten();
  ASSERT_GT(muteAt, balanceAt + 48000);
  ASSERT_GT(endAt, muteAt + 48000);
  c.Stop();
  engine.reset();  // closes the capture file

  int channels = 0, rate = 0;
  std::vector<int16_t> s = enginetest::ReadWav16(wav, &channels, &rate);
  ASSERT_EQ(channels, 2);
  size_t first = 0;
  while (first < s.size() && s[first] == 0) ++first;
  ASSERT_LT(first, s.size()) << "nothing was heard";
  const double start = static_cast<double>(first / channels) / rate;  // seconds into the capture
  auto at = [&](uint64_t frames) { return start + static_cast<double>(frames) / 48000.0; };
  auto window = [&](double from, double to, int ch, double hz) {
    const size_t a = static_cast<size_t>(from * rate), b = static_cast<size_t>(to * rate);
    if (b * channels > s.size() || b <= a) return -1.0;
    return videotest::ToneLevel(&s[a * channels], b - a, channels, ch, hz, rate);
  };
  const double balanceT = at(balanceAt), muteT = at(muteAt), endT = at(endAt);
  // A second before each change (a margin for the frames taken in one go).
  const double both440L = window(balanceT - 1.1, balanceT - 0.1, 0, 440);
  const double both440R = window(balanceT - 1.1, balanceT - 0.1, 1, 440);
  const double both880 = window(balanceT - 1.1, balanceT - 0.1, 0, 880);
  EXPECT_GT(both440L, 1000) << "the 440 Hz track is not heard";
  EXPECT_NEAR(both440R, both440L, both440L * 0.05);
  EXPECT_LT(both880, both440L / 100) << "the second track is heard";
  // Volume 255 x 39 = 9945: 10^((round(ln 9946 x 1085.73) - 10000) / 2000) of full scale.
  const double gain = video::GraphVolumeGain(9945);
  // ffmpeg's sine source has an amplitude of 1/8; the tone level of amplitude A reads A / 2.
  EXPECT_NEAR(both440L / (32767.0 / 8 * gain / 2.0), 1.0, 0.1);
  const double rightOnlyL = window(muteT - 1.1, muteT - 0.1, 0, 440);
  const double rightOnlyR = window(muteT - 1.1, muteT - 0.1, 1, 440);
  EXPECT_LT(rightOnlyL, both440L / 1000);
  EXPECT_NEAR(rightOnlyR, both440R, both440R * 0.05);
  const double muted = window(endT - 1.1, endT - 0.1, 1, 440);
  EXPECT_GE(muted, 0);
  EXPECT_LT(muted, 1.0) << "heard while muted";
}

}  // namespace

namespace {

// A seek stops the old sound at once: what the library had buffered from before the
// seek (half a second) is dropped, not played after it.
TEST(VideoSound, ASeekDropsTheSoundBufferedBeforeIt) {
  // The first 6 s tell their own time: 400 + 100 k Hz in the k-th tenth of a second; from
  // 6 s on 200 Hz. A seek from about second 1.5 to second 8 must not be followed by the
  // tones of the half second after the point where the sound was flushed.
  const std::string file = SteppedTonesVideo();
  ASSERT_FALSE(file.empty());
  CapturedVideo video;
  ASSERT_TRUE(video.Start(file));
  const std::string& wav = video.wav;
  std::unique_ptr<engine::TZOZUZivade>& engine = video.engine;
  TVideoController& c = *video.c;
  std::this_thread::sleep_for(1500ms);
  ASSERT_NE(c.Audio()->Stream(), 0u);
  c.SeekMs(8000);
  std::this_thread::sleep_for(2000ms);
  // Frames heard when libVLC flushed the sound for the seek: the media's own time, as the
  // sound is PCM from its first sample and the stream moves only with sound.
  const int64_t flushed = c.Audio()->HeardAtFlush();
  ASSERT_GT(flushed, 24000) << "no flush after the seek, or too little heard before it";
  c.Stop();
  engine.reset();

  int channels = 0, rate = 0;
  std::vector<int16_t> s = enginetest::ReadWav16(wav, &channels, &rate);
  ASSERT_EQ(channels, 2);
  // The latest tenth of a second whose tone was heard, over 25 ms windows.
  const size_t win = static_cast<size_t>(rate) / 40;
  int latest = -1;
  double strongest = 0;
  for (int k = 0; k < 60; ++k) {
    double best = 0;
    for (size_t at = 0; (at + win) * channels <= s.size(); at += win / 2)
      best = std::max(best, videotest::ToneLevel(&s[at * channels], win, channels, 0, 400 + 100 * k, rate));
    strongest = std::max(strongest, best);
    if (best > 500) latest = k;
  }
  ASSERT_GT(strongest, 1000) << "the tones are not heard";
  const double flushedMs = flushed * 1000.0 / 48000.0;
  // The tenth playing at the flush may finish, and what the output had already queued (one or
  // two periods, longer on a loaded machine) is still heard; the library's half second would
  // reach five tenths further.
  EXPECT_LE(latest, static_cast<int>(flushedMs / 100) + 2)
      << "tones of " << latest * 100 << " ms were heard, the sound was flushed at " << flushedMs << " ms";
  bool after = false;
  for (size_t at = 0; (at + win) * channels <= s.size() && !after; at += win / 2)
    after = videotest::ToneLevel(&s[at * channels], win, channels, 0, 200, rate) > 500;
  EXPECT_TRUE(after) << "the sound after the seek is not heard";
}

}  // namespace

namespace {

// libVLC dates the first sound about 10 ms after handing it over, while a starting stream is
// heard only after the output's queue (150 ms on the capture output): that part cannot be heard
// at its time and is left out, so the sound starts later in the media, with the picture. What is
// heard first is the media's sound at the frame the player says it left out up to.
TEST(VideoSound, TheSoundStartsAtTheMediaTimeOfItsPicture) {
  const std::string file = SteppedTonesVideo();
  ASSERT_FALSE(file.empty());
  CapturedVideo video;
  ASSERT_TRUE(video.Start(file));
  const std::string& wav = video.wav;
  std::unique_ptr<engine::TZOZUZivade>& engine = video.engine;
  TVideoController& c = *video.c;
  std::this_thread::sleep_for(1500ms);
  ASSERT_NE(c.Audio()->Stream(), 0u);
  const int64_t skew = c.Audio()->SkewFrames();
  c.Stop();
  engine.reset();

  // Usually the start comes too late for the output's queue and some of it is left out (a positive
  // skew); on a loaded machine the first block can come early instead and be preceded by silence
  // (a negative one). Either way what is heard first must be where the player says it placed it.
  int channels = 0, rate = 0;
  std::vector<int16_t> s = enginetest::ReadWav16(wav, &channels, &rate);
  ASSERT_EQ(channels, 2);
  const size_t win = static_cast<size_t>(rate) / 40;
  // The first window that is all sound (one step past the first that holds some), and its tenth.
  int first = -1;
  bool some = false;
  for (size_t at = 0; (at + win) * channels <= s.size() && first < 0; at += win / 2) {
    int best = -1;
    double level = 0;
    for (int k = 0; k < 60; ++k) {
      const double l = videotest::ToneLevel(&s[at * channels], win, channels, 0, 400 + 100 * k, rate);
      if (l > level) {
        level = l;
        best = k;
      }
    }
    if (level > 500 && some) first = best;
    if (level > 500) some = true;
  }
  ASSERT_GE(first, 0) << "the tones are not heard";
  const int expected = skew > 0 ? static_cast<int>(skew / 4800) : 0;
  EXPECT_NEAR(first, expected, 1) << "heard first the tenth " << first << ", the player left out " << skew
                                  << " frames (" << skew / 48.0 << " ms)";
}

}  // namespace

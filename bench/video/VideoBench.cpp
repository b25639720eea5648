// Video benchmarks (plain program; measures, never passes or fails):
//   video_bench first-frame FILE [RUNS]   StartPlayback to the first picture: our controller
//                                         against a bare libVLC program with the same callbacks,
//                                         alternating, in the same run
//   video_bench play-ours FILE            plays FILE through our controller (sound through the
//                                         audio library's silent output) until it ends
//   video_bench play-bare FILE            the same with bare libVLC and the same callbacks
//   video_bench sync FILE                 picture against sound through our controller: FILE
//                                         flashes white and beeps at each whole second; at
//                                         each flash shown, the sound being heard (the audio
//                                         library's heard position) is compared with it;
//                                         straight, after a pause and resume, after a seek
// bench/video/video_bench.sh runs them and `cvlc --vout=dummy` for the CPU comparison.
#include <vlc/vlc.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/Dynamic_Bass.h"
#include "video/VideoController.h"

namespace {

using Clock = std::chrono::steady_clock;

// The bare program: libVLC with RV32 video callbacks that keep the last picture and
// 16-bit audio callbacks that take the samples, as ours do, without anything else.
struct Bare {
  std::vector<uint32_t> buf, front;
  std::mutex m;
  std::atomic<bool> shown{false}, ended{false};
  unsigned w = 0, h = 0;
  static unsigned Setup(void** o, char* c, unsigned* w, unsigned* h, unsigned* p, unsigned* l) {
    auto* b = static_cast<Bare*>(*o);
    std::memcpy(c, "RV32", 4);
    b->w = *w;
    b->h = *h;
    b->buf.assign(static_cast<size_t>(*w) * *h, 0);
    p[0] = *w * 4;
    l[0] = *h;
    return 1;
  }
  static void* Lock(void* o, void** planes) {
    planes[0] = static_cast<Bare*>(o)->buf.data();
    return nullptr;
  }
  static void Display(void* o, void*) {
    auto* b = static_cast<Bare*>(o);
    {
      std::lock_guard<std::mutex> lock(b->m);
      b->front = b->buf;
    }
    b->shown = true;
  }
  static int ASetup(void**, char* f, unsigned*, unsigned* c) {
    std::memcpy(f, "S16N", 4);
    if (*c > 2) *c = 2;
    return 0;
  }
  static void APlay(void*, const void*, unsigned, int64_t) {}
  static void OnEnd(const libvlc_event_t*, void* o) { static_cast<Bare*>(o)->ended = true; }
};

libvlc_instance_t* BareInstance() {
  static libvlc_instance_t* inst = [] {
    const char* const args[] = {"--quiet", "--intf=dummy", "--aout=adummy", "--no-video-title-show", "--no-xlib",
                                "--no-osd"};
    return libvlc_new(6, args);
  }();
  return inst;
}

double BareFirstFrame(const std::string& file, bool playToEnd) {
  Bare b;
  libvlc_media_t* m = libvlc_media_new_path(BareInstance(), file.c_str());
  libvlc_media_player_t* mp = libvlc_media_player_new_from_media(m);
  libvlc_media_release(m);
  libvlc_video_set_callbacks(mp, &Bare::Lock, nullptr, &Bare::Display, &b);
  libvlc_video_set_format_callbacks(mp, &Bare::Setup, nullptr);
  libvlc_audio_set_callbacks(mp, &Bare::APlay, nullptr, nullptr, nullptr, nullptr, &b);
  libvlc_audio_set_format_callbacks(mp, &Bare::ASetup, nullptr);
  libvlc_event_attach(libvlc_media_player_event_manager(mp), libvlc_MediaPlayerEndReached, &Bare::OnEnd, &b);
  const auto t0 = Clock::now();
  libvlc_media_player_play(mp);
  while (!b.shown && Clock::now() - t0 < std::chrono::seconds(20)) std::this_thread::sleep_for(std::chrono::microseconds(200));
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  while (playToEnd && !b.ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  libvlc_media_player_stop(mp);
  libvlc_media_player_release(mp);
  return ms;
}

// Our controller, made once and reused as the main window does (libVLC starts with the first video).
struct Ours {
  engine::TBassCore bass;
  bool withSound = false;
  std::mutex m;
  std::condition_variable cv;
  bool shown = false, ended = false;
  std::unique_ptr<video::TVideoController> c;
  Ours() {
    const char* stage = std::getenv("ORVELLA_STAGE");
    const std::string lib = std::string(stage ? stage : ORVELLA_STAGE_DIR) + "/bass.so";
    ::setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
    withSound = bass.Load(lib) && bass.BASS_Init(1, 44100, 0, nullptr, nullptr);
    if (!withSound) std::fprintf(stderr, "(our audio library did not start: %s; measuring without sound)\n", lib.c_str());
    c = std::make_unique<video::TVideoController>(
        [this](const video::TVideoEvent& e) {
          std::lock_guard<std::mutex> lock(m);
          if (e.Media != c->Media()) return;
          if (e.Kind == video::TVideoEventKind::FrameReady) shown = true;
          if (e.Kind == video::TVideoEventKind::Ended || e.Kind == video::TVideoEventKind::Failed) ended = true;
          cv.notify_all();
        },
        withSound ? &bass : nullptr);
    c->SetVolume(9945);
  }
  double Run(const std::string& file, bool playToEnd) {
    {
      std::lock_guard<std::mutex> lock(m);
      shown = ended = false;
    }
    const auto t0 = Clock::now();
    c->Start(file, false);
    std::unique_lock<std::mutex> lock(m);
    cv.wait_for(lock, std::chrono::seconds(20), [&] { return shown; });
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (playToEnd) cv.wait(lock, [&] { return ended; });
    lock.unlock();
    c->Stop();
    return ms;
  }
};

// Where the beeps start in the stream, in stream frames: a tap on the stream sees every frame it
// produces, in order, whatever the media position (seeks included).
struct BeepTap {
  std::mutex m;
  std::vector<uint64_t> onsets;
  uint64_t frames = 0, quietSince = 0;
  static void CALLBACK Proc(HDSP, DWORD, void* buffer, DWORD length, void* user) {
    auto* t = static_cast<BeepTap*>(user);
    const float* s = static_cast<const float*>(buffer);
    std::lock_guard<std::mutex> lock(t->m);
    for (DWORD i = 0; i < length / (2 * sizeof(float)); ++i, ++t->frames) {
      if (std::fabs(s[2 * i]) > 0.05f) {
        if (t->frames - t->quietSince > 4800) t->onsets.push_back(t->frames);
        t->quietSince = t->frames;
      }
    }
  }
  // Frames from "heard" to the nearest beep start (positive: not heard yet); false when none near.
  bool Nearest(uint64_t heard, double& frames) {
    std::lock_guard<std::mutex> lock(m);
    bool found = false;
    for (uint64_t o : onsets) {
      const double d = static_cast<double>(o) - static_cast<double>(heard);
      if (std::fabs(d) < 24000 && (!found || std::fabs(d) < std::fabs(frames))) {
        frames = d;
        found = true;
      }
    }
    return found;
  }
};

// Picture against sound: for each white flash shown (at a whole second of the media), the
// media time of the sound heard at that moment. Positive: the picture is ahead of the sound.
int Sync(const std::string& file) {
  engine::TBassCore bass;
  const char* stage = std::getenv("ORVELLA_STAGE");
  const std::string lib = std::string(stage ? stage : ORVELLA_STAGE_DIR) + "/bass.so";
  ::setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
  if (!bass.Load(lib) || !bass.BASS_Init(1, 44100, 0, nullptr, nullptr)) {
    std::fprintf(stderr, "our audio library did not start: %s\n", lib.c_str());
    return 1;
  }
  std::mutex m;
  std::condition_variable cv;
  bool ended = false;
  bool white = false;  // the last picture looked at was a flash
  // Flashes of each stretch: straight from the start, after a pause and resume, after a seek.
  int phase = 0;
  BeepTap tap;
  HSTREAM tapped = 0;
  std::vector<double> offsets[3];
  std::unique_ptr<video::TVideoController> c;
  c = std::make_unique<video::TVideoController>(
      [&](const video::TVideoEvent& e) {
        if (e.Kind == video::TVideoEventKind::Ended || e.Kind == video::TVideoEventKind::Failed) {
          std::lock_guard<std::mutex> lock(m);
          ended = true;
          cv.notify_all();
          return;
        }
        if (e.Kind != video::TVideoEventKind::FrameReady) return;
        // Called on libVLC's output thread right after the picture was handed over.
        const HSTREAM stream = c->Audio() ? c->Audio()->Stream() : 0;
        const QWORD heardBytes = stream ? bass.BASS_ChannelGetPosition(stream, BASS_POS_BYTE) : 0;
        video::TVideoFrame f;
        c->FrameTaken();
        if (!c->CopyFrame(f) || f.Pixels.empty()) return;
        uint64_t sum = 0;
        for (size_t i = 0; i < f.Pixels.size(); i += 97) sum += f.Pixels[i] & 0xff;
        const bool flash = sum / ((f.Pixels.size() + 96) / 97) > 200;
        std::lock_guard<std::mutex> lock(m);
        if (stream && stream != tapped) {
          tapped = stream;
          bass.BASS_ChannelSetDSP(stream, &BeepTap::Proc, &tap, 0);
        }
        // (Nothing heard yet: the first flash comes before the sound has started.)
        double beepIn = 0;
        if (flash && !white && stream && heardBytes != QWORD(-1) && heardBytes > 0 &&
            tap.Nearest(heardBytes / (2 * sizeof(float)), beepIn))
          offsets[phase].push_back(beepIn * 1000.0 / 48000.0);
        white = flash;
      },
      &bass);
  c->SetVolume(9945);
  if (!c->Start(file, false)) return 1;
  // Six seconds straight, a one-second pause, five seconds more, then a seek to 13.5 s.
  auto runFor = [&](std::chrono::milliseconds d) {
    std::unique_lock<std::mutex> lock(m);
    return !cv.wait_for(lock, d, [&] { return ended; });
  };
  if (runFor(std::chrono::milliseconds(6300))) {
    c->Pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    {
      std::lock_guard<std::mutex> lock(m);
      phase = 1;
    }
    c->Run();
    if (runFor(std::chrono::milliseconds(5000))) {
      {
        std::lock_guard<std::mutex> lock(m);
        phase = 2;
      }
      c->SeekMs(13500);
    }
  }
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait_for(lock, std::chrono::seconds(120), [&] { return ended; });
  }
  c->Stop();
  const char* names[3] = {"from the start", "after pause and resume", "after a seek"};
  bool any = false;
  for (int p = 0; p < 3; ++p) {
    if (offsets[p].empty()) continue;
    any = true;
    std::vector<double> sorted = offsets[p];
    std::sort(sorted.begin(), sorted.end());
    std::printf("picture ahead of sound %s, %zu flashes: median %+.1f ms, min %+.1f, max %+.1f\n", names[p],
                sorted.size(), sorted[sorted.size() / 2], sorted.front(), sorted.back());
  }
  if (!any) {
    std::printf("sync: no flash seen\n");
    return 1;
  }
  std::printf("(samples handed to the library %.1f ms ahead; media frames left out of the stream: %lld)\n",
              c->Audio() ? c->Audio()->LatencyUs() / 1000.0 : 0.0,
              c->Audio() ? static_cast<long long>(c->Audio()->SkewFrames()) : 0LL);
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "Usage: video_bench first-frame|play-ours|play-bare FILE [RUNS]\n");
    return 2;
  }
  const std::string cmd = argv[1], file = argv[2];
  if (cmd == "play-bare") {
    BareFirstFrame(file, true);
    return 0;
  }
  if (cmd == "sync") return Sync(file);
  Ours ours;
  if (cmd == "play-ours") {
    ours.Run(file, true);
    return 0;
  }
  const int runs = argc > 3 ? std::atoi(argv[3]) : 7;
  // Warm both (libVLC's plug-in cache, the file in the page cache) before timing.
  BareFirstFrame(file, false);
  ours.Run(file, false);
  std::vector<double> a, b;
  for (int i = 0; i < runs; ++i) {
    a.push_back(ours.Run(file, false));
    b.push_back(BareFirstFrame(file, false));
  }
  std::printf("first picture, median of %d: ours %.1f ms, bare libVLC %.1f ms, difference %+.1f ms\n", runs,
              Median(a), Median(b), Median(a) - Median(b));
  return 0;
}

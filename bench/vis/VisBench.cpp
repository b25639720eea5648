// Visualisation benchmarks (plain program; `make bench` runs it):
// - the data thread's CPU per frame and per second at 25, 60 and 100 frames a second;
// - the delay from a tone's onset being heard to the first Render that shows it.
// Real-time playback on the silent output. Usage: bench_vis [seconds per rate]
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/VisDataThread.h"
#include "engine/ZOZUZivade.h"
#include "platform/Messages.h"
#include "platform/Paths.h"

namespace {

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void PumpFor(int ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) platform::PumpAndSleep(1);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
  const std::string probe = VIS_PROBE_PATH;
  platform::SetProgramFolder(ORVELLA_STAGE_DIR);
  setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
  char dirTemplate[] = "/tmp/orvella_vis_bench_XXXXXX";
  std::string dir = mkdtemp(dirTemplate);
  std::string tone = dir + "/tone.wav", onset = dir + "/onset.wav";
  std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=1000:duration=" +
                    std::to_string(seconds + 3) + " -ac 2 -c:a pcm_s16le " + tone +
                    " && ffmpeg -nostdin -v error -y -f lavfi -t 3 -i anullsrc=r=44100:cl=stereo -f lavfi -t 3 -i "
                    "sine=frequency=1000:sample_rate=44100 -filter_complex concat=n=2:v=0:a=1 -ac 2 -c:a pcm_s16le " +
                    onset;
  if (std::system(cmd.c_str()) != 0) return 1;
  void* keep = dlopen(probe.c_str(), RTLD_NOW);
  auto firstTone = reinterpret_cast<long long (*)()>(dlsym(keep, "probe_first_tone_ns"));
  auto reset = reinterpret_cast<void (*)()>(dlsym(keep, "probe_reset"));
  auto renders = reinterpret_cast<int (*)()>(dlsym(keep, "probe_renders"));
  if (!keep || !firstTone || !reset || !renders) return 1;

  engine::TZOZUZivade eng;
  const int fps[3] = {25, 60, 100};
  for (int m = 0; m < 3; ++m) {
    eng.Open(tone);
    eng.Play();
    eng.RunVisPlugin(probe, m);
    PumpFor(1500);  // the module starts and the data thread resumes
    uint64_t f0 = eng.VisData()->FramesProduced(), c0 = eng.VisData()->FrameCpuNs();
    int r0 = renders();
    PumpFor(seconds * 1000);
    uint64_t frames = eng.VisData()->FramesProduced() - f0, cpu = eng.VisData()->FrameCpuNs() - c0;
    std::printf("data thread at %3d fps asked: %5.1f frames/s produced, %5.1f renders/s, %.3f ms CPU per frame, "
                "%.2f ms CPU per second\n",
                fps[m], double(frames) / seconds, double(renders() - r0) / seconds,
                frames ? double(cpu) / double(frames) / 1e6 : 0.0, double(cpu) / seconds / 1e6);
    eng.QuitVisPlugin();
    eng.Close();
  }

  // Onset: 3 s of silence, then the tone. Heard when the position passes 3000 ms.
  for (int m = 0; m < 3; ++m) {
    reset();
    eng.Open(onset);
    eng.Play();
    eng.RunVisPlugin(probe, m);
    long long heard = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    while (std::chrono::steady_clock::now() < until && (!heard || !firstTone())) {
      if (!heard && eng.GetPosition() >= 3000) heard = NowNs();
      platform::PumpAndSleep(1);
    }
    long long shown = firstTone();
    if (heard && shown)
      std::printf("onset at %3d fps: first Render showing the tone %.1f ms after it was heard (period %d ms)\n", fps[m],
                  double(shown - heard) / 1e6, 1000 / fps[m]);
    else
      std::printf("onset at %3d fps: not measured\n", fps[m]);
    eng.QuitVisPlugin();
    eng.Close();
  }
  std::system(("rm -rf " + dir).c_str());
  return 0;
}

// Measures the audio library: decoding through the whole path to the fast capture output against
// FFmpeg's own decode (`ffmpeg -f null`), and the CPU time of real-time playback per minute of audio.
// Usage: bass_bench [minutes of test audio, default 10] [seconds of real-time playback, default 20]
#include "bass.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

double Cpu(int who) {
  rusage r{};
  getrusage(who, &r);
  return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool Sh(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

struct Times {
  double cpu, wall;
};

Times FfmpegNull(const std::string& file) {
  double c0 = Cpu(RUSAGE_CHILDREN), w0 = Now();
  Sh("ffmpeg -nostdin -v quiet -threads 1 -i \"" + file + "\" -f null -");
  return {Cpu(RUSAGE_CHILDREN) - c0, Now() - w0};
}

Times OurPath(const std::string& file, const std::string& capture) {
  setenv("ORVELLA_BASS_CAPTURE", capture.c_str(), 1);
  setenv("ORVELLA_BASS_CAPTURE_FAST", "1", 1);
  double c0 = Cpu(RUSAGE_SELF), w0 = Now();
  if (!BASS_Init(1, 44100, 0, nullptr, nullptr)) return {-1, -1};
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  if (h && BASS_ChannelPlay(h, FALSE))
    while (BASS_ChannelIsActive(h) != BASS_ACTIVE_STOPPED) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  BASS_Free();
  Times t{Cpu(RUSAGE_SELF) - c0, Now() - w0};
  unsetenv("ORVELLA_BASS_CAPTURE");
  unsetenv("ORVELLA_BASS_CAPTURE_FAST");
  return t;
}

double RealTimeCpuPerMinute(const std::string& file, double seconds, bool sdl) {
  if (sdl) {
    // SDL's disk driver paces like a sound card and writes to /dev/null: the SDL device path.
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  } else {
    setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
  }
  if (!BASS_Init(1, 44100, 0, nullptr, nullptr)) return -1;
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  double c0 = Cpu(RUSAGE_SELF);
  BASS_ChannelPlay(h, FALSE);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  double c = Cpu(RUSAGE_SELF) - c0;
  BASS_Free();
  unsetenv("ORVELLA_BASS_OUTPUT");
  unsetenv("SDL_AUDIODRIVER");
  unsetenv("SDL_DISKAUDIOFILE");
  return c * 60.0 / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  int minutes = argc > 1 ? std::atoi(argv[1]) : 10;
  double rtSeconds = argc > 2 ? std::atof(argv[2]) : 20;
  char tmpl[] = "/tmp/orvbass_bench_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string src = "aevalsrc=0.4*sin(2*PI*440*t)+0.2*sin(2*PI*1234*t+sin(t))|0.4*sin(2*PI*660*t):s=44100:d=" +
                    std::to_string(minutes * 60);
  std::string mp3 = dir + "/bench.mp3", ogg = dir + "/bench.ogg";
  std::printf("generating %d minutes of MP3 and Ogg...\n", minutes);
  if (!Sh("ffmpeg -nostdin -y -f lavfi -i \"" + src + "\" -c:a libmp3lame -b:a 192k " + mp3) ||
      !Sh("ffmpeg -nostdin -y -f lavfi -i \"" + src + "\" -c:a libvorbis -q:a 5 " + ogg)) {
    std::printf("ffmpeg failed\n");
    return 1;
  }
  for (const std::string& f : {mp3, ogg}) {
    Times ff = FfmpegNull(f);
    Times ours = OurPath(f, dir + "/capture.wav");
    Times toNull = OurPath(f, "/dev/null");
    std::printf("%s: ffmpeg -f null %.3f s CPU (%.3f s wall); our path to fast capture: into a WAV file %.3f s CPU "
                "(%.3f s wall, ratio %.2fx), into /dev/null %.3f s CPU (ratio %.2fx)\n",
                f.substr(f.size() - 3).c_str(), ff.cpu, ff.wall, ours.cpu, ours.wall, ours.cpu / ff.cpu, toNull.cpu,
                toNull.cpu / ff.cpu);
  }
  std::printf("real-time playback of MP3 (silent output, %.0f s): %.3f s CPU per minute of audio\n", rtSeconds,
              RealTimeCpuPerMinute(mp3, rtSeconds, false));
  std::printf("real-time playback of MP3 (SDL device path, disk driver, %.0f s): %.3f s CPU per minute of audio\n",
              rtSeconds, RealTimeCpuPerMinute(mp3, rtSeconds, true));
  Sh("rm -rf " + dir);
  return 0;
}

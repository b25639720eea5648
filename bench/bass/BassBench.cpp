// Measures the audio library: decoding through the whole path to the fast capture output against
// FFmpeg's own decode (`ffmpeg -f null`), the CPU time of real-time playback per minute of audio, and
// the resampler's cost per minute of output (alone, and as the difference a source rate makes on the
// whole path).
// Usage: bass_bench [minutes of test audio, default 10] [seconds of real-time playback, default 20]
#include "Core.h"
#include "Resampler.h"
#include "bass.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>
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

// CPU seconds the resampler alone takes for one minute of stereo output at 44.1 kHz, the step
// given by step(j) for output frame j (input: a tone, pushed as the mixer does).
double ResamplerCpuPerMinute(const std::function<double(size_t)>& step) {
  using orvbass::Resampler;
  Resampler rs;
  rs.Configure(2);
  rs.EnableStretchTable(step(0));  // as the library does for sources and speeds above the output rate
  const size_t outFrames = 44100 * 60;
  std::vector<int16_t> in(2 * 65536);
  for (size_t i = 0; i < in.size() / 2; ++i)
    in[2 * i] = in[2 * i + 1] = int16_t(12000 * std::sin(0.05 * double(i)));
  std::vector<float> out(Resampler::kChunk * 2);
  double steps[Resampler::kChunk];
  size_t made = 0, fed = 0;
  float sink = 0;
  double c0 = Cpu(RUSAGE_SELF);
  while (made < outFrames) {
    double sum = 0, most = 0;
    for (uint32_t j = 0; j < Resampler::kChunk; ++j) {
      steps[j] = step(made + j);
      sum += steps[j];
      most = std::max(most, steps[j]);
    }
    size_t need = size_t(std::ceil(rs.Fraction() + sum)) + Resampler::Reach(most) + 1;
    while (rs.Ahead() < need) {
      size_t at = fed % (in.size() / 2 - 8192);
      size_t n = rs.Push(orvbass::SampleFmt::S16, in.data() + 2 * at, std::min<size_t>(need - rs.Ahead(), 8192));
      fed += n;
      if (n == 0) break;
    }
    uint32_t n = rs.Run(out.data(), Resampler::kChunk, steps, false);
    rs.TakeAdvance();
    sink += out[0];
    made += n;
    if (n == 0) break;
  }
  double c = Cpu(RUSAGE_SELF) - c0;
  if (sink == 12345.0f) std::printf(" ");  // keeps the output alive
  return made >= outFrames ? c : -1;
}

// A stereo 16-bit WAV of "seconds" at "rate" (two tones).
std::string MakeWav(const std::string& dir, int rate, int seconds) {
  std::string path = dir + "/tones" + std::to_string(rate) + ".wav";
  std::string src = "aevalsrc=0.4*sin(2*PI*440*t)+0.1*sin(2*PI*1234*t)|0.4*sin(2*PI*660*t):s=" +
                    std::to_string(rate) + ":d=" + std::to_string(seconds);
  return Sh("ffmpeg -nostdin -y -f lavfi -i \"" + src + "\" -c:a pcm_s16le " + path) ? path : "";
}

void ResamplerFigures(const std::string& dir) {
  std::printf("resampler alone, stereo, CPU seconds per minute of 44.1 kHz output:\n");
  struct Case {
    const char* name;
    std::function<double(size_t)> step;
  } cases[] = {
      {"8 kHz source", [](size_t) { return 8000.0 / 44100; }},
      {"22.05 kHz source", [](size_t) { return 0.5; }},
      {"44.1 kHz at speed 0.9 (fractional position)", [](size_t) { return 0.9; }},
      {"48 kHz source (stretched kernel, table)", [](size_t) { return 48000.0 / 44100; }},
      {"44.1 kHz at speed 1.5", [](size_t) { return 1.5; }},
      {"96 kHz source (stretched kernel, table)", [](size_t) { return 96000.0 / 44100; }},
      {"192 kHz source (stretched kernel, table)", [](size_t) { return 192000.0 / 44100; }},
      {"384 kHz source (stretch limit, table)", [](size_t) { return 384000.0 / 44100; }},
      {"speed sliding 0.5..1.5 every 10 s (tap by tap above 1)", [](size_t j) { return 1.0 - 0.5 * std::cos(2 * M_PI * double(j) / 441000); }},
  };
  for (auto& c : cases) std::printf("  %-46s %.3f s\n", c.name, ResamplerCpuPerMinute(c.step));
  // The whole path to the fast capture output (into /dev/null): a 44.1 kHz source passes through, the
  // others are resampled; the difference is what resampling costs there.
  const int seconds = 60;
  std::string ref = MakeWav(dir, 44100, seconds);
  double base = OurPath(ref, "/dev/null").cpu;
  std::printf("whole path, one minute of stereo WAV into the fast capture (/dev/null): 44.1 kHz %.3f s CPU\n", base);
  for (int rate : {8000, 22050, 48000}) {
    std::string f = MakeWav(dir, rate, seconds);
    double t = OurPath(f, "/dev/null").cpu;
    std::printf("  %d Hz source %.3f s CPU (%+.3f s against pass-through)\n", rate, t, t - base);
  }
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
  ResamplerFigures(dir);
  Sh("rm -rf " + dir);
  return 0;
}

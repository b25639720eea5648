// Network stream benchmark (plain program; run by `make bench`). Serves a generated MP3 from a
// server thread on 127.0.0.1 and measures: open to first decoded sample (bursting and real-time
// paced server, with ffmpeg opening the same address as the reference), how long other API calls
// wait while an open hangs on a silent server, freeing a stalled stream, CPU per minute of a live
// stream against the same file read locally, and resident memory over a long live stream.
#include "../../tests/bass_net/TestServer.h"
#include "bass.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long RssKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Opens "url" as a decoding stream and reads until the first bytes of sound; -1 on failure.
double OpenToFirstSample(const std::string& url) {
  auto t0 = Clock::now();
  DWORD h = BASS_StreamCreateURL(url.c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
  if (!h) return -1;
  char buf[4096];
  double ms = -1;
  for (int i = 0; i < 20000; ++i) {
    DWORD n = BASS_ChannelGetData(h, buf, sizeof buf);
    if (n == DWORD(-1)) break;
    if (n > 0) {
      ms = Ms(t0, Clock::now());
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  BASS_StreamFree(h);
  return ms;
}

double FfmpegFirstSample(const std::string& url) {
  auto t0 = Clock::now();
  std::string cmd = "ffmpeg -nostdin -v quiet -i '" + url + "' -frames:a 1 -f null - >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return -1;
  return Ms(t0, Clock::now());
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/orvnetbench_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string mp3 = dir + "/b.mp3";
  std::string cmd = "ffmpeg -nostdin -y -v quiet -f lavfi -i 'sine=frequency=440:duration=60:sample_rate=44100' -ac 2 "
                    "-c:a libmp3lame -b:a 128k -write_xing 0 '" + mp3 + "'";
  if (std::system(cmd.c_str()) != 0) return 1;
  std::ifstream in(mp3, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  setenv("ORVELLA_BASS_OUTPUT", "silent", 1);
  if (!BASS_Init(1, 44100, 0, nullptr, nullptr)) return 1;
  BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 2000);

  // Bursting: the whole body at once. Paced: 128 kbit/s in 100 ms steps after a 1 s burst, as
  // broadcast servers send. "loop" sends the file over and over (a long live stream).
  nt::TestServer server([&](nt::Conn& c) {
    std::string path = c.Path();
    if (path == "/silent") {
      c.Sleep(60000);
      return;
    }
    if (!c.Send("ICY 200 OK\r\nicy-br: 128\r\ncontent-type: audio/mpeg\r\n\r\n")) return;
    if (path == "/burst") {
      c.Send(file.data(), file.size());
    } else if (path == "/paced") {
      size_t p = std::min<size_t>(16000, file.size());
      if (!c.Send(file.data(), p)) return;
      for (; p < file.size(); p += 1600) {
        if (!c.Sleep(100) || !c.Send(file.data() + p, std::min<size_t>(1600, file.size() - p))) return;
      }
    } else if (path == "/stall") {
      c.Send(file.data(), 32000);
      c.Sleep(60000);
    } else if (path == "/loop") {
      for (;;)
        if (!c.Send(file.data(), file.size())) return;
    }
  });

  std::printf("Network stream benchmark (%d CPUs online; local server on 127.0.0.1)\n", int(sysconf(_SC_NPROCESSORS_ONLN)));
  for (const char* path : {"/burst", "/paced"}) {
    std::vector<double> ours, ff;
    for (int i = 0; i < 7; ++i) {
      ours.push_back(OpenToFirstSample(server.Url(path)));
      ff.push_back(FfmpegFirstSample(server.Url(path)));
    }
    std::printf("open to first sample, %-6s server: ours %.1f ms, ffmpeg process (start to first frame decoded) %.1f ms "
                "(medians of 7)\n", path + 1, Median(ours), Median(ff));
  }

  // Another thread keeps calling the library while an open waits on a server that never answers.
  {
    DWORD other = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, STREAMPROC_PUSH, nullptr);
    std::atomic<bool> done{false};
    double worst = 0;
    std::thread t([&] {
      while (!done) {
        auto a = Clock::now();
        BASS_ChannelIsActive(other);
        BASS_GetConfig(BASS_CONFIG_NET_TIMEOUT);
        BASS_ChannelGetPosition(other, BASS_POS_BYTE);
        worst = std::max(worst, Ms(a, Clock::now()));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    auto a = Clock::now();
    DWORD h = BASS_StreamCreateURL(server.Url("/silent").c_str(), 0, 0, nullptr, nullptr);
    double openMs = Ms(a, Clock::now());
    done = true;
    t.join();
    std::printf("open against a silent server: fails after %.0f ms (timeout 2000, handle %u); longest API call on "
                "another thread meanwhile %.2f ms\n", openMs, h, worst);
    BASS_StreamFree(other);
  }

  // Freeing a stalled stream.
  {
    std::vector<double> t;
    for (int i = 0; i < 5; ++i) {
      DWORD h = BASS_StreamCreateURL(server.Url("/stall").c_str(), 0, 0, nullptr, nullptr);
      if (!h) continue;
      BASS_ChannelPlay(h, FALSE);
      for (int k = 0; k < 800 && BASS_ChannelIsActive(h) != BASS_ACTIVE_STALLED; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      auto a = Clock::now();
      BASS_StreamFree(h);
      t.push_back(Ms(a, Clock::now()));
    }
    std::printf("BASS_StreamFree of a stalled stream: median %.2f ms, worst %.2f ms (%zu runs)\n", Median(t),
                t.empty() ? 0 : *std::max_element(t.begin(), t.end()), t.size());
  }

  // CPU per minute of sound while playing in real time (silent output): a live stream from the
  // server against the same file read locally. The server thread's sending counts for the network.
  {
    const int seconds = 15;
    auto playFor = [&](DWORD h) {
      double c0 = CpuSeconds();
      BASS_ChannelPlay(h, FALSE);
      std::this_thread::sleep_for(std::chrono::seconds(seconds));
      double c1 = CpuSeconds();
      BASS_StreamFree(h);
      return (c1 - c0) * 60.0 / seconds;
    };
    double file = playFor(BASS_StreamCreateFile(FALSE, mp3.c_str(), 0, 0, 0));
    double net = playFor(BASS_StreamCreateURL(server.Url("/loop").c_str(), 0, 0, nullptr, nullptr));
    double file2 = playFor(BASS_StreamCreateFile(FALSE, mp3.c_str(), 0, 0, 0));
    double fileAvg = (file + file2) / 2;
    std::printf("CPU per minute of playback: live stream %.3f s, local file %.3f s (two runs: %.3f, %.3f), ratio %.2f\n",
                net, fileAvg, file, file2, fileAvg > 0 ? net / fileAvg : 0);
  }

  // Resident memory over a long live stream (ten minutes of sound, decoded as fast as it comes).
  {
    DWORD h = BASS_StreamCreateURL(server.Url("/loop").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
    std::vector<char> buf(65536);
    QWORD got = 0;
    const QWORD minute = 44100ull * 4 * 60;
    long rssAfterWarm = 0, rssEnd = 0;
    while (h && got < 10 * minute) {
      DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
      if (n == DWORD(-1)) break;
      got += n;
      if (!rssAfterWarm && got >= minute) rssAfterWarm = RssKb();
    }
    rssEnd = RssKb();
    BASS_StreamFree(h);
    std::printf("live stream, %.1f minutes of sound: resident memory after the first minute %ld KiB, at the end %ld KiB "
                "(growth %ld KiB)\n", double(got) / double(minute), rssAfterWarm, rssEnd, rssEnd - rssAfterWarm);
  }
  server.Stop();
  BASS_Free();
  std::system(("rm -rf '" + dir + "'").c_str());
  return 0;
}

// The engine against local servers, timed from the UI thread's side:
//  - the UI thread's longest stall while Open connects to a server that accepts and never
//    answers (a heartbeat posted every 2 ms from another thread; the longest gap between two
//    handled heartbeats), and how long Close asked during that connection takes to return;
//  - open to first audible sample: Open + Play until the output's position moves, against a
//    server that bursts a 128 kbit/s MP3 and one that paces it in real time (live, no length);
//  - mpv and `orvella play` measured alike in the same run (process start to the first bytes of
//    sound each writes to a pipe, output clock unpaced), so the two are compared on one machine
//    state by one method;
//  - the same first sample of the MP3 read from disk, for the share the output itself takes;
//  - Close of a playing stream whose server has stalled.
// Prints one line per measure; needs ffmpeg to make the MP3. It measures, it never fails.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestUtil.h"
#include "HttpTestServer.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"

using namespace enginetest;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Heartbeats posted from a thread of their own; the gaps are measured where they are handled.
class Heartbeat {
 public:
  Heartbeat() {
    window_ = platform::CreateMessageWindow([this](platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM) {
      if (m == platform::WM_USER + 7) {
        auto now = Clock::now();
        if (seen_) longest_ = std::max(longest_, now - last_);
        last_ = now;
        seen_ = true;
      }
      return platform::LRESULT(0);
    });
    thread_ = std::thread([this] {
      while (!stop_) {
        platform::PostMessage(window_, platform::WM_USER + 7, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  }
  ~Heartbeat() {
    stop_ = true;
    thread_.join();
    platform::DestroyWindow(window_);
  }
  void Reset() {
    seen_ = false;
    longest_ = {};
  }
  double LongestMs() const { return Ms(longest_); }

 private:
  platform::HWND window_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  bool seen_ = false;
  Clock::time_point last_;
  Clock::duration longest_{};
};

// Runs `action` once from the message loop after `ms`.
class After {
 public:
  After(int ms, std::function<void()> action) : action_(std::move(action)) {
    window_ = platform::CreateMessageWindow([this](platform::HWND h, platform::UINT m, platform::WPARAM, platform::LPARAM) {
      if (m == platform::WM_TIMER) {
        platform::KillTimer(h, 1);
        if (action_) action_();
        action_ = nullptr;
      }
      return platform::LRESULT(0);
    });
    platform::SetTimer(window_, 1, ms);
  }
  ~After() { platform::DestroyWindow(window_); }

 private:
  std::function<void()> action_;
  platform::HWND window_;
};

void HungConnection(engine::TZOZUZivade& eng, Heartbeat& beat, const std::string& url) {
  double closeMs = -1;
  beat.Reset();
  auto start = Clock::now();
  bool opened;
  {
    After close(1000, [&] {
      auto t = Clock::now();
      eng.Close();
      closeMs = Ms(Clock::now() - t);
    });
    opened = eng.Open(url);
  }
  std::printf("hung server %-28s open returned after %7.1f ms (opened %d); UI longest stall %6.1f ms; "
              "Close during the connection %6.2f ms\n",
              url.substr(url.rfind('/')).c_str(), Ms(Clock::now() - start), int(opened), beat.LongestMs(), closeMs);
}

void FirstSample(engine::TZOZUZivade& eng, Heartbeat& beat, const std::string& label, const std::string& url) {
  beat.Reset();
  auto start = Clock::now();
  if (!eng.Open(url)) {
    std::printf("first sample %-10s not available: the address did not open\n", label.c_str());
    return;
  }
  double openMs = Ms(Clock::now() - start);
  eng.Play();
  bool heard = PumpUntil(
      [&] { return eng.OutputChannel() && eng.Bass().BASS_ChannelGetPosition(eng.OutputChannel(), BASS_POS_BYTE) > 0 &&
                   eng.Bass().BASS_ChannelGetPosition(eng.OutputChannel(), BASS_POS_BYTE) != QWORD(-1); },
      15000);
  std::printf("first sample %-10s open %7.1f ms, first audible sample %7.1f ms (%s); UI longest stall %6.1f ms\n",
              label.c_str(), openMs, Ms(Clock::now() - start), heard ? "heard" : "never", beat.LongestMs());
}

// A program from process start to the first bytes of decoded sound it writes to a pipe on
// descriptor 3 (after `header` bytes of file header); -1 when it writes nothing within 15 s.
double FirstSoundBytes(const std::vector<std::string>& argv, size_t header) {
  int out[2];
  if (pipe(out) != 0) return -1;
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 3);
    if (out[0] != 3) close(out[0]);
    if (out[1] != 3) close(out[1]);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  double ms = -1;
  size_t got = 0;
  pollfd p{out[0], POLLIN, 0};
  char buf[4096];
  while (ms < 0 && Ms(Clock::now() - start) < 15000 && poll(&p, 1, 50) >= 0) {
    if (!(p.revents & (POLLIN | POLLHUP))) continue;
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    got += size_t(n);
    if (got > header) ms = Ms(Clock::now() - start);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(out[0]);
  return ms;
}

// mpv with its PCM output on the pipe; -1 when mpv is missing.
double MpvFirstSample(const std::string& url) {
  if (std::system("command -v mpv >/dev/null 2>&1") != 0) return -1;
  return FirstSoundBytes({"mpv", "--no-config", "--really-quiet", "--no-video", "--ao=pcm", "--ao-pcm-file=/dev/fd/3",
                          "--ao-pcm-waveheader=no", url},
                         0);
}

// `orvella play` measured the same way: its capture (a WAV file, 44 header bytes) on the pipe,
// with the clock run as fast as the data allow, as mpv's PCM output runs.
double OrvellaFirstSample(const std::string& url) {
  return FirstSoundBytes({std::string(ORVELLA_STAGE_DIR) + "/orvella", "play", "--fast", "--out", "/dev/fd/3", url},
                         44);
}

}  // namespace

int main() {
  ProgramDir dir;
  SilentOutput silent;
  platform::SetMessageSink([](const platform::MessageRequest& r) {
    std::printf("  (message: %s)\n", r.text.c_str());
    return platform::MsgResult::Ok;
  });
  std::string mp3 = Media("bench_net_128k.mp3",
                          "ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=frequency=440:duration=30 -ac 2 "
                          "-c:a libmp3lame -b:a 128k {out}");
  std::string audio = mp3.empty() ? std::string() : ReadFile(mp3);

  HttpTestServer hung([](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    while (c.Sleep(50)) {
    }
  });
  HttpTestServer burst([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    c.Write(HttpTestServer::Response("200 OK", {"Content-Type: audio/mpeg"}, audio));
  });
  // 16000 bytes per second: 128 kbit/s in 100 ms pieces, no length (a broadcast).
  HttpTestServer paced([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    if (!c.Write("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-br: 128\r\n\r\n")) return;
    for (size_t pos = 0; pos < audio.size(); pos += 1600)
      if (!c.Write(audio.substr(pos, 1600)) || !c.Sleep(100)) return;
  });
  // 2 s of audio at once, then nothing until the client goes.
  HttpTestServer stall([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    if (!c.Write("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + audio.substr(0, 32000))) return;
    while (c.Sleep(50)) {
    }
  });

  engine::TZOZUZivade eng;
  engine::TMIDI_FONTINFO font;
  eng.LoadSoundFont(dir.File("plugins/CT4MGM.SF2"), font);
  Heartbeat beat;
  HungConnection(eng, beat, hung.Url("/live.mp3"));
  HungConnection(eng, beat, hung.Url("/tune.mid"));
  if (audio.empty()) {
    std::printf("first sample: no MP3 (ffmpeg missing)\n");
    return 0;
  }
  for (int run = 0; run < 3; ++run) {
    FirstSample(eng, beat, "burst", burst.Url("/song.mp3"));
    eng.Close();
    FirstSample(eng, beat, "paced", paced.Url("/live"));
    eng.Close();
    // The same file from disk: what the output itself takes to sound, network aside.
    FirstSample(eng, beat, "local", mp3);
    eng.Close();
    const double mb = MpvFirstSample(burst.Url("/song.mp3")), mp = MpvFirstSample(paced.Url("/live"));
    const double ob = OrvellaFirstSample(burst.Url("/song.mp3")), op = OrvellaFirstSample(paced.Url("/live"));
    std::printf("process start to first sound bytes on a pipe: orvella burst %7.1f ms, paced %7.1f ms", ob, op);
    if (mb < 0 && mp < 0)
      std::printf("; mpv not measured (missing or silent)\n");
    else
      std::printf("; mpv burst %7.1f ms, paced %7.1f ms; ratio burst %.2fx, paced %.2fx\n", mb, mp, ob / mb, op / mp);
  }
  if (eng.Open(stall.Url("/stall"))) {
    eng.Play();
    PumpUntil([&] { return eng.Bass().BASS_ChannelIsActive(eng.DecodeChannel()) == BASS_ACTIVE_STALLED; }, 10000);
    auto t = Clock::now();
    eng.Close();
    std::printf("Close of a stalled stream %6.2f ms\n", Ms(Clock::now() - t));
  } else {
    std::printf("Close of a stalled stream: not available (the address did not open)\n");
  }
  return 0;
}

// The PulseAudio output, on a private PulseAudio daemon with a null sink that the test starts (the
// tests are skipped where PulseAudio is not installed), and the fall-back when no server runs.
#include "BassTestUtil.h"
#include "../ThreadWakeUps.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <future>

namespace {

bool OnPath(const char* prog) {
  return bt::Run(std::string("command -v ") + prog) == 0;
}

// A PulseAudio daemon of its own: a null sink (paced in real time) on a socket in a temporary folder.
class PulseServer {
public:
  PulseServer() {
    socket_ = dir_ / "native";
    std::string log = dir_ / "pulse.log";
    pid_ = fork();
    if (pid_ == 0) {
      // A test program that dies (a sanitizer's report) takes its server along instead of leaving
      // it holding the test's output open until the time limit.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      setenv("HOME", dir_.path.c_str(), 1);
      setenv("XDG_RUNTIME_DIR", dir_.path.c_str(), 1);
      FILE* f = std::freopen(log.c_str(), "w", stderr);
      (void)f;
      std::string sock = "module-native-protocol-unix auth-anonymous=1 socket=" + socket_;
      execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--log-target=stderr", "--log-level=error", "-L", "module-null-sink sink_name=test", "-L",
             sock.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ready_ = pid_ > 0 && bt::WaitFor([&] { return std::filesystem::exists(socket_); }, 10) &&
             bt::Run("PULSE_SERVER=unix:" + socket_ + " pactl info") == 0;
  }
  ~PulseServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int st = 0;
    if (!bt::WaitFor([&] { return waitpid(pid_, &st, WNOHANG) == pid_; }, 10)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &st, 0);
    }
  }
  bool Ready() const { return ready_; }
  std::string Address() const { return "unix:" + socket_; }
  // Playback streams the server has now.
  int Streams() const {
    std::string cmd = "PULSE_SERVER=" + Address() + " pactl list short sink-inputs 2>/dev/null | wc -l";
    FILE* p = popen(cmd.c_str(), "r");
    int n = -1;
    if (p) {
      if (std::fscanf(p, "%d", &n) != 1) n = -1;
      pclose(p);
    }
    return n;
  }

private:
  bt::TempFolder dir_;
  std::string socket_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

class PulseOutput : public ::testing::Test {
protected:
  void SetUp() override {
    if (!OnPath("pulseaudio") || !OnPath("pactl")) GTEST_SKIP() << "PulseAudio is not installed";
    server_ = std::make_unique<PulseServer>();
    ASSERT_TRUE(server_->Ready()) << "the private PulseAudio daemon did not start";
    unsetenv("ORVELLA_BASS_CAPTURE");
    unsetenv("ORVELLA_BASS_OUTPUT");
    setenv("PULSE_SERVER", server_->Address().c_str(), 1);
    ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, nullptr));
    inited_ = true;
  }
  void TearDown() override {
    if (inited_) BASS_Free();
    unsetenv("PULSE_SERVER");
    server_.reset();
  }
  HSTREAM Open(double seconds) {
    std::string path = bt::Generate(dir_ / ("tone" + std::to_string(seconds) + ".wav"), "-c:a pcm_s16le", seconds);
    HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
    return h;
  }
  // Plays to the end, checking that the heard position never goes back; returns the last one.
  QWORD PlayToEnd(HSTREAM h, bool* monotonic) {
    QWORD last = 0;
    *monotonic = true;
    bool ended = bt::WaitFor(
        [&] {
          QWORD p = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
          if (p < last) *monotonic = false;
          last = std::max(last, p);
          return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED;
        },
        30);
    EXPECT_TRUE(ended) << "still playing at " << last;
    return BASS_ChannelGetPosition(h, BASS_POS_BYTE);
  }
  bt::TempFolder dir_;
  std::unique_ptr<PulseServer> server_;
  bool inited_ = false;
};

TEST_F(PulseOutput, PlaysOnTheServerAndItsClockEndsWhereTheSoundEnds) {
  HSTREAM h = Open(1.5);
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(bt::WaitFor([&] { return server_->Streams() == 1; }, 10)) << "no stream on the server";
  bool monotonic = false;
  EXPECT_EQ(PlayToEnd(h, &monotonic), len);
  EXPECT_TRUE(monotonic);
  EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_ORV_UNDERRUNS), 0u) << "the end of the sound is not a dropout";
  BASS_StreamFree(h);
}

TEST_F(PulseOutput, ASoundShorterThanTheServersPreBufferStillPlaysToItsEnd) {
  HSTREAM h = Open(0.05);
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  bool monotonic = false;
  EXPECT_EQ(PlayToEnd(h, &monotonic), len);
  // And again once the stream has run dry.
  ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
  EXPECT_EQ(PlayToEnd(h, &monotonic), len);
  BASS_StreamFree(h);
}

TEST_F(PulseOutput, PausingTheDeviceHoldsTheClockAndStartGoesOn) {
  HSTREAM h = Open(3);
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) > len / 6; }, 20));
  ASSERT_TRUE(BASS_Pause());
  // The server takes the cork a moment later; from then on nothing more is heard.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  QWORD p1 = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  QWORD p2 = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
  EXPECT_LT(p1, len);
  EXPECT_LE(p2 - p1, BASS_ChannelSeconds2Bytes(h, 0.02)) << "the clock ran on while the device was paused";
  ASSERT_TRUE(BASS_Start());
  bool monotonic = false;
  EXPECT_EQ(PlayToEnd(h, &monotonic), len);
  EXPECT_TRUE(monotonic);
  BASS_StreamFree(h);
}

// The null sink takes its whole buffer at a time, so the server asks for sound a few times a
// second; the mixer sleeps until it asks instead of looking again every 20 ms (50 a second).
TEST_F(PulseOutput, TheMixerWakesWhenTheServerAsksForSoundNotEveryPeriod) {
  HSTREAM h = Open(7);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  auto heard = [&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE); };
  ASSERT_TRUE(bt::WaitFor([&] { return heard() >= BASS_ChannelSeconds2Bytes(h, 3.0); }, 20));
  uint64_t w0 = testutil::WakeUpsOf("bass mixer");
  QWORD p0 = heard();
  ASSERT_TRUE(bt::WaitFor([&] { return heard() >= BASS_ChannelSeconds2Bytes(h, 5.0); }, 20));
  uint64_t w1 = testutil::WakeUpsOf("bass mixer");
  double secs = BASS_ChannelBytes2Seconds(h, heard() - p0);
  ASSERT_GT(w0, 0u) << "no mixer thread found";
  EXPECT_LT(double(w1 - w0) / secs, 30.0) << w1 - w0 << " wake-ups over " << secs << " s of sound";
  bool monotonic = false;
  EXPECT_EQ(PlayToEnd(h, &monotonic), BASS_ChannelGetLength(h, BASS_POS_BYTE));
  EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_ORV_UNDERRUNS), 0u);
  BASS_StreamFree(h);
}

std::atomic<int> dspCalls{0};
void CALLBACK StallOnce(HDSP, DWORD, void*, DWORD, void*) {
  // The mixer thread is held up for longer than the whole queue once, after playback has begun.
  if (dspCalls.fetch_add(1) == 3) std::this_thread::sleep_for(std::chrono::milliseconds(1200));
}

TEST_F(PulseOutput, AMixerLateByMoreThanTheQueueIsCountedAsADropoutAndNothingIsLost) {
  HSTREAM h = Open(2);
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  dspCalls = 0;
  ASSERT_NE(BASS_ChannelSetDSP(h, &StallOnce, nullptr, 0), 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  bool monotonic = false;
  EXPECT_EQ(PlayToEnd(h, &monotonic), len);
  EXPECT_TRUE(monotonic);
  EXPECT_GE(BASS_GetConfig(BASS_CONFIG_ORV_UNDERRUNS), 1u);
  BASS_StreamFree(h);
}

TEST(PulseOutputFallback, WithoutAServerTheSdlOutputPlays) {
  bt::TempFolder dir;
  unsetenv("ORVELLA_BASS_CAPTURE");
  unsetenv("ORVELLA_BASS_OUTPUT");
  setenv("PULSE_SERVER", (dir / "no-such-socket").c_str(), 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, nullptr));
  BASS_INFO info{};
  ASSERT_TRUE(BASS_GetInfo(&info));
  std::string path = bt::Generate(dir / "tone.wav", "-c:a pcm_s16le", 0.3);
  HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 20));
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), len);
  BASS_StreamFree(h);
  BASS_Free();
  unsetenv("PULSE_SERVER");
}

// A server that has hung: its socket takes connections (the kernel's backlog) and never answers.
TEST(PulseOutputFallback, AServerThatNeverAnswersDoesNotHoldUpInitAndPlaybackGoesOn) {
  bt::TempFolder dir;
  std::string sock = dir / "hung";
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(sock.size(), sizeof(addr.sun_path));
  std::memcpy(addr.sun_path, sock.c_str(), sock.size() + 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  ASSERT_EQ(listen(fd, 8), 0);
  unsetenv("ORVELLA_BASS_CAPTURE");
  unsetenv("ORVELLA_BASS_OUTPUT");
  setenv("PULSE_SERVER", ("unix:" + sock).c_str(), 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  auto init = std::async(std::launch::async, [] { return BASS_Init(1, 44100, 0, 0, nullptr); });
  if (init.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "BASS_Init still waits on a server that never answers";
    std::_Exit(1);  // the waiting thread cannot be joined
  }
  ASSERT_TRUE(init.get());
  std::string path = bt::Generate(dir / "tone.wav", "-c:a pcm_s16le", 0.3);
  HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 20));
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), len);
  BASS_StreamFree(h);
  BASS_Free();
  close(fd);
  unsetenv("PULSE_SERVER");
}

}  // namespace

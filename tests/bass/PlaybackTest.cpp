// Playing channels through the capture output: what is heard equals the decode, volumes, pan,
// slides, syncs, transport states, user streams.
#include "BassTestUtil.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <condition_variable>
#include <mutex>

namespace {

using bt::Lib;

// The 16-bit decode (what a default channel plays) as floats.
std::vector<float> DecodeFloat(const std::string& file) {
  HSTREAM d = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  EXPECT_NE(d, 0u);
  auto s = bt::AsS16(bt::DecodeAll(d));
  BASS_StreamFree(d);
  std::vector<float> f(s.size());
  for (size_t i = 0; i < s.size(); ++i) f[i] = s[i] / 32768.0f;
  return f;
}

bool WaitStopped(DWORD h, double secs = 30) {
  return bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, secs);
}

void CALLBACK CountSync(HSYNC, DWORD, DWORD, void* user) { static_cast<std::atomic<int>*>(user)->fetch_add(1); }

TEST(Setup, VersionAndErrorCodesPerThread) {
  EXPECT_EQ(BASS_GetVersion() >> 16, 0x0204u);
  EXPECT_GE(BASS_GetVersion() & 0xFFFF, 1u);
  EXPECT_FALSE(BASS_Free());
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  std::thread([] {
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);  // the other thread's error is not seen here
    EXPECT_EQ(BASS_StreamFree(12345), FALSE);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  }).join();
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

TEST(Setup, DeviceOneWithoutSoundHardwareUsesTheSilentOutput) {
  unsetenv("ORVELLA_BASS_CAPTURE");
  unsetenv("ORVELLA_BASS_OUTPUT");
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);  // as on a machine without any sound device
  setenv("PULSE_SERVER", "unix:/nonexistent/orvella-test/native", 1);  // and without a sound server
  ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
  EXPECT_FALSE(BASS_Init(1, 44100, 0, nullptr, nullptr));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  BASS_INFO info{};
  ASSERT_TRUE(BASS_GetInfo(&info));
  EXPECT_EQ(info.dsver, 9u);
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(BASS_GetDevice(), 1u);
  // Time runs on the silent output: a short user stream plays to its end.
  DWORD left = 44100 * 4 / 10;
  HSTREAM h = BASS_StreamCreate(44100, 2, 0, [](HSTREAM, void* b, DWORD len, void* u) -> DWORD {
    auto* left = static_cast<DWORD*>(u);
    DWORD n = std::min(len, *left);
    std::memset(b, 0, n);
    *left -= n;
    return n | (*left == 0 ? BASS_STREAMPROC_END : 0);
  }, &left);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitStopped(h, 10));
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), QWORD(44100 * 4 / 10));
  EXPECT_TRUE(BASS_Free());
  ASSERT_TRUE(BASS_Init(0, 48000, 0, nullptr, nullptr));
  EXPECT_EQ(BASS_GetDevice(), 0u);
  EXPECT_TRUE(BASS_Free());
  unsetenv("SDL_AUDIODRIVER");
  unsetenv("PULSE_SERVER");
}

TEST(Playback, SdlDevicePathPlaysTheDecode) {
  // SDL's "disk" driver stands in for a sound card: it writes what the device gets to a file, at
  // the real-time pace of a device.
  bt::TempFolder dir;
  std::string raw = dir / "sdl.raw";
  unsetenv("ORVELLA_BASS_CAPTURE");
  unsetenv("ORVELLA_BASS_OUTPUT");
  setenv("ORVELLA_BASS_OUTPUT", "sdl", 1);  // past a sound server, should one run here
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr));
  std::string file = bt::Generate(dir / "t.wav", "-c:a pcm_s16le", 0.4);
  auto ref = DecodeFloat(file);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  std::atomic<int> ends{0};
  BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountSync, &ends);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitStopped(h));
  EXPECT_TRUE(bt::WaitFor([&] { return ends.load() == 1; }));
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), BASS_ChannelGetLength(h, BASS_POS_BYTE));
  BASS_Free();
  unsetenv("SDL_AUDIODRIVER");
  unsetenv("SDL_DISKAUDIOFILE");
  auto bytes = bt::ReadFile(raw);
  std::vector<float> dev(bytes.size() / 4);
  std::memcpy(dev.data(), bytes.data(), dev.size() * 4);
  size_t first = 0;
  while (first < dev.size() && dev[first] == 0.0f) ++first;
  first -= first % 2;
  ASSERT_GE(dev.size(), first + ref.size()) << "the whole stream reached the device";
  size_t lead = 0;
  while (lead < ref.size() && ref[lead] == 0.0f) ++lead;  // the decode may itself start with zeros
  lead -= lead % 2;
  ASSERT_GE(first, lead);
  size_t diffs = 0;
  for (size_t i = 0; i < ref.size(); ++i) diffs += dev[first - lead + i] != ref[i];
  EXPECT_EQ(diffs, 0u);
}

TEST(Playback, CaptureEqualsDecode) {
  Lib lib;
  ASSERT_TRUE(lib.ok);
  std::vector<float> expected;
  const char* kinds[][2] = {{"t.wav", "-c:a pcm_s16le"}, {"t.mp3", "-c:a libmp3lame -b:a 160k"}};
  for (auto& k : kinds) {
    std::string file = bt::Generate(lib.dir / k[0], k[1], 1.3);
    auto ref = DecodeFloat(file);
    expected.insert(expected.end(), ref.begin(), ref.end());
    HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    std::atomic<int> ends{0};
    BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountSync, &ends);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitStopped(h));
    EXPECT_TRUE(bt::WaitFor([&] { return ends.load() == 1; }));
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), BASS_ChannelGetLength(h, BASS_POS_BYTE));
    BASS_StreamFree(h);
    EXPECT_EQ(ends.load(), 1);
  }
  // The capture holds one stream after the other, sample for sample.
  auto w = lib.Finish();
  ASSERT_EQ(w.chans, 2);
  ASSERT_EQ(w.rate, 44100);
  ASSERT_EQ(w.samples.size(), expected.size());
  size_t diffs = 0;
  for (size_t i = 0; i < expected.size(); ++i) diffs += w.samples[i] != expected[i];
  EXPECT_EQ(diffs, 0u);
}

TEST(Playback, SixteenBitCaptureRoundsToNearestClampsAndSilencesNotANumber) {
  bt::TempFolder dir;
  std::string cap = dir / "cap.wav";
  unsetenv("ORVELLA_BASS_CAPTURE_FLOAT");
  setenv("ORVELLA_BASS_CAPTURE_FAST", "1", 1);
  setenv("ORVELLA_BASS_CAPTURE", cap.c_str(), 1);
  ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr));
  // Ties, both ends of the range, far past them, infinities and not-a-number, at every place of
  // an eight-sample group, then a long ramp through the whole range.
  std::vector<float> src;
  const float special[] = {0.5f / 32768, 1.5f / 32768, 2.5f / 32768, -0.5f / 32768, -1.5f / 32768, 1.0f, -1.0f,
                           32767.5f / 32768, -32768.5f / 32768, 1e10f, -1e10f, INFINITY, -INFINITY, NAN, -0.0f};
  for (int shift = 0; shift < 8; ++shift) {
    for (int i = 0; i < shift; ++i) src.push_back(0.25f);
    for (float v : special) src.push_back(v);
  }
  for (int i = 0; i < 44100; ++i) src.push_back(-1.2f + 2.4f * float(i) / 44100);
  if (src.size() % 2) src.push_back(0);
  struct Feed {
    const std::vector<float>* s;
    size_t at = 0;
  } feed{&src};
  HSTREAM h = BASS_StreamCreate(44100, 2, BASS_SAMPLE_FLOAT, [](HSTREAM, void* b, DWORD len, void* u) -> DWORD {
    auto* f = static_cast<Feed*>(u);
    size_t n = std::min<size_t>(len / 4, f->s->size() - f->at);
    std::memcpy(b, f->s->data() + f->at, n * 4);
    f->at += n;
    return DWORD(n * 4) | (f->at == f->s->size() ? BASS_STREAMPROC_END : 0);
  }, &feed);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitStopped(h));
  BASS_Free();
  unsetenv("ORVELLA_BASS_CAPTURE");
  unsetenv("ORVELLA_BASS_CAPTURE_FAST");
  auto w = bt::ReadWav(cap);
  ASSERT_EQ(w.samples.size(), src.size());
  size_t diffs = 0;
  for (size_t i = 0; i < src.size(); ++i) {
    const float v = src[i] * 32768.0f;
    const int16_t want = v != v ? 0 : int16_t(std::lrintf(std::clamp(v, -32768.0f, 32767.0f)));
    const int got = int(std::lrintf(w.samples[i] * 32768.0f));
    if (got != want && ++diffs < 10) ADD_FAILURE() << "sample " << i << " of " << src[i] << ": " << got << ", not " << want;
  }
  EXPECT_EQ(diffs, 0u);
}

TEST(Playback, RealTimeSixteenBitCaptureEqualsDecode) {
  bt::TempFolder dir;
  std::string cap = dir / "cap.wav";
  unsetenv("ORVELLA_BASS_CAPTURE_FAST");
  unsetenv("ORVELLA_BASS_CAPTURE_FLOAT");
  setenv("ORVELLA_BASS_CAPTURE", cap.c_str(), 1);  // real-time clock, 16-bit file
  ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr));
  std::string file = bt::Generate(dir / "t.wav", "-c:a pcm_s16le", 0.4);
  auto ref = DecodeFloat(file);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) > 0; }));
  DWORD level = BASS_ChannelGetLevel(h);  // of what is heard now
  EXPECT_NE(level, DWORD(-1));
  EXPECT_GT(level & 0xFFFF, 0u);
  EXPECT_LE(level & 0xFFFF, 32768u);
  ASSERT_TRUE(WaitStopped(h));
  EXPECT_EQ(BASS_ChannelGetLevel(h), DWORD(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY);
  BASS_Free();
  unsetenv("ORVELLA_BASS_CAPTURE");
  auto w = bt::ReadWav(cap);
  EXPECT_EQ(w.bits, 16);
  ASSERT_EQ(w.samples.size(), ref.size());
  size_t diffs = 0;
  for (size_t i = 0; i < ref.size(); ++i) diffs += w.samples[i] != ref[i];
  EXPECT_EQ(diffs, 0u);
}

// Plays a file with a set-up applied and returns the capture.
template <class F> bt::Wav PlayCaptured(Lib& lib, const std::string& file, F setup) {
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  EXPECT_NE(h, 0u);
  setup(h);
  EXPECT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitStopped(h));
  return lib.Finish();
}

TEST(Playback, VolumeHalfLowersBySixDecibels) {
  Lib lib;
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 1.0);
  auto ref = DecodeFloat(file);
  auto w = PlayCaptured(lib, file, [](HSTREAM h) { ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, 0.5f)); });
  ASSERT_EQ(w.samples.size(), ref.size());
  for (int ch = 0; ch < 2; ++ch)
    EXPECT_NEAR(bt::Db(bt::Rms(w.samples, 2, ch) / bt::Rms(ref, 2, ch)), -6.0206, 0.01);
}

TEST(Playback, GlobalStreamVolumeScalesStreams) {
  Lib lib;
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.5);
  auto ref = DecodeFloat(file);
  ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 9945));
  EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_GVOL_STREAM), 9945u);
  auto w = PlayCaptured(lib, file, [](HSTREAM) {});
  ASSERT_EQ(w.samples.size(), ref.size());
  EXPECT_NEAR(bt::Rms(w.samples, 2, 0) / bt::Rms(ref, 2, 0), 0.9945, 0.0005);
  BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 10000);
}

TEST(Playback, PanLeftSilencesTheRightChannel) {
  Lib lib;
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.5);
  auto ref = DecodeFloat(file);
  auto w = PlayCaptured(lib, file, [](HSTREAM h) { ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_PAN, -1.0f)); });
  ASSERT_EQ(w.samples.size(), ref.size());
  EXPECT_EQ(bt::Rms(w.samples, 2, 1), 0.0);
  EXPECT_NEAR(bt::Rms(w.samples, 2, 0), bt::Rms(ref, 2, 0), 1e-6);
}

TEST(Playback, VolumeSlideEndsInSilenceAndFiresItsSyncOnce) {
  Lib lib;
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 1.5);
  std::atomic<int> slides{0};
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  BASS_ChannelSetSync(h, BASS_SYNC_SLIDE, 0, CountSync, &slides);
  ASSERT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 0.0f, 500));
  EXPECT_TRUE(BASS_ChannelIsSliding(h, BASS_ATTRIB_VOL));
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitStopped(h));
  EXPECT_TRUE(bt::WaitFor([&] { return slides.load() >= 1; }));
  EXPECT_FALSE(BASS_ChannelIsSliding(h, BASS_ATTRIB_VOL));
  float v = -1;
  BASS_ChannelGetAttribute(h, BASS_ATTRIB_VOL, &v);
  EXPECT_EQ(v, 0.0f);
  auto w = lib.Finish();
  EXPECT_EQ(slides.load(), 1);
  size_t at500 = 44100 / 2;
  ASSERT_GT(w.samples.size() / 2, at500 + 1000);
  EXPECT_GT(bt::Rms(w.samples, 2, 0, 0, 4410), 0.1);       // loud at the start
  EXPECT_EQ(bt::Rms(w.samples, 2, 0, at500 + 1), 0.0);       // silent once the slide ended
  EXPECT_EQ(bt::Rms(w.samples, 2, 1, at500 + 1), 0.0);
  double mid = bt::Rms(w.samples, 2, 0, at500 / 2 - 500, at500 / 2 + 500) / bt::Rms(w.samples, 2, 0, 0, 1000);
  EXPECT_NEAR(mid, 0.5, 0.05);  // linear: half way at 250 ms
}

TEST(Playback, EndSyncFiresExactlyOnceAndMixTimeSyncsToo) {
  Lib lib;
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.7);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  std::atomic<int> ends{0}, mixEnds{0}, pos{0}, once{0};
  BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountSync, &ends);
  BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, CountSync, &mixEnds);
  BASS_ChannelSetSync(h, BASS_SYNC_POS, BASS_ChannelSeconds2Bytes(h, 0.3), CountSync, &pos);
  BASS_ChannelSetSync(h, BASS_SYNC_POS | BASS_SYNC_ONETIME, BASS_ChannelSeconds2Bytes(h, 0.1), CountSync, &once);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitStopped(h));
  ASSERT_TRUE(bt::WaitFor([&] { return ends.load() == 1 && pos.load() == 1; }));
  // play again from the start: position syncs fire again, the one-time sync does not
  ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
  ASSERT_TRUE(WaitStopped(h));
  ASSERT_TRUE(bt::WaitFor([&] { return ends.load() == 2 && pos.load() == 2; }));
  lib.Finish();
  EXPECT_EQ(ends.load(), 2);
  EXPECT_EQ(mixEnds.load(), 2);
  EXPECT_EQ(pos.load(), 2);
  EXPECT_EQ(once.load(), 1);
}

// A never-ending user stream of a sine, 16-bit stereo.
DWORD CALLBACK Sine(HSTREAM, void* buf, DWORD len, void* user) {
  auto* phase = static_cast<double*>(user);
  auto* s = static_cast<int16_t*>(buf);
  for (DWORD i = 0; i < len / 4; ++i) {
    int16_t v = int16_t(std::lrint(std::sin(*phase) * 16000));
    s[2 * i] = s[2 * i + 1] = v;
    *phase += 2 * M_PI * 1000 / 44100;
  }
  return len;
}

TEST(Playback, TransportStatesFollowTheDeviceClock) {
  Lib lib(true, "20");  // 20 times real time
  double phase = 0;
  HSTREAM h = BASS_StreamCreate(44100, 2, 0, Sine, &phase);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PLAYING));
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) > 44100 * 4; }));
  ASSERT_TRUE(BASS_ChannelPause(h));
  EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PAUSED));
  EXPECT_FALSE(BASS_ChannelPause(h));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  // Once the queued sound has drained, the heard position stands still while paused.
  QWORD p1 = 0;
  ASSERT_TRUE(bt::WaitFor([&] {
    QWORD a = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    p1 = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
    return a == p1;
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), p1);
  EXPECT_GT(BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE), 4096u);  // the buffer is kept
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) > p1 + 44100; }));
  ASSERT_TRUE(BASS_ChannelStop(h));
  EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
  EXPECT_FALSE(BASS_ChannelPause(h));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY);
  auto w = lib.Finish();
  // What was heard is the sine without gaps: no sample jumps by more than one sine step.
  ASSERT_GT(w.samples.size(), 44100u * 2);
  float maxStep = 0;
  for (size_t i = 2; i < w.samples.size(); i += 2) maxStep = std::max(maxStep, std::fabs(w.samples[i] - w.samples[i - 2]));
  EXPECT_LT(maxStep, 16000.0f / 32768 * 2 * float(M_PI) * 1000 / 44100 * 1.05f);
}

// Voluntary context switches of this process's thread named "name" so far (-1: no such thread).
long WakeUps(const std::string& name) {
  for (const auto& t : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(t.path() / "comm");
    std::string n;
    std::getline(comm, n);
    if (n != name) continue;
    std::ifstream status(t.path() / "status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  }
  return -1;
}

// A player left paused or stopped costs nothing: the mixer thread sleeps until a channel is played
// (it used to look five times a second), and playing wakes it at once.
TEST(Playback, TheMixerSleepsWhileNothingPlays) {
  Lib lib(true, "20");
  double phase = 0;
  HSTREAM h = BASS_StreamCreate(44100, 2, 0, Sine, &phase);
  ASSERT_NE(h, 0u);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    const QWORD from = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
    ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) > from + 44100 * 4; }));
    ASSERT_TRUE(round == 0 ? BASS_ChannelPause(h) : BASS_ChannelStop(h));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // its last pass
    const long before = WakeUps("bass mixer");
    ASSERT_GE(before, 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LE(WakeUps("bass mixer") - before, 1) << "round " << round;
  }
}

struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool inside = false, open = false;
};

// Blocks inside the procedure until the test opens the gate, as a producer-fed stream does.
DWORD CALLBACK Blocking(HSTREAM, void* buf, DWORD len, void* user) {
  auto* g = static_cast<Gate*>(user);
  std::unique_lock<std::mutex> lk(g->m);
  g->inside = true;
  g->cv.notify_all();
  g->cv.wait(lk, [&] { return g->open; });
  std::memset(buf, 0, len);
  return len;
}

TEST(UserStreams, ABlockingProcedureDoesNotBlockTheCaller) {
  Lib lib(true, "20");
  Gate g;
  HSTREAM h = BASS_StreamCreate(44100, 2, 0, Blocking, &g);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  {
    std::unique_lock<std::mutex> lk(g.m);
    ASSERT_TRUE(g.cv.wait_for(lk, std::chrono::seconds(20), [&] { return g.inside; }));
  }
  // The mixer thread is inside the procedure now; queries and commands still answer.
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);
  EXPECT_NE(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
  EXPECT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, 0.5f));
  // Freeing waits for the procedure to return, so open the gate from another thread meanwhile.
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard<std::mutex> lk(g.m);
    g.open = true;
    g.cv.notify_all();
  });
  EXPECT_TRUE(BASS_StreamFree(h));
  opener.join();
}

TEST(UserStreams, APushStreamWithoutDataStallsAndResumes) {
  Lib lib;
  HSTREAM h = BASS_StreamCreate(44100, 2, 0, STREAMPROC_PUSH, nullptr);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STALLED; }));
  // What a level display asks for before any sound came: silence (nothing has been buffered yet).
  std::vector<float> fft(512, 1.0f);
  EXPECT_EQ(BASS_ChannelGetData(h, fft.data(), BASS_DATA_FFT1024), 2048u);
  EXPECT_EQ(std::count(fft.begin(), fft.end(), 0.0f), 512);
  std::vector<int16_t> block(44100 * 2 / 10, 1000);
  ASSERT_NE(BASS_StreamPutData(h, block.data(), DWORD(block.size() * 2)), DWORD(-1));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) == block.size() * 2; }));
  ASSERT_NE(BASS_StreamPutData(h, block.data(), DWORD(block.size() * 2) | BASS_STREAMPROC_END), DWORD(-1));
  EXPECT_TRUE(WaitStopped(h));
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), block.size() * 4);
  auto w = lib.Finish();
  // Fast capture writes no silence for the stall: both blocks follow each other.
  ASSERT_EQ(w.samples.size(), block.size() * 2);
  for (float v : w.samples) ASSERT_EQ(v, 1000 / 32768.0f);
}

TEST(Streams, FilePositionsFollowTheDecoding) {
  Lib lib(false);
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 2.0);
  QWORD size = bt::ReadFile(file).size();
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), size);
  QWORD start = BASS_StreamGetFilePosition(h, BASS_FILEPOS_START);
  EXPECT_EQ(start, 44u + (size - 44 - 2 * 44100 * 4));  // the data chunk follows the header chunks
  std::vector<uint8_t> buf(44100 * 4);
  BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));
  QWORD p1 = BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT);
  EXPECT_GE(p1, start + buf.size());
  EXPECT_LE(p1, size);
  bt::DecodeAll(h);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT), size);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_WMA_BUFFER), QWORD(-1));
}

TEST(Playback, CallbacksMayFreeTheirChannel) {
  Lib lib;
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.6);
  static std::atomic<int> done{0};
  done = 0;
  // A mix-time position sync frees its stream in the middle of the mixer's work.
  HSTREAM a = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  BASS_ChannelSetSync(a, BASS_SYNC_POS | BASS_SYNC_MIXTIME, BASS_ChannelSeconds2Bytes(a, 0.2),
                      [](HSYNC, DWORD ch, DWORD, void*) {
                        EXPECT_TRUE(BASS_StreamFree(ch));
                        ++done;
                      }, nullptr);
  // A DSP does the same on a decoding channel.
  HSTREAM b = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  BASS_ChannelSetDSP(b, [](HDSP, DWORD ch, void*, DWORD, void*) { BASS_StreamFree(ch); }, nullptr, 0);
  // An end sync on the sync thread frees its stream and may not end the library from there.
  HSTREAM c = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  BASS_ChannelSetSync(c, BASS_SYNC_END, 0, [](HSYNC, DWORD ch, DWORD, void*) {
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_BUSY);
    EXPECT_TRUE(BASS_StreamFree(ch));
    ++done;
  }, nullptr);
  ASSERT_TRUE(BASS_ChannelPlay(a, FALSE));
  std::vector<uint8_t> buf(8192);
  BASS_ChannelGetData(b, buf.data(), DWORD(buf.size()));
  EXPECT_EQ(BASS_ChannelGetData(b, buf.data(), DWORD(buf.size())), DWORD(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  ASSERT_TRUE(BASS_ChannelPlay(c, FALSE));
  EXPECT_TRUE(bt::WaitFor([&] { return done.load() == 2; }));
  EXPECT_FALSE(BASS_ChannelIsActive(a));
  EXPECT_FALSE(BASS_ChannelIsActive(c));
}

TEST(Playback, MonoPlaysOnBothSidesAndOtherRatesAreResampled) {
  Lib lib;
  std::string mono = bt::Generate(lib.dir / "m.wav", "-c:a pcm_s16le", 0.5, 44100, 1);
  std::string hi = bt::Generate(lib.dir / "h.wav", "-c:a pcm_s16le", 1.0, 48000, 2);
  auto refMono = DecodeFloat(mono);
  for (const std::string& f : {mono, hi}) {
    HSTREAM h = BASS_StreamCreateFile(FALSE, f.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitStopped(h));
  }
  auto w = lib.Finish();
  ASSERT_GE(w.samples.size(), refMono.size() * 2);
  for (size_t i = 0; i < refMono.size(); ++i) {
    ASSERT_EQ(w.samples[2 * i], refMono[i]);
    ASSERT_EQ(w.samples[2 * i + 1], refMono[i]);
  }
  // 1 s at 48 kHz becomes 1 s at 44.1 kHz, with the same loudness.
  size_t start = refMono.size();
  EXPECT_NEAR(double(w.samples.size() / 2 - start), 44100.0, 3.0);
  std::vector<float> hiPart(w.samples.begin() + long(start * 2), w.samples.end());
  EXPECT_NEAR(bt::Rms(hiPart, 2, 1, 100, 44000), 0.4 / std::sqrt(2.0), 0.002);
}

TEST(Playback, RepositioningAPlayingStreamAndReadingWhatIsHeard) {
  Lib lib(true, "5");
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 10.0);
  auto ref = DecodeFloat(file);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) > 44100 * 4 / 2; }));
  QWORD to = BASS_ChannelSeconds2Bytes(h, 0.25);
  ASSERT_TRUE(BASS_ChannelSetPosition(h, to, BASS_POS_BYTE));
  EXPECT_GE(BASS_ChannelGetPosition(h, BASS_POS_BYTE), to);
  EXPECT_LT(BASS_ChannelGetPosition(h, BASS_POS_BYTE), BASS_ChannelSeconds2Bytes(h, 1.0));
  ASSERT_TRUE(BASS_ChannelPause(h));
  QWORD p = 0;
  ASSERT_TRUE(bt::WaitFor([&] {
    QWORD a = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    p = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
    return a == p;
  }));
  // Data of a playing (here paused) channel starts at what is heard.
  std::vector<int16_t> got(2048);
  ASSERT_EQ(BASS_ChannelGetData(h, got.data(), 4096), 4096u);
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i] / 32768.0f, ref[p / 2 + i]) << i;
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), p);  // reading does not consume
  float fft[512];
  EXPECT_EQ(BASS_ChannelGetData(h, fft, BASS_DATA_FFT1024), 2048u);
}

struct Countdown {
  DWORD left;
  int calls = 0;
};

DWORD CALLBACK Ramp8(HSTREAM, void* buf, DWORD len, void* user) {
  auto* c = static_cast<Countdown*>(user);
  ++c->calls;
  DWORD n = std::min(len, c->left);
  for (DWORD i = 0; i < n; ++i) static_cast<uint8_t*>(buf)[i] = uint8_t(128 + (i % 64));
  c->left -= n;
  return c->left == 0 ? (n | BASS_STREAMPROC_END) : n;
}

TEST(UserStreams, EndFlagEndsTheStream) {
  Lib lib;
  for (DWORD chans : {1u, 2u, 6u, 8u}) {
    Countdown cd{DWORD(22050) * chans};
    HSTREAM h = BASS_StreamCreate(22050, chans, BASS_SAMPLE_8BITS, Ramp8, &cd);
    ASSERT_NE(h, 0u) << chans;
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    EXPECT_EQ(info.chans, chans);
    EXPECT_TRUE(info.flags & BASS_SAMPLE_8BITS);
    std::atomic<int> ends{0};
    BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountSync, &ends);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitStopped(h));
    EXPECT_TRUE(bt::WaitFor([&] { return ends.load() == 1; }));
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), QWORD(22050) * chans);
    BASS_StreamFree(h);
  }
  EXPECT_EQ(BASS_StreamCreate(44100, 9, 0, Ramp8, nullptr), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
  // 4 streams of 1 s at 22050 Hz, resampled to 44100: about 4 x 44100 frames.
  auto w = lib.Finish();
  EXPECT_NEAR(double(w.samples.size() / 2), 4 * 44100.0, 8.0);
}

TEST(UserStreams, DecodingUserStreamAndPushStream) {
  Lib lib(false);
  Countdown cd{4000};
  HSTREAM h = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE | BASS_SAMPLE_8BITS, Ramp8, &cd);
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(BASS_ChannelPlay(h, FALSE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
  auto all = bt::DecodeAll(h, 1000);
  EXPECT_EQ(all.size(), 4000u);
  EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
  uint8_t b[16];
  EXPECT_EQ(BASS_ChannelGetData(h, b, 16), DWORD(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);

  HSTREAM p = BASS_StreamCreate(44100, 1, BASS_STREAM_DECODE, STREAMPROC_PUSH, nullptr);
  ASSERT_NE(p, 0u);
  int16_t s[100];
  for (int i = 0; i < 100; ++i) s[i] = int16_t(i * 10);
  EXPECT_EQ(BASS_StreamPutData(p, s, 200), 200u);
  EXPECT_EQ(BASS_StreamPutData(p, s, 100 | BASS_STREAMPROC_END), 300u);
  auto got = bt::AsS16(bt::DecodeAll(p));
  ASSERT_EQ(got.size(), 150u);
  EXPECT_EQ(got[99], 990);
  EXPECT_EQ(got[149], 490);
}

std::mutex gOrderMutex;
std::vector<int> gOrder;
void CALLBACK LogDsp(HDSP, DWORD, void*, DWORD, void* user) {
  std::lock_guard<std::mutex> lk(gOrderMutex);
  gOrder.push_back(int(reinterpret_cast<intptr_t>(user)));
}
void CALLBACK HalveDsp(HDSP, DWORD, void* buf, DWORD len, void*) {
  auto* s = static_cast<int16_t*>(buf);
  for (DWORD i = 0; i < len / 2; ++i) s[i] = int16_t(s[i] / 2);
}

TEST(Dsp, ProceduresRunInPriorityOrderOnTheChannelsSamples) {
  Lib lib(false);
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.3);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  HSTREAM r = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  BASS_ChannelSetDSP(h, LogDsp, reinterpret_cast<void*>(1), 1);
  HDSP d3 = BASS_ChannelSetDSP(h, LogDsp, reinterpret_cast<void*>(3), 3);
  BASS_ChannelSetDSP(h, LogDsp, reinterpret_cast<void*>(2), 2);
  HDSP half = BASS_ChannelSetDSP(h, HalveDsp, nullptr, 0);
  int16_t a[64], b[64];
  ASSERT_EQ(BASS_ChannelGetData(h, a, sizeof a), DWORD(sizeof a));
  ASSERT_EQ(BASS_ChannelGetData(r, b, sizeof b), DWORD(sizeof b));
  for (int i = 0; i < 64; ++i) EXPECT_EQ(a[i], b[i] / 2);
  {
    std::lock_guard<std::mutex> lk(gOrderMutex);
    EXPECT_EQ(gOrder, (std::vector<int>{3, 2, 1}));
    gOrder.clear();
  }
  EXPECT_TRUE(BASS_ChannelRemoveDSP(h, d3));
  EXPECT_FALSE(BASS_ChannelRemoveDSP(h, d3));
  EXPECT_TRUE(BASS_ChannelRemoveDSP(h, half));
  BASS_ChannelGetData(h, a, sizeof a);
  std::lock_guard<std::mutex> lk(gOrderMutex);
  EXPECT_EQ(gOrder, (std::vector<int>{2, 1}));
}

TEST(Data, FftPeaksInTheRightBinAndLevelsReadPeaks) {
  Lib lib(false);
  std::string file = lib.dir / "t.wav";
  ASSERT_EQ(bt::Run("ffmpeg -nostdin -y -f lavfi -i \"aevalsrc=0.8*sin(2*PI*1000*t)|0.4*sin(2*PI*5000*t):s=44100:d=1\" "
                    "-c:a pcm_s16le " + file), 0);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  std::vector<float> fft(2048);
  EXPECT_EQ(BASS_ChannelGetData(h, fft.data(), BASS_DATA_FFT2048 | BASS_DATA_FFT_INDIVIDUAL), 1024u * 2 * 4);
  auto peak = [&](int chans, int ch, int bins) {
    int best = 0;
    for (int k = 1; k < bins; ++k)
      if (fft[size_t(k) * chans + ch] > fft[size_t(best) * chans + ch]) best = k;
    return best;
  };
  EXPECT_EQ(peak(2, 0, 1024), int(std::lround(1000.0 * 2048 / 44100)));
  EXPECT_EQ(peak(2, 1, 1024), int(std::lround(5000.0 * 2048 / 44100)));
  EXPECT_NEAR(fft[size_t(peak(2, 0, 1024)) * 2], 0.8 * 0.5, 0.08);  // Hann: full scale reads about 0.5
  for (DWORD size : {BASS_DATA_FFT256, BASS_DATA_FFT512, BASS_DATA_FFT1024, BASS_DATA_FFT2048, BASS_DATA_FFT4096}) {
    int points = 256 << (size & 7);
    fft.assign(size_t(points), 0);
    EXPECT_EQ(BASS_ChannelGetData(h, fft.data(), size), DWORD(points / 2 * 4));
    int best = peak(1, 0, points / 2);
    EXPECT_NEAR(best, 1000.0 * points / 44100, 1.0) << points;
    for (int k = 0; k < points / 2; ++k) ASSERT_LE(fft[size_t(k)], 1.0f);
  }
  DWORD level = BASS_ChannelGetLevel(h);
  EXPECT_NEAR(double(level & 0xFFFF), 0.8 * 32768, 40);
  EXPECT_NEAR(double(level >> 16), 0.4 * 32768, 40);
}

TEST(Playback, FrequencyAttributeChangesThePlaybackRate) {
  Lib lib;
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 1.0);
  auto w = PlayCaptured(lib, file, [](HSTREAM h) { ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_FREQ, 88200)); });
  EXPECT_NEAR(double(w.samples.size() / 2), 22050.0, 4.0);
}

TEST(Playback, FreeFromTheMixerSyncAndAutoFree) {
  Lib lib;
  std::string file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.3);
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_AUTOFREE);
  std::atomic<int> freed{0};
  BASS_ChannelSetSync(h, BASS_SYNC_FREE, 0, CountSync, &freed);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(bt::WaitFor([&] { return freed.load() == 1; }));
  EXPECT_FALSE(BASS_ChannelIsActive(h));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

}  // namespace

// Network streams in the engine. The library's network half is stood in for by
// functions put in place of the engine's bindings (connection, header and metadata
// blocks, download positions, the metadata and download notices fired from threads
// of the test): the stream that plays is a local file. MIDI over HTTP runs through
// the real add-on against a server the test starts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "EngineTestUtil.h"
#include "FakeNet.h"
#include "HttpTestServer.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"

using namespace engine;
using namespace enginetest;

namespace {

std::vector<std::string> Texts(const platform::MessageRecorder& rec) {
  std::vector<std::string> out;
  for (const auto& m : rec.Messages()) out.push_back(m.text);
  return out;
}

// Runs `action` from the message loop the engine pumps during its next wait.
class DuringWait {
 public:
  explicit DuringWait(std::function<void()> action) : action_(std::move(action)) {
    window_ = platform::CreateMessageWindow([this](platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM) {
      if (m == platform::WM_USER + 1 && action_) {
        ran_ = true;
        action_();
      }
      return platform::LRESULT(0);
    });
    platform::PostMessage(window_, platform::WM_USER + 1, 0, 0);
  }
  ~DuringWait() { platform::DestroyWindow(window_); }
  bool Ran() const { return ran_; }

 private:
  std::function<void()> action_;
  platform::HWND window_ = nullptr;
  bool ran_ = false;
};

}  // namespace

TEST(EngineNetwork, ABroadcastTakesItsBitRateAndTitleFromItsHeadersAndCannotSeek) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  FakeNet net(eng, SineWav(3.0));
  // An Icecast mount named like a file is still a broadcast: it interleaves metadata.
  net.icy = Block({"ICY 200 OK", "icy-name:Test Radio", "icy-br: 128", "icy-metaint:8192"});
  net.meta = std::string("StreamTitle='Artist - Song 0';StreamUrl='';") + '\0';
  platform::MessageRecorder rec;
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/stream.mp3"));
  EXPECT_TRUE(rec.Messages().empty());
  EXPECT_TRUE(eng.NetStream());
  EXPECT_FALSE(eng.NetworkFile());
  EXPECT_EQ(eng.StreamInfo().BitRate, 128);
  EXPECT_EQ(eng.StreamInfo().Title, "Artist - Song 0");
  EXPECT_EQ(eng.StreamInfo().SampleRate, 44100u);
  EXPECT_EQ(eng.TagList(), eng.IcyHeaders());
  EXPECT_EQ(eng.IcyHeaders().size(), 4u);
  EXPECT_EQ(eng.Mode(), plmReady);
  EXPECT_FALSE(eng.CanSeek());
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() > 300; }, 10000));
  uint32_t before = eng.GetPosition();
  eng.SetPosition(2500);  // refused: a broadcast has no positions to go to
  EXPECT_LT(eng.GetPosition(), 2500u);
  EXPECT_GE(eng.GetPosition() + 50, before);
  eng.Close();
  EXPECT_FALSE(eng.NetStream());
  EXPECT_TRUE(eng.IcyHeaders().empty());
}

TEST(EngineNetwork, ABroadcastWithHttpHeadersOnlyReadsTheIceBitRateAndAServerWithoutLengthIsLive) {
  ProgramDir dir;
  TZOZUZivade eng;
  FakeNet net(eng, SineWav(1.0));
  net.http = Block({"HTTP/1.0 200 OK", "Content-Type: audio/mpeg", "ice-bitrate: 96"});
  ASSERT_TRUE(eng.Open("https://radio.example/live.mp3?session=1"));
  EXPECT_TRUE(eng.NetStream());
  EXPECT_EQ(eng.StreamInfo().BitRate, 96);
  EXPECT_EQ(eng.TagList(), eng.HttpHeaders());
  EXPECT_EQ(eng.StreamInfo().Title, "");
  EXPECT_EQ(eng.DecoderName(), "bass.so");
}

TEST(EngineNetwork, NewTitlesReachTheEventOnceEachInOrderAndNeverAnotherStream) {
  ProgramDir dir;
  TZOZUZivade eng;
  FakeNet net(eng, SineWav(1.0));
  net.icy = Block({"ICY 200 OK", "icy-metaint:8192"});
  std::vector<std::string> titles;
  eng.OnGetMeta = [&](TZOZUZivade*, const std::string& t) { titles.push_back(t); };
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/"));
  net.FireMeta("Artist - Song 1");
  net.FireMeta("Artist - Song 1");  // the same text again is not news
  net.FireMeta("AC;DC - It's a Song");
  net.FireMeta(std::string("Caf\xE9 Latin-1", 12));
  net.FireMeta(std::string(4000, 'x'));
  ASSERT_TRUE(PumpUntil([&] { return titles.size() >= 4; }, 5000));
  platform::PumpAndSleep(50);
  ASSERT_EQ(titles.size(), 4u);
  EXPECT_EQ(titles[0], "Artist - Song 1");
  EXPECT_EQ(titles[1], "AC;DC - It's a Song");
  EXPECT_EQ(titles[2], "Caf\xC3\xA9 Latin-1");
  EXPECT_EQ(titles[3], std::string(255, 'x'));
  EXPECT_EQ(eng.StreamInfo().Title, titles[3]);

  // A title posted for the first stream and not yet handled when it closes, and one fired
  // after: neither reaches the stream opened next.
  net.FireMeta("Old Station");
  DWORD oldChannel = net.channel;
  eng.Close();
  {
    std::lock_guard lock(net.mutex);
    net.meta.clear();  // the next stream starts without a title
  }
  std::thread([&] { net.metaProc(1, oldChannel, 0, net.metaUser); }).join();
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/other"));
  platform::PumpAndSleep(100);
  EXPECT_EQ(titles.size(), 4u);
  EXPECT_NE(eng.StreamInfo().Title, "Old Station");
  net.FireMeta("New Station");
  ASSERT_TRUE(PumpUntil([&] { return titles.size() == 5; }, 5000));
  EXPECT_EQ(titles.back(), "New Station");
  eng.Close();
  net.FireMeta("After Close");
  platform::PumpAndSleep(100);
  EXPECT_EQ(titles.size(), 5u);
}

TEST(EngineNetwork, StopThenPlayAndPauseThenResumeReconnectABroadcast) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  FakeNet net(eng, SineWav(5.0));
  net.icy = Block({"ICY 200 OK", "icy-br:128"});
  std::vector<TPlayerMode> modes;
  eng.OnModeChange = [&](TZOZUZivade*, TPlayerMode, TPlayerMode m) { modes.push_back(m); };
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/"));
  EXPECT_FALSE(eng.SingleChannel());
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  EXPECT_EQ(net.creates, 1);
  eng.Stop();
  ASSERT_EQ(eng.Mode(), plmStopped);
  eng.Play();
  EXPECT_EQ(eng.Mode(), plmPlaying);
  EXPECT_EQ(net.creates, 2);
  EXPECT_EQ(eng.StreamInfo().BitRate, 128);
  eng.Pause(true);
  ASSERT_EQ(eng.Mode(), plmPaused);
  eng.Pause(false);
  EXPECT_EQ(eng.Mode(), plmPlaying);
  EXPECT_EQ(net.creates, 3);
  EXPECT_TRUE(eng.NetStream());
  EXPECT_FALSE(eng.Muted());
  // A reopened broadcast passes through standby and ready on its way back to playing.
  EXPECT_EQ(modes.back(), plmPlaying);
  EXPECT_NE(std::find(modes.begin(), modes.end(), plmStandby), modes.end());
}

TEST(EngineNetwork, ANetworkFileCompletesOnceThenSeeksAndItsTagsReplaceTheAddressTitle) {
  ProgramDir dir;
  TZOZUZivade eng;
  FakeNet net(eng, SineWav(2.0));
  net.http = Block({"HTTP/1.1 200 OK", "Content-Length: 1000", "Server: test"});
  net.end = 1000;
  net.download = 200;
  std::vector<uint32_t> done;
  eng.OnDownloaded = [&](TZOZUZivade*, uint32_t ms) { done.push_back(ms); };
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/music/My%20Song%C3%A9.mp3?token=a.b#frag"));
  EXPECT_TRUE(eng.NetworkFile());
  EXPECT_FALSE(eng.NetStream());
  EXPECT_FALSE(eng.DownloadComplete());
  EXPECT_FALSE(eng.CanSeek());
  EXPECT_EQ(eng.StreamInfo().Title, "My Song\xC3\xA9");
  EXPECT_EQ(eng.StreamInfo().FileSize, 1000u);
  EXPECT_EQ(eng.StreamInfo().Duration, 2000);
  EXPECT_EQ(eng.StreamInfo().BitRate, 4);  // 1000 bytes over 2 s
  EXPECT_EQ(eng.HttpHeaders().size(), 3u);
  ASSERT_NE(net.downloadProc, nullptr);

  std::string tag(128, '\0');
  tag.replace(0, 3, "TAG");
  tag.replace(3, 12, "Tagged Title");
  tag.replace(33, 6, "Tagger");
  net.id3v1 = tag;
  net.end = 1200;
  net.FireDownloaded();
  net.FireDownloaded();  // the library's notice twice: reported once
  ASSERT_TRUE(PumpUntil([&] { return !done.empty(); }, 5000));
  platform::PumpAndSleep(50);
  EXPECT_EQ(done, std::vector<uint32_t>{2000});
  EXPECT_TRUE(eng.DownloadComplete());
  EXPECT_TRUE(eng.CanSeek());
  EXPECT_EQ(eng.StreamInfo().Title, "Tagged Title");
  EXPECT_EQ(eng.StreamInfo().Artist, "Tagger");
  EXPECT_EQ(eng.StreamInfo().FileSize, 1200u);
}

TEST(EngineNetwork, AFileAlreadyDownloadedAtOpenIsCompleteAndNeedsNoNotice) {
  ProgramDir dir;
  TZOZUZivade eng;
  FakeNet net(eng, SineWav(1.0));
  net.http = Block({"HTTP/1.1 200 OK", "Content-Length: 500"});
  net.end = 500;
  net.download = 500;
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/a.wav"));
  EXPECT_TRUE(eng.NetworkFile());
  EXPECT_TRUE(eng.DownloadComplete());
  EXPECT_TRUE(eng.CanSeek());
  EXPECT_EQ(net.downloadProc, nullptr);
}

TEST(EngineNetwork, AFailedConnectionNamesTheAddressAndKeepsThePreviousStream) {
  ProgramDir dir;
  TZOZUZivade eng;
  std::string wav = SineWav(1.0);
  FakeNet net(eng, wav);
  ASSERT_TRUE(eng.Open(wav));
  net.failCreate = true;
  platform::MessageRecorder rec;
  EXPECT_FALSE(eng.Open("\"http://127.0.0.1:9/x.mp3\""));
  EXPECT_EQ(Texts(rec), std::vector<std::string>{"Invalid or unsupported URL stream.\n -> \"http://127.0.0.1:9/x.mp3\""});
  EXPECT_EQ(eng.StreamName(), wav);
  EXPECT_EQ(eng.Mode(), plmReady);
}

TEST(EngineNetwork, CloseDuringTheConnectionReturnsAtOnceAndNothingFollows) {
  ProgramDir dir;
  TZOZUZivade eng;
  FakeNet net(eng, SineWav(1.0));
  net.icy = Block({"ICY 200 OK"});
  net.hold = true;
  int events = 0;
  eng.OnModeChange = [&](TZOZUZivade*, TPlayerMode, TPlayerMode) { ++events; };
  eng.OnGetMeta = [&](TZOZUZivade*, const std::string&) { ++events; };
  platform::MessageRecorder rec;
  bool connectingSeen = false;
  DuringWait close([&] {
    connectingSeen = eng.Connecting();
    eng.Close();
  });
  EXPECT_FALSE(eng.Open("http://127.0.0.1:9/"));
  EXPECT_TRUE(close.Ran());
  EXPECT_TRUE(connectingSeen);
  // Open came back while the library still held the connection.
  EXPECT_FALSE(net.createReturned);
  // The next address opens at once: nothing waits for the connection given up.
  {
    std::lock_guard lock(net.mutex);
    net.holdOnly = 1;
  }
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/next"));
  EXPECT_EQ(net.returned, 1);  // the second call only
  eng.Close();
  events = 0;
  net.Release();
  ASSERT_TRUE(PumpUntil([&] { return net.returned == 2; }, 10000));
  platform::PumpAndSleep(100);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(eng.Mode(), plmStandby);
  EXPECT_EQ(eng.StreamKind(), 0);
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(EngineNetwork, PreBufferingEndsOnStopOnCloseOnAStallAndWhenTheServerCloses) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.PluginBuffersReady());  // pre-buffering belongs to the dual-channel mode
  FakeNet net(eng, SineWav(3.0));
  net.icy = Block({"ICY 200 OK"});
  net.end = 1000;
  net.download = 10;  // never fills
  platform::MessageRecorder rec;

  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/"));
  {
    bool during = false;
    DuringWait stop([&] {
      during = eng.PreBuffering();
      eng.Stop();
    });
    eng.Play();
    EXPECT_TRUE(during);
  }
  EXPECT_EQ(eng.Mode(), plmReady);
  EXPECT_FALSE(eng.PreBuffering());

  {
    DuringWait close([&] { eng.Close(); });
    eng.Play();
  }
  EXPECT_EQ(eng.Mode(), plmStandby);

  // No progress for longer than the network timeout: play what came.
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/"));
  net.netTimeout = 200;
  eng.Play();
  EXPECT_EQ(eng.Mode(), plmPlaying);

  // The server closed the connection: nothing more comes.
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/"));
  net.netTimeout = 60000;
  net.connected = 0;
  eng.Play();
  EXPECT_EQ(eng.Mode(), plmPlaying);
  EXPECT_TRUE(rec.Messages().empty());

  // The library cannot say how much it holds: the buffering error.
  ASSERT_TRUE(eng.Open("http://127.0.0.1:9/"));
  net.end = QWORD(-1);
  eng.Play();
  EXPECT_EQ(Texts(rec), std::vector<std::string>{"Error at buffering process."});
  EXPECT_EQ(eng.Mode(), plmReady);
  EXPECT_EQ(eng.DecoderName(), "");
}

TEST(EngineNetwork, AMidiFileOverHttpIsDownloadedOnceAndPlays) {
  ProgramDir dir;
  std::string midi = LyricMidiFile();
  HttpTestServer server([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    c.Write(HttpTestServer::Response("200 OK", {"Content-Type: audio/midi"}, midi));
  });
  ASSERT_GT(server.Port(), 0);
  CaptureOutput capture(dir.File("m.wav"), 1);
  TZOZUZivade eng;
  TMIDI_FONTINFO font;
  ASSERT_TRUE(eng.LoadSoundFont(dir.File("plugins/CT4MGM.SF2"), font));
  int ends = 0;
  eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
  platform::MessageRecorder rec;
  ASSERT_TRUE(eng.Open(server.Url("/tune.mid"))) << (rec.Messages().empty() ? "" : rec.Messages()[0].text);
  EXPECT_EQ(eng.StreamKind(), TZOZUZivade::skMIDI);
  EXPECT_EQ(eng.DecoderName(), "bassmidi.so");
  EXPECT_TRUE(eng.NetworkFile());
  EXPECT_TRUE(eng.DownloadComplete());
  EXPECT_TRUE(eng.CanSeek());
  EXPECT_EQ(eng.StreamInfo().Title, "tune");
  EXPECT_EQ(eng.HttpHeaders(), std::vector<std::string>{"/1.0 200 OK"});
  EXPECT_GT(eng.GetLength(), 1000u);
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
  EXPECT_EQ(server.Requests(), 1);
  EXPECT_TRUE(rec.Messages().empty());
}

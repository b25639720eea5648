// Network streams end to end: the engine over the audio library's own network streams,
// against servers the tests start on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "EngineTestUtil.h"
#include "HttpTestServer.h"
#include "HttpTestServerMmsh.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"

using namespace engine;
using namespace enginetest;

namespace {

std::string Mp3(double seconds, const std::string& extra = "") {
  char name[64];
  std::snprintf(name, sizeof name, "net_%g%s.mp3", seconds, extra.empty() ? "" : "_tagged");
  return Media(name, "ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=frequency=440:duration=" +
                         std::to_string(seconds) + " -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k " + extra + " {out}");
}

// Writes `bytes` in pieces of odd sizes, a single byte around every metadata block, paced
// at about `bytesPerSecond` (0: at once). False once the client has gone.
bool WriteOddly(HttpTestServer::Connection& c, const std::string& bytes, size_t metaint, int bytesPerSecond) {
  static const size_t kSizes[] = {1, 7, 333, 1, 4096, 13, 1000, 2};
  size_t pos = 0, i = 0;
  while (pos < bytes.size()) {
    size_t n = std::min(kSizes[i++ % 8], bytes.size() - pos);
    // A single byte on both sides of each block's length byte.
    if (metaint && (pos % (metaint + 1)) >= metaint - 1) n = 1;
    if (!c.Write(bytes.substr(pos, n))) return false;
    pos += n;
    if (bytesPerSecond > 0 && n > 1 && !c.Sleep(int(n * 1000 / size_t(bytesPerSecond)))) return false;
  }
  return true;
}

}  // namespace

TEST(EngineNetworkServer, AnIcyBroadcastReportsItsBitRateTitlesInOrderAndCannotSeek) {
  ProgramDir dir;
  SilentOutput silent;
  const std::string audio = ReadFile(Mp3(6.0));
  ASSERT_FALSE(audio.empty());
  std::vector<std::string> titles;
  for (int i = 0; i < 12; ++i) titles.push_back("Artist - Song " + std::to_string(i + 1));
  const std::string body = HttpTestServer::IcyInterleave(audio, 8192, titles);
  HttpTestServer server([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    if (!c.Write("ICY 200 OK\r\nicy-name:Test Radio\r\nicy-br: 128\r\nicy-metaint: 8192\r\n\r\n")) return;
    WriteOddly(c, body, 0, 32000);
    while (c.Sleep(50)) {
    }
  });
  TZOZUZivade eng;
  std::vector<std::string> seen;
  eng.OnGetMeta = [&](TZOZUZivade*, const std::string& t) { seen.push_back(t); };
  platform::MessageRecorder rec;
  ASSERT_TRUE(eng.Open(server.Url("/stream.mp3"))) << (rec.Messages().empty() ? "" : rec.Messages()[0].text);
  EXPECT_TRUE(eng.NetStream());
  EXPECT_EQ(eng.StreamInfo().BitRate, 128);
  EXPECT_FALSE(eng.CanSeek());
  ASSERT_FALSE(eng.IcyHeaders().empty());
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 3; }, 20000))
      << "titles seen: " << seen.size() << ", mode " << int(eng.Mode()) << ", position " << eng.GetPosition() << " ms";
  // In order, each once: a run of consecutive titles (the first may have come with the open).
  auto first = std::find(titles.begin(), titles.end(), seen[0]);
  ASSERT_NE(first, titles.end()) << seen[0];
  const size_t at = size_t(first - titles.begin());
  EXPECT_LE(at, 1u);
  for (size_t i = 0; i < seen.size() && at + i < titles.size(); ++i) EXPECT_EQ(seen[i], titles[at + i]) << i;
  EXPECT_EQ(eng.StreamInfo().Title, seen.back());
  eng.Close();
  const size_t n = seen.size();
  platform::PumpAndSleep(300);
  EXPECT_EQ(seen.size(), n);  // nothing after Close
}

TEST(EngineNetworkServer, StopThenPlayAndPauseThenResumeReconnect) {
  ProgramDir dir;
  SilentOutput silent;
  const std::string audio = ReadFile(Mp3(6.0));
  HttpTestServer server([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    if (!c.Write("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-br: 128\r\n\r\n")) return;
    WriteOddly(c, audio, 0, 32000);
    while (c.Sleep(50)) {
    }
  });
  TZOZUZivade eng;
  platform::MessageRecorder rec;
  ASSERT_TRUE(eng.Open(server.Url("/live")));
  EXPECT_TRUE(eng.NetStream());
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  EXPECT_EQ(server.Requests(), 1);
  eng.Stop();
  eng.Play();
  EXPECT_EQ(eng.Mode(), plmPlaying);
  EXPECT_EQ(server.Requests(), 2);
  eng.Pause(true);
  eng.Pause(false);
  EXPECT_EQ(eng.Mode(), plmPlaying);
  EXPECT_EQ(server.Requests(), 3);
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(EngineNetworkServer, ANetworkFileCompletesOnceAndItsId3TagsReplaceTheAddressTitle) {
  ProgramDir dir;
  const std::string audio =
      ReadFile(Mp3(2.0, "-id3v2_version 0 -write_id3v1 1 -metadata title=Tagged -metadata artist=Singer"));
  ASSERT_FALSE(audio.empty());
  HttpTestServer server([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    c.Write(HttpTestServer::Response("200 OK", {"Content-Type: audio/mpeg"}, audio));
  });
  TZOZUZivade eng;
  std::vector<uint32_t> done;
  eng.OnDownloaded = [&](TZOZUZivade*, uint32_t ms) { done.push_back(ms); };
  ASSERT_TRUE(eng.Open(server.Url("/files/a%20b.mp3?k=1")));
  EXPECT_TRUE(eng.NetworkFile());
  if (!eng.DownloadComplete()) {
    EXPECT_EQ(eng.StreamInfo().Title, "a b");
    ASSERT_TRUE(PumpUntil([&] { return !done.empty(); }, 10000));
    platform::PumpAndSleep(200);
    EXPECT_EQ(done.size(), 1u);
    EXPECT_EQ(eng.StreamInfo().Title, "Tagged");
    EXPECT_EQ(eng.StreamInfo().Artist, "Singer");
  }
  EXPECT_TRUE(eng.DownloadComplete());
  EXPECT_TRUE(eng.CanSeek());
  EXPECT_NEAR(int(eng.GetLength()), 2000, 100);
}

TEST(EngineNetworkServer, CloseDuringAConnectionAndDuringAStallReturnsWithNothingAfter) {
  ProgramDir dir;
  SilentOutput silent;
  const std::string audio = ReadFile(Mp3(2.0));
  HttpTestServer silentServer([](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    while (c.Sleep(50)) {
    }
  });
  HttpTestServer stalling([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    if (!c.Write("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + audio.substr(0, 24000))) return;
    while (c.Sleep(50)) {
    }
  });
  TZOZUZivade eng;
  eng.Bass().BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 1500);  // the stall is found sooner
  int events = 0;
  eng.OnModeChange = [&](TZOZUZivade*, TPlayerMode, TPlayerMode) { ++events; };
  eng.OnGetMeta = [&](TZOZUZivade*, const std::string&) { ++events; };
  platform::MessageRecorder rec;
  // Close from the message loop while Open waits for the server.
  platform::HWND w = platform::CreateMessageWindow([&](platform::HWND h, platform::UINT m, platform::WPARAM, platform::LPARAM) {
    if (m == platform::WM_TIMER) {
      platform::KillTimer(h, 1);
      eng.Close();
    }
    return platform::LRESULT(0);
  });
  platform::SetTimer(w, 1, 300);
  EXPECT_FALSE(eng.Open(silentServer.Url("/x.mp3")));
  platform::DestroyWindow(w);
  platform::PumpAndSleep(200);
  EXPECT_EQ(events, 0);
  EXPECT_TRUE(rec.Messages().empty());

  ASSERT_TRUE(eng.Open(stalling.Url("/stall")));
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return eng.Bass().BASS_ChannelIsActive(eng.DecodeChannel()) == BASS_ACTIVE_STALLED; }, 15000));
  eng.Close();
  events = 0;
  platform::PumpAndSleep(300);
  EXPECT_EQ(events, 0);
}

// An mms:// address served by an MMS-over-HTTP server: a Windows Media broadcast with the bit
// rate of its header, played; an mms:// address nobody serves gets the engine's URL message.
TEST(EngineNetworkServer, AnMmsAddressPlaysAsAWindowsMediaBroadcastAndOneNobodyServesIsRefused) {
  ProgramDir dir;
  SilentOutput silent;
  const std::string asf = ReadFile(Media("net_mms.asf", "ffmpeg -nostdin -y -loglevel error -f lavfi -i "
                                                        "sine=frequency=440:duration=4 -ac 2 -ar 44100 -c:a wmav2 "
                                                        "-b:a 128k {out}"));
  MmshAsf split;
  ASSERT_TRUE(MmshAsf::FromFile(asf, split));
  MmshOptions paced;
  paced.packetDelayMs = 100;  // twice real time: playback keeps up with the server
  HttpTestServer server(MmshHandler(split, paced));
  TZOZUZivade eng;
  ASSERT_TRUE(eng.WMAReady());
  platform::MessageRecorder rec;
  const std::string url = "mms://127.0.0.1:" + std::to_string(server.Port()) + "/radio";
  ASSERT_TRUE(eng.Open(url)) << (rec.Messages().empty() ? "" : rec.Messages()[0].text);
  EXPECT_TRUE(eng.NetStream());
  EXPECT_FALSE(eng.NetworkFile());
  EXPECT_EQ(eng.StreamKind(), TZOZUZivade::skWMA);
  EXPECT_EQ(eng.DecoderName(), "basswma.so");
  EXPECT_EQ(eng.StreamInfo().Format, 0x10300);
  EXPECT_EQ(eng.StreamInfo().BitRate, 128);
  EXPECT_EQ(eng.StreamInfo().SampleRate, 44100u);
  EXPECT_FALSE(eng.CanSeek());
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  EXPECT_TRUE(PumpUntil([&] { return eng.GetPosition() >= 1000; }, 15000)) << eng.GetPosition();
  eng.Close();
  EXPECT_TRUE(rec.Messages().empty());
  // A name with a file's extension is still a broadcast over mms://: no length, never downloaded.
  const std::string named = "mms://127.0.0.1:" + std::to_string(server.Port()) + "/live.asf";
  ASSERT_TRUE(eng.Open(named)) << (rec.Messages().empty() ? "" : rec.Messages()[0].text);
  EXPECT_TRUE(eng.NetStream());
  EXPECT_FALSE(eng.NetworkFile());
  EXPECT_EQ(eng.StreamInfo().BitRate, 128);
  eng.Close();
  EXPECT_TRUE(rec.Messages().empty());

  int closedPort;
  {
    HttpTestServer gone([](const HttpTestServer::Request&, HttpTestServer::Connection&) {});
    closedPort = gone.Port();
  }
  eng.Bass().BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 1000);
  const std::string nobody = "mms://127.0.0.1:" + std::to_string(closedPort) + "/radio";
  EXPECT_FALSE(eng.Open(nobody));
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0].text, "Invalid or unsupported URL stream.\n -> " + nobody);
}

// Servers that misbehave: each case ends within about the network timeout (1 s here), gives its
// error or a sound stream, and leaves no thread of the stream behind.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "NetTestUtil.h"

using namespace nt;

namespace {

constexpr int kTimeoutMs = 1000;
// Far above the timeout: only a hang trips it.
constexpr int kHang = 10 * kTimeoutMs;

struct Opened {
  DWORD handle;
  int error;
  long long ms;
};

Opened Open(const std::string& url, DWORD flags = BASS_STREAM_DECODE) {
  auto t0 = std::chrono::steady_clock::now();
  DWORD h = BASS_StreamCreateURL(url.c_str(), 0, flags, nullptr, nullptr);
  return {h, BASS_ErrorGetCode(), MsSince(t0)};
}

class Hostile : public NetTest {
 protected:
  // The sound is made before any server starts: made inside a server's answer, it costs a
  // busy machine more than the client's whole timeout.
  void SetUp() override {
    NetTest::SetUp();
    Mp3();
  }
  // The stream's threads are gone once the server (and its threads) stopped.
  void ExpectNoThreadsLeft(TestServer& s) {
    s.Stop();
    EXPECT_EQ(WaitThreads(baseThreads_), baseThreads_);
  }
  static std::vector<uint8_t>& Mp3() {
    static bt::TempFolder dir;
    static std::vector<uint8_t> bytes = Bytes(bt::Generate(dir / "h.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0", 3.0));
    return bytes;
  }
  static std::vector<int16_t>& Ref() {
    static bt::TempFolder dir;
    static std::vector<int16_t> ref = [] {
      bt::WriteFile(dir / "r.mp3", Mp3());
      return bt::FfmpegDecodeS16(dir / "r.mp3", dir / "r");
    }();
    return ref;
  }
  // An ICY answer with the given metaint header text whose body is plain audio.
  std::vector<int16_t> PlainWithMetaInt(const std::string& metaint) {
    TestServer s([&](Conn& c) {
      c.Send("ICY 200 OK\r\nicy-metaint: " + metaint + "\r\n\r\n");
      c.Send(Mp3().data(), Mp3().size());
    });
    Opened o = Open(s.Url("/"));
    EXPECT_NE(o.handle, 0u) << o.error;
    auto pcm = bt::AsS16(DecodeNet(o.handle));
    BASS_StreamFree(o.handle);
    ExpectNoThreadsLeft(s);
    return pcm;
  }
};

}  // namespace

TEST_F(Hostile, ClosedPortCannotConnect) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);  // nothing listens there now
  Opened o = Open("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/");
  EXPECT_EQ(o.handle, 0u);
  EXPECT_EQ(o.error, BASS_ERROR_NONET);
  EXPECT_LT(o.ms, kHang);
  EXPECT_EQ(WaitThreads(baseThreads_), baseThreads_);
}

TEST_F(Hostile, AcceptsAndNeverAnswers) {
  TestServer s(nullptr, false);
  Opened o = Open(s.Url("/"));
  EXPECT_EQ(o.handle, 0u);
  EXPECT_EQ(o.error, BASS_ERROR_TIMEOUT);
  EXPECT_GE(o.ms, kTimeoutMs - 50);
  EXPECT_LT(o.ms, kHang);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, HeadersTrickleOneBytePer200ms) {
  TestServer s([](Conn& c) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nX-Slow: yes\r\n\r\n";
    for (char ch : head)
      if (!c.Send(&ch, 1) || !c.Sleep(200)) return;
  });
  Opened o = Open(s.Url("/"));
  EXPECT_EQ(o.handle, 0u);
  EXPECT_EQ(o.error, BASS_ERROR_TIMEOUT);
  EXPECT_LT(o.ms, kHang);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, RedirectLoopStopsAfterSixRequests) {
  TestServer s([](Conn& c) { c.Send("HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n"); });
  Opened o = Open(s.Url("/start"));
  EXPECT_EQ(o.handle, 0u);
  EXPECT_EQ(o.error, BASS_ERROR_FILEOPEN);
  EXPECT_LE(s.Requests(), 6);
  EXPECT_GE(s.Requests(), 2);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, RedirectToLocalFileIsRefused) {
  TestServer s([](Conn& c) { c.Send("HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0\r\n\r\n"); });
  Opened o = Open(s.Url("/x.mp3"));
  EXPECT_EQ(o.handle, 0u);
  EXPECT_EQ(o.error, BASS_ERROR_NOTAVAIL);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, NotFoundWithHtmlBody) {
  TestServer s([](Conn& c) {
    std::string body = "<html><body>Not here</body></html>";
    c.Send("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body);
  });
  Opened o = Open(s.Url("/missing.mp3"));
  EXPECT_EQ(o.handle, 0u);
  EXPECT_EQ(o.error, BASS_ERROR_FILEOPEN);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, WebPageIsNotAudio) {
  TestServer s([](Conn& c) {
    std::string body(5000, 'x');
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body);
  });
  Opened o = Open(s.Url("/radio"));
  EXPECT_EQ(o.handle, 0u);
  EXPECT_EQ(o.error, BASS_ERROR_FILEFORM);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, GarbageBytesAreNotAudio) {
  TestServer s([](Conn& c) {
    std::vector<uint8_t> junk(200000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 7 + 3);
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: 200000\r\n\r\n");
    c.Send(junk.data(), junk.size());
  });
  Opened o = Open(s.Url("/junk.mp3"));
  EXPECT_EQ(o.handle, 0u);
  EXPECT_EQ(o.error, BASS_ERROR_FILEFORM);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, MetaIntValuesThatMeanNoMetadata) {
  for (const char* v : {"0", "-8192", "abc", "99999999999999999999", "8192x"})
    EXPECT_EQ(PlainWithMetaInt(v), Ref()) << "icy-metaint: " << v;
}

TEST_F(Hostile, GarbageMetadataBlockOfMaximumLength) {
  TestServer s([](Conn& c) {
    c.Send("ICY 200 OK\r\nicy-metaint: 8192\r\n\r\n");
    const auto& a = Mp3();
    for (size_t p = 0; p < a.size(); p += 8192) {
      size_t k = std::min<size_t>(8192, a.size() - p);
      if (!c.Send(a.data() + p, k)) return;
      if (k < 8192) break;
      std::string block(1, char(255));
      for (int i = 0; i < 255 * 16; ++i) block += char(1 + (i * 37 + int(p)) % 255);
      if (!c.Send(block)) return;
    }
  });
  Opened o = Open(s.Url("/"));
  ASSERT_NE(o.handle, 0u) << o.error;
  EXPECT_EQ(bt::AsS16(DecodeNet(o.handle)), Ref());
  const char* meta = BASS_ChannelGetTags(o.handle, BASS_TAG_META);
  ASSERT_NE(meta, nullptr);
  EXPECT_EQ(std::strlen(meta), 255u * 16);
  // An empty string follows, so the text can be walked as a list like a chained part's comments.
  EXPECT_EQ(meta[255u * 16 + 1], '\0');
  BASS_StreamFree(o.handle);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, OddTitlesReachTheTagAsSent) {
  std::vector<std::string> texts = {"StreamTitle='A; B - C';StreamUrl='';", "StreamTitle=No quotes;",
                                    "StreamTitle='Caf\xe9 M\xfcller';",
                                    "StreamTitle='" + std::string(4000, 'T') + "';"};
  TestServer s([&](Conn& c) {
    c.Send("ICY 200 OK\r\nicy-metaint: 8192\r\n\r\n");
    const auto& a = Mp3();
    size_t b = 0;
    for (size_t p = 0; p < a.size(); p += 8192) {
      size_t k = std::min<size_t>(8192, a.size() - p);
      if (!c.Send(a.data() + p, k)) return;
      if (k < 8192) break;
      if (!c.Send(MetaBlock(texts[std::min(b++, texts.size() - 1)]))) return;
    }
  });
  struct Seen {
    std::vector<std::string> texts;
  } seen;
  Opened o = Open(s.Url("/"));
  ASSERT_NE(o.handle, 0u) << o.error;
  BASS_ChannelSetSync(o.handle, BASS_SYNC_META, 0,
                      [](HSYNC, DWORD ch, DWORD, void* u) {
                        static_cast<Seen*>(u)->texts.push_back(BASS_ChannelGetTags(ch, BASS_TAG_META));
                      },
                      &seen);
  EXPECT_EQ(bt::AsS16(DecodeNet(o.handle)), Ref());
  EXPECT_EQ(seen.texts, texts);  // the last one repeats: no further notices
  BASS_StreamFree(o.handle);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, ClosedInsideAMetadataBlock) {
  TestServer s([](Conn& c) {
    c.Send("ICY 200 OK\r\nicy-metaint: 16384\r\n\r\n");
    c.Send(Mp3().data(), 16384);
    std::string block = MetaBlock("StreamTitle='Never complete';");
    c.Send(block.data(), block.size() / 2);
  });
  Opened o = Open(s.Url("/"));
  ASSERT_NE(o.handle, 0u) << o.error;
  auto pcm = DecodeNet(o.handle);
  EXPECT_GT(pcm.size(), 0u);
  EXPECT_EQ(BASS_ChannelIsActive(o.handle), DWORD(BASS_ACTIVE_STOPPED));  // ended, not stuck
  EXPECT_EQ(BASS_ChannelGetTags(o.handle, BASS_TAG_META), nullptr);
  BASS_StreamFree(o.handle);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, HugeContentLengthWithSmallBody) {
  TestServer s([](Conn& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: 10737418240\r\n\r\n");
    // 1 MiB of sound (the file repeated), then the server closes.
    const auto& a = Mp3();
    size_t sent = 0;
    while (sent < (1u << 20)) {
      size_t k = std::min(a.size(), (1u << 20) - sent);
      if (!c.Send(a.data(), k)) return;
      sent += k;
    }
  });
  Opened o = Open(s.Url("/big.mp3"));
  ASSERT_NE(o.handle, 0u) << o.error;
  // Played as a broadcast: bounded memory, no length, no seeking.
  EXPECT_EQ(BASS_ChannelGetLength(o.handle, BASS_POS_BYTE), QWORD(-1));
  EXPECT_LT(BASS_StreamGetFilePosition(o.handle, BASS_FILEPOS_END), QWORD(16) << 20);
  auto pcm = DecodeNet(o.handle);
  EXPECT_GT(pcm.size(), Ref().size() * 2 * 5);  // several repeats of the file came through
  BASS_StreamFree(o.handle);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, HundredKilobytesOfHeaders) {
  TestServer s([](Conn& c) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n";
    for (int i = 0; i < 100; ++i) head += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'f') + "\r\n";
    head += "Content-Length: " + std::to_string(Mp3().size()) + "\r\n\r\n";
    c.Send(head);
    c.Send(Mp3().data(), Mp3().size());
  });
  Opened o = Open(s.Url("/many-headers.mp3"));
  ASSERT_NE(o.handle, 0u) << o.error;
  size_t total = 0;
  for (const char* t = BASS_ChannelGetTags(o.handle, BASS_TAG_HTTP); t && *t; t += std::strlen(t) + 1)
    total += std::strlen(t) + 1;
  EXPECT_LE(total, 66u << 10);  // what is kept is bounded
  EXPECT_EQ(bt::AsS16(DecodeNet(o.handle)), Ref());
  BASS_StreamFree(o.handle);
  ExpectNoThreadsLeft(s);
}

TEST_F(Hostile, TenSecondStallThenPlayingAgain) {
  TestServer s([](Conn& c) {
    const auto& a = Mp3();
    c.Send("ICY 200 OK\r\nicy-br: 128\r\n\r\n");
    c.Send(a.data(), 16000);  // one second
    if (!c.Sleep(10000)) return;
    c.Send(a.data() + 16000, a.size() - 16000);
  });
  Opened o = Open(s.Url("/"), 0);
  ASSERT_NE(o.handle, 0u) << o.error;
  ASSERT_TRUE(BASS_ChannelPlay(o.handle, FALSE));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(o.handle) == BASS_ACTIVE_STALLED; }, 6));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(o.handle) == BASS_ACTIVE_PLAYING; }, 15));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(o.handle) == BASS_ACTIVE_STOPPED; }, 10));
  BASS_StreamFree(o.handle);
  ExpectNoThreadsLeft(s);
}

namespace {
struct Calls {
  std::atomic<int> n{0};
};
void CALLBACK CountDownload(const void*, DWORD, void* u) { ++static_cast<Calls*>(u)->n; }
void CALLBACK CountSync(HSYNC, DWORD, DWORD, void* u) { ++static_cast<Calls*>(u)->n; }
}  // namespace

TEST_F(Hostile, FreeDuringAStallReturnsAtOnceWithNoCallbackAfter) {
  TestServer s([](Conn& c) {
    c.Send("ICY 200 OK\r\nicy-metaint: 4000\r\n\r\n");
    const auto& a = Mp3();
    for (size_t p = 0; p + 4000 <= 16000; p += 4000) {
      c.Send(a.data() + p, 4000);
      c.Send(MetaBlock("StreamTitle='T" + std::to_string(p) + "';"));
    }
    c.Sleep(60000);  // then nothing, until the test ends
  });
  Calls calls;
  auto t0 = std::chrono::steady_clock::now();
  DWORD h = BASS_StreamCreateURL(s.Url("/").c_str(), 0, BASS_STREAM_STATUS, CountDownload, &calls);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_ChannelSetSync(h, BASS_SYNC_META, 0, CountSync, &calls);
  BASS_ChannelSetSync(h, BASS_SYNC_END, 0, CountSync, &calls);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STALLED; }, 8));
  (void)t0;
  auto f0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(BASS_StreamFree(h));
  long long freeMs = MsSince(f0);
  RecordProperty("free_ms", int(freeMs));
  EXPECT_LT(freeMs, kHang);
  int after = calls.n.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(calls.n.load(), after);
  ExpectNoThreadsLeft(s);
}

// https:// is spoken as TLS: the first bytes the server gets are a TLS handshake record. A
// server that then hangs up fails the open with error 2 at once.
TEST_F(Hostile, HttpsIsSpokenAsTlsAndABrokenHandshakeFails) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(fd, 1), 0);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  unsigned char first[3] = {0, 0, 0};
  std::thread server([&] {
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    int c = accept(fd, nullptr, nullptr);
    if (c < 0) return;
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    size_t got = 0;
    while (got < sizeof first) {
      ssize_t n = recv(c, first + got, sizeof first - got, 0);
      if (n <= 0) break;
      got += size_t(n);
    }
    close(c);
  });
  Opened o = Open("https://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/x.mp3");
  server.join();
  close(fd);
  EXPECT_EQ(first[0], 0x16);  // handshake record
  EXPECT_EQ(first[1], 0x03);  // of TLS (1.0 to 1.3 all write 3 here)
  EXPECT_EQ(o.handle, 0u);
  EXPECT_EQ(o.error, BASS_ERROR_FILEOPEN);
  EXPECT_LT(o.ms, kHang);
  EXPECT_EQ(WaitThreads(baseThreads_), baseThreads_);
}

TEST_F(Hostile, UnsupportedSchemes) {
  for (const char* u : {"ftp://127.0.0.1/a.mp3", "file:///etc/passwd", "gopher://x/", "nonsense"}) {
    EXPECT_EQ(BASS_StreamCreateURL(u, 0, 0, nullptr, nullptr), 0u) << u;
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL) << u;
  }
  // Nothing answers MMS here: both transports fail and the answer is "not available".
  BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 300);
  EXPECT_EQ(BASS_StreamCreateURL("mms://127.0.0.1:1/none", 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  EXPECT_EQ(WaitThreads(baseThreads_), baseThreads_);
}

// Network streams against servers started inside each test: ICY broadcasts with metadata,
// Icecast answers, network files with and without a length.
#include "NetTestUtil.h"

using namespace nt;

namespace {

struct Titles {
  std::mutex m;
  std::vector<std::string> seen;
  DWORD handle = 0;
};

void CALLBACK OnMeta(HSYNC, DWORD channel, DWORD, void* user) {
  auto* t = static_cast<Titles*>(user);
  const char* meta = BASS_ChannelGetTags(channel, BASS_TAG_META);
  std::lock_guard<std::mutex> lk(t->m);
  t->seen.push_back(meta ? meta : "(none)");
}

std::vector<std::string> TagList(const char* t) {
  std::vector<std::string> out;
  while (t && *t) {
    out.emplace_back(t);
    t += out.back().size() + 1;
  }
  return out;
}

bool HasLine(const char* tags, const std::string& line) {
  for (auto& l : TagList(tags))
    if (l == line) return true;
  return false;
}

// An ICY body: the file interleaved with a metadata block every "metaint" bytes, block k carrying
// titles[k] (the last one repeated when there are fewer). Sent in odd chunk sizes, with single
// bytes around every block.
void SendIcy(Conn& c, const std::vector<uint8_t>& audio, size_t metaint, const std::vector<std::string>& titles,
             const std::string& head) {
  if (!c.Send(head)) return;
  size_t pos = 0, block = 0, chunk = 997;
  while (pos < audio.size()) {
    size_t run = std::min(metaint, audio.size() - pos);
    // odd chunks up to the byte before the block, then that byte alone
    size_t sent = 0;
    while (sent + 1 < run) {
      size_t k = std::min(chunk, run - 1 - sent);
      if (!c.Send(audio.data() + pos + sent, k)) return;
      sent += k;
      chunk = chunk % 2500 + 311;
    }
    if (!c.Send(audio.data() + pos + sent, run - sent)) return;
    pos += run;
    if (run < metaint) break;
    std::string text = "StreamTitle='" + titles[std::min(block, titles.size() - 1)] + "';StreamUrl='';";
    std::string mb = MetaBlock(text);
    if (!c.Send(mb.data(), 1) || !c.Send(mb.data() + 1, mb.size() - 1)) return;
    ++block;
  }
}

}  // namespace

class IcyStream : public NetTest {};

TEST_F(IcyStream, AudioEqualsFfmpegDecodeAndTitlesArriveInOrder) {
  bt::TempFolder dir;
  std::string mp3 = bt::Generate(dir / "a.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0", 6.0);
  auto audio = Bytes(mp3);
  auto ref = bt::FfmpegDecodeS16(mp3, dir / "a");
  std::vector<std::string> titles = {"Artist - Song 1", "Artist - Song 2", "Artist - Song 2"};
  for (int i = 3; i < 20; ++i) titles.push_back("Artist - Song " + std::to_string(i));
  TestServer server([&](Conn& c) {
    SendIcy(c, audio, 8192, titles,
            "ICY 200 OK\r\nicy-name: Test Radio\r\nicy-br: 128\r\nicy-metaint: 8192\r\n"
            "content-type: audio/mpeg\r\n\r\n");
  });
  Titles t;
  DWORD h = BASS_StreamCreateURL(server.Url("/").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_TRUE(server.LastRequest().find("Icy-MetaData: 1") != std::string::npos);
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_META, 0, OnMeta, &t), 0u);
  const char* icy = BASS_ChannelGetTags(h, BASS_TAG_ICY);
  ASSERT_NE(icy, nullptr);
  EXPECT_TRUE(HasLine(icy, "icy-br: 128"));
  EXPECT_TRUE(HasLine(icy, "ICY 200 OK"));
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(-1));  // a broadcast has no length
  EXPECT_FALSE(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE) && BASS_ChannelGetPosition(h, BASS_POS_BYTE) != 0);

  auto pcm = bt::AsS16(DecodeNet(h));
  ASSERT_EQ(pcm.size(), ref.size());
  size_t diffs = 0;
  for (size_t i = 0; i < ref.size(); ++i) diffs += pcm[i] != ref[i];
  EXPECT_EQ(diffs, 0u);

  // One notice per new title, in order; the repeated title gives none.
  size_t blocks = audio.size() / 8192;
  std::vector<std::string> expected;
  for (size_t b = 0; b < blocks; ++b) {
    std::string text = "StreamTitle='" + titles[std::min(b, titles.size() - 1)] + "';StreamUrl='';";
    if (expected.empty() || expected.back() != text) expected.push_back(text);
  }
  BASS_StreamFree(h);
  std::lock_guard<std::mutex> lk(t.m);
  EXPECT_EQ(t.seen, expected);
}

TEST_F(IcyStream, PlayedStreamFiresTitlesWhenHeard) {
  bt::TempFolder dir;
  std::string mp3 = bt::Generate(dir / "a.mp3", "-c:a libmp3lame -b:a 128k", 3.0);
  auto audio = Bytes(mp3);
  TestServer server([&](Conn& c) {
    SendIcy(c, audio, 8192, {"One", "Two", "Three", "Four", "Five", "Six"},
            "ICY 200 OK\r\nicy-br: 128\r\nicy-metaint: 8192\r\n\r\n");
  });
  Titles t;
  DWORD h = BASS_StreamCreateURL(server.Url("/live").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_ChannelSetSync(h, BASS_SYNC_META, 0, OnMeta, &t);
  std::atomic<int> ends{0};
  BASS_ChannelSetSync(h, BASS_SYNC_END, 0, [](HSYNC, DWORD, DWORD, void* u) { ++*static_cast<std::atomic<int>*>(u); },
                      &ends);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 15));
  // The server closing the broadcast is its end.
  EXPECT_TRUE(bt::WaitFor([&] { return ends.load() == 1; }, 5));
  BASS_StreamFree(h);
  EXPECT_EQ(ends.load(), 1);
  std::vector<std::string> expected;
  for (const char* n : {"One", "Two", "Three", "Four", "Five", "Six"})
    if (expected.size() < audio.size() / 8192) expected.push_back(std::string("StreamTitle='") + n + "';StreamUrl='';");
  {
    std::lock_guard<std::mutex> lk(t.m);
    EXPECT_EQ(t.seen, expected);
  }
  server.Stop();
  EXPECT_EQ(WaitThreads(baseThreads_), baseThreads_);
}

TEST_F(IcyStream, IcecastHttpAnswerWithIcyHeaders) {
  bt::TempFolder dir;
  // Broadcasts carry no Xing header, so no end padding is known to trim.
  std::string mp3 = bt::Generate(dir / "a.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0", 2.0);
  auto audio = Bytes(mp3);
  auto ref = bt::FfmpegDecodeS16(mp3, dir / "a");
  TestServer server([&](Conn& c) {
    SendIcy(c, audio, 16000, {"Icecast title"},
            "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-br: 128\r\nicy-name: Ice\r\n"
            "icy-metaint: 16000\r\n\r\n");
  });
  DWORD h = BASS_StreamCreateURL(server.Url("/stream.mp3").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  const char* http = BASS_ChannelGetTags(h, BASS_TAG_HTTP);
  EXPECT_TRUE(HasLine(http, "icy-br: 128"));
  EXPECT_TRUE(HasLine(http, "HTTP/1.0 200 OK"));
  // A name ending in .mp3 with icy-metaint is still a broadcast.
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(-1));
  EXPECT_EQ(bt::AsS16(DecodeNet(h)), ref);
  const char* meta = BASS_ChannelGetTags(h, BASS_TAG_META);
  ASSERT_NE(meta, nullptr);
  EXPECT_STREQ(meta, "StreamTitle='Icecast title';StreamUrl='';");
  BASS_StreamFree(h);
}

class NetFile : public NetTest {};

TEST_F(NetFile, DownloadCompletesOnceThenSeeksAndReadsTags) {
  bt::TempFolder dir;
  std::string mp3 = bt::Generate(dir / "f.mp3",
                                 "-c:a libmp3lame -b:a 128k -id3v2_version 3 -write_id3v1 1 -metadata title=Hello", 4.0);
  auto file = Bytes(mp3);
  auto ref = bt::FfmpegDecodeS16(mp3, dir / "f");
  TestServer server([&](Conn& c) {
    std::string path = c.Path();
    size_t from = 0;
    size_t r = c.request.find("Range: bytes=");
    if (r != std::string::npos) from = std::stoul(c.request.substr(r + 13));
    std::string head = std::string(from ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n") +
                       "Content-Type: audio/mpeg\r\nContent-Length: " + std::to_string(file.size() - from) + "\r\n\r\n";
    if (!c.Send(head)) return;
    // Paced: the download completes after the stream was created.
    for (size_t p = from; p < file.size(); p += 8000) {
      if (!c.Send(file.data() + p, std::min<size_t>(8000, file.size() - p))) return;
      if (!c.Sleep(20)) return;
    }
  });
  std::atomic<int> downloads{0};
  DWORD h = BASS_StreamCreateURL(server.Url("/music/f.mp3?x=1").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_DOWNLOAD, 0,
                                [](HSYNC, DWORD, DWORD, void* u) { ++*static_cast<std::atomic<int>*>(u); }, &downloads),
            0u);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(file.size()));
  EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_ID3), nullptr);  // the tail has not arrived
  EXPECT_FALSE(BASS_ChannelSetPosition(h, 100000, BASS_POS_BYTE));  // not while downloading
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_WMA_BUFFER), QWORD(-1));
  ASSERT_TRUE(bt::WaitFor([&] { return downloads.load() > 0; }, 15));
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD), QWORD(file.size()));
  const char* id3 = BASS_ChannelGetTags(h, BASS_TAG_ID3);
  ASSERT_NE(id3, nullptr);
  EXPECT_EQ(std::string(id3, 3), "TAG");
  EXPECT_EQ(std::string(id3 + 3, 5), "Hello");
  EXPECT_NE(BASS_ChannelGetTags(h, BASS_TAG_ID3V2), nullptr);
  // Exact length and sample-exact seeking once it is all here.
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(ref.size() * 2));
  QWORD at = 44100 * 4 * 2 + 4 * 123;
  ASSERT_TRUE(BASS_ChannelSetPosition(h, at, BASS_POS_BYTE)) << BASS_ErrorGetCode();
  auto tail = bt::AsS16(DecodeNet(h));
  ASSERT_EQ(tail.size(), ref.size() - at / 2);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), ref.begin() + long(at / 2)));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(downloads.load(), 1);
  BASS_StreamFree(h);
}

TEST_F(NetFile, OffsetIsARangeRequest) {
  bt::TempFolder dir;
  std::string mp3 = bt::Generate(dir / "f.mp3", "-c:a libmp3lame -b:a 128k", 2.0);
  auto file = Bytes(mp3);
  TestServer server([&](Conn& c) {
    size_t from = 0;
    size_t r = c.request.find("Range: bytes=");
    if (r != std::string::npos) from = std::stoul(c.request.substr(r + 13));
    c.Send("HTTP/1.1 206 Partial Content\r\nContent-Type: audio/mpeg\r\nContent-Length: " +
           std::to_string(file.size() - from) + "\r\n\r\n");
    c.Send(file.data() + from, file.size() - from);
  });
  DWORD h = BASS_StreamCreateURL(server.Url("/f.mp3").c_str(), 4000, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_NE(server.LastRequest().find("Range: bytes=4000-"), std::string::npos);
  EXPECT_GT(DecodeNet(h).size(), 0u);
  BASS_StreamFree(h);
}

TEST_F(NetFile, ChunkedAnswerWithoutLengthIsLive) {
  bt::TempFolder dir;
  std::string mp3 = bt::Generate(dir / "c.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0", 2.0);
  auto file = Bytes(mp3);
  auto ref = bt::FfmpegDecodeS16(mp3, dir / "c");
  std::vector<std::string> status;
  TestServer server([&](Conn& c) {
    if (!c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nTransfer-Encoding: chunked\r\n\r\n")) return;
    for (size_t p = 0; p < file.size(); p += 3001) {
      size_t k = std::min<size_t>(3001, file.size() - p);
      char len[32];
      std::snprintf(len, sizeof len, "%zx\r\n", k);
      if (!c.Send(len) || !c.Send(file.data() + p, k) || !c.Send("\r\n")) return;
    }
    c.Send("0\r\n\r\n");
  });
  struct Proc {
    std::mutex m;
    std::vector<std::string> status;
    size_t bytes = 0;
    int ends = 0;
  } proc;
  auto dl = [](const void* buf, DWORD len, void* user) {
    auto* p = static_cast<Proc*>(user);
    std::lock_guard<std::mutex> lk(p->m);
    if (!buf) ++p->ends;
    else if (len == 0) p->status = TagList(static_cast<const char*>(buf));
    else p->bytes += len;
  };
  DWORD h = BASS_StreamCreateURL(server.Url("/song.mp3").c_str(), 0, BASS_STREAM_DECODE | BASS_STREAM_STATUS, dl, &proc);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(-1));
  EXPECT_EQ(bt::AsS16(DecodeNet(h)), ref);
  BASS_StreamFree(h);
  std::lock_guard<std::mutex> lk(proc.m);
  ASSERT_FALSE(proc.status.empty());
  EXPECT_EQ(proc.status[0], "HTTP/1.1 200 OK");
  EXPECT_EQ(proc.bytes, file.size());
  EXPECT_EQ(proc.ends, 1);
}

TEST_F(NetFile, PlaylistAnswerIsFollowedWhenAsked) {
  bt::TempFolder dir;
  std::string mp3 = bt::Generate(dir / "p.mp3", "-c:a libmp3lame -b:a 128k", 1.0);
  auto file = Bytes(mp3);
  TestServer* self = nullptr;
  TestServer server([&](Conn& c) {
    if (c.Path() == "/list.pls") {
      std::string body = "[playlist]\r\nNumberOfEntries=1\r\nFile1=" + self->Url("/p.mp3") + "\r\n";
      c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/x-scpls\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\n\r\n" + body);
      return;
    }
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: " + std::to_string(file.size()) + "\r\n\r\n");
    c.Send(file.data(), file.size());
  });
  self = &server;
  EXPECT_EQ(BASS_StreamCreateURL(server.Url("/list.pls").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr), 0u);
  BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
  DWORD h = BASS_StreamCreateURL(server.Url("/list.pls").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_GT(DecodeNet(h).size(), 0u);
  BASS_StreamFree(h);
  BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 0);
}

TEST_F(NetFile, ConfigDefaults) {
  EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_NET_BUFFER), 5000u);
  EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_NET_PREBUF), 75u);
  EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_NET_PLAYLIST), 0u);
  EXPECT_EQ(BASS_GetConfig(BASS_CONFIG_NET_TIMEOUT), 1000u);  // set by the fixture
}

// The agent and proxy settings reach the request; the broadcast's ring holds the configured
// time at the announced bit rate; positions 4 and 5 tell the connection and what is buffered.
TEST_F(NetFile, AgentProxyBufferSettingsAndConnectionPositions) {
  bt::TempFolder dir;
  auto audio = Bytes(bt::Generate(dir / "a.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0", 2.0));
  std::atomic<bool> hold{true};
  TestServer server([&](Conn& c) {
    if (!c.Send("ICY 200 OK\r\nicy-br: 128\r\n\r\n") || !c.Send(audio.data(), audio.size())) return;
    while (hold.load() && c.Sleep(20)) {
    }
  });
  struct Reset {
    ~Reset() {
      BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, nullptr);
      BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);
      BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 5000);
    }
  } reset;
  BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, "Orvella Test/1.0");
  BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 10000);
  DWORD h = BASS_StreamCreateURL(server.Url("/live").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_NE(server.LastRequest().find("User-Agent: Orvella Test/1.0\r\n"), std::string::npos) << server.LastRequest();
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(10000 * 128 / 8));  // 10 s at 128 kbit/s
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_CONNECTED), 1u);
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD) == audio.size(); }, 10));
  // What is buffered is what came less what the decoder has read (which may still move).
  EXPECT_TRUE(bt::WaitFor([&] {
    const QWORD read = BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT);
    const QWORD buffered = BASS_StreamGetFilePosition(h, BASS_FILEPOS_BUFFER);
    return read == BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT) && read > 0 && buffered == audio.size() - read;
  }, 10));
  hold = false;  // the server closes
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_StreamGetFilePosition(h, BASS_FILEPOS_CONNECTED) == 0; }, 10));
  BASS_StreamFree(h);

  // Through a proxy: the request for a name nobody resolves goes to the proxy whole.
  BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 5000);
  BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, ("127.0.0.1:" + std::to_string(server.Port())).c_str());
  h = BASS_StreamCreateURL("http://radio.invalid/live", 0, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(server.LastRequest().rfind("GET http://radio.invalid/live HTTP/1.1\r\n", 0), 0u) << server.LastRequest();
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(5000 * 128 / 8));
  BASS_StreamFree(h);
}

TEST_F(IcyStream, RestartOfABroadcastPlaysOnFromWhatComesNext) {
  bt::TempFolder dir;
  auto audio = Bytes(bt::Generate(dir / "r.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0", 2.0));
  TestServer server([&](Conn& c) {
    c.Send("ICY 200 OK\r\nicy-br: 128\r\n\r\n");
    c.Send(audio.data(), audio.size());
  });
  DWORD h = BASS_StreamCreateURL(server.Url("/").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_FALSE(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE));
  EXPECT_TRUE(BASS_ChannelPlay(h, TRUE));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  BASS_StreamFree(h);
}

TEST_F(IcyStream, ChainedOggGivesTheNextPartsComments) {
  bt::TempFolder dir;
  auto first = Bytes(bt::Generate(dir / "1.ogg", "-c:a libvorbis -q:a 3 -metadata title=First", 2.0));
  auto second = Bytes(bt::Generate(dir / "2.ogg", "-c:a libvorbis -q:a 3 -metadata title=Second", 2.0));
  std::vector<uint8_t> body = first;
  body.insert(body.end(), second.begin(), second.end());
  TestServer server([&](Conn& c) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Type: application/ogg\r\nicy-br: 96\r\n\r\n");
    c.Send(body.data(), body.size());
  });
  Titles t;
  DWORD h = BASS_StreamCreateURL(server.Url("/radio.ogg").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  auto upper = [](std::string s) {
    for (auto& ch : s) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    return s;
  };
  auto hasTitle = [&](const char* list, const std::string& entry) {
    for (auto& l : TagList(list))
      if (upper(l) == entry) return true;
    return false;
  };
  EXPECT_TRUE(hasTitle(BASS_ChannelGetTags(h, BASS_TAG_OGG), "TITLE=FIRST"));
  BASS_ChannelSetSync(h, BASS_SYNC_META, 0,
                      [](HSYNC, DWORD ch, DWORD, void* u) {
                        auto* t = static_cast<Titles*>(u);
                        std::vector<std::string> l = TagList(BASS_ChannelGetTags(ch, BASS_TAG_META));
                        std::lock_guard<std::mutex> lk(t->m);
                        for (auto& e : l)
                          if (e.size() > 6 && std::toupper(e[0]) == 'T' && e.find('=') == 5) t->seen.push_back(e.substr(6));
                      },
                      &t);
  auto pcm = DecodeNet(h);
  EXPECT_GT(pcm.size(), size_t(44100 * 4 * 3));  // both parts were decoded
  BASS_StreamFree(h);
  std::lock_guard<std::mutex> lk(t.m);
  EXPECT_EQ(t.seen, std::vector<std::string>{"Second"});
}

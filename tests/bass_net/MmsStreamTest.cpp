// mms:// addresses against an MMS-over-HTTP server started inside each test: the library
// reaches it through FFmpeg's mmsh client and decodes the Windows Media stream with the WMA
// add-on exactly as FFmpeg decodes the file itself.
#include "HttpTestServerMmsh.h"
#include "NetTestUtil.h"

using namespace nt;

namespace {

std::string AddonPath(const std::string& name) { return std::string(ORVELLA_STAGE_DIR) + "/plugins/bass/" + name + ".so"; }

std::vector<float> FfmpegDecodeF32(const std::string& path, const std::string& raw) {
  std::string cmd = "ffmpeg -nostdin -y -i \"" + path + "\" -f f32le -c:a pcm_f32le \"" + raw + "\"";
  EXPECT_EQ(bt::Run(cmd), 0) << cmd;
  auto bytes = bt::ReadFile(raw);
  std::vector<float> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

bool HasLine(const char* list, const std::string& line) {
  for (const char* t = list; t && *t; t += std::strlen(t) + 1)
    if (line == t) return true;
  return false;
}

class MmsStream : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    plugin_ = BASS_PluginLoad(AddonPath("basswma").c_str(), 0);
    ASSERT_NE(plugin_, 0u) << BASS_ErrorGetCode();
    asfPath_ = dir_ / "radio.asf";
    bt::Generate(asfPath_, "-c:a wmav2 -b:a 128k -metadata title='Morning Show' -metadata artist=Station", 3.0);
    std::vector<uint8_t> bytes = bt::ReadFile(asfPath_);
    ASSERT_TRUE(enginetest::MmshAsf::FromFile(std::string(bytes.begin(), bytes.end()), asf_));
    baseThreads_ = ThreadCount();
  }
  void TearDown() override {
    BASS_PluginFree(plugin_);
    NetTest::TearDown();
  }
  bt::TempFolder dir_;
  std::string asfPath_;
  enginetest::MmshAsf asf_;
  HPLUGIN plugin_ = 0;
};

}  // namespace

TEST_F(MmsStream, OpensThroughMmshAndDecodesLikeFfmpegDecodesTheFile) {
  const std::vector<float> ref = FfmpegDecodeF32(asfPath_, dir_ / "ref.f32");
  ASSERT_GT(ref.size(), 44100u * 2);
  enginetest::HttpTestServer server(enginetest::MmshHandler(asf_));
  const std::string url = "mms://127.0.0.1:" + std::to_string(server.Port()) + "/radio";
  DWORD h = BASS_StreamCreateURL(url.c_str(), 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();

  // The mmsh exchange: a describe request, then the play request, both as FFmpeg's client.
  const auto seen = server.Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].path, "/radio");
  EXPECT_EQ(seen[0].Header("User-Agent").rfind("NSPlayer/", 0), 0u) << seen[0].head;
  EXPECT_FALSE(enginetest::MmshIsPlayRequest(seen[0]));
  EXPECT_TRUE(enginetest::MmshIsPlayRequest(seen[1])) << seen[1].head;

  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_WMA));
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 2u);
  EXPECT_EQ(info.plugin, plugin_);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(-1));  // a broadcast
  // The Windows Media header tags of the stream.
  const char* wma = BASS_ChannelGetTags(h, BASS_TAG_WMA);
  EXPECT_TRUE(HasLine(wma, "Title=Morning Show"));
  EXPECT_TRUE(HasLine(wma, "Author=Station"));
  EXPECT_TRUE(HasLine(wma, "Bitrate=128000"));
  EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_HTTP), nullptr);
  // The broadcast's ring: the network buffer's 5 s at the header's 128 kbit/s.
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(5000 * 128 / 8));

  auto bytes = DecodeNet(h);
  ASSERT_EQ(bytes.size(), ref.size() * 4);
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), QWORD(bytes.size()));
  size_t differ = 0;
  for (size_t i = 0; i < ref.size(); ++i) {
    float v;
    std::memcpy(&v, bytes.data() + 4 * i, 4);
    differ += v != ref[i];
  }
  EXPECT_EQ(differ, 0u);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_CONNECTED), 0u);  // the server has ended
  EXPECT_TRUE(BASS_StreamFree(h));
  server.Stop();
  EXPECT_EQ(WaitThreads(baseThreads_), baseThreads_);
}

// A server sending in real time (a packet holds 200 ms here): the stream plays, and freeing it
// in the middle of the transfer returns at once and leaves no thread behind.
TEST_F(MmsStream, AStreamSentInRealTimePlaysAndIsFreedAtOnce) {
  enginetest::MmshOptions paced;
  paced.packetDelayMs = 200;
  enginetest::HttpTestServer server(enginetest::MmshHandler(asf_, paced));
  const std::string url = "mms://127.0.0.1:" + std::to_string(server.Port()) + "/live";
  DWORD h = BASS_StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_CONNECTED), 1u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelGetPosition(h, BASS_POS_BYTE) > 0; }, 10));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(BASS_StreamFree(h));
  EXPECT_LT(MsSince(t0), 2000);  // far below the transfer's remaining seconds; only a hang trips it
  server.Stop();
  EXPECT_EQ(WaitThreads(baseThreads_), baseThreads_);
}

// An HTTP server that does not speak MMS, and a port nobody listens on: neither mmsh nor mmst
// gets a stream, which is "not available".
TEST_F(MmsStream, AServerThatIsNoMmsServerIsNotAvailable) {
  enginetest::HttpTestServer web([](const enginetest::HttpTestServer::Request&, enginetest::HttpTestServer::Connection& c) {
    c.Write(enginetest::HttpTestServer::Response("404 Not Found", {"Content-Type: text/html"}, "<html>no</html>"));
  });
  const std::string url = "mms://127.0.0.1:" + std::to_string(web.Port()) + "/x";
  EXPECT_EQ(BASS_StreamCreateURL(url.c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  web.Stop();
  EXPECT_EQ(WaitThreads(baseThreads_), baseThreads_);
}

// The command-line program, run as a user would run it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "../engine/EngineTestUtil.h"
#include "../engine/HttpTestServer.h"
#include "../engine/HttpTestServerMmsh.h"

using namespace enginetest;

namespace {

const std::string kOrvella = std::string(ORVELLA_STAGE_DIR) + "/orvella";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    out.push_back(text.substr(pos, nl - pos));
    pos = nl + 1;
  }
  return out;
}

}  // namespace

TEST(OrvellaInfo, JsonLinesCarryTheRecordAndTheExitStatusTellsRecognition) {
  ScratchDir dir;
  std::string wav = SineWav(1.0);
  std::string mp3 = Media("cli.mp3", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1 -ac 2 "
                                     "-c:a libmp3lame -b:a 128k -metadata title='Quote \"me\"' -metadata artist=Ann {out}");
  ASSERT_FALSE(mp3.empty());
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " info --json " + Quote(wav) + " " + Quote(mp3), &status);
  EXPECT_EQ(status, 0);
  auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("\"FileName\":\"" + wav + "\""), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("\"BitRate\":1411,"), std::string::npos);
  EXPECT_NE(lines[0].find("\"FormatName\":\"Integer PCM WAVE\""), std::string::npos);
  EXPECT_NE(lines[0].find("\"Recognised\":true}"), std::string::npos);
  EXPECT_NE(lines[1].find("\"Title\":\"Quote \\\"me\\\"\""), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("\"Artist\":\"Ann\""), std::string::npos);
  EXPECT_NE(lines[1].find("\"Format\":65541,"), std::string::npos);
  EXPECT_NE(lines[1].find("\"SupportedBy\":1,\"PluginIndex\":-1,\"PluginName\":\"\""), std::string::npos);
  // Python's JSON reader accepts every line.
  WriteFile(dir.File("out.jsonl"), out);
  enginetest::Run("python3 -c 'import json,sys; [json.loads(l) for l in open(sys.argv[1])]' " + Quote(dir.File("out.jsonl")),
      &status);
  EXPECT_EQ(status, 0);

  WriteFile(dir.File("x.xyz"), "not audio");
  out = enginetest::Run(kOrvella + " info --json " + Quote(wav) + " " + Quote(dir.File("x.xyz")) + " 2>/dev/null", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("\"Recognised\":false"), std::string::npos);
  enginetest::Run(kOrvella + " info 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  enginetest::Run(kOrvella + " info --bogus x 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}

TEST(OrvellaPlay, PlaysEachFileToItsEndIntoTheCapture) {
  ScratchDir dir;
  std::string a = SineWav(1.0, 440);
  std::string b = SineWav(1.5, 330);
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " play --out " + Quote(dir.File("o.wav")) + " --fast " + Quote(a) + " " + Quote(b),
                        &status);
  EXPECT_EQ(status, 0) << out;
  auto lines = Lines(out);
  std::vector<std::string> expected = {"file " + a,
                                       "mode plmStandby -> plmReady",
                                       "mode plmReady -> plmPlaying",
                                       "mode plmPlaying -> plmStopped",
                                       "event OnPlayEnd",
                                       "file " + b,
                                       "mode plmStopped -> plmStandby",
                                       "mode plmStandby -> plmReady",
                                       "mode plmReady -> plmPlaying",
                                       "mode plmPlaying -> plmStopped",
                                       "event OnPlayEnd",
                                       "mode plmStopped -> plmStandby"};
  EXPECT_EQ(lines, expected);
  std::vector<int16_t> cap = ReadWav16(dir.File("o.wav"));
  EXPECT_GE(cap.size(), size_t(2.5 * 44100 * 2));
}

TEST(OrvellaPlay, SeekAndFailuresShowInTheStatusAndOnStandardError) {
  ScratchDir dir;
  std::string a = SineWav(10.0, 440);
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " play --out " + Quote(dir.File("s.wav")) + " --fast --seek 8000 " + Quote(a) +
                            " /nonexistent/file.mp3 2>" + Quote(dir.File("err.txt")),
                        &status);
  EXPECT_EQ(status, 1);
  std::string err = ReadFile(dir.File("err.txt"));
  EXPECT_NE(err.find("Error: Invalid or unsupported stream file.  -> /nonexistent/file.mp3"), std::string::npos) << err;
  // About two seconds were heard after the seek, far less than ten.
  std::vector<int16_t> cap = ReadWav16(dir.File("s.wav"));
  double seconds = double(cap.size()) / 2 / 44100;
  EXPECT_GT(seconds, 1.9);
  EXPECT_LT(seconds, 4.0);
  enginetest::Run(kOrvella + " play --pause-at 100 " + Quote(a) + " 2>/dev/null", &status);
  EXPECT_EQ(status, 2);  // --pause-at needs --resume-after
}

// orvella attaches the player's format add-ons: every format the player plays is
// recognised and played, at sample rates from 8 to 48 kHz.
TEST(OrvellaFormats, EveryFormatThePlayerPlaysIsRecognisedAndPlayed) {
  ScratchDir dir;
  const std::string tone = "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1 ";
  struct Case {
    const char* name;
    const char* encode;
    int rate;
  };
  const Case cases[] = {
      {"fmt8k.flac", "-ac 2 -c:a flac", 8000},        {"fmt22k.aac", "-ac 2 -c:a aac -f adts", 22050},
      {"fmt44k.m4a", "-ac 2 -c:a aac", 44100},        {"fmt48k.opus", "-ac 2 -c:a libopus", 48000},
      {"fmt16k.spx", "-ac 1 -c:a libspeex", 16000},   {"fmt11k.tta", "-ac 2 -c:a tta", 11025},
      {"fmt32k.wma", "-ac 2 -c:a wmav2", 32000},      {"fmt24k.mp3", "-ac 2 -c:a libmp3lame", 24000},
      {"fmt44k.ogg", "-ac 2 -c:a libvorbis", 44100},  {"fmt8k.wav", "-ac 1 -c:a pcm_s16le", 8000},
      {"fmt48k.wav", "-ac 2 -c:a pcm_s16le", 48000},
  };
  std::vector<std::string> files;
  for (const Case& c : cases) {
    std::string f = Media(c.name, tone + "-ar " + std::to_string(c.rate) + " " + c.encode + " {out}");
    ASSERT_FALSE(f.empty()) << c.name;
    files.push_back(f);
  }
  int status = -1;
  std::string all;
  for (const auto& f : files) all += " " + Quote(f);
  std::string out = enginetest::Run(kOrvella + " info --json" + all + " 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  auto lines = Lines(out);
  ASSERT_EQ(lines.size(), files.size()) << out;
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_NE(lines[i].find("\"Recognised\":true"), std::string::npos) << lines[i];
    EXPECT_NE(lines[i].find("\"SampleRate\":" + std::to_string(cases[i].rate) + ","), std::string::npos) << lines[i];
  }

  out = enginetest::Run(kOrvella + " play --out " + Quote(dir.File("all.wav")) + " --fast" + all + " 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  size_t ends = 0;
  for (const auto& l : Lines(out)) ends += l == "event OnPlayEnd";
  EXPECT_EQ(ends, files.size()) << out;
  EXPECT_EQ(out.find("Error:"), std::string::npos) << out;
  // About a second of sound from each file.
  std::vector<int16_t> cap = ReadWav16(dir.File("all.wav"));
  double seconds = double(cap.size()) / 2 / 44100;
  EXPECT_GT(seconds, 0.9 * double(files.size())) << seconds;
}

TEST(OrvellaPlay, DurationEndsPlaybackAfterThatMuchAudio) {
  ScratchDir dir;
  std::string wav = SineWav(5.0);
  int status = -1;
  // On the real-time clock: the stop comes from the position heard, checked every 20 ms.
  std::string out = enginetest::Run(
      kOrvella + " play --duration 1000 --out " + Quote(dir.File("d.wav")) + " " + Quote(wav), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("event OnPlayEnd"), std::string::npos) << out;
  EXPECT_NE(out.find("mode plmPlaying -> plmStopped"), std::string::npos) << out;
  int channels = 0, rate = 0;
  std::vector<int16_t> cap = ReadWav16(dir.File("d.wav"), &channels, &rate);
  ASSERT_GT(channels * rate, 0);
  const double seconds = double(cap.size()) / (channels * rate);
  EXPECT_GE(seconds, 1.0);
  EXPECT_LT(seconds, 3.0);  // what was queued and the fade, not the whole file
  enginetest::Run(kOrvella + " play --duration soon " + Quote(wav) + " 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}

// A MIDI file served over HTTP: `info` names it by its address and `play` fetches it once
// and plays it through; an address nobody answers is not recognised.
TEST(OrvellaNetwork, AFileOverHttpIsIdentifiedAndPlayedAndAClosedPortFails) {
  ScratchDir dir;
  const std::string midi = LyricMidiFile();
  HttpTestServer server([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    c.Write(HttpTestServer::Response("200 OK", {"Content-Type: audio/midi"}, midi));
  });
  ASSERT_GT(server.Port(), 0);
  const std::string url = server.Url("/music/Lead%20Line.mid?x=1");
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " info --json " + Quote(url), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("\"Title\":\"Lead Line\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"SupportedBy\":1,"), std::string::npos) << out;
  EXPECT_NE(out.find("\"Recognised\":true"), std::string::npos) << out;
  out = enginetest::Run(kOrvella + " info " + Quote(url), &status);
  EXPECT_NE(out.find("  Network:    network file"), std::string::npos) << out;
  const int before = server.Requests();
  out = enginetest::Run(kOrvella + " play --fast --out " + Quote(dir.File("m.wav")) + " " + Quote(url), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("event OnGetLyric Hel-"), std::string::npos) << out;
  EXPECT_NE(out.find("event OnPlayEnd"), std::string::npos) << out;
  EXPECT_EQ(server.Requests(), before + 1);

  int closedPort;
  {
    HttpTestServer gone([](const HttpTestServer::Request&, HttpTestServer::Connection&) {});
    closedPort = gone.Port();
  }
  const std::string nobody = "http://127.0.0.1:" + std::to_string(closedPort) + "/x.mp3";
  out = enginetest::Run(kOrvella + " info --json " + Quote(nobody) + " 2>/dev/null", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("\"Recognised\":false"), std::string::npos) << out;
  out = enginetest::Run(kOrvella + " play " + Quote(nobody) + " 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("Invalid or unsupported URL stream."), std::string::npos) << out;
}

// A live ICY broadcast that never ends: `info` calls it one, `play` prints each new title
// as the engine reports it and --duration ends it after that much audio.
TEST(OrvellaNetwork, ABroadcastPrintsEachNewTitleAndDurationEndsIt) {
  ScratchDir dir;
  const std::string mp3 = Media("cli_radio.mp3", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=8 -ac 2 "
                                                 "-ar 44100 -c:a libmp3lame -b:a 128k -write_xing 0 {out}");
  ASSERT_FALSE(mp3.empty());
  std::vector<std::string> titles;
  for (int i = 1; i <= 40; ++i) titles.push_back("Artist - Song " + std::to_string(i));
  const std::string body = HttpTestServer::IcyInterleave(ReadFile(mp3), 8192, titles);
  HttpTestServer server([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    if (!c.Write("ICY 200 OK\r\nicy-name: Test Radio\r\nicy-br: 128\r\nicy-metaint: 8192\r\n\r\n") || !c.Write(body))
      return;
    while (c.Sleep(50)) {  // a broadcast stays open
    }
  });
  const std::string url = server.Url("/stream.mp3");
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " info --json " + Quote(url), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("\"BitRate\":128,"), std::string::npos) << out;
  out = enginetest::Run(kOrvella + " info " + Quote(url), &status);
  EXPECT_NE(out.find("  Network:    live broadcast"), std::string::npos) << out;

  out = enginetest::Run(kOrvella + " play --duration 3000 --out " + Quote(dir.File("r.wav")) + " " + Quote(url), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("event OnPlayEnd"), std::string::npos) << out;
  EXPECT_NE(out.find("mode plmPlaying -> plmStopped"), std::string::npos) << out;
  // Titles in the order sent, each once: a new block every 8192 bytes (half a second).
  std::vector<std::string> metas;
  for (const auto& l : Lines(out))
    if (l.rfind("event OnGetMeta ", 0) == 0) metas.push_back(l.substr(16));
  ASSERT_GE(metas.size(), 4u) << out;
  EXPECT_EQ(metas[0], "Artist - Song 1") << out;
  for (size_t i = 0; i < metas.size(); ++i) EXPECT_EQ(metas[i], titles[i]) << out;
  int channels = 0, rate = 0;
  std::vector<int16_t> cap = ReadWav16(dir.File("r.wav"), &channels, &rate);
  ASSERT_GT(channels * rate, 0);
  const double seconds = double(cap.size()) / (channels * rate);
  EXPECT_GE(seconds, 2.9);
  EXPECT_LT(seconds, 5.0);  // the duration, what was queued and the fade; not the whole 8 s sent
}

// A network file whose download completes after it opened: `play` reports the completion
// once and plays the file to its end.
TEST(OrvellaNetwork, ANetworkFileReportsItsDownloadOnceAndPlaysToTheEnd) {
  ScratchDir dir;
  const std::string mp3 = Media("cli_netfile4s.mp3", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=4 -ac 2 "
                                                   "-ar 44100 -c:a libmp3lame -b:a 128k {out}");
  ASSERT_FALSE(mp3.empty());
  const std::string file = ReadFile(mp3);
  HttpTestServer server([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    const std::string all = HttpTestServer::Response("200 OK", {"Content-Type: audio/mpeg"}, file);
    const size_t head = all.size() - file.size() + 32000;
    // The rest comes after the stream has opened.
    if (c.Write(all.substr(0, head)) && c.Sleep(1500)) c.Write(all.substr(head));
  });
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " play --fast --out " + Quote(dir.File("f.wav")) + " " +
                                        Quote(server.Url("/music/song.mp3")), &status);
  EXPECT_EQ(status, 0) << out;
  size_t downloaded = 0;
  for (const auto& l : Lines(out)) downloaded += l == "event OnDownloaded";
  EXPECT_EQ(downloaded, 1u) << out;
  EXPECT_LT(out.find("event OnDownloaded"), out.find("event OnPlayEnd")) << out;
  std::vector<int16_t> cap = ReadWav16(dir.File("f.wav"));
  EXPECT_GT(double(cap.size()) / 2 / 44100, 3.9);
}

// mms:// through MMS over HTTP: identified as a Windows Media broadcast, and what `play`
// hears is FFmpeg's decode of the file at the player's volume (255 of 256 steps: x 0.9945).
TEST(OrvellaNetwork, AnMmsAddressIsIdentifiedAndPlaysWhatFfmpegDecodes) {
  ScratchDir dir;
  const std::string asfPath = Media("cli_mms.asf", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=4 -ac 2 "
                                                   "-ar 44100 -c:a wmav2 -b:a 128k {out}");
  ASSERT_FALSE(asfPath.empty());
  MmshAsf asf;
  ASSERT_TRUE(MmshAsf::FromFile(ReadFile(asfPath), asf));
  HttpTestServer server(MmshHandler(asf));
  const std::string url = "mms://127.0.0.1:" + std::to_string(server.Port()) + "/radio";
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " info --json " + Quote(url), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("\"Format\":66304,"), std::string::npos) << out;  // Windows Media audio
  EXPECT_NE(out.find("\"BitRate\":128,"), std::string::npos) << out;
  EXPECT_NE(out.find("\"Recognised\":true"), std::string::npos) << out;
  out = enginetest::Run(kOrvella + " info " + Quote(url), &status);
  EXPECT_NE(out.find("  Network:    live broadcast"), std::string::npos) << out;
  EXPECT_TRUE(MmshIsPlayRequest(server.Seen().back()));

  out = enginetest::Run(kOrvella + " play --duration 2000 --out " + Quote(dir.File("m.wav")) + " " + Quote(url), &status);
  EXPECT_EQ(status, 0) << out;
  enginetest::Run("ffmpeg -nostdin -y -loglevel error -i " + Quote(asfPath) + " -f s16le -c:a pcm_s16le " +
                  Quote(dir.File("ref.raw")));
  const std::string refBytes = ReadFile(dir.File("ref.raw"));
  std::vector<int16_t> ref(refBytes.size() / 2);
  std::memcpy(ref.data(), refBytes.data(), ref.size() * 2);
  int channels = 0, rate = 0;
  std::vector<int16_t> cap = ReadWav16(dir.File("m.wav"), &channels, &rate);
  ASSERT_EQ(channels, 2);
  ASSERT_EQ(rate, 44100);
  // The real-time output plays silence where it ran ahead of the stream (at the start, and on a
  // busy machine now and then): walk the capture, skipping inserted silence, and require every
  // sound frame to be the reference's next one (within 1 for the volume's rounding), nothing
  // lost or altered, for the first 1.9 s (the stop's fade comes after 2 s).
  const size_t want = size_t(1.9 * 44100), refFrames = ref.size() / 2, capFrames = cap.size() / 2;
  ASSERT_GE(refFrames, want);
  auto same = [&](size_t c, size_t r) {
    for (size_t ch = 0; ch < 2; ++ch)
      if (std::abs(int(cap[2 * c + ch]) - int(std::lround(ref[2 * r + ch] * 0.9945))) > 1) return false;
    return true;
  };
  size_t c = 0, r = 0, inserted = 0;
  while (r < want && c < capFrames) {
    if (cap[2 * c] == 0 && cap[2 * c + 1] == 0) {
      bool continues = true;  // a zero frame of the sound itself is followed by the sound
      for (size_t k = 0; k < 8 && continues; ++k) continues = c + k < capFrames && same(c + k, r + k);
      if (!continues) {
        ++inserted;
        ++c;
        continue;
      }
    }
    if (!same(c, r)) break;
    ++c;
    ++r;
  }
  EXPECT_EQ(r, want) << "capture frame " << c << " differs from reference frame " << r << " (" << inserted
                     << " silent frames before it)";
}

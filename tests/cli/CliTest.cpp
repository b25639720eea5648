// The command-line program, run as a user would run it.
#include <gtest/gtest.h>

#include <cmath>

#include "../engine/EngineTestUtil.h"

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

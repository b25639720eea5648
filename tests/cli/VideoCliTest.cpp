// orvella media and orvella snapshot, run as a user would run them.
#include <gtest/gtest.h>

#include "../engine/EngineTestUtil.h"
#include "../video/VideoTestUtil.h"
#include "video/Snapshot.h"

using namespace enginetest;

namespace {

const std::string kOrvella = std::string(ORVELLA_STAGE_DIR) + "/orvella";

TEST(OrvellaMedia, PrintsEveryFieldAndJson) {
  const std::string mkv = videotest::SmallMkv();
  ASSERT_FALSE(mkv.empty());
  int status = -1;
  std::string out = enginetest::Run(kOrvella + " media " + Quote(mkv), &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.find("File=" + mkv + "\nStatus=\nMediaVideoMajorType=Video\n"), 0u) << out;
  EXPECT_NE(out.find("\nMediaVideoFourCC=H264\n"), std::string::npos);
  EXPECT_NE(out.find("\nMediaMpegAudioTag=\n"), std::string::npos);
  size_t lines = 0;
  for (char c : out) lines += c == '\n';
  EXPECT_EQ(lines, 28u);

  ScratchDir dir;
  out = enginetest::Run(kOrvella + " media --json " + Quote(mkv), &status);
  EXPECT_EQ(status, 0);
  WriteFile(dir.File("m.json"), out);
  const std::string check = enginetest::Run("python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
                                "print(len(d), d[\"MediaVideoComp\"], d[\"Status\"] == \"\")' " + Quote(dir.File("m.json")),
                                &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(check, "28 Intel Conferencing True\n");

  out = enginetest::Run(kOrvella + " media " + Quote(dir.File("none.mkv")), &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("Status=ERROR: FILE NOT FOUND\n"), std::string::npos);
  enginetest::Run(kOrvella + " media 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}

TEST(OrvellaSnapshot, SavesThePictureAtThatTime) {
  const std::string mkv = videotest::SmallMkv();
  ASSERT_FALSE(mkv.empty());
  ScratchDir dir;
  int status = -1;
  const std::string bmp = dir.File("at5.bmp");
  enginetest::Run(kOrvella + " snapshot " + Quote(mkv) + " --at 5000 --out " + Quote(bmp) + " 2>&1", &status);
  ASSERT_EQ(status, 0);
  video::TVideoFrame got, reference;
  ASSERT_TRUE(video::LoadBitmap24(bmp, got));
  EXPECT_EQ(got.Width, 320);
  EXPECT_EQ(got.Height, 240);
  ASSERT_TRUE(videotest::FFmpegFrame(mkv, 5.0, reference));
  EXPECT_LT(videotest::MeanAbsDiff(got, reference), 4.0);
  EXPECT_NEAR(videotest::ChannelMean(got, 16), 100, 6) << "not the picture of second 5";

  WriteFile(dir.File("junk.mkv"), std::string(50000, '\x5a'));
  enginetest::Run(kOrvella + " snapshot " + Quote(dir.File("junk.mkv")) + " --at 0 --out " + Quote(dir.File("j.bmp")) +
          " 2>/dev/null",
      &status);
  EXPECT_EQ(status, 1);
  enginetest::Run(kOrvella + " snapshot " + Quote(mkv) + " --out x.bmp 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}

}  // namespace

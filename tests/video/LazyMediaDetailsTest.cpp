// The media details open FFmpeg when the first details are read, not before; without FFmpeg the
// reader reports that the detector could not be made and goes on. Each case runs in a process of
// its own (FreshProcess.h): a library once mapped stays mapped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../bass/FreshProcess.h"
#include "../engine/EngineTestUtil.h"
#include "video/MediaDetails.h"

namespace {

std::string DivxAvi() {
  return enginetest::Media("lazy-divx.avi", "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=176x144:d=1 "
                                            "-f lavfi -i sine=d=1:r=22050 -c:v mpeg4 -vtag DIVX -c:a pcm_s16le {out}");
}

TEST(LazyMediaDetails, FFmpegIsMappedByTheFirstDetailsRead) {
  const std::string avi = DivxAvi();  // made before: the child must not run ffmpeg
  ASSERT_FALSE(avi.empty());
  EXPECT_TRUE(fresh::Run("LazyMediaDetailsChild.DISABLED_FirstReadMapsFFmpeg", {{"ORVELLA_LAZY_TEST_MEDIA", avi}}));
}

TEST(LazyMediaDetails, WithoutFFmpegTheDetectorCannotBeMade) {
  const std::string avi = DivxAvi();
  ASSERT_FALSE(avi.empty());
  enginetest::ScratchDir broken;
  // Files by FFmpeg's sonames that are no libraries: the dynamic loader finds them first and refuses them.
  for (const char* name : {"libavutil.so.57", "libswresample.so.4", "libavcodec.so.59", "libavformat.so.59"})
    enginetest::WriteFile(broken.File(name), "");
  EXPECT_TRUE(fresh::Run("LazyMediaDetailsChild.DISABLED_MissingFFmpegIsAStatus",
                         {{"LD_LIBRARY_PATH", broken.Path()}, {"ORVELLA_LAZY_TEST_MEDIA", avi}}));
}

TEST(LazyMediaDetailsChild, DISABLED_FirstReadMapsFFmpeg) {
  const char* avi = getenv("ORVELLA_LAZY_TEST_MEDIA");
  ASSERT_NE(avi, nullptr);
  for (const char* lib : {"libavformat", "libavcodec", "libavutil"}) EXPECT_FALSE(fresh::Mapped(lib)) << lib;
  const video::TMediaDetails d = video::ReadMediaDetails(avi);
  EXPECT_EQ(d.Status, "");
  EXPECT_EQ(d.MediaVideoFourCC, "DIVX");
  EXPECT_EQ(d.MediaAudioFormatTag, "PCM");
  EXPECT_EQ(d.MediaDuration, "00:01");
  EXPECT_TRUE(fresh::Mapped("libavformat"));
  EXPECT_TRUE(fresh::Mapped("libavcodec"));
  fresh::MarkDone();
}

TEST(LazyMediaDetailsChild, DISABLED_MissingFFmpegIsAStatus) {
  const char* avi = getenv("ORVELLA_LAZY_TEST_MEDIA");
  ASSERT_NE(avi, nullptr);
  for (int round = 0; round < 2; ++round) {
    const video::TMediaDetails d = video::ReadMediaDetails(avi);
    EXPECT_EQ(d.Status, "ERROR: CLSID_MediaDet failed");
    EXPECT_EQ(d.File, avi);
    EXPECT_EQ(d.MediaVideoMajorType, "");
  }
  const std::vector<uint8_t> bytes(4096, 0x47);
  EXPECT_EQ(video::ReadMediaDetailsFromMemory(bytes.data(), bytes.size()).MediaVideoMajorType, "");
  // What needs no FFmpeg still answers as before.
  EXPECT_EQ(video::ReadMediaDetails("/nonexistent/x.avi").Status, "ERROR: FILE NOT FOUND");
  EXPECT_FALSE(fresh::Mapped("libavformat"));
  fresh::MarkDone();
}

}  // namespace

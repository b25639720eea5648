// Media details of generated files, the FourCC and format-tag names, and
// inputs that must not hang the reader.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>

#include "../engine/EngineTestUtil.h"
#include "VideoTestUtil.h"
#include "video/MediaDetails.h"
#include "video/Snapshot.h"
#include "video/VideoAudio.h"

using enginetest::Media;
using enginetest::ScratchDir;
using video::ReadMediaDetails;

namespace {

TEST(MediaNames, FourccTableAndTimes) {
  EXPECT_EQ(video::FourccTableSize(), 269u);
  EXPECT_EQ(video::FourccCodecName("DIVX"), "DivX");
  EXPECT_EQ(video::FourccCodecName("XVID"), "XVID MPEG-4");
  EXPECT_EQ(video::FourccCodecName("abcd"), "Unknown FourCC Codec");
  EXPECT_EQ(video::FourccCodecName("3IV2"), "Video Codec Used - 3IVX");
  EXPECT_EQ(video::FourccCodecName("RLE "), "Run Length Encoded");
  EXPECT_EQ(video::FourccCodecName("rle"), "Unknown FourCC Codec");
  EXPECT_EQ(video::FormatStreamTime(3725), "01:02:05");
  EXPECT_EQ(video::FormatStreamTime(125), "02:05");
  EXPECT_EQ(video::FormatStreamTime(0), "00:00");
  EXPECT_EQ(video::WaveFormatTagName(85), "MPEGLAYER3");
  EXPECT_EQ(video::WaveFormatTagName(117), "VOXWARE");
  EXPECT_EQ(video::WaveFormatTagName(0xFF), "Unknown");
  // Elapsed time, not a time of day: 65 s is 0:01:05.
  EXPECT_EQ(video::ElapsedText(65000), "0:01:05");
  EXPECT_EQ(video::ElapsedText(3725999), "1:02:05");
  EXPECT_EQ(video::ElapsedText(-5), "0:00:00");
}

TEST(MediaNames, VolumeAndBalanceLaws) {
  EXPECT_EQ(video::GraphVolumeGain(0), 0.0);
  EXPECT_DOUBLE_EQ(video::GraphVolumeGain(10000), 1.0);
  // 9945: round(ln 9946 x 1085.73) - 10000 = -6 hundredths of a decibel.
  EXPECT_NEAR(video::GraphVolumeGain(9945), std::pow(10.0, -6 / 2000.0), 1e-9);
  EXPECT_NEAR(video::GraphVolumeGain(39 * 128), std::pow(10.0, (std::lround(std::log(4993.0) * 1085.73) - 10000) / 2000.0), 1e-9);
  EXPECT_EQ(video::GraphBalanceLaw(10000), -10000);
  EXPECT_EQ(video::GraphBalanceLaw(-10000), 10000);
  double l = 0, r = 0;
  video::GraphBalanceGains(0, l, r);
  EXPECT_EQ(l, 1.0);
  EXPECT_EQ(r, 1.0);
  video::GraphBalanceGains(100, l, r);
  EXPECT_EQ(l, 0.0);
  EXPECT_EQ(r, 1.0);
  video::GraphBalanceGains(-100, l, r);
  EXPECT_EQ(l, 1.0);
  EXPECT_EQ(r, 0.0);
  // Steep, as the law applies B twice: half way is already 99 dB down.
  video::GraphBalanceGains(50, l, r);
  EXPECT_LT(l, 0.0001);
}

TEST(MediaDetails, AviWithDivxAndXvidTags) {
  const std::string divx = Media("divx.avi", "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=176x144:d=1 "
                                             "-f lavfi -i sine=d=1:r=22050 -c:v mpeg4 -vtag DIVX -c:a pcm_s16le {out}");
  const std::string xvid = Media("xvid.avi", "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=176x144:d=1 "
                                             "-c:v mpeg4 -vtag XVID {out}");
  ASSERT_FALSE(divx.empty());
  ASSERT_FALSE(xvid.empty());
  video::TMediaDetails d = ReadMediaDetails(divx);
  EXPECT_EQ(d.Status, "");
  EXPECT_EQ(d.File, divx);
  EXPECT_EQ(d.MediaVideoMajorType, "Video");
  EXPECT_EQ(d.MediaVideoFourCC, "DIVX");
  EXPECT_EQ(d.MediaVideoComp, "DivX");
  EXPECT_EQ(d.MediaVideoSubType, "DIVX");
  EXPECT_EQ(d.MediaVideoWidth, "176");
  EXPECT_EQ(d.MediaVideoHeight, "144");
  EXPECT_EQ(d.MediaAudioMajorType, "Audio");
  EXPECT_EQ(d.MediaAudioSubType, "PCM");
  EXPECT_EQ(d.MediaAudioFormatTag, "PCM");
  EXPECT_EQ(d.MediaAudioHertz, "22050");
  EXPECT_EQ(d.MediaAudioBitrate, std::to_string(22050 * 16));
  EXPECT_EQ(d.MediaAudioChannels, "1");
  EXPECT_EQ(d.MediaAudioFormat, "");
  EXPECT_EQ(d.MediaDuration, "00:01");
  d = ReadMediaDetails(xvid);
  EXPECT_EQ(d.MediaVideoFourCC, "XVID");
  EXPECT_EQ(d.MediaVideoComp, "XVID MPEG-4");
}

TEST(MediaDetails, MkvH264TakesItsTagFromFFmpegsTables) {
  const std::string mkv = videotest::SmallMkv();
  ASSERT_FALSE(mkv.empty());
  video::TMediaDetails d = ReadMediaDetails(mkv);
  EXPECT_EQ(d.Status, "");
  EXPECT_EQ(d.MediaVideoFourCC, "H264");
  EXPECT_EQ(d.MediaVideoComp, "Intel Conferencing");
  EXPECT_EQ(d.MediaVideoWidth, "320");
  EXPECT_EQ(d.MediaDuration, "00:12");
  EXPECT_EQ(d.MediaAudioHertz, "48000");
  EXPECT_EQ(d.MediaOtherMajorType, "Text");  // the subtitles
}

TEST(MediaDetails, Mpeg2VobWithAc3) {
  const std::string vob = Media("dvd.vob", "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=720x576:r=25:d=1 "
                                           "-f lavfi -i sine=d=1:r=48000 -c:v mpeg2video -c:a ac3 -f vob {out}");
  ASSERT_FALSE(vob.empty());
  video::TMediaDetails d = ReadMediaDetails(vob);
  EXPECT_EQ(d.Status, "");
  EXPECT_EQ(d.MediaVideoSubType, "MPEG2_VIDEO");
  EXPECT_EQ(d.MediaMpeg2Width, "720");
  EXPECT_EQ(d.MediaMpeg2Height, "576");
  EXPECT_EQ(d.MediaVideoWidth, "");
  EXPECT_EQ(d.MediaAudioSubType, "DOLBY_AC3");
  EXPECT_EQ(d.MediaMpegAudioTag, "DolbyAC3");
}

TEST(MediaDetails, UnknownTagAndLongStream) {
  const std::string odd = Media("abcd.avi", "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=64x48:d=1 "
                                            "-c:v mpeg4 -vtag abcd -strict -2 -f avi {out}");
  ASSERT_FALSE(odd.empty());
  video::TMediaDetails d = ReadMediaDetails(odd);
  EXPECT_EQ(d.MediaVideoFourCC, "abcd");
  EXPECT_EQ(d.MediaVideoComp, "Unknown FourCC Codec");
  EXPECT_EQ(d.MediaOtherSubType, "Unknown ");
  const std::string longer = Media("long.mkv", "ffmpeg -nostdin -v error -y -f lavfi -i color=s=16x16:r=1:d=3725 "
                                               "-c:v mpeg4 -g 600 {out}");
  ASSERT_FALSE(longer.empty());
  EXPECT_EQ(ReadMediaDetails(longer).MediaDuration, "01:02:05");
}

TEST(MediaDetails, FailuresAreInTheStatus) {
  ScratchDir dir;
  EXPECT_EQ(ReadMediaDetails(dir.File("none.avi")).Status, "ERROR: FILE NOT FOUND");
  enginetest::WriteFile(dir.File("text.avi"), "this is no video at all, only some text that goes on");
  video::TMediaDetails d = ReadMediaDetails(dir.File("text.avi"));
  EXPECT_EQ(d.Status, "ERROR: dsMediaDet.put_FileName failed");
  EXPECT_EQ(d.MediaVideoMajorType, "");
  // A FIFO nobody writes to would block an open for ever.
  const std::string fifo = dir.File("pipe.mkv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadMediaDetails(fifo).Status, "ERROR: NOT A REGULAR FILE");
  EXPECT_EQ(ReadMediaDetails(dir.Path()).Status, "ERROR: NOT A REGULAR FILE");
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
  const std::string cut = videotest::TruncatedMkv();
  ASSERT_FALSE(cut.empty());
  EXPECT_EQ(ReadMediaDetails(cut).MediaVideoFourCC, "H264");
}

TEST(MediaDetails, LinesAreTheReportsInOrder) {
  video::TMediaDetails d;
  d.File = "/x.avi";
  d.Status = "ERROR: FILE NOT FOUND";
  const auto lines = video::MediaDetailsLines(d);
  ASSERT_EQ(lines.size(), 28u);
  EXPECT_EQ(lines[0], "File=/x.avi");
  EXPECT_EQ(lines[1], "Status=ERROR: FILE NOT FOUND");
  EXPECT_EQ(lines[6], "MediaDuration=");
  EXPECT_EQ(lines[27], "MediaMpegAudioTag=");
}

TEST(Snapshots, AFailedWriteLeavesNothingBehind) {
  ScratchDir dir;
  video::TVideoFrame f;
  f.Width = 3;
  f.Height = 2;
  f.Pixels = {0xff102030, 0xff405060, 0xff708090, 0xffa0b0c0, 0xffd0e0f0, 0xff010203};
  std::string error;
  EXPECT_FALSE(video::SaveBitmap24(f, dir.File("no/such/folder/x.bmp"), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(video::SaveBitmap24(video::TVideoFrame{}, dir.File("empty.bmp"), &error));
  ASSERT_TRUE(video::SaveBitmap24(f, dir.File("x.bmp")));
  video::TVideoFrame back;
  ASSERT_TRUE(video::LoadBitmap24(dir.File("x.bmp"), back));
  EXPECT_EQ(back.Pixels, f.Pixels);
  // Rows padded to four bytes: 3 pixels x 3 bytes + 3 padding, two rows, 54 header bytes.
  EXPECT_EQ(enginetest::ReadFile(dir.File("x.bmp")).size(), 54u + 24u);
}

}  // namespace

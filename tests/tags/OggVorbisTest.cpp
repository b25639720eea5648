// Ogg Vorbis identification and comment headers, sample count, and files
// made by ffmpeg and tagged by mutagen.
#include <gtest/gtest.h>

#include <cmath>

#include "TestUtil.h"
#include "tags/OggVorbis.h"

using namespace tags;
using namespace tagtest;

namespace {

std::string OggFile(const std::string& name, int rate, int channels, const std::string& quality,
                    const char* kind = "sine=f=440") {
  return CachedMedia(name, std::string("ffmpeg -v error -y -f lavfi -i \"") + kind + "\" -t 4 -ar " +
                               std::to_string(rate) + " -ac " + std::to_string(channels) +
                               " -c:a libvorbis -q:a " + quality + " {out}");
}

std::string TagWithMutagen(const std::string& source, const std::string& target, const std::string& assignments) {
  CopyFile(source, target);
  int status = 0;
  std::string out = RunPython("from mutagen.oggvorbis import OggVorbis\nf = OggVorbis(p)\nf.delete()\n" +
                                  assignments + "\nf.save()\n",
                              target, &status);
  EXPECT_EQ(status, 0) << out;
  return target;
}

}  // namespace

struct OggCase {
  const char* name;
  int rate;
  int channels;
  const char* quality;
};

class TagsOggMedia : public ::testing::TestWithParam<OggCase> {};

TEST_P(TagsOggMedia, MatchesFfprobe) {
  const OggCase& c = GetParam();
  std::string f = OggFile(c.name, c.rate, c.channels, c.quality, "anoisesrc=a=0.2:c=pink");
  ASSERT_FALSE(f.empty());
  TOggVorbis o;
  ASSERT_TRUE(o.ReadFromFile(f));
  ASSERT_TRUE(o.Valid());
  ProbeInfo p = Probe(f);
  EXPECT_EQ(o.SampleRate(), p.sampleRate);
  EXPECT_EQ(o.SampleRate(), c.rate);
  EXPECT_EQ(o.Channels(), p.channels);
  EXPECT_EQ(o.Channels(), c.channels);
  // The granule position of the last page is the exact sample count.
  EXPECT_NEAR(o.Duration(), p.duration, 2.0 / c.rate + 1e-3);
  EXPECT_NEAR(o.Duration(), 4.0, 0.01);
  EXPECT_EQ(o.BitRate(), int(std::lround(double(o.FileSize()) / o.Duration() / 125)));
  EXPECT_GT(o.BitRateNominal(), 0);
  EXPECT_FALSE(o.Vendor().empty());
}

INSTANTIATE_TEST_SUITE_P(TagsGenerated, TagsOggMedia,
                         ::testing::Values(OggCase{"vorbis-q0-44k-stereo.ogg", 44100, 2, "0"},
                                           OggCase{"vorbis-q3-48k-stereo.ogg", 48000, 2, "3"},
                                           OggCase{"vorbis-q6-22k-mono.ogg", 22050, 1, "6"},
                                           OggCase{"vorbis-q10-44k-mono.ogg", 44100, 1, "10"}),
                         [](const ::testing::TestParamInfo<OggCase>& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST(TagsOggVorbis, QualitiesGiveIncreasingBitRates) {
  int last = 0;
  for (const char* q : {"0", "4", "8"}) {
    std::string f = OggFile(std::string("vorbis-noise-q") + q + ".ogg", 44100, 2, q, "anoisesrc=a=0.2:c=pink");
    ASSERT_FALSE(f.empty());
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(f));
    EXPECT_GT(o.BitRate(), last) << q;
    last = o.BitRate();
  }
}

TEST(TagsOggVorbis, CommentsWrittenByMutagen) {
  std::string base = OggFile("vorbis-q3-44k.ogg", 44100, 2, "3");
  ASSERT_FALSE(base.empty());
  ScratchDir dir;
  std::string f = TagWithMutagen(base, dir.File("t.ogg"),
                                 "f['TITLE'] = 'Caf\\u00e9 \\u65e5\\u672c'\n"
                                 "f['Artist'] = 'Mixed Case'\n"
                                 "f['album'] = 'Album'\n"
                                 "f['TRACKNUMBER'] = '3/10'\n"
                                 "f['DATE'] = '2011'\n"
                                 "f['GENRE'] = 'Ambient'\n"
                                 "f['COMMENT'] = 'A comment'\n"
                                 "f['COMPOSER'] = 'Composer'\n"
                                 "f['LYRICS'] = 'La la'\n"
                                 "f['URL'] = 'http://example.org'\n"
                                 "f['COPYRIGHT'] = '(c) 2011'\n"
                                 "f['MOOD'] = 'calm'\n"
                                 "f['REPLAYGAIN_TRACK_GAIN'] = '-3 dB'\n");
  TOggVorbis o;
  ASSERT_TRUE(o.ReadFromFile(f));
  EXPECT_EQ(o.Title(), "Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac");
  EXPECT_EQ(o.Artist(), "Mixed Case");
  EXPECT_EQ(o.Album(), "Album");
  EXPECT_EQ(o.Track(), 3);
  EXPECT_EQ(o.Date(), "2011");
  EXPECT_EQ(o.Genre(), "Ambient");
  EXPECT_EQ(o.Comment(), "A comment");
  EXPECT_EQ(o.Composer(), "Composer");
  EXPECT_EQ(o.Lyrics(), "La la");
  EXPECT_EQ(o.URL(), "http://example.org");
  EXPECT_EQ(o.Copyright(), "(c) 2011");
  EXPECT_EQ(o.Extras(), std::string("MOOD=calm\0REPLAYGAIN_TRACK_GAIN=-3 dB", 37));
  EXPECT_TRUE(o.Valid());
}

TEST(TagsOggVorbis, PerformerAndDescriptionAreFallbacks) {
  std::string base = OggFile("vorbis-q3-44k.ogg", 44100, 2, "3");
  ScratchDir dir;
  std::string f = TagWithMutagen(base, dir.File("t.ogg"), "f['PERFORMER'] = 'Perf'\nf['DESCRIPTION'] = 'Desc'\n");
  TOggVorbis o;
  ASSERT_TRUE(o.ReadFromFile(f));
  EXPECT_EQ(o.Artist(), "Perf");
  EXPECT_EQ(o.Comment(), "Desc");
}

TEST(TagsOggVorbis, CommentPacketSpanningPages) {
  std::string base = OggFile("vorbis-q3-44k.ogg", 44100, 2, "3");
  ScratchDir dir;
  // 200 kB of comments make the packet continue over several pages.
  std::string f = TagWithMutagen(base, dir.File("t.ogg"),
                                 "f['AAA'] = 'x' * 100000\nf['BBB'] = 'y' * 100000\nf['TITLE'] = 'After the big ones'\n");
  TOggVorbis o;
  ASSERT_TRUE(o.ReadFromFile(f));
  EXPECT_EQ(o.Title(), "After the big ones");
  EXPECT_NEAR(o.Duration(), 4.0, 0.01);
}

TEST(TagsOggVorbis, ID3v2InFront) {
  std::string base = OggFile("vorbis-q3-44k.ogg", 44100, 2, "3");
  ScratchDir dir;
  std::string tag = std::string("ID3\3\0\0\0\0\0\x14", 10) + std::string(20, '\0');
  std::string f = dir.File("t.ogg");
  WriteBytes(f, tag + ReadBytes(base));
  TOggVorbis o;
  ASSERT_TRUE(o.ReadFromFile(f));
  EXPECT_EQ(o.ID3v2Size(), 30);
  EXPECT_EQ(o.SampleRate(), 44100);
  EXPECT_NEAR(o.Duration(), 4.0, 0.01);
}

TEST(TagsOggVorbis, NoPageInTheLastBlocksFallsBackToNominalRate) {
  std::string base = OggFile("vorbis-q3-44k.ogg", 44100, 2, "3");
  ScratchDir dir;
  std::string f = dir.File("t.ogg");
  std::string bytes = ReadBytes(base) + std::string(50 * 4991 + 100, '\x11');
  WriteBytes(f, bytes);
  TOggVorbis o;
  ASSERT_TRUE(o.ReadFromFile(f));
  EXPECT_EQ(o.Samples(), 0u);
  ASSERT_GT(o.BitRateNominal(), 0);
  EXPECT_NEAR(o.Duration(), double(bytes.size()) / o.BitRateNominal() / o.Channels() / 125.0 * 2, 1e-9);
}

TEST(TagsOggVorbis, NotOggOrNotVorbis) {
  ScratchDir dir;
  std::string f = dir.File("t.ogg");
  WriteBytes(f, FakeAudio(1000));
  TOggVorbis o;
  EXPECT_FALSE(o.ReadFromFile(f));
  std::string page = std::string("OggS\0\2", 6) + std::string(20, '\0') + std::string("\1\x1e", 2) +
                     std::string("\1theora", 7) + std::string(40, '\0');
  WriteBytes(f, page);
  EXPECT_FALSE(o.ReadFromFile(f));
  EXPECT_FALSE(o.ReadFromFile(dir.File("missing.ogg")));
}

// MPEG audio headers: frame search rules on hand-built streams, and stream
// information of files made by lame and ffmpeg compared with ffprobe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "TestUtil.h"
#include "tags/ByteSource.h"
#include "tags/MPEGaudio.h"

using namespace tags;
using namespace tagtest;

namespace {

// One frame: the header bytes and zero payload of the frame's length.
std::string MakeFrame(uint8_t b1, uint8_t b2, uint8_t b3) {
  uint8_t h[4] = {0xFF, b1, b2, b3};
  TFrameHeader fh;
  fh.VersionID = (b1 >> 3) & 3;
  fh.LayerID = (b1 >> 1) & 3;
  fh.BitRateID = b2 >> 4;
  fh.SampleRateID = (b2 >> 2) & 3;
  fh.PaddingBit = (b2 >> 1) & 1;
  int len = TMPEGaudio::FrameLength(fh);
  std::string f(reinterpret_cast<char*>(h), 4);
  f.resize(size_t(std::max(len, 4)), '\0');
  return f;
}

// MPEG 1 Layer III, 128 kbit/s, 44100 Hz, joint stereo.
std::string L3Frame(bool padding = false) { return MakeFrame(0xFB, uint8_t(0x90 | (padding ? 2 : 0)), 0x40); }

std::string Frames(const std::string& frame, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += frame;
  return s;
}

std::string Id3v2Tag(size_t padding) {
  std::string t = "ID3\3\0\0";
  t.resize(6);
  uint32_t v = uint32_t(padding);
  for (int i = 0; i < 4; ++i) t += char((v >> (21 - 7 * i)) & 0x7F);
  return t + std::string(padding, '\0');
}

}  // namespace

TEST(TagsMPEGaudioHeader, FrameLengths) {
  uint8_t plain[4] = {0xFF, 0xFB, 0x90, 0x40};
  ASSERT_TRUE(TMPEGaudio::IsFrameHeader(plain));
  EXPECT_EQ(L3Frame(false).size(), 417u);
  EXPECT_EQ(L3Frame(true).size(), 418u);
  // Layer I counts 4-byte slots: 44100 Hz, 32 kbit/s gives 4 * floor(12 * 32000 / 44100) = 32.
  EXPECT_EQ(MakeFrame(0xFF, 0x10, 0x00).size(), 32u);
  EXPECT_EQ(MakeFrame(0xFF, 0x12, 0x00).size(), 36u);
  // MPEG 2 Layer III, 64 kbit/s, 22050 Hz: 72 * 64000 / 22050 = 208.
  EXPECT_EQ(MakeFrame(0xF3, 0x80, 0x00).size(), 208u);
}

TEST(TagsMPEGaudioHeader, HeaderTest) {
  auto valid = [](uint8_t b1, uint8_t b2, uint8_t b3) {
    uint8_t b[4] = {0xFF, b1, b2, b3};
    return TMPEGaudio::IsFrameHeader(b);
  };
  EXPECT_TRUE(valid(0xFB, 0x90, 0x40));
  EXPECT_FALSE(valid(0xEB, 0x90, 0x40));  // reserved version
  EXPECT_FALSE(valid(0xF9, 0x90, 0x40));  // reserved layer
  EXPECT_FALSE(valid(0xFB, 0x00, 0x40));  // free format
  EXPECT_FALSE(valid(0xFB, 0xF0, 0x40));  // bit-rate index 15
  EXPECT_FALSE(valid(0xFB, 0x9C, 0x40));  // sample-rate index 3
  EXPECT_FALSE(valid(0xFB, 0x90, 0x42));  // emphasis 2
  uint8_t nosync[4] = {0xFE, 0xFB, 0x90, 0x40};
  EXPECT_FALSE(TMPEGaudio::IsFrameHeader(nosync));
}

TEST(TagsMPEGaudio, PlainCbrStream) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string audio = Frames(L3Frame(), 200);
  WriteBytes(f, Id3v2Tag(300) + audio);
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(f));
  EXPECT_TRUE(m.Valid());
  EXPECT_EQ(m.FrameHeader().Position, 310);
  EXPECT_EQ(m.AudioStart(), 310);
  EXPECT_EQ(m.AudioEnd(), 310 + int64_t(audio.size()));
  EXPECT_EQ(m.SampleRate(), 44100);
  EXPECT_EQ(m.BitRate(), 128);
  EXPECT_EQ(m.Frames(), 200);
  EXPECT_NEAR(m.Duration(), 417.0 * 200 * 8 / 128000, 1e-9);
  EXPECT_EQ(m.Version(), "MPEG 1");
  EXPECT_EQ(m.Layer(), "Layer III");
  EXPECT_EQ(m.ChannelMode(), "Joint Stereo");
  EXPECT_EQ(m.Emphasis(), "None");
  EXPECT_EQ(m.Channels(), 2);
  EXPECT_TRUE(m.FrameHeader().ZeroAfterHeader);
}

TEST(TagsMPEGaudio, ResetTexts) {
  TMPEGaudio m;
  EXPECT_EQ(m.Version(), "MPEG ?");
  EXPECT_EQ(m.Layer(), "Layer ?");
  EXPECT_EQ(m.ChannelMode(), "Unknown");
  EXPECT_EQ(m.Emphasis(), "Unknown");
  EXPECT_FALSE(m.Valid());
}

TEST(TagsMPEGaudio, FreeFormatIsNeverRecognised) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string frame = std::string("\xFF\xFB\x00\x40", 4) + std::string(400, '\0');
  WriteBytes(f, Frames(frame, 30));
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(f));
  EXPECT_FALSE(m.FrameHeader().Found);
  EXPECT_FALSE(m.Valid());
}

TEST(TagsMPEGaudio, IsolatedHeaderIsSkipped) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  // A lone header followed by junk, then the real stream 100 bytes later.
  std::string junk = std::string("\xFF\xFB\x90\x40", 4) + std::string(96, '\x11');
  WriteBytes(f, junk + Frames(L3Frame(), 50));
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(f));
  EXPECT_EQ(m.FrameHeader().Position, 100);
}

TEST(TagsMPEGaudio, SuccessorBeyondBlockEndIsRejected) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  // Frames start at offset 3100: a 417-byte frame's successor would begin beyond 3457.
  std::string lead(3100, '\x11');
  // Same stream in the next block is found there.
  WriteBytes(f, lead + Frames(L3Frame(), 30));
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(f));
  ASSERT_TRUE(m.FrameHeader().Found);
  EXPECT_GE(m.FrameHeader().Position, TMPEGaudio::kBlockSize);
  EXPECT_EQ((m.FrameHeader().Position - 3100) % 417, 0);
}

TEST(TagsMPEGaudio, FrameStraddlingBlockBoundaryIsNotFound) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  // Exactly two frames starting at offset 1800: the first cannot be a candidate (above 1729), the
  // second's successor is missing.
  WriteBytes(f, std::string(1800, '\x11') + Frames(L3Frame(), 2));
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(f));
  EXPECT_FALSE(m.FrameHeader().Found);
}

TEST(TagsMPEGaudio, XingHeader) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string first = L3Frame();
  std::string xing = "Xing";
  xing += std::string("\0\0\0\x0F", 4);
  xing += std::string("\0\0\x03\xE8", 4);       // 1000 frames
  xing += std::string("\0\x03\x0D\x40", 4);     // 200000 bytes
  first.replace(36, xing.size(), xing);
  first.replace(36 + 120, 8, "LAME3.99");
  WriteBytes(f, first + Frames(L3Frame(), 20));
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(f));
  ASSERT_TRUE(m.VBR().Found);
  EXPECT_EQ(m.VBR().ID, "Xing");
  EXPECT_EQ(m.VBR().Frames, 1000u);
  EXPECT_EQ(m.VBR().Bytes, 200000u);
  EXPECT_EQ(m.VBR().VendorID, "LAME3.99");
  EXPECT_EQ(m.Frames(), 1000);
  EXPECT_NEAR(m.Duration(), 1152.0 * 1000 / 44100, 1e-9);
  EXPECT_EQ(m.BitRate(), int(std::nearbyint(200.0 * 44100 / 144 / 1000)));

  // A frame count of 0 falls back to the header's bit rate and the size-based duration.
  first.replace(36 + 8, 4, std::string(4, '\0'));
  WriteBytes(f, first + Frames(L3Frame(), 20));
  ASSERT_TRUE(m.ReadFromFile(f));
  ASSERT_TRUE(m.VBR().Found);
  EXPECT_EQ(m.BitRate(), 128);
  EXPECT_NEAR(m.Duration(), 417.0 * 21 * 8 / 128000, 1e-9);
}

TEST(TagsMPEGaudio, VbriHeader) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string first = L3Frame();
  std::string vbri = "VBRI";
  vbri += std::string("\0\1\0\0\0\x50", 6);  // version, delay, quality(9th byte)
  vbri += std::string("\0\x01\x86\xA0", 4);  // bytes 100000
  vbri += std::string("\0\0\x01\xF4", 4);    // frames 500
  first.replace(36, vbri.size(), vbri);
  WriteBytes(f, first + Frames(L3Frame(), 5));
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(f));
  ASSERT_TRUE(m.VBR().Found);
  EXPECT_EQ(m.VBR().ID, "VBRI");
  EXPECT_EQ(m.VBR().Scale, 0x50);
  EXPECT_EQ(m.VBR().Bytes, 100000u);
  EXPECT_EQ(m.VBR().Frames, 500u);
}

TEST(TagsMPEGaudio, OnlyTagAndZerosIsNotValid) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  WriteBytes(f, Id3v2Tag(1000) + std::string(20000, '\0'));
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(f));
  EXPECT_FALSE(m.Valid());
  EXPECT_FALSE(m.ID3v2().Exists());  // reset again when no frame was found
  EXPECT_FALSE(m.ReadFromFile(dir.File("missing.mp3")));
}

TEST(TagsMPEGaudio, TagsAndVendorAtTheEnd) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string frames = Frames(L3Frame(), 40);
  frames.replace(frames.size() - 300, 8, "LAME3.100");
  std::string tag(128, '\0');
  tag.replace(0, 3, "TAG");
  tag.replace(3, 5, "Title");
  WriteBytes(f, frames + tag);
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(f));
  EXPECT_TRUE(m.ID3v1().Exists());
  EXPECT_EQ(m.ID3v1().Title(), "Title");
  EXPECT_EQ(m.AudioEnd(), int64_t(frames.size()));
  EXPECT_EQ(m.Vendor(), "LAME3.10");
}

TEST(TagsMPEGaudio, ReadTagFromBuffer) {
  std::string tag(128, '\0');
  tag.replace(0, 3, "TAG");
  tag.replace(3, 2, "Hi");
  tag[127] = 8;
  TMP3TagInfo info;
  EXPECT_TRUE(TMPEGaudio::ReadTagFromBuffer(tag.data(), tag.size(), 1, info));
  EXPECT_EQ(info.Title, "Hi");
  EXPECT_EQ(info.Genre, "Jazz");
  tag[0] = 'X';
  EXPECT_FALSE(TMPEGaudio::ReadTagFromBuffer(tag.data(), tag.size(), 1, info));
  EXPECT_FALSE(TMPEGaudio::ReadTagFromBuffer(tag.data(), tag.size(), 3, info));
  std::string v2 = Id3v2Tag(0);
  EXPECT_TRUE(TMPEGaudio::ReadTagFromBuffer(v2.data(), v2.size(), 2, info));
}

// ---- Generated media against ffprobe ----

namespace {

struct MpegCase {
  const char* name;
  const char* recipe;  // {src} is replaced by a generated source WAV
  int sampleRate;
  int channels;
  const char* layer;
  const char* version;
  const char* mode;       // expected channel-mode text, or nullptr
  bool exactDuration;     // header gives the exact frame count or the stream is CBR
  double durationSlack;   // extra tolerance in seconds on top of one frame
};

std::string Source(const std::string& name, int rate, int channels, const char* kind) {
  return CachedMedia(name, std::string("ffmpeg -v error -y -f lavfi -i ") + kind + " -t 4 -ar " +
                               std::to_string(rate) + " -ac " + std::to_string(channels) + " {out}");
}

// Silent MPEG Layer I frames (all-zero bit allocation), which no installed encoder writes;
// padded frames are spread like an encoder does to keep the exact bit rate.
std::string LayerIStream(uint8_t b1, uint8_t b2, int bitRate, int rate, int frames) {
  std::string out;
  const int64_t perFrame = int64_t(12) * bitRate * 1000;
  for (int64_t k = 0; k < frames; ++k) {
    bool pad = ((k + 1) * perFrame / rate - k * perFrame / rate) > perFrame / rate;
    out += MakeFrame(b1, uint8_t(b2 | (pad ? 2 : 0)), 0xC0);
  }
  return out;
}

class TagsMPEGMedia : public ::testing::TestWithParam<MpegCase> {};

}  // namespace

TEST_P(TagsMPEGMedia, MatchesFfprobe) {
  const MpegCase& c = GetParam();
  std::string src44s = Source("src-44100-2.wav", 44100, 2, "\"sine=f=440\"");
  std::string srcNoise = Source("noise-44100-2.wav", 44100, 2, "\"anoisesrc=a=0.3:c=pink\"");
  ASSERT_FALSE(src44s.empty());
  std::string recipe = c.recipe;
  for (size_t at; (at = recipe.find("{src}")) != std::string::npos;) recipe.replace(at, 5, src44s);
  for (size_t at; (at = recipe.find("{noise}")) != std::string::npos;) recipe.replace(at, 7, srcNoise);
  std::string file = CachedMedia(c.name, recipe);
  ASSERT_FALSE(file.empty()) << "could not generate " << c.name;

  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(file));
  ASSERT_TRUE(m.Valid()) << c.name;
  ProbeInfo p = Probe(file);
  ASSERT_GT(p.sampleRate, 0);
  EXPECT_EQ(m.SampleRate(), c.sampleRate);
  EXPECT_EQ(m.SampleRate(), p.sampleRate);
  EXPECT_EQ(m.Channels(), p.channels);
  EXPECT_EQ(m.Channels(), c.channels);
  EXPECT_EQ(m.Layer(), c.layer);
  EXPECT_EQ(m.Version(), c.version);
  if (c.mode) {
    EXPECT_EQ(m.ChannelMode(), c.mode);
  }
  const double frameSeconds = double(m.FrameHeader().LayerID == 3 ? 384 : (m.FrameHeader().VersionID == 3 || m.FrameHeader().LayerID == 2) ? 1152 : 576) / m.SampleRate();
  EXPECT_NEAR(m.Duration(), p.duration, frameSeconds + c.durationSlack + 1e-3) << c.name;
  // The bit rate: the header's for CBR, the Xing average for VBR (what the duration rests on).
  if (c.exactDuration && p.bitRate > 0 && !m.VBR().Found) {
    EXPECT_EQ(m.BitRate() * 1000, p.bitRate) << c.name;
  }
  if (m.VBR().ID == "Info" && p.bitRate > 0) {
    EXPECT_EQ(m.BitRate() * 1000, p.bitRate) << c.name;
  } else if (m.VBR().Found && m.VBR().Frames > 0) {
    double avg = (double(m.VBR().Bytes) * 8 / m.Duration()) / 1000;
    EXPECT_NEAR(m.BitRate(), avg, avg * 0.02 + 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    TagsGenerated, TagsMPEGMedia,
    ::testing::Values(
        MpegCase{"l3-cbr128-joint.mp3", "lame --quiet -b 128 -m j {src} {out}", 44100, 2, "Layer III", "MPEG 1", "Joint Stereo", true, 0},
        MpegCase{"l3-cbr192-stereo.mp3", "lame --quiet -b 192 -m s {src} {out}", 44100, 2, "Layer III", "MPEG 1", "Stereo", true, 0},
        MpegCase{"l3-cbr64-mono.mp3", "lame --quiet -b 64 -m m {src} {out}", 44100, 1, "Layer III", "MPEG 1", "Mono", true, 0},
        MpegCase{"l3-cbr128-48k-noxing.mp3", "ffmpeg -v error -y -i {src} -ar 48000 -c:a libmp3lame -b:a 128k -write_xing 0 {out}", 48000, 2, "Layer III", "MPEG 1", nullptr, true, 0},
        MpegCase{"l3-cbr96-32k.mp3", "ffmpeg -v error -y -i {src} -ar 32000 -c:a libmp3lame -b:a 96k {out}", 32000, 2, "Layer III", "MPEG 1", nullptr, true, 0},
        MpegCase{"l3-vbr-xing.mp3", "lame --quiet -V 2 {noise} {out}", 44100, 2, "Layer III", "MPEG 1", nullptr, true, 0},
        MpegCase{"l3-vbr-xing-mono.mp3", "lame --quiet -V 5 -m m {noise} {out}", 44100, 1, "Layer III", "MPEG 1", "Mono", true, 0},
        MpegCase{"l3-mpeg2-22k.mp3", "lame --quiet --resample 22.05 -b 64 {src} {out}", 22050, 2, "Layer III", "MPEG 2", nullptr, true, 0},
        MpegCase{"l3-mpeg2-16k-mono.mp3", "lame --quiet --resample 16 -b 32 -m m {src} {out}", 16000, 1, "Layer III", "MPEG 2", "Mono", true, 0},
        MpegCase{"l3-mpeg2-vbr.mp3", "lame --quiet --resample 24 -V 4 {noise} {out}", 24000, 2, "Layer III", "MPEG 2", nullptr, true, 0},
        // FFmpeg's CBR "Info" frame is written at 64 kbit/s here, twice the audio's rate.
        MpegCase{"l3-mpeg2-24k-mono-info.mp3", "ffmpeg -v error -y -i {src} -ar 24000 -ac 1 -c:a libmp3lame -b:a 32k {out}", 24000, 1, "Layer III", "MPEG 2", "Mono", true, 0},
        MpegCase{"l3-mpeg25-11k.mp3", "lame --quiet --resample 11.025 -b 32 {src} {out}", 11025, 2, "Layer III", "MPEG 2.5", nullptr, true, 0},
        MpegCase{"l3-mpeg25-8k-mono.mp3", "lame --quiet --resample 8 -b 16 -m m {src} {out}", 8000, 1, "Layer III", "MPEG 2.5", "Mono", true, 0},
        MpegCase{"l2-192.mp2", "ffmpeg -v error -y -i {src} -c:a mp2 -b:a 192k {out}", 44100, 2, "Layer II", "MPEG 1", nullptr, true, 0},
        MpegCase{"l2-48k-mono.mp2", "ffmpeg -v error -y -i {src} -ar 48000 -ac 1 -c:a mp2 -b:a 96k {out}", 48000, 1, "Layer II", "MPEG 1", "Mono", true, 0},
        MpegCase{"l2-mpeg2-24k.mp2", "ffmpeg -v error -y -i {src} -ar 24000 -c:a mp2 -b:a 64k {out}", 24000, 2, "Layer II", "MPEG 2", nullptr, true, 0}),
    [](const ::testing::TestParamInfo<MpegCase>& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

// VBR without a Xing header: the duration can only rest on the first frame's
// bit rate (ffprobe estimates differently, so only rate and channels are compared).
TEST(TagsMPEGMediaVbr, VbrWithoutXingUsesFirstFrameRate) {
  std::string src = Source("src-44100-2.wav", 44100, 2, "\"sine=f=440\"");
  std::string file = CachedMedia("l3-vbr-noxing.mp3", "lame --quiet -V 4 -t " + src + " {out}");
  ASSERT_FALSE(file.empty());
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(file));
  ASSERT_TRUE(m.Valid());
  EXPECT_FALSE(m.VBR().Found);
  ProbeInfo p = Probe(file);
  EXPECT_EQ(m.SampleRate(), p.sampleRate);
  EXPECT_EQ(m.Channels(), p.channels);
  double expected = double(m.AudioEnd() - m.AudioStart()) * 8 / (m.BitRate() * 1000.0);
  EXPECT_NEAR(m.Duration(), expected, 1e-9);
  uint8_t first[4];
  std::string bytes = ReadBytes(file);
  std::memcpy(first, bytes.data() + m.AudioStart(), 4);
  EXPECT_EQ(std::memcmp(first, m.FrameHeader().Data, 4), 0);
}

// Layer I streams (silent frames of our own) in MPEG 1 and MPEG 2.
TEST(TagsMPEGMediaLayerI, MatchesFfprobe) {
  ScratchDir dir;
  struct L1 {
    uint8_t b1, b2;
    int bitRate, rate;
    const char* version;
  } cases[] = {{0xFF, 0xC4, 384, 48000, "MPEG 1"},  // 48 kHz
               {0xFF, 0x40, 128, 44100, "MPEG 1"},  // 44.1 kHz
               {0xF7, 0x84, 128, 24000, "MPEG 2"}}; // 24 kHz
  for (const L1& c : cases) {
    std::string f = dir.File(std::string("layer1-") + std::to_string(c.rate) + ".mp1");
    WriteBytes(f, LayerIStream(c.b1, c.b2, c.bitRate, c.rate, 500));
    TMPEGaudio m;
    ASSERT_TRUE(m.ReadFromFile(f));
    ASSERT_TRUE(m.Valid()) << c.rate;
    EXPECT_EQ(m.Layer(), "Layer I");
    EXPECT_EQ(m.Version(), c.version);
    EXPECT_EQ(m.Frames(), (m.AudioEnd() - m.AudioStart()) / m.FrameHeader().Size);
    ProbeInfo p = Probe(f);
    EXPECT_EQ(m.SampleRate(), c.rate);
    EXPECT_EQ(p.sampleRate, c.rate);
    EXPECT_EQ(m.Channels(), p.channels);
    EXPECT_NEAR(m.Duration(), p.duration, 384.0 / c.rate + 1e-3) << c.rate;
    EXPECT_NEAR(m.Duration(), 500 * 384.0 / c.rate, 384.0 / c.rate) << c.rate;
  }
}

// The stream information of a tagged file costs one read of its head and one of its tail.
TEST(TagsMPEGaudio, ReadsHeadAndTailOnce) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string v1(128, '\0');
  v1.replace(0, 3, "TAG");
  WriteBytes(f, Id3v2Tag(4086) + Frames(L3Frame(), 500) + v1);
  FileSource src;
  ASSERT_TRUE(src.Open(f));
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromSource(src));
  EXPECT_TRUE(m.Valid());
  EXPECT_TRUE(m.ID3v1().Exists());
  EXPECT_EQ(src.SystemReads(), 2);
  // A big tag in front (a picture) adds the reads needed to step over it, not one per frame.
  std::string big = std::string("ID3\3\0\0", 6);
  std::string frames = "APIC" + std::string("\0\1\0\0\0\0", 6) + std::string(65536, 'p') + "TIT2" +
                       std::string("\0\0\0\3\0\0", 6) + std::string("\0ok", 3);
  uint32_t n = uint32_t(frames.size());
  for (int i = 0; i < 4; ++i) big += char((n >> (21 - 7 * i)) & 0x7F);
  WriteBytes(f, big + frames + Frames(L3Frame(), 500));
  FileSource src2;
  ASSERT_TRUE(src2.Open(f));
  ASSERT_TRUE(m.ReadFromSource(src2));
  EXPECT_EQ(m.ID3v2().Title(), "ok");
  EXPECT_TRUE(m.Valid());
  EXPECT_LE(src2.SystemReads(), 4);
}

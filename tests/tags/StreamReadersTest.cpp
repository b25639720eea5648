// AAC (ADIF, ADTS), WMA and WAV readers: hand-built headers for the edge
// cases, and files made by ffmpeg compared with ffprobe.
#include <gtest/gtest.h>

#include <cmath>

#include "TestUtil.h"
#include "tags/AACfile.h"
#include "tags/WAVfile.h"
#include "tags/WMAfile.h"

using namespace tags;
using namespace tagtest;

namespace {

std::string LE(uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += char((v >> (8 * i)) & 0xFF);
  return s;
}

std::string U16(const std::string& ascii) {
  std::string s;
  for (char c : ascii) {
    s += c;
    s += '\0';
  }
  return s + std::string(2, '\0');
}

// ADTS frame: MPEG-4 (ID 0), LC, given sample-rate index and channels, length, buffer fullness.
std::string AdtsFrame(int srIndex, int channels, int length, int fullness, bool mpeg2 = false) {
  uint8_t h[7];
  h[0] = 0xFF;
  h[1] = uint8_t(0xF1 | (mpeg2 ? 0x08 : 0));  // sync, ID, layer 0, no CRC
  h[2] = uint8_t((1 << 6) | (srIndex << 2) | ((channels >> 2) & 1));
  h[3] = uint8_t(((channels & 3) << 6) | ((length >> 11) & 3));
  h[4] = uint8_t((length >> 3) & 0xFF);
  h[5] = uint8_t(((length & 7) << 5) | ((fullness >> 6) & 0x1F));
  h[6] = uint8_t((fullness & 0x3F) << 2);
  std::string f(reinterpret_cast<char*>(h), 7);
  f.resize(size_t(length), '\x21');
  return f;
}

const std::string kHeaderGuid("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
const std::string kFilePropsGuid("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16);
const std::string kStreamPropsGuid("\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65", 16);
const std::string kContentGuid("\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
const std::string kExtContentGuid("\x40\xA4\xD0\xD2\x07\xE3\xD2\x11\x97\xF0\x00\xA0\xC9\x5E\xA8\x50", 16);

std::string Object(const std::string& guid, const std::string& body) {
  return guid + LE(24 + body.size(), 8) + body;
}

std::string Descriptor(const std::string& name, int type, const std::string& value) {
  std::string n = U16(name);
  return LE(n.size(), 2) + n + LE(uint64_t(type), 2) + LE(value.size(), 2) + value;
}

std::string Asf(uint32_t maxBitRate, int channels, int rate, uint32_t avgBytes, const std::string& extDescriptors,
                int descriptorCount, uint64_t playDuration100ns = 0) {
  std::string fileProps = std::string(16, '\x01') + LE(0, 8) + LE(0, 8) + LE(0, 8) + LE(playDuration100ns, 8) +
                          LE(0, 8) + LE(0, 8) + LE(0, 4) + LE(0, 4) + LE(0, 4) + LE(maxBitRate, 4);
  std::string streamProps = std::string(16, '\x02') + std::string(16, '\x03') + LE(0, 8) + LE(18, 4) + LE(0, 4) +
                            LE(1, 2) + LE(0, 4) + LE(0x161, 2) + LE(uint64_t(channels), 2) +
                            LE(uint64_t(rate), 4) + LE(avgBytes, 4) + LE(0, 8);
  std::string title = U16("Hand Title"), author = U16("Hand Artist"), desc = U16("Hand Comment");
  std::string content = LE(title.size(), 2) + LE(author.size(), 2) + LE(0, 2) + LE(desc.size(), 2) + LE(0, 2) +
                        title + author + desc;
  std::string ext = LE(uint64_t(descriptorCount), 2) + extDescriptors;
  std::string objects = Object(kFilePropsGuid, fileProps) + Object(kStreamPropsGuid, streamProps) +
                        Object(kContentGuid, content) + Object(kExtContentGuid, ext);
  return kHeaderGuid + LE(30 + objects.size(), 8) + LE(4, 4) + std::string("\x01\x02", 2) + objects;
}

std::string Wav(int channels, int rate, int bits, size_t dataBytes, const std::string& before = "") {
  std::string fmt = "fmt " + LE(16, 4) + LE(1, 2) + LE(uint64_t(channels), 2) + LE(uint64_t(rate), 4) +
                    LE(uint64_t(rate) * channels * bits / 8, 4) + LE(uint64_t(channels * bits / 8), 2) +
                    LE(uint64_t(bits), 2);
  std::string data = "data" + LE(dataBytes, 4) + std::string(dataBytes, '\0');
  std::string body = "WAVE" + before + fmt + data;
  return "RIFF" + LE(body.size(), 4) + body;
}

}  // namespace

// ---- AAC ----

TEST(TagsAACfile, AdtsVbrWalk) {
  ScratchDir dir;
  std::string f = dir.File("a.aac");
  std::string stream;
  for (int i = 0; i < 100; ++i) stream += AdtsFrame(4, 2, 300 + (i % 3) * 10, 0x7FF);
  WriteBytes(f, stream);
  TAACfile a;
  ASSERT_TRUE(a.ReadFromFile(f));
  EXPECT_TRUE(a.Valid());
  EXPECT_EQ(a.HeaderType(), "ADTS");
  EXPECT_EQ(a.Version(), "MPEG-4");
  EXPECT_EQ(a.Profile(), "AAC LC");
  EXPECT_EQ(a.BitRateType(), "VBR");
  EXPECT_EQ(a.SampleRate(), 44100);
  EXPECT_EQ(a.Channels(), 2);
  EXPECT_EQ(a.Frames(), 100);
  EXPECT_EQ(a.BitRate(), int(std::lround(44100 * (double(stream.size()) * 8 / 1024 / 100))));
  EXPECT_NEAR(a.Duration(), 100 * 1024 / 44100.0, 1e-4);  // through the rounded bit rate
}

TEST(TagsAACfile, AdtsCbrUsesFirstFrameAlone) {
  ScratchDir dir;
  std::string f = dir.File("a.aac");
  std::string stream = AdtsFrame(3, 1, 400, 0x100, true);
  for (int i = 0; i < 50; ++i) stream += AdtsFrame(3, 1, 200, 0x100, true);
  WriteBytes(f, stream);
  TAACfile a;
  ASSERT_TRUE(a.ReadFromFile(f));
  EXPECT_EQ(a.BitRateType(), "CBR");
  EXPECT_EQ(a.Version(), "MPEG-2");
  EXPECT_EQ(a.Frames(), 1);
  EXPECT_EQ(a.SampleRate(), 48000);
  EXPECT_EQ(a.Channels(), 1);
  EXPECT_EQ(a.BitRate(), int(std::lround(48000 * (400.0 * 8 / 1024))));
}

TEST(TagsAACfile, ID3v2InFrontAndTagsAtTheEnd) {
  ScratchDir dir;
  std::string f = dir.File("a.aac");
  std::string id3 = std::string("ID3\3\0\0\0\0\0\x14", 10) + std::string(20, '\0');
  std::string stream;
  for (int i = 0; i < 20; ++i) stream += AdtsFrame(4, 2, 256, 0x7FF);
  std::string v1(128, '\0');
  v1.replace(0, 3, "TAG");
  v1.replace(3, 4, "Song");
  WriteBytes(f, id3 + stream + v1);
  TAACfile a;
  ASSERT_TRUE(a.ReadFromFile(f));
  EXPECT_TRUE(a.ID3v2().Exists());
  EXPECT_EQ(a.ID3v1().Title(), "Song");
  EXPECT_EQ(a.Frames(), 20);  // the ID3v1 tag after the last frame is not a frame
  EXPECT_EQ(a.SampleRate(), 44100);
  EXPECT_NEAR(a.Duration(), double(stream.size() + 128) * 8 / a.BitRate(), 1e-9);
}

TEST(TagsAACfile, Adif) {
  ScratchDir dir;
  std::string f = dir.File("a.aac");
  // ADIF, no copyright id, original 0, home 0, VBR, bit rate 128000, 0 PCEs-1, then a PCE:
  // tag 0, profile LC (1), sf index 4, front 1, side 0, back 0, lfe 0.
  std::vector<int> bits;
  auto put = [&](uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) bits.push_back((v >> i) & 1);
  };
  put(0, 1);       // copyright_id_present
  put(0, 1);       // original_copy
  put(0, 1);       // home
  put(1, 1);       // bitstream_type: VBR
  put(128000, 23); // bitrate
  put(0, 4);       // num_program_config_elements
  put(0, 4);       // element_instance_tag
  put(1, 2);       // object type: LC
  put(4, 4);       // sampling frequency index
  put(1, 4);       // front
  put(0, 4);       // side
  put(0, 4);       // back
  put(0, 2);       // lfe
  std::string adif = "ADIF";
  for (size_t i = 0; i < bits.size(); i += 8) {
    uint8_t b = 0;
    for (size_t k = 0; k < 8; ++k) b = uint8_t((b << 1) | (i + k < bits.size() ? bits[i + k] : 0));
    adif += char(b);
  }
  WriteBytes(f, adif + std::string(16000, '\x33'));
  TAACfile a;
  ASSERT_TRUE(a.ReadFromFile(f));
  EXPECT_EQ(a.HeaderType(), "ADIF");
  EXPECT_EQ(a.BitRateType(), "VBR");
  EXPECT_EQ(a.BitRate(), 128000);
  EXPECT_EQ(a.Version(), "MPEG-4");  // version code 2
  EXPECT_EQ(a.Profile(), "AAC LC");
  EXPECT_EQ(a.SampleRate(), 44100);
  EXPECT_EQ(a.Channels(), 1);
  EXPECT_TRUE(a.Valid());
}

TEST(TagsAACfile, UnknownAndBrokenInput) {
  ScratchDir dir;
  std::string f = dir.File("a.aac");
  WriteBytes(f, FakeAudio(5000));
  TAACfile a;
  EXPECT_TRUE(a.ReadFromFile(f));
  EXPECT_EQ(a.HeaderType(), "Unknown");
  EXPECT_FALSE(a.Valid());
  WriteBytes(f, "tiny");
  EXPECT_FALSE(a.ReadFromFile(f));  // tag reads fail on a 4-byte file
  // A zero frame length must not stall the walk.
  WriteBytes(f, AdtsFrame(4, 2, 7, 0x7FF).substr(0, 3) + std::string("\x00\x00\x1F\xFC", 4) + std::string(200, '\0'));
  EXPECT_TRUE(a.ReadFromFile(f));
}

struct AacCase {
  const char* name;
  int rate, channels;
  const char* bitrate;
};

class TagsAACMedia : public ::testing::TestWithParam<AacCase> {};

TEST_P(TagsAACMedia, MatchesFfprobe) {
  const AacCase& c = GetParam();
  std::string f = CachedMedia(c.name, std::string("ffmpeg -v error -y -f lavfi -i \"anoisesrc=a=0.2:c=pink\" -t 4 -ar ") +
                                          std::to_string(c.rate) + " -ac " + std::to_string(c.channels) +
                                          " -c:a aac -b:a " + c.bitrate + " -f adts {out}");
  ASSERT_FALSE(f.empty());
  TAACfile a;
  ASSERT_TRUE(a.ReadFromFile(f));
  ASSERT_TRUE(a.Valid());
  ProbeInfo p = Probe(f);
  EXPECT_EQ(a.SampleRate(), p.sampleRate);
  EXPECT_EQ(a.Channels(), p.channels);
  EXPECT_EQ(a.Profile(), "AAC LC");
  // ADTS carries no total: ours is measured from the frames, ffprobe's is estimated from the bit
  // rate, so the two may differ by a frame each way.
  EXPECT_NEAR(a.Duration(), p.duration, 2 * 1024.0 / c.rate + 1e-3);
  EXPECT_NEAR(a.Duration(), 4.0, 2 * 1024.0 / c.rate + 1e-3);
  EXPECT_NEAR(a.BitRate(), double(p.bitRate), p.bitRate * 0.02);
}

INSTANTIATE_TEST_SUITE_P(TagsGenerated, TagsAACMedia,
                         ::testing::Values(AacCase{"aac-44k-stereo.aac", 44100, 2, "128k"},
                                           AacCase{"aac-22k-mono.aac", 22050, 1, "48k"},
                                           AacCase{"aac-48k-stereo.aac", 48000, 2, "192k"}),
                         [](const ::testing::TestParamInfo<AacCase>& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// ---- WMA ----

TEST(TagsWMAfile, HandBuiltHeaderWithNumericTrackSkipped) {
  ScratchDir dir;
  std::string f = dir.File("a.wma");
  std::string ext = Descriptor("WM/Track", 3, LE(4, 4)) + Descriptor("WM/AlbumTitle", 0, U16("Hand Album")) +
                    Descriptor("WM/Year", 0, U16("1998")) + Descriptor("WM/Genre", 0, U16(" Jazz ")) +
                    Descriptor("wm/track", 0, U16("9"));
  std::string header = Asf(128000, 2, 44100, 16000, ext, 5);
  WriteBytes(f, header + std::string(48000, '\0'));
  TWMAfile w;
  ASSERT_TRUE(w.ReadFromFile(f));
  ASSERT_TRUE(w.Valid());
  EXPECT_EQ(w.Channels(), 2);
  EXPECT_EQ(w.ChannelMode(), "Stereo");
  EXPECT_EQ(w.SampleRate(), 44100);
  EXPECT_EQ(w.BitRate(), 128);
  EXPECT_EQ(w.Title(), "Hand Title");
  EXPECT_EQ(w.Artist(), "Hand Artist");
  EXPECT_EQ(w.Comment(), "Hand Comment");
  EXPECT_EQ(w.Album(), "Hand Album");
  EXPECT_EQ(w.Year(), "1998");
  EXPECT_EQ(w.Genre(), "Jazz");
  EXPECT_EQ(w.Track(), 9);
  // No play duration in the header: the size-based estimate.
  EXPECT_NEAR(w.Duration(), double(header.size() + 48000) * 8 / 128000, 1e-9);
}

TEST(TagsWMAfile, PlayDurationAndImplausibleValues) {
  ScratchDir dir;
  std::string f = dir.File("a.wma");
  WriteBytes(f, Asf(64000, 1, 22050, 8000, "", 0, 3000 * 10000ULL) + std::string(1000, '\0'));
  TWMAfile w;
  ASSERT_TRUE(w.ReadFromFile(f));
  EXPECT_TRUE(w.Valid());
  EXPECT_EQ(w.ChannelMode(), "Mono");
  EXPECT_NEAR(w.Duration(), 3.0, 1e-9);
  WriteBytes(f, Asf(64000, 7, 22050, 8000, "", 0));
  ASSERT_TRUE(w.ReadFromFile(f));
  EXPECT_FALSE(w.Valid());
  EXPECT_EQ(w.Title(), "");  // fields are set only for plausible headers
  WriteBytes(f, Asf(64000, 2, 22050, 50000, "", 0));
  ASSERT_TRUE(w.ReadFromFile(f));
  EXPECT_FALSE(w.Valid());
  WriteBytes(f, FakeAudio(100));
  EXPECT_TRUE(w.ReadFromFile(f));
  EXPECT_FALSE(w.Valid());
  EXPECT_FALSE(w.ReadFromFile(dir.File("missing.wma")));
}

TEST(TagsWMAMedia, FfmpegFilesMatchFfprobe) {
  struct Case {
    const char* name;
    const char* codec;
    int rate, channels;
    const char* bitrate;
  } cases[] = {{"wmav2-44k-stereo.wma", "wmav2", 44100, 2, "128k"},
               {"wmav1-22k-mono.wma", "wmav1", 22050, 1, "32k"},
               {"wmav2-48k-stereo-64k.wma", "wmav2", 48000, 2, "64k"}};
  for (const Case& c : cases) {
    std::string f = CachedMedia(c.name, std::string("ffmpeg -v error -y -f lavfi -i \"sine=f=440\" -t 4 -ar ") +
                                            std::to_string(c.rate) + " -ac " + std::to_string(c.channels) +
                                            " -metadata title=\"WMA Title\" -metadata artist=\"WMA Artist\""
                                            " -metadata album=\"WMA Album\" -metadata genre=Rock"
                                            " -metadata comment=\"WMA Comment\" -c:a " +
                                            c.codec + " -b:a " + c.bitrate + " {out}");
    ASSERT_FALSE(f.empty()) << c.name;
    TWMAfile w;
    ASSERT_TRUE(w.ReadFromFile(f));
    ASSERT_TRUE(w.Valid()) << c.name;
    ProbeInfo p = Probe(f);
    EXPECT_EQ(w.SampleRate(), p.sampleRate) << c.name;
    EXPECT_EQ(w.Channels(), p.channels) << c.name;
    EXPECT_NEAR(w.Duration(), p.duration, 0.05) << c.name;
    EXPECT_EQ(w.BitRate() * 1000, p.bitRate) << c.name;
    EXPECT_EQ(w.Title(), "WMA Title");
    EXPECT_EQ(w.Artist(), "WMA Artist");
    EXPECT_EQ(w.Album(), "WMA Album");
    EXPECT_EQ(w.Genre(), "Rock");
    // FFmpeg stores the comment under "Description", a name this reader does not take.
    EXPECT_EQ(w.Comment(), "");
  }
}

// ---- WAV ----

TEST(TagsWAVfile, CanonicalHeader) {
  ScratchDir dir;
  std::string f = dir.File("a.wav");
  std::string bytes = Wav(2, 44100, 16, 44100 * 4);
  WriteBytes(f, bytes);
  TWAVfile w;
  ASSERT_TRUE(w.ReadFromFile(f));
  ASSERT_TRUE(w.Valid());
  EXPECT_EQ(w.Channels(), 2);
  EXPECT_EQ(w.ChannelMode(), "Stereo");
  EXPECT_EQ(w.SampleRate(), 44100);
  EXPECT_EQ(w.BitsPerSample(), 16);
  EXPECT_EQ(w.FileSize(), int64_t(bytes.size()));
  EXPECT_EQ(w.FormatTag(), 1);
  EXPECT_NEAR(w.Duration(), 1.0, 1e-9);
}

TEST(TagsWAVfile, ChunksBeforeFormatAndHighRates) {
  ScratchDir dir;
  std::string f = dir.File("a.wav");
  std::string list = "LIST" + LE(5, 4) + "INFOx" + std::string(1, '\0');  // odd size, padded
  WriteBytes(f, Wav(1, 96000, 24, 96000 * 3 * 2, list) + "junk" + LE(4, 4) + "abcd");
  TWAVfile w;
  ASSERT_TRUE(w.ReadFromFile(f));
  ASSERT_TRUE(w.Valid());
  EXPECT_EQ(w.SampleRate(), 96000);
  EXPECT_EQ(w.BitsPerSample(), 24);
  EXPECT_NEAR(w.Duration(), 2.0, 1e-9);  // the data chunk, not the file size
}

TEST(TagsWAVfile, SixChannelsAndShortFiles) {
  ScratchDir dir;
  std::string f = dir.File("a.wav");
  WriteBytes(f, Wav(6, 48000, 16, 1200));
  TWAVfile w;
  ASSERT_TRUE(w.ReadFromFile(f));
  EXPECT_FALSE(w.Valid());
  EXPECT_EQ(w.Duration(), 0);
  WriteBytes(f, Wav(2, 48000, 16, 0).substr(0, 40));
  EXPECT_FALSE(w.ReadFromFile(f));
  WriteBytes(f, FakeAudio(100));
  EXPECT_TRUE(w.ReadFromFile(f));
  EXPECT_FALSE(w.Valid());
}

TEST(TagsWAVMedia, FfmpegFilesMatchFfprobe) {
  struct Case {
    const char* name;
    const char* codec;
    int rate, channels, bits;
    const char* extra;
  } cases[] = {{"pcm-u8-mono.wav", "pcm_u8", 22050, 1, 8, ""},
               {"pcm-u8-stereo.wav", "pcm_u8", 11025, 2, 8, ""},
               {"pcm-s16-mono.wav", "pcm_s16le", 44100, 1, 16, ""},
               {"pcm-s16-stereo-tagged.wav", "pcm_s16le", 48000, 2, 16, "-metadata title=Tagged -metadata artist=Someone"},
               {"pcm-s24-stereo.wav", "pcm_s24le", 96000, 2, 24, ""}};
  for (const Case& c : cases) {
    std::string f = CachedMedia(c.name, std::string("ffmpeg -v error -y -f lavfi -i \"sine=f=440\" -t 3 -ar ") +
                                            std::to_string(c.rate) + " -ac " + std::to_string(c.channels) + " " +
                                            c.extra + " -c:a " + c.codec + " {out}");
    ASSERT_FALSE(f.empty()) << c.name;
    TWAVfile w;
    ASSERT_TRUE(w.ReadFromFile(f));
    ASSERT_TRUE(w.Valid()) << c.name;
    ProbeInfo p = Probe(f);
    EXPECT_EQ(w.SampleRate(), p.sampleRate) << c.name;
    EXPECT_EQ(w.Channels(), p.channels) << c.name;
    EXPECT_EQ(w.BitsPerSample(), c.bits) << c.name;
    EXPECT_EQ(w.FormatTag(), 1) << c.name;
    EXPECT_NEAR(w.Duration(), p.duration, 1.0 / c.rate + 1e-6) << c.name;
    EXPECT_NEAR(w.Duration(), 3.0, 1e-3) << c.name;
  }
}

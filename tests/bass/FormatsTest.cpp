// File streams of every core format: decode equals the decoder's own front end (FFmpeg's, or
// mpg123's for MPEG audio), exact lengths,
// sample-accurate seeking, channel types, memory streams, tags, bad input.
#include "BassTestUtil.h"

#include <random>

namespace {

struct Format {
  const char* name;
  const char* ext;
  const char* args;
  DWORD ctype;
  DWORD origres;
};

const Format kFormats[] = {
    {"wav8", "wav", "-c:a pcm_u8", BASS_CTYPE_STREAM_WAV_PCM, 8},
    {"wav16", "wav", "-c:a pcm_s16le", BASS_CTYPE_STREAM_WAV_PCM, 16},
    {"wav24", "wav", "-c:a pcm_s24le", BASS_CTYPE_STREAM_WAV_PCM, 24},
    {"wav32", "wav", "-c:a pcm_s32le", BASS_CTYPE_STREAM_WAV_PCM, 32},
    {"wavfloat", "wav", "-c:a pcm_f32le", BASS_CTYPE_STREAM_WAV_FLOAT, 32},
    {"aiff", "aiff", "-c:a pcm_s16be", BASS_CTYPE_STREAM_AIFF, 16},
    {"mp1", "mp1", "-c:a mp1 -b:a 192k -f mp3", BASS_CTYPE_STREAM_MP1, 0},
    {"mp2", "mp2", "-c:a mp2 -b:a 192k", BASS_CTYPE_STREAM_MP2, 0},
    {"mp3", "mp3", "-c:a libmp3lame -b:a 128k", BASS_CTYPE_STREAM_MP3, 0},
    {"mp3vbr", "mp3", "-c:a libmp3lame -q:a 4", BASS_CTYPE_STREAM_MP3, 0},
    {"ogg", "ogg", "-c:a libvorbis -q:a 3", BASS_CTYPE_STREAM_OGG, 0},
    {"lamevbr", "mp3", "lame -V 5", BASS_CTYPE_STREAM_MP3, 0},
    {"lamenotag", "mp3", "lame -t -b 96 --resample 44.1", BASS_CTYPE_STREAM_MP3, 0},
};

class FormatTest : public ::testing::TestWithParam<Format> {
protected:
  void SetUp() override {
    ASSERT_TRUE(lib.ok);
    std::string path = lib.dir / (std::string("t.") + GetParam().ext);
    std::string args = GetParam().args;
    if (std::string(GetParam().ext) == "mp1") {
      file = bt::WriteMp1(path, 200);
    } else if (args.rfind("lame ", 0) == 0) {  // the lame encoder itself
      std::string wav = bt::Generate(lib.dir / "src.wav", "-c:a pcm_s16le", 1.7);
      ASSERT_EQ(bt::Run(args + " --quiet " + wav + " " + path), 0);
      file = path;
    } else {
      file = bt::Generate(path, args, 1.7);
    }
    // MPEG audio is decoded by libmpg123: its own front end is the reference (two compliant
    // decoders differ in the last bit).
    const bool mpeg = GetParam().ctype >= BASS_CTYPE_STREAM_MP1 && GetParam().ctype <= BASS_CTYPE_STREAM_MP3;
    ref = mpeg ? bt::Mpg123DecodeS16(file, lib.dir / "ref") : bt::FfmpegDecodeS16(file, lib.dir / "ref");
    ASSERT_GT(ref.size(), 10000u);
  }
  bt::Lib lib{false};
  std::string file;
  std::vector<int16_t> ref;
};

TEST_P(FormatTest, DecodeEqualsReferenceAndLengthIsExact) {
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, GetParam().ctype);
  EXPECT_EQ(info.origres, GetParam().origres);
  EXPECT_EQ(info.chans, 2u);
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_STREQ(info.filename, file.c_str());
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  auto pcm = bt::AsS16(bt::DecodeAll(h));
  ASSERT_EQ(pcm.size(), ref.size());
  EXPECT_EQ(len, ref.size() * 2) << "length in bytes before decoding";
  size_t diffs = 0;
  for (size_t i = 0; i < ref.size(); ++i) diffs += pcm[i] != ref[i];
  EXPECT_EQ(diffs, 0u);
  EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), len);
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, len), double(ref.size() / 2) / 44100.0, 1e-9);
  EXPECT_TRUE(BASS_StreamFree(h));
}

TEST_P(FormatTest, SeekingIsSampleAccurate) {
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  for (double t : {1.234, 0.0005, 0.61, 0.0}) {
    QWORD pos = BASS_ChannelSeconds2Bytes(h, t);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, pos, BASS_POS_BYTE)) << t;
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), pos);
    std::vector<int16_t> got(4000);
    DWORD n = BASS_ChannelGetData(h, got.data(), DWORD(got.size() * 2));
    ASSERT_EQ(n, got.size() * 2);
    size_t off = size_t(pos / 2);
    size_t diffs = 0;
    for (size_t i = 0; i < got.size(); ++i) diffs += got[i] != ref[off + i];
    EXPECT_EQ(diffs, 0u) << "seek to " << t;
  }
  BASS_StreamFree(h);
}

// The decoder converts a frame straight into the reader's buffer when it fits there and keeps it
// for later reads when not: reads of every size, mixed, and after seeks into the middle of a
// frame, give the same samples in the same order.
TEST_P(FormatTest, ReadsOfEverySizeGiveTheSameSamples) {
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  const DWORD sizes[] = {4, 4608, 6, 4612, 13832, 40, 65536, 1152 * 4 - 4, 1152 * 4 + 4, 300000};
  for (double t : {0.0, 0.3217, 1.0001}) {
    QWORD pos = BASS_ChannelSeconds2Bytes(h, t);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, pos, BASS_POS_BYTE)) << t;
    std::vector<int16_t> got;
    std::vector<int16_t> buf(300000 / 2);
    for (size_t k = 0;; ++k) {
      DWORD n = BASS_ChannelGetData(h, buf.data(), sizes[k % std::size(sizes)]);
      if (n == DWORD(-1) || n == 0) break;
      ASSERT_EQ(n % 4, 0u);
      got.insert(got.end(), buf.begin(), buf.begin() + n / 2);
    }
    const size_t off = size_t(pos / 2);
    ASSERT_EQ(got.size(), ref.size() - off) << "from " << t;
    size_t diffs = 0;
    for (size_t i = 0; i < got.size(); ++i) diffs += got[i] != ref[off + i];
    EXPECT_EQ(diffs, 0u) << "from " << t;
  }
  BASS_StreamFree(h);
}

TEST_P(FormatTest, MemoryStreamEqualsFileStream) {
  auto bytes = bt::ReadFile(file);
  HSTREAM h = BASS_StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.filename, nullptr);
  auto pcm = bt::AsS16(bt::DecodeAll(h));
  EXPECT_EQ(pcm, ref);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(bytes.size()));
  BASS_StreamFree(h);
}

INSTANTIATE_TEST_SUITE_P(Core, FormatTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Formats, FloatAndEightBitAndMonoOutput) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  auto file = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.5);
  auto ref = bt::FfmpegDecodeS16(file, lib.dir / "ref");
  HSTREAM f = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  ASSERT_NE(f, 0u);
  BASS_CHANNELINFO info{};
  BASS_ChannelGetInfo(f, &info);
  EXPECT_TRUE(info.flags & BASS_SAMPLE_FLOAT);
  auto fb = bt::DecodeAll(f);
  ASSERT_EQ(fb.size(), ref.size() * 4);
  const float* fl = reinterpret_cast<const float*>(fb.data());
  for (size_t i = 0; i < ref.size(); i += 97) ASSERT_FLOAT_EQ(fl[i], ref[i] / 32768.0f);
  HSTREAM e = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_8BITS);
  ASSERT_NE(e, 0u);
  auto eb = bt::DecodeAll(e);
  ASSERT_EQ(eb.size(), ref.size());
  for (size_t i = 0; i < ref.size(); i += 97) ASSERT_NEAR((int(eb[i]) - 128) * 256, ref[i], 260);
  HSTREAM m = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_MONO);
  ASSERT_NE(m, 0u);
  BASS_ChannelGetInfo(m, &info);
  EXPECT_EQ(info.chans, 1u);
  auto mb = bt::AsS16(bt::DecodeAll(m));
  EXPECT_EQ(mb.size(), ref.size() / 2);
  EXPECT_EQ(BASS_ChannelGetLength(m, BASS_POS_BYTE), QWORD(ref.size()));
}

TEST(Formats, TagsOfFileStreams) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  auto mp3 = bt::Generate(lib.dir / "t.mp3",
                          "-c:a libmp3lame -b:a 128k -id3v2_version 3 -write_id3v1 1 -metadata title=Hello "
                          "-metadata artist=World",
                          0.5);
  HSTREAM h = BASS_StreamCreateFile(FALSE, mp3.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  const char* v1 = BASS_ChannelGetTags(h, BASS_TAG_ID3);
  ASSERT_NE(v1, nullptr);
  EXPECT_EQ(std::string(v1, 3), "TAG");
  EXPECT_EQ(std::string(v1 + 3, 5), "Hello");
  const char* v2 = BASS_ChannelGetTags(h, BASS_TAG_ID3V2);
  ASSERT_NE(v2, nullptr);
  EXPECT_EQ(std::string(v2, 3), "ID3");
  EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_OGG), nullptr);
  QWORD start = BASS_StreamGetFilePosition(h, BASS_FILEPOS_START);
  QWORD v2size = (QWORD(uint8_t(v2[6])) << 21 | QWORD(uint8_t(v2[7])) << 14 | QWORD(uint8_t(v2[8])) << 7 |
                  uint8_t(v2[9])) + 10;
  EXPECT_GE(start, v2size);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(bt::ReadFile(mp3).size()));

  auto ogg = bt::Generate(lib.dir / "t.ogg", "-c:a libvorbis -metadata title=Song -metadata ARTIST=Band", 0.5);
  HSTREAM o = BASS_StreamCreateFile(FALSE, ogg.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(o, 0u);
  const char* list = BASS_ChannelGetTags(o, BASS_TAG_OGG);
  ASSERT_NE(list, nullptr);
  std::vector<std::string> items;
  for (const char* p = list; *p; p += std::strlen(p) + 1) items.emplace_back(p);
  EXPECT_NE(std::find(items.begin(), items.end(), "title=Song"), items.end());
  EXPECT_NE(std::find(items.begin(), items.end(), "ARTIST=Band"), items.end());
}

TEST(Formats, BadInputGivesZeroHandleAndErrorCode) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, (lib.dir / "missing.mp3").c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  std::vector<uint8_t> junk(5000);
  std::mt19937 rng(7);
  for (auto& b : junk) b = uint8_t(rng());
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, junk.data(), 0, junk.size(), 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  auto wav = bt::ReadFile(bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.3));
  // Header only / truncated header
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, wav.data(), 0, 20, 0), 0u);
  EXPECT_NE(BASS_ErrorGetCode(), 0);
  // A truncated but valid file plays what it has.
  HSTREAM t = BASS_StreamCreateFile(TRUE, wav.data(), 0, 4000, BASS_STREAM_DECODE);
  ASSERT_NE(t, 0u);
  EXPECT_LE(bt::DecodeAll(t).size(), 4000u);
  auto mp3 = bt::ReadFile(bt::Generate(lib.dir / "t.mp3", "-c:a libmp3lame", 0.5));
  for (size_t i = 200; i < mp3.size(); i += 37) mp3[i] ^= 0x5A;  // corrupt the frames
  HSTREAM c = BASS_StreamCreateFile(TRUE, mp3.data(), 0, mp3.size(), BASS_STREAM_DECODE);
  if (c) bt::DecodeAll(c);  // must end, whatever it decodes
  else EXPECT_NE(BASS_ErrorGetCode(), 0);
  // A FLAC file is no core format (add-ons handle it).
  auto flac = bt::Generate(lib.dir / "t.flac", "-c:a flac", 0.3);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, flac.c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
}

TEST(Formats, UserFileProceduresFeedTheDecoder) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  std::string file = bt::Generate(lib.dir / "t.ogg", "-c:a libvorbis", 0.8);
  auto ref = bt::FfmpegDecodeS16(file, lib.dir / "ref");
  // The file ends at 0.8 s (its last granule position); FFmpeg's own decode of so short a file
  // keeps the rest of the last packet, the library cuts it.
  ASSERT_GE(ref.size(), size_t(0.8 * 44100 * 2));
  ref.resize(size_t(0.8 * 44100 * 2));
  bt::MemFile m{bt::ReadFile(file)};
  HSTREAM h = BASS_StreamCreateFileUser(STREAMFILE_NOBUFFER, BASS_STREAM_DECODE, &bt::kMemFileProcs, &m);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(ref.size() * 2));
  EXPECT_EQ(bt::AsS16(bt::DecodeAll(h)), ref);
  ASSERT_TRUE(BASS_ChannelSetPosition(h, 8000, BASS_POS_BYTE));
  int16_t s[64];
  ASSERT_EQ(BASS_ChannelGetData(h, s, sizeof s), DWORD(sizeof s));
  EXPECT_TRUE(std::equal(s, s + 64, ref.begin() + 4000));
  EXPECT_FALSE(m.closed);
  BASS_StreamFree(h);
  EXPECT_TRUE(m.closed);
}

// A user file that cannot seek, handed over 1000 bytes at a time: FFmpeg is told so, and decodes it
// whole (it lost its place seeking to the end for an Ogg file's length, and stopped a third in).
// The length is unknown rather than FFmpeg's guess from the bit rate.
TEST(Formats, AUserFileThatCannotSeekDecodesWhole) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  const std::string file = bt::Generate(lib.dir / "t.ogg", "-c:a libvorbis", 3.0);
  HSTREAM whole = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(whole, 0u);
  bt::MemFile m{bt::ReadFile(file), 1000};
  m.seekable = false;
  HSTREAM h = BASS_StreamCreateFileUser(STREAMFILE_BUFFER, BASS_STREAM_DECODE, &bt::kMemFileProcs, &m);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(-1));
  EXPECT_EQ(bt::DecodeAll(h), bt::DecodeAll(whole));
  EXPECT_EQ(m.seeks, 0);
  BASS_StreamFree(h);
  BASS_StreamFree(whole);
}

TEST(Formats, SixChannelFileDecodesInFileOrder) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  std::string file = lib.dir / "six.wav";
  ASSERT_EQ(bt::Run("ffmpeg -nostdin -y -f lavfi -i \"aevalsrc=0.1*sin(2*PI*200*t)|0.2*sin(2*PI*300*t)|0.3*sin(2*PI*400*t)|"
                    "0.05*sin(2*PI*50*t)|0.4*sin(2*PI*500*t)|0.5*sin(2*PI*600*t):c=5.1:s=44100:d=0.5\" -c:a pcm_s16le " +
                    file),
            0);
  auto ref = bt::FfmpegDecodeS16(file, lib.dir / "ref");
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  BASS_CHANNELINFO info{};
  BASS_ChannelGetInfo(h, &info);
  EXPECT_EQ(info.chans, 6u);
  auto pcm = bt::AsS16(bt::DecodeAll(h));
  EXPECT_EQ(pcm, ref);
  // Each channel keeps its own signal: channel 5 is the loudest.
  double peak[6] = {};
  for (size_t i = 0; i < pcm.size(); ++i) peak[i % 6] = std::max(peak[i % 6], std::fabs(double(pcm[i])));
  EXPECT_GT(peak[5], peak[4]);
  EXPECT_GT(peak[4], peak[2]);
}

TEST(Formats, OffsetAndLengthSelectARegionOfTheFile) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  auto wav = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.3);
  auto bytes = bt::ReadFile(wav);
  std::vector<uint8_t> padded(1000, 0xAB);
  padded.insert(padded.end(), bytes.begin(), bytes.end());
  padded.resize(padded.size() + 500, 0xCD);
  std::string path = lib.dir / "padded.bin";
  bt::WriteFile(path, padded);
  HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 1000, bytes.size(), BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  HSTREAM r = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE);
  EXPECT_EQ(bt::DecodeAll(h), bt::DecodeAll(r));
}

}  // namespace

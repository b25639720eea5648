// MPEG audio files through libmpg123: gapless lengths equal to FFmpeg's sample counts, decodes equal
// to mpg123's own front end (16-bit, float, mono, 8-bit), sample-exact seeks anywhere, tags and file
// positions, damaged files, and the files that must stay with FFmpeg.
#include "BassTestUtil.h"

#include <algorithm>
#include <atomic>
#include <random>

namespace {

// The samples of a decoding channel as raw bytes, from its current position to the end.
std::vector<uint8_t> Rest(DWORD h) { return bt::DecodeAll(h, 7777); }

DWORD CtypeOf(DWORD h) {
  BASS_CHANNELINFO info{};
  EXPECT_TRUE(BASS_ChannelGetInfo(h, &info));
  return info.ctype;
}

size_t Diffs(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  size_t n = std::max(a.size(), b.size()) - std::min(a.size(), b.size());
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) n += a[i] != b[i];
  return n;
}

struct Encoded {
  const char* name;
  const char* encode;  // ffmpeg arguments, or a lame command line
  double seconds;
  int rate;
  int chans;
  DWORD ctype;
};

// LAME/Xing-tagged (ffmpeg's and lame's own), untagged, VBR at low rates (the bit reservoir reaches
// back several frames), MPEG-2 and 2.5 rates, mono, Layer II.
const Encoded kFiles[] = {
    {"lame_tagged", "-c:a libmp3lame -b:a 128k", 1.7, 44100, 2, BASS_CTYPE_STREAM_MP3},
    {"untagged", "-c:a libmp3lame -b:a 128k -write_xing 0", 1.7, 44100, 2, BASS_CTYPE_STREAM_MP3},
    {"lame_vbr_low", "lame --quiet -V 9 --resample 44.1", 2.5, 44100, 2, BASS_CTYPE_STREAM_MP3},
    {"mpeg2_mono_8k", "-c:a libmp3lame -b:a 8k -ac 1", 2.0, 22050, 1, BASS_CTYPE_STREAM_MP3},
    {"mpeg25", "-c:a libmp3lame -b:a 32k", 1.5, 11025, 2, BASS_CTYPE_STREAM_MP3},
    {"layer2", "-c:a mp2 -b:a 192k", 1.7, 44100, 2, BASS_CTYPE_STREAM_MP2},
};

class Mpg123File : public ::testing::TestWithParam<Encoded> {
protected:
  void SetUp() override {
    ASSERT_TRUE(lib.ok);
    const Encoded& e = GetParam();
    file = lib.dir / (std::string("t.") + (e.ctype == BASS_CTYPE_STREAM_MP2 ? "mp2" : "mp3"));
    std::string enc = e.encode;
    if (enc.rfind("lame ", 0) == 0) {
      std::string wav = bt::Generate(lib.dir / "src.wav", "-c:a pcm_s16le", e.seconds, e.rate, e.chans);
      ASSERT_EQ(bt::Run(enc + " " + wav + " " + file), 0);
    } else {
      bt::Generate(file, enc, e.seconds, e.rate, e.chans);
    }
    ref = bt::Mpg123DecodeS16(file, lib.dir / "ref");
    ASSERT_GT(ref.size(), size_t(e.rate / 2));
  }
  bt::Lib lib{false};
  std::string file;
  std::vector<int16_t> ref;
};

TEST_P(Mpg123File, GaplessLengthEqualsFfmpegsSampleCount) {
  const auto ff = bt::FfmpegDecodeS16(file, lib.dir / "ff");
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(CtypeOf(h), GetParam().ctype);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(ff.size() * 2)) << "before decoding";
  EXPECT_EQ(Rest(h).size(), ff.size() * 2);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(ff.size() * 2)) << "after decoding";
  EXPECT_EQ(ref.size(), ff.size()) << "mpg123 and ffmpeg count the same samples";
  BASS_StreamFree(h);
}

TEST_P(Mpg123File, DecodeEqualsMpg123InSixteenBitAndFloat) {
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.freq, DWORD(GetParam().rate));
  EXPECT_EQ(info.chans, DWORD(GetParam().chans));
  EXPECT_EQ(info.origres, 0u);
  EXPECT_EQ(info.flags & (BASS_SAMPLE_FLOAT | BASS_SAMPLE_8BITS), 0u);
  EXPECT_EQ(Diffs(bt::AsS16(Rest(h)), ref), 0u);
  BASS_StreamFree(h);

  const auto fref = bt::Mpg123DecodeF32(file, lib.dir / "fref");
  HSTREAM f = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  ASSERT_NE(f, 0u);
  ASSERT_TRUE(BASS_ChannelGetInfo(f, &info));
  EXPECT_TRUE(info.flags & BASS_SAMPLE_FLOAT);
  auto fb = Rest(f);
  ASSERT_EQ(fb.size(), fref.size() * 4);
  EXPECT_EQ(std::memcmp(fb.data(), fref.data(), fb.size()), 0) << "float samples bit for bit";
  EXPECT_EQ(BASS_ChannelGetLength(f, BASS_POS_BYTE), QWORD(fb.size()));
  BASS_StreamFree(f);
}

TEST_P(Mpg123File, SeeksAnywhereGiveTheStraightDecodesSamples) {
  const int chans = GetParam().chans;
  const int64_t frames = int64_t(ref.size()) / chans;
  const bool lsf = GetParam().ctype == BASS_CTYPE_STREAM_MP3 && GetParam().rate < 32000;
  const int spf = lsf ? 576 : 1152;
  // Inside the first frame, on and beside frame boundaries, the middle, inside the last frame, the end.
  const int64_t targets[] = {1,           7,     spf - 1,    spf,        spf + 1,   5 * spf + 333, frames / 2,
                             frames - spf + 17, frames - 5, frames - 1, frames,    0};
  for (DWORD fl : {DWORD(0), DWORD(BASS_SAMPLE_FLOAT)}) {
    HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | fl);
    ASSERT_NE(h, 0u);
    const auto straight = Rest(h);
    const size_t fb = size_t(chans) * (fl ? 4 : 2);
    ASSERT_EQ(straight.size(), size_t(frames) * fb);
    for (int64_t t : targets) {
      const QWORD pos = QWORD(t) * fb;
      ASSERT_TRUE(BASS_ChannelSetPosition(h, pos, BASS_POS_BYTE)) << t;
      EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), pos);
      const size_t want = std::min<size_t>(3000 * fb, straight.size() - size_t(pos));
      std::vector<uint8_t> got(want + fb);
      DWORD n = BASS_ChannelGetData(h, got.data(), DWORD(got.size()));
      if (t == frames) {
        EXPECT_TRUE(n == 0 || n == DWORD(-1)) << "nothing after the end";
        continue;
      }
      if (want < 3000 * fb) {
        ASSERT_EQ(n, DWORD(want)) << "up to the end from frame " << t;
      }
      ASSERT_GE(n, DWORD(want)) << "at frame " << t << (fl ? " (float)" : "");
      n = DWORD(want);
      if (!lsf) {
        EXPECT_EQ(std::memcmp(got.data(), straight.data() + pos, n), 0) << "at frame " << t << (fl ? " (float)" : "");
        continue;
      }
      // MPEG-2/2.5 Layer III: libmpg123's synthesis after a seek rounds a little differently (see
      // the decoder): no sample is off by more than one 16-bit step; anything more is a wrong seek.
      size_t off = 0, worse = 0;
      for (size_t i = 0; i < n; i += fl ? 4 : 2) {
        double a, b;
        if (fl) {
          float x, y;
          std::memcpy(&x, got.data() + i, 4);
          std::memcpy(&y, straight.data() + pos + i, 4);
          a = x * 32768.0, b = y * 32768.0;
        } else {
          int16_t x, y;
          std::memcpy(&x, got.data() + i, 2);
          std::memcpy(&y, straight.data() + pos + i, 2);
          a = x, b = y;
        }
        off += a != b;
        worse += std::fabs(a - b) > 1.0;
      }
      EXPECT_EQ(worse, 0u) << "at frame " << t << (fl ? " (float)" : "");
      // In 16-bit that is a handful of samples; in float most samples differ in their last bits.
      if (!fl) {
        EXPECT_LE(off, 8u) << "at frame " << t;
      }
    }
    BASS_StreamFree(h);
  }
}

TEST_P(Mpg123File, MemoryAndUserFileStreamsEqualTheFileStream) {
  auto bytes = bt::ReadFile(file);
  HSTREAM m = BASS_StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), BASS_STREAM_DECODE);
  ASSERT_NE(m, 0u);
  EXPECT_EQ(CtypeOf(m), GetParam().ctype);
  EXPECT_EQ(Diffs(bt::AsS16(Rest(m)), ref), 0u);
  BASS_StreamFree(m);
  bt::MemFile mem{bytes};
  HSTREAM u = BASS_StreamCreateFileUser(STREAMFILE_NOBUFFER, BASS_STREAM_DECODE, &bt::kMemFileProcs, &mem);
  ASSERT_NE(u, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(CtypeOf(u), GetParam().ctype);
  EXPECT_EQ(BASS_ChannelGetLength(u, BASS_POS_BYTE), QWORD(ref.size() * 2));
  EXPECT_EQ(Diffs(bt::AsS16(Rest(u)), ref), 0u);
  BASS_StreamFree(u);
}

INSTANTIATE_TEST_SUITE_P(Files, Mpg123File, ::testing::ValuesIn(kFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Mpg123, MonoMixAndEightBitOutput) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  const std::string file = bt::Generate(lib.dir / "t.mp3", "-c:a libmp3lame -b:a 128k", 1.2);
  const auto ref = bt::Mpg123DecodeS16(file, lib.dir / "ref");
  HSTREAM m = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_MONO);
  ASSERT_NE(m, 0u);
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(m, &info));
  EXPECT_EQ(info.chans, 1u);
  EXPECT_EQ(BASS_ChannelGetLength(m, BASS_POS_BYTE), QWORD(ref.size()));
  auto mono = bt::AsS16(Rest(m));
  ASSERT_EQ(mono.size(), ref.size() / 2);
  // Both channels mixed: the left alone has a 3 kHz tone the right lacks, so neither channel alone
  // matches; the mix lies between them.
  size_t between = 0;
  for (size_t i = 0; i < mono.size(); ++i) {
    const int l = ref[2 * i], r = ref[2 * i + 1];
    between += mono[i] >= std::min(l, r) - 2 && mono[i] <= std::max(l, r) + 2;
  }
  EXPECT_GT(between, mono.size() * 99 / 100);
  EXPECT_GT(Diffs(mono, std::vector<int16_t>(ref.begin(), ref.begin() + long(mono.size()))), mono.size() / 2);

  HSTREAM e = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_8BITS);
  ASSERT_NE(e, 0u);
  ASSERT_TRUE(BASS_ChannelGetInfo(e, &info));
  EXPECT_TRUE(info.flags & BASS_SAMPLE_8BITS);
  EXPECT_EQ(BASS_ChannelGetLength(e, BASS_POS_BYTE), QWORD(ref.size()));
  auto eight = Rest(e);
  ASSERT_EQ(eight.size(), ref.size());
  size_t diffs = 0;
  for (size_t i = 0; i < ref.size(); ++i) diffs += eight[i] != uint8_t((ref[i] >> 8) + 128);
  EXPECT_EQ(diffs, 0u);
  // Seeking an 8-bit channel lands on the same samples.
  ASSERT_TRUE(BASS_ChannelSetPosition(e, 2 * 12345, BASS_POS_BYTE));
  uint8_t some[400];
  ASSERT_EQ(BASS_ChannelGetData(e, some, sizeof some), DWORD(sizeof some));
  EXPECT_EQ(std::memcmp(some, eight.data() + 2 * 12345, sizeof some), 0);
}

TEST(Mpg123, TagsAndFilePositions) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  const std::string mp3 = bt::Generate(lib.dir / "t.mp3",
                                       "-c:a libmp3lame -b:a 128k -id3v2_version 4 -write_id3v1 1 -metadata "
                                       "title=Hello -metadata artist=World",
                                       1.0);
  const auto bytes = bt::ReadFile(mp3);
  HSTREAM h = BASS_StreamCreateFile(FALSE, mp3.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(CtypeOf(h), DWORD(BASS_CTYPE_STREAM_MP3));
  const char* v1 = BASS_ChannelGetTags(h, BASS_TAG_ID3);
  ASSERT_NE(v1, nullptr);
  EXPECT_EQ(std::string(v1, 128), std::string(bytes.end() - 128, bytes.end()));
  const char* v2 = BASS_ChannelGetTags(h, BASS_TAG_ID3V2);
  ASSERT_NE(v2, nullptr);
  const size_t v2size = (size_t(uint8_t(v2[6])) << 21 | size_t(uint8_t(v2[7])) << 14 |
                         size_t(uint8_t(v2[8])) << 7 | uint8_t(v2[9])) + 10;
  EXPECT_EQ(std::string(v2, v2size), std::string(bytes.begin(), bytes.begin() + long(v2size)));
  EXPECT_NE(std::string(v2, v2size).find("Hello"), std::string::npos);
  EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_OGG), nullptr);
  // The first frame of audio follows the tag and the encoder's info frame.
  const QWORD start = BASS_StreamGetFilePosition(h, BASS_FILEPOS_START);
  EXPECT_GT(start, QWORD(v2size));
  ASSERT_LT(start + 4, bytes.size());
  EXPECT_EQ(bytes[start], 0xFF);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(bytes.size()));
  const QWORD before = BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT);
  std::vector<uint8_t> half(size_t(BASS_ChannelGetLength(h, BASS_POS_BYTE) / 2) & ~size_t(3));
  ASSERT_EQ(BASS_ChannelGetData(h, half.data(), DWORD(half.size())), DWORD(half.size()));
  const QWORD mid = BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT);
  EXPECT_GT(mid, before);
  EXPECT_GT(mid, bytes.size() / 3);
  EXPECT_LT(mid, bytes.size());
  BASS_StreamFree(h);

  // A revision byte of 0xFF makes the header no ID3v2 tag, for whichever decoder takes the file.
  auto odd = bytes;
  odd[4] = 0xFF;
  const std::string oddName = lib.dir / "odd.mp3";
  bt::WriteFile(oddName, odd);
  h = BASS_StreamCreateFile(FALSE, oddName.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_ID3V2), nullptr);
  EXPECT_NE(BASS_ChannelGetTags(h, BASS_TAG_ID3), nullptr);
  BASS_StreamFree(h);
}

TEST(Mpg123, DamagedFilesDecodeWhatTheyCanAndEnd) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  const std::string mp3 = bt::Generate(lib.dir / "t.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0", 2.0);
  const auto bytes = bt::ReadFile(mp3);
  const auto whole = bt::Mpg123DecodeS16(mp3, lib.dir / "ref");
  // Cut anywhere, also inside a frame: what is there decodes, the stream ends and its length is
  // then what was decoded.
  for (size_t cut : {bytes.size() / 2 + 7, bytes.size() - 100, size_t(2000)}) {
    HSTREAM h = BASS_StreamCreateFile(TRUE, bytes.data(), 0, cut, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u) << cut;
    auto pcm = bt::AsS16(Rest(h));
    EXPECT_GT(pcm.size(), whole.size() * (cut - 1000) / bytes.size()) << cut;
    EXPECT_LT(pcm.size(), whole.size()) << cut;
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(pcm.size() * 2)) << cut;
    // Agrees with mpg123 on what it could decode from the start.
    EXPECT_EQ(Diffs(pcm, std::vector<int16_t>(whole.begin(), whole.begin() + long(pcm.size()))), 0u) << cut;
    BASS_StreamFree(h);
  }
  // Junk between frames (and a run of false frame syncs in it) is skipped.
  std::mt19937 rng(11);
  auto junked = bytes;
  for (size_t at : {bytes.size() * 3 / 4, bytes.size() / 2, bytes.size() / 4}) {
    std::vector<uint8_t> junk(3000);
    for (auto& b : junk) b = uint8_t(rng());
    for (size_t i = 0; i + 1 < junk.size(); i += 97) junk[i] = 0xFF, junk[i + 1] = 0xFB;
    junked.insert(junked.begin() + long(at), junk.begin(), junk.end());
  }
  HSTREAM j = BASS_StreamCreateFile(TRUE, junked.data(), 0, junked.size(), BASS_STREAM_DECODE);
  ASSERT_NE(j, 0u);
  EXPECT_EQ(CtypeOf(j), DWORD(BASS_CTYPE_STREAM_MP3));
  auto pcm = bt::AsS16(Rest(j));
  EXPECT_GT(pcm.size(), whole.size() * 8 / 10);
  EXPECT_EQ(BASS_ChannelGetLength(j, BASS_POS_BYTE), QWORD(pcm.size() * 2));
  // Seeking around in it keeps working and ends.
  for (QWORD p : {QWORD(0), QWORD(pcm.size()), QWORD(pcm.size() / 2 * 2 / 4 * 4)}) {
    if (BASS_ChannelSetPosition(j, p, BASS_POS_BYTE)) Rest(j);
  }
  BASS_StreamFree(j);
  // Every byte of the frames flipped in turn in places: never a crash or a hang.
  auto flipped = bytes;
  for (size_t i = 300; i < flipped.size(); i += 41) flipped[i] ^= 0xA5;
  HSTREAM c = BASS_StreamCreateFile(TRUE, flipped.data(), 0, flipped.size(), BASS_STREAM_DECODE);
  if (c) {
    Rest(c);
    BASS_StreamFree(c);
  }
}

// A change of rate and channels inside the file ends the stream there, also after seeking back.
TEST(Mpg123, ARateChangeInsideTheFileEndsTheStreamThere) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  const std::string a = bt::Generate(lib.dir / "a.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0", 1.0, 44100);
  const std::string b = bt::Generate(lib.dir / "b.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0", 1.0, 48000, 1);
  auto both = bt::ReadFile(a);
  auto tail = bt::ReadFile(b);
  both.insert(both.end(), tail.begin(), tail.end());
  const auto first = bt::Mpg123DecodeS16(a, lib.dir / "ref");
  HSTREAM h = BASS_StreamCreateFile(TRUE, both.data(), 0, both.size(), BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.freq, 44100u);
  auto pcm = bt::AsS16(Rest(h));
  EXPECT_EQ(Diffs(pcm, first), 0u);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(pcm.size() * 2));
  // Back into the first part after the decoder last made the other part's (mono) format: the first
  // output after the seek must not be taken for the channel's.
  for (size_t frame : {pcm.size() / 4, size_t(1), size_t(0)}) {
    ASSERT_TRUE(BASS_ChannelSetPosition(h, QWORD(frame) * 4, BASS_POS_BYTE)) << frame;
    auto rest = bt::AsS16(Rest(h));
    EXPECT_EQ(Diffs(rest, std::vector<int16_t>(pcm.begin() + ptrdiff_t(frame * 2), pcm.end())), 0u) << frame;
  }
  BASS_StreamFree(h);
}

// Containers that carry MPEG audio, and ADTS AAC (whose sync word looks like MPEG's), are FFmpeg's:
// the core alone opens none of them (libmpg123 would have decoded the MPEG ones); the AAC add-on
// opens the AAC one.
TEST(Mpg123, OtherContainersStayWithFfmpeg) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  const std::string wav = bt::Generate(lib.dir / "mp3.wav", "-c:a libmp3lame -b:a 128k -f wav", 1.0);
  const std::string aac = bt::Generate(lib.dir / "t.aac", "-c:a aac -b:a 128k -f adts", 1.0);
  const std::string mp4 = bt::Generate(lib.dir / "mp3.mp4", "-c:a libmp3lame -b:a 128k -f mp4", 1.0);
  for (const std::string& f : {wav, aac, mp4}) {
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, f.c_str(), 0, 0, BASS_STREAM_DECODE), 0u) << f;
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << f;
  }
  // The AAC add-on's FFmpeg route takes the ADTS file.
  ASSERT_NE(BASS_PluginLoad((std::string(ORVELLA_STAGE_DIR) + "/plugins/bass/bass_aac.so").c_str(), 0), 0u);
  HSTREAM h = BASS_StreamCreateFile(FALSE, aac.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(CtypeOf(h), DWORD(BASS_CTYPE_STREAM_AAC));
  EXPECT_GT(Rest(h).size(), 44100u * 2);
  BASS_StreamFree(h);
  BASS_PluginFree(0);
}

// A user file that cannot seek (STREAMFILE_BUFFER) could not be read again from its start after the
// detection looked at its head: it goes to FFmpeg untouched, as before.
TEST(Mpg123, AUserFileThatCannotSeekStaysWithFfmpeg) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  const std::string file = bt::Generate(lib.dir / "t.mp3", "-c:a libmp3lame -b:a 128k", 1.0);
  const auto ff = bt::FfmpegDecodeS16(file, lib.dir / "ff");
  bt::MemFile mem{bt::ReadFile(file)};
  mem.seekable = false;
  HSTREAM h = BASS_StreamCreateFileUser(STREAMFILE_BUFFER, BASS_STREAM_DECODE, &bt::kMemFileProcs, &mem);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(CtypeOf(h), DWORD(BASS_CTYPE_STREAM_MP3));
  EXPECT_EQ(mem.seeks, 0) << "a buffered user file is never asked to seek";
  // FFmpeg's decode from the first byte, the encoder's info frame included: its delay and padding
  // are trimmed as in a file stream.
  EXPECT_EQ(bt::AsS16(Rest(h)), ff);
  BASS_StreamFree(h);
}

// A playing channel and a decoding channel on the same file at once (the engine's two channels):
// each has its own decoder; what is heard is the decode.
TEST(Mpg123, PlayingAndDecodingTheSameFileAtOnce) {
  bt::Lib lib;
  ASSERT_TRUE(lib.ok);
  const std::string file = bt::Generate(lib.dir / "t.mp3", "-c:a libmp3lame -b:a 160k", 1.3);
  const auto ref = bt::Mpg123DecodeS16(file, lib.dir / "ref");
  HSTREAM play = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, 0);
  HSTREAM dec = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(play, 0u);
  ASSERT_NE(dec, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(play, FALSE));
  std::vector<int16_t> got;
  std::vector<int16_t> buf(1000);
  for (;;) {
    DWORD n = BASS_ChannelGetData(dec, buf.data(), DWORD(buf.size() * 2));
    if (n == 0 || n == DWORD(-1)) break;
    got.insert(got.end(), buf.begin(), buf.begin() + n / 2);
  }
  EXPECT_EQ(Diffs(got, ref), 0u);
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(play) == BASS_ACTIVE_STOPPED; }, 30));
  BASS_StreamFree(play);
  BASS_StreamFree(dec);
  auto w = lib.Finish();
  ASSERT_EQ(w.samples.size(), ref.size());
  size_t diffs = 0;
  for (size_t i = 0; i < ref.size(); ++i) diffs += w.samples[i] != ref[i] / 32768.0f;
  EXPECT_EQ(diffs, 0u);
}

}  // namespace

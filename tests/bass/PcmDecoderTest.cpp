// Plain PCM and float WAVE and AIFF files decoded by the library itself: for every source format,
// channel count and rate, and every output format, the whole decode, decodes after seeks, lengths,
// channel information, file positions and tags equal byte for byte what the library's FFmpeg
// decoder gives for the same file (opened through the add-on interface's OpenFFmpeg). Edge files
// from small writers: chunks in any order and padded, data sizes that mean "to the end", cut
// frames, broken headers; memory and user-file streams; and what must stay with FFmpeg. (Played
// WAV files are heard through the capture output in the engine's and the application's tests.)
#include "DecoderCompare.h"

#include <sys/resource.h>

#include <filesystem>
#include <limits>

namespace {

using dc::Core;
using dc::FlagName;
using dc::Info;
using dc::kFlagSets;

// The same file through the library's FFmpeg decoder.
HSTREAM OpenFfmpeg(const std::string& path, DWORD flags) {
  const ORV_CORE_API* core = Core();
  if (!core) return 0;
  ORV_FILE* f = core->FileOpen(FALSE, path.c_str(), 0, 0, 0);
  if (!f) return 0;
  ORV_DECODER dec{};
  if (!core->OpenFFmpeg(f, flags, "wav,aiff", nullptr, 0, &dec)) {
    core->FileClose(f);
    return 0;
  }
  return core->CreateStream(&dec, f, flags | BASS_STREAM_DECODE, 0, path.c_str());
}

HSTREAM OpenFile(const std::string& path, DWORD flags) {
  return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, flags | BASS_STREAM_DECODE);
}

// The core's own decoder has read nothing of the audio when the stream is made; FFmpeg's has
// decoded its first packet by then.
bool Native(HSTREAM h) {
  return BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT) == BASS_StreamGetFilePosition(h, BASS_FILEPOS_START);
}

// Both decoders of one file with one set of flags: everything a caller can observe, compared.
void ExpectSameAsFfmpeg(const std::string& path, DWORD flags, bool native, const std::string& what) {
  SCOPED_TRACE(what + " " + FlagName(flags));
  HSTREAM ours = OpenFile(path, flags);
  HSTREAM ref = OpenFfmpeg(path, flags);
  ASSERT_NE(ref, 0u) << "FFmpeg refused it: " << BASS_ErrorGetCode();
  ASSERT_NE(ours, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(Native(ours), native);
  dc::ExpectSameStreams(ours, ref, native, false);
}

struct Source {
  const char* codec;
  int chans;
  int rate;
  const char* extra;  // more ffmpeg arguments
};

std::string SourceName(const ::testing::TestParamInfo<Source>& p) {
  std::string extra = p.param.extra;
  return std::string(p.param.codec) + "_" + std::to_string(p.param.chans) + "ch_" + std::to_string(p.param.rate) +
         (extra.empty() ? "" : "_rf64");
}

// Every source format in mono, stereo and six channels, each at 8, 44.1 and 96 kHz somewhere. ffmpeg
// writes extensible headers for more than two channels, above 48 kHz and above 16 bits.
std::vector<Source> Sources() {
  std::vector<Source> v;
  const char* codecs[] = {"pcm_u8", "pcm_s16le", "pcm_s24le", "pcm_s32le", "pcm_f32le", "pcm_f64le"};
  const int chans[] = {1, 2, 6};
  const int rates[] = {8000, 44100, 96000};
  for (int c = 0; c < 6; ++c)
    for (int k = 0; k < 3; ++k) v.push_back({codecs[c], chans[k], rates[(c + k) % 3], ""});
  v.push_back({"pcm_s16le", 2, 44100, "-rf64 always"});
  v.push_back({"pcm_f32le", 6, 48000, "-rf64 always"});
  return v;
}

// A signal per channel: tones at different levels (one past full scale, kept by float sources and
// clipped by integer ones) and low-level noise that exercises the rounding.
std::string MakeSource(const std::string& path, const Source& s, double seconds = 0.6) {
  const char* exprs[] = {"0.5*sin(2*PI*440*t)+0.1*sin(2*PI*3000*t)", "1.15*sin(2*PI*660*t)", "0.001*random(0)",
                         "0.7*sin(2*PI*97*t)", "-0.3*sin(2*PI*5000*t)", "0.9*random(1)-0.45"};
  std::string src;
  for (int c = 0; c < s.chans; ++c) src += std::string(c ? "|" : "") + exprs[c];
  std::string cmd = "ffmpeg -nostdin -y -f lavfi -i \"aevalsrc=" + src + ":s=" + std::to_string(s.rate) +
                    ":d=" + std::to_string(seconds) + "\" -c:a " + s.codec + " " + s.extra + " \"" + path + "\"";
  EXPECT_EQ(bt::Run(cmd), 0) << cmd;
  return path;
}

class PcmSource : public ::testing::TestWithParam<Source> {
protected:
  void SetUp() override { ASSERT_TRUE(lib.ok); }
  bt::Lib lib{false};
};

TEST_P(PcmSource, EveryOutputFormatDecodesSeeksAndReportsAsFfmpeg) {
  const Source& s = GetParam();
  const std::string path = MakeSource(lib.dir / "t.wav", s);
  for (DWORD flags : kFlagSets) {
    // A downmix of more than two channels weighs them by speaker: left to FFmpeg.
    const bool native = !((flags & BASS_SAMPLE_MONO) && s.chans > 2);
    ExpectSameAsFfmpeg(path, flags, native, SourceName({s, 0}));
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, PcmSource, ::testing::ValuesIn(Sources()), SourceName);

// AIFF and AIFF-C in every coding the core takes: 8 to 32-bit big-endian, "sowt" (16-bit
// little-endian), "fl32" and "fl64"; ffmpeg writes AIFF-C for the last three.
std::vector<Source> AiffSources() {
  std::vector<Source> v;
  const char* codecs[] = {"pcm_s8", "pcm_s16be", "pcm_s24be", "pcm_s32be", "pcm_f32be", "pcm_f64be", "pcm_s16le"};
  const int chans[] = {1, 2, 6};
  const int rates[] = {8000, 44100, 96000};
  for (int c = 0; c < 7; ++c)
    for (int k = 0; k < 3; ++k) v.push_back({codecs[c], chans[k], rates[(c + k) % 3], "-f aiff"});
  return v;
}

std::string AiffName(const ::testing::TestParamInfo<Source>& p) {
  return std::string(p.param.codec) + "_" + std::to_string(p.param.chans) + "ch_" + std::to_string(p.param.rate);
}

class AiffSource : public PcmSource {};

TEST_P(AiffSource, EveryOutputFormatDecodesSeeksAndReportsAsFfmpeg) {
  const Source& s = GetParam();
  const std::string path = MakeSource(lib.dir / "t.aiff", s);
  for (DWORD flags : kFlagSets) {
    const bool native = !((flags & BASS_SAMPLE_MONO) && s.chans > 2);
    ExpectSameAsFfmpeg(path, flags, native, AiffName({s, 0}));
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, AiffSource, ::testing::ValuesIn(AiffSources()), AiffName);

// ---------------------------------------------------------------- a small WAVE writer for edge files

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

struct Chunk {
  std::string id;
  std::vector<uint8_t> body;
  int64_t sizeField = -1;  // what the header says, when not the body's size
  bool pad = true;
};

std::vector<uint8_t> Riff(const std::vector<Chunk>& chunks) {
  std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const Chunk& c : chunks) {
    v.insert(v.end(), c.id.begin(), c.id.end());
    Put32(v, c.sizeField >= 0 ? uint32_t(c.sizeField) : uint32_t(c.body.size()));
    v.insert(v.end(), c.body.begin(), c.body.end());
    if (c.pad && (c.body.size() & 1)) v.push_back(0);
  }
  const uint32_t riff = uint32_t(v.size() - 8);
  std::memcpy(&v[4], &riff, 4);
  return v;
}

Chunk Fmt(uint32_t tag, uint32_t chans, uint32_t rate, uint32_t bits, uint32_t align, uint32_t byteRate = 0) {
  Chunk c{"fmt ", {}};
  Put16(c.body, tag);
  Put16(c.body, chans);
  Put32(c.body, rate);
  Put32(c.body, byteRate ? byteRate : rate * align);
  Put16(c.body, align);
  Put16(c.body, bits);
  return c;
}

Chunk Extensible(uint32_t subTag, uint32_t chans, uint32_t rate, uint32_t container, uint32_t valid, uint32_t mask) {
  Chunk c = Fmt(0xFFFE, chans, rate, container, chans * container / 8);
  Put16(c.body, 22);
  Put16(c.body, valid);
  Put32(c.body, mask);
  Put32(c.body, subTag);
  const uint8_t base[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  c.body.insert(c.body.end(), base, base + 12);
  return c;
}

// 16-bit samples of a two-channel signal (frames x 2), deterministic and not silent.
std::vector<uint8_t> Samples16(size_t frames, int chans = 2) {
  std::vector<uint8_t> v;
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < chans; ++c)
      Put16(v, uint32_t(int32_t(9000 * std::sin(0.01 * double(i) * (c + 1)) + c * 77)) & 0xFFFF);
  return v;
}

Chunk Data(std::vector<uint8_t> body, int64_t sizeField = -1) { return Chunk{"data", std::move(body), sizeField}; }
Chunk List(size_t bytes) {
  Chunk c{"LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M'}};
  Put32(c.body, uint32_t(bytes));
  for (size_t i = 0; i < bytes; ++i) c.body.push_back(uint8_t('a' + i % 26));
  return c;
}

class PcmEdge : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(lib.ok); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string p = lib.dir / name;
    bt::WriteFile(p, bytes);
    return p;
  }
  void Same(const std::string& name, const std::vector<uint8_t>& bytes, bool native = true) {
    const std::string p = Write(name, bytes);
    for (DWORD flags : {DWORD(0), DWORD(BASS_SAMPLE_FLOAT), DWORD(BASS_SAMPLE_MONO | BASS_SAMPLE_8BITS)})
      ExpectSameAsFfmpeg(p, flags, native, name);
  }
  void RefusedByBoth(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string p = Write(name, bytes);
    EXPECT_EQ(OpenFile(p, 0), 0u) << name;
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << name;
    EXPECT_EQ(OpenFfmpeg(p, 0), 0u) << name << ": FFmpeg takes it";
  }
  bt::Lib lib{false};
};

TEST_F(PcmEdge, ChunksInAnyOrderWithOddSizesPadded) {
  Same("list_first.wav", Riff({List(13), Fmt(1, 2, 22050, 16, 4), Data(Samples16(3000))}));
  Same("junk_odd.wav", Riff({Fmt(1, 2, 22050, 16, 4), Chunk{"junk", std::vector<uint8_t>(7, 0xAB)}, List(3),
                             Data(Samples16(2500))}));
  // The format after the data, and a chunk behind the data.
  Same("fmt_after_data.wav", Riff({Data(Samples16(2000)), Fmt(1, 2, 22050, 16, 4), List(5)}));
  // Eight-bit mono with an odd number of samples: the data chunk itself is padded.
  std::vector<uint8_t> u8(4001);
  for (size_t i = 0; i < u8.size(); ++i) u8[i] = uint8_t(128 + 100 * std::sin(0.03 * double(i)));
  Same("u8_odd.wav", Riff({Fmt(1, 1, 11025, 8, 1), Data(u8), List(9)}));
  // An extensible header naming left and right; one with no speakers named.
  Same("ext_stereo.wav", Riff({Extensible(1, 2, 44100, 16, 16, 3), Data(Samples16(3000))}));
  Same("ext_nomask.wav", Riff({Extensible(1, 2, 44100, 16, 0, 0), Data(Samples16(3000))}));
  // A mask naming three speakers for two channels is ignored (left and right again).
  Same("ext_mask_mismatch.wav", Riff({Extensible(1, 2, 44100, 16, 16, 0x7), Data(Samples16(3000))}));
  // 12 bits in 16 and 20 in 24: FFmpeg decodes them as 16 and 24 bits.
  Same("bits12.wav", Riff({Fmt(1, 2, 8000, 12, 4), Data(Samples16(3000))}));
  std::vector<uint8_t> s24;
  for (size_t i = 0; i < 3000 * 2; ++i) {
    const uint32_t v = uint32_t(int32_t(3000000 * std::sin(0.002 * double(i)))) << 4;
    s24.insert(s24.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
  }
  Same("bits20.wav", Riff({Fmt(1, 2, 8000, 20, 6), Data(s24)}));
}

TEST_F(PcmEdge, DataSizesThatMeanToTheEndOfTheFile) {
  const auto body = Samples16(4000);
  for (int64_t size : {int64_t(0), int64_t(0xFFFFFFFF), int64_t(body.size() + 100000)}) {
    const std::string name = "data_size_" + std::to_string(size) + ".wav";
    const std::string p = Write(name, Riff({Fmt(1, 2, 44100, 16, 4), Data(body, size)}));
    HSTREAM h = OpenFile(p, 0);
    ASSERT_NE(h, 0u) << name;
    EXPECT_TRUE(Native(h));
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(body.size())) << name << ": whole frames to the end";
    HSTREAM r = OpenFfmpeg(p, 0);
    ASSERT_NE(r, 0u);
    EXPECT_EQ(bt::DecodeAll(h), bt::DecodeAll(r)) << name;
    EXPECT_EQ(BASS_ChannelGetLength(r, BASS_POS_BYTE), QWORD(body.size())) << name << ": FFmpeg's, once decoded";
    BASS_StreamFree(h);
    BASS_StreamFree(r);
  }
  // A cut recording: the last frame is incomplete, and so is the chunk the header announced.
  auto cut = Riff({Fmt(1, 2, 44100, 16, 4), Data(Samples16(3000))});
  cut.resize(cut.size() - 401);
  Same("cut.wav", cut);
  // The data's own size cuts a frame.
  auto odd = Samples16(3000);
  Same("cut_in_chunk.wav", Riff({Fmt(1, 2, 44100, 16, 4), Data(odd, int64_t(odd.size() - 3)), List(4)}));
}

TEST_F(PcmEdge, BrokenHeadersAreRefusedByBoth) {
  RefusedByBoth("header_only.wav", Riff({Fmt(1, 2, 44100, 16, 4), Data({})}));
  auto truncated = Riff({Fmt(1, 2, 44100, 16, 4)});
  truncated.resize(12 + 8 + 6);
  RefusedByBoth("truncated_fmt.wav", truncated);
  RefusedByBoth("no_fmt.wav", Riff({List(10), Data(Samples16(100))}));
  RefusedByBoth("no_data.wav", Riff({Fmt(1, 2, 44100, 16, 4), List(10)}));
  RefusedByBoth("short_list.wav", Riff({Fmt(1, 2, 44100, 16, 4), Chunk{"LIST", {'I', 'N'}}, Data(Samples16(100))}));
  RefusedByBoth("zero_rate.wav", Riff({Fmt(1, 2, 0, 16, 4), Data(Samples16(100))}));
  RefusedByBoth("zero_chans.wav", Riff({Fmt(1, 0, 44100, 16, 4), Data(Samples16(100))}));
  RefusedByBoth("float_24.wav", Riff({Fmt(3, 2, 44100, 24, 6), Data(Samples16(300))}));
  // A data chunk whose frame is only part there.
  RefusedByBoth("part_frame.wav", Riff({Fmt(1, 2, 44100, 16, 4), Data({1, 2, 3})}));
  // A file the size of the headers alone, and nothing at all.
  EXPECT_EQ(OpenFile(Write("tiny.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}), 0), 0u);
  EXPECT_EQ(OpenFile(Write("empty.wav", {}), 0), 0u);
}

// What the core does not decode itself goes to FFmpeg, with the result FFmpeg gives.
TEST_F(PcmEdge, OtherFormatsStayWithFfmpeg) {
  auto sameDecode = [&](const std::string& p, DWORD flags) {
    HSTREAM h = OpenFile(p, flags);
    HSTREAM r = OpenFfmpeg(p, flags);
    ASSERT_NE(h, 0u) << p;
    ASSERT_NE(r, 0u) << p;
    EXPECT_FALSE(Native(h)) << p;
    EXPECT_EQ(bt::DecodeAll(h), bt::DecodeAll(r)) << p;
    BASS_StreamFree(h);
    BASS_StreamFree(r);
  };
  // A frame size that is not the channels' samples: FFmpeg reads such files its own way.
  sameDecode(Write("wide_align.wav", Riff({Fmt(1, 2, 44100, 16, 6), Data(Samples16(3000))})), 0);
  // Sync words of S/PDIF bursts in 16-bit data: FFmpeg decides what that is.
  auto spdif = Samples16(3000);
  const uint8_t sync[] = {0x72, 0xF8, 0x1F, 0x4E};
  std::memcpy(spdif.data() + 400, sync, 4);
  sameDecode(Write("spdif.wav", Riff({Fmt(1, 2, 44100, 16, 4), Data(spdif)})), 0);
  // More than two channels downmixed to one: FFmpeg weighs them by speaker position.
  const std::string six = MakeSource(lib.dir / "six.wav", {"pcm_s16le", 6, 44100, ""}, 0.2);
  sameDecode(six, BASS_SAMPLE_MONO);
  // Two channels that are not left and right (rear pair, left and centre), downmixed: FFmpeg
  // refuses; undownmixed they are ours.
  for (uint32_t mask : {0x30u, 0x5u}) {
    const std::string p = Write("mask" + std::to_string(mask) + ".wav",
                                Riff({Extensible(1, 2, 44100, 16, 16, mask), Data(Samples16(3000))}));
    EXPECT_EQ(OpenFile(p, BASS_SAMPLE_MONO), 0u) << mask;
    EXPECT_EQ(OpenFfmpeg(p, BASS_SAMPLE_MONO), 0u) << mask;
    ExpectSameAsFfmpeg(p, 0, true, "mask " + std::to_string(mask));
  }
  // A-law is no core format: refused as before (an add-on's FFmpeg route would take it).
  const std::string alaw = bt::Generate(lib.dir / "alaw.wav", "-c:a pcm_alaw", 0.3);
  EXPECT_EQ(OpenFile(alaw, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  HSTREAM r = OpenFfmpeg(alaw, 0);
  ASSERT_NE(r, 0u);
  EXPECT_EQ(Info(r).ctype, DWORD(BASS_CTYPE_STREAM_WAV + 6));
  BASS_StreamFree(r);
}

// A chunk that claims far more than the file holds: FFmpeg would read it into zeroed memory of the
// claimed size (a 114-byte file took 1.9 GB and 20 s). Before the audio the file is refused at
// once; after it, the file plays as if it ended where the damaged chunk starts.
TEST_F(PcmEdge, AChunkClaimingGigabytesCostsNeitherMemoryNorTime) {
  auto peakKb = [] {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return long(u.ru_maxrss);
  };
  const long start = peakKb();
  Chunk huge = List(20);
  huge.sizeField = 0x7FFFFFF0;
  // The file a fuzzer found: a LIST claiming 4 GB whose INFO entries run on into the audio.
  const std::vector<uint8_t> fuzzed = {
      0x52, 0x49, 0x46, 0x46, 0xE6, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74, 0x20,
      0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x40, 0x1F, 0x00, 0x41,
      0x01, 0x00, 0x08, 0x00, 0x4C, 0x49, 0x53, 0x54, 0x1A, 0x00, 0x00, 0xFD, 0x49, 0x4E, 0x46, 0x4F,
      0x49, 0x53, 0x46, 0x54, 0x13, 0x00, 0x00, 0x00, 0x4C, 0x61, 0x76, 0x66, 0x35, 0x39, 0x2E, 0x32,
      0x37, 0x2E, 0x31, 0x30, 0x30, 0x00, 0x64, 0x61, 0x74, 0x61, 0xA0, 0x00, 0x28, 0x00, 0x85, 0x80,
      0x7B, 0x76, 0x72, 0x70, 0x70, 0x71, 0x75, 0x79, 0x7E, 0x84, 0x89, 0x8D, 0x8F, 0x8F, 0x72, 0xF8,
      0x00, 0x75, 0x05, 0x00, 0xE3, 0x05, 0x00, 0x50, 0x06, 0x00, 0xBC, 0x06, 0x00, 0x26, 0x07, 0x00,
      0x8F, 0x70};
  const auto ours = Riff({Fmt(1, 1, 8000, 8, 1), huge, Data(Samples16(20))});
  for (const auto& [name, bytes] : {std::pair{"fuzzed_list.wav", &fuzzed}, std::pair{"huge_list.wav", &ours}}) {
    const std::string p = Write(name, *bytes);
    EXPECT_EQ(OpenFfmpeg(p, 0), 0u) << name;
    EXPECT_EQ(OpenFile(p, 0), 0u) << name;
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << name;
    // The same bytes from a user file that cannot seek: the walk sees what was read of its head.
    bt::MemFile oneWay{*bytes, 1000};
    oneWay.seekable = false;
    EXPECT_EQ(BASS_StreamCreateFileUser(STREAMFILE_BUFFER, BASS_STREAM_DECODE, &bt::kMemFileProcs, &oneWay), 0u) << name;
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << name;
  }

  // Through FFmpeg (a frame size it reads its own way), with and without the damaged tail.
  const auto audio = Samples16(3000);
  const std::string clean = Write("wide_clean.wav", Riff({Fmt(1, 2, 44100, 16, 6), Data(audio)}));
  const std::string after = Write("huge_after.wav", Riff({Fmt(1, 2, 44100, 16, 6), Data(audio), huge}));
  HSTREAM h = OpenFile(after, 0);
  HSTREAM r = OpenFfmpeg(clean, 0);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  ASSERT_NE(r, 0u);
  EXPECT_FALSE(Native(h));
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), BASS_ChannelGetLength(r, BASS_POS_BYTE));
  const auto got = bt::DecodeAll(h);
  EXPECT_EQ(got, bt::DecodeAll(r));
  EXPECT_GT(got.size(), 10000u);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_END), QWORD(std::filesystem::file_size(after)));
  BASS_StreamFree(h);
  BASS_StreamFree(r);
  // The core's own decoder takes the same damaged tail with its usual frame size.
  Same("huge_after_native.wav", Riff({Fmt(1, 2, 44100, 16, 4), Data(audio), huge}));
  EXPECT_LT(peakKb() - start, 256L * 1024) << "peak memory grew by more than 256 MB";
}

// A user file that cannot seek is handed to FFmpeg from its first byte: a WAV plays whole.
TEST_F(PcmEdge, ABufferedUserFileIsReadFromItsFirstByte) {
  const auto bytes = Riff({Fmt(1, 2, 44100, 16, 4), Data(Samples16(5000))});
  const std::string p = Write("buffered.wav", bytes);
  bt::MemFile mem{bytes};
  mem.seekable = false;
  HSTREAM h = BASS_StreamCreateFileUser(STREAMFILE_BUFFER, BASS_STREAM_DECODE, &bt::kMemFileProcs, &mem);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  HSTREAM r = OpenFile(p, 0);
  ASSERT_NE(r, 0u);
  EXPECT_EQ(bt::DecodeAll(h), bt::DecodeAll(r));
  BASS_StreamFree(h);
  BASS_StreamFree(r);
}

// Float samples far beyond full scale, infinities and NaN: integer output saturates (NaN is
// silence). FFmpeg's vector conversion turns the largest values into the opposite extreme.
TEST_F(PcmEdge, FloatBeyondFullScaleSaturates) {
  const float in[] = {0.5f,  1.5f, -1.5f, 70000.0f, -70000.0f, std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), 1e30f, -0.25f};
  std::vector<uint8_t> body(sizeof in);
  std::memcpy(body.data(), in, sizeof in);
  const std::string p = Write("extremes.wav", Riff({Fmt(3, 1, 8000, 32, 4), Data(body)}));
  HSTREAM h = OpenFile(p, 0);
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(Native(h));
  const auto s = bt::AsS16(bt::DecodeAll(h));
  const std::vector<int16_t> want = {16384, 32767, -32768, 32767, -32768, 32767, -32768, 0, 32767, -8192};
  EXPECT_EQ(s, want);
  BASS_StreamFree(h);
  h = OpenFile(p, BASS_SAMPLE_8BITS);
  ASSERT_NE(h, 0u);
  const auto u = bt::DecodeAll(h);
  const std::vector<uint8_t> want8 = {192, 255, 0, 255, 0, 255, 0, 128, 255, 96};
  EXPECT_EQ(u, want8);
  BASS_StreamFree(h);
}

// A header whose bytes-per-second is wrong does not move seeks: they go by the frame size.
TEST_F(PcmEdge, SeeksGoByTheFrameSizeWhateverTheByteRateSays) {
  const std::string p = Write("byterate.wav", Riff({Fmt(1, 2, 44100, 16, 4, 12345), Data(Samples16(20000))}));
  HSTREAM h = OpenFile(p, 0);
  ASSERT_NE(h, 0u);
  const auto all = bt::DecodeAll(h);
  ASSERT_EQ(all.size(), 80000u);
  ASSERT_TRUE(BASS_ChannelSetPosition(h, 4 * 12001, BASS_POS_BYTE));
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT), 44u + 4 * 12001);
  std::vector<uint8_t> got(400);
  ASSERT_EQ(BASS_ChannelGetData(h, got.data(), 400), 400u);
  EXPECT_EQ(std::memcmp(got.data(), all.data() + 4 * 12001, 400), 0);
  BASS_StreamFree(h);
}

TEST_F(PcmEdge, AppendedId3v1TagIsReportedAsByFfmpeg) {
  auto bytes = Riff({Fmt(1, 2, 44100, 16, 4), Data(Samples16(2000))});
  std::vector<uint8_t> tag(128, 0);
  std::memcpy(tag.data(), "TAGA title", 10);
  bytes.insert(bytes.end(), tag.begin(), tag.end());
  Same("id3v1.wav", bytes);
  HSTREAM h = OpenFile(lib.dir / "id3v1.wav", 0);
  ASSERT_NE(h, 0u);
  const char* t = BASS_ChannelGetTags(h, BASS_TAG_ID3);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(std::string(t + 3, 7), "A title");
  BASS_StreamFree(h);
}

// ---------------------------------------------------------------- AIFF edge files

void Put16Be(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x >> 8));
  v.push_back(uint8_t(x));
}
void Put32Be(std::vector<uint8_t>& v, uint32_t x) {
  Put16Be(v, x >> 16);
  Put16Be(v, x & 0xFFFF);
}

// FORM of the chunks (ids and bodies; padded), with the FORM size given or right.
std::vector<uint8_t> Form(const std::vector<Chunk>& chunks, const char* type = "AIFF", int64_t formSize = -1) {
  std::vector<uint8_t> v = {'F', 'O', 'R', 'M', 0, 0, 0, 0};
  v.insert(v.end(), type, type + 4);
  for (const Chunk& c : chunks) {
    v.insert(v.end(), c.id.begin(), c.id.end());
    Put32Be(v, c.sizeField >= 0 ? uint32_t(c.sizeField) : uint32_t(c.body.size()));
    v.insert(v.end(), c.body.begin(), c.body.end());
    if (c.pad && (c.body.size() & 1)) v.push_back(0);
  }
  const uint32_t form = formSize >= 0 ? uint32_t(formSize) : uint32_t(v.size() - 8);
  v[4] = uint8_t(form >> 24);
  v[5] = uint8_t(form >> 16);
  v[6] = uint8_t(form >> 8);
  v[7] = uint8_t(form);
  return v;
}

// COMM: channels, frames, bits, the rate as an 80-bit extended number; AIFF-C adds a compression.
Chunk Comm(uint32_t chans, uint32_t frames, uint32_t bits, uint32_t rate, const char* compression = nullptr) {
  Chunk c{"COMM", {}};
  Put16Be(c.body, chans);
  Put32Be(c.body, frames);
  Put16Be(c.body, bits);
  int e = 31;
  while (e > 0 && !(rate >> e)) --e;
  Put16Be(c.body, rate ? uint32_t(16383 + e) : 0);
  Put32Be(c.body, rate << (31 - e));
  Put32Be(c.body, 0);
  if (compression) {
    c.body.insert(c.body.end(), compression, compression + 4);
    c.body.insert(c.body.end(), {4, 'n', 'o', 'n', 'e', 0});  // a pascal string, padded to even
  }
  return c;
}

Chunk Ssnd(const std::vector<uint8_t>& samples, uint32_t offset = 0, int64_t sizeField = -1) {
  Chunk c{"SSND", {}, sizeField};
  Put32Be(c.body, offset);
  Put32Be(c.body, 0);
  c.body.insert(c.body.end(), offset, 0xEE);
  c.body.insert(c.body.end(), samples.begin(), samples.end());
  return c;
}

std::vector<uint8_t> Samples16Be(size_t frames, int chans = 2) {
  auto le = Samples16(frames, chans);
  for (size_t i = 0; i + 1 < le.size(); i += 2) std::swap(le[i], le[i + 1]);
  return le;
}

TEST_F(PcmEdge, AiffChunksOffsetsAndCutFiles) {
  Same("plain.aiff", Form({Comm(2, 3000, 16, 22050), Ssnd(Samples16Be(3000))}));
  // A name of odd length before the COMM (padded), the sound before the COMM, an SSND offset.
  Same("name_odd.aiff", Form({Chunk{"NAME", {'a', 'b', 'c'}}, Comm(2, 3000, 16, 11025), Ssnd(Samples16Be(3000))}));
  Same("ssnd_first.aiff", Form({Ssnd(Samples16Be(2500), 12), Comm(2, 2500, 16, 44100)}));
  // 12 bits in 16, and an AIFF-C "NONE" with its compression name; an odd rate.
  Same("bits12.aiff", Form({Comm(2, 3000, 12, 32000), Ssnd(Samples16Be(3000))}));
  Same("aifc_none.aiff", Form({Chunk{"FVER", {0xA2, 0x80, 0x51, 0x40}}, Comm(2, 3000, 16, 22050, "NONE"),
                               Ssnd(Samples16Be(3000))}, "AIFC"));
  Same("rate_odd.aiff", Form({Comm(1, 3000, 16, 12345), Ssnd(Samples16Be(3000, 1))}));
  // A cut file: the sound chunk runs past the end; the last frame is incomplete.
  auto cut = Form({Comm(2, 3000, 16, 44100), Ssnd(Samples16Be(3000))});
  cut.resize(cut.size() - 503);
  Same("cut.aiff", cut);
  // The frame count in COMM is not what decides: the sound chunk's data is played whole.
  Same("comm_count_short.aiff", Form({Comm(2, 1000, 16, 44100), Ssnd(Samples16Be(3000))}));
}

// Speaker positions named by a CHAN chunk: a downmix of two channels is FFmpeg's; the rest is ours.
TEST_F(PcmEdge, AiffWithSpeakerPositionsDownmixesThroughFfmpeg) {
  Chunk chan{"CHAN", {}};
  Put32Be(chan.body, (101u << 16) | 2);  // stereo
  Put32Be(chan.body, 0);
  Put32Be(chan.body, 0);
  const std::string p = Write("chan.aiff", Form({chan, Comm(2, 3000, 16, 44100), Ssnd(Samples16Be(3000))}));
  ExpectSameAsFfmpeg(p, 0, true, "chan");
  ExpectSameAsFfmpeg(p, BASS_SAMPLE_MONO, false, "chan");
  RefusedByBoth("chan_short.aiff",
                Form({Chunk{"CHAN", {0, 0, 0, 1}}, Comm(2, 300, 16, 44100), Ssnd(Samples16Be(300))}));
}

TEST_F(PcmEdge, AiffBrokenHeadersAreRefusedByBoth) {
  RefusedByBoth("no_ssnd.aiff", Form({Comm(2, 3000, 16, 44100)}));
  RefusedByBoth("no_comm.aiff", Form({Ssnd(Samples16Be(300))}));
  RefusedByBoth("zero_rate.aiff", Form({Comm(2, 300, 16, 0), Ssnd(Samples16Be(300))}));
  RefusedByBoth("short_ssnd.aiff", Form({Comm(2, 300, 16, 44100), Chunk{"SSND", {0, 0, 0, 0}}}));
  // The FORM's own size ends before the sound chunk.
  RefusedByBoth("form_short.aiff", Form({Comm(2, 300, 16, 44100), Ssnd(Samples16Be(300))}, "AIFF", 30));
  // The offset points past the data.
  Chunk past{"SSND", {}};
  Put32Be(past.body, 5000);
  Put32Be(past.body, 0);
  auto few = Samples16Be(10);
  past.body.insert(past.body.end(), few.begin(), few.end());
  RefusedByBoth("offset_past.aiff", Form({Comm(2, 10, 16, 44100), past}));
}

// A file cut while it plays (a recording rotated away, a copy overwritten): the stream ends on the
// last whole frame there, and its length says so.
TEST_F(PcmEdge, AFileCutWhileDecodingEndsOnItsLastWholeFrame) {
  const auto bytes = Riff({Fmt(1, 2, 44100, 16, 4), Data(Samples16(50000))});
  const std::string p = Write("shrinks.wav", bytes);
  HSTREAM h = OpenFile(p, 0);
  ASSERT_NE(h, 0u);
  std::vector<uint8_t> head(4000);
  ASSERT_EQ(BASS_ChannelGetData(h, head.data(), 4000), 4000u);
  std::filesystem::resize_file(p, 44 + 100000 + 3);
  const auto rest = bt::DecodeAll(h);
  EXPECT_EQ(rest.size(), 100000u - 4000u);
  EXPECT_EQ(std::memcmp(rest.data(), bytes.data() + 44 + 4000, rest.size()), 0);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), 100000u);
  BASS_StreamFree(h);
}

// ---------------------------------------------------------------- memory and user files

TEST_F(PcmEdge, MemoryAndUserFileStreamsEqualTheFileStream) {
  const std::string p = MakeSource(lib.dir / "m.wav", {"pcm_s24le", 2, 44100, ""}, 0.4);
  const auto bytes = bt::ReadFile(p);
  for (DWORD flags : {DWORD(0), DWORD(BASS_SAMPLE_FLOAT)}) {
    HSTREAM f = OpenFile(p, flags);
    ASSERT_NE(f, 0u);
    const auto want = bt::DecodeAll(f);
    ASSERT_GT(want.size(), 1000u);

    HSTREAM m = BASS_StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), flags | BASS_STREAM_DECODE);
    ASSERT_NE(m, 0u);
    EXPECT_TRUE(Native(m));
    EXPECT_EQ(bt::DecodeAll(m), want);

    // A region of a bigger block: positions are the region's.
    std::vector<uint8_t> padded(777, 0x55);
    padded.insert(padded.end(), bytes.begin(), bytes.end());
    HSTREAM r = BASS_StreamCreateFile(TRUE, padded.data(), 777, bytes.size(), flags | BASS_STREAM_DECODE);
    ASSERT_NE(r, 0u);
    EXPECT_EQ(BASS_StreamGetFilePosition(r, BASS_FILEPOS_END), QWORD(bytes.size()));
    EXPECT_EQ(bt::DecodeAll(r), want);

    // At most 1000 bytes a read, as a slow source would hand them over.
    bt::MemFile seekable{bytes, 1000};
    HSTREAM u = BASS_StreamCreateFileUser(STREAMFILE_NOBUFFER, flags | BASS_STREAM_DECODE, &bt::kMemFileProcs, &seekable);
    ASSERT_NE(u, 0u) << BASS_ErrorGetCode();
    EXPECT_TRUE(Native(u));
    EXPECT_EQ(bt::DecodeAll(u), want);
    ASSERT_TRUE(BASS_ChannelSetPosition(u, 4 * 1000 * (flags ? 2 : 1), BASS_POS_BYTE));
    auto rest = bt::DecodeAll(u);
    EXPECT_TRUE(rest.size() + 4000 * (flags ? 2 : 1) == want.size() &&
                std::equal(rest.begin(), rest.end(), want.begin() + 4000 * (flags ? 2 : 1)));

    for (HSTREAM h : {f, m, r, u}) BASS_StreamFree(h);
  }
}

}  // namespace

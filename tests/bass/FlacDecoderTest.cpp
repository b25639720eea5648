// Native FLAC files decoded through libFLAC (the core's OpenFlac, which the FLAC add-on tries first):
// for files of ffmpeg's and sox's encoders and of a small writer of our own (variable block sizes,
// 12 and 20 bits, speaker masks, damaged frames), every output format, the whole decode, decodes
// after seeks, lengths, channel information, file positions and tags equal byte for byte what the
// library's FFmpeg decoder gives for the same file (OpenFFmpeg with the add-on's "flac" route).
// Through the add-on: files, memory, user files, Ogg FLAC, and what falls back to FFmpeg.
#include "DecoderCompare.h"

#include <algorithm>
#include <cstddef>
#include <map>

namespace {

using dc::Core;
using dc::FlagName;
using dc::FrameBytes;
using dc::Id3v2Block;
using dc::Info;
using dc::kFlagSets;

using OpenFn = BOOL (*)(ORV_FILE*, DWORD, ORV_DECODER*);

HSTREAM OpenWith(const std::string& path, DWORD flags, bool flac) {
  const ORV_CORE_API* core = Core();
  if (!core || core->size < offsetof(ORV_CORE_API, OpenFlac) + sizeof(OpenFn)) return 0;
  ORV_FILE* f = core->FileOpen(FALSE, path.c_str(), 0, 0, 0);
  if (!f) return 0;
  ORV_DECODER dec{};
  const BOOL ok = flac ? core->OpenFlac(f, flags, &dec)
                       : core->OpenFFmpeg(f, flags, "flac", "flac", BASS_CTYPE_STREAM_FLAC, &dec);
  if (!ok) {
    const int err = BASS_ErrorGetCode();
    core->FileClose(f);
    core->SetError(err);
    return 0;
  }
  return core->CreateStream(&dec, f, flags | BASS_STREAM_DECODE, 0, path.c_str());
}
// The file through libFLAC, and through the library's FFmpeg decoder.
HSTREAM OpenFlac(const std::string& path, DWORD flags) { return OpenWith(path, flags, true); }
HSTREAM OpenFfmpeg(const std::string& path, DWORD flags) { return OpenWith(path, flags, false); }

// Both decoders of one file with one set of flags: everything a caller can observe, compared.
void ExpectSameAsFfmpeg(const std::string& path, DWORD flags, const std::string& what) {
  SCOPED_TRACE(what + " " + FlagName(flags));
  HSTREAM ours = OpenFlac(path, flags);
  HSTREAM ref = OpenFfmpeg(path, flags);
  ASSERT_NE(ref, 0u) << "FFmpeg refused it: " << BASS_ErrorGetCode();
  ASSERT_NE(ours, 0u) << "libFLAC's decoder refused it: " << BASS_ErrorGetCode();
  EXPECT_EQ(Info(ours).ctype, DWORD(BASS_CTYPE_STREAM_FLAC));
  dc::ExpectSameStreams(ours, ref, true, true);
}

// ---------------------------------------------------------------- files of the encoders

struct Source {
  const char* tool;  // "ffmpeg" or "sox" (from a WAV file ffmpeg makes)
  int bits;
  int chans;
  int rate;
};

std::string SourceName(const ::testing::TestParamInfo<Source>& p) {
  return std::string(p.param.tool) + "_" + std::to_string(p.param.bits) + "bit_" + std::to_string(p.param.chans) +
         "ch_" + std::to_string(p.param.rate);
}

// ffmpeg writes no seek table, sox (through libFLAC) does; only sox writes 8 bits.
std::vector<Source> Sources() {
  return {{"ffmpeg", 16, 2, 44100}, {"ffmpeg", 16, 1, 8000},  {"ffmpeg", 16, 6, 96000}, {"ffmpeg", 24, 2, 96000},
          {"ffmpeg", 24, 1, 44100}, {"ffmpeg", 24, 6, 8000},  {"sox", 8, 1, 8000},       {"sox", 8, 2, 44100},
          {"sox", 16, 2, 44100},    {"sox", 24, 2, 96000},    {"sox", 16, 6, 44100},     {"sox", 8, 6, 96000}};
}

// A signal per channel: tones at different levels (one clipped) and low-level noise that
// exercises the rounding of the conversions.
std::string MakeSource(const std::string& dir, const Source& s, double seconds = 0.7, const std::string& extra = "") {
  const char* exprs[] = {"0.5*sin(2*PI*440*t)+0.1*sin(2*PI*3000*t)", "1.15*sin(2*PI*660*t)", "0.001*random(0)",
                         "0.7*sin(2*PI*97*t)", "-0.3*sin(2*PI*5000*t)", "0.9*random(1)-0.45"};
  std::string src;
  for (int c = 0; c < s.chans; ++c) src += std::string(c ? "|" : "") + exprs[c];
  const std::string lavfi = "-f lavfi -i \"aevalsrc=" + src + ":s=" + std::to_string(s.rate) + ":d=" + std::to_string(seconds) + "\"";
  const std::string out = dir + "/" + SourceName({s, 0}) + ".flac";
  std::string cmd;
  if (std::string(s.tool) == "ffmpeg") {
    cmd = "ffmpeg -nostdin -y " + lavfi + " -c:a flac " +
          (s.bits == 24 ? "-sample_fmt s32 -bits_per_raw_sample 24" : "-sample_fmt s16") + " " + extra + " \"" + out + "\"";
  } else {
    const std::string wav = dir + "/sox_in.wav";
    const char* codec = s.bits == 8 ? "pcm_u8" : s.bits == 16 ? "pcm_s16le" : "pcm_s24le";
    cmd = "(ffmpeg -nostdin -y " + lavfi + " -c:a " + codec + " \"" + wav + "\" && sox \"" + wav + "\" -b " +
          std::to_string(s.bits) + " \"" + out + "\")";
  }
  EXPECT_EQ(bt::Run(cmd), 0) << cmd;
  return out;
}

class FlacSource : public ::testing::TestWithParam<Source> {
protected:
  void SetUp() override { ASSERT_TRUE(lib.ok); }
  bt::Lib lib{false};
};

TEST_P(FlacSource, EveryOutputFormatDecodesSeeksAndReportsAsFfmpeg) {
  const Source& s = GetParam();
  const std::string path = MakeSource(lib.dir.path, s);
  for (DWORD flags : kFlagSets) {
    if ((flags & BASS_SAMPLE_MONO) && s.chans > 2) {
      // A downmix of more channels weighs them by speaker position: left to FFmpeg.
      EXPECT_EQ(OpenFlac(path, flags), 0u);
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
      continue;
    }
    ExpectSameAsFfmpeg(path, flags, SourceName({s, 0}));
  }
}

INSTANTIATE_TEST_SUITE_P(Encoders, FlacSource, ::testing::ValuesIn(Sources()), SourceName);

// ---------------------------------------------------------------- a small FLAC writer for edge files

struct Bits {
  std::vector<uint8_t> bytes;
  uint64_t acc = 0;
  int n = 0;
  void Put(uint64_t v, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      acc = acc << 1 | ((v >> i) & 1);
      if (++n == 8) {
        bytes.push_back(uint8_t(acc));
        acc = 0;
        n = 0;
      }
    }
  }
  void Align() {
    while (n) Put(0, 1);
  }
};

uint8_t Crc8(const uint8_t* p, size_t n) {
  uint8_t c = 0;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int b = 0; b < 8; ++b) c = uint8_t(c & 0x80 ? (c << 1) ^ 0x07 : c << 1);
  }
  return c;
}
uint16_t Crc16(const uint8_t* p, size_t n) {
  uint16_t c = 0;
  for (size_t i = 0; i < n; ++i) {
    c ^= uint16_t(p[i] << 8);
    for (int b = 0; b < 8; ++b) c = uint16_t(c & 0x8000 ? (c << 1) ^ 0x8005 : c << 1);
  }
  return c;
}

// FLAC's UTF-8-like coding of frame and sample numbers.
void PutCoded(Bits& w, uint64_t v) {
  if (v < 0x80) return w.Put(v, 8);
  int extra = 1;
  while (extra < 6 && v >= (uint64_t(1) << (6 + 5 * extra))) ++extra;
  w.Put(((1u << (extra + 1)) - 1) << 1, extra + 2);  // extra+1 ones, then a zero
  w.Put(v >> (6 * extra), 8 - (extra + 2));
  for (int i = extra - 1; i >= 0; --i) w.Put(0x80 | ((v >> (6 * i)) & 0x3F), 8);
}

struct FlacSpec {
  int rate = 44100, chans = 2, bits = 16;
  std::vector<int> blocks;        // block sizes, in order
  bool variable = false;          // numbered by sample (variable block size) instead of by frame
  int64_t total = -1;             // STREAMINFO's total samples when not the real one
  std::vector<std::string> comments;
  // Frames whose header names another rate, channel count or depth than STREAMINFO.
  std::map<size_t, int> frameRate, frameChans, frameBits;
};

int64_t SampleAt(size_t i, int c, int bits) {
  const double full = double(int64_t(1) << (bits - 1));
  const double v = 0.6 * std::sin(0.013 * double(i) * (c + 1)) + 0.2 * std::sin(0.37 * double(i) + c);
  return std::clamp<int64_t>(int64_t(std::lround(v * full)) + int64_t((i * 7 + size_t(c) * 13) % 5) - 2,
                             -int64_t(full), int64_t(full) - 1);
}

int RateCode(int rate) {
  switch (rate) {
    case 8000: return 4;
    case 44100: return 9;
    case 48000: return 10;
    case 96000: return 11;
    default: return 0;
  }
}
int BitsCode(int bits) { return bits == 8 ? 1 : bits == 12 ? 2 : bits == 16 ? 4 : bits == 20 ? 5 : bits == 24 ? 6 : 0; }

// A FLAC file of verbatim subframes; frameStarts gets where each frame begins.
std::vector<uint8_t> WriteFlac(const FlacSpec& s, std::vector<size_t>* frameStarts = nullptr) {
  std::vector<uint8_t> out = {'f', 'L', 'a', 'C'};
  int64_t total = 0;
  int maxBlock = 16;
  for (int b : s.blocks) {
    total += b;
    maxBlock = std::max(maxBlock, b);
  }
  Bits si;
  si.Put(s.comments.empty() ? 0x80 : 0x00, 8);
  si.Put(34, 24);
  si.Put(s.variable ? 16 : uint64_t(maxBlock), 16);
  si.Put(uint64_t(maxBlock), 16);
  si.Put(0, 24);
  si.Put(0, 24);
  si.Put(uint64_t(s.rate), 20);
  si.Put(uint64_t(s.chans - 1), 3);
  si.Put(uint64_t(s.bits - 1), 5);
  si.Put(uint64_t(s.total >= 0 ? s.total : total), 36);
  for (int i = 0; i < 16; ++i) si.Put(0, 8);
  out.insert(out.end(), si.bytes.begin(), si.bytes.end());
  if (!s.comments.empty()) {
    std::vector<uint8_t> body;
    auto le32 = [&](uint32_t v) {
      for (int i = 0; i < 4; ++i) body.push_back(uint8_t(v >> (8 * i)));
    };
    le32(4);
    body.insert(body.end(), {'t', 'e', 's', 't'});
    le32(uint32_t(s.comments.size()));
    for (const std::string& c : s.comments) {
      le32(uint32_t(c.size()));
      body.insert(body.end(), c.begin(), c.end());
    }
    out.push_back(0x84);
    out.push_back(uint8_t(body.size() >> 16));
    out.push_back(uint8_t(body.size() >> 8));
    out.push_back(uint8_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
  }
  size_t sample = 0;
  for (size_t f = 0; f < s.blocks.size(); ++f) {
    const int n = s.blocks[f];
    const int chans = s.frameChans.count(f) ? s.frameChans.at(f) : s.chans;
    const int bits = s.frameBits.count(f) ? s.frameBits.at(f) : s.bits;
    const int rate = s.frameRate.count(f) ? s.frameRate.at(f) : 0;
    Bits w;
    w.Put(0x3FFE, 14);
    w.Put(0, 1);
    w.Put(s.variable ? 1 : 0, 1);
    w.Put(7, 4);  // block size - 1 in 16 bits after the number
    w.Put(uint64_t(RateCode(rate)), 4);
    w.Put(uint64_t(chans - 1), 4);
    w.Put(uint64_t(s.frameBits.count(f) ? BitsCode(bits) : 0), 3);
    w.Put(0, 1);
    PutCoded(w, s.variable ? sample : f);
    w.Put(uint64_t(n - 1), 16);
    w.Put(Crc8(w.bytes.data(), w.bytes.size()), 8);
    for (int c = 0; c < chans; ++c) {
      w.Put(0x02, 8);  // verbatim, no wasted bits
      for (int i = 0; i < n; ++i) w.Put(uint64_t(SampleAt(sample + size_t(i), c, bits)) & ((uint64_t(1) << bits) - 1), bits);
    }
    w.Align();
    const uint16_t crc = Crc16(w.bytes.data(), w.bytes.size());
    w.Put(crc, 16);
    if (frameStarts) frameStarts->push_back(out.size());
    out.insert(out.end(), w.bytes.begin(), w.bytes.end());
    sample += size_t(n);
  }
  return out;
}

// An ID3v2.3 tag with a title frame and some padding.
std::vector<uint8_t> Id3v2(const std::string& title, size_t padding = 50) {
  std::vector<uint8_t> frame = {'T', 'I', 'T', '2', 0, 0, 0, uint8_t(title.size() + 1), 0, 0, 0};
  frame.insert(frame.end(), title.begin(), title.end());
  const size_t body = frame.size() + padding;
  std::vector<uint8_t> v = {'I', 'D', '3', 3, 0, 0, uint8_t((body >> 21) & 0x7F), uint8_t((body >> 14) & 0x7F),
                            uint8_t((body >> 7) & 0x7F), uint8_t(body & 0x7F)};
  v.insert(v.end(), frame.begin(), frame.end());
  v.insert(v.end(), padding, 0);
  return v;
}

std::vector<uint8_t> Id3v1(const std::string& title) {
  std::vector<uint8_t> tag(128, 0);
  std::memcpy(tag.data(), "TAG", 3);
  std::memcpy(tag.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
  return tag;
}

class FlacEdge : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(lib.ok); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string p = lib.dir / name;
    bt::WriteFile(p, bytes);
    return p;
  }
  void Same(const std::string& name, const std::vector<uint8_t>& bytes,
            std::initializer_list<DWORD> flagSets = {0, BASS_SAMPLE_FLOAT, BASS_SAMPLE_MONO | BASS_SAMPLE_8BITS}) {
    const std::string p = Write(name, bytes);
    for (DWORD flags : flagSets) ExpectSameAsFfmpeg(p, flags, name);
  }
  bt::Lib lib{false};
};

TEST_F(FlacEdge, VariableBlockSizesAndOddDepths) {
  FlacSpec v;
  v.variable = true;
  v.blocks = {1152, 4096, 576, 4608, 333, 2000, 4096, 17, 3000, 1234};
  Same("variable.flac", WriteFlac(v));
  for (int bits : {12, 20, 8, 24}) {
    FlacSpec s;
    s.bits = bits;
    s.rate = 48000;
    s.blocks = std::vector<int>(6, 4096);
    s.blocks.push_back(1000);
    Same("bits" + std::to_string(bits) + ".flac", WriteFlac(s), {0, BASS_SAMPLE_8BITS, BASS_SAMPLE_FLOAT, BASS_SAMPLE_MONO});
  }
}

TEST_F(FlacEdge, TagsBeforeAndAfterAreReportedAsByFfmpeg) {
  FlacSpec s;
  s.blocks = std::vector<int>(5, 4096);
  s.comments = {"TITLE=Vorbis title", "ARTIST=Someone"};
  auto bytes = Id3v2("Front title");
  const auto body = WriteFlac(s);
  bytes.insert(bytes.end(), body.begin(), body.end());
  const auto back = Id3v1("Back title");
  bytes.insert(bytes.end(), back.begin(), back.end());
  Same("tagged.flac", bytes);
  HSTREAM h = OpenFlac(lib.dir / "tagged.flac", 0);
  ASSERT_NE(h, 0u);
  const char* v2 = BASS_ChannelGetTags(h, BASS_TAG_ID3V2);
  ASSERT_NE(v2, nullptr);
  EXPECT_EQ(Id3v2Block(v2), std::string(bytes.begin(), bytes.begin() + std::ptrdiff_t(Id3v2("Front title").size())));
  const char* v1 = BASS_ChannelGetTags(h, BASS_TAG_ID3);
  ASSERT_NE(v1, nullptr);
  EXPECT_EQ(std::string(v1 + 3, 10), "Back title");
  // The audio starts after the ID3v2 tag and the metadata.
  std::vector<size_t> starts;
  WriteFlac(s, &starts);
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_START), QWORD(Id3v2("Front title").size() + starts[0]));
  BASS_StreamFree(h);
  // Two ID3v2 tags in a row: FFmpeg takes only one and refuses the file; so does the opener.
  auto twice = Id3v2("One", 0);
  const auto second = Id3v2("Two", 7);
  twice.insert(twice.end(), second.begin(), second.end());
  twice.insert(twice.end(), body.begin(), body.end());
  const std::string p2 = Write("two_id3v2.flac", twice);
  EXPECT_EQ(OpenFfmpeg(p2, 0), 0u);
  EXPECT_EQ(OpenFlac(p2, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
}

TEST_F(FlacEdge, SpeakerMaskKeepsTheStereoDownmixWithFfmpeg) {
  FlacSpec s;
  s.blocks = std::vector<int>(4, 4096);
  s.comments = {"WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x3"};
  const std::string p = Write("mask.flac", WriteFlac(s));
  EXPECT_EQ(OpenFlac(p, BASS_SAMPLE_MONO), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  for (DWORD flags : {DWORD(0), DWORD(BASS_SAMPLE_FLOAT)}) ExpectSameAsFfmpeg(p, flags, "mask");
}

TEST_F(FlacEdge, AFrameOfAnotherRateOrChannelCountEndsTheStreamOneOfAnotherDepthIsSkipped) {
  for (int kind = 0; kind < 3; ++kind) {
    FlacSpec s;
    s.blocks = std::vector<int>(8, 4096);
    if (kind == 0) s.frameRate[5] = 48000;
    if (kind == 1) s.frameChans[5] = 1;
    if (kind == 2) s.frameBits[5] = 24;
    const std::string p = Write("shape" + std::to_string(kind) + ".flac", WriteFlac(s));
    HSTREAM ours = OpenFlac(p, 0), ref = OpenFfmpeg(p, 0);
    ASSERT_NE(ours, 0u);
    ASSERT_NE(ref, 0u);
    const auto a = bt::DecodeAll(ours), b = bt::DecodeAll(ref);
    // FFmpeg's decoder refuses a frame of another depth and goes on.
    EXPECT_EQ(a.size(), size_t((kind == 2 ? 7 : 5) * 4096 * 4)) << kind;
    EXPECT_EQ(a, b) << kind;
    EXPECT_EQ(BASS_ChannelGetLength(ours, BASS_POS_BYTE), QWORD(a.size()));
    // A seek back plays on to the same end.
    ASSERT_TRUE(BASS_ChannelSetPosition(ours, 4096 * 4, BASS_POS_BYTE));
    EXPECT_EQ(bt::DecodeAll(ours), std::vector<uint8_t>(a.begin() + 4096 * 4, a.end())) << kind;
    BASS_StreamFree(ours);
    BASS_StreamFree(ref);
  }
}

TEST_F(FlacEdge, ACutFileEndsAfterItsLastWholeFrame) {
  FlacSpec s;
  s.blocks = std::vector<int>(10, 4096);
  std::vector<size_t> starts;
  auto bytes = WriteFlac(s, &starts);
  bytes.resize(starts[7] + 3000);  // in the middle of the eighth frame
  const std::string p = Write("cut.flac", bytes);
  HSTREAM ours = OpenFlac(p, 0), ref = OpenFfmpeg(p, 0);
  ASSERT_NE(ours, 0u);
  ASSERT_NE(ref, 0u);
  // STREAMINFO's length until the end shows otherwise.
  EXPECT_EQ(BASS_ChannelGetLength(ours, BASS_POS_BYTE), QWORD(10 * 4096 * 4));
  const auto a = bt::DecodeAll(ours), b = bt::DecodeAll(ref);
  EXPECT_EQ(a.size(), size_t(7 * 4096 * 4));
  EXPECT_EQ(a, b);
  EXPECT_EQ(BASS_ChannelGetLength(ours, BASS_POS_BYTE), QWORD(a.size()));
  EXPECT_EQ(BASS_ChannelGetLength(ref, BASS_POS_BYTE), QWORD(b.size()));
  // A seek into what is missing fails; the stream still plays from where it was put before.
  ASSERT_TRUE(BASS_ChannelSetPosition(ours, 4096 * 4, BASS_POS_BYTE));
  EXPECT_FALSE(BASS_ChannelSetPosition(ours, 4096 * 4 * 9, BASS_POS_BYTE));
  ASSERT_TRUE(BASS_ChannelSetPosition(ours, 4096 * 4 * 2, BASS_POS_BYTE));
  const auto rest = bt::DecodeAll(ours);
  EXPECT_EQ(rest, std::vector<uint8_t>(a.begin() + 4096 * 4 * 2, a.end()));
  BASS_StreamFree(ours);
  BASS_StreamFree(ref);
}

// libFLAC gives a frame failing its CRC as silence; FFmpeg's decoder plays what the damaged bits
// make of it. Either way the stream keeps its length and positions, and the frames around it.
TEST_F(FlacEdge, AFrameFailingItsCrcIsSilenceOfItsLength) {
  FlacSpec s;
  s.blocks = std::vector<int>(8, 4096);
  std::vector<size_t> starts;
  auto bytes = WriteFlac(s, &starts);
  const auto good = bytes;
  bytes[starts[3] + 2000] ^= 0x5A;  // sample bits of the fourth frame: only its CRC-16 tells
  const std::string p = Write("crc.flac", bytes);
  const std::string g = Write("good.flac", good);
  HSTREAM ours = OpenFlac(p, 0), clean = OpenFlac(g, 0), ref = OpenFfmpeg(p, 0);
  ASSERT_NE(ours, 0u);
  ASSERT_NE(clean, 0u);
  ASSERT_NE(ref, 0u);
  const auto a = bt::DecodeAll(ours), want = bt::DecodeAll(clean), b = bt::DecodeAll(ref);
  ASSERT_EQ(a.size(), want.size());
  ASSERT_EQ(b.size(), want.size());
  EXPECT_EQ(BASS_ChannelGetLength(ours, BASS_POS_BYTE), BASS_ChannelGetLength(ref, BASS_POS_BYTE));
  const size_t frame = 4096 * 4;
  for (size_t f = 0; f < 8; ++f) {
    const auto at = [&](const std::vector<uint8_t>& v) { return std::vector<uint8_t>(v.begin() + std::ptrdiff_t(f * frame), v.begin() + std::ptrdiff_t((f + 1) * frame)); };
    const bool silent = std::all_of(a.begin() + std::ptrdiff_t(f * frame), a.begin() + std::ptrdiff_t((f + 1) * frame),
                                    [](uint8_t x) { return x == 0; });
    if (f == 3) {
      EXPECT_TRUE(silent) << "the damaged frame";
      EXPECT_NE(at(b), at(want)) << "FFmpeg plays the damaged frame";
    } else {
      EXPECT_EQ(at(a), at(want)) << f;
      EXPECT_EQ(at(b), at(want)) << f;
    }
  }
  // Seeks past the damage land where the clean file's do.
  for (HSTREAM h : {ours, clean}) ASSERT_TRUE(BASS_ChannelSetPosition(h, frame * 5 + 444, BASS_POS_BYTE));
  EXPECT_EQ(bt::DecodeAll(ours), bt::DecodeAll(clean));
  for (HSTREAM h : {ours, clean, ref}) BASS_StreamFree(h);
}

// Frames lost with their headers (damaged beyond recognition) are made up with silence.
TEST_F(FlacEdge, LostFramesAreSilenceOfTheirLength) {
  FlacSpec s;
  s.blocks = std::vector<int>(8, 4096);
  std::vector<size_t> starts;
  auto bytes = WriteFlac(s, &starts);
  const auto good = bytes;
  for (size_t f : {size_t(2), size_t(5)}) bytes[starts[f] + 1] ^= 0x01;  // the sync word's last bit
  const std::string p = Write("lost.flac", bytes);
  HSTREAM ours = OpenFlac(p, 0), clean = OpenFlac(Write("good.flac", good), 0);
  ASSERT_NE(ours, 0u);
  ASSERT_NE(clean, 0u);
  const auto a = bt::DecodeAll(ours), want = bt::DecodeAll(clean);
  ASSERT_EQ(a.size(), want.size());
  const size_t frame = 4096 * 4;
  for (size_t f = 0; f < 8; ++f) {
    const std::vector<uint8_t> got(a.begin() + std::ptrdiff_t(f * frame), a.begin() + std::ptrdiff_t((f + 1) * frame));
    if (f == 2 || f == 5) EXPECT_EQ(got, std::vector<uint8_t>(frame, 0)) << f;
    else EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin() + std::ptrdiff_t(f * frame))) << f;
  }
  BASS_StreamFree(ours);
  BASS_StreamFree(clean);
}

TEST_F(FlacEdge, WhatLibflacWouldNotDecodeAsFfmpegIsDeclined) {
  // No total in STREAMINFO: FFmpeg estimates a length; the stream stays there.
  FlacSpec s;
  s.blocks = std::vector<int>(5, 4096);
  s.total = 0;
  const std::string zero = Write("zero_total.flac", WriteFlac(s));
  EXPECT_EQ(OpenFlac(zero, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  // STREAMINFO cut short, audio that is no FLAC after the metadata, no audio at all.
  auto bytes = WriteFlac(s);
  const std::string shortInfo = Write("short_info.flac", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 20));
  std::vector<uint8_t> junk(bytes.begin(), bytes.begin() + 42);
  junk.insert(junk.end(), 5000, 0x33);
  const std::string junkAudio = Write("junk_audio.flac", junk);
  const std::string noAudio = Write("no_audio.flac", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 42));
  for (const std::string& p : {shortInfo, junkAudio, noAudio}) {
    EXPECT_EQ(OpenFlac(p, 0), 0u) << p;
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << p;
  }
  // Ogg FLAC and anything else is not native FLAC.
  const std::string oga = lib.dir / "t.oga";
  ASSERT_EQ(bt::Run("ffmpeg -nostdin -y -f lavfi -i \"sine=f=440:d=0.3\" -c:a flac \"" + oga + "\""), 0);
  EXPECT_EQ(OpenFlac(oga, 0), 0u);
  const std::string wav = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.2);
  EXPECT_EQ(OpenFlac(wav, 0), 0u);
  EXPECT_EQ(OpenFlac(Write("empty.flac", {}), 0), 0u);
  EXPECT_EQ(OpenFlac(Write("magic.flac", {'f', 'L', 'a', 'C'}), 0), 0u);
}

// ---------------------------------------------------------------- through the add-on

// The add-on as staged, loaded once: it stays attached across BASS_Free.
HPLUGIN FlacPlugin() {
  static const HPLUGIN plugin =
      BASS_PluginLoad((std::string(ORVELLA_STAGE_DIR) + "/plugins/bass/bass_flac.so").c_str(), 0);
  return plugin;
}

class FlacAddon : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(lib.ok);
    plugin = FlacPlugin();
    ASSERT_NE(plugin, 0u);
  }
  bt::Lib lib{false};
  HPLUGIN plugin = 0;
};

// Right after opening, libFLAC's decoder has read exactly its first frame; FFmpeg's has read ahead.
bool SameStartAsLibflac(HSTREAM h, const std::string& path, DWORD flags) {
  HSTREAM direct = OpenFlac(path, flags);
  const bool same = direct && BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT) ==
                                  BASS_StreamGetFilePosition(direct, BASS_FILEPOS_CURRENT);
  BASS_StreamFree(direct);
  return same;
}

TEST_F(FlacAddon, FilesMemoryAndUserFilesDecodeThroughLibflac) {
  const std::string p = MakeSource(lib.dir.path, {"sox", 16, 2, 44100}, 1.5);
  const auto bytes = bt::ReadFile(p);
  for (DWORD flags : {DWORD(0), DWORD(BASS_SAMPLE_FLOAT)}) {
    HSTREAM ref = OpenFfmpeg(p, flags);
    ASSERT_NE(ref, 0u);
    const auto want = bt::DecodeAll(ref);
    ASSERT_GT(want.size(), 10000u);

    HSTREAM f = BASS_StreamCreateFile(FALSE, p.c_str(), 0, 0, flags | BASS_STREAM_DECODE);
    ASSERT_NE(f, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(Info(f).ctype, DWORD(BASS_CTYPE_STREAM_FLAC));
    EXPECT_EQ(Info(f).plugin, plugin);
    EXPECT_TRUE(SameStartAsLibflac(f, p, flags));
    EXPECT_EQ(bt::DecodeAll(f), want);

    HSTREAM m = BASS_StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), flags | BASS_STREAM_DECODE);
    ASSERT_NE(m, 0u);
    EXPECT_TRUE(SameStartAsLibflac(m, p, flags));
    EXPECT_EQ(bt::DecodeAll(m), want);

    // A region of a bigger block: positions are the region's.
    std::vector<uint8_t> padded(777, 0x55);
    padded.insert(padded.end(), bytes.begin(), bytes.end());
    HSTREAM r = BASS_StreamCreateFile(TRUE, padded.data(), 777, bytes.size(), flags | BASS_STREAM_DECODE);
    ASSERT_NE(r, 0u);
    EXPECT_EQ(BASS_StreamGetFilePosition(r, BASS_FILEPOS_END), QWORD(bytes.size()));
    EXPECT_EQ(BASS_StreamGetFilePosition(r, BASS_FILEPOS_START), BASS_StreamGetFilePosition(f, BASS_FILEPOS_START));
    EXPECT_EQ(bt::DecodeAll(r), want);

    // At most 1000 bytes a read, as a slow source would hand them over.
    bt::MemFile seekable{bytes, 1000};
    HSTREAM u = BASS_StreamCreateFileUser(STREAMFILE_NOBUFFER, flags | BASS_STREAM_DECODE, &bt::kMemFileProcs, &seekable);
    ASSERT_NE(u, 0u) << BASS_ErrorGetCode();
    EXPECT_TRUE(SameStartAsLibflac(u, p, flags));
    EXPECT_EQ(bt::DecodeAll(u), want);
    const QWORD at = 4 * 12345 * (flags ? 2 : 1);
    ASSERT_TRUE(BASS_ChannelSetPosition(u, at, BASS_POS_BYTE));
    EXPECT_EQ(bt::DecodeAll(u), std::vector<uint8_t>(want.begin() + std::ptrdiff_t(at), want.end()));

    // A user file that cannot seek reaches the add-on too: the core's own probe has read its start
    // already, and the add-on is given those bytes again. Read front to back, never asked to seek.
    bt::MemFile buffered{bytes, 1000};
    buffered.seekable = false;
    HSTREAM b = BASS_StreamCreateFileUser(STREAMFILE_BUFFER, flags | BASS_STREAM_DECODE, &bt::kMemFileProcs, &buffered);
    ASSERT_NE(b, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(Info(b).ctype, DWORD(BASS_CTYPE_STREAM_FLAC));
    EXPECT_EQ(Info(b).plugin, plugin);
    EXPECT_EQ(bt::DecodeAll(b), want);
    EXPECT_EQ(buffered.seeks, 0);

    for (HSTREAM h : {ref, f, m, r, u, b}) BASS_StreamFree(h);
  }
}

TEST_F(FlacAddon, WhatLibflacDeclinesStillPlaysThroughFfmpeg) {
  // Six channels downmixed to one, a file without a total, Ogg FLAC.
  const std::string six = MakeSource(lib.dir.path, {"ffmpeg", 16, 6, 44100}, 0.3);
  FlacSpec s;
  s.blocks = std::vector<int>(5, 4096);
  s.total = 0;
  const std::string zero = lib.dir / "zero_total.flac";
  bt::WriteFile(zero, WriteFlac(s));
  for (const auto& [path, flags] : {std::pair{six, DWORD(BASS_SAMPLE_MONO)}, std::pair{zero, DWORD(0)}}) {
    HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, flags | BASS_STREAM_DECODE);
    HSTREAM ref = OpenFfmpeg(path, flags);
    ASSERT_NE(h, 0u) << path << " " << BASS_ErrorGetCode();
    ASSERT_NE(ref, 0u);
    EXPECT_EQ(Info(h).ctype, DWORD(BASS_CTYPE_STREAM_FLAC));
    EXPECT_EQ(bt::DecodeAll(h), bt::DecodeAll(ref)) << path;
    BASS_StreamFree(h);
    BASS_StreamFree(ref);
  }
  const std::string oga = lib.dir / "t.oga";
  ASSERT_EQ(bt::Run("ffmpeg -nostdin -y -f lavfi -i \"sine=f=440:d=0.5\" -c:a flac \"" + oga + "\""), 0);
  HSTREAM o = BASS_StreamCreateFile(FALSE, oga.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(o, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(Info(o).ctype, DWORD(BASS_CTYPE_STREAM_FLAC_OGG));
  EXPECT_EQ(bt::DecodeAll(o).size(), 22050u * 2);
  BASS_StreamFree(o);
}

// A played (not decoding) FLAC stream: the capture hears the file's samples.
TEST(FlacPlayback, APlayedFileIsHeardAsDecoded) {
  bt::Lib lib(true);
  ASSERT_TRUE(lib.ok);
  ASSERT_NE(FlacPlugin(), 0u);
  const std::string p = MakeSource(lib.dir.path, {"ffmpeg", 16, 2, 44100}, 0.5);
  HSTREAM d = OpenFlac(p, BASS_SAMPLE_FLOAT);
  ASSERT_NE(d, 0u);
  const auto decoded = bt::DecodeAll(d);
  BASS_StreamFree(d);
  HSTREAM h = BASS_StreamCreateFile(FALSE, p.c_str(), 0, 0, BASS_SAMPLE_FLOAT);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 60));
  const bt::Wav heard = lib.Finish();
  std::vector<float> src(decoded.size() / 4);
  std::memcpy(src.data(), decoded.data(), src.size() * 4);
  ASSERT_EQ(heard.chans, 2);
  ASSERT_GE(heard.samples.size(), src.size());
  // The capture may start with silence before the stream: align the first sounding samples.
  auto firstSound = [](const std::vector<float>& v) {
    size_t i = 0;
    while (i < v.size() && v[i] == 0.0f) ++i;
    return i;
  };
  const size_t srcFirst = firstSound(src), heardFirst = firstSound(heard.samples);
  ASSERT_GE(heardFirst, srcFirst);
  const size_t off = heardFirst - srcFirst;
  size_t same = 0;
  for (size_t i = 0; i < src.size() && off + i < heard.samples.size(); ++i)
    same += std::fabs(heard.samples[off + i] - src[i]) < 1e-6f;
  EXPECT_GT(same, src.size() * 99 / 100);
}

}  // namespace

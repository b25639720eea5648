// Format add-ons against FFmpeg's own decode: same PCM, type, rate, channels and length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "AddonTestUtil.h"
#include "tests/bass/BassTestUtil.h"
#include "bass/bass.h"

namespace {

struct Case {
  const char* addon;
  const char* file;       // name of the generated file
  const char* encode;     // ffmpeg output options
  DWORD ctype;
  int rate, chans;
};

// Generated from a two-channel signal with different content per side (channel swaps show).
const Case kCases[] = {
    {"bass_aac", "t.aac", "-c:a aac -b:a 128k -f adts", BASS_CTYPE_STREAM_AAC, 44100, 2},
    {"bass_aac", "t.m4a", "-c:a aac -b:a 128k", BASS_CTYPE_STREAM_MP4, 44100, 2},
    {"bass_flac", "t.flac", "-c:a flac", BASS_CTYPE_STREAM_FLAC, 44100, 2},
    {"bass_flac", "t.oga", "-c:a flac -f ogg", BASS_CTYPE_STREAM_FLAC_OGG, 44100, 2},
    {"bass_ac3", "t.ac3", "-c:a ac3 -b:a 192k", BASS_CTYPE_STREAM_AC3, 48000, 2},
    {"bass_alac", "t.m4a", "-c:a alac", BASS_CTYPE_STREAM_ALAC, 44100, 2},
    {"bass_opus", "t.opus", "-c:a libopus -b:a 96k", BASS_CTYPE_STREAM_OPUS, 48000, 2},
    {"bass_spx", "t.spx", "-c:a libspeex -ar 16000 -ac 1", BASS_CTYPE_STREAM_SPX, 16000, 1},
    {"bass_tta", "t.tta", "-c:a tta", BASS_CTYPE_STREAM_TTA, 44100, 2},
    {"basswma", "t.wma", "-c:a wmav2 -b:a 128k", BASS_CTYPE_STREAM_WMA, 44100, 2},
};

std::string Generate(const at::TempFolder& dir, const Case& c) {
  std::string path = dir / c.file;
  std::string cmd = "ffmpeg -nostdin -y -f lavfi -i \"aevalsrc=0.5*sin(2*PI*440*t)+0.1*sin(2*PI*3000*t)|"
                    "0.4*sin(2*PI*660*t):s=" + std::to_string(c.rate) + ":d=1.3\" " + c.encode + " \"" + path + "\"";
  EXPECT_EQ(at::Run(cmd), 0) << cmd;
  return path;
}

// FFmpeg's own decode of the file as 32-bit float.
std::vector<float> Reference(const std::string& path, const at::TempFolder& dir) {
  std::string raw = dir / "ref.f32";
  std::string cmd = "ffmpeg -nostdin -y -i \"" + path + "\" -f f32le -c:a pcm_f32le \"" + raw + "\"";
  EXPECT_EQ(at::Run(cmd), 0) << cmd;
  std::vector<uint8_t> bytes = at::ReadFile(raw);
  std::vector<float> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.addon << " " << c.file; }

class FormatAddon : public ::testing::TestWithParam<Case> {};

TEST_P(FormatAddon, DecodesLikeFFmpeg) {
  const Case& c = GetParam();
  at::TempFolder dir;
  std::string file = Generate(dir, c);
  std::vector<float> ref = Reference(file, dir);
  ASSERT_GT(ref.size(), size_t(c.rate / 2));

  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  HSTREAM before = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
  if (before) BASS_StreamFree(before);
  EXPECT_EQ(before, 0u) << "the core alone should not open " << c.file;

  HPLUGIN plugin = BASS_PluginLoad(at::AddonPath(c.addon).c_str(), 0);
  ASSERT_NE(plugin, 0u) << BASS_ErrorGetCode();
  HSTREAM h = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, c.ctype);
  EXPECT_EQ(info.freq, DWORD(c.rate));
  EXPECT_EQ(info.chans, DWORD(c.chans));
  EXPECT_EQ(info.plugin, plugin);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(ref.size() * 4));

  std::vector<uint8_t> got = at::ReadAll(h);
  ASSERT_EQ(got.size(), ref.size() * 4);
  size_t differ = 0;
  float worst = 0;
  for (size_t i = 0; i < ref.size(); ++i) {
    float v;
    std::memcpy(&v, got.data() + 4 * i, 4);
    float d = std::fabs(v - ref[i]);
    if (d > 0) ++differ;
    worst = std::max(worst, d);
  }
  EXPECT_EQ(differ, 0u) << "largest difference " << worst;

  // Seeking lands sample-exactly: the second half again equals the reference.
  size_t frame = ref.size() / DWORD(c.chans) / 2;
  ASSERT_TRUE(BASS_ChannelSetPosition(h, QWORD(frame) * c.chans * 4, BASS_POS_BYTE));
  std::vector<float> tail(1024);
  DWORD n = BASS_ChannelGetData(h, tail.data(), DWORD(tail.size() * 4));
  ASSERT_EQ(n, tail.size() * 4);
  // Lossy decoders restarted mid-stream may differ in the last bits; a misplaced position would
  // differ by far more (a 440 Hz tone moves by ~0.03 a sample).
  for (size_t i = 0; i < tail.size(); ++i) ASSERT_NEAR(tail[i], ref[frame * c.chans + i], 1e-3) << "sample " << i;

  // The add-on cannot go while its stream exists.
  EXPECT_FALSE(BASS_PluginFree(plugin));
  EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
  EXPECT_TRUE(BASS_StreamFree(h));
  EXPECT_TRUE(BASS_PluginFree(plugin));
}

// Damaged files: no handle and an error code, never a crash; a file cut in the middle plays what
// is there and ends.
TEST_P(FormatAddon, CorruptAndTruncatedInput) {
  const Case& c = GetParam();
  at::TempFolder dir;
  std::vector<uint8_t> good = at::ReadFile(Generate(dir, c));
  ASSERT_GT(good.size(), 1000u);
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  HPLUGIN plugin = BASS_PluginLoad(at::AddonPath(c.addon).c_str(), 0);
  ASSERT_NE(plugin, 0u);
  std::vector<std::vector<uint8_t>> refused = {
      std::vector<uint8_t>(good.begin(), good.begin() + 64),
      std::vector<uint8_t>(good.begin(), good.begin() + 7),
  };
  std::vector<uint8_t> noise(good.size());
  uint32_t x = 12345;
  for (auto& b : noise) b = uint8_t((x = x * 1103515245 + 12345) >> 16);
  refused.push_back(noise);
  std::vector<uint8_t> headOnly = good;  // the header survives, every byte after it is noise
  for (size_t i = 4096; i < headOnly.size(); ++i) headOnly[i] = noise[i];
  for (size_t i = 0; i < refused.size(); ++i) {
    HSTREAM h = BASS_StreamCreateFile(TRUE, refused[i].data(), 0, refused[i].size(), BASS_STREAM_DECODE);
    EXPECT_EQ(h, 0u) << "case " << i;
    EXPECT_NE(BASS_ErrorGetCode(), BASS_OK) << "case " << i;
    if (h) BASS_StreamFree(h);
  }
  for (const auto* data : {&headOnly, &good}) {
    std::vector<uint8_t> half(data->begin(), data->begin() + data->size() / 2);
    for (const std::vector<uint8_t>* variant : {data, static_cast<const std::vector<uint8_t>*>(&half)}) {
      HSTREAM h = BASS_StreamCreateFile(TRUE, variant->data(), 0, variant->size(), BASS_STREAM_DECODE);
      if (!h) {
        EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
        continue;
      }
      std::vector<uint8_t> pcm = at::ReadAll(h, 16u << 20);
      EXPECT_LT(pcm.size(), size_t(16u << 20));  // it ends
      BASS_StreamFree(h);
    }
  }
  EXPECT_TRUE(BASS_PluginFree(plugin));
}

// A user file that cannot seek (STREAMFILE_BUFFER), read front to back at most 1000 bytes at a time:
// it reaches the add-on although the core's own probe has read its start already, and decodes as
// the file does. It is never asked to seek.
TEST_P(FormatAddon, AUserFileThatCannotSeekDecodesAsTheFile) {
  const Case& c = GetParam();
  at::TempFolder dir;
  // An MP4 file read front to back needs its index in front of the audio.
  Case front = c;
  const std::string encode = std::string(c.encode) + " -movflags +faststart";
  if (std::string(c.file).ends_with(".m4a")) front.encode = encode.c_str();
  std::string file = Generate(dir, front);
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  HPLUGIN plugin = BASS_PluginLoad(at::AddonPath(c.addon).c_str(), 0);
  ASSERT_NE(plugin, 0u);
  HSTREAM whole = BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  ASSERT_NE(whole, 0u);
  bt::MemFile oneWay{at::ReadFile(file), 1000};
  oneWay.seekable = false;
  HSTREAM h = BASS_StreamCreateFileUser(STREAMFILE_BUFFER, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT, &bt::kMemFileProcs, &oneWay);
  ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, c.ctype);
  EXPECT_EQ(info.plugin, plugin);
  const auto got = at::ReadAll(h), want = at::ReadAll(whole);
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
  EXPECT_EQ(oneWay.seeks, 0);
  BASS_StreamFree(h);
  BASS_StreamFree(whole);
  EXPECT_TRUE(BASS_PluginFree(plugin));
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, FormatAddon, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string n = std::string(info.param.addon) + "_" + info.param.file;
  for (char& ch : n)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
});

struct Declared {
  const char* addon;
  std::vector<std::pair<DWORD, std::string>> formats;  // type and extension list
};

TEST(FormatAddonInfo, PluginGetInfoListsTheFormats) {
  const Declared kDeclared[] = {
      {"bass_aac", {{BASS_CTYPE_STREAM_AAC, "*.aac;*.adts"}, {BASS_CTYPE_STREAM_MP4, "*.mp4;*.m4a;*.m4b;*.m4p"}}},
      {"bass_flac", {{BASS_CTYPE_STREAM_FLAC, "*.flac"}, {BASS_CTYPE_STREAM_FLAC_OGG, "*.oga"}}},
      {"bass_ac3", {{BASS_CTYPE_STREAM_AC3, "*.ac3"}}},
      {"bass_alac", {{BASS_CTYPE_STREAM_ALAC, "*.m4a;*.mp4;*.caf"}}},
      {"bass_ape", {{BASS_CTYPE_STREAM_APE, "*.ape;*.apl;*.mac"}}},
      {"bass_mpc", {{BASS_CTYPE_STREAM_MPC, "*.mpc;*.mpp;*.mp+"}}},
      {"bass_opus", {{BASS_CTYPE_STREAM_OPUS, "*.opus"}}},
      {"bass_spx", {{BASS_CTYPE_STREAM_SPX, "*.spx"}}},
      {"bass_tta", {{BASS_CTYPE_STREAM_TTA, "*.tta"}}},
      {"basswma", {{BASS_CTYPE_STREAM_WMA, "*.wma;*.wmv;*.asf"}, {BASS_CTYPE_STREAM_WMA_MP3, "*.asf"}}},
      {"bassmidi", {{BASS_CTYPE_STREAM_MIDI, "*.mid;*.midi;*.rmi;*.kar"}}},
      {"basscd", {{BASS_CTYPE_STREAM_CD, "*.cda"}}},
  };
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  for (const Declared& d : kDeclared) {
    HPLUGIN p = BASS_PluginLoad(at::AddonPath(d.addon).c_str(), 0);
    ASSERT_NE(p, 0u) << d.addon;
    const BASS_PLUGININFO* info = BASS_PluginGetInfo(p);
    ASSERT_NE(info, nullptr) << d.addon;
    EXPECT_EQ(info->version >> 16, 0x0204u);
    ASSERT_EQ(info->formatc, d.formats.size()) << d.addon;
    for (size_t i = 0; i < d.formats.size(); ++i) {
      EXPECT_EQ(info->formats[i].ctype, d.formats[i].first) << d.addon;
      EXPECT_EQ(std::string(info->formats[i].exts), d.formats[i].second) << d.addon;
      EXPECT_GT(std::strlen(info->formats[i].name), 2u) << d.addon;
    }
    EXPECT_TRUE(BASS_PluginFree(p)) << d.addon;
  }
}

// FFmpeg cannot write Monkey's Audio or Musepack: their add-ons are shown refusing other formats.
TEST(FormatAddonInfo, ApeAndMpcRefuseOtherFormats) {
  at::TempFolder dir;
  std::string flac = dir / "x.flac", wav = dir / "x.wav";
  ASSERT_EQ(at::Run("ffmpeg -nostdin -y -f lavfi -i sine=d=0.5 -c:a flac " + flac), 0);
  ASSERT_EQ(at::Run("ffmpeg -nostdin -y -f lavfi -i sine=d=0.5 " + wav), 0);
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  for (const char* addon : {"bass_ape", "bass_mpc"}) {
    HPLUGIN p = BASS_PluginLoad(at::AddonPath(addon).c_str(), 0);
    ASSERT_NE(p, 0u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, flac.c_str(), 0, 0, BASS_STREAM_DECODE), 0u) << addon;
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << addon;
    // A core format still opens with the add-on attached, by the core.
    HSTREAM h = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u) << addon;
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    EXPECT_EQ(info.plugin, 0u);
    BASS_StreamFree(h);
    EXPECT_TRUE(BASS_PluginFree(p));
  }
}

}  // namespace

namespace {

// A stream of unknown size (a user file without length, like a broadcast) opens without being
// read to its end first.
struct Feed {
  std::vector<uint8_t> data;
  size_t at = 0;
};

TEST(FormatAddonStreams, UnknownSizeIsNotReadThrough) {
  at::TempFolder dir;
  std::string file = dir / "long.aac";
  ASSERT_EQ(at::Run("ffmpeg -nostdin -y -f lavfi -i sine=d=20 -c:a aac -b:a 64k -f adts " + file), 0);
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  HPLUGIN p = BASS_PluginLoad(at::AddonPath("bass_aac").c_str(), 0);
  ASSERT_NE(p, 0u);
  Feed feed{at::ReadFile(file)};
  BASS_FILEPROCS procs{[](void*) {}, [](void*) -> QWORD { return 0; },
                       [](void* buf, DWORD len, void* u) -> DWORD {
                         auto* f = static_cast<Feed*>(u);
                         size_t n = std::min<size_t>(len, f->data.size() - f->at);
                         std::memcpy(buf, f->data.data() + f->at, n);
                         f->at += n;
                         return DWORD(n);
                       },
                       [](QWORD pos, void* u) -> BOOL {
                         auto* f = static_cast<Feed*>(u);
                         if (pos > f->data.size()) return FALSE;
                         f->at = size_t(pos);
                         return TRUE;
                       }};
  HSTREAM h = BASS_StreamCreateFileUser(STREAMFILE_NOBUFFER, BASS_STREAM_DECODE, &procs, &feed);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_AAC));
  EXPECT_LT(feed.at, feed.data.size() / 2);  // only the head was read
  std::vector<uint8_t> pcm = at::ReadAll(h);
  EXPECT_GT(pcm.size(), size_t(44100 * 2 * 19));  // and it still plays to the end
  BASS_StreamFree(h);
}

}  // namespace

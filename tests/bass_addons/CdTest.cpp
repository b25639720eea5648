// basscd.so with BIN/CUE images registered as drives.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "AddonTestUtil.h"
#include "bass/addons/basscd.h"

namespace {

struct Cd {
#define ORV_PTR(name) decltype(&::name) name = nullptr;
  ORVELLA_BASSCD_FUNCTIONS(ORV_PTR)
#undef ORV_PTR
  decltype(&::ORV_CD_AddImage) AddImage = nullptr;
  decltype(&::ORV_CD_ClearImages) ClearImages = nullptr;
  void* lib = nullptr;
  bool Load() {
    lib = dlopen(at::AddonPath("basscd").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
#define ORV_RESOLVE(name) name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name));
    ORVELLA_BASSCD_FUNCTIONS(ORV_RESOLVE)
#undef ORV_RESOLVE
    AddImage = reinterpret_cast<decltype(&::ORV_CD_AddImage)>(dlsym(lib, "ORV_CD_AddImage"));
    ClearImages = reinterpret_cast<decltype(&::ORV_CD_ClearImages)>(dlsym(lib, "ORV_CD_ClearImages"));
    return AddImage && ClearImages && BASS_CD_GetInfo;
  }
  ~Cd() {
    if (ClearImages) ClearImages();
    if (lib) dlclose(lib);
  }
};

constexpr uint32_t kSector = 2352;

// Raw 16-bit stereo: a tone per channel, different per track, plus a counter so every frame differs.
std::vector<uint8_t> TrackPcm(uint32_t sectors, double freq, int seed) {
  std::vector<uint8_t> v(size_t(sectors) * kSector);
  auto* s = reinterpret_cast<int16_t*>(v.data());
  for (size_t i = 0; i < v.size() / 4; ++i) {
    s[2 * i] = int16_t(std::lrint(9000 * std::sin(2 * M_PI * freq * double(i) / 44100)) + (i % 7) * seed);
    s[2 * i + 1] = int16_t(std::lrint(7000 * std::sin(2 * M_PI * freq * 1.5 * double(i) / 44100)) - int(i % 5));
  }
  return v;
}

class CdImage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bass_.ok);
    ASSERT_TRUE(cd_.Load()) << dlerror();
    track1_ = TrackPcm(75, 440, 1);  // 1 s
    track2_ = TrackPcm(40, 660, 3);  // 40 sectors
    std::vector<uint8_t> bin = track1_;
    bin.insert(bin.end(), track2_.begin(), track2_.end());
    at::WriteFile(dir_ / "disc.bin", bin);
    WriteCue("disc.cue",
             "REM generated\r\nTITLE \"Test Disc\"\r\nFILE \"disc.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n"
             "    TITLE \"One\"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    INDEX 01 00:01:00\r\n");
    drive_ = cd_.AddImage((dir_ / "disc.cue").c_str());
    ASSERT_NE(drive_, DWORD(-1)) << BASS_ErrorGetCode();
  }
  void WriteCue(const std::string& name, const std::string& text) {
    at::WriteFile(dir_ / name, std::vector<uint8_t>(text.begin(), text.end()));
  }
  std::string TrackName(int n) const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c:/Track%02d.cda", char('A' + drive_), n);
    return buf;
  }
  at::TempFolder dir_;
  at::BassSession bass_;
  Cd cd_;
  std::vector<uint8_t> track1_, track2_;
  DWORD drive_ = DWORD(-1);
};

TEST_F(CdImage, AppearsAsADrive) {
  BASS_CD_INFO info{};
  ASSERT_TRUE(cd_.BASS_CD_GetInfo(drive_, &info));
  EXPECT_EQ(info.letter, int(drive_));
  EXPECT_NE(std::string(info.product).find("disc.cue"), std::string::npos) << info.product;
  EXPECT_STRNE(info.vendor, "");
  EXPECT_FALSE(cd_.BASS_CD_GetInfo(drive_ + 1, &info));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
  EXPECT_TRUE(cd_.BASS_CD_IsReady(drive_));
  EXPECT_EQ(cd_.BASS_CD_GetTracks(drive_), 2u);
}

TEST_F(CdImage, ACueSheetLargerThanOneMegabyteIsRefusedUnread) {
  const std::string sheet = "FILE \"disc.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n";
  // Padded with blanks up to the limit: still a cue sheet.
  WriteCue("padded.cue", sheet + std::string((1u << 20) - sheet.size(), ' '));
  const DWORD padded = cd_.AddImage((dir_ / "padded.cue").c_str());
  EXPECT_NE(padded, DWORD(-1)) << BASS_ErrorGetCode();
  // Far larger (sparse: no disk used): refused without being read.
  WriteCue("huge.cue", sheet);
  std::filesystem::resize_file(dir_ / "huge.cue", uintmax_t(16) << 30);
  EXPECT_EQ(cd_.AddImage((dir_ / "huge.cue").c_str()), DWORD(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
}

TEST_F(CdImage, TrackLengthsAreExact) {
  EXPECT_EQ(cd_.BASS_CD_GetTrackLength(drive_, 0), 75u * kSector);
  EXPECT_EQ(cd_.BASS_CD_GetTrackLength(drive_, 1), 40u * kSector);
  EXPECT_EQ(cd_.BASS_CD_GetTrackLength(drive_, 2), DWORD(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CDTRACK);
  // freedb id: track starts at 2 s and 3 s (150-sector lead-in), 1 s of playing time... and 2 tracks.
  const char* id = cd_.BASS_CD_GetID(drive_, BASS_CDID_CDDB);
  ASSERT_NE(id, nullptr);
  EXPECT_STREQ(id, "05000102");
}

TEST_F(CdImage, DecodingTrackTwoGivesItsBytes) {
  HSTREAM h = cd_.BASS_CD_StreamCreateFile(TrackName(2).c_str(), BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_CD));
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 2u);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(track2_.size()));
  EXPECT_EQ(cd_.BASS_CD_StreamGetTrack(h), 1u);
  std::vector<uint8_t> pcm = at::ReadAll(h);
  EXPECT_EQ(pcm, track2_);
  // Sample-exact seeking.
  ASSERT_TRUE(BASS_ChannelSetPosition(h, 1001 * 4, BASS_POS_BYTE));
  std::vector<uint8_t> part(4000);
  ASSERT_EQ(BASS_ChannelGetData(h, part.data(), DWORD(part.size())), part.size());
  EXPECT_TRUE(std::equal(part.begin(), part.end(), track2_.begin() + 1001 * 4));
  BASS_StreamFree(h);
  EXPECT_EQ(cd_.BASS_CD_StreamGetTrack(h), DWORD(-1));

  // Backslashes and lower-case letters name the same track; float output converts.
  std::string name = TrackName(1);
  name[0] = char(std::tolower(name[0]));
  name[2] = '\\';
  h = cd_.BASS_CD_StreamCreateFile(name.c_str(), BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  ASSERT_NE(h, 0u);
  std::vector<float> f(2);
  ASSERT_EQ(BASS_ChannelGetData(h, f.data(), 8), 8u);
  const auto* s = reinterpret_cast<const int16_t*>(track1_.data());
  EXPECT_FLOAT_EQ(f[0], s[0] / 32768.0f);
  EXPECT_FLOAT_EQ(f[1], s[1] / 32768.0f);
  BASS_StreamFree(h);
}

TEST_F(CdImage, StreamMovesToAnotherTrack) {
  HSTREAM h = cd_.BASS_CD_StreamCreate(drive_, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  std::vector<uint8_t> head(10000);
  ASSERT_EQ(BASS_ChannelGetData(h, head.data(), DWORD(head.size())), head.size());
  ASSERT_TRUE(cd_.BASS_CD_StreamSetTrack(h, 1));
  EXPECT_EQ(cd_.BASS_CD_StreamGetTrack(h), 1u);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(track2_.size()));
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);
  EXPECT_EQ(at::ReadAll(h), track2_);
  EXPECT_FALSE(cd_.BASS_CD_StreamSetTrack(h, 2));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CDTRACK);
  BASS_StreamFree(h);
  EXPECT_FALSE(cd_.BASS_CD_StreamSetTrack(h, 0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(CdImage, BadNamesAndTracks) {
  EXPECT_EQ(cd_.BASS_CD_StreamCreateFile(TrackName(3).c_str(), BASS_STREAM_DECODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CDTRACK);
  EXPECT_EQ(cd_.BASS_CD_StreamCreateFile("Z:/Track01.cda", BASS_STREAM_DECODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
  for (const char* bad : {"", "A:", "Track01.cda", "A:/Track.cda", "A:/Track00.cda", "A:/Track01.wav"}) {
    EXPECT_EQ(cd_.BASS_CD_StreamCreateFile(bad, BASS_STREAM_DECODE), 0u) << bad;
    EXPECT_NE(BASS_ErrorGetCode(), BASS_OK) << bad;
  }
  EXPECT_EQ(cd_.BASS_CD_StreamCreateFile(nullptr, 0), 0u);
}

TEST_F(CdImage, PregapAndDataTracks) {
  // Track 2 has a 10-sector pregap (INDEX 00) that belongs to the end of track 1 on the disc.
  WriteCue("gap.cue",
           "FILE \"disc.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n  INDEX 00 00:00:65\n"
           "  INDEX 01 00:01:00\n");
  DWORD d = cd_.AddImage((dir_ / "gap.cue").c_str());
  ASSERT_NE(d, DWORD(-1));
  EXPECT_EQ(cd_.BASS_CD_GetTrackLength(d, 0), 65u * kSector);
  EXPECT_EQ(cd_.BASS_CD_GetTrackPregap(d, 1), 10u * kSector);
  EXPECT_EQ(cd_.BASS_CD_GetTrackLength(d, 1), 40u * kSector);
  WriteCue("data.cue", "FILE \"disc.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n");
  DWORD dd = cd_.AddImage((dir_ / "data.cue").c_str());
  ASSERT_NE(dd, DWORD(-1));
  EXPECT_EQ(cd_.BASS_CD_StreamCreate(dd, 0, BASS_STREAM_DECODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAUDIO);
}

TEST_F(CdImage, CorruptSheetsAreRefused) {
  const char* sheets[] = {
      "",
      "TRACK 01 AUDIO\n INDEX 01 00:00:00\n",                                    // no FILE
      "FILE \"disc.bin\" BINARY\n TRACK 01 AUDIO\n",                             // no INDEX 01
      "FILE \"disc.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:99:00\n",         // bad time
      "FILE \"disc.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 80:00:00\n",         // past the file
      "FILE \"disc.bin\" BINARY\n TRACK 02 AUDIO\n INDEX 01 00:00:00\n TRACK 01 AUDIO\n INDEX 01 00:00:10\n",
      "FILE \"disc.bin\" BINARY\n TRACK 01 WEIRD\n INDEX 01 00:00:00\n",
      "FILE \"missing.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n",
      "FILE \"disc.bin BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n",            // open quote
  };
  int i = 0;
  for (const char* text : sheets) {
    std::string name = "bad" + std::to_string(i++) + ".cue";
    WriteCue(name, text);
    EXPECT_EQ(cd_.AddImage((dir_ / name).c_str()), DWORD(-1)) << text;
    EXPECT_NE(BASS_ErrorGetCode(), BASS_OK) << text;
  }
  EXPECT_EQ(cd_.AddImage((dir_ / "none.cue").c_str()), DWORD(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

TEST_F(CdImage, FreeOldReplacesTheDrivesStream) {
  HSTREAM first = cd_.BASS_CD_StreamCreateFile(TrackName(1).c_str(), BASS_STREAM_DECODE);
  ASSERT_NE(first, 0u);
  ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_CD_FREEOLD, 0));
  HSTREAM second = cd_.BASS_CD_StreamCreateFile(TrackName(2).c_str(), BASS_STREAM_DECODE);
  ASSERT_NE(second, 0u);
  BASS_CHANNELINFO info{};
  EXPECT_TRUE(BASS_ChannelGetInfo(first, &info));  // both live without the option
  ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_CD_FREEOLD, 1));
  HSTREAM third = cd_.BASS_CD_StreamCreateFile(TrackName(1).c_str(), BASS_STREAM_DECODE);
  ASSERT_NE(third, 0u);
  EXPECT_FALSE(BASS_ChannelGetInfo(first, &info));
  EXPECT_FALSE(BASS_ChannelGetInfo(second, &info));
  EXPECT_TRUE(BASS_ChannelGetInfo(third, &info));
  BASS_SetConfig(BASS_CONFIG_CD_FREEOLD, 0);
  BASS_StreamFree(third);
}

// Images named in ORVELLA_CD_IMAGES are drives from the first call on (checked in a fresh process,
// where the add-on has not listed its drives yet).
void ListEnvironmentImages() {
  at::TempFolder dir;
  std::vector<uint8_t> bin = TrackPcm(30, 440, 1);
  at::WriteFile(dir / "env.bin", bin);
  std::string cue = "FILE \"env.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n";
  at::WriteFile(dir / "env.cue", std::vector<uint8_t>(cue.begin(), cue.end()));
  std::string list = (dir / "missing.cue") + ":" + (dir / "env.cue");
  setenv("ORVELLA_CD_IMAGES", list.c_str(), 1);
  at::BassSession bass;
  Cd cd;
  ASSERT_TRUE(cd.Load());
  int found = -1;
  BASS_CD_INFO info{};
  for (DWORD d = 0; d < 26 && cd.BASS_CD_GetInfo(d, &info); ++d)
    if (std::string(info.product).find("env.cue") != std::string::npos) found = int(d);
  bool ok = found >= 0 && cd.BASS_CD_GetTrackLength(DWORD(found), 0) == 30u * kSector;
  std::fprintf(stderr, ok ? "image listed\n" : "image missing (%d, last error %d)\n", found, BASS_ErrorGetCode());
  std::_Exit(ok ? 0 : 1);
}

TEST(CdImagesFromEnvironment, ListedAsDrives) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ListEnvironmentImages(), ::testing::ExitedWithCode(0), "image listed");
}

TEST_F(CdImage, ExitWithAnOpenStreamIsClean) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        HSTREAM h = cd_.BASS_CD_StreamCreateFile(TrackName(1).c_str(), BASS_STREAM_DECODE);
        std::fprintf(stderr, h ? "open\n" : "failed\n");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "open");
}

TEST_F(CdImage, AnalogPlaybackIsNotAvailable) {
  EXPECT_FALSE(cd_.BASS_CD_Analog_Play(drive_, 0, 0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  EXPECT_EQ(cd_.BASS_CD_Analog_IsActive(drive_), DWORD(BASS_ACTIVE_STOPPED));
  EXPECT_FALSE(cd_.BASS_CD_Door(drive_, BASS_CD_DOOR_OPEN));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
}

}  // namespace

// Tracker modules through BASS_MusicLoad: types, names, pre-scanned lengths, decoding, playback.
#include "BassTestUtil.h"
#include "ModuleWriters.h"

#include <atomic>
#include <filesystem>

namespace {

struct Kind {
  const char* ext;
  std::vector<uint8_t> (*write)(const std::string&);
  DWORD ctype;
};

const Kind kKinds[] = {{"mod", mw::Mod, BASS_CTYPE_MUSIC_MOD},
                       {"s3m", mw::S3m, BASS_CTYPE_MUSIC_S3M},
                       {"xm", mw::Xm, BASS_CTYPE_MUSIC_XM},
                       {"it", mw::It, BASS_CTYPE_MUSIC_IT},
                       {"mtm", mw::Mtm, BASS_CTYPE_MUSIC_MTM},
                       {"umx", mw::Umx, BASS_CTYPE_MUSIC_MOD}};  // a UMX reports the module inside

class MusicTest : public ::testing::TestWithParam<Kind> {};

TEST_P(MusicTest, LoadsWithTypeNameAndExactLength) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  std::string path = lib.dir / (std::string("song.") + GetParam().ext);
  bt::WriteFile(path, GetParam().write("Orvella Tune"));
  HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x28400 | BASS_MUSIC_DECODE, 0);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, GetParam().ctype);
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 2u);
  const char* name = BASS_ChannelGetTags(h, BASS_TAG_MUSIC_NAME);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::string(name), "Orvella Tune");
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, len), 1.92, 0.03);
  auto pcm = bt::AsS16(bt::DecodeAll(h));
  EXPECT_NEAR(double(pcm.size() * 2), double(len), 4.0 * 64);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(pcm.size() * 2));  // exact once decoded
  double energy = 0;
  for (auto s : pcm) energy += double(s) * s;
  EXPECT_GT(energy / double(pcm.size()), 100.0);  // the notes are heard
  // Seek back and decode the same again.
  ASSERT_TRUE(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE));
  std::vector<int16_t> again(2000);
  ASSERT_EQ(BASS_ChannelGetData(h, again.data(), 4000), 4000u);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), pcm.begin()));
  EXPECT_TRUE(BASS_MusicFree(h));
  EXPECT_FALSE(BASS_MusicFree(h));
}

TEST_P(MusicTest, FromMemoryAndInOtherFormats) {
  bt::Lib lib(false);
  auto data = GetParam().write("Mem");
  HMUSIC h = BASS_MusicLoad(TRUE, data.data(), 0, DWORD(data.size()), BASS_MUSIC_DECODE | BASS_SAMPLE_FLOAT | BASS_SAMPLE_MONO, 22050);
  ASSERT_NE(h, 0u);
  BASS_CHANNELINFO info{};
  BASS_ChannelGetInfo(h, &info);
  EXPECT_EQ(info.freq, 22050u);
  EXPECT_EQ(info.chans, 1u);
  EXPECT_TRUE(info.flags & BASS_SAMPLE_FLOAT);
  EXPECT_EQ(info.filename, nullptr);
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, BASS_POS_BYTE)), 1.92, 0.03);
  EXPECT_FALSE(BASS_StreamFree(h));  // a music is freed with BASS_MusicFree
  EXPECT_TRUE(BASS_MusicFree(h));
}

INSTANTIATE_TEST_SUITE_P(Core, MusicTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.ext); });

void CALLBACK Count(HSYNC, DWORD, DWORD, void* u) { static_cast<std::atomic<int>*>(u)->fetch_add(1); }

TEST(Music, PlaysToItsEndWithTheMusicVolume) {
  bt::Lib lib;
  std::string path = lib.dir / "song.mod";
  bt::WriteFile(path, mw::Mod("x"));
  ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_GVOL_MUSIC, 5000));
  HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x28400, 0);
  ASSERT_NE(h, 0u);
  HMUSIC d = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x28400 | BASS_MUSIC_DECODE, 0);
  auto ref = bt::AsS16(bt::DecodeAll(d));
  std::atomic<int> ends{0};
  BASS_ChannelSetSync(h, BASS_SYNC_END, 0, Count, &ends);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
  ASSERT_TRUE(bt::WaitFor([&] { return ends.load() == 1; }));
  auto w = lib.Finish();
  ASSERT_EQ(w.samples.size(), ref.size());
  for (size_t i = 0; i < ref.size(); i += 101) ASSERT_NEAR(w.samples[i], ref[i] / 32768.0f * 0.5f, 1e-6);
  EXPECT_EQ(ends.load(), 1);
}

TEST(Music, NotAModuleIsRefused) {
  bt::Lib lib(false);
  std::vector<uint8_t> junk(3000, 0x11);
  EXPECT_EQ(BASS_MusicLoad(TRUE, junk.data(), 0, DWORD(junk.size()), 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  std::string wav = bt::Generate(lib.dir / "t.wav", "-c:a pcm_s16le", 0.2);
  EXPECT_EQ(BASS_MusicLoad(FALSE, wav.c_str(), 0, 0, 0, 0), 0u);
  EXPECT_EQ(BASS_MusicLoad(FALSE, (lib.dir / "none.xm").c_str(), 0, 0, 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

TEST(Music, AModuleLargerThan256MegabytesIsRefusedUnread) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  std::string path = lib.dir / "huge.xm";
  bt::WriteFile(path, mw::Xm("Big"));
  // Sparse: no disk used; loading it whole would cost the memory its size says.
  std::filesystem::resize_file(path, (uintmax_t(256) << 20) + 1);
  EXPECT_EQ(BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_DECODE, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  // The same module at its own size loads.
  std::filesystem::resize_file(path, mw::Xm("Big").size());
  HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_DECODE, 0);
  EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
  if (h) BASS_MusicFree(h);
}

}  // namespace

// The add-on mechanism: attach, describe, open streams through it, refuse to detach while used.
#include "BassTestUtil.h"
#include "bass_addon.h"

namespace {

TEST(Addons, AttachOpenAndDetach) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  const auto* api = static_cast<const ORV_CORE_API*>(BASS_GetConfigPtr(BASS_CONFIG_ORV_ADDON_API));
  ASSERT_NE(api, nullptr);
  EXPECT_EQ(api->abi, DWORD(ORV_ADDON_ABI));

  // Our raw format and a FLAC file are no core formats.
  std::string raw = lib.dir / "t.otr";
  std::vector<uint8_t> bytes = {'O', 'R', 'V', 'T', 'E', 'S', 'T', '1', 0x22, 0x56, 0, 0, 2, 0, 0, 0};
  for (int i = 0; i < 4000; ++i) bytes.push_back(uint8_t(i * 7));
  bt::WriteFile(raw, bytes);
  std::string flac = bt::Generate(lib.dir / "t.flac", "-c:a flac -sample_fmt s16", 0.4);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, raw.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);

  EXPECT_EQ(BASS_PluginLoad((lib.dir / "missing.so").c_str(), 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  HPLUGIN p = BASS_PluginLoad(ORVELLA_TEST_ADDON, 0);
  ASSERT_NE(p, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_PluginLoad(ORVELLA_TEST_ADDON, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  const BASS_PLUGININFO* info = BASS_PluginGetInfo(p);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->version >> 16, 0x0204u);
  ASSERT_EQ(info->formatc, 2u);
  EXPECT_EQ(info->formats[0].ctype, 0x1F000u);
  EXPECT_STREQ(info->formats[0].exts, "*.otr");
  EXPECT_STREQ(info->formats[1].exts, "*.flac");

  HSTREAM r = BASS_StreamCreateFile(FALSE, raw.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(r, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO ci{};
  ASSERT_TRUE(BASS_ChannelGetInfo(r, &ci));
  EXPECT_EQ(ci.plugin, p);
  EXPECT_EQ(ci.ctype, 0x1F000u);
  EXPECT_EQ(ci.freq, 22050u);
  EXPECT_EQ(BASS_ChannelGetLength(r, BASS_POS_BYTE), 4000u);
  auto got = bt::DecodeAll(r, 333);
  EXPECT_EQ(got, std::vector<uint8_t>(bytes.begin() + 16, bytes.end()));

  HSTREAM f = BASS_StreamCreateFile(FALSE, flac.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(f, 0u) << BASS_ErrorGetCode();
  ASSERT_TRUE(BASS_ChannelGetInfo(f, &ci));
  EXPECT_EQ(ci.ctype, DWORD(BASS_CTYPE_STREAM_FLAC));
  EXPECT_EQ(ci.origres, 16u);
  EXPECT_EQ(ci.plugin, p);
  auto ref = bt::FfmpegDecodeS16(flac, lib.dir / "ref");
  EXPECT_EQ(BASS_ChannelGetLength(f, BASS_POS_BYTE), QWORD(ref.size() * 2));
  EXPECT_EQ(bt::AsS16(bt::DecodeAll(f)), ref);
  // The core's seeking works for the add-on's FFmpeg stream too.
  ASSERT_TRUE(BASS_ChannelSetPosition(f, 4000, BASS_POS_BYTE));
  int16_t s[50];
  ASSERT_EQ(BASS_ChannelGetData(f, s, sizeof s), DWORD(sizeof s));
  EXPECT_TRUE(std::equal(s, s + 50, ref.begin() + 2000));

  EXPECT_FALSE(BASS_PluginFree(p));  // streams of it exist
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_BUSY);
  BASS_StreamFree(r);
  EXPECT_FALSE(BASS_PluginFree(p));
  BASS_StreamFree(f);
  EXPECT_TRUE(BASS_PluginFree(p));
  EXPECT_EQ(BASS_PluginGetInfo(p), nullptr);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, raw.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
  // Load again and detach all at once.
  HPLUGIN p2 = BASS_PluginLoad(ORVELLA_TEST_ADDON, 0);
  ASSERT_NE(p2, 0u);
  EXPECT_TRUE(BASS_PluginFree(0));
  EXPECT_EQ(BASS_PluginGetInfo(p2), nullptr);
}

}  // namespace

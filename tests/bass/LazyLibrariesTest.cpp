// The decoder libraries (FFmpeg, libopenmpt) are opened by the first stream or module that needs
// them: after BASS_Init and the add-ons' loading nothing of them is mapped. Without them, opening
// such a file fails with the error of an unknown format.
//
// A library once mapped stays mapped, so each case runs in a fresh process of this program (the
// DISABLED_ cases below, started by the ones above them).
#include "BassTestUtil.h"
#include "FreshProcess.h"
#include "ModuleWriters.h"

#include <filesystem>

namespace {

const char* const kDecoderLibraries[] = {"libavformat", "libavcodec", "libavutil", "libswresample", "libopenmpt"};

// Loads every add-on of the staged program, as the player does at start.
int LoadAddOns() {
  int loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(ORVELLA_STAGE_DIR) + "/plugins/bass"))
    if (entry.path().extension() == ".so" && BASS_PluginLoad(entry.path().c_str(), 0)) ++loaded;
  return loaded;
}

TEST(LazyLibraries, NothingOfTheDecodersIsMappedUntilAStreamOrModuleNeedsThem) {
  EXPECT_TRUE(fresh::Run("LazyLibrariesChild.DISABLED_FirstUseMapsThem"));
}

TEST(LazyLibraries, WithoutTheLibrariesStreamsAndModulesAreRefusedAsUnknownFormats) {
  bt::TempFolder media;
  // Made here: the child's library path would hide FFmpeg from ffmpeg itself.
  const std::string mp3 = bt::Generate(media / "t.mp3", "-c:a libmp3lame -b:a 128k", 1.0);
  const std::string wav = bt::Generate(media / "t.wav", "-c:a pcm_s16le", 1.0);
  // Files by the sonames the library opens that are no libraries: the dynamic loader finds
  // them first on this path and refuses them.
  bt::TempFolder broken;
  for (const char* name : {"libavutil.so.57", "libswresample.so.4", "libavcodec.so.59", "libavformat.so.59",
                           "libopenmpt.so.0"})
    bt::WriteFile(broken / name, {});
  EXPECT_TRUE(fresh::Run("LazyLibrariesChild.DISABLED_MissingLibrariesFailCleanly",
                                {{"LD_LIBRARY_PATH", broken.path}, {"ORVELLA_LAZY_TEST_MEDIA", media.path}}));
}

TEST(LazyLibrariesChild, DISABLED_FirstUseMapsThem) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  EXPECT_GE(LoadAddOns(), 5);
  for (const char* name : kDecoderLibraries) EXPECT_FALSE(fresh::Mapped(name)) << name << " mapped at start";

  // A module maps libopenmpt alone.
  const std::string mod = lib.dir / "song.mod";
  bt::WriteFile(mod, mw::Mod("Lazy"));
  HMUSIC m = BASS_MusicLoad(FALSE, mod.c_str(), 0, 0, BASS_MUSIC_DECODE | BASS_MUSIC_PRESCAN, 0);
  ASSERT_NE(m, 0u) << BASS_ErrorGetCode();
  auto song = bt::AsS16(bt::DecodeAll(m));
  double energy = 0;
  for (auto s : song) energy += double(s) * s;
  EXPECT_GT(energy / double(std::max<size_t>(song.size(), 1)), 100.0);
  EXPECT_TRUE(fresh::Mapped("libopenmpt"));
  EXPECT_FALSE(fresh::Mapped("libavcodec"));
  EXPECT_TRUE(BASS_MusicFree(m));

  // An MP3 maps FFmpeg, and decodes exactly as FFmpeg does.
  const std::string mp3 = bt::Generate(lib.dir / "t.mp3", "-c:a libmp3lame -b:a 128k", 1.7);
  const auto ref = bt::FfmpegDecodeS16(mp3, lib.dir / "ref");
  ASSERT_GT(ref.size(), 10000u);
  EXPECT_FALSE(fresh::Mapped("libavcodec"));
  HSTREAM h = BASS_StreamCreateFile(FALSE, mp3.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_TRUE(fresh::Mapped("libavcodec"));
  EXPECT_TRUE(fresh::Mapped("libavformat"));
  EXPECT_TRUE(fresh::Mapped("libswresample"));
  auto pcm = bt::AsS16(bt::DecodeAll(h));
  ASSERT_EQ(pcm.size(), ref.size());
  size_t diffs = 0;
  for (size_t i = 0; i < ref.size(); ++i) diffs += pcm[i] != ref[i];
  EXPECT_EQ(diffs, 0u);
  EXPECT_TRUE(BASS_StreamFree(h));
  fresh::MarkDone();
}

TEST(LazyLibrariesChild, DISABLED_MissingLibrariesFailCleanly) {
  const char* media = getenv("ORVELLA_LAZY_TEST_MEDIA");
  ASSERT_NE(media, nullptr);
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  EXPECT_GE(LoadAddOns(), 5);
  const std::string mod = lib.dir / "song.mod";
  bt::WriteFile(mod, mw::Mod("Lazy"));
  // Twice each: the failed open is remembered, not retried into a different state.
  for (int round = 0; round < 2; ++round) {
    for (const char* file : {"t.mp3", "t.wav"}) {
      const std::string path = std::string(media) + "/" + file;
      ASSERT_TRUE(std::filesystem::exists(path));
      EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE), 0u) << file;
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << file;
    }
    EXPECT_EQ(BASS_MusicLoad(FALSE, mod.c_str(), 0, 0, BASS_MUSIC_DECODE, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  }
  // The library still works for what needs neither: a stream fed by the caller.
  HSTREAM h = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, STREAMPROC_PUSH, nullptr);
  EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
  if (h) {
    EXPECT_TRUE(BASS_StreamFree(h));
  }
  for (const char* name : {"libavcodec", "libopenmpt"}) EXPECT_FALSE(fresh::Mapped(name)) << name;
  fresh::MarkDone();
}

}  // namespace

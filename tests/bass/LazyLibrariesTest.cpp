// The decoder libraries (FFmpeg, libopenmpt) are opened by the first stream or module that needs
// them: after BASS_Init and the add-ons' loading nothing of them is mapped. An MPEG audio file is
// decoded by libmpg123, a PCM WAV or AIFF file by the core itself and a FLAC file (through its
// add-on, as the player loads it) by libFLAC: none maps anything of FFmpeg.
// Without FFmpeg, opening a file it decodes (Ogg Vorbis) fails with the error of an unknown format
// while PCM WAV files still play; without libmpg123, MPEG audio goes to FFmpeg.
//
// libmpg123 itself is mapped from the start in any process of the library: the sound server's
// client library links libsndfile, which links libmpg123. Its absence is made with a stand-in of
// that name whose functions all fail and which lacks some the library needs (NoMpg123.c). So is
// libFLAC (libsndfile links it too).
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

// Files by the sonames the library opens that are no libraries: the dynamic loader finds them
// first on this path and refuses them.
void WriteBrokenFfmpeg(const bt::TempFolder& broken) {
  for (const char* name : {"libavutil.so.57", "libswresample.so.4", "libavcodec.so.59", "libavformat.so.59",
                           "libopenmpt.so.0"})
    bt::WriteFile(broken / name, {});
}

// The media of the children, made here: the child's library path would hide FFmpeg from ffmpeg and
// libmpg123 from mpg123 themselves. ref_ff.raw and ref_mpg123.raw: the MP3 as each front end decodes it.
void MakeMedia(const bt::TempFolder& media) {
  const std::string mp3 = bt::Generate(media / "t.mp3", "-c:a libmp3lame -b:a 128k", 1.0);
  bt::Generate(media / "t.wav", "-c:a pcm_s16le", 1.0);
  bt::Generate(media / "t.ogg", "-c:a libvorbis -q:a 2", 1.0);
  bt::Generate(media / "t.aiff", "-c:a pcm_s16be", 1.0);
  bt::Generate(media / "t.flac", "-c:a flac -sample_fmt s16", 1.0);
  auto ff = bt::FfmpegDecodeS16(mp3, media / "ff");
  auto mpg = bt::Mpg123DecodeS16(mp3, media / "mpg");
  ASSERT_GT(ff.size(), 10000u);
  ASSERT_EQ(ff.size(), mpg.size());
  ASSERT_NE(ff, mpg) << "the two decoders differ in the last bit somewhere, so the reference tells which decoded";
  bt::WriteFile(media / "ref_ff.raw", std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(ff.data()),
                                                           reinterpret_cast<const uint8_t*>(ff.data() + ff.size())));
  bt::WriteFile(media / "ref_mpg123.raw", std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(mpg.data()),
                                                               reinterpret_cast<const uint8_t*>(mpg.data() + mpg.size())));
}

std::string Media(const char* file) {
  const char* media = getenv("ORVELLA_LAZY_TEST_MEDIA");
  EXPECT_NE(media, nullptr);
  return std::string(media ? media : "/nonexistent") + "/" + file;
}

// Decodes the MP3 of the media folder and compares it with one of the references.
void ExpectMp3DecodesAs(const char* reference, DWORD ctype) {
  HSTREAM h = BASS_StreamCreateFile(FALSE, Media("t.mp3").c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, ctype);
  EXPECT_EQ(bt::DecodeAll(h), bt::ReadFile(Media(reference))) << "decoded as " << reference;
  EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(LazyLibraries, NothingOfTheDecodersIsMappedUntilAStreamOrModuleNeedsThem) {
  bt::TempFolder media;
  MakeMedia(media);
  EXPECT_TRUE(fresh::Run("LazyLibrariesChild.DISABLED_FirstUseMapsThem", {{"ORVELLA_LAZY_TEST_MEDIA", media.path}}));
}

TEST(LazyLibraries, WithoutTheLibrariesStreamsAndModulesAreRefusedAsUnknownFormats) {
  bt::TempFolder media;
  MakeMedia(media);
  bt::TempFolder broken;
  WriteBrokenFfmpeg(broken);
  EXPECT_TRUE(fresh::Run("LazyLibrariesChild.DISABLED_MissingLibrariesFailCleanly",
                         {{"LD_LIBRARY_PATH", broken.path + ":" + ORVELLA_NO_MPG123_DIR},
                          {"ORVELLA_LAZY_TEST_MEDIA", media.path}}));
}

TEST(LazyLibraries, WithoutLibmpg123MpegAudioGoesToFfmpeg) {
  bt::TempFolder media;
  MakeMedia(media);
  EXPECT_TRUE(fresh::Run("LazyLibrariesChild.DISABLED_MpegAudioWithoutLibmpg123",
                         {{"LD_LIBRARY_PATH", ORVELLA_NO_MPG123_DIR}, {"ORVELLA_LAZY_TEST_MEDIA", media.path}}));
}

TEST(LazyLibraries, WithoutFfmpegMpegAudioStillDecodes) {
  bt::TempFolder media;
  MakeMedia(media);
  bt::TempFolder broken;
  WriteBrokenFfmpeg(broken);
  EXPECT_TRUE(fresh::Run("LazyLibrariesChild.DISABLED_MpegAudioWithoutFfmpeg",
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

  // An MP3 is decoded by libmpg123, exactly as mpg123 decodes it, and maps nothing of FFmpeg.
  ExpectMp3DecodesAs("ref_mpg123.raw", BASS_CTYPE_STREAM_MP3);
  EXPECT_TRUE(fresh::Mapped("libmpg123"));
  for (const char* name : {"libavcodec", "libavformat", "libavutil", "libswresample"})
    EXPECT_FALSE(fresh::Mapped(name)) << name << " mapped by an MP3";

  // PCM WAV and AIFF files are decoded by the core: nothing of FFmpeg either.
  for (const char* file : {"t.wav", "t.aiff"}) {
    HSTREAM w = BASS_StreamCreateFile(FALSE, Media(file).c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(w, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(bt::DecodeAll(w).size(), 44100u * 4) << file;
    EXPECT_TRUE(BASS_StreamFree(w));
    for (const char* name : {"libavcodec", "libavformat", "libavutil", "libswresample"})
      EXPECT_FALSE(fresh::Mapped(name)) << name << " mapped by " << file;
  }

  // A FLAC file through its add-on is decoded by libFLAC: nothing of FFmpeg.
  HSTREAM fl = BASS_StreamCreateFile(FALSE, Media("t.flac").c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(fl, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO flInfo{};
  ASSERT_TRUE(BASS_ChannelGetInfo(fl, &flInfo));
  EXPECT_EQ(flInfo.ctype, DWORD(BASS_CTYPE_STREAM_FLAC));
  EXPECT_EQ(bt::DecodeAll(fl).size(), 44100u * 4);
  EXPECT_TRUE(BASS_StreamFree(fl));
  EXPECT_TRUE(fresh::Mapped("libFLAC"));
  for (const char* name : {"libavcodec", "libavformat", "libavutil", "libswresample"})
    EXPECT_FALSE(fresh::Mapped(name)) << name << " mapped by a FLAC file";

  // An Ogg Vorbis file maps FFmpeg.
  HSTREAM o = BASS_StreamCreateFile(FALSE, Media("t.ogg").c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(o, 0u) << BASS_ErrorGetCode();
  EXPECT_TRUE(fresh::Mapped("libavcodec"));
  EXPECT_TRUE(fresh::Mapped("libavformat"));
  EXPECT_TRUE(fresh::Mapped("libswresample"));
  EXPECT_GT(bt::DecodeAll(o).size(), 44100u * 2);
  EXPECT_TRUE(BASS_StreamFree(o));
  fresh::MarkDone();
}

TEST(LazyLibrariesChild, DISABLED_MissingLibrariesFailCleanly) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  EXPECT_GE(LoadAddOns(), 5);
  const std::string mod = lib.dir / "song.mod";
  bt::WriteFile(mod, mw::Mod("Lazy"));
  // Twice each: the failed open is remembered, not retried into a different state.
  for (int round = 0; round < 2; ++round) {
    for (const char* file : {"t.mp3", "t.ogg"}) {
      const std::string path = Media(file);
      ASSERT_TRUE(std::filesystem::exists(path));
      EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE), 0u) << file;
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << file;
    }
    EXPECT_EQ(BASS_MusicLoad(FALSE, mod.c_str(), 0, 0, BASS_MUSIC_DECODE, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  }
  // The library still works for what needs neither: a PCM WAV file, a FLAC file (through its
  // add-on), a stream fed by the caller.
  HSTREAM fl = BASS_StreamCreateFile(FALSE, Media("t.flac").c_str(), 0, 0, BASS_STREAM_DECODE);
  EXPECT_NE(fl, 0u) << BASS_ErrorGetCode();
  if (fl) {
    EXPECT_EQ(bt::DecodeAll(fl).size(), 44100u * 4);
    EXPECT_TRUE(BASS_StreamFree(fl));
  }
  HSTREAM w = BASS_StreamCreateFile(FALSE, Media("t.wav").c_str(), 0, 0, BASS_STREAM_DECODE);
  EXPECT_NE(w, 0u) << BASS_ErrorGetCode();
  if (w) {
    EXPECT_EQ(bt::DecodeAll(w).size(), 44100u * 4);
    EXPECT_TRUE(BASS_StreamFree(w));
  }
  HSTREAM h = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, STREAMPROC_PUSH, nullptr);
  EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
  if (h) {
    EXPECT_TRUE(BASS_StreamFree(h));
  }
  for (const char* name : {"libavcodec", "libopenmpt"}) EXPECT_FALSE(fresh::Mapped(name)) << name;
  fresh::MarkDone();
}

TEST(LazyLibrariesChild, DISABLED_MpegAudioWithoutLibmpg123) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  EXPECT_FALSE(fresh::Mapped("libavcodec"));
  for (int round = 0; round < 2; ++round) ExpectMp3DecodesAs("ref_ff.raw", BASS_CTYPE_STREAM_MP3);
  EXPECT_TRUE(fresh::Mapped("libavcodec"));
  fresh::MarkDone();
}

TEST(LazyLibrariesChild, DISABLED_MpegAudioWithoutFfmpeg) {
  bt::Lib lib(false);
  ASSERT_TRUE(lib.ok);
  ExpectMp3DecodesAs("ref_mpg123.raw", BASS_CTYPE_STREAM_MP3);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, Media("t.ogg").c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  fresh::MarkDone();
}

}  // namespace

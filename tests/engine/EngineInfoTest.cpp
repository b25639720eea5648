// Stream information of each file family, add-ons and soundfonts, and the
// captured output of each kind of stream compared with the library's decode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "../bass/FreshProcess.h"
#include "../bass/ModuleWriters.h"
#include "EngineTestUtil.h"
#include "engine/AddonFamilies.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

using namespace engine;
using namespace enginetest;

namespace {

struct Info {
  bool ok = false;
  TStreamInfo info;
  int supportedBy = -1, pluginNum = 0;
  std::string pluginName = "x";
};

Info Get(TZOZUZivade& eng, const std::string& name) {
  Info r;
  r.ok = eng.GetStreamInfo(name, r.info, r.supportedBy, r.pluginNum, r.pluginName);
  return r;
}

std::string Id3v1(const std::string& title, const std::string& artist, uint8_t track, uint8_t genre) {
  std::string t = "TAG";
  auto field = [&](const std::string& s, size_t n) {
    std::string f = s.substr(0, n);
    f.resize(n, '\0');
    t += f;
  };
  field(title, 30);
  field(artist, 30);
  field("Album One", 30);
  field("1999", 4);
  field("comment", 28);
  t += '\0';
  t += char(track);
  t += char(genre);
  return t;
}

std::vector<int16_t> Captured(const std::string& wav) { return ReadWav16(wav); }

// Decodes a file through the library the engine uses, as 16-bit stereo.
std::vector<int16_t> LibraryDecode(TZOZUZivade& eng, DWORD handle) {
  std::vector<int16_t> out;
  std::vector<int16_t> buf(8192);
  for (;;) {
    DWORD n = eng.Bass().BASS_ChannelGetData(handle, buf.data(), DWORD(buf.size() * 2));
    if (n == DWORD(-1) || n == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n / 2);
  }
  return out;
}

// Largest difference between the capture and the decode scaled by the engine's volume.
int WorstDifference(const std::vector<int16_t>& decode, const std::vector<int16_t>& capture) {
  int worst = 0;
  for (size_t i = 0; i < decode.size() && i < capture.size(); ++i)
    worst = std::max(worst, std::abs(int(std::lround(decode[i] * 0.9945)) - capture[i]));
  return worst;
}

}  // namespace

class EngineInfo : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(eng.Ready()); }
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
};

TEST_F(EngineInfo, WaveFilesTakeTheirFormatFromTheLibrary) {
  std::string wav = SineWav(1.0);
  Info r = Get(eng, wav);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.info.SampleRate, 44100u);
  EXPECT_EQ(r.info.Channels, 2);
  EXPECT_EQ(r.info.BitsPerSample, 16);
  EXPECT_EQ(r.info.BitRate, 1411);
  EXPECT_EQ(r.info.Duration, 1000);
  EXPECT_EQ(FormatName(r.info.Format), "Integer PCM WAVE");
  EXPECT_EQ(r.supportedBy, 1);
  EXPECT_EQ(r.pluginNum, -1);
  EXPECT_EQ(r.pluginName, "");
  EXPECT_EQ(r.info.Title, "sine_440_1.000.wav");  // no title: the file name
}

// The type of a WAVE file is what the library names it, for every codec (the library plays plain
// PCM and float itself; the others it does not play and names none).
TEST_F(EngineInfo, WaveTypesAreTheLibrarysForEveryCodec) {
  for (const char* codec : {"pcm_u8", "pcm_s16le", "pcm_s24le", "pcm_s32le", "pcm_f32le", "pcm_f64le", "pcm_alaw",
                            "pcm_mulaw", "adpcm_ms"}) {
    SCOPED_TRACE(codec);
    const std::string wav =
        Media(std::string("type_") + codec + ".wav",
              std::string("ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=0.5 -ac 2 -c:a ") + codec + " {out}");
    ASSERT_FALSE(wav.empty());
    // The library itself plays PCM and float only; the others have no type (0).
    HSTREAM h = eng.Bass().BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE);
    BASS_CHANNELINFO ci{};
    if (h) {
      ASSERT_TRUE(eng.Bass().BASS_ChannelGetInfo(h, &ci));
      eng.Bass().BASS_StreamFree(h);
    }
    EXPECT_EQ(h != 0, std::string(codec).rfind("pcm_", 0) == 0 && std::string(codec).find("law") == std::string::npos);
    Info r = Get(eng, wav);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(DWORD(r.info.Format), ci.ctype);
  }
}

// Listing a plain WAVE file (as the playlist does for a file given at start, before the first
// window shows) loads no decoder library; a codec only the library can name still loads them.
TEST(EngineInfoFresh, PlainWaveFilesAreListedWithoutLoadingDecoders) {
  EXPECT_TRUE(fresh::Run("EngineInfoFreshChild.DISABLED_ListsWaveFiles"));
}

TEST(EngineInfoFreshChild, DISABLED_ListsWaveFiles) {
  const std::string alaw = Media("type_pcm_alaw.wav",
                                 "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=0.5 -ac 2 -c:a pcm_alaw {out}");
  ASSERT_FALSE(alaw.empty());
  const std::string plain = SineWav(1.0);
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  ASSERT_FALSE(fresh::Mapped("libavformat")) << "mapped before any file";
  Info r = Get(eng, plain);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(FormatName(r.info.Format), "Integer PCM WAVE");
  EXPECT_FALSE(fresh::Mapped("libavformat"));
  EXPECT_FALSE(fresh::Mapped("libavcodec"));
  r = Get(eng, alaw);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(fresh::Mapped("libavformat"));
  fresh::MarkDone();
}

// The header reader takes only mono and stereo; a 5.1 file the library plays
// still reports what it is instead of zeros.
TEST_F(EngineInfo, SixChannelWaveFilesReportTheLibrarysFacts) {
  std::string six = Media("six.wav", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=2 -ac 6 -ar 48000 "
                                     "-c:a pcm_s16le {out}");
  Info r = Get(eng, six);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.info.SampleRate, 48000u);
  EXPECT_EQ(r.info.Channels, 6);
  EXPECT_EQ(r.info.BitsPerSample, 16);
  EXPECT_EQ(r.info.BitRate, 4608);
  EXPECT_EQ(r.info.Duration, 2000);
  EXPECT_GT(r.info.FileSize, 48000u * 12 * 2);
  EXPECT_EQ(r.supportedBy, 1);
}

TEST_F(EngineInfo, Mp3TagsComeFromId3v1BeforeId3v2) {
  std::string base = Media("v2only.mp3",
                           "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=2 -ac 1 -c:a libmp3lame "
                           "-b:a 64k -id3v2_version 3 -metadata title=FromV2 -metadata artist=ArtistV2 {out}");
  ASSERT_FALSE(base.empty());
  std::string both = dir.File("both.mp3");
  WriteFile(both, ReadFile(base) + Id3v1("FromV1", "ArtistV1", 7, 17));
  Info r = Get(eng, both);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.info.Title, "FromV1");
  EXPECT_EQ(r.info.Artist, "ArtistV1");
  EXPECT_EQ(r.info.Track, 7);
  EXPECT_EQ(r.info.GenreID, 17);
  EXPECT_EQ(r.info.Genre, "Rock");
  EXPECT_EQ(r.info.Channels, 1);
  EXPECT_EQ(r.info.Format, 0x10005);
  EXPECT_EQ(FormatName(r.info.Format), "MP3");

  Info v2 = Get(eng, base);
  EXPECT_EQ(v2.info.Title, "FromV2");
  EXPECT_EQ(v2.info.Artist, "ArtistV2");
  EXPECT_NEAR(v2.info.Duration, 2000, 100);  // estimated from the size: the encoder's tag frame counts too
  EXPECT_EQ(v2.info.BitRate, 64);
}

// A tag edit of the open file reaches the record the engine keeps for it; other files leave it alone.
TEST_F(EngineInfo, RewrittenTagsOfTheOpenFileReplaceItsKeptTexts) {
  std::string base = Media("v2only.mp3",
                           "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=2 -ac 1 -c:a libmp3lame "
                           "-b:a 64k -id3v2_version 3 -metadata title=FromV2 -metadata artist=ArtistV2 {out}");
  ASSERT_FALSE(base.empty());
  std::string file = dir.File("edited.mp3");
  WriteFile(file, ReadFile(base) + Id3v1("Before", "Band", 1, 17));
  ASSERT_TRUE(eng.Open(file));
  TStreamInfo kept;
  int sb = -1;
  ASSERT_TRUE(eng.GetStreamInfoCached(file, kept, sb));
  EXPECT_EQ(kept.Title, "Before");
  const int32_t duration = kept.Duration;

  WriteFile(file, ReadFile(base) + Id3v1("After", "Other band", 2, 17));
  eng.RefreshStreamTags(dir.File("another.mp3"));
  ASSERT_TRUE(eng.GetStreamInfoCached(file, kept, sb));
  EXPECT_EQ(kept.Title, "Before");
  eng.RefreshStreamTags(file);
  ASSERT_TRUE(eng.GetStreamInfoCached(file, kept, sb));
  EXPECT_EQ(kept.Title, "After");
  EXPECT_EQ(kept.Artist, "Other band");
  EXPECT_EQ(kept.Track, 2);
  EXPECT_EQ(kept.Duration, duration);
  eng.Close();
}

TEST_F(EngineInfo, JointStereoMp3HasTwoChannelsAndMp2IsLayer2) {
  std::string js = Media("joint.mp3", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1 -ac 2 "
                                      "-c:a libmp3lame -joint_stereo 1 {out}");
  std::string mp2 = Media("layer2.mp2", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1 -ac 2 "
                                        "-c:a mp2 {out}");
  EXPECT_EQ(Get(eng, js).info.Channels, 2);
  Info r = Get(eng, mp2);
  EXPECT_EQ(r.info.Format, 0x10004);
  EXPECT_EQ(FormatName(r.info.Format), "MPEG Layer 2");
}

TEST_F(EngineInfo, OggVorbisGivesDateAsYear) {
  std::string ogg = Media("tagged.ogg", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1.5 -ac 2 "
                                        "-c:a libvorbis -metadata title=Song -metadata date=2004 {out}");
  ASSERT_FALSE(ogg.empty());
  Info r = Get(eng, ogg);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.info.Title, "Song");
  EXPECT_EQ(r.info.Year, "2004");
  EXPECT_EQ(r.info.Format, 0x10002);
  EXPECT_NEAR(r.info.Duration, 1500, 5);
  EXPECT_EQ(r.info.Channels, 2);
}

TEST_F(EngineInfo, TrackerModulesGiveTheirStoredTitleAndLength) {
  std::string xm = dir.File("song.xm");
  auto bytes = mw::Xm("Orbit Theme");
  WriteFile(xm, std::string(bytes.begin(), bytes.end()));
  Info r = Get(eng, xm);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.info.Title, "Orbit Theme");
  EXPECT_EQ(r.info.Format, 0x20003);
  EXPECT_EQ(FormatName(r.info.Format), "FastTracker 2");
  EXPECT_NEAR(r.info.Duration, 1920, 30);
  EXPECT_EQ(r.info.BitRate, 0);
}

TEST_F(EngineInfo, NamesThatAreNotExaminedAndUnknownExtensions) {
  std::string wav = SineWav(1.0);
  std::string odd = dir.File("sound.xyz");
  WriteFile(odd, ReadFile(wav));
  Info r = Get(eng, odd);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.supportedBy, 3);
  EXPECT_EQ(r.info.FileName, odd);
  EXPECT_FALSE(Get(eng, dir.File("a.b")).ok);
  EXPECT_FALSE(Get(eng, "http://radio.example/stream.mp3").ok);
  EXPECT_FALSE(Get(eng, dir.File("noext")).ok);
}

TEST_F(EngineInfo, FormatAddOnsAddTheirExtensionsAndCannotLeaveWhileUsed) {
  std::string flac = Media("tone.flac", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1.25 -ac 2 "
                                        "-c:a flac {out}");
  ASSERT_FALSE(flac.empty());
  EXPECT_FALSE(Get(eng, flac).ok);  // nobody decodes FLAC yet
  TBASSAddOnInfo a = eng.LoadAddOn(dir.File("plugins/bass/bass_flac.so"));
  ASSERT_NE(a.Handle, 0u);
  EXPECT_EQ(a.Name, "bass_flac.so");
  EXPECT_GE(a.NumFormat, 1);
  EXPECT_EQ(eng.LoadAddOn(dir.File("plugins/bass/bass_flac.so")).Handle, 0u);  // the same file again
  EXPECT_NE(eng.AddOnExtList().find("*.flac;"), std::string::npos);
  EXPECT_EQ(eng.AddOnForExt(".FLAC"), "bass_flac.so");

  Info r = Get(eng, flac);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.info.Format, 0x10900);
  EXPECT_EQ(r.info.Duration, 1250);
  EXPECT_EQ(r.supportedBy, 1);

  ASSERT_TRUE(eng.Open(flac));
  EXPECT_EQ(eng.DecoderName(), "bass_flac.so");
  TStreamInfo cached;
  int sb = -1;
  ASSERT_TRUE(eng.GetStreamInfoCached(flac, cached, sb));
  EXPECT_EQ(cached.Duration, 1250);
  EXPECT_EQ(eng.UnloadAddOn(a.Handle), 0);  // its stream is open
  eng.Close();
  EXPECT_EQ(eng.UnloadAddOn(a.Handle), 1);
  EXPECT_EQ(eng.GetAddOnList()[0].Handle, 0u);
}

TEST_F(EngineInfo, MidiNeedsASoundfont) {
  std::string mid = dir.File("tune.mid");
  WriteFile(mid, LyricMidiFile());
  ASSERT_TRUE(eng.MIDIReady());
  Info before = Get(eng, mid);
  EXPECT_FALSE(before.ok);
  EXPECT_EQ(before.supportedBy, 3);
  platform::MessageRecorder msgs;
  EXPECT_FALSE(eng.Open(mid));  // nobody recognises it
  ASSERT_EQ(msgs.Messages().size(), 1u);
  EXPECT_EQ(msgs.Messages()[0].text, "Invalid or unsupported stream file.\n -> " + mid);

  TMIDI_FONTINFO font;
  EXPECT_FALSE(eng.LoadSoundFont(dir.File("plugins/missing.sf2"), font));
  ASSERT_TRUE(eng.LoadSoundFont(dir.File("plugins/CT4MGM.SF2"), font));
  EXPECT_GT(font.Presets, 0u);
  EXPECT_NE(eng.GetNativeFileExts().find("*.mid;*.midi;*.rmi;*.kar;"), std::string::npos);
  Info r = Get(eng, mid);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.info.Format, 0x10D00);
  EXPECT_EQ(r.info.SampleRate, 44100u);
  EXPECT_GT(r.info.Duration, 1500);

  TMIDITrackInfo tracks;
  ASSERT_TRUE(eng.GetMIDITrackInfo(mid, tracks));
  EXPECT_EQ(tracks.TrackCount, 1);
  EXPECT_EQ(tracks.Tracks[0], "Lead");
}

// Captures of each kind of stream equal the library's own decode at the engine's volume.
class EngineCapture : public ::testing::TestWithParam<std::string> {};

TEST_P(EngineCapture, PlayingCapturesTheDecode) {
  ProgramDir dir;
  std::string kind = GetParam();
  std::string file;
  if (kind == "mp3")
    file = Media("cap.mp3", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=330:duration=1.5 -ac 2 -c:a libmp3lame {out}");
  else if (kind == "ogg")
    file = Media("cap.ogg", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=330:duration=1.5 -ac 2 -c:a libvorbis {out}");
  else if (kind == "wav")
    file = SineWav(1.5, 330);
  else if (kind == "flac")
    file = Media("cap.flac", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=330:duration=1.5 -ac 2 -c:a flac {out}");
  else if (kind == "mod") {
    file = dir.File("cap.mod");
    auto b = mw::Mod("capture");
    WriteFile(file, std::string(b.begin(), b.end()));
  } else if (kind == "mid") {
    file = dir.File("cap.mid");
    WriteFile(file, LyricMidiFile());
  }
  ASSERT_FALSE(file.empty());
  std::string out = dir.File("cap.wav");
  std::vector<int16_t> decode;
  {
    CaptureOutput capture(out, 1);
    platform::MessageRecorder msgs;
    TZOZUZivade eng;
    if (kind == "flac") {
      ASSERT_NE(eng.LoadAddOn(dir.File("plugins/bass/bass_flac.so")).Handle, 0u);
    }
    TMIDI_FONTINFO font;
    if (kind == "mid") {
      ASSERT_TRUE(eng.LoadSoundFont(dir.File("plugins/CT4MGM.SF2"), font));
    }
    // The reference: the same library decoding the same file with the flags the engine uses.
    DWORD ref;
    if (kind == "mod")
      ref = eng.Bass().BASS_MusicLoad(FALSE, file.c_str(), 0, 0, 0x28400 | BASS_STREAM_DECODE, 0);
    else if (kind == "mid") {
      TAddonFamilies fam;
      ASSERT_TRUE(fam.LoadMIDI(dir.File("plugins/bass/bassmidi.so")));
      ref = fam.MIDIStreamCreateFile(file, BASS_STREAM_DECODE, 44100);
      ASSERT_NE(ref, 0u);
      decode = LibraryDecode(eng, ref);
      eng.Bass().BASS_StreamFree(ref);
      ref = 0;
    } else
      ref = eng.Bass().BASS_StreamCreateFile(FALSE, file.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (kind != "mid") {
      ASSERT_NE(ref, 0u);
      decode = LibraryDecode(eng, ref);
    }
    int ends = 0;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    ASSERT_TRUE(eng.Open(file));
    eng.Play();
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
    for (const auto& m : msgs.Messages()) ADD_FAILURE() << m.text;
  }
  std::vector<int16_t> cap = Captured(out);
  ASSERT_GT(decode.size(), 44100u);
  ASSERT_GE(cap.size(), decode.size());
  EXPECT_LE(WorstDifference(decode, cap), 2);
  // What follows the stream in the capture is silence.
  for (size_t i = decode.size(); i < cap.size(); ++i) ASSERT_EQ(cap[i], 0) << "at " << i;
}

INSTANTIATE_TEST_SUITE_P(Kinds, EngineCapture, ::testing::Values("wav", "mp3", "ogg", "flac", "mod", "mid"));

TEST_F(EngineInfo, AacAndWindowsMediaFiles) {
  std::string aac = Media("tone.aac", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=2 -ac 2 -c:a aac "
                                      "-b:a 128k -f adts {out}");
  std::string wma = Media("tone.wma", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=2 -ac 2 "
                                      "-c:a wmav2 -b:a 128k -metadata title=WinTitle {out}");
  ASSERT_FALSE(aac.empty());
  ASSERT_FALSE(wma.empty());
  Info before = Get(eng, aac);  // read, but nobody plays it yet
  EXPECT_TRUE(before.ok);
  EXPECT_EQ(before.supportedBy, 3);
  EXPECT_EQ(before.info.Format, 0x10B00);
  ASSERT_NE(eng.LoadAddOn(dir.File("plugins/bass/bass_aac.so")).Handle, 0u);
  Info r = Get(eng, aac);
  EXPECT_EQ(r.supportedBy, 1);
  // Measured by the library: ADTS keeps the encoder's priming frames, which nothing marks for removal.
  EXPECT_NEAR(r.info.Duration, 2000, 60);
  EXPECT_EQ(r.info.Channels, 2);
  ASSERT_TRUE(eng.Open(aac));
  EXPECT_EQ(eng.DecoderName(), "bass_aac.so");

  ASSERT_TRUE(eng.WMAReady());
  Info w = Get(eng, wma);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.supportedBy, 1);
  EXPECT_EQ(w.info.Format, 0x10300);
  EXPECT_EQ(w.info.Title, "WinTitle");
  EXPECT_NEAR(w.info.Duration, 2000, 100);
  ASSERT_TRUE(eng.Open(wma));
  EXPECT_EQ(eng.StreamKind(), TZOZUZivade::skWMA);
  EXPECT_EQ(eng.DecoderName(), "basswma.so");
}


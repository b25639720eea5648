// bassmidi.so: MIDI files rendered with a generated soundfont, marks, lyric sync, track texts.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "AddonTestUtil.h"
#include "bass/addons/SoundFont.h"
#include "../bass_net/TestServer.h"
#include "MediaWriters.h"
#include "bass/addons/bassmidi.h"

namespace {

struct Midi {
#define ORV_PTR(name) decltype(&::name) name = nullptr;
  ORVELLA_BASSMIDI_FUNCTIONS(ORV_PTR)
#undef ORV_PTR
  void* lib = nullptr;
  bool Load() {
    lib = dlopen(at::AddonPath("bassmidi").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
#define ORV_RESOLVE(name) name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name));
    ORVELLA_BASSMIDI_FUNCTIONS(ORV_RESOLVE)
#undef ORV_RESOLVE
    return BASS_MIDI_StreamGetMark && BASS_MIDI_FontInit;
  }
  ~Midi() {
    if (lib) dlclose(lib);
  }
};

// 120 beats a minute at 480 ticks a beat: 960 ticks a second.
std::vector<uint8_t> SongBytes() {
  at::MidiTrack conductor, melody, bass;
  conductor.Meta(0, 3, "Conductor").Tempo(0, 500000).End(0);
  melody.Meta(0, 3, "Melody").Event(0, 0xC0, 0).Meta(0, 5, "Hel").Event(0, 0x90, 69, 100).Meta(240, 6, "Verse");
  melody.Event(400, 0x80, 69, 0).Meta(480, 5, "lo ").Event(480, 0x90, 72, 100).Event(900, 0x80, 72, 0);
  melody.Meta(960, 5, "world").Event(960, 0x90, 76, 100).Event(1800, 0x80, 76, 0).End(1920);
  bass.Meta(0, 3, "Bass").Event(0, 0xB1, 7, 90).Event(0, 0x91, 45, 90).Event(1900, 0x81, 45, 0).End(1900);
  return at::MidiFileBytes({conductor, melody, bass}, 480);
}

constexpr QWORD kSongBytes = 2 * 44100 * 4;  // 1920 ticks = 2 s of 16-bit stereo

class MidiAddon : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bass_.ok);
    ASSERT_TRUE(midi_.Load()) << dlerror();
    fontPath_ = dir_ / "tiny.sf2";
    at::WriteFile(fontPath_, at::TinySoundFont("Tiny Sine", "(c) nobody", "made by the tests"));
    songPath_ = dir_ / "song.mid";
    at::WriteFile(songPath_, SongBytes());
    font_ = midi_.BASS_MIDI_FontInit(fontPath_.c_str(), 0);
    ASSERT_NE(font_, 0u) << BASS_ErrorGetCode();
    BASS_MIDI_FONT entry{font_, -1, 0};
    ASSERT_TRUE(midi_.BASS_MIDI_StreamSetFonts(0, &entry, 1));
  }
  void TearDown() override {
    if (font_) midi_.BASS_MIDI_FontFree(font_);
  }
  at::TempFolder dir_;
  at::BassSession bass_;
  Midi midi_;
  std::string fontPath_, songPath_;
  HSOUNDFONT font_ = 0;
};

TEST_F(MidiAddon, FontInfoComesFromTheFile) {
  BASS_MIDI_FONTINFO info{};
  ASSERT_TRUE(midi_.BASS_MIDI_FontGetInfo(font_, &info));
  EXPECT_STREQ(info.name, "Tiny Sine");
  EXPECT_STREQ(info.copyright, "(c) nobody");
  EXPECT_STREQ(info.comment, "made by the tests");
  EXPECT_EQ(info.presets, 1u);
  EXPECT_EQ(info.samsize, (4400u + 46u) * 2u);
  EXPECT_STREQ(midi_.BASS_MIDI_FontGetPreset(font_, 0, 0), "Sine");
  EXPECT_EQ(midi_.BASS_MIDI_FontGetPreset(font_, 5, 0), nullptr);
  // Not a soundfont, and a missing file.
  EXPECT_EQ(midi_.BASS_MIDI_FontInit(songPath_.c_str(), 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  EXPECT_EQ(midi_.BASS_MIDI_FontInit((dir_ / "none.sf2").c_str(), 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  EXPECT_FALSE(midi_.BASS_MIDI_FontGetInfo(font_ + 1000, &info));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(MidiAddon, RendersTheWholeSongAudibly) {
  HSTREAM h = midi_.BASS_MIDI_StreamCreateFile(FALSE, songPath_.c_str(), 0, 0, BASS_STREAM_DECODE, 44100);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
  EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_MIDI));
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 2u);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), kSongBytes);
  std::vector<uint8_t> pcm = at::ReadAll(h);
  ASSERT_EQ(pcm.size(), kSongBytes);
  // Loud while the notes sound (first half second), and not clipped to nothing.
  const int16_t* s = reinterpret_cast<const int16_t*>(pcm.data());
  double sum = 0;
  int peak = 0;
  for (size_t i = 0; i < 44100; ++i) {
    sum += double(s[i]) * s[i];
    peak = std::max(peak, std::abs(int(s[i])));
  }
  EXPECT_GT(std::sqrt(sum / 44100), 300.0);
  EXPECT_GT(peak, 1000);
  BASS_MIDI_FONTINFO fi{};
  ASSERT_TRUE(midi_.BASS_MIDI_FontGetInfo(font_, &fi));
  EXPECT_EQ(fi.samload, fi.samsize);  // loaded for the stream
  EXPECT_TRUE(BASS_StreamFree(h));
}

TEST_F(MidiAddon, MarksAndTrackTexts) {
  HSTREAM h = midi_.BASS_MIDI_StreamCreateFile(FALSE, songPath_.c_str(), 0, 0, BASS_STREAM_DECODE, 44100);
  ASSERT_NE(h, 0u);
  const char* lyrics[] = {"Hel", "lo ", "world"};
  const DWORD pos[] = {0, 22050 * 4, 44100 * 4};
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetMarkCount(h, BASS_MIDI_MARK_LYRIC), 3u);
  for (DWORD i = 0; i < 3; ++i) {
    BASS_MIDI_MARK m{};
    ASSERT_TRUE(midi_.BASS_MIDI_StreamGetMark(h, BASS_MIDI_MARK_LYRIC, i, &m));
    EXPECT_STREQ(m.text, lyrics[i]);
    EXPECT_EQ(m.pos, pos[i]);
    EXPECT_EQ(m.track, 1u);
  }
  BASS_MIDI_MARK m{};
  EXPECT_FALSE(midi_.BASS_MIDI_StreamGetMark(h, BASS_MIDI_MARK_LYRIC, 3, &m));
  ASSERT_TRUE(midi_.BASS_MIDI_StreamGetMark(h, BASS_MIDI_MARK_MARKER, 0, &m));
  EXPECT_STREQ(m.text, "Verse");
  EXPECT_EQ(m.pos, 11025u * 4);
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetTrackCount(h), 3u);
  const char* names[] = {"Conductor", "Melody", "Bass"};
  for (DWORD t = 0; t < 3; ++t) {
    const char* tag = BASS_ChannelGetTags(h, BASS_TAG_MIDI_TRACK + t);
    ASSERT_NE(tag, nullptr) << t;
    EXPECT_STREQ(tag, names[t]);
  }
  EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_MIDI_TRACK + 3), nullptr);
  // Float output: positions count float bytes.
  HSTREAM f = midi_.BASS_MIDI_StreamCreateFile(FALSE, songPath_.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT, 44100);
  ASSERT_NE(f, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(f, BASS_POS_BYTE), kSongBytes * 2);
  ASSERT_TRUE(midi_.BASS_MIDI_StreamGetMark(f, BASS_MIDI_MARK_LYRIC, 2, &m));
  EXPECT_EQ(m.pos, 44100u * 8);
  BASS_StreamFree(f);
  BASS_StreamFree(h);
  // Gone with its stream.
  EXPECT_FALSE(midi_.BASS_MIDI_StreamGetMark(h, BASS_MIDI_MARK_LYRIC, 0, &m));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(MidiAddon, SeekLandsOnTheAskedPosition) {
  HSTREAM h = midi_.BASS_MIDI_StreamCreateFile(FALSE, songPath_.c_str(), 0, 0, BASS_STREAM_DECODE, 44100);
  ASSERT_NE(h, 0u);
  // The bass track's volume controller (90) is in effect after a seek past it.
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetEvent(h, 1, MIDI_EVENT_VOLUME), 100u);
  ASSERT_TRUE(BASS_ChannelSetPosition(h, 44100 * 4, BASS_POS_BYTE));
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetEvent(h, 1, MIDI_EVENT_VOLUME), 90u);
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), QWORD(44100 * 4));
  std::vector<uint8_t> rest = at::ReadAll(h);
  EXPECT_EQ(rest.size(), kSongBytes - 44100 * 4);
  BASS_StreamFree(h);
}

struct LyricLog {
  std::mutex mutex;
  std::vector<DWORD> marks;
};

void CALLBACK OnLyric(HSYNC, DWORD, DWORD data, void* user) {
  auto* log = static_cast<LyricLog*>(user);
  std::lock_guard<std::mutex> lock(log->mutex);
  log->marks.push_back(data);
}

TEST_F(MidiAddon, LyricSyncFiresForEachLyric) {
  HSTREAM h = midi_.BASS_MIDI_StreamCreateFile(FALSE, songPath_.c_str(), 0, 0, BASS_STREAM_DECODE, 44100);
  ASSERT_NE(h, 0u);
  LyricLog log;
  HSYNC sync = BASS_ChannelSetSync(h, BASS_SYNC_MIDI_LYRIC, 0, OnLyric, &log);
  ASSERT_NE(sync, 0u);
  std::vector<uint8_t> pcm = at::ReadAll(h);
  ASSERT_EQ(pcm.size(), kSongBytes);
  BASS_StreamFree(h);  // not under the log's lock: the sync takes it under the library's
  std::lock_guard<std::mutex> lock(log.mutex);
  EXPECT_EQ(log.marks, (std::vector<DWORD>{0, 1, 2}));
}

TEST_F(MidiAddon, SecondFontReplacesTheFirst) {
  std::string second = dir_ / "second.sf2";
  at::WriteFile(second, at::TinySoundFont("Second", "", ""));
  HSOUNDFONT f2 = midi_.BASS_MIDI_FontInit(second.c_str(), 0);
  ASSERT_NE(f2, 0u);
  BASS_MIDI_FONT entry{f2, -1, 0};
  ASSERT_TRUE(midi_.BASS_MIDI_StreamSetFonts(0, &entry, 1));
  BASS_MIDI_FONT now[2]{};
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetFonts(0, now, 2), 1u);
  EXPECT_EQ(now[0].font, f2);
  // A freed font cannot be installed.
  ASSERT_TRUE(midi_.BASS_MIDI_FontFree(f2));
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetFonts(0, nullptr, 0), 0u);
  EXPECT_FALSE(midi_.BASS_MIDI_StreamSetFonts(0, &entry, 1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(MidiAddon, RmiAndPluginRoute) {
  std::vector<uint8_t> smf = SongBytes();
  std::vector<uint8_t> rmi = {'R', 'I', 'F', 'F'};
  at::Put32(rmi, uint32_t(4 + 8 + smf.size()));
  rmi.insert(rmi.end(), {'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'});
  at::Put32(rmi, uint32_t(smf.size()));
  rmi.insert(rmi.end(), smf.begin(), smf.end());
  std::string rmiPath = dir_ / "song.rmi";
  at::WriteFile(rmiPath, rmi);
  HSTREAM h = midi_.BASS_MIDI_StreamCreateFile(FALSE, rmiPath.c_str(), 0, 0, BASS_STREAM_DECODE, 44100);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), kSongBytes);
  BASS_StreamFree(h);
  // Attached as a format add-on, BASS_StreamCreateFile opens MIDI files with the default font.
  HPLUGIN p = BASS_PluginLoad(at::AddonPath("bassmidi").c_str(), 0);
  ASSERT_NE(p, 0u);
  h = BASS_StreamCreateFile(FALSE, songPath_.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  BASS_CHANNELINFO info{};
  BASS_ChannelGetInfo(h, &info);
  EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_MIDI));
  EXPECT_EQ(info.plugin, p);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), kSongBytes);
  EXPECT_FALSE(BASS_PluginFree(p));
  BASS_StreamFree(h);
  EXPECT_TRUE(BASS_PluginFree(p));
}

void CALLBACK OnDownload(const void* buffer, DWORD length, void* user) {
  auto* got = static_cast<std::vector<uint8_t>*>(user);
  if (buffer) got->insert(got->end(), static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + length);
}

TEST_F(MidiAddon, UrlStreamsAndUserFiles) {
  std::vector<uint8_t> downloaded;
  const std::vector<uint8_t> song = SongBytes();
  nt::TestServer server([&](nt::Conn& c) {
    if (c.Path() != "/song.mid") {
      c.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
      return;
    }
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/midi\r\nContent-Length: " + std::to_string(song.size()) +
           "\r\n\r\n");
    c.Send(song.data(), song.size());
  });
  HSTREAM h = midi_.BASS_MIDI_StreamCreateURL(server.Url("/song.mid").c_str(), 0, BASS_STREAM_DECODE, OnDownload,
                                              &downloaded, 44100);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(downloaded, song);
  EXPECT_EQ(server.Requests(), 1);  // downloaded once
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), kSongBytes);
  EXPECT_STREQ(BASS_ChannelGetTags(h, BASS_TAG_MIDI_TRACK + 1), "Melody");
  BASS_StreamFree(h);
  EXPECT_EQ(midi_.BASS_MIDI_StreamCreateURL(server.Url("/none.mid").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr,
                                            44100),
            0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  // Local files are not fetched as addresses.
  EXPECT_EQ(midi_.BASS_MIDI_StreamCreateURL(("file://" + songPath_).c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr,
                                            44100),
            0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  server.Stop();

  struct Src {
    std::vector<uint8_t> data;
    size_t at = 0;
    bool closed = false;
  } src{SongBytes()};
  BASS_FILEPROCS procs{[](void* u) { static_cast<Src*>(u)->closed = true; },
                       [](void* u) -> QWORD { return static_cast<Src*>(u)->data.size(); },
                       [](void* buf, DWORD len, void* u) -> DWORD {
                         auto* s = static_cast<Src*>(u);
                         size_t n = std::min<size_t>(len, s->data.size() - s->at);
                         std::memcpy(buf, s->data.data() + s->at, n);
                         s->at += n;
                         return DWORD(n);
                       },
                       [](QWORD, void*) -> BOOL { return FALSE; }};
  h = midi_.BASS_MIDI_StreamCreateFileUser(STREAMFILE_NOBUFFER, BASS_STREAM_DECODE, &procs, &src, 44100);
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(src.closed);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), kSongBytes);
  BASS_StreamFree(h);
}

TEST_F(MidiAddon, KaraokeTextEventsAreLyrics) {
  at::MidiTrack info, words;
  info.Meta(0, 1, "@KMIDI KARAOKE FILE").Meta(0, 1, "@TSong").End(0);
  words.Meta(0, 3, "Words").Meta(0, 1, "\\Twin").Meta(480, 1, "kle").Event(480, 0x90, 60, 90).Event(900, 0x80, 60, 0).End(960);
  std::string kar = dir_ / "song.kar";
  at::WriteFile(kar, at::MidiFileBytes({info, words}, 480));
  HSTREAM h = midi_.BASS_MIDI_StreamCreateFile(FALSE, kar.c_str(), 0, 0, BASS_STREAM_DECODE, 44100);
  ASSERT_NE(h, 0u);
  ASSERT_EQ(midi_.BASS_MIDI_StreamGetMarkCount(h, BASS_MIDI_MARK_LYRIC), 2u);
  BASS_MIDI_MARK m{};
  ASSERT_TRUE(midi_.BASS_MIDI_StreamGetMark(h, BASS_MIDI_MARK_LYRIC, 1, &m));
  EXPECT_STREQ(m.text, "kle");
  EXPECT_EQ(m.pos, 22050u * 4);
  EXPECT_EQ(m.track, 1u);
  BASS_StreamFree(h);
  // Text events of other files stay texts.
  at::MidiTrack plain;
  plain.Meta(0, 1, "made with a sequencer").Event(0, 0x90, 60, 90).Event(400, 0x80, 60, 0).End(480);
  std::string mid = dir_ / "plain.mid";
  at::WriteFile(mid, at::MidiFileBytes({plain}, 480, 0));
  h = midi_.BASS_MIDI_StreamCreateFile(FALSE, mid.c_str(), 0, 0, BASS_STREAM_DECODE, 44100);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetMarkCount(h, BASS_MIDI_MARK_LYRIC), 0u);
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetMarkCount(h, BASS_MIDI_MARK_TEXT), 1u);
  EXPECT_STREQ(BASS_ChannelGetTags(h, BASS_TAG_MIDI_TRACK), "made with a sequencer");
  BASS_StreamFree(h);
}

TEST_F(MidiAddon, LiveStreamPlaysSentEvents) {
  HSTREAM h = midi_.BASS_MIDI_StreamCreate(16, BASS_STREAM_DECODE, 44100);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  std::vector<int16_t> pcm(4410 * 2);
  ASSERT_EQ(BASS_ChannelGetData(h, pcm.data(), DWORD(pcm.size() * 2)), pcm.size() * 2);
  int peak = 0;
  for (int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
  EXPECT_LT(peak, 10);  // silent before any note
  ASSERT_TRUE(midi_.BASS_MIDI_StreamEvent(h, 0, MIDI_EVENT_NOTE, 69 | 100 << 8));
  ASSERT_EQ(BASS_ChannelGetData(h, pcm.data(), DWORD(pcm.size() * 2)), pcm.size() * 2);
  for (int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
  EXPECT_GT(peak, 1000);
  EXPECT_FALSE(midi_.BASS_MIDI_StreamEvent(h, 16, MIDI_EVENT_NOTE, 60));
  // Controller states as applied.
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetEvent(h, 3, MIDI_EVENT_VOLUME), 100u);
  ASSERT_TRUE(midi_.BASS_MIDI_StreamEvent(h, 3, MIDI_EVENT_VOLUME, 55));
  ASSERT_TRUE(midi_.BASS_MIDI_StreamEvent(h, 3, MIDI_EVENT_PITCH, 9000));
  ASSERT_EQ(BASS_ChannelGetData(h, pcm.data(), 400), 400u);
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetEvent(h, 3, MIDI_EVENT_VOLUME), 55u);
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetEvent(h, 3, MIDI_EVENT_PITCH), 9000u);
  EXPECT_EQ(midi_.BASS_MIDI_StreamGetEvent(h, 3, MIDI_EVENT_NOTE), DWORD(-1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  BASS_StreamFree(h);
}

// The core frees what is left from its exit handler, after our static destructors ran.
TEST_F(MidiAddon, ExitWithAnOpenStreamIsClean) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        HSTREAM h = midi_.BASS_MIDI_StreamCreateFile(FALSE, songPath_.c_str(), 0, 0, BASS_STREAM_DECODE, 44100);
        std::fprintf(stderr, h ? "open\n" : "failed\n");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "open");
}

TEST_F(MidiAddon, CorruptAndTruncatedFilesAreRefused) {
  std::vector<uint8_t> good = SongBytes();
  std::vector<std::vector<uint8_t>> bad = {
      {},
      {'M', 'T', 'h', 'd'},
      std::vector<uint8_t>(good.begin(), good.begin() + 14),          // header only
      std::vector<uint8_t>(good.begin(), good.end() - 10),            // last track cut short
      std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2),
      std::vector<uint8_t>(300, 0xFF),
  };
  std::vector<uint8_t> zeroDivision = good;
  zeroDivision[12] = zeroDivision[13] = 0;
  bad.push_back(zeroDivision);
  std::vector<uint8_t> hugeChunk = good;
  hugeChunk[18] = 0x7F;  // first track claims 2 GB
  bad.push_back(hugeChunk);
  for (size_t i = 0; i < bad.size(); ++i) {
    std::string path = dir_ / ("bad" + std::to_string(i) + ".mid");
    at::WriteFile(path, bad[i]);
    EXPECT_EQ(midi_.BASS_MIDI_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE, 44100), 0u) << i;
    EXPECT_NE(BASS_ErrorGetCode(), BASS_OK) << i;
    EXPECT_EQ(midi_.BASS_MIDI_StreamCreateFile(TRUE, bad[i].data(), 0, bad[i].size(), BASS_STREAM_DECODE, 44100), 0u) << i;
  }
  EXPECT_EQ(midi_.BASS_MIDI_StreamCreateFile(FALSE, (dir_ / "missing.mid").c_str(), 0, 0, BASS_STREAM_DECODE, 44100), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  // A truncated soundfont is refused too.
  std::vector<uint8_t> sf = at::TinySoundFont("x", "", "");
  sf.resize(sf.size() / 2);
  std::string cut = dir_ / "cut.sf2";
  at::WriteFile(cut, sf);
  EXPECT_EQ(midi_.BASS_MIDI_FontInit(cut.c_str(), 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
}

TEST_F(MidiAddon, BoundsOfMidiFilesAndSoundFonts) {
  // A MIDI file beyond 64 MB (sparse: trailing bytes after its tracks) is refused unread.
  std::string big = dir_ / "big.mid";
  at::WriteFile(big, SongBytes());
  std::filesystem::resize_file(big, (64u << 20) + 1);
  EXPECT_EQ(midi_.BASS_MIDI_StreamCreateFile(FALSE, big.c_str(), 0, 0, BASS_STREAM_DECODE, 44100), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);

  // The most tracks a header can declare (65535) are read; declared but missing ones refuse the file.
  std::vector<uint8_t> many = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0xFF, 0xFF, 0x01, 0xE0};
  const uint8_t track[] = {'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
  for (int i = 0; i < 65535; ++i) many.insert(many.end(), track, track + sizeof track);
  HSTREAM h = midi_.BASS_MIDI_StreamCreateFile(TRUE, many.data(), 0, many.size(), BASS_STREAM_DECODE, 44100);
  EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
  if (h) BASS_StreamFree(h);
  many.resize(many.size() - sizeof track);
  EXPECT_EQ(midi_.BASS_MIDI_StreamCreateFile(TRUE, many.data(), 0, many.size(), BASS_STREAM_DECODE, 44100), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);

  // SoundFont texts are cut at 64 KB; a chunk claiming more than the file holds refuses the font.
  auto readFrom = [](const std::vector<uint8_t>& v) {
    return [&v](uint64_t off, void* buf, size_t n) -> size_t {
      if (off >= v.size()) return 0;
      n = std::min<size_t>(n, v.size() - size_t(off));
      std::memcpy(buf, v.data() + off, n);
      return n;
    };
  };
  const std::vector<uint8_t> longName = at::TinySoundFont(std::string(100000, 'N'), "", "");
  orvmidi::SoundFontInfo info;
  ASSERT_TRUE(orvmidi::ReadSoundFont(readFrom(longName), longName.size(), &info));
  EXPECT_EQ(info.name, std::string(65536, 'N'));
  std::vector<uint8_t> lying = at::TinySoundFont("x", "", "");
  // The INFO list's size field (after "RIFF", size, "sfbk", "LIST") says 3 GB.
  lying[16] = 0, lying[17] = 0, lying[18] = 0, lying[19] = 0xC0;
  std::string error;
  EXPECT_FALSE(orvmidi::ReadSoundFont(readFrom(lying), lying.size(), &info, &error));
  EXPECT_EQ(error, "chunk past the end");
}

}  // namespace

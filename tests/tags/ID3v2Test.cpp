// ID3v2 reading (2.2, 2.3, 2.4), the in-memory parser and the 2.3 writer.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "tags/ID3v2.h"
#include "tags/SafeWrite.h"
#include "platform/IniFile.h"

using namespace tags;
using namespace tagtest;

namespace {

std::string SyncSafe(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[size_t(i)] = char((v >> (21 - 7 * i)) & 0x7F);
  return s;
}

std::string BE(uint32_t v, int bytes) {
  std::string s;
  for (int i = bytes - 1; i >= 0; --i) s += char((v >> (8 * i)) & 0xFF);
  return s;
}

// A frame of the given tag version; plainSize forces a plain size in 2.4.
std::string Frame(int version, const std::string& id, const std::string& body, uint8_t flags2 = 0,
                  bool plainSize = false) {
  if (version == 2) return id + BE(uint32_t(body.size()), 3) + body;
  std::string size = version == 4 && !plainSize ? SyncSafe(uint32_t(body.size())) : BE(uint32_t(body.size()), 4);
  return id + size + std::string(1, '\0') + std::string(1, char(flags2)) + body;
}

std::string Tag(int version, const std::string& frames, size_t padding = 0, uint8_t flags = 0) {
  std::string t = "ID3";
  t += char(version);
  t += char(0);
  t += char(flags);
  t += SyncSafe(uint32_t(frames.size() + padding));
  return t + frames + std::string(padding, '\0');
}

std::string Latin(const std::string& s) { return std::string(1, '\0') + s; }
std::string Utf8(const std::string& s) { return std::string(1, '\3') + s; }
std::string Utf16(const std::string& s) {
  std::string out = std::string(1, '\1') + "\xFF\xFE";
  for (char c : s) {
    out += c;
    out += '\0';
  }
  return out;
}

class TagsID3v2 : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) {
    std::string f = dir.File("t" + std::to_string(++n) + ".mp3");
    WriteBytes(f, bytes);
    return f;
  }
  ScratchDir dir;
  int n = 0;
};

}  // namespace

TEST_F(TagsID3v2, FiveByteFileFailsAndTaglessFileSucceeds) {
  TID3v2 t;
  EXPECT_FALSE(t.ReadFromFile(Write("12345")));
  EXPECT_FALSE(t.ReadFromFile(dir.File("none.mp3")));
  ASSERT_TRUE(t.ReadFromFile(Write(FakeAudio(1000))));
  EXPECT_FALSE(t.Exists());
  EXPECT_EQ(t.Title(), "");
  EXPECT_EQ(t.TagSize(), 0);
}

TEST_F(TagsID3v2, ReadsVersion23Fields) {
  std::string frames = Frame(3, "TIT2", Utf16("Title")) + Frame(3, "TPE1", Latin("Artist")) +
                       Frame(3, "TALB", Utf16(" Album ")) + Frame(3, "TRCK", Latin("3/12")) +
                       Frame(3, "TYER", Latin("1999")) + Frame(3, "TCON", Latin("(17)Rock")) +
                       Frame(3, "COMM", std::string("\1eng\xFF\xFE\0\0", 8) + Utf16("Nice").substr(1)) +
                       Frame(3, "TCOM", Utf16("Composer")) + Frame(3, "TENC", Latin("Enc")) +
                       Frame(3, "TCOP", Latin("(c)")) + Frame(3, "TLAN", Latin("eng")) +
                       Frame(3, "WXXX", std::string("\0", 1) + std::string("\0", 1) + "http://x.org/") +
                       Frame(3, "TOPE", Latin("Orig")) + Frame(3, "TSIZ", Latin("12345")) +
                       Frame(3, "USLT", std::string("\0eng\0", 5) + "Some lyrics");
  std::string tag = Tag(3, frames, 100);
  std::string f = Write(tag + FakeAudio(500));
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_TRUE(t.Exists());
  EXPECT_EQ(t.VersionID(), 3);
  EXPECT_EQ(t.TagSize(), int64_t(tag.size()));
  EXPECT_EQ(t.Title(), "Title");
  EXPECT_EQ(t.Artist(), "Artist");
  EXPECT_EQ(t.Album(), "Album");
  EXPECT_EQ(t.Track(), 3);
  EXPECT_EQ(t.TrackString(), "3/12");
  EXPECT_EQ(t.Year(), "1999");
  EXPECT_EQ(t.Genre(), "Rock");
  EXPECT_EQ(t.Comment(), "Nice");
  EXPECT_EQ(t.Composer(), "Composer");
  EXPECT_EQ(t.Encoder(), "Enc");
  EXPECT_EQ(t.Copyright(), "(c)");
  EXPECT_EQ(t.Language(), "eng");
  EXPECT_EQ(t.Link(), "http://x.org/");
  EXPECT_EQ(t.OrigArtist(), "Orig");
  EXPECT_EQ(t.SizeText(), "12345");
  EXPECT_EQ(t.Lyrics(), "Some lyrics");
}

TEST_F(TagsID3v2, Version24LongFrameIsSteppedOverBySyncSafeSize) {
  std::string longComment(300, 'x');
  std::string frames = Frame(4, "COMM", std::string("\3eng\0", 5) + longComment) + Frame(4, "TIT2", Utf8("After"));
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(4, frames, 20) + FakeAudio(100))));
  EXPECT_EQ(t.Comment(), longComment);
  EXPECT_EQ(t.Title(), "After");
  // Writers that put plain sizes into 2.4 frames are still read.
  frames = Frame(4, "COMM", std::string("\3eng\0", 5) + longComment, 0, true) + Frame(4, "TIT2", Utf8("Plain"));
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(4, frames, 20) + FakeAudio(100))));
  EXPECT_EQ(t.Title(), "Plain");
  EXPECT_EQ(t.Comment(), longComment);
}

TEST_F(TagsID3v2, TextEncodings) {
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(4, Frame(4, "TIT2", Utf8("\xc3\x9c" "ber")) + Frame(4, "TPE1", Latin("Caf\xe9"))))));
  EXPECT_EQ(t.Title(), "\xc3\x9c" "ber");
  EXPECT_EQ(t.Artist(), "Caf\xc3\xa9");  // ISO-8859-1
  // UTF-16 big endian (encoding 2) and a big-endian byte order mark.
  std::string be = std::string("\2", 1) + std::string("\0B\0E", 4);
  std::string bom = std::string("\1\xFE\xFF\0X\0Y", 7);
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(4, Frame(4, "TIT2", be) + Frame(4, "TPE1", bom)))));
  EXPECT_EQ(t.Title(), "BE");
  EXPECT_EQ(t.Artist(), "XY");
}

TEST_F(TagsID3v2, GenreTextRules) {
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(3, Frame(3, "TCON", Latin("(17)"))))));
  EXPECT_EQ(t.Genre(), "");
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(3, Frame(3, "TCON", Latin("Jazz"))))));
  EXPECT_EQ(t.Genre(), "Jazz");
}

TEST_F(TagsID3v2, SecondaryFramesAndRecordingTime) {
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(4, Frame(4, "TIT1", Utf8("Group")) + Frame(4, "TOPE", Utf8("Original")) +
                                              Frame(4, "TOAL", Utf8("OrigAlbum")) +
                                              Frame(4, "TDRC", Utf8("2004-05-06"))))));
  EXPECT_EQ(t.Title(), "Group");
  EXPECT_EQ(t.Artist(), "Original");
  EXPECT_EQ(t.Album(), "OrigAlbum");
  EXPECT_EQ(t.Year(), "2004");
}

TEST_F(TagsID3v2, LaterDuplicateReplacesEarlier) {
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(3, Frame(3, "TIT2", Latin("First")) + Frame(3, "TIT2", Latin("Second"))))));
  EXPECT_EQ(t.Title(), "Second");
}

TEST_F(TagsID3v2, Version22) {
  std::string frames = Frame(2, "TT2", Latin("Old Title")) + Frame(2, "TP1", Utf16("Old Artist")) +
                       Frame(2, "COM", std::string("\0eng\0", 5) + "c22") + Frame(2, "TRK", Latin("4"));
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(2, frames) + FakeAudio(10))));
  EXPECT_EQ(t.VersionID(), 2);
  EXPECT_EQ(t.Title(), "Old Title");
  EXPECT_EQ(t.Artist(), "Old Artist");
  EXPECT_EQ(t.Comment(), "c22");
  EXPECT_EQ(t.Track(), 4);
}

TEST_F(TagsID3v2, CommentsWithDescriptions) {
  // UTF-16 description and text: the terminator sits on a two-byte boundary.
  std::string body = std::string("\1eng", 4) + Utf16("d").substr(1) + std::string("\0\0", 2) + Utf16("Text").substr(1);
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(3, Frame(3, "COMM", body)))));
  EXPECT_EQ(t.Comment(), "Text");
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(3, Frame(3, "COMM", std::string("\0eng", 4) + "desc" + std::string(1, '\0') + "Caf\xe9")))));
  EXPECT_EQ(t.Comment(), "Caf\xc3\xa9");
}

TEST_F(TagsID3v2, FlagsAndHeaderVariants) {
  TID3v2 t;
  // Compressed 2.3 frame is ignored; the next frame is still read.
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(3, Frame(3, "TIT2", Latin("zip"), 0x80) + Frame(3, "TPE1", Latin("A"))))));
  EXPECT_EQ(t.Title(), "");
  EXPECT_EQ(t.Artist(), "A");
  // Extended header (2.3: size excludes itself).
  std::string ext = BE(6, 4) + std::string(6, '\0');
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(3, ext + Frame(3, "TIT2", Latin("ext")), 0, 0x40))));
  EXPECT_EQ(t.Title(), "ext");
  // Whole-tag unsynchronisation (2.3).
  std::string raw = Frame(3, "TIT2", Latin("a\xFF" "b"));
  std::string unsynced;
  for (char c : raw) {
    unsynced += c;
    if (c == '\xFF') unsynced += '\0';
  }
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(3, unsynced, 0, 0x80))));
  EXPECT_EQ(t.Title(), "a\xc3\xbf" "b");
  // Footer flag adds 10 bytes to the tag size.
  std::string footed = Tag(4, Frame(4, "TIT2", Utf8("F")), 0, 0x10) + "3DI" + std::string(7, '\0');
  ASSERT_TRUE(t.ReadFromFile(Write(footed + FakeAudio(20))));
  EXPECT_EQ(t.TagSize(), int64_t(footed.size()));
  // A tag claiming more than the file holds has size 0 and no frames.
  std::string cut = Tag(3, Frame(3, "TIT2", Latin("x")), 1000);
  ASSERT_TRUE(t.ReadFromFile(Write(cut.substr(0, 40))));
  EXPECT_TRUE(t.Exists());
  EXPECT_EQ(t.TagSize(), 0);
  EXPECT_EQ(t.Title(), "");
  // Unknown major version: tag seen, nothing decoded.
  std::string v5 = Tag(5, Frame(4, "TIT2", Utf8("x")));
  ASSERT_TRUE(t.ReadFromFile(Write(v5)));
  EXPECT_TRUE(t.Exists());
  EXPECT_EQ(t.Title(), "");
}

TEST_F(TagsID3v2, ReadFromBuffer) {
  std::string tag = Tag(3, Frame(3, "TIT2", Utf16("Stream Title")) + Frame(3, "TPE1", Latin("DJ")) +
                               Frame(3, "TRCK", Latin("7/9")) + Frame(3, "TCON", Latin("(13)Pop")) +
                               Frame(3, "TYER", Latin("2010")) + Frame(3, "COMM", std::string("\0eng\0hi", 7)),
                    10);
  TMP3TagInfo info;
  ASSERT_TRUE(TID3v2::ReadFromBuffer(tag.data(), tag.size(), info));
  EXPECT_EQ(info.Title, "Stream Title");
  EXPECT_EQ(info.Artist, "DJ");
  EXPECT_EQ(info.Track, 7);
  EXPECT_EQ(info.Genre, "Pop");
  EXPECT_EQ(info.Year, "2010");
  EXPECT_EQ(info.Comment, "hi");
  EXPECT_FALSE(TID3v2::ReadFromBuffer("XYZ12345678", 11, info));
  // Long frames are cut to 500 bytes in memory.
  std::string big = Tag(3, Frame(3, "TIT2", Latin(std::string(800, 'q'))));
  ASSERT_TRUE(TID3v2::ReadFromBuffer(big.data(), big.size(), info));
  EXPECT_EQ(info.Title, std::string(499, 'q'));
}

TEST_F(TagsID3v2, FileFramesAreCutTo5000Bytes) {
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(Write(Tag(3, Frame(3, "TIT2", Latin(std::string(8000, 'w'))) + Frame(3, "TPE1", Latin("ok"))))));
  EXPECT_EQ(t.Title(), std::string(4999, 'w'));
  EXPECT_EQ(t.Artist(), "ok");
}

class TagsID3v2Write : public TagsID3v2 {
 protected:
  void Fill(TID3v2& t) {
    t.SetTitle(" Title \xe2\x9c\x93 ");
    t.SetArtist("Artist");
    t.SetAlbum("Album");
    t.SetTrack(7);
    t.SetYear("2001");
    t.SetGenre("Rock");
    t.SetComment("A comment, with \xc3\xa9 and \xe6\x97\xa5");
    t.SetComposer("Composer");
    t.SetEncoder("Encoder");
    t.SetCopyright("Copyright");
    t.SetLink("http://example.org/a");
  }
  void ExpectFields(const TID3v2& r) {
    EXPECT_EQ(r.VersionID(), 3);
    EXPECT_EQ(r.Title(), "Title \xe2\x9c\x93");
    EXPECT_EQ(r.Artist(), "Artist");
    EXPECT_EQ(r.Album(), "Album");
    EXPECT_EQ(r.Track(), 7);
    EXPECT_EQ(r.TrackString(), "7");
    EXPECT_EQ(r.Year(), "2001");
    EXPECT_EQ(r.Genre(), "Rock");
    EXPECT_EQ(r.Comment(), "A comment, with \xc3\xa9 and \xe6\x97\xa5");
    EXPECT_EQ(r.Composer(), "Composer");
    EXPECT_EQ(r.Encoder(), "Encoder");
    EXPECT_EQ(r.Copyright(), "Copyright");
    EXPECT_EQ(r.Link(), "http://example.org/a");
  }
};

TEST_F(TagsID3v2Write, NewTagRebuildsFileWith4096ByteTag) {
  std::string audio = FakeAudio(20000, 3);
  std::string f = Write(audio);
  TID3v2 t;
  Fill(t);
  ASSERT_TRUE(t.SaveToFile(f));
  std::string bytes = ReadBytes(f);
  ASSERT_EQ(bytes.size(), audio.size() + 4096);
  EXPECT_EQ(bytes.substr(4096), audio);
  TID3v2 r;
  ASSERT_TRUE(r.ReadFromFile(f));
  EXPECT_EQ(r.TagSize(), 4096);
  ExpectFields(r);
  EXPECT_FALSE(FileExists(f + "~"));
}

TEST_F(TagsID3v2Write, FittingTagIsWrittenInPlace) {
  std::string audio = FakeAudio(20000, 4);
  std::string oldTag = Tag(3, Frame(3, "TIT2", Latin("Old")) + Frame(3, "APIC", std::string(50, 'p')), 1500);
  std::string f = Write(oldTag + audio);
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  Fill(t);
  ASSERT_TRUE(t.SaveToFile(f));
  std::string bytes = ReadBytes(f);
  ASSERT_EQ(bytes.size(), oldTag.size() + audio.size());
  EXPECT_EQ(bytes.substr(oldTag.size()), audio);
  TID3v2 r;
  ASSERT_TRUE(r.ReadFromFile(f));
  EXPECT_EQ(r.TagSize(), int64_t(oldTag.size()));
  ExpectFields(r);
}

TEST_F(TagsID3v2Write, TooSmallOrTooLargeOldTagIsRebuilt) {
  std::string audio = FakeAudio(9000, 5);
  for (size_t padding : {size_t(0), size_t(9000)}) {
    std::string oldTag = Tag(4, Frame(4, "TIT2", Utf8("Old")), padding);
    std::string f = Write(oldTag + audio);
    TID3v2 t;
    ASSERT_TRUE(t.ReadFromFile(f));
    Fill(t);
    ASSERT_TRUE(t.SaveToFile(f));
    std::string bytes = ReadBytes(f);
    ASSERT_EQ(bytes.size(), 4096 + audio.size());
    EXPECT_EQ(bytes.substr(4096), audio);
    TID3v2 r;
    ASSERT_TRUE(r.ReadFromFile(f));
    ExpectFields(r);
  }
}

TEST_F(TagsID3v2Write, FramesThatDoNotFitIn4096BytesGrowTheTag) {
  std::string audio = FakeAudio(3000, 6);
  std::string f = Write(audio);
  TID3v2 t;
  std::string longComment(3000, 'c');
  t.SetComment(longComment);
  ASSERT_TRUE(t.SaveToFile(f));
  TID3v2 r;
  ASSERT_TRUE(r.ReadFromFile(f));
  EXPECT_GT(r.TagSize(), 4096);
  EXPECT_EQ(r.Comment(), std::string(2496, 'c'));  // 5000-byte body limit: (5000 - 1 - 3 - 2 - 2) / 2 characters
  EXPECT_EQ(ReadBytes(f).substr(size_t(r.TagSize())), audio);
}

TEST_F(TagsID3v2Write, MissingFileFails) {
  TID3v2 t;
  t.SetTitle("x");
  EXPECT_FALSE(t.SaveToFile(dir.File("missing.mp3")));
  EXPECT_FALSE(FileExists(dir.File("missing.mp3")));
}

TEST_F(TagsID3v2Write, TrackZeroWritesNoTrackFrame) {
  std::string f = Write(FakeAudio(100));
  TID3v2 t;
  t.SetTrack(0);
  t.SetTitle("x");
  ASSERT_TRUE(t.SaveToFile(f));
  EXPECT_EQ(ReadBytes(f).find("TRCK"), std::string::npos);
}

// Saves made to fail at every step leave the original byte for byte (in place and rebuilt).
TEST_F(TagsID3v2Write, InterruptedSaveAtEachStepLeavesFileIntact) {
  std::string audio = FakeAudio(600000, 8);  // several copy chunks
  std::string inPlace = Tag(3, Frame(3, "TIT2", Latin("Old")), 2000) + audio;
  std::string rebuilt = Tag(3, Frame(3, "TIT2", Latin("Old")), 10) + audio;
  for (const std::string* original : {&inPlace, &rebuilt}) {
    int failures = 0;
    bool succeeded = false;
    for (int step = 1; step < 40 && !succeeded; ++step) {
      std::string f = dir.File("fault.mp3");
      WriteBytes(f, *original);
      TID3v2 t;
      Fill(t);
      testhooks::SetWriteFault(step);
      bool ok = t.SaveToFile(f);
      int taken = testhooks::WriteStepsTaken();
      testhooks::SetWriteFault(0);
      if (ok) {
        EXPECT_GT(step, taken);
        TID3v2 r;
        ASSERT_TRUE(r.ReadFromFile(f));
        ExpectFields(r);
        succeeded = true;
      } else {
        ++failures;
        EXPECT_EQ(ReadBytes(f), *original) << "step " << step;
      }
      // No temporary file is left behind.
      std::string leftovers = tagtest::Run("ls -A " + Quote(dir.Path()));
      EXPECT_EQ(leftovers, "fault.mp3\n") << "step " << step;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GE(failures, original == &inPlace ? 4 : 6);
  }
}

// The same hook every other writer of user data answers to: a rebuilt tag whose save is
// refused at each named step keeps the file as it was.
TEST_F(TagsID3v2Write, ASaveRefusedAtANamedStepOfTheSharedHookLeavesTheFileIntact) {
  const std::string original = Tag(3, Frame(3, "TIT2", Latin("Old")), 10) + FakeAudio(70000, 4);
  for (const char* step : {"open", "write", "sync", "rename"}) {
    std::string f = dir.File("named.mp3");
    WriteBytes(f, original);
    TID3v2 t;
    Fill(t);
    platform::IniFile::SetFaultHook([step](std::string_view s) { return s != step; });
    const bool ok = t.SaveToFile(f);
    platform::IniFile::SetFaultHook(nullptr);
    EXPECT_FALSE(ok) << step;
    EXPECT_EQ(ReadBytes(f), original) << step;
    EXPECT_EQ(tagtest::Run("ls -A " + Quote(dir.Path())), "named.mp3\n") << step;
  }
}

TEST_F(TagsID3v2Write, Utf8PathsWork) {
  std::string f = dir.File("Bj\xc3\xb6rk \xe2\x80\x93 \xe6\x97\xa5\xe6\x9c\xac.mp3");
  std::string audio = FakeAudio(5000, 9);
  WriteBytes(f, audio);
  TID3v2 t;
  t.SetTitle("Unicode path");
  ASSERT_TRUE(t.SaveToFile(f));
  TID3v2 r;
  ASSERT_TRUE(r.ReadFromFile(f));
  EXPECT_EQ(r.Title(), "Unicode path");
  EXPECT_EQ(ReadBytes(f).substr(size_t(r.TagSize())), audio);
}

// ID3v1 and Lyrics3 reading, writing and removal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestUtil.h"
#include "tags/GenreNames.h"
#include "tags/ID3v1.h"
#include "tags/SafeWrite.h"

using namespace tags;
using namespace tagtest;

namespace {

std::string Lyrics3Block(const std::string& fields) {
  std::string block = "LYRICSBEGIN" + fields;
  char size[7];
  std::snprintf(size, sizeof size, "%06zu", block.size());
  return block + size + "LYRICS200";
}

std::string Field(const std::string& id, const std::string& value) {
  char len[6];
  std::snprintf(len, sizeof len, "%05zu", value.size());
  return id + len + value;
}

}  // namespace

TEST(TagsGenreNames, HasTheWinampListWithItsSpellings) {
  EXPECT_EQ(GenreNames.size(), 148u);
  EXPECT_EQ(GenreNames[0], "Blues");
  EXPECT_EQ(GenreNames[1], "Classic Rock");
  EXPECT_EQ(GenreNames[2], "Country");
  EXPECT_EQ(GenreNames[79], "Hard Rock");
  EXPECT_EQ(GenreNames[67], "Psychadelic");
  EXPECT_EQ(GenreNames[85], "Bebob");
  EXPECT_EQ(GenreNames[123], "A capella");
  EXPECT_EQ(GenreNames[127], "Drum & Bass");
  EXPECT_EQ(GenreNames[128], "Club-House");
  EXPECT_EQ(GenreNames[136], "Christian Gangsta Rap");
  EXPECT_EQ(GenreNames[146], "JPop");
  EXPECT_EQ(GenreNames[147], "Synthpop");
  for (const auto& g : GenreNames) EXPECT_FALSE(g.empty());
}

TEST(TagsID3v1, ResetDataGivesDefaults) {
  TID3v1 t;
  t.SetTitle("x");
  t.SetGenreID(3);
  t.ResetData();
  EXPECT_FALSE(t.Exists());
  EXPECT_EQ(t.Version(), 1);
  EXPECT_EQ(t.Title(), "");
  EXPECT_EQ(t.GenreID(), 255);
  EXPECT_EQ(t.Track(), 0);
  EXPECT_FALSE(t.HasLyrics3());
  EXPECT_EQ(t.Lyrics3Size(), 0);
  EXPECT_EQ(t.TotalSize(), 0);
}

TEST(TagsID3v1, ReadsVersion10And11) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  WriteBytes(f, FakeAudio(1000) + MakeID3v1("Title  ", "Artist", "Album", "1999", "A comment", -1, 17));
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_TRUE(t.Exists());
  EXPECT_EQ(t.Version(), 1);
  EXPECT_EQ(t.Title(), "Title");
  EXPECT_EQ(t.Artist(), "Artist");
  EXPECT_EQ(t.Album(), "Album");
  EXPECT_EQ(t.Year(), "1999");
  EXPECT_EQ(t.Comment(), "A comment");
  EXPECT_EQ(t.Track(), 0);
  EXPECT_EQ(t.Genre(), "Rock");
  EXPECT_EQ(t.TotalSize(), 128);

  WriteBytes(f, FakeAudio(1000) + MakeID3v1("T", "A", "B", "2001", "C", 7, 0));
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_EQ(t.Version(), 2);
  EXPECT_EQ(t.Track(), 7);
  EXPECT_EQ(t.Genre(), "Blues");
}

TEST(TagsID3v1, SpaceAt29thCommentCharacterReadsAsVersion11) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string comment = std::string(28, 'c') + " Z";  // 30 characters
  WriteBytes(f, FakeAudio(500) + MakeID3v1("T", "", "", "", comment, -1, 1));
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_EQ(t.Version(), 2);
  EXPECT_EQ(t.Comment(), std::string(28, 'c'));
  EXPECT_EQ(t.Track(), 'Z');
}

TEST(TagsID3v1, NoTagAndShortFiles) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  WriteBytes(f, FakeAudio(4000));
  TID3v1 t;
  EXPECT_TRUE(t.ReadFromFile(f));
  EXPECT_FALSE(t.Exists());
  EXPECT_EQ(t.TotalSize(), 0);
  WriteBytes(f, "short");
  EXPECT_FALSE(t.ReadFromFile(f));
  EXPECT_FALSE(t.ReadFromFile(dir.File("missing.mp3")));
  // A file holding only the tag.
  WriteBytes(f, MakeID3v1("Only", "", "", "", "", 1, 2));
  EXPECT_TRUE(t.ReadFromFile(f));
  EXPECT_EQ(t.Title(), "Only");
}

TEST(TagsID3v1, GenreOutOfTable) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string tag = MakeID3v1("T", "", "", "", "", 1, 200);
  WriteBytes(f, FakeAudio(300) + tag);
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_EQ(t.GenreID(), 200);
  EXPECT_EQ(t.Genre(), "");
  TMP3TagInfo info;
  ASSERT_TRUE(TID3v1::ReadFromBuffer(tag.data(), tag.size(), info));
  EXPECT_EQ(info.Genre, "Unknown");
  EXPECT_EQ(info.Title, "T");
  EXPECT_EQ(info.Track, 1);
}

TEST(TagsID3v1, ReadFromBufferNeedsTagSignature) {
  std::string tag = MakeID3v1("T", "A", "L", "1990", "C", -1, 13);
  TMP3TagInfo info;
  ASSERT_TRUE(TID3v1::ReadFromBuffer(tag.data(), tag.size(), info));
  EXPECT_EQ(info.Artist, "A");
  EXPECT_EQ(info.Album, "L");
  EXPECT_EQ(info.Year, "1990");
  EXPECT_EQ(info.Comment, "C");
  EXPECT_EQ(info.Track, 0);
  EXPECT_EQ(info.Genre, "Pop");
  tag[0] = 'X';
  EXPECT_FALSE(TID3v1::ReadFromBuffer(tag.data(), tag.size(), info));
  EXPECT_FALSE(TID3v1::ReadFromBuffer(tag.data(), 100, info));
}

TEST(TagsID3v1, Latin1BytesBecomeUtf8) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  WriteBytes(f, FakeAudio(300) + MakeID3v1("Caf\xe9", "\xc3\xa9t\xc3\xa9", "", "", "", 1, 2));
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_EQ(t.Title(), "Caf\xc3\xa9");
  EXPECT_EQ(t.Artist(), "\xc3\xa9t\xc3\xa9");  // already UTF-8: kept
}

TEST(TagsID3v1Lyrics3, ReadsBlockBeforeTag) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string longTitle = "A title that is much longer than thirty characters";
  std::string block = Lyrics3Block(Field("IND", "10") + Field("ETT", longTitle) + Field("EAR", "Long Artist") +
                                   Field("AUT", " Writer ") + Field("LYR", "line one\rline two\r\nthree") +
                                   Field("IMG", " pic.jpg "));
  WriteBytes(f, FakeAudio(2000) + block + MakeID3v1(longTitle.substr(0, 30), "Short", "", "", "", 1, 1));
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_TRUE(t.HasLyrics3());
  EXPECT_EQ(t.Lyrics3Size(), int(block.size()) - 15);
  EXPECT_EQ(t.Title(), longTitle);
  EXPECT_EQ(t.LongTitle(), longTitle);
  EXPECT_EQ(t.Artist(), "Long Artist");
  EXPECT_EQ(t.Author(), "Writer");
  EXPECT_EQ(t.Lyrics(), "line one\r\nline two\r\nthree");
  EXPECT_EQ(t.Image(), " pic.jpg ");
  EXPECT_EQ(t.TotalSize(), int64_t(block.size()) + 128);
}

TEST(TagsID3v1Lyrics3, BlockWithoutTagIsFound15BytesFromTheEnd) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string block = Lyrics3Block(Field("IND", "10") + Field("LYR", "la la"));
  WriteBytes(f, FakeAudio(2000) + block);
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_FALSE(t.Exists());
  EXPECT_TRUE(t.HasLyrics3());
  EXPECT_EQ(t.Lyrics(), "la la");
  EXPECT_EQ(t.TotalSize(), int64_t(block.size()));
}

TEST(TagsID3v1Lyrics3, WrongStartIsNoBlock) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string block = Lyrics3Block(Field("LYR", "la la"));
  block.replace(0, 11, "LYRICSBEGIX");
  WriteBytes(f, FakeAudio(2000) + block + MakeID3v1("T", "", "", "", "", 1, 1));
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_FALSE(t.HasLyrics3());
  EXPECT_EQ(t.Lyrics3Size(), 0);
  EXPECT_EQ(t.Lyrics(), "");
  EXPECT_EQ(t.TotalSize(), 128);
}

TEST(TagsID3v1Lyrics3, SizeFieldOutsideTheFileIsNoBlock) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  WriteBytes(f, "999999LYRICS200" + MakeID3v1("T", "", "", "", "", 1, 1));
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(f));
  EXPECT_FALSE(t.HasLyrics3());
  EXPECT_TRUE(t.Exists());
}

class TagsID3v1Write : public ::testing::Test {
 protected:
  void SetUp() override {
    file = dir.File("song.mp3");
    audio = FakeAudio(5000, 7);
  }
  ScratchDir dir;
  std::string file;
  std::string audio;
};

TEST_F(TagsID3v1Write, SaveThenReadBack) {
  WriteBytes(file, audio);
  TID3v1 t;
  t.SetTitle("Title ");
  t.SetArtist("Artist");
  t.SetAlbum("Album");
  t.SetYear("20245 ");
  t.SetComment("Comment");
  t.SetTrack(5);
  t.SetGenreID(17);
  ASSERT_TRUE(t.SaveToFile(file));
  EXPECT_TRUE(t.Exists());
  std::string bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), audio.size() + 128);
  EXPECT_EQ(bytes.substr(0, audio.size()), audio);
  TID3v1 r;
  ASSERT_TRUE(r.ReadFromFile(file));
  EXPECT_EQ(r.Title(), "Title");
  EXPECT_EQ(r.Year(), "2024");
  EXPECT_EQ(r.Track(), 5);
  EXPECT_EQ(r.Version(), 2);
  EXPECT_EQ(r.GenreID(), 17);
  EXPECT_EQ(r.Comment(), "Comment");
}

TEST_F(TagsID3v1Write, TrackDecidesCommentLength) {
  WriteBytes(file, audio);
  std::string comment30 = "abcdefghijklmnopqrstuvwxyz0123";
  TID3v1 t;
  t.SetComment(comment30);
  t.SetTrack(0);
  ASSERT_TRUE(t.SaveToFile(file));
  std::string bytes = ReadBytes(file);
  EXPECT_EQ(bytes.substr(bytes.size() - 31, 30), comment30);
  t.SetTrack(5);
  ASSERT_TRUE(t.SaveToFile(file));
  bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), audio.size() + 128);
  EXPECT_EQ(bytes.substr(bytes.size() - 31, 28), comment30.substr(0, 28));
  EXPECT_EQ(bytes[bytes.size() - 3], '\0');
  EXPECT_EQ(bytes[bytes.size() - 2], '\5');
}

TEST_F(TagsID3v1Write, LongTitleSurvivesOnlyWithLyrics3Content) {
  std::string title40 = "0123456789012345678901234567890123456789";
  WriteBytes(file, audio);
  TID3v1 t;
  t.SetTitle(title40);
  EXPECT_EQ(t.LongTitle(), title40);
  ASSERT_TRUE(t.SaveToFile(file));
  EXPECT_FALSE(t.HasLyrics3());
  TID3v1 r;
  ASSERT_TRUE(r.ReadFromFile(file));
  EXPECT_EQ(r.Title(), title40.substr(0, 30));

  t.SetAuthor("Someone");
  ASSERT_TRUE(t.SaveToFile(file));
  EXPECT_TRUE(t.HasLyrics3());
  ASSERT_TRUE(r.ReadFromFile(file));
  EXPECT_TRUE(r.HasLyrics3());
  EXPECT_EQ(r.Title(), title40);
  EXPECT_EQ(r.Author(), "Someone");
  EXPECT_EQ(ReadBytes(file).substr(0, audio.size()), audio);
  EXPECT_EQ(int64_t(ReadBytes(file).size()), int64_t(audio.size()) + r.TotalSize());
}

TEST_F(TagsID3v1Write, LyricsRoundTripWithExactBlockLayout) {
  WriteBytes(file, audio);
  TID3v1 t;
  t.SetTitle("T");
  t.SetLyrics("one\r\ntwo");
  ASSERT_TRUE(t.SaveToFile(file));
  std::string bytes = ReadBytes(file);
  std::string expected = "LYRICSBEGININD0000210LYR00008one\r\ntwo";
  std::string tail = bytes.substr(audio.size());
  ASSERT_EQ(tail.size(), expected.size() + 15 + 128);
  EXPECT_EQ(tail.substr(0, expected.size()), expected);
  EXPECT_EQ(tail.substr(expected.size(), 15), "000037LYRICS200");
  TID3v1 r;
  ASSERT_TRUE(r.ReadFromFile(file));
  EXPECT_EQ(r.Lyrics(), "one\r\ntwo");
}

TEST_F(TagsID3v1Write, SaveReplacesOldTagAndBlock) {
  std::string block = Lyrics3Block(Field("IND", "10") + Field("LYR", "old lyrics"));
  WriteBytes(file, audio + block + MakeID3v1("Old", "", "", "", "", 1, 1));
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(file));
  t.SetLyrics("");
  t.SetTitle("New");
  ASSERT_TRUE(t.SaveToFile(file));
  std::string bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), audio.size() + 128);
  EXPECT_EQ(bytes.substr(0, audio.size()), audio);
  TID3v1 r;
  ASSERT_TRUE(r.ReadFromFile(file));
  EXPECT_EQ(r.Title(), "New");
  EXPECT_FALSE(r.HasLyrics3());
}

TEST_F(TagsID3v1Write, RemoveCutsTagAndBlock) {
  std::string block = Lyrics3Block(Field("IND", "10") + Field("LYR", "x"));
  WriteBytes(file, audio + block + MakeID3v1("Old", "", "", "", "", 1, 1));
  TID3v1 t;
  ASSERT_TRUE(t.RemoveFromFile(file));
  EXPECT_EQ(ReadBytes(file), audio);
  EXPECT_FALSE(t.Exists());
  ASSERT_TRUE(t.RemoveFromFile(file));  // nothing to remove
  EXPECT_EQ(ReadBytes(file), audio);
  EXPECT_FALSE(t.RemoveFromFile(dir.File("missing.mp3")));
}

TEST_F(TagsID3v1Write, NonLatinTextIsKeptAsUtf8) {
  WriteBytes(file, audio);
  TID3v1 t;
  t.SetTitle("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");  // Cyrillic
  t.SetArtist("Mot\xc3\xb6rhead");
  ASSERT_TRUE(t.SaveToFile(file));
  std::string bytes = ReadBytes(file);
  EXPECT_EQ(bytes.substr(audio.size() + 33, 9), "Mot\xf6rhead");  // ISO-8859-1 in the file
  TID3v1 r;
  ASSERT_TRUE(r.ReadFromFile(file));
  EXPECT_EQ(r.Title(), t.Title());
  EXPECT_EQ(r.Artist(), "Mot\xc3\xb6rhead");
}

TEST_F(TagsID3v1Write, ReadOnlyFileIsMadeWritableLikeClearingTheAttribute) {
  WriteBytes(file, audio);
  ::chmod(file.c_str(), 0444);
  TID3v1 t;
  t.SetTitle("RO");
  EXPECT_TRUE(t.SaveToFile(file));
  TID3v1 r;
  ASSERT_TRUE(r.ReadFromFile(file));
  EXPECT_EQ(r.Title(), "RO");
}

// A save or removal made to fail at each of its steps leaves the file byte for byte as it was.
TEST_F(TagsID3v1Write, InterruptedSaveAtEachStepLeavesFileIntact) {
  std::string block = Lyrics3Block(Field("IND", "10") + Field("LYR", "old lyrics text"));
  std::string original = audio + block + MakeID3v1("Old", "Artist", "", "", "", 1, 1);
  for (bool grow : {true, false}) {
    int failures = 0;
    for (int step = 1; step < 50; ++step) {
      WriteBytes(file, original);
      TID3v1 t;
      if (grow) {
        t.SetLyrics(std::string(3000, 'L'));
        t.SetTitle("A much longer title than thirty characters fits");
      } else {
        t.SetTitle("Short");
      }
      testhooks::SetWriteFault(step);
      bool ok = t.SaveToFile(file);
      int taken = testhooks::WriteStepsTaken();
      testhooks::SetWriteFault(0);
      if (ok) {
        EXPECT_GT(step, taken) << "a save reported success although step " << step << " failed";
        TID3v1 r;
        ASSERT_TRUE(r.ReadFromFile(file));
        EXPECT_EQ(r.Title(), t.Title());
        EXPECT_EQ(ReadBytes(file).substr(0, audio.size()), audio);
        break;
      }
      ++failures;
      EXPECT_EQ(ReadBytes(file), original) << "save interrupted at step " << step << " changed the file";
    }
    EXPECT_GE(failures, 3);
  }
  for (int step = 1; step < 10; ++step) {
    WriteBytes(file, original);
    TID3v1 t;
    testhooks::SetWriteFault(step);
    bool ok = t.RemoveFromFile(file);
    testhooks::SetWriteFault(0);
    if (ok) {
      EXPECT_EQ(ReadBytes(file), audio);
      break;
    }
    EXPECT_EQ(ReadBytes(file), original) << "removal interrupted at step " << step;
  }
}

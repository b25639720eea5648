// The tag window opened by the playlist's "File Info": what its Info page
// shows, that OK without edits changes no byte, that edits reach the file the
// window was opened for (read back by mutagen), that only MPEG audio files
// are written, and that failed writes leave the file whole and are reported.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <map>
#include <sstream>

#include "../tags/TestUtil.h"
#include "AppTestUtil.h"
#include "app/FormInfo.h"
#include "app/Main.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "playlist/Playlist.h"
#include "playlist/StreamInfoSource.h"
#include "playlist/ui/FormPL.h"
#include "tags/SafeWrite.h"

using apptest::Player;
using apptest::ProgramDir;
using tagtest::ReadBytes;

namespace {

std::string Tone(const std::string& name, const std::string& args) {
  return tagtest::CachedMedia(name, "ffmpeg -v error -y -f lavfi -i \"sine=f=440\" -t 2 " + args + " {out}");
}

std::map<std::string, std::string> MutagenRead(const std::string& file) {
  int status = 0;
  const std::string out = tagtest::RunPython(
      "from mutagen.id3 import ID3\n"
      "t = ID3(p)\n"
      "print('title=' + str(t.get('TIT2', '')))\n"
      "print('artist=' + str(t.get('TPE1', '')))\n"
      "print('genre=' + str(t.get('TCON', '')))\n",
      file, &status);
  EXPECT_EQ(status, 0) << out;
  std::map<std::string, std::string> kv;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line))
    if (auto eq = line.find('='); eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
  return kv;
}

// An MP3 tagged by mutagen with the texts a careless save would lose: an
// ID3v2 title of 60 characters, a genre of its own (or a numeric one); then
// an ID3v1 tag with genre 200 and a Lyrics3 v2 block with a long title.
std::string TaggedMp3(const std::string& path, const std::string& v2genre) {
  const std::string base = Tone("tagedit-base.mp3", "-ar 44100 -ac 2 -b:a 128k");
  tagtest::CopyFile(base, path);
  int status = 0;
  const std::string out = tagtest::RunPython(
      "from mutagen.id3 import ID3, TIT2, TPE1, TALB, TCON, TRCK\n"
      "t = ID3()\n"
      "t.add(TIT2(encoding=3, text='T' * 60))\n"
      "t.add(TPE1(encoding=3, text='An Artist'))\n"
      "t.add(TALB(encoding=3, text='An Album'))\n"
      "t.add(TCON(encoding=3, text='" + v2genre + "'))\n"
      "t.add(TRCK(encoding=3, text='3/12'))\n"
      "t.save(p, v1=0, v2_version=3)\n"
      "long_title = 'Lyrics3 title longer than thirty characters'\n"
      "lyrics = '[00:01]La la'\n"
      "f = 'IND' + '00002' + '10' + 'LYR' + '%05d' % len(lyrics) + lyrics + 'ETT' + '%05d' % len(long_title) + long_title\n"
      "block = 'LYRICSBEGIN' + f\n"
      "block = block + '%06d' % len(block) + 'LYRICS200'\n"
      "def pad(s, n): return s.encode('latin-1')[:n].ljust(n, b'\\0')\n"
      "v1 = b'TAG' + pad('Lyrics3 title longer than thir', 30) + pad('Artist1', 30) + pad('Album1', 30)"
      " + pad('1999', 4) + pad('Comment1', 28) + b'\\0' + bytes([7]) + bytes([200])\n"
      "open(p, 'ab').write(block.encode('latin-1') + v1)\n",
      path, &status);
  EXPECT_EQ(status, 0) << out;
  return path;
}

struct Rig {
  ProgramDir dir;
  platform::MessageRecorder messages;
  std::unique_ptr<Player> player;
  Rig() {
    dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\n");
    player = std::make_unique<Player>();
  }
  playlist::TPlaylist& list() { return *player->windows->Playlist; }
  playlist::TFormPL& pl() { return *player->windows->FormPL; }
  app::TFormInfo& info() { return *player->windows->FormInfo; }
  void Open(int row) {
    list().ClearSelection();
    list().SelectedIndex = row;
    list().SetSelected(row, true);
    pl().FileInfoClick();
  }
  void Ok() { info().ButtonOK()->click(); }
  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const auto& m : messages.Messages()) t.push_back(m.text);
    return t;
  }
};

}  // namespace

TEST(AppTagWindow, InfoPageOfGeneratedFiles) {
  Rig r;
  const std::string mp3 = Tone("tagedit-info.mp3", "-ar 44100 -ac 2 -b:a 128k");
  const std::string six = Tone("tagedit-six.flac", "-ar 48000 -ac 6");
  ASSERT_FALSE(mp3.empty());
  ASSERT_FALSE(six.empty());
  r.list().AddFile(mp3);
  r.list().AddFile(six);
  r.Open(0);
  ASSERT_TRUE(r.info().isVisible());
  EXPECT_EQ(r.info().windowTitle().toStdString(), "File Information");
  EXPECT_EQ(r.info().PageControl()->currentIndex(), 0);
  EXPECT_EQ(r.info().EditFile()->text().toStdString(), mp3);
  EXPECT_EQ(r.info().InfoValue("Quality")->text().toStdString(), "44 kHz, 128 kbps, Stereo");
  EXPECT_EQ(r.info().InfoValue("Format")->text().toStdString(), "MP3");
  EXPECT_EQ(r.info().InfoValue("Duration")->text().toStdString(), "00:02");
  // Opened again for another file while shown: the page follows.
  r.Open(1);
  const std::string q = r.info().InfoValue("Quality")->text().toStdString();
  EXPECT_EQ(q.substr(0, 8), "48 kHz, ");
  EXPECT_TRUE(q.ends_with(", 6 Channels")) << q;
  EXPECT_TRUE(r.info().InfoValue("Size")->text().toStdString().ends_with(" Kb"));
  // A file that cannot be read leaves nothing of the previous one.
  r.info().EditFile()->setText(QString::fromStdString(r.dir.File("gone.mp3")));
  r.info().FillInfo();
  for (const char* n : {"Title", "Format", "Duration", "Quality", "Size"})
    EXPECT_TRUE(r.info().InfoValue(n)->text().isEmpty()) << n;
  EXPECT_TRUE(r.Texts().empty());
}

TEST(AppTagWindow, InfoTexts) {
  engine::TStreamInfo si;
  si.SampleRate = 44100;
  si.BitRate = 320;
  si.Channels = 1;
  EXPECT_EQ(app::TFormInfo::QualityText(si), "44 kHz, 320 kbps, Mono");
  si.Channels = 0;
  EXPECT_EQ(app::TFormInfo::QualityText(si), "44 kHz, 320 kbps, ");
  EXPECT_EQ(app::TFormInfo::DurationText(75 * 60 * 1000), "1:15:00");  // hours shown from one hour up
  EXPECT_EQ(app::TFormInfo::DurationText(59 * 60 * 1000 + 59999), "59:59");
  EXPECT_EQ(app::TFormInfo::DurationText(61000), "01:01");
  EXPECT_EQ(app::TFormInfo::SizeText(2047), "1 Kb");
}

TEST(AppTagWindow, OkWithoutEditsLeavesEveryByte) {
  for (const char* genre : {"My Own Genre", "(17)"}) {
    Rig r;
    const std::string file = TaggedMp3(r.dir.File("tagged.mp3"), genre);
    const std::string before = ReadBytes(file);
    r.list().AddFile(file);
    r.Open(0);
    ASSERT_TRUE(r.info().isVisible());
    // What was read is shown: the long ID3v2 title whole, the long ID3v1 title cut to its field.
    EXPECT_EQ(r.info().Edit("EditTitle2")->text().toStdString(), std::string(60, 'T'));
    EXPECT_EQ(r.info().Edit("EditTitle")->text().size(), 30);
    EXPECT_EQ(r.info().ComboBoxGenre()->currentIndex(), -1);   // 200 is no name of the list
    EXPECT_EQ(r.info().ComboBoxGenre2()->currentIndex(), -1);  // nor is the own genre
    EXPECT_EQ(r.info().ComboBoxGenre()->count(), 148);
    r.Ok();
    EXPECT_FALSE(r.info().isVisible());
    EXPECT_TRUE(ReadBytes(file) == before) << genre;
    EXPECT_TRUE(r.Texts().empty());
  }
}

TEST(AppTagWindow, AnEditedTitleIsReadBackByMutagenAndTheRestIsKept) {
  Rig r;
  const std::string file = TaggedMp3(r.dir.File("edit.mp3"), "My Own Genre");
  r.list().AddFile(file);
  r.Open(0);
  r.info().Edit("EditTitle2")->setText("A New Title");
  r.Ok();
  auto kv = MutagenRead(file);
  EXPECT_EQ(kv["title"], "A New Title");
  EXPECT_EQ(kv["artist"], "An Artist");
  EXPECT_EQ(kv["genre"], "My Own Genre");
  // The ID3v1 tag and its Lyrics3 block were not touched.
  tags::TID3v1 v1;
  ASSERT_TRUE(v1.ReadFromFile(file));
  EXPECT_EQ(v1.Title(), "Lyrics3 title longer than thirty characters");
  EXPECT_EQ(v1.GenreID(), 200);
  // An ID3v1 edit keeps the long title's block and the genre above 147.
  engine::TStreamInfo si;
  ASSERT_TRUE(r.player->windows->InfoCache->GetStreamInfo(file, si));
  EXPECT_EQ(si.Artist, "Artist1");
  r.Open(0);
  r.info().Edit("EditArtist")->setText("Artist Two");
  r.Ok();
  // The playlist's cache reads the saved file again.
  ASSERT_TRUE(r.player->windows->InfoCache->GetStreamInfo(file, si));
  EXPECT_EQ(si.Artist, "Artist Two");
  ASSERT_TRUE(v1.ReadFromFile(file));
  EXPECT_EQ(v1.Artist(), "Artist Two");
  EXPECT_EQ(v1.Title(), "Lyrics3 title longer than thirty characters");
  EXPECT_EQ(v1.GenreID(), 200);
  EXPECT_TRUE(r.Texts().empty());
}

TEST(AppTagWindow, OnlyTheWindowsFileChangesWhateverTheListDoesMeanwhile) {
  Rig r;
  const std::string a = TaggedMp3(r.dir.File("b-first.mp3"), "Rock");
  const std::string b = TaggedMp3(r.dir.File("a-second.mp3"), "Rock");
  const std::string bBefore = ReadBytes(b);
  r.list().AddFile(a);
  r.list().AddFile(b);
  r.Open(0);
  ASSERT_EQ(r.info().EditFile()->text().toStdString(), a);
  // The window stays open while the list is sorted, another row selected, the window's row removed.
  r.list().Sort("path");
  r.list().ClearSelection();
  r.list().SelectedIndex = 0;
  r.list().SetSelected(0, true);
  r.list().SetSelected(1, true);
  r.list().ClearSelection();
  for (int i = 0; i < r.list().Count(); ++i)
    if (r.list().Entry(i).File == a) r.list().SetSelected(i, true);
  r.list().RemoveSelected();
  r.list().SelectedIndex = 0;
  r.info().Edit("EditTitle2")->setText("Changed");
  r.Ok();
  EXPECT_EQ(MutagenRead(a)["title"], "Changed");
  EXPECT_TRUE(ReadBytes(b) == bBefore);
}

TEST(AppTagWindow, FileInfoOnAVideoOrDvdEntryLeavesTheOpenWindowsEditsForItsFile) {
  Rig r;
  const std::string mp3 = TaggedMp3(r.dir.File("song.mp3"), "Rock");
  const std::string mkv = r.dir.File("clip.mkv"), vob = r.dir.File("disc.vob");
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=5 -t 1 '" + mkv + "'").c_str()), 0);
  tagtest::CopyFile(mkv, vob);
  const std::string mkvBefore = ReadBytes(mkv), vobBefore = ReadBytes(vob);
  r.list().AddFile(mp3);
  r.list().AddFile(mkv);
  r.list().AddFile(vob);
  r.Open(0);
  ASSERT_TRUE(r.info().isVisible());
  r.info().Edit("EditTitle2")->setText("Kept for the song");
  r.info().Edit("EditArtist")->setText("Artist of the song");
  // Still open, the user looks at the other entries' information.
  r.Open(1);
  EXPECT_EQ(r.player->modalShown.back(), "FormInfoVideo");
  r.Open(2);
  EXPECT_EQ(r.info().EditFile()->text().toStdString(), mp3);
  r.Ok();
  EXPECT_EQ(MutagenRead(mp3)["title"], "Kept for the song");
  tags::TID3v1 v1;
  ASSERT_TRUE(v1.ReadFromFile(mp3));
  EXPECT_EQ(v1.Artist(), "Artist of the song");
  EXPECT_TRUE(ReadBytes(mkv) == mkvBefore);
  EXPECT_TRUE(ReadBytes(vob) == vobBefore);
  EXPECT_TRUE(r.Texts().empty());
}

TEST(AppTagWindow, OtherFormatsAreShownAndNeverWritten) {
  Rig r;
  const std::string wav = r.dir.File("x.wav"), flac = r.dir.File("x.flac"), ogg = r.dir.File("x.ogg");
  tagtest::CopyFile(Tone("tagedit.wav", "-ar 44100 -ac 2"), wav);
  tagtest::CopyFile(Tone("tagedit.flac", "-ar 44100 -ac 2"), flac);
  tagtest::CopyFile(Tone("tagedit.ogg", "-ar 44100 -ac 2 -c:a libvorbis"), ogg);
  for (const std::string& f : {wav, flac, ogg}) {
    const std::string before = ReadBytes(f);
    ASSERT_FALSE(before.empty()) << f;
    r.list().RemoveAll();
    r.list().AddFile(f);
    r.Open(0);
    ASSERT_TRUE(r.info().isVisible()) << f;
    EXPECT_FALSE(r.info().InfoValue("Quality")->text().isEmpty()) << f;
    EXPECT_TRUE(r.info().Edit("EditTitle")->isReadOnly()) << f;
    EXPECT_FALSE(r.info().ComboBoxGenre2()->isEnabled()) << f;
    // Even texts set by a program do not reach the file.
    r.info().Edit("EditTitle")->setText("x");
    r.info().Edit("EditTitle2")->setText("y");
    r.Ok();
    EXPECT_TRUE(ReadBytes(f) == before) << f;
  }
  EXPECT_TRUE(r.Texts().empty());
}

TEST(AppTagWindow, AFailedWriteAtAnyStepLeavesTheFileAndIsReported) {
  Rig r;
  const std::string file = TaggedMp3(r.dir.File("fault.mp3"), "Rock");
  const std::string before = ReadBytes(file);
  r.list().AddFile(file);
  // Both tags edited: a fault while the ID3v2 tag is written takes the ID3v1 change back as well.
  // "both" rebuilds the whole file for the ID3v2 tag; "both in place" rewrites the tag where it is.
  for (const std::string which : {"ID3v1", "ID3v2", "both", "both in place"}) {
    int faults = 0, v2faults = 0;
    for (int step = 1; step < 64; ++step) {
      r.messages.Clear();
      r.Open(0);
      // Long enough that the ID3v2 tag no longer fits in place: the whole file is rebuilt.
      if (which != "ID3v2") r.info().Edit("EditTitle")->setText(QString(20, 'x'));
      if (which == "both in place") r.info().Edit("EditTitle2")->setText("Short");
      else if (which != "ID3v1") r.info().Edit("EditTitle2")->setText(QString(5000, 'x'));
      tags::testhooks::SetWriteFault(step);
      r.Ok();
      const int taken = tags::testhooks::WriteStepsTaken();
      tags::testhooks::SetWriteFault(0);
      if (taken < step) {  // the save finished before the fault: done
        EXPECT_TRUE(r.Texts().empty());
        break;
      }
      ++faults;
      std::string failed = which;
      if (which.starts_with("both")) {
        ASSERT_EQ(r.Texts().size(), 1u) << step;
        failed = r.Texts()[0].find("ID3v2") != std::string::npos ? "ID3v2" : "ID3v1";
        if (failed == "ID3v2") ++v2faults;
      }
      EXPECT_EQ(r.Texts(), std::vector<std::string>{"Can't write " + failed + " tags\n" + file}) << step;
      EXPECT_TRUE(ReadBytes(file) == before) << which << " step " << step;
    }
    EXPECT_GT(faults, 1) << which;
    if (which.starts_with("both")) {
      EXPECT_GT(v2faults, 1) << which;
    }
    tagtest::WriteBytes(file, before);
  }
}

TEST(AppTagWindow, ATrackOutsideTheTagsRangeIsRefusedAndNothingIsWritten) {
  Rig r;
  const std::string file = TaggedMp3(r.dir.File("track.mp3"), "Rock");
  const std::string before = ReadBytes(file);
  r.list().AddFile(file);
  r.Open(0);
  EXPECT_EQ(r.info().Edit("EditTrack")->text().toStdString(), "7");
  r.info().Edit("EditTrack")->setText("300");
  r.info().Edit("EditTitle2")->setText("Not written either");
  r.Ok();
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"'300' is not a valid integer value"});
  EXPECT_TRUE(r.info().isVisible());  // the user may correct it
  EXPECT_TRUE(ReadBytes(file) == before);
  r.messages.Clear();
  r.info().Edit("EditTrack")->setText("12");
  r.Ok();
  EXPECT_TRUE(r.Texts().empty());
  tags::TID3v1 v1;
  ASSERT_TRUE(v1.ReadFromFile(file));
  EXPECT_EQ(v1.Track(), 12);
  EXPECT_FALSE(r.info().isVisible());
}

TEST(AppTagWindow, CopyButtonsCarryTextsAndTheGenrePosition) {
  Rig r;
  const std::string file = TaggedMp3(r.dir.File("copy.mp3"), "Rock");
  r.list().AddFile(file);
  r.Open(0);
  app::TFormInfo& w = r.info();
  EXPECT_EQ(w.ComboBoxGenre2()->currentText().toStdString(), "Rock");
  w.findChild<QPushButton*>("ButtonCopyToID3v2")->click();
  EXPECT_EQ(w.Edit("EditArtist2")->text().toStdString(), "Artist1");
  EXPECT_EQ(w.ComboBoxGenre2()->currentIndex(), -1);  // no ID3v1 genre selected: none here either
  w.Edit("EditTitle2")->setText("From two");
  w.ComboBoxGenre2()->setCurrentIndex(5);
  w.findChild<QPushButton*>("ButtonCopyFromID3v2")->click();
  EXPECT_EQ(w.Edit("EditTitle")->text().toStdString(), "From two");
  EXPECT_EQ(w.ComboBoxGenre()->currentIndex(), 5);
}

TEST(AppTagWindow, SavingThePlayingFileKeepsItPlaying) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\n");
  const std::string file = dir.File("playing.mp3");
  tagtest::CopyFile(Tone("tagedit-long.mp3", "-t 20 -ar 44100 -ac 2 -b:a 128k"), file);
  platform::MessageRecorder messages;
  Player p({file});
  engine::TZOZUZivade* eng = p.form->Engine();
  ASSERT_NE(eng, nullptr);
  for (int i = 0; i < 250 && eng->Mode() != engine::plmPlaying; ++i) QTest::qWait(20);
  ASSERT_EQ(eng->Mode(), engine::plmPlaying);
  playlist::TPlaylist& list = *p.windows->Playlist;
  ASSERT_EQ(list.Count(), 1);
  list.SelectedIndex = 0;
  p.windows->FormPL->FileInfoClick();
  app::TFormInfo& info = *p.windows->FormInfo;
  // A title too long for the tag's room: the whole file is rebuilt and replaced.
  info.Edit("EditTitle2")->setText(QString(5000, 'p'));
  info.ButtonOK()->click();
  EXPECT_EQ(MutagenRead(file)["title"], std::string(5000, 'p'));
  const uint32_t pos = eng->GetPosition();
  QTest::qWait(400);
  EXPECT_EQ(eng->Mode(), engine::plmPlaying);
  EXPECT_GT(eng->GetPosition(), pos);
  for (const auto& m : messages.Messages()) ADD_FAILURE() << m.text;
}

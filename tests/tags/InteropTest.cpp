// Interoperability with an independent implementation (python3-mutagen):
// tags mutagen writes read back through our readers with the same texts, and
// tags our writers produce read back by mutagen, with the audio unchanged.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "TestUtil.h"
#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/MPEGaudio.h"

using namespace tags;
using namespace tagtest;

namespace {

// Texts with characters outside ASCII and outside Latin-1.
const std::string kTitle = "Caf\xc3\xa9 \xe2\x9c\x93 \xe6\x97\xa5\xe6\x9c\xac";  // "Café ✓ 日本"
const std::string kArtist = "Bj\xc3\xb6rk & \xd0\x9f\xd1\x91\xd1\x82\xd1\x80";   // "Björk & Пётр"
const std::string kAlbum = "Album \xc3\x85";
const std::string kComment = "Comment \xc3\xa8 " + std::string(150, 'x');  // over 127 bytes: a 2.4 frame size needs two sync-safe bytes

// Python literals of the texts above.
const char* kPyTexts =
    "title = 'Caf\\u00e9 \\u2713 \\u65e5\\u672c'\n"
    "artist = 'Bj\\u00f6rk & \\u041f\\u0451\\u0442\\u0440'\n"
    "album = 'Album \\u00c5'\n"
    "comment = 'Comment \\u00e8 ' + 'x' * 150\n";

std::map<std::string, std::string> ParseLines(const std::string& out) {
  std::map<std::string, std::string> kv;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return kv;
}

class TagsInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string src = CachedMedia("interop-src.wav", "ffmpeg -v error -y -f lavfi -i \"sine=f=330\" -t 2 -ar 44100 -ac 2 {out}");
    base = CachedMedia("interop-base.mp3", "lame --quiet -b 128 " + src + " {out}");
    ASSERT_FALSE(base.empty());
    audio = ReadBytes(base);
    file = dir.File("song.mp3");
    CopyFile(base, file);
  }
  void Mutagen(const std::string& script) {
    int status = 0;
    std::string out = RunPython(kPyTexts + script, file, &status);
    ASSERT_EQ(status, 0) << out;
  }
  std::map<std::string, std::string> MutagenRead(const std::string& script) {
    int status = 0;
    std::string out = RunPython(script, file, &status);
    EXPECT_EQ(status, 0) << out;
    return ParseLines(out);
  }
  ScratchDir dir;
  std::string base, audio, file;
};

}  // namespace

TEST_F(TagsInterop, MutagenID3v23Utf16ReadByUs) {
  Mutagen(
      "from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TYER, TCON, COMM, TCOM, USLT, WXXX, TDRC, TENC, TXXX\n"
      "t = ID3()\n"
      "t.add(TIT2(encoding=1, text=title))\n"
      "t.add(TPE1(encoding=1, text=artist))\n"
      "t.add(TALB(encoding=1, text=album))\n"
      "t.add(TRCK(encoding=1, text='4/12'))\n"
      "t.add(TYER(encoding=1, text='1998'))\n"
      "t.add(TCON(encoding=1, text='Trip-Hop'))\n"
      "t.add(COMM(encoding=1, lang='eng', desc='', text=comment))\n"
      "t.add(TCOM(encoding=1, text='Comp \\u00f8'))\n"
      "t.add(USLT(encoding=1, lang='eng', desc='d', text='Line one'))\n"
      "t.add(WXXX(encoding=1, desc='site', url='http://example.org/x'))\n"
      "t.save(p, v2_version=3)\n");
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(file));
  ASSERT_TRUE(t.Exists());
  EXPECT_EQ(t.VersionID(), 3);
  EXPECT_EQ(t.Title(), kTitle);
  EXPECT_EQ(t.Artist(), kArtist);
  EXPECT_EQ(t.Album(), kAlbum);
  EXPECT_EQ(t.Track(), 4);
  EXPECT_EQ(t.TrackString(), "4/12");
  EXPECT_EQ(t.Year(), "1998");
  EXPECT_EQ(t.Genre(), "Trip-Hop");
  EXPECT_EQ(t.Comment(), kComment);
  EXPECT_EQ(t.Composer(), "Comp \xc3\xb8");
  EXPECT_EQ(t.Lyrics(), "Line one");
  EXPECT_EQ(t.Link(), "http://example.org/x");
  // The stream reader finds the audio right after mutagen's tag.
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(file));
  EXPECT_TRUE(m.Valid());
  EXPECT_EQ(m.AudioStart(), t.TagSize());
}

TEST_F(TagsInterop, MutagenID3v24Utf8AndUtf16ReadByUs) {
  for (int encoding : {3, 1}) {
    CopyFile(base, file);
    std::string e = std::to_string(encoding);
    Mutagen(
        "from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TYER, TCON, COMM, TCOM, USLT, WXXX, TDRC, TENC, TXXX\n"
        "t = ID3()\n"
        "t.add(TIT2(encoding=" + e + ", text=title))\n"
        "t.add(TPE1(encoding=" + e + ", text=artist))\n"
        "t.add(TALB(encoding=" + e + ", text=album))\n"
        "t.add(TRCK(encoding=" + e + ", text='9'))\n"
        "t.add(TDRC(encoding=" + e + ", text='2004-05-06'))\n"
        "t.add(TCON(encoding=" + e + ", text='(17)Rock'))\n"
        "t.add(COMM(encoding=" + e + ", lang='eng', desc='', text=comment))\n"
        "t.add(TENC(encoding=" + e + ", text='Enc \\u00e9'))\n"
        "t.save(p, v2_version=4)\n");
    TID3v2 t;
    ASSERT_TRUE(t.ReadFromFile(file));
    EXPECT_EQ(t.VersionID(), 4);
    EXPECT_EQ(t.Title(), kTitle) << encoding;
    EXPECT_EQ(t.Artist(), kArtist) << encoding;
    EXPECT_EQ(t.Album(), kAlbum) << encoding;
    EXPECT_EQ(t.Track(), 9) << encoding;
    EXPECT_EQ(t.Year(), "2004") << encoding;
    EXPECT_EQ(t.Genre(), "Rock") << encoding;
    EXPECT_EQ(t.Comment(), kComment) << encoding;
    EXPECT_EQ(t.Encoder(), "Enc \xc3\xa9") << encoding;
  }
}

TEST_F(TagsInterop, MutagenLatin1FramesReadByUs) {
  Mutagen(
      "from mutagen.id3 import ID3, TIT2, TPE1\n"
      "t = ID3()\n"
      "t.add(TIT2(encoding=1, text=title))\n"
      "t.add(TPE1(encoding=0, text='Latin \\u00e9'))\n"
      "t.save(p, v2_version=3)\n");
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(file));
  EXPECT_EQ(t.Title(), kTitle);
  EXPECT_EQ(t.Artist(), "Latin \xc3\xa9");
}

TEST_F(TagsInterop, MutagenID3v11ReadByUs) {
  Mutagen(
      "from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TYER, TCON, COMM, TCOM, USLT, WXXX, TDRC, TENC, TXXX\n"
      "t = ID3()\n"
      "t.add(TIT2(encoding=0, text='Caf\\u00e9 v1 title'))\n"
      "t.add(TPE1(encoding=0, text='Artist one'))\n"
      "t.add(TALB(encoding=0, text='Album one'))\n"
      "t.add(TDRC(encoding=0, text='1987'))\n"
      "t.add(TRCK(encoding=0, text='7'))\n"
      "t.add(TCON(encoding=0, text='Rock'))\n"
      "t.save(p, v1=2, v2_version=3)\n");
  TID3v1 t;
  ASSERT_TRUE(t.ReadFromFile(file));
  ASSERT_TRUE(t.Exists());
  EXPECT_EQ(t.Version(), 2);
  EXPECT_EQ(t.Title(), "Caf\xc3\xa9 v1 title");
  EXPECT_EQ(t.Artist(), "Artist one");
  EXPECT_EQ(t.Album(), "Album one");
  EXPECT_EQ(t.Year(), "1987");
  EXPECT_EQ(t.Comment(), "");  // mutagen's ID3v1 writer leaves the comment out
  EXPECT_EQ(t.Track(), 7);
  EXPECT_EQ(t.GenreID(), 17);
  EXPECT_EQ(t.Genre(), "Rock");
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(file));
  EXPECT_TRUE(m.ID3v1().Exists());
  EXPECT_TRUE(m.ID3v2().Exists());
  EXPECT_EQ(m.AudioEnd(), int64_t(ReadBytes(file).size()) - 128);
}

TEST_F(TagsInterop, MutagenAPEv2ReadByUs) {
  for (bool withV1 : {false, true}) {
    CopyFile(base, file);
    if (withV1) {
      Mutagen("from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TYER, TCON, COMM, TCOM, USLT, WXXX, TDRC, TENC, TXXX\nt = ID3()\nt.add(TIT2(encoding=0, text='v1'))\nt.save(p, v1=2)\n");
    }
    Mutagen(
        "from mutagen.apev2 import APEv2\n"
        "a = APEv2()\n"
        "a['Title'] = title\n"
        "a['Artist'] = artist\n"
        "a['Album'] = album\n"
        "a['Comment'] = comment\n"
        "a['Track'] = '3'\n"
        "a.save(p)\n");
    TAPETag a;
    ASSERT_TRUE(a.ReadFromFile(file));
    ASSERT_TRUE(a.Exists());
    EXPECT_EQ(a.Version(), 2000);
    EXPECT_EQ(a.Value("Title"), kTitle);
    EXPECT_EQ(a.Value("Artist"), kArtist);
    EXPECT_EQ(a.Value("Album"), kAlbum);
    EXPECT_EQ(a.Value("Comment"), kComment);
    EXPECT_EQ(a.Value("Track"), "3");
  }
}

TEST_F(TagsInterop, OurID3v2ReadByMutagenWithAudioUnchanged) {
  // A file without a tag (rebuilt with a new tag) and one with a roomy mutagen tag (written in place).
  for (bool inPlace : {false, true}) {
    CopyFile(base, file);
    if (inPlace) {
      Mutagen("from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TYER, TCON, COMM, TCOM, USLT, WXXX, TDRC, TENC, TXXX\nt = ID3()\nt.add(TIT2(encoding=3, text='old'))\nt.add(TXXX(encoding=3, desc='pad', text='p' * 1500))\nt.save(p, v2_version=3, padding=lambda info: 1000)\n");
    }
    TID3v2 old;
    ASSERT_TRUE(old.ReadFromFile(file));
    const int64_t oldSize = old.TagSize();
    TID3v2 t;
    t.SetTitle(kTitle);
    t.SetArtist(kArtist);
    t.SetAlbum(kAlbum);
    t.SetTrack(11);
    t.SetYear("2020");
    t.SetGenre("Synthpop");
    t.SetComment(kComment);
    t.SetComposer("Comp");
    t.SetEncoder("Enc");
    t.SetCopyright("(c) me");
    t.SetLink("http://example.org/y");
    ASSERT_TRUE(t.SaveToFile(file));
    if (inPlace) {
      EXPECT_EQ(t.TagSize(), oldSize);
    }
    auto kv = MutagenRead(
        "from mutagen.id3 import ID3\n"
        "t = ID3(p, translate=False)\n"
        "print('version=%d' % t.version[1])\n"
        "print('size=%d' % t.size)\n"
        "for k in ['TIT2','TPE1','TALB','TRCK','TYER','TCON','TCOM','TENC','TCOP']:\n"
        "    print('%s=%s' % (k, t[k].text[0]))\n"
        "c = t.getall('COMM')[0]\n"
        "print('COMM=%s' % c.text[0])\n"
        "print('COMMdesc=%s' % c.desc)\n"
        "print('COMMlang=%s' % c.lang)\n"
        "print('WXXX=%s' % t.getall('WXXX')[0].url)\n");
    EXPECT_EQ(kv["version"], "3");
    EXPECT_EQ(kv["TIT2"], kTitle);
    EXPECT_EQ(kv["TPE1"], kArtist);
    EXPECT_EQ(kv["TALB"], kAlbum);
    EXPECT_EQ(kv["TRCK"], "11");
    EXPECT_EQ(kv["TYER"], "2020");
    EXPECT_EQ(kv["TCON"], "Synthpop");
    EXPECT_EQ(kv["TCOM"], "Comp");
    EXPECT_EQ(kv["TENC"], "Enc");
    EXPECT_EQ(kv["TCOP"], "(c) me");
    EXPECT_EQ(kv["COMM"], kComment);
    EXPECT_EQ(kv["COMMdesc"], "");
    EXPECT_EQ(kv["COMMlang"], "eng");
    EXPECT_EQ(kv["WXXX"], "http://example.org/y");
    // Audio bytes unchanged: everything after the tag equals the original file after its tag.
    std::string bytes = ReadBytes(file);
    ASSERT_GE(int64_t(bytes.size()), t.TagSize());
    EXPECT_EQ(std::stoll(kv["size"]), t.TagSize());
    EXPECT_TRUE(bytes.compare(size_t(t.TagSize()), std::string::npos, audio) == 0) << "audio changed";
  }
}

TEST_F(TagsInterop, OurID3v1ReadByMutagenWithAudioUnchanged) {
  TID3v1 t;
  t.SetTitle("Caf\xc3\xa9 title");
  t.SetArtist("Artist");
  t.SetAlbum("Album");
  t.SetYear("1999");
  t.SetComment("Comment");
  t.SetTrack(5);
  t.SetGenreID(17);
  ASSERT_TRUE(t.SaveToFile(file));
  auto kv = MutagenRead(
      "from mutagen.id3 import ID3\n"
      "t = ID3(p)\n"
      "for k in ['TIT2','TPE1','TALB','TDRC','TRCK','TCON']:\n"
      "    print('%s=%s' % (k, t[k].text[0]))\n"
      "print('COMM=%s' % t.getall('COMM')[0].text[0])\n");
  EXPECT_EQ(kv["TIT2"], "Caf\xc3\xa9 title");
  EXPECT_EQ(kv["TPE1"], "Artist");
  EXPECT_EQ(kv["TALB"], "Album");
  EXPECT_EQ(kv["TDRC"], "1999");
  EXPECT_EQ(kv["TRCK"], "5");
  EXPECT_EQ(kv["TCON"], "Rock");
  EXPECT_EQ(kv["COMM"], "Comment");
  std::string bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), audio.size() + 128);
  EXPECT_TRUE(bytes.compare(0, audio.size(), audio) == 0) << "audio changed";

  // Removal gives back the original bytes.
  ASSERT_TRUE(t.RemoveFromFile(file));
  EXPECT_EQ(ReadBytes(file), audio);
}

// Frames that no field stands for (pictures, user texts, private data,
// ratings, sort names) survive a save, from 2.3 and from 2.4 (UTF-8) tags.
TEST_F(TagsInterop, SaveKeepsFramesItDoesNotManage) {
  for (int version : {3, 4}) {
    CopyFile(base, file);
    std::string v = std::to_string(version);
    Mutagen(
        "from mutagen.id3 import ID3, TIT2, APIC, TXXX, PRIV, POPM, TSOP, COMM\n"
        "t = ID3()\n"
        "t.add(TIT2(encoding=3, text='old title'))\n"
        "t.add(APIC(encoding=3, mime='image/png', type=3, desc='Cover \\u00e9', data=bytes(range(256)) * 40))\n"
        "t.add(TXXX(encoding=3, desc='MOOD', text=['calm \\u2713']))\n"
        "t.add(PRIV(owner='org.example', data=b'\\x00\\xff\\x01'))\n"
        "t.add(POPM(email='a@b.c', rating=196, count=3))\n"
        "t.add(TSOP(encoding=3, text=['Sort, Artist']))\n"
        "t.save(p, v2_version=" + v + ")\n");
    TID3v2 t;
    ASSERT_TRUE(t.ReadFromFile(file));
    t.SetTitle(kTitle);
    t.SetComment("new comment");
    ASSERT_TRUE(t.SaveToFile(file));
    auto kv = MutagenRead(
        "from mutagen.id3 import ID3\n"
        "t = ID3(p, translate=False)\n"
        "print('version=%d' % t.version[1])\n"
        "print('TIT2=%s' % t['TIT2'].text[0])\n"
        "print('COMM=%s' % t.getall('COMM')[0].text[0])\n"
        "a = t.getall('APIC')[0]\n"
        "print('APICok=%d' % (a.data == bytes(range(256)) * 40))\n"
        "print('APICdesc=%s' % a.desc)\n"
        "print('APICmime=%s' % a.mime)\n"
        "print('APICtype=%d' % a.type)\n"
        "x = t.getall('TXXX')[0]\n"
        "print('TXXX=%s:%s' % (x.desc, x.text[0]))\n"
        "pr = t.getall('PRIV')[0]\n"
        "print('PRIV=%s:%s' % (pr.owner, pr.data.hex()))\n"
        "po = t.getall('POPM')[0]\n"
        "print('POPM=%s:%d:%d' % (po.email, po.rating, po.count))\n"
        "print('TSOP=%s' % t['TSOP'].text[0])\n");
    EXPECT_EQ(kv["version"], "3") << version;
    EXPECT_EQ(kv["TIT2"], kTitle) << version;
    EXPECT_EQ(kv["COMM"], "new comment") << version;
    EXPECT_EQ(kv["APICok"], "1") << version;
    EXPECT_EQ(kv["APICdesc"], "Cover \xc3\xa9") << version;
    EXPECT_EQ(kv["APICmime"], "image/png") << version;
    EXPECT_EQ(kv["APICtype"], "3") << version;
    EXPECT_EQ(kv["TXXX"], "MOOD:calm \xe2\x9c\x93") << version;
    EXPECT_EQ(kv["PRIV"], "org.example:00ff01") << version;
    EXPECT_EQ(kv["POPM"], "a@b.c:196:3") << version;
    EXPECT_EQ(kv["TSOP"], "Sort, Artist") << version;
    std::string bytes = ReadBytes(file);
    EXPECT_TRUE(bytes.compare(size_t(t.TagSize()), std::string::npos, audio) == 0) << "audio changed";
  }
}

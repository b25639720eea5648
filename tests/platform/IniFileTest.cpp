#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TempDir.h"

using namespace platform;

TEST(IniRead, NamesAreCaseInsensitiveAndValuesTrimmed) {
  TempDir dir;
  dir.Write("a.ini", "; comment\r\n[Options]\r\nLanguage = Russian \r\nvolume=200\r\n[Other]\r\nvolume=5\r\n");
  IniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadString("options", "LANGUAGE", "English"), "Russian");
  EXPECT_EQ(ini.ReadInteger("OPTIONS", "Volume", 255), 200);
  EXPECT_EQ(ini.ReadInteger("other", "volume", 0), 5);
  EXPECT_EQ(ini.ReadString("Options", "missing", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("NoSection", "volume", "x"), "x");
}

TEST(IniRead, OnePairOfEnclosingQuotesIsStripped) {
  TempDir dir;
  dir.Write("l.ini",
            "[Interface]\nA=\"Play\"\nB='Stop'\nC=\"\"Twice\"\"\nD=\"Open\nE=\"Mixed'\nF=\"\"\nG=\"In \"the\" middle\"\n");
  IniFile ini(dir.File("l.ini"));
  EXPECT_EQ(ini.ReadString("Interface", "A", ""), "Play");
  EXPECT_EQ(ini.ReadString("Interface", "B", ""), "Stop");
  EXPECT_EQ(ini.ReadString("Interface", "C", ""), "\"Twice\"");
  EXPECT_EQ(ini.ReadString("Interface", "D", ""), "\"Open");
  EXPECT_EQ(ini.ReadString("Interface", "E", ""), "\"Mixed'");
  EXPECT_EQ(ini.ReadString("Interface", "F", "x"), "");
  EXPECT_EQ(ini.ReadString("Interface", "G", ""), "In \"the\" middle");
}

TEST(IniRead, ValuesAreCutAt2047Characters) {
  TempDir dir;
  std::string longAscii(3000, 'a');
  std::string longCyrillic;
  for (int i = 0; i < 2100; ++i) longCyrillic += "\xD0\x96";  // two bytes per character
  dir.Write("c.ini", "[S]\nA=" + longAscii + "\nB=" + longCyrillic + "\n");
  IniFile ini(dir.File("c.ini"));
  EXPECT_EQ(ini.ReadString("S", "A", "").size(), 2047u);
  std::string b = ini.ReadString("S", "B", "");
  EXPECT_EQ(b.size(), 2047u * 2);  // cut between characters, never inside one
  EXPECT_EQ(ini.ReadString("S", "missing", longAscii).size(), 2047u);
}

TEST(IniRead, MissingFileGivesDefaults) {
  TempDir dir;
  IniFile ini(dir.File("none.ini"));
  EXPECT_EQ(ini.ReadString("Options", "Skins", "default"), "default");
  EXPECT_EQ(ini.ReadInteger("Options", "pan", 100), 100);
  EXPECT_TRUE(ini.ReadBool("Options", "firstRun", true));
  EXPECT_EQ(GetPrivateProfileInt("Options", "pan", 100, dir.File("none.ini")), 100);
}

TEST(IniRead, IntegersFallBackToTheDefaultForNonNumericText) {
  TempDir dir;
  dir.Write("i.ini", "[O]\na=12abc\nb=\nc=-15\nd=  42  \ne=$1F\nf=0x10\ng=99999999999\nh=abc\ni=\"7\"\nj=1\nk=0\nl=-\n");
  IniFile ini(dir.File("i.ini"));
  EXPECT_EQ(ini.ReadInteger("O", "a", 7), 7);
  EXPECT_EQ(ini.ReadInteger("O", "b", 7), 7);
  EXPECT_EQ(ini.ReadInteger("O", "c", 7), -15);
  EXPECT_EQ(ini.ReadInteger("O", "d", 7), 42);
  EXPECT_EQ(ini.ReadInteger("O", "e", 7), 31);
  EXPECT_EQ(ini.ReadInteger("O", "f", 7), 16);
  EXPECT_EQ(ini.ReadInteger("O", "g", 7), 7);
  EXPECT_EQ(ini.ReadInteger("O", "h", 7), 7);
  EXPECT_EQ(ini.ReadInteger("O", "i", 0), 7);
  EXPECT_TRUE(ini.ReadBool("O", "j", false));
  EXPECT_FALSE(ini.ReadBool("O", "k", true));
  EXPECT_EQ(ini.ReadInteger("O", "l", 3), 3);
}

TEST(IniWrite, KeepsEveryOtherSectionKeyCommentAndLineEnd) {
  TempDir dir;
  const std::string original =
      "; settings of the player\r\n[Options]\r\nLanguage=English\r\n; keep me\r\nvolume=255\r\n\r\n[Plugins]\r\n"
      "dsp=dsp_x.so\r\n";
  dir.Write("s.ini", original);
  IniFile ini(dir.File("s.ini"));
  ini.WriteString("OPTIONS", "language", "Kazakh");
  ini.WriteInteger("Options", "pan", -20);
  ini.WriteString("New", "Key", "v");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(dir.Read("s.ini"),
            "; settings of the player\r\n[Options]\r\nLanguage=Kazakh\r\n; keep me\r\nvolume=255\r\npan=-20\r\n\r\n"
            "[Plugins]\r\ndsp=dsp_x.so\r\n[New]\r\nKey=v\r\n");
  IniFile again(dir.File("s.ini"));
  EXPECT_EQ(again.ReadString("Options", "Language", ""), "Kazakh");
  EXPECT_EQ(again.ReadInteger("Options", "pan", 0), -20);
  EXPECT_EQ(again.ReadString("plugins", "DSP", ""), "dsp_x.so");
}

TEST(IniWrite, UnixLineEndsStayUnixAndNewFilesUseCrLf) {
  TempDir dir;
  dir.Write("u.ini", "[A]\nx=1\n");
  ASSERT_TRUE(WritePrivateProfileString("A", "y", "2", dir.File("u.ini")));
  EXPECT_EQ(dir.Read("u.ini"), "[A]\nx=1\ny=2\n");
  ASSERT_TRUE(WritePrivateProfileString("Options", "firstRun", "0", dir.File("new.ini")));
  EXPECT_EQ(dir.Read("new.ini"), "[Options]\r\nfirstRun=0\r\n");
  EXPECT_EQ(GetPrivateProfileString("options", "FIRSTRUN", "1", dir.File("new.ini")), "0");
}

TEST(IniWrite, DeleteKeyRemovesOnlyThatKey) {
  TempDir dir;
  dir.Write("d.ini", "[A]\nx=1\ny=2\n");
  IniFile ini(dir.File("d.ini"));
  ini.DeleteKey("a", "X");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(dir.Read("d.ini"), "[A]\ny=2\n");
  EXPECT_EQ(ini.Keys("A"), std::vector<std::string>{"y"});
}

TEST(IniWrite, AnInterruptedWriteLeavesTheOldFile) {
  TempDir dir;
  const std::string original = "[Options]\r\nvolume=255\r\n";
  for (const char* failing : {"open", "write", "sync", "rename"}) {
    dir.Write("o.ini", original);
    IniFile ini(dir.File("o.ini"));
    ini.WriteInteger("Options", "volume", 10);
    IniFile::SetFaultHook([&](std::string_view step) { return step != failing; });
    std::string error;
    EXPECT_FALSE(ini.Save(&error)) << failing;
    IniFile::SetFaultHook({});
    EXPECT_EQ(error, "Unable to write to " + dir.File("o.ini"));
    EXPECT_EQ(dir.Read("o.ini"), original) << failing;
    // No temporary file is left behind.
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
      (void)e;
      ++files;
    }
    EXPECT_EQ(files, 1u) << failing;
  }
}

TEST(IniWrite, AnUnwritableFolderReportsThePath) {
  if (::geteuid() == 0) {
    // root ignores folder permissions; a path under a regular file cannot be created by anyone.
    TempDir dir;
    dir.Write("file", "x");
    IniFile ini(dir.File("file") + "/OrvellaPlayer.ini");
    ini.WriteString("Options", "Language", "English");
    std::string error;
    EXPECT_FALSE(ini.Save(&error));
    EXPECT_EQ(error, "Unable to write to " + dir.File("file") + "/OrvellaPlayer.ini");
    return;
  }
  TempDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\nvolume=1\n");
  ::chmod(dir.Path().c_str(), 0500);
  IniFile ini(dir.File("OrvellaPlayer.ini"));
  ini.WriteInteger("Options", "volume", 2);
  std::string error;
  EXPECT_FALSE(ini.Save(&error));
  EXPECT_EQ(error, "Unable to write to " + dir.File("OrvellaPlayer.ini"));
  ::chmod(dir.Path().c_str(), 0700);
  EXPECT_EQ(dir.Read("OrvellaPlayer.ini"), "[Options]\nvolume=1\n");
}

TEST(IniRead, AByteOrderMarkDoesNotHideTheFirstSection) {
  TempDir dir;
  dir.Write("bom.ini", "\xEF\xBB\xBF[Interface]\r\nStringPlaying=\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0\r\n");
  IniFile ini(dir.File("bom.ini"));
  EXPECT_EQ(ini.ReadString("Interface", "StringPlaying", ""), "\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0");
  ini.WriteString("Interface", "X", "1");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(dir.Read("bom.ini").substr(0, 3), "\xEF\xBB\xBF");
}

// A folder or a FIFO where the settings file should be: defaults, no throw, no
// hang, and a save that reports its failure instead of pretending.
TEST(IniRead, AFolderOrAFifoInPlaceOfTheFileGivesDefaultsAndAFailedSave) {
  TempDir dir;
  const std::string folder = dir.File("OrvellaPlayer.ini");
  std::filesystem::create_directory(folder);
  IniFile a(folder);
  EXPECT_EQ(a.ReadInteger("Options", "volume", 255), 255);
  a.WriteInteger("Options", "volume", 10);
  EXPECT_FALSE(a.Save());
  EXPECT_TRUE(std::filesystem::is_directory(folder));

  const std::string fifo = dir.File("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  IniFile b(fifo);  // a read would block here for ever
  EXPECT_EQ(b.ReadString("Options", "Language", "English"), "English");
}

TEST(IniBounds, AFileBeyondTheLimitIsReadInWholeLinesAndNeverWrittenBack) {
  TempDir dir;
  // Sparse, so the test costs no disk: two real lines, then zeros past the limit.
  dir.Write("huge.ini", "[Options]\r\nvolume=7\r\n");
  std::filesystem::resize_file(dir.File("huge.ini"), kIniMaxFile + 4096);
  IniFile ini(dir.File("huge.ini"));
  EXPECT_EQ(ini.ReadInteger("Options", "volume", 0), 7);
  ini.WriteInteger("Options", "volume", 9);
  std::string error;
  EXPECT_FALSE(ini.Save(&error));
  EXPECT_EQ(error, "Unable to write to " + dir.File("huge.ini"));
  EXPECT_EQ(std::filesystem::file_size(dir.File("huge.ini")), kIniMaxFile + 4096);
  // A line cut by the limit is not read as a shorter value.
  std::string text = "[Options]\n" + std::string(kIniMaxFile - 20, ';') + "\nvolume=123456789\n";
  dir.Write("cut.ini", text);
  EXPECT_EQ(IniFile(dir.File("cut.ini")).ReadInteger("Options", "volume", -1), -1);
  // At the limit itself the file is whole and writable.
  dir.Write("edge.ini", "[Options]\nvolume=5\n" + std::string(kIniMaxFile - 19 - 1, ';') + "\n");
  ASSERT_EQ(std::filesystem::file_size(dir.File("edge.ini")), kIniMaxFile);
  IniFile edge(dir.File("edge.ini"));
  EXPECT_EQ(edge.ReadInteger("Options", "volume", 0), 5);
  edge.WriteInteger("Options", "volume", 6);
  EXPECT_TRUE(edge.Save());
}

TEST(IniWrite, LineBreaksInNamesAndValuesCannotAddLinesOfTheirOwn) {
  TempDir dir;
  dir.Write("o.ini", "[Options]\r\nvolume=255\r\n");
  IniFile ini(dir.File("o.ini"));
  // A folder name may hold a newline; written raw it would set the volume.
  ini.WriteString("Options", "lastFolder", "/music/x\r\nvolume=0\n[Other]\nk=v");
  ini.WriteString("Opt\nions", "a\nb", "1");
  ASSERT_TRUE(ini.Save());
  IniFile back(dir.File("o.ini"));
  EXPECT_EQ(back.ReadInteger("Options", "volume", -1), 255);
  EXPECT_EQ(back.ReadString("Options", "lastFolder", ""), "/music/x  volume=0 [Other] k=v");
  EXPECT_FALSE(back.HasKey("Other", "k"));
  EXPECT_EQ(back.ReadString("Opt ions", "a b", ""), "1");
}

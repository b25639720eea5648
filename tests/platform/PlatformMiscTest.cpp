// Encodings, paths and file patterns, the dynamic loader and the message box recorder.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/DynamicLibrary.h"
#include "platform/Encoding.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

using namespace platform;

TEST(Encoding, Latin1AndUtf8RoundTrip) {
  EXPECT_EQ(Latin1ToUtf8("Caf\xE9"), "Caf\xC3\xA9");
  EXPECT_EQ(Utf8ToLatin1("Caf\xC3\xA9"), "Caf\xE9");
  EXPECT_EQ(Utf8ToLatin1("\xD0\x96"), "?");  // Cyrillic has no Latin-1 form
}

TEST(Encoding, Utf16BothOrdersWithSurrogatesAndBom) {
  const std::string le("A\0\x3D\xD8\x00\xDE", 6);  // "A" then U+1F600
  EXPECT_EQ(Utf16LEToUtf8(le), "A\xF0\x9F\x98\x80");
  const std::string be("\0A\xD8\x3D\xDE\x00", 6);
  EXPECT_EQ(Utf16BEToUtf8(be), "A\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16BomToUtf8(std::string("\xFE\xFF\0A", 4)), "A");
  EXPECT_EQ(Utf16BomToUtf8(std::string("\xFF\xFE" "A\0", 4)), "A");
  EXPECT_EQ(Utf8ToUtf16LE("A\xF0\x9F\x98\x80"), le);
  EXPECT_EQ(Utf8ToUtf16BE("A\xF0\x9F\x98\x80"), be);
  // A lone surrogate and an odd trailing byte do not break the text.
  EXPECT_EQ(Utf16LEToUtf8(std::string("\x00\xD8" "B\0" "C", 5)), "\xEF\xBF\xBD" "B");
}

TEST(Encoding, Cp949AndValidity) {
  EXPECT_EQ(Cp949ToUtf8("\xC7\xD1\xB1\xDB"), "\xED\x95\x9C\xEA\xB8\x80");  // "Hangul" in Korean
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9"));
  EXPECT_FALSE(IsValidUtf8("\xC3"));
  EXPECT_FALSE(IsValidUtf8("\xE9t\xE9"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));  // overlong
  EXPECT_EQ(ConvertEncoding("x", "NO-SUCH-CODEPAGE", "UTF-8"), "");
}

TEST(Paths, ProgramFolderIsTheExecutablesFolder) {
  std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(ExtractFilePath(ProgramPath()), folder);
  EXPECT_EQ(DataFolder(), folder + "data/");
}

TEST(Paths, FilePatternsIgnoreCase) {
  TempDir dir;
  for (const char* n : {"in_midi.so", "IN_X.SO", "in_other.txt", "dsp_Gain.so", "DSP_pilvo3.so", "vis_a.so"})
    dir.Write(n, "x");
  EXPECT_EQ(FindFiles(dir.Path(), "in_*.so"), (std::vector<std::string>{"IN_X.SO", "in_midi.so"}));
  EXPECT_EQ(FindFiles(dir.Path(), "dsp_*.so"), (std::vector<std::string>{"DSP_pilvo3.so", "dsp_Gain.so"}));
  EXPECT_TRUE(FindFiles(dir.Path() + "/missing", "*").empty());
}

TEST(Paths, NamePieces) {
  EXPECT_EQ(ExtractFileExt("/music/a.b/song.MP3"), ".MP3");
  EXPECT_EQ(ExtractFileExt("/music/a.b/song"), "");
  EXPECT_EQ(ExtractFileName("/music/song.mp3"), "song.mp3");
  EXPECT_EQ(ExtractFilePath("/music/song.mp3"), "/music/");
  EXPECT_EQ(ChangeFileExt("/opt/OrvellaPlayer/OrvellaPlayer", ".ini"), "/opt/OrvellaPlayer/OrvellaPlayer.ini");
  EXPECT_EQ(ChangeFileExt("/x/a.plf", ".txt"), "/x/a.txt");
  EXPECT_EQ(LowerAscii("ABC.Mp3"), "abc.mp3");
}

TEST(DynamicLibrary, ResolvesEveryNameOrFailsAndUnloads) {
  DynamicLibrary lib;
  ASSERT_TRUE(lib.OpenWithSymbols(TEST_PLUGIN_PATH, {"test_plugin_post", "test_plugin_answer"}));
  EXPECT_TRUE(lib.OpenWithSymbols(TEST_PLUGIN_PATH, {"anything"}));  // already loaded: succeeds at once
  EXPECT_NE(lib.Symbol("test_plugin_answer"), nullptr);
  lib.Close();

  std::string missing;
  DynamicLibrary partial;
  EXPECT_FALSE(partial.OpenWithSymbols(TEST_PLUGIN_PATH, {"test_plugin_post", "no_such_export"}, &missing));
  EXPECT_EQ(missing, "no_such_export");
  EXPECT_FALSE(partial.IsOpen());

  DynamicLibrary none;
  EXPECT_FALSE(none.Open("/nonexistent/lib.so"));
  EXPECT_FALSE(none.LastError().empty());
}

TEST(MessageBox, TheRecorderSeesWhatTheUserWouldSee) {
  MessageRecorder rec;
  EXPECT_EQ(ShowMessage("Player is not ready !", kCaptionError, MsgIcon::Error), MsgResult::Ok);
  EXPECT_EQ(ShowMessage("Delete?", kCaptionConfirm, MsgIcon::Question, MsgButtons::YesNo), MsgResult::Yes);
  rec.SetAnswer(MsgResult::No);
  EXPECT_EQ(ShowMessage("Again?", kCaptionConfirm, MsgIcon::Question, MsgButtons::YesNo), MsgResult::No);
  auto msgs = rec.Messages();
  ASSERT_EQ(msgs.size(), 3u);
  EXPECT_EQ(msgs[0].text, "Player is not ready !");
  EXPECT_EQ(msgs[0].caption, "Error");
  EXPECT_EQ(msgs[0].icon, MsgIcon::Error);
  EXPECT_EQ(msgs[1].buttons, MsgButtons::YesNo);
}

// plugin.ini, chain files, the description cache and the chain text.
#include <gtest/gtest.h>

#include "StackerTestUtil.h"
#include "platform/IniFile.h"
#include "stacker/ChainText.h"
#include "stacker/Stacker.h"
#include "stacker/StackerSettings.h"

using namespace pilvo;
using namespace stackertest;

TEST(StackerSettings, AWindowOffTheDesktopIsClampedAndUndocked) {
  PluginFolder dir;
  dir.Write("plugin.ini", "[Pilvo]\r\nWindow=-10,50\r\nWindowDocked=2\r\nWindowShade=yes\r\n");
  TWindowSettings w = ReadWindowSettings(dir.File("plugin.ini"));
  EXPECT_TRUE(w.HasPosition);
  EXPECT_EQ(w.Shade, 0);  // not a number
  EXPECT_EQ(w.Docked, 2);
  ClampToDesktop(w, TRect{0, 0, 1920, 1080});
  EXPECT_EQ(w.Left, 0);
  EXPECT_EQ(w.Top, 50);
  EXPECT_EQ(w.Docked, 0);
  TWindowSettings far{true, 5000, 5000, 1, 3};
  ClampToDesktop(far, TRect{0, 0, 1920, 1080});
  EXPECT_EQ(far.Left, 1920 - 275);
  EXPECT_EQ(far.Top, 1080 - 116);
  TWindowSettings inside{true, 100, 100, 0, 3};
  ClampToDesktop(inside, TRect{0, 0, 1920, 1080});
  EXPECT_EQ(inside.Docked, 3);
  dir.Write("bad.ini", "[Pilvo]\nWindow=12\nWindowDocked=9\n");
  TWindowSettings b = ReadWindowSettings(dir.File("bad.ini"));
  EXPECT_FALSE(b.HasPosition);
  EXPECT_EQ(b.Docked, 0);
  EXPECT_FALSE(ReadWindowSettings(dir.File("missing.ini")).HasPosition);
}

TEST(StackerSettings, WritingKeepsOtherSectionsByteForByteAndRereadsTheFile) {
  PluginFolder dir;
  const std::string other = "; host settings\r\n[in_midi]\r\n  Volume = 80 \r\nodd line without equals\r\n\r\n";
  dir.Write("plugin.ini", other + "[Pilvo]\r\nWindow=1,2\r\nPlugins=old\r\n[after]\r\nk=v\r\n");
  // Someone else writes between our read and our write: it must survive.
  platform::WritePrivateProfileString("later", "x", "1", dir.File("plugin.ini"));
  TWindowSettings w{true, 30, 40, 1, 3};
  ASSERT_TRUE(WriteSettings(dir.File("plugin.ini"), &w, "dsp_a.so,0,1 dsp_b.so,1,0"));
  std::string text = dir.Read("plugin.ini");
  EXPECT_EQ(text.substr(0, other.size()), other);
  EXPECT_NE(text.find("[after]\r\nk=v\r\n"), std::string::npos);
  EXPECT_NE(text.find("[later]\r\nx=1"), std::string::npos);
  EXPECT_NE(text.find("Window=30,40\r\n"), std::string::npos);
  EXPECT_NE(text.find("WindowShade=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("WindowDocked=3\r\n"), std::string::npos);
  EXPECT_EQ(ReadChainSetting(dir.File("plugin.ini")), "dsp_a.so,0,1 dsp_b.so,1,0");
}

TEST(StackerSettings, AFailedWriteKeepsTheOldFile) {
  PluginFolder dir;
  const std::string old = "[Pilvo]\nPlugins=dsp_keep.so,0,1\n[x]\ny=z\n";
  dir.Write("plugin.ini", old);
  for (const char* step : {"open", "write", "sync", "rename"}) {
    platform::IniFile::SetFaultHook([step](std::string_view s) { return s != step; });
    EXPECT_FALSE(WriteSettings(dir.File("plugin.ini"), nullptr, "dsp_new.so,0,1")) << step;
    platform::IniFile::SetFaultHook(nullptr);
    EXPECT_EQ(dir.Read("plugin.ini"), old) << step;
  }
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST(StackerSettings, AFailedChainFileWriteKeepsTheOldChainFile) {
  PluginFolder dir;
  const std::string old = "[Pilvo]\r\nPlugins=dsp_old.so,0,1 dsp_old.so,1,0\r\n";
  dir.Write("mine.plv", old);
  for (const char* step : {"open", "write", "sync", "rename"}) {
    platform::IniFile::SetFaultHook([step](std::string_view s) { return s != step; });
    EXPECT_FALSE(WriteChainFile(dir.File("mine.plv"), std::string(900, 'n'))) << step;
    platform::IniFile::SetFaultHook(nullptr);
    EXPECT_EQ(dir.Read("mine.plv"), old) << step;
    EXPECT_EQ(ReadChainFile(dir.File("mine.plv")), "dsp_old.so,0,1 dsp_old.so,1,0") << step;
  }
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
  EXPECT_TRUE(WriteChainFile(dir.File("mine.plv"), "dsp_new.so,0,1"));
  EXPECT_EQ(ReadChainFile(dir.File("mine.plv")), "dsp_new.so,0,1");
}

TEST(StackerSettings, SavingAChainOfTwoWithTheSecondDisabledAndLoadingItBack) {
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  TStacker::Options o;
  o.PluginFolder = dir.Path();
  TStacker s(o);
  ASSERT_TRUE(s.LoadChainEntry("dsp_orvella.so", 0, 1));
  ASSERT_TRUE(s.LoadChainEntry("dsp_orvella.so", 1, 0));
  std::string text = FormatChainText(s.Pieces());
  EXPECT_EQ(text, "dsp_orvella.so,0,1 dsp_orvella.so,1,0");
  ASSERT_TRUE(WriteChainFile(dir.File("two.plv"), text));
  EXPECT_EQ(dir.Read("two.plv"), "[Pilvo]\r\nPlugins=dsp_orvella.so,0,1 dsp_orvella.so,1,0\r\n");
  s.UnloadAll();
  s.LoadChainText(ReadChainFile(dir.File("two.plv")));
  ASSERT_EQ(s.Count(), 2);
  EXPECT_EQ(s.Entry(1)->Enabled.load(), 0);
  // A chain file without "Plugins" empties the chain.
  dir.Write("empty.plv", "[Pilvo]\nOther=1\n");
  s.UnloadAll();
  s.LoadChainText(ReadChainFile(dir.File("empty.plv")));
  EXPECT_EQ(s.Count(), 0);
  EXPECT_EQ(ChainFileName("/x/mine"), "/x/mine.plv");
  EXPECT_EQ(ChainFileName("/x/mine.PLV"), "/x/mine.PLV");
  EXPECT_EQ(ChainFileName("/x.plv/mine"), "/x.plv/mine.plv");
}

TEST(StackerSettings, TheChainTextIsCutAt1024AndPiecesParseLikeTheirFormat) {
  auto p = ParseChainText("dsp_a.so,2 dsp_b.so dsp_c.so,1,0  dsp_d.so,x,1 dsp_e.so,3,");
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0], (TChainPiece{"dsp_a.so", 2, 1}));
  EXPECT_EQ(p[1], (TChainPiece{"dsp_c.so", 1, 0}));
  EXPECT_EQ(p[2].ModuleIndex, -1);
  EXPECT_EQ(p[3], (TChainPiece{"dsp_e.so", 3, 1}));
  // A piece ending exactly at 1024 is kept; one cut by it is dropped.
  std::string name(1024 - 4 - 1 - 4, 'n');
  std::string exact = "dsp_" + name + ",0,1";
  ASSERT_EQ(exact.size(), 1024u - 1);
  EXPECT_EQ(ParseChainText(exact + " dsp_z.so,0,1").size(), 1u);
  EXPECT_EQ(ParseChainText("dsp_a.so,0,1 " + exact).size(), 1u);
  std::vector<TChainPiece> many(100, TChainPiece{"dsp_twelve__.so", 0, 1});
  size_t dropped = 0;
  std::string text = FormatChainText(many, &dropped);
  EXPECT_LE(text.size(), kChainTextMax);
  EXPECT_EQ(ParseChainText(text).size(), 100 - dropped);
  EXPECT_GT(dropped, 0u);
  EXPECT_TRUE(IsChainLibraryName("DSP_Thing.SO"));
  for (const char* bad : {"dsp_a", "a.so", "dsp_../x.so", "dsp_a/b.so", "dsp_a b.so", "dsp_\x1b.so", "dsp_..so"})
    EXPECT_FALSE(IsChainLibraryName(bad)) << bad;
}

TEST(StackerSettings, TheDescriptionCacheSurvivesCorruptLinesAndIgnoresLetterCase) {
  PluginFolder dir;
  std::string longLine = "dsp_long.so\t" + std::string(400, 'd') + "\n";
  std::string data = std::string("dsp_one.so\tOne\n") + "no tab here\n" + "\tno name\n" + "dsp_empty.so\t\n" +
                     longLine + std::string("dsp_nul.so\0x\tNul\n", 17) + "dsp_two.so\tTwo\r\n" + "dsp_last.so\tLast";
  dir.Write("dsp_plv2.pic", data);
  TDescriptionCache c;
  c.Read(dir.File("dsp_plv2.pic"));
  ASSERT_NE(c.Find("DSP_ONE.SO"), nullptr);
  EXPECT_EQ(*c.Find("DSP_ONE.SO"), "One");
  EXPECT_EQ(*c.Find("dsp_two.so"), "Two");
  EXPECT_EQ(*c.Find("dsp_last.so"), "Last");
  EXPECT_EQ(c.Find("dsp_empty.so"), nullptr);
  ASSERT_NE(c.Find("dsp_long.so"), nullptr);
  EXPECT_EQ(c.Find("dsp_long.so")->size(), 256u - 12);
  EXPECT_EQ(c.Pairs().front().first, "dsp_last.so");  // newest first
  c.Append("dsp_new.so", "New\tline\n");
  EXPECT_EQ(c.Pairs().front().first, "dsp_new.so");
  TDescriptionCache again;
  again.Read(dir.File("dsp_plv2.pic"));
  ASSERT_NE(again.Find("dsp_new.so"), nullptr);
  EXPECT_EQ(*again.Find("dsp_new.so"), "New line ");
  TDescriptionCache none;
  none.Read(dir.File("missing.pic"));
  EXPECT_TRUE(none.Pairs().empty());
  none.Append("dsp_x.so", "X");  // cannot be written: ignored, kept in memory
}

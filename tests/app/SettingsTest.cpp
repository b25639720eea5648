// The settings file: defaults on a first start, every key written at closing,
// values surviving a restart, clamping, and a write that fails.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>

#include "AppTestUtil.h"
#include "app/Forms.h"
#include "playlist/ui/FormPL.h"
#include "app/Main.h"
#include "app/SkinWidgets.h"
#include "app/Settings.h"
#include "engine/ZOZUZivade.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"

using apptest::Player;
using apptest::ProgramDir;

TEST(AppSettings, FirstStartWithoutFileComputesPositions) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  Player p;
  const int screenW = QGuiApplication::primaryScreen()->geometry().width();
  const app::TSettings& s = p.form->Settings();
  EXPECT_EQ(s.Left, screenW / 2 - 380);
  EXPECT_EQ(s.Top, 250);
  EXPECT_EQ(s.FormEqLeft, s.Left + 24);
  EXPECT_EQ(s.FormEqTop, s.Top + 200);
  EXPECT_EQ(s.FormPLLeft, s.Left + 380);
  EXPECT_EQ(s.FormPLTop, s.Top);
  EXPECT_EQ(s.FormPLWidth, 372);
  EXPECT_EQ(s.FormPLHeight, 659);
  EXPECT_EQ(p.form->pos(), QPoint(s.Left, s.Top));
  EXPECT_EQ(p.windows->FormPL->pos(), QPoint(s.Left + 380, s.Top));
  EXPECT_EQ(p.windows->FormPL->size(), QSize(372, 659));
  EXPECT_EQ(p.windows->FormEq->pos(), QPoint(s.Left + 24, s.Top + 200));
  EXPECT_EQ(s.Language, "English");
  EXPECT_EQ(s.Skins, "default");
  EXPECT_EQ(s.volume, 255);
  EXPECT_EQ(s.pan, 0);  // centred: the right end would play from one speaker
  EXPECT_TRUE(s.trayIcon);
  EXPECT_TRUE(s.showEq);
  EXPECT_TRUE(s.showPlaylist);
  EXPECT_TRUE(s.enableEq);
  EXPECT_FALSE(s.showVideoWindow);
  // The first start ran the association step.
  EXPECT_EQ(p.modalShown, std::vector<std::string>{"FormAssociate"});
}

TEST(AppSettings, DefaultExtsListsEveryPlayableExtensionThenMo3Again) {
  const std::string exts = app::DefaultExts();
  EXPECT_EQ(exts.rfind(".wav .mp3 .ogg ", 0), 0u);
  EXPECT_EQ(exts.substr(exts.size() - 13), ".it .mo3 .mo3");
  EXPECT_EQ(std::count(exts.begin(), exts.end(), ' '), 31);
}

TEST(AppSettings, EveryKeyWrittenInOrderAtClose) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  {
    Player p;
    p.Close();
    EXPECT_TRUE(p.closed);
  }
  platform::IniFile ini(dir.SettingsFile());
  std::vector<std::string> keys = ini.Keys("Options");
  std::vector<std::string> expected(app::SettingsKeys().begin(), app::SettingsKeys().end());
  EXPECT_EQ(keys, expected);
  EXPECT_EQ(ini.ReadString("Options", "firstRun", "?"), "0");
  EXPECT_EQ(ini.ReadString("Options", "trayIcon", "?"), "1");
  EXPECT_EQ(ini.ReadString("Options", "Exts", "?"), app::DefaultExts());
  EXPECT_EQ(ini.ReadString("Options", "pan", "?"), "0");
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(AppSettings, ValuesSurviveARestart) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  {
    Player p;
    p.form->SpeedButton("sbShuffle")->click();
    p.form->SpeedButton("sbRepeat")->click();
    p.form->Action("PMLangKazakh")->trigger();
    p.windows->FormEq->SetBand(3, -7);
    p.form->move(120, 80);
    p.windows->FormPL->move(500, 90);
    p.windows->FormPL->resize(400, 300);
    p.form->Settings().LastPath = "/home/user/Music/";
    p.Close();
  }
  Player q;
  const app::TSettings& s = q.form->Settings();
  EXPECT_TRUE(s.shuffle);
  EXPECT_TRUE(s.runRepeat);
  EXPECT_EQ(s.Language, "Kazakh");
  EXPECT_TRUE(q.form->Action("PMLangKazakh")->isChecked());
  EXPECT_EQ(q.form->Action("PMPlay")->text().toStdString(), "Ойнату");
  EXPECT_EQ(s.eqBand[3], -7);
  EXPECT_EQ(q.windows->FormEq->Band(3), -7);
  EXPECT_EQ(s.Left, 120);
  EXPECT_EQ(s.Top, 80);
  EXPECT_EQ(q.form->pos(), QPoint(120, 80));
  EXPECT_EQ(q.windows->FormPL->pos(), QPoint(500, 90));
  EXPECT_EQ(q.windows->FormPL->size(), QSize(400, 300));
  EXPECT_EQ(s.LastPath, "/home/user/Music/");
  EXPECT_FALSE(s.firstRun);
  EXPECT_TRUE(q.modalShown.empty());
}

TEST(AppSettings, EqualiserValuesAreClampedWhenApplied) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\neqBand1=40\r\neqBand2=-99\r\neqBand3=12\r\n");
  platform::MessageRecorder rec;
  {
    Player p;
    EXPECT_EQ(p.windows->FormEq->Band(0), 15);
    EXPECT_EQ(p.windows->FormEq->Band(1), -15);
    EXPECT_EQ(p.windows->FormEq->Band(2), 12);
    EXPECT_EQ(p.form->Settings().eqBand[0], 15);
    p.Close();
  }
  platform::IniFile ini(dir.SettingsFile());
  EXPECT_EQ(ini.ReadInteger("Options", "eqBand1", 0), 15);
  EXPECT_EQ(ini.ReadInteger("Options", "eqBand2", 0), -15);
}

TEST(AppSettings, NonNumericValuesGiveTheDefault) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nvolume=loud\r\nTop=high\r\nshuffle=yes\r\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_EQ(p.form->Settings().volume, 255);
  EXPECT_EQ(p.form->Settings().Top, 250);
  EXPECT_FALSE(p.form->Settings().shuffle);
}

TEST(AppSettings, FailedWriteIsReportedAndTheProgramStillEnds) {
  ProgramDir dir;
  const std::string before = "[Options]\r\nfirstRun=0\r\nLanguage=Russian\r\n";
  dir.Write("OrvellaPlayer.ini", before);
  platform::MessageRecorder rec;
  Player p;
  p.form->Action("PMLangEnglish")->trigger();
  platform::IniFile::SetFaultHook([](std::string_view step) { return step != "rename"; });
  p.Close();
  platform::IniFile::SetFaultHook(nullptr);
  EXPECT_TRUE(p.closed);
  EXPECT_FALSE(p.form->isVisible());
  auto msgs = rec.Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "Unable to write to " + dir.SettingsFile());
  EXPECT_EQ(msgs[0].caption, "Error");
  // The previous file is whole: the next start reads the old values.
  EXPECT_EQ(dir.Read("OrvellaPlayer.ini"), before);
}

TEST(AppEqualiser, TheWindowDrivesTheEngineAndKeepsTheSettings) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nenableEq=1\r\nenableEcho=0\r\neqBand5=-9\r\n");
  platform::MessageRecorder rec;
  Player p;
  engine::TZOZUZivade* eng = p.form->Engine();
  ASSERT_NE(eng, nullptr);
  app::TFormEq& eq = *p.windows->FormEq;
  // Start-up applied the stored switches and bands: band 5 up 9 steps is +9 dB.
  EXPECT_EQ(eng->SoundEffects() & app::TFormEq::kEqualiser, uint32_t(app::TFormEq::kEqualiser));
  EXPECT_EQ(eng->EQGain(4), 9.0f);
  eq.findChild<QCheckBox*>("cbEcho")->click();
  EXPECT_TRUE(p.form->Settings().enableEcho);
  EXPECT_EQ(eng->SoundEffects() & app::TFormEq::kEcho, uint32_t(app::TFormEq::kEcho));
  EXPECT_TRUE(eq.LevelSlider(app::TFormEq::kEcho)->isEnabled());
  eq.LevelSlider(app::TFormEq::kEcho)->setValue(30);
  EXPECT_EQ(eng->EchoLevel(), 30);
  eq.findChild<QPushButton*>("ButtonMax")->click();  // every band to +15 dB
  for (int b = 0; b < 10; ++b) EXPECT_EQ(eng->EQGain(b), 15.0f) << b;
  EXPECT_EQ(p.form->Settings().eqBand[9], -15);
  eq.findChild<QCheckBox*>("cbEq")->click();  // off: the bands' sliders are disabled
  EXPECT_FALSE(p.form->Settings().enableEq);
  EXPECT_EQ(eng->SoundEffects() & app::TFormEq::kEqualiser, 0u);
  EXPECT_FALSE(eq.findChild<QPushButton*>("ButtonMax")->isEnabled());
}

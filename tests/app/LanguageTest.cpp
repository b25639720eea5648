// Language files: every key bound and shipped, switching at run time, absent
// keys, quotes, and the open dialog's filter.
#include <gtest/gtest.h>

#include <filesystem>

#include <QAction>
#include <QCheckBox>
#include <QLabel>

#include "AppTestUtil.h"
#include "app/Forms.h"
#include "app/managers/FormVisControl.h"
#include "playlist/Playlist.h"
#include "playlist/ui/FormPL.h"
#include "app/Language.h"
#include "app/Main.h"
#include "app/SecondaryForms.h"
#include "app/SkinWidgets.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"

using apptest::Player;
using apptest::ProgramDir;

namespace {
const char* const kEnglishFilter =
    "All supported files|*.wav;*.mp3;*.ogg;*.wma;*.flac;*.avi;*.mpg;*.flv;*.mov;*.wmv;*.mp4;*.divx;*.mkv;*.3gp;"
    "*.ifo;*.vob;*.aiff;*.aac;*.ac3;*.ape;*.mp1;*.mp2;*.cda;*.mid;*.kar;*.mod;*.mtm;*.s3m;*.xm;*.it;*.mo3;"
    "|"
    "WAV files (*.wav)|*.wav|"
    "MP3 files (*.mp3)|*.mp3|"
    "OGG files (*.ogg)|*.ogg|"
    "WMA files (*.wma)|*.wma|"
    "FLAC files (*.flac)|*.flac|"
    "AVI files (*.avi)|*.avi|"
    "MPG files (*.mpg)|*.mpg|"
    "FLV files (*.flv)|*.flv|"
    "MOV files (*.mov)|*.mov|"
    "WMV files (*.wmv)|*.wmv|"
    "MP4 files (*.mp4)|*.mp4|"
    "DIVX files (*.divx)|*.divx|"
    "MKV files (*.mkv)|*.mkv|"
    "3GP files (*.3gp)|*.3gp|"
    "IFO files (*.ifo)|*.ifo|"
    "VOB files (*.vob)|*.vob|"
    "AIFF files (*.aiff)|*.aiff|"
    "AAC files (*.aac)|*.aac|"
    "AC3 files (*.ac3)|*.ac3|"
    "APE files (*.ape)|*.ape|"
    "MP1 files (*.mp1)|*.mp1|"
    "MP2 files (*.mp2)|*.mp2|"
    "CDA files (*.cda)|*.cda|"
    "MID files (*.mid)|*.mid|"
    "KAR files (*.kar)|*.kar|"
    "MOD files (*.mod)|*.mod|"
    "MTM files (*.mtm)|*.mtm|"
    "S3M files (*.s3m)|*.s3m|"
    "XM files (*.xm)|*.xm|"
    "IT files (*.it)|*.it|"
    "MO3 files (*.mo3)|*.mo3|";
}  // namespace

TEST(AppLanguage, TheKeyListHas215KeysAndEveryOneHasATarget) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  Player p({}, false);
  const auto& keys = app::LanguageKeys();
  EXPECT_EQ(keys.size(), 215u);
  for (const std::string& key : keys) {
    auto [window, path] = app::SplitLanguageKey(key);
    app::ILanguageTarget* target = p.windows->Target(window);
    ASSERT_NE(target, nullptr) << key;
    std::string text;
    EXPECT_TRUE(target->GetLangText(path, text)) << key;
  }
}

TEST(AppLanguage, ShippedFilesSupplyEveryKeyInOrder) {
  for (const char* lang : {"English", "Russian", "Kazakh"}) {
    platform::IniFile ini(std::string(ORVELLA_SOURCE_DIR) + "/assets/language/" + lang + ".ini");
    EXPECT_EQ(ini.Keys("Interface"), app::LanguageKeys()) << lang;
    for (const std::string& key : app::LanguageKeys())
      EXPECT_FALSE(ini.ReadString("Interface", key, "").empty()) << lang << " " << key;
  }
}

TEST(AppLanguage, SwitchAppliesToHiddenWindowsAndChecksTheMenuItem) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_TRUE(p.form->Action("PMLangEnglish")->isChecked());
  ASSERT_FALSE(p.windows->FormSettings->isVisible());
  ASSERT_FALSE(p.windows->VisControlForm->isVisible());
  p.form->Action("PMLangRussian")->trigger();
  EXPECT_EQ(p.form->Settings().Language, "Russian");
  EXPECT_FALSE(p.form->Action("PMLangEnglish")->isChecked());
  EXPECT_TRUE(p.form->Action("PMLangRussian")->isChecked());
  EXPECT_FALSE(p.form->Action("PMLangKazakh")->isChecked());
  EXPECT_EQ(p.windows->FormSettings->windowTitle().toStdString(), "Настройки");
  EXPECT_EQ(p.windows->FormSettings->Text("cbTrayIcon.Caption"), "Значок в области уведомлений");
  EXPECT_EQ(p.windows->VisControlForm->cbUseWinampLook()->text().toStdString(),
            "Окно визуализации в стиле Winamp (только для модулей Winamp 5)");
  EXPECT_EQ(p.windows->FormEq->LabelTitle()->text().toStdString(), "ЭКВАЛАЙЗЕР");
  EXPECT_EQ(p.form->Label("LabelStereo")->text().toStdString(), "Стерео");
  EXPECT_EQ(p.form->Str("StringPlaying"), "Воспроизведение");
  // Composed texts follow the language.
  EXPECT_EQ(p.windows->Playlist->FilesLabel(), "Файлов :0");
  EXPECT_EQ(p.form->Label("LabelVideoPos")->text().toStdString(), "Позиция :");
  EXPECT_EQ(p.form->OpenFilter().rfind("Все поддерживаемые файлы|*.wav;", 0), 0u);
  // Title labels are centred in their windows.
  QLabel* eqTitle = p.windows->FormEq->LabelTitle();
  EXPECT_EQ(eqTitle->x(), (p.windows->FormEq->width() - eqTitle->width()) / 2);
}

TEST(AppLanguage, MissingKeyKeepsTheOldTextAndOtherNamesCheckNothing) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  dir.Write("language/Partial.ini", "[Interface]\nPMPlay.Caption=Spielen\nStringFiles=Dateien\n");
  platform::MessageRecorder rec;
  Player p;
  p.form->ApplyLanguage("Partial");
  EXPECT_EQ(p.form->Action("PMPlay")->text().toStdString(), "Spielen");
  EXPECT_EQ(p.form->Action("PMStop")->text().toStdString(), "Stop");
  EXPECT_EQ(p.windows->FormSettings->windowTitle().toStdString(), "Settings");
  EXPECT_EQ(p.form->Str("StringPlaying"), "Playing");
  EXPECT_FALSE(p.form->Action("PMLangEnglish")->isChecked());
  EXPECT_FALSE(p.form->Action("PMLangRussian")->isChecked());
  EXPECT_FALSE(p.form->Action("PMLangKazakh")->isChecked());
  EXPECT_NE(p.form->OpenFilter().find("|WAV Dateien (*.wav)|*.wav|"), std::string::npos);
}

TEST(AppLanguage, OtherLanguageNamedInSettingsIsApplied) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nLanguage=Deutsch\r\n");
  dir.Write("language/Deutsch.ini", "[Interface]\nPMClose.Caption=Beenden\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_EQ(p.form->Action("PMClose")->text().toStdString(), "Beenden");
  EXPECT_FALSE(p.form->Action("PMLangEnglish")->isChecked());
  // No English file was read: the texts held in memory are still empty.
  EXPECT_EQ(p.form->Str("StringPlaying"), "");
}

TEST(AppLanguage, EnclosingQuotesAreStripped) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  dir.Write("language/Quoted.ini", "[Interface]\nPMPlay.Caption=\"Play\"\nFormUrl.Caption=\"Enter \"the\" address\"\n");
  platform::MessageRecorder rec;
  Player p;
  p.form->ApplyLanguage("Quoted");
  EXPECT_EQ(p.form->Action("PMPlay")->text().toStdString(), "Play");
  EXPECT_EQ(p.windows->FormUrl->windowTitle().toStdString(), "Enter \"the\" address");
}

TEST(AppLanguage, HostileLanguageFilesAreReadWithinTheirBounds) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  // A value longer than an INI value can be is cut at 2047 characters.
  dir.Write("language/Long.ini", "[Interface]\nPMPlay.Caption=" + std::string(100000, 'p') + "\nPMStop.Caption=Halt\n");
  // A file beyond 16 MB (sparse) is read up to there: its keys at the start still apply.
  dir.Write("language/Huge.ini", "[Interface]\nPMPlay.Caption=Spielen\n");
  std::filesystem::resize_file(dir.File("language/Huge.ini"), platform::kIniMaxFile + (uintmax_t(1) << 30));
  platform::MessageRecorder rec;
  Player p;
  p.form->ApplyLanguage("Long");
  EXPECT_EQ(p.form->Action("PMPlay")->text().toStdString(), std::string(platform::kIniMaxValue, 'p'));
  EXPECT_EQ(p.form->Action("PMStop")->text().toStdString(), "Halt");
  p.form->ApplyLanguage("Huge");
  EXPECT_EQ(p.form->Action("PMPlay")->text().toStdString(), "Spielen");
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(AppLanguage, OpenDialogFilterIsExact) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  // The table's 31, then the formats of the attached add-ons, then one entry per table extension.
  const std::string expected = kEnglishFilter, filter = p.form->OpenFilter();
  const size_t cut = expected.find(";|WAV files") + 1;
  ASSERT_EQ(filter.compare(0, cut, expected, 0, cut), 0) << filter;
  const std::string tail = expected.substr(cut);
  ASSERT_GE(filter.size(), cut + tail.size());
  ASSERT_EQ(filter.compare(filter.size() - tail.size(), tail.size(), tail), 0) << filter;
  const std::string extra = filter.substr(cut, filter.size() - tail.size() - cut);
  EXPECT_NE(extra.find("*.opus;"), std::string::npos) << extra;
  EXPECT_NE(extra.find("*.tta;"), std::string::npos) << extra;
  EXPECT_EQ(extra.find("*.flac;"), std::string::npos) << extra;  // a table extension is not repeated
}

TEST(AppLanguage, WithoutLanguageFileTheFilterLacksItsWords) {
  apptest::ProgramOptions o;
  o.withLanguages = false;
  ProgramDir dir(o);
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_EQ(p.form->OpenFilter().rfind("|*.wav;*.mp3;", 0), 0u);
  EXPECT_NE(p.form->OpenFilter().find("|WAV  (*.wav)|*.wav|"), std::string::npos);
  EXPECT_EQ(p.form->Action("PMPlay")->text().toStdString(), "Play");
}

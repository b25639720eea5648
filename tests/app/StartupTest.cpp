// The start-up sequence of the main window: windows and their order, add-ons,
// status lines, library messages, the first-run step, settings, language and
// the command line.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>
#include <algorithm>

#include "AppTestUtil.h"
#include "app/Forms.h"
#include "playlist/Playlist.h"
#include "playlist/ui/FormPL.h"
#include "app/Main.h"
#include "app/SkinWidgets.h"
#include "app/Settings.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

using apptest::Player;
using apptest::ProgramDir;
using apptest::ProgramOptions;

namespace {

std::vector<std::string> Filter(const std::vector<std::string>& steps, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& s : steps)
    if (s.rfind(prefix, 0) == 0) out.push_back(s);
  return out;
}

size_t IndexOf(const std::vector<std::string>& steps, const std::string& step) {
  auto it = std::find(steps.begin(), steps.end(), step);
  return it == steps.end() ? std::string::npos : static_cast<size_t>(it - steps.begin());
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(AppStartup, SixteenWindowsInOrderWithTheirCaptions) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  Player p({}, false);
  const std::vector<std::string> expected = {
      "Orvella Player 1.4", "Playlist Editor", "About Program", "Settings", "File Information", "Equalizer",
      "Status Information", "Input URL", "Need soundfont", "BASS Add-on Configuration",
      "Winamp Input plug-in Configuration", "Winamp DSP plug-in control", "Winamp Visualization plug-in control",
      "Control Bar", "Associate Files", "Software Update"};
  std::vector<std::string> captions;
  for (QWidget* w : p.windows->CreationOrder()) captions.push_back(w->windowTitle().toStdString());
  EXPECT_EQ(captions, expected);
  // Creation alone runs no start-up step and touches no other window.
  EXPECT_TRUE(p.form->StartupSteps().empty());
  EXPECT_TRUE(p.windows->FormStatus->Lines().empty());
}

TEST(AppStartup, SequenceInOrderWithAllAddOns) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  Player p({}, false);
  std::vector<std::string> inputPlugins;
  p.form->LoadInputPlugin = [&inputPlugins](const std::string& name) { inputPlugins.push_back(name); };
  p.form->show();
  EXPECT_EQ(inputPlugins, std::vector<std::string>{"in_midi.so"});
  const auto& steps = p.form->StartupSteps();
  const std::vector<std::string> addOns = Filter(steps, "addon:");
  std::vector<std::string> expected;
  for (const char* n : {"bass_aac", "bass_ac3", "bass_alac", "bass_ape", "basscd", "bass_cda", "bass_enc",
                        "bass_flac", "bass_fx", "bassmidi", "bass_mpc", "bass_opus", "bass_spx", "bass_tta",
                        "bass_winanp", "basswma", "bass_wm"})
    expected.push_back("addon:" + dir.Path() + "plugins/bass/" + n + ".so");
  EXPECT_EQ(addOns, expected);
  // The steps run in the fixed order.
  const size_t lastAddOn = IndexOf(steps, expected.back());
  const size_t plugin = IndexOf(steps, "inputplugin:in_midi.so");
  const size_t libs = IndexOf(steps, "libraries");
  const size_t sf = IndexOf(steps, "soundfont");
  const size_t settings = IndexOf(steps, "settings");
  const size_t lang = IndexOf(steps, "language:English");
  const size_t skin = IndexOf(steps, "skin:default");
  const size_t assoc = IndexOf(steps, "associate:" + app::DefaultExts());
  const size_t shown = IndexOf(steps, "shown");
  ASSERT_NE(sf, std::string::npos);
  EXPECT_LT(lastAddOn, plugin);
  EXPECT_LT(plugin, libs);
  EXPECT_LT(libs, sf);
  EXPECT_LT(sf, settings);
  EXPECT_LT(settings, lang);
  EXPECT_LT(lang, skin);
  EXPECT_LT(skin, assoc);
  EXPECT_LT(assoc, shown);
  EXPECT_EQ(shown, steps.size() - 1);

  // Every add-on the folder holds was taken by the engine.
  EXPECT_TRUE(p.form->Engine()->WMAReady());
  EXPECT_TRUE(p.form->Engine()->AACReady());
  EXPECT_TRUE(p.form->Engine()->MIDIReady());

  const auto lines = p.windows->FormStatus->Lines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Loaded DLL's :");
  EXPECT_EQ(lines[1], " bass.so for BASS basic native stream");
  EXPECT_EQ(lines[2], " basswma.so for WMA stream");
  EXPECT_EQ(lines[3], " basscd.so for Audio CD");
  EXPECT_EQ(lines[4], " bass_midi.so for MIDI sound");
  EXPECT_EQ(lines[5], " bass_aac.so for AAC stream");
  // No soundfont in this folder: the report says where it was looked for.
  const std::vector<std::string> sfLines(lines.begin() + 6, lines.end());
  const std::vector<std::string> expectedSf = {"",
                                               "MIDI soundfont CT4MGM.SF2 does not exist in ",
                                               dir.Path() + "plugins/",
                                               "MIDI soundfont CT4MGM.SF2 not loaded",
                                               "You can get it from: ",
                                               app::kSoundfontAddress,
                                               " "};
  EXPECT_EQ(sfLines, expectedSf);
  // Nothing is missing, so no message.
  EXPECT_TRUE(rec.Messages().empty());
  // Without the drawer library the Winamp-look box is cleared and disabled.
  EXPECT_FALSE(p.windows->VisControlForm->cbUseWinampLook()->isEnabled());
  EXPECT_FALSE(p.windows->VisControlForm->cbUseWinampLook()->isChecked());
}

TEST(AppStartup, OneMissingLibraryGivesOneLineMessage) {
  ProgramOptions o;
  o.leaveOutAddOns = {"basswma"};
  ProgramDir dir(o);
  platform::MessageRecorder rec;
  Player p;
  auto msgs = rec.Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "Following Library file is not loaded\n\n plugins/bass/basswma.so  (used to support WMA stream)");
  EXPECT_EQ(msgs[0].caption, "Confirm");
  EXPECT_EQ(msgs[0].icon, platform::MsgIcon::Information);
  const auto lines = p.windows->FormStatus->Lines();
  EXPECT_FALSE(Contains(lines, " basswma.so for WMA stream"));
  EXPECT_TRUE(Contains(lines, " bass_aac.so for AAC stream"));
}

TEST(AppStartup, SeveralMissingLibrariesGiveOneMessageWithAllLines) {
  ProgramOptions o;
  o.leaveOutAddOns = {"basswma", "bassmidi", "bass_aac"};
  ProgramDir dir(o);
  platform::MessageRecorder rec;
  Player p;
  auto msgs = rec.Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text,
            "Following Library files are not loaded\n\n"
            " plugins/bass/basswma.so  (used to support WMA stream)\n"
            " plugins/bass/bassmidi.so  (used to support MIDI file)\n"
            " plugins/bass/bass_aac.so  (used to support AAC, AAC+ stream)");
  const auto lines = p.windows->FormStatus->Lines();
  EXPECT_TRUE(Contains(lines, " basscd.so for Audio CD"));
  EXPECT_TRUE(Contains(lines, "BASSMIDI.DLL is not loaded."));
  EXPECT_EQ(IndexOf(p.form->StartupSteps(), "soundfont"), std::string::npos);
}

TEST(AppStartup, EngineNotReadyStillOpensWithSettingsAndLanguage) {
  ProgramOptions o;
  o.withLibrary = false;
  ProgramDir dir(o);
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nLanguage=Russian\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  auto msgs = rec.Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "BASS.DLL is not ready to operate");
  EXPECT_EQ(msgs[0].caption, "Confirm");
  EXPECT_TRUE(Filter(p.form->StartupSteps(), "addon:").empty());
  EXPECT_TRUE(p.windows->FormStatus->Lines().empty());
  EXPECT_TRUE(p.form->isVisible());
  EXPECT_EQ(p.form->Action("PMPlay")->text().toStdString(), "Воспроизвести");
  EXPECT_FALSE(static_cast<bool>(p.form->Engine()->OnNewFFTData));
}

TEST(AppStartup, FirstRunRegistersAndShowsTheAssociationWindowOnce) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  {
    Player p;
    ASSERT_EQ(p.registeredExts.size(), 1u);
    EXPECT_EQ(p.registeredExts[0], app::DefaultExts());
    EXPECT_EQ(p.modalShown, std::vector<std::string>{"FormAssociate"});
    EXPECT_FALSE(p.form->Settings().firstRun);
    p.Close();
    EXPECT_TRUE(p.closed);
  }
  EXPECT_NE(dir.Read("OrvellaPlayer.ini").find("firstRun=0"), std::string::npos);
  Player again;
  EXPECT_TRUE(again.registeredExts.empty());
  EXPECT_TRUE(again.modalShown.empty());
}

TEST(AppStartup, SettingsAppliedToButtonsAndWindows) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini",
            "[Options]\r\nfirstRun=0\r\nshuffle=1\r\nrunRepeat=1\r\nshowEq=0\r\nshowPlaylist=0\r\nvolume=100\r\n"
            "pan=-40\r\ntrayIcon=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_TRUE(p.form->SpeedButton("sbShuffle")->isChecked());
  EXPECT_TRUE(p.form->SpeedButton("sbRepeat")->isChecked());
  EXPECT_FALSE(p.form->SpeedButton("sbEQ")->isChecked());
  EXPECT_FALSE(p.form->SpeedButton("sbPL")->isChecked());
  EXPECT_FALSE(p.windows->FormEq->isVisible());
  EXPECT_FALSE(p.windows->FormPL->isVisible());
  EXPECT_EQ(p.form->tbVolume()->value(), 100);
  EXPECT_EQ(p.form->tbBalance()->value(), -40);
  // The EQ button shows the equaliser and flips the flag.
  p.form->SpeedButton("sbEQ")->click();
  EXPECT_TRUE(p.form->Settings().showEq);
  EXPECT_TRUE(p.windows->FormEq->isVisible());
  EXPECT_TRUE(p.form->SpeedButton("sbEQ")->isChecked());
  // Closing the playlist window clears its flag.
  p.form->SpeedButton("sbPL")->click();
  EXPECT_TRUE(p.windows->FormPL->isVisible());
  p.windows->FormPL->close();
  EXPECT_FALSE(p.form->Settings().showPlaylist);
  EXPECT_FALSE(p.form->SpeedButton("sbPL")->isChecked());
}

TEST(AppStartup, DefaultsWithoutPanGiveBalanceAtTheRightEnd) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_EQ(p.form->tbBalance()->value(), 100);
  EXPECT_EQ(p.form->tbVolume()->value(), 255);
  // The slider waits hidden at the track's left end; the progress image is empty.
  EXPECT_FALSE(p.form->SkinImage("ImageSlider")->isVisible());
  EXPECT_EQ(p.form->SkinImage("ImageSlider")->x(), p.form->SkinImage("ImageProgressMax")->x());
  EXPECT_EQ(p.form->SkinImage("ImageSlider")->y(), 101);
  EXPECT_EQ(p.form->SkinImage("ImageProgress")->width(), 0);
}

TEST(AppCommandLine, NoArgumentWithoutDefaultPlaylistLeavesTheListEmpty) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_TRUE(Filter(p.form->StartupSteps(), "loadplaylist:").empty());
  EXPECT_TRUE(p.windows->Playlist->Entries().empty());
  EXPECT_EQ(IndexOf(p.form->StartupSteps(), "startplayback"), std::string::npos);
}

TEST(AppCommandLine, NoArgumentLoadsDefaultPlaylistAndPlaysNothing) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  dir.Write("data/Default.plf", "One|/music/one.mp3|3:00\r\nTwo|/music/two.ogg|\r\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_EQ(Filter(p.form->StartupSteps(), "loadplaylist:"),
            std::vector<std::string>{"loadplaylist:" + dir.Path() + "data/Default.plf"});
  ASSERT_EQ(p.windows->Playlist->Entries().size(), 2u);
  EXPECT_EQ(p.windows->Playlist->Entries()[1].File, "/music/two.ogg");
  EXPECT_EQ(IndexOf(p.form->StartupSteps(), "startplayback"), std::string::npos);
  EXPECT_EQ(IndexOf(p.form->StartupSteps(), "stop"), std::string::npos);
}

TEST(AppCommandLine, PlaylistArgumentIsLoadedNotPlayed) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  dir.Write("data/Default.plf", "Default|/music/default.mp3|\r\n");
  dir.Write("My Lists/party.PLF", "Song|/music/song.flac|\r\n");
  platform::MessageRecorder rec;
  Player p({dir.Path() + "My", "Lists/party.PLF"});
  EXPECT_EQ(Filter(p.form->StartupSteps(), "loadplaylist:"),
            std::vector<std::string>{"loadplaylist:" + dir.Path() + "My Lists/party.PLF"});
  ASSERT_EQ(p.windows->Playlist->Entries().size(), 1u);
  EXPECT_EQ(p.windows->Playlist->Entries()[0].File, "/music/song.flac");
  EXPECT_EQ(IndexOf(p.form->StartupSteps(), "startplayback"), std::string::npos);
}

TEST(AppCommandLine, UnquotedPathWithBlanksIsRebuiltAddedAndPlayed) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  dir.Write("data/Default.plf", "Default|/music/default.mp3|\r\n");
  platform::MessageRecorder rec;
  Player p({"/home/user/My", "Music/Some", "Song.mp3"});
  ASSERT_EQ(p.windows->Playlist->Entries().size(), 1u);
  EXPECT_EQ(p.windows->Playlist->Entries()[0].File, "/home/user/My Music/Some Song.mp3");
  EXPECT_TRUE(Filter(p.form->StartupSteps(), "loadplaylist:").empty());
  const auto& steps = p.form->StartupSteps();
  const size_t add = IndexOf(steps, "addfile:/home/user/My Music/Some Song.mp3");
  const size_t stop = IndexOf(steps, "stop");
  const size_t play = IndexOf(steps, "startplayback");
  ASSERT_NE(add, std::string::npos);
  EXPECT_LT(add, stop);
  EXPECT_LT(stop, play);
}

TEST(AppCommandLine, UnplayableArgumentIsIgnoredByTheList) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p({"/docs/read", "me.txt"});
  EXPECT_TRUE(p.windows->Playlist->Entries().empty());
  // Playing is still asked for; with nothing added there is nothing to play.
  EXPECT_NE(IndexOf(p.form->StartupSteps(), "startplayback"), std::string::npos);
}

TEST(AppMainMenu, EveryItemWithItsCaption) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  Player p({}, false);
  const std::vector<std::pair<const char*, const char*>> items = {
      {"PMOpenFiles", "&Open files ..."}, {"PMOpenFolder", "Open folder ..."}, {"PMOpenURL", "Open &URL ..."},
      {"PMPlayDVD", "Play DVD"}, {"PMPre", "Previous"}, {"PMSpeedDown", "Speed Down"}, {"PMPlay", "Play"},
      {"PMPause", "Pause"}, {"PMStop", "Stop"}, {"PMSpeedUp", "Speed Up"}, {"PMNext", "Next"},
      {"PMAddonSetup", "&Bass Addon Setup ..."}, {"PMPluginSetup", "&Input Plugin Setup ..."},
      {"PMDSPSetup", "&DSP Plugin Setup ..."}, {"PMVisSetup", "&Vis Plugin Setup ..."},
      {"PMVideoShow", "Show Window"}, {"PMSnapShot", "Take Snapshot"}, {"PMMenuTitle", "Title Menu"},
      {"PMMenuRoot", "Root Menu"}, {"PMSaveBookmark", "Save Bookmark"}, {"PMRestoreBookmark", "Restore Bookmark"},
      {"PMStepForwardMenu", "Step Forward"}, {"PMStatus", "View &Status ..."}, {"PMLangEnglish", "English"},
      {"PMLangRussian", "Russian"}, {"PMLangKazakh", "Kazakh"}, {"MCheckUpdate", "Check for updates ..."},
      {"PMAbout", "&About ..."}, {"PMClose", "E&xit"}};
  for (auto [name, caption] : items) {
    QAction* a = p.form->Action(name);
    ASSERT_NE(a, nullptr) << name;
    EXPECT_EQ(a->text().toStdString(), caption) << name;
  }
  EXPECT_FALSE(p.form->Action("PMStatus")->isVisible());
  // Commands that open windows: About and the add-on manager modally, DSP control not.
  p.form->Action("PMAbout")->trigger();
  p.form->Action("PMAddonSetup")->trigger();
  EXPECT_EQ(p.modalShown, (std::vector<std::string>{"FormAbout", "AddonConfigForm"}));
  p.form->Action("PMDSPSetup")->trigger();
  EXPECT_TRUE(p.windows->DSPControlForm->isVisible());
  p.windows->DSPControlForm->close();
}

TEST(AppMainMenu, ExitClosesTheWindowAndWritesTheSettings) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  Player p;
  p.form->Action("PMClose")->trigger();
  EXPECT_TRUE(p.closed);
  EXPECT_TRUE(p.form->ShuttingDown());
  EXPECT_EQ(p.form->Engine(), nullptr);
  EXPECT_NE(dir.Read("OrvellaPlayer.ini").find("showVideoWindow=0"), std::string::npos);
}

TEST(AppTrayIcon, FollowsTheSettingAndCarriesTheMainMenu) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  {
    Player p;
    ASSERT_NE(p.form->TrayIcon(), nullptr);
    EXPECT_EQ(p.form->TrayIcon()->contextMenu(), p.form->PopupMenuMain());
    p.form->SetTrayIcon(false);
    EXPECT_FALSE(p.form->TrayIcon()->isVisible());
  }
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\ntrayIcon=0\r\n");
  Player q;
  EXPECT_EQ(q.form->TrayIcon(), nullptr);
}

TEST(AppStartup, TerminationWhileTheAssociationWindowWaitsEndsCleanly) {
  ProgramDir dir;
  platform::MessageRecorder rec;
  Player p({"/music/a.mp3"}, false);
  p.form->ShowModal = [&p](QWidget*) { p.form->close(); };
  p.form->show();
  EXPECT_TRUE(p.closed);
  EXPECT_EQ(p.form->Engine(), nullptr);
  // The rest of the sequence did not run; the step is offered again next time.
  EXPECT_EQ(IndexOf(p.form->StartupSteps(), "shown"), std::string::npos);
  EXPECT_EQ(IndexOf(p.form->StartupSteps(), "startplayback"), std::string::npos);
  EXPECT_NE(dir.Read("OrvellaPlayer.ini").find("firstRun=1"), std::string::npos);
}

TEST(AppTrayIcon, MinimiseGoesIntoTheIconAndAClickRestores) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  ASSERT_NE(p.form->TrayIcon(), nullptr);
  p.form->SetTrayIcon(true);
  app::TImageButton* minimize = p.form->Button("ImageMinimize");
  QTest::mouseClick(minimize, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(p.form->isVisible());
  emit p.form->TrayIcon()->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(p.form->isVisible());
  // Without the icon, minimising leaves the window in the task list.
  p.form->SetTrayIcon(false);
  QTest::mouseClick(minimize, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(p.form->isVisible());
  EXPECT_TRUE(p.form->windowState() & Qt::WindowMinimized);
}

TEST(AppCommandLine, PlaylistWindowSavesTheDefaultPlaylistAtTheEnd) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  {
    Player p({"/music/My", "Song.ogg"});
    p.Close();
  }
  EXPECT_NE(dir.Read("data/Default.plf").find("|/music/My Song.ogg|"), std::string::npos);
  // The next start without arguments loads it again.
  Player q;
  ASSERT_EQ(q.windows->Playlist->Count(), 1);
  EXPECT_EQ(q.windows->Playlist->Entry(0).File, "/music/My Song.ogg");
}

TEST(AppMainMenu, PlaylistReachesTheSoundfontNoticeAndTheTransport) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  p.windows->Playlist->Host().ShowSoundfontNotice();
  EXPECT_EQ(p.modalShown, std::vector<std::string>{"FormMissing"});
  p.windows->Playlist->Host().SetLastPath("/srv/music/");
  EXPECT_EQ(p.form->Settings().LastPath, "/srv/music/");
  EXPECT_EQ(p.windows->Playlist->Host().ProgramFolder(), dir.Path());
}

// The start-up sequence of the main window: windows and their order, add-ons,
// status lines, library messages, the first-run step, settings, language and
// the command line.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "AppTestUtil.h"
#include "app/Forms.h"
#include "app/managers/FormDSPControl.h"
#include "app/managers/FormVisControl.h"
#include "app/MainPlayback.h"
#include "app/PlaybackControl.h"
#include "playlist/Playlist.h"
#include "playlist/ui/FormPL.h"
#include "app/Main.h"
#include "app/SecondaryForms.h"
#include "app/SkinWidgets.h"
#include "app/Settings.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#ifdef ORVELLA_WITH_PLUGIN_HOST
#include "plugins/PluginCtrl.h"
#endif

using apptest::Player;
using apptest::ProgramDir;
using apptest::ProgramOptions;

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Names of the add-ons the engine holds, in slot order.
std::vector<std::string> LoadedAddOns(const engine::TZOZUZivade& e) {
  std::vector<std::string> out;
  for (const auto& slot : e.GetAddOnList())
    if (slot.Handle) out.push_back(slot.Name);
  return out;
}

// Nothing has been started: no entry taken, the title is the caption.
void ExpectNothingStarted(const Player& p) {
  ASSERT_NE(p.form->Playback(), nullptr);
  const app::TPlaybackControl& c = p.form->Playback()->Control();
  EXPECT_EQ(c.PlayMode, 0);
  EXPECT_TRUE(c.CurrentFile.empty());
  EXPECT_EQ(QApplication::applicationName().toStdString(), "Orvella Player 1.4");
  EXPECT_EQ(p.form->Engine()->Mode(), engine::plmStandby);
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
  // Creation alone runs no start-up step and touches no other window: no
  // add-on, no status line, no settings, language or skin, no playback logic.
  EXPECT_TRUE(LoadedAddOns(*p.form->Engine()).empty());
  EXPECT_TRUE(p.windows->FormStatus->Lines().empty());
  EXPECT_EQ(p.form->Settings().Language, "English");
  EXPECT_TRUE(p.form->Settings().firstRun);
  EXPECT_TRUE(p.form->OpenFilter().empty());
  EXPECT_TRUE(p.form->Button("ImagePlay")->Strip().isNull());
  EXPECT_EQ(p.form->Playback(), nullptr);
}

TEST(AppStartup, SequenceInOrderWithAllAddOns) {
  ProgramDir dir;
  // The settings differ from the defaults, so the moment they are read shows.
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nLanguage=Russian\r\nvolume=100\r\n");
  platform::MessageRecorder rec;
  Player p({}, false);
  // What each hook of the sequence finds done when it runs.
  struct Seen {
    std::vector<std::string> addOns;
    size_t statusLines = 0;
    int volume = 0;
    std::string playCaption;
    bool skin = false, playback = false;
  };
  std::vector<std::string> inputPlugins;
  Seen atPlugin, atAssociate;
  auto look = [&p](Seen& s) {
    s.addOns = LoadedAddOns(*p.form->Engine());
    s.statusLines = p.windows->FormStatus->Lines().size();
    s.volume = p.form->Settings().volume;
    s.playCaption = p.form->Action("PMPlay")->text().toStdString();
    s.skin = !p.form->Button("ImagePlay")->Strip().isNull();
    s.playback = p.form->Playback() != nullptr;
  };
  p.form->LoadInputPlugin = [&](const std::string& name) {
    inputPlugins.push_back(name);
    look(atPlugin);
  };
  p.form->RegisterFileTypes = [&](const std::string& exts) {
    p.registeredExts.push_back(exts);
    look(atAssociate);
  };
  p.form->show();
  EXPECT_EQ(inputPlugins, std::vector<std::string>{"in_midi.so"});
  ASSERT_EQ(p.registeredExts.size(), 1u);

  // The add-ons of the folder are taken in the fixed table order, before the
  // input plug-in (the WMA add-on is attached by the engine's creation already).
  std::vector<std::string> expected;
  for (const char* n : {"bass_aac", "bass_ac3", "bass_alac", "bass_ape", "basscd", "bass_cda", "bass_enc",
                        "bass_flac", "bass_fx", "bassmidi", "bass_mpc", "bass_opus", "bass_spx", "bass_tta",
                        "bass_winanp", "basswma", "bass_wm"}) {
    const std::string file = std::string(n) + ".so";
    if (std::filesystem::exists(dir.File("plugins/bass/" + file)) && file != "basswma.so")
      expected.push_back(file);
  }
  if (expected.size() > p.form->Engine()->GetAddOnList().size()) expected.resize(p.form->Engine()->GetAddOnList().size());
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(atPlugin.addOns, expected);
  EXPECT_EQ(LoadedAddOns(*p.form->Engine()), expected);
  // Input plug-in before the library report, the settings, the language and the skin.
  EXPECT_EQ(atPlugin.statusLines, 0u);
  EXPECT_EQ(atPlugin.volume, 255);
  EXPECT_EQ(atPlugin.playCaption, "Play");
  EXPECT_FALSE(atPlugin.skin);
  // The association step comes after the library and soundfont report, the
  // settings, the language and the skin, and before the playback logic and the
  // command line.
  EXPECT_EQ(atAssociate.statusLines, p.windows->FormStatus->Lines().size());
  EXPECT_GE(atAssociate.statusLines, 7u);
  EXPECT_EQ(atAssociate.volume, 100);
  EXPECT_EQ(atAssociate.playCaption, "Воспроизвести");
  EXPECT_TRUE(atAssociate.skin);
  EXPECT_FALSE(atAssociate.playback);
  // The last steps: the volume bar from the settings, the playback logic.
  EXPECT_EQ(p.form->tbVolume()->value(), 100);
  ASSERT_NE(p.form->Playback(), nullptr);

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
  // No soundfont step: nothing about a soundfont in the status window.
  for (const auto& l : lines) EXPECT_EQ(l.find("soundfont"), std::string::npos) << l;
  EXPECT_FALSE(p.form->Engine()->SoundFontReady());
}

TEST(AppStartup, EngineNotReadyStillOpensWithSettingsAndLanguage) {
  ProgramOptions o;
  o.withLibrary = false;
  ProgramDir dir(o);
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nLanguage=Russian\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p({}, false);
  bool pluginLoaded = false;
  p.form->LoadInputPlugin = [&pluginLoaded](const std::string&) { pluginLoaded = true; };
  p.form->show();
  auto msgs = rec.Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "BASS.DLL is not ready to operate");
  EXPECT_EQ(msgs[0].caption, "Confirm");
  EXPECT_TRUE(LoadedAddOns(*p.form->Engine()).empty());
  EXPECT_FALSE(pluginLoaded);
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

TEST(AppStartup, DefaultsWithoutPanGiveACentredBalance) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_EQ(p.form->tbBalance()->value(), 0);
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
  EXPECT_TRUE(p.windows->Playlist->Entries().empty());
  ExpectNothingStarted(p);
}

TEST(AppCommandLine, NoArgumentLoadsDefaultPlaylistAndPlaysNothing) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  dir.Write("data/Default.plf", "One|/music/one.mp3|3:00\r\nTwo|/music/two.ogg|\r\n");
  platform::MessageRecorder rec;
  Player p;
  ASSERT_EQ(p.windows->Playlist->Entries().size(), 2u);
  EXPECT_EQ(p.windows->Playlist->Entries()[0].Title, "One");
  EXPECT_EQ(p.windows->Playlist->Entries()[1].File, "/music/two.ogg");
  ExpectNothingStarted(p);
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(AppCommandLine, PlaylistArgumentIsLoadedNotPlayed) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  dir.Write("data/Default.plf", "Default|/music/default.mp3|\r\n");
  dir.Write("My Lists/party.PLF", "Song|/music/song.flac|\r\n");
  platform::MessageRecorder rec;
  Player p({dir.Path() + "My", "Lists/party.PLF"});
  // Only the named playlist is loaded, not the default one.
  ASSERT_EQ(p.windows->Playlist->Entries().size(), 1u);
  EXPECT_EQ(p.windows->Playlist->Entries()[0].File, "/music/song.flac");
  ExpectNothingStarted(p);
}

TEST(AppCommandLine, UnquotedPathWithBlanksIsRebuiltAddedAndPlayed) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  dir.Write("data/Default.plf", "Default|/music/default.mp3|\r\n");
  platform::MessageRecorder rec;
  Player p({"/home/user/My", "Music/Some", "Song.mp3"});
  ASSERT_EQ(p.windows->Playlist->Entries().size(), 1u);
  EXPECT_EQ(p.windows->Playlist->Entries()[0].File, "/home/user/My Music/Some Song.mp3");
  EXPECT_EQ(p.windows->Playlist->FilesLabel(), "Files :1");  // the count follows the added entry
  // The entry is taken to play once the event loop has handled the first show.
  ASSERT_NE(p.form->Playback(), nullptr);
  const app::TPlaybackControl& c = p.form->Playback()->Control();
  EXPECT_EQ(c.PlayMode, 0);
  QCoreApplication::sendPostedEvents();
  // The default playlist was not loaded; the added entry was taken to play
  // (after the Stop: the title names the entry, not the caption).
  EXPECT_EQ(c.PlayMode, 1);
  EXPECT_EQ(p.form->PlayMode(), 1);
  EXPECT_EQ(c.CurrentFile, "/home/user/My Music/Some Song.mp3");
  EXPECT_EQ(QApplication::applicationName().toStdString(), "1. Some Song.mp3");
}

TEST(AppCommandLine, UnplayableArgumentIsIgnoredByTheList) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p({"/docs/read", "me.txt"});
  EXPECT_TRUE(p.windows->Playlist->Entries().empty());
  QCoreApplication::sendPostedEvents();  // the play step runs from the event loop
  // Playing is still asked for; with nothing added there is nothing to play.
  ExpectNothingStarted(p);
  EXPECT_TRUE(rec.Messages().empty());
}

std::string Maps() {
  std::ifstream in("/proc/self/maps");
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Mapped(const std::string& maps, const char* library) { return maps.find(library) != std::string::npos; }

TEST(AppStartup, StartedWithoutAFileMapsNoDecoderLibrary) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  QCoreApplication::sendPostedEvents();
  ASSERT_TRUE(p.form->Engine() && p.form->Engine()->Ready());
  const std::string maps = Maps();
  ASSERT_TRUE(Mapped(maps, "bass.so"));
  for (const char* lib : {"libavformat", "libavcodec", "libavutil", "libswresample", "libopenmpt"})
    EXPECT_FALSE(Mapped(maps, lib)) << lib;
}

TEST(AppCommandLine, TheMainWindowIsShownBeforeTheFileIsOpened) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  // An Ogg file: it is FFmpeg's, so FFmpeg mapped tells that it was opened (an MP3 maps nothing new).
  const std::string ogg = dir.File("tone.ogg");
  ASSERT_EQ(std::system(("ffmpeg -v error -nostdin -y -f lavfi -i sine=f=440:d=5 -c:a libvorbis '" + ogg + "'").c_str()), 0);
  platform::MessageRecorder rec;
  Player p({ogg});
  // The first show is over: the window is up and the entry listed, but nothing is opened yet.
  EXPECT_TRUE(p.form->isVisible());
  ASSERT_EQ(p.windows->Playlist->Count(), 1);
  ASSERT_NE(p.form->Playback(), nullptr);
  EXPECT_EQ(p.form->Playback()->Control().PlayMode, 0);
  EXPECT_FALSE(Mapped(Maps(), "libavcodec"));
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(p.form->Playback()->Control().PlayMode, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return p.form->Engine()->Mode() == engine::plmPlaying; }, 10000));
  EXPECT_EQ(QApplication::applicationName().toStdString(), "1. tone.ogg");
  const std::string maps = Maps();
  EXPECT_TRUE(Mapped(maps, "libavcodec"));
  EXPECT_TRUE(Mapped(maps, "libavformat"));
  p.Close();
}

TEST(AppCommandLine, ClosedBeforeTheEventLoopRanThePlayStepIsDropped) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p({"/music/a.mp3"});
  p.Close();
  ASSERT_TRUE(p.closed);
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(p.form->Engine(), nullptr);
  EXPECT_TRUE(rec.Messages().empty());
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
  // The rest of the sequence did not run (no playback logic, the command line
  // not handled); the step is offered again next time.
  EXPECT_EQ(p.form->Playback(), nullptr);
  EXPECT_TRUE(p.windows->Playlist->Entries().empty());
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

#ifdef ORVELLA_WITH_PLUGIN_HOST
// Plug-ins of an installed player are told of a settings file in the user's
// folder: the program folder is not theirs to write.
TEST(AppStartup, PluginsOfAnInstalledPlayerKeepTheirSettingsInTheUsersFolder) {
  const auto askIni = [] {
    auto p = platform::SendMessage(plugins::HostWindow(), platform::WM_USER, 0, 334);
    return std::string(p ? reinterpret_cast<const char*>(p) : "");
  };
  ProgramDir dir;
  dir.Write(app::kInstalledMarker, "");
  const std::string config = dir.File("user-config");
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  {
    platform::MessageRecorder rec;
    Player p;
    EXPECT_EQ(askIni(), config + "/orvella-player/plugin.ini");
  }
  if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove(dir.File(app::kInstalledMarker));
  platform::MessageRecorder rec;
  Player p;
  EXPECT_EQ(askIni(), dir.Path() + "plugins/plugin.ini");
}
#endif

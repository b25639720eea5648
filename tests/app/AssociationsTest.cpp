// Desktop associations: the user's mimeapps.list keeps every line we do not
// own, the previous default comes back, the desktop entry is valid for hostile
// program paths, and the first-run window registers without taking defaults.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "AppTestUtil.h"
#include "app/Main.h"
#include "app/SecondaryForms.h"
#include <QListWidget>
#include <QTest>
#include "app/PlaybackControl.h"
#include "app/MainPlayback.h"
#include "app/desktop/Associations.h"
#include "app/desktop/DesktopIntegration.h"
#include "app/desktop/FormAssociate.h"
#include "app/desktop/MimeAppsList.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "playlist/Playlist.h"

namespace fs = std::filesystem;
using app::desktop::TAssociations;
using app::desktop::TMimeAppsList;
using app::desktop::TXdgFolders;

namespace {

// Temporary XDG folders, also set in the environment for tools run by the test.
class XdgHome {
 public:
  XdgHome() {
    char tmpl[] = "/tmp/orvella-xdg-XXXXXX";
    root_ = std::string(mkdtemp(tmpl)) + "/";
    fs::create_directories(root_ + "data");
    fs::create_directories(root_ + "config");
    setenv("XDG_DATA_HOME", (root_ + "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ + "config").c_str(), 1);
    // The desktop's lookup ignores entries whose program does not exist.
    fs::create_directories(root_ + "My Player");
    std::ofstream(Program()) << "#!/bin/sh\n";
    fs::permissions(Program(), fs::perms::owner_all);
  }
  std::string Program() const { return root_ + "My Player/OrvellaPlayer"; }
  ~XdgHome() {
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  TXdgFolders Folders() const { return {root_ + "data/", root_ + "config/"}; }
  std::string MimeApps() const { return root_ + "config/mimeapps.list"; }
  void WriteMimeApps(const std::string& text) const { std::ofstream(MimeApps(), std::ios::binary) << text; }

 private:
  std::string root_;
};

std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

bool HaveTool(const std::string& name) { return Shell("command -v " + name + " >/dev/null && echo yes") == "yes\n"; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) lines.push_back(line);
  return lines;
}

// True when `part` appears in `whole` in order (other lines may be between).
bool InOrder(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  size_t j = 0;
  for (const auto& line : whole)
    if (j < part.size() && line == part[j]) ++j;
  return j == part.size();
}

TAssociations Make(const XdgHome& home) {
  TAssociations a(home.Folders(), home.Program(), "orvella-player");
  a.SetMimeDatabaseUpdater(nullptr);
  return a;
}

const char* kUserFile =
    "# my associations, kept by hand\n"
    "[Default Applications]\n"
    "audio/mpeg=vlc.desktop;\n"
    "video/mp4=mpv.desktop;\n"
    "\n"
    "[Added Associations]\n"
    "text/plain=gedit.desktop;\n"
    "\n"
    "[Some Other Group]\n"
    "key = value with blanks\n";

}  // namespace

TEST(MimeAppsList, UntouchedTextIsReproducedExactly) {
  const std::string text = "a\r\n[Default Applications]\r\nx/y=z;\r\nno equals here\n\xff\xfe=\x80\nlast";
  EXPECT_EQ(TMimeAppsList(text).Text(), text);
  TMimeAppsList list(text);
  EXPECT_EQ(list.Get("Default Applications", "x/y").value_or("?"), "z;");
  EXPECT_FALSE(list.Get("Default Applications", "no equals here").has_value());
}

TEST(MimeAppsList, SetAndRemoveTouchOnlyTheirLine) {
  TMimeAppsList list(kUserFile);
  list.Set("Default Applications", "audio/ogg", "orvella-player.desktop;");
  list.Set("Brand New", "a/b", "c;");
  const std::string changed = list.Text();
  EXPECT_TRUE(InOrder(Lines(kUserFile), Lines(changed)));
  EXPECT_NE(changed.find("video/mp4=mpv.desktop;\naudio/ogg=orvella-player.desktop;\n\n[Added"), std::string::npos);
  EXPECT_NE(changed.find("\n[Brand New]\na/b=c;\n"), std::string::npos);
  list.Remove("Default Applications", "audio/ogg");
  list.Remove("Brand New", "a/b");
  EXPECT_EQ(list.Text(), std::string(kUserFile) + "\n[Brand New]\n");
}

TEST(MimeAppsList, AKeyAddedAfterALastLineWithoutLineEndIsRemovedWithoutTrace) {
  const std::string text = "# mine\r\n[Default Applications]\r\naudio/x-a=vlc.desktop;";
  TMimeAppsList list(text);
  list.Set("Default Applications", "audio/mpeg", "orvella-player.desktop;");
  EXPECT_EQ(list.Text(), text + "\r\naudio/mpeg=orvella-player.desktop;");
  EXPECT_EQ(TMimeAppsList(list.Text()).Get("Default Applications", "audio/x-a").value_or(""), "vlc.desktop;");
  list.Remove("Default Applications", "audio/mpeg");
  EXPECT_EQ(list.Text(), text);
}

TEST(Associations, AssociateTakesTheDefaultAndUnassociateGivesItBack) {
  XdgHome home;
  home.WriteMimeApps(kUserFile);
  TAssociations a = Make(home);
  ASSERT_TRUE(a.SetAssociation(".mp3", true));
  const std::string on = apptest::ReadFile(home.MimeApps());
  TMimeAppsList list(on);
  EXPECT_EQ(list.Get("Default Applications", "audio/mpeg").value_or(""), "orvella-player.desktop;");
  EXPECT_EQ(list.Get("Added Associations", "audio/mpeg").value_or(""), "orvella-player.desktop;");
  // Every line but the one we own is still there, in order.
  std::vector<std::string> foreign = Lines(kUserFile);
  foreign.erase(std::find(foreign.begin(), foreign.end(), "audio/mpeg=vlc.desktop;"));
  EXPECT_TRUE(InOrder(foreign, Lines(on)));
  EXPECT_TRUE(fs::exists(a.DesktopEntryPath()));
  EXPECT_EQ(platform::IniFile(a.BackupPath()).ReadString("Backup", "audio/mpeg", "?"), "vlc.desktop;");

  if (HaveTool("gio")) {
    const std::string out = Shell("gio mime audio/mpeg");
    const std::string first = out.substr(0, out.find('\n'));
    EXPECT_NE(first.find("Default application"), std::string::npos) << out;
    EXPECT_NE(first.find("orvella-player.desktop"), std::string::npos) << out;
  }

  ASSERT_TRUE(a.SetAssociation(".mp3", false));
  EXPECT_EQ(apptest::ReadFile(home.MimeApps()), kUserFile);
  EXPECT_FALSE(platform::IniFile(a.BackupPath()).HasKey("Backup", "audio/mpeg"));
}

TEST(Associations, AssociatingTwiceKeepsTheUsersDefaultAsTheBackup) {
  XdgHome home;
  home.WriteMimeApps(kUserFile);
  TAssociations a = Make(home);
  ASSERT_TRUE(a.SetAssociation(".mp3", true));
  ASSERT_TRUE(a.SetAssociation(".mp3", true));
  EXPECT_EQ(platform::IniFile(a.BackupPath()).ReadString("Backup", "audio/mpeg", "?"), "vlc.desktop;");
  ASSERT_TRUE(a.SetAssociation(".mp3", false));
  EXPECT_EQ(TMimeAppsList(apptest::ReadFile(home.MimeApps())).Get("Default Applications", "audio/mpeg").value_or(""),
            "vlc.desktop;");
}

TEST(Associations, UntickingWhatWeNeverTookLeavesTheUsersDefault) {
  XdgHome home;
  home.WriteMimeApps(kUserFile);
  TAssociations a = Make(home);
  ASSERT_TRUE(a.Associate({{".mp4", false}, {".mp3", false}}));
  EXPECT_EQ(apptest::ReadFile(home.MimeApps()), kUserFile);
}

TEST(Associations, ATypeWithNoEarlierDefaultLosesOursWhenUnticked) {
  XdgHome home;
  TAssociations a = Make(home);
  ASSERT_TRUE(a.SetAssociation(".flac", true));
  EXPECT_EQ(TMimeAppsList(apptest::ReadFile(home.MimeApps())).Get("Default Applications", "audio/flac").value_or(""),
            "orvella-player.desktop;");
  ASSERT_TRUE(a.SetAssociation(".flac", false));
  TMimeAppsList list(apptest::ReadFile(home.MimeApps()));
  EXPECT_FALSE(list.Get("Default Applications", "audio/flac").has_value());
  EXPECT_FALSE(list.Get("Added Associations", "audio/flac").has_value());
}

TEST(Associations, SharedTypesFollowAnyTickedExtensionAndOctetStreamIsNeverTaken) {
  XdgHome home;
  TAssociations a = Make(home);
  ASSERT_TRUE(a.Associate({{".avi", false}, {".divx", true}, {".mid", true}, {".kar", false}, {".nosuchext", true}}));
  const std::string text = apptest::ReadFile(home.MimeApps());
  TMimeAppsList list(text);
  EXPECT_EQ(list.Get("Default Applications", "video/x-msvideo").value_or(""), "orvella-player.desktop;");
  EXPECT_EQ(list.Get("Default Applications", "audio/midi").value_or(""), "orvella-player.desktop;");
  EXPECT_EQ(text.find("application/octet-stream"), std::string::npos);
}

TEST(Associations, HostileFilesLoseNothing) {
  XdgHome home;
  std::string big = "# big file\n[Default Applications]\n";
  for (int i = 0; i < 10000; ++i) big += "x-test/type" + std::to_string(i) + "=app" + std::to_string(i) + ".desktop;\n";
  big += "line without equals\n\xc3\x28 invalid=\xa0\xa1\n[Tail]\nno final newline";
  home.WriteMimeApps(big);
  TAssociations a = Make(home);
  ASSERT_TRUE(a.SetAssociation(".mp3", true));
  const std::string on = apptest::ReadFile(home.MimeApps());
  EXPECT_TRUE(InOrder(Lines(big), Lines(on)));
  EXPECT_EQ(TMimeAppsList(on).Get("Default Applications", "audio/mpeg").value_or(""), "orvella-player.desktop;");
  ASSERT_TRUE(a.SetAssociation(".mp3", false));
  const std::string off = apptest::ReadFile(home.MimeApps());
  EXPECT_TRUE(InOrder(Lines(big), Lines(off)));
  // Only the emptied group our line needed stays behind (a blank and its header).
  EXPECT_EQ(Lines(off).size(), Lines(big).size() + 2);
}

TEST(Associations, AFolderInPlaceOfTheListIsLeftAloneAndNothingIsWritten) {
  XdgHome home;
  fs::create_directories(home.MimeApps());
  std::ofstream(home.MimeApps() + "/inside") << "keep";
  TAssociations a = Make(home);
  EXPECT_FALSE(a.SetAssociation(".mp3", true));
  EXPECT_TRUE(fs::is_directory(home.MimeApps()));
  EXPECT_EQ(apptest::ReadFile(home.MimeApps() + "/inside"), "keep");
  EXPECT_FALSE(fs::exists(a.BackupPath()));
}

TEST(Associations, AListLargerThanTheLimitIsLeftAloneUnread) {
  XdgHome home;
  home.WriteMimeApps(kUserFile);
  fs::resize_file(home.MimeApps(), (16u << 20) + 1);  // sparse: the user's text, then zeros
  const auto stamp = fs::last_write_time(home.MimeApps());
  TAssociations a = Make(home);
  EXPECT_FALSE(a.SetAssociation(".mp3", true));
  EXPECT_EQ(fs::file_size(home.MimeApps()), (16u << 20) + 1);
  EXPECT_EQ(fs::last_write_time(home.MimeApps()), stamp);
  EXPECT_EQ(apptest::ReadFile(home.MimeApps()).compare(0, std::string(kUserFile).size(), kUserFile), 0);
  EXPECT_FALSE(fs::exists(a.BackupPath()));
  // One byte less is still the user's list, and is edited as usual.
  fs::resize_file(home.MimeApps(), 16u << 20);
  EXPECT_TRUE(a.SetAssociation(".mp3", true));
  EXPECT_EQ(TMimeAppsList(apptest::ReadFile(home.MimeApps())).Get("Default Applications", "audio/mpeg").value_or(""),
            "orvella-player.desktop;");
}

TEST(Associations, UnreadableBackupStopsBeforeTheDefaultIsReplaced) {
  XdgHome home;
  home.WriteMimeApps(kUserFile);
  TAssociations a = Make(home);
  fs::create_directories(a.BackupPath());  // a folder where the backup goes
  EXPECT_FALSE(a.SetAssociation(".mp3", true));
  EXPECT_EQ(apptest::ReadFile(home.MimeApps()), kUserFile);
}

namespace {

// Every file under `root` with its content.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) out[e.path().string()] = apptest::ReadFile(e.path().string());
  return out;
}

}  // namespace

TEST(Associations, AWriteFailingAtAnyStepOfAnyFileLeavesTheListWholeAndNoTemporaryFile) {
  // How many files a first association writes.
  int writes = 0;
  {
    XdgHome home;
    home.WriteMimeApps(kUserFile);
    TAssociations a = Make(home);
    platform::IniFile::SetFaultHook([&](std::string_view s) { return s != "open" || (++writes, true); });
    const bool ok = a.SetAssociation(".mp3", true);
    platform::IniFile::SetFaultHook(nullptr);
    ASSERT_TRUE(ok);
  }
  ASSERT_GE(writes, 3);  // desktop entry, backup, list
  for (const char* step : {"open", "write", "sync", "rename"}) {
    for (int failing = 1; failing <= writes; ++failing) {
      XdgHome home;
      home.WriteMimeApps(kUserFile);
      TAssociations a = Make(home);
      const std::string root = fs::path(home.MimeApps()).parent_path().parent_path().string();
      const auto before = Tree(root);
      int seen = 0;
      platform::IniFile::SetFaultHook([&](std::string_view s) { return s != step || ++seen != failing; });
      const bool ok = a.SetAssociation(".mp3", true);
      platform::IniFile::SetFaultHook(nullptr);
      EXPECT_FALSE(ok) << step << " " << failing;
      const auto after = Tree(root);
      EXPECT_EQ(apptest::ReadFile(home.MimeApps()), kUserFile) << step << " " << failing;
      for (const auto& [path, text] : after) EXPECT_EQ(path.find(".tmp-"), std::string::npos) << path;
      for (const auto& [path, text] : before) EXPECT_EQ(after.at(path), text) << path;
      // A later try with a working disk succeeds and points at an entry that exists.
      ASSERT_TRUE(a.SetAssociation(".mp3", true)) << step << " " << failing;
      EXPECT_TRUE(fs::exists(a.DesktopEntryPath()));
      EXPECT_EQ(TMimeAppsList(apptest::ReadFile(home.MimeApps())).Get("Default Applications", "audio/mpeg").value_or(""),
                "orvella-player.desktop;");
      EXPECT_EQ(platform::IniFile(a.BackupPath()).ReadString("Backup", "audio/mpeg", "?"), "vlc.desktop;");
    }
  }
}

TEST(DesktopEntry, ExecArgumentsAreQuotedAndEscaped) {
  EXPECT_EQ(app::desktop::QuoteExecArgument("/opt/My Player/run"), "\"/opt/My Player/run\"");
  EXPECT_EQ(app::desktop::QuoteExecArgument("/a%b\"c$d`e\\f"), "\"/a%%b\\\\\"c\\\\$d\\\\`e\\\\\\\\f\"");
}

TEST(DesktopEntry, ValidatorAcceptsTheEntryForAHostileProgramPath) {
  if (!HaveTool("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is not installed";
  XdgHome home;
  TAssociations a(home.Folders(), "/tmp/We ird %f \"dir\" $HOME\\x/OrvellaPlayer", "orvella-player");
  a.SetMimeDatabaseUpdater(nullptr);
  a.SetTexts({"Play with \"Orvella\"", "Add to playlist\\queue"});
  ASSERT_TRUE(a.RegisterPlaylistType());
  ASSERT_TRUE(a.RegisterFileTypes(app::DefaultExts()));
  int status = -1;
  const std::string out = Shell("desktop-file-validate '" + a.DesktopEntryPath() + "'", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out, "") << apptest::ReadFile(a.DesktopEntryPath());
  const std::string entry = apptest::ReadFile(a.DesktopEntryPath());
  EXPECT_NE(entry.find("Exec=\"/tmp/We ird %%f \\\\\"dir\\\\\" \\\\$HOME\\\\\\\\x/OrvellaPlayer\" -enqueue %f\n"),
            std::string::npos)
      << entry;
  EXPECT_NE(entry.find("audio/mpeg;"), std::string::npos);
  EXPECT_NE(entry.find("audio/x-orvella-playlist;"), std::string::npos);
}

TEST(DesktopEntry, MimePackageForOwnTypesIsWrittenAndTheDatabaseUpdatedOnlyOnChange) {
  XdgHome home;
  TAssociations a(home.Folders(), "/opt/OrvellaPlayer", "orvella-player");
  int updates = 0;
  a.SetMimeDatabaseUpdater([&](const std::string& folder) {
    EXPECT_EQ(folder, home.Folders().dataHome + "mime");
    ++updates;
  });
  ASSERT_TRUE(a.RegisterPlaylistType());
  ASSERT_TRUE(a.RegisterFileTypes(app::DefaultExts()));
  ASSERT_TRUE(a.RegisterFileTypes(app::DefaultExts()));
  EXPECT_EQ(updates, 2);  // the playlist type, then the other three; not the repeat
  const std::string package = apptest::ReadFile(a.MimePackagePath());
  for (const char* glob : {"*.plf", "*.mp1", "*.ifo", "*.cda"})
    EXPECT_NE(package.find(std::string("<glob pattern=\"") + glob + "\"/>"), std::string::npos) << glob;
  EXPECT_EQ(package.find("*.mp3"), std::string::npos);
  if (HaveTool("update-mime-database")) {
    int status = -1;
    const std::string out = Shell("update-mime-database '" + home.Folders().dataHome + "mime'", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(apptest::ReadFile(home.Folders().dataHome + "mime/globs2").find("audio/x-mp1:*.mp1"), std::string::npos);
  }
}

TEST(DesktopEntry, MimeDatabaseRunsStartedMomentsApartTakeTurns) {
  XdgHome home;
  // A stand-in for update-mime-database that notices a second run over the same folder.
  const std::string bin = home.Folders().dataHome + "bin";
  fs::create_directories(bin);
  std::ofstream(bin + "/update-mime-database")
      << "#!/bin/sh\n"
         "log=\"$1/../runs.log\"\n"
         "mkdir \"$1/running\" 2>/dev/null || echo overlap >> \"$log\"\n"
         "sleep 0.3\n"
         "rmdir \"$1/running\" 2>/dev/null\n"
         "echo done >> \"$log\"\n";
  fs::permissions(bin + "/update-mime-database", fs::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  setenv("PATH", (bin + ":" + path).c_str(), 1);
  TAssociations a(home.Folders(), home.Program(), "orvella-player");  // the real updater
  ASSERT_TRUE(a.RegisterPlaylistType());
  ASSERT_TRUE(a.RegisterFileTypes(app::DefaultExts()));
  setenv("PATH", path.c_str(), 1);
  const std::string log = home.Folders().dataHome + "runs.log";
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(log) && Lines(apptest::ReadFile(log)).size() >= 2; }, 20000));
  EXPECT_EQ(Lines(apptest::ReadFile(log)), (std::vector<std::string>{"done", "done"}));
}

TEST(FirstRun, WindowListsEveryExtensionTickedCloseWritesNoDefaultsAndFirstRunEnds) {
  apptest::ProgramDir dir;
  XdgHome home;
  platform::MessageRecorder rec;
  {
    apptest::Player p({}, false);
    auto assoc = app::desktop::InstallDesktopIntegration(*p.windows, home.Folders());
    assoc->SetMimeDatabaseUpdater(nullptr);
    p.form->show();
    ASSERT_EQ(p.modalShown, std::vector<std::string>{"FormAssociate"});
    auto* window = dynamic_cast<app::desktop::TFormAssociate*>(p.windows->FormAssociate.get());
    ASSERT_NE(window, nullptr);
    const auto items = window->Items();
    ASSERT_EQ(items.size(), 31u);
    EXPECT_EQ(items.front().first, ".wav");
    EXPECT_EQ(items.back().first, ".mo3");
    for (const auto& [ext, on] : items) EXPECT_TRUE(on) << ext;
    // Registered, but no default taken.
    EXPECT_TRUE(fs::exists(assoc->DesktopEntryPath()));
    EXPECT_TRUE(fs::exists(assoc->MimePackagePath()));
    window->show();
    window->findChild<QPushButton*>("ButtonClose")->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(fs::exists(home.MimeApps()));
    p.Close();
  }
  EXPECT_NE(dir.Read("OrvellaPlayer.ini").find("firstRun=0"), std::string::npos);
}

TEST(FirstRun, AssociateLinksTheTickedExtensionsAndRecordsThem) {
  apptest::ProgramDir dir;
  XdgHome home;
  home.WriteMimeApps(kUserFile);
  platform::MessageRecorder rec;
  {
    apptest::Player p({}, false);
    auto assoc = app::desktop::InstallDesktopIntegration(*p.windows, home.Folders());
    assoc->SetMimeDatabaseUpdater(nullptr);
    p.form->show();
    auto* window = dynamic_cast<app::desktop::TFormAssociate*>(p.windows->FormAssociate.get());
    ASSERT_NE(window, nullptr);
    window->findChild<QPushButton*>("ButtonUncheck")->click();
    window->CheckFrom(".mp3 .ogg");
    window->findChild<QPushButton*>("ButtonAssociate")->click();
    EXPECT_EQ(p.form->Settings().ExtsAss, ".mp3 .ogg ");
    TMimeAppsList list(apptest::ReadFile(home.MimeApps()));
    EXPECT_EQ(list.Get("Default Applications", "audio/mpeg").value_or(""), "orvella-player.desktop;");
    EXPECT_EQ(list.Get("Default Applications", "audio/ogg").value_or(""), "orvella-player.desktop;");
    EXPECT_EQ(list.Get("Default Applications", "video/mp4").value_or(""), "mpv.desktop;");
    p.Close();
  }
  EXPECT_NE(dir.Read("OrvellaPlayer.ini").find("ExtsAss=.mp3 .ogg "), std::string::npos);
}

TEST(SettingsPage, AssociateWritesTheTicksTogetherSoSharedTypesFollowAnyTick) {
  apptest::ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nExtsAss=.mp3 \r\n");
  XdgHome home;
  home.WriteMimeApps(kUserFile);
  platform::MessageRecorder rec;
  apptest::Player p({}, false);
  auto assoc = app::desktop::InstallDesktopIntegration(*p.windows, home.Folders());
  assoc->SetMimeDatabaseUpdater(nullptr);
  p.form->show();
  auto* page = dynamic_cast<app::TFormSettings*>(p.windows->FormSettings.get());
  ASSERT_NE(page, nullptr);
  page->show();
  QListWidget* list = page->ListViewFiles();
  for (int i = 0; i < list->count(); ++i) {
    const std::string ext = list->item(i)->text().toStdString();
    list->item(i)->setCheckState(ext == ".mpg" || ext == ".mp3" ? Qt::Checked : Qt::Unchecked);
  }
  page->findChild<QPushButton*>("ButtonAssociate")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(home.MimeApps()) &&
                                           apptest::ReadFile(home.MimeApps()) != kUserFile; }, 10000));
  TMimeAppsList list2(apptest::ReadFile(home.MimeApps()));
  // .vob, unticked and later in the list, shares video/mpeg with the ticked .mpg.
  EXPECT_EQ(list2.Get("Default Applications", "video/mpeg").value_or(""), "orvella-player.desktop;");
  EXPECT_EQ(list2.Get("Default Applications", "audio/mpeg").value_or(""), "orvella-player.desktop;");
  EXPECT_EQ(list2.Get("Default Applications", "video/mp4").value_or(""), "mpv.desktop;");
  EXPECT_EQ(p.form->Settings().ExtsAss, ".mp3 .mpg ");
  p.Close();
}

TEST(EnqueueArgument, AppendsToTheLastPlaylistWithoutPlaying) {
  apptest::ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  dir.Write("data/Default.plf", "One|/music/one.mp3|3:00\r\n");
  platform::MessageRecorder rec;
  apptest::Player p({"-enqueue", "/music/My", "Song.mp3"});
  const auto& entries = p.windows->Playlist->Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].File, "/music/one.mp3");
  EXPECT_EQ(entries[1].File, "/music/My Song.mp3");
  ASSERT_NE(p.form->Playback(), nullptr);
  EXPECT_EQ(p.form->Playback()->Control().PlayMode, 0);
  EXPECT_TRUE(p.form->Playback()->Control().CurrentFile.empty());
}

TEST(FirstRun, ClosingWhileTheAssociationWindowWaitsKeepsTheLastPlaylist) {
  apptest::ProgramDir dir;
  const std::string kept = "One|/music/one.mp3|3:00\r\nTwo|/music/two.mp3|4:00\r\n";
  dir.Write("data/Default.plf", kept);
  platform::MessageRecorder rec;
  {
    apptest::Player p({}, false);
    // A termination request while the first run's window waits closes the program
    // before the last playlist was loaded.
    p.form->ShowModal = [&p](QWidget*) { p.form->close(); };
    p.form->show();
    EXPECT_TRUE(p.closed);
    EXPECT_TRUE(p.windows->Playlist->Entries().empty());
  }
  EXPECT_EQ(dir.Read("data/Default.plf"), kept);
  // The next start offers the step again and then has the playlist.
  apptest::Player q;
  EXPECT_EQ(q.windows->Playlist->Count(), 2);
}

// A fresh install into a temporary prefix: the tree, the launcher, a valid
// menu entry and the icon; the installed player starts from the launcher,
// plays, and keeps its settings in the user's folders, not beside the program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <filesystem>

#include "../engine/EngineTestUtil.h"

namespace fs = std::filesystem;
using namespace enginetest;

namespace {

struct TempDir {
  TempDir() {
    char tmpl[] = "/tmp/orvella-install-XXXXXX";
    path = std::string(mkdtemp(tmpl)) + "/";
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string path;
};

}  // namespace

TEST(Install, AFreshInstallStartsPlaysAndKeepsItsSettingsInTheUsersFolders) {
  int argc = 1;
  char name[] = "install_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  TempDir tmp;
  const std::string prefix = tmp.path + "pre fix";
  int status = -1;
  const std::string out = enginetest::Run("cmake --install " + Quote(ORVELLA_BINARY_DIR) + " --prefix " + Quote(prefix), &status);
  ASSERT_EQ(status, 0) << out;

  const std::string program = prefix + "/lib/orvella-player/";
  for (const char* f : {"OrvellaPlayer", "orvella", "bass.so", "language/English.ini", "skins/default/bg_eq.bmp",
                        ".installed"})
    EXPECT_TRUE(fs::exists(program + f)) << f;
  EXPECT_EQ(fs::canonical(prefix + "/bin/orvella-player"), fs::canonical(program + "OrvellaPlayer"));
  EXPECT_TRUE(fs::exists(prefix + "/share/icons/hicolor/scalable/apps/orvella-player.svg"));
  const std::string entry = prefix + "/share/applications/orvella-player.desktop";
  ASSERT_TRUE(fs::exists(entry));
  EXPECT_NE(ReadFile(entry).find("Exec=\"" + program + "OrvellaPlayer\" %f\n"), std::string::npos) << ReadFile(entry);
  if (enginetest::Run("command -v desktop-file-validate") != "") {
    const std::string v = enginetest::Run("desktop-file-validate " + Quote(entry), &status);
    EXPECT_EQ(status, 0) << v;
    EXPECT_EQ(v, "");
  }

  // The user's folders, with settings that skip the first-run window.
  const std::string config = tmp.path + "config", data = tmp.path + "data";
  fs::create_directories(config + "/orvella-player");
  fs::create_directories(data);
  WriteFile(config + "/orvella-player/OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nvolume=200\r\n");
  // Long enough that the close below comes while it plays, not while its end drains.
  const std::string tone = SineWav(20.0, 440);
  ASSERT_FALSE(tone.empty());
  const std::string capture = tmp.path + "heard.wav";

  QProcess player;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(config));
  env.insert("XDG_DATA_HOME", QString::fromStdString(data));
  env.insert("ORVELLA_BASS_CAPTURE", QString::fromStdString(capture));
  env.remove("DBUS_SESSION_BUS_ADDRESS");
  player.setProcessEnvironment(env);
  player.start(QString::fromStdString(prefix + "/bin/orvella-player"), {QString::fromStdString(tone)});
  ASSERT_TRUE(player.waitForStarted(20000));
  // About a second of 16-bit stereo at 44.1 kHz, captured in real time.
  bool heard = false;
  for (int waited = 0; waited < 30000 && !heard; waited += 50) {
    QTest::qWait(50);
    std::error_code ec;
    heard = fs::exists(capture) && fs::file_size(capture, ec) > 150000;
  }
  EXPECT_TRUE(heard) << player.readAllStandardError().toStdString();
  player.terminate();  // ends like a user's close: the settings are written
  ASSERT_TRUE(player.waitForFinished(20000));
  EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();

  const std::string settings = ReadFile(config + "/orvella-player/OrvellaPlayer.ini");
  EXPECT_NE(settings.find("volume=200"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Left="), std::string::npos) << settings;
  EXPECT_FALSE(fs::exists(program + "OrvellaPlayer.ini"));
  // The playlist of this run is kept too, in the user's data folder; nothing lands in the program folder.
  const std::string playlist = ReadFile(data + "/orvella-player/Default.plf");
  EXPECT_NE(playlist.find("|" + tone + "|"), std::string::npos) << playlist;
  if (fs::exists(program + "data/Default.plf")) {
    EXPECT_EQ(ReadFile(program + "data/Default.plf").find(tone), std::string::npos);
  }
}

// A fresh install into a temporary prefix: the tree, the launcher, a valid
// menu entry and the icon; the installed player starts from the launcher,
// plays, and keeps its settings in the user's folders, not beside the program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <filesystem>
#include <map>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Waits (at most 30 s) until the capture holds about a second of 16-bit stereo at 44.1 kHz,
// written in real time by a player that plays.
bool CaptureHeard(const std::string& capture) {
  for (int waited = 0; waited < 30000; waited += 50) {
    std::error_code ec;
    if (fs::exists(capture) && fs::file_size(capture, ec) > 150000) return true;
    QTest::qWait(50);
  }
  return false;
}

// Every path under `root` with its kind, size and modification time.
std::map<std::string, std::string> TreeState(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    out[e.path().string()] = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                             std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  return out;
}

// Waits (at most 30 s) until a file in `folder` named `name` was opened for reading and closed.
class ReadWatch {
 public:
  ReadWatch(const std::string& folder, const std::string& name) : name_(name) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) ::inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_NOWRITE);
  }
  ~ReadWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Wait() {
    for (int waited = 0; fd_ >= 0 && waited < 30000; waited += 100) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      alignas(inotify_event) char buf[4096];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      for (ssize_t i = 0; i < n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buf + i);
        if (ev->len > 0 && name_ == ev->name) return true;
        i += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      }
    }
    return false;
  }

 private:
  int fd_ = -1;
  std::string name_;
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
  EXPECT_TRUE(CaptureHeard(capture)) << player.readAllStandardError().toStdString();
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

// A prefix the user cannot write (no marker file: the folder's permissions
// decide): the playlist and settings go to the user's folders, survive a
// restart, and not a byte changes under the prefix.
TEST(Install, AReadOnlyInstallKeepsItsPlaylistAcrossRestartsAndWritesNothingUnderThePrefix) {
  // root writes through any permission: the player then runs as an ordinary user.
  std::vector<std::string> runAs;
  if (::geteuid() == 0) {
    if (enginetest::Run("command -v setpriv") == "") GTEST_SKIP() << "running as root without setpriv";
    runAs = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  }
  int argc = 1;
  char name[] = "install_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  TempDir tmp;
  fs::permissions(tmp.path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
  const std::string prefix = tmp.path + "ro prefix";
  int status = -1;
  const std::string out = enginetest::Run("cmake --install " + Quote(ORVELLA_BINARY_DIR) + " --prefix " + Quote(prefix), &status);
  ASSERT_EQ(status, 0) << out;
  const std::string program = prefix + "/lib/orvella-player/";
  fs::remove(program + ".installed");
  ASSERT_EQ(enginetest::Run("chmod -R a-w " + Quote(prefix) + " && echo ok"), "ok\n");
  struct Writable {
    std::string path;
    ~Writable() { enginetest::Run("chmod -R u+w " + Quote(path)); }
  } restore{prefix};
  const auto before = TreeState(prefix);

  const std::string home = tmp.path + "home";
  for (const char* sub : {"", "/config", "/data", "/cache"}) {
    fs::create_directories(home + sub);
    fs::permissions(home + sub, fs::perms::all);
  }
  const std::string config = home + "/config", data = home + "/data";
  const std::string first = SineWav(20.0, 440), second = SineWav(2.0, 880);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  const std::string capture = home + "/heard.wav";

  auto start = [&](QProcess& player, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(home));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(config));
    env.insert("XDG_DATA_HOME", QString::fromStdString(data));
    env.insert("XDG_CACHE_HOME", QString::fromStdString(home + "/cache"));
    env.insert("ORVELLA_BASS_CAPTURE", QString::fromStdString(capture));
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    player.setProcessEnvironment(env);
    QStringList all;
    for (const auto& a : runAs) all << QString::fromStdString(a);
    all << QString::fromStdString(prefix + "/bin/orvella-player") << args;
    player.start(all.takeFirst(), all);
    return player.waitForStarted(20000);
  };
  auto stop = [](QProcess& player) {
    player.terminate();  // ends like a user's close: settings and playlist are written
    if (!player.waitForFinished(20000)) return std::string("did not end");
    if (player.exitStatus() != QProcess::NormalExit || player.exitCode() != 0)
      return "exit " + std::to_string(player.exitCode()) + ": " + player.readAllStandardError().toStdString();
    return std::string();
  };

  // First start: the first-run window is skipped by the user's own settings.
  fs::create_directories(config + "/orvella-player");
  WriteFile(config + "/orvella-player/OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nvolume=180\r\n");
  enginetest::Run("chmod -R a+rwX " + Quote(config));
  {
    QProcess player;
    ASSERT_TRUE(start(player, {QString::fromStdString(first)}));
    EXPECT_TRUE(CaptureHeard(capture)) << player.readAllStandardError().toStdString();
    EXPECT_EQ(stop(player), "");
  }
  const std::string playlistFile = data + "/orvella-player/Default.plf";
  ASSERT_NE(ReadFile(playlistFile).find("|" + first + "|"), std::string::npos) << ReadFile(playlistFile);
  EXPECT_NE(ReadFile(config + "/orvella-player/OrvellaPlayer.ini").find("Left="), std::string::npos);

  // Second start, as the menu entry's enqueue action: the kept playlist comes back and the file joins it.
  {
    ReadWatch loaded(data + "/orvella-player", "Default.plf");
    QProcess player;
    ASSERT_TRUE(start(player, {"-enqueue", QString::fromStdString(second)}));
    EXPECT_TRUE(loaded.Wait()) << player.readAllStandardError().toStdString();
    // The enqueued file is added right after the load, in the same start-up step.
    QTest::qWait(500);
    EXPECT_EQ(stop(player), "");
  }
  const std::string playlist = ReadFile(playlistFile);
  const size_t a = playlist.find("|" + first + "|"), b = playlist.find("|" + second + "|");
  EXPECT_NE(a, std::string::npos) << playlist;
  EXPECT_NE(b, std::string::npos) << playlist;
  EXPECT_LT(a, b) << playlist;
  const std::string settings = ReadFile(config + "/orvella-player/OrvellaPlayer.ini");
  EXPECT_NE(settings.find("volume=180"), std::string::npos) << settings;

  // Nothing was created, changed or removed under the prefix.
  EXPECT_EQ(TreeState(prefix), before);
}

// MPRIS 2 on a private session bus (the test runs under dbus-run-session):
// bus calls drive the real engine, Metadata carries the playing file's tags,
// PropertiesChanged follows a track change, Volume reaches the volume bar.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QSlider>
#include <QTest>
#include <filesystem>

#include "../engine/EngineTestUtil.h"
#include "AppTestUtil.h"
#include "app/Main.h"
#include "app/MainPlayback.h"
#include "app/PlaybackControl.h"
#include "app/desktop/Mpris.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "playlist/Playlist.h"

using namespace enginetest;

// Records the PropertiesChanged signals of the player object.
class SignalSpy : public QObject {
  Q_OBJECT
 public:
  std::vector<QVariantMap> changes;
  std::vector<qlonglong> seeked;
 public slots:
  void Seeked(qlonglong position) { seeked.push_back(position); }
  void Changed(const QString& iface, const QVariantMap& changed, const QStringList&) {
    if (iface == "org.mpris.MediaPlayer2.Player") changes.push_back(changed);
  }
};

namespace {

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000) {
  for (int waited = 0; !done(); waited += 10) {
    if (waited > timeoutMs) return false;
    QTest::qWait(10);
  }
  return true;
}

std::string TaggedMp3(const std::string& name, const std::string& title, int hz, int seconds = 3) {
  return Media(name + ".mp3", "ffmpeg -v error -y -f lavfi -i sine=frequency=" + std::to_string(hz) +
                                  ":duration=" + std::to_string(seconds) + " -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k -metadata title=" +
                                  Quote(title) +
                                  " -metadata artist='The Testers' -metadata album='Bus Signals' -id3v2_version 3 {out}");
}

// A client on its own connection; calls are answered while the test pumps events.
struct Client {
  Client() : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "mpris-test-client")) {}
  ~Client() { QDBusConnection::disconnectFromBus("mpris-test-client"); }
  QDBusMessage Call(const QString& service, const QString& iface, const QString& method, QVariantList args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(service, "/org/mpris/MediaPlayer2", iface, method);
    m.setArguments(args);
    QDBusPendingCall call = bus.asyncCall(m, 10000);
    WaitFor([&] { return call.isFinished(); }, 15000);
    return call.reply();
  }
  QVariant Get(const QString& service, const QString& name) {
    QDBusMessage r = Call(service, "org.freedesktop.DBus.Properties", "Get", {"org.mpris.MediaPlayer2.Player", name});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) return {};
    return r.arguments().first().value<QDBusVariant>().variant();
  }
  QDBusConnection bus;
};

QVariantMap AsMap(const QVariant& v) {
  if (v.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
  return v.toMap();
}

}  // namespace

TEST(Mpris, BusControlsTheRealEngineAndReportsTagsAndChanges) {
  if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus (run under dbus-run-session)";
  const std::string first = TaggedMp3("mpris_first", "Bus Song", 440);
  const std::string second = TaggedMp3("mpris_second", "Second Song", 660);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  apptest::ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder messages;
  CaptureOutput capture(dir.File("out.wav"), 2);
  apptest::Player p;
  app::desktop::TMprisService mpris(*p.windows);
  ASSERT_TRUE(mpris.Registered());
  const QString service = mpris.ServiceName();
  EXPECT_EQ(service, "org.mpris.MediaPlayer2.orvella");
  p.windows->Playlist->AppendEntry({"1. ", "first", "", first});
  p.windows->Playlist->AppendEntry({"2. ", "second", "", second});

  Client client;
  SignalSpy spy;
  ASSERT_TRUE(client.bus.connect(service, "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
                                 "PropertiesChanged", &spy, SLOT(Changed(QString, QVariantMap, QStringList))));
  EXPECT_EQ(client.Get(service, "PlaybackStatus").toString(), "Stopped");

  QDBusMessage r = client.Call(service, "org.mpris.MediaPlayer2.Player", "PlayPause");
  EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
  engine::TZOZUZivade* eng = p.form->Engine();
  ASSERT_TRUE(WaitFor([&] { return eng->Mode() == engine::plmPlaying; }));
  EXPECT_EQ(eng->StreamName(), first);
  // The capture output receives what would be heard.
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(dir.File("out.wav")) &&
                                   std::filesystem::file_size(dir.File("out.wav")) > 44100; }));
  EXPECT_EQ(client.Get(service, "PlaybackStatus").toString(), "Playing");

  QVariantMap meta = AsMap(client.Get(service, "Metadata"));
  EXPECT_EQ(meta.value("xesam:title").toString(), "Bus Song");
  EXPECT_EQ(meta.value("xesam:artist").toStringList(), QStringList{"The Testers"});
  EXPECT_EQ(meta.value("xesam:album").toString(), "Bus Signals");
  EXPECT_NEAR(meta.value("mpris:length").toLongLong(), 3000000, 100000);
  EXPECT_EQ(meta.value("xesam:url").toString().toStdString(), "file://" + first);
  EXPECT_TRUE(meta.contains("mpris:trackid"));

  spy.changes.clear();
  r = client.Call(service, "org.mpris.MediaPlayer2.Player", "Next");
  EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(WaitFor([&] {
    for (const QVariantMap& c : spy.changes)
      if (AsMap(c.value("Metadata")).value("xesam:title").toString() == "Second Song") return true;
    return false;
  }));
  EXPECT_EQ(eng->StreamName(), second);
  EXPECT_EQ(p.windows->Playlist->PlayingIndex, 1);

  // Volume from the bus moves the volume bar, whose handler sets the engine.
  r = client.Call(service, "org.freedesktop.DBus.Properties", "Set",
                  {"org.mpris.MediaPlayer2.Player", "Volume", QVariant::fromValue(QDBusVariant(0.5))});
  EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(p.form->tbVolume()->value(), 128);
  EXPECT_EQ(p.form->Settings().volume, 128);
  EXPECT_EQ(eng->Volume(), 128u);

  r = client.Call(service, "org.mpris.MediaPlayer2.Player", "Pause");
  ASSERT_TRUE(WaitFor([&] { return eng->Mode() == engine::plmPaused; }));
  EXPECT_EQ(client.Get(service, "PlaybackStatus").toString(), "Paused");
  r = client.Call(service, "org.mpris.MediaPlayer2.Player", "Play");
  ASSERT_TRUE(WaitFor([&] { return eng->Mode() == engine::plmPlaying; }));
  EXPECT_EQ(eng->StreamName(), second);
  r = client.Call(service, "org.mpris.MediaPlayer2.Player", "Stop");
  ASSERT_TRUE(WaitFor([&] { return eng->Mode() != engine::plmPlaying; }));
  EXPECT_EQ(client.Get(service, "PlaybackStatus").toString(), "Stopped");

  // Changes made in the player's own windows are told too, each once: the volume bar and the
  // shuffle setting.
  spy.changes.clear();
  p.form->tbVolume()->setValue(64);
  ASSERT_TRUE(WaitFor([&] {
    for (const QVariantMap& c : spy.changes)
      if (c.contains("Volume") && std::abs(c.value("Volume").toDouble() - 64 / 255.0) < 1e-6) return true;
    return false;
  }, 5000));
  const bool shuffle = !p.form->Settings().shuffle;
  p.form->Settings().shuffle = shuffle;
  auto isShuffle = [&](const QVariantMap& c) { return c.contains("Shuffle") && c.value("Shuffle").toBool() == shuffle; };
  ASSERT_TRUE(WaitFor([&] { return std::any_of(spy.changes.begin(), spy.changes.end(), isShuffle); }, 5000));
  QTest::qWait(700);  // nothing moves now: no further notice
  // (A notice of the earlier volume may still arrive after the clearing above: only these count.)
  int volumeNotices = 0, shuffleNotices = 0;
  for (const QVariantMap& c : spy.changes) {
    volumeNotices += c.contains("Volume") && std::abs(c.value("Volume").toDouble() - 64 / 255.0) < 1e-6;
    shuffleNotices += isShuffle(c);
  }
  EXPECT_EQ(volumeNotices, 1);
  EXPECT_EQ(shuffleNotices, 1);

  p.Close();
}

TEST(Mpris, SeekSetPositionPreviousAndOpenUriFromTheBus) {
  if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus (run under dbus-run-session)";
  const std::string first = TaggedMp3("mpris_long_first", "Long One", 330, 40);
  const std::string second = TaggedMp3("mpris_long_second", "Long Two", 550, 40);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  apptest::ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder messages;
  SilentOutput silent;
  apptest::Player p;
  app::desktop::TMprisService mpris(*p.windows);
  ASSERT_TRUE(mpris.Registered());
  const QString service = mpris.ServiceName();
  p.windows->Playlist->AppendEntry({"1. ", "first", "", first});
  p.windows->Playlist->AppendEntry({"2. ", "second", "", second});
  Client client;
  SignalSpy spy;
  ASSERT_TRUE(client.bus.connect(service, "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player", "Seeked", &spy,
                                 SLOT(Seeked(qlonglong))));
  const QString player = "org.mpris.MediaPlayer2.Player";
  client.Call(service, player, "Play");
  engine::TZOZUZivade* eng = p.form->Engine();
  ASSERT_TRUE(WaitFor([&] { return eng->Mode() == engine::plmPlaying; }));
  const QVariant trackId = AsMap(client.Get(service, "Metadata")).value("mpris:trackid");
  ASSERT_TRUE(trackId.canConvert<QDBusObjectPath>());

  // SetPosition to 30 s of the current track: the engine jumps and Seeked tells it.
  QDBusMessage r = client.Call(service, player, "SetPosition", {trackId, QVariant::fromValue(qlonglong(30000000))});
  EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
  EXPECT_GE(eng->GetPosition(), 29900u);
  ASSERT_TRUE(WaitFor([&] { return !spy.seeked.empty(); }));
  EXPECT_GE(spy.seeked.back(), 29900000);
  EXPECT_LT(spy.seeked.back(), 40000000);

  // Seek back 25 s, relative to where it plays now.
  r = client.Call(service, player, "Seek", {QVariant::fromValue(qlonglong(-25000000))});
  EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage);
  EXPECT_LT(eng->GetPosition(), 29900u);
  EXPECT_GE(eng->GetPosition(), 4900u);
  ASSERT_TRUE(WaitFor([&] { return spy.seeked.size() >= 2; }));

  // A stale track id and a position past the end are ignored; no Seeked follows.
  const size_t seeks = spy.seeked.size();
  const uint32_t before = eng->GetPosition();
  client.Call(service, player, "SetPosition",
              {QVariant::fromValue(QDBusObjectPath("/org/orvella/Player/Track/999999")), QVariant::fromValue(qlonglong(1000000))});
  client.Call(service, player, "SetPosition", {trackId, QVariant::fromValue(qlonglong(90000000))});
  EXPECT_GE(eng->GetPosition(), before);
  QTest::qWait(200);
  EXPECT_EQ(spy.seeked.size(), seeks);
  EXPECT_EQ(eng->StreamName(), first);

  // Seeking past the end moves on to the next track, as the interface asks.
  client.Call(service, player, "Seek", {QVariant::fromValue(qlonglong(100000000))});
  ASSERT_TRUE(WaitFor([&] { return eng->StreamName() == second && eng->Mode() == engine::plmPlaying; }));
  EXPECT_EQ(p.windows->Playlist->PlayingIndex, 1);

  client.Call(service, player, "Previous");
  ASSERT_TRUE(WaitFor([&] { return eng->StreamName() == first && eng->Mode() == engine::plmPlaying; }));
  EXPECT_EQ(p.windows->Playlist->PlayingIndex, 0);

  // Opening addresses from the bus is not offered: an error, not a silent success.
  r = client.Call(service, player, "OpenUri", {QString::fromStdString("file://" + second)});
  EXPECT_EQ(r.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(r.errorName(), "org.freedesktop.DBus.Error.NotSupported");
  EXPECT_EQ(p.windows->Playlist->Count(), 2);
  p.Close();
}

TEST(MprisNoBus, ThePlayerRunsWithoutASessionBus) {
  if (QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "a session bus is there";
  apptest::ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder messages;
  apptest::Player p;
  app::desktop::TMprisService mpris(*p.windows);
  EXPECT_FALSE(mpris.Registered());
  for (const auto& m : messages.Messages()) ADD_FAILURE() << "message shown: " << m.text;
  p.Close();
  EXPECT_TRUE(p.closed);
}

#include "MprisTest.moc"

#include "app/desktop/Mpris.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <unistd.h>

#include "app/AppWindows.h"
#include "app/Main.h"
#include "app/MainPlayback.h"
#include "app/PlaybackControl.h"
#include "engine/ZOZUZivade.h"
#include "playlist/Extensions.h"
#include "playlist/Playlist.h"

namespace app::desktop {

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");

const char* kIntrospection = R"(  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition"><arg direction="in" name="TrackId" type="o"/><arg direction="in" name="Position" type="x"/></method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="LoopStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="read"/>
    <property name="Shuffle" type="b" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
)";

QString TrackPath(int serial) { return QStringLiteral("/org/orvella/Player/Track/%1").arg(serial); }

}  // namespace

// The object at /org/mpris/MediaPlayer2. A virtual object answers every
// interface from one handler, so no generated adaptor code is needed.
class TMprisObject : public QDBusVirtualObject {
 public:
  explicit TMprisObject(TMprisService& service) : service_(service) {}

  QString introspect(const QString&) const override { return QString::fromLatin1(kIntrospection); }

  bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
    const QString iface = m.interface(), member = m.member();
    const QList<QVariant> args = m.arguments();
    if (iface == kProps) {
      if (member == "Get" && args.size() == 2) {
        QVariantMap all = Properties(args[0].toString());
        const QString name = args[1].toString();
        if (!all.contains(name)) return Error(m, c, "org.freedesktop.DBus.Error.UnknownProperty", name);
        c.send(m.createReply(QVariant::fromValue(QDBusVariant(all.value(name)))));
        return true;
      }
      if (member == "GetAll" && args.size() == 1) {
        c.send(m.createReply(Properties(args[0].toString())));
        return true;
      }
      if (member == "Set" && args.size() == 3) {
        if (args[0].toString() == kPlayer && args[1].toString() == "Volume") {
          SetVolume(args[2].value<QDBusVariant>().variant().toDouble());
          c.send(m.createReply());
          return true;
        }
        return Error(m, c, "org.freedesktop.DBus.Error.PropertyReadOnly", args[1].toString());
      }
      return false;
    }
    if (iface == kRoot || (iface.isEmpty() && (member == "Raise" || member == "Quit"))) {
      TForm1* form = service_.windows_.Form1.get();
      if (member == "Raise") {
        form->showNormal();
        form->raise();
        form->activateWindow();
      } else if (member == "Quit") {
        // After the reply: closing ends the program.
        QTimer::singleShot(0, form, [form] { form->close(); });
      } else {
        return false;
      }
      c.send(m.createReply());
      return true;
    }
    if (iface == kPlayer || iface.isEmpty()) {
      if (member == "OpenUri")
        return Error(m, c, "org.freedesktop.DBus.Error.NotSupported", "the player opens files through its own windows");
      bool seeked = false;
      if (!Transport(member, args, seeked)) return false;
      c.send(m.createReply());
      if (seeked) {
        // A client keeps its own position clock; a jump must be told.
        engine::TZOZUZivade* engine = service_.windows_.Form1->Engine();
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kPlayer, "Seeked");
        signal << qlonglong(engine ? engine->GetPosition() : 0) * 1000;
        c.send(signal);
      }
      Notify(c);
      return true;
    }
    return false;
  }

  // Sends PropertiesChanged for what differs from the last notice.
  void Notify(const QDBusConnection& c) {
    if (!InputsMoved()) return;
    QVariantMap now;
    now["PlaybackStatus"] = service_.PlaybackStatus();
    now["Metadata"] = service_.Metadata();
    now["Volume"] = service_.Volume();
    const TSettings& s = service_.windows_.Form1->Settings();
    now["Shuffle"] = s.shuffle;
    now["LoopStatus"] = s.runRepeat ? QStringLiteral("Playlist") : QStringLiteral("None");
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
      if (last_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    last_ = now;
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kProps, "PropertiesChanged");
    signal << kPlayer << changed << QStringList();
    c.send(signal);
  }

 private:
  bool Error(const QDBusMessage& m, const QDBusConnection& c, const char* name, const QString& text) {
    c.send(m.createErrorReply(QString::fromLatin1(name), text));
    return true;
  }

  TPlaybackControl* Control() const {
    TMainPlayback* p = service_.windows_.Form1->Playback();
    return p ? &p->Control() : nullptr;
  }

  // Runs a Player method; `seeked` tells whether the position jumped within the track.
  bool Transport(const QString& member, const QList<QVariant>& args, bool& seeked) {
    TPlaybackControl* control = Control();
    engine::TZOZUZivade* engine = service_.windows_.Form1->Engine();
    const engine::TPlayerMode mode = engine ? engine->Mode() : engine::plmStandby;
    auto play = [&] {
      if (!control) return;
      // The Pause command resumes a paused stream; Play starts the playlist's entry.
      if (mode == engine::plmPaused && control->PlayMode == 1) control->Pause();
      else if (mode != engine::plmPlaying) control->StartPlayback();
    };
    if (member == "Play") {
      play();
    } else if (member == "Pause") {
      if (control && mode == engine::plmPlaying) control->Pause();
    } else if (member == "PlayPause") {
      if (control && mode == engine::plmPlaying) control->Pause();
      else play();
    } else if (member == "Stop") {
      if (control) control->Stop();
    } else if (member == "Next") {
      if (control) control->Next();
    } else if (member == "Previous") {
      if (control) control->Previous();
    } else if (member == "Seek" && args.size() == 1) {
      if (engine && control && control->PlayMode == 1) {
        const qint64 target = qint64(engine->GetPosition()) + args[0].toLongLong() / 1000;
        if (target >= qint64(engine->GetLength())) {
          control->Next();
        } else {
          engine->SetPosition(uint32_t(std::max<qint64>(target, 0)));
          seeked = true;
        }
      }
    } else if (member == "SetPosition" && args.size() == 2) {
      const qint64 ms = args[1].toLongLong() / 1000;
      // Stale track ids are ignored, as the interface asks.
      if (engine && control && control->PlayMode == 1 && args[0].value<QDBusObjectPath>().path() == TrackPath(serial_) &&
          ms >= 0 && ms <= qint64(engine->GetLength())) {
        engine->SetPosition(uint32_t(ms));
        seeked = true;
      }
    } else {
      return false;
    }
    return true;
  }

  void SetVolume(double v) {
    if (!std::isfinite(v)) return;
    const int position = int(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    // The volume bar's own change handler carries it to the engine.
    if (QSlider* bar = service_.windows_.Form1->tbVolume()) bar->setValue(position);
  }

  QVariantMap Properties(const QString& iface) const {
    QVariantMap p;
    if (iface == kRoot) {
      p["CanQuit"] = true;
      p["CanRaise"] = true;
      p["HasTrackList"] = false;
      p["Identity"] = QStringLiteral("Orvella Player");
      p["DesktopEntry"] = QStringLiteral("orvella-player");
      p["SupportedUriSchemes"] = QStringList{"file", "http", "mms"};
      p["SupportedMimeTypes"] = QStringList{};
    } else if (iface == kPlayer) {
      const TSettings& s = service_.windows_.Form1->Settings();
      engine::TZOZUZivade* engine = service_.windows_.Form1->Engine();
      p["PlaybackStatus"] = service_.PlaybackStatus();
      p["LoopStatus"] = s.runRepeat ? QStringLiteral("Playlist") : QStringLiteral("None");
      p["Rate"] = 1.0;
      p["Shuffle"] = s.shuffle;
      p["Metadata"] = service_.Metadata();
      p["Volume"] = service_.Volume();
      p["Position"] = qlonglong(engine && engine->Mode() >= engine::plmStopped ? engine->GetPosition() : 0) * 1000;
      p["MinimumRate"] = 1.0;
      p["MaximumRate"] = 1.0;
      p["CanGoNext"] = true;
      p["CanGoPrevious"] = true;
      p["CanPlay"] = true;
      p["CanPause"] = true;
      p["CanSeek"] = true;
      p["CanControl"] = true;
    }
    return p;
  }

 public:
  int serial_ = 0;          // track id of the current track
  std::string lastFile_;    // the file the serial belongs to

 private:
  // Whether anything the notice is made of moved since the last look. On nearly every tick nothing
  // has, and the property maps are then neither built nor compared.
  bool InputsMoved() {
    bool moved = !looked_;
    looked_ = true;
    auto take = [&moved](auto& seen, const auto& now) {
      if (seen == now) return;
      seen = now;
      moved = true;
    };
    TForm1& form = *service_.windows_.Form1;
    engine::TZOZUZivade* engine = form.Engine();
    take(seen_.mode, engine ? int(engine->Mode()) : -1);
    const TSettings& s = form.Settings();
    take(seen_.volume, s.volume);
    take(seen_.shuffle, s.shuffle);
    take(seen_.repeat, s.runRepeat);
    TMainPlayback* playback = form.Playback();
    take(seen_.playMode, playback ? playback->Control().PlayMode : -1);
    if (playback) {
      take(seen_.file, playback->Control().CurrentFile);
      take(seen_.title, playback->Control().CurrentTitle);
    }
    if (engine) {
      const engine::TStreamInfo& info = engine->StreamInfo();
      take(seen_.infoFile, info.FileName);
      take(seen_.infoTitle, info.Title);
      take(seen_.artist, info.Artist);
      take(seen_.album, info.Album);
      take(seen_.duration, info.Duration);
    }
    return moved;
  }

  TMprisService& service_;
  QVariantMap last_;
  struct {
    int mode = 0, volume = 0, playMode = 0;
    int32_t duration = 0;
    bool shuffle = false, repeat = false;
    std::string file, title, infoFile, infoTitle, artist, album;
  } seen_;
  bool looked_ = false;
};

TMprisService::TMprisService(TApplicationWindows& windows) : windows_(windows) {
  object_ = std::make_unique<TMprisObject>(*this);
  timerOwner_ = std::make_unique<QObject>();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  serviceName_ = QStringLiteral("org.mpris.MediaPlayer2.orvella");
  if (bus.interface()->isServiceRegistered(serviceName_))
    serviceName_ += QStringLiteral(".instance%1").arg(::getpid());
  if (!bus.registerVirtualObject(kPath, object_.get(), QDBusConnection::SingleNode)) return;
  if (!bus.registerService(serviceName_)) {
    bus.unregisterObject(kPath);
    return;
  }
  registered_ = true;
  object_->Notify(bus);
  auto* timer = new QTimer(timerOwner_.get());
  QObject::connect(timer, &QTimer::timeout, timerOwner_.get(), [this] { object_->Notify(QDBusConnection::sessionBus()); });
  timer->start(250);
}

TMprisService::~TMprisService() {
  timerOwner_.reset();
  if (registered_) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(serviceName_);
    bus.unregisterObject(kPath);
  }
}

QString TMprisService::PlaybackStatus() const {
  engine::TZOZUZivade* engine = windows_.Form1 ? windows_.Form1->Engine() : nullptr;
  if (!engine) return QStringLiteral("Stopped");
  switch (engine->Mode()) {
    case engine::plmPlaying: return QStringLiteral("Playing");
    case engine::plmPaused: return QStringLiteral("Paused");
    default: return QStringLiteral("Stopped");
  }
}

QVariantMap TMprisService::Metadata() const {
  QVariantMap m;
  TMainPlayback* playback = windows_.Form1 ? windows_.Form1->Playback() : nullptr;
  engine::TZOZUZivade* engine = windows_.Form1 ? windows_.Form1->Engine() : nullptr;
  if (!playback || playback->Control().CurrentFile.empty()) return m;
  const TPlaybackControl& c = playback->Control();
  if (object_->lastFile_ != c.CurrentFile) {
    object_->lastFile_ = c.CurrentFile;
    ++object_->serial_;
  }
  m["mpris:trackid"] = QVariant::fromValue(QDBusObjectPath(TrackPath(object_->serial_)));
  const QString file = QString::fromStdString(c.CurrentFile);
  m["xesam:url"] = playlist::IsStreamAddress(c.CurrentFile) ? file : QUrl::fromLocalFile(file).toString();
  QString title = QString::fromStdString(c.CurrentTitle);
  if (engine && c.PlayMode == 1 && engine->StreamInfo().FileName == c.CurrentFile) {
    const engine::TStreamInfo& info = engine->StreamInfo();
    if (!info.Title.empty()) title = QString::fromStdString(info.Title);
    if (!info.Artist.empty()) m["xesam:artist"] = QStringList{QString::fromStdString(info.Artist)};
    if (!info.Album.empty()) m["xesam:album"] = QString::fromStdString(info.Album);
    if (info.Duration > 0) m["mpris:length"] = qlonglong(info.Duration) * 1000;
  }
  m["xesam:title"] = title;
  return m;
}

double TMprisService::Volume() const {
  return windows_.Form1 ? windows_.Form1->Settings().volume / 255.0 : 0.0;
}

}  // namespace app::desktop

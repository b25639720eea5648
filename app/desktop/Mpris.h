// MPRIS 2 on the session bus: "org.mpris.MediaPlayer2.orvella" (a second
// player takes ".instance<pid>") at /org/mpris/MediaPlayer2 with the
// interfaces org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player. Bus
// calls drive the same playback logic the main window's buttons use; a light
// timer on the UI thread notices what changed (status, track, volume, shuffle,
// repeat) and sends PropertiesChanged.
//
// Threads: UI thread only (Qt delivers the bus calls to the object's thread).
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>

namespace app {
class TApplicationWindows;
}

namespace app::desktop {

class TMprisObject;

class TMprisService {
 public:
  // Registers on the session bus; without a bus the service stays off, silently.
  explicit TMprisService(TApplicationWindows& windows);
  ~TMprisService();
  TMprisService(const TMprisService&) = delete;
  TMprisService& operator=(const TMprisService&) = delete;

  bool Registered() const { return registered_; }
  const QString& ServiceName() const { return serviceName_; }

  // What the bus sees now (also used by the change timer).
  QString PlaybackStatus() const;
  QVariantMap Metadata() const;
  double Volume() const;

 private:
  friend class TMprisObject;
  std::unique_ptr<TMprisObject> object_;
  std::unique_ptr<QObject> timerOwner_;
  TApplicationWindows& windows_;
  QString serviceName_;
  bool registered_ = false;
};

}  // namespace app::desktop

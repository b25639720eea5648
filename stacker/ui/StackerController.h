// The stacker's user-interface side when the host has a QApplication: lives on
// the host's GUI thread and owns the stacker window. Every member runs on the
// GUI thread.
#pragma once

#include <QObject>
#include <QPointer>

#include "stacker/Stacker.h"
#include "stacker/StackerSettings.h"
#include "stacker/ui/StackerWindow.h"

namespace pilvo {



class TStackerController : public QObject {
 public:
  TStackerController(TStacker* stacker, TDescriptionCache* cache);
  ~TStackerController() override;

  // Queues Start on the GUI thread's event loop; returns at once.
  bool StartQueued();
  // Creates the window at its saved place and loads the chain from plugin.ini.
  void Start();
  // Saves the settings and the chain and unloads it, then closes the window. A
  // start still queued is dropped and nothing is written (nothing was loaded).
  void Stop();

  TStackerWindow* Window() const { return window_; }
  bool Started() const { return started_; }

 private:
  TStacker* stacker_;
  TDescriptionCache* cache_;
  QPointer<TStackerWindow> window_;
  int generation_ = 0;
  bool started_ = false;
};

}  // namespace pilvo

#include "stacker/ui/StackerController.h"

#include <QMetaObject>

#include "stacker/ui/StackerWindow.h"

namespace pilvo {

TStackerController::TStackerController(TStacker* stacker, TDescriptionCache* cache)
    : stacker_(stacker), cache_(cache) {}

TStackerController::~TStackerController() { delete window_.data(); }

bool TStackerController::StartQueued() {
  int gen = ++generation_;
  return QMetaObject::invokeMethod(
      this, [this, gen] {
        if (gen == generation_ && !started_) Start();
      },
      Qt::QueuedConnection);
}

void TStackerController::Start() {
  started_ = true;
  const std::string& folder = stacker_->Opts().PluginFolder;
  window_ = new TStackerWindow(stacker_, cache_);
  window_->ApplySettings(ReadWindowSettings(SettingsPath(folder)));
  window_->show();
  stacker_->LoadChainText(ReadChainSetting(SettingsPath(folder)));
}

void TStackerController::Stop() {
  ++generation_;
  if (!started_) return;
  started_ = false;
  if (window_) {
    window_->SaveAndUnload();
    window_->hide();
    window_->deleteLater();
    window_ = nullptr;
  } else {
    WriteSettings(SettingsPath(stacker_->Opts().PluginFolder), nullptr, FormatChainText(stacker_->UnloadAll()));
  }
}

}  // namespace pilvo

// The equaliser window drives the engine's equaliser, effects and speed, and keeps
// the settings the main window writes at closing.
#include <QSlider>

#include "app/AppWindows.h"
#include "app/Forms.h"
#include "app/Main.h"
#include "engine/ZOZUZivade.h"

namespace app {

void TForm1::WireEqualiser() {
  TFormEq& eq = *windows_->FormEq;
  auto engineBits = [this] {
    uint32_t bits = 0;
    if (settings_.enableFlanger) bits |= TFormEq::kFlanger;
    if (settings_.enableEq) bits |= TFormEq::kEqualiser;
    if (settings_.enableEcho) bits |= TFormEq::kEcho;
    if (settings_.enableReverb) bits |= TFormEq::kReverb;
    if (settings_.enableRotate) bits |= TFormEq::kRotate;
    return bits;
  };
  eq.SetSwitches(engineBits() | (settings_.enableSpeed ? uint32_t(TFormEq::kSpeed) : 0u));
  eq.onBandChange = [this](int band, int position) {
    settings_.eqBand[band] = position;
    if (engine_) engine_->SetEQGain(band, float(-position));  // up (negative positions) is louder
  };
  eq.onSwitch = [this, engineBits, &eq](uint32_t bit, bool on) {
    switch (bit) {
      case TFormEq::kEqualiser: settings_.enableEq = on; break;
      case TFormEq::kFlanger: settings_.enableFlanger = on; break;
      case TFormEq::kEcho: settings_.enableEcho = on; break;
      case TFormEq::kReverb: settings_.enableReverb = on; break;
      case TFormEq::kRotate: settings_.enableRotate = on; break;
      case TFormEq::kSpeed: settings_.enableSpeed = on; break;
      default: return;
    }
    if (!engine_) return;
    if (bit == TFormEq::kSpeed)
      engine_->SetSpeed(on ? float(eq.LevelSlider(TFormEq::kSpeed)->value()) : 0.0f);
    else
      engine_->SetSoundEffects(engineBits());
  };
  eq.onLevel = [this](uint32_t which, int value) {
    if (!engine_) return;
    switch (which) {
      case TFormEq::kFlanger: engine_->SetFlangerLevel(uint16_t(value)); break;
      case TFormEq::kEcho: engine_->SetEchoLevel(uint16_t(value)); break;
      case TFormEq::kReverb: engine_->SetReverbLevel(uint16_t(value)); break;
      case TFormEq::kSpeed:
        if (settings_.enableSpeed) engine_->SetSpeed(float(value));
        break;
      default: break;
    }
  };
  if (engine_) engine_->SetSoundEffects(engineBits());
  eq.ApplyAllBands();
}

}  // namespace app

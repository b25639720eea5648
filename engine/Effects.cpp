// Equaliser and sound effects of the output channel.
#include <algorithm>
#include <cmath>

#include "engine/ZOZUZivade.h"

namespace engine {
namespace {

constexpr float kBandCentre[10] = {80, 170, 310, 600, 1000, 3000, 6000, 10000, 12000, 14000};
constexpr float kBandWidth[10] = {4, 4, 4, 4, 5, 6, 5, 4, 3, 3};  // semitones
constexpr float kPi = 3.14159265358979f;

}  // namespace

// Moves the sound between left and right: left x |sin a|, right x |cos a|, with the
// angle advancing 0.00003 per sample pair (a full sweep takes about 2.4 s at 44.1 kHz).
struct RotateProcessor {
  static void CALLBACK Process(HDSP, DWORD, void* buffer, DWORD length, void* user) {
    auto* angle = static_cast<std::atomic<float>*>(user);
    float a = angle->load(std::memory_order_relaxed);
    auto* s = static_cast<int16_t*>(buffer);
    for (DWORD i = 0; i + 1 < length / 2; i += 2) {
      s[i] = static_cast<int16_t>(std::lround(std::fabs(std::sin(a)) * s[i]));
      s[i + 1] = static_cast<int16_t>(std::lround(std::fabs(std::cos(a)) * s[i + 1]));
      a = std::fmod(a + 0.00003f, kPi);
    }
    angle->store(a, std::memory_order_relaxed);
  }
};

void TZOZUZivade::ResetEffectHandles() {
  // The library drops the effects with their channel: only forget the handles.
  eqFx_.fill(0);
  echoFx_ = reverbFx_ = flangerFx_ = 0;
  rotateDsp_ = 0;
}

bool TZOZUZivade::SetEQGain(int band, float gain) {
  if (!dx8EffectReady_ || band < 0 || band > 9) return false;
  gain = std::clamp(gain, -15.0f, 15.0f);
  eqGain_[band] = gain;
  if (!(effectBits_ & fxEqualiser) || !eqFx_[band]) return false;
  BASS_DX8_PARAMEQ p{};
  if (!bass_.BASS_FXGetParameters(eqFx_[band], &p)) return false;
  if (std::fabs(p.fGain - gain) <= 0.001f) return true;
  p.fCenter = kBandCentre[band];
  p.fBandwidth = kBandWidth[band];
  p.fGain = gain;
  return bass_.BASS_FXSetParameters(eqFx_[band], &p) != FALSE;
}

void TZOZUZivade::ApplyEffectLevel(HFX fx, DWORD type, uint16_t level) {
  if (!fx) return;
  switch (type) {
    case BASS_FX_DX8_ECHO: {
      BASS_DX8_ECHO p{};
      if (!bass_.BASS_FXGetParameters(fx, &p)) return;
      p.fWetDryMix = level * 1.2f;
      p.fFeedback = 30;
      bass_.BASS_FXSetParameters(fx, &p);
      break;
    }
    case BASS_FX_DX8_REVERB: {
      BASS_DX8_REVERB p{};
      if (!bass_.BASS_FXGetParameters(fx, &p)) return;
      p.fInGain = 0;
      p.fReverbMix = level * 0.5f - 16;
      p.fReverbTime = 1000;
      p.fHighFreqRTRatio = 0.1f;
      bass_.BASS_FXSetParameters(fx, &p);
      break;
    }
    case BASS_FX_DX8_FLANGER: {
      BASS_DX8_FLANGER p{};
      if (!bass_.BASS_FXGetParameters(fx, &p)) return;
      p.fWetDryMix = level * 1.5f;
      p.fDepth = 75;
      p.fFeedback = -60;
      p.fFrequency = 5;
      p.lWaveform = 0;
      p.fDelay = 3;
      p.lPhase = 0;
      bass_.BASS_FXSetParameters(fx, &p);
      break;
    }
    default:
      break;
  }
}

void TZOZUZivade::SetEchoLevel(uint16_t level) {
  if (level > 32) return;
  echoLevel_ = level;
  if (effectBits_ & fxEcho) ApplyEffectLevel(echoFx_, BASS_FX_DX8_ECHO, level);
}

void TZOZUZivade::SetReverbLevel(uint16_t level) {
  if (level > 32) return;
  reverbLevel_ = level;
  if (effectBits_ & fxReverb) ApplyEffectLevel(reverbFx_, BASS_FX_DX8_REVERB, level);
}

void TZOZUZivade::SetFlangerLevel(uint16_t level) {
  if (level > 32) return;
  flangerLevel_ = level;
  if (effectBits_ & fxFlanger) ApplyEffectLevel(flangerFx_, BASS_FX_DX8_FLANGER, level);
}

void TZOZUZivade::SetSoundEffects(uint32_t bits) {
  effectBits_ = bits;
  if (!bassReady_ || !outputChannel_) return;  // stored; applied when an output exists
  DWORD out = outputChannel_;
  if (!(bits & fxRotate) && rotateDsp_) {
    if (bass_.BASS_ChannelRemoveDSP(out, rotateDsp_)) rotateDsp_ = 0;
  } else if ((bits & fxRotate) && !rotateDsp_) {
    rotateAngle_.store(0.7853981f);
    rotateDsp_ = bass_.BASS_ChannelSetDSP(out, &RotateProcessor::Process, &rotateAngle_, 0);
  }
  if (!dx8EffectReady_) return;
  for (int band = 0; band < 10; ++band) {
    if (bits & fxEqualiser) {
      if (!eqFx_[band]) eqFx_[band] = bass_.BASS_ChannelSetFX(out, BASS_FX_DX8_PARAMEQ, band + 1);
      if (eqFx_[band]) {
        BASS_DX8_PARAMEQ p{kBandCentre[band], kBandWidth[band], eqGain_[band]};
        bass_.BASS_FXSetParameters(eqFx_[band], &p);
      }
    } else if (eqFx_[band] && bass_.BASS_ChannelRemoveFX(out, eqFx_[band])) {
      eqFx_[band] = 0;
    }
  }
  struct Effect {
    uint32_t bit;
    DWORD type;
    int priority;
    HFX& handle;
    uint16_t level;
  };
  Effect effects[] = {{fxEcho, BASS_FX_DX8_ECHO, 11, echoFx_, echoLevel_},
                      {fxReverb, BASS_FX_DX8_REVERB, 12, reverbFx_, reverbLevel_},
                      {fxFlanger, BASS_FX_DX8_FLANGER, 13, flangerFx_, flangerLevel_}};
  for (Effect& e : effects) {
    if (bits & e.bit) {
      if (!e.handle) e.handle = bass_.BASS_ChannelSetFX(out, e.type, e.priority);
      ApplyEffectLevel(e.handle, e.type, e.level);
    } else if (e.handle && bass_.BASS_ChannelRemoveFX(out, e.handle)) {
      e.handle = 0;
    }
  }
}

}  // namespace engine

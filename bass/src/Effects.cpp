// Our own implementations of the four effects the player uses. Each works on interleaved float
// frames of the channel; channel k of a multi-channel stream counts as "left" when k is even.
#include "Effects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace orvbass {
namespace {

constexpr double kPi = 3.14159265358979323846;

bool InRange(float v, float lo, float hi) { return v >= lo && v <= hi; }

// Parametric equaliser: one peaking biquad per channel (the "audio EQ cookbook" peaking filter).
//   A = 10^(gain/40), w0 = 2*pi*fc/fs, BW = bandwidth in octaves (semitones / 12)
//   alpha = sin(w0) * sinh(ln(2)/2 * BW * w0/sin(w0))
//   b0 = 1 + alpha*A, b1 = -2*cos(w0), b2 = 1 - alpha*A, a0 = 1 + alpha/A, a1 = b1, a2 = 1 - alpha/A
// A tone at fc is raised by exactly "gain" dB; far from fc the response returns to 0 dB.
struct ParamEq : Effect {
  BASS_DX8_PARAMEQ p{8000, 12, 0};
  double fs;
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  std::vector<double> z1, z2;
  ParamEq(DWORD freq, DWORD chans) : fs(freq), z1(chans), z2(chans) {
    p.fCenter = float(std::min(8000.0, fs / 3.0 - 1));
    Design();
  }
  void Design() {
    double A = std::pow(10.0, p.fGain / 40.0);
    double w0 = 2 * kPi * p.fCenter / fs;
    double bw = p.fBandwidth / 12.0;
    double alpha = std::sin(w0) * std::sinh(std::log(2.0) / 2 * bw * w0 / std::sin(w0));
    double a0 = 1 + alpha / A;
    b0 = (1 + alpha * A) / a0;
    b1 = (-2 * std::cos(w0)) / a0;
    b2 = (1 - alpha * A) / a0;
    a1 = b1;
    a2 = (1 - alpha / A) / a0;
  }
  // At 0 dB the band is the identity: once its state has died away there is nothing to compute
  // (an equaliser left flat is the common case).
  bool Idle() const override {
    if (p.fGain != 0) return false;
    for (size_t c = 0; c < z1.size(); ++c)
      if (std::fabs(z1[c]) > 1e-12 || std::fabs(z2[c]) > 1e-12) return false;
    return true;
  }
  void Process(float* x, int frames, int chans) override {
    if (Idle()) return;
    for (int i = 0; i < frames; ++i)
      for (int c = 0; c < chans; ++c) {
        double in = x[i * chans + c];
        double out = b0 * in + z1[c];  // transposed direct form II
        z1[c] = b1 * in - a1 * out + z2[c];
        z2[c] = b2 * in - a2 * out;
        x[i * chans + c] = float(out);
      }
  }
  bool SetParams(const void* v) override {
    auto q = *static_cast<const BASS_DX8_PARAMEQ*>(v);
    if (!InRange(q.fCenter, 80, 16000) || q.fCenter >= fs / 2 || !InRange(q.fBandwidth, 1, 36) ||
        !InRange(q.fGain, -15, 15))
      return false;
    p = q;
    Design();
    return true;
  }
  void GetParams(void* v) const override { *static_cast<BASS_DX8_PARAMEQ*>(v) = p; }
  void Reset() override {
    std::fill(z1.begin(), z1.end(), 0.0);
    std::fill(z2.begin(), z2.end(), 0.0);
  }
};

// Echo: a delay line per channel, D = delay ms * fs / 1000 samples, m = mix/100, g = feedback/100.
//   w[n] = line[n - D];  y[n] = (1 - m) * x[n] + m * w[n];  line[n] = x[n] + g * w[n]
// With pan delay the feedback crosses over: line_L[n] = x_L[n] + g * w_R[n] and vice versa.
// g is kept below 1 so a full feedback setting rings long but never grows.
struct Echo : Effect {
  BASS_DX8_ECHO p{50, 50, 500, 500, FALSE};
  double fs;
  int chans;
  std::vector<std::vector<float>> line;
  size_t pos = 0;
  Echo(DWORD freq, DWORD ch) : fs(freq), chans(int(ch)), line(ch) { Alloc(); }
  void Alloc() {
    size_t len = size_t(2000 * fs / 1000) + 2;
    for (auto& l : line) l.assign(len, 0.0f);
    pos = 0;
  }
  void Process(float* x, int frames, int ch) override {
    size_t len = line[0].size();
    size_t dl = std::clamp<size_t>(size_t(std::lround(p.fLeftDelay * fs / 1000)), 1, len - 1);
    size_t dr = std::clamp<size_t>(size_t(std::lround(p.fRightDelay * fs / 1000)), 1, len - 1);
    float m = p.fWetDryMix / 100.0f, g = std::min(p.fFeedback / 100.0f, 0.999f);
    float w[8];
    for (int i = 0; i < frames; ++i) {
      for (int c = 0; c < ch; ++c) {
        size_t d = (c & 1) ? dr : dl;
        w[c] = line[c][(pos + len - d) % len];
      }
      for (int c = 0; c < ch; ++c) {
        float in = x[i * ch + c];
        int src = (p.lPanDelay && ch > 1) ? (c ^ 1) < ch ? (c ^ 1) : c : c;
        line[c][pos] = in + g * w[src];
        x[i * ch + c] = (1 - m) * in + m * w[c];
      }
      pos = (pos + 1) % len;
    }
  }
  bool SetParams(const void* v) override {
    auto q = *static_cast<const BASS_DX8_ECHO*>(v);
    if (!InRange(q.fWetDryMix, 0, 100) || !InRange(q.fFeedback, 0, 100) || !InRange(q.fLeftDelay, 1, 2000) ||
        !InRange(q.fRightDelay, 1, 2000))
      return false;
    p = q;
    return true;
  }
  void GetParams(void* v) const override { *static_cast<BASS_DX8_ECHO*>(v) = p; }
  void Reset() override { Alloc(); }
};

// Reverb: a Schroeder reverberator per channel - four parallel feedback comb filters with a
// one-pole low-pass in each loop, then two series all-pass filters.
//   comb k: delay d_k (29.7, 37.1, 41.1, 43.7 ms; right channels 0.5 ms longer for width),
//           feedback g_k = 10^(-3 * d_k / T) (60 dB decay after the reverb time T),
//           loop low-pass h = (1 - a) * y + a * h with a = 0.2 + 0.6 * (1 - high-frequency ratio)
//   all-pass: 5.0 ms and 1.7 ms, coefficient 0.7
//   y = gin * x + 10^(mix/20) * 0.25 * reverb(gin * x), gin = 10^(input gain/20)
// Every loop gain is below 1, so the output stays bounded.
struct Reverb : Effect {
  BASS_DX8_REVERB p{0, 0, 1000, 0.001f};
  double fs;
  int chans;
  struct Line {
    std::vector<float> buf;
    size_t pos = 0;
    float lp = 0;
  };
  std::vector<std::vector<Line>> combs, aps;
  Reverb(DWORD freq, DWORD ch) : fs(freq), chans(int(ch)) { Alloc(); }
  void Alloc() {
    static const double kComb[4] = {29.7, 37.1, 41.1, 43.7}, kAp[2] = {5.0, 1.7};
    combs.assign(chans, {});
    aps.assign(chans, {});
    for (int c = 0; c < chans; ++c) {
      double extra = (c & 1) ? 0.5 : 0.0;
      for (double ms : kComb) combs[c].push_back(Line{std::vector<float>(size_t((ms + extra) * fs / 1000) + 1), 0, 0});
      for (double ms : kAp) aps[c].push_back(Line{std::vector<float>(size_t(ms * fs / 1000) + 1), 0, 0});
    }
  }
  void Process(float* x, int frames, int ch) override {
    float gin = float(std::pow(10.0, p.fInGain / 20.0));
    float wet = float(std::pow(10.0, p.fReverbMix / 20.0)) * 0.25f;
    float a = 0.2f + 0.6f * (1.0f - p.fHighFreqRTRatio);
    float g[8][4];
    for (int c = 0; c < ch; ++c)
      for (int k = 0; k < 4; ++k) {
        double dms = combs[c][k].buf.size() * 1000.0 / fs;
        g[c][k] = float(std::pow(10.0, -3.0 * dms / std::max(p.fReverbTime, 0.001f)));
      }
    for (int i = 0; i < frames; ++i)
      for (int c = 0; c < ch; ++c) {
        float in = x[i * ch + c] * gin;
        float sum = 0;
        for (int k = 0; k < 4; ++k) {
          Line& l = combs[c][k];
          float y = l.buf[l.pos];
          l.lp = (1 - a) * y + a * l.lp;
          l.buf[l.pos] = in + g[c][k] * l.lp;
          l.pos = (l.pos + 1) % l.buf.size();
          sum += y;
        }
        for (auto& l : aps[c]) {
          float b = l.buf[l.pos];
          float v = sum + 0.7f * b;
          l.buf[l.pos] = v;
          l.pos = (l.pos + 1) % l.buf.size();
          sum = b - 0.7f * v;
        }
        x[i * ch + c] = in + wet * sum;
      }
  }
  bool SetParams(const void* v) override {
    auto q = *static_cast<const BASS_DX8_REVERB*>(v);
    if (!InRange(q.fInGain, -96, 0) || !InRange(q.fReverbMix, -96, 0) || !InRange(q.fReverbTime, 0.001f, 3000) ||
        !InRange(q.fHighFreqRTRatio, 0.001f, 0.999f))
      return false;
    p = q;
    return true;
  }
  void GetParams(void* v) const override { *static_cast<BASS_DX8_REVERB*>(v) = p; }
  void Reset() override { Alloc(); }
};

// Flanger: a modulated delay line per channel.
//   lfo(t) in [-1, 1]: sine or triangle at "frequency" Hz; odd channels are offset by "phase"
//   (-180, -90, 0, 90, 180 degrees for values 0..4)
//   d(t) = D * (1 + depth/100 * lfo(t)) samples, D = delay ms * fs / 1000, at least 1 sample
//   w = line read at d(t) (linear interpolation); y = (1 - m) * x + m * w; line = x + fb * w
//   with m = mix/100 and fb = feedback/100 (|fb| <= 0.99, so it stays bounded).
struct Flanger : Effect {
  BASS_DX8_FLANGER p{50, 100, -50, 0.25f, 1, 2, BASS_DX8_PHASE_90};
  double fs;
  int chans;
  std::vector<std::vector<float>> line;
  size_t pos = 0;
  double t = 0;  // oscillator phase in cycles
  Flanger(DWORD freq, DWORD ch) : fs(freq), chans(int(ch)), line(ch) { Alloc(); }
  void Alloc() {
    for (auto& l : line) l.assign(size_t(8 * fs / 1000) + 4, 0.0f);
    pos = 0;
    t = 0;
  }
  double Lfo(double cyc) const {
    cyc -= std::floor(cyc);
    if (p.lWaveform == 0) return cyc < 0.5 ? 4 * cyc - 1 : 3 - 4 * cyc;
    return std::sin(2 * kPi * cyc);
  }
  void Process(float* x, int frames, int ch) override {
    size_t len = line[0].size();
    double D = p.fDelay * fs / 1000.0;
    double depth = p.fDepth / 100.0;
    float m = p.fWetDryMix / 100.0f, fb = std::clamp(p.fFeedback / 100.0f, -0.99f, 0.99f);
    double phaseOffs = (double(p.lPhase) - 2.0) * 0.25;  // in cycles
    double step = p.fFrequency / fs;
    for (int i = 0; i < frames; ++i) {
      for (int c = 0; c < ch; ++c) {
        double lfo = Lfo(t + ((c & 1) ? phaseOffs : 0.0));
        double d = std::clamp(D * (1 + depth * lfo), 1.0, double(len - 2));
        double rp = double(pos) + double(len) - d;
        size_t i0 = size_t(rp) % len, i1 = (i0 + 1) % len;
        float fr = float(rp - std::floor(rp));
        float w = line[c][i0] * (1 - fr) + line[c][i1] * fr;
        float in = x[i * ch + c];
        line[c][pos] = in + fb * w;
        x[i * ch + c] = (1 - m) * in + m * w;
      }
      pos = (pos + 1) % len;
      t += step;
      if (t >= 1) t -= 1;
    }
  }
  bool SetParams(const void* v) override {
    auto q = *static_cast<const BASS_DX8_FLANGER*>(v);
    if (!InRange(q.fWetDryMix, 0, 100) || !InRange(q.fDepth, 0, 100) || !InRange(q.fFeedback, -99, 99) ||
        !InRange(q.fFrequency, 0, 10) || q.lWaveform > 1 || !InRange(q.fDelay, 0, 4) || q.lPhase > 4)
      return false;
    p = q;
    return true;
  }
  void GetParams(void* v) const override { *static_cast<BASS_DX8_FLANGER*>(v) = p; }
  void Reset() override { Alloc(); }
};

}  // namespace

std::shared_ptr<Effect> CreateEffect(DWORD type, DWORD freq, DWORD chans) {
  std::shared_ptr<Effect> e;
  switch (type) {
    case BASS_FX_DX8_PARAMEQ: e = std::make_shared<ParamEq>(freq, chans); break;
    case BASS_FX_DX8_ECHO: e = std::make_shared<Echo>(freq, chans); break;
    case BASS_FX_DX8_REVERB: e = std::make_shared<Reverb>(freq, chans); break;
    case BASS_FX_DX8_FLANGER: e = std::make_shared<Flanger>(freq, chans); break;
    default: return nullptr;
  }
  e->type = type;
  return e;
}

}  // namespace orvbass

// Band-limited resampling: windowed-sinc taps from precomputed tables, dot products over planar input.
#include "Resampler.h"

#include "Core.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvbass {
namespace {

// Kaiser-windowed sinc with zero crossings on whole units and its cutoff at 0.5 cycles per unit.
// 126 zero crossings each side and beta 7.86: flat to 0.98 of the cutoff's band (-0.001 dB),
// -6 dB at the cutoff, at least 80 dB down from 1.02 of it on.
constexpr int kHalf = 126;
constexpr int kTaps = 2 * kHalf;  // taps at a step of 1 or less
constexpr double kBeta = 7.86;
constexpr int kPhases = 256;  // table points per unit; linear interpolation between them
constexpr int kStretchPhases = 128;  // rows of a stretched table (its kernel is smoother)
// History (and look-ahead) the stretched kernel can need.
constexpr size_t kReachMax = size_t(kHalf) * Resampler::kMaxStretch + 2;

double BesselI0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; k < 64; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

double Proto(double u) {
  if (std::fabs(u) >= kHalf) return 0;
  double s = u == 0 ? 1.0 : std::sin(M_PI * u) / (M_PI * u);
  double r = u / kHalf;
  return s * BesselI0(kBeta * std::sqrt(std::max(0.0, 1 - r * r))) / BesselI0(kBeta);
}

struct Tables {
  // Phase-major: row r holds the kTaps taps for a position r / kPhases past a whole frame, the taps
  // of frames -kHalf+1 .. kHalf around it; kPhases + 1 rows. Each row sums to 1 (exact DC gain).
  std::vector<float> phased;
  // The kernel itself from -kHalf to kHalf, kPhases points per unit, for stretched kernels.
  std::vector<float> line;
  Tables() {
    phased.resize(size_t(kPhases + 1) * kTaps);
    for (int r = 0; r <= kPhases; ++r) {
      double sum = 0, row[kTaps];
      for (int m = 0; m < kTaps; ++m) sum += row[m] = Proto(double(r) / kPhases - (m - kHalf + 1));
      for (int m = 0; m < kTaps; ++m) phased[size_t(r) * kTaps + size_t(m)] = float(row[m] / sum);
    }
    line.resize(size_t(2 * kHalf * kPhases + 2));
    for (size_t i = 0; i < line.size(); ++i) line[i] = float(Proto(double(i) / kPhases - kHalf));
  }
};

const Tables& T() {
  static const Tables t;  // built by the first Configure(), on an API thread
  return t;
}

using v4 = float __attribute__((vector_size(16)));

inline v4 Load(const float* p) {
  v4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline float Sum(v4 v) { return (v[0] + v[1]) + (v[2] + v[3]); }

inline float Dot(const float* a, const float* b, size_t n) {
  v4 s0 = {0, 0, 0, 0}, s1 = s0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    s0 += Load(a + i) * Load(b + i);
    s1 += Load(a + i + 4) * Load(b + i + 4);
  }
  float s = Sum(s0 + s1);
  for (; i < n; ++i) s += a[i] * b[i];
  return s;
}

// Two channels at once: the taps are loaded once.
inline void Dot2(const float* c, const float* a, const float* b, size_t n, float* ya, float* yb) {
  v4 sa = {0, 0, 0, 0}, sb = sa;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    v4 k = Load(c + i);
    sa += k * Load(a + i);
    sb += k * Load(b + i);
  }
  float fa = Sum(sa), fb = Sum(sb);
  for (; i < n; ++i) {
    fa += c[i] * a[i];
    fb += c[i] * b[i];
  }
  *ya = fa;
  *yb = fb;
}

}  // namespace

void Resampler::Configure(int chans) {
  T();
  chans_ = std::clamp(chans, 1, 8);
  cap_ = 3 * kReachMax + 4096;
  line_.assign(size_t(chans_) * cap_, 0.0f);
  coef_.assign(2 * kReachMax + 8, 0.0f);
  Reset();
}

static long StretchReach(double step) { return long(std::ceil(kHalf * std::clamp(step, 1.0, double(Resampler::kMaxStretch)))); }

void Resampler::EnableStretchTable(double step) {
  long reach = StretchReach(step);
  if (step <= 1.0 || reach <= stretchRoom_) return;
  stretch_.assign(size_t(kStretchPhases + 1) * size_t(2 * reach + 1), 0.0f);
  stretchRoom_ = reach;
  stretchStep_ = 0;
}

// Rows for positions r / kStretchPhases past a whole frame, each summing to 1. Built on the mixer
// thread when a constant step changes (into the table allocated beforehand): about a quarter of
// what reading the kernel tap by tap for one chunk costs.
void Resampler::BuildStretch(double step) {
  const Tables& t = T();
  const double scale = 1.0 / std::min(step, double(kMaxStretch));
  const long reach = StretchReach(step);
  stretchLo_ = -reach;
  stretchTaps_ = 2 * reach + 1;
  const long last = long(t.line.size()) - 2;
  for (int r = 0; r <= kStretchPhases; ++r) {
    float* row = stretch_.data() + size_t(r) * size_t(stretchTaps_);
    double frac = double(r) / kStretchPhases, sum = 0;
    for (long m = 0; m < stretchTaps_; ++m) {
      double u = (frac - double(stretchLo_ + m)) * scale;
      double c = 0;
      if (std::fabs(u) < kHalf) {
        double x = (u + kHalf) * kPhases;
        long i = std::clamp(long(x), 0L, last);
        c = t.line[size_t(i)] + (x - double(i)) * (t.line[size_t(i) + 1] - t.line[size_t(i)]);
      }
      row[m] = float(c);
      sum += c;
    }
    for (long m = 0; m < stretchTaps_; ++m) row[m] = float(row[m] / sum);
  }
  stretchStep_ = step;
}

void Resampler::Reset() {
  if (!chans_) return;
  for (int ch = 0; ch < chans_; ++ch) std::fill_n(line_.begin() + long(size_t(ch) * cap_), kReachMax, 0.0f);
  at_ = len_ = kReachMax;
  frac_ = 0;
  advance_ = 0;
}

size_t Resampler::Reach(double step) {
  double stretch = std::clamp(step, 1.0, double(kMaxStretch));
  return size_t(std::ceil(kHalf * stretch)) + 1;
}

void Resampler::Compact() {
  if (at_ <= kReachMax) return;
  size_t drop = at_ - kReachMax;
  for (int ch = 0; ch < chans_; ++ch) {
    float* row = line_.data() + size_t(ch) * cap_;
    std::memmove(row, row + drop, (len_ - drop) * sizeof(float));
  }
  at_ -= drop;
  len_ -= drop;
}

size_t Resampler::Room() {
  Compact();
  // Keeps kReachMax + 1 frames free for the silence after an ended input.
  return cap_ - kReachMax - 1 - len_;
}

void Resampler::Store(SampleFmt fmt, const void* src, size_t frames) {
  const int n = chans_;
  for (int ch = 0; ch < n; ++ch) {
    float* d = line_.data() + size_t(ch) * cap_ + len_;
    switch (fmt) {
      case SampleFmt::U8: {
        auto* s = static_cast<const uint8_t*>(src) + ch;
        for (size_t i = 0; i < frames; ++i) d[i] = (int(s[i * n]) - 128) * (1.0f / 128.0f);
        break;
      }
      case SampleFmt::S16: {
        auto* s = static_cast<const int16_t*>(src) + ch;
        for (size_t i = 0; i < frames; ++i) d[i] = s[i * n] * (1.0f / 32768.0f);
        break;
      }
      case SampleFmt::F32: {
        auto* s = static_cast<const float*>(src) + ch;
        for (size_t i = 0; i < frames; ++i) d[i] = s[i * n];
        break;
      }
    }
  }
  len_ += frames;
}

size_t Resampler::Push(SampleFmt fmt, const void* interleaved, size_t frames) {
  if (!chans_) return 0;
  frames = std::min(frames, Room());
  Store(fmt, interleaved, frames);
  return frames;
}

void Resampler::Bypass(SampleFmt fmt, const void* interleaved, size_t frames) {
  if (!chans_ || frames == 0) return;
  len_ = at_;
  frac_ = 0;
  if (frames >= kReachMax) {
    // Only the last frames matter as history.
    size_t skip = frames - kReachMax;
    len_ = 0;
    Store(fmt, static_cast<const uint8_t*>(interleaved) + skip * size_t(BytesOf(fmt) * chans_), kReachMax);
  } else {
    Compact();
    Store(fmt, interleaved, frames);
  }
  at_ = len_;
}

uint32_t Resampler::Run(float* out, uint32_t frames, const double* steps, bool ended) {
  if (!chans_) return 0;
  frames = std::min(frames, kChunk);
  const Tables& t = T();
  if (ended) {
    // Silence after the last frame, as far as any kernel reads.
    for (int ch = 0; ch < chans_; ++ch)
      std::fill_n(line_.begin() + long(size_t(ch) * cap_ + len_), kReachMax + 1, 0.0f);
  }
  if (steps[0] > 1.0 && steps[0] != stretchStep_ && StretchReach(steps[0]) <= stretchRoom_ &&
      std::all_of(steps, steps + frames, [&](double s) { return s == steps[0]; }))
    BuildStretch(steps[0]);
  float* coef = coef_.data();
  const int n = chans_;
  uint32_t j = 0;
  for (; j < frames; ++j) {
    if (ended && at_ >= len_) break;
    const double step = steps[j];
    long lo, count;
    const float* rows = nullptr;  // phase table to read (otherwise the kernel tap by tap)
    int phases = kPhases;
    if (step <= 1.0) {
      lo = 1 - kHalf;
      count = kTaps;
      rows = t.phased.data();
    } else if (step == stretchStep_) {
      lo = stretchLo_;
      count = stretchTaps_;
      rows = stretch_.data();
      phases = kStretchPhases;
    } else {
      double stretch = std::min(step, double(kMaxStretch));
      double reach = kHalf * stretch;
      lo = long(std::floor(frac_ - reach)) + 1;
      long hi = long(std::ceil(frac_ + reach)) - 1;
      count = hi - lo + 1;
    }
    long hi = lo + count - 1;
    if (!ended) {
      // The taps and the next position must lie in the pushed input.
      long next = long(frac_ + step);
      if (at_ + size_t(std::max(hi, next)) >= len_) break;
    }
    float sum = 1.0f;
    if (rows) {
      double ph = frac_ * phases;
      int r = std::min(int(ph), phases - 1);
      float w = float(ph - r);
      const float* r0 = rows + size_t(r) * size_t(count);
      const float* r1 = r0 + count;
      for (long m = 0; m < count; ++m) coef[m] = r0[m] + w * (r1[m] - r0[m]);
    } else {
      // The stretched kernel, read from the table at the scaled distances; normalised to a DC gain of 1.
      const double scale = 1.0 / std::min(step, double(kMaxStretch));
      const float* k = t.line.data();
      const long last = long(t.line.size()) - 2;
      double x = ((frac_ - double(lo)) * scale + kHalf) * kPhases;
      const double dx = scale * kPhases;
      sum = 0;
      for (long m = 0; m < count; ++m, x -= dx) {
        long i = std::clamp(long(x), 0L, last);
        float w = float(x - double(i));
        float c = k[i] + w * (k[i + 1] - k[i]);
        coef[m] = c;
        sum += c;
      }
    }
    const float g = sum != 0 ? 1.0f / sum : 0.0f;
    const size_t base = size_t(long(at_) + lo);
    float* y = out + size_t(j) * size_t(n);
    if (n == 2) {
      Dot2(coef, line_.data() + base, line_.data() + cap_ + base, size_t(count), &y[0], &y[1]);
      y[0] *= g;
      y[1] *= g;
    } else {
      for (int ch = 0; ch < n; ++ch) y[ch] = g * Dot(coef, line_.data() + size_t(ch) * cap_ + base, size_t(count));
    }
    frac_ += step;
    double whole = std::floor(frac_);
    frac_ -= whole;
    at_ += size_t(whole);
    advance_ += size_t(whole);
  }
  if (at_ > len_) {
    // Past the end of an ended input: only the frames that exist were passed.
    advance_ -= at_ - len_;
    at_ = len_;
  }
  return j;
}

}  // namespace orvbass

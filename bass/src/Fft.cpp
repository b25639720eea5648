// Real-input FFT of our own: an N-point real transform done as an N/2-point complex radix-2
// transform of the even and odd samples, then split into the real transform's bins. The spectrum
// display asks for 1024 or 2048 points 40 times a second; a general FFT library would cost 2 MB of
// mapped code at start for that.
#include "Fft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "KeptForProcess.h"

namespace orvbass {

namespace {

// Everything one size needs, built once and never changed afterwards.
struct Tables {
  int points = 0;                  // N
  std::vector<uint32_t> reversed;  // bit-reversed index of each of the N/2 complex points
  std::vector<float> twRe, twIm;   // exp(-2 pi i j / (N/2)), j < N/4: the complex transform's twiddles
  std::vector<float> spRe, spIm;   // exp(-2 pi i k / N), k < N/2: the even/odd split
  std::vector<float> hann;         // N-point Hann window
};

std::mutex gTablesMutex;

// Never destroyed: BASS_Free may run from an exit handler after static destructors, and a thread
// may still be reading a table.
std::map<int, const Tables*>& AllTables() {
  static auto* t = KeptForProcess(new std::map<int, const Tables*>);
  return *t;
}

const Tables* Build(int n) {
  auto* t = KeptForProcess(new Tables);
  t->points = n;
  const int m = n / 2;
  int bits = 0;
  while ((1 << bits) < m) ++bits;
  t->reversed.resize(size_t(m));
  for (int i = 0; i < m; ++i) {
    uint32_t r = 0;
    for (int b = 0; b < bits; ++b)
      if (i & (1 << b)) r |= 1u << (bits - 1 - b);
    t->reversed[size_t(i)] = r;
  }
  // Twiddles in double, so the float tables carry no accumulated error.
  t->twRe.resize(size_t(std::max(1, m / 2)));
  t->twIm.resize(t->twRe.size());
  for (int j = 0; j < m / 2; ++j) {
    double a = -2.0 * M_PI * double(j) / double(m);
    t->twRe[size_t(j)] = float(std::cos(a));
    t->twIm[size_t(j)] = float(std::sin(a));
  }
  t->spRe.resize(size_t(m));
  t->spIm.resize(size_t(m));
  for (int k = 0; k < m; ++k) {
    double a = -2.0 * M_PI * double(k) / double(n);
    t->spRe[size_t(k)] = float(std::cos(a));
    t->spIm[size_t(k)] = float(std::sin(a));
  }
  t->hann.resize(size_t(n));
  for (int i = 0; i < n; ++i)
    t->hann[size_t(i)] = 0.5f * (1.0f - std::cos(2.0f * float(M_PI) * float(i) / float(n - 1)));
  return t;
}

const Tables* TablesFor(int n) {
  std::lock_guard<std::mutex> lk(gTablesMutex);
  auto& all = AllTables();
  auto it = all.find(n);
  if (it == all.end()) it = all.emplace(n, Build(n)).first;
  return it->second;
}

// In-place complex transform of m = N/2 points already in bit-reversed order.
void Butterflies(const Tables& t, float* re, float* im, int m) {
  for (int len = 2; len <= m; len <<= 1) {
    const int half = len / 2;
    const int step = m / len;
    for (int i = 0; i < m; i += len) {
      for (int j = 0; j < half; ++j) {
        const float wr = t.twRe[size_t(j * step)], wi = t.twIm[size_t(j * step)];
        const int a = i + j, b = a + half;
        const float vr = re[b] * wr - im[b] * wi;
        const float vi = re[b] * wi + im[b] * wr;
        re[b] = re[a] - vr;
        im[b] = im[a] - vi;
        re[a] += vr;
        im[a] += vi;
      }
    }
  }
}

}  // namespace

bool ComputeFft(const float* pcm, int frames, int chans, int points, bool individual, bool window, float* out) {
  if (points < 4 || points > 65536 || (points & (points - 1)) != 0 || chans < 1) return false;
  const Tables& t = *TablesFor(points);
  const int m = points / 2;
  // Kept per thread: the spectrum display asks 40 times a second.
  thread_local std::vector<float> in, re, im;
  in.resize(size_t(points));
  re.resize(size_t(m));
  im.resize(size_t(m));
  const int outChans = individual ? chans : 1;
  const float scale = 2.0f / float(points);
  for (int oc = 0; oc < outChans; ++oc) {
    for (int i = 0; i < points; ++i) {
      float v = 0;
      if (i < frames) {
        if (individual) {
          v = pcm[size_t(i) * chans + oc];
        } else {
          for (int c = 0; c < chans; ++c) v += pcm[size_t(i) * chans + c];
          v /= float(chans);
        }
      }
      if (window) v *= t.hann[size_t(i)];
      in[size_t(i)] = v;
    }
    // Even samples as the real part, odd ones as the imaginary part, in bit-reversed order.
    for (int j = 0; j < m; ++j) {
      const uint32_t r = t.reversed[size_t(j)];
      re[r] = in[size_t(2 * j)];
      im[r] = in[size_t(2 * j + 1)];
    }
    Butterflies(t, re.data(), im.data(), m);
    // X[k] = E[k] + W^k O[k], with E = (Z[k] + conj Z[m-k]) / 2 and O = -i (Z[k] - conj Z[m-k]) / 2.
    for (int k = 0; k < m; ++k) {
      const int mk = k == 0 ? 0 : m - k;
      const float er = 0.5f * (re[size_t(k)] + re[size_t(mk)]);
      const float ei = 0.5f * (im[size_t(k)] - im[size_t(mk)]);
      const float or_ = 0.5f * (im[size_t(k)] + im[size_t(mk)]);
      const float oi = -0.5f * (re[size_t(k)] - re[size_t(mk)]);
      const float wr = t.spRe[size_t(k)], wi = t.spIm[size_t(k)];
      const float xr = er + or_ * wr - oi * wi;
      const float xi = ei + or_ * wi + oi * wr;
      out[size_t(k) * outChans + oc] = std::sqrt(xr * xr + xi * xi) * scale;
    }
  }
  return true;
}

}  // namespace orvbass

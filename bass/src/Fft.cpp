// Magnitude spectra for BASS_ChannelGetData through FFTW (single precision).
// Bin k of an N-point FFT is |X_k| * 2 / N of the (Hann-windowed) frames: a full-scale sine centred
// on a bin reads 1.0 without a window and 0.5 with the Hann window (its coherent gain).
#include "Core.h"
#include "KeptForProcess.h"

#include <fftw3.h>

#include <cmath>
#include <map>
#include <mutex>
#include <vector>

namespace orvbass {

namespace {
std::mutex gPlanMutex;  // FFTW planning is not thread-safe; executing a plan is.
// Never destroyed: BASS_Free may run from an exit handler after static destructors.
std::map<int, fftwf_plan>& Plans() {
  static auto* p = KeptForProcess(new std::map<int, fftwf_plan>);
  return *p;
}
// Hann windows by size, built once (the spectrum display asks 40 times a second); an entry is never
// changed after it is made, so it is read without the lock.
std::map<int, std::vector<float>>& Windows() {
  static auto* w = KeptForProcess(new std::map<int, std::vector<float>>);
  return *w;
}
}  // namespace

namespace {
// FFTW's arrays for one size, kept per thread: the spectrum display asks 40 times a second, and
// plans run on any arrays of the same alignment.
struct Scratch {
  int points = 0;
  float* in = nullptr;
  fftwf_complex* spec = nullptr;
  ~Scratch() { Release(); }
  void Release() {
    fftwf_free(in);
    fftwf_free(spec);
    in = nullptr;
    spec = nullptr;
    points = 0;
  }
  bool Ensure(int n) {
    if (points == n && in && spec) return true;
    Release();
    in = fftwf_alloc_real(size_t(n));
    spec = fftwf_alloc_complex(size_t(n / 2 + 1));
    if (!in || !spec) {
      Release();
      return false;
    }
    points = n;
    return true;
  }
};
}  // namespace

bool ComputeFft(const float* pcm, int frames, int chans, int points, bool individual, bool window, float* out) {
  thread_local Scratch scratch;
  if (!scratch.Ensure(points)) return false;
  float* in = scratch.in;
  fftwf_complex* spec = scratch.spec;
  fftwf_plan plan;
  const std::vector<float>* hann = nullptr;
  {
    std::lock_guard<std::mutex> lk(gPlanMutex);
    auto& plans = Plans();
    auto it = plans.find(points);
    if (it == plans.end()) it = plans.emplace(points, fftwf_plan_dft_r2c_1d(points, in, spec, FFTW_ESTIMATE)).first;
    plan = it->second;
    if (window) {
      auto& w = Windows()[points];
      if (w.empty()) {
        w.resize(size_t(points));
        for (int i = 0; i < points; ++i)
          w[size_t(i)] = 0.5f * (1.0f - std::cos(2.0f * float(M_PI) * float(i) / float(points - 1)));
      }
      hann = &w;
    }
  }
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
      if (hann) v *= (*hann)[size_t(i)];
      in[i] = v;
    }
    fftwf_execute_dft_r2c(plan, in, spec);
    for (int k = 0; k < points / 2; ++k) {
      float mag = std::sqrt(spec[k][0] * spec[k][0] + spec[k][1] * spec[k][1]) * scale;
      out[size_t(k) * outChans + oc] = mag;
    }
  }
  return true;
}

void FreeFftPlans() {
  std::lock_guard<std::mutex> lk(gPlanMutex);
  for (auto& [n, p] : Plans()) fftwf_destroy_plan(p);
  Plans().clear();
}

}  // namespace orvbass

// Fuzz target: the ICY de-interleaver. The input is a metadata interval and a body; splitting the
// body into any chunks (taken from the input too) must give the same audio and the same texts as
// feeding it whole, and the audio must be exactly the body without its metadata blocks.
#include "Icy.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Out {
  std::string audio;
  std::vector<std::string> metas;
};

Out Feed(const uint8_t* body, size_t n, uint32_t metaint, const uint8_t* sizes, size_t nsizes) {
  Out o;
  orvbass::IcyDeinterleaver d(metaint);
  size_t p = 0, i = 0;
  while (p < n) {
    size_t k = nsizes ? 1 + sizes[i++ % nsizes] % 97 : n - p;
    if (k > n - p) k = n - p;
    d.Feed(body + p, k, [&](const uint8_t* a, size_t m) { o.audio.append(reinterpret_cast<const char*>(a), m); },
           [&](const std::string& t) { o.metas.push_back(t); });
    p += k;
  }
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint32_t metaint = data[0] % 64;  // small intervals reach many blocks
  size_t nsizes = data[1] % 16;
  data += 2;
  size -= 2;
  if (nsizes > size) nsizes = size;
  const uint8_t* sizes = data;
  data += nsizes;
  size -= nsizes;
  Out whole = Feed(data, size, metaint, nullptr, 0);
  Out split = Feed(data, size, metaint, sizes, nsizes);
  if (whole.audio != split.audio || whole.metas != split.metas) std::abort();
  // The audio is the body without length bytes and texts.
  std::string expect;
  size_t p = 0;
  while (p < size) {
    size_t run = metaint ? std::min<size_t>(metaint, size - p) : size - p;
    expect.append(reinterpret_cast<const char*>(data + p), run);
    p += run;
    if (p >= size) break;
    p += 1 + size_t(data[p]) * 16;
  }
  if (expect != whole.audio) std::abort();
  return 0;
}

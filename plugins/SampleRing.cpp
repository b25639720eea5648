#include "plugins/SampleRing.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace plugins {

bool TSampleRing::Resize(uint32_t size) {
  std::scoped_lock lock(writer_, reader_);
  std::unique_ptr<uint8_t[]> fresh(new (std::nothrow) uint8_t[size ? size : 1]());
  if (!fresh) return false;
  buf_ = std::move(fresh);
  size_.store(size, std::memory_order_release);
  r_.store(0, std::memory_order_release);
  w_.store(0, std::memory_order_release);
  epoch_.fetch_add(1, std::memory_order_acq_rel);
  return true;
}

uint32_t TSampleRing::Used() const {
  uint32_t s = size_.load(std::memory_order_acquire);
  uint32_t r = r_.load(std::memory_order_acquire), w = w_.load(std::memory_order_acquire);
  if (s == 0) return 0;
  return w >= r ? w - r : s + w - r;
}

uint32_t TSampleRing::Free() const {
  uint32_t s = size_.load(std::memory_order_acquire);
  uint32_t r = r_.load(std::memory_order_acquire), w = w_.load(std::memory_order_acquire);
  if (s == 0) return 0;
  return w < r ? r - w : r + s - w;
}

bool TSampleRing::Write(const void* data, uint32_t len) {
  uint32_t s = size_.load(std::memory_order_relaxed);
  uint32_t w = w_.load(std::memory_order_relaxed);
  uint32_t r = r_.load(std::memory_order_acquire);  // the reader's copy out is complete up to r
  uint32_t free = w < r ? r - w : r + s - w;
  if (s == 0 || len >= free) return false;
  auto* src = static_cast<const uint8_t*>(data);
  uint32_t first = std::min(len, s - w);
  std::memcpy(buf_.get() + w, src, first);
  std::memcpy(buf_.get(), src + first, len - first);
  w_.store((w + len) % s, std::memory_order_release);
  return true;
}

uint32_t TSampleRing::Read(void* data, uint32_t len, uint32_t align) {
  uint32_t s = size_.load(std::memory_order_relaxed);
  uint32_t r = r_.load(std::memory_order_relaxed);
  uint32_t w = w_.load(std::memory_order_acquire);  // the writer's bytes up to w are in place
  if (s == 0) return 0;
  uint32_t used = w >= r ? w - r : s + w - r;
  uint32_t n = std::min(len, used);
  if (align > 1) n -= n % align;
  auto* dst = static_cast<uint8_t*>(data);
  uint32_t first = std::min(n, s - r);
  std::memcpy(dst, buf_.get() + r, first);
  std::memcpy(dst + first, buf_.get(), n - first);
  r_.store((r + n) % s, std::memory_order_release);
  return n;
}

void TSampleRing::Reset() {
  std::scoped_lock lock(writer_, reader_);
  ResetHeld();
}

void TSampleRing::ResetHeld() {
  r_.store(0, std::memory_order_release);
  w_.store(0, std::memory_order_release);
  epoch_.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace plugins

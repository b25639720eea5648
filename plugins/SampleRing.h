// The sample ring: a byte ring with one writer and one reader.
//
// Threads: the writer (an input plug-in's decoding thread through the output
// emulator, or the play thread) holds WriterLock while it writes; the reader (the
// audio library's thread, in a stream procedure) holds ReaderLock while it reads.
// They never wait for each other: positions are atomics, only the writer moves W
// and only the reader moves R. Reset and Resize take both locks, so they never
// cut into a copy. Used/Free/Size/Epoch may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace plugins {

class TSampleRing {
 public:
  // Allocates `size` bytes and empties the ring (both locks taken inside).
  bool Resize(uint32_t size);
  uint32_t Size() const { return size_.load(std::memory_order_acquire); }
  // W - R, or S + W - R when W < R.
  uint32_t Used() const;
  // R - W when W < R, else R + S - W. A write of `free` bytes or more is refused
  // so that W never catches up with R.
  uint32_t Free() const;
  // Writer side (call with WriterLock held). False, nothing stored, when len >= Free().
  bool Write(const void* data, uint32_t len);
  // Reader side (call with ReaderLock held): copies min(len, Used()) rounded down to
  // `align` bytes and advances R by exactly that much.
  uint32_t Read(void* data, uint32_t len, uint32_t align = 1);
  // R = W = 0 (both locks taken inside).
  void Reset();
  // The same with both locks already held by the caller.
  void ResetHeld();
  // Counts resets and resizes: a writer that prepares a block without holding its
  // lock compares it before and after, and drops a block made before an emptying.
  uint32_t Epoch() const { return epoch_.load(std::memory_order_acquire); }
  std::mutex& WriterLock() { return writer_; }
  std::mutex& ReaderLock() { return reader_; }

 private:
  std::mutex writer_, reader_;
  std::unique_ptr<uint8_t[]> buf_;  // replaced only with both locks held
  std::atomic<uint32_t> size_{0};
  std::atomic<uint32_t> r_{0}, w_{0};
  std::atomic<uint32_t> epoch_{0};
};

}  // namespace plugins

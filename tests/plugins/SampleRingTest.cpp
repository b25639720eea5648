// The sample ring on its own: sizes, refusals, wrapping, and one writer and
// one reader running at the same time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "plugins/SampleRing.h"

using plugins::TSampleRing;

TEST(SampleRing, FreeAndUsedAndAWriteOfExactlyTheFreeSizeIsRefused) {
  TSampleRing ring;
  ASSERT_TRUE(ring.Resize(100));
  EXPECT_EQ(ring.Used(), 0u);
  EXPECT_EQ(ring.Free(), 100u);
  std::vector<uint8_t> data(100, 7);
  EXPECT_FALSE(ring.Write(data.data(), 100));  // W may never catch up with R
  EXPECT_EQ(ring.Used(), 0u);
  EXPECT_TRUE(ring.Write(data.data(), 99));
  EXPECT_EQ(ring.Used(), 99u);
  EXPECT_EQ(ring.Free(), 1u);
  EXPECT_FALSE(ring.Write(data.data(), 1));
}

TEST(SampleRing, ReadsAndWritesWrapAtTheEnd) {
  TSampleRing ring;
  ASSERT_TRUE(ring.Resize(10));
  uint8_t in[8] = {1, 2, 3, 4, 5, 6, 7, 8}, out[10] = {};
  ASSERT_TRUE(ring.Write(in, 8));
  EXPECT_EQ(ring.Read(out, 6), 6u);
  ASSERT_TRUE(ring.Write(in, 7));  // wraps: W goes 8 -> 5
  EXPECT_EQ(ring.Used(), 9u);
  EXPECT_EQ(ring.Free(), 1u);
  EXPECT_EQ(ring.Read(out, 10), 9u);
  const uint8_t expected[9] = {7, 8, 1, 2, 3, 4, 5, 6, 7};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(out[i], expected[i]) << i;
  EXPECT_EQ(ring.Used(), 0u);
}

TEST(SampleRing, ReadsRoundDownToWholeFramesAndResetEmpties) {
  TSampleRing ring;
  ASSERT_TRUE(ring.Resize(64));
  uint8_t in[10] = {}, out[16];
  ASSERT_TRUE(ring.Write(in, 10));
  EXPECT_EQ(ring.Read(out, 16, 4), 8u);
  EXPECT_EQ(ring.Used(), 2u);
  ring.Reset();
  EXPECT_EQ(ring.Used(), 0u);
  EXPECT_EQ(ring.Free(), 64u);
}

// A writer that prepares a block outside the lock tells by the epoch whether
// the ring was emptied meanwhile; reads and writes leave it alone.
TEST(SampleRing, EveryEmptyingMovesTheEpochAndNothingElseDoes) {
  TSampleRing ring;
  ASSERT_TRUE(ring.Resize(64));
  uint32_t e = ring.Epoch();
  uint8_t in[10] = {}, out[10];
  ASSERT_TRUE(ring.Write(in, 10));
  ring.Read(out, 4);
  EXPECT_EQ(ring.Epoch(), e);
  ring.Reset();
  EXPECT_NE(ring.Epoch(), e);
  e = ring.Epoch();
  {
    std::scoped_lock lock(ring.WriterLock(), ring.ReaderLock());
    ring.ResetHeld();
  }
  EXPECT_NE(ring.Epoch(), e);
  e = ring.Epoch();
  ASSERT_TRUE(ring.Resize(128));
  EXPECT_NE(ring.Epoch(), e);
}

// The writer sends a counting byte sequence in uneven pieces; the reader must
// see every byte once, in order, while both run at once.
TEST(SampleRing, OneWriterAndOneReaderAtOnceLoseAndRepeatNothing) {
  TSampleRing ring;
  ASSERT_TRUE(ring.Resize(4096));
  const uint32_t total = 2'000'000;
  std::atomic<bool> failed{false};
  std::thread writer([&] {
    std::vector<uint8_t> piece(1500);
    uint32_t sent = 0, step = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (sent < total && std::chrono::steady_clock::now() < until) {
      uint32_t len = std::min<uint32_t>(1 + (step++ * 37) % 1499, total - sent);
      for (uint32_t i = 0; i < len; ++i) piece[i] = uint8_t(sent + i);
      std::lock_guard lock(ring.WriterLock());
      if (ring.Write(piece.data(), len)) sent += len;
    }
  });
  uint32_t got = 0;
  std::vector<uint8_t> buf(1000);
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (got < total && std::chrono::steady_clock::now() < until) {
    uint32_t n;
    {
      std::lock_guard lock(ring.ReaderLock());
      n = ring.Read(buf.data(), 1 + got % 999);
    }
    for (uint32_t i = 0; i < n; ++i)
      if (buf[i] != uint8_t(got + i)) failed = true;
    got += n;
  }
  writer.join();
  EXPECT_EQ(got, total);
  EXPECT_FALSE(failed);
}

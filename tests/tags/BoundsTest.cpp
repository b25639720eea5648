// What the tag and header readers accept from hostile files: any file size (only the head
// and the tail are read), and frames or tags whose size fields claim more than the file holds
// (nothing is read past the bytes there are, at most a few kilobytes per frame).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestUtil.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/MPEGaudio.h"

using namespace tags;
using namespace tagtest;

namespace {

std::string SyncSafe(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[size_t(i)] = char((v >> (21 - 7 * i)) & 0x7F);
  return s;
}

// An ID3v2.3 tag with one text frame whose size field says `claimed`.
std::string Id3v23Title(const std::string& title, uint32_t claimed, uint32_t tagSize) {
  std::string body = std::string(1, '\0') + title;
  std::string frame = "TIT2";
  for (int shift : {24, 16, 8, 0}) frame += char((claimed >> shift) & 0xFF);
  frame += std::string(2, '\0') + body;
  std::string tag = "ID3" + std::string(1, '\3') + std::string(2, '\0') + SyncSafe(tagSize);
  tag += frame;
  if (tag.size() < tagSize + 10) tag += std::string(tagSize + 10 - tag.size(), '\0');
  return tag;
}

// MPEG-1 Layer III frames, 128 kbit/s at 44.1 kHz (417 bytes each).
std::string MpegFrames(int count) {
  std::string frame(417, '\0');
  frame[0] = char(0xFF);
  frame[1] = char(0xFB);
  frame[2] = char(0x90);
  frame[3] = char(0x64);
  std::string out;
  for (int i = 0; i < count; ++i) out += frame;
  return out;
}

}  // namespace

TEST(TagBounds, AFileLargerThanFourGigabytesIsReadFromItsHeadAndTail) {
  ScratchDir dir;
  const std::string path = dir.File("huge.mp3");
  const int64_t size = (int64_t(5) << 30) + 417;  // sparse: costs no disk
  {
    std::ofstream out(path, std::ios::binary);
    const std::string head = Id3v23Title("Head", 5, 64) + MpegFrames(40);
    out.write(head.data(), std::streamsize(head.size()));
  }
  std::filesystem::resize_file(path, uintmax_t(size - 128));
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    const std::string tail = MakeID3v1("Tail", "Artist", "Album", "2026", "", 3, 12);
    out.write(tail.data(), std::streamsize(tail.size()));
  }
  ASSERT_EQ(int64_t(std::filesystem::file_size(path)), size);

  TID3v2 v2;
  ASSERT_TRUE(v2.ReadFromFile(path));
  EXPECT_EQ(v2.Title(), "Head");
  TID3v1 v1;
  ASSERT_TRUE(v1.ReadFromFile(path));
  EXPECT_TRUE(v1.Exists());
  EXPECT_EQ(v1.Title(), "Tail");
  TMPEGaudio mpeg;
  ASSERT_TRUE(mpeg.ReadFromFile(path));
  EXPECT_TRUE(mpeg.Valid());
  EXPECT_EQ(mpeg.FileLength(), size);
  EXPECT_EQ(mpeg.BitRate(), 128);
  // The length follows from the size and the bit rate, past what 32 bits of bytes hold.
  EXPECT_GT(mpeg.Duration(), double(uint64_t(1) << 32) * 8 / 128000 * 0.99);
}

TEST(TagBounds, SizeFieldsClaimingMoreThanThereIsReadOnlyTheBytesThere) {
  // The frame says 2 GB; the tag holds a few bytes of it: those are the title.
  const std::string tag = Id3v23Title("Short", 0x7FFFFFF0u, 40);
  TID3v2 v2;
  ASSERT_TRUE(v2.ReadFromMemory(tag.data(), tag.size()));
  EXPECT_TRUE(v2.Exists());
  EXPECT_EQ(v2.Title(), "Short");

  // A tag header claiming the largest size (256 MB) in a file of 60 bytes: a tag that does
  // not fit its file gives no frames.
  const std::string big = Id3v23Title("Title", 6, 0x0FFFFFFF).substr(0, 60);
  TID3v2 b;
  ASSERT_TRUE(b.ReadFromMemory(big.data(), big.size()));
  EXPECT_TRUE(b.Exists());
  EXPECT_EQ(b.TagSize(), 0);
  EXPECT_EQ(b.Title(), "");
}

TEST(TagBounds, AFrameLongerThanTheReadLimitGivesItsFirstKilobytes) {
  // A 1 MB title frame: the reader takes the first 5000 bytes of its body.
  const std::string title(1u << 20, 'T');
  const std::string tag = Id3v23Title(title, uint32_t(title.size() + 1), uint32_t(title.size() + 11));
  TID3v2 v2;
  ASSERT_TRUE(v2.ReadFromMemory(tag.data(), tag.size()));
  EXPECT_EQ(v2.Title(), std::string(4999, 'T'));
}

namespace {

// An ID3v2.3 frame header (plain 32-bit size).
std::string FrameHeader(const std::string& id, uint32_t size) {
  std::string h = id;
  for (int shift : {24, 16, 8, 0}) h += char((size >> shift) & 0xFF);
  return h + std::string(2, '\0');
}

std::string Slice(const std::string& path, int64_t offset, size_t n) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(offset);
  std::string out(n, '\0');
  in.read(out.data(), std::streamsize(n));
  out.resize(size_t(in.gcount()));
  return out;
}

}  // namespace

TEST(TagBounds, ATagWithAFrameTooLargeToCarryOverIsNotRewritten) {
  // A 64 MB + 1 byte private frame (sparse zeros) after the title: a rewrite would lose it.
  ScratchDir dir;
  const std::string path = dir.File("big-frame.mp3");
  const uint32_t privSize = (64u << 20) + 1;
  const std::string title = FrameHeader("TIT2", 4) + std::string(1, '\0') + "Old";
  const uint32_t tagBody = uint32_t(title.size() + 10 + privSize);
  {
    std::ofstream out(path, std::ios::binary);
    const std::string head = "ID3" + std::string(1, '\3') + std::string(2, '\0') + SyncSafe(tagBody) + title +
                             FrameHeader("PRIV", privSize) + "owner";
    out.write(head.data(), std::streamsize(head.size()));
  }
  std::filesystem::resize_file(path, 10 + tagBody);
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    const std::string audio = MpegFrames(20);
    out.write(audio.data(), std::streamsize(audio.size()));
  }
  const auto size = std::filesystem::file_size(path);
  const std::string head = Slice(path, 0, 4096), tail = Slice(path, int64_t(size) - 9000, 9000);

  TID3v2 t;
  ASSERT_TRUE(t.ReadFromFile(path));
  EXPECT_EQ(t.Title(), "Old");
  t.SetTitle("New");
  EXPECT_FALSE(t.SaveToFile(path));
  EXPECT_EQ(std::filesystem::file_size(path), size);
  EXPECT_EQ(Slice(path, 0, 4096), head);
  EXPECT_EQ(Slice(path, int64_t(size) - 9000, 9000), tail);

  // A frame whose size field runs past its tag is junk, not user data: the save goes ahead.
  const std::string junk = dir.File("junk-frame.mp3");
  const std::string frames = title + FrameHeader("PRIV", 0x7FFFFFF0u) + "owner";
  WriteBytes(junk, "ID3" + std::string(1, '\3') + std::string(2, '\0') + SyncSafe(uint32_t(frames.size() + 64)) +
                       frames + std::string(64, '\0') + MpegFrames(5));
  TID3v2 j;
  ASSERT_TRUE(j.ReadFromFile(junk));
  j.SetTitle("New");
  ASSERT_TRUE(j.SaveToFile(junk));
  TID3v2 back;
  ASSERT_TRUE(back.ReadFromFile(junk));
  EXPECT_EQ(back.Title(), "New");
}

// Random access to the bytes of a file or of a memory block for the tag and
// stream-header readers. A file source serves small reads from three cached
// windows (head, tail and one roaming window), so a reader that looks at the
// start and the end of a file costs one read for each, never one per field.
// Not thread-safe: one source belongs to one reader call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tags {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Total size in bytes.
  int64_t Size() const { return size_; }

  // Copies up to n bytes starting at offset into dst. Returns the number of
  // bytes copied (fewer at the end of the data, 0 at or past the end) or -1
  // for a negative offset or an I/O error.
  virtual int64_t ReadAt(int64_t offset, void* dst, size_t n) = 0;

 protected:
  int64_t size_ = 0;
};

// Bytes held by the caller; the memory must outlive the source.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const void* data, size_t size);
  int64_t ReadAt(int64_t offset, void* dst, size_t n) override;

 private:
  const uint8_t* data_;
};

class FileSource final : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Opens a file (UTF-8 path) for reading; false when it cannot be opened or is not a regular file.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  int64_t ReadAt(int64_t offset, void* dst, size_t n) override;
  // Read calls made on the file since it was opened (for tests of the access pattern).
  int SystemReads() const { return systemReads_; }

  static constexpr size_t kHeadWindow = 16384;
  static constexpr size_t kTailWindow = 8192;
  static constexpr size_t kRoamWindow = 16384;

 private:
  struct Window {
    int64_t offset = 0;
    int64_t length = -1;  // -1: not loaded
    bool Covers(int64_t off, int64_t n) const {
      return length >= 0 && off >= offset && off + n <= offset + length;
    }
  };
  bool Fill(Window& w, uint8_t* buffer, size_t capacity, int64_t start);
  int64_t DirectRead(int64_t offset, void* dst, size_t n);

  int fd_ = -1;
  int systemReads_ = 0;
  Window head_, tail_, roam_;
  uint8_t headData_[kHeadWindow];
  uint8_t tailData_[kTailWindow];
  uint8_t roamData_[kRoamWindow];
};

}  // namespace tags

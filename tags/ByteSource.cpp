#include "tags/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tags {

MemorySource::MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)) {
  size_ = data ? int64_t(size) : 0;
}

int64_t MemorySource::ReadAt(int64_t offset, void* dst, size_t n) {
  if (offset < 0) return -1;
  if (offset >= size_ || n == 0) return 0;
  size_t count = size_t(std::min<int64_t>(int64_t(n), size_ - offset));
  std::memcpy(dst, data_ + offset, count);
  return int64_t(count);
}

FileSource::~FileSource() { Close(); }

bool FileSource::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = st.st_size;
  systemReads_ = 0;
  head_ = tail_ = roam_ = Window{};
  return true;
}

void FileSource::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

int64_t FileSource::DirectRead(int64_t offset, void* dst, size_t n) {
  size_t done = 0;
  auto* out = static_cast<uint8_t*>(dst);
  while (done < n) {
    ssize_t r = ::pread(fd_, out + done, n - done, offset + int64_t(done));
    ++systemReads_;
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    done += size_t(r);
  }
  return int64_t(done);
}

bool FileSource::Fill(Window& w, uint8_t* buffer, size_t capacity, int64_t start) {
  size_t want = size_t(std::min<int64_t>(int64_t(capacity), size_ - start));
  int64_t got = DirectRead(start, buffer, want);
  if (got < 0) {
    w.length = -1;
    return false;
  }
  w.offset = start;
  w.length = got;
  return true;
}

int64_t FileSource::ReadAt(int64_t offset, void* dst, size_t n) {
  if (fd_ < 0 || offset < 0) return -1;
  if (offset >= size_ || n == 0) return 0;
  int64_t want = std::min<int64_t>(int64_t(n), size_ - offset);
  struct Slot {
    Window* w;
    uint8_t* data;
  };
  const Slot slots[3] = {{&head_, headData_}, {&tail_, tailData_}, {&roam_, roamData_}};
  for (const Slot& s : slots) {
    if (s.w->Covers(offset, want)) {
      std::memcpy(dst, s.data + (offset - s.w->offset), size_t(want));
      return want;
    }
  }
  // Load the window the request falls into: the head and the tail of a file
  // are what the readers look at first, everything else goes through the
  // roaming window, large requests bypass the cache.
  if (offset + want <= int64_t(kHeadWindow)) {
    if (!Fill(head_, headData_, kHeadWindow, 0)) return -1;
    if (head_.Covers(offset, want)) {
      std::memcpy(dst, headData_ + offset, size_t(want));
      return want;
    }
  } else if (offset >= size_ - int64_t(kTailWindow)) {
    int64_t start = std::max<int64_t>(0, size_ - int64_t(kTailWindow));
    if (!Fill(tail_, tailData_, kTailWindow, start)) return -1;
    if (tail_.Covers(offset, want)) {
      std::memcpy(dst, tailData_ + (offset - start), size_t(want));
      return want;
    }
  } else if (want <= int64_t(kRoamWindow)) {
    if (!Fill(roam_, roamData_, kRoamWindow, offset)) return -1;
    if (roam_.Covers(offset, want)) {
      std::memcpy(dst, roamData_, size_t(want));
      return want;
    }
  }
  return DirectRead(offset, dst, size_t(want));
}

}  // namespace tags

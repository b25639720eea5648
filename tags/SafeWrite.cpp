#include "tags/SafeWrite.h"

#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <vector>

namespace tags {

namespace {
std::atomic<int> gStepsTaken{0};

// True when the write-step hook shared by every writer of user data (platform's) refuses
// this step.
bool InjectFault(std::string_view step) {
  gStepsTaken.fetch_add(1);
  return !platform::WriteStepAllowed(step);
}

bool RawWrite(int fd, const uint8_t* p, size_t n, int64_t offset) {
  size_t done = 0;
  while (done < n) {
    ssize_t w = ::pwrite(fd, p + done, n - done, offset + int64_t(done));
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    done += size_t(w);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}
}  // namespace

namespace testhooks {
void SetWriteFault(int step) {
  gStepsTaken.store(0);
  if (step <= 0) {
    platform::IniFile::SetFaultHook(nullptr);
    return;
  }
  platform::IniFile::SetFaultHook([step, seen = 0](std::string_view) mutable { return ++seen != step; });
}
int WriteStepsTaken() { return gStepsTaken.load(); }
}  // namespace testhooks

namespace io {

bool ClearReadOnly(const std::string& path) {
  if (InjectFault("open")) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_mode & S_IWUSR) return true;
  return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

int OpenForUpdate(const std::string& path) {
  if (InjectFault("open")) return -1;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool WriteAt(int fd, const void* data, size_t n, int64_t offset) {
  const auto* p = static_cast<const uint8_t*>(data);
  if (InjectFault("write")) {
    RawWrite(fd, p, n / 2, offset);
    return false;
  }
  return RawWrite(fd, p, n, offset);
}

bool Truncate(int fd, int64_t size) {
  if (InjectFault("write")) return false;
  while (::ftruncate(fd, size) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool Sync(int fd) {
  if (InjectFault("sync")) return false;
  return ::fsync(fd) == 0;
}

void Close(int fd) {
  if (fd >= 0) ::close(fd);
}

int CreateBeside(const std::string& path, std::string& tempPath) {
  if (InjectFault("open")) return -1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = path + "~";
    if (attempt > 0) tempPath += std::to_string(::getpid()) + "_" + std::to_string(attempt);
    int fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool CopyRange(int src, int64_t from, int64_t count, int dst, int64_t dstOffset) {
  std::vector<uint8_t> buf(size_t(1) << 18);
  int64_t done = 0;
  while (done < count) {
    size_t want = size_t(std::min<int64_t>(int64_t(buf.size()), count - done));
    if (!ReadExact(src, buf.data(), want, from + done)) return false;
    if (!WriteAt(dst, buf.data(), want, dstOffset + done)) return false;
    done += int64_t(want);
  }
  return true;
}

bool CopyMode(const std::string& path, int dst) {
  if (InjectFault("write")) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  if (::fchmod(dst, (st.st_mode & 07777) | S_IWUSR) != 0) return false;
  // Keep the owner when allowed to (root saving another user's file); not fatal otherwise.
  if (::fchown(dst, st.st_uid, st.st_gid) != 0) {
  }
  return true;
}

bool Replace(const std::string& tempPath, const std::string& path) {
  if (InjectFault("rename")) return false;
  if (::rename(tempPath.c_str(), path.c_str()) != 0) return false;
  int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool ReadExact(int fd, void* data, size_t n, int64_t offset) {
  auto* p = static_cast<uint8_t*>(data);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd, p + done, n - done, offset + int64_t(done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;
    done += size_t(r);
  }
  return true;
}

bool Restore(int fd, const std::string& backup, int64_t offset, bool truncate) {
  bool ok = RawWrite(fd, reinterpret_cast<const uint8_t*>(backup.data()), backup.size(), offset);
  while (truncate && ::ftruncate(fd, offset + int64_t(backup.size())) != 0) {
    if (errno != EINTR) {
      ok = false;
      break;
    }
  }
  return ::fsync(fd) == 0 && ok;
}

}  // namespace io
}  // namespace tags

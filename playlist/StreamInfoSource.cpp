#include "playlist/StreamInfoSource.h"

#include <sys/stat.h>

#include <algorithm>

#include "engine/ZOZUZivade.h"

namespace playlist {

bool TEngineStreamInfo::Ready() const { return engine_.Ready(); }

bool TEngineStreamInfo::GetStreamInfo(const std::string& path, engine::TStreamInfo& info) {
  int supportedBy = engine::sbNone;
  return engine_.GetStreamInfoCached(path, info, supportedBy);
}

bool TStreamInfoCache::StampOf(const std::string& path, Stamp& stamp) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp.size = static_cast<int64_t>(st.st_size);
  stamp.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

void TStreamInfoCache::Forget(const std::string& path) {
  auto it = index_.find(path);
  if (it == index_.end()) return;
  lru_.erase(it->second);
  index_.erase(it);
}

void TStreamInfoCache::Trim() {
  const size_t bound = std::max(capacity_, rows_);
  while (lru_.size() > bound) {
    index_.erase(lru_.back().path);
    lru_.pop_back();
  }
}

void TStreamInfoCache::SetCapacity(size_t capacity) {
  capacity_ = capacity ? capacity : 1;
  Trim();
}

void TStreamInfoCache::ExpectRows(size_t rows) {
  rows_ = rows;
  Trim();
}

bool TStreamInfoCache::GetStreamInfo(const std::string& path, engine::TStreamInfo& info) {
  Stamp stamp;
  if (!StampOf(path, stamp)) {
    // Nothing to key on (vanished, not a regular file): ask every time, keep nothing.
    Forget(path);
    ++innerReads_;
    return inner_.GetStreamInfo(path, info);
  }
  auto it = index_.find(path);
  if (it != index_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second);  // now the most recently used
    if (it->second->stamp == stamp) {
      info = it->second->info;
      return it->second->ok;
    }
    lru_.erase(it->second);
    index_.erase(it);
  }
  ++innerReads_;
  Entry e;
  e.path = path;
  e.stamp = stamp;
  e.ok = inner_.GetStreamInfo(path, e.info);
  info = e.info;
  const bool ok = e.ok;
  lru_.push_front(std::move(e));
  index_[path] = lru_.begin();
  Trim();
  return ok;
}

}  // namespace playlist

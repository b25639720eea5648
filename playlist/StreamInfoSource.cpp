#include "playlist/StreamInfoSource.h"

#include <sys/stat.h>

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

bool TStreamInfoCache::GetStreamInfo(const std::string& path, engine::TStreamInfo& info) {
  Stamp stamp;
  if (!StampOf(path, stamp)) {
    // Nothing to key on (vanished, not a regular file): ask every time, keep nothing.
    entries_.erase(path);
    ++innerReads_;
    return inner_.GetStreamInfo(path, info);
  }
  auto it = entries_.find(path);
  if (it != entries_.end() && it->second.stamp == stamp) {
    info = it->second.info;
    return it->second.ok;
  }
  ++innerReads_;
  Entry e;
  e.stamp = stamp;
  e.ok = inner_.GetStreamInfo(path, e.info);
  info = e.info;
  const bool ok = e.ok;
  entries_[path] = std::move(e);
  return ok;
}

}  // namespace playlist

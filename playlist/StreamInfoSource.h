// Where the playlist gets stream information (duration, title, artist) from.
// The player hands in the engine through TEngineStreamInfo; tests hand in fakes.
// TStreamInfoCache sits in front of either and keeps what was read per file.
//
// Threads: every call comes from the UI thread (the engine's own rule).
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>

#include "engine/EngineTypes.h"

namespace engine {
class TZOZUZivade;
}

namespace playlist {

class IStreamInfoSource {
 public:
  virtual ~IStreamInfoSource() = default;
  // The audio library was loaded and initialised.
  virtual bool Ready() const = 0;
  // Reads the stream information of a local file; false when the file is not recognised.
  virtual bool GetStreamInfo(const std::string& path, engine::TStreamInfo& info) = 0;
  // The playlist is about to ask about `rows` files (its rows, or its rows plus
  // an add): a cache keeps at least that many records.
  virtual void ExpectRows(size_t /*rows*/) {}
};

// The engine behind the interface. A query for the file the engine has open is
// answered from its record without reopening the file.
class TEngineStreamInfo : public IStreamInfoSource {
 public:
  explicit TEngineStreamInfo(engine::TZOZUZivade& engine) : engine_(engine) {}
  bool Ready() const override;
  bool GetStreamInfo(const std::string& path, engine::TStreamInfo& info) override;

 private:
  engine::TZOZUZivade& engine_;
};

// Remembers each file's answer together with the file's size and modification
// time; the file is read again only when either has changed (or it vanished).
//
// The cache is bounded: past max(`capacity`, the rows the playlist last said it
// would ask about) records, the least recently asked-for one is forgotten. So
// adding folder after folder (Open folder replacing the list each time) keeps
// the records of what the list holds plus at most `capacity` others, not every
// record ever read; and an add still reads each of its files once (for the
// title; the time column is answered from the cache), whatever its size.
class TStreamInfoCache : public IStreamInfoSource {
 public:
  static constexpr size_t kDefaultCapacity = 16384;

  explicit TStreamInfoCache(IStreamInfoSource& inner, size_t capacity = kDefaultCapacity)
      : inner_(inner), capacity_(capacity ? capacity : 1) {}
  bool Ready() const override { return inner_.Ready(); }
  bool GetStreamInfo(const std::string& path, engine::TStreamInfo& info) override;

  void Clear() {
    index_.clear();
    lru_.clear();
  }
  size_t Size() const { return lru_.size(); }
  size_t Capacity() const { return capacity_; }
  // A smaller bound forgets the least recently used records at once (0 counts as 1).
  void SetCapacity(size_t capacity);
  void ExpectRows(size_t rows) override;
  // Queries passed on to the inner source (for tests and measurements).
  uint64_t InnerReads() const { return innerReads_; }

 private:
  struct Stamp {
    int64_t size = -1;
    int64_t mtimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Entry {
    std::string path;
    Stamp stamp;
    bool ok = false;
    engine::TStreamInfo info;
  };
  using Lru = std::list<Entry>;  // most recently used first
  static bool StampOf(const std::string& path, Stamp& stamp);
  void Forget(const std::string& path);
  void Trim();

  IStreamInfoSource& inner_;
  size_t capacity_;
  size_t rows_ = 0;  // the playlist's last ExpectRows
  Lru lru_;
  std::unordered_map<std::string, Lru::iterator> index_;
  uint64_t innerReads_ = 0;
};

}  // namespace playlist

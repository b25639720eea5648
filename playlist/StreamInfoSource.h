// Where the playlist gets stream information (duration, title, artist) from.
// The player hands in the engine through TEngineStreamInfo; tests hand in fakes.
// TStreamInfoCache sits in front of either and keeps what was read per file.
//
// Threads: every call comes from the UI thread (the engine's own rule).
#pragma once

#include <cstdint>
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
class TStreamInfoCache : public IStreamInfoSource {
 public:
  explicit TStreamInfoCache(IStreamInfoSource& inner) : inner_(inner) {}
  bool Ready() const override { return inner_.Ready(); }
  bool GetStreamInfo(const std::string& path, engine::TStreamInfo& info) override;

  void Clear() { entries_.clear(); }
  size_t Size() const { return entries_.size(); }
  // Queries passed on to the inner source (for tests and measurements).
  uint64_t InnerReads() const { return innerReads_; }

 private:
  struct Stamp {
    int64_t size = -1;
    int64_t mtimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Entry {
    Stamp stamp;
    bool ok = false;
    engine::TStreamInfo info;
  };
  static bool StampOf(const std::string& path, Stamp& stamp);

  IStreamInfoSource& inner_;
  std::unordered_map<std::string, Entry> entries_;
  uint64_t innerReads_ = 0;
};

}  // namespace playlist

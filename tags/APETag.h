// APE tag (version 1 or 2 footer "APETAGEX") at the end of a file, before an
// ID3v1 tag if there is one. Read only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tags {

class ByteSource;

class TAPETag {
 public:
  struct Item {
    std::string Name;   // trimmed
    std::string Value;  // UTF-8, at most the first 250 bytes of the stored value, trimmed
  };

  TAPETag() { ResetData(); }
  void ResetData();
  // False when the footer area cannot be read; true otherwise, Exists telling whether a tag was found.
  bool ReadFromFile(const std::string& path);
  bool ReadFromSource(ByteSource& src);
  bool ReadFromMemory(const void* data, size_t size);

  bool Exists() const { return exists_; }
  int Version() const { return version_; }
  int64_t TagSize() const { return tagSize_; }
  const std::vector<Item>& Items() const { return items_; }
  // Value of the first item with this name (ASCII case ignored); empty when none.
  std::string Value(const std::string& name) const;

 private:
  bool exists_;
  int version_;
  int64_t tagSize_;
  std::vector<Item> items_;
};

}  // namespace tags

// Addresses, header blocks and metadata texts of network streams: any bytes give
// valid UTF-8 titles of at most 255 bytes, and extensions that belong to the path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/NetStream.h"

namespace {
bool ValidUtf8(const std::string& s) {
  std::string again = engine::net::CleanText(s);
  return again == s;  // valid text of at most 255 bytes comes back unchanged
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  using namespace engine::net;
  std::string url = "http://host/" + text;
  std::string title = UrlTitle(url);
  if (title.size() > kMaxTitleBytes || !ValidUtf8(title)) std::abort();
  std::string ext = UrlExtension(url);
  if (!ext.empty() && (ext[0] != '.' || ext.find_first_of("/?#") != std::string::npos)) std::abort();
  UrlTitle(text);
  UrlExtension(text);
  std::string clean = CleanText(text);
  if (clean.size() > kMaxTitleBytes || !ValidUtf8(clean)) std::abort();
  // As a library block: zero-terminated strings ending with an empty one.
  std::string block = text + std::string(2, '\0');
  bool found = false;
  for (bool wma : {false, true}) {
    std::string t = MetaTitle(block.c_str(), wma, &found);
    if (t.size() > kMaxTitleBytes || !ValidUtf8(t)) std::abort();
  }
  auto list = TagList(block.c_str());
  HeaderBitRate(list);
  HeaderValue(list, "icy-metaint");
  ShoutcastTitle(text, &found);
  return 0;
}

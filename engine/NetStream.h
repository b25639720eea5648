// Network streams: texts taken from addresses and from the library's header and
// metadata blocks, and the records the library's network procedures fill on
// their own threads for the engine's hidden window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "bass/bass.h"
#include "platform/Messages.h"

namespace engine::net {

// Longest title kept, in bytes (the record's 256-byte buffer less its zero).
constexpr size_t kMaxTitleBytes = 255;

// True for the schemes the engine opens as network streams: "http://", "https://", "mms://".
bool IsNetworkAddress(const std::string& name);
// The address without its query ("?...") and fragment ("#...").
std::string StripQuery(const std::string& url);
// The extension of the address's file name with its dot, as written (".mp3"); empty when
// the path has no file name with an extension (a server address, "/stream", "/a.b/").
std::string UrlExtension(const std::string& url);
// The file name of the address without its extension, percent-decoded and made valid
// UTF-8 (see CleanText); empty when the address has no file name.
std::string UrlTitle(const std::string& url);
// Valid UTF-8 stays; any other text is read as Latin-1. The result is cut at
// kMaxTitleBytes on a character boundary.
std::string CleanText(std::string_view raw);
// The text cut at `maxBytes` without splitting a UTF-8 sequence (the text is valid UTF-8).
std::string CutUtf8(std::string_view text, size_t maxBytes);

// A library tag block: zero-terminated strings ending with an empty one. At most
// `maxEntries` entries of at most `maxBytes` bytes in all are read.
std::vector<std::string> TagList(const char* block, size_t maxEntries = 1024, size_t maxBytes = 1 << 20);
// Bit rate in kbit/s from "icy-br:" or, failing that, "ice-bitrate:" (names in any case); 0 without.
int HeaderBitRate(const std::vector<std::string>& headers);
// The value of the first "name:" header (any case), trimmed; `found` tells whether there was one.
std::string HeaderValue(const std::vector<std::string>& headers, const std::string& name, bool* found = nullptr);
// The title of a Shoutcast metadata text ("StreamTitle='Artist - Song';StreamUrl='';"):
// the quoted value (a ';' inside the quotes belongs to the title), or up to ';' when
// unquoted. `found` is false when the text has no "StreamTitle=".
std::string ShoutcastTitle(std::string_view meta, bool* found);
// A title from the library's metadata block: Shoutcast text, or (WMA) "Title=..." text, or a
// list of comments whose "TITLE=" entry gives it (a chained Ogg stream). Cleaned (CleanText).
// `found` is false when the block names no title.
std::string MetaTitle(const char* block, bool wma, bool* found);

// Titles handed from the metadata procedure (a library thread) to the UI thread: each is a
// whole copy tagged with the stream it belongs to, so a later title never overwrites one
// not yet shown and a title of a closed stream can be recognised and dropped.
class TMetaRecord {
 public:
  static constexpr size_t kCapacity = 64;
  struct Entry {
    uint64_t stream = 0;
    std::string title;
  };
  // UI thread: the stream whose notices count from now on (0: none).
  using GetTagsFn = const char* (*)(DWORD, DWORD);
  void Arm(platform::HWND window, DWORD channel, uint64_t stream, bool wma, GetTagsFn getTags);
  void Disarm();
  // Library thread: the metadata notice of `channel`; reads its block and posts.
  void Notice(DWORD channel);
  // UI thread: the oldest pending title.
  bool Take(Entry& entry);
  size_t Pending() const;

 private:
  mutable std::mutex mutex_;
  platform::HWND window_ = nullptr;  // guarded by mutex_
  DWORD channel_ = 0;
  uint64_t stream_ = 0;
  bool wma_ = false;
  GetTagsFn getTags_ = nullptr;
  std::deque<Entry> pending_;
};

// Status lines of a MIDI download, handed from the download procedure to the UI thread.
class TNetStatusRecord {
 public:
  void Arm(platform::HWND window, uint64_t stream);
  void Disarm();
  // Library thread: a call of the download procedure.
  void Notice(const void* buffer, DWORD length);
  // UI thread: the latest status text ("/1.1 200 OK" of "HTTP/1.1 200 OK") and whether the
  // procedure has reported, for `stream`.
  bool Arrived(uint64_t stream) const;
  std::string Status(uint64_t stream) const;

 private:
  mutable std::mutex mutex_;
  platform::HWND window_ = nullptr;  // guarded by mutex_
  uint64_t stream_ = 0;
  bool arrived_ = false;
  std::string status_;
};

}  // namespace engine::net

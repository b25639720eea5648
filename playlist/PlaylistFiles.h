// The playlist's own ".plf" format and the importers of foreign playlists.
// The text parsers work on memory (so they can be fuzzed); the file functions
// wrap them. Text is single-byte/UTF-8 as stored; nothing is converted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "playlist/Playlist.h"

namespace playlist {

// Kind names returned by the detection.
inline constexpr const char* kKindM3U = "M3U Playlist";
inline constexpr const char* kKindBSPlayer = "BSPlayer Playlist";
inline constexpr const char* kKindBSPlayerCrypted = "BSPlayer Crypted Playlist";
inline constexpr const char* kKindMPC = "Media Player Classic Playlist";
inline constexpr const char* kKindLightAlloy = "Light Alloy Playlist";
inline constexpr const char* kKindPLS = "PLS Playlist";
inline constexpr const char* kKindASX = "Windows Media ASX Playlist";
inline constexpr const char* kKindUnknown = "Unknown";

// Files larger than this are refused rather than read into memory, and no more
// entries than this are taken from one file: a hostile file of tiny lines cannot
// make the list grow without bound (a real playlist stays far below both).
inline constexpr size_t kMaxPlaylistFileSize = 64u << 20;
inline constexpr size_t kMaxPlaylistEntries = 2'000'000;
// Longer than any path with its title and time: a longer line holds no entry and is read as
// an empty one (a title that long would only stall the list and the scrolling title).
inline constexpr size_t kMaxPlaylistLine = 64u << 10;

// Lines ended by CR, LF or CR LF, one at a time; a final line end gives no extra
// empty line. The views point into the text.
class TLineReader {
 public:
  explicit TLineReader(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line);

 private:
  std::string_view text_;
  size_t pos_ = 0;
};
// Removes leading and trailing characters up to and including the blank.
std::string TrimText(std::string_view s);

// ".plf": one line per entry, Title|File|Time, each ended by CR LF.
std::string PlfText(const std::vector<PlaylistEntry>& entries);
// Entries of a ".plf" text, numbered from 1; empty lines give nothing.
std::vector<PlaylistEntry> ParsePlf(std::string_view text);

// Takes the entries a reader finds in a playlist text, in order. The readers stop after
// kMaxPlaylistEntries whatever the sink keeps, so the bound holds for every caller.
class TEntrySink {
 public:
  virtual ~TEntrySink() = default;
  virtual void Add(std::string title, std::string file, std::string time) = 0;
};
// The readers under ParsePlf and ParseForeignPlaylist (a foreign entry has no time). The first
// returns how many entries it gave; the second is false for an unknown kind.
size_t ReadPlfEntries(std::string_view text, TEntrySink& sink);
bool ReadForeignEntries(std::string_view kind, std::string_view text, TEntrySink& sink);

// Kind of a playlist from its first non-empty line, then from the extension of `fileName`.
std::string DetectPlaylistKindText(std::string_view text, std::string_view fileName);
std::string DetectPlaylistKind(const std::string& file);
// Fills the parallel lists for a kind (compared case-insensitively); false for an unknown kind.
bool ParseForeignPlaylist(std::string_view kind, std::string_view text, std::vector<std::string>& titles,
                          std::vector<std::string>& paths);
// Clears both lists, detects the kind and reads the file; false for "Unknown".
bool ReadForeignPlaylist(const std::string& file, std::vector<std::string>& titles, std::vector<std::string>& paths);

// Whole file into `text`; false (errno set) when it cannot be read or is too large.
bool ReadWholeFile(const std::string& file, std::string& text);

}  // namespace playlist

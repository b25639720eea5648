// DVD discs for the video side: finding the disc of a path and checking it
// before libVLC's DVD navigator gets it, the disc's identity, and the bookmark
// file ("bookmark.bmk": an OLE compound file with one stream "BookMark")
// written and read through libgsf.
//
// The stream holds our own record, the navigator's state as libVLC lets us
// reach it: the disc's identity, the title, the chapter and the time.
// Layout (little-endian): "ORVB", version 1 (u32), identity length (u16, at
// most 256) and its bytes, title (i32), chapter (i32), time in ms (i64).
//
// Threads: any; no shared state (libgsf is initialised once, thread-safely).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace video {

enum class TDvdVolume {
  Ok,
  Invalid,   // the path names no readable DVD volume (no or a corrupt VIDEO_TS)
  NotFound,  // no path and no drive
};

// Checks a DVD entry (a VIDEO_TS folder, its parent, or an .ifo/.vob file in it) or,
// with an empty path, the default drive. `disc` gets what libVLC is to open.
TDvdVolume CheckDvdVolume(const std::string& path, std::string& disc);
// A stable identity of the disc at `disc` (a digest of its VIDEO_TS.IFO), "" when unreadable.
std::string DvdDiscIdentity(const std::string& disc);

struct TDvdBookmark {
  std::string DiscId;
  int32_t Title = 0;
  int32_t Chapter = 0;
  int64_t TimeMs = 0;
};

enum class TBookmarkRead { Ok, Missing, Damaged };

// Writes through a temporary file renamed over `path`; false with `error` on failure.
bool SaveDvdBookmark(const std::string& path, const TDvdBookmark& bookmark, std::string* error = nullptr);
TBookmarkRead LoadDvdBookmark(const std::string& path, TDvdBookmark& bookmark);
// The same from a compound file in memory (the fuzz target).
TBookmarkRead ReadDvdBookmarkFromMemory(const uint8_t* data, size_t size, TDvdBookmark& bookmark);
// The "BookMark" stream's own record.
bool ParseBookmarkRecord(const uint8_t* data, size_t size, TDvdBookmark& bookmark);

}  // namespace video

// The tag editor's model, without Qt: the playlist's ID3v1 and ID3v2 objects
// for one file, the texts its window shows, and the save of what the user
// changed.
//
// The window edits a copy of the texts; a field the user left as it was
// filled keeps its stored value on save (a long Lyrics3 title, a genre the
// list does not hold, a track of "3/12"...). A tag none of whose fields
// changed is not written at all. Tags are written only into MPEG audio files:
// other formats are shown and not touched.
//
// Threads: UI thread only.
#pragma once

#include <array>
#include <string>

#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

namespace playlist {

// The texts of one tag page. `genre` is the genre list's selected position
// (-1 for none); `genreText` the selected name ("" for none).
struct TTagFields {
  std::string title, artist, album, comment, year, track;
  int genre = -1;
  std::string genreText;
  bool operator==(const TTagFields&) const = default;
};

class TTagEdit {
 public:
  enum class SaveResult {
    Saved,        // every changed tag written (or nothing changed)
    NotWritable,  // not an MPEG audio file: nothing written
    Vanished,     // the file is no longer there: nothing written
    BadTrack,     // a track field is no integer the tag can hold: nothing written
    V1Failed,     // the ID3v1 write failed; the file is as it was
    V2Failed      // the ID3v2 write failed; an ID3v1 change made before it is taken back
  };

  // Reads both tags of `path`; the file becomes the one a save writes into.
  // Returns false for each tag that could not be read (its fields are empty).
  void Load(const std::string& path);
  const std::string& EditFile() const { return file_; }
  bool V1Read() const { return v1Read_; }
  bool V2Read() const { return v2Read_; }
  // The texts to show, as read.
  const TTagFields& V1() const { return v1Shown_; }
  const TTagFields& V2() const { return v2Shown_; }
  // MPEG audio files (.mp1, .mp2, .mp3) take tags; others are shown read-only.
  bool Writable() const { return writable_; }
  static bool WritableFile(const std::string& path);

  // Writes the tags whose texts differ from what was shown. On BadTrack,
  // `badText` holds the offending track text.
  SaveResult Save(const TTagFields& v1, const TTagFields& v2, std::string* badText = nullptr);

  // The readers, for tests and for the window's extra texts.
  const tags::TID3v1& ID3v1() const { return id3v1_; }
  const tags::TID3v2& ID3v2() const { return id3v2_; }

 private:
  std::string file_;
  bool v1Read_ = false, v2Read_ = false, writable_ = false;
  TTagFields v1Shown_, v2Shown_;
  tags::TID3v1 id3v1_;
  tags::TID3v2 id3v2_;
};

// A whole decimal number (an optional sign, digits, nothing else) within
// [lo, hi]; false otherwise.
bool ParseDecimal(const std::string& text, long lo, long hi, long& value);

}  // namespace playlist

// Extension tables and the classification tests the playlist and the main window
// use to decide whether a path is playable and which engine plays it.
// Pure functions; safe on any thread.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace playlist {

// All entries lower case with the leading dot.
extern const std::array<const char*, 31> PlayableExtensions;
extern const std::array<const char*, 20> AudioExtensions;
extern const std::array<const char*, 8> VideoExtensions;
extern const std::array<const char*, 2> DvdExtensions;

// Extension of the file name part, dot included, as written ("" when none).
std::string FileExtension(std::string_view path);

// True when `ext` (compared exactly, so callers choose whether to lower-case) is in the table.
bool InPlayableExtensions(std::string_view ext);

// Extensions of the attached format add-ons (".opus", ".tta", ...) beyond the tables: files of these
// are audio and playable too. `list` is the engine's add-on extension list ("*.opus;*.spx;...").
// Set on the UI thread when add-ons are attached or freed; read by the tests below.
void SetAddOnExtensions(std::string_view list);
bool IsAddOnExtension(std::string_view lowerExt);
// Those extensions (".opus", ...), in the add-ons' order.
const std::vector<std::string>& AddOnExtensions();

// Lower-cased extension of `path` in the respective table.
bool IsAudioFile(std::string_view path);
bool IsVideoFile(std::string_view path);
bool IsDvdFile(std::string_view path);
// Lower-cased extension in PlayableExtensions.
bool IsPlayableFile(std::string_view path);
// Starts with exactly "http://", "https://" or "mms://" (case-sensitive).
bool IsStreamAddress(std::string_view path);
// Lower-cased extension ".mid" or ".kar" (needs the soundfont to play).
bool IsMidiFile(std::string_view path);

// The MIDI soundfont "CT4MGM.SF2" exists in "plugins/" under `programFolder`
// (which ends with '/'); the no-argument form uses the program folder.
bool SoundfontPresent(const std::string& programFolder);
bool SoundfontPresent();

// What plays an entry: 1 audio engine, 2 video file, 3 DVD. Later tests override
// earlier ones (a stream address is audio whatever its extension); a path in no
// class keeps `previousMode`.
int ChoosePlayMode(std::string_view path, int previousMode);

}  // namespace playlist

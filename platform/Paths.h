// Program folder, its sub-folders and file searches. Folders are returned with a
// trailing '/'. Thread-safe after the first call (the program folder is fixed at start).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Folder of the running executable (from /proc/self/exe), with a trailing '/'.
std::string ProgramFolder();
// Tests and tools may point the program at another folder (e.g. the staged one).
void SetProgramFolder(std::string folder);
// ProgramFolder() + "data/".
std::string DataFolder();
// Path of the running executable.
std::string ProgramPath();

// Names (not paths) of the regular files in `folder` whose name matches the
// glob `pattern` ignoring case ("in_*.so" matches "IN_X.so"), sorted by name.
std::vector<std::string> FindFiles(const std::string& folder, std::string_view pattern);
bool MatchesNoCase(std::string_view name, std::string_view pattern);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Adds a trailing '/' when missing (empty stays empty).
std::string WithSlash(std::string folder);
// Folder part with trailing '/', file name part, extension with the dot (".mp3", or "").
std::string ExtractFilePath(std::string_view path);
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// ASCII lower case (file extensions, keys).
std::string LowerAscii(std::string_view s);

}  // namespace platform

// Fakes and helpers for the playlist tests: a stream information source fed
// from a table, a host that records what the playlist asked of it, and files.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "playlist/Playlist.h"

namespace pltest {

class FakeInfo : public playlist::IStreamInfoSource {
 public:
  bool ready = true;
  std::map<std::string, engine::TStreamInfo> table;  // path -> answer; absent: failure
  std::vector<std::string> queries;

  bool Ready() const override { return ready; }
  bool GetStreamInfo(const std::string& path, engine::TStreamInfo& info) override {
    queries.push_back(path);
    auto it = table.find(path);
    if (it == table.end()) return false;
    info = it->second;
    return true;
  }
  void Set(const std::string& path, int durationMs, const std::string& artist = "", const std::string& title = "") {
    engine::TStreamInfo i;
    i.FileName = path;
    i.Duration = durationMs;
    i.Artist = artist;
    i.Title = title;
    table[path] = i;
  }
};

class RecordingHost : public playlist::TPlaylistHost {
 public:
  std::string programFolder = "/nonexistent-program/";
  std::vector<std::string> calls;
  std::string ProgramFolder() const override { return programFolder; }
  void Stop() override { calls.push_back("Stop"); }
  void Play() override { calls.push_back("Play"); }
  void SetCurrent(int index, const std::string& file) override {
    calls.push_back("SetCurrent " + std::to_string(index) + " " + file);
  }
  void ShowSoundfontNotice() override { calls.push_back("SoundfontNotice"); }
};

// A temporary folder removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  // Path of `rel` inside the folder; Make creates it (and its folders) with `data`.
  std::string File(const std::string& rel) const { return path_ + "/" + rel; }
  std::string Make(const std::string& rel, const std::string& data = "x") const;

 private:
  std::string path_;
};

std::string ReadAll(const std::string& path);

// File fields of all rows, in order.
std::vector<std::string> Files(const playlist::TPlaylist& pl);
std::vector<std::string> Titles(const playlist::TPlaylist& pl);

}  // namespace pltest

// Helpers for the tag tests: scratch folders, file bytes, generated media and
// calls to outside tools (ffmpeg, ffprobe, lame, python3-mutagen).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tagtest {

// A scratch folder removed when the object goes away.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool FileExists(const std::string& path);

// Runs a shell command; returns its standard output. status gets the exit status.
std::string Run(const std::string& command, int* status = nullptr);
// Quotes a text for the shell.
std::string Quote(const std::string& s);
// The Python interpreter that has mutagen.
std::string Python();

// Runs a Python script (python3 with mutagen) with sys.argv[1] = path; returns
// its standard output; status gets the exit status (0 on success).
std::string RunPython(const std::string& script, const std::string& path, int* status = nullptr);

// Copies a file.
void CopyFile(const std::string& from, const std::string& to);

// Media generated once into the build folder's cache (shared by all test
// processes; files appear atomically). recipe is a shell command with "{out}"
// standing for the output path. Returns the path, or "" when generation failed.
std::string CachedMedia(const std::string& name, const std::string& recipe);

// A chunk of deterministic non-tag bytes standing in for audio data.
std::string FakeAudio(size_t n, uint32_t seed = 1);

// An ID3v1 tag built by hand.
std::string MakeID3v1(const std::string& title, const std::string& artist, const std::string& album,
                      const std::string& year, const std::string& comment, int track, uint8_t genre);

// ffprobe's view of a file: sample rate, channels, duration in seconds.
struct ProbeInfo {
  int sampleRate = 0;
  int channels = 0;
  double duration = 0;
  int64_t bitRate = 0;
};
ProbeInfo Probe(const std::string& path);

}  // namespace tagtest

// Helpers for engine tests: a program folder that borrows the staged audio
// library, generated media, capture files and waits with timeouts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace enginetest {

// A temporary folder removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A program folder in a scratch folder: bass.so and plugins/ link to the staged
// ones (when `withLibrary`), so tests can add their own files beside them.
class ProgramDir : public ScratchDir {
 public:
  explicit ProgramDir(bool withLibrary = true);
  ~ProgramDir();
};

// Shell command; returns standard output, `status` gets the exit status.
std::string Run(const std::string& command, int* status = nullptr);
std::string Quote(const std::string& s);
void WriteFile(const std::string& path, const std::string& data);
std::string ReadFile(const std::string& path);

// Generated once per test run into the build folder's media cache. `recipe` is a
// shell command with {out} for the output path. Empty when generation failed.
std::string Media(const std::string& name, const std::string& recipe);
// A 16-bit stereo 44.1 kHz WAV of a sine (ffmpeg).
std::string SineWav(double seconds, int hz = 440);

// A format-0 MIDI file: a track named "Lead", the lyrics "Hel-" and "lo" and two notes (about 2 s).
std::string LyricMidiFile();

// Interleaved 16-bit samples of a WAV file's data chunk (any 16-bit PCM WAV).
std::vector<int16_t> ReadWav16(const std::string& path, int* channels = nullptr, int* rate = nullptr);
// What was heard against its source, both from their first non-zero sample: the sample counts from
// there and the largest difference from the source at the engine's volume (0.9945).
struct THeardMatch {
  bool heard = false;  // the capture holds something besides silence
  size_t srcSamples = 0, gotSamples = 0;
  int worst = 0;
};
THeardMatch CompareHeard(const std::vector<int16_t>& src, const std::vector<int16_t>& got);
// FFmpeg's own decode as 16-bit stereo 44.1 kHz samples.
std::vector<int16_t> FFmpegDecode(const std::string& path);

// Pumps the calling thread's messages until `done` or the timeout; true when done.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

// Sets the capture output variables for engines created afterwards; clears them when destroyed.
// speed: 0 real time, 1 as fast as possible, N >= 2 N times real time (for tests that act while playing).
class CaptureOutput {
 public:
  CaptureOutput(const std::string& wavPath, int speed);
  ~CaptureOutput();
};
// Sets the silent real-time output for engines created afterwards.
class SilentOutput {
 public:
  SilentOutput();
  ~SilentOutput();
};

}  // namespace enginetest

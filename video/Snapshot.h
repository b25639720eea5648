// Snapshots of the video: the file name the player gives them and a 24-bit
// Windows bitmap writer. Thread-agnostic (pure functions).
#pragma once

#include <cstdint>
#include <string>

#include "video/VideoController.h"

namespace video {

// Elapsed time "h:mm:ss" (hours as they are); negative times read 0.
std::string ElapsedText(int64_t ms);
// folder + "Snapshot - " + videoName + " - " + positionText with every ':' as '-' + ".bmp".
std::string SnapshotFileName(const std::string& folder, const std::string& videoName, const std::string& positionText);
// Writes `frame` as a bottom-up 24-bit bitmap through a temporary file renamed over `path`,
// so an existing file is replaced whole or not at all. False with `error` on failure.
bool SaveBitmap24(const TVideoFrame& frame, const std::string& path, std::string* error = nullptr);
// Reads a 24-bit bitmap written by SaveBitmap24 (tests, the command line); false when it is not one.
bool LoadBitmap24(const std::string& path, TVideoFrame& frame);

}  // namespace video

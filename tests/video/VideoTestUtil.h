// Media for the video tests, generated with ffmpeg into the build folder's media cache.
#pragma once

#include <string>

#include "video/VideoController.h"

namespace videotest {

// 12 s, 320x240 at 25 fps, H.264: red = 20 x the whole second, green = 0.75 x, blue = y; audio
// track 1 a 440 Hz sine (default), track 2 880 Hz; SubRip subtitles; three chapters of 4 s.
std::string SmallMkv();
// 1.5 s of picture and sound (MPEG-4 part 2 and MP2 in AVI): for endings.
std::string ShortAvi();
// A PAL DVD folder: the disc starts in its title menu (blue), whose button plays title 1
// (12 s, chapters at 0, 4 and 8 s); the root menu (green) has a button that calls the title
// menu. Each button lies in the middle of its menu, white while highlighted. The disc's root.
std::string TestDvd();
// The file truncated to a third of it.
std::string TruncatedMkv();
// ffmpeg's own picture at `seconds` as a frame (bgr24 through a 24-bit bitmap).
bool FFmpegFrame(const std::string& file, double seconds, video::TVideoFrame& out);
// Mean absolute difference per channel between two frames of one size (-1 when the sizes differ).
double MeanAbsDiff(const video::TVideoFrame& a, const video::TVideoFrame& b);
// Mean of one channel (shift 16 red, 8 green, 0 blue).
double ChannelMean(const video::TVideoFrame& f, int shift);
// Level of a tone in interleaved 16-bit samples of one channel (Goertzel, RMS-like units).
double ToneLevel(const int16_t* samples, size_t frames, int channels, int channel, double hz, int rate);

}  // namespace videotest

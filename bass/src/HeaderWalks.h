// Our own walks over stream headers that FFmpeg does not give us in the form we need: the
// Vorbis comment header as written in the file, and the exact length of an MPEG audio
// stream (Xing/Info header or a walk over the frame headers). Pure functions over a byte
// source, so they can be fuzzed from memory. Called on whatever thread opens the stream.
#pragma once

#include "bass.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvbass {

// Reads up to n bytes at pos into buf; returns how many it read (fewer at the end).
using ReadAtFn = std::function<size_t(QWORD pos, void* buf, size_t n)>;

// The Vorbis comment packet as a tag list ("KEY=value\0...\0\0"); empty when it is not one.
std::string ParseVorbisComment(const std::vector<uint8_t>& packet);

// The comment packet of the first logical stream in the Ogg pages from the start (at most 64
// pages and 16 MB of packet), as a tag list; empty when there is none.
std::string OggComments(const ReadAtFn& read);

// MPEG audio frame header facts.
struct MpegHeader {
  int version = 0;  // 1 = MPEG-1, 2 = MPEG-2, 3 = MPEG-2.5
  int layer = 0;
  int rate = 0;
  int size = 0;  // frame bytes
  int spf = 0;   // samples per frame
  bool mono = false;
};
// h: four bytes.
bool ParseMpegHeader(const uint8_t* h, MpegHeader& m);

// Exact decoded length in samples of an MPEG audio stream starting at "start" in a source of
// "size" bytes: from the Xing/LAME header when there is one (frames minus encoder delay and
// padding, as FFmpeg trims them), otherwise by walking the frame headers, whose starts go to
// "offsets". -1 when it cannot tell. spf: samples per frame of the stream.
int64_t MpegLength(const ReadAtFn& read, QWORD size, QWORD start, std::vector<QWORD>& offsets, int& spf);

// The tag blocks BASS_ChannelGetTags gives for a file: the ID3v2 tag at the start, whole (header,
// frames, padding, footer), and the 128-byte ID3v1 block at the end; each empty when absent.
struct Id3Blocks {
  std::string v1, v2;
};
Id3Blocks ReadId3Blocks(const ReadAtFn& read, QWORD size);

// Where the MPEG audio of a file starts, when the file plainly is MPEG audio: after any ID3v2 tags
// (and zero padding behind them) comes a valid frame header, followed by a second frame header of
// the same layer and rate at the computed distance, or by the end of the file (or its ID3v1 tag).
// Containers that carry MPEG audio (RIFF, MP4, Ogg) and ADTS AAC do not qualify.
struct MpegStart {
  QWORD firstFrame = 0;  // offset of the first frame header
  QWORD audioStart = 0;  // first frame of audio: after a Xing/Info/VBRI frame when there is one
  MpegHeader header;     // of the first frame
  bool infoFrame = false;  // the first frame is a Xing/Info/VBRI frame (no audio of its own)
  bool xing = false;       // ... and a Xing/Info one: its frame count gives the exact length
};
bool ProbeMpegAudio(const ReadAtFn& read, QWORD size, MpegStart& out);

// Where the samples of a plain PCM or float file lie and how they are coded: the formats the core
// decodes without FFmpeg (PcmDecoder.cpp).
enum class PcmCoding { U8, S8, S16, S24, S32, F32, F64 };
struct PcmLayout {
  PcmCoding coding = PcmCoding::S16;
  bool bigEndian = false;
  bool aiff = false;
  int chans = 0;
  int rate = 0;
  int bits = 0;        // bits per sample the header names (1..64)
  int frameBytes = 0;  // bytes of one frame of all channels
  // Two channels that are left and right (no speaker mask, or one saying so): what a downmix to
  // mono takes them for.
  bool plainStereo = false;
  QWORD dataStart = 0;
  QWORD frames = 0;  // whole frames of audio from dataStart
};
// A RIFF (or RF64/BW64) WAVE file whose "fmt " chunk is integer PCM of 1 to 32 bits or float of 32
// or 64 bits (plain or WAVE_FORMAT_EXTENSIBLE with that sub-format), whose frame size is the sample
// size times the channels (1..8), with at least one whole frame of data. Chunks may come in any
// order (odd sizes padded); a data chunk of size 0 or 0xFFFFFFFF, or running past the end, runs to
// the end of the file. False for anything else (and for what FFmpeg would take for another format:
// S/PDIF bursts in 16-bit PCM, an XMA2 or SMV0 chunk, a LIST chunk too short for its type).
bool WalkRiffWave(const ReadAtFn& read, QWORD size, PcmLayout& out);
// The first chunk of a RIFF WAVE file, other than its audio, whose size runs past the end of the
// file: where it starts (0 when there is none), and whether the audio chunk came before it. FFmpeg
// reads such chunks (LIST, bext, id3...) into zeroed memory of the size they claim: a damaged header
// of a few bytes would cost gigabytes and many seconds.
struct RiffDamage {
  QWORD at = 0;
  bool afterAudio = false;
};
RiffDamage FindRiffDamage(const ReadAtFn& read, QWORD size);
// An AIFF or AIFF-C file (FORM within its declared size; COMM with an 80-bit rate; SSND with its
// offset) of big-endian integer PCM of 1 to 32 bits, or AIFF-C "NONE"/"twos" (the same), "sowt"
// (16-bit little-endian), "in24"/"in32", "fl32"/"fl64"; 1..8 channels, at least one whole frame. The
// SSND data runs to its chunk's end, or to the end of the file when it is cut. False for anything
// else (other codings, a second SSND chunk: FFmpeg's). With a CHAN chunk two channels are not
// taken for plain left and right.
bool WalkAiff(const ReadAtFn& read, QWORD size, PcmLayout& out);

}  // namespace orvbass

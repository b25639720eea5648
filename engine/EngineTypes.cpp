#include "engine/EngineTypes.h"

namespace engine {

const char* PlayerModeName(TPlayerMode mode) {
  switch (mode) {
    case plmStandby: return "plmStandby";
    case plmReady: return "plmReady";
    case plmStopped: return "plmStopped";
    case plmPlaying: return "plmPlaying";
    case plmPaused: return "plmPaused";
  }
  return "?";
}

std::string FormatName(int32_t code) {
  switch (code) {
    case 0x100: return "MO3";
    case 0x10002: return "Ogg Vorbis";
    case 0x10003: return "MPEG Layer 1";
    case 0x10004: return "MPEG Layer 2";
    case 0x10005: return "MP3";
    case 0x10006: return "Audio IFF";
    case 0x10200: return "CD Track";
    case 0x10300: return "WMA";
    case 0x10301: return "WMA_MP3";
    case 0x10600: return "OptimFROG";
    case 0x10700: return "Monkey's Audio";
    case 0x10900: return "FLAC";
    case 0x10A00: return "Musepack";
    case 0x10B00: return "AAC";
    case 0x10B01: return "MP4";
    case 0x10C00: return "Speex";
    case 0x10D00: return "MIDI";
    case 0x10E00: return "Apple Lossless";
    case 0x10F00: return "TTA";
    case 0x11000: return "Dolby Digital AC-3";
    case 0x1F000: return "ADX";
    case 0x20000: return "Generic MOD";
    case 0x20001: return "MultiTracker";
    case 0x20002: return "ScreamTracker 3";
    case 0x20003: return "FastTracker 2";
    case 0x20004: return "Impulse Tracker";
    case 0x40000: return "WAVE";
    case 0x50001: return "Integer PCM WAVE";
    case 0x50003: return "Floating-point PCM WAVE";
    default: return "Unknown";
  }
}

}  // namespace engine

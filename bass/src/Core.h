// Internal state of the audio library.
//
// Threading contract
//   - API threads: any thread calling a BASS_ function.
//   - Mixer thread: fills channel playback buffers (decoders, stream procedures, DSP, effects,
//     mix-time syncs) and mixes playing channels into the output.
//   - Sync thread: calls the non-mix-time sync procedures when the device clock reaches them.
//   - Device thread (SDL callback only): reads the output ring, never locks.
//   - PulseAudio main loop thread: the stream's callbacks (count dropouts, wake the mixer).
// Locks: Channel::mutex (recursive, one channel's whole state) may be held while taking a leaf lock;
// Lib::mutex (handle tables), Lib::mixMutex, the output's and the sync queue's mutexes are leaves:
// nothing else is locked while one of them is held, except that the PulseAudio output's request
// callback (main loop lock held) takes mixMutex to wake the mixer (MixerWake). Callbacks into user code run with at most the own channel's
// lock held, so they may call back into the library for that channel.
#pragma once

#include "../bass.h"
#include "../bass_addon.h"
#include "Resampler.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvbass {

class Output;
struct Effect;

bool SetError(int code);  // sets the thread's error code; returns code == 0
int GetError();
template <class T> T Fail(int code, T value) {
  SetError(code);
  return value;
}

enum class SampleFmt { U8, S16, F32 };
inline SampleFmt FmtOfFlags(DWORD flags) {
  if (flags & BASS_SAMPLE_FLOAT) return SampleFmt::F32;
  if (flags & BASS_SAMPLE_8BITS) return SampleFmt::U8;
  return SampleFmt::S16;
}
inline int BytesOf(SampleFmt f) { return f == SampleFmt::U8 ? 1 : f == SampleFmt::S16 ? 2 : 4; }
void ToFloat(SampleFmt f, const void* src, float* dst, size_t samples);
void FromFloat(SampleFmt f, const float* src, void* dst, size_t samples);

// An attribute that can slide linearly over device time.
struct Attr {
  float value = 0;
  float target = 0;
  double framesLeft = 0;  // output frames until the slide ends; 0 = not sliding
  bool Sliding() const { return framesLeft > 0; }
};

struct Sync {
  HSYNC handle;
  DWORD type;  // without flags
  bool mixtime, onetime;
  QWORD param;
  SYNCPROC* proc;
  void* user;
};

struct Processor {  // a DSP procedure or an effect, ordered by priority
  DWORD handle;
  int priority;
  uint64_t order;  // insertion order; equal priorities run in the order they were set
  DSPPROC* proc = nullptr;
  void* user = nullptr;
  std::shared_ptr<Effect> fx;
};

// One mixed block: device frames [devStart, devStart+devFrames) played channel bytes
// [pos, pos+bytes). Used to know what is heard now.
struct Segment {
  uint64_t devStart;
  uint32_t devFrames;
  QWORD pos;
  QWORD bytes;
};

struct Channel : std::enable_shared_from_this<Channel> {
  DWORD handle = 0;
  bool isMusic = false;
  DWORD flags = 0;  // creation flags (+ BASS_SAMPLE_LOOP changes)
  DWORD freq = 44100, chans = 2;
  SampleFmt fmt = SampleFmt::S16;
  int frameBytes = 4;
  DWORD ctype = 0, origres = 0;
  HPLUGIN plugin = 0;
  std::string filename;
  bool hasFilename = false;
  bool decodeOnly = false;

  ORV_DECODER dec{};
  ORV_FILE* file = nullptr;
  // Dummy/push/user stream details live behind dec.self.

  std::recursive_mutex mutex;
  std::atomic<bool> alive{true};

  // --- guarded by mutex ---
  enum class State { Stopped, Playing, Paused } state = State::Stopped;
  bool stalled = false;
  bool srcEnded = false;    // the decoder has no more data
  bool endReached = false;  // the end has been mixed (or read, for decoding channels)
  uint64_t endDevFrame = 0; // device frame at which the last mixed sample is heard
  bool locked = false;      // BASS_ChannelLock
  QWORD decodePos = 0;      // bytes produced so far (position of the end of the buffer)
  // Playback buffer: processed bytes from bufPos (the heard position or later) to decodePos.
  std::vector<uint8_t> buf;
  size_t bufHead = 0;      // index of bufPos in buf
  QWORD bufPos = 0;
  QWORD mixPos = 0;        // next byte to mix
  std::deque<Segment> segs;
  // Rate conversion to the output (played channels only; positioned on the frame at mixPos) and its
  // output, kChunk frames; both allocated when the channel is created.
  Resampler rs;
  std::vector<float> resampled;
  Attr vol, pan, freqAttr;
  std::vector<Sync> syncs;
  // Add-on events (type, data) waiting to be heard at a byte position; cleared by seeks.
  struct AddonEvent {
    DWORD type, data;
    QWORD pos;
  };
  std::vector<AddonEvent> addonEvents;
  std::vector<Processor> procs;
  QWORD cachedLength = (QWORD)-1;
  std::vector<HSTREAM> links;
  std::atomic<uint32_t> generation{0};  // bumped by seeks/stops; drops stale scheduled syncs
  std::atomic<bool> playing{false};      // state == Playing, readable without the lock
  std::vector<uint8_t> scratch;          // decode scratch (mixer thread / GetData)
  std::vector<float> fscratch;
  // A stream procedure may block (it waits for its producer), so it is called without the channel
  // lock; "inRead" (guarded by mutex) marks the call, "reader" is the thread making it.
  bool unlockedReads = false;
  bool inRead = false;
  std::thread::id reader;

  size_t Buffered() const { return buf.size() - bufHead; }
  QWORD Length();  // bytes or -1
};

using ChannelPtr = std::shared_ptr<Channel>;

struct PluginEntry {
  HPLUGIN handle;
  void* dl;
  const ORV_ADDON* addon;
  std::string path;
};

struct Lib {
  std::mutex mutex;  // handle tables, config
  std::map<DWORD, ChannelPtr> channels;
  std::map<DWORD, DWORD> fxOwner;    // fx handle -> channel
  std::map<DWORD, DWORD> dspOwner;   // dsp handle -> channel
  std::map<DWORD, DWORD> syncOwner;  // sync handle -> channel
  std::vector<PluginEntry> plugins;
  std::atomic<DWORD> nextHandle{0x10000};
  std::atomic<uint64_t> nextOrder{1};

  // configuration
  std::atomic<DWORD> bufferMs{500}, updatePeriod{100}, gvolStream{10000}, gvolMusic{10000}, gvolSample{10000};
  std::map<DWORD, DWORD> otherConfig{{BASS_CONFIG_NET_TIMEOUT, 5000}, {BASS_CONFIG_NET_BUFFER, 5000},
                                     {BASS_CONFIG_NET_PREBUF, 75}, {BASS_CONFIG_NET_PLAYLIST, 0}};
  std::map<DWORD, std::string> ptrConfig;

  // device
  std::atomic<bool> initialized{false};
  int device = -1;
  DWORD outFreq = 44100;
  DWORD initFlags = 0;
  std::unique_ptr<Output> output;
  std::atomic<float> masterVolume{1.0f};
  std::atomic<float> cpu{0.0f};

  // mixer thread
  std::thread mixer;
  std::mutex mixMutex;
  std::condition_variable mixWake;
  bool mixQuit = false;  // guarded by mixMutex
  uint64_t mixWakes = 0;  // guarded by mixMutex: counts MixerWake() calls, so none is lost
  std::atomic<int> playingCount{0};

  DWORD NewHandle() { return nextHandle.fetch_add(1); }
};

Lib& L();

// Channel registry
ChannelPtr FindChannel(DWORD handle);  // sets BASS_ERROR_HANDLE when missing
DWORD RegisterChannel(const ChannelPtr& ch);
bool FreeChannel(DWORD handle, bool musicOnly, bool streamOnly);
void FreeAllChannels();
bool PluginInUse(HPLUGIN plugin);

// Channel creation from a decoder; takes ownership of dec (closes it on failure) and file.
DWORD CreateChannelFromDecoder(const ORV_DECODER& dec, ORV_FILE* file, DWORD flags, HPLUGIN plugin,
                               const char* filename, bool isMusic);

// Channel operations (channel lock held by the caller unless noted)
void ChannelResetBuffer(Channel& c, QWORD pos);
bool ChannelSeek(Channel& c, QWORD pos);
QWORD ChannelHeardPos(Channel& c, uint64_t played);
DWORD ChannelProduce(Channel& c, uint8_t* dst, DWORD bytes);  // decode + DSP + FX + mix-time syncs
DWORD ChannelActivity(Channel& c);
void ChannelFireSync(Channel& c, const Sync& s, DWORD data, uint64_t devFrame);
// An add-on's event at byte "pos": fired now (mix-time syncs, decoding channels) or queued until heard.
void ChannelAddonEvent(Channel& c, DWORD type, DWORD data, QWORD pos);
// Fires the channel's syncs of "type" now (not tied to a position), e.g. a download that completed.
void ChannelFireNow(Channel& c, DWORD type, DWORD data);
void ChannelTrim(Channel& c, uint64_t played);
void ChannelDecodeEnd(Channel& c);
// Decodes ahead so that "bytes" are buffered from position "from" (not past the end).
void ChannelFillFrom(Channel& c, QWORD from, QWORD bytes);  // decoding channel: fire the end syncs once the decoder ended
uint32_t ChannelMix(Channel& c, float* mix, uint32_t frames, uint64_t dev, DWORD outFreq, float gvol);
// Decodes ahead as ChannelMix does and tells whether a whole block of "frames" output frames can be
// made now (or the source ended). Call under the channel lock.
bool ChannelBlockReady(Channel& c, uint32_t frames, DWORD outFreq);
void RemoveSyncLocked(Channel& c, HSYNC sync);

// Mixer
void MixerStart();
void MixerStop();
void MixerWake();
bool OnLibraryThread();  // the mixer or the sync thread
uint64_t DevicePlayed();
uint64_t DeviceWritten();

// Sync thread
void SyncThreadStart();
void SyncThreadStop();
void ScheduleSync(const ChannelPtr& ch, const Sync& s, DWORD data, uint64_t devFrame);
void SyncWake();
void WaitForChannelCallbacks(Channel* ch);  // no callback of ch running on the sync thread after this

// Decoders
// Whether an FFmpeg name ("mov,mp4,m4a" counts by any of its parts) is in a comma-separated list;
// a null list holds every name.
bool InList(const char* list, const char* name);
bool OpenFFmpeg(ORV_FILE* file, DWORD flags, const char* demuxers, const char* codecs, DWORD ctype,
                ORV_DECODER* out, bool coreOnly);
// libmpg123 for files that plainly are MPEG audio (HeaderWalks.h's ProbeMpegAudio); false (error
// BASS_ERROR_FILEFORM) for anything else, or when libmpg123 cannot be opened or refuses the file:
// the caller then tries FFmpeg. The file must be seekable (a local file, memory or seekable user file).
bool OpenMpg123(ORV_FILE* file, DWORD flags, ORV_DECODER* out);
// Plain PCM and float WAVE and AIFF files (HeaderWalks.h's WalkRiffWave, WalkAiff) decoded without
// FFmpeg, to the bit as the FFmpeg path decodes them; false (error BASS_ERROR_FILEFORM, file back at
// 0) for anything else, a file that cannot seek among them: the caller then tries libmpg123 and FFmpeg.
bool OpenPcm(ORV_FILE* file, DWORD flags, ORV_DECODER* out);
// Native FLAC files through libFLAC (FlacDecoder.cpp), to the bit as the FFmpeg path decodes them;
// false (error BASS_ERROR_FILEFORM, file back at 0) for anything else, for what would not decode
// the same (see there) and when libFLAC cannot be opened: the caller then tries FFmpeg. Offered to
// the FLAC add-on through ORV_CORE_API::OpenFlac.
bool OpenFlac(ORV_FILE* file, DWORD flags, ORV_DECODER* out);
// Whether a local, seekable file is native FLAC ("fLaC" at the start or after one ID3v2 tag), which
// only FFmpeg's "flac" demuxer takes: a probe of FFmpeg for other formats need not map it. File back at 0.
bool IsNativeFlac(ORV_FILE* file);
bool OpenMusic(ORV_FILE* file, DWORD flags, DWORD freq, ORV_DECODER* out);
ORV_FILE* FileOpen(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
ORV_FILE* FileOpenUser(DWORD system, const BASS_FILEPROCS* procs, void* user);
void FileClose(ORV_FILE* f);
DWORD FileRead(ORV_FILE* f, void* buf, DWORD len);
// As FileRead, but a network stream returns what has arrived (at least a byte) without waiting for more.
DWORD FileReadSome(ORV_FILE* f, void* buf, DWORD len);
BOOL FileSeek(ORV_FILE* f, QWORD pos);
// Back to the start of the file for the next format probe: a seek, or, for a user file that cannot
// seek, a replay of what the probes read so far. False when neither is possible.
bool FileRewind(ORV_FILE* f);
// A decoder has the file: a user file that cannot seek stops keeping its head for the probes.
void FileProbed(ORV_FILE* f);
QWORD FileTell(ORV_FILE* f);
QWORD FileSize(ORV_FILE* f);
const char* FileName(ORV_FILE* f);
// The file as the header walks read it (HeaderWalks.h's ReadAtFn; the file position is the
// caller's to restore). Reads that follow each other do not seek, as a network stream prefers.
std::function<size_t(QWORD pos, void* buf, size_t n)> FileReaderAt(ORV_FILE* f);
// A user file that cannot seek, read as the header walks read, while the format probes run: any
// position within the first "limit" bytes, from what was read of its head and by reading on (kept
// for the next probe). Nothing for other files. The file position is the caller's to rewind.
std::function<size_t(QWORD pos, void* buf, size_t n)> FileHeadReader(ORV_FILE* f, QWORD limit);
bool MakeUserStream(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc, void* user, ORV_DECODER* out);
DWORD PushData(Channel& c, const void* data, DWORD length);
void BindUserStream(Channel& c);

// Add-ons
const ORV_CORE_API* CoreApi();
DWORD TryAddons(ORV_FILE* file, DWORD flags, const char* filename);
// The first add-on that opens "file": its handle, with *out filled; 0 (error set) when none does.
HPLUGIN TryAddonDecoders(ORV_FILE* file, DWORD flags, ORV_DECODER* out);
void FreeAllPlugins();

}  // namespace orvbass

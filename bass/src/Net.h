// Network streams: a download thread per stream (libcurl), a bounded byte store between it and
// the decoder, and a decode thread that runs ahead so neither the mixer nor an API thread ever
// waits on a server.
//
// Threading contract
//   - Download thread (one per stream): the only caller of libcurl for its transfer; writes the
//     byte store, the header lists (before publishing "headers ready") and the metadata queue;
//     calls the stream's DOWNLOADPROC; fires BASS_SYNC_DOWNLOAD without ever blocking on the
//     channel lock (it gives up when the stream is being freed).
//   - Decode thread (one per stream): the only user of the inner decoder, except a seek (API
//     thread, channel lock held) once the download is complete, which takes the decoder lock.
//     Fills the PCM ring.
//   - Mixer / BASS_ChannelGetData: the outer decoder's read takes from the PCM ring and never
//     waits; an empty ring is a stall.
// Locks: NetStore::m, the PCM ring lock and the connection lock are leaves; the decoder lock may
// be held while the store lock is taken (a read), never the other way round.
#pragma once

#include "Core.h"

#include <vector>

namespace orvbass {

struct NetStore;

// BASS_StreamCreateURL.
HSTREAM CreateURLStream(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void* user);

// The whole body of an http(s) address (small files such as MIDI), downloaded on a thread of its
// own with the connect/header timeout of BASS_CONFIG_NET_TIMEOUT and a total limit of four times
// that. Fails (with the thread's error code set) past maxBytes.
bool DownloadWhole(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void* user, QWORD maxBytes,
                   std::vector<uint8_t>& out);

// Byte access for the network kind of ORV_FILE (File.cpp).
ORV_FILE* FileOpenNet(NetStore* store);
bool FileIsNet(ORV_FILE* f);
DWORD NetStoreRead(NetStore* s, void* buf, DWORD len);
bool NetStoreSeek(NetStore* s, QWORD pos);
QWORD NetStoreTell(NetStore* s);
QWORD NetStoreSize(NetStore* s);  // the whole length of a network file, 0 for a live stream

// Tag 5 as heard at channel byte position "pos" (network decoders only; nullptr otherwise).
bool IsNetDecoder(const ORV_DECODER& dec);
const char* NetMetaAt(void* self, QWORD pos);

// FFmpegDecoder.cpp: a network file's download has completed: the decoder may now read the tail,
// count an MPEG stream's exact length and seek.
void FFmpegNetComplete(void* self);
// The same decoder's tag block, with its size (tags may hold zero bytes).
bool FFmpegTagBlock(void* self, DWORD type, std::string& out);
// New comments of a chained Ogg stream since the last call, as a "KEY=value" tag list.
bool FFmpegTakeMetaUpdate(void* self, std::string& out);

}  // namespace orvbass

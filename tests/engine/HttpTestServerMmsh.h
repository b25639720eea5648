// MMS over HTTP for the tests' server: an ASF file served the way a Windows Media server
// streams it to FFmpeg's "mmsh" client (what "mms://" addresses are tried with first).
//
// The exchange, as that client makes it: a first GET (User-Agent "NSPlayer/...", Pragma
// "xClientGUID=...") is answered with the header chunk only; a second GET carrying
// "Pragma: xPlayStrm=1" gets the header chunk again, then the data packets, then the end chunk.
// Every chunk is "$" + type letter + 16-bit little-endian length, then (for "$H" and "$D") an
// 8-byte head: 32-bit sequence number, incarnation byte, flags byte, the length again.
#pragma once

#include <string>
#include <vector>

#include "HttpTestServer.h"

namespace enginetest {

struct MmshAsf {
  std::string header;                // the ASF header object and the data object's 50-byte head
  std::vector<std::string> packets;  // the data packets, each of the file's packet size
  // Splits an ASF file (fixed packet size, as FFmpeg writes it); false when it is not one.
  static bool FromFile(const std::string& asf, MmshAsf& out);
};

struct MmshOptions {
  int packetDelayMs = 0;  // pause after each data packet (a real-time server sends ~1 per 200 ms)
  bool endChunk = true;   // "$E" after the last packet
};

// One "$H"/"$D" chunk.
std::string MmshChunk(char type, uint32_t sequence, const std::string& payload);
// True when the request asks for the stream (the client's second request).
bool MmshIsPlayRequest(const HttpTestServer::Request& request);
// A handler answering as above.
HttpTestServer::Handler MmshHandler(MmshAsf asf, MmshOptions options = {});

}  // namespace enginetest

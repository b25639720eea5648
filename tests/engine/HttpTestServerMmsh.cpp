#include "HttpTestServerMmsh.h"

#include <cstdint>
#include <cstring>

namespace enginetest {

namespace {

uint64_t Le64(const std::string& s, size_t at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | uint8_t(s[at + size_t(i)]);
  return v;
}
uint32_t Le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | uint8_t(s[at + size_t(i)]);
  return v;
}
void PutLe16(std::string& s, uint32_t v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
void PutLe32(std::string& s, uint32_t v) {
  PutLe16(s, v & 0xFFFF);
  PutLe16(s, v >> 16);
}

const unsigned char kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const unsigned char kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                     0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const unsigned char kFilePropsGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                          0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr size_t kDataHead = 50;

}  // namespace

bool MmshAsf::FromFile(const std::string& asf, MmshAsf& out) {
  if (asf.size() < 30 || std::memcmp(asf.data(), kHeaderGuid, 16) != 0) return false;
  const uint64_t headerSize = Le64(asf, 16);
  if (headerSize < 30 || headerSize + kDataHead > asf.size()) return false;
  uint32_t packetSize = 0;
  for (size_t at = 30; at + 24 <= headerSize;) {
    const uint64_t size = Le64(asf, at + 16);
    if (size < 24 || at + size > headerSize) return false;
    // File properties: the minimum and maximum packet sizes (equal in a fixed-size file).
    if (std::memcmp(asf.data() + at, kFilePropsGuid, 16) == 0 && size >= 24 + 76) {
      const uint32_t minSize = Le32(asf, at + 24 + 68), maxSize = Le32(asf, at + 24 + 72);
      if (minSize == maxSize) packetSize = minSize;
    }
    at += size_t(size);
  }
  if (packetSize == 0 || packetSize > 60000 || std::memcmp(asf.data() + headerSize, kDataGuid, 16) != 0) return false;
  out.header = asf.substr(0, size_t(headerSize) + kDataHead);
  out.packets.clear();
  for (size_t at = size_t(headerSize) + kDataHead; at + packetSize <= asf.size(); at += packetSize)
    out.packets.push_back(asf.substr(at, packetSize));
  return !out.packets.empty();
}

std::string MmshChunk(char type, uint32_t sequence, const std::string& payload) {
  const uint32_t length = uint32_t(payload.size() + 8);
  std::string c = "$";
  c += type;
  PutLe16(c, length);
  PutLe32(c, sequence);
  c += '\0';                    // incarnation
  c += char(type == 'H' ? 0x0C : 0x00);  // flags: the header chunk is a whole ASF header
  PutLe16(c, length);
  return c + payload;
}

bool MmshIsPlayRequest(const HttpTestServer::Request& request) {
  for (const auto& h : request.headers)
    if (h.find("xPlayStrm=1") != std::string::npos) return true;
  return false;
}

HttpTestServer::Handler MmshHandler(MmshAsf asf, MmshOptions options) {
  return [asf = std::move(asf), options](const HttpTestServer::Request& request, HttpTestServer::Connection& c) {
    const bool play = MmshIsPlayRequest(request);
    std::string head = "HTTP/1.0 200 OK\r\n";
    head += play ? "Content-Type: application/x-mms-framed\r\n" : "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\n";
    head += "Server: Cougar/9.01.01.3814\r\n"
            "Cache-Control: no-cache\r\n"
            "Pragma: no-cache,client-id=3320437311,xResetStrm=1,features=\"broadcast,playlist\"\r\n"
            "Pragma: timeout=60000\r\n\r\n";
    if (!c.Write(head) || !c.Write(MmshChunk('H', 0, asf.header)) || !play) return;
    for (size_t i = 0; i < asf.packets.size(); ++i) {
      if (!c.Write(MmshChunk('D', uint32_t(i), asf.packets[i]))) return;
      if (options.packetDelayMs > 0 && !c.Sleep(options.packetDelayMs)) return;
    }
    if (options.endChunk) {
      std::string end = "$E";
      PutLe16(end, 4);
      PutLe32(end, 0);  // reason: the stream ended normally
      c.Write(end);
    }
  };
}

}  // namespace enginetest

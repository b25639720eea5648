#include "video/Snapshot.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/IniFile.h"

#include <unistd.h>

namespace video {

namespace {
void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = x & 0xff;
  v[at + 1] = x >> 8;
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = (x >> (8 * i)) & 0xff;
}
uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t(v[at + 3]) << 24);
}
}  // namespace

std::string ElapsedText(int64_t ms) {
  if (ms < 0) ms = 0;
  const int64_t s = ms / 1000;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                static_cast<long long>((s % 3600) / 60), static_cast<long long>(s % 60));
  return buf;
}

std::string SnapshotFileName(const std::string& folder, const std::string& videoName, const std::string& positionText) {
  std::string pos = positionText;
  for (char& c : pos)
    if (c == ':') c = '-';
  return folder + "Snapshot - " + videoName + " - " + pos + ".bmp";
}

bool SaveBitmap24(const TVideoFrame& frame, const std::string& path, std::string* error) {
  if (frame.Width <= 0 || frame.Height <= 0 ||
      frame.Pixels.size() < static_cast<size_t>(frame.Width) * frame.Height) {
    if (error) *error = "There is no picture to save yet.";
    return false;
  }
  const size_t stride = (static_cast<size_t>(frame.Width) * 3 + 3) & ~size_t(3);
  const size_t imageSize = stride * frame.Height;
  std::vector<uint8_t> out(54 + imageSize, 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, static_cast<uint32_t>(out.size()));
  Put32(out, 10, 54);
  Put32(out, 14, 40);
  Put32(out, 18, static_cast<uint32_t>(frame.Width));
  Put32(out, 22, static_cast<uint32_t>(frame.Height));
  Put16(out, 26, 1);
  Put16(out, 28, 24);
  Put32(out, 34, static_cast<uint32_t>(imageSize));
  Put32(out, 38, 2835);
  Put32(out, 42, 2835);
  for (int y = 0; y < frame.Height; ++y) {
    uint8_t* row = &out[54 + stride * (frame.Height - 1 - y)];
    const uint32_t* src = &frame.Pixels[static_cast<size_t>(y) * frame.Width];
    for (int x = 0; x < frame.Width; ++x) {
      row[x * 3] = src[x] & 0xff;
      row[x * 3 + 1] = (src[x] >> 8) & 0xff;
      row[x * 3 + 2] = (src[x] >> 16) & 0xff;
    }
  }
  if (!platform::WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(out.data()), out.size()))) {
    if (error) *error = "Cannot write " + path;
    return false;
  }
  return true;
}

bool LoadBitmap24(const std::string& path, TVideoFrame& frame) {
  std::ifstream f(path, std::ios::binary);
  std::vector<uint8_t> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (d.size() < 54 || d[0] != 'B' || d[1] != 'M' || (d[28] | (d[29] << 8)) != 24) return false;
  const int w = static_cast<int>(Get32(d, 18)), h = static_cast<int>(Get32(d, 22));
  const size_t off = Get32(d, 10);
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;
  const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t(3);
  if (off + stride * h > d.size()) return false;
  frame.Width = w;
  frame.Height = h;
  frame.Pixels.assign(static_cast<size_t>(w) * h, 0);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = &d[off + stride * (h - 1 - y)];
    for (int x = 0; x < w; ++x)
      frame.Pixels[static_cast<size_t>(y) * w + x] =
          0xff000000u | (uint32_t(row[x * 3 + 2]) << 16) | (uint32_t(row[x * 3 + 1]) << 8) | row[x * 3];
  }
  return true;
}

}  // namespace video

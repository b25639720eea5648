#include "CueSheet.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace orvcd {
namespace {

bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A word or a "quoted string" from the rest of a line.
bool NextToken(const std::string& line, size_t& i, std::string& out) {
  while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
  if (i >= line.size()) return false;
  out.clear();
  if (line[i] == '"') {
    size_t end = line.find('"', i + 1);
    if (end == std::string::npos) return false;
    out = line.substr(i + 1, end - i - 1);
    i = end + 1;
    return true;
  }
  while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) out.push_back(line[i++]);
  return true;
}

// "mm:ss:ff" in sectors (75 frames a second).
bool ParseMsf(const std::string& s, int64_t& sectors) {
  int m, sec, f;
  char c1, c2;
  std::istringstream in(s);
  if (!(in >> m >> c1 >> sec >> c2 >> f) || c1 != ':' || c2 != ':') return false;
  if (m < 0 || m > 9999 || sec < 0 || sec > 59 || f < 0 || f > 74) return false;
  char extra;
  if (in >> extra) return false;
  sectors = (int64_t(m) * 60 + sec) * 75 + f;
  return true;
}

}  // namespace

bool ParseCue(const std::string& text, const std::string& folder, CueSheet* sheet, std::string* error) {
  *sheet = CueSheet{};
  std::istringstream in(text);
  std::string line;
  size_t lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (lineNo > 100000) return Fail(error, "sheet too long");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lineNo == 1 && line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    size_t i = 0;
    std::string cmd;
    if (!NextToken(line, i, cmd)) continue;
    cmd = Upper(cmd);
    std::string a, b;
    std::string where = " (line " + std::to_string(lineNo) + ")";
    if (cmd == "FILE") {
      if (!NextToken(line, i, a)) return Fail(error, "FILE without a name" + where);
      if (sheet->files.size() >= 99) return Fail(error, "too many files" + where);
      sheet->files.push_back(!a.empty() && a[0] == '/' ? a : folder + a);
    } else if (cmd == "TRACK") {
      if (sheet->files.empty()) return Fail(error, "TRACK before FILE" + where);
      if (!NextToken(line, i, a) || !NextToken(line, i, b)) return Fail(error, "bad TRACK" + where);
      char* end = nullptr;
      long n = std::strtol(a.c_str(), &end, 10);
      if (*end || n < 1 || n > 99) return Fail(error, "bad track number" + where);
      if (!sheet->tracks.empty() && n <= sheet->tracks.back().number) return Fail(error, "tracks out of order" + where);
      CueTrack t;
      t.number = int(n);
      t.file = sheet->files.size() - 1;
      b = Upper(b);
      t.audio = b == "AUDIO";
      if (b == "AUDIO" || b == "MODE1/2352" || b == "MODE2/2352" || b == "CDI/2352") t.sectorBytes = 2352;
      else if (b == "MODE1/2048" || b == "MODE2/2048") t.sectorBytes = 2048;
      else if (b == "MODE2/2336" || b == "CDI/2336") t.sectorBytes = 2336;
      else if (b == "CDG") t.sectorBytes = 2448;
      else return Fail(error, "unknown track mode" + where);
      sheet->tracks.push_back(t);
    } else if (cmd == "INDEX") {
      if (sheet->tracks.empty()) return Fail(error, "INDEX before TRACK" + where);
      if (!NextToken(line, i, a) || !NextToken(line, i, b)) return Fail(error, "bad INDEX" + where);
      int64_t at;
      if (!ParseMsf(b, at)) return Fail(error, "bad INDEX time" + where);
      char* end = nullptr;
      long n = std::strtol(a.c_str(), &end, 10);
      if (*end || n < 0 || n > 99) return Fail(error, "bad index number" + where);
      CueTrack& t = sheet->tracks.back();
      if (t.file != sheet->files.size() - 1) return Fail(error, "INDEX in another FILE than its TRACK" + where);
      if (n == 0) t.index0 = at;
      else if (n == 1) t.index1 = at;
    } else if (cmd == "PREGAP") {
      if (sheet->tracks.empty() || !NextToken(line, i, a)) return Fail(error, "bad PREGAP" + where);
      int64_t at;
      if (!ParseMsf(a, at)) return Fail(error, "bad PREGAP time" + where);
      sheet->tracks.back().pregapSectors += uint32_t(at);
    } else if (cmd == "TITLE" || cmd == "PERFORMER") {
      if (sheet->tracks.empty() && NextToken(line, i, a)) (cmd == "TITLE" ? sheet->title : sheet->performer) = a;
    }
    // REM, CATALOG, FLAGS, ISRC, POSTGAP, SONGWRITER, CDTEXTFILE: nothing to keep.
  }
  if (sheet->tracks.empty()) return Fail(error, "no tracks");
  for (const CueTrack& t : sheet->tracks)
    if (t.index1 < 0) return Fail(error, "track " + std::to_string(t.number) + " has no INDEX 01");
  return true;
}

bool ResolveCue(CueSheet* sheet, const std::vector<uint64_t>& fileSizes, std::string* error) {
  if (fileSizes.size() != sheet->files.size()) return Fail(error, "file sizes missing");
  auto& tr = sheet->tracks;
  for (size_t k = 0; k < tr.size(); ++k) {
    CueTrack& t = tr[k];
    if (t.index0 > t.index1) return Fail(error, "INDEX 00 after INDEX 01");
    if (t.index0 >= 0) t.pregapSectors += uint32_t(t.index1 - t.index0);
    uint64_t fileSize = fileSizes[t.file];
    t.startByte = uint64_t(t.index1) * t.sectorBytes;
    uint64_t end = fileSize;
    // The track runs to the next track's pregap (or start) in the same file, else to the file end.
    if (k + 1 < tr.size() && tr[k + 1].file == t.file) {
      const CueTrack& n = tr[k + 1];
      int64_t nextStart = n.index0 >= 0 ? n.index0 : n.index1;
      if (nextStart < t.index1) return Fail(error, "tracks overlap");
      end = uint64_t(nextStart) * t.sectorBytes;
    }
    if (t.startByte > fileSize || end > fileSize) return Fail(error, "track past the end of its file");
    t.lengthBytes = end - t.startByte;
    t.lengthBytes -= t.lengthBytes % t.sectorBytes;
  }
  return true;
}

}  // namespace orvcd

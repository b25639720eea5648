#include "stacker/ChainText.h"

#include <cctype>

namespace pilvo {
namespace {

bool StartsNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

bool EndsNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && StartsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// Plain decimal digits only; anything else (sign, blank, overflow) is -1.
int ParseIndex(std::string_view s) {
  if (s.empty() || s.size() > 10) return -1;
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v > 2147483647LL ? -1 : int(v);
}

// "%d"-style: optional sign and digits at the start; any non-zero number is on.
int ParseEnabled(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  size_t digits = i;
  bool nonZero = false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') nonZero |= s[i++] != '0';
  if (i == digits) return 1;  // no number at all: the default
  return nonZero ? 1 : 0;
}

}  // namespace

std::vector<TChainPiece> ParseChainText(std::string_view text) {
  if (text.size() > kChainTextMax) {
    bool cutInsidePiece = text[kChainTextMax] != ' ';
    text = text.substr(0, kChainTextMax);
    if (cutInsidePiece) {
      size_t lastSpace = text.rfind(' ');
      text = lastSpace == std::string_view::npos ? std::string_view() : text.substr(0, lastSpace);
    }
  }
  std::vector<TChainPiece> pieces;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(' ', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view piece = text.substr(pos, end - pos);
    pos = end + 1;
    size_t c1 = piece.find(',');
    if (c1 == std::string_view::npos) continue;
    TChainPiece p;
    p.LibraryName = std::string(piece.substr(0, c1));
    std::string_view rest = piece.substr(c1 + 1);
    size_t c2 = rest.find(',');
    p.ModuleIndex = ParseIndex(rest.substr(0, c2));
    p.Enabled = c2 == std::string_view::npos ? 1 : ParseEnabled(rest.substr(c2 + 1));
    pieces.push_back(std::move(p));
  }
  return pieces;
}

std::string FormatChainText(const std::vector<TChainPiece>& pieces, size_t* dropped) {
  std::string text;
  size_t i = 0;
  for (; i < pieces.size(); ++i) {
    const TChainPiece& p = pieces[i];
    std::string piece = p.LibraryName + "," + std::to_string(p.ModuleIndex) + "," + std::to_string(p.Enabled ? 1 : 0);
    size_t need = piece.size() + (text.empty() ? 0 : 1);
    if (text.size() + need > kChainTextMax) break;
    if (!text.empty()) text += ' ';
    text += piece;
  }
  if (dropped) *dropped = pieces.size() - i;
  return text;
}

bool IsChainLibraryName(std::string_view name) {
  if (name.size() > 255 || !StartsNoCase(name, "dsp_") || !EndsNoCase(name, ".so") || name.size() < 7) return false;
  if (name.find("..") != std::string_view::npos) return false;
  for (unsigned char c : name)
    if (c == '/' || c == '\\' || c == ' ' || c == ',' || c < 0x20 || c == 0x7f) return false;
  return true;
}

bool IsChainModuleIndex(int index) { return index >= 0 && index < kMaxModules; }

}  // namespace pilvo

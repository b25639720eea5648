// Chain texts and description caches: any bytes parse without harm; the pieces
// that would load are plain names and indexes 0..7; what is formatted stays
// within the limit and reads back as the same pieces.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "stacker/ChainText.h"
#include "stacker/StackerSettings.h"
#include "../ScratchFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<pilvo::TChainPiece> pieces = pilvo::ParseChainText(text);
  std::vector<pilvo::TChainPiece> loadable;
  for (const auto& p : pieces) {
    if (p.Enabled != 0 && p.Enabled != 1) __builtin_trap();
    if (p.ModuleIndex < -1) __builtin_trap();
    if (!pilvo::IsChainLibraryName(p.LibraryName) || !pilvo::IsChainModuleIndex(p.ModuleIndex)) continue;
    if (p.LibraryName.find('/') != std::string::npos || p.LibraryName.find("..") != std::string::npos) __builtin_trap();
    loadable.push_back(p);
  }
  size_t dropped = 0;
  std::string out = pilvo::FormatChainText(loadable, &dropped);
  if (out.size() > pilvo::kChainTextMax) __builtin_trap();
  std::vector<pilvo::TChainPiece> back = pilvo::ParseChainText(out);
  if (back.size() != loadable.size() - dropped) __builtin_trap();
  for (size_t i = 0; i < back.size(); ++i)
    if (!(back[i] == loadable[i])) __builtin_trap();

  // The same bytes as a description cache.
  static const std::string path = MakeFuzzScratchFile("pic");
  if (WriteFuzzInput(path, data, size)) {
    pilvo::TDescriptionCache cache;
    cache.Read(path);
    for (const auto& [name, description] : cache.Pairs()) {
      if (name.empty() || description.empty() || name.size() + description.size() > 255) __builtin_trap();
      if (cache.Find(name) == nullptr) __builtin_trap();
    }
  }
  return 0;
}

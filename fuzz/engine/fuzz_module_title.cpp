// Titles in tracker module headers: for every format, any bytes give a title no longer than
// its field, without a zero byte and without trailing blanks or control characters, that is
// the start of the field's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/ModuleTitle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const char* ext : {".MOD", ".XM", ".IT", ".MTM", ".S3M", ".UMX", ".MO3"}) {
    const engine::TModuleTitleField field = engine::ModuleTitleField(ext);
    const std::string title = engine::ModuleTitleFromHeader(data, size, field);
    if (title.size() > field.length) std::abort();
    if (title.find('\0') != std::string::npos) std::abort();
    if (!title.empty() && static_cast<unsigned char>(title.back()) <= ' ') std::abort();
    if (!title.empty() && std::memcmp(title.data(), data + field.offset, title.size()) != 0) std::abort();
  }
  return 0;
}

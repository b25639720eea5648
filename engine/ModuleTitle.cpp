#include "engine/ModuleTitle.h"

#include <fstream>

namespace engine {

TModuleTitleField ModuleTitleField(std::string_view ext) {
  if (ext == ".MOD") return {0, 20};
  if (ext == ".XM") return {17, 20};
  if (ext == ".IT" || ext == ".MTM") return {4, 20};
  if (ext == ".S3M") return {0, 28};
  return {};
}

std::string ModuleTitleFromHeader(const uint8_t* head, size_t size, TModuleTitleField field) {
  if (field.length == 0 || size < field.offset || size - field.offset < field.length) return {};
  std::string title(reinterpret_cast<const char*>(head) + field.offset, field.length);
  const size_t zero = title.find('\0');
  if (zero != std::string::npos) title.resize(zero);
  // Trackers pad the field with blanks (and some with other control bytes).
  while (!title.empty() && static_cast<unsigned char>(title.back()) <= ' ') title.pop_back();
  return title;
}

std::string ModuleTitleFromFile(const std::string& path, std::string_view ext) {
  const TModuleTitleField field = ModuleTitleField(ext);
  if (field.length == 0) return {};
  std::ifstream in(path, std::ios::binary);
  std::string buf(field.length, '\0');
  if (!in.seekg(static_cast<std::streamoff>(field.offset)) ||
      !in.read(buf.data(), static_cast<std::streamsize>(field.length)))
    return {};
  return ModuleTitleFromHeader(reinterpret_cast<const uint8_t*>(buf.data()), buf.size(), {0, field.length});
}

}  // namespace engine

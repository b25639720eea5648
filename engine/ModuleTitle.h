// Song titles stored in tracker module headers (MOD, XM, IT, MTM, S3M). No Qt; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// Where a module format keeps its title: byte offset and field length in the header.
struct TModuleTitleField {
  size_t offset = 0;
  size_t length = 0;  // 0: the format has no title field
};

// ext: the upper-case extension with its dot (".XM").
TModuleTitleField ModuleTitleField(std::string_view ext);

// The title in the first bytes of a module: the field up to its first zero byte, without
// trailing blanks and control characters. Empty when the header is shorter than the field.
std::string ModuleTitleFromHeader(const uint8_t* head, size_t size, TModuleTitleField field);

// The same read from the file (only the field's bytes are read).
std::string ModuleTitleFromFile(const std::string& path, std::string_view ext);

}  // namespace engine

// Text encoding helpers. UTF-8 is the system code page here; formats that
// define their own encoding are converted to UTF-8 with these functions.
// All functions are pure and thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// ISO-8859-1 bytes to UTF-8 (every byte maps to the code point of its value).
std::string Latin1ToUtf8(std::string_view latin1);
// UTF-8 to ISO-8859-1; characters outside Latin-1 become '?'.
std::string Utf8ToLatin1(std::string_view utf8);

// UTF-16 (little or big endian, no byte order mark expected) to UTF-8.
// Unpaired surrogates become U+FFFD. An odd trailing byte is ignored.
std::string Utf16LEToUtf8(std::string_view bytes);
std::string Utf16BEToUtf8(std::string_view bytes);
// UTF-16 with an optional byte order mark (FF FE or FE FF); little endian without one.
std::string Utf16BomToUtf8(std::string_view bytes);
// UTF-8 to UTF-16 little/big endian bytes (no byte order mark).
std::string Utf8ToUtf16LE(std::string_view utf8);
std::string Utf8ToUtf16BE(std::string_view utf8);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Conversion through iconv between any two encodings it knows (for example
// "CP949" to "UTF-8"). Invalid sequences are skipped; returns an empty string
// when iconv does not know one of the encodings.
std::string ConvertEncoding(std::string_view bytes, const char* from, const char* to);

// Code page 949 (Korean) to UTF-8.
std::string Cp949ToUtf8(std::string_view bytes);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace platform

// UTF-8 for the host's names (paths, font names) from Windows' UTF-16.
#pragma once

#include <cstdint>
#include <string>

namespace hosted_text {

// Appends one code point (up to U+10FFFF) as UTF-8.
inline void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The code point at text[i] (a surrogate pair read whole, i moved past its
// first half); -1 for a lone surrogate.
inline int32_t NextCodePoint(const char16_t* text, size_t& i, size_t size) {
  const uint32_t c = text[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < size && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
    return static_cast<int32_t>(0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00));
  if (c >= 0xD800 && c <= 0xDFFF) return -1;
  return static_cast<int32_t>(c);
}

}  // namespace hosted_text

// A variant of Tahoma whose VDMX table applies to Windows text (its one
// ratio record marked for the ANSI character set instead of all glyphs,
// which the platform skips), renamed "Tahomv" so that it stands beside
// the real Tahoma. No shipped font here has an applicable VDMX table; this
// one lets the recorded cases check how such a table sizes a font. Used by
// tools/scalable_font_probe.cpp (under Windows) and the scalable font test.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// Changes the bytes of tahoma.ttf in place; false when they are not laid
// out as expected.
inline bool MakeVdmxFont(std::vector<uint8_t>& font) {
  auto read = [&](size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | font[at + i];
    return value;
  };
  if (font.size() < 12) return false;
  bool vdmx = false, name = false;
  for (size_t i = 0, tables = read(4, 2); i < tables && 12 + i * 16 + 16 <= font.size(); ++i) {
    size_t entry = 12 + i * 16, start = read(entry + 8, 4), length = read(entry + 12, 4);
    if (start + length > font.size()) return false;
    if (std::memcmp(&font[entry], "VDMX", 4) == 0 && length > 6) {
      font[start + 6] = 1;
      vdmx = true;
    } else if (std::memcmp(&font[entry], "name", 4) == 0) {
      // Every spelling of the name, UTF-16 and 8-bit, becomes "Tahomv".
      for (size_t at = start; at + 6 <= start + length; ++at) {
        if (std::memcmp(&font[at], "Tahoma", 6) == 0) font[at + 5] = 'v';
        if (at + 12 <= start + length && std::memcmp(&font[at], "\0T\0a\0h\0o\0m\0a", 12) == 0) font[at + 11] = 'v';
      }
      name = true;
    }
  }
  return vdmx && name;
}

// PNG files of presented pictures.
#pragma once

#include <string>

namespace display {

// Writes width x height 32-bit pixels (0x00RRGGBB, pitch bytes a row) to
// path as an 8-bit RGB PNG. False when the file cannot be written whole.
bool WritePng(const std::string& path, const void* pixels, int width, int height, int pitch);

}  // namespace display

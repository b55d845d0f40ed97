// Captured frames read back: a PNG file as 0x00RRGGBB pixels.
#pragma once

#include <string>

#include "support/pixels.h"

// False when the file is missing or not a whole PNG; rgb8, when given, is
// told whether the file itself holds 8-bit RGB without alpha, as captures do.
bool ReadPng(const std::string& path, pixels::Picture* picture, bool* rgb8 = nullptr);

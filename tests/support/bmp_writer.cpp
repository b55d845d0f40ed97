#include "support/bmp_writer.h"

#include <algorithm>
#include <functional>

namespace {

uint32_t Hash(uint32_t a, uint32_t b = 0, uint32_t c = 0) {
  uint32_t h = a * 0x9E3779B1u ^ b * 0x85EBCA77u ^ c * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void Set32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// An n-bit channel value shown in 8 bits: the top bits repeated below.
uint32_t Widen(uint32_t value, int bits) {
  if (bits >= 8) return value >> (bits - 8);
  value <<= 8 - bits;
  return value | value >> bits;
}

// Palette indices with stretches of one index, of two alternating ones and
// of noise, and whole rows of one index; -1 marks what run-length encoded
// files leave out. Rows count from the file's first (bottom) row.
int Index(int32_t x, int32_t row, int32_t width, int32_t height, uint32_t entries, bool encoded) {
  if (encoded && width >= 4 && height >= 3) {
    // A stretch in scan order (a move right and up), a notch inside one
    // row (a move right) and the end of the last row (end of bitmap).
    const int64_t at = int64_t{row} * width + x;
    if (at >= int64_t{height / 3} * width + width / 4 && at < int64_t{2 * height / 3} * width + width / 2) return -1;
    if (row == 0 && x >= width / 2 && x < width / 2 + 2) return -1;
    if (row == height - 1 && x >= 2 * width / 3) return -1;
  }
  if (row % 4 == 3) return static_cast<int>((row / 4) % entries);
  const int32_t part = x % 24;
  if (part < 8) return static_cast<int>((x / 24 + row) % entries);
  if (part < 14) return static_cast<int>((row + x % 2) % entries);
  return static_cast<int>(Hash(x, row, 7) % entries);
}

// One row's stretch of indices as runs and literal runs.
void EncodeStretch(std::vector<uint8_t>& out, const std::vector<int>& v, bool four) {
  const size_t n = v.size();
  // Pixels from i that one run can give: one index, or two alternating at 4 bits.
  auto runAt = [&](size_t i) {
    size_t j = i + 1;
    while (j < n && j - i < 255 && v[j] == v[four ? i + (j - i) % 2 : i]) ++j;
    return j - i;
  };
  size_t i = 0;
  while (i < n) {
    const size_t run = runAt(i);
    if (run >= 3 || n - i < 3) {
      const size_t count = std::max<size_t>(std::min<size_t>(run, n - i), 1);
      const int second = four && count > 1 ? v[i + 1] : v[i];
      out.push_back(static_cast<uint8_t>(count));
      out.push_back(static_cast<uint8_t>(four ? v[i] << 4 | second : v[i]));
      i += count;
      continue;
    }
    size_t j = i;
    while (j < n && j - i < 255 && (j == i || runAt(j) < 3)) ++j;
    const size_t count = j - i;
    if (count < 3) {
      for (; i < j; ++i) out.insert(out.end(), {1, static_cast<uint8_t>(four ? v[i] << 4 : v[i])});
      continue;
    }
    out.insert(out.end(), {0, static_cast<uint8_t>(count)});
    size_t bytes = 0;
    for (size_t k = i; k < j; k += four ? 2 : 1, ++bytes)
      out.push_back(static_cast<uint8_t>(four ? v[k] << 4 | (k + 1 < j ? v[k + 1] : 0) : v[k]));
    if (bytes % 2 != 0) out.push_back(0);
    i = j;
  }
}

std::vector<uint8_t> EncodeRuns(int32_t width, int32_t height, bool four,
                                const std::function<int(int32_t, int32_t)>& index) {
  std::vector<uint8_t> out;
  int32_t x = 0, row = 0;
  for (;;) {
    int32_t nx = x, ny = row;
    while (ny < height && (nx >= width || index(nx, ny) < 0)) {
      if (++nx >= width) nx = 0, ++ny;
    }
    if (ny >= height) break;
    while (row < ny) {
      if (nx >= x) {
        const int32_t dx = std::min(nx - x, 255), dy = std::min(ny - row, 255);
        out.insert(out.end(), {0, 2, static_cast<uint8_t>(dx), static_cast<uint8_t>(dy)});
        x += dx;
        row += dy;
      } else {
        out.insert(out.end(), {0, 0});
        x = 0;
        ++row;
      }
    }
    for (; x < nx; x += std::min(nx - x, 255))
      out.insert(out.end(), {0, 2, static_cast<uint8_t>(std::min(nx - x, 255)), 0});
    std::vector<int> stretch;
    for (; x < width && index(x, row) >= 0; ++x) stretch.push_back(index(x, row));
    EncodeStretch(out, stretch, four);
  }
  out.insert(out.end(), {0, 1});
  return out;
}

const BmpFormat kFormats[] = {
    {"1bit", 1, 0, 40, 0, {}, false},
    {"1bit-1colour-topdown", 1, 0, 40, 1, {}, true},
    {"4bit", 4, 0, 40, 0, {}, false},
    {"4bit-5colours-topdown", 4, 0, 40, 5, {}, true},
    {"8bit", 8, 0, 40, 0, {}, false},
    {"8bit-17colours-topdown", 8, 0, 40, 17, {}, true},
    {"8bit-v5header", 8, 0, 124, 0, {}, false},
    {"core-1bit", 1, 0, 12, 0, {}, false},
    {"core-4bit", 4, 0, 12, 0, {}, false},
    {"core-8bit", 8, 0, 12, 0, {}, false},
    {"core-24bit", 24, 0, 12, 0, {}, false},
    {"16bit-555", 16, 0, 40, 0, {}, false},
    {"16bit-555-topdown", 16, 0, 40, 0, {}, true},
    {"16bit-565-fields", 16, 3, 40, 0, {0xF800, 0x07E0, 0x001F}, false},
    {"16bit-555-fields-v4header-topdown", 16, 3, 108, 0, {0x7C00, 0x03E0, 0x001F}, true},
    {"24bit", 24, 0, 40, 0, {}, false},
    {"24bit-topdown", 24, 0, 40, 0, {}, true},
    {"32bit", 32, 0, 40, 0, {}, false},
    {"32bit-topdown", 32, 0, 40, 0, {}, true},
    {"32bit-fields", 32, 3, 40, 0, {0xFF0000, 0xFF00, 0xFF}, false},
    {"32bit-fields-bgr-56header-topdown", 32, 3, 56, 0, {0xFF, 0xFF00, 0xFF0000}, true},
    {"rle8", 8, 1, 40, 0, {}, false},
    {"rle8-20colours", 8, 1, 40, 20, {}, false},
    {"rle4", 4, 2, 40, 0, {}, false},
    {"rle4-6colours", 4, 2, 40, 6, {}, false},
};

}  // namespace

BmpSample WriteBmp(const BmpFormat& f, int32_t width, int32_t height) {
  const bool core = f.headerSize == 12, encoded = f.compression == 1 || f.compression == 2;
  const bool paletted = f.bpp <= 8;
  const uint32_t entries = !paletted ? 0 : f.colours != 0 ? f.colours : 1u << f.bpp;
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < entries; ++i) palette.push_back(Hash(i, f.bpp) & 0xFFFFFF);

  BmpSample sample{std::string(f.name) + "-" + std::to_string(width) + "x" + std::to_string(height), {}, width,
                   height, std::vector<uint32_t>(static_cast<size_t>(width) * height), encoded};
  // The pixels of row `row` (from the file's first) and what they show.
  std::vector<uint8_t> bits;
  auto shown = [&](int32_t x, int32_t row) -> uint32_t& {
    const int32_t top = f.topDown ? row : height - 1 - row;
    return sample.pixels[static_cast<size_t>(top) * width + x];
  };
  auto index = [&](int32_t x, int32_t row) { return Index(x, row, width, height, entries, encoded); };
  if (encoded) {
    bits = EncodeRuns(width, height, f.compression == 2, index);
    for (int32_t row = 0; row < height; ++row)
      for (int32_t x = 0; x < width; ++x) shown(x, row) = index(x, row) < 0 ? 0 : palette[index(x, row)];
  } else {
    const size_t pitch = (static_cast<size_t>(width) * f.bpp + 31) / 32 * 4;
    bits.assign(pitch * height, 0);
    int shifts[3] = {}, widths[3] = {};
    const uint32_t defaultMasks[2][3] = {{0x7C00, 0x03E0, 0x001F}, {0xFF0000, 0xFF00, 0xFF}};
    const uint32_t* masks = f.compression == 3 ? f.masks : defaultMasks[f.bpp == 32];
    for (int c = 0; c < 3 && f.bpp >= 16; ++c) {
      while ((masks[c] >> shifts[c] & 1) == 0) ++shifts[c];
      while (shifts[c] + widths[c] < 32 && (masks[c] >> (shifts[c] + widths[c]) & 1) != 0) ++widths[c];
    }
    for (int32_t row = 0; row < height; ++row) {
      uint8_t* line = bits.data() + pitch * row;
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t noise = Hash(x, row, f.bpp + 100);
        if (paletted) {
          const int i = index(x, row);
          line[x * f.bpp / 8] |= static_cast<uint8_t>(i << (8 - f.bpp - x * f.bpp % 8));
          shown(x, row) = palette[i];
        } else if (f.bpp == 24) {
          for (int b = 0; b < 3; ++b) line[3 * x + b] = static_cast<uint8_t>(noise >> (8 * b));
          shown(x, row) = noise & 0xFFFFFF;
        } else {
          // Channel values, and bits outside every mask that must not show.
          uint32_t pixel = noise & ~(masks[0] | masks[1] | masks[2]) & (f.bpp == 16 ? 0xFFFF : 0xFFFFFFFF);
          uint32_t colour = 0;
          for (int c = 0; c < 3; ++c) {
            const uint32_t value = Hash(x, row, c) & ((1u << widths[c]) - 1);
            pixel |= value << shifts[c];
            colour |= Widen(value, widths[c]) << (16 - 8 * c);
          }
          for (int b = 0; b < f.bpp / 8; ++b) line[f.bpp / 8 * x + b] = static_cast<uint8_t>(pixel >> (8 * b));
          shown(x, row) = colour;
        }
      }
    }
  }

  // File header, info header, masks after a 40-byte one, colour table, pixels.
  std::vector<uint8_t>& file = sample.file;
  // Size, reserved words and pixel offset; the two sizes are set at the end.
  file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put(file, f.headerSize, 4);
  if (core) {
    Put(file, width, 2);
    Put(file, height, 2);
    Put(file, 1, 2);
    Put(file, f.bpp, 2);
  } else {
    Put(file, width, 4);
    Put(file, f.topDown ? -height : height, 4);
    Put(file, 1, 2);
    Put(file, f.bpp, 2);
    Put(file, f.compression, 4);
    // The size of encoded pixels; RLE4 files leave it 0, as they may.
    Put(file, f.compression == 1 ? static_cast<uint32_t>(bits.size()) : 0, 4);
    Put(file, 2835, 4);
    Put(file, 2835, 4);
    Put(file, f.colours, 4);
    Put(file, 0, 4);
    // Longer headers: the masks first, then nothing this decoder reads.
    for (uint32_t at = 40; at < f.headerSize; at += 4)
      Put(file, at < 52 && f.compression == 3 ? f.masks[(at - 40) / 4] : 0, 4);
    if (f.compression == 3 && f.headerSize < 52)
      for (uint32_t mask : f.masks) Put(file, mask, 4);
  }
  for (uint32_t colour : palette) Put(file, colour, core ? 3 : 4);
  Set32(file, 10, static_cast<uint32_t>(file.size()));
  file.insert(file.end(), bits.begin(), bits.end());
  Set32(file, 2, static_cast<uint32_t>(file.size()));
  return sample;
}

std::vector<BmpSample> BmpCorpus() {
  const int32_t sizes[][2] = {{1, 1}, {7, 3}, {37, 9}, {300, 5}};
  std::vector<BmpSample> corpus;
  for (const BmpFormat& format : kFormats)
    for (const auto& size : sizes) corpus.push_back(WriteBmp(format, size[0], size[1]));
  return corpus;
}

DamagedBmp DamageBmp(const std::vector<uint8_t>& file, uint32_t seed) {
  DamagedBmp damaged{file, static_cast<BmpDamage>(seed % 4)};
  std::vector<uint8_t>& out = damaged.file;
  if (out.empty()) return damaged;
  const uint32_t r = Hash(seed, static_cast<uint32_t>(file.size()));
  switch (damaged.damage) {
    case BmpDamage::Truncated:
      out.resize(r % file.size());
      break;
    case BmpDamage::BitsFlipped:
      for (uint32_t i = 0; i <= r % 4; ++i)
        out[Hash(seed, i) % out.size()] ^= static_cast<uint8_t>(1u << (Hash(i, seed) % 8));
      break;
    case BmpDamage::HeaderField: {
      // A 16- or 32-bit field of the headers, or the masks after them.
      const uint32_t extremes[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF0u};
      const size_t at = 2 + 2 * (r % 33);
      const uint32_t value = extremes[Hash(r) % 9];
      for (size_t i = 0; i < (r & 64 ? 2u : 4u) && at + i < out.size(); ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
      break;
    }
    case BmpDamage::PixelBytes: {
      // Bytes where the pixels start or later, often 0: run-length escapes.
      const size_t start = std::min<size_t>(out.size() - 1, out.size() > 12 ? out[10] | out[11] << 8 : 0);
      for (uint32_t i = 0; i <= r % 8; ++i) {
        const uint32_t h = Hash(i, seed, 2);
        out[start + h % (out.size() - start)] = static_cast<uint8_t>(h % 4 == 0 ? 0 : h >> 8);
      }
      break;
    }
  }
  return damaged;
}

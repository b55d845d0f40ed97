#include "support/pixels.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace pixels {

std::string Name(D3DFORMAT format) {
  return format == D3DFMT_R5G6B5 ? "R5G6B5" : format == D3DFMT_X1R5G5B5 ? "X1R5G5B5" : "X8R8G8B8";
}

int BytesPerPixel(D3DFORMAT format) { return format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 ? 2 : 4; }

uint32_t ColourBits(D3DFORMAT format) {
  return format == D3DFMT_R5G6B5 ? 0xFFFF : format == D3DFMT_X1R5G5B5 ? 0x7FFF : 0xFFFFFF;
}

uint32_t RawAt(const void* bits, int pitch, D3DFORMAT format, int x, int y) {
  const auto* at = static_cast<const uint8_t*>(bits) + static_cast<ptrdiff_t>(y) * pitch + x * BytesPerPixel(format);
  uint32_t value = 0;
  std::memcpy(&value, at, BytesPerPixel(format));  // little-endian, as both lanes are
  return value;
}

uint32_t RawToRgb(D3DFORMAT format, uint32_t p) {
  if (format == D3DFMT_R5G6B5) return (p >> 11) << 19 | ((p >> 5) & 0x3F) << 10 | (p & 0x1F) << 3;
  if (format == D3DFMT_X1R5G5B5) return ((p >> 10) & 0x1F) << 19 | ((p >> 5) & 0x1F) << 11 | (p & 0x1F) << 3;
  return p & 0xFFFFFF;
}

int ChannelDifference(uint32_t a, uint32_t b) {
  int most = 0;
  for (int shift = 0; shift < 24; shift += 8)
    most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  return most;
}

Picture Picture::FromRaw(const void* bits, int pitch, D3DFORMAT format, int width, int height) {
  Picture picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture.at(x, y) = RawToRgb(format, RawAt(bits, pitch, format, x, y));
  return picture;
}

Picture& Picture::Fill(int left, int top, int right, int bottom, uint32_t colour) {
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) at(x, y) = colour;
  return *this;
}

namespace {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian(out, Crc32(out.data() + start, out.size() - start));
}

// The rows (each led by filter 0) as a zlib stream of stored blocks: no
// compression, so no zlib is needed on either lane.
std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& raw) {
  std::vector<uint8_t> out = {0x78, 0x01};
  size_t offset = 0;
  do {
    const size_t size = std::min<size_t>(raw.size() - offset, 65535);
    const bool last = offset + size == raw.size();
    out.push_back(last ? 1 : 0);
    const uint16_t length = static_cast<uint16_t>(size), complement = static_cast<uint16_t>(~length);
    for (uint16_t v : {length, complement}) {
      out.push_back(static_cast<uint8_t>(v));
      out.push_back(static_cast<uint8_t>(v >> 8));
    }
    out.insert(out.end(), raw.begin() + static_cast<ptrdiff_t>(offset),
               raw.begin() + static_cast<ptrdiff_t>(offset + size));
    offset += size;
  } while (offset < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(out, b << 16 | a);
  return out;
}

}  // namespace

bool WritePng(const std::string& path, const Picture& picture) {
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(picture.width * 3 + 1) * picture.height);
  for (int y = 0; y < picture.height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < picture.width; ++x) {
      const uint32_t c = picture.at(x, y);
      raw.insert(raw.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
    }
  }
  std::vector<uint8_t> header;
  PutBigEndian(header, static_cast<uint32_t>(picture.width));
  PutBigEndian(header, static_cast<uint32_t>(picture.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits per channel, RGB
  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(file, "IHDR", header);
  PutChunk(file, "IDAT", StoredZlib(raw));
  PutChunk(file, "IEND", {});
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && written;
}

std::string OutputPath(const std::string& part, const char* kind) {
  const char* folder = std::getenv("CUBE_TEST_OUTPUT");
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test == nullptr ? "picture" : std::string(test->test_suite_name()) + "." + test->name();
  if (!part.empty()) name += "-" + part;
  for (char& c : name)
    if (c == '/') c = '_';  // parameterised tests
  return (folder != nullptr && *folder != 0 ? std::string(folder) + "/" : std::string()) + name + "-" + kind + ".png";
}

::testing::AssertionResult SamePicture(const Picture& actual, const Picture& expected, const std::string& part) {
  std::ostringstream report;
  if (actual.width != expected.width || actual.height != expected.height) {
    report << "picture is " << actual.width << "x" << actual.height << ", expected " << expected.width << "x"
           << expected.height;
  } else {
    long differing = 0;
    for (int y = 0; y < actual.height; ++y)
      for (int x = 0; x < actual.width; ++x) {
        if (actual.at(x, y) == expected.at(x, y)) continue;
        if (++differing <= 5)
          report << "(" << x << "," << y << ") is " << std::hex << actual.at(x, y) << ", expected " << expected.at(x, y)
                 << std::dec << "\n";
      }
    if (differing == 0) return ::testing::AssertionSuccess();
    report << differing << " pixels differ";
  }
  const std::string actualPath = OutputPath(part, "actual"), expectedPath = OutputPath(part, "expected");
  const bool written = WritePng(actualPath, actual) && WritePng(expectedPath, expected);
  report << (written ? "; pictures written to " : "; could not write ") << actualPath << " and " << expectedPath;
  return ::testing::AssertionFailure() << report.str();
}

Canvas::Canvas(int w, int h, D3DFORMAT f) : width(w), height(h), pitch((w * BytesPerPixel(f) + 3) / 4 * 4), format(f) {
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info = {};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = w;
  info.header.biHeight = -h;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(BytesPerPixel(f) * 8);
  info.header.biCompression = f == D3DFMT_X8R8G8B8 ? BI_RGB : BI_BITFIELDS;
  if (f == D3DFMT_R5G6B5) {
    info.masks[0] = 0xF800, info.masks[1] = 0x07E0, info.masks[2] = 0x001F;
  } else if (f == D3DFMT_X1R5G5B5) {
    info.masks[0] = 0x7C00, info.masks[1] = 0x03E0, info.masks[2] = 0x001F;
  }
  dc = CreateCompatibleDC(nullptr);
  bitmap = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  previous = SelectObject(dc, bitmap);
}

Canvas::~Canvas() {
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

uint32_t Canvas::Hash() const {
  Raw(0, 0);
  uint32_t hash = 2166136261u;
  for (int y = 0; y < height; ++y) {
    const auto* row = static_cast<const uint8_t*>(bits) + static_cast<size_t>(y) * pitch;
    for (int i = 0; i < width * BytesPerPixel(format); ++i) hash = (hash ^ row[i]) * 16777619u;
  }
  return hash;
}

uint32_t Canvas::Raw(int x, int y) const {
  GdiFlush();
  return RawAt(bits, pitch, format, x, y);
}

Picture Canvas::Picture() const {
  GdiFlush();
  return Picture::FromRaw(bits, pitch, format, width, height);
}

long Canvas::CountOther(uint32_t raw) const {
  GdiFlush();
  long count = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) count += ((RawAt(bits, pitch, format, x, y) ^ raw) & ColourBits(format)) != 0;
  return count;
}

void Canvas::FillRaw(uint32_t raw) {
  GdiFlush();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      std::memcpy(static_cast<uint8_t*>(bits) + static_cast<ptrdiff_t>(y) * pitch + x * BytesPerPixel(format), &raw,
                  BytesPerPixel(format));
}

}  // namespace pixels

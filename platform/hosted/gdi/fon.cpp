// The .fon reader: a 16-bit Windows executable (an MZ stub, then the NE
// header) whose resource table lists font resources, each a Windows 2.x or
// 3.x raster font. Every offset and size is checked against the bytes; a
// font resource that is damaged anywhere is left out, and a damaged
// executable gives no fonts at all.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "gdi/fon.h"

namespace gdi {
namespace {

constexpr uint16_t kFontResource = 0x8008;
// Larger than any raster font made; keeps a damaged header from asking
// for a huge picture.
constexpr int kMaxPixels = 1024;

// Little-endian reads that fail instead of reading past the end.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t size() const { return size_; }
  bool Has(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
  uint32_t U8(uint64_t at, bool& ok) const { return Has(at, 1) ? data_[at] : Fail(ok); }
  uint32_t U16(uint64_t at, bool& ok) const { return Has(at, 2) ? data_[at] | data_[at + 1] << 8 : Fail(ok); }
  uint32_t U32(uint64_t at, bool& ok) const {
    return Has(at, 4) ? U16(at, ok) | static_cast<uint32_t>(U16(at + 2, ok)) << 16 : Fail(ok);
  }
  const uint8_t* At(uint64_t at) const { return data_ + at; }  // at <= size()

 private:
  static uint32_t Fail(bool& ok) {
    ok = false;
    return 0;
  }
  const uint8_t* data_;
  size_t size_;
};

// One font resource: header, character table, pictures and face name.
std::shared_ptr<FonFace> ReadFnt(const Bytes& fnt) {
  bool ok = true;
  const uint32_t version = fnt.U16(0, ok);
  if (version != 0x200 && version != 0x300) return nullptr;
  // Vector fonts carry strokes, not pictures.
  if (fnt.U16(66, ok) & 1) return nullptr;
  auto face = std::make_shared<FonFace>();
  FonFace& f = *face;
  f.points = fnt.U16(68, ok);
  f.vertRes = fnt.U16(70, ok);
  f.horizRes = fnt.U16(72, ok);
  f.ascent = fnt.U16(74, ok);
  f.internalLeading = fnt.U16(76, ok);
  f.externalLeading = fnt.U16(78, ok);
  f.italic = fnt.U8(80, ok) != 0;
  f.underline = fnt.U8(81, ok) != 0;
  f.strikeOut = fnt.U8(82, ok) != 0;
  f.weight = fnt.U16(83, ok);
  f.charSet = fnt.U8(85, ok);
  f.pixHeight = fnt.U16(88, ok);
  f.pitchAndFamily = fnt.U8(90, ok);
  f.avgWidth = fnt.U16(91, ok);
  f.maxWidth = fnt.U16(93, ok);
  f.firstChar = fnt.U8(95, ok);
  f.lastChar = fnt.U8(96, ok);
  f.defaultChar = fnt.U8(97, ok);
  f.breakChar = fnt.U8(98, ok);
  const uint32_t faceOffset = fnt.U32(105, ok);
  const uint64_t table = version == 0x200 ? 118 : 148;
  const int entrySize = version == 0x200 ? 4 : 6;
  if (!ok || f.pixHeight == 0 || f.pixHeight > kMaxPixels || f.ascent > f.pixHeight ||
      f.internalLeading > f.ascent || f.firstChar > f.lastChar || !fnt.Has(table, 0))
    return nullptr;

  const int count = f.lastChar - f.firstChar + 1;
  f.widths.resize(count);
  f.offsets.resize(count);
  for (int i = 0; i < count; ++i) {
    const uint64_t entry = table + static_cast<uint64_t>(i) * entrySize;
    const uint32_t width = fnt.U16(entry, ok);
    const uint32_t offset = entrySize == 4 ? fnt.U16(entry + 2, ok) : fnt.U32(entry + 2, ok);
    if (!ok || width > kMaxPixels || !fnt.Has(offset, uint64_t{(width + 7) / 8} * f.pixHeight)) return nullptr;
    f.widths[i] = static_cast<uint16_t>(width);
    f.offsets[i] = offset;
  }
  f.bits.assign(fnt.At(0), fnt.At(0) + fnt.size());

  // The face name: Windows-1252, ended by a zero byte inside the resource.
  if (!fnt.Has(faceOffset, 1)) return nullptr;
  const uint8_t* name = fnt.At(faceOffset);
  const uint8_t* end = std::find(name, name + (fnt.size() - faceOffset), 0);
  if (end == name + (fnt.size() - faceOffset) || end == name) return nullptr;
  for (const uint8_t* c = name; c != end; ++c) f.name += *c >= 0x80 && *c < 0xA0 ? kCp1252High[*c - 0x80] : *c;
  return face;
}

}  // namespace

std::vector<std::shared_ptr<const FonFace>> ReadFonFile(const std::vector<uint8_t>& bytes) {
  const Bytes file(bytes.data(), bytes.size());
  bool ok = true;
  if (file.U16(0, ok) != 0x5A4D) return {};
  const uint64_t ne = file.U32(0x3C, ok);
  if (!ok || file.U16(ne, ok) != 0x454E) return {};
  const uint64_t resources = ne + file.U16(ne + 0x24, ok);
  const uint32_t shift = file.U16(resources, ok);
  if (!ok || shift > 16) return {};

  std::vector<std::shared_ptr<const FonFace>> faces;
  // Type entries (type, count, 4 reserved bytes), each followed by its
  // resources (12 bytes: offset and length in units of 1 << shift, flags,
  // id, 4 reserved bytes), up to a type of 0.
  uint64_t at = resources + 2;
  for (;;) {
    const uint32_t type = file.U16(at, ok);
    if (!ok) return {};
    if (type == 0) break;
    const uint32_t count = file.U16(at + 2, ok);
    at += 8;
    if (!ok || !file.Has(at, uint64_t{count} * 12)) return {};
    for (uint32_t i = 0; i < count; ++i, at += 12) {
      if (type != kFontResource) continue;
      const uint64_t offset = uint64_t{file.U16(at, ok)} << shift;
      // The last resource's length, rounded up to the alignment, may run
      // past the end of the file; its font must still end inside it.
      const uint64_t length = uint64_t{file.U16(at + 2, ok)} << shift;
      if (!file.Has(offset, 0)) continue;
      const Bytes fnt(file.At(offset), std::min<uint64_t>(length, file.size() - offset));
      if (auto face = ReadFnt(fnt)) faces.push_back(std::move(face));
    }
  }
  return faces;
}

const std::u16string& FonFaceName(const FonFace& face) { return face.name; }
int FonFacePixelHeight(const FonFace& face) { return face.pixHeight; }
int FonFaceCharSet(const FonFace& face) { return face.charSet; }

}  // namespace gdi

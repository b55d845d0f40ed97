// Bitmap fonts realised for a LOGFONTW: the size the platform picks from a
// family, scaled by a whole factor, stretched to a requested width, made
// bold by drawing each picture twice a pixel apart. The choices and figures
// are the platform's, measured under Wine with its own .fon files.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "gdi/fon.h"

namespace gdi {
namespace {

// The tallest cell a face is scaled to and the widest picture a width
// stretches one to; the platform has no bound, but beyond these a single
// picture would take tens of megabytes.
constexpr int kMaxPicture = 4096;
// The display's resolution; faces made for another one are used only when
// a family has no other.
constexpr int kDisplayDpi = 96;

// The byte a UTF-16 unit is in a face's character set; -1 when it has none.
// Only the ANSI set is mapped beyond ASCII.
int CharSetByte(char16_t unit, int charSet) {
  if (unit < 0x80) return unit;
  if (charSet != ANSI_CHARSET) return -1;
  if (unit >= 0xA0 && unit <= 0xFF) return unit;
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == unit) return 0x80 + i;
  return -1;
}

// The sizes to choose from, smallest first, one per height: the faces of
// the requested character set, else ANSI's (always for DEFAULT_CHARSET),
// else the first face's; of those, the ones made for the display's
// resolution where there are any.
std::vector<std::shared_ptr<const FonFace>> Sizes(const std::vector<std::shared_ptr<const FonFace>>& family, int charSet) {
  if (family.empty()) return {};
  auto has = [&](int set) {
    return std::any_of(family.begin(), family.end(), [&](const auto& face) { return face->charSet == set; });
  };
  const int set = charSet != DEFAULT_CHARSET && has(charSet) ? charSet
                  : has(ANSI_CHARSET)                      ? ANSI_CHARSET
                                                           : family[0]->charSet;
  std::vector<std::shared_ptr<const FonFace>> sizes;
  std::copy_if(family.begin(), family.end(), std::back_inserter(sizes),
               [&](const auto& face) { return face->charSet == set; });
  if (std::any_of(sizes.begin(), sizes.end(), [](const auto& face) { return face->vertRes == kDisplayDpi; }))
    std::erase_if(sizes, [](const auto& face) { return face->vertRes != kDisplayDpi; });
  std::stable_sort(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) { return a->pixHeight < b->pixHeight; });
  sizes.erase(std::unique(sizes.begin(), sizes.end(),
                          [](const auto& a, const auto& b) { return a->pixHeight == b->pixHeight; }),
              sizes.end());
  return sizes;
}

class BitmapFont final : public RealFont {
 public:
  BitmapFont(std::shared_ptr<const FonFace> kept, const LOGFONTW& request) : kept_(std::move(kept)), face_(*kept_) {
    const FonFace& face = face_;
    // A positive height is the cell's, a negative one the cell's less its
    // internal leading; the face is scaled by n once the request comes
    // within a quarter of the face's height of n times it (within a quarter
    // less one pixel for n = 2).
    const int64_t b = face.pixHeight;
    const int64_t h = request.lfHeight > 0 ? int64_t{request.lfHeight}
                      : request.lfHeight < 0 ? -int64_t{request.lfHeight} + face.internalLeading
                                              : b;
    int64_t n = std::clamp<int64_t>((h + b / 4) / b, 1, std::max<int64_t>(1, kMaxPicture / b));
    if (n == 2 && h < 2 * b - b / 4 + 1) n = 1;
    scale_ = static_cast<int>(n);
    // A width stretches every advance to width / average width, rounded up;
    // one over a hundred times the cell height is ignored.
    const int64_t width = std::abs(int64_t{request.lfWidth});
    width_ = face.avgWidth == 0 || width > 100 * b * scale_ ? 0 : static_cast<int>(width);
    bold_ = request.lfWeight > 550 && face.weight <= 550;

    TEXTMETRICW& tm = metrics_;
    tm.tmHeight = face.pixHeight * scale_;
    tm.tmAscent = face.ascent * scale_;
    tm.tmDescent = (face.pixHeight - face.ascent) * scale_;
    tm.tmInternalLeading = face.internalLeading * scale_;
    tm.tmExternalLeading = face.externalLeading * scale_;
    // A scaled bold font widens its average and widest character by the
    // scale, its advances by one pixel.
    tm.tmAveCharWidth = width_ ? width_ + bold_ : (face.avgWidth + bold_) * scale_;
    tm.tmMaxCharWidth = width_ ? static_cast<LONG>((2 * int64_t{face.maxWidth} * width_ + face.avgWidth) /
                                                   (2 * face.avgWidth)) + bold_
                               : (face.maxWidth + bold_) * scale_;
    tm.tmWeight = bold_ ? FW_BOLD : face.weight;
    tm.tmOverhang = bold_;
    tm.tmDigitizedAspectX = face.horizRes;
    tm.tmDigitizedAspectY = face.vertRes;
    tm.tmFirstChar = static_cast<WCHAR>(face.firstChar);
    tm.tmLastChar = static_cast<WCHAR>(face.lastChar);
    tm.tmDefaultChar = static_cast<WCHAR>(face.firstChar + face.defaultChar);
    tm.tmBreakChar = static_cast<WCHAR>(face.firstChar + face.breakChar);
    // The platform draws bitmap faces upright and says so, italic or not.
    tm.tmItalic = face.italic ? 255 : 0;
    tm.tmUnderlined = face.underline || request.lfUnderline ? 255 : 0;
    tm.tmStruckOut = face.strikeOut || request.lfStrikeOut ? 255 : 0;
    tm.tmPitchAndFamily = static_cast<BYTE>(face.pitchAndFamily);
    tm.tmCharSet = static_cast<BYTE>(face.charSet);

    // Both lines sit on a row (the underline's just below the baseline,
    // the strike-out's half the ascent above it) and grow a pixel up, then
    // a pixel down, with the font's size.
    const int thickness = (static_cast<int>(tm.tmAscent) + 19) / 20;
    lines_ = {0, thickness, static_cast<int>(tm.tmAscent) / 2, thickness};
  }

  const TEXTMETRICW& Metrics() const override { return metrics_; }
  const std::u16string& FaceName() const override { return face_.name; }
  bool Antialiased() const override { return false; }
  TextLines Lines() const override { return lines_; }

  const GlyphImage& Glyph(char16_t unit) override {
    int index = CharSetByte(unit, face_.charSet) - face_.firstChar;
    if (index < 0 || index > face_.lastChar - face_.firstChar) index = face_.defaultChar;
    // A default character outside the face draws nothing.
    if (index > face_.lastChar - face_.firstChar) return empty_;
    auto& glyph = glyphs_[index];
    if (!glyph) glyph = Make(index);
    return *glyph;
  }

 private:
  // Scaled sizes repeat each pixel; a width stretches columns to the
  // nearest.
  std::unique_ptr<GlyphImage> Make(int index) const {
    const int stored = face_.widths[index];
    auto glyph = std::make_unique<GlyphImage>();
    const int64_t scaledWidth = width_ ? (int64_t{stored} * width_ + face_.avgWidth - 1) / face_.avgWidth
                                       : int64_t{stored} * scale_;
    auto source = [&](int x) {
      return static_cast<int>(width_ ? int64_t{x} * face_.avgWidth / width_ : x / scale_);
    };
    glyph->advanceX = static_cast<int>(scaledWidth) + bold_;
    glyph->width = static_cast<int>(std::min<int64_t>(scaledWidth, kMaxPicture)) + bold_;
    glyph->height = face_.pixHeight * scale_;
    glyph->top = -static_cast<int>(metrics_.tmAscent);
    glyph->levels.assign(static_cast<size_t>(glyph->width) * glyph->height, 0);
    for (int y = 0; y < glyph->height; ++y) {
      uint8_t* out = &glyph->levels[static_cast<size_t>(y) * glyph->width];
      for (int x = 0; x < glyph->width - bold_; ++x)
        if (face_.Pixel(index, source(x), y / scale_)) {
          out[x] = 16;
          if (bold_) out[x + 1] = 16;
        }
    }
    return glyph;
  }

  const std::shared_ptr<const FonFace> kept_;
  const FonFace& face_;
  int scale_ = 1;
  int width_ = 0;
  bool bold_ = false;
  TEXTMETRICW metrics_ = {};
  TextLines lines_;
  GlyphImage empty_;
  std::array<std::unique_ptr<GlyphImage>, 256> glyphs_;
};

}  // namespace

std::unique_ptr<RealFont> RealizeBitmapFont(const std::vector<std::shared_ptr<const FonFace>>& family,
                                            const LOGFONTW& request) {
  const auto sizes = Sizes(family, request.lfCharSet);
  if (sizes.empty()) return nullptr;
  // The largest size whose cell (positive heights) or character (negative
  // ones) height fits the request; the smallest when none does, or for 0.
  std::shared_ptr<const FonFace> chosen = sizes[0];
  for (const auto& face : sizes) {
    const int64_t height = request.lfHeight > 0 ? face->pixHeight : face->pixHeight - face->internalLeading;
    const int64_t wanted = request.lfHeight > 0 ? int64_t{request.lfHeight} : -int64_t{request.lfHeight};
    if (request.lfHeight != 0 && height <= wanted) chosen = face;
  }
  return std::make_unique<BitmapFont>(std::move(chosen), request);
}

}  // namespace gdi

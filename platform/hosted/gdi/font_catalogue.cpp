// Which font a LOGFONTW gets: the platform's own font files (the folder
// Wine reads, from Debian's fonts-wine) by family name, bitmap families
// before scalable ones, with the platform's substitutes for old names;
// other names among the host's fonts, and names found nowhere as the generic
// family their pitch and family bits ask for. Realised fonts are kept, so
// fonts made again and again (a rotated font per angle, a font per frame)
// are realised once.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "internal.h"
#include "kernel/utf8.h"
#include "system_fonts.h"

namespace gdi {
namespace {

constexpr const char* kPlatformFontFolder = "/usr/share/wine/fonts";
// Realised fonts kept for reuse; each holds its glyph pictures.
constexpr size_t kKeptFonts = 64;

struct ScalableFile {
  std::string path;
  int index = 0;
  bool bold = false;
  bool italic = false;
};

struct Family {
  std::u16string name;
  std::vector<std::shared_ptr<const FonFace>> bitmap;
  std::vector<ScalableFile> scalable;
};

// Names the platform maps to another family, keeping the asked-for name as
// the face name.
constexpr struct {
  const char16_t* from;
  const char16_t* to;
} kSubstitutes[] = {
    {u"Helv", u"MS Sans Serif"},     {u"Helvetica", u"Arial"}, {u"MS Shell Dlg", u"Tahoma"},
    {u"MS Shell Dlg 2", u"Tahoma"}, {u"Times", u"Times New Roman"}, {u"Tms Rmn", u"Times New Roman"},
};

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
           return Lower(x) == Lower(y);
         });
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const int32_t c = hosted_text::NextCodePoint(text.data(), i, text.size());
    hosted_text::AppendUtf8(out, c < 0 ? 0xFFFD : static_cast<uint32_t>(c));
  }
  return out;
}

// A file's bytes, none when it cannot be read. Plain stdio: streams would
// bring the C++ library's locales into every program (150 kB of a page's
// code).
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  uint8_t chunk[65536];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  return bytes;
}

class Catalogue {
 public:
  Catalogue() {
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(kPlatformFontFolder, error))
      if (entry.is_regular_file(error)) files.push_back(entry.path());
    // Listed in name order, so a family's faces come in the same order on
    // every machine.
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      if (file.extension() == ".fon") {
        for (auto& face : ReadFonFile(ReadBytes(file))) Named(FonFaceName(*face)).bitmap.push_back(std::move(face));
        continue;
      }
      const std::vector<ScalableFace> faces = ScalableFaces(file.string());
      for (size_t i = 0; i < faces.size(); ++i)
        if (!faces[i].family.empty())
          Named(faces[i].family).scalable.push_back({file.string(), static_cast<int>(i), faces[i].bold, faces[i].italic});
    }
  }

  // The platform's own family of a name; null when it has none.
  const Family* Find(const std::u16string& name) const {
    for (const Family& family : families_)
      if (SameName(family.name, name)) return &family;
    return nullptr;
  }

 private:
  Family& Named(const std::u16string& name) {
    for (Family& family : families_)
      if (SameName(family.name, name)) return family;
    families_.push_back({name, {}, {}});
    return families_.back();
  }

  std::deque<Family> families_;
};

const Catalogue& Fonts() {
  static const Catalogue* catalogue = new Catalogue;
  return *catalogue;
}

// The face of a scalable family closest in style: italic first, then
// weight; the rest is synthesised.
const ScalableFile& ClosestStyle(const std::vector<ScalableFile>& faces, const LOGFONTW& request) {
  const bool bold = request.lfWeight > FW_SEMIBOLD - 50;
  const bool italic = request.lfItalic != 0;
  auto distance = [&](const ScalableFile& face) { return (face.italic != italic) * 2 + (face.bold != bold); };
  return *std::min_element(faces.begin(), faces.end(),
                           [&](const auto& a, const auto& b) { return distance(a) < distance(b); });
}

std::shared_ptr<RealizedFont> Realize(const LOGFONTW& request) {
  const WCHAR* end = std::find(request.lfFaceName, request.lfFaceName + LF_FACESIZE, u'\0');
  std::u16string name(request.lfFaceName, end);
  std::u16string shown;
  const Family* family = Fonts().Find(name);
  for (const auto& substitute : kSubstitutes)
    if (family == nullptr && SameName(name, substitute.from)) {
      family = Fonts().Find(substitute.to);
      if (family != nullptr) shown = substitute.from;
    }
  auto made = std::make_shared<RealizedFont>();
  if (family != nullptr && !family->bitmap.empty()) {
    made->font = RealizeBitmapFont(family->bitmap, request);
  } else if (family != nullptr && !family->scalable.empty()) {
    const ScalableFile& file = ClosestStyle(family->scalable, request);
    made->font = RealizeScalableFont(file.path, file.index, request);
  } else {
    // Fixed-pitch and modern requests get the system's monospace family,
    // roman ones its serif family, the rest its sans-serif family.
    const int pitchAndFamily = request.lfPitchAndFamily;
    const char* generic = (pitchAndFamily & 3) == FIXED_PITCH || (pitchAndFamily & 0xF0) == FF_MODERN ? "monospace"
                          : (pitchAndFamily & 0xF0) == FF_ROMAN                                     ? "serif"
                                                                                                    : "sans-serif";
    const bool bold = request.lfWeight > FW_SEMIBOLD - 50, italic = request.lfItalic != 0;
    std::string path;
    int index = 0;
    if ((!name.empty() && SystemFont(Utf8(name), bold, italic, true, path, index)) ||
        SystemFont(generic, bold, italic, false, path, index))
      made->font = RealizeScalableFont(path, index, request);
  }
  if (made->font == nullptr) return nullptr;
  made->faceName = shown.empty() ? made->font->FaceName() : shown;
  return made;
}

// A request as a key: the face name ends at its terminator.
std::u16string Key(const LOGFONTW& request) {
  LOGFONTW copy = request;
  WCHAR* end = std::find(copy.lfFaceName, copy.lfFaceName + LF_FACESIZE, u'\0');
  std::fill(end, copy.lfFaceName + LF_FACESIZE, u'\0');
  const auto* units = reinterpret_cast<const char16_t*>(&copy);
  return std::u16string(units, units + sizeof copy / sizeof(char16_t));
}

}  // namespace

std::shared_ptr<RealizedFont> FindFont(const LOGFONTW& request) {
  static std::mutex lock;
  static std::map<std::u16string, std::shared_ptr<RealizedFont>> kept;
  static std::deque<std::u16string> order;
  const std::u16string key = Key(request);
  {
    std::lock_guard<std::mutex> guard(lock);
    auto found = kept.find(key);
    if (found != kept.end()) return found->second;
  }
  std::shared_ptr<RealizedFont> made = Realize(request);
  std::lock_guard<std::mutex> guard(lock);
  if (made == nullptr || kept.count(key) != 0) return made;
  if (order.size() == kKeptFonts) {
    kept.erase(order.front());
    order.pop_front();
  }
  kept.emplace(key, made);
  order.push_back(key);
  return made;
}

}  // namespace gdi

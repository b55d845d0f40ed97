// The host's fonts through fontconfig.
#include "system_fonts.h"

#include <fontconfig/fontconfig.h>

#include <cstdlib>
#include <mutex>

namespace gdi {

bool SystemFont(const std::string& family, bool bold, bool italic, bool exact, std::string& path, int& index) {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  // fontconfig's configuration lives until the process ends, then goes
  // with it (FcFini) rather than being left to leak checkers.
  static const bool ready = FcInit() != FcFalse && std::atexit([] { FcFini(); }) == 0;
  if (!ready) return false;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return false;
  bool named = !exact;
  FcChar8* value = nullptr;
  for (int i = 0; exact && FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i)
    named = named || FcStrCmpIgnoreCase(value, reinterpret_cast<const FcChar8*>(family.c_str())) == 0;
  int found = 0;
  const bool ok = named && FcPatternGetString(match, FC_FILE, 0, &value) == FcResultMatch &&
                  FcPatternGetInteger(match, FC_INDEX, 0, &found) != FcResultTypeMismatch;
  if (ok) {
    path = reinterpret_cast<const char*>(value);
    index = found & 0xFFFF;
  }
  FcPatternDestroy(match);
  return ok;
}

}  // namespace gdi

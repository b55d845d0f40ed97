// A page that carries no font files has no scalable fonts to render, and
// no FreeType in its code.
#include "gdi/font_face.h"

namespace gdi {

std::vector<ScalableFace> ScalableFaces(const std::string&) { return {}; }

std::unique_ptr<RealFont> RealizeScalableFont(const std::string&, int, const LOGFONTW&) { return nullptr; }

}  // namespace gdi

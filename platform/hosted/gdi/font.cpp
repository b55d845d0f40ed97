// Fonts and palettes: only the stock ones exist, and they carry nothing yet.
// A font is selected into a DC; a palette is not (SelectPalette's work).
#include "internal.h"

namespace gdi {
namespace {

const ObjectFuncs kFontFuncs = {
    [](HGDIOBJ handle, Dc& dc) { return Swap(dc.font, handle); },
    FreeRecord<Font>,
    nullptr,
};

const ObjectFuncs kPaletteFuncs = {
    [](HGDIOBJ, Dc&) -> HGDIOBJ { return nullptr; },
    FreeRecord<Palette>,
    nullptr,
};

}  // namespace

HGDIOBJ NewFont() { return NewObject(OBJ_FONT, kFontFuncs, Font{}); }
HGDIOBJ NewPalette() { return NewObject(OBJ_PAL, kPaletteFuncs, Palette{}); }

}  // namespace gdi

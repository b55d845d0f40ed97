// A web page has the platform's own fonts (packed with it) and no others.
#include "gdi/system_fonts.h"

namespace gdi {

bool SystemFont(const std::string&, bool, bool, bool, std::string&, int&) { return false; }

}  // namespace gdi

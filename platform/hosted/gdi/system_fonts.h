// Fonts of the host beyond the platform's own files, for names the
// platform does not carry.
#pragma once

#include <string>

namespace gdi {

// The file (path and face index) of the host's font of a family; without
// `exact`, of the host's closest font when it has none of that name. False
// when there is none (hosts without a font service have none).
bool SystemFont(const std::string& family, bool bold, bool italic, bool exact, std::string& path, int& index);

}  // namespace gdi

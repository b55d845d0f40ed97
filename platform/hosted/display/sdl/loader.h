// The SDL display's libraries (SDL2, Xlib) are opened when that display
// starts, not by the dynamic loader at every start: a headless run then maps
// neither them nor the dozens of libraries they pull in. Their headers
// still give the types; each function is called through a pointer.
#pragma once

#include <dlfcn.h>

namespace display {

// Opens a library by its file name for the rest of the process; null when
// it is not installed or not a library.
inline void* OpenLibrary(const char* file) { return dlopen(file, RTLD_NOW | RTLD_LOCAL); }

// Points slot at the library's function name; false when it has none.
template <typename Fn>
bool ResolveFunction(void* library, const char* name, Fn** slot) {
  *slot = reinterpret_cast<Fn*>(dlsym(library, name));
  return *slot != nullptr;
}

}  // namespace display

// The libFuzzer build links only the kernel's heaps, processes and locks,
// not the built-in modules (which bring the whole substitute): here no
// module loads, as if none were installed.
#include "platform.h"

HMODULE WINAPI LoadLibraryA(LPCSTR) {
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}
FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR) { return nullptr; }
BOOL WINAPI FreeLibrary(HMODULE) { return FALSE; }

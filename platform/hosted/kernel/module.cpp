// Modules: the program itself and one table of built-in libraries with their
// named exports. Handles are the addresses of table rows and are only ever
// compared, never followed, so a made-up handle fails cleanly.
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hosted/hooks.h"
#include "platform.h"

namespace kernel {
namespace {

struct Export {
  const char* name;
  FARPROC proc;
};

struct Module {
  // Lower case, with its extension, as the names are matched.
  const char* name;
  std::span<const Export> exports;
  // Loaded from the start and never unloaded, like the libraries a program
  // imports on Windows.
  bool preloaded;
};

// Exports are stored untyped, as GetProcAddress hands them out.
template <typename Fn>
Export Exported(const char* name, Fn* fn) {
  return {name, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn))};
}

// Built inside a function so that lookups made by other files' static
// initialisers find the table already built.
std::span<const Module> Modules() {
  static const Export kernel32[] = {
      Exported("ExitProcess", &ExitProcess),
      Exported("FreeLibrary", &FreeLibrary),
      Exported("GetCurrentProcessId", &GetCurrentProcessId),
      Exported("GetCurrentThreadId", &GetCurrentThreadId),
      Exported("GetLastError", &GetLastError),
      Exported("GetModuleHandleA", &GetModuleHandleA),
      Exported("GetModuleHandleW", &GetModuleHandleW),
      Exported("GetProcAddress", &GetProcAddress),
      Exported("GetProcessHeap", &GetProcessHeap),
      Exported("GetTickCount", &GetTickCount),
      Exported("GetVersionExW", &GetVersionExW),
      Exported("HeapAlloc", &HeapAlloc),
      Exported("HeapCreate", &HeapCreate),
      Exported("HeapDestroy", &HeapDestroy),
      Exported("HeapFree", &HeapFree),
      Exported("HeapReAlloc", &HeapReAlloc),
      Exported("HeapSize", &HeapSize),
      Exported("InitOnceExecuteOnce", &InitOnceExecuteOnce),
      Exported("LoadLibraryA", &LoadLibraryA),
      Exported("LoadLibraryW", &LoadLibraryW),
      Exported("SetLastError", &SetLastError),
      Exported("Sleep", &Sleep),
      Exported("TlsAlloc", &TlsAlloc),
      Exported("TlsFree", &TlsFree),
      Exported("TlsGetValue", &TlsGetValue),
      Exported("TlsSetValue", &TlsSetValue),
      Exported("lstrlenA", &lstrlenA),
      Exported("lstrlenW", &lstrlenW),
  };
  static const Export user32[] = {
      Exported("DestroyIcon", &DestroyIcon),
      Exported("DestroyWindow", &DestroyWindow),
  };
  static const Export gdi32[] = {
      Exported("DeleteObject", &DeleteObject),
      Exported("GetObjectType", &GetObjectType),
      Exported("GetStockObject", &GetStockObject),
  };
  // Loaded at run time by the screen, so it can be missing.
  static const Export d3d9[] = {
      Exported("Direct3DCreate9", &Direct3DCreate9),
  };
  // Loaded at run time by image drawing, which does without it.
  static const Export msimg32[] = {
      Exported("AlphaBlend", &AlphaBlend),
  };
  static const Module modules[] = {
      {"kernel32.dll", kernel32, true},
      {"user32.dll", user32, true},
      {"gdi32.dll", gdi32, true},
      {"d3d9.dll", d3d9, false},
      {"msimg32.dll", msimg32, false},
  };
  return modules;
}

// The program's own module: it has no exports and cannot be loaded by name.
const Module kProgram{"", {}, true};

struct State {
  int loads = 0;
  bool missing = false;
};

struct Loader {
  std::mutex lock;
  std::vector<State> states = std::vector<State>(Modules().size());
};

Loader& TheLoader() {
  static Loader* loader = new Loader;
  return *loader;
}

HMODULE HandleOf(const Module& module) {
  return reinterpret_cast<HMODULE>(const_cast<Module*>(&module));
}

// The row a handle names, or none; the handle itself is never followed.
std::optional<size_t> RowOf(HMODULE handle) {
  std::span<const Module> modules = Modules();
  for (size_t i = 0; i < modules.size(); ++i) {
    if (HandleOf(modules[i]) == handle) return i;
  }
  return std::nullopt;
}

// Windows matches the file name only, ignoring case; a name without an
// extension means ".dll", and a trailing dot means "no extension".
std::optional<size_t> RowNamed(std::string name) {
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (name.empty()) return std::nullopt;
  if (name.back() == '.') {
    name.pop_back();
  } else if (name.find('.') == std::string::npos) {
    name += ".dll";
  }
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  std::span<const Module> modules = Modules();
  for (size_t i = 0; i < modules.size(); ++i) {
    if (name == modules[i].name) return i;
  }
  return std::nullopt;
}

// No built-in module has a name outside ASCII.
std::optional<std::string> Narrow(LPCWSTR text) {
  std::string out;
  for (; *text != 0; ++text) {
    if (*text > 0x7F) return std::nullopt;
    out += static_cast<char>(*text);
  }
  return out;
}

// Caller holds the loader lock.
bool IsLoaded(const Loader& loader, size_t row) {
  return Modules()[row].preloaded || loader.states[row].loads > 0;
}

HMODULE Find(LPCSTR name, bool load) {
  if (name == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::optional<size_t> row = RowNamed(name);
  Loader& loader = TheLoader();
  std::lock_guard guard(loader.lock);
  if (!row || loader.states[*row].missing || (!load && !IsLoaded(loader, *row))) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (load) ++loader.states[*row].loads;
  return HandleOf(Modules()[*row]);
}

HMODULE FindWide(LPCWSTR name, bool load) {
  if (name == nullptr) return Find(nullptr, load);
  std::optional<std::string> narrow = Narrow(name);
  if (!narrow) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return Find(narrow->c_str(), load);
}

}  // namespace
}  // namespace kernel

using namespace kernel;

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  if (name == nullptr) return HandleOf(kProgram);
  return Find(name, false);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
  if (name == nullptr) return HandleOf(kProgram);
  return FindWide(name, false);
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) { return Find(name, true); }

HMODULE WINAPI LoadLibraryW(LPCWSTR name) { return FindWide(name, true); }

BOOL WINAPI FreeLibrary(HMODULE module) {
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (module == HandleOf(kProgram)) return TRUE;
  std::optional<size_t> row = RowOf(module);
  Loader& loader = TheLoader();
  std::lock_guard guard(loader.lock);
  if (!row || !IsLoaded(loader, *row)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  // A preloaded module stays loaded however often it is freed.
  if (loader.states[*row].loads > 0) --loader.states[*row].loads;
  return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  std::span<const Export> exports;
  if (module == nullptr || module == HandleOf(kProgram)) {
    exports = kProgram.exports;
  } else {
    std::optional<size_t> row = RowOf(module);
    Loader& loader = TheLoader();
    std::lock_guard guard(loader.lock);
    if (!row || !IsLoaded(loader, *row)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    exports = Modules()[*row].exports;
  }
  // Small values are export ordinals, which no built-in module has.
  if (name != nullptr && !IS_INTRESOURCE(name)) {
    std::string_view wanted(name);
    for (const Export& e : exports) {
      if (wanted == e.name) return e.proc;
    }
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

namespace hosted {

void SetModuleMissing(const char* name, bool missing) {
  if (name == nullptr) return;
  std::optional<size_t> row = RowNamed(name);
  if (!row) return;
  Loader& loader = TheLoader();
  std::lock_guard guard(loader.lock);
  loader.states[*row].missing = missing;
}

int ModuleLoadCount(const char* name) {
  if (name == nullptr) return 0;
  std::optional<size_t> row = RowNamed(name);
  if (!row) return 0;
  Loader& loader = TheLoader();
  std::lock_guard guard(loader.lock);
  const State& state = loader.states[*row];
  return (Modules()[*row].preloaded ? 1 : 0) + state.loads;
}

}  // namespace hosted

// Window classes and the string atoms that name classes and registered
// messages. Names match without regard to case, as on Windows.
#include <map>

#include "user/internal.h"

namespace user {
namespace {

std::vector<std::shared_ptr<Class>>& Classes() {
  static std::vector<std::shared_ptr<Class>> classes;
  return classes;
}

LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // A static control does not take part in hit testing of its parent.
  if (message == WM_NCHITTEST) return HTTRANSPARENT;
  return DefWindowProcW(window, message, wParam, lParam);
}

// Built-in classes every process has; registered on first class lookup.
void RegisterSystemClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  auto cls = std::make_shared<Class>();
  cls->name = u"Static";
  cls->proc = &StaticProc;
  cls->style = CS_DBLCLKS | CS_PARENTDC;
  cls->cursor = LoadCursorW(nullptr, IDC_ARROW);
  cls->system = true;
  cls->atom = static_cast<ATOM>(RegisterWindowMessageW(u"Static"));
  Classes().push_back(cls);
}

ATOM Register(std::shared_ptr<Class> cls) {
  if (cls->proc == nullptr || cls->classExtra < 0 || cls->windowExtra < 0 || cls->name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  RegisterSystemClasses();
  auto existing = FindClass(cls->name);
  if (existing && !existing->system) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  cls->atom = static_cast<ATOM>(RegisterWindowMessageW(cls->name.c_str()));
  // An application class of a system class's name hides the system one.
  Classes().insert(Classes().begin(), cls);
  return cls->atom;
}

// Name given as text or as an atom in the low word of the pointer.
std::u16string NameOf(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return std::u16string();
  return std::u16string(name);
}

}  // namespace

std::shared_ptr<Class> FindClass(const std::u16string& name) {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  RegisterSystemClasses();
  const std::u16string folded = Fold(name);
  for (auto& cls : Classes())
    if (Fold(cls->name) == folded) return cls;
  return nullptr;
}

std::shared_ptr<Class> FindClassAtom(ATOM atom) {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  RegisterSystemClasses();
  for (auto& cls : Classes())
    if (cls->atom == atom) return cls;
  return nullptr;
}

std::shared_ptr<Class> FindClassByName(LPCWSTR name) {
  if (name == nullptr) return nullptr;
  if (IS_INTRESOURCE(name)) return FindClassAtom(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)));
  return FindClass(name);
}

std::u16string Widen(const char* text) {
  std::u16string out;
  if (text == nullptr) return out;
  // The subset's ANSI texts are ASCII; other bytes map to Latin-1.
  for (const char* p = text; *p != 0; ++p) out.push_back(static_cast<unsigned char>(*p));
  return out;
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  return out;
}

std::u16string Fold(const std::u16string& text) {
  std::u16string out(text);
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return out;
}

}  // namespace user

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXW) || wc->lpszClassName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto cls = std::make_shared<user::Class>();
  cls->name = user::NameOf(wc->lpszClassName);
  cls->style = wc->style;
  cls->proc = wc->lpfnWndProc;
  cls->classExtra = wc->cbClsExtra;
  cls->windowExtra = wc->cbWndExtra;
  cls->instance = wc->hInstance;
  cls->icon = wc->hIcon;
  cls->iconSmall = wc->hIconSm;
  cls->cursor = wc->hCursor;
  cls->background = wc->hbrBackground;
  return user::Register(cls);
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
  if (wc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WNDCLASSEXW ex = {sizeof(WNDCLASSEXW), wc->style, wc->lpfnWndProc, wc->cbClsExtra, wc->cbWndExtra, wc->hInstance,
                    wc->hIcon, wc->hCursor, wc->hbrBackground, wc->lpszMenuName, wc->lpszClassName, nullptr};
  return RegisterClassExW(&ex);
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
  if (wc == nullptr || wc->lpszClassName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto cls = std::make_shared<user::Class>();
  cls->name = IS_INTRESOURCE(wc->lpszClassName) ? std::u16string() : user::Widen(wc->lpszClassName);
  cls->style = wc->style;
  cls->proc = wc->lpfnWndProc;
  cls->ansi = true;
  cls->classExtra = wc->cbClsExtra;
  cls->windowExtra = wc->cbWndExtra;
  cls->instance = wc->hInstance;
  cls->icon = wc->hIcon;
  cls->cursor = wc->hCursor;
  cls->background = wc->hbrBackground;
  return user::Register(cls);
}

BOOL WINAPI UnregisterClassW(LPCWSTR name, HINSTANCE) {
  std::lock_guard<std::recursive_mutex> guard(user::TableLock());
  auto cls = user::FindClassByName(name);
  if (!cls || cls->system) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (cls->windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  auto& classes = user::Classes();
  for (auto it = classes.begin(); it != classes.end(); ++it) {
    if (*it == cls) {
      classes.erase(it);
      break;
    }
  }
  return TRUE;
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE instance) {
  if (name == nullptr) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (IS_INTRESOURCE(name)) return UnregisterClassW(reinterpret_cast<LPCWSTR>(name), instance);
  return UnregisterClassW(user::Widen(name).c_str(), instance);
}

BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR name, LPWNDCLASSEXW wc) {
  auto cls = user::FindClassByName(name);
  if (!cls) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (wc == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  wc->style = cls->style;
  wc->lpfnWndProc = cls->proc;
  wc->cbClsExtra = cls->classExtra;
  wc->cbWndExtra = cls->windowExtra;
  wc->hInstance = cls->instance;
  wc->hIcon = cls->icon;
  wc->hIconSm = cls->iconSmall;
  wc->hCursor = cls->cursor;
  wc->hbrBackground = cls->background;
  wc->lpszMenuName = nullptr;
  wc->lpszClassName = name;
  // Windows answers with the class atom.
  return cls->atom;
}

BOOL WINAPI GetClassInfoW(HINSTANCE instance, LPCWSTR name, LPWNDCLASSW wc) {
  WNDCLASSEXW ex = {};
  ex.cbSize = sizeof ex;
  BOOL atom = GetClassInfoExW(instance, name, wc ? &ex : nullptr);
  if (atom && wc) {
    *wc = {ex.style, ex.lpfnWndProc, ex.cbClsExtra, ex.cbWndExtra, ex.hInstance,
           ex.hIcon, ex.hCursor, ex.hbrBackground, ex.lpszMenuName, ex.lpszClassName};
  }
  return atom;
}

int WINAPI GetClassNameW(HWND handle, LPWSTR buffer, int size) {
  auto window = user::Find(handle);
  if (!window) return 0;
  if (buffer == nullptr || size <= 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const std::u16string& name = window->cls->name;
  const int n = std::min<int>(static_cast<int>(name.size()), size - 1);
  std::char_traits<char16_t>::copy(buffer, name.data(), static_cast<size_t>(n));
  buffer[n] = 0;
  return n;
}

int WINAPI GetClassNameA(HWND handle, LPSTR buffer, int size) {
  auto window = user::Find(handle);
  if (!window) return 0;
  if (buffer == nullptr || size <= 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const std::string name = user::Narrow(window->cls->name);
  const int n = std::min<int>(static_cast<int>(name.size()), size - 1);
  name.copy(buffer, static_cast<size_t>(n));
  buffer[n] = 0;
  return n;
}

ULONG_PTR WINAPI GetClassLongPtrW(HWND handle, int index) {
  auto window = user::Find(handle);
  if (!window) return 0;
  const user::Class& cls = *window->cls;
  switch (index) {
    case GCL_STYLE: return cls.style;
    case GCLP_WNDPROC: return reinterpret_cast<ULONG_PTR>(cls.proc);
    case GCLP_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(cls.background);
    case GCLP_HCURSOR: return reinterpret_cast<ULONG_PTR>(cls.cursor);
    case GCLP_HICON: return reinterpret_cast<ULONG_PTR>(cls.icon);
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR name) {
  if (name == nullptr || name[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> guard(user::TableLock());
  // One atom table for classes and registered messages, as on Windows:
  // string atoms start at 0xC000 and the same name gives the same atom.
  static std::map<std::u16string, UINT> atoms;
  const std::u16string folded = user::Fold(name);
  auto it = atoms.find(folded);
  if (it != atoms.end()) return it->second;
  if (atoms.size() >= 0x3FFF) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  const UINT atom = 0xC000 + static_cast<UINT>(atoms.size());
  atoms.emplace(folded, atom);
  return atom;
}

UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
  if (name == nullptr || name[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return RegisterWindowMessageW(user::Widen(name).c_str());
}

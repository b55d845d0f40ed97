// Window properties: named handles attached to a window. Names compare
// without regard to case; a name may also be an atom (MAKEINTATOM).
#include "user/internal.h"

namespace user {
namespace {

bool Matches(const Property& p, LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return p.name.empty() && p.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
  return !p.name.empty() && Fold(p.name) == Fold(name);
}

}  // namespace
}  // namespace user

BOOL WINAPI SetPropW(HWND handle, LPCWSTR name, HANDLE value) {
  user::WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (user::Property& p : w->props)
    if (user::Matches(p, name)) {
      p.value = value;
      return TRUE;
    }
  user::Property p;
  if (IS_INTRESOURCE(name)) p.atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
  else p.name = name;
  p.value = value;
  w->props.push_back(std::move(p));
  return TRUE;
}

HANDLE WINAPI GetPropW(HWND handle, LPCWSTR name) {
  user::WindowRef w = user::Find(handle);
  if (!w || name == nullptr) return nullptr;
  for (const user::Property& p : w->props)
    if (user::Matches(p, name)) return p.value;
  return nullptr;
}

HANDLE WINAPI RemovePropW(HWND handle, LPCWSTR name) {
  user::WindowRef w = user::Find(handle);
  if (!w || name == nullptr) return nullptr;
  for (auto it = w->props.begin(); it != w->props.end(); ++it)
    if (user::Matches(*it, name)) {
      HANDLE value = it->value;
      w->props.erase(it);
      return value;
    }
  return nullptr;
}

BOOL WINAPI SetPropA(HWND handle, LPCSTR name, HANDLE value) {
  if (name != nullptr && IS_INTRESOURCE(name)) return SetPropW(handle, reinterpret_cast<LPCWSTR>(name), value);
  return SetPropW(handle, name ? user::Widen(name).c_str() : nullptr, value);
}

HANDLE WINAPI GetPropA(HWND handle, LPCSTR name) {
  if (name != nullptr && IS_INTRESOURCE(name)) return GetPropW(handle, reinterpret_cast<LPCWSTR>(name));
  return GetPropW(handle, name ? user::Widen(name).c_str() : nullptr);
}

HANDLE WINAPI RemovePropA(HWND handle, LPCSTR name) {
  if (name != nullptr && IS_INTRESOURCE(name)) return RemovePropW(handle, reinterpret_cast<LPCWSTR>(name));
  return RemovePropW(handle, name ? user::Widen(name).c_str() : nullptr);
}

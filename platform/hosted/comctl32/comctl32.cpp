// Common controls registration. No control class exists yet, so a call
// that passes the record check has nothing further to register.
#include "platform.h"

namespace comctl32 {
namespace {

bool ValidRecord(const INITCOMMONCONTROLSEX* init) {
  return init != nullptr && init->dwSize == sizeof(INITCOMMONCONTROLSEX);
}

}  // namespace
}  // namespace comctl32

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  return comctl32::ValidRecord(init) ? TRUE : FALSE;
}

// Work the substitute's parts must finish when the process ends, whether
// through ExitProcess (which skips atexit handlers) or through exit.
#pragma once

namespace kernel {

// fn runs once when the process ends, before its streams are flushed, in
// the order the calls were made.
void AtProcessEnd(void (*fn)());

}  // namespace kernel

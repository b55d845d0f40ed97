#include "support/user_input.h"
#include "support/message_log.h"

bool RunningOnSubstitute() { return true; }

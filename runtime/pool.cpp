#include "platform.h"

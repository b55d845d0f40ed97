#include "window/events.h"

// The posted-events facility's start-up and end steps; the event queue and
// its hidden window are built with the windows and events work.
void PostedEventsInit() {}
void PostedEventsEnd() {}

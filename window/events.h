// The runtime event queue and events posted from other threads.
#pragma once

void PostedEventsInit();
void PostedEventsEnd();

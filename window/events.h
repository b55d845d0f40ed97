// The runtime event queue, event bindings and events posted from other
// threads through a hidden window.
#pragma once

#include "platform.h"
#include "runtime/object.h"

struct BlockPool;
struct StringMap;

// Runtime event codes (WindowPollEvent returns them).
enum : int32_t {
  EventControl = 13100,
  EventMenu = 13101,
  EventTrayIcon = 13102,
  EventActivate = 13104,
  EventMinimize = 13107,
  EventMaximize = 13108,
  EventRestore = 13109,
  EventTimer = 13110,
  EventRightClick = 13111,
  EventLeftClick = 13112,
  EventLeftDoubleClick = 13113,
  EventDeactivate = 13114,
  EventRepaint = 13115,
  EventCloseWindow = 13116,
  EventMoveWindow = 13117,
  EventSizeWindow = 13118,
};

// Called with an event's data when the event stops being the current one.
using EventReleaseFn = void (*)(INT_PTR data);

// One queued event. Object and window values are pointer-sized: a dynamic
// window number is a record address.
struct EventNode {
  EventNode* next;  // next newer node
  int32_t code;
  ObjectId object;
  ObjectId window;
  int32_t type;
  INT_PTR data;
  EventReleaseFn release;
};

void PostedEventsInit();
void PostedEventsEnd();

// Posts one event (merge rule, then the bindings of its code, window,
// object and type).
void EventAppend(int32_t code, ObjectId object, ObjectId window, int32_t type, INT_PTR data, EventReleaseFn release);
// Takes the oldest event off the queue and makes it the current event;
// 0 when the queue was empty.
int32_t EventFetch();
// Drops every queued event of a window; the kept ones keep their order.
void EventPurgeWindow(ObjectId window);
// Drops every event binding of a window.
void BindingsPurgeWindow(ObjectId window);

LRESULT CALLBACK PostEventWindowProc(HWND window, UINT message, WPARAM first, LPARAM second);

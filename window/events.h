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

static_assert(sizeof(void*) != 4 || sizeof(EventNode) == 28, "queue nodes are 28 bytes on 32-bit x86");

// The queue's state record. The current event describes what EventFetch
// returned last; while bindings run it describes the event being posted.
struct EventQueueState {
  BlockPool* pool;
  EventNode* head;  // oldest node, null when empty
  EventNode* tail;  // newest node, null when empty
  int32_t curCode;
  ObjectId curWindow;
  ObjectId curObject;
  int32_t curType;
  INT_PTR curData;
  EventReleaseFn curRelease;
  // The block taken at creation and never given back: it keeps the pool's
  // first chunk allocated, so a queue that drains does not return its chunk
  // to the heap and take it again on the next event.
  void* pinnedNode;
};
static_assert(sizeof(void*) != 4 || sizeof(EventQueueState) == 40, "the queue state is 40 bytes on 32-bit x86");

extern EventQueueState* EventQueue;

// Event bindings: callbacks found by the text of (code, window, object,
// type), where -1 stands for any value.
using EventBindingFn = void (*)();
struct EventBinding {
  EventBinding* next;
  EventBindingFn callback;
};
// The element of the binding table: the first binding of the key's list and
// the window number the bindings belong to.
struct EventBindingEntry {
  EventBinding* first;
  ObjectId window;
};
static_assert(sizeof(void*) != 4 || sizeof(EventBindingEntry) == 8, "binding entries are 8 bytes on 32-bit x86");

extern StringMap* EventBindings;

// What another thread hands over with the registered message: a MainHeap
// block that the receiver frees. The first word is not read.
struct PostedEventBlock {
  INT_PTR reserved;
  INT_PTR code;
  ObjectId object;
  ObjectId window;
  INT_PTR type;
  INT_PTR data;
};
static_assert(sizeof(void*) != 4 || sizeof(PostedEventBlock) == 24, "posted blocks are six words");

// The hidden window that receives posted blocks, and its registered message.
extern HWND PostEventWindow;
extern UINT PostEventMessage;

void PostedEventsInit();
void PostedEventsEnd();
// The queue's state record and the empty binding table (the last two steps
// of PostedEventsInit, which need no window).
void EventQueueInit();

// Adds callback at the end of the list of (code, window, object, type).
// Returns 1, or 0 when memory ran out.
int32_t BindingAdd(int32_t code, ObjectId window, ObjectId object, int32_t type, EventBindingFn callback);

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

#include "window/events.h"

#include "runtime/pool.h"
#include "runtime/runtime.h"
#include "runtime/stringmap.h"

EventQueueState* EventQueue;
StringMap* EventBindings;
HWND PostEventWindow;
UINT PostEventMessage;

namespace {

// Codes from here on are never merged: they are not runtime events but
// values another thread chose, and each one counts.
constexpr int32_t MergeLimit = 65536;
constexpr int32_t QueueGrowMin = 16;
constexpr int32_t QueueGrowMax = 256;
// Private pool, no lock of its own: only the owning thread touches it.
constexpr int32_t QueuePoolFlags = 2;
constexpr int32_t BindingBuckets = 1024;
// Binding keys are formatted into buffers of this many characters; longer
// text is cut, as a bounded formatter would cut it.
constexpr int BindingKeyChars = 64;
constexpr int32_t AnyValue = -1;

const char PostEventClassName[] = "PostEventClass";
const char PostEventMessageName[] = "ZW_PostEventMessage";
constexpr UINT PostEventClassStyle = CS_DBLCLKS;
constexpr INT_PTR PostEventBackground = 16;
constexpr DWORD PostEventWindowStyle = 0xC00000;

void QueueStateInit(void* record) {
  auto* queue = static_cast<EventQueueState*>(record);
  queue->pool = PoolCreate(sizeof(EventNode), QueueGrowMin, QueueGrowMax, QueuePoolFlags);
  if (queue->pool) queue->pinnedNode = PoolAlloc(queue->pool);
}

// Never called: the queue goes with MainHeap.
void QueueStateEnd(void* record) {
  auto* queue = static_cast<EventQueueState*>(record);
  if (queue->pool) PoolDestroy(queue->pool);
}

// A key under construction: "%d:%d:%d:%d" as UTF-16, bounded like
// snprintf into BindingKeyChars characters.
struct BindingKey {
  WCHAR text[BindingKeyChars];
  int length = 0;

  void Put(WCHAR c) {
    if (length < BindingKeyChars - 1) text[length++] = c;
  }
  void PutNumber(INT_PTR value) {
    // Digits of the magnitude, taken unsigned so the most negative value
    // has one too.
    UINT_PTR magnitude = value < 0 ? 0 - static_cast<UINT_PTR>(value) : static_cast<UINT_PTR>(value);
    char digits[24];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude);
    if (value < 0) Put('-');
    while (count) Put(static_cast<WCHAR>(digits[--count]));
  }
  // Appends "value:" (or just the value for the last field).
  void Field(INT_PTR value, bool last = false) {
    PutNumber(value);
    if (!last) Put(':');
  }
  const WCHAR* Text() {
    text[length] = 0;
    return text;
  }
};

void RunBindings(const WCHAR* key) {
  auto* entry = static_cast<EventBindingEntry*>(MapFind(EventBindings, key));
  if (!entry) return;
  for (EventBinding* binding = entry->first; binding; binding = binding->next) {
    if (binding->callback) binding->callback();
  }
}

// The five lookups, most specific first. The keys share their leading
// fields, so one buffer is cut back to the shared part for each.
void LookUpBindings(int32_t code, ObjectId object, ObjectId window, int32_t type) {
  BindingKey key;
  key.Field(code);
  const int byCode = key.length;
  key.Field(window);
  const int byWindow = key.length;
  key.Field(object);
  const int byObject = key.length;

  key.Field(type, true);
  RunBindings(key.Text());

  key.length = byObject;
  key.Field(AnyValue, true);
  RunBindings(key.Text());

  key.length = byWindow;
  key.Field(AnyValue);
  key.Field(AnyValue, true);
  RunBindings(key.Text());

  key.length = byCode;
  key.Field(AnyValue);
  key.Field(AnyValue);
  key.Field(AnyValue, true);
  RunBindings(key.Text());

  key.length = byCode;
  key.Field(AnyValue);
  key.Field(object);
  key.Field(type, true);
  RunBindings(key.Text());
}

}  // namespace

void EventQueueInit() {
  EventQueue = static_cast<EventQueueState*>(
      StateRecordGet(StateRecordNew(sizeof(EventQueueState), QueueStateInit, QueueStateEnd)));
  EventBindings = nullptr;
  MapAlloc(sizeof(EventBindingEntry), TypeStruct, nullptr, reinterpret_cast<void**>(&EventBindings),
           BindingBuckets);
}

void PostedEventsInit() {
  HINSTANCE instance = Globals.instance;

  WNDCLASSA windowClass = {};
  windowClass.style = PostEventClassStyle;
  windowClass.lpfnWndProc = PostEventWindowProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(PostEventBackground);
  windowClass.lpszClassName = PostEventClassName;
  // A second registration fails and leaves the first one in place, which is
  // what a restarted facility needs.
  RegisterClassA(&windowClass);

  PostEventWindow = CreateWindowExA(0, PostEventClassName, nullptr, PostEventWindowStyle, 0, 0, 1, 1, nullptr,
                                    nullptr, instance, nullptr);
  PostEventMessage = RegisterWindowMessageA(PostEventMessageName);

  EventQueueInit();
}

void PostedEventsEnd() {
  if (PostEventWindow) DestroyWindow(PostEventWindow);
  PostEventWindow = nullptr;
}

void EventAppend(int32_t code, ObjectId object, ObjectId window, int32_t type, INT_PTR data,
                 EventReleaseFn release) {
  EventQueueState* queue = static_cast<EventQueueState*>(StateRecordGet(EventQueue));
  if (!queue) return;

  // A burst of identical events waits as one; only the newest is compared.
  EventNode* newest = queue->tail;
  const bool merged = newest && code < MergeLimit && newest->code == code && newest->object == object &&
                      newest->window == window && newest->type == type;
  if (!merged) {
    auto* node = static_cast<EventNode*>(PoolAlloc(queue->pool));
    // Out of memory: the event is lost, but bindings still see it.
    if (node) {
      node->next = nullptr;
      node->code = code;
      node->object = object;
      node->window = window;
      node->type = type;
      node->data = data;
      node->release = release;
      if (newest)
        newest->next = node;
      else
        queue->head = node;
      queue->tail = node;
    }
  }

  // No binding can match in an empty table: the lookups would find nothing.
  if (EventBindings == nullptr || EventBindings->count == 0) return;

  // Callbacks see the posted event as the current one; whatever they do,
  // the fetched event is current again afterwards.
  const int32_t savedCode = queue->curCode;
  const ObjectId savedWindow = queue->curWindow;
  const ObjectId savedObject = queue->curObject;
  const int32_t savedType = queue->curType;
  const INT_PTR savedData = queue->curData;
  const EventReleaseFn savedRelease = queue->curRelease;
  queue->curCode = code;
  queue->curWindow = window;
  queue->curObject = object;
  queue->curType = type;
  queue->curData = data;
  queue->curRelease = release;

  LookUpBindings(code, object, window, type);

  queue->curCode = savedCode;
  queue->curWindow = savedWindow;
  queue->curObject = savedObject;
  queue->curType = savedType;
  queue->curData = savedData;
  queue->curRelease = savedRelease;
}

int32_t EventFetch() {
  EventQueueState* queue = static_cast<EventQueueState*>(StateRecordGet(EventQueue));
  if (!queue) return 0;

  queue->curCode = 0;
  // The previous event's data lives until now. Both fields are cleared
  // before the call so a release that fetches again cannot run twice.
  if (queue->curData && queue->curRelease) {
    const EventReleaseFn release = queue->curRelease;
    const INT_PTR data = queue->curData;
    queue->curData = 0;
    queue->curRelease = nullptr;
    release(data);
  }
  queue->curType = -1;

  EventNode* node = queue->head;
  if (node) {
    queue->curCode = node->code;
    queue->curWindow = node->window;
    queue->curObject = node->object;
    queue->curType = node->type;
    queue->curData = node->data;
    queue->curRelease = node->release;
    queue->head = node->next;
    if (queue->tail == node) queue->tail = nullptr;
    PoolFree(queue->pool, node);
  }
  return queue->curCode;
}

void EventPurgeWindow(ObjectId window) {
  EventQueueState* queue = static_cast<EventQueueState*>(StateRecordGet(EventQueue));
  if (!queue) return;

  // tail follows the walk as the last node kept, so it is right at the end.
  queue->tail = nullptr;
  EventNode* node = queue->head;
  while (node) {
    EventNode* next = node->next;
    if (node->window == window) {
      if (queue->tail)
        queue->tail->next = next;
      else
        queue->head = next;
      PoolFree(queue->pool, node);
    } else {
      queue->tail = node;
    }
    node = next;
  }
}

void BindingsPurgeWindow(ObjectId window) {
  if (!EventBindings) return;
  // Only the entries go: their binding records stay in MainHeap, because a
  // callback may purge the window whose list is being walked right now.
  MapIterStart(EventBindings);
  const WCHAR* key = nullptr;
  while (auto* entry = static_cast<EventBindingEntry*>(MapIterNext(EventBindings, &key))) {
    if (entry->window == window) MapDelete(EventBindings, key);
  }
}

int32_t BindingAdd(int32_t code, ObjectId window, ObjectId object, int32_t type, EventBindingFn callback) {
  if (!EventBindings) return 0;
  BindingKey key;
  key.Field(code);
  key.Field(window);
  key.Field(object);
  key.Field(type, true);

  auto* binding = static_cast<EventBinding*>(HeapAlloc(MainHeap, 0, sizeof(EventBinding)));
  if (!binding) return 0;
  auto* entry = static_cast<EventBindingEntry*>(MapInsert(EventBindings, key.Text()));
  if (!entry) {
    HeapFree(MainHeap, 0, binding);
    return 0;
  }
  binding->next = nullptr;
  binding->callback = callback;
  entry->window = window;
  EventBinding** link = &entry->first;
  while (*link) link = &(*link)->next;
  *link = binding;
  return 1;
}

LRESULT CALLBACK PostEventWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (PostEventMessage && message == PostEventMessage && second) {
    auto* block = reinterpret_cast<PostedEventBlock*>(second);
    EventAppend(static_cast<int32_t>(block->code), block->object, block->window, static_cast<int32_t>(block->type),
                block->data, nullptr);
    HeapFree(MainHeap, 0, block);
  }
  return DefWindowProcA(window, message, first, second);
}

#include "drawing/context.h"

#include "drawing/driver.h"
#include "runtime/runtime.h"

DrawContext* currentContext = nullptr;
DWORD contextSlot = TLS_OUT_OF_INDEXES;

void DrawContextInit() { contextSlot = TlsAlloc(); }

namespace {

// A zero-filled record made current, with no colour applied yet; null (and
// nothing current changed) when the heap refuses.
DrawContext* NewContext(size_t size) {
  auto* context = static_cast<DrawContext*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, size));
  if (context == nullptr) return nullptr;
  TlsSetValue(contextSlot, context);
  currentContext = context;
  context->color = -1;
  context->backColor = -1;
  return context;
}

// The slot is cleared before the pointer, as every release does.
void ReleaseContext(DrawContext* context) {
  if (context != nullptr) HeapFree(MainHeap, 0, context);
  TlsSetValue(contextSlot, nullptr);
  currentContext = nullptr;
}

}  // namespace

DrawContext* ContextCreateGdi() {
  DrawContext* context = NewContext(sizeof(DrawContext));
  if (context != nullptr) context->slots = GdiDriver;
  return context;
}

DrawContext* ContextCreate(size_t size) {
  // Every operation of the layer reads and writes the whole record, so a
  // smaller block would be overrun.
  if (size < sizeof(DrawContext)) return nullptr;
  return NewContext(size);
}

void ContextDiscard(DrawContext* context) { ReleaseContext(context); }

HDC DrawBegin(DrawContext* target) {
  if (target == nullptr) return nullptr;
  target->outputWidth = target->targetWidth;
  target->outputHeight = target->targetHeight;
  // A provider that brought its own driver may have left this slot empty;
  // that is a session that cannot open.
  HDC dc = target->slots.OpenOutput != nullptr ? target->slots.OpenOutput(target) : nullptr;
  if (dc != nullptr) return dc;
  if (target->releaseTarget != nullptr) target->releaseTarget(target, 0);
  ReleaseContext(target);
  return nullptr;
}

void DrawEnd() {
  DrawContext* context = currentContext;
  if (context == nullptr) return;
  if (context->slots.CloseOutput != nullptr) context->slots.CloseOutput(context);
  if (context->releaseTarget != nullptr) context->releaseTarget(context, 1);
  ReleaseContext(context);
}

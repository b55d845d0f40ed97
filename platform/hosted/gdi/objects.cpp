// GDI object handles: one table for stock and created objects of every type.
// A handle is a slot number and that slot's generation, never an address, so
// a stale or invented handle is answered without touching freed memory. What
// an object does on selection and deletion is its type's own.
#include <atomic>
#include <vector>

#include "hosted/hooks.h"
#include "internal.h"

namespace gdi {
namespace {

// Slots beyond this many would not fit the handle's slot field.
constexpr size_t kMaxSlots = 1u << 18;

struct Table {
  std::vector<Entry> entries;
  std::vector<unsigned> generations;
  std::vector<unsigned> free;
  unsigned live[OBJ_COLORSPACE + 1] = {};
};

// Never destroyed: objects may be ended while other statics go at exit.
Table& table() {
  static Table* t = new Table;
  return *t;
}

// Low bit clear: window DCs of the substitute are tokens with it set.
HGDIOBJ Encode(unsigned slot, unsigned generation) {
  return reinterpret_cast<HGDIOBJ>((static_cast<uintptr_t>(slot + 1) << 12) | ((generation & 0x7FF) << 1));
}

bool Decode(HGDIOBJ handle, unsigned& slot) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0 || (value & 1) != 0 || (value >> 12) == 0) return false;
  const uintptr_t index = (value >> 12) - 1;
  Table& t = table();
  if (index >= t.entries.size()) return false;
  slot = static_cast<unsigned>(index);
  return ((value >> 1) & 0x7FF) == (t.generations[slot] & 0x7FF) && t.entries[slot].type != 0;
}

}  // namespace

Entry* Lookup(HGDIOBJ handle) {
  unsigned slot;
  return Decode(handle, slot) ? &table().entries[slot] : nullptr;
}

// Objects still to be made before one fails (test hook); 0: none fails.
std::atomic<unsigned> failCountdown{0};

HGDIOBJ Allocate(DWORD type, const ObjectFuncs& funcs, void* object) {
  unsigned pending = failCountdown.load();
  while (pending != 0 && !failCountdown.compare_exchange_weak(pending, pending - 1)) {
  }
  if (pending == 1) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Table& t = table();
  unsigned slot;
  if (!t.free.empty()) {
    slot = t.free.back();
    t.free.pop_back();
  } else {
    if (t.entries.size() >= kMaxSlots) return nullptr;
    slot = static_cast<unsigned>(t.entries.size());
    t.entries.emplace_back();
    t.generations.push_back(0);
  }
  Entry& entry = t.entries[slot];
  entry = Entry{};
  entry.type = type;
  entry.funcs = &funcs;
  entry.object = object;
  ++t.live[type];
  return Encode(slot, t.generations[slot]);
}

HGDIOBJ MakeStock(HGDIOBJ handle) {
  Entry* entry = Lookup(handle);
  if (entry != nullptr && !entry->stock) {
    entry->stock = true;
    --table().live[entry->type];
  }
  return handle;
}

void* Free(HGDIOBJ handle) {
  unsigned slot;
  if (!Decode(handle, slot)) return nullptr;
  Table& t = table();
  Entry& entry = t.entries[slot];
  if (entry.stock) return nullptr;
  --t.live[entry.type];
  void* object = entry.object;
  entry = Entry{};
  ++t.generations[slot];
  t.free.push_back(slot);
  return object;
}

void Retain(HGDIOBJ handle) {
  if (Entry* entry = Lookup(handle)) ++entry->selectCount;
}

void Release(HGDIOBJ handle) {
  Entry* entry = Lookup(handle);
  if (entry == nullptr) return;
  if (entry->selectCount > 0) --entry->selectCount;
  if (entry->selectCount == 0 && entry->deletePending) entry->funcs->destroy(handle);
}

HGDIOBJ Swap(HGDIOBJ& slot, HGDIOBJ handle) {
  HGDIOBJ previous = slot;
  slot = handle;
  Retain(handle);
  Release(previous);
  return previous;
}

}  // namespace gdi

unsigned hosted::GdiLiveObjects(DWORD type) {
  if (type > OBJ_COLORSPACE) return 0;
  return gdi::table().live[type];
}

void hosted::FailNthGdiObject(unsigned n) { gdi::failCountdown = n; }

unsigned hosted::GdiLiveObjects() {
  unsigned total = 0;
  for (unsigned count : gdi::table().live) total += count;
  return total;
}

DWORD WINAPI GetObjectType(HGDIOBJ object) {
  if (const gdi::Entry* found = gdi::Lookup(object)) return found->type;
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

int WINAPI GetObjectW(HANDLE handle, int size, LPVOID buffer) {
  const gdi::Entry* entry = gdi::Lookup(handle);
  if (entry == nullptr || entry->funcs->describe == nullptr) return 0;
  return entry->funcs->describe(handle, size, buffer);
}

BOOL WINAPI DeleteObject(HGDIOBJ handle) {
  gdi::Entry* entry = gdi::Lookup(handle);
  if (entry == nullptr) return FALSE;
  // Stock objects belong to the system: deleting one succeeds and does nothing.
  if (entry->stock) return TRUE;
  if (entry->selectCount > 0) {
    entry->deletePending = true;
    return TRUE;
  }
  return entry->funcs->destroy(handle) ? TRUE : FALSE;
}

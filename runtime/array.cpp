#include "runtime/array.h"

#include <cstring>

#include "runtime/runtime.h"
#include "runtime/stringmap.h"

static_assert(sizeof(void*) != 4 || sizeof(ArrayHeader) == 24, "the 32-bit header is six words");

FieldHandlers FieldHandlerTable = {};

namespace {

// Largest block an array may take; the same bound on every lane, so a size
// that would wrap a 32-bit size is refused before the heap is asked.
constexpr uint64_t MaxArrayBlock = 0xFFFFFFFFu;

using Byte = unsigned char;

Byte* At(void* base, LayoutWord offset) { return static_cast<Byte*>(base) + offset; }
const Byte* At(const void* base, LayoutWord offset) { return static_cast<const Byte*>(base) + offset; }
StructLayout Nested(LayoutWord word) { return reinterpret_cast<StructLayout>(word); }
void** VarAt(void* base, LayoutWord offset) { return reinterpret_cast<void**>(At(base, offset)); }
void* WordAt(const void* base, LayoutWord offset) {
  void* word;
  std::memcpy(&word, At(base, offset), sizeof word);
  return word;
}

// Words taken by an entry, and the bytes its field occupies in the structure.
// A kind the walkers do not know ends the walk (0 words).
LayoutWord EntryWords(StructLayout entry) {
  switch (entry[0]) {
    case LayoutFixedArray: return 5;
    case LayoutStruct: return 4;
    case LayoutArray: return 6;
    case LayoutList: return 5;
    case LayoutMap: return 6;
    case LayoutArrayDims: return 6 + entry[2];
    default: return entry[0] >= 0 ? 1 : 0;
  }
}

LayoutWord FieldOffset(StructLayout entry) {
  if (entry[0] >= 0) return entry[0];
  return entry[0] == LayoutFixedArray ? entry[2] : entry[1];
}

LayoutWord FieldWidth(StructLayout entry) {
  switch (entry[0]) {
    case LayoutFixedArray: return entry[1] * entry[3];
    case LayoutStruct: return entry[2];
    case LayoutArray: return sizeof(void*);
    case LayoutList: return 2 * sizeof(void*);
    case LayoutMap: return sizeof(void*);
    case LayoutArrayDims: return sizeof(void*) + 4 * entry[2];
    default: return sizeof(WCHAR*);
  }
}

// Walks entries until LayoutEnd (or a kind it does not know).
template <typename Fn>
void ForEachEntry(StructLayout layout, Fn fn) {
  if (!layout) return;
  for (StructLayout entry = layout; *entry != LayoutEnd;) {
    LayoutWord words = EntryWords(entry);
    if (words <= 0) return;
    fn(entry);
    entry += words;
  }
}

void ReleaseArray(void* data) {
  ArrayHeader* header = ArrayHeaderOf(data);
  if (header->layout) {
    Byte* element = static_cast<Byte*>(data);
    for (int32_t i = 0; i < header->count; ++i, element += header->elemSize) StructClear(element, header->layout);
  }
  *header->varAddr = nullptr;
  HeapFree(MainHeap, 0, header);
}

// Total element count of k dimension sizes, or -1 when a size is negative
// or a stride or the total leaves the 32-bit range. Stride j is the product
// of the later sizes, so every stride is a partial product checked here.
int64_t DimsTotal(int32_t k, const int32_t* sizes) {
  int64_t product = 1;
  for (int32_t j = k - 1; j >= 0; --j) {
    if (sizes[j] < 0) return -1;
    product *= sizes[j];
    if (product > INT32_MAX) return -1;
  }
  return product;
}

// Replaces the sizes by the strides, in place.
void DimsToStrides(int32_t k, int32_t* words) {
  int32_t product = 1;
  for (int32_t j = k - 1; j >= 0; --j) {
    int32_t size = words[j];
    words[j] = product;
    product *= size;
  }
}

// A fresh array in *var with the source array's parameters and shape, for
// StructCopy's nested arrays. Null when the heap refused.
void* AllocLike(const ArrayHeader* source, void** var) {
  void* fresh = FieldHandlerTable.arrayAlloc(source->elemSize, source->count, source->typeCode, source->layout, var);
  if (fresh) ArrayHeaderOf(fresh)->dimCount = source->dimCount;
  return fresh;
}

void CopyArrayField(Byte* destination, const Byte* source, LayoutWord offset) {
  FieldHandlers& h = FieldHandlerTable;
  if (!h.arrayAlloc || !h.arrayFree || !h.arrayCopy) return;
  void** var = VarAt(destination, offset);
  // Cleared here too, in case the old array names another variable.
  h.arrayFree(*var);
  *var = nullptr;
  void* from = WordAt(source, offset);
  if (!from) return;
  void* fresh = AllocLike(ArrayHeaderOf(from), var);
  if (fresh) h.arrayCopy(from, fresh, 0);
}

void CopyListField(Byte* destination, const Byte* source, StructLayout entry) {
  FieldHandlers& h = FieldHandlerTable;
  if (!h.listAlloc || !h.listFree || !h.listCopy) return;
  Byte* field = At(destination, entry[1]);
  if (WordAt(field, 0)) h.listFree(field);
  const Byte* from = At(source, entry[1]);
  if (!WordAt(from, 0)) return;
  h.listAlloc(entry[2], field, entry[3], entry[4]);
  h.listCopy(const_cast<Byte*>(from), field, 0);
}

void CopyMapField(Byte* destination, const Byte* source, LayoutWord offset) {
  FieldHandlers& h = FieldHandlerTable;
  if (!h.mapAlloc || !h.mapFree || !h.mapCopy) return;
  void** var = VarAt(destination, offset);
  if (*var) h.mapFree(*var);
  *var = nullptr;
  auto* from = static_cast<StringMap*>(WordAt(source, offset));
  if (!from) return;
  void* fresh = h.mapAlloc(from->elemSize, from->typeCode, from->layout, var, from->bucketCount);
  if (fresh) h.mapCopy(from, fresh, 0);
}

}  // namespace

void* ArrayAlloc(int32_t elemSize, int32_t count, int32_t typeCode, StructLayout layout, void** var) {
  if (!var) return nullptr;
  // The variable's previous array goes first, even when this request fails.
  ArrayFree(*var);
  if (elemSize < 0 || count < 0) return nullptr;
  uint64_t elementBytes = static_cast<uint64_t>(elemSize) * static_cast<uint64_t>(count);
  if (elementBytes + sizeof(ArrayHeader) > MaxArrayBlock) return nullptr;

  auto* header = static_cast<ArrayHeader*>(HeapAlloc(MainHeap, 0, static_cast<SIZE_T>(elementBytes + sizeof(ArrayHeader))));
  if (!header) return nullptr;
  *header = {1, elemSize, layout, var, count, typeCode};
  void* data = header + 1;
  // The heap hands out whatever the block held before.
  std::memset(data, 0, static_cast<size_t>(elementBytes));
  *var = data;
  if (LayoutNeedsInit(layout)) {
    Byte* element = static_cast<Byte*>(data);
    for (int32_t i = 0; i < count; ++i, element += elemSize) StructInit(element, layout);
  }
  return data;
}

void* ArrayAllocDims(int32_t k, int32_t elemSize, int32_t typeCode, StructLayout layout, void** var) {
  if (!var || k < 1) return nullptr;
  int32_t* words = ArrayDimWords(var);
  int64_t total = DimsTotal(k, words);
  if (total < 0) {
    // Sizes that cannot be an array: the old array is released as any
    // re-allocation would, and the sizes stay for the caller to inspect.
    ArrayFree(*var);
    return nullptr;
  }
  DimsToStrides(k, words);
  void* data = ArrayAlloc(elemSize, static_cast<int32_t>(total), typeCode, layout, var);
  if (data) ArrayHeaderOf(data)->dimCount = k;
  return data;
}

void ArrayFree(void* data) {
  if (data) ReleaseArray(data);
}

int32_t ArrayCopy(void* source, void* destination, int32_t reshape) {
  if (!source || !destination) return 0;
  ArrayHeader* from = ArrayHeaderOf(source);
  if (from->dimCount != ArrayHeaderOf(destination)->dimCount) return 0;
  // An array copied onto itself is already a copy; reshaping it would
  // release the very source.
  if (source == destination) return 1;
  if (reshape) {
    void** var = ArrayHeaderOf(destination)->varAddr;
    if (*var == source) return 0;
    destination = ArrayAlloc(from->elemSize, from->count, from->typeCode, from->layout, var);
    if (!destination) return 0;
    ArrayHeaderOf(destination)->dimCount = from->dimCount;
  }
  ArrayHeader* to = ArrayHeaderOf(destination);
  if (from->dimCount > 1)
    std::memcpy(ArrayDimWords(to->varAddr), ArrayDimWords(from->varAddr), sizeof(int32_t) * from->dimCount);
  if (from->count != to->count) return 0;
  // Elements of another size would run past the destination's block.
  if (from->elemSize != to->elemSize) return 0;

  if (from->layout) {
    Byte* d = static_cast<Byte*>(destination);
    const Byte* s = static_cast<const Byte*>(source);
    for (int32_t i = 0; i < from->count; ++i, d += from->elemSize, s += from->elemSize)
      StructCopy(d, from->elemSize, from->layout, s);
  } else {
    std::memcpy(destination, source, static_cast<size_t>(from->count) * from->elemSize);
  }
  return 1;
}

int32_t LayoutNeedsInit(StructLayout layout) {
  int32_t needs = 0;
  ForEachEntry(layout, [&](StructLayout entry) {
    switch (entry[0]) {
      case LayoutFixedArray: needs |= LayoutNeedsInit(Nested(entry[4])); break;
      case LayoutStruct: needs |= LayoutNeedsInit(Nested(entry[3])); break;
      case LayoutArray:
      case LayoutList:
      case LayoutMap:
      case LayoutArrayDims: needs = 1; break;
      default: break;  // strings start as the empty string, a null pointer
    }
  });
  return needs;
}

void StructInit(void* element, StructLayout layout) {
  FieldHandlers& h = FieldHandlerTable;
  ForEachEntry(layout, [&](StructLayout entry) {
    switch (entry[0]) {
      case LayoutFixedArray:
        for (LayoutWord i = 0; i < entry[1]; ++i) StructInit(At(element, entry[2] + i * entry[3]), Nested(entry[4]));
        break;
      case LayoutStruct: StructInit(At(element, entry[1]), Nested(entry[3])); break;
      case LayoutArray:
        if (h.arrayAlloc)
          h.arrayAlloc(static_cast<int32_t>(entry[2]), static_cast<int32_t>(entry[3]), static_cast<int32_t>(entry[4]),
                       Nested(entry[5]), VarAt(element, entry[1]));
        break;
      case LayoutList:
        if (h.listAlloc) h.listAlloc(entry[2], At(element, entry[1]), entry[3], entry[4]);
        break;
      case LayoutMap:
        if (h.mapAlloc)
          h.mapAlloc(static_cast<int32_t>(entry[2]), static_cast<int32_t>(entry[3]), Nested(entry[4]),
                     VarAt(element, entry[1]), static_cast<int32_t>(entry[5]));
        break;
      case LayoutArrayDims:
        if (h.arrayAllocDims) {
          void** var = VarAt(element, entry[1]);
          int32_t* words = ArrayDimWords(var);
          for (LayoutWord j = 0; j < entry[2]; ++j) words[j] = static_cast<int32_t>(entry[6 + j]);
          h.arrayAllocDims(static_cast<int32_t>(entry[2]), static_cast<int32_t>(entry[3]), static_cast<int32_t>(entry[4]),
                           Nested(entry[5]), var);
        }
        break;
      default: break;
    }
  });
}

void StructClear(void* element, StructLayout layout) {
  FieldHandlers& h = FieldHandlerTable;
  ForEachEntry(layout, [&](StructLayout entry) {
    switch (entry[0]) {
      case LayoutFixedArray:
        for (LayoutWord i = 0; i < entry[1]; ++i) StructClear(At(element, entry[2] + i * entry[3]), Nested(entry[4]));
        break;
      case LayoutStruct: StructClear(At(element, entry[1]), Nested(entry[3])); break;
      case LayoutArray:
      case LayoutArrayDims:
        if (h.arrayFree) h.arrayFree(WordAt(element, entry[1]));
        break;
      case LayoutList:
        if (h.listFree && WordAt(element, entry[1])) h.listFree(At(element, entry[1]));
        break;
      case LayoutMap:
        if (h.mapFree) h.mapFree(WordAt(element, entry[1]));
        break;
      default:
        StringFree(static_cast<WCHAR*>(WordAt(element, entry[0])));
        break;
    }
  });
}

void StructCopy(void* destination, int32_t size, StructLayout layout, const void* source) {
  if (destination == source) return;
  Byte* d = static_cast<Byte*>(destination);
  const Byte* s = static_cast<const Byte*>(source);
  if (!layout) {
    if (size > 0) std::memmove(d, s, static_cast<size_t>(size));
    return;
  }
  // Plain bytes between owning fields are copied as they are; fields that
  // lie beyond size are not the structure's and are not copied.
  LayoutWord done = 0;
  auto copyPlainTo = [&](LayoutWord end) {
    if (end > size) end = size;
    if (done < end) std::memcpy(d + done, s + done, static_cast<size_t>(end - done));
  };
  ForEachEntry(layout, [&](StructLayout entry) {
    LayoutWord offset = FieldOffset(entry);
    switch (entry[0]) {
      case LayoutFixedArray:
        for (LayoutWord i = 0; i < entry[1]; ++i) {
          LayoutWord at = entry[2] + i * entry[3];
          StructCopy(At(d, at), static_cast<int32_t>(entry[3]), Nested(entry[4]), At(s, at));
        }
        break;
      case LayoutStruct:
        StructCopy(At(d, entry[1]), static_cast<int32_t>(entry[2]), Nested(entry[3]), At(s, entry[1]));
        break;
      case LayoutArray:
      case LayoutArrayDims: CopyArrayField(d, s, offset); break;
      case LayoutList: CopyListField(d, s, entry); break;
      case LayoutMap: CopyMapField(d, s, offset); break;
      default: {
        auto** slot = reinterpret_cast<WCHAR**>(At(d, offset));
        if (*slot) {
          StringFree(*slot);
          *slot = nullptr;
        }
        StringAssign(slot, static_cast<const WCHAR*>(WordAt(s, offset)));
        break;
      }
    }
    copyPlainTo(offset);
    if (done < offset + FieldWidth(entry)) done = offset + FieldWidth(entry);
  });
  copyPlainTo(size);
}

void ArraysInit() {
  FieldHandlerTable.arrayAlloc = ArrayAlloc;
  FieldHandlerTable.arrayAllocDims = ArrayAllocDims;
  FieldHandlerTable.arrayCopy = ArrayCopy;
  FieldHandlerTable.arrayFree = ArrayFree;
}

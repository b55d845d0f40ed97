// Dynamic arrays: a MainHeap block that starts with an ArrayHeader and
// continues with zero-filled elements. An array variable holds the address
// of the first element; the header sits directly in front of it.
#pragma once

#include "platform.h"

#include <cstdint>

// A structure layout: words describing a structure's owning fields, in
// ascending order of offset, ended by LayoutEnd. Words are pointer-sized so
// that nested layouts can be referenced on 64-bit lanes.
using LayoutWord = INT_PTR;
using StructLayout = const LayoutWord*;

// Kind words; any value of 0 or more is a string field at that offset.
constexpr LayoutWord LayoutEnd = -1;
constexpr LayoutWord LayoutFixedArray = -2;  // -2, count, offset, stride, layout
constexpr LayoutWord LayoutStruct = -3;      // -3, offset, size, layout
constexpr LayoutWord LayoutArray = -4;       // -4, offset, elemSize, count, typeCode, layout
constexpr LayoutWord LayoutList = -5;        // -5, offset, three words for the list facility
constexpr LayoutWord LayoutMap = -6;         // -6, offset, elemSize, typeCode, layout, bucketCount
constexpr LayoutWord LayoutArrayDims = -7;   // -7, offset, k, elemSize, typeCode, layout, k sizes

// Element type codes in use.
constexpr int32_t TypeByte = 1;
constexpr int32_t TypeStruct = 7;
constexpr int32_t TypeFloat = 9;

struct ArrayHeader {
  int32_t dimCount;
  int32_t elemSize;
  StructLayout layout;
  void** varAddr;
  int32_t count;
  int32_t typeCode;
};

inline ArrayHeader* ArrayHeaderOf(void* data) { return static_cast<ArrayHeader*>(data) - 1; }
// The k dimension words that follow a k-dimensional array variable.
inline int32_t* ArrayDimWords(void** var) { return reinterpret_cast<int32_t*>(var + 1); }

void* ArrayAlloc(int32_t elemSize, int32_t count, int32_t typeCode, StructLayout layout, void** var);
void* ArrayAllocDims(int32_t k, int32_t elemSize, int32_t typeCode, StructLayout layout, void** var);
void ArrayFree(void* data);
int32_t ArrayCopy(void* source, void* destination, int32_t reshape);

int32_t LayoutNeedsInit(StructLayout layout);
void StructInit(void* element, StructLayout layout);
void StructClear(void* element, StructLayout layout);
void StructCopy(void* destination, int32_t size, StructLayout layout, const void* source);

// Entry points through which the layout walkers reach the array, list and
// map facilities. A facility that is absent leaves its entries null, and the
// walkers then leave such fields alone.
struct FieldHandlers {
  void* (*arrayAlloc)(int32_t elemSize, int32_t count, int32_t typeCode, StructLayout layout, void** var);
  void* (*arrayAllocDims)(int32_t k, int32_t elemSize, int32_t typeCode, StructLayout layout, void** var);
  void (*listAlloc)(LayoutWord first, void* field, LayoutWord second, LayoutWord third);
  void* (*mapAlloc)(int32_t elemSize, int32_t typeCode, StructLayout layout, void** var, int32_t bucketCount);
  int32_t (*arrayCopy)(void* source, void* destination, int32_t reshape);
  int32_t (*listCopy)(void* sourceField, void* destinationField, int32_t flags);
  int32_t (*mapCopy)(void* source, void* destination, int32_t reshape);
  void (*arrayFree)(void* data);
  void (*listFree)(void* field);
  void (*mapFree)(void* map);
};
extern FieldHandlers FieldHandlerTable;

void ArraysInit();

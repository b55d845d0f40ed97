// Object registry: tables of numbered and dynamically numbered objects.
#pragma once

#include "platform.h"

#include <cstdint>

// An object number chosen by the program (0 and up), ObjectAny, or the
// record address of a dynamic object; pointer-sized so addresses fit.
using ObjectId = INT_PTR;
constexpr ObjectId ObjectAny = -1;

// A facility's release operation; -1 asks for every object of the table.
using ObjectFreeFn = int32_t (*)(ObjectId id);

struct DynamicObjectNode {
  DynamicObjectNode* older;
  DynamicObjectNode* newer;
  // the record follows
};

// Made only by ObjectTableNew, which keeps the table's set of live dynamic
// identifiers in the same block, behind these fields.
struct ObjectTable {
  int32_t recordSize;
  int32_t growStep;
  int32_t slotCount;
  void** slots;
  DynamicObjectNode* dynamicHead;
  ObjectFreeFn freeCallback;
  int32_t iterSlot;
  DynamicObjectNode* iterNode;
};

ObjectTable* ObjectTableNew(int32_t recordSize, int32_t initialSlots, ObjectFreeFn freeCallback);
void* ObjectAlloc(ObjectTable* table, ObjectId id);
void* ObjectGet(ObjectTable* table, ObjectId id);
void ObjectFree(ObjectTable* table, ObjectId id);
void ObjectFreeAll(ObjectTable* table);
void ObjectIterStart(ObjectTable* table);
void* ObjectIterNext(ObjectTable* table, ObjectId* id);

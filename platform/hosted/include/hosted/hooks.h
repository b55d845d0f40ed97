// Test hooks of the hosted substitute: fault injection and counters that
// Windows does not have. Only hosted-only tests include this header.
#pragma once

#include "platform.h"

namespace hosted {

// Heap fault injection: the nth heap allocation from now (HeapAlloc or
// HeapReAlloc, any heap, 1 = the next one) fails as on Windows (null, no
// change). 0 turns injection off. Every later allocation succeeds again.
void FailNthAllocation(unsigned n);
// Heap allocations attempted (HeapAlloc and HeapReAlloc calls) since start.
unsigned long long HeapAllocationCalls();
// Blocks currently allocated in a heap (0 for an unknown heap), and heaps
// that exist now (created and not destroyed, the process heap excluded).
size_t HeapLiveBlocks(HANDLE heap);
size_t HeapLiveHeaps();

// Built-in modules: a module marked missing cannot be loaded (LoadLibrary
// gives null with ERROR_MOD_NOT_FOUND), as if its DLL were not installed.
void SetModuleMissing(const char* name, bool missing);
// Loaded reference count of a built-in module (0 when not loaded).
int ModuleLoadCount(const char* name);

// What GetVersionExW reports (no service pack); fail makes every call fail
// as a wrong record size does (FALSE, ERROR_INSUFFICIENT_BUFFER).
void SetVersion(DWORD major, DWORD minor, DWORD build, DWORD platformId, bool fail = false);
// Back to the default: what Wine 8 reports in a fresh prefix (6.1.7601,
// NT platform, Service Pack 1).
void ResetVersion();

}  // namespace hosted

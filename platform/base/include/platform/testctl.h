// Controls that tests use to set environment facts, inject faults and count
// resources of the stand-in platform.
#pragma once

#include <map>
#include <string>

#include "win/types.h"

namespace platform::test {

// Forget all cached state (machine root, database connections, fault plans,
// settable facts back to their defaults). Called by the test fixture after it
// points PRINTHOST_ROOT at a fresh folder.
void ResetForTests();

// Make the next `count` calls of the named platform function (e.g.
// "CreateFileW") fail with `error`, after letting `skip` calls succeed.
void FailNext(const std::string& function, int count, DWORD error, int skip = 0);
void ClearFaults();
// Make the next `count` exports (and hooks) entered through the package's
// export barrier fail as an allocation failing inside them would: the barrier
// throws std::bad_alloc within the export. Cleared with the fault plans.
void FailNextExports(int count);
// Asked by the export barrier on entry: true when a test wants this export to
// fail now (and counts it off).
bool TakeExportFault() noexcept;
// How many times the named fault point has been reached since the last reset.
int CallCount(const std::string& function);
// Every fault point reached since the last reset, with how often.
std::map<std::string, int> FaultPointCalls();

// Live allocations of Global* and Heap* (blocks not yet freed).
long LiveGlobalAllocations();
long LiveHeapAllocations();
// Registry key handles opened and not yet closed (predefined keys not counted).
long OpenRegistryKeys();
// Views of file mappings not yet unmapped.
long LiveViews();
// Bytes this process has read from files (ReadFile and the platform's
// whole-file reads) since it started: a test reads it before and after a
// call to see that a file was refused without being read.
unsigned long long FileBytesRead();

} // namespace platform::test

// Controls and counters of the stand-in graphics engine for tests.
#pragma once

namespace platform::test {

// Blocks of EngAllocMem not yet given back with EngFreeMem.
long LiveEngAllocations();
// EngFreeMem calls with a pointer the engine never handed out (ignored).
long ForeignEngFrees();
// Surfaces, palettes and devices not yet deleted.
long LiveSurfaces();
long LivePalettes();
long LiveDevices();
// Paths, clips, brushes, colour translations and transforms not yet deleted.
long LiveEngineObjects();

// EngCheckAbort: after `calls` more calls that answer FALSE, every later
// call answers TRUE (a negative count: never, the default). Reset between
// tests.
void AbortAfterChecks(int calls);
// How many times EngCheckAbort has been called since the last reset.
int CheckAbortCalls();

} // namespace platform::test

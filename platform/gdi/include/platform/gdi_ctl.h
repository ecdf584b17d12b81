// Counters of the stand-in GDI for tests.
#pragma once

namespace platform::test {

// Device contexts not yet deleted.
long LiveDeviceContexts();
// Graphics drivers loaded by device contexts (each counted once however many
// device contexts use it).
long LoadedGraphicsDrivers();

} // namespace platform::test

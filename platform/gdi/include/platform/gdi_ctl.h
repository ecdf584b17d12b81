// Counters of the stand-in GDI for tests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "win/gdi.h"

namespace platform::test {

// Device contexts not yet deleted.
long LiveDeviceContexts();
// Graphics drivers loaded by device contexts (each counted once however many
// device contexts use it).
long LoadedGraphicsDrivers();

} // namespace platform::test

namespace platform::test {

// GDI objects (pens, brushes, regions) whose handles are not yet deleted.
long LiveGdiObjects();
// Metafile handles not yet deleted.
long LiveEnhMetaFiles();
// Fonts added from memory and not yet removed.
long LiveMemoryFonts();
// The metafile records that playback noted and skipped since the last
// clear, one line each ("EMR_EXTTEXTOUTW (84): not played").
std::string SkippedEmfRecords();
void ClearSkippedEmfRecords();

} // namespace platform::test

namespace platform {

// The metafile records that playback did not play since the last
// ClearSkippedEmfRecords, by record name ("EMR_EXTTEXTOUTW", or with
// " (malformed)" for one that could not be read, " (not drawn)" for one the
// device context could not draw) with how many of each: what
// a printing program tells its user was left out of the pages.
std::map<std::string, long> SkippedEmfRecordCounts();

// The print jobs that printer device contexts of this process started, oldest
// first. A job recorded for the spool-side player is replayed into new jobs
// inside its own EndDoc: a printing program finds their streams here.
std::vector<DWORD> PrintJobsStarted();

} // namespace platform

namespace platform {

// The brush of system colour `index` (COLOR_*), now of `color`: one per
// colour, never deleted (DeleteObject leaves it) and not counted as a live
// object, as GetSysColorBrush hands it out. nullptr for an unknown index.
HBRUSH SystemColorBrush(int index, COLORREF color);

} // namespace platform

// Refreshing the localisation caches of the package's other localised libraries.
#pragma once

#include <string>

#include "win/types.h"

namespace sheetwright {

inline constexpr char16_t kSpoolSideLibrary[] = u"Metaweave.DLL";
inline constexpr char16_t kSupportLibrary[] = u"Hopwindow.DLL";

// Loads the library at `path`, calls its UpdateRCBFile with its own module
// handle and frees it; FALSE when the library or the export is missing.
BOOL UpdateRCBFileOf(const std::u16string& path);

// Refreshes the caches of the spool-side library and then the support-
// information library of the printer's driver folder; the second result.
BOOL UpdateSiblingRCBFiles(HANDLE printer);

} // namespace sheetwright

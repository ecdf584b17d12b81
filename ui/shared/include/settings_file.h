// Settings files of the UI core (the user paper list, the localisation
// cache) are written whole through the platform's settings-file path: under
// the inter-process lock of the file, a complete new file replaces the old
// one in one rename, so a failed or interrupted write leaves the old file.
#pragma once

#include <vector>

#include "win/types.h"

namespace sheetwright {

// Writes `bytes` as the whole new content of `path`. The folder must exist.
// On failure the last error says why and the old file is untouched.
[[nodiscard]] BOOL WriteWholeFile(LPCWSTR path, const void* bytes, DWORD size);

// Reads a whole file of at most maxSize bytes; FALSE when it is missing,
// cannot be read or is larger (a larger file is refused unread).
[[nodiscard]] BOOL ReadWholeFile(LPCWSTR path, DWORD maxSize, std::vector<BYTE>* out);

} // namespace sheetwright

// Settings files of the UI core are written whole: a complete new file under
// a temporary name beside the old one, flushed, then renamed over it, so that
// a failed or interrupted write leaves the old file as it was.
#pragma once

#include <vector>

#include "win/types.h"

namespace sheetwright {

// Writes `bytes` as the whole new content of `path`. The folder must exist.
// On failure the last error says why and the old file is untouched.
BOOL WriteWholeFile(LPCWSTR path, const void* bytes, DWORD size);

// Reads a whole file (at most maxSize bytes) opened without sharing; FALSE
// when it cannot be opened or read, or is larger than maxSize.
BOOL ReadWholeFile(LPCWSTR path, DWORD maxSize, std::vector<BYTE>* out);

} // namespace sheetwright

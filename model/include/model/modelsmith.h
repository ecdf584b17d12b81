// Modelsmith's exports, as callers bind them by name or ordinal from
// "Modelsmith.DLL", and the same entry for code linked with the model
// library's core directly (its tests, tools and fuzzer).
#pragma once

#include "win/types.h"

// mdGetMyPrinterInfo (ordinal 1): answers model query `code` from the caller's
// copy of the model data file. index 0 asks for every entry, another value for
// the entry with that identifier; out NULL asks for the size in *length.
typedef DWORD(WINAPI* PFN_mdGetMyPrinterInfo)(LPCVOID modelData, INT code, INT index, INT layout, LPVOID out,
                                             LPDWORD length, LPDWORD count);

#define MODELSMITH_ORDINAL_GETMYPRINTERINFO 1

namespace model {

// The query entry behind the export. Never throws.
DWORD GetMyPrinterInfo(const void* modelData, int code, int index, int layout, void* out, DWORD* length,
                       DWORD* count);

} // namespace model

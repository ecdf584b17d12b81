// Modelsmith's exports, as callers bind them by name or ordinal from
// "Modelsmith.DLL", and the same entry for code linked with the model
// library's core directly (its tests, tools and fuzzer). Each export is
// declared once, here, and its pointer type is taken from that declaration:
// the library's definition must match it, and a caller calls through it.
#pragma once

#include <cstddef>

#include "win/types.h"

// mdGetMyPrinterInfo (ordinal 1): answers model query `code` from the caller's
// copy of the model data file. index 0 asks for every entry, another value for
// the entry with that identifier; out NULL asks for the size in *length.
DLLEXPORT [[nodiscard]] DWORD WINAPI mdGetMyPrinterInfo(LPCVOID modelData, INT code, INT index,
                                                        INT layout, LPVOID out, LPDWORD length,
                                                        LPDWORD count);
typedef decltype(&mdGetMyPrinterInfo) PFN_mdGetMyPrinterInfo;

#define MODELSMITH_ORDINAL_GETMYPRINTERINFO 1

// mdReviseDevmode (ordinal 2): type 1 fills newDevmode (an ANSI device mode
// with its 908- or 1100-byte private block) with the model's defaults; type 2
// carries oldDevmode over into newDevmode. The caller's device mode changes
// only when the result is 0.
DLLEXPORT [[nodiscard]] DWORD WINAPI mdReviseDevmode(LPCVOID modelData, LPVOID oldDevmode,
                                                     LPVOID newDevmode, DWORD type);
typedef decltype(&mdReviseDevmode) PFN_mdReviseDevmode;

#define MODELSMITH_ORDINAL_REVISEDEVMODE 2

// {Modelsmith's module, the model data in memory}: the block the graphics
// library, the user interface and the spool-side library hand each other
// (ZORPrintEMF, uiGetDeptCode, uiSetDeptCode, BuildAllKinsoku).
struct ModelBlock {
    HMODULE modelsmith;
    LPVOID modelData;
};
static_assert(sizeof(ModelBlock) == 16);

namespace model {

// The query entry behind the export. Never throws.
[[nodiscard]] DWORD GetMyPrinterInfo(const void* modelData, int code, int index, int layout,
                                     void* out, DWORD* length, DWORD* count);

// The revision behind the export, with the sizes of the buffers that hold the
// device modes: a device mode is read and written only within both its stated
// size (dmSize + dmDriverExtra) and its buffer. Never throws.
[[nodiscard]] DWORD ReviseDevmode(const void* modelData, const void* oldDevmode,
                                  std::size_t oldBufferSize, void* newDevmode,
                                  std::size_t newBufferSize, DWORD type);

} // namespace model

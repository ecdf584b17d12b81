// Module loading. The package's libraries are ELF shared objects named as the
// package names them (Modelsmith.DLL, TONEMILL.DLL); LoadLibraryW finds them
// without regard to case and GetProcAddress resolves exports by name or by
// ordinal.
#pragma once

#include "win/types.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020

// A module that exports functions by ordinal lists them once:
//   DECLARE_EXPORT_ORDINALS({2, "COMPRESS"}, {3, "DECOMPRESS"}, {5, "RAW2ROTATE"})
// GetProcAddress(h, MAKEINTRESOURCEA(2)) then finds COMPRESS. A module's
// optional entry point is `DLLEXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)`,
// called with DLL_PROCESS_ATTACH on the first load and DLL_PROCESS_DETACH on
// the last free.
struct PLATFORM_EXPORT_ORDINAL {
    WORD ordinal;
    const char* name;
};
#define DECLARE_EXPORT_ORDINALS(...)                                                               \
    DLLEXPORT const PLATFORM_EXPORT_ORDINAL PlatformExportOrdinals[] = {__VA_ARGS__, {0, nullptr}}

extern "C" {
HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
}

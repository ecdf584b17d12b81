// INI ("private profile") files.
//
// Sections and keys match without regard to case; names and values are
// trimmed of surrounding blanks, and one pair of surrounding quotes (double or
// single) is taken off a value. A file name without a folder means a file in
// the Windows folder (C:\Windows); a NULL file name means "win.ini" there.
// Sizes are in characters of the call's kind (bytes for the A functions).
#pragma once

#include "win/types.h"

extern "C" {

// With lpAppName NULL: the section names; with lpKeyName NULL: the key names
// of the section. Lists are NUL-separated and end with a second NUL. A value
// that does not fit is cut and the result is nSize - 1 (nSize - 2 for lists).
// A missing key gives lpDefault without its trailing blanks.
DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                      LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);
DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);

// The leading number of the value (decimal, or hexadecimal after "0x"; a
// leading '-' negates), 0 when the value does not start with one, nDefault
// when the key is missing or empty.
UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                  LPCWSTR lpFileName);
UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                  LPCSTR lpFileName);

DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                            LPCWSTR lpFileName);
DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR lpszReturnBuffer, DWORD nSize, LPCSTR lpFileName);

// The section's "key=value" lines (comments left out), as a list.
DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                       LPCWSTR lpFileName);
DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize,
                                       LPCSTR lpFileName);

// lpKeyName NULL deletes the section, lpString NULL deletes the key. The file
// is created when missing (not its folder); every change writes a new file
// and renames it over the old one, so a failure leaves the old file as it was.
BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                       LPCWSTR lpFileName);
BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                       LPCSTR lpFileName);

} // extern "C"

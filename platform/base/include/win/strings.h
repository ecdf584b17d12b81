// Strings of the platform: the lstr* family, character case, the wsprintf
// formatter, and conversions between UTF-16 and the code pages.
#pragma once

#include <cstdarg>

#include "win/types.h"

// Code pages.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

extern "C" {

// NULL counts as an empty string; lstrcpy/lstrcat return NULL for NULL arguments.
int WINAPI lstrlenW(LPCWSTR lpString);
int WINAPI lstrlenA(LPCSTR lpString);
LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);
// Copies at most iMaxLength - 1 characters and always ends with a NUL
// (nothing is written when iMaxLength is 0 or less).
LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2);
// Word order as the system's user locale sorts: symbols, then digits, then
// letters; accents and then case (lower before upper) only break ties.
// Returns -1, 0 or 1; 0 only for strings that are the same (lstrcmpi: the
// same without regard to case).
int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);

// With a pointer whose high bits are zero, the low word is one character and
// the converted character is returned the same way; otherwise the string is
// converted in place and returned.
LPWSTR WINAPI CharUpperW(LPWSTR lpsz);
LPWSTR WINAPI CharLowerW(LPWSTR lpsz);
DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);

// The system's small formatter: %[-][#][0][width][.precision][h|l|I64]type with
// the types c C d i u x X s S p and %%. Numbers are 32-bit unless I64 is given
// (l changes nothing: LONG is 32-bit). In wsprintfW %s and %c take wide
// arguments and %S and %C narrow ones; wsprintfA the other way round; h and l
// force narrow and wide. A NULL string prints "(null)". The output is cut at
// 1023 characters plus the NUL (a 1024-character buffer is always enough);
// the result is the number of characters written without the NUL.
int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);
int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist);

// Code pages: the ANSI code page is 1252 unless a test sets another (932);
// the OEM code page goes with it (437, or 932). Also accepted: CP_UTF8 and
// the single-byte pages 437, 850, 852, 866 and 1250 to 1257.
// The two-call size protocol: a zero output size returns the size needed;
// a short buffer fails with ERROR_INSUFFICIENT_BUFFER. A source length of -1
// converts up to and including the NUL. Characters that do not map are
// replaced (no best-fit mapping is made): by the default character ('?', or
// lpDefaultChar's first character) with *lpUsedDefaultChar set to TRUE.
UINT WINAPI GetACP(void);
UINT WINAPI GetOEMCP(void);
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);
BOOL WINAPI IsDBCSLeadByte(BYTE TestChar);
BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar);
// Step over whole characters of the ANSI code page.
LPSTR WINAPI CharNextA(LPCSTR lpsz);
LPSTR WINAPI CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent);
}

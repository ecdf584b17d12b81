// The system's message texts (FormatMessage), MulDiv and the thread's locale.
#pragma once

#include <cstdarg>

#include "win/environment.h"
#include "win/types.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#ifndef ERROR_MR_MID_NOT_FOUND
#define ERROR_MR_MID_NOT_FOUND 317L
#endif

#ifndef LANG_NEUTRAL
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#endif
#ifndef MAKELANGID
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#endif
#define LANG_USER_DEFAULT MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)
#define LANG_SYSTEM_DEFAULT MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)

extern "C" {
// The system's text for an error number (FORMAT_MESSAGE_FROM_SYSTEM), or a
// caller's string (FORMAT_MESSAGE_FROM_STRING). The machine's messages are in
// English: language 0, English and the user's or system's default language
// when that is English find them; another language fails with
// ERROR_RESOURCE_LANG_NOT_FOUND, an unknown number with ERROR_MR_MID_NOT_FOUND.
// Inserts (%1 ... %99) take strings from the argument array or list unless
// FORMAT_MESSAGE_IGNORE_INSERTS keeps them as they stand. With
// FORMAT_MESSAGE_ALLOCATE_BUFFER lpBuffer receives a LocalAlloc'ed text
// (LocalFree releases it). Returns the characters written without the NUL,
// 0 on failure.
DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPWSTR lpBuffer, DWORD nSize, va_list* Arguments);
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments);

// a * b / c rounded half away from zero, computed in 64 bits; -1 when c is 0
// or the result does not fit in 32 bits.
int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator);

// The thread's locale: the user's default until the thread sets another of
// the locales the machine knows (ERROR_INVALID_PARAMETER for others).
LCID WINAPI GetThreadLocale(void);
BOOL WINAPI SetThreadLocale(LCID Locale);
}

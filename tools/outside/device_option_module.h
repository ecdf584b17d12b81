// The device-option module's two calls, as the driver asks them and as the
// stand-in (DevOption.DLL) answers them. The module ships with a model, not
// with this package; these are the widths and text forms both sides use:
//
//   BOOL GetOptionInfoFromSchema(printer, key, optionFile,
//                                &value, &kind, &count, &second, texts)
//   BOOL GetOptionInfo(...)      the same, for a configuration change
//
// - printer, key and optionFile are wide (UTF-16) texts ending in NUL.
// - value, kind and second are 32-bit unsigned; count is 32-bit signed.
// - Asked without `texts`, the call answers the key's kind, value, second
//   value and, for text answers (kind 255, and the finisher names of kind 7),
//   the number of texts in `count`.
// - Asked with `texts`, `count` says on the way in how many texts the buffer
//   holds (count x kOptionTextBytes bytes); the module writes at most that
//   many and sets `count` to the number written. Each text is
//   kOptionTextChars wide characters, NUL-terminated within them.
// - FALSE: the module cannot answer the key; the outputs are unchanged.
#pragma once

#include "win/types.h"

inline constexpr DWORD kOptionTextChars = 64;
inline constexpr DWORD kOptionTextBytes = kOptionTextChars * sizeof(WCHAR); // 128
inline constexpr DWORD kOptionKindText = 255;

// The two answers of the module, of one type, declared once: the module
// defines them against these declarations and the user interface calls them
// through their type.
DLLEXPORT BOOL WINAPI GetOptionInfoFromSchema(LPCWSTR printer, LPCWSTR key, LPCWSTR optionFile,
                                              DWORD* value, DWORD* kind, LONG* count, DWORD* second,
                                              WCHAR* texts);
DLLEXPORT BOOL WINAPI GetOptionInfo(LPCWSTR printer, LPCWSTR key, LPCWSTR optionFile, DWORD* value,
                                    DWORD* kind, LONG* count, DWORD* second, WCHAR* texts);
typedef decltype(&GetOptionInfo) PFN_GetOptionInfo;
inline constexpr char kGetOptionInfoFromSchema[] = "GetOptionInfoFromSchema";
inline constexpr char kGetOptionInfo[] = "GetOptionInfo";

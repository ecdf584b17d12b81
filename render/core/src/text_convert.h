// Wide and ANSI text helpers of the graphics core. ANSI means the system's
// code page; lengths that the device limits count its bytes.
#pragma once

#include <string>

#include "win/types.h"

namespace inkforge {

// Copies src into dst of n characters: at most n - 1 characters, always
// terminated, the rest of dst zero-filled (nothing when n is 0).
void CopyWideField(WCHAR* dst, size_t n, LPCWSTR src);

// A conversion into a fixed buffer of n bytes, the last always NUL; a text
// that does not fit is cut by whole characters.
void WideToAnsiField(LPCWSTR src, CHAR* dst, size_t n);

std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view text);

// The text at most maxBytes long, cut by whole characters of the code page (a
// lead byte without its second byte at the end is dropped too).
std::string CutAnsi(const std::string& text, size_t maxBytes);

// The text of a fixed-size character field: up to its first NUL, never past
// the field's end.
std::string FieldText(const BYTE* field, size_t size);

} // namespace inkforge

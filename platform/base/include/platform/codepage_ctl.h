// Code pages inside the platform: conversions for the *A functions of other
// components, and the control that sets the system's ANSI code page.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace platform {

// Convert between the given code page (CP_ACP by default) and UTF-16 with the
// rules of MultiByteToWideChar/WideCharToMultiByte (no flags, '?' for what
// does not map). Never fails: an unknown code page converts as the ANSI one.
std::u16string AnsiToWide(std::string_view text, UINT codePage = 0);
std::string WideToAnsi(std::u16string_view text, UINT codePage = 0);

// The length in bytes of the character of the code page that starts at text[0]
// (1 or 2; a lead byte at the end counts 1).
size_t AnsiCharLength(std::string_view text, UINT codePage = 0);

} // namespace platform

namespace platform::test {

// Set the system's ANSI code page (1252 or 932, or another single-byte page
// the platform knows) and the OEM code page; oemCodePage 0 takes the one that
// goes with the ANSI page (437, 932 for 932). Returns false for a code page
// the platform cannot convert. ResetForTests sets 1252 and 437 again.
bool SetAnsiCodePage(UINT ansiCodePage, UINT oemCodePage = 0);

} // namespace platform::test

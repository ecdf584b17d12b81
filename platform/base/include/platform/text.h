// UTF-16 <-> UTF-8 conversions used inside the platform (file names, SQLite text).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Unpaired surrogates become U+FFFD; never fails.
std::string ToUtf8(std::u16string_view text);
// Invalid sequences become U+FFFD; never fails.
std::u16string FromUtf8(std::string_view text);
// The one UTF-8 encoder and decoder of the platform (the code page functions
// use them too). Encoding appends to *out; an unpaired surrogate fails when
// strict, else becomes U+FFFD; ends, when given, receives the end offset in
// *out of each character. Decoding appends to *out; an ill-formed sequence
// fails when strict, else becomes one U+FFFD for its longest valid beginning
// (at least one byte).
bool EncodeUtf8(std::u16string_view text, bool strict, std::string* out,
                std::vector<size_t>* ends = nullptr);
bool DecodeUtf8(std::string_view text, bool strict, std::u16string* out);

// Simple case folding for case-insensitive names (ASCII and Latin-1, Greek and
// Cyrillic letters, as the system's own name comparison treats them).
char16_t FoldCase(char16_t c);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool EqualsNoCaseUtf8(std::string_view a, std::string_view b);

// Length of a NUL-terminated UTF-16 string (nullptr counts as empty).
size_t WideLength(const char16_t* s);

} // namespace platform

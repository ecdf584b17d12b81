// The one reader of compiled resource files (.res, as windres writes them):
// a sequence of entries, each a header (data size, header size, type and name
// as an ordinal or a UTF-16 string, language, flags) followed by its data,
// every entry starting on a 4-byte boundary. Every size and string is checked
// against the bytes there are before use.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "win/types.h"

namespace platform::res {

// A type or name: an ordinal, or a string (as stored; compare without case).
struct ResId {
    bool isOrdinal = true;
    WORD ordinal = 0;
    std::u16string text;
    bool operator==(const ResId&) const = default;
};

struct ResEntry {
    ResId type;
    ResId name;
    WORD language = 0;
    WORD memoryFlags = 0;
    DWORD dataVersion = 0;
    DWORD version = 0;
    DWORD characteristics = 0;
    const BYTE* data = nullptr; // into the bytes read
    DWORD size = 0;
};

// Reads every entry of a .res image; the entries point into `data`, which must
// outlive them. The empty entry that starts a file is left out. False with
// *error saying what and where when the bytes are not a resource file.
bool ReadResFile(const BYTE* data, size_t size, std::vector<ResEntry>* out, std::string* error);

// A resource type or name as callers pass it: MAKEINTRESOURCE(n), "#n", or a
// string (upper-cased, as the resource compiler stores names).
ResId IdFromParameter(LPCWSTR p);
bool SameId(const ResId& a, const ResId& b);

// One version resource (VS_VERSIONINFO and its children). Finds the value at a
// path ("\\", "\\VarFileInfo\\Translation",
// "\\StringFileInfo\\040904B0\\FileVersion"); *value points into block. For a
// text value *length counts characters including the NUL, else bytes. False
// when the path is not there or the block is malformed.
bool FindVersionValue(const BYTE* block, size_t size, std::u16string_view path, const BYTE** value,
                      UINT* length);

} // namespace platform::res

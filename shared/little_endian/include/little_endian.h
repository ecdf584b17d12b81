// Numbers as the package's files and records hold them: little-endian,
// whatever the host's byte order. The caller has checked that the bytes lie
// inside what it reads.
#pragma once

#include "win/types.h"

namespace little_endian {

inline WORD ReadU16(const BYTE* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}

inline DWORD ReadU32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

} // namespace little_endian

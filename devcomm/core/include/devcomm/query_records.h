// Records that the device queries fill for their callers.
#pragma once

#include <cstddef>

#include "win/types.h"

// One input tray or output bin.
struct TrayInfo {
    DWORD found;       // 1 when the name was read and fitted
    DWORD maxCapacity; // sheets; 0 when unknown
    CHAR name[256];
};
static_assert(sizeof(TrayInfo) == 264 && offsetof(TrayInfo, name) == 8);

// One interpreter (page description language) of the device.
struct PdlInfo {
    DWORD found;
    DWORD languageFamily;
    CHAR description[256];
    CHAR level[256];
};
static_assert(sizeof(PdlInfo) == 520 && offsetof(PdlInfo, description) == 8 &&
              offsetof(PdlInfo, level) == 264);

// The installed options in one record.
struct DevOptInfo {
    WORD inputTrays;     // input trays minus 1
    WORD reserved1;      // 0
    SHORT largeCapacity; // 1 when the last tray holds 3000 sheets or more
    SHORT finisher;      // 1 LT-QN565, 2 LT-QN540, 3 LT-QN760, 4 LT-QN765, 0 none
    DWORD hardDisk;
    SHORT punch;
    WORD reserved2;
};
static_assert(sizeof(DevOptInfo) == 16 && offsetof(DevOptInfo, finisher) == 6);
static_assert(offsetof(DevOptInfo, hardDisk) == 8 && offsetof(DevOptInfo, punch) == 12);

// PJL job header and trailer: the head fields, the header bytes and, 10 bytes
// after them, the trailer bytes.
struct PjlJobData {
    CHAR* header;
    CHAR* trailer;
    DWORD headerLength;
    DWORD trailerLength;
    // header bytes follow
};
static_assert(sizeof(PjlJobData) == 24);

// The model query codes, layouts and record offsets that the UI core asks
// Modelsmith for, named in one place.
#pragma once

#include "win/types.h"

namespace sheetwright {

// Query codes.
enum ModelQuery : WORD {
    kQueryComponents = 7,    // component table: {u32 id, u32 kind, char[16] name template}
    kQueryProductName = 11,  // second subfolder of the working folder
    kQueryModelFamily = 14,  // third subfolder of the working folder
    kQueryMakerName = 15,    // first subfolder of the working folder
    kQueryModelFlags22 = 22, // media table; layout 8: first byte bit 0
    kQueryPaperSources = 24, // 4-byte entries, u16 tray id first
    kQueryOption25 = 25,     // first u32 flags, then masks and limits
    kQueryTrayGroups = 26,   // layout 2: 32-byte tray group records
    kQueryFinishers = 27,    // 24-byte entries (layout 2), layout 3 per finisher
    kQueryTable28 = 28,
    kQueryTable29 = 29,
    kQueryMemory35 = 35,       // memory class 35
    kQueryMemory36 = 36,       // memory class 36 (printer memory)
    kQueryInstallOptions = 37, // layout 2: 16-byte option entries
    kQueryTable38 = 38,
    kQueryTable57 = 57,
    kQueryJobType60 = 60,
    kQueryJobType61 = 61,
    kQueryJobType62 = 62,
    kQueryOption63 = 63,
    kQueryJobType73 = 73,
    kQueryJobType74 = 74,
    kQueryDriverFlags79 = 79, // first u32: 0x20 "ChangePaperTray" supported
};

// Component ids of the component table.
enum ModelComponent : DWORD {
    kComponentModelsmith = 20,
    kComponentSheetwright = 22,
    kComponentResbundle = 23,
};

// Component-table entry kinds whose name template takes a platform code.
constexpr DWORD kComponentKindPlatform64 = 6;
constexpr DWORD kComponentKindPlatform32 = 7;

// Model data file header: magic, u32 file size at 4, u32 at 8 below the size,
// u32 offset of the offset table at 12.
constexpr char kModelDataMagic[4] = {'N', 'K', 'S', 'P'};
constexpr size_t kModelDataSizeOffset = 4;
constexpr size_t kModelDataBoundOffset = 8;
constexpr size_t kModelDataOffsetTable = 12;
constexpr size_t kComponentEntrySize = 24;
constexpr size_t kComponentNameSize = 16;

// Option classes of the installed-option list.
enum OptionClass : WORD {
    kOption25 = 25,
    kOptionTray = 26,
    kOptionFinisher = 27,
    kOptionMemory35 = 35,
    kOptionMemory36 = 36,
    kOption63 = 63,
};

} // namespace sheetwright

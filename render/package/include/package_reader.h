// The one reader of the spool package's index and font list. Every count, size
// and offset is checked against the bytes given; a malformed file gives an
// error text and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package_format.h"

namespace spoolpkg {

struct IndexRecord {
    uint32_t type = 0;
    size_t offset = 0; // of the record's head in the file
    size_t size = 0;   // of the whole record
};

struct PackageIndex {
    uint32_t pageCount = 0;
    std::vector<IndexRecord> records;
    // Each devmode record's ANSI device-mode image (kAnsiDevmodeSize bytes).
    std::vector<std::vector<uint8_t>> devmodes;
    std::string printerName;
    std::string documentName;
    std::vector<std::string> pagePaths;
    bool finished = false; // the end-of-job record closes the index
};

// Reads an index; false with *error for anything out of place.
bool ReadPackageIndex(const uint8_t* data, size_t size, PackageIndex* index, std::string* error);

struct FontEntry {
    uint64_t uniqueId = 0;
    std::u16string faceName;
};

// Reads a font list; false with *error for a cut record or an id listed twice.
bool ReadFontList(const uint8_t* data, size_t size, std::vector<FontEntry>* fonts,
                  std::string* error);

// Type names for listings ("devmode", "names", ...), "unknown" for others.
const char* RecordTypeName(uint32_t type);

} // namespace spoolpkg

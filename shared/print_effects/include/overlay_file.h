// Overlay files ("<name>.POL" in the per-user working folder): one page of an
// earlier job as an enhanced metafile behind a 288-byte header. The one
// reader checks the magic, the version and that the metafile lies inside
// the file; the writer puts the whole file under a temporary name first and
// renames it into place, so a reader never sees half an overlay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "win/types.h"

namespace print_effects {

constexpr size_t kOverlayHeaderSize = 288;
constexpr uint32_t kOverlayVersion = 2;
constexpr char kOverlayMagic[4] = {'Z', 'O', 'R', 'D'};
constexpr char kOverlayExtension[] = ".POL";
// An overlay name without folder or extension, terminator included.
constexpr size_t kOverlayNameSize = 64;
// The largest overlay file read. The header's size word would allow 4 GB; a
// page holding an uncompressed 32-bit picture of a whole A3 sheet at 600 dpi
// takes 278 MB, so this leaves room for any page a job makes.
constexpr uint64_t kMaxOverlayFileSize = kOverlayHeaderSize + (uint64_t{512} << 20);

struct OverlayHeader {
    uint32_t systemVersion = 0; // version word of the system that made it
    uint16_t paperSize = 0;
    uint16_t paperWidth = 0;  // 0.1 mm
    uint16_t paperLength = 0; // 0.1 mm
    uint16_t orientation = 0; // 1 portrait, 2 landscape
};

// The whole file: header and metafile bits.
std::vector<uint8_t> OverlayFileBytes(const OverlayHeader& header, const uint8_t* bits,
                                      size_t size);

// The header alone (magic and version checked).
[[nodiscard]] bool ReadOverlayHeader(const uint8_t* data, size_t size, OverlayHeader* header,
                                     std::string* error);

// The header and the metafile bits of an overlay file; false with *error
// for anything out of place (the bits point into data).
[[nodiscard]] bool ReadOverlayFile(const uint8_t* data, size_t size, OverlayHeader* header,
                                   const uint8_t** bits, size_t* bitsSize, std::string* error);

// Writes the bytes to a temporary file beside path and renames it over path.
// With replace false an existing file is left alone (ERROR_FILE_EXISTS).
// Returns the error that stopped it, 0 when the file is in place.
[[nodiscard]] DWORD WriteFileWhole(const std::string& path, const std::vector<uint8_t>& bytes,
                                   bool replace);

// A localised question about an overlay name: its "%s" replaced by the
// name and "%%" by "%", every other character (another directive too) as
// the translation wrote it.
std::string WithOverlayName(const std::string& text, const std::string& name);

// Whether an overlay name (from a device mode or the name dialog) is a bare
// file name: the overlay lies in the working folder and nowhere else, so no
// folder part, drive, "." or "..", and none of the characters a file name
// cannot hold.
bool IsBareOverlayName(const char* name);

// A file read whole; false with the last error set when it cannot be.
[[nodiscard]] bool ReadFileWhole(const std::string& path, std::vector<uint8_t>* bytes);
// An overlay file read whole. One larger than any overlay is refused
// (ERROR_INVALID_DATA) before a byte of it is read.
[[nodiscard]] bool ReadOverlayFileWhole(const std::string& path, std::vector<uint8_t>* bytes);

} // namespace print_effects

// The spool-side player reads and writes overlays through these.
namespace metaweave {
using namespace print_effects;
} // namespace metaweave

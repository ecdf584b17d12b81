// The one reader of the spooler's own files as the graphics core copies them
// ("XLEnnnnn.SHD" beside "XLEnnnnn.SPL"): the shadow file's names, page count
// and device mode, and the EMF spool file's page records; and of the spool
// file of Windows 9x. Every offset, size
// and count is checked against the bytes given; a malformed file gives an
// error text and no pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace metaweave {

// Which system's spooler wrote the copies.
enum class SpoolerKind : uint32_t { NT4 = 1, Win2000 = 2, XP = 3 };

// Record types of the EMF spool file.
constexpr uint32_t kEmriMetafile = 1;
constexpr uint32_t kEmriDevmode = 3;
constexpr uint32_t kEmriMetafileData = 12;
constexpr uint32_t kEmriMetafileExt = 13;
constexpr uint32_t kEmriBwMetafileExt = 14;
constexpr size_t kSpoolHeaderSize = 16;
constexpr size_t kSpoolRecordHeadSize = 8;
// The byte that starts a raw printer stream instead of a spool header.
constexpr uint8_t kEscape = 27;

struct ShadowInfo {
    std::string printerName;      // ANSI
    std::string documentName;     // ANSI, the name to give the replayed job back
    std::vector<uint8_t> devmode; // ANSI device mode with its private part
    uint32_t pageCount = 0;
};

bool ReadShadowFile(const uint8_t* data, size_t size, SpoolerKind kind, ShadowInfo* info,
                    std::string* error);

struct SpoolPage {
    size_t recordOffset = 0; // of the page's metafile record
    size_t devmode = 0;      // index into SpoolContents::devmodes
};

struct SpoolContents {
    std::string documentName;
    std::vector<std::vector<uint8_t>> devmodes; // ANSI; [0] is the shadow file's
    std::vector<SpoolPage> pages;
};

// Walks the page records until pageCount pages are found. A record whose size
// is 0 or runs past the end, or running out of records first, is an error.
bool ReadSpoolFile(const uint8_t* data, size_t size, SpoolerKind kind,
                   const std::vector<uint8_t>& firstDevmode, uint32_t pageCount,
                   SpoolContents* contents, std::string* error);

// The metafile bytes of the page record at offset.
bool PageRecordBits(const uint8_t* data, size_t size, size_t offset, const uint8_t** bits,
                    size_t* bitsSize, std::string* error);

// A wide device mode (standard part and private part, as many bytes as given)
// to its ANSI form through the package's one conversion: names to the ANSI
// code page, dmSize less 64, the private part unchanged. False when the
// record does not fit or its sizes are wrong.
bool DevModeWToA(const uint8_t* wide, size_t available, std::vector<uint8_t>* ansi);

// The spool file of Windows 9x ("XLEnnnnn.SPL" in the
// Windows directory's "TEMP" folder, or "XLEnnnnn.DAT" for the driver's own
// package there): the records of the driver's spool package, read as a file.
//
//   offset 0  u32 page count (meaningful when the job says the file counts)
//   offset 4  u32 (not read)
//   offset 8  records {u32 type, u32 size including these 8 bytes, data}:
//     0x02000005 device mode: an ANSI device mode (dmSize + dmDriverExtra bytes)
//     0x02445453 names: {type, size, printer offset, document offset, final
//                offset}, offsets from the record's start to terminated texts
//     0x024D5446 page: the terminated path of the page's metafile
//     0x02505453 start of page, 0x02504E45 end of page: no data
//     0x02444E45 end of document: the walk ends
//   other types are passed over.
constexpr uint32_t kWin9xStartOfPage = 0x02505453;

struct Win9xPage {
    std::string path;   // the page's metafile
    size_t devmode = 0; // index into Win9xContents::devmodes
};

struct Win9xContents {
    uint32_t pageCount = 0;                // the head's count
    std::string printerName, documentName; // from the names record, when there is one
    bool haveNames = false;
    std::vector<std::vector<uint8_t>> devmodes; // ANSI, each as long as its sizes say
    std::vector<Win9xPage> pages;
};

// Walks the records; with pageLimit above 0 the walk ends once that many
// pages were read. A page before any device mode is an error.
bool ReadWin9xSpoolFile(const uint8_t* data, size_t size, uint32_t pageLimit,
                        Win9xContents* contents, std::string* error);

} // namespace metaweave

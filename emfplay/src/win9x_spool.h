// The one reader of the spool file of Windows 9x ("XLEnnnnn.SPL" in the
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
// Every offset and size is checked against the bytes given; a malformed file
// gives an error text and no pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace metaweave {

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

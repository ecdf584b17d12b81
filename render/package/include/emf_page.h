// A page file of the spool package: a standard enhanced metafile with the
// package's fixed header choices. The header goes out when the page opens,
// with its sizes and counts patched in when it closes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "win/types.h"

namespace spoolpkg {

// Header record: the 108-byte standard header and a 16-byte description.
constexpr size_t kEmfHeaderFixedSize = 108;
constexpr char kPageDescription[] = "NKT_EMF Ver 1.00";
constexpr size_t kPageDescriptionSize = sizeof kPageDescription - 1;
constexpr size_t kPageHeaderSize = kEmfHeaderFixedSize + kPageDescriptionSize;
// End of file: {type 14, size 20, no palette entries, palette offset 16, size-last 20}.
constexpr size_t kEmfEofSize = 20;

constexpr LONG kMicrometresPerInch = 25400;

// The page in pixels, whole millimetres and micrometres for a printable area
// given in micrometres at a resolution in dots per inch.
struct PageGeometry {
    LONG width = 0, height = 0;
    LONG widthMm = 0, heightMm = 0;
    LONG widthUm = 0, heightUm = 0;
};
PageGeometry ComputePageGeometry(LONG printableWidthUm, LONG printableHeightUm, LONG dpi);

// The header record as written when the page opens (total bytes, records and
// handles still 0).
std::vector<uint8_t> PageHeaderRecord(const PageGeometry& g);

class EmfPageWriter {
  public:
    EmfPageWriter() = default;
    EmfPageWriter(const EmfPageWriter&) = delete;
    EmfPageWriter& operator=(const EmfPageWriter&) = delete;
    ~EmfPageWriter();

    // Creates the file (always new, not shared); the header record is the
    // first write.
    DWORD Open(const std::u16string& path);
    // Appends bytes; a record header counts one record. Returns the first
    // error of the page (later writes after an error do nothing).
    DWORD Write(const void* data, size_t length, bool countsAsRecord);
    // Writes the end record, patches the header and closes the file.
    // handleCount is the object slots the page used plus one.
    DWORD Close(DWORD handleCount);
    // Closes the file without finishing it (a failed or cancelled page).
    void Abandon();

    bool open() const { return file_ != nullptr; }
    DWORD bytes() const { return bytes_; }
    DWORD records() const { return records_; }
    DWORD error() const { return error_; }

  private:
    DWORD Flush();

    HANDLE file_ = nullptr;
    std::vector<uint8_t> buffer_;
    DWORD bytes_ = 0;
    DWORD records_ = 0;
    DWORD error_ = 0;
};

} // namespace spoolpkg

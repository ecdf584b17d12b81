#include "emf_page.h"

#include <cstring>

#include "win/emf.h"
#include "win/errors.h"
#include "win/files.h"

namespace spoolpkg {
namespace {

// Bytes gathered before they go to the file: a page is many small records.
constexpr size_t kWriteChunk = 64 * 1024;

} // namespace

PageGeometry ComputePageGeometry(LONG printableWidthUm, LONG printableHeightUm, LONG dpi) {
    PageGeometry g;
    if (dpi <= 0) return g;
    auto pixels = [dpi](LONG um) {
        return static_cast<LONG>(static_cast<double>(um) * dpi / kMicrometresPerInch + 0.05);
    };
    auto micrometres = [dpi](LONG px) {
        return static_cast<LONG>(static_cast<LONGLONG>(px) * kMicrometresPerInch / dpi);
    };
    // Whole millimetres: to tens of micrometres, then rounded to hundreds.
    auto millimetres = [&](LONG px) { return ((micrometres(px) + 5) / 10 + 50) / 100; };
    g.width = pixels(printableWidthUm);
    g.height = pixels(printableHeightUm);
    g.widthUm = micrometres(g.width);
    g.heightUm = micrometres(g.height);
    g.widthMm = millimetres(g.width);
    g.heightMm = millimetres(g.height);
    return g;
}

std::vector<uint8_t> PageHeaderRecord(const PageGeometry& g) {
    ENHMETAHEADER h{};
    h.iType = EMR_HEADER;
    h.nSize = static_cast<DWORD>(kPageHeaderSize);
    h.rclBounds = RECTL{0, 0, g.width, g.height};
    h.rclFrame = RECTL{0, 0, g.widthMm * 100, g.heightMm * 100};
    h.dSignature = ENHMETA_SIGNATURE;
    h.nVersion = 0x10000;
    // The description's 16 bytes read as UTF-16 are 8 characters: a reader
    // taking the count as characters stays within the header record.
    h.nDescription = static_cast<DWORD>(kPageDescriptionSize / sizeof(char16_t));
    h.offDescription = static_cast<DWORD>(kEmfHeaderFixedSize);
    h.szlDevice = SIZEL{g.width, g.height};
    h.szlMillimeters = SIZEL{g.widthMm, g.heightMm};
    h.szlMicrometers = SIZEL{g.widthUm, g.heightUm};
    std::vector<uint8_t> bytes(kPageHeaderSize, 0);
    std::memcpy(bytes.data(), &h, sizeof h);
    std::memcpy(bytes.data() + kEmfHeaderFixedSize, kPageDescription, kPageDescriptionSize);
    return bytes;
}

EmfPageWriter::~EmfPageWriter() {
    Abandon();
}

void EmfPageWriter::Abandon() {
    if (file_) CloseHandle(file_);
    file_ = nullptr;
    buffer_.clear();
}

DWORD EmfPageWriter::Open(const std::u16string& path) {
    Abandon();
    bytes_ = records_ = error_ = 0;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return error_ = GetLastError();
    file_ = h;
    buffer_.reserve(kWriteChunk);
    return 0;
}

DWORD EmfPageWriter::Flush() {
    if (error_ || buffer_.empty()) return error_;
    DWORD wrote = 0;
    if (!WriteFile(file_, buffer_.data(), static_cast<DWORD>(buffer_.size()), &wrote, nullptr))
        error_ = GetLastError();
    else if (wrote != buffer_.size())
        error_ = ERROR_DISK_FULL;
    buffer_.clear();
    return error_;
}

DWORD EmfPageWriter::Write(const void* data, size_t length, bool countsAsRecord) {
    if (!file_) return ERROR_INVALID_HANDLE;
    if (error_) return error_;
    if (length > 0xFFFFFFFFu - bytes_) return error_ = ERROR_DISK_FULL;
    const auto* p = static_cast<const uint8_t*>(data);
    buffer_.insert(buffer_.end(), p, p + length);
    bytes_ += static_cast<DWORD>(length);
    if (countsAsRecord) ++records_;
    if (buffer_.size() >= kWriteChunk) Flush();
    return error_;
}

DWORD EmfPageWriter::Close(DWORD handleCount) {
    if (!file_) return ERROR_INVALID_HANDLE;
    EMREOF eof{};
    eof.emr.iType = EMR_EOF;
    eof.emr.nSize = static_cast<DWORD>(kEmfEofSize);
    eof.offPalEntries = 16;
    eof.nSizeLast = static_cast<DWORD>(kEmfEofSize);
    static_assert(sizeof eof == kEmfEofSize);
    Write(&eof, sizeof eof, true);
    Flush();
    if (!error_) {
        ENHMETAHEADER h{};
        DWORD got = 0;
        if (SetFilePointer(file_, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
            !ReadFile(file_, &h, sizeof h, &got, nullptr) || got != sizeof h) {
            error_ = GetLastError() ? GetLastError() : ERROR_READ_FAULT;
        } else {
            h.nBytes = bytes_;
            h.nRecords = records_;
            h.nHandles = static_cast<WORD>(handleCount > 0xFFFF ? 0xFFFF : handleCount);
            DWORD wrote = 0;
            if (SetFilePointer(file_, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
                !WriteFile(file_, &h, sizeof h, &wrote, nullptr))
                error_ = GetLastError();
            else if (wrote != sizeof h)
                error_ = ERROR_DISK_FULL;
        }
    }
    if (!CloseHandle(file_) && !error_) error_ = GetLastError();
    file_ = nullptr;
    return error_;
}

} // namespace spoolpkg

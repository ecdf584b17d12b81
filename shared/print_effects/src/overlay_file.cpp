#include "overlay_file.h"

#include <cstdio>
#include <cstring>

#include "driver_env.h"
#include "win/base.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/strings.h"

namespace print_effects {
namespace {

// Header fields.
constexpr size_t kBitsOffsetAt = 4, kVersionAt = 8, kOneAt = 12, kSystemAt = 16;
constexpr size_t kPaperSizeAt = 20, kPaperWidthAt = 22, kPaperLengthAt = 24;
constexpr size_t kOrientationAt = 26, kBitsSizeAt = 284;

uint32_t U32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

bool Fail(std::string* error, const char* text, size_t at) {
    if (error) *error = std::string(text) + " at offset " + std::to_string(at);
    return false;
}

} // namespace

std::vector<uint8_t> OverlayFileBytes(const OverlayHeader& header, const uint8_t* bits,
                                      size_t size) {
    std::vector<uint8_t> out(kOverlayHeaderSize + size, 0);
    std::memcpy(out.data(), kOverlayMagic, sizeof kOverlayMagic);
    Put32(&out[kBitsOffsetAt], kOverlayHeaderSize);
    Put32(&out[kVersionAt], kOverlayVersion);
    Put32(&out[kOneAt], 1);
    Put32(&out[kSystemAt], header.systemVersion);
    Put16(&out[kPaperSizeAt], header.paperSize);
    Put16(&out[kPaperWidthAt], header.paperWidth);
    Put16(&out[kPaperLengthAt], header.paperLength);
    Put16(&out[kOrientationAt], header.orientation);
    Put32(&out[kBitsSizeAt], static_cast<uint32_t>(size));
    if (size) std::memcpy(&out[kOverlayHeaderSize], bits, size);
    return out;
}

bool ReadOverlayHeader(const uint8_t* data, size_t size, OverlayHeader* header,
                       std::string* error) {
    *header = OverlayHeader{};
    if (!data || size < kOverlayHeaderSize)
        return Fail(error, "overlay shorter than its header", 0);
    if (std::memcmp(data, kOverlayMagic, sizeof kOverlayMagic) != 0)
        return Fail(error, "not an overlay file", 0);
    if (U32(data + kVersionAt) != kOverlayVersion)
        return Fail(error, "overlay of another format version", kVersionAt);
    header->systemVersion = U32(data + kSystemAt);
    header->paperSize = U16(data + kPaperSizeAt);
    header->paperWidth = U16(data + kPaperWidthAt);
    header->paperLength = U16(data + kPaperLengthAt);
    header->orientation = U16(data + kOrientationAt);
    return true;
}

bool ReadOverlayFile(const uint8_t* data, size_t size, OverlayHeader* header, const uint8_t** bits,
                     size_t* bitsSize, std::string* error) {
    if (!ReadOverlayHeader(data, size, header, error)) return false;
    size_t offset = U32(data + kBitsOffsetAt), n = U32(data + kBitsSizeAt);
    if (offset < kOverlayHeaderSize || offset > size)
        return Fail(error, "metafile offset outside the file", kBitsOffsetAt);
    if (n == 0 || n > size - offset)
        return Fail(error, "metafile size outside the file", kBitsSizeAt);
    *bits = data + offset;
    *bitsSize = n;
    return true;
}

DWORD WriteFileWhole(const std::string& path, const std::vector<uint8_t>& bytes, bool replace) {
    std::u16string target = sheetwright::AnsiToWide(path.data(), path.size());
    if (!replace &&
        GetFileAttributesW(reinterpret_cast<LPCWSTR>(target.c_str())) != INVALID_FILE_ATTRIBUTES)
        return ERROR_FILE_EXISTS;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::u16string temp;
    for (DWORD n = 0; n < 16 && file == INVALID_HANDLE_VALUE; ++n) {
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, ".~%08lX%04lX.tmp",
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<unsigned long>((GetTickCount() + n) & 0xFFFF));
        temp = target + sheetwright::AnsiToWide(suffix, std::strlen(suffix));
        file = CreateFileW(reinterpret_cast<LPCWSTR>(temp.c_str()), GENERIC_WRITE, 0, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return GetLastError();
    }
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (ok && !MoveFileExW(reinterpret_cast<LPCWSTR>(temp.c_str()),
                           reinterpret_cast<LPCWSTR>(target.c_str()),
                           replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS) error = ERROR_FILE_EXISTS;
    }
    if (error) DeleteFileW(reinterpret_cast<LPCWSTR>(temp.c_str()));
    return error ? error : (ok ? 0 : ERROR_WRITE_FAULT);
}

namespace {

// The size is asked before a byte is read.
bool ReadFileWithin(const std::string& path, uint64_t maxSize, std::vector<uint8_t>* bytes) {
    bytes->clear();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart >= 0;
    if (ok && static_cast<uint64_t>(size.QuadPart) > maxSize) {
        SetLastError(ERROR_INVALID_DATA);
        ok = false;
    }
    if (ok) {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = bytes->empty() ||
             (ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) &&
              read == bytes->size());
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) bytes->clear();
    SetLastError(error);
    return ok;
}

} // namespace

bool ReadFileWhole(const std::string& path, std::vector<uint8_t>* bytes) {
    return ReadFileWithin(path, (uint64_t{1} << 31) - 1, bytes);
}

bool ReadOverlayFileWhole(const std::string& path, std::vector<uint8_t>* bytes) {
    return ReadFileWithin(path, kMaxOverlayFileSize, bytes);
}

std::string WithOverlayName(const std::string& text, const std::string& name) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            out += name;
            ++i;
        } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            out += '%'; // as the format the text was written for shows it
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsBareOverlayName(const char* name) {
    if (!name || !*name) return false;
    bool onlyDots = true;
    for (const char* p = name; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
        onlyDots = onlyDots && (c == '.' || c == ' ');
    }
    return !onlyDots;
}

} // namespace print_effects

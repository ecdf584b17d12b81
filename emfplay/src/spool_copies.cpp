#include "spool_copies.h"

#include <cstring>
#include <utility>

#include "devmode_forms.h"
#include "driver_env.h"
#include "package_format.h"
#include "devmode_private.h"
#include "win/strings.h"

namespace metaweave {
namespace {

// The wide standard part: where its sizes stand, the fields it must reach
// and the longest one.
constexpr size_t kWideSizeOffset = 68;  // dmSize in the wide form
constexpr size_t kWideExtraOffset = 70; // dmDriverExtra
constexpr size_t kWideLogPixelsOffset = 166;
constexpr size_t kWideMaxStandard = DEVMODEW_SIZE;
// The shadow file's document name is read as this many bytes.
constexpr size_t kDocumentNameBytes = 520;

uint32_t U32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool Fail(std::string* error, const std::string& text, size_t at) {
    if (error) *error = text + " at offset " + std::to_string(at);
    return false;
}

// Wide characters from at up to a terminator, at most maxChars, inside size.
std::u16string WideAt(const uint8_t* data, size_t size, size_t at, size_t maxChars) {
    std::u16string out;
    for (size_t i = 0; i < maxChars && at + 2 * i + 1 < size; ++i) {
        char16_t c = U16(data + at + 2 * i);
        if (!c) break;
        out += c;
    }
    return out;
}

// The wide device mode at offset, sized by its own fields, converted.
bool DevmodeAt(const uint8_t* data, size_t size, size_t at, std::vector<uint8_t>* ansi,
               std::string* error) {
    if (at >= size) return Fail(error, "device mode outside the file", at);
    if (!DevModeWToA(data + at, size - at, ansi))
        return Fail(error, "device mode cut off or of a wrong size", at);
    return true;
}

// The spool file of Windows 9x.
constexpr size_t kHeadSize = 8, kRecordHead = 8;
// ANSI device mode: dmSize and dmDriverExtra, and the smallest standard part.
constexpr size_t kAnsiSizeAt = 36, kAnsiExtraAt = 38, kAnsiStandardMin = DEVMODEA_SIZE_320;
constexpr size_t kNamesHead = 20;
constexpr size_t kMaxPath = 260;

// A terminated text wholly inside [at, end).
bool TextAt(const uint8_t* data, size_t at, size_t end, std::string* out) {
    if (at >= end) return false;
    const void* nul = std::memchr(data + at, 0, end - at);
    if (!nul) return false;
    out->assign(reinterpret_cast<const char*>(data + at),
                static_cast<const uint8_t*>(nul) - (data + at));
    return true;
}

} // namespace

bool DevModeWToA(const uint8_t* wide, size_t available, std::vector<uint8_t>* ansi) {
    if (available < kWideLogPixelsOffset) return false;
    size_t standard = U16(wide + kWideSizeOffset);
    size_t extra = U16(wide + kWideExtraOffset);
    if (standard < kWideLogPixelsOffset || standard > kWideMaxStandard) return false;
    if (standard + extra > available) return false;
    std::vector<uint8_t> converted(standard - driver_devmode::kNameWidthDifference + extra, 0);
    if (!driver_devmode::DevModeWToA(reinterpret_cast<const DEVMODEW*>(wide), available,
                                     reinterpret_cast<DEVMODEA*>(converted.data()),
                                     converted.size()))
        return false;
    *ansi = std::move(converted);
    return true;
}

bool ReadShadowFile(const uint8_t* data, size_t size, SpoolerKind kind, ShadowInfo* info,
                    std::string* error) {
    *info = ShadowInfo{};
    // Offsets of the fields in the shadow file's job record.
    const bool nt4 = kind == SpoolerKind::NT4;
    const size_t printerAt = nt4 ? 32 : 36, documentAt = nt4 ? 20 : 24;
    const size_t devmodeAt = nt4 ? 40 : 44, pagesAt = nt4 ? 84 : 88;
    if (!data || size < pagesAt + 4) return Fail(error, "shadow file shorter than its record", 0);
    size_t printer = U32(data + printerAt), document = U32(data + documentAt);
    size_t devmode = U32(data + devmodeAt);
    if (printer && printer >= size) return Fail(error, "printer name outside the file", printerAt);
    if (document && document >= size)
        return Fail(error, "document name outside the file", documentAt);
    if (printer)
        info->printerName = sheetwright::WideToAnsiString(WideAt(data, size, printer, size));
    if (document)
        info->documentName = sheetwright::WideToAnsiString(WideAt(data, size, document, size));
    if (!devmode) return Fail(error, "shadow file without a device mode", devmodeAt);
    if (!DevmodeAt(data, size, devmode, &info->devmode, error)) return false;
    info->pageCount = U32(data + pagesAt);
    return true;
}

namespace {

bool WalkSpoolFile(const uint8_t* data, size_t size, SpoolerKind kind,
                   const std::vector<uint8_t>& firstDevmode, uint32_t pageCount,
                   SpoolContents* contents, std::string* error) {
    if (!data || size < kSpoolHeaderSize)
        return Fail(error, "spool file shorter than its header", 0);
    if (data[0] == kEscape && kind != SpoolerKind::XP)
        return Fail(error, "a printer stream, not a spool file", 0);
    size_t headerSize = U32(data + 4), docName = U32(data + 8);
    if (headerSize < kSpoolHeaderSize || headerSize > size)
        return Fail(error, "spool header size outside the file", 4);
    if (docName && docName < size)
        contents->documentName =
            sheetwright::WideToAnsiString(WideAt(data, size, docName, kDocumentNameBytes / 2));
    contents->devmodes.push_back(firstDevmode);
    size_t at = headerSize;
    uint32_t found = 0;    // pages completed
    bool pageOpen = false; // a metafile-data record waits for its end record
    while (found < pageCount) {
        if (at >= size || size - at < kSpoolRecordHeadSize)
            return Fail(error, "spool file ends before its last page", at);
        uint32_t type = U32(data + at);
        size_t dataSize = U32(data + at + 4);
        if (dataSize == 0 || dataSize > size - at - kSpoolRecordHeadSize)
            return Fail(error, "record size zero or past the end of the file", at);
        const size_t current = contents->devmodes.size() - 1;
        if (kind == SpoolerKind::NT4 && type == kEmriMetafile) {
            contents->pages.push_back({at, current});
            ++found;
        } else if (kind != SpoolerKind::NT4 && type == kEmriMetafileData) {
            contents->pages.push_back({at, current});
            pageOpen = true;
        } else if (kind != SpoolerKind::NT4 &&
                   (type == kEmriMetafileExt || type == kEmriBwMetafileExt)) {
            if (!pageOpen) return Fail(error, "end of page without its page", at);
            pageOpen = false;
            ++found;
        } else if (type == kEmriDevmode) {
            std::vector<uint8_t> ansi;
            if (!DevModeWToA(data + at + kSpoolRecordHeadSize, dataSize, &ansi))
                return Fail(error, "device-mode record of a wrong size", at);
            contents->devmodes.push_back(std::move(ansi));
        }
        at += kSpoolRecordHeadSize + dataSize;
    }
    return true;
}

} // namespace

bool ReadSpoolFile(const uint8_t* data, size_t size, SpoolerKind kind,
                   const std::vector<uint8_t>& firstDevmode, uint32_t pageCount,
                   SpoolContents* contents, std::string* error) {
    *contents = SpoolContents{};
    if (WalkSpoolFile(data, size, kind, firstDevmode, pageCount, contents, error)) return true;
    *contents = SpoolContents{}; // a broken file gives no pages at all
    return false;
}

bool PageRecordBits(const uint8_t* data, size_t size, size_t offset, const uint8_t** bits,
                    size_t* bitsSize, std::string* error) {
    if (offset > size || size - offset < kSpoolRecordHeadSize)
        return Fail(error, "page record outside the file", offset);
    size_t dataSize = U32(data + offset + 4);
    if (dataSize == 0 || dataSize > size - offset - kSpoolRecordHeadSize)
        return Fail(error, "page record size zero or past the end of the file", offset);
    *bits = data + offset + kSpoolRecordHeadSize;
    *bitsSize = dataSize;
    return true;
}

bool ReadWin9xSpoolFile(const uint8_t* data, size_t size, uint32_t pageLimit,
                        Win9xContents* contents, std::string* error) {
    *contents = Win9xContents{};
    if (!data || size < kHeadSize) return Fail(error, "file shorter than its head", 0);
    contents->pageCount = U32(data);
    size_t at = kHeadSize;
    while (at < size) {
        if (size - at < kRecordHead) return Fail(error, "record head cut off", at);
        const uint32_t type = U32(data + at), recordSize = U32(data + at + 4);
        if (recordSize < kRecordHead || recordSize > size - at)
            return Fail(error, "record size outside the file", at);
        const uint8_t* body = data + at + kRecordHead;
        const size_t bodySize = recordSize - kRecordHead;
        switch (type) {
        case spoolpkg::kRecordDevmode: {
            if (bodySize < kAnsiExtraAt + 2) return Fail(error, "device mode cut off", at);
            const size_t standard = U16(body + kAnsiSizeAt), extra = U16(body + kAnsiExtraAt);
            if (standard < kAnsiStandardMin || standard + extra > bodySize)
                return Fail(error, "device mode of a wrong size", at);
            contents->devmodes.emplace_back(body, body + standard + extra);
            break;
        }
        case spoolpkg::kRecordNames: {
            if (recordSize < kNamesHead) return Fail(error, "names record cut off", at);
            const size_t printer = U32(data + at + 8), document = U32(data + at + 12);
            if (!TextAt(data + at, printer, recordSize, &contents->printerName) ||
                !TextAt(data + at, document, recordSize, &contents->documentName))
                return Fail(error, "name outside its record", at);
            contents->haveNames = true;
            break;
        }
        case spoolpkg::kRecordPage: {
            std::string path;
            if (!TextAt(body, 0, bodySize, &path) || path.empty() || path.size() >= kMaxPath)
                return Fail(error, "page path empty, too long or not terminated", at);
            if (contents->devmodes.empty()) return Fail(error, "page before any device mode", at);
            contents->pages.push_back({std::move(path), contents->devmodes.size() - 1});
            break;
        }
        case spoolpkg::kRecordEndOfJob:
            return true;
        default: // start and end of page, and records of no use here
            break;
        }
        if (pageLimit && contents->pages.size() >= pageLimit) return true;
        at += recordSize;
    }
    return true;
}

} // namespace metaweave

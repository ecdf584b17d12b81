#include "win9x_spool.h"

#include <cstring>

#include "package_format.h"
#include "win/devmode_private.h"

namespace metaweave {
namespace {

constexpr size_t kHeadSize = 8, kRecordHead = 8;
// ANSI device mode: dmSize and dmDriverExtra, and the smallest standard part.
constexpr size_t kAnsiSizeAt = 36, kAnsiExtraAt = 38, kAnsiStandardMin = DEVMODEA_SIZE_320;
constexpr size_t kNamesHead = 20;
constexpr size_t kMaxPath = 260;

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

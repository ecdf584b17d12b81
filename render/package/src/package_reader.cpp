#include "package_reader.h"

#include <cstring>
#include <set>

namespace spoolpkg {
namespace {

uint32_t U32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool Fail(std::string* error, const std::string& text, size_t at) {
    if (error) *error = text + " at offset " + std::to_string(at);
    return false;
}

// A zero-terminated string wholly inside [at, end); false when it runs out.
bool StringAt(const uint8_t* data, size_t at, size_t end, std::string* out) {
    if (at >= end) return false;
    const void* nul = std::memchr(data + at, 0, end - at);
    if (!nul) return false;
    *out = std::string(reinterpret_cast<const char*>(data + at),
                       static_cast<const uint8_t*>(nul) - (data + at));
    return true;
}

bool ReadNames(const uint8_t* data, size_t at, size_t size, PackageIndex* index,
               std::string* error) {
    if (size < kNamesHeadSize) return Fail(error, "names record shorter than its head", at);
    const uint8_t* r = data + at;
    size_t printer = U32(r + 8), document = U32(r + 12), last = U32(r + 16);
    if (printer != kNamesHeadSize) return Fail(error, "printer name not after the names head", at);
    if (!(printer <= document && document <= last && last < size))
        return Fail(error, "names offsets out of order or outside the record", at);
    if (last + 1 != size)
        return Fail(error, "names record size does not end after its last string", at);
    std::string empty;
    if (!StringAt(data, at + printer, at + document, &index->printerName) ||
        index->printerName.size() + 1 != document - printer)
        return Fail(error, "printer name not terminated where the document name starts",
                    at + printer);
    if (!StringAt(data, at + document, at + last, &index->documentName) ||
        index->documentName.size() + 1 != last - document)
        return Fail(error, "document name not terminated where the last string starts",
                    at + document);
    if (r[last] != 0) return Fail(error, "final string not empty", at + last);
    return true;
}

} // namespace

const char* RecordTypeName(uint32_t type) {
    switch (type) {
    case kRecordDevmode:
        return "devmode";
    case kRecordNames:
        return "names";
    case kRecordPage:
        return "page";
    case kRecordEndOfPage:
        return "end of page";
    case kRecordEndOfJob:
        return "end of job";
    default:
        return "unknown";
    }
}

bool ReadPackageIndex(const uint8_t* data, size_t size, PackageIndex* index, std::string* error) {
    *index = PackageIndex{};
    if (!data || size < kIndexHeadSize) return Fail(error, "index shorter than its head", 0);
    index->pageCount = U32(data);
    if (U32(data + 4) != 0) return Fail(error, "second head word not zero", 4);
    size_t at = kIndexHeadSize;
    size_t pagesOpen = 0; // page records not yet closed by an end-of-page record
    while (at < size) {
        if (index->finished) return Fail(error, "bytes after the end-of-job record", at);
        if (size - at < kRecordHeadSize) return Fail(error, "record head cut off", at);
        uint32_t type = U32(data + at);
        uint32_t recordSize = U32(data + at + 4);
        if (recordSize < kRecordHeadSize || recordSize > size - at)
            return Fail(error, "record size outside the file", at);
        size_t n = index->records.size();
        if ((n == 0 && type != kRecordDevmode) || (n == 1 && type != kRecordNames))
            return Fail(error, "index does not open with a devmode and a names record", at);
        switch (type) {
        case kRecordDevmode:
            if (recordSize != kDevmodeRecordSize)
                return Fail(error, "devmode record of the wrong size", at);
            if (pagesOpen) return Fail(error, "devmode record inside a page", at);
            index->devmodes.emplace_back(data + at + kRecordHeadSize, data + at + recordSize);
            break;
        case kRecordNames:
            if (n != 1) return Fail(error, "second names record", at);
            if (!ReadNames(data, at, recordSize, index, error)) return false;
            break;
        case kRecordPage: {
            std::string path;
            if (!StringAt(data, at + kRecordHeadSize, at + recordSize, &path) ||
                path.size() + 9 != recordSize)
                return Fail(error, "page path not terminated at the record's end", at);
            if (path.empty() || path.size() >= kMaxPagePath)
                return Fail(error, "page path empty or too long", at);
            if (pagesOpen) return Fail(error, "page record before the last page ended", at);
            index->pagePaths.push_back(std::move(path));
            pagesOpen = 1;
            break;
        }
        case kRecordEndOfPage:
        case kRecordEndOfJob:
            if (recordSize != kRecordHeadSize) return Fail(error, "marker record with data", at);
            if (type == kRecordEndOfPage && !pagesOpen)
                return Fail(error, "end of page without a page", at);
            if (type == kRecordEndOfJob && pagesOpen)
                return Fail(error, "end of job inside a page", at);
            pagesOpen = 0;
            index->finished = type == kRecordEndOfJob;
            break;
        default:
            // Records of other kinds (a start of page, a later writer's
            // additions) are skipped by their size.
            break;
        }
        index->records.push_back({type, at, recordSize});
        at += recordSize;
    }
    if (index->records.size() < 2)
        return Fail(error, "index without its devmode and names records", at);
    // A finished job counts the pages it recorded (one for a first-page-only
    // job); a running one still holds zero.
    if (index->pageCount > index->pagePaths.size())
        return Fail(error, "page count larger than the pages recorded", 0);
    if (index->finished && index->pageCount == 0 && !index->pagePaths.empty())
        return Fail(error, "finished index with a page count of zero", 0);
    return true;
}

bool ReadFontList(const uint8_t* data, size_t size, std::vector<FontEntry>* fonts,
                  std::string* error) {
    fonts->clear();
    if (size % kFontRecordSize != 0)
        return Fail(error, "font list cut inside a record", size - size % kFontRecordSize);
    std::set<uint64_t> seen;
    for (size_t at = 0; at < size; at += kFontRecordSize) {
        FontEntry e;
        e.uniqueId = U32(data + at) | static_cast<uint64_t>(U32(data + at + 4)) << 32;
        for (size_t i = 0; i < kFaceNameChars; ++i) {
            char16_t c = static_cast<char16_t>(data[at + 8 + 2 * i] | data[at + 9 + 2 * i] << 8);
            if (!c) break;
            e.faceName += c;
        }
        if (e.faceName.size() == kFaceNameChars)
            return Fail(error, "face name without a terminator", at + 8);
        if (!seen.insert(e.uniqueId).second) return Fail(error, "font listed twice", at);
        fonts->push_back(std::move(e));
    }
    return true;
}

} // namespace spoolpkg

#include "model_file.h"
#include "format_versions.h"

#include <algorithm>

#include "entries.h"
#include "model/model_file_header.h"
#include "model/model_queries.h"
#include "win/errors.h"

namespace model {
namespace {

// Where a list code's entry count stands and where its first entry begins.
struct ListShape {
    std::uint32_t countAt;
    std::uint32_t firstAt;
    bool emptyAllowed; // a count of 0 or less yields no entries instead of 50
};

bool ListShapeOf(int code, unsigned v, ListShape* s) {
    switch (code) {
    case 7:
    case 18:
    case 26:
    case 27:
    case 32:
    case 33:
    case 37:
    case 43:
    case 69:
    case 70:
    case 76:
        *s = {0, 4, false};
        return true;
    case 20:
        *s = {0, 20, false};
        return true;
    case 22:
    case 24:
    case 34:
    case 42:
        *s = {0, 8, false};
        return true;
    case 25:
        *s = {24, 28, true};
        return true;
    case 35:
        *s = {4, 8, true};
        return true;
    case 36:
        *s = {20, 24, true};
        return true;
    case 39:
        *s = {8, 12, false};
        return true;
    case 41:
        *s = {0, 12, false};
        return true;
    case 46:
        *s = {4, 8, true};
        return true;
    case 47:
        *s = {0, v < kFormat300 ? 8u : 12u, false};
        return true;
    case 51:
        if (v < kFormat281) return false;
        *s = {8, 12, false};
        return true;
    case 53:
        if (v < kFormat275) return false;
        *s = {8, 12, false};
        return true;
    case 65:
        if (v < kFormat301) return false;
        *s = {8, 12, false};
        return true;
    default:
        if (code >= 80 && code <= 95) {
            *s = {0, 4, false};
            return true;
        }
        return false;
    }
}

bool IsStringCode(int code) {
    return (code >= 1 && code <= 6) || code == 10 || code == 11 || (code >= 14 && code <= 17);
}

// Walks every entry once so that a record whose entries run past the file is
// refused before anything is answered.
void CheckWalk(const ModelFile& f, const ModelCursor& c) {
    ModelCursor walk = c;
    std::uint64_t prev = walk.current;
    while (walk.current) {
        std::uint64_t end = EntryEnd(f, walk, walk.current);
        if (end <= prev) throw Malformed{};
        prev = end;
        if (!NextModelEntry(f, &walk)) break;
    }
}

} // namespace

std::uint32_t ModelFile::StringLength(std::uint64_t off) const {
    Need(off, 1);
    const void* nul = std::memchr(base_ + off, 0, size_ - off);
    if (!nul) throw Malformed{};
    return static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(nul) - (base_ + off));
}

DWORD OpenModelFile(const void* data, ModelFile* file) {
    if (!data) return ERROR_INVALID_DATA;
    const auto* p = static_cast<const std::uint8_t*>(data);
    // The block's own stated size is all the caller gives of its length; it
    // is read only behind the magic.
    if (std::memcmp(p, kModelDataMagic, sizeof kModelDataMagic) != 0) return ERROR_INVALID_DATA;
    std::uint32_t size;
    std::memcpy(&size, p + kModelDataSizeOffset, 4);
    if (!IsModelDataHeader(p, size) || size < kHeaderSize) return ERROR_INVALID_DATA;
    *file = ModelFile(p, size);
    unsigned format = file->Format();
    if (format < kFirstFormat || format > kLastFormat) return ERROR_INVALID_DATA;
    return 0;
}

DWORD FindModelRecord(const ModelFile& f, int code, std::uint32_t* record) {
    if (code <= 0) return ERROR_NOT_SUPPORTED;
    std::uint64_t slot = std::uint64_t{f.U32(12)} + 4ull * static_cast<unsigned>(code) - 4;
    if (slot >= f.U32(8)) return ERROR_NOT_SUPPORTED;
    if (!f.Has(slot, 4)) return ERROR_INVALID_DATA;
    std::uint32_t off = f.U32(slot);
    if (off == 0) return ERROR_NOT_SUPPORTED;
    if (off >= f.size()) return ERROR_INVALID_DATA;
    *record = off;
    return 0;
}

std::uint64_t RecordEnd(const ModelFile& f, std::uint64_t record) {
    std::uint64_t end = f.size();
    const std::uint64_t tableStart = f.U32(12), tableEnd = f.U32(8);
    if (tableStart > record) end = std::min(end, tableStart);
    // Every fixed answer walks the whole table here, so the slots that lie whole
    // inside the file are read straight, without a check of each.
    const std::uint64_t last = std::min<std::uint64_t>(tableEnd, f.size());
    if (tableStart >= last || record >= end) return end;
    const std::uint8_t* slots = f.base() + tableStart;
    const std::uint64_t count = (last - tableStart) / 4;
    const auto after = static_cast<std::uint32_t>(record); // record < end <= the file's u32 size
    auto nearest = static_cast<std::uint32_t>(end);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint32_t other;
        std::memcpy(&other, slots + 4 * i, 4);
        if (other > after && other < nearest) nearest = other;
    }
    return nearest;
}

DWORD LocateModelRecord(const ModelFile& f, int code, ModelCursor* c) {
    std::int16_t selector = c->selector;
    *c = ModelCursor{};
    c->selector = selector;
    std::uint32_t record;
    if (DWORD r = FindModelRecord(f, code, &record)) return r;
    c->version = f.VersionWord();
    c->code = static_cast<std::int16_t>(code);
    c->record = record;
    unsigned v = c->Format();

    if (IsStringCode(code)) {
        std::uint64_t str = record;
        if (code == 14 && selector == 2) {
            if (v < kFormat301) return ERROR_NOT_SUPPORTED;
            std::uint64_t second = record + std::uint64_t{f.U32(record)};
            if (f.U32(second + 4) == 0) return ERROR_NOT_SUPPORTED;
            str = second + 8;
        } else if (code == 14 && (selector < 0 || selector > 2)) {
            return ERROR_NOT_SUPPORTED;
        } else if (code >= 10) {
            if (f.U32(record) == 0) return ERROR_NOT_SUPPORTED;
            str = record + 4;
        }
        f.StringLength(str);
        c->current = str;
        c->count = 1;
        return 0;
    }

    if (code == 71) {
        if (v < kFormat278) return 0; // a single fixed record
        std::uint64_t countAt, first;
        if (selector == 1) {
            countAt = record + 8;
            first = record + 16;
        } else if (selector == 2) {
            std::uint64_t groups = f.U32(record + 8);
            countAt = record + 12;
            first = record + 16;
            for (std::uint64_t i = 0; i < groups; ++i) {
                std::uint64_t next = PortGroupEnd(f, first);
                first = next;
            }
        } else {
            return 0;
        }
        std::int32_t n = f.I32(countAt);
        if (n <= 0) return ERROR_NOT_SUPPORTED;
        c->current = first;
        c->remaining = n - 1;
        c->count = n;
        CheckWalk(f, *c);
        return 0;
    }

    ListShape shape;
    if (!ListShapeOf(code, v, &shape)) return 0; // a single fixed record: no entries
    std::int32_t n = f.I32(record + shape.countAt);
    if (n <= 0) {
        if (shape.emptyAllowed) return 0;
        return ERROR_NOT_SUPPORTED;
    }
    if (code == 25 && v < kFormat267) return 0; // no usable list before 267
    c->current = record + shape.firstAt;
    c->remaining = n - 1;
    c->count = n;
    CheckWalk(f, *c);
    return 0;
}

std::uint64_t NextModelEntry(const ModelFile& f, ModelCursor* c) {
    if (!c) return 0;
    if (c->remaining <= 0 || !c->current) {
        c->current = 0;
        return 0;
    }
    if (c->code == 25 && c->Format() < kFormat267) {
        c->current = 0;
        c->remaining = 0;
        return 0;
    }
    c->current = EntryEnd(f, *c, c->current);
    c->remaining -= 1;
    return c->current;
}

std::uint64_t EntryEnd(const ModelFile& f, const ModelCursor& c, std::uint64_t e) {
    unsigned v = c.Format();
    std::uint64_t end = 0;
    switch (c.code) {
    case 7:
        end = e + 24;
        break;
    case 18:
        end = e + 8 + std::uint64_t{f.U32(e + 4)};
        break;
    case 20:
        end = ParseTableEntry(f, TableKind::Paper, v, e).end;
        break;
    case 22:
        end = ParseTableEntry(f, TableKind::Media, v, e).end;
        break;
    case 24:
        end = ParseTableEntry(f, TableKind::Tray, v, e).end;
        break;
    case 25:
        end = e + (v < kFormat273 ? 80 : v < kFormat298 ? 84 : 88);
        break;
    case 26:
        end = ParseFeederEntry(f, v, e).end;
        break;
    case 27:
        end = ParseFinisherEntry(f, v, e).end;
        break;
    case 32:
    case 51:
        end = e + 20;
        break;
    case 33:
    case 35:
    case 36:
        end = e + 16;
        break;
    case 34:
        end = v < kFormat283 ? e + 20 : ParseBinEntry(f, v, e).end;
        break;
    case 37:
        end = e + 4 + 4 * std::uint64_t{f.U32(e)};
        break;
    case 39:
        end = e + (v < kFormat288 ? 104 : 168);
        break;
    case 41:
        end = e + 12;
        break;
    case 42:
        end = ParseQualityEntry(f, v, e).end;
        break;
    case 43: {
        std::uint64_t w = f.U32(e + 4), h = f.U32(e + 8);
        if (w && h > f.size() / w) throw Malformed{};
        end = e + 16 + ((w * h + 3) & ~std::uint64_t{3});
        break;
    }
    case 46:
        end = e + 4;
        break;
    case 47:
        end = e + (v < kFormat269 ? 4 : v < kFormat274 ? 12 : v < kFormat280 ? 16 : 20);
        break;
    case 53:
        end = e + 48;
        break;
    case 65:
        end = PjlEntryEnd(f, e);
        break;
    case 69:
        end = e + 264;
        break;
    case 70:
    case 76:
        end = e + 8;
        break;
    case 71:
        end = PortGroupEnd(f, e);
        break;
    case 95:
        end = e + 8 + 4 * std::uint64_t{f.U32(e + 4)};
        break;
    default:
        if (c.code >= 80 && c.code <= 94) {
            end = e + 4;
            break;
        }
        throw Malformed{};
    }
    f.Need(end, 0);
    if (end <= e) throw Malformed{};
    return end;
}

} // namespace model

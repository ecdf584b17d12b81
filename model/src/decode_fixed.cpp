// Codes whose record is one fixed record (and 51, 53, 65 in the files older
// than their lists).
#include "model/fixed_layouts.h"
#include "query.h"

#include <algorithm>
#include <cstring>

namespace model {

DWORD AnswerFixed(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const FixedLayout* layout = FindFixedLayout(q.code, q.layout);
    if (!layout || c.Format() < layout->since) return NoLayout(q);
    const ModelFile& f = q.f;
    const std::uint64_t have = RecordEnd(f, c.record) - c.record;
    if (!layout->narrows) {
        // The record's leading bytes; what lies past its end answers zero.
        const std::uint64_t n = std::min<std::uint64_t>(have, layout->size);
        const std::uint8_t* bytes = f.Bytes(c.record, n);
        return SingleAnswer(q, layout->size, [&](std::uint8_t* a) { std::memcpy(a, bytes, n); });
    }
    FixedField fields[kMaxFixedFields];
    std::size_t n = FixedFieldsInto(*layout, fields, kMaxFixedFields);
    return SingleAnswer(q, layout->size, [&](std::uint8_t* a) {
        for (std::size_t i = 0; i < n; ++i) {
            const FixedField& fd = fields[i];
            if (fd.record + std::uint64_t{kSlot} > have) continue; // past the record: zero
            std::uint32_t value = f.U32(c.record + fd.record);
            if (fd.kind == FieldKind::U32)
                PutU32(a, fd.offset, value);
            else
                PutI16(a, fd.offset, value);
        }
    });
}

} // namespace model

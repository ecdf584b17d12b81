// Codes whose record is one fixed record (and 51, 53, 65 in the files older
// than their lists).
#include "model/fixed_layouts.h"
#include "query.h"

namespace model {

DWORD AnswerFixed(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const FixedLayout* layout = FindFixedLayout(q.code, q.layout);
    if (!layout || c.Format() < layout->since) return NoLayout(q);
    const ModelFile& f = q.f;
    FixedField fields[kMaxFixedFields];
    std::size_t n = FixedFieldsInto(*layout, fields, kMaxFixedFields);
    f.Need(c.record, kSlot * FixedSlotCount(*layout));
    return SingleAnswer(q, layout->size, [&](std::uint8_t* a) {
        for (std::size_t i = 0; i < n; ++i) {
            const FixedField& fd = fields[i];
            std::uint64_t at = c.record + kSlot * fd.slot;
            switch (fd.kind) {
            case FieldKind::U32:
                PutU32(a, fd.offset, f.U32(at));
                break;
            case FieldKind::I16:
                PutI16(a, fd.offset, f.U32(at));
                break;
            case FieldKind::Text:
                PutText(a, fd.offset, fd.bytes, f, at, fd.bytes);
                break;
            }
        }
    });
}

} // namespace model

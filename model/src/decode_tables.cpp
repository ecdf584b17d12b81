// Papers (20), paper size limits (21, 75), media types (22), input trays (24)
// and the paper-feeder units with their trays (26).
#include "query.h"
#include "format_versions.h"

namespace model {
namespace {

std::int64_t Slot(const ModelFile& f, std::uint64_t base, unsigned slot) {
    return static_cast<std::int32_t>(f.U32(base + kSlot * slot));
}

// Copies min(count, cap) values of the counted list at `at` as i16.
std::uint32_t PutList(std::uint8_t* a, std::size_t countOff, std::size_t valuesOff, unsigned cap,
                      const ModelFile& f, std::uint64_t at) {
    std::uint32_t n = std::min<std::uint32_t>(f.U32(at), cap);
    if (countOff != SIZE_MAX) PutI16(a, countOff, n);
    for (std::uint32_t i = 0; i < n; ++i)
        PutI16(a, valuesOff + 2 * i, f.U32(at + 4 + 4 * i));
    return n;
}

// Dots to 0.1 mm with the model's dots-per-inch unit (0 when the unit is 0).
std::uint32_t DotsToTenthMm(std::int64_t dots, std::int64_t unit) {
    if (unit == 0) return 0;
    return static_cast<std::uint32_t>(dots * 254 / unit);
}

// The media-type record (22 layout 3) and the tray record (24 and 26 layout 3).
// `shift` is 1 for the trays of feeder units from 293, whose slot 2 is extra.
void PutMediaOrTrayRecord(std::uint8_t* a, const ModelFile& f, const TableEntry& t, unsigned shift,
                          unsigned secondCap) {
    std::uint64_t e = t.start;
    auto s = [&](unsigned slot) { return f.U32(e + kSlot * (slot >= 2 ? slot + shift : slot)); };
    PutI16(a, 0, s(0));
    PutI16(a, 2, s(1));
    PutU32(a, 4, s(2));
    PutU32(a, 8, s(3));
    PutU32(a, 12, s(4));
    PutU32(a, 16, s(5));
    PutU32(a, 20, s(7));
    PutU32(a, 24, s(6));
    PutI16(a, 32, s(8));
    PutList(a, 34, 40, 64, f, t.list1);
    PutI16(a, 36, f.U32(t.tied));
    PutList(a, 38, 168, secondCap, f, t.list2);
}

// Extension answers shared by the table codes.
void PutName(std::uint8_t* a, const ModelFile& f, const TableEntry& t) {
    PutI16(a, 0, f.U32(t.ext));
    PutI16(a, 2, f.U32(t.ext + 4));
    PutText(a, 4, 32, f, t.ext + 8, 32);
}
void PutTwoNames(std::uint8_t* a, const ModelFile& f, const TableEntry& t) {
    PutName(a, f, t);
    if (t.name2) PutText(a, 36, 32, f, t.ext + 40, 32);
}
void PutOptionCodes(std::uint8_t* a, const ModelFile& f, const TableEntry& t, std::uint32_t id) {
    PutI16(a, 0, id);
    PutList(a, 2, 8, 4, f, t.options);
}
void PutLinks(std::uint8_t* a, const ModelFile& f, const TableEntry& t, std::uint32_t id,
              std::uint32_t tied1, std::uint32_t tied2) {
    PutI16(a, 0, id);
    PutI16(a, 2, tied1);
    PutI16(a, 4, tied2);
    for (int i = 0; i < 3; ++i)
        PutU32(a, 8 + 4 * i, f.U32(t.links + 4 * i));
}
void PutTexts(std::uint8_t* a, const ModelFile& f, const TableEntry& t, std::uint32_t id) {
    PutI16(a, 0, id);
    PutText(a, 8, 32, f, t.texts, 32);
    PutText(a, 40, 32, f, t.texts + 32, 32);
}

} // namespace

DWORD AnswerPapers(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    std::uint64_t rec = c.record;
    auto entry = [&](std::uint64_t e) { return ParseTableEntry(f, TableKind::Paper, v, e); };
    static constexpr unsigned kGate[] = {0, 0, 0, 0, 0, 0, 265, 267, 272, 282, 290};
    if (q.layout < 1 || q.layout > 10) return NoLayout(q);
    if (v < kGate[q.layout]) return NoLayout(q);
    switch (q.layout) {
    case 1: {
        std::uint32_t letter = f.U32(rec + 12), a4 = f.U32(rec + 8);
        return SingleAnswer(q, 4, [&](std::uint8_t* a) {
            PutI16(a, 0, letter);
            PutI16(a, 2, a4);
        });
    }
    case 2: {
        std::uint32_t unit = f.U32(rec + 16);
        return SingleAnswer(q, 2, [&](std::uint8_t* a) { PutI16(a, 0, unit); });
    }
    case 5: {
        std::uint32_t flags = f.U32(rec + 4);
        return SingleAnswer(q, 4, [&](std::uint8_t* a) { PutU32(a, 0, flags); });
    }
    case 3:
        return ListAnswer(q, c, 4, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
        });
    case 4: {
        std::int64_t unit = static_cast<std::int16_t>(f.U32(rec + 16));
        return ListAnswer(q, c, 160, [&](std::uint64_t e, std::uint8_t* a) {
            TableEntry t = entry(e);
            auto s = [&](unsigned slot) { return Slot(f, e, slot); };
            auto u = [&](unsigned slot) { return static_cast<std::uint32_t>(s(slot)); };
            std::int64_t printW = s(5) - 2 * s(7), printL = s(6) - 2 * s(8);
            std::int64_t turnedW = s(6) - 2 * s(11), turnedL = s(5) - 2 * s(12);
            PutI16(a, 0, u(0));
            PutI16(a, 2, u(1));
            PutI16(a, 4, u(2));
            PutI16(a, 8, u(3));
            PutI16(a, 10, u(4));
            PutI16(a, 12, u(5));
            PutI16(a, 14, u(6));
            PutI16(a, 16, DotsToTenthMm(printW, unit));
            PutI16(a, 18, DotsToTenthMm(printL, unit));
            PutI16(a, 20, static_cast<std::uint32_t>(printW));
            PutI16(a, 22, static_cast<std::uint32_t>(printL));
            for (unsigned i = 0; i < 4; ++i)
                PutI16(a, 24 + 2 * i, u(7 + i));
            PutI16(a, 32, u(4));
            PutI16(a, 34, u(3));
            PutI16(a, 36, u(6));
            PutI16(a, 38, u(5));
            PutI16(a, 40, DotsToTenthMm(turnedW, unit));
            PutI16(a, 42, DotsToTenthMm(turnedL, unit));
            PutI16(a, 44, static_cast<std::uint32_t>(turnedW));
            PutI16(a, 46, static_cast<std::uint32_t>(turnedL));
            for (unsigned i = 0; i < 4; ++i)
                PutI16(a, 48 + 2 * i, u(11 + i));
            PutU32(a, 56, u(15));
            PutU32(a, 60, u(16));
            PutU32(a, 64, u(17));
            PutU32(a, 68, u(19));
            PutU32(a, 72, u(18));
            PutU32(a, 76, u(20));
            PutI16(a, 80, u(21));
            PutList(a, 82, 88, 16, f, t.list1);
            PutI16(a, 84, f.U32(t.tied));
            PutList(a, 86, 120, 20, f, t.list2);
        });
    }
    case 6:
        return ListAnswer(q, c, 36,
                          [&](std::uint64_t e, std::uint8_t* a) { PutName(a, f, entry(e)); });
    case 7:
        return ListAnswer(q, c, 264, [&](std::uint64_t e, std::uint8_t* a) {
            TableEntry t = entry(e);
            std::uint32_t n = std::min<std::uint32_t>(f.U32(t.pairs), 64);
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, n);
            for (std::uint32_t i = 0; i < n; ++i) {
                PutI16(a, 8 + 2 * i, f.U32(t.pairs + 4 + 8 * i));
                PutI16(a, 136 + 2 * i, f.U32(t.pairs + 8 + 8 * i));
            }
        });
    case 8:
        return ListAnswer(q, c, 68,
                          [&](std::uint64_t e, std::uint8_t* a) { PutTwoNames(a, f, entry(e)); });
    case 9:
        return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
            PutOptionCodes(a, f, entry(e), f.U32(e));
        });
    case 10:
        return ListAnswer(q, c, 20, [&](std::uint64_t e, std::uint8_t* a) {
            TableEntry t = entry(e);
            PutLinks(a, f, t, f.U32(e), f.U32(e + kSlot * 21), f.U32(t.tied));
        });
    }
    return NoLayout(q);
}

DWORD AnswerPaperLimits(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    static constexpr unsigned kGate[] = {0, 0, 265, 272, 282, 288, 290};
    if (q.layout < 1 || q.layout > 6 || v < kGate[q.layout]) return NoLayout(q);
    TableEntry t = ParseTableEntry(f, TableKind::Limits, v, c.record);
    std::uint64_t rec = c.record;
    auto u = [&](unsigned slot) { return f.U32(rec + kSlot * slot); };
    switch (q.layout) {
    case 1:
        return SingleAnswer(q, 140, [&](std::uint8_t* a) {
            PutU32(a, 0, u(0));
            for (unsigned i = 0; i < 8; ++i)
                PutI16(a, 4 + 2 * i, u(1 + i));
            if (v >= kFormat264) {
                for (unsigned i = 0; i < 4; ++i)
                    PutI16(a, 20 + 2 * i, u(9 + i));
                for (unsigned i = 0; i < 4; ++i)
                    PutI16(a, 28 + 2 * i, u(13 + i));
                PutU32(a, 36, u(17));
                PutU32(a, 40, u(18));
                PutU32(a, 44, u(19));
                PutU32(a, 48, u(21));
                PutU32(a, 52, u(20));
                PutU32(a, 56, u(22));
                PutI16(a, 60, u(23));
                PutI16(a, 64, f.U32(t.tied));
            } else {
                PutI16(a, 24, u(9));
                PutI16(a, 26, u(10));
                PutI16(a, 32, u(11));
                PutI16(a, 34, u(12));
                PutU32(a, 36, u(13));
                PutU32(a, 40, u(14));
                PutU32(a, 44, u(15));
                PutU32(a, 48, u(17));
                PutU32(a, 52, u(16));
                PutU32(a, 56, u(18));
            }
            PutList(a, 62, 68, 16, f, t.list1);
            PutList(a, 66, 100, 20, f, t.list2);
        });
    case 2:
        return SingleAnswer(q, 36, [&](std::uint8_t* a) { PutName(a, f, t); });
    case 3:
        return SingleAnswer(q, 68, [&](std::uint8_t* a) { PutTwoNames(a, f, t); });
    case 4:
        return SingleAnswer(q, 16, [&](std::uint8_t* a) { PutList(a, 0, 8, 4, f, t.options); });
    case 5:
        return SingleAnswer(q, 8, [&](std::uint8_t* a) {
            PutU32(a, 0, u(0));
            PutU32(a, 4, f.U32(t.slot288));
        });
    case 6:
        return SingleAnswer(q, 16, [&](std::uint8_t* a) {
            PutI16(a, 0, u(23));
            PutI16(a, 2, f.U32(t.tied));
            for (int i = 0; i < 3; ++i)
                PutU32(a, 4 + 4 * i, f.U32(t.links + 4 * i));
        });
    }
    return NoLayout(q);
}

DWORD AnswerMediaTypes(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    static constexpr unsigned kGate[] = {0, 0, 0, 0, 265, 265, 282, 290, 298};
    if (q.layout < 1 || q.layout > 8 || v < kGate[q.layout]) return NoLayout(q);
    auto entry = [&](std::uint64_t e) { return ParseTableEntry(f, TableKind::Media, v, e); };
    switch (q.layout) {
    case 1:
        return ListAnswer(q, c, 4, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
        });
    case 2: {
        std::uint32_t def = f.U32(c.record + 4);
        return SingleAnswer(q, 2, [&](std::uint8_t* a) { PutI16(a, 0, def); });
    }
    case 3:
        return ListAnswer(q, c, 208, [&](std::uint64_t e, std::uint8_t* a) {
            PutMediaOrTrayRecord(a, f, entry(e), 0, 20);
        });
    case 4:
        return ListAnswer(q, c, 36,
                          [&](std::uint64_t e, std::uint8_t* a) { PutName(a, f, entry(e)); });
    case 5:
        return ListAnswer(q, c, 68,
                          [&](std::uint64_t e, std::uint8_t* a) { PutTwoNames(a, f, entry(e)); });
    case 6:
        return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
            PutOptionCodes(a, f, entry(e), f.U32(e));
        });
    case 7:
        return ListAnswer(q, c, 20, [&](std::uint64_t e, std::uint8_t* a) {
            TableEntry t = entry(e);
            PutLinks(a, f, t, f.U32(e), f.U32(e + kSlot * 8), f.U32(t.tied));
        });
    case 8: {
        // The word that follows the last entry.
        std::uint64_t end = c.record + 8;
        for (ModelCursor w = c; w.current; NextModelEntry(f, &w))
            end = EntryEnd(f, w, w.current);
        std::uint32_t word = f.U32(end);
        return SingleAnswer(q, 4, [&](std::uint8_t* a) { PutU32(a, 0, word); });
    }
    }
    return NoLayout(q);
}

DWORD AnswerTrays(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    static constexpr unsigned kGate[] = {0, 0, 0, 0, 265, 282, 290, 291};
    if (q.layout < 1 || q.layout > 7 || v < kGate[q.layout]) return NoLayout(q);
    auto entry = [&](std::uint64_t e) { return ParseTableEntry(f, TableKind::Tray, v, e); };
    switch (q.layout) {
    case 1:
        return ListAnswer(q, c, 4, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
        });
    case 2: {
        std::uint32_t def = f.U32(c.record + 4);
        return SingleAnswer(q, 2, [&](std::uint8_t* a) { PutI16(a, 0, def); });
    }
    case 3:
        return ListAnswer(q, c, 200, [&](std::uint64_t e, std::uint8_t* a) {
            PutMediaOrTrayRecord(a, f, entry(e), 0, 16);
        });
    case 4:
        return ListAnswer(q, c, 36,
                          [&](std::uint64_t e, std::uint8_t* a) { PutName(a, f, entry(e)); });
    case 5:
        return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
            PutOptionCodes(a, f, entry(e), f.U32(e));
        });
    case 6:
        return ListAnswer(q, c, 20, [&](std::uint64_t e, std::uint8_t* a) {
            TableEntry t = entry(e);
            PutLinks(a, f, t, f.U32(e), f.U32(e + kSlot * 8), f.U32(t.tied));
        });
    case 7:
        return ListAnswer(q, c, 72, [&](std::uint64_t e, std::uint8_t* a) {
            PutTexts(a, f, entry(e), f.U32(e));
        });
    }
    return NoLayout(q);
}

DWORD AnswerFeeders(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    static constexpr unsigned kGate[] = {0, 0, 0, 0, 265, 282, 290, 291, 293, 299};
    if (q.layout < 1 || q.layout > 9 || v < kGate[q.layout]) return NoLayout(q);
    switch (q.layout) {
    case 1:
        return ListAnswer(q, c, 4, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
        });
    case 2:
        return ListAnswer(q, c, 32, [&](std::uint64_t e, std::uint8_t* a) {
            FeederEntry fe = ParseFeederEntry(f, v, e);
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
            PutU32(a, 4, f.U32(e + 8));
            PutI16(a, 10, f.U32(e + 12));
            PutList(a, 12, 16, 4, f, fe.list);
            std::uint32_t n = std::min<std::uint32_t>(fe.trays, 4);
            PutI16(a, 14, n);
            std::uint64_t tray = fe.firstTray;
            for (std::uint32_t i = 0; i < n; ++i) {
                PutI16(a, 24 + 2 * i, f.U32(tray));
                tray = ParseTableEntry(f, TableKind::SubTray, v, tray).end;
            }
        });
    case 9:
        return ListAnswer(q, c, 40, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
            PutU32(a, 4, f.U32(e + 8));
            PutText(a, 8, 32, f, e + 16, 16);
        });
    default:
        break;
    }
    // Layouts 3 to 8 answer the trays of every unit; the index selects a tray.
    unsigned shift = v >= kFormat293 ? 1 : 0;
    int layout = q.layout;
    DWORD size = layout == 3   ? 200
                 : layout == 4 ? 36
                 : layout == 5 ? 16
                 : layout == 6 ? 20
                 : layout == 7 ? 72
                               : 8;
    return MultiAnswer(q, c, size, true, [&](std::uint64_t e, AnswerSink& sink) {
        FeederEntry fe = ParseFeederEntry(f, v, e);
        std::uint64_t tray = fe.firstTray;
        for (std::uint32_t i = 0; i < fe.trays; ++i) {
            TableEntry t = ParseTableEntry(f, TableKind::SubTray, v, tray);
            std::uint32_t id = f.U32(tray);
            if (std::uint8_t* a = sink.Add(static_cast<std::int16_t>(id))) {
                auto s = [&](unsigned slot) {
                    return f.U32(tray + kSlot * (slot >= 2 ? slot + shift : slot));
                };
                switch (layout) {
                case 3:
                    PutMediaOrTrayRecord(a, f, t, shift, 16);
                    break;
                case 4:
                    PutName(a, f, t);
                    break;
                case 5:
                    PutOptionCodes(a, f, t, id);
                    break;
                case 6:
                    PutLinks(a, f, t, id, s(8), f.U32(t.tied));
                    break;
                case 7:
                    PutTexts(a, f, t, id);
                    break;
                case 8:
                    PutI16(a, 0, id);
                    PutI16(a, 2, f.U32(e));
                    PutU32(a, 4, f.U32(tray + 8));
                    break;
                }
            }
            tray = t.end;
        }
    });
}

} // namespace model

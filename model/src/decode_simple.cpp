// Strings and the lists whose entries are small fixed records.
#include <unordered_map>
#include <utility>

#include "query.h"
#include "format_versions.h"

namespace model {

void PutText(std::uint8_t* a, std::size_t off, std::size_t fieldSize, const ModelFile& f,
             std::uint64_t src, std::uint64_t srcMax) {
    if (fieldSize == 0) return;
    std::uint64_t n = std::min<std::uint64_t>(srcMax, fieldSize - 1);
    const std::uint8_t* s = f.Bytes(src, n);
    const void* nul = std::memchr(s, 0, static_cast<std::size_t>(n));
    if (nul) n = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(nul) - s);
    std::memcpy(a + off, s, static_cast<std::size_t>(n));
    a[off + n] = 0;
}

DWORD AnswerString(const Query& q) {
    ModelCursor c;
    c.selector = static_cast<std::int16_t>(q.layout);
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    DWORD n = q.f.StringLength(c.current) + 1;
    DWORD result = 0;
    bool copied = false;
    if (q.out) {
        if (*q.length < n) {
            result = ERROR_INSUFFICIENT_BUFFER;
        } else {
            std::memcpy(q.out, q.f.Bytes(c.current, n), n);
            copied = true;
        }
    }
    *q.length = n;
    q.SetCount(copied ? 1 : 0);
    return result;
}

DWORD AnswerComponents(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (q.layout != 1) return NoLayout(q);
    return ListAnswer(q, c, 40, [&](std::uint64_t e, std::uint8_t* a) {
        PutI16(a, 0, q.f.U32(e));
        PutU32(a, 4, q.f.U32(e + 4));
        PutText(a, 8, 16, q.f, e + 8, 16);
    });
}

DWORD AnswerLinks(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (q.layout != 1) return NoLayout(q);
    return ListAnswer(q, c, 256, [&](std::uint64_t e, std::uint8_t* a) {
        PutI16(a, 0, q.f.U32(e));
        PutText(a, 2, 254, q.f, e + 8, q.f.U32(e + 4));
    });
}

DWORD AnswerInstallable(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    std::uint64_t rec = c.record;
    switch (q.layout) {
    case 1:
        f.Need(rec, 24);
        return SingleAnswer(q, 24, [&](std::uint8_t* a) { std::memcpy(a, f.Bytes(rec, 24), 24); });
    case 2:
        if (v < kFormat267) return NoLayout(q);
        return ListAnswer(q, c, 72, [&](std::uint64_t e, std::uint8_t* a) {
            for (int i = 0; i < 4; ++i)
                PutI16(a, 2 * i, f.U32(e + 4 * i));
            PutText(a, 8, 32, f, e + 16, 32);
            PutText(a, 40, 32, f, e + 48, 32);
        });
    case 3:
        if (v < kFormat273) return NoLayout(q);
        return ListAnswer(q, c, 6, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
            PutI16(a, 4, f.U32(e + 80));
        });
    case 4: {
        if (v < kFormat282) return NoLayout(q);
        // Four slots after the entry list: the duplex margins.
        std::uint64_t end = rec + 28;
        for (ModelCursor w = c; w.current; NextModelEntry(f, &w))
            end = EntryEnd(f, w, w.current);
        f.Need(end, 16);
        return SingleAnswer(q, 8, [&](std::uint8_t* a) {
            for (int i = 0; i < 4; ++i)
                PutI16(a, 2 * i, f.U32(end + 4 * i));
        });
    }
    case 5:
        if (v < kFormat298) return NoLayout(q);
        return ListAnswer(q, c, 8, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
            PutI16(a, 4, f.U32(e + 84));
        });
    default:
        return NoLayout(q);
    }
}

DWORD AnswerCode32(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (q.layout != 1) return NoLayout(q);
    return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
        PutI16(a, 0, q.f.U32(e));
        PutI16(a, 2, q.f.U32(e + 4));
        PutI16(a, 4, q.f.U32(e + 8));
        PutI16(a, 6, q.f.U32(e + 16));
        PutU32(a, 8, q.f.U32(e + 12));
    });
}

DWORD AnswerCode33(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (q.layout != 1) return NoLayout(q);
    return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
        PutI16(a, 0, q.f.U32(e));
        PutI16(a, 2, q.f.U32(e + 4));
        PutI16(a, 4, q.f.U32(e + 12));
        PutU32(a, 8, q.f.U32(e + 8));
    });
}

DWORD AnswerHardDisk(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    switch (q.layout) {
    case 1: {
        std::uint32_t v = f.U32(c.record);
        return SingleAnswer(q, 4, [&](std::uint8_t* a) { PutU32(a, 0, v); });
    }
    case 2:
        if (c.count <= 0) return NoLayout(q);
        return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
            PutU32(a, 4, f.U32(e + 12));
            PutU32(a, 8, f.U32(e + 8));
        });
    default:
        return NoLayout(q);
    }
}

DWORD AnswerMemory(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    switch (q.layout) {
    case 1:
        f.Need(c.record, 20);
        return SingleAnswer(q, 24,
                            [&](std::uint8_t* a) { std::memcpy(a, f.Bytes(c.record, 20), 20); });
    case 2:
        if (c.count <= 0) return NoLayout(q);
        return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
            PutU32(a, 4, f.U32(e + 8));
            PutU32(a, 8, f.U32(e + 12));
        });
    default:
        return NoLayout(q);
    }
}

DWORD AnswerFonts(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    std::uint64_t rec = c.record;
    auto byPosition = [&](DWORD size, auto emit) {
        int position = 0;
        return ListAnswer(q, c, size, emit, [&](std::uint64_t) { return ++position; });
    };
    switch (q.layout) {
    case 1:
        return SingleAnswer(q, 8, [&](std::uint8_t* a) {
            PutU32(a, 0, f.U32(rec));
            PutI16(a, 4, f.U32(rec + 4));
            PutI16(a, 6, f.U32(rec + 8));
        });
    case 2:
        return byPosition(104, [&](std::uint64_t e, std::uint8_t* a) {
            PutText(a, 0, 64, f, e, 64);
            PutText(a, 64, 32, f, e + 64, 32);
            PutU32(a, 96, f.U32(e + 96));
            PutU32(a, 100, f.U32(e + 100));
        });
    case 3: {
        if (v < kFormat282) return NoLayout(q);
        std::uint64_t end = rec + 12;
        for (ModelCursor w = c; w.current; NextModelEntry(f, &w))
            end = EntryEnd(f, w, w.current);
        std::uint32_t trailer = f.U32(end);
        return SingleAnswer(q, 12, [&](std::uint8_t* a) {
            PutU32(a, 0, f.U32(rec));
            PutI16(a, 4, f.U32(rec + 4));
            PutU32(a, 8, trailer);
        });
    }
    case 4:
        if (v < kFormat288) return NoLayout(q);
        return byPosition(104, [&](std::uint64_t e, std::uint8_t* a) {
            PutText(a, 0, 32, f, e + 64, 32);
            PutText(a, 32, 64, f, e + 104, 64);
            PutU32(a, 96, f.U32(e + 96));
            PutU32(a, 100, f.U32(e + 100));
        });
    default:
        return NoLayout(q);
    }
}

DWORD AnswerResolutions(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    switch (q.layout) {
    case 1: {
        std::int16_t def = static_cast<std::int16_t>(f.U32(c.record + 8));
        std::uint32_t x = 0, y = 0;
        ModelCursor w = c;
        for (std::uint64_t e = w.current; e; e = NextModelEntry(f, &w)) {
            if (EntryId(f, e) == def) {
                x = f.U32(e + 4);
                y = f.U32(e + 8);
                break;
            }
        }
        std::uint32_t s1 = f.U32(c.record + 4);
        return SingleAnswer(q, 16, [&](std::uint8_t* a) {
            PutI16(a, 0, static_cast<std::uint16_t>(def));
            PutU32(a, 4, s1);
            PutU32(a, 8, x);
            PutU32(a, 12, y);
        });
    }
    case 2:
        return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutU32(a, 4, f.U32(e + 4));
            PutU32(a, 8, f.U32(e + 8));
        });
    default:
        return NoLayout(q);
    }
}

DWORD AnswerQualities(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    switch (q.layout) {
    case 1: {
        // The resolutions of code 41 by identifier, looked up once per call.
        std::unordered_map<std::int16_t, std::pair<std::uint32_t, std::uint32_t>> resolutions;
        try {
            ModelCursor r41;
            if (LocateModelRecord(f, 41, &r41) == 0)
                for (std::uint64_t e = r41.current; e; e = NextModelEntry(f, &r41))
                    resolutions.emplace(EntryId(f, e), std::make_pair(f.U32(e + 4), f.U32(e + 8)));
        } catch (const Malformed&) {
            resolutions.clear(); // a broken table 41 reads as no resolutions
        }
        return ListAnswer(q, c, 32, [&](std::uint64_t e, std::uint8_t* a) {
            std::uint32_t x = 0, y = 0;
            auto it = resolutions.find(EntryId(f, e));
            if (it != resolutions.end()) {
                x = it->second.first;
                y = it->second.second;
            }
            if (v >= kFormat262 && f.U32(e + 28) && f.U32(e + 32)) {
                x = f.U32(e + 28);
                y = f.U32(e + 32);
            }
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
            PutU32(a, 4, x);
            PutU32(a, 8, y);
            PutU32(a, 12, f.U32(e + 12));
            PutU32(a, 16, f.U32(e + 16));
            PutU32(a, 20, f.U32(e + 20));
            PutU32(a, 24, f.U32(e + 8));
            PutU32(a, 28, f.U32(e + 24));
        });
    }
    case 2: {
        std::uint32_t def = f.U32(c.record + 4);
        return SingleAnswer(q, 2, [&](std::uint8_t* a) { PutI16(a, 0, def); });
    }
    case 3:
    case 4: {
        if (v < (q.layout == 3 ? 270u : 271u)) return NoLayout(q);
        std::uint64_t slot = q.layout == 3 ? 9 : 10;
        return ListAnswer(q, c, 4, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4 * slot));
        });
    }
    case 5:
        if (v < kFormat276) return NoLayout(q);
        return ListAnswer(q, c, 8, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 44));
            PutI16(a, 4, f.U32(e + 48));
        });
    case 6:
        if (v < kFormat282) return NoLayout(q);
        return ListAnswer(q, c, 208, [&](std::uint64_t e, std::uint8_t* a) {
            QualityEntry qe = ParseQualityEntry(f, v, e);
            PutI16(a, 0, f.U32(e));
            auto list = [&](std::uint64_t at, unsigned cap, std::size_t countOff,
                            std::size_t valuesOff) {
                std::uint32_t n = std::min<std::uint32_t>(f.U32(at), cap);
                PutI16(a, countOff, n);
                for (std::uint32_t i = 0; i < n; ++i)
                    PutI16(a, valuesOff + 2 * i, f.U32(at + 4 + 4 * i));
            };
            list(qe.list, 64, 2, 8);
            list(qe.list1, 16, 4, 136);
            list(qe.list2, 20, 6, 168);
        });
    default:
        return NoLayout(q);
    }
}

DWORD AnswerMatrices(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    switch (q.layout) {
    case 1:
        return ListAnswer(q, c, 4, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 12));
        });
    case 2:
        return ListAnswer(q, c, 4104, [&](std::uint64_t e, std::uint8_t* a) {
            std::uint64_t w = f.U32(e + 4), h = f.U32(e + 8);
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 12));
            PutI16(a, 4, static_cast<std::uint32_t>(w));
            PutI16(a, 6, static_cast<std::uint32_t>(h));
            std::uint64_t n = std::min<std::uint64_t>(w * h, 4096);
            std::memcpy(a + 8, f.Bytes(e + 16, n), static_cast<std::size_t>(n));
        });
    default:
        return NoLayout(q);
    }
}

DWORD AnswerCode46(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    switch (q.layout) {
    case 1: {
        std::uint32_t v = f.U32(c.record);
        return SingleAnswer(q, 4, [&](std::uint8_t* a) { PutU32(a, 0, v); });
    }
    case 2:
        return ListAnswer(q, c, 2,
                          [&](std::uint64_t e, std::uint8_t* a) { PutI16(a, 0, f.U32(e)); });
    case 3: {
        if (c.Format() < kFormat299) return NoLayout(q);
        // After the entries: a value and two texts.
        std::uint64_t end = c.record + 8;
        for (ModelCursor w = c; w.current; NextModelEntry(f, &w))
            end = EntryEnd(f, w, w.current);
        f.Need(end, 68);
        std::uint32_t s0 = f.U32(c.record);
        return SingleAnswer(q, 72, [&](std::uint8_t* a) {
            PutU32(a, 0, s0);
            PutU32(a, 4, f.U32(end));
            PutText(a, 8, 32, f, end + 4, 32);
            PutText(a, 40, 32, f, end + 36, 32);
        });
    }
    default:
        return NoLayout(q);
    }
}

DWORD AnswerHalftones(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    switch (q.layout) {
    case 1: {
        std::uint32_t x = f.U32(c.record + 4);
        return SingleAnswer(q, 2, [&](std::uint8_t* a) { PutI16(a, 0, x); });
    }
    case 2:
        return ListAnswer(q, c, 2, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(v >= kFormat269 ? e + 8 : e));
        });
    case 3:
        if (v < kFormat269) return NoLayout(q);
        return ListAnswer(q, c, 8, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
            PutI16(a, 4, f.U32(e + 8));
        });
    case 4:
        if (v < kFormat274) return NoLayout(q);
        return ListAnswer(q, c, 8, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutU32(a, 4, f.U32(e + 12));
        });
    case 5:
        if (v < kFormat280) return NoLayout(q);
        return ListAnswer(q, c, 8, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, f.U32(e));
            PutI16(a, 2, f.U32(e + 4));
            PutI16(a, 4, f.U32(e + 8));
            PutI16(a, 6, f.U32(e + 16));
        });
    case 6: {
        if (v < kFormat300) return NoLayout(q);
        std::uint32_t x = f.U32(c.record + 4), y = f.U32(c.record + 8);
        return SingleAnswer(q, 4, [&](std::uint8_t* a) {
            PutI16(a, 0, x);
            PutI16(a, 2, y);
        });
    }
    default:
        return NoLayout(q);
    }
}

DWORD AnswerModelNames(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (c.Format() < kFormat281) return AnswerFixed(q);
    const ModelFile& f = q.f;
    switch (q.layout) {
    case 1: {
        std::uint32_t s0 = f.U32(c.record);
        return SingleAnswer(q, 4, [&](std::uint8_t* a) { PutU32(a, 0, s0); });
    }
    case 2: {
        std::uint32_t s0 = f.U32(c.record), s1 = f.U32(c.record + 4);
        return SingleAnswer(q, 8, [&](std::uint8_t* a) {
            PutU32(a, 0, s0);
            PutU32(a, 4, s1);
        });
    }
    case 3: {
        int position = 0;
        return ListAnswer(
            q, c, 24,
            [&](std::uint64_t e, std::uint8_t* a) {
                PutU32(a, 0, f.U32(e));
                PutText(a, 8, 16, f, e + 4, 16);
            },
            [&](std::uint64_t) { return ++position; });
    }
    default:
        return NoLayout(q);
    }
}

DWORD AnswerJobSetup(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (c.Format() < kFormat275) return AnswerFixed(q);
    const ModelFile& f = q.f;
    switch (q.layout) {
    case 1: {
        std::uint32_t s0 = f.U32(c.record), s1 = f.U32(c.record + 4);
        return SingleAnswer(q, 8, [&](std::uint8_t* a) {
            PutU32(a, 0, s0);
            PutI16(a, 4, s1);
        });
    }
    case 2:
        return ListAnswer(q, c, 40, [&](std::uint64_t e, std::uint8_t* a) {
            for (int i = 0; i < 4; ++i)
                PutI16(a, 2 * i, f.U32(e + 4 * i));
            PutText(a, 8, 32, f, e + 16, 32);
        });
    default:
        return NoLayout(q);
    }
}

DWORD AnswerPjl(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (c.Format() < kFormat301) return AnswerFixed(q);
    const ModelFile& f = q.f;
    switch (q.layout) {
    case 1: {
        std::uint32_t s0 = f.U32(c.record);
        return SingleAnswer(q, 4, [&](std::uint8_t* a) { PutU32(a, 0, s0); });
    }
    case 2: {
        std::uint32_t s0 = f.U32(c.record), s1 = f.U32(c.record + 4);
        return SingleAnswer(q, 8, [&](std::uint8_t* a) {
            PutU32(a, 0, s0);
            PutU32(a, 4, s1);
        });
    }
    case 3:
        return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
            std::memcpy(a, f.Bytes(e, 16), 16);
        });
    case 4:
        return MultiAnswer(q, c, 64, false, [&](std::uint64_t e, AnswerSink& sink) {
            std::uint32_t id = f.U32(e);
            std::uint64_t k = f.U32(e + 16);
            std::uint64_t line = e + 20;
            for (std::uint64_t i = 0; i < k; ++i) {
                std::uint32_t len = f.U32(line + 4);
                if (std::uint8_t* a = sink.Add(0)) {
                    PutU32(a, 0, id);
                    PutU32(a, 4, f.U32(line));
                    // At most the field's 55 characters, always terminated.
                    PutText(a, 8, 56, f, line + 8, len);
                }
                line += 8 + std::uint64_t{len};
            }
        });
    default:
        return NoLayout(q);
    }
}

DWORD AnswerCode69(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (q.layout != 1) return NoLayout(q);
    return ListAnswer(q, c, 264, [&](std::uint64_t e, std::uint8_t* a) {
        PutI16(a, 0, q.f.U32(e));
        PutI16(a, 2, q.f.U32(e + 4));
        std::memcpy(a + 8, q.f.Bytes(e + 8, 256), 256);
    });
}

DWORD AnswerResourceIds(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (q.layout != 1) return NoLayout(q);
    return ListAnswer(q, c, 8, [&](std::uint64_t e, std::uint8_t* a) {
        PutI16(a, 0, q.f.U32(e));
        PutI16(a, 2, q.f.U32(e + 4));
    });
}

DWORD AnswerPorts(const Query& q) {
    ModelCursor c;
    // Layouts 2 and 3 walk the first list, 4 and 5 the second.
    c.selector = static_cast<std::int16_t>(q.layout == 2 || q.layout == 3   ? 1
                                           : q.layout == 4 || q.layout == 5 ? 2
                                                                            : q.layout);
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    if (c.Format() < kFormat278) return AnswerFixed(q);
    switch (q.layout) {
    case 1: {
        std::uint32_t s0 = f.U32(c.record), s1 = f.U32(c.record + 4);
        return SingleAnswer(q, 8, [&](std::uint8_t* a) {
            PutU32(a, 0, s0);
            PutU32(a, 4, s1);
        });
    }
    case 2:
    case 4:
        // One answer per item, selected by the item's own key.
        return MultiAnswer(q, c, 16, true, [&](std::uint64_t g, AnswerSink& sink) {
            std::uint64_t n = f.U32(g + 12);
            for (std::uint64_t i = 0; i < n; ++i) {
                std::uint64_t item = g + 16 + 8 * i;
                if (std::uint8_t* a = sink.Add(static_cast<std::int16_t>(f.U32(item)))) {
                    PutI16(a, 0, f.U32(item));
                    PutU32(a, 4, f.U32(item + 4));
                    PutI16(a, 8, 1);
                    PutI16(a, 10, f.U32(g + 4));
                    PutI16(a, 12, f.U32(g));
                }
            }
        });
    case 3:
    case 5: {
        unsigned cap = q.layout == 3 ? 64 : 8;
        return ListAnswer(q, c, 8 + 2 * cap, [&](std::uint64_t g, std::uint8_t* a) {
            std::uint32_t n = std::min<std::uint32_t>(f.U32(g + 12), cap);
            PutI16(a, 0, f.U32(g));
            PutI16(a, 2, f.U32(g + 4));
            PutI16(a, 4, f.U32(g + 8));
            PutI16(a, 6, n);
            for (std::uint32_t i = 0; i < n; ++i)
                PutI16(a, 8 + 2 * i, f.U32(g + 16 + 8 * i));
        });
    }
    default:
        return NoLayout(q);
    }
}

DWORD AnswerKeys(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (q.layout != 1) return NoLayout(q);
    return ListAnswer(
        q, c, 8,
        [&](std::uint64_t e, std::uint8_t* a) {
            PutU32(a, 0, q.f.U32(e));
            PutU32(a, 4, q.f.U32(e + 4));
        },
        [&](std::uint64_t e) { return EntryId(q.f, e); }, SizeRule::AlwaysCount);
}

DWORD AnswerIdLists(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (q.layout != 1) return NoLayout(q);
    return ListAnswer(
        q, c, 2, [&](std::uint64_t e, std::uint8_t* a) { PutI16(a, 0, q.f.U32(e)); },
        [&](std::uint64_t e) { return EntryId(q.f, e); }, SizeRule::AlwaysCount);
}

DWORD AnswerRulePairs(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    if (q.layout != 1) return NoLayout(q);
    return MultiAnswer(q, c, 4, false, [&](std::uint64_t e, AnswerSink& sink) {
        std::uint32_t id = q.f.U32(e);
        std::uint64_t n = q.f.U32(e + 4);
        for (std::uint64_t i = 0; i < n; ++i) {
            if (std::uint8_t* a = sink.Add(0)) {
                PutI16(a, 0, id);
                PutI16(a, 2, q.f.U32(e + 8 + 4 * i));
            }
        }
    });
}

} // namespace model

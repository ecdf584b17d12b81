// Finishers with their punch, fold and staple items (27) and output bins (34).
#include "query.h"
#include "format_versions.h"

namespace model {
namespace {

struct ItemList {
    std::uint64_t def; // default slot
    std::uint32_t count;
    std::uint64_t first; // first item
};
ItemList ListAt(const ModelFile& f, std::uint64_t at) {
    return {at, f.U32(at + 4), at + 8};
}

// Visits every staple item of a finisher entry.
template <class Fn>
void ForEachStaple(const ModelFile& f, unsigned v, const FinisherEntry& fe, Fn fn) {
    if (fe.old) {
        std::uint32_t n = f.U32(fe.staple);
        for (std::uint32_t i = 0; i < n; ++i)
            fn(fe.staple + 4 + 16 * std::uint64_t{i}, StapleItem{});
        return;
    }
    ItemList l = ListAt(f, fe.staple);
    std::uint64_t pos = l.first;
    for (std::uint32_t i = 0; i < l.count; ++i) {
        StapleItem s = ParseStapleItem(f, v, pos);
        fn(pos, s);
        pos = s.end;
    }
}

template <class Fn>
void ForEachItem(const ModelFile& f, std::uint64_t listAt, unsigned slots, Fn fn) {
    ItemList l = ListAt(f, listAt);
    for (std::uint32_t i = 0; i < l.count; ++i)
        fn(l.first + kSlot * slots * std::uint64_t{i});
}

void PutCodes(std::uint8_t* a, std::size_t countOff, std::size_t codesOff, const ModelFile& f,
              std::uint64_t listAt, unsigned slots) {
    ItemList l = ListAt(f, listAt);
    std::uint32_t n = std::min<std::uint32_t>(l.count, 4);
    PutI16(a, countOff, n);
    for (std::uint32_t i = 0; i < n; ++i)
        PutI16(a, codesOff + 2 * i, f.U32(l.first + kSlot * slots * i));
}

} // namespace

namespace {

// Query 27 by theme: the answers per finisher entry, and those per staple,
// punch or fold item (or staple member) of every matching entry.
class Finishers {
  public:
    Finishers(const Query& query, const ModelCursor& cursor)
        : q(query), c(cursor), f(query.f), v(cursor.Format()), layout(query.layout) {}

    DWORD Answer() {
        if (layout == 1 || layout == 3 || layout == 11) return EntryAnswer();
        static constexpr DWORD kSize[] = {0,  24, 16, 88, 24, 24, 192, 24,
                                          24, 32, 32, 48, 48, 48, 48,  80};
        return MultiAnswer(q, c, kSize[layout], false, [&](std::uint64_t e, AnswerSink& sink) {
            FinisherEntry fe = fin(e);
            std::uint32_t eid = s(e, 0);
            switch (layout) {
            case 2:
                return StapleSummaries(fe, sink);
            case 4:
            case 10:
            case 12:
                return Punches(fe, eid, sink);
            case 5:
            case 13:
            case 15:
                return Folds(fe, eid, sink);
            default:
                return Staples(fe, eid, sink);
            }
        });
    }

  private:
    FinisherEntry fin(std::uint64_t e) const { return ParseFinisherEntry(f, v, e); }
    // Fixed words 6 and 7 stand at slots 2 and 3 before 284.
    std::uint32_t word67(std::uint64_t e, unsigned which) const {
        return f.U32(e + kSlot * (v < kFormat284 ? which - 4 : which));
    }
    std::uint32_t s(std::uint64_t base, unsigned slot) const { return f.U32(base + kSlot * slot); }

    // Layouts 1, 3 and 11: one answer per finisher entry.
    DWORD EntryAnswer() {
        switch (layout) {
        case 1:
            return ListAnswer(q, c, 24, [&](std::uint64_t e, std::uint8_t* a) {
                FinisherEntry fe = fin(e);
                PutI16(a, 0, s(e, 0));
                PutI16(a, 2, s(e, 1));
                PutU32(a, 4, word67(e, 6));
                PutU32(a, 8, word67(e, 7));
                std::uint32_t n = 0;
                ForEachStaple(f, v, fe, [&](std::uint64_t item, const StapleItem&) {
                    if (n < 4) PutI16(a, 14 + 2 * n, s(item, 0));
                    ++n;
                });
                PutI16(a, 12, std::min<std::uint32_t>(n, 4));
            });
        case 3:
            return ListAnswer(q, c, 88, [&](std::uint64_t e, std::uint8_t* a) {
                FinisherEntry fe = fin(e);
                PutI16(a, 0, s(e, 0));
                PutI16(a, 2, s(e, 1));
                if (v >= kFormat284) PutText(a, 8, 16, f, e + kSlot * 2, 16);
                PutU32(a, 40, word67(e, 6));
                PutU32(a, 44, word67(e, 7));
                PutI16(a, 48, f.U32(fe.punch));
                PutI16(a, 50, f.U32(fe.fold));
                PutCodes(a, 52, 64, f, fe.punch, fe.punchSlots);
                PutCodes(a, 54, 72, f, fe.fold, fe.foldSlots);
                PutI16(a, 56, f.U32(fe.staple));
                std::uint32_t n = 0;
                ForEachStaple(f, v, fe, [&](std::uint64_t item, const StapleItem&) {
                    if (n < 4) PutI16(a, 80 + 2 * n, s(item, 0));
                    ++n;
                });
                PutI16(a, 58, std::min<std::uint32_t>(n, 4));
            });
        case 11:
            return ListAnswer(q, c, 48, [&](std::uint64_t e, std::uint8_t* a) {
                PutI16(a, 0, s(e, 0));
                PutI16(a, 2, s(e, 1));
                PutU32(a, 4, s(e, 6));
                PutU32(a, 8, s(e, 8));
                PutI16(a, 12, s(e, 9));
                PutI16(a, 14, s(e, 10));
                PutText(a, 16, 32, f, e + kSlot * 11, 32);
            });
        default:
            return NoLayout(q);
        }
    }

    // Layout 2: a short answer per staple item.
    void StapleSummaries(const FinisherEntry& fe, AnswerSink& sink) {
        ForEachStaple(f, v, fe, [&](std::uint64_t item, const StapleItem& st) {
            std::uint8_t* a = sink.Add(0);
            if (!a) return;
            PutI16(a, 0, s(item, 0));
            PutI16(a, 2, s(item, 1));
            if (fe.old) {
                PutU32(a, 4, s(item, 2));
                PutU32(a, 8, s(item, 3));
            } else {
                PutU32(a, 4, s(st.trailing, 1));
                PutU32(a, 8, s(st.trailing, 2));
            }
        });
    }

    // Layouts 4, 10 and 12: the punch items.
    void Punches(const FinisherEntry& fe, std::uint32_t eid, AnswerSink& sink) {
        ForEachItem(f, fe.punch, fe.punchSlots, [&](std::uint64_t item) {
            std::uint8_t* a = sink.Add(0);
            if (!a) return;
            PutI16(a, 0, eid);
            PutI16(a, 2, s(item, 0));
            PutI16(a, 4, s(item, 1));
            if (layout == 4) {
                if (v >= kFormat284) PutU32(a, 8, s(item, 2));
                unsigned from = v >= kFormat293 ? 13 : 3;
                for (unsigned i = 0; i < 3; ++i)
                    PutU32(a, 12 + 4 * i, s(item, from + i));
            } else if (layout == 10) {
                PutU32(a, 8, s(item, 2));
                unsigned from = v >= kFormat293 ? 13 : 3;
                // The 7-slot items of 287 and 288 have no fifth value.
                unsigned values = (v < kFormat289) ? 4 : 5;
                for (unsigned i = 0; i < values; ++i)
                    PutU32(a, 12 + 4 * i, s(item, from + i));
            } else {
                PutU32(a, 8, s(item, 2));
                PutI16(a, 12, s(item, 3));
                PutI16(a, 14, s(item, 4));
                PutText(a, 16, 32, f, item + kSlot * 5, 32);
            }
        });
    }

    // Layouts 5, 13 and 15: the fold items.
    void Folds(const FinisherEntry& fe, std::uint32_t eid, AnswerSink& sink) {
        ForEachItem(f, fe.fold, fe.foldSlots, [&](std::uint64_t item) {
            std::uint8_t* a = sink.Add(0);
            if (!a) return;
            PutI16(a, 0, eid);
            PutI16(a, 2, s(item, 0));
            PutI16(a, 4, s(item, 1));
            if (layout == 5) {
                if (v >= kFormat284) PutU32(a, 8, s(item, 2));
                unsigned from = v == kFormat283 ? 2 : v < kFormat293 ? 3 : v < kFormat297 ? 13 : 21;
                PutU32(a, 12, s(item, from));
                PutU32(a, 16, s(item, from + 1));
            } else {
                PutU32(a, 8, s(item, 2));
                PutI16(a, 12, s(item, 3));
                PutI16(a, 14, s(item, 4));
                PutText(a, 16, 32, f, item + kSlot * 5, 32);
                if (layout == 15) PutText(a, 48, 32, f, item + kSlot * 13, 32);
            }
        });
    }

    // Layouts 6, 9 and 14 (staple items), 7 and 8 (their members).
    void Staples(const FinisherEntry& fe, std::uint32_t eid, AnswerSink& sink) {
        ForEachStaple(f, v, fe, [&](std::uint64_t item, const StapleItem& st) {
            unsigned customSlot = v == kFormat284 ? 2 : v < kFormat293 ? 3 : 13;
            unsigned longSlot = v == kFormat284 ? 3 : v < kFormat293 ? 7 : 17;
            auto flags = [&](std::uint8_t* a, std::size_t off) {
                if (v == kFormat283) return;
                PutI16(a, off, s(item, customSlot));
                PutI16(a, off + 2, s(item, longSlot));
            };
            if (layout == 7 || layout == 8) {
                std::uint64_t list = layout == 7 ? st.listA : st.listB;
                std::uint32_t n = f.U32(list);
                for (std::uint32_t i = 0; i < n; ++i) {
                    std::uint64_t m = list + 4 + kSlot * st.memberSlots * i;
                    std::uint8_t* a = sink.Add(0);
                    if (!a) continue;
                    PutI16(a, 0, eid);
                    PutI16(a, 4, s(item, 0));
                    PutI16(a, 6, s(m, 0));
                    if (st.memberSlots == 4)
                        for (unsigned k = 0; k < 3; ++k)
                            PutU32(a, 8 + 4 * k, s(m, 1 + k));
                }
                return;
            }
            std::uint8_t* a = sink.Add(0);
            if (!a) return;
            PutI16(a, 0, eid);
            if (layout == 6) {
                PutI16(a, 4, s(item, 0));
                PutI16(a, 6, s(item, 1));
                if (v >= kFormat285) PutU32(a, 8, s(item, 2));
                for (unsigned k = 0; k < 3; ++k)
                    PutU32(a, 12 + 4 * k, s(st.trailing, k));
                flags(a, 24);
                std::uint32_t na = f.U32(st.listA), nb = f.U32(st.listB);
                std::uint32_t ca = std::min<std::uint32_t>(na, 64),
                              cb = std::min<std::uint32_t>(nb, 16);
                PutI16(a, 28, ca);
                PutI16(a, 30, cb);
                for (std::uint32_t i = 0; i < ca; ++i)
                    PutI16(a, 32 + 2 * i, s(st.listA + 4 + kSlot * st.memberSlots * i, 0));
                for (std::uint32_t i = 0; i < cb; ++i)
                    PutI16(a, 160 + 2 * i, s(st.listB + 4 + kSlot * st.memberSlots * i, 0));
            } else if (layout == 9) {
                PutI16(a, 2, s(item, 0));
                flags(a, 4);
                static constexpr unsigned kOld[] = {4, 5, 6, 8, 9, 10},
                                          kNew[] = {14, 15, 16, 18, 19, 20};
                for (unsigned k = 0; k < 6; ++k)
                    PutU32(a, 8 + 4 * k, s(item, v >= kFormat293 ? kNew[k] : kOld[k]));
            } else {
                PutI16(a, 4, s(item, 0));
                PutI16(a, 6, s(item, 1));
                PutU32(a, 8, s(item, 2));
                PutI16(a, 12, s(item, 3));
                PutI16(a, 14, s(item, 4));
                PutText(a, 16, 32, f, item + kSlot * 5, 32);
            }
        });
    }

    const Query& q;
    const ModelCursor& c;
    const ModelFile& f;
    const unsigned v;
    const int layout;
};

} // namespace

DWORD AnswerFinishers(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    static constexpr unsigned kGate[] = {0,          0,          0,          kFormat283,
                                         kFormat283, kFormat283, kFormat283, kFormat283,
                                         kFormat283, kFormat285, kFormat287, kFormat293,
                                         kFormat293, kFormat293, kFormat293, kFormat297};
    if (q.layout < 1 || q.layout > 15 || c.Format() < kGate[q.layout]) return NoLayout(q);
    return Finishers(q, c).Answer();
}

DWORD AnswerBins(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    unsigned v = c.Format();
    static constexpr unsigned kGate[] = {0,          0,          0,          kFormat283, kFormat283,
                                         kFormat283, kFormat285, kFormat293, kFormat299};
    if (q.layout < 1 || q.layout > 8 || v < kGate[q.layout]) return NoLayout(q);
    auto s = [&](std::uint64_t base, unsigned slot) { return f.U32(base + kSlot * slot); };
    auto bin = [&](std::uint64_t e) { return ParseBinEntry(f, v, e); };
    switch (q.layout) {
    case 1: {
        std::uint32_t x = f.U32(c.record + 4);
        return SingleAnswer(q, 2, [&](std::uint8_t* a) { PutI16(a, 0, x); });
    }
    case 2:
        return ListAnswer(q, c, 16, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, s(e, 0));
            PutI16(a, 2, s(e, 1));
            PutU32(a, 4, s(e, 2));
            if (v < kFormat283) {
                PutU32(a, 8, s(e, 3));
                PutU32(a, 12, s(e, 4));
            } else {
                StapleItem b = bin(e);
                PutU32(a, 8, s(b.trailing, 1));
                PutU32(a, 12, s(b.trailing, 2));
            }
        });
    case 3:
        return ListAnswer(q, c, 192, [&](std::uint64_t e, std::uint8_t* a) {
            StapleItem b = bin(e);
            PutI16(a, 4, s(e, 0));
            PutI16(a, 6, s(e, 1));
            PutU32(a, 8, s(e, 2));
            for (unsigned k = 0; k < 3; ++k)
                PutU32(a, 12 + 4 * k, s(b.trailing, k));
            if (v >= kFormat285) {
                PutI16(a, 24, s(e, v >= kFormat293 ? 13 : 3));
                PutI16(a, 26, s(e, v >= kFormat293 ? 17 : 7));
            }
            std::uint32_t ca = std::min<std::uint32_t>(f.U32(b.listA), 64);
            std::uint32_t cb = std::min<std::uint32_t>(f.U32(b.listB), 16);
            PutI16(a, 28, ca);
            PutI16(a, 30, cb);
            for (std::uint32_t i = 0; i < ca; ++i)
                PutI16(a, 32 + 2 * i, s(b.listA + 4 + 16 * std::uint64_t{i}, 0));
            for (std::uint32_t i = 0; i < cb; ++i)
                PutI16(a, 160 + 2 * i, s(b.listB + 4 + 16 * std::uint64_t{i}, 0));
        });
    case 4:
    case 5: {
        bool listA = q.layout == 4;
        return MultiAnswer(q, c, 24, false, [&](std::uint64_t e, AnswerSink& sink) {
            StapleItem b = bin(e);
            std::uint64_t list = listA ? b.listA : b.listB;
            std::uint32_t n = f.U32(list);
            if (!listA) n = std::min<std::uint32_t>(n, 16);
            for (std::uint32_t i = 0; i < n; ++i) {
                std::uint64_t m = list + 4 + 16 * std::uint64_t{i};
                std::uint8_t* a = sink.Add(0);
                if (!a) continue;
                PutI16(a, 4, s(e, 0));
                PutI16(a, 6, s(m, 0));
                for (unsigned k = 0; k < 3; ++k)
                    PutU32(a, 8 + 4 * k, s(m, 1 + k));
            }
        });
    }
    case 6:
        return ListAnswer(q, c, 32, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 2, s(e, 0));
            static constexpr unsigned kOld[] = {3, 7, 4, 5, 6, 8, 9, 10},
                                      kNew[] = {13, 17, 14, 15, 16, 18, 19, 20};
            const unsigned* map = v >= kFormat293 ? kNew : kOld;
            PutI16(a, 4, s(e, map[0]));
            PutI16(a, 6, s(e, map[1]));
            for (unsigned k = 0; k < 6; ++k)
                PutU32(a, 8 + 4 * k, s(e, map[2 + k]));
        });
    case 7:
        return ListAnswer(q, c, 48, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 4, s(e, 0));
            PutI16(a, 6, s(e, 1));
            PutU32(a, 8, s(e, 2));
            PutI16(a, 12, s(e, 3));
            PutI16(a, 14, s(e, 4));
            PutText(a, 16, 32, f, e + kSlot * 5, 32);
        });
    case 8:
        return ListAnswer(q, c, 40, [&](std::uint64_t e, std::uint8_t* a) {
            PutI16(a, 0, s(e, 0));
            PutI16(a, 2, s(e, 1));
            PutU32(a, 4, s(e, 2));
            PutText(a, 8, 32, f, e + kSlot * 21, 16);
        });
    }
    return NoLayout(q);
}

} // namespace model

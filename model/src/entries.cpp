#include "entries.h"
#include "format_versions.h"

namespace model {

unsigned TableFixedSlots(TableKind kind, unsigned format) {
    switch (kind) {
    case TableKind::Paper:
        return 22;
    case TableKind::Limits:
        return format >= kFormat264 ? 24 : 19;
    case TableKind::Media:
    case TableKind::Tray:
        return 9;
    case TableKind::SubTray:
        return format >= kFormat293 ? 10 : 9;
    }
    return 0;
}

TableEntry ParseTableEntry(const ModelFile& f, TableKind kind, unsigned v, std::uint64_t entry) {
    TableEntry e;
    e.start = entry;
    SlotWalker w(f, entry);
    w.Skip(TableFixedSlots(kind, v));
    e.list1 = w.SkipList();
    if (kind == TableKind::Limits && v < kFormat264) {
        // The older limits record: the second list follows the first directly.
        e.list2 = w.SkipList();
        e.end = w.pos();
        return e;
    }
    e.tied = w.pos();
    w.Skip(1);
    e.list2 = w.SkipList();
    if (v >= kFormat265) {
        e.ext = w.pos();
        bool twoNames = (kind == TableKind::Paper || kind == TableKind::Limits) ? v >= kFormat272
                        : kind == TableKind::Media                              ? v >= kFormat268
                                                                                : false;
        e.name2 = twoNames;
        w.Skip(twoNames ? 18 : 10);
    }
    if (kind == TableKind::Paper && v >= kFormat267) {
        e.pairs = w.pos();
        w.SkipList(2);
    }
    if (v >= kFormat282) e.options = w.SkipList();
    if (kind == TableKind::Limits && v >= kFormat288) {
        e.slot288 = w.pos();
        w.Skip(1);
    }
    if (v >= kFormat290) {
        e.links = w.pos();
        w.Skip(3);
    }
    if ((kind == TableKind::Tray || kind == TableKind::SubTray) && v >= kFormat291) {
        e.texts = w.pos();
        w.Skip(16);
    }
    e.end = w.pos();
    return e;
}

FeederEntry ParseFeederEntry(const ModelFile& f, unsigned v, std::uint64_t entry) {
    FeederEntry e;
    e.start = entry;
    SlotWalker w(f, entry);
    w.Skip(v >= kFormat299 ? 8 : 4);
    e.list = w.SkipList();
    e.trays = w.Read();
    w.Skip(1);
    e.firstTray = w.pos();
    std::uint64_t pos = w.pos();
    for (std::uint32_t i = 0; i < e.trays; ++i) {
        std::uint64_t next = ParseTableEntry(f, TableKind::SubTray, v, pos).end;
        if (next <= pos) throw Malformed{};
        pos = next;
    }
    e.end = pos;
    return e;
}

QualityEntry ParseQualityEntry(const ModelFile& f, unsigned v, std::uint64_t entry) {
    QualityEntry e;
    e.start = entry;
    e.fixedSlots = v < kFormat262    ? 7
                   : v < kFormat270  ? 9
                   : v == kFormat270 ? 10
                   : v < kFormat276  ? 11
                                     : 13;
    SlotWalker w(f, entry);
    w.Skip(e.fixedSlots);
    if (v >= kFormat282) {
        e.list = w.SkipList();
        e.list1 = w.SkipList();
        w.Skip(1);
        e.list2 = w.SkipList();
    }
    e.end = w.pos();
    return e;
}

StapleItem ParseStapleItem(const ModelFile& f, unsigned v, std::uint64_t item) {
    StapleItem s;
    s.start = item;
    SlotWalker w(f, item);
    if (v == kFormat283) {
        w.Skip(2);
        s.listA = w.SkipList(4);
        s.listB = w.SkipList(4);
    } else if (v == kFormat284) {
        s.memberSlots = 1;
        w.Skip(4);
        s.listA = w.SkipList(1);
        s.listB = w.SkipList(1);
    } else {
        w.Skip(v >= kFormat293 ? 21 : 11);
        s.listA = w.SkipList(4);
        s.listB = w.SkipList(4);
    }
    s.trailing = w.pos();
    w.Skip(3);
    s.end = w.pos();
    return s;
}

unsigned BinFixedSlots(unsigned v) {
    return v < kFormat285 ? 3 : v < kFormat293 ? 11 : v < kFormat299 ? 21 : 25;
}

StapleItem ParseBinEntry(const ModelFile& f, unsigned v, std::uint64_t entry) {
    StapleItem s;
    s.start = entry;
    SlotWalker w(f, entry);
    w.Skip(BinFixedSlots(v));
    s.listA = w.SkipList(4);
    s.listB = w.SkipList(4);
    s.trailing = w.pos();
    w.Skip(3);
    s.end = w.pos();
    return s;
}

FinisherEntry ParseFinisherEntry(const ModelFile& f, unsigned v, std::uint64_t entry) {
    FinisherEntry e;
    e.start = entry;
    SlotWalker w(f, entry);
    if (v < kFormat283) {
        // Fixed slots 0 to 3 and the staple items as a 4-list at slot 4.
        e.old = true;
        w.Skip(4);
        e.staple = w.pos();
        w.SkipList(4);
        e.end = w.pos();
        return e;
    }
    unsigned fixed = v == kFormat283 ? 4 : v < kFormat293 ? 8 : 19;
    e.punchSlots = v < kFormat287 ? 6 : v < kFormat289 ? 7 : v < kFormat293 ? 8 : 18;
    e.foldSlots = v == kFormat283 ? 4 : v < kFormat293 ? 5 : v < kFormat297 ? 15 : 23;
    w.Skip(fixed);
    e.punch = w.pos();
    w.Skip(1);
    w.SkipList(e.punchSlots);
    e.fold = w.pos();
    w.Skip(1);
    w.SkipList(e.foldSlots);
    if (v == kFormat284) {
        // A 4-list and a block {count c, 4c slots, six slots} that only 284 has.
        w.SkipList(4);
        std::uint64_t c = w.Read();
        w.Skip(1 + 4 * c + 6);
    }
    e.staple = w.pos();
    std::uint64_t k = w.ReadAt(1);
    w.Skip(2);
    std::uint64_t pos = w.pos();
    for (std::uint64_t i = 0; i < k; ++i) {
        std::uint64_t next = ParseStapleItem(f, v, pos).end;
        if (next <= pos) throw Malformed{};
        pos = next;
    }
    e.end = pos;
    return e;
}

std::uint64_t PortGroupEnd(const ModelFile& f, std::uint64_t group) {
    std::uint64_t c = f.U32(group + 12);
    std::uint64_t end = group + 16 + 8 * c;
    f.Need(end, 0);
    return end;
}

std::uint64_t PjlEntryEnd(const ModelFile& f, std::uint64_t entry) {
    std::uint64_t k = f.U32(entry + 16);
    std::uint64_t pos = entry + 20;
    for (std::uint64_t i = 0; i < k; ++i) {
        std::uint64_t len = f.U32(pos + 4);
        pos += 8 + len;
        f.Need(pos, 0);
    }
    return pos;
}

} // namespace model

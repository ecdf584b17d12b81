#include "model/model_queries.h"
#include "model_compiler.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "model/fixed_layouts.h"

namespace modelc {
namespace {

using nlohmann::json;

// ---------------------------------------------------------------- values

const json kNull = nullptr;

const json& At(const json& j, const char* key) {
    if (j.is_object()) {
        auto it = j.find(key);
        if (it != j.end()) return *it;
    }
    return kNull;
}

std::uint32_t Num(const json& j, const char* key, std::uint32_t def = 0) {
    const json& v = At(j, key);
    return v.is_null() ? def : Number(v);
}

std::string Str(const json& j, const char* key) {
    const json& v = At(j, key);
    if (v.is_null()) return {};
    if (!v.is_string()) throw CompileError(std::string("\"") + key + "\" must be a string");
    return v.get<std::string>();
}

std::vector<std::uint32_t> Nums(const json& j) {
    std::vector<std::uint32_t> out;
    if (j.is_null()) return out;
    if (!j.is_array()) throw CompileError("expected a list of numbers, got " + j.dump());
    for (const json& x : j)
        out.push_back(Number(x));
    return out;
}
std::vector<std::uint32_t> Nums(const json& j, const char* key) {
    return Nums(At(j, key));
}

const json& Entries(const json& j) {
    if (j.is_array()) return j;
    return At(j, "entries");
}

// ---------------------------------------------------------------- writer

struct Blob {
    std::vector<std::uint8_t> b;

    std::size_t pos() const { return b.size(); }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void U16(std::uint16_t v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void Slots(const std::vector<std::uint32_t>& v, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            U32(i < v.size() ? v[i] : 0);
    }
    void Zero(std::size_t slots) {
        for (std::size_t i = 0; i < slots; ++i)
            U32(0);
    }
    // A fixed text field of `size` bytes (cut to fit, zero-filled).
    void Text(const std::string& s, std::size_t size) {
        std::size_t n = std::min(s.size(), size);
        b.insert(b.end(), s.begin(), s.begin() + static_cast<long>(n));
        b.insert(b.end(), size - n, 0);
    }
    void Bytes(const void* p, std::size_t n) {
        auto* c = static_cast<const std::uint8_t*>(p);
        b.insert(b.end(), c, c + n);
    }
    // A zero-terminated string, padded to a slot boundary.
    void CStr(const std::string& s) {
        Bytes(s.data(), s.size());
        b.push_back(0);
        Align();
    }
    void Align() {
        while (b.size() % 4)
            b.push_back(0);
    }
    void Patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    // A counted list of slots.
    void List(const std::vector<std::uint32_t>& v) {
        U32(static_cast<std::uint32_t>(v.size()));
        for (std::uint32_t x : v)
            U32(x);
    }
};

// What the assembly needs to know about a record once written.
struct Record {
    std::size_t start = 0;
    long countAt = -1;  // offset of the entry count from the record, if it has one
    long stringAt = -1; // offset of the string from the record (string codes)
};

// ---------------------------------------------------------------- tables

// Named slots of the fixed parts of the table entries.
struct SlotName {
    const char* name;
    unsigned slot;
};

constexpr SlotName kPaperSlots[] = {
    {"id", 0},         {"name_id", 1},     {"s2", 2},      {"width", 3},       {"length", 4},
    {"width_dots", 5}, {"length_dots", 6}, {"flags", 15},  {"item9_mask", 16}, {"s17", 17},
    {"s18", 18},       {"s19", 19},        {"flags2", 20}, {"tied_media", 21},
};
constexpr SlotName kMediaSlots[] = {
    {"id", 0}, {"name_id", 1}, {"flags", 2}, {"item9_mask", 3}, {"s4", 4},
    {"s5", 5}, {"flags2", 6},  {"s7", 7},    {"tied_paper", 8},
};

template <std::size_t N>
std::vector<std::uint32_t> NamedSlots(const json& e, const SlotName (&names)[N],
                                      std::size_t count) {
    std::vector<std::uint32_t> s(count, 0);
    for (const SlotName& n : names)
        if (n.slot < count) s[n.slot] = Num(e, n.name, 0);
    return s;
}

enum class Kind { Paper, Limits, Media, Tray, SubTray };

// The list pair and the extensions that later versions add after it.
void WriteTableTail(Blob& w, const json& e, Kind kind, int v, const char* list1,
                    const char* tiedName, const char* list2) {
    w.List(Nums(e, list1));
    if (kind == Kind::Limits && v < 264) {
        w.List(Nums(e, list2));
        return;
    }
    w.U32(Num(e, tiedName));
    w.List(Nums(e, list2));
    if (v >= 265) {
        w.U32(Num(e, "e0"));
        w.U32(Num(e, "e1"));
        w.Text(Str(e, "name"), 32);
        bool twoNames = (kind == Kind::Paper || kind == Kind::Limits) ? v >= 272
                        : kind == Kind::Media                         ? v >= 268
                                                                      : false;
        if (twoNames) w.Text(Str(e, "name2"), 32);
    }
    if (kind == Kind::Paper && v >= 267) {
        const json& pairs = At(e, "pairs");
        w.U32(pairs.is_array() ? static_cast<std::uint32_t>(pairs.size()) : 0);
        if (pairs.is_array())
            for (const json& p : pairs) {
                std::vector<std::uint32_t> ab = Nums(p);
                if (ab.size() != 2) throw CompileError("a pair must have two numbers");
                w.U32(ab[0]);
                w.U32(ab[1]);
            }
    }
    if (v >= 282) w.List(Nums(e, "options"));
    if (kind == Kind::Limits && v >= 288) w.U32(Num(e, "slot288"));
    if (v >= 290) w.Slots(Nums(e, "links"), 3);
    if ((kind == Kind::Tray || kind == Kind::SubTray) && v >= 291) {
        w.Text(Str(e, "text1"), 32);
        w.Text(Str(e, "text2"), 32);
    }
}

void WritePaper(Blob& w, const json& e, int v) {
    std::vector<std::uint32_t> s = NamedSlots(e, kPaperSlots, 22);
    std::vector<std::uint32_t> m = Nums(e, "margins"), t = Nums(e, "turned_margins");
    for (unsigned i = 0; i < 4; ++i) {
        s[7 + i] = i < m.size() ? m[i] : 0;
        s[11 + i] = i < t.size() ? t[i] : 0;
    }
    w.Slots(s, 22);
    WriteTableTail(w, e, Kind::Paper, v, "media", "tied_tray", "trays");
}

void WriteLimits(Blob& w, const json& e, int v) {
    std::vector<std::uint32_t> m = Nums(e, "margins"), t = Nums(e, "turned_margins");
    auto at = [](const std::vector<std::uint32_t>& x, unsigned i) {
        return i < x.size() ? x[i] : 0u;
    };
    std::vector<std::uint32_t> s = {
        Num(e, "supported"),     Num(e, "max_width"),      Num(e, "max_length"),
        Num(e, "max_width_600"), Num(e, "max_length_600"), Num(e, "min_width"),
        Num(e, "min_length"),    Num(e, "min_width_600"),  Num(e, "min_length_600")};
    if (v >= 264) {
        for (unsigned i = 0; i < 4; ++i)
            s.push_back(at(m, i));
        for (unsigned i = 0; i < 4; ++i)
            s.push_back(at(t, i));
        for (const char* k : {"flags", "item9_mask", "s19", "s20", "s21", "flags2", "tied_media"})
            s.push_back(Num(e, k));
    } else {
        // The older record: the last two margins of each kind, then the words.
        s.push_back(at(m, 2));
        s.push_back(at(m, 3));
        s.push_back(at(t, 2));
        s.push_back(at(t, 3));
        for (const char* k : {"flags", "item9_mask", "s19", "s20", "s21", "flags2"})
            s.push_back(Num(e, k));
    }
    w.Slots(s, s.size());
    WriteTableTail(w, e, Kind::Limits, v, "media", "tied_tray", "trays");
}

void WriteMedia(Blob& w, const json& e, int v) {
    w.Slots(NamedSlots(e, kMediaSlots, 9), 9);
    WriteTableTail(w, e, Kind::Media, v, "papers", "tied_tray", "trays");
}

void WriteTray(Blob& w, const json& e, int v, bool sub) {
    std::vector<std::uint32_t> s = NamedSlots(e, kMediaSlots, 9);
    if (sub && v >= 293) s.insert(s.begin() + 2, Num(e, "option_flags"));
    w.Slots(s, s.size());
    WriteTableTail(w, e, sub ? Kind::SubTray : Kind::Tray, v, "papers", "tied_media", "media");
}

// ---------------------------------------------------------------- finishers

std::vector<std::uint32_t> ItemValues(const json& item, std::size_t n) {
    std::vector<std::uint32_t> v = Nums(item, "values");
    v.resize(n, 0);
    return v;
}

void WritePunchItem(Blob& w, const json& it, int v) {
    std::size_t slots = v < 287 ? 6 : v < 289 ? 7 : v < 293 ? 8 : 18;
    std::vector<std::uint32_t> val = ItemValues(it, 5);
    if (v < 293) {
        std::vector<std::uint32_t> s = {Num(it, "code"), Num(it, "name_id"), Num(it, "s2")};
        for (std::size_t i = 0; i + 3 < slots; ++i)
            s.push_back(val[i]);
        w.Slots(s, slots);
    } else {
        w.Slots({Num(it, "code"), Num(it, "name_id"), Num(it, "s2"), Num(it, "s3"), Num(it, "s4")},
                5);
        w.Text(Str(it, "text"), 32);
        w.Slots(val, 5);
    }
}

void WriteFoldItem(Blob& w, const json& it, int v) {
    std::vector<std::uint32_t> val = ItemValues(it, 2);
    if (v == 283) {
        w.Slots({Num(it, "code"), Num(it, "name_id"), val[0], val[1]}, 4);
    } else if (v < 293) {
        w.Slots({Num(it, "code"), Num(it, "name_id"), Num(it, "s2"), val[0], val[1]}, 5);
    } else {
        w.Slots({Num(it, "code"), Num(it, "name_id"), Num(it, "s2"), Num(it, "s3"), Num(it, "s4")},
                5);
        w.Text(Str(it, "text"), 32);
        if (v >= 297) w.Text(Str(it, "text2"), 32);
        w.Slots(val, 2);
    }
}

void WriteMembers(Blob& w, const json& list, bool plain) {
    w.U32(list.is_array() ? static_cast<std::uint32_t>(list.size()) : 0);
    if (!list.is_array()) return;
    for (const json& m : list) {
        std::vector<std::uint32_t> s = Nums(m);
        if (plain)
            w.U32(s.empty() ? 0 : s[0]);
        else
            w.Slots(s, 4);
    }
}

void WriteStapleItem(Blob& w, const json& it, int v) {
    std::vector<std::uint32_t> val = ItemValues(it, 6);
    std::vector<std::uint32_t> trailing = Nums(it, "trailing");
    trailing.resize(3, 0);
    if (v == 283) {
        w.Slots({Num(it, "code"), Num(it, "name_id")}, 2);
        WriteMembers(w, At(it, "a"), false);
        WriteMembers(w, At(it, "b"), false);
    } else if (v == 284) {
        w.Slots({Num(it, "code"), Num(it, "name_id"), Num(it, "custom"), Num(it, "long")}, 4);
        WriteMembers(w, At(it, "a"), true);
        WriteMembers(w, At(it, "b"), true);
    } else if (v < 293) {
        w.Slots({Num(it, "code"), Num(it, "name_id"), Num(it, "s2"), Num(it, "custom"), val[0],
                 val[1], val[2], Num(it, "long"), val[3], val[4], val[5]},
                11);
        WriteMembers(w, At(it, "a"), false);
        WriteMembers(w, At(it, "b"), false);
    } else {
        w.Slots({Num(it, "code"), Num(it, "name_id"), Num(it, "s2"), Num(it, "s3"), Num(it, "s4")},
                5);
        w.Text(Str(it, "text"), 32);
        w.Slots(
            {Num(it, "custom"), val[0], val[1], val[2], Num(it, "long"), val[3], val[4], val[5]},
            8);
        WriteMembers(w, At(it, "a"), false);
        WriteMembers(w, At(it, "b"), false);
    }
    w.Slots(trailing, 3);
}

template <class Fn> void WriteItemList(Blob& w, const json& list, Fn item) {
    w.U32(Num(list, "default"));
    const json& items = At(list, "items");
    w.U32(items.is_array() ? static_cast<std::uint32_t>(items.size()) : 0);
    if (items.is_array())
        for (const json& it : items)
            item(it);
}

void WriteFinisher(Blob& w, const json& e, int v) {
    const json& staple = At(At(e, "staple"), "items");
    if (v < 283) {
        w.Slots({Num(e, "id"), Num(e, "s1"), Num(e, "w6"), Num(e, "w7")}, 4);
        w.U32(staple.is_array() ? static_cast<std::uint32_t>(staple.size()) : 0);
        if (staple.is_array())
            for (const json& it : staple) {
                std::vector<std::uint32_t> t = Nums(it, "trailing");
                t.resize(3, 0);
                w.Slots({Num(it, "code"), Num(it, "name_id"), t[1], t[2]}, 4);
            }
        return;
    }
    if (v == 283) {
        w.Slots({Num(e, "id"), Num(e, "s1"), Num(e, "w6"), Num(e, "w7")}, 4);
    } else {
        w.Slots({Num(e, "id"), Num(e, "s1")}, 2);
        w.Text(Str(e, "name"), 16);
        w.Slots({Num(e, "w6"), Num(e, "w7")}, 2);
        if (v >= 293) {
            w.Slots({Num(e, "caps"), Num(e, "v9"), Num(e, "v10")}, 3);
            w.Text(Str(e, "text"), 32);
        }
    }
    WriteItemList(w, At(e, "punch"), [&](const json& it) { WritePunchItem(w, it, v); });
    WriteItemList(w, At(e, "fold"), [&](const json& it) { WriteFoldItem(w, it, v); });
    if (v == 284) {
        w.U32(0); // an empty 4-list
        w.U32(0); // an empty block
        w.Zero(6);
    }
    WriteItemList(w, At(e, "staple"), [&](const json& it) { WriteStapleItem(w, it, v); });
}

void WriteBin(Blob& w, const json& e, int v) {
    std::vector<std::uint32_t> trailing = Nums(e, "trailing");
    trailing.resize(3, 0);
    if (v < 283) {
        w.Slots({Num(e, "id"), Num(e, "name_id"), Num(e, "flags"), trailing[1], trailing[2]}, 5);
        return;
    }
    std::vector<std::uint32_t> val = ItemValues(e, 6);
    if (v < 285) {
        w.Slots({Num(e, "id"), Num(e, "name_id"), Num(e, "flags")}, 3);
    } else if (v < 293) {
        w.Slots({Num(e, "id"), Num(e, "name_id"), Num(e, "flags"), Num(e, "flag_a"), val[0], val[1],
                 val[2], Num(e, "flag_b"), val[3], val[4], val[5]},
                11);
    } else {
        w.Slots({Num(e, "id"), Num(e, "name_id"), Num(e, "flags"), Num(e, "s3"), Num(e, "s4")}, 5);
        w.Text(Str(e, "text"), 32);
        w.Slots(
            {Num(e, "flag_a"), val[0], val[1], val[2], Num(e, "flag_b"), val[3], val[4], val[5]},
            8);
        if (v >= 299) w.Text(Str(e, "name"), 16);
    }
    WriteMembers(w, At(e, "a"), false);
    WriteMembers(w, At(e, "b"), false);
    w.Slots(trailing, 3);
}

// ---------------------------------------------------------------- records

bool IsStringCode(int code) {
    return (code >= 1 && code <= 6) || code == 10 || code == 11 || (code >= 14 && code <= 17);
}

// Writes a list record: `head` slots before the count (the count takes slot
// countSlot of the head), then `gap` slots, then the entries.
template <class Fn>
void WriteList(Blob& w, Record& r, const json& entries, std::vector<std::uint32_t> head,
               std::size_t countSlot, Fn entry) {
    std::size_t n = entries.is_array() ? entries.size() : 0;
    if (head.size() <= countSlot) head.resize(countSlot + 1, 0);
    head[countSlot] = static_cast<std::uint32_t>(n);
    r.countAt = static_cast<long>(4 * countSlot);
    w.Slots(head, head.size());
    if (entries.is_array())
        for (const json& e : entries)
            entry(e);
}

void WriteString(Blob& w, Record& r, int code, const json& j, int v) {
    bool present = !(j.is_null() || (j.is_object() && Num(j, "absent")));
    std::string text = j.is_string() ? j.get<std::string>() : Str(j, "text");
    if (code <= 6) {
        r.stringAt = 0;
        w.CStr(text);
        return;
    }
    if (code == 14 && v >= 301 && present) {
        // The first word is both the presence of the first string and the
        // distance to the second one.
        std::uint32_t distance =
            static_cast<std::uint32_t>((text.size() + 1 + 3) & ~std::size_t{3});
        const json& second = At(j, "second");
        w.U32(distance);
        r.stringAt = 4;
        w.CStr(text);
        w.U32(second.is_null() ? 0 : 1);
        w.CStr(second.is_string() ? second.get<std::string>() : std::string());
        return;
    }
    w.U32(present ? 1 : 0);
    r.stringAt = 4;
    w.CStr(text);
}

// A fixed record is one row of slots that every layout reads from its start,
// byte for byte (or, for a narrowing layout, one slot per field): the source
// may give the values of any of the layouts the version reaches, and two
// layouts that give the same byte must agree on it.
void WriteFixed(Blob& w, int code, const json& j, int v) {
    std::vector<std::uint8_t> bytes;
    std::vector<int> givenBy; // the layout that gave each byte, 0 for none
    auto give = [&](unsigned at, const std::uint8_t* value, unsigned width, int layout) {
        if (at + width > bytes.size()) {
            bytes.resize(at + width, 0);
            givenBy.resize(at + width, 0);
        }
        for (unsigned i = 0; i < width; ++i) {
            if (givenBy[at + i] && bytes[at + i] != value[i])
                throw CompileError("layouts " + std::to_string(givenBy[at + i]) + " and " +
                                   std::to_string(layout) + " give byte " + std::to_string(at + i) +
                                   " different values");
            bytes[at + i] = value[i];
            givenBy[at + i] = layout;
        }
    };
    std::size_t length = 0;
    for (const model::FixedLayout* l : model::FixedLayoutsOf(code)) {
        if (v < l->since) continue;
        length = std::max<std::size_t>(length, model::FixedRecordBytes(*l));
        const json& values = At(j, std::to_string(int(l->layout)).c_str());
        std::vector<model::FixedField> fields = model::FixedFields(*l);
        for (std::size_t i = 0; i < fields.size() && values.is_array() && i < values.size(); ++i) {
            const json& x = values[i];
            if (x.is_null()) continue;
            const model::FixedField& f = fields[i];
            Blob value;
            if (f.kind == model::FieldKind::Text)
                // Cut to leave its zero: the answer is the record's bytes.
                value.Text(x.is_string() ? x.get<std::string>().substr(0, f.bytes - 1u)
                                         : std::string(),
                           f.bytes);
            else
                value.U32(Number(x)); // little-endian: an i16 field takes the low half
            give(f.record, value.b.data(), f.width, l->layout);
        }
    }
    bytes.resize((std::max(length, bytes.size()) + 3) & ~std::size_t{3}, 0);
    for (std::uint8_t b : bytes)
        w.b.push_back(b);
}

void WriteRecord(Blob& w, Record& r, int code, const json& j, int v) {
    if (IsStringCode(code)) return WriteString(w, r, code, j, v);
    const json& E = Entries(j);
    switch (code) {
    case 7:
        return WriteList(w, r, E, {}, 0, [&](const json& e) {
            w.U32(Num(e, "id"));
            w.U32(Num(e, "kind"));
            w.Text(Str(e, "name"), 16);
        });
    case 18:
        return WriteList(w, r, E, {}, 0, [&](const json& e) {
            std::string t = Str(e, "text");
            w.U32(Num(e, "id"));
            w.U32(static_cast<std::uint32_t>(t.size()));
            w.Bytes(t.data(), t.size());
        });
    case 20:
        return WriteList(
            w, r, E,
            {0, Num(j, "flags"), Num(j, "default_a4"), Num(j, "default_letter"), Num(j, "dpi")}, 0,
            [&](const json& e) { WritePaper(w, e, v); });
    case 21:
    case 75:
        return WriteLimits(w, j, v);
    case 22:
        WriteList(w, r, E, {0, Num(j, "default")}, 0, [&](const json& e) { WriteMedia(w, e, v); });
        w.U32(Num(j, "trailer"));
        return;
    case 24:
        return WriteList(w, r, E, {0, Num(j, "default")}, 0,
                         [&](const json& e) { WriteTray(w, e, v, false); });
    case 25: {
        std::vector<std::uint32_t> head = Nums(j, "record");
        head.resize(6, 0);
        std::size_t entrySlots = v <= 272 ? 20 : v <= 297 ? 21 : 22;
        WriteList(w, r, E, head, 6, [&](const json& e) {
            w.Slots({Num(e, "id"), Num(e, "s1"), Num(e, "s2"), Num(e, "s3")}, 4);
            w.Text(Str(e, "text1"), 32);
            w.Text(Str(e, "text2"), 32);
            if (entrySlots > 20) w.U32(Num(e, "s20"));
            if (entrySlots > 21) w.U32(Num(e, "s21"));
        });
        w.Slots(Nums(j, "margins"), 4);
        return;
    }
    case 26:
        return WriteList(w, r, E, {}, 0, [&](const json& e) {
            w.Slots({Num(e, "id"), Num(e, "s1"), Num(e, "flags"), Num(e, "s3")}, 4);
            if (v >= 299) w.Text(Str(e, "name"), 16);
            w.List(Nums(e, "list"));
            const json& trays = At(e, "trays");
            w.U32(trays.is_array() ? static_cast<std::uint32_t>(trays.size()) : 0);
            if (trays.is_array())
                for (const json& t : trays)
                    WriteTray(w, t, v, true);
        });
    case 27:
        return WriteList(w, r, E, {}, 0, [&](const json& e) { WriteFinisher(w, e, v); });
    case 32:
        return WriteList(w, r, E, {}, 0, [&](const json& e) { w.Slots(Nums(e), 5); });
    case 33:
        return WriteList(w, r, E, {}, 0, [&](const json& e) { w.Slots(Nums(e), 4); });
    case 34:
        return WriteList(w, r, E, {0, Num(j, "default")}, 0,
                         [&](const json& e) { WriteBin(w, e, v); });
    case 35:
        return WriteList(w, r, E, {Num(j, "value")}, 1,
                         [&](const json& e) { w.Slots(Nums(e), 4); });
    case 36: {
        std::vector<std::uint32_t> head = Nums(j, "record");
        head.resize(5, 0);
        return WriteList(w, r, E, head, 5, [&](const json& e) { w.Slots(Nums(e), 4); });
    }
    case 37:
        return WriteList(w, r, At(j, "groups"), {}, 0, [&](const json& g) { w.List(Nums(g)); });
    case 39:
        WriteList(w, r, E, {Num(j, "flags"), Num(j, "s1")}, 2, [&](const json& e) {
            w.Text(Str(e, "name"), 64);
            w.Text(Str(e, "alias"), 32);
            w.U32(Num(e, "a"));
            w.U32(Num(e, "b"));
            if (v >= 288) w.Text(Str(e, "name2"), 64);
        });
        w.U32(Num(j, "trailer"));
        return;
    case 41:
        return WriteList(w, r, E, {0, Num(j, "s1"), Num(j, "default")}, 0,
                         [&](const json& e) { w.Slots(Nums(e), 3); });
    case 42:
        return WriteList(w, r, E, {0, Num(j, "default")}, 0, [&](const json& e) {
            std::size_t fixed = v < 262 ? 7 : v < 270 ? 9 : v == 270 ? 10 : v < 276 ? 11 : 13;
            w.Slots(Nums(e, "slots"), fixed);
            if (v >= 282) {
                w.List(Nums(e, "list"));
                w.List(Nums(e, "list1"));
                w.U32(Num(e, "tied"));
                w.List(Nums(e, "list2"));
            }
        });
    case 43:
        return WriteList(w, r, E, {}, 0, [&](const json& e) {
            std::uint32_t width = Num(e, "width"), height = Num(e, "height");
            std::vector<std::uint32_t> data = Nums(e, "data");
            w.Slots({Num(e, "id"), width, height, Num(e, "value")}, 4);
            std::size_t n = std::size_t{width} * height;
            for (std::size_t i = 0; i < n; ++i)
                w.b.push_back(static_cast<std::uint8_t>(i < data.size() ? data[i] : 0));
            w.Align();
        });
    case 46: {
        WriteList(w, r, E, {Num(j, "value")}, 1, [&](const json& e) { w.U32(Number(e)); });
        const json& x = At(j, "extra");
        w.U32(Num(x, "value"));
        w.Text(Str(x, "text1"), 32);
        w.Text(Str(x, "text2"), 32);
        return;
    }
    case 47: {
        std::size_t slots = v <= 268 ? 1 : v <= 273 ? 3 : v <= 279 ? 4 : 5;
        std::vector<std::uint32_t> head = {0, Num(j, "value")};
        if (v >= 300) head.push_back(Num(j, "value2"));
        return WriteList(w, r, E, head, 0, [&](const json& e) { w.Slots(Nums(e), slots); });
    }
    case 51:
        if (v < 281) {
            w.Slots({Num(j, "mask"), Num(j, "mask"), Num(j, "value")}, 3);
            return;
        }
        return WriteList(w, r, E, {Num(j, "mask"), Num(j, "value")}, 2, [&](const json& e) {
            w.U32(Num(e, "id"));
            w.Text(Str(e, "name"), 16);
        });
    case 53:
        if (v < 275) {
            w.Slots({Num(j, "s0"), Num(j, "s1")}, 2);
            return;
        }
        return WriteList(w, r, E, {Num(j, "s0"), Num(j, "s1")}, 2, [&](const json& e) {
            w.Slots(Nums(e, "slots"), 4);
            w.Text(Str(e, "text"), 32);
        });
    case 65:
        if (v < 301) {
            w.U32(Num(j, "s0"));
            if (v >= 286) w.Slots({Num(j, "s0"), Num(j, "s1")}, 2);
            return;
        }
        return WriteList(w, r, E, {Num(j, "s0"), Num(j, "s1")}, 2, [&](const json& e) {
            const json& lines = At(e, "lines");
            w.Slots({Num(e, "id"), Num(e, "flags"), Num(e, "max"), Num(e, "s3"),
                     lines.is_array() ? static_cast<std::uint32_t>(lines.size()) : 0u},
                    5);
            if (lines.is_array())
                for (const json& l : lines) {
                    if (!l.is_array() || l.size() != 2 || !l[1].is_string())
                        throw CompileError("a PJL line is [variant, \"format\"]");
                    std::string t = l[1].get<std::string>();
                    w.U32(Number(l[0]));
                    w.U32(static_cast<std::uint32_t>(t.size() + 1));
                    w.Bytes(t.c_str(), t.size() + 1);
                }
        });
    case 69:
        return WriteList(w, r, E, {}, 0, [&](const json& e) {
            w.Slots({Num(e, "id"), Num(e, "s1")}, 2);
            w.Text(Str(e, "data"), 256);
        });
    case 70:
    case 76:
        return WriteList(w, r, E, {}, 0, [&](const json& e) { w.Slots(Nums(e), 2); });
    case 71: {
        if (v < 278) {
            w.Slots({Num(j, "mask"), Num(j, "flags")}, 2);
            return;
        }
        const json& papers = At(j, "papers");
        const json& trays = At(j, "trays");
        auto groups = [&](const json& list) {
            if (!list.is_array()) return;
            for (const json& g : list) {
                const json& items = At(g, "items");
                w.Slots({Num(g, "id"), Num(g, "code"), Num(g, "string"),
                         items.is_array() ? static_cast<std::uint32_t>(items.size()) : 0u},
                        4);
                if (items.is_array())
                    for (const json& it : items)
                        w.Slots(Nums(it), 2);
            }
        };
        w.Slots({Num(j, "mask"), Num(j, "flags"),
                 papers.is_array() ? std::uint32_t(papers.size()) : 0u,
                 trays.is_array() ? std::uint32_t(trays.size()) : 0u},
                4);
        r.countAt = 8;
        groups(papers);
        groups(trays);
        return;
    }
    case 95:
        return WriteList(w, r, E, {}, 0, [&](const json& e) {
            w.U32(Num(e, "id"));
            w.List(Nums(e, "values"));
        });
    default:
        if (code >= 80 && code <= 94)
            return WriteList(w, r, E, {}, 0, [&](const json& e) { w.U32(Number(e)); });
        if (model::FindFixedLayout(code, 1)) return WriteFixed(w, code, j, v);
        throw CompileError("code " + std::to_string(code) + " has no record shape");
    }
}

} // namespace

std::uint32_t Number(const nlohmann::json& j) {
    if (j.is_number_unsigned()) return static_cast<std::uint32_t>(j.get<std::uint64_t>());
    if (j.is_number_integer()) return static_cast<std::uint32_t>(j.get<std::int64_t>());
    if (j.is_boolean()) return j.get<bool>() ? 1 : 0;
    if (j.is_string()) {
        const std::string& s = j.get_ref<const std::string&>();
        try {
            std::size_t used = 0;
            long long v = std::stoll(s, &used, 0);
            if (used == s.size()) return static_cast<std::uint32_t>(v);
        } catch (const std::exception&) {
        }
    }
    throw CompileError("expected a number, got " + j.dump());
}

namespace {

// A chain of bases longer than this is taken for a loop.
constexpr int kDeepestBase = 8;

nlohmann::json LoadSourceAt(const std::string& path, int depth) {
    std::ifstream in(path);
    if (!in) throw CompileError("cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    json source;
    try {
        source = json::parse(text.str(), nullptr, true, true);
    } catch (const json::exception& e) {
        throw CompileError(path + ": " + e.what());
    }
    if (!source.is_object() || !source.contains("base")) return source;
    // A model that differs from another in a few answers names it as its
    // base (a path beside this file) and states only those answers.
    const json& base = source["base"];
    if (!base.is_string()) throw CompileError(path + ": \"base\" must name a source file");
    if (depth >= kDeepestBase) throw CompileError(path + ": the chain of bases does not end");
    const std::string folder =
        path.find('/') == std::string::npos ? std::string() : path.substr(0, path.rfind('/') + 1);
    json merged = LoadSourceAt(folder + base.get<std::string>(), depth + 1);
    if (!merged.is_object()) throw CompileError(path + ": its base is not a JSON object");
    for (auto it = source.begin(); it != source.end(); ++it) {
        if (it.key() == "base") continue;
        if (it.key() == "codes" && it->is_object() && merged["codes"].is_object())
            for (auto code = it->begin(); code != it->end(); ++code)
                merged["codes"][code.key()] = *code;
        else
            merged[it.key()] = *it;
    }
    return merged;
}

} // namespace

nlohmann::json LoadSource(const std::string& path) {
    return LoadSourceAt(path, 0);
}

std::vector<std::uint8_t> Compile(const nlohmann::json& source, const Options& o) {
    if (!source.is_object()) throw CompileError("the source must be a JSON object");
    int v = o.format ? o.format : static_cast<int>(Num(source, "format", 303));
    if (v < 257 || v > 303)
        throw CompileError("format version " + std::to_string(v) + " is outside 257..303");
    const json& codes = At(source, "codes");
    if (!codes.is_object()) throw CompileError("the source has no \"codes\" object");

    std::map<int, const json*> byCode;
    for (auto it = codes.begin(); it != codes.end(); ++it) {
        if (it.key().empty() || it.key()[0] == '_') continue;
        int code = 0;
        try {
            code = std::stoi(it.key());
        } catch (const std::exception&) {
            throw CompileError("code \"" + it.key() + "\" is not a number");
        }
        if (code < 1 || code > model::kLastModelQuery)
            throw CompileError("code " + it.key() + " is outside 1..96");
        if (code != o.drop) byCode[code] = &it.value();
    }

    Blob w;
    w.Bytes(o.badMagic ? "NKSQ" : "NKSP", 4);
    w.U32(0);  // total size, patched below
    w.U32(0);  // end of the offset table
    w.U32(24); // start of the offset table
    w.U32(Num(source, "data_version"));
    w.U16(static_cast<std::uint16_t>(o.minor >= 0 ? o.minor
                                                  : static_cast<int>(Num(source, "minor"))));
    w.U16(static_cast<std::uint16_t>(o.headerFormat ? o.headerFormat : v));
    std::size_t table = w.pos();
    w.Zero(model::kLastModelQuery);
    w.Patch32(8, static_cast<std::uint32_t>(w.pos()));

    std::map<int, Record> records;
    auto emit = [&](int code) {
        Record r;
        r.start = w.pos();
        try {
            WriteRecord(w, r, code, *byCode[code], v);
        } catch (const json::exception& e) {
            throw CompileError("code " + std::to_string(code) + ": " + e.what());
        } catch (const CompileError& e) {
            throw CompileError("code " + std::to_string(code) + ": " + e.what());
        }
        w.Align();
        // A version that has none of a code's layouts has no record for it.
        if (w.pos() == r.start) return;
        records[code] = r;
        w.Patch32(table + 4 * (code - 1), static_cast<std::uint32_t>(r.start));
    };
    for (const auto& [code, j] : byCode)
        if (code != o.unterminated) emit(code);
    if (o.unterminated) {
        if (!byCode.count(o.unterminated) || !IsStringCode(o.unterminated))
            throw CompileError("--unterminated needs a string code the source has");
        emit(o.unterminated);
        // Cut the file after the string's last character: its NUL is gone.
        const Record& r = records[o.unterminated];
        std::size_t at = r.start + static_cast<std::size_t>(r.stringAt);
        std::size_t len = 0;
        while (at + len < w.b.size() && w.b[at + len])
            ++len;
        w.b.resize(at + len);
    }

    if (o.hugeCount) {
        auto it = records.find(o.hugeCount);
        if (it == records.end() || it->second.countAt < 0)
            throw CompileError("--huge-count needs a list code the source has");
        w.Patch32(it->second.start + static_cast<std::size_t>(it->second.countAt), 0x7FFFFFFF);
    }
    if (o.slotPastEnd) {
        if (!records.count(o.slotPastEnd))
            throw CompileError("--slot-past-end needs a code the source has");
        w.Patch32(table + 4 * (o.slotPastEnd - 1), static_cast<std::uint32_t>(w.pos()));
    }
    if (o.slotPastTable)
        w.Patch32(8, static_cast<std::uint32_t>(table + 4 * (o.slotPastTable - 1)));
    if (o.truncate >= 0 && static_cast<std::size_t>(o.truncate) < w.b.size())
        w.b.resize(static_cast<std::size_t>(o.truncate));
    if (w.b.size() >= 8) w.Patch32(4, static_cast<std::uint32_t>(w.b.size()));
    return w.b;
}

} // namespace modelc

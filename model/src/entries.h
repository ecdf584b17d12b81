// The shapes of the entries of the list codes, by format version. Each parser
// reads only what it must to find the parts of one entry and throws Malformed
// when any part lies outside the file.
#pragma once

#include <cstdint>

#include "model_file.h"

namespace model {

inline constexpr std::uint64_t kSlot = 4;

// Entries that hold a fixed part, a list pair and the extensions of later
// versions: papers (20), paper size limits (21, 75), media types (22), trays
// (24) and the trays of the paper-feeder units (26).
enum class TableKind { Paper, Limits, Media, Tray, SubTray };

struct TableEntry {
    std::uint64_t start = 0;
    std::uint64_t list1 = 0;   // count of the first list
    std::uint64_t tied = 0;    // the slot after the first list (0 in old limits records)
    std::uint64_t list2 = 0;   // count of the second list
    std::uint64_t ext = 0;     // {e0, e1, char[32] name} (0: none)
    bool name2 = false;        // a second char[32] follows the first name
    std::uint64_t pairs = 0;   // pair list (papers from 267)
    std::uint64_t options = 0; // counted list of option codes (282)
    std::uint64_t slot288 = 0; // limits records from 288
    std::uint64_t links = 0;   // three slots (290)
    std::uint64_t texts = 0;   // two char[32] texts (trays from 291)
    std::uint64_t end = 0;
};

TableEntry ParseTableEntry(const ModelFile& f, TableKind kind, unsigned format,
                           std::uint64_t entry);

// Fixed slots before the first list of a table entry.
unsigned TableFixedSlots(TableKind kind, unsigned format);

// A paper-feeder unit (26): fixed slots, a counted list, then its trays.
struct FeederEntry {
    std::uint64_t start = 0;
    std::uint64_t list = 0;  // counted list
    std::uint32_t trays = 0; // number of sub-entries
    std::uint64_t firstTray = 0;
    std::uint64_t end = 0;
};
FeederEntry ParseFeederEntry(const ModelFile& f, unsigned format, std::uint64_t entry);

// Print quality mode (42).
struct QualityEntry {
    std::uint64_t start = 0;
    unsigned fixedSlots = 0;
    std::uint64_t list = 0;  // from 282: counted list
    std::uint64_t list1 = 0; // from 282: list pair
    std::uint64_t list2 = 0;
    std::uint64_t end = 0;
};
QualityEntry ParseQualityEntry(const ModelFile& f, unsigned format, std::uint64_t entry);

// A staple-like item: fixed slots, sub-list A, sub-list B, three trailing
// slots. Output bins (34) share the shape.
struct StapleItem {
    std::uint64_t start = 0;
    std::uint64_t listA = 0; // count position
    std::uint64_t listB = 0;
    unsigned memberSlots = 4; // 1 for the plain lists of 284
    std::uint64_t trailing = 0;
    std::uint64_t end = 0;
};

// Finisher (27).
struct FinisherEntry {
    std::uint64_t start = 0;
    bool old = false; // before 283: fixed slots and a 4-list at slot 4
    unsigned punchSlots = 0, foldSlots = 0;
    std::uint64_t punch = 0; // default slot; count follows, then the items
    std::uint64_t fold = 0;
    std::uint64_t staple = 0;
    std::uint64_t end = 0;
};
FinisherEntry ParseFinisherEntry(const ModelFile& f, unsigned format, std::uint64_t entry);
StapleItem ParseStapleItem(const ModelFile& f, unsigned format, std::uint64_t item);

// Output bin (34) from 283.
StapleItem ParseBinEntry(const ModelFile& f, unsigned format, std::uint64_t entry);
unsigned BinFixedSlots(unsigned format);

// A group of code 71: 16-byte head, item count at +12, 8-byte items.
std::uint64_t PortGroupEnd(const ModelFile& f, std::uint64_t group);

// A PJL item of code 65: 20-byte head, line count at +16, lines {value, length, text}.
std::uint64_t PjlEntryEnd(const ModelFile& f, std::uint64_t entry);

// Small checked arithmetic for walking slot lists.
class SlotWalker {
  public:
    SlotWalker(const ModelFile& f, std::uint64_t pos) : f_(f), pos_(pos) {}
    std::uint64_t pos() const { return pos_; }
    std::uint32_t Read() const { return f_.U32(pos_); }
    std::uint32_t ReadAt(std::uint64_t slots) const { return f_.U32(pos_ + slots * kSlot); }
    void Skip(std::uint64_t slots) {
        pos_ += slots * kSlot;
        f_.Need(pos_, 0);
    }
    // {n, n × memberSlots slots}; returns the position of the count.
    std::uint64_t SkipList(unsigned memberSlots = 1) {
        std::uint64_t at = pos_;
        std::uint64_t n = Read();
        Skip(1 + n * memberSlots);
        return at;
    }
    void SkipBytes(std::uint64_t bytes) {
        pos_ += bytes;
        f_.Need(pos_, 0);
    }

  private:
    const ModelFile& f_;
    std::uint64_t pos_;
};

} // namespace model

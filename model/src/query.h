// The frame shared by the decoders of mdGetMyPrinterInfo: a query's
// arguments, the two-call size and data habit, entry selection and the
// helpers that write answer fields.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "entries.h"
#include "model_file.h"
#include "win/errors.h"
#include "win/types.h"

namespace model {

struct Query {
    const ModelFile& f;
    int code;  // as a signed 16-bit value
    int index; // as a signed 16-bit value; 0 for all entries
    int layout;
    std::uint8_t* out;
    DWORD* length; // never null here
    DWORD* count;  // may be null

    void SetCount(DWORD n) const {
        if (count) *count = n;
    }
};

// Answers `q` for any code; the decoders below call it for the tables they
// consult. Never throws.
DWORD Answer(const ModelFile& f, int code, int index, int layout, void* out, DWORD* length,
             DWORD* count);

// Answer field writers. Values are narrowed as the answer fields are.
inline void PutI16(std::uint8_t* a, std::size_t off, std::uint32_t v) {
    std::uint16_t x = static_cast<std::uint16_t>(v);
    std::memcpy(a + off, &x, 2);
}
inline void PutU32(std::uint8_t* a, std::size_t off, std::uint32_t v) {
    std::memcpy(a + off, &v, 4);
}
inline std::int16_t GetI16(const std::uint8_t* a, std::size_t off) {
    std::int16_t x;
    std::memcpy(&x, a + off, 2);
    return x;
}
inline std::uint32_t GetU32(const std::uint8_t* a, std::size_t off) {
    std::uint32_t x;
    std::memcpy(&x, a + off, 4);
    return x;
}
// Copies a text of at most srcMax bytes from the file (stopping at its NUL)
// into a field of fieldSize bytes, always leaving the field terminated.
void PutText(std::uint8_t* a, std::size_t off, std::size_t fieldSize, const ModelFile& f,
             std::uint64_t src, std::uint64_t srcMax);

// An entry's identifier as entry selection compares it.
inline std::int16_t EntryId(const ModelFile& f, std::uint64_t entry) {
    return static_cast<std::int16_t>(f.U32(entry));
}

// Step 2 of the frame: a layout the code lacks or the version does not reach.
inline DWORD NoLayout(const Query& q) {
    q.SetCount(0);
    return ERROR_NOT_SUPPORTED;
}

// A single fixed answer of `size` bytes, written by fill(answer).
template <class Fill> DWORD SingleAnswer(const Query& q, DWORD size, Fill fill) {
    if (!q.out) {
        *q.length = size;
        q.SetCount(0);
        return 0;
    }
    if (*q.length < size) {
        *q.length = size;
        q.SetCount(0);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memset(q.out, 0, size);
    fill(q.out);
    q.SetCount(1);
    return 0;
}

// The common list frame: one answer of `size` bytes per matching entry.
// emit(entry, answer) writes one; match(entry) gives the identifier that a
// nonzero index selects (the entry's first slot unless told otherwise).
// The cursor has been located on the code's record.
enum class SizeRule { ByIndex, AlwaysCount };

template <class Emit, class Key>
DWORD ListAnswer(const Query& q, const ModelCursor& located, DWORD size, Emit emit, Key key,
                 SizeRule rule = SizeRule::ByIndex) {
    std::uint64_t n =
        (q.index == 0 || rule == SizeRule::AlwaysCount) ? std::uint64_t(located.count) : 1;
    std::uint64_t need = n * size;
    if (need > 0xFFFFFFFFull) throw Malformed{};
    if (!q.out) {
        *q.length = static_cast<DWORD>(need);
        q.SetCount(0);
        return 0;
    }
    if (*q.length < need) {
        *q.length = static_cast<DWORD>(need);
        q.SetCount(0);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memset(q.out, 0, static_cast<std::size_t>(need));
    ModelCursor c = located;
    DWORD written = 0;
    for (std::uint64_t e = c.current; e; e = NextModelEntry(q.f, &c)) {
        if (q.index != 0 && key(e) != q.index) continue;
        if (written >= n) break;
        emit(e, q.out + std::size_t(written) * size);
        ++written;
        if (q.index != 0) break;
    }
    q.SetCount(written);
    if (q.index != 0 && written == 0) return ERROR_NOT_FOUND;
    return 0;
}

template <class Emit>
DWORD ListAnswer(const Query& q, const ModelCursor& located, DWORD size, Emit emit) {
    return ListAnswer(q, located, size, emit, [&](std::uint64_t e) { return EntryId(q.f, e); });
}

// Layouts that give several answers per entry (items, members, lines, trays).
// The producer is run twice: once to count, once to write. It is called as
// produce(entry, sink) for every entry and reports each answer through
// sink.Add(key), which returns where to write it (or nullptr to skip it).
class AnswerSink {
  public:
    AnswerSink(std::uint8_t* base, DWORD size, int index, bool keyPerAnswer)
        : base_(base), size_(size), index_(index), perAnswer_(keyPerAnswer) {}

    // key: the identifier that a nonzero index selects.
    std::uint8_t* Add(int key) {
        if (done_) return nullptr;
        if (perAnswer_ && index_ != 0 && key != index_) return nullptr;
        if (perAnswer_ && index_ != 0) done_ = true;
        ++n_;
        if (!base_) {
            std::memset(scratch_, 0, sizeof scratch_);
            return scratch_;
        }
        return base_ + std::size_t(n_ - 1) * size_;
    }
    std::uint64_t n() const { return n_; }
    bool done() const { return done_; }
    void Finish() { done_ = true; }

  private:
    std::uint8_t* base_;
    DWORD size_;
    int index_;
    bool perAnswer_;
    bool done_ = false;
    std::uint64_t n_ = 0;
    alignas(8) std::uint8_t scratch_[4104];
};

// keyPerAnswer false: a nonzero index selects entries by their identifier and
// the walk stops after the first matching entry; true: the index selects
// single answers by their own key and the first match ends the walk.
template <class Produce>
DWORD MultiAnswer(const Query& q, const ModelCursor& located, DWORD size, bool keyPerAnswer,
                  Produce produce) {
    auto run = [&](AnswerSink& sink) {
        ModelCursor c = located;
        for (std::uint64_t e = c.current; e && !sink.done(); e = NextModelEntry(q.f, &c)) {
            if (!keyPerAnswer && q.index != 0 && EntryId(q.f, e) != q.index) continue;
            produce(e, sink);
            if (!keyPerAnswer && q.index != 0) sink.Finish();
        }
    };
    AnswerSink counting(nullptr, size, q.index, keyPerAnswer);
    run(counting);
    std::uint64_t need = counting.n() * size;
    if (need > 0xFFFFFFFFull) throw Malformed{};
    if (counting.n() == 0) {
        if (!q.out) *q.length = 0;
        q.SetCount(0);
        return ERROR_NOT_FOUND;
    }
    if (!q.out) {
        *q.length = static_cast<DWORD>(need);
        q.SetCount(0);
        return 0;
    }
    if (*q.length < need) {
        *q.length = static_cast<DWORD>(need);
        q.SetCount(0);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memset(q.out, 0, static_cast<std::size_t>(need));
    AnswerSink writing(q.out, size, q.index, keyPerAnswer);
    run(writing);
    q.SetCount(static_cast<DWORD>(writing.n()));
    return 0;
}

// Decoders, one per code or group of codes. Each is called with the layout
// already made the cursor's selector where that matters.
DWORD AnswerString(const Query& q);
DWORD AnswerComponents(const Query& q);      // 7
DWORD AnswerLinks(const Query& q);           // 18
DWORD AnswerPapers(const Query& q);          // 20
DWORD AnswerPaperLimits(const Query& q);     // 21, 75
DWORD AnswerMediaTypes(const Query& q);      // 22
DWORD AnswerTrays(const Query& q);           // 24
DWORD AnswerInstallable(const Query& q);     // 25
DWORD AnswerFeeders(const Query& q);         // 26
DWORD AnswerFinishers(const Query& q);       // 27
DWORD AnswerCode32(const Query& q);          // 32
DWORD AnswerCode33(const Query& q);          // 33
DWORD AnswerBins(const Query& q);            // 34
DWORD AnswerHardDisk(const Query& q);        // 35
DWORD AnswerMemory(const Query& q);          // 36
DWORD AnswerOptionDirectory(const Query& q); // 37
DWORD AnswerFonts(const Query& q);           // 39
DWORD AnswerResolutions(const Query& q);     // 41
DWORD AnswerQualities(const Query& q);       // 42
DWORD AnswerMatrices(const Query& q);        // 43
DWORD AnswerCode46(const Query& q);          // 46
DWORD AnswerHalftones(const Query& q);       // 47
DWORD AnswerModelNames(const Query& q);      // 51
DWORD AnswerJobSetup(const Query& q);        // 53
DWORD AnswerPjl(const Query& q);             // 65
DWORD AnswerCode69(const Query& q);          // 69
DWORD AnswerResourceIds(const Query& q);     // 70
DWORD AnswerPorts(const Query& q);           // 71
DWORD AnswerKeys(const Query& q);            // 76
DWORD AnswerIdLists(const Query& q);         // 80 to 94
DWORD AnswerRulePairs(const Query& q);       // 95
DWORD AnswerFixed(const Query& q);           // every other code

} // namespace model

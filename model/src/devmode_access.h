// A device mode as mdReviseDevmode works on it: an ANSI standard part of
// dmSize bytes followed by a private block of dmDriverExtra bytes (908 or
// 1100), held in a buffer of known size. Every field access checks that the
// field lies inside the part it belongs to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "devmode_private.h"

namespace model {

#define DM_OFFSET(field) offsetof(DEVMODEA, field)
#define PRIV_OFFSET(field) offsetof(PRIVATE_DEVMODE, field)

class DevmodeBytes {
  public:
    DevmodeBytes(std::uint8_t* base, std::size_t dmSize, std::size_t extra)
        : base_(base), dmSize_(dmSize), extra_(extra) {}

    std::uint8_t* base() const { return base_; }
    std::size_t dmSize() const { return dmSize_; }
    std::size_t extra() const { return extra_; }
    std::size_t total() const { return dmSize_ + extra_; }
    bool Old908() const { return extra_ == PRIVATE_DEVMODE_SIZE_908; }

    // The standard part: fields beyond dmSize read as 0 and are not written.
    bool Reaches(std::size_t off, std::size_t width) const { return off + width <= dmSize_; }
    std::uint32_t Std(std::size_t off, std::size_t width) const {
        if (!Reaches(off, width)) return 0;
        return Read(off, width);
    }
    std::int16_t StdShort(std::size_t off) const { return static_cast<std::int16_t>(Std(off, 2)); }
    void SetStd(std::size_t off, std::size_t width, std::uint32_t v) {
        if (Reaches(off, width)) Write(off, width, v);
    }
    std::uint32_t Fields() const { return Std(DM_OFFSET(dmFields), 4); }
    void SetFields(std::uint32_t v) { SetStd(DM_OFFSET(dmFields), 4, v); }

    // The private block, by the offsets of the 1100-byte layout (fields that
    // the 908-byte layout has 12 bytes earlier are moved; fields past its end
    // read as 0 and are not written).
    std::size_t PrivAt(std::size_t off) const { return PrivateDevmodeOffset(off, extra_); }
    bool PrivHas(std::size_t off, std::size_t width) const { return PrivAt(off) + width <= extra_; }
    std::uint32_t Priv(std::size_t off, std::size_t width) const {
        if (!PrivHas(off, width)) return 0;
        return Read(dmSize_ + PrivAt(off), width);
    }
    std::int16_t PrivShort(std::size_t off) const {
        return static_cast<std::int16_t>(Priv(off, 2));
    }
    void SetPriv(std::size_t off, std::size_t width, std::uint32_t v) {
        if (PrivHas(off, width)) Write(dmSize_ + PrivAt(off), width, v);
    }
    std::uint8_t* PrivBlock() const { return base_ + dmSize_; }

  private:
    std::uint32_t Read(std::size_t at, std::size_t width) const {
        std::uint32_t v = 0;
        std::memcpy(&v, base_ + at, width); // little-endian host
        return v;
    }
    void Write(std::size_t at, std::size_t width, std::uint32_t v) {
        std::memcpy(base_ + at, &v, width);
    }

    std::uint8_t* base_;
    std::size_t dmSize_;
    std::size_t extra_;
};

// Model facts that the revision asks, on the caller's model data.
class ModelAsk {
  public:
    explicit ModelAsk(const void* data) : data_(data) {}
    // One query into a zero-filled buffer of `size` bytes; the result of the
    // query (0 on success).
    DWORD Get(int code, int index, int layout, void* out, DWORD size, DWORD* count = nullptr) const;
    // Size query: 0 when the query answers, with *size and *count.
    DWORD Size(int code, int index, int layout, DWORD* size, DWORD* count = nullptr) const;
    // "Table N present": layout 1 answers with a nonzero size or count.
    bool Present(int code) const;
    // Bit k of the first word of layout 1 (index 0); false without an answer.
    bool Bit(int code, int bit) const;
    // The first u32 of layout 1 (0 without an answer).
    std::uint32_t First(int code) const;
    bool Answers(int code, int layout, DWORD size) const;

    const void* data() const { return data_; }

  private:
    const void* data_;
};

// Region and system facts.
bool IsA4Region();
bool IsWindows95();

// Paper, source and media checks of the revision.
bool GetPaperDimensions(const ModelAsk& m, int paper, std::int16_t* width, std::int16_t* length);
bool CheckSourceEntry(const ModelAsk& m, int source);
bool CheckTable22Entry(const ModelAsk& m, std::uint32_t media);
int CheckPaperEntry(const ModelAsk& m, int paper, int width, int length);

// Fills the standard part and the private block with the model's defaults.
DWORD FillDefaultDevmode(const ModelAsk& m, DevmodeBytes& dm);

} // namespace model

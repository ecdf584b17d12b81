// Fuzzes the printer stream decoder: whatever the bytes, decoding stays inside
// them, covers every byte exactly once (a token's data inside its item), its listing can be
// formatted and its pages can be drawn.
#include <cstddef>
#include <cstdint>

#include "streamdump/page_render.h"
#include "streamdump/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    streamdump::Decoding d = streamdump::Decode(data, size);
    std::size_t next = 0;
    for (const streamdump::Item& item : d.items) {
        if (item.offset != next || item.offset + item.length > size) __builtin_trap();
        next = item.offset + item.length;
        // A token's embedded data lies inside the item that carries it.
        const streamdump::Token& t = item.token;
        if (t.hasData &&
            (t.dataOffset < item.offset || t.dataSize > item.offset + item.length - t.dataOffset))
            __builtin_trap();
    }
    if (next != size) __builtin_trap();
    (void)streamdump::Format(d);
    (void)streamdump::RenderPages(data, size, d, 128);
    return 0;
}

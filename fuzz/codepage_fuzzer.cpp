// libFuzzer harness over MultiByteToWideChar on code page 932 and UTF-8, and
// back through WideCharToMultiByte: any bytes convert within the sizes asked
// for, the size protocol (ask, then convert into exactly that much) agrees
// with itself, and a short buffer never receives more than it holds.
#include <cstdint>
#include <cstring>
#include <vector>

#include "win/base.h"

namespace {

void Convert(UINT codePage, DWORD flags, const char* bytes, int length) {
    int needed = MultiByteToWideChar(codePage, flags, bytes, length, nullptr, 0);
    if (needed <= 0) return;
    std::vector<WCHAR> wide(static_cast<size_t>(needed));
    int got = MultiByteToWideChar(codePage, flags, bytes, length, wide.data(), needed);
    if (got != needed) __builtin_trap();
    // One unit short: the call fails and writes nothing past the buffer.
    if (needed > 1) {
        std::vector<WCHAR> shortBuffer(static_cast<size_t>(needed - 1));
        if (MultiByteToWideChar(codePage, flags, bytes, length, shortBuffer.data(), needed - 1) !=
            0)
            __builtin_trap();
    }
    int back = WideCharToMultiByte(codePage, 0, wide.data(), got, nullptr, 0, nullptr, nullptr);
    if (back <= 0) return;
    std::vector<char> narrow(static_cast<size_t>(back));
    if (WideCharToMultiByte(codePage, 0, wide.data(), got, narrow.data(), back, nullptr, nullptr) !=
        back)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks the code page and the flags; the rest is the text,
    // in a buffer of exactly its size.
    UINT codePage = (data[0] & 1) ? 932u : 65001u;
    DWORD flags = (data[0] & 2) ? MB_ERR_INVALID_CHARS : 0;
    std::vector<char> text(data + 1, data + size);
    text.shrink_to_fit();
    Convert(codePage, flags, text.data(), static_cast<int>(text.size()));
    // As a NUL-terminated string too.
    text.push_back('\0');
    Convert(codePage, flags, text.data(), -1);
    return 0;
}

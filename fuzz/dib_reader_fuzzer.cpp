// libFuzzer harness over the one reader of bitmap headers, colour tables and
// bits (every header size, depth and compression, JPEG and PNG payloads):
// the input is a BITMAPINFO and its bits, split where its first two bytes
// say; the usage comes from the third. What it reads is drawn stretched onto
// a small memory device context, so the engine's blits see it too.
#include <cstdint>
#include <cstdlib>

#include "../platform/gdi/src/dib.h"
#include "../platform/gdi/src/gdi_internal.h"
#include "platform/testctl.h"
#include "win/gdi_bitmap.h"

namespace {

HDC gDc = nullptr;

HDC OpenMemoryDc() {
    char root[] = "/tmp/dib-fuzz-root-XXXXXX";
    if (!mkdtemp(root)) std::abort();
    setenv("PRINTHOST_ROOT", root, 1);
    platform::test::ResetForTests();
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader =
        BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 64, -48, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc || !bmp || !SelectObject(dc, bmp)) std::abort();
    return dc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!gDc) {
        gDc = OpenMemoryDc();
        // The device context goes before the platform's tables do: they were
        // made while it was opened, so their clean-up runs after this one.
        std::atexit([] { DeleteDC(gDc); });
    }
    if (size < 3 || size > (1u << 20)) return 0;
    size_t split = static_cast<size_t>(data[0] | data[1] << 8);
    UINT usage = data[2] % 3;
    data += 3;
    size -= 3;
    if (split > size) split = size;
    platform::gdi::Dib dib;
    if (!platform::gdi::ReadDib(data, split, data + split, size - split, usage, &dib)) return 0;
    HBITMAP bmp = platform::gdi::BitmapFromDib(dib);
    if (!bmp) return 0;
    HDC src = CreateCompatibleDC(gDc);
    HGDIOBJ old = SelectObject(src, bmp);
    SetStretchBltMode(gDc, (data[0] % 4) + 1);
    StretchBlt(gDc, -3, -2, 70, 50, src, 0, 0, dib.width, dib.height, SRCCOPY);
    BLENDFUNCTION bf{AC_SRC_OVER, 0, 200, static_cast<BYTE>(dib.alpha ? AC_SRC_ALPHA : 0)};
    AlphaBlend(gDc, 5, 5, 20, 20, src, 0, 0, dib.width, dib.height, bf);
    TransparentBlt(gDc, 0, 0, 32, 32, src, 0, 0, dib.width, dib.height, 0xFF00FF);
    SelectObject(src, old);
    DeleteDC(src);
    DeleteObject(bmp);
    return 0;
}

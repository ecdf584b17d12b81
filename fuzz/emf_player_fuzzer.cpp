// libFuzzer harness over the metafile reader and player: the input is a
// metafile (seeded with the sample documents). It is read, enumerated
// without a device context, played onto an open page of a printer whose
// driver walks every path, clip and brush it is handed, and played onto a
// memory device context, which the engine draws itself (bitmap and gradient
// records included).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "win/emf.h"
#include "win/gdi_dc.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"

namespace {

HDC gDc = nullptr;
HDC gMemory = nullptr;

int CALLBACK Count(HDC, HANDLETABLE*, const ENHMETARECORD* rec, int, LPARAM p) {
    *reinterpret_cast<std::uint64_t*>(p) += rec->iType;
    return 1;
}

// A printer of the fuzz driver with a document and a page open for the whole
// run: drawing goes straight to the driver, nothing piles up.
HDC OpenPage() {
    char root[] = "/tmp/emf-fuzz-root-XXXXXX";
    if (!mkdtemp(root)) std::abort();
    setenv("PRINTHOST_ROOT", root, 1);
    platform::test::ResetForTests();
    platform::spooler::AddPort({u"LPT1:", u"Local Port", u""});
    platform::spooler::DriverRecord driver;
    driver.name = u"Fuzz";
    driver.driverPath = platform::FromUtf8(EMF_FUZZ_DRIVER_PATH);
    platform::spooler::AddDriver(driver);
    platform::spooler::PrinterRecord printer;
    printer.name = u"F";
    printer.port = u"LPT1:";
    printer.driver = u"Fuzz";
    platform::spooler::AddPrinter(printer, false);
    HDC hdc = CreateDCW(nullptr, u"F", nullptr, nullptr);
    DOCINFOW di{sizeof(DOCINFOW), u"Fuzz", nullptr, nullptr, 0};
    if (!hdc || StartDocW(hdc, &di) <= 0 || StartPage(hdc) <= 0) std::abort();
    return hdc;
}

HDC OpenMemory() {
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader =
        BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 240, -320, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc || !bmp || !SelectObject(dc, bmp)) std::abort();
    return dc;
}

} // namespace

// The font lookup loads fontconfig's configuration and FreeType once for the
// process; that happens here, before the inputs, so that what they keep is
// not taken for an input's leak.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gDc = OpenPage();
    HFONT font = CreateFontW(-40, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, u"Arial");
    HGDIOBJ old = SelectObject(gDc, font);
    TextOutW(gDc, 10, 50, u"Ag", 2);
    SelectObject(gDc, old);
    DeleteObject(font);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!gDc) {
        gDc = OpenPage();
        // The device context goes before the platform's tables do: they were
        // made while it was opened, so their clean-up runs after this one.
        std::atexit([] { DeleteDC(gDc); });
    }
    if (!gMemory) gMemory = OpenMemory();
    if (size > (1u << 20)) return 0;
    HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(size), data);
    if (!h) return 0;
    std::uint64_t sum = 0;
    EnumEnhMetaFile(nullptr, h, Count, &sum, nullptr);
    ENHMETAHEADER header;
    GetEnhMetaFileHeader(h, sizeof header, &header);
    // The frame onto the page, and onto a rectangle from the input.
    RECT page{0, 0, 1200, 1600};
    PlayEnhMetaFile(gDc, h, &page);
    RECT odd{header.rclBounds.left % 2000, header.rclBounds.top % 2000, 700, -300};
    PlayEnhMetaFile(gDc, h, &odd);
    RECT small{0, 0, 240, 320};
    PlayEnhMetaFile(gMemory, h, &small);
    DeleteEnhMetaFile(h);
    return 0;
}

#include "pages_fixture.h"

#include <cstdlib>

#include "platform/user_ctl.h"
#include "win/base.h"
#include "win/gdi_bitmap.h"
#include "win/spool.h"
#include "win/user.h"

namespace pages_test {

using namespace sheetwright;

namespace {
constexpr char16_t kPrinter[] = u"Layouts";
}

void SheetFixture::Open(const std::string& model) {
    Open(ui_test::SampleModel(model));
}

void SheetFixture::Open(const ui_test::Bytes& model) {
    ui_test::InstallPrinter(kPrinter, model, {"Resbundle.DLL"});
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &defaults));
    DEVICEPROPERTYHEADER header{sizeof header, 0, printer_, const_cast<LPWSTR>(kPrinter)};
    PropPageParams p{};
    p.size = sizeof p;
    p.printerName = const_cast<LPWSTR>(kPrinter);
    p.propertyHeader = &header;
    p.sheetKind = kSheetDocument;
    context_ = CreateSheetContext(&p);
    ASSERT_NE(context_, nullptr);
    ASSERT_NE(context_->constraints, nullptr);
}

void SheetFixture::TearDown() {
    if (context_) FreeSheetContext(context_);
    if (printer_) ClosePrinter(printer_);
    EXPECT_EQ(platform::user::test::LiveWindows(), 0u);
    for (const auto& u : platform::user::test::TakeUnanswered())
        ADD_FAILURE() << "left unanswered: " << u;
}

std::string PictureFolder() {
    const char* dir = std::getenv("PAGES_PNG_DIR");
    return dir ? dir : "";
}

COLORREF WindowPixel(HWND window, int x, int y) {
    RECT r{};
    GetWindowRect(window, &r);
    HDC screen = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(r.right - r.left, r.bottom - r.top, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(screen, bitmap);
    platform::user::driver::DrawWindow(window, screen);
    const COLORREF c = GetPixel(screen, x, y);
    SelectObject(screen, old);
    DeleteObject(bitmap);
    DeleteDC(screen);
    return c;
}

} // namespace pages_test

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
    ui_test::SheetParams p(printer_, kPrinter, kSheetDocument);
    // No sheet to call back: the pages are worked without one.
    p.params.pfnComPropSheet = nullptr;
    context_ = CreateSheetContext(&p.params);
    ASSERT_NE(context_, nullptr);
    ASSERT_NE(context_->constraints, nullptr);
}

std::u16string SheetFixture::MakeUserFolder() {
    std::u16string folder = reinterpret_cast<const char16_t*>(context_->userFolder);
    if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
    EXPECT_TRUE(CreateDirectoryTree(folder.c_str()));
    return folder;
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

std::vector<std::u16string> ComboTexts(HWND combo) {
    std::vector<std::u16string> out;
    const LRESULT n = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        WCHAR text[128] = {};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
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

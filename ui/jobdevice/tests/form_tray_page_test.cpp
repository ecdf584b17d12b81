// The Form / Tray page on a device sheet over a printer of the sample model:
// one row per tray, a paper chosen for a tray reaching "FormTrayEx" on Apply,
// records of removed trays gone, and nothing written by a sheet that is only
// opened (read-only or not).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "form_tray_page.h"
#include "form_tray_table.h"
#include "install_option.h"
#include "platform/user_ctl.h"
#include "sheet_app.h"
#include "sheet_context.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/printer_sheets.h"
#include "win/registry.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr char16_t kPrinter[] = u"FormTrayPage";

std::vector<std::u16string> Rows(HWND list) {
    std::vector<std::u16string> rows;
    const LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        WCHAR text[256] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        rows.emplace_back(text);
    }
    return rows;
}

class FormTrayPage : public ui_test::PageSheet {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"), {"Resbundle.DLL"});
        OpenPrinter(kPrinter);
    }
    void Run(DWORD flags, const Script& script) {
        Sheet sheet;
        sheet.kind = kSheetDevice;
        sheet.modeFlags = flags;
        sheet.pages = [](SheetContext* c) { return std::vector<CPropPage*>{new CFormTray(c)}; };
        Show(sheet, script);
    }
    std::vector<BYTE> Stored(DWORD* result = nullptr) {
        DWORD type = 0, needed = 0;
        DWORD r = GetPrinterDataW(printer_, const_cast<LPWSTR>(kFormTrayValue), &type, nullptr, 0,
                                  &needed);
        if (result) *result = r;
        std::vector<BYTE> b(needed);
        if (needed)
            GetPrinterDataW(printer_, const_cast<LPWSTR>(kFormTrayValue), &type, b.data(), needed,
                            &needed);
        return b;
    }
};

TEST_F(FormTrayPage, APaperChosenForATrayIsStoredOnApply) {
    std::u16string chosen;
    WORD tray = 0;
    Run(0, [&](HWND sheet, HWND page) {
        HWND list = GetDlgItem(page, CFormTray::kTrayList);
        const std::vector<std::u16string> rows = Rows(list);
        ASSERT_FALSE(rows.empty());
        for (const std::u16string& r : rows)
            EXPECT_NE(r.find(u"\tUnspecified"), std::u16string::npos)
                << std::string(r.begin(), r.end());
        tray = static_cast<WORD>(SendMessageW(list, LB_GETITEMDATA, 0, 0));
        EXPECT_EQ(drv::ReadSelection(list), 0);
        HWND paper = GetDlgItem(page, CFormTray::kPaperCombo);
        ASSERT_GT(SendMessageW(paper, CB_GETCOUNT, 0, 0), 1);
        ASSERT_TRUE(drv::SelectItem(paper, 1));
        chosen = drv::ReadText(paper);
        EXPECT_NE(Rows(list)[0].find(chosen), std::u16string::npos);
        if (const char* dir = std::getenv("PAGES_PNG_DIR"))
            drv::SavePng(sheet, std::string(dir) + "/form_tray_page.png");
        drv::PressButton(sheet, IDOK);
    });
    const std::vector<BYTE> stored = Stored();
    ASSERT_GE(stored.size(), 16u);
    ASSERT_EQ(stored.size() % 16, 0u);
    // The first record is the first tray's, carrying the marker and a paper.
    DWORD marker = 0;
    std::memcpy(&marker, stored.data(), 4);
    EXPECT_EQ(marker, kFormTrayMarker);
    EXPECT_EQ(stored[4] | stored[5] << 8, tray);
    EXPECT_NE(stored[6] | stored[7] << 8, 0);
    for (size_t i = 10; i < 16; ++i)
        EXPECT_EQ(stored[i], 0) << i;
}

TEST_F(FormTrayPage, OpeningASheetWritesNothing) {
    for (DWORD flags : {DWORD{0}, DWORD{DPS_NOPERMISSION}}) {
        Run(flags, [&](HWND sheet, HWND page) {
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(page, CFormTray::kPaperCombo)) != FALSE,
                      flags == 0);
            drv::PressButton(sheet, IDCANCEL);
        });
        DWORD result = 0;
        EXPECT_TRUE(Stored(&result).empty());
        EXPECT_NE(result, DWORD(ERROR_SUCCESS));
    }
}

TEST_F(FormTrayPage, ARemovedTraysAssignmentIsGone) {
    ui_test::BoundPrinter bound(kPrinter);
    ASSERT_TRUE(bound.ok());
    CInstallOption options(printer_, bound.binding());
    const InstallOptionEntry* optional = options.FindNth(kOptionInputTray, 1);
    ASSERT_NE(optional, nullptr);
    const WORD removed = optional->value;
    options.Find(kOptionInputTray, removed)->state = 0;
    options.Write();
    std::vector<BYTE> record(16, 0);
    record[0] = 7;
    record[4] = static_cast<BYTE>(removed);
    record[5] = static_cast<BYTE>(removed >> 8);
    record[6] = 9;
    ASSERT_EQ(SetPrinterDataW(printer_, const_cast<LPWSTR>(kFormTrayValue), REG_BINARY,
                              record.data(), 16),
              DWORD(ERROR_SUCCESS));
    Run(0, [&](HWND sheet, HWND page) {
        HWND list = GetDlgItem(page, CFormTray::kTrayList);
        for (LRESULT i = 0; i < SendMessageW(list, LB_GETCOUNT, 0, 0); ++i)
            EXPECT_NE(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0), removed);
        ASSERT_TRUE(drv::SelectItem(GetDlgItem(page, CFormTray::kPaperCombo), 1));
        drv::PressButton(sheet, IDOK);
    });
    const std::vector<BYTE> stored = Stored();
    ASSERT_EQ(stored.size() % 16, 0u);
    for (size_t at = 0; at < stored.size(); at += 16)
        EXPECT_NE(stored[at + 4] | stored[at + 5] << 8, removed);
}

} // namespace

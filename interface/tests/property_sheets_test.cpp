// The document and device sheets through the spooler's DocumentPropertiesW and
// PrinterProperties, the direct call, and the block handed to MFCPropPage.
#include <cstring>
#include <vector>

#include "frontdoor_fixture.h"
#include "platform/user_ctl.h"

namespace frontdoor_test {
namespace {

namespace drv = platform::user::driver;
namespace ut = platform::user::test;

class Sheets : public FrontdoorTest {
  protected:
    const PropPageParams* Params() {
        return As<const PropPageParams* (*)()>(GetProcAddress(ui, "FakeSheetwrightParams"))();
    }
    void SetPages(int result) {
        As<void (*)(int, int, bool)>(GetProcAddress(ui, "FakeSheetwrightSet"))(0, result, true);
    }
};

TEST_F(Sheets, DirectCall) {
    Open(SampleModel("CX5540"));
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, nullptr, nullptr, 0), 1320);
    EXPECT_EQ(UiLog(), ""); // nothing made for the size
    // A caller's tray stays even where the revision ends on the automatic one.
    DEVMODE_IMAGEW in{};
    in.dm.dmSize = 220;
    in.dm.dmSpecVersion = 0x0401;
    in.dm.dmFields = DM_DEFAULTSOURCE | DM_COPIES;
    in.dm.dmDefaultSource = 1;
    in.dm.dmCopies = 3;
    DEVMODE_IMAGEW out{};
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, &out.dm, &in.dm,
                                  DM_IN_BUFFER | DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(out.dm.dmDefaultSource, 1);
    EXPECT_EQ(out.dm.dmCopies, 3);
    EXPECT_EQ(out.dm.dmSize, 220);
    EXPECT_EQ(out.dm.dmDriverExtra, 0); // the caller's own private size
    EXPECT_EQ(UiLog().find("pages"), std::string::npos);
}

TEST_F(Sheets, DocumentSheetOkWritesBackCancelDoesNot) {
    Open(SampleModel("CX5540"));
    ut::AnswerNextModal([](HWND sheet) {
        EXPECT_TRUE(drv::TypeText(drv::FindControl(sheet, 1002), u"4"));
        EXPECT_TRUE(drv::SetCheck(drv::FindControl(sheet, 1001), BST_CHECKED));
        drv::PressButton(sheet, IDOK);
    });
    DEVMODE_IMAGEW out{};
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, &out.dm, nullptr,
                                  DM_IN_PROMPT | DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(out.dm.dmCopies, 4);
    EXPECT_EQ(out.dm.dmCollate, DMCOLLATE_TRUE);
    EXPECT_EQ(out.dm.dmSize, 220);
    EXPECT_EQ(out.dm.dmDriverExtra, 1100);
    EXPECT_EQ(out.priv.EmfMode & 1, 1u); // four collated copies: the driver collates
    EXPECT_EQ(ut::LivePropertySheetPages(), 0u);

    ut::AnswerNextModal([](HWND sheet) {
        EXPECT_TRUE(drv::TypeText(drv::FindControl(sheet, 1002), u"9"));
        drv::PressButton(sheet, IDCANCEL);
    });
    DEVMODE_IMAGEW untouched{};
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, &untouched.dm, nullptr,
                                  DM_IN_PROMPT | DM_OUT_BUFFER),
              IDCANCEL);
    EXPECT_EQ(untouched.dm.dmSize, 0);
    EXPECT_EQ(ut::LivePropertySheetPages(), 0u);
}

// The block laid out by hand from its offsets.
TEST_F(Sheets, PropPageParamsBlock) {
    Open(SampleModel("CX5540"));
    ut::AnswerNextModal([](HWND sheet) { drv::PressButton(sheet, IDCANCEL); });
    DEVMODE_IMAGEW in{};
    in.dm.dmSize = 220;
    in.dm.dmSpecVersion = 0x0401;
    DocumentPropertiesW(nullptr, printer, const_cast<LPWSTR>(u"P"), nullptr, &in.dm,
                        DM_IN_PROMPT | DM_IN_BUFFER);
    Bytes b(112);
    std::memcpy(b.data(), Params(), 112);
    auto u32 = [&](size_t at) {
        DWORD v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    };
    auto ptr = [&](size_t at) {
        void* v;
        std::memcpy(&v, b.data() + at, 8);
        return v;
    };
    auto u16 = [&](size_t at) { return static_cast<WORD>(b[at] | (b[at + 1] << 8)); };
    EXPECT_EQ(u32(0), 112u);
    EXPECT_EQ(ptr(8), nullptr);
    EXPECT_EQ(ptr(16), static_cast<void*>(frontdoor));
    EXPECT_EQ(ptr(24), static_cast<void*>(&in.dm));
    EXPECT_NE(ptr(32), nullptr);
    EXPECT_NE(ptr(40), nullptr); // the caller's name, alive only during the call
    EXPECT_NE(ptr(56), nullptr);
    EXPECT_EQ(ptr(64), nullptr);
    EXPECT_EQ(u32(72), 0u);
    EXPECT_NE(ptr(80), nullptr);
    EXPECT_NE(ptr(88), nullptr);
    EXPECT_EQ(u32(96), static_cast<DWORD>(DM_IN_PROMPT | DM_IN_BUFFER));
    EXPECT_EQ(u32(100), 1u);
    EXPECT_EQ(u16(104), 4);
    EXPECT_EQ(u16(106), 1);
    EXPECT_EQ(u32(108), 0u);

    ut::AnswerNextModal([](HWND sheet) { drv::PressButton(sheet, IDOK); });
    EXPECT_TRUE(PrinterProperties(nullptr, printer));
    std::memcpy(b.data(), Params(), 112);
    EXPECT_EQ(ptr(24), nullptr);
    EXPECT_EQ(u32(100), 2u);
    EXPECT_EQ(u32(96), static_cast<DWORD>(DPS_NOPERMISSION)); // opened for use only
    // With administration rights the device settings may change.
    HANDLE admin = nullptr;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &admin, &access));
    ut::AnswerNextModal([](HWND sheet) { drv::PressButton(sheet, IDOK); });
    EXPECT_TRUE(PrinterProperties(nullptr, admin));
    ClosePrinter(admin);
    std::memcpy(b.data(), Params(), 112);
    EXPECT_EQ(u32(96), 0u);
}

TEST_F(Sheets, PagesThatFailGiveUpTheSheet) {
    Open(SampleModel("CX5540"));
    SetPages(0);
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, nullptr, nullptr, DM_IN_PROMPT), -1);
    EXPECT_FALSE(PrinterProperties(nullptr, printer));
    EXPECT_NE(UiLog().find("pages 1\n"), std::string::npos) << UiLog();
    EXPECT_NE(UiLog().find("pages 2\n"), std::string::npos) << UiLog();
}

// One page made, the next not: the sheet goes on with the page it has, and
// OK still writes the image back.
TEST_F(Sheets, SheetGoesOnWithThePagesItHas) {
    Open(SampleModel("CX5540"));
    SetPages(2);
    ut::AnswerNextModal([](HWND sheet) {
        EXPECT_TRUE(drv::TypeText(drv::FindControl(sheet, 1002), u"7"));
        drv::PressButton(sheet, IDOK);
    });
    DEVMODE_IMAGEW out{};
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, &out.dm, nullptr,
                                  DM_IN_PROMPT | DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(out.dm.dmCopies, 7);
    EXPECT_EQ(ut::LivePropertySheetPages(), 0u);
}

// A result other than OK leaves the output alone and is still passed on.
TEST_F(Sheets, SetResultOtherThanOk) {
    Open(SampleModel("CX5540"));
    auto sheets = Entry<PFN_DrvDocumentPropertySheets>("DrvDocumentPropertySheets");
    DEVMODE_IMAGEW out{};
    DOCUMENTPROPERTYHEADER header{sizeof header, 0,       printer, const_cast<LPWSTR>(u"P"),
                                  nullptr,       &out.dm, 0,       DM_IN_PROMPT | DM_OUT_BUFFER};
    std::vector<HPROPSHEETPAGE> pages;
    PFNCOMPROPSHEET collect = [](HANDLE h, UINT function, LPARAM l1, LPARAM) -> LONG_PTR {
        auto* list = static_cast<std::vector<HPROPSHEETPAGE>*>(h);
        if (function == CPSFUNC_ADD_HPROPSHEETPAGE)
            list->push_back(reinterpret_cast<HPROPSHEETPAGE>(l1));
        if (function == CPSFUNC_GET_PAGECOUNT) return static_cast<LONG_PTR>(list->size());
        return l1;
    };
    PROPSHEETUI_INFO info{sizeof info,
                          PROPSHEETUI_INFO_VERSION,
                          0,
                          PROPSHEETUI_REASON_INIT,
                          &pages,
                          collect,
                          reinterpret_cast<LPARAM>(&header),
                          0,
                          0};
    ASSERT_EQ(sheets(&info, 0), 1);
    PROPSHEETUI_INFO_HEADER title{};
    info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
    EXPECT_EQ(sheets(&info, reinterpret_cast<LPARAM>(&title)), 1);
    EXPECT_EQ(title.Flags, PSUIHDRF_NOAPPLYNOW | PSUIHDRF_PROPTITLE);
    EXPECT_EQ(title.IconID, 64062u);
    EXPECT_EQ(title.hInst, reinterpret_cast<HINSTANCE>(frontdoor));
    SETRESULT_INFO result{sizeof result, 0, nullptr, CPSUI_CANCEL};
    info.Reason = PROPSHEETUI_REASON_SET_RESULT;
    info.Result = 99;
    EXPECT_EQ(sheets(&info, reinterpret_cast<LPARAM>(&result)), 1);
    EXPECT_EQ(info.Result, static_cast<ULONG_PTR>(CPSUI_CANCEL));
    EXPECT_EQ(out.dm.dmSize, 0);
    result.Result = CPSUI_OK;
    EXPECT_EQ(sheets(&info, reinterpret_cast<LPARAM>(&result)), 1);
    EXPECT_EQ(out.dm.dmSize, 220);
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(sheets(&info, 0), 1);
    for (HPROPSHEETPAGE page : pages)
        DestroyPropertySheetPage(page);
}

TEST_F(Sheets, NoUiLibrary) {
    Open(SampleModel("CX5540"), Ui::Bare);
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, nullptr, nullptr, DM_IN_PROMPT), -1);
    EXPECT_FALSE(PrinterProperties(nullptr, printer));
}

TEST_F(Sheets, ForeignUserDataIsRefused) {
    Open(SampleModel("CX5540"));
    DOCUMENTPROPERTYHEADER header{sizeof header, 0,       printer, const_cast<LPWSTR>(u"P"),
                                  nullptr,       nullptr, 0,       DM_IN_PROMPT};
    ULONG_PTR notAContext[8] = {};
    for (WORD reason : {WORD{PROPSHEETUI_REASON_GET_INFO_HEADER}, WORD{PROPSHEETUI_REASON_DESTROY},
                        WORD{PROPSHEETUI_REASON_SET_RESULT}, WORD{7}}) {
        PROPSHEETUI_INFO info{sizeof info, PROPSHEETUI_INFO_VERSION, 0, reason};
        info.lParamInit = reinterpret_cast<LPARAM>(&header);
        info.UserData = reinterpret_cast<ULONG_PTR>(notAContext);
        EXPECT_EQ(Entry<PFN_DrvDocumentPropertySheets>("DrvDocumentPropertySheets")(&info, 0), -1);
        EXPECT_EQ(Entry<PFN_DrvDevicePropertySheets>("DrvDevicePropertySheets")(&info, 0), -1);
    }
    EXPECT_EQ(Entry<PFN_DrvDevicePropertySheets>("DrvDevicePropertySheets")(nullptr, 0), -1);
    EXPECT_EQ(Entry<PFN_DrvDocumentPropertySheets>("DrvDocumentPropertySheets")(nullptr, 0), -1);
}

} // namespace
} // namespace frontdoor_test

namespace frontdoor_test {
namespace {

// A device mode of the driver's older version: 188 standard bytes and its
// 112-byte private part, laid out from its offsets.
std::vector<BYTE> OldVersionDevmode(short copies) {
    std::vector<BYTE> b(188 + 112, 0);
    auto* dm = reinterpret_cast<DEVMODEW*>(b.data());
    dm->dmSpecVersion = 0x0320;
    dm->dmDriverVersion = 0x0350;
    dm->dmSize = 188;
    dm->dmDriverExtra = 112;
    dm->dmFields = DM_COPIES;
    dm->dmCopies = copies;
    return b;
}

// The spooler hands the library, and stores, a device mode of another
// version as the driver makes it now.
TEST_F(Sheets, OlderVersionDevmodesAreConverted) {
    Open(SampleModel("CX5540"));
    std::vector<BYTE> old = OldVersionDevmode(5);
    DEVMODE_IMAGEW out{};
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, &out.dm,
                                  reinterpret_cast<PDEVMODEW>(old.data()),
                                  DM_IN_BUFFER | DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(out.dm.dmSize, 220);
    EXPECT_EQ(out.dm.dmDriverExtra, 1100);
    EXPECT_EQ(out.dm.dmDriverVersion, 0x0500);
    EXPECT_EQ(out.dm.dmCopies, 5);

    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE admin = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &admin, &all));
    DWORD needed = 0;
    GetPrinterW(admin, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    ASSERT_TRUE(GetPrinterW(admin, 2, info.data(), needed, &needed));
    auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
    old = OldVersionDevmode(7);
    p2->pDevMode = reinterpret_cast<PDEVMODEW>(old.data());
    ASSERT_TRUE(SetPrinterW(admin, 2, info.data(), 0));
    GetPrinterW(admin, 8, nullptr, 0, &needed);
    std::vector<BYTE> stored(needed);
    ASSERT_TRUE(GetPrinterW(admin, 8, stored.data(), needed, &needed));
    const DEVMODEW* dm = reinterpret_cast<PRINTER_INFO_8W*>(stored.data())->pDevMode;
    ASSERT_NE(dm, nullptr);
    EXPECT_EQ(dm->dmSize, 220);
    EXPECT_EQ(dm->dmDriverExtra, 1100);
    EXPECT_EQ(dm->dmCopies, 7);
    ClosePrinter(admin);
}

} // namespace
} // namespace frontdoor_test

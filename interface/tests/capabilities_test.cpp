// Device capabilities and the print query, with the stand-in UI library's
// fixed lists and record, and without the library or its exports.
#include <cstring>

#include "frontdoor_fixture.h"
#include "win/gdi_text.h"

namespace frontdoor_test {
namespace {

class Capabilities : public FrontdoorTest {
  protected:
    DWORD Ask(WORD index, void* output = nullptr, DEVMODEW* dm = nullptr) {
        return Entry<PFN_DrvDeviceCapabilities>("DrvDeviceCapabilities")(
            printer, const_cast<LPWSTR>(u"P"), index, output, dm);
    }
};

TEST_F(Capabilities, EveryIndexFromTheUiLibrary) {
    Open(SampleModel("CX5540"));
    struct Case {
        WORD index;
        DWORD answer;
    } cases[] = {
        {0, GDI_ERROR},
        {DC_FIELDS, DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE | DM_PRINTQUALITY |
                        DM_COLLATE | DM_DUPLEX | DM_TTOPTION},
        {DC_PAPERS, 2},
        {DC_PAPERSIZE, 2},
        {DC_MINEXTENT, (1480u << 16) | 900},
        {DC_MAXEXTENT, (12000u << 16) | 3048},
        {DC_BINS, 2},
        {DC_DUPLEX, 1},
        {DC_SIZE, 220},
        {DC_EXTRA, 1100},
        {DC_VERSION, 0x0401},
        {DC_DRIVER, 0x0500},
        {DC_BINNAMES, 2},
        {DC_ENUMRESOLUTIONS, 2},
        {DC_FILEDEPENDENCIES, GDI_ERROR},
        {DC_TRUETYPE, DCTT_SUBDEV | DCTT_DOWNLOAD | DCTT_BITMAP},
        {DC_PAPERNAMES, 2},
        {DC_ORIENTATION, 90},
        {DC_COPIES, 999},
        {DC_BINADJUST, GDI_ERROR},
        {DC_EMF_COMPLIANT, GDI_ERROR},
        {DC_DATATYPE_PRODUCED, GDI_ERROR},
        {DC_COLLATE, 1},
        {DC_MANUFACTURER, GDI_ERROR},
        {DC_MODEL, GDI_ERROR},
        {DC_PERSONALITY, 1},
        {DC_PRINTRATE, 40},
        {DC_PRINTRATEUNIT, PRINTRATEUNIT_PPM},
        {DC_PRINTERMEM, 65536},
        {DC_MEDIAREADY, 1},
        {DC_STAPLE, 1},
        {DC_PRINTRATEPPM, 40},
        {DC_COLORDEVICE, 0},
        {DC_NUP, 7},
        {DC_MEDIATYPENAMES, 2},
        {DC_MEDIATYPES, 2},
        {36, GDI_ERROR},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Ask(c.index), c.answer) << "index " << c.index;

    WORD ids[2];
    EXPECT_EQ(Ask(DC_PAPERS, ids), 2u);
    EXPECT_EQ(ids[0], 9);
    EXPECT_EQ(ids[1], 1);
    POINT sizes[2];
    EXPECT_EQ(Ask(DC_PAPERSIZE, sizes), 2u);
    EXPECT_EQ(sizes[1].x, 2159);
    EXPECT_EQ(sizes[1].y, 2794);
    WCHAR names[2][64];
    EXPECT_EQ(Ask(DC_PAPERNAMES, names), 2u);
    EXPECT_EQ(std::u16string(names[1]), u"Letter");
    WCHAR bins[2][24];
    EXPECT_EQ(Ask(DC_BINNAMES, bins), 2u);
    EXPECT_EQ(std::u16string(bins[1]), u"Tray 1");
    LONG resolutions[4];
    EXPECT_EQ(Ask(DC_ENUMRESOLUTIONS, resolutions), 2u);
    EXPECT_EQ(resolutions[2], 600);
    EXPECT_EQ(resolutions[3], 600);
    DWORD nup[7];
    EXPECT_EQ(Ask(DC_NUP, nup), 7u);
    EXPECT_EQ(nup[6], 16u);
    DWORD media[2];
    EXPECT_EQ(Ask(DC_MEDIATYPES, media), 2u);
    EXPECT_EQ(media[1], 259u);
    WCHAR personality[32];
    EXPECT_EQ(Ask(DC_PERSONALITY, personality), 1u);

    // An application asks through the spooler's DeviceCapabilitiesW.
    EXPECT_EQ(DeviceCapabilitiesW(u"P", nullptr, DC_COPIES, nullptr, nullptr), 999u);
    EXPECT_EQ(DeviceCapabilitiesW(u"P", nullptr, DC_PAPERS, reinterpret_cast<LPWSTR>(ids), nullptr),
              2u);
    EXPECT_EQ(DeviceCapabilitiesW(u"Nobody", nullptr, DC_COPIES, nullptr, nullptr), GDI_ERROR);
}

TEST_F(Capabilities, HeaderValuesFollowTheCallersDevmode) {
    Open(SampleModel("CX5540"));
    DEVMODE_IMAGEW d{};
    d.dm.dmSize = 220;
    d.dm.dmSpecVersion = 0x0401;
    d.dm.dmDriverExtra = 0;
    d.dm.dmFields = DM_COPIES;
    d.dm.dmCopies = 4;
    // Without DM_TTOPTION the answer is 0 and the UI library's list is not asked.
    As<void (*)(int, int, bool)>(GetProcAddress(ui, "FakeSheetwrightSet"))(0, 1, false);
    ClearUiLog();
    EXPECT_EQ(Ask(DC_TRUETYPE, nullptr, &d.dm), 0u);
    EXPECT_EQ(UiLog().find("enum 11"), std::string::npos) << UiLog();
    As<void (*)(int, int, bool)>(GetProcAddress(ui, "FakeSheetwrightSet"))(0, 1, true);
    EXPECT_EQ(Ask(DC_COPIES, nullptr, &d.dm), 999u);
    // Rotation by 270 when the private flags ask for it.
    d.dm.dmDriverExtra = 1100;
    d.priv.Signature = PRIVATE_DEVMODE_SIGNATURE;
    d.priv.PrivateFlags = 0x2;
    d.priv.OptionFlags = 0x2;
    d.priv.Rotate180 = 1;
    EXPECT_EQ(Ask(DC_ORIENTATION, nullptr, &d.dm), 270u);

    // A printer default longer than an image is taken only as far as an image goes.
    Bytes big(220 + 1300, 0);
    auto* stored = reinterpret_cast<DEVMODEW*>(big.data());
    stored->dmSpecVersion = 0x0401;
    stored->dmSize = 220;
    stored->dmDriverExtra = 1300;
    stored->dmFields = DM_COPIES;
    stored->dmCopies = 6;
    HANDLE admin = nullptr;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &admin, &access));
    PRINTER_INFO_8W info{stored};
    ASSERT_TRUE(SetPrinterW(admin, 8, reinterpret_cast<LPBYTE>(&info), 0));
    ClosePrinter(admin);
    EXPECT_EQ(Ask(DC_SIZE), 220u);
    EXPECT_EQ(Ask(DC_EXTRA), 1100u);
}

TEST_F(Capabilities, WithoutTheUiLibraryOrItsExports) {
    for (Ui ui_ : {Ui::Bare, Ui::None}) {
        Open(SampleModel("LP1220"), ui_);
        struct Case {
            WORD index;
            DWORD answer;
        } cases[] = {
            {DC_PAPERS, 0},           {DC_MINEXTENT, GDI_ERROR}, {DC_DUPLEX, 0},
            {DC_COLLATE, GDI_ERROR},  {DC_PERSONALITY, 1},       {DC_STAPLE, 0},
            {DC_SIZE, GDI_ERROR}, // no revision: the merged device mode cannot be made
            {DC_TRUETYPE, GDI_ERROR},
        };
        for (const auto& c : cases)
            EXPECT_EQ(Ask(c.index), c.answer) << "index " << c.index;
        TearDown();
        printer = nullptr;
        frontdoor = nullptr;
        ui = nullptr;
    }
}

TEST_F(Capabilities, PrintQuery) {
    Open(SampleModel("CX5540"));
    auto query = Entry<PFN_DevQueryPrintEx>("DevQueryPrintEx");
    DEVQUERYPRINT_INFO info{sizeof info, 1, printer, nullptr, nullptr, 0, 0};
    EXPECT_TRUE(query(&info));
    DEVMODE_IMAGEW d{};
    d.dm.dmSize = 220;
    d.dm.dmSpecVersion = 0x0401;
    d.dm.dmFields = DM_PRINTQUALITY | DM_COPIES;
    d.dm.dmPrintQuality = 1200;
    d.dm.dmCopies = 2;
    WCHAR text[64];
    info = {sizeof info, 1, printer, &d.dm, text, 64, 0};
    EXPECT_FALSE(query(&info));
    EXPECT_EQ(std::u16string(text), u"Invalid resolution");
    EXPECT_EQ(info.cchNeeded, 19u);
    // A short buffer gets what fits and a NUL; the count is the whole text's.
    WCHAR small[8];
    info = {sizeof info, 1, printer, &d.dm, small, 8, 0};
    EXPECT_FALSE(query(&info));
    EXPECT_EQ(std::u16string(small), u"Invalid");
    EXPECT_EQ(small[7], 0);
    EXPECT_EQ(info.cchNeeded, 19u);
    // A printable device mode goes to the UI library as the merged image.
    d.dm.dmPrintQuality = 600;
    ClearUiLog();
    info = {sizeof info, 1, printer, &d.dm, text, 64, 0};
    EXPECT_TRUE(query(&info));
    EXPECT_EQ(info.pDevMode, &d.dm);
    EXPECT_NE(UiLog().find("query copies=2"), std::string::npos) << UiLog();
    d.dm.dmCopies = 150;
    EXPECT_FALSE(query(&info));
    // A device mode that cannot be read is refused.
    d.dm.dmSize = 10;
    EXPECT_FALSE(query(&info));
    EXPECT_EQ(std::u16string(text), u"Invalid DEVMODE structure");
}

TEST(FormatDriverMessage, Directives) {
    WCHAR out[64];
    DWORD needed = 0;
    EXPECT_EQ(frontdoor::FormatDriverMessage(nullptr, out, 64, &needed, u"%s=%d %u %x %X %c %q%%",
                                             u"n", -5, 7u, 255u, 255u, u'Z'),
              17u);
    EXPECT_EQ(std::u16string(out), u"n=-5 7 ff FF Z q%");
    EXPECT_EQ(needed, 18u);
    // A missing string shows as a blank that is not counted.
    EXPECT_EQ(frontdoor::FormatDriverMessage(nullptr, out, 64, &needed, u"[%s]",
                                             static_cast<LPCWSTR>(nullptr)),
              3u);
    EXPECT_EQ(std::u16string(out), u"[ ]");
    EXPECT_EQ(needed, 3u);
    // Without a buffer only the count is made.
    EXPECT_EQ(frontdoor::FormatDriverMessage(nullptr, nullptr, 0, &needed, u"%s", u"abcdef"), 0u);
    EXPECT_EQ(needed, 7u);
}

} // namespace
} // namespace frontdoor_test

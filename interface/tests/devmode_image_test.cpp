// The device-mode image: conversion between versions within the caller's
// buffer, writing back in the caller's sizes, form matching and the
// spool-side playback flag.
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "frontdoor_fixture.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/user_ctl.h"

namespace frontdoor_test {
namespace {

namespace ut = platform::user::test;

template <class T> T At(const Bytes& b, size_t off) {
    T v;
    std::memcpy(&v, b.data() + off, sizeof v);
    return v;
}
template <class T> void Set(Bytes& b, size_t off, T v) {
    std::memcpy(b.data() + off, &v, sizeof v);
}

// A device mode of spec version 0x0320 laid out by hand: 188 standard bytes
// (version words at 64, dmFields at 72, dmCopies at 86) and 112 private ones.
Bytes OldDevmode() {
    Bytes b(300, 0);
    Set<WORD>(b, 64, 0x0320);
    Set<WORD>(b, 66, 0x0350);
    Set<WORD>(b, 68, 188);
    Set<WORD>(b, 70, 112);
    Set<DWORD>(b, 72, DM_COPIES);
    Set<short>(b, 86, 3);
    for (size_t i = 188; i < 300; ++i)
        b[i] = static_cast<BYTE>(i);
    return b;
}

// An empty image of the driver's own sizes, laid out by hand.
Bytes EmptyImage() {
    Bytes b(1320, 0);
    Set<WORD>(b, 64, 0x0401);
    Set<WORD>(b, 66, 0x0500);
    Set<WORD>(b, 68, 220);
    Set<WORD>(b, 70, 1100);
    return b;
}

DEVMODEW* Dm(Bytes& b) {
    return reinterpret_cast<DEVMODEW*>(b.data());
}

TEST(DevmodeImage, OldDevmodeIntoTheImage) {
    Bytes old = OldDevmode(), image = EmptyImage();
    EXPECT_EQ(frontdoor::ConvertDevModeParts(Dm(old), Dm(image)), 188 + 112);
    EXPECT_EQ(At<WORD>(image, 64), 0x0401);
    EXPECT_EQ(At<WORD>(image, 66), 0x0500);
    EXPECT_EQ(At<WORD>(image, 68), 220);
    EXPECT_EQ(At<WORD>(image, 70), 1100);
    EXPECT_EQ(At<short>(image, 86), 3);
    EXPECT_EQ(image[220], 188); // the private part moved to the image's own offset
    EXPECT_EQ(image[220 + 111], static_cast<BYTE>(299));
    EXPECT_EQ(image[220 + 112], 0);
}

TEST(DevmodeImage, UnusableDevmodesAreRefused) {
    Bytes image = EmptyImage(), old = OldDevmode();
    Bytes odd = EmptyImage();
    Set<WORD>(odd, 68, 200); // a size of its own, no version to go with it
    Set<WORD>(odd, 64, 0);
    EXPECT_EQ(frontdoor::ConvertDevModeParts(Dm(old), Dm(odd)), -1);
    EXPECT_EQ(frontdoor::ConvertDevModeParts(Dm(odd), Dm(image)), -1);
    Set<WORD>(odd, 64, 0x0400);
    EXPECT_EQ(frontdoor::ConvertDevModeParts(Dm(odd), Dm(image)), 200 + 1100);
    Bytes tiny = EmptyImage();
    Set<WORD>(tiny, 68, 10); // shorter than its own size words
    Set<WORD>(tiny, 64, 0x0401);
    EXPECT_EQ(frontdoor::ConvertDevModeParts(Dm(tiny), Dm(image)), -1);
    EXPECT_EQ(frontdoor::ConvertDevModeParts(nullptr, Dm(image)), -1);
    EXPECT_EQ(frontdoor::ConvertDevModeParts(Dm(image), nullptr), -1);
}

TEST(DevmodeImage, CopyOutKeepsTheCallersSizes) {
    Bytes image = EmptyImage();
    Set<short>(image, 86, 5);
    image[220] = 0xAB;
    Bytes model = OldDevmode();
    Bytes out(300 + 16, 0xEE); // what the caller's sizes allow, and a guard
    ASSERT_TRUE(frontdoor::CopyDevmodeOut(Dm(image), Dm(model), Dm(out)));
    EXPECT_EQ(At<WORD>(out, 68), 188);
    EXPECT_EQ(At<WORD>(out, 70), 112);
    EXPECT_EQ(At<WORD>(out, 64), 0x0320);
    EXPECT_EQ(At<WORD>(out, 66), 0x0350);
    EXPECT_EQ(At<short>(out, 86), 5);
    EXPECT_EQ(out[188], 0xAB);
    for (size_t i = 300; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0xEE) << i;
}

TEST(DevmodeImage, ConvertNeverWritesPastTheCallersBuffer) {
    Bytes old = OldDevmode();
    Bytes out = EmptyImage();
    LONG needed = 1319; // one byte short of what the target's sizes say
    SetLastError(0);
    EXPECT_FALSE(frontdoor::ConvertDevMode(nullptr, Dm(old), Dm(out), &needed, CDM_CONVERT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(At<short>(out, 86), 0);
    needed = 1320;
    EXPECT_TRUE(frontdoor::ConvertDevMode(nullptr, Dm(old), Dm(out), &needed, CDM_CONVERT));
    EXPECT_EQ(needed, 1320);
    EXPECT_EQ(At<short>(out, 86), 3);

    Bytes small(300, 0);
    needed = 299;
    EXPECT_FALSE(frontdoor::ConvertDevMode(nullptr, Dm(out), Dm(small), &needed, CDM_CONVERT351));
    EXPECT_EQ(needed, 300);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(frontdoor::ConvertDevMode(nullptr, Dm(out), Dm(small), &needed, CDM_CONVERT351));
    EXPECT_EQ(At<WORD>(small, 68), 188);
    EXPECT_EQ(At<WORD>(small, 64), 0x0320);
    EXPECT_EQ(At<short>(small, 86), 3);

    needed = 1319;
    EXPECT_FALSE(frontdoor::ConvertDevMode(nullptr, nullptr, nullptr, &needed, CDM_DRIVER_DEFAULT));
    EXPECT_EQ(needed, 1320);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(0);
    EXPECT_FALSE(frontdoor::ConvertDevMode(nullptr, nullptr, nullptr, nullptr, CDM_CONVERT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_FALSE(frontdoor::ConvertDevMode(nullptr, nullptr, nullptr, &needed, 8));
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(DevmodeImage, PlaybackFlag) {
    struct Case {
        const char* name;
        void (*set)(DEVMODE_IMAGEW&);
        DWORD expected;
    } cases[] = {
        {"nothing", [](DEVMODE_IMAGEW&) {}, 0},
        {"driver collation",
         [](DEVMODE_IMAGEW& d) {
             d.dm.dmFields = DM_COPIES | DM_COLLATE;
             d.dm.dmCollate = 1;
             d.dm.dmCopies = 2;
         },
         1},
        {"device collation",
         [](DEVMODE_IMAGEW& d) {
             d.dm.dmFields = DM_COPIES | DM_COLLATE;
             d.dm.dmCollate = 1;
             d.dm.dmCopies = 2;
             d.priv.PrivateFlags = 1u << 15;
         },
         0},
        {"n-up",
         [](DEVMODE_IMAGEW& d) {
             d.priv.FeatureFlags = 1u << 3;
             d.priv.LayoutKind = 1;
         },
         1},
        {"forbidden",
         [](DEVMODE_IMAGEW& d) {
             d.priv.FeatureFlags = 1u << 3;
             d.priv.LayoutKind = 1;
             d.priv.EmfMode = 0x5;
         },
         0},
        {"booklet needs short-edge duplex",
         [](DEVMODE_IMAGEW& d) {
             d.priv.FeatureFlags = 1u << 2;
             d.priv.LayoutKind = 2;
             d.dm.dmFields = DM_DUPLEX;
             d.dm.dmDuplex = DMDUP_VERTICAL;
         },
         0},
        {"cover pages",
         [](DEVMODE_IMAGEW& d) {
             d.priv.PrivateFlags = (1u << 21) | (1u << 23);
             d.priv.CoverFlags = 2;
         },
         1},
    };
    for (const auto& c : cases) {
        DEVMODE_IMAGEW d{};
        d.priv.EmfMode = 1;
        c.set(d);
        EXPECT_EQ(frontdoor::UpdateEmfPlaybackFlag(&d.dm, &d.priv), c.expected) << c.name;
        EXPECT_EQ(d.priv.EmfMode & 1, c.expected) << c.name;
    }
}

class FormsTest : public FrontdoorTest {};

TEST_F(FormsTest, CustomSizeMatchesAFormWithinAMillimetre) {
    Open(SampleModel("CX5540"));
    DWORD needed = 0, count = 0;
    EnumFormsW(printer, 1, nullptr, 0, &needed, &count);
    Bytes forms(needed);
    ASSERT_TRUE(EnumFormsW(printer, 1, forms.data(), needed, &needed, &count));
    auto* list = reinterpret_cast<FORM_INFO_1W*>(forms.data());
    auto position = [&](const std::u16string& name) {
        for (DWORD i = 0; i < count; ++i)
            if (std::u16string(list[i].pName) == name) return static_cast<short>(i + 1);
        return short{0};
    };
    ASSERT_NE(position(u"A4"), 0);
    FORM_INFO_1W form{};
    WCHAR name[CCHFORMNAME];
    // 0.9 mm wider than A4 still is A4; the device mode takes its name and place.
    DEVMODE_IMAGEW d{};
    d.dm.dmFields = DM_PAPERWIDTH | DM_PAPERLENGTH;
    d.dm.dmPaperWidth = 2109;
    d.dm.dmPaperLength = 2970;
    EXPECT_EQ(frontdoor::CheckFormName(printer, &d.dm, &form, name), 0);
    EXPECT_EQ(d.dm.dmPaperSize, position(u"A4"));
    EXPECT_EQ(std::u16string(d.dm.dmFormName), u"A4");
    EXPECT_EQ(d.dm.dmPaperWidth, 2100);
    EXPECT_TRUE(d.dm.dmFields & DM_FORMNAME);
    // With DM_PAPERSIZE the match changes nothing.
    DEVMODE_IMAGEW e{};
    e.dm.dmFields = DM_PAPERWIDTH | DM_PAPERLENGTH | DM_PAPERSIZE;
    e.dm.dmPaperWidth = 2100;
    e.dm.dmPaperLength = 2970;
    e.dm.dmPaperSize = 1;
    EXPECT_EQ(frontdoor::CheckFormName(printer, &e.dm, &form, name), 0);
    EXPECT_EQ(e.dm.dmPaperSize, 1);
    EXPECT_EQ(e.dm.dmFormName[0], 0);
    // 1.1 mm off matches nothing: a custom form of the device mode's size.
    e.dm.dmPaperWidth = 2111;
    EXPECT_EQ(frontdoor::CheckFormName(printer, &e.dm, &form, name), 1);
    EXPECT_EQ(form.Size.cx, 211100);
    EXPECT_EQ(form.ImageableArea.bottom, 297000);
    // A paper size takes its measures from the UI library's paper list.
    DEVMODE_IMAGEW f{};
    f.dm.dmFields = DM_PAPERSIZE;
    f.dm.dmPaperSize = 1;
    EXPECT_EQ(frontdoor::CheckFormName(printer, &f.dm, &form, name), 0);
    EXPECT_EQ(f.dm.dmPaperWidth, 2159);
    EXPECT_EQ(f.dm.dmPaperLength, 2794);
    f.dm.dmPaperSize = 119; // past the standard papers
    EXPECT_EQ(frontdoor::CheckFormName(printer, &f.dm, &form, name), 2);
    // A form name is looked up without regard to case.
    DEVMODE_IMAGEW g{};
    g.dm.dmFields = DM_FORMNAME;
    lstrcpynW(g.dm.dmFormName, u"a4 small", CCHFORMNAME);
    EXPECT_EQ(frontdoor::CheckFormName(printer, &g.dm, &form, name), 0);
    EXPECT_EQ(g.dm.dmPaperSize, position(u"A4 Small"));
    EXPECT_EQ(std::u16string(form.pName), u"A4 Small");
}

// Without the UI library's revision the image would only be stamped: no
// default is handed out, so the spooler keeps none.
TEST_F(FormsTest, NoDriverDefaultWithoutTheRevision) {
    Open(SampleModel("CX5540"), Ui::Bare);
    platform::spooler::PrinterRecord record;
    EXPECT_TRUE(platform::spooler::FindPrinter(u"P", &record));
    EXPECT_TRUE(record.devmode.empty());
    Bytes out(1320);
    LONG needed = 1320;
    EXPECT_FALSE(Entry<PFN_DrvConvertDevMode>("DrvConvertDevMode")(
        const_cast<LPWSTR>(u"P"), nullptr, Dm(out), &needed, CDM_DRIVER_DEFAULT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

// The same when the UI library is there but its revision fails: a default it
// did not fill is refused (ERROR_INVALID_DATA), not handed out as TRUE.
TEST_F(FormsTest, NoDriverDefaultWhenTheRevisionFails) {
    Open(SampleModel("CX5540"));
    auto set = As<void (*)(int, int, bool)>(GetProcAddress(ui, "FakeSheetwrightSet"));
    set(ERROR_NOT_ENOUGH_MEMORY, 1, true);
    Bytes out(1320, 0xEE);
    LONG needed = 1320;
    SetLastError(0);
    EXPECT_FALSE(Entry<PFN_DrvConvertDevMode>("DrvConvertDevMode")(
        const_cast<LPWSTR>(u"P"), nullptr, Dm(out), &needed, CDM_DRIVER_DEFAULT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(needed, 1320);
    set(0, 1, true);
}

TEST_F(FormsTest, DriverDefaultThroughTheExport) {
    Open(SampleModel("CX5540"));
    // Adding the printer stored the driver's default as the printer's.
    platform::spooler::PrinterRecord record;
    ASSERT_TRUE(platform::spooler::FindPrinter(u"P", &record));
    ASSERT_EQ(record.devmode.size(), 1320u);
    EXPECT_EQ(At<DWORD>(record.devmode, 220), PRIVATE_DEVMODE_SIGNATURE);
    EXPECT_EQ(At<short>(record.devmode, 78), 9); // the stand-in's A4
    auto convert = Entry<PFN_DrvConvertDevMode>("DrvConvertDevMode");
    Bytes out(1320 + 8, 0xEE);
    LONG needed = 1320;
    ASSERT_TRUE(convert(const_cast<LPWSTR>(u"P"), nullptr, Dm(out), &needed, CDM_DRIVER_DEFAULT));
    EXPECT_EQ(At<WORD>(out, 68), 220);
    EXPECT_EQ(At<WORD>(out, 70), 1100);
    EXPECT_EQ(Dm(out)->dmPrintQuality, 600);
    EXPECT_EQ(std::u16string(Dm(out)->dmDeviceName), u"P Driver");
    EXPECT_EQ(At<DWORD>(out, 220), PRIVATE_DEVMODE_SIGNATURE);
    EXPECT_EQ(out[1320], 0xEE);
    // Missing files: the message, then ERROR_FILE_NOT_FOUND.
    std::filesystem::remove(HostFile(u"P", u"Inkforge.DLL"));
    ut::AnswerNextMessageBox(IDOK);
    EXPECT_FALSE(convert(const_cast<LPWSTR>(u"P"), nullptr, Dm(out), &needed, CDM_DRIVER_DEFAULT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

} // namespace
} // namespace frontdoor_test

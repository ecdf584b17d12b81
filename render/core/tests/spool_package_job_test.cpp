// Jobs on the spool-side road: the package a real job leaves in the working
// folder's "spool" folder, read back through the package's own reader and
// checked byte by byte where the page file's header is fixed.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "emf_job.h"
#include "output_files.h"
#include "hooks.h"
#include "package_reader.h"
#include "pdev.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "platform/user_ctl.h"
#include "render_fixture.h"
#include "spool_package.h"
#include "win/base.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/registry.h"
#include "working_folder.h"

namespace {

using namespace render_test;
using namespace inkforge;
namespace fs = std::filesystem;

DWORD U32At(const Bytes& b, size_t at) {
    DWORD v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
LONG I32At(const Bytes& b, size_t at) {
    return static_cast<LONG>(U32At(b, at));
}

class SpoolPackageJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallPrinter(u"P1", SampleModel("CX5540"));
        driverHost = platform::HostPath(platform::spooler::DriversFolder() + u"\\P1");
        fs::copy_file(RECORDING_SPOOL_PATH, driverHost + "/Metaweave.DLL");
        TestDevice dev(u"P1", false);
        std::u16string working;
        ASSERT_TRUE(GetWorkingFolder(dev.get(), &working));
        spoolFolder = spoolpkg::SpoolFolder(working);
        devmode = OwnDevmode();
        SetPrivU32(devmode, priv::EmfMode, 1);
    }

    // Prints pages, each with a line, as document "Report" and answers the job id.
    DWORD Print(int pages, bool cancel = false) {
        HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &devmode.dm);
        EXPECT_NE(hdc, nullptr);
        if (!hdc) return 0;
        DOCINFOW di{sizeof(DOCINFOW), u"Report", nullptr, nullptr, 0};
        int job = StartDocW(hdc, &di);
        EXPECT_GT(job, 0) << GetLastError();
        for (int i = 0; i < pages; ++i) {
            EXPECT_GT(StartPage(hdc), 0);
            MoveToEx(hdc, 10, 10, nullptr);
            LineTo(hdc, 200, 300);
            EXPECT_GT(EndPage(hdc), 0);
        }
        if (cancel)
            AbortDoc(hdc);
        else
            EXPECT_GT(EndDoc(hdc), 0);
        EXPECT_TRUE(DeleteDC(hdc));
        return job > 0 ? static_cast<DWORD>(job) : 0;
    }

    Bytes Read(const std::u16string& path) { return ReadHostFile(platform::HostPath(path)); }

    std::string driverHost;
    std::u16string spoolFolder;
    DevmodeImage devmode;
};

TEST_F(SpoolPackageJobTest, AJobOfThreePagesLeavesItsPackageAndHandsItOver) {
    DWORD job = Print(3);
    ASSERT_NE(job, 0u);
    const DWORD id = job + spoolpkg::kSpoolIdBase;
    Bytes index = Read(spoolpkg::IndexPath(spoolFolder, id));
    spoolpkg::PackageIndex pkg;
    std::string error;
    ASSERT_TRUE(spoolpkg::ReadPackageIndex(index.data(), index.size(), &pkg, &error)) << error;
    EXPECT_TRUE(pkg.finished);
    EXPECT_EQ(pkg.pageCount, 3u);
    EXPECT_EQ(pkg.printerName, "P1");
    EXPECT_EQ(pkg.documentName, "Report");
    ASSERT_EQ(pkg.devmodes.size(), 1u); // the device mode never changed
    std::vector<uint32_t> types;
    for (const auto& r : pkg.records)
        types.push_back(r.type);
    using namespace spoolpkg;
    EXPECT_EQ(types, (std::vector<uint32_t>{kRecordDevmode, kRecordNames, kRecordPage,
                                            kRecordEndOfPage, kRecordPage, kRecordEndOfPage,
                                            kRecordPage, kRecordEndOfPage, kRecordEndOfJob}));
    ASSERT_EQ(pkg.pagePaths.size(), 3u);
    for (DWORD n = 1; n <= 3; ++n) {
        std::u16string path = PagePath(spoolFolder, id, n);
        EXPECT_EQ(pkg.pagePaths[n - 1], std::string(path.begin(), path.end()));
        Bytes page = Read(path);
        ASSERT_GE(page.size(), 144u);
        // The header record by its offsets.
        EXPECT_EQ(U32At(page, 0), 1u);
        EXPECT_EQ(U32At(page, 4), 124u);
        EXPECT_EQ(U32At(page, 40), 0x464D4520u);
        EXPECT_EQ(U32At(page, 44), 0x10000u);
        EXPECT_EQ(U32At(page, 48), page.size());
        EXPECT_EQ(U32At(page, 64), 108u);
        EXPECT_EQ(std::string(page.begin() + 108, page.begin() + 124), "NKT_EMF Ver 1.00");
        // Bounds and device size in pixels, frame in hundredths of millimetres.
        LONG w = I32At(page, 16), h = I32At(page, 20);
        EXPECT_EQ(I32At(page, 8), 0);
        EXPECT_EQ(I32At(page, 12), 0);
        EXPECT_EQ(I32At(page, 72), w);
        EXPECT_EQ(I32At(page, 76), h);
        EXPECT_EQ(I32At(page, 32), I32At(page, 80) * 100);
        EXPECT_EQ(I32At(page, 36), I32At(page, 84) * 100);
        // The end record closes the file.
        size_t end = page.size() - 20;
        EXPECT_EQ(U32At(page, end), 14u);
        EXPECT_EQ(U32At(page, end + 4), 20u);
        EXPECT_EQ(U32At(page, end + 12), 16u);
        EXPECT_EQ(U32At(page, end + 16), 20u);
    }
    // The spool-side library got the spool id.
    Bytes rec = ReadHostFile(driverHost + "/ZORPrintEMF.rec");
    ASSERT_GE(rec.size(), 4u);
    EXPECT_EQ(U32At(rec, 0), id);
}

TEST_F(SpoolPackageJobTest, ATakenSpoolIdMovesTheJobToTheNextOne) {
    // The next job of a fresh spooler: find it by a first job, then block its successor.
    DWORD first = Print(1);
    ASSERT_NE(first, 0u);
    DWORD blocked = first + 1 + spoolpkg::kSpoolIdBase;
    HANDLE h = CreateFileW(spoolpkg::IndexPath(spoolFolder, blocked).c_str(), GENERIC_WRITE, 0,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    DWORD second = Print(1);
    ASSERT_EQ(second, first + 1);
    Bytes rec = ReadHostFile(driverHost + "/ZORPrintEMF.rec");
    EXPECT_EQ(U32At(rec, 0), blocked + 1);
    EXPECT_FALSE(Read(spoolpkg::IndexPath(spoolFolder, blocked + 1)).empty());
}

// The first page registers the clean-up program on the spool folder for the
// next logon, under a name made of the model names with blanks as "_".
TEST_F(SpoolPackageJobTest, TheFirstPageRegistersTheCleanUpAtTheNextLogon) {
    ASSERT_NE(Print(1), 0u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kRunOnceKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    WCHAR data[1024] = {};
    DWORD type = 0, size = sizeof data;
    LSTATUS r = RegQueryValueExW(key, u"EMF_Velmora_Velmora_CX5540_MFP_CX5500", nullptr, &type,
                                 reinterpret_cast<LPBYTE>(data), &size);
    RegCloseKey(key);
    ASSERT_EQ(r, ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    std::u16string folder = spoolFolder.substr(0, spoolFolder.size() - 1);
    std::u16string expected =
        u"\"" + platform::spooler::DriversFolder() + u"\\P1\\Tempsweep.EXE\" \"" + folder + u"\"";
    EXPECT_EQ(std::u16string(data), expected);
    // Stored with its terminating zero.
    EXPECT_EQ(size, (expected.size() + 1) * sizeof(char16_t));
}

TEST(CleanupRegistration, ValueNameAndCommandLine) {
    EXPECT_EQ(CleanupValueName({u"Velmora", u"CX 5540 MFP", u"CX5500"}),
              u"EMF_Velmora_CX_5540_MFP_CX5500");
    EXPECT_EQ(CleanupValueName({u"Velmora", u"", u"Two  Blanks"}), u"EMF_Velmora_Two__Blanks");
    EXPECT_EQ(CleanupValueName({}), u"EMF");
    EXPECT_EQ(CleanupCommandLine(u"C:\\D\\Tempsweep.EXE", u"C:\\W\\spool\\"),
              u"\"C:\\D\\Tempsweep.EXE\" \"C:\\W\\spool\"");
}

// A job font's family name is rewritten where it stands in the name table
// (the small font's one Windows record, made a family name), with the
// table's checksum; a name of another length is refused and changes nothing.
TEST(JobFontRename, TheNameIsRewrittenInPlaceAndOnlyAtItsLength) {
    Bytes font = ReadHostFile(std::string(PKG_FONT_CORPUS_DIR) + "/small.ttf");
    constexpr size_t kNameTable = 484, kRecord = kNameTable + 6, kString = kNameTable + 18;
    constexpr size_t kNameEntry = 12 + 16 * 8; // the ninth table of the directory
    ASSERT_GE(font.size(), kString + 12);
    ASSERT_EQ(std::string(font.begin() + kNameEntry, font.begin() + kNameEntry + 4), "name");
    font[kRecord + 7] = 1; // name id 1: the family
    auto utf16be = [](const char* s) {
        Bytes b;
        for (; *s; ++s)
            b.insert(b.end(), {0, static_cast<uint8_t>(*s)});
        return b;
    };
    Bytes before = font;
    EXPECT_FALSE(RenameFontFile(&font, u"Unique", u"Unique2"));
    EXPECT_FALSE(RenameFontFile(&font, u"Uniqu", u"Uniqu"));
    EXPECT_EQ(font, before);
    ASSERT_TRUE(RenameFontFile(&font, u"Unique", u"07qzxa"));
    EXPECT_EQ(Bytes(font.begin() + kString, font.begin() + kString + 12), utf16be("07qzxa"));
    EXPECT_EQ(font.size(), before.size());
    // The table's checksum: its big-endian words, the last padded with zeros.
    constexpr size_t kNameEnd = kNameTable + 30;
    auto word = [&](size_t at) {
        DWORD w = 0;
        for (size_t k = at; k < at + 4; ++k)
            w = w << 8 | (k < kNameEnd ? font[k] : 0);
        return w;
    };
    DWORD sum = 0;
    for (size_t at = kNameTable; at < kNameEnd; at += 4)
        sum += word(at);
    EXPECT_EQ(word(kNameEntry + 4), sum);
}

TEST_F(SpoolPackageJobTest, ACancelledJobLeavesNoPackage) {
    DWORD job = Print(2, true);
    ASSERT_NE(job, 0u);
    const DWORD id = job + spoolpkg::kSpoolIdBase;
    EXPECT_FALSE(fs::exists(platform::HostPath(spoolpkg::IndexPath(spoolFolder, id))));
    EXPECT_FALSE(fs::exists(platform::HostPath(spoolpkg::PageFolder(spoolFolder, id))));
    EXPECT_FALSE(fs::exists(driverHost + "/ZORPrintEMF.rec"));
}

TEST_F(SpoolPackageJobTest, APackageThatCannotBeCreatedIsReportedOnce) {
    // The spool folder's place is taken by a file: nothing can be created under it.
    fs::create_directories(fs::path(platform::HostPath(spoolFolder)).parent_path().parent_path());
    {
        std::string host = platform::HostPath(spoolFolder);
        while (!host.empty() && host.back() == '/')
            host.pop_back();
        fs::create_directories(fs::path(host).parent_path());
        std::FILE* f = std::fopen(host.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    platform::user::test::AnswerNextMessageBox(IDOK);
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &devmode.dm);
    ASSERT_NE(hdc, nullptr);
    DOCINFOW di{sizeof(DOCINFOW), u"Report", nullptr, nullptr, 0};
    ASSERT_GT(StartDocW(hdc, &di), 0);
    EXPECT_LE(StartPage(hdc), 0);
    EXPECT_GT(StartPage(hdc), 0); // counted only: the error is not shown again
    EndDoc(hdc);
    EXPECT_TRUE(DeleteDC(hdc));
    EXPECT_FALSE(fs::exists(driverHost + "/ZORPrintEMF.rec"));
    auto boxes = platform::user::test::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"Error");
    EXPECT_EQ(boxes[0].text, u"Failed to print a document.");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].type & (MB_ICONERROR | 0x00200000u), MB_ICONERROR | 0x00200000u);
}

// The page file is sized at the surface's resolution, which the engine's
// coordinates are in: a device mode changed after the device was enabled (a
// prompt may copy one back, with another or no print quality) moves nothing.
TEST(SpoolPageGeometry, ThePageIsSizedAtTheSurfacesResolution) {
    InstallPrinter(u"P1", SampleModel("CX5540"));
    for (SHORT quality : {600, 300, -4, 0}) {
        TestDevice dev(u"P1", false);
        dev->jobId = 41;
        dev->pageCount = 1;
        dev->resolution = 600;
        dev->pageLeft = dev->pageTop = 4233;
        dev->pageRight = dev->pageLeft + 201600; // 4762.2 pixels
        dev->pageBottom = dev->pageTop + 288500; // 6814.96 pixels
        ASSERT_TRUE(CreateSpoolPackage(dev.get()));
        dev->devmode.dm.dmPrintQuality = quality;
        ASSERT_TRUE(OpenEmfPage(dev.get()));
        const spoolpkg::PageGeometry& g = dev->emfJob->geometry;
        EXPECT_EQ(g.width, 4762) << quality;
        EXPECT_EQ(g.height, 6815) << quality;
        EXPECT_EQ(g.widthMm, 202) << quality;
        EXPECT_EQ(g.heightMm, 289) << quality;
        EXPECT_TRUE(CloseEmfPage(dev.get()));
        FinishSpoolFile(dev.get());
        DeleteSpoolPackage(dev.get());
    }
}

// A real job's page is sized at the resolution the application was told.
TEST_F(SpoolPackageJobTest, ThePageHeaderHasTheDevicesSizeInPixels) {
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &devmode.dm);
    ASSERT_NE(hdc, nullptr);
    const int dpi = GetDeviceCaps(hdc, LOGPIXELSX);
    const int horzSize = GetDeviceCaps(hdc, HORZSIZE);
    DOCINFOW di{sizeof(DOCINFOW), u"Report", nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    ASSERT_GT(job, 0);
    ASSERT_GT(StartPage(hdc), 0);
    ASSERT_GT(EndPage(hdc), 0);
    ASSERT_GT(EndDoc(hdc), 0);
    DeleteDC(hdc);
    Bytes page = Read(spoolpkg::PagePath(spoolFolder, job + spoolpkg::kSpoolIdBase, 1));
    ASSERT_GE(page.size(), 124u);
    EXPECT_EQ(dpi, 600);
    // The device size in whole millimetres (rounded where the device's are
    // cut), and in pixels at that resolution.
    EXPECT_NEAR(I32At(page, 80), horzSize, 1);
    EXPECT_NEAR(I32At(page, 72), horzSize * dpi / 25.4, dpi / 25.4);
}

// A job that began on the spool-side road and is reset to a banded device
// mode keeps recording: the banded page goes into its page file as the
// page's image, band by band at its place, not into the printer stream.
TEST_F(SpoolPackageJobTest, ABandedPageOfARecordingJobIsRecordedAsItsImage) {
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &devmode.dm);
    ASSERT_NE(hdc, nullptr);
    DOCINFOW di{sizeof(DOCINFOW), u"Report", nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    ASSERT_GT(job, 0);
    ASSERT_GT(StartPage(hdc), 0);
    ASSERT_GT(EndPage(hdc), 0);
    DevmodeImage banded = OwnDevmode();
    SetPrivU32(banded, priv::FeatureFlags, 1u << 16);
    SetPrivU16(banded, priv::GraphicsMode, 1);
    // At 300 dpi, which the page file then has too.
    banded.dm.dmFields |= DM_PRINTQUALITY;
    banded.dm.dmPrintQuality = 300;
    ASSERT_EQ(ResetDCW(hdc, &banded.dm), hdc);
    EXPECT_EQ(GetDeviceCaps(hdc, LOGPIXELSX), 300);
    ASSERT_GT(StartPage(hdc), 0);
    const RECT box{100, 100, 300, 200};
    EXPECT_TRUE(
        PatBlt(hdc, box.left, box.top, box.right - box.left, box.bottom - box.top, BLACKNESS));
    ASSERT_GT(EndPage(hdc), 0);
    ASSERT_GT(EndDoc(hdc), 0);
    DeleteDC(hdc);
    EXPECT_TRUE(JobOutput(static_cast<DWORD>(job)).empty());

    const DWORD id = static_cast<DWORD>(job) + spoolpkg::kSpoolIdBase;
    Bytes page = Read(spoolpkg::PagePath(spoolFolder, id, 2));
    ASSERT_GE(page.size(), 124u);
    const LONG width = I32At(page, 72), height = I32At(page, 76);
    // The page's bands, each a copy of 24-bit rows, cover the surface from the top.
    LONG covered = 0;
    auto pixel = [&](LONG x, LONG y) -> DWORD {
        for (size_t at = U32At(page, 4); at + 80 <= page.size(); at += U32At(page, at + 4)) {
            if (U32At(page, at) != EMR_STRETCHDIBITS) continue;
            LONG top = I32At(page, at + 28), rows = I32At(page, at + 76);
            if (y < top || y >= top + rows) continue;
            size_t bits = at + U32At(page, at + 56);
            size_t stride = (static_cast<size_t>(I32At(page, at + 40)) * 3 + 3) / 4 * 4;
            size_t p = bits + static_cast<size_t>(rows - 1 - (y - top)) * stride + 3 * x;
            return static_cast<DWORD>(page[p] | page[p + 1] << 8 | page[p + 2] << 16);
        }
        return 0xFF000000; // not recorded
    };
    for (size_t at = U32At(page, 4); at + 8 <= page.size(); at += U32At(page, at + 4)) {
        if (U32At(page, at) != EMR_STRETCHDIBITS) continue;
        EXPECT_EQ(I32At(page, at + 24), 0);
        EXPECT_EQ(I32At(page, at + 28), covered);
        EXPECT_EQ(U32At(page, at + 68), static_cast<DWORD>(SRCCOPY));
        covered += I32At(page, at + 76);
    }
    // The surface's rows: the page's, cut to a multiple of 32.
    EXPECT_LE(covered, height);
    EXPECT_GT(covered, height - 32);
    EXPECT_NEAR(width, I32At(page, 80) * 300 / 25.4, 300 / 25.4);
    EXPECT_EQ(pixel(200, 150), 0u);
    EXPECT_EQ(pixel(50, 50), 0xFFFFFFu);
    EXPECT_EQ(pixel(200, covered - 1), 0xFFFFFFu);
}

} // namespace

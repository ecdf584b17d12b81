// Whole jobs replayed through Metaweave.DLL into the recording printer: the
// order of pages on every sheet side read back from the driver's log, for
// every layout; overlays made from one job and printed with another;
// watermarks over and behind the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "emf_fixture.h"
#include "emf_job.h"
#include "overlay_file.h"
#include "platform/user_ctl.h"
#include "spool_package.h"
#include "win/devmode_private.h"
#include "win/files.h"
#include "win/loader.h"
#include "win/user.h"

namespace metaweave {
namespace {

typedef DWORD(WINAPI* PFN_ZORPrintEMF)(EmfJobRecord*, ModelBlock*);

constexpr char kWork[] = "C:\\Users\\u\\Work\\";
constexpr char16_t kSpool[] = u"C:\\Users\\u\\Work\\spool\\";
// Page colours: red = the page number.
COLORREF PageColor(DWORD page) {
    return RGB(page, 0, 0);
}

DEVMODE_IMAGEA BaseDevmode() {
    DEVMODE_IMAGEA dm{};
    std::memcpy(dm.dm.dmDeviceName, "P1", 3);
    dm.dm.dmSpecVersion = 0x401;
    dm.dm.dmSize = DEVMODEA_SIZE;
    dm.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    dm.dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_COLLATE | DM_DUPLEX;
    dm.dm.dmOrientation = DMORIENT_PORTRAIT;
    dm.dm.dmPaperSize = 9; // A4
    dm.dm.dmCopies = 1;
    dm.dm.dmDuplex = DMDUP_SIMPLEX;
    dm.dm.dmPrintQuality = 600;
    dm.priv.Signature = PRIVATE_DEVMODE_SIGNATURE;
    dm.priv.Version = PRIVATE_DEVMODE_VERSION;
    return dm;
}

// A page of the recording printer (800 x 1000 pixels at 600 dpi) filled
// with its own colour.
std::vector<BYTE> PageBits(DWORD page) {
    auto b = emftest::PageEmf();
    b = platform::gdi::EmfBuilder(SIZEL{800, 1000}, SIZEL{34, 42});
    b.SelectStock(NULL_PEN);
    b.CreateBrush(1, BS_SOLID, PageColor(page));
    b.SelectObject(1);
    b.Box(EMR_RECTANGLE, RECTL{0, 0, 800, 1000});
    b.SelectStock(WHITE_BRUSH);
    b.DeleteObject(1);
    return b.Finish();
}

void WriteWhole(const std::u16string& path, const std::vector<BYTE>& bytes) {
    HANDLE f = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(f);
}

constexpr LONG kSheetW = 800, kSheetH = 1000;
using Side = std::vector<DWORD>;

class ReplayTest : public emftest::RecorderTest {
  protected:
    void SetUp() override {
        emftest::RecorderTest::SetUp();
        player =
            LoadLibraryW(reinterpret_cast<LPCWSTR>(platform::FromUtf8(METAWEAVE_PATH).c_str()));
        ASSERT_NE(player, nullptr);
        print = reinterpret_cast<PFN_ZORPrintEMF>(
            reinterpret_cast<void (*)()>(GetProcAddress(player, "ZORPrintEMF")));
        ASSERT_NE(print, nullptr);
        platform::user::test::MessageBoxLog(); // start the log here
    }
    void TearDown() override {
        if (player) FreeLibrary(player);
        EXPECT_TRUE(platform::user::test::TakeUnanswered().empty());
        emftest::RecorderTest::TearDown();
    }

    // Records a package of `pages` pages with the device mode; returns its spool id.
    DWORD Package(const DEVMODE_IMAGEA& dm, DWORD pages, DWORD jobId = 7,
                  std::vector<BYTE> (*bits)(DWORD) = PageBits) {
        spoolpkg::PackageWriter w;
        uint8_t image[spoolpkg::kAnsiDevmodeSize];
        std::memcpy(image, &dm, sizeof image);
        EXPECT_EQ(w.Create(kSpool, jobId, image, u"P1", u"Doc"), 0u);
        for (DWORD p = 1; p <= pages; ++p) {
            WriteWhole(spoolpkg::PagePath(kSpool, w.spoolId(), p), bits(p));
            EXPECT_EQ(w.AppendPage(p), 0u);
        }
        EXPECT_EQ(w.Finish(pages), 0u);
        return w.spoolId();
    }

    DWORD Play(DWORD spoolId, DWORD flags = kJobPackage | 1) {
        EmfJobRecord record{};
        record.spoolId = spoolId;
        record.flags = flags;
        std::strcpy(record.workingFolder, kWork);
        static const char model[] = "NKSP";
        ModelBlock block{recorder, const_cast<char*>(model)};
        clear();
        return print(&record, &block);
    }

    // The sheet sides of the last job, each as its grid of cells (rows top
    // to bottom, each left to right) on the recorder's 800 x 1000 sheet;
    // 0 is a cell that nothing was drawn into.
    std::vector<Side> Sides(LONG columns = 1, LONG rows = 1) {
        std::vector<Side> sides;
        Side side;
        bool open = false;
        for (const auto& line : emftest::Lines(log())) {
            if (line.rfind("DrvStartPage", 0) == 0) {
                open = true;
                side.assign(static_cast<size_t>(columns * rows), 0);
            } else if (line.rfind("DrvSendPage", 0) == 0 && open) {
                sides.push_back(side);
                open = false;
            } else if (line.rfind("DrvFillPath", 0) == 0 && open) {
                unsigned color = 0;
                int l = 0, t = 0, r = 0, b = 0;
                const char* at = std::strstr(line.c_str(), "bounds=");
                const char* c = std::strstr(line.c_str(), "brush=solid:0x");
                if (!at || !c || std::sscanf(at, "bounds=%d,%d,%d,%d", &l, &t, &r, &b) != 4 ||
                    std::sscanf(c, "brush=solid:0x%x", &color) != 1 || !(color & 0xFF) ||
                    (color & 0xFFFF00))
                    continue;
                // The cell that holds the middle of the drawing.
                const LONG col = std::clamp<LONG>((l + r) / 2 * columns / kSheetW, 0, columns - 1);
                const LONG row = std::clamp<LONG>((t + b) / 2 * rows / kSheetH, 0, rows - 1);
                side[static_cast<size_t>(row * columns + col)] = color & 0xFF;
            }
        }
        return sides;
    }

    HMODULE player = nullptr;
    PFN_ZORPrintEMF print = nullptr;
};

std::string Text(const std::vector<Side>& sides) {
    std::string out;
    for (const auto& s : sides) {
        out += out.empty() ? "[" : " [";
        for (size_t i = 0; i < s.size(); ++i)
            out += (i ? "," : "") + (s[i] ? std::to_string(s[i]) : std::string("-"));
        out += "]";
    }
    return out;
}

TEST_F(ReplayTest, LayoutsPutPagesOnSidesInOrder) {
    struct Case {
        const char* name;
        DWORD pages;
        LONG columns, rows;
        void (*setup)(DEVMODE_IMAGEA&);
        const char* expected;
    };
    static const Case cases[] = {
        {"1 up", 3, 1, 1, [](DEVMODE_IMAGEA&) {}, "[1] [2] [3]"},
        {"2 up", 5, 2, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutNup;
             d.priv.PagesPerSheet = 2;
         },
         "[1,2] [3,4] [5,-]"},
        {"4 up", 5, 2, 2,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutNup;
             d.priv.PagesPerSheet = 4;
         },
         "[1,2,3,4] [5,-,-,-]"},
        {"4 up down columns", 4, 2, 2,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutNup;
             d.priv.PagesPerSheet = 4;
             d.priv.PageOrder = 1;
         },
         "[1,3,2,4]"},
        {"6 up", 7, 3, 2,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutNup;
             d.priv.PagesPerSheet = 6;
         },
         "[1,2,3,4,5,6] [7,-,-,-,-,-]"},
        {"9 up", 10, 3, 3,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutNup;
             d.priv.PagesPerSheet = 9;
         },
         "[1,2,3,4,5,6,7,8,9] [10,-,-,-,-,-,-,-,-]"},
        {"16 up", 17, 4, 4,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutNup;
             d.priv.PagesPerSheet = 16;
         },
         "[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16] [17,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-]"},
        {"booklet of 5", 5, 2, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutBooklet;
             d.priv.BookletKind = kBindLeft;
             d.dm.dmDuplex = 3;
         },
         "[-,1] [2,-] [-,3] [4,5]"},
        {"booklet of 8", 8, 2, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutBooklet;
             d.priv.BookletKind = kBindLeft;
             d.dm.dmDuplex = 3;
         },
         "[8,1] [2,7] [6,3] [4,5]"},
        {"poster 2x2", 1, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPoster;
             d.priv.PosterGrid[0] = 2;
             d.priv.PosterGrid[1] = 2;
         },
         "[1] [1] [1] [1]"},
        {"zoom 50%", 2, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutZoom;
             d.priv.ZoomPercent = 50;
         },
         "[1] [2]"},
        {"zoom 200%", 2, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutZoom;
             d.priv.ZoomPercent = 200;
         },
         "[1] [2]"},
        {"reverse 2 up", 5, 2, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutNup;
             d.priv.PagesPerSheet = 2;
             d.priv.ReverseOrder = 1;
         },
         "[5,-] [3,4] [1,2]"},
        {"collated copies", 3, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.dm.dmCopies = 2;
             d.dm.dmCollate = DMCOLLATE_TRUE;
         },
         "[1] [2] [3] [1] [2] [3]"},
        {"uncollated copies (made by the printer)", 3, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.dm.dmCopies = 2;
             d.dm.dmCollate = DMCOLLATE_FALSE;
         },
         "[1] [2] [3]"},
    };
    std::string table = "| layout | pages | sides read back |\n|---|---|---|\n";
    DWORD job = 10;
    for (const auto& c : cases) {
        DEVMODE_IMAGEA dm = BaseDevmode();
        c.setup(dm);
        EXPECT_EQ(Play(Package(dm, c.pages, job++)), 1u) << c.name;
        std::string got = Text(Sides(c.columns, c.rows));
        EXPECT_EQ(got, c.expected) << c.name;
        table +=
            std::string("| ") + c.name + " | " + std::to_string(c.pages) + " | " + got + " |\n";
    }
    std::printf("%s", table.c_str());
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
}

} // namespace
} // namespace metaweave

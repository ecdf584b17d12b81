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
#include "platform/facts.h"
#include "platform/gdi_ctl.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "rcb_export.h"
#include "spool_fixture.h"
#include "spool_package.h"
#include "spool_copies.h"
#include "devmode_private.h"
#include "win/files.h"
#include "win/gdi_bitmap.h"
#include "win/ini.h"
#include "win/loader.h"
#include "win/user.h"

namespace metaweave {
namespace {

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

// The bounds of the first page fill of each side, "l,t,r,b" each.
std::string FirstFills(const std::string& log) {
    std::string out;
    bool first = false;
    for (const auto& line : emftest::Lines(log)) {
        if (line.rfind("DrvStartPage", 0) == 0) first = true;
        const char* b = std::strstr(line.c_str(), "bounds=");
        if (first && line.rfind("DrvFillPath", 0) == 0 && b &&
            std::strstr(line.c_str(), "solid:0x0000")) {
            out += (out.empty() ? "" : " ") + std::string(b + 7, std::strcspn(b + 7, " "));
            first = false;
        }
    }
    return out;
}

// A landscape page (1000 x 800 pixels) filled with its own colour.
std::vector<BYTE> LandscapeFill(DWORD page) {
    platform::gdi::EmfBuilder b(SIZEL{1000, 800}, SIZEL{42, 34});
    b.SelectStock(NULL_PEN);
    b.CreateBrush(1, BS_SOLID, PageColor(page));
    b.SelectObject(1);
    b.Box(EMR_RECTANGLE, RECTL{0, 0, 1000, 800});
    b.SelectStock(WHITE_BRUSH);
    b.DeleteObject(1);
    return b.Finish();
}

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
        const char* bounds = nullptr; // of each side's first page fill
        std::vector<BYTE> (*bits)(DWORD) = PageBits;
    };
    static const Case cases[] = {
        {"1 up", 3, 1, 1, [](DEVMODE_IMAGEA&) {}, "[1] [2] [3]"},
        {"2 up", 5, 2, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPagesPerSheet;
             d.priv.PagesPerSheet = 2;
         },
         "[1,2] [3,4] [5,-]"},
        {"4 up", 5, 2, 2,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPagesPerSheet;
             d.priv.PagesPerSheet = 4;
         },
         "[1,2,3,4] [5,-,-,-]"},
        {"4 up down columns", 4, 2, 2,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPagesPerSheet;
             d.priv.PagesPerSheet = 4;
             d.priv.PageOrder = 1;
         },
         "[1,3,2,4]"},
        {"6 up", 7, 3, 2,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPagesPerSheet;
             d.priv.PagesPerSheet = 6;
         },
         "[1,2,3,4,5,6] [7,-,-,-,-,-]"},
        {"9 up", 10, 3, 3,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPagesPerSheet;
             d.priv.PagesPerSheet = 9;
         },
         "[1,2,3,4,5,6,7,8,9] [10,-,-,-,-,-,-,-,-]"},
        {"16 up", 17, 4, 4,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPagesPerSheet;
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
        // Tiles lie the other way round than the page: two columns of a
        // portrait page become two rows of landscape tiles, each as wide as
        // the poster; a grid along the page's longer side stays.
        {"poster 2x1 of a portrait page", 1, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPoster;
             d.priv.PosterGrid[0] = 2;
             d.priv.PosterGrid[1] = 1;
         },
         "[1] [1]", "3,509,797,1491 3,-491,797,491"},
        {"poster 1x2 of a portrait page", 1, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPoster;
             d.priv.PosterGrid[0] = 1;
             d.priv.PosterGrid[1] = 2;
         },
         "[1] [1]", "3,509,797,1491 3,-491,797,491"},
        {"poster 2x1 of a landscape page", 1, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.dm.dmOrientation = DMORIENT_LANDSCAPE;
             d.priv.LayoutKind = kLayoutPoster;
             d.priv.PosterGrid[0] = 2;
             d.priv.PosterGrid[1] = 1;
         },
         "[1] [1]", "185,2,1415,997 -615,2,615,997", LandscapeFill},
        // Booklet without short-edge duplex: a page per side, clear of the
        // binding margin, moved away from the binding edge (the left edge of
        // a front, the right edge of a back with left binding).
        {"booklet in long-edge duplex, left binding", 2, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutBooklet;
             d.priv.BookletKind = kBindLeft;
             d.priv.BindingMargin = 100;
             d.dm.dmDuplex = DMDUP_VERTICAL;
         },
         "[1] [2]", "101,68,799,931 1,68,699,931"},
        {"booklet in long-edge duplex, right binding", 2, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutBooklet;
             d.priv.BookletKind = kBindRight;
             d.priv.BindingMargin = 100;
             d.dm.dmDuplex = DMDUP_VERTICAL;
         },
         "[1] [2]", "1,68,699,931 101,68,799,931"},
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
             d.priv.LayoutKind = kLayoutPagesPerSheet;
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
        EXPECT_EQ(Play(Package(dm, c.pages, job++, c.bits)), 1u) << c.name;
        std::string got = Text(Sides(c.columns, c.rows));
        EXPECT_EQ(got, c.expected) << c.name;
        if (c.bounds) {
            EXPECT_EQ(FirstFills(log()), c.bounds) << c.name;
        }
        table +=
            std::string("| ") + c.name + " | " + std::to_string(c.pages) + " | " + got + " |\n";
    }
    std::printf("%s", table.c_str());
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
}

// Colours drawn on each side, in drawing order, by the recording driver's
// fill, stroke and text calls ("text" for a text call).
std::vector<std::vector<std::string>> Drawn(const std::string& log) {
    std::vector<std::vector<std::string>> sides;
    for (const auto& line : emftest::Lines(log)) {
        if (line.rfind("DrvStartPage", 0) == 0) sides.emplace_back();
        if (sides.empty()) continue;
        if (line.rfind("DrvTextOut", 0) == 0) sides.back().push_back("text");
        const char* c = std::strstr(line.c_str(), "brush=solid:0x");
        if (c && (line.rfind("DrvFillPath", 0) == 0 || line.rfind("DrvStrokePath", 0) == 0)) {
            unsigned color = 0;
            std::sscanf(c, "brush=solid:0x%x", &color);
            char text[32];
            std::snprintf(text, sizeof text, "%s:%06x",
                          line.rfind("DrvFill", 0) == 0 ? "fill" : "stroke", color);
            sides.back().push_back(text);
        }
    }
    return sides;
}

// A page with a green rectangle.
std::vector<BYTE> GreenBox(const RECTL& box) {
    platform::gdi::EmfBuilder b(SIZEL{800, 1000}, SIZEL{34, 42});
    b.SelectStock(NULL_PEN);
    b.CreateBrush(1, BS_SOLID, RGB(0, 0x80, 0));
    b.SelectObject(1);
    b.Box(EMR_RECTANGLE, box);
    b.SelectStock(WHITE_BRUSH);
    b.DeleteObject(1);
    return b.Finish();
}

std::vector<BYTE> GreenPage(DWORD) {
    return GreenBox(RECTL{100, 100, 300, 200});
}

bool FileThere(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

std::string StartDocs(const std::string& log) {
    std::string out;
    for (const auto& line : emftest::Lines(log))
        if (line.rfind("DrvStartDoc", 0) == 0) out += line + "\n";
    return out;
}

TEST_F(ReplayTest, OverlayMadeFromOneJobPrintsBehindAnother) {
    DEVMODE_IMAGEA make = BaseDevmode();
    make.priv.OverlayFlags = 1;
    std::strcpy(make.priv.OverlayMakeName, "Letterhead");
    EXPECT_EQ(Play(Package(make, 1, 20, GreenPage)), 1u);
    EXPECT_EQ(StartDocs(log()), ""); // making an overlay prints nothing
    ASSERT_TRUE(FileThere("C:\\Users\\u\\Work\\Letterhead.POL"));

    DEVMODE_IMAGEA use = BaseDevmode();
    use.priv.OverlayFlags = 2;
    std::strcpy(use.priv.OverlayUseName, "Letterhead");
    use.priv.OverlayPages = 2; // the first page only
    EXPECT_EQ(Play(Package(use, 2, 21)), 1u);
    auto sides = Drawn(log());
    ASSERT_EQ(sides.size(), 2u);
    EXPECT_EQ(sides[0], (std::vector<std::string>{"fill:008000", "fill:000001"}));
    EXPECT_EQ(sides[1], (std::vector<std::string>{"fill:000002"}));
    // Over the page instead.
    use.priv.OverlayOnTop = 1;
    use.priv.OverlayPages = 0;
    EXPECT_EQ(Play(Package(use, 1, 22)), 1u);
    EXPECT_EQ(Drawn(log())[0], (std::vector<std::string>{"fill:000001", "fill:008000"}));
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
}

// Overlay names come from a device mode: only bare names in the working
// folder are made or read, whatever the name says.
TEST_F(ReplayTest, OverlayNamesStayInTheWorkingFolder) {
    DEVMODE_IMAGEA make = BaseDevmode();
    make.priv.OverlayFlags = 1;
    std::strcpy(make.priv.OverlayMakeName, "..\\..\\Evil");
    platform::user::test::AnswerNextMessageBox(IDOK);
    EXPECT_EQ(Play(Package(make, 1, 50, GreenPage)), 1u);
    EXPECT_FALSE(FileThere("C:\\Users\\Evil.POL"));
    auto boxes = platform::user::test::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u); // the overlay was not written
    // A good overlay one folder up is not read through a climbing use name.
    std::strcpy(make.priv.OverlayMakeName, "Secret");
    EXPECT_EQ(Play(Package(make, 1, 51, GreenPage)), 1u);
    ASSERT_TRUE(MoveFileA("C:\\Users\\u\\Work\\Secret.POL", "C:\\Users\\u\\Secret.POL"));
    DEVMODE_IMAGEA use = BaseDevmode();
    use.priv.OverlayFlags = 2;
    std::strcpy(use.priv.OverlayUseName, "..\\Secret");
    platform::user::test::AnswerNextMessageBox(IDYES);
    EXPECT_EQ(Play(Package(use, 1, 52)), 1u);
    auto sides = Drawn(log());
    ASSERT_EQ(sides.size(), 1u);
    EXPECT_EQ(sides[0], (std::vector<std::string>{"fill:000001"})); // no overlay drawn
}

// Only the package's own page files are played: a page path in the index
// that names another file plays the package's page of that name instead.
TEST_F(ReplayTest, OnlyThePackagesOwnPagesArePlayed) {
    const DWORD id = Package(BaseDevmode(), 1, 53);
    const std::u16string index = spoolpkg::IndexPath(kSpool, id);
    std::vector<BYTE> bytes;
    ASSERT_TRUE(ReadFileWhole(platform::ToUtf8(index), &bytes));
    const std::string own = "\\spool\\", other = "\\spoox\\";
    auto at = std::search(bytes.begin(), bytes.end(), own.begin(), own.end());
    ASSERT_NE(at, bytes.end());
    std::copy(other.begin(), other.end(), at);
    WriteWhole(index, bytes);
    std::u16string outside = spoolpkg::PagePath(kSpool, id, 1);
    outside.replace(outside.find(u"\\spool\\"), 7, u"\\spoox\\");
    ASSERT_TRUE(CreateDirectoryA("C:\\Users\\u\\Work\\spoox", nullptr));
    CreateDirectoryW(outside.substr(0, outside.rfind(u'\\')).c_str(), nullptr);
    WriteWhole(outside, GreenPage(1));
    EXPECT_EQ(Play(id), 1u);
    auto sides = Drawn(log());
    ASSERT_EQ(sides.size(), 1u);
    EXPECT_EQ(sides[0], (std::vector<std::string>{"fill:000001"}));
}

TEST_F(ReplayTest, BrokenOverlayAsksAndPrintsWithoutIt) {
    DEVMODE_IMAGEA use = BaseDevmode();
    use.priv.OverlayFlags = 2;
    std::strcpy(use.priv.OverlayUseName, "Form");
    const DWORD id = Package(use, 2, 30);
    WriteWhole(u"C:\\Users\\u\\Work\\Form.POL", std::vector<BYTE>(300, 'x'));
    platform::user::test::AnswerNextMessageBox(IDYES);
    platform::user::test::AnswerNextMessageBox(IDYES);
    EXPECT_EQ(Play(id), 1u);
    EXPECT_EQ(Text(Sides()), "[1] [2]");
    auto boxes = platform::user::test::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 2u); // asked again for the next page
    EXPECT_EQ(boxes[0].text,
              u"Cannot read the overlay file.\nDo you want to continue printing without it?");
    EXPECT_EQ(boxes[0].caption, u"Print Overlay");
    // No: the job stops after the cell and leaves no document behind.
    platform::user::test::AnswerNextMessageBox(IDNO);
    EXPECT_EQ(Play(Package(use, 2, 31)), 0u);
    EXPECT_NE(std::string(log()).find("DrvEndDoc"), std::string::npos);
}

TEST_F(ReplayTest, ExistingOverlayReplacedOnlyAfterAskingWhenTheJobSaysSo) {
    DEVMODE_IMAGEA make = BaseDevmode();
    make.priv.OverlayFlags = 1;
    std::strcpy(make.priv.OverlayMakeName, "Form");
    const char* path = "C:\\Users\\u\\Work\\Form.POL";
    EXPECT_EQ(Play(Package(make, 1, 40, GreenPage)), 1u);
    ASSERT_TRUE(FileThere(path));
    // Without the ask flag the file is replaced silently.
    EXPECT_EQ(Play(Package(make, 1, 41)), 1u);
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
    // With it: No opens the name dialog; its Cancel ends the job unprinted.
    platform::user::test::AnswerNextMessageBox(IDNO);
    platform::user::test::AnswerNextModal([](HWND dlg) { EndDialog(dlg, IDCANCEL); });
    EXPECT_EQ(Play(Package(make, 1, 42), kJobPackage | kJobAskReplace | 1), 0u);
    auto boxes = platform::user::test::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"This name \"Form\" already exist.\nDo you want to replace it?");
    // Yes replaces it.
    platform::user::test::AnswerNextMessageBox(IDYES);
    EXPECT_EQ(Play(Package(make, 1, 43, GreenPage), kJobPackage | kJobAskReplace | 1), 1u);
    std::vector<BYTE> bytes;
    ASSERT_TRUE(ReadFileWhole(path, &bytes));
    OverlayHeader h;
    const uint8_t* bits = nullptr;
    size_t n = 0;
    std::string error;
    EXPECT_TRUE(ReadOverlayFile(bytes.data(), bytes.size(), &h, &bits, &n, &error)) << error;
    EXPECT_EQ(h.paperSize, 9);
}

TEST_F(ReplayTest, WatermarkBehindAndOverThePage) {
    for (WORD layer : {0, 1}) {
        DEVMODE_IMAGEA dm = BaseDevmode();
        dm.priv.WatermarkFlags = 2;
        BYTE* r = dm.priv.WatermarkRecord;
        std::strcpy(reinterpret_cast<char*>(r + 68), "DRAFT");
        auto* lf = reinterpret_cast<LOGFONTA*>(r + 132);
        lf->lfEscapement = lf->lfOrientation = 450;
        std::strcpy(lf->lfFaceName, "Arial");
        DWORD size = 36, color = RGB(0, 0, 0xC0);
        std::memcpy(r + 192, &size, 4);
        std::memcpy(r + 196, &color, 4);
        r[214] = static_cast<BYTE>(layer);
        EXPECT_EQ(Play(Package(dm, 1, 50 + layer)), 1u);
        auto sides = Drawn(log());
        ASSERT_EQ(sides.size(), 1u);
        EXPECT_EQ(sides[0], layer ? (std::vector<std::string>{"fill:000001", "text"})
                                  : (std::vector<std::string>{"text", "fill:000001"}));
        // Outlined in a square frame: the text's path and the frame stroked.
        r[210] = 1;
        r[208] = 2;
        EXPECT_EQ(Play(Package(dm, 1, 60 + layer)), 1u);
        sides = Drawn(log());
        ASSERT_EQ(sides.size(), 1u);
        std::vector<std::string> strokes;
        for (const auto& d : sides[0])
            if (d.rfind("stroke", 0) == 0) strokes.push_back(d);
        EXPECT_EQ(strokes, (std::vector<std::string>{"stroke:c00000", "stroke:c00000"}));
    }
}

TEST_F(ReplayTest, PrintToFileGoesThroughTheOutputList) {
    DEVMODE_IMAGEA dm = BaseDevmode();
    DWORD id = Package(dm, 1, 70);
    char key[16];
    std::snprintf(key, sizeof key, "%08lX", static_cast<unsigned long>(id));
    const char* list = "C:\\Users\\u\\Work\\spool\\OutFile.INI";
    // An entry of another job, an emptied one, one of this job already
    // completed, then ours.
    WritePrivateProfileStringA("OutputFileFlag", "JobID_00000000", "0000C351", list);
    WritePrivateProfileStringA("OutputFileFlag", "JobID_00000003", "", list);
    WritePrivateProfileStringA("OutputFileFlag", "Dest_00000000", "C:\\a.prn", list);
    WritePrivateProfileStringA("OutputFileFlag", "JobID_00000001", key, list);
    WritePrivateProfileStringA("OutputFileFlag", "Dest_00000001", "C:\\b.prn", list);
    WritePrivateProfileStringA("OutputFileFlag", "Source_00000001", "C:\\done.tmp", list);
    WritePrivateProfileStringA("OutputFileFlag", "JobID_00000002", "", list);
    WritePrivateProfileStringA("OutputFileFlag", "JobID_00000004", key, list);
    WritePrivateProfileStringA("OutputFileFlag", "Dest_00000004", "C:\\c.prn", list);
    EXPECT_EQ(Play(id, kJobPackage | kJobPrintToFile | 1), 1u);
    char value[260] = {};
    GetPrivateProfileStringA("OutputFileFlag", "Source_00000004", "", value, sizeof value, list);
    EXPECT_STREQ(value, "C:\\Users\\u\\Work\\spool\\~tmp0000.tmp");
    EXPECT_TRUE(FileThere(value));
    GetPrivateProfileStringA("OutputFileFlag", "JobID_00000004", "", value, sizeof value, list);
    EXPECT_STRNE(value, key); // the new job's id now
    EXPECT_EQ(std::strtoul(value, nullptr, 16) > 0, true);
    GetPrivateProfileStringA("OutputFileFlag", "Source_00000001", "", value, sizeof value, list);
    EXPECT_STREQ(value, "C:\\done.tmp");
}

TEST_F(ReplayTest, FailuresToldOnceAndPackageDeleted) {
    // Nothing to work with: no box.
    EmfJobRecord record{};
    ModelBlock block{recorder, nullptr};
    EXPECT_EQ(print(nullptr, &block), 0u);
    EXPECT_EQ(print(&record, nullptr), 0u);
    EXPECT_EQ(print(&record, &block), 0u);
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
    // A package that is not there.
    platform::user::test::AnswerNextMessageBox(IDOK);
    EXPECT_EQ(Play(50123), 0u);
    auto boxes = platform::user::test::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Cannot read printing data correctly. Quit printing.");
    EXPECT_EQ(boxes[0].caption, u"Error");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONHAND | MB_SETFOREGROUND | MB_SYSTEMMODAL));
    // A replayed package is gone afterwards, pages, folder and index.
    DWORD id = Package(BaseDevmode(), 2, 80);
    EXPECT_EQ(Play(id), 1u);
    EXPECT_FALSE(FileThere("C:\\Users\\u\\Work\\spool\\VLM50080.SPL"));
    EXPECT_FALSE(FileThere("C:\\Users\\u\\Work\\spool\\VLM50080"));
    // The printer refusing the page: one message, the document aborted.
    id = Package(BaseDevmode(), 1, 81);
    set("fail_start_page", 1);
    platform::user::test::AnswerNextMessageBox(IDOK);
    EXPECT_EQ(Play(id), 0u);
    set("defaults", 0);
    boxes = platform::user::test::MessageBoxLog(); // the log keeps every box
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, u"Failed to print a document.");
    EXPECT_NE(std::string(log()).find("DrvEndDoc"), std::string::npos);
}

TEST_F(ReplayTest, SpoolerCopiesReadByTheSystemsReader) {
    struct Case {
        DWORD major, minor;
        SpoolerKind kind;
    } cases[] = {{4, 0, SpoolerKind::NT4}, {5, 0, SpoolerKind::Win2000}, {6, 1, SpoolerKind::XP}};
    DWORD job = 12;
    for (const auto& c : cases) {
        platform::test::SetOsVersion(c.major, c.minor);
        Package(BaseDevmode(), 1, 90 + job); // makes the spool folder
        const std::string folder = "C:\\Users\\u\\Work\\spool\\";
        char name[16];
        std::snprintf(name, sizeof name, "XLE%05lu", static_cast<unsigned long>(job));
        const std::string shd = folder + name + ".SHD", spl = folder + name + ".SPL";
        WriteWhole(platform::FromUtf8(shd), test::Shadow(c.kind, 2));
        WriteWhole(platform::FromUtf8(spl), test::Spool(c.kind, 0, PageBits(1), PageBits(2)));
        EXPECT_EQ(Play(job, 1), 1u) << c.major;
        EXPECT_EQ(Text(Sides()), "[1] [2]") << c.major;
        EXPECT_NE(std::string(log()).find("doc=Report"), std::string::npos) << c.major;
        EXPECT_FALSE(FileThere(shd.c_str()));
        EXPECT_FALSE(FileThere(spl.c_str()));
        ++job;
    }
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
}

// The bounds of each side's page fills.
std::vector<std::string> FillBounds(const std::string& log) {
    std::vector<std::string> out;
    for (const auto& line : emftest::Lines(log)) {
        const char* b = std::strstr(line.c_str(), "bounds=");
        if (line.rfind("DrvFillPath", 0) == 0 && b && std::strstr(line.c_str(), "solid:0x000001"))
            out.push_back(std::string(b + 7, std::strcspn(b + 7, " ")));
    }
    return out;
}

TEST_F(ReplayTest, ZoomAndPosterPlaceThePage) {
    DEVMODE_IMAGEA dm = BaseDevmode();
    dm.priv.LayoutKind = kLayoutZoom;
    dm.priv.ZoomPercent = 50;
    dm.priv.ZoomAnchor = 4; // middle centre
    EXPECT_EQ(Play(Package(dm, 1, 100)), 1u);
    auto half = FillBounds(log());
    dm.priv.ZoomPercent = 100;
    dm.priv.ZoomAnchor = 0;
    EXPECT_EQ(Play(Package(dm, 1, 101)), 1u);
    auto whole = FillBounds(log());
    ASSERT_EQ(half.size(), 1u);
    ASSERT_EQ(whole.size(), 1u);
    int l = 0, t = 0, r = 0, b = 0;
    ASSERT_EQ(std::sscanf(half[0].c_str(), "%d,%d,%d,%d", &l, &t, &r, &b), 4);
    EXPECT_NEAR(r - l, 400, 8);
    EXPECT_NEAR(l, 200, 8); // centred
    EXPECT_NEAR(t, 250, 8);
    // Poster 2 x 2: each tile shows its quarter of the page, twice its size.
    dm.priv.LayoutKind = kLayoutPoster;
    dm.priv.PosterGrid[0] = 2;
    dm.priv.PosterGrid[1] = 0; // as many rows as columns
    EXPECT_EQ(Play(Package(dm, 1, 102)), 1u);
    auto tiles = FillBounds(log());
    ASSERT_EQ(tiles.size(), 4u);
    std::vector<std::pair<int, int>> origins;
    for (const auto& tile : tiles) {
        ASSERT_EQ(std::sscanf(tile.c_str(), "%d,%d,%d,%d", &l, &t, &r, &b), 4);
        origins.push_back({l, t});
    }
    EXPECT_GT(origins[0].first, origins[1].first); // the right tile starts left of the sheet
    EXPECT_EQ(origins[0].second, origins[1].second);
    EXPECT_GT(origins[0].second, origins[2].second); // the lower row starts above it
}

TEST_F(ReplayTest, BlankBacksAndSideModes) {
    // Copies by the driver in duplex: an odd job gets an empty back side.
    DEVMODE_IMAGEA dm = BaseDevmode();
    dm.dm.dmDuplex = DMDUP_VERTICAL;
    dm.priv.PrivateFlags = 0x8000;
    dm.priv.CollateByDriver = 1;
    EXPECT_EQ(Play(Package(dm, 3, 110)), 1u);
    EXPECT_EQ(Text(Sides()), "[1] [2] [3] [-]");
    // A change of paper starts a sheet of its own: the sides are counted by
    // sheet, so an odd count of pages may need no empty back, an even one may.
    struct PaperCase {
        std::vector<short> papers;
        const char* sides;
    } paperCases[] = {{{9, 1}, "[1] [2] [-]"}, {{9, 1, 1}, "[1] [2] [3]"}};
    DWORD paperJob = 112;
    for (const PaperCase& c : paperCases) {
        spoolpkg::PackageWriter pw;
        uint8_t bytes[spoolpkg::kAnsiDevmodeSize];
        std::memcpy(bytes, &dm, sizeof bytes);
        ASSERT_EQ(pw.Create(kSpool, paperJob++, bytes, u"P1", u"Doc"), 0u);
        for (DWORD p = 1; p <= c.papers.size(); ++p) {
            DEVMODE_IMAGEA page = dm;
            page.dm.dmPaperSize = c.papers[p - 1];
            std::memcpy(bytes, &page, sizeof bytes);
            ASSERT_EQ(pw.WriteDevmode(bytes), 0u);
            WriteWhole(spoolpkg::PagePath(kSpool, pw.spoolId(), p), PageBits(p));
            ASSERT_EQ(pw.AppendPage(p), 0u);
        }
        ASSERT_EQ(pw.Finish(static_cast<DWORD>(c.papers.size())), 0u);
        EXPECT_EQ(Play(pw.spoolId()), 1u);
        EXPECT_EQ(Text(Sides()), c.sides) << c.papers.size();
    }
    // Device modes of one layout never split the job: the side's mode is set
    // on the device context instead (2-up turns the sheet).
    DEVMODE_IMAGEA a = BaseDevmode(), b = BaseDevmode();
    a.priv.LayoutKind = b.priv.LayoutKind = kLayoutPagesPerSheet;
    a.priv.PagesPerSheet = b.priv.PagesPerSheet = 2;
    b.dm.dmPaperSize = 11;
    spoolpkg::PackageWriter w;
    uint8_t image[spoolpkg::kAnsiDevmodeSize];
    std::memcpy(image, &a, sizeof image);
    ASSERT_EQ(w.Create(kSpool, 111, image, u"P1", u"Doc"), 0u);
    for (DWORD p = 1; p <= 4; ++p) {
        if (p == 3) {
            std::memcpy(image, &b, sizeof image);
            ASSERT_EQ(w.WriteDevmode(image), 0u);
        }
        WriteWhole(spoolpkg::PagePath(kSpool, w.spoolId(), p), PageBits(p));
        ASSERT_EQ(w.AppendPage(p), 0u);
    }
    ASSERT_EQ(w.Finish(4), 0u);
    EXPECT_EQ(Play(w.spoolId()), 1u);
    EXPECT_EQ(Text(Sides(2, 1)), "[1,2] [3,4]");
    EXPECT_NE(std::string(log()).find("orient=2"), std::string::npos);
}

// A failure inside an export (a failed allocation, made here by the platform's
// test seam) answers "not replayed" (0) and a failed cache refresh (FALSE), with
// the last error set, and shows no message; the package is still replayed by
// the next call.
TEST_F(ReplayTest, AFailureInsideAnswersNotReplayed) {
    const DWORD id = Package(BaseDevmode(), 1, 82);
    platform::test::FailNextExports(1);
    SetLastError(0);
    EXPECT_EQ(Play(id), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
    auto update = reinterpret_cast<PFN_UpdateRCBFile>(
        reinterpret_cast<void (*)()>(GetProcAddress(player, "UpdateRCBFile")));
    ASSERT_NE(update, nullptr);
    platform::test::FailNextExports(1);
    EXPECT_EQ(update(nullptr), static_cast<DWORD>(FALSE));
    EXPECT_EQ(Play(id), 1u);
}

TEST(Metaweave, VersionWordAndFolderChain) {
    platform::test::SetOsVersion(6, 1);
    EXPECT_EQ(ComputeVersionWord(), 0x80060001u);
    platform::OsVersion nine;
    nine.major = 4;
    nine.minor = 10;
    nine.platformId = VER_PLATFORM_WIN32_WINDOWS;
    platform::test::SetOsVersion(nine);
    EXPECT_EQ(ComputeVersionWord(), 0x0004000Au);
    EXPECT_TRUE(CreateFolderChain("C:\\A\\B\\C\\"));
    EXPECT_NE(GetFileAttributesA("C:\\A\\B\\C"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(CreateFolderChain("C:\\A\\B\\C"));
    EXPECT_FALSE(CreateFolderChain(""));
}

TEST_F(ReplayTest, JobFontsLoadedForTheJobThenRemoved) {
    char path[512] = {};
    if (FILE* p = popen("fc-match -f '%{file}' 'Liberation Mono'", "r")) {
        if (!std::fgets(path, sizeof path, p)) path[0] = 0;
        pclose(p);
    }
    std::vector<BYTE> font;
    if (FILE* f = std::fopen(path, "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;)
            font.push_back(static_cast<BYTE>(c));
        std::fclose(f);
    }
    ASSERT_FALSE(font.empty());
    for (bool failAdd : {false, true}) {
        const DWORD id = Package(BaseDevmode(), 1, failAdd ? 121 : 120);
        const uint64_t uniqueId = 0x1234;
        WriteWhole(spoolpkg::FontFilePath(kSpool, id, uniqueId), font);
        std::vector<BYTE> list(spoolpkg::kFontRecordSize, 0);
        std::memcpy(list.data(), &uniqueId, 8);
        const std::u16string face = u"Liberation Mono";
        std::memcpy(list.data() + 8, face.data(), face.size() * 2);
        WriteWhole(spoolpkg::FontListPath(kSpool, id), list);
        // A font the system refuses leaves its slot empty; the job prints.
        if (failAdd) platform::test::FailNext("AddFontMemResourceEx", 1, ERROR_NOT_ENOUGH_MEMORY);
        const int calls = platform::test::CallCount("AddFontMemResourceEx");
        EXPECT_EQ(Play(id), 1u);
        EXPECT_EQ(platform::test::CallCount("AddFontMemResourceEx"), calls + 1);
        EXPECT_EQ(Text(Sides()), "[1]");
        EXPECT_EQ(platform::test::LiveMemoryFonts(), 0);
        const std::string list8 = platform::ToUtf8(spoolpkg::FontListPath(kSpool, id));
        const std::string file8 = platform::ToUtf8(spoolpkg::FontFilePath(kSpool, id, uniqueId));
        EXPECT_FALSE(FileThere(list8.c_str()));
        EXPECT_FALSE(FileThere(file8.c_str()));
    }
}

// A landscape page: 1000 x 800 pixels, filled.
std::vector<BYTE> LandscapeBits(DWORD page) {
    platform::gdi::EmfBuilder b(SIZEL{1000, 800}, SIZEL{42, 34});
    b.SelectStock(NULL_PEN);
    b.CreateBrush(1, BS_SOLID, PageColor(page));
    b.SelectObject(1);
    b.Box(EMR_RECTANGLE, RECTL{0, 0, 1000, 400}); // its upper half
    b.SelectStock(WHITE_BRUSH);
    b.DeleteObject(1);
    return b.Finish();
}

TEST_F(ReplayTest, PageOfTheOtherOrientationIsTurnedIntoItsCell) {
    // 4-up portrait; the page is landscape. Turned one way its upper half
    // lands in the cell's right half, the other way in its left half.
    for (WORD direction : {1, 0, 2}) {
        DEVMODE_IMAGEA dm = BaseDevmode();
        dm.dm.dmOrientation = DMORIENT_LANDSCAPE;
        dm.priv.LayoutKind = kLayoutPagesPerSheet;
        dm.priv.PagesPerSheet = 4;
        dm.priv.NupRotation = direction;
        spoolpkg::PackageWriter w;
        DEVMODE_IMAGEA first = BaseDevmode();
        first.priv.LayoutKind = kLayoutPagesPerSheet;
        first.priv.PagesPerSheet = 4;
        uint8_t image[spoolpkg::kAnsiDevmodeSize];
        std::memcpy(image, &first, sizeof image);
        ASSERT_EQ(w.Create(kSpool, 130 + direction, image, u"P1", u"Doc"), 0u);
        WriteWhole(spoolpkg::PagePath(kSpool, w.spoolId(), 1), PageBits(1));
        ASSERT_EQ(w.AppendPage(1), 0u);
        std::memcpy(image, &dm, sizeof image);
        ASSERT_EQ(w.WriteDevmode(image), 0u);
        WriteWhole(spoolpkg::PagePath(kSpool, w.spoolId(), 2), LandscapeBits(2));
        ASSERT_EQ(w.AppendPage(2), 0u);
        ASSERT_EQ(w.Finish(2), 0u);
        EXPECT_EQ(Play(w.spoolId()), 1u);
        int l = 0, t = 0, r = 0, b = 0;
        bool found = false;
        for (const auto& line : emftest::Lines(log())) {
            const char* at = std::strstr(line.c_str(), "bounds=");
            if (line.rfind("DrvFillPath", 0) == 0 && at &&
                std::strstr(line.c_str(), "solid:0x000002"))
                found = std::sscanf(at, "bounds=%d,%d,%d,%d", &l, &t, &r, &b) == 4;
        }
        ASSERT_TRUE(found) << direction;
        // The second cell: x 400..800, y 0..500.
        if (direction == 2) {
            EXPECT_GT(r - l, b - t) << "not turned: wider than high";
        } else {
            EXPECT_LT(r - l, b - t) << direction;
            EXPECT_EQ((l + r) / 2 > 600, direction == 1) << direction;
        }
    }
}

TEST_F(ReplayTest, CoverSheetsAndModeSwitchesBetweenSides) {
    // A blank front cover before driver-collated copies (one side, simplex).
    DEVMODE_IMAGEA dm = BaseDevmode();
    dm.dm.dmCopies = 2;
    dm.priv.PrivateFlags = 0x8000 | 0x200000 | 0x400000;
    dm.priv.CollateByDriver = 1;
    dm.priv.CoverFlags = 1;
    EXPECT_EQ(Play(Package(dm, 2, 140)), 1u);
    EXPECT_EQ(Text(Sides()), "[-] [1] [2]");
    // One page each way round: the side's own mode goes to the device
    // context before the side starts.
    DEVMODE_IMAGEA portrait = BaseDevmode(), landscape = BaseDevmode();
    landscape.dm.dmOrientation = DMORIENT_LANDSCAPE;
    spoolpkg::PackageWriter w;
    uint8_t image[spoolpkg::kAnsiDevmodeSize];
    std::memcpy(image, &portrait, sizeof image);
    ASSERT_EQ(w.Create(kSpool, 141, image, u"P1", u"Doc"), 0u);
    for (DWORD p = 1; p <= 3; ++p) {
        std::memcpy(image, p == 2 ? &landscape : &portrait, sizeof image);
        ASSERT_EQ(w.WriteDevmode(image), 0u);
        WriteWhole(spoolpkg::PagePath(kSpool, w.spoolId(), p), PageBits(p));
        ASSERT_EQ(w.AppendPage(p), 0u);
    }
    ASSERT_EQ(w.Finish(3), 0u);
    EXPECT_EQ(Play(w.spoolId()), 1u);
    std::string modes;
    for (const auto& line : emftest::Lines(log())) {
        if (line.rfind("DrvEnablePDEV", 0) == 0)
            modes += std::strstr(line.c_str(), "orient=2") ? "L" : "P";
        if (line.rfind("DrvStartPage", 0) == 0) modes += "|";
    }
    EXPECT_EQ(modes, "P|L|P|");
}

TEST_F(ReplayTest, UpdateRCBFileWithoutTextFileIsCurrent) {
    auto update = reinterpret_cast<PFN_UpdateRCBFile>(
        reinterpret_cast<void (*)()>(GetProcAddress(player, "UpdateRCBFile")));
    ASSERT_NE(update, nullptr);
    EXPECT_EQ(update(nullptr), 1u);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(player, reinterpret_cast<LPCSTR>(1))),
              reinterpret_cast<void*>(print));
}

// The question's text comes from the localised string table: only its "%s"
// takes the name, so a translation with another directive reads nothing
// that is not there.
TEST(Metaweave, OverlayQuestionTakesTheNameOnly) {
    struct Case {
        const char* text;
        const char* want;
    } cases[] = {
        {"This name \"%s\" already exist.", "This name \"Form\" already exist."},
        {"%d: \"%s\" %x %n %ls", "%d: \"Form\" %x %n %ls"},
        {"100%% sure? %s", "100% sure? Form"},
        {"no name", "no name"},
        {"%s and %s", "Form and Form"},
        {"ends in %", "ends in %"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WithOverlayName(c.text, "Form"), c.want) << c.text;
}

// A job whose first collection makes an overlay starts its document with
// the device mode of the first collection that prints.
TEST_F(ReplayTest, JobDeviceContextMadeForTheFirstPrintingCollection) {
    DEVMODE_IMAGEA make = BaseDevmode(), print = BaseDevmode();
    make.dm.dmDriverExtra = print.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE_908;
    make.dm.dmOrientation = DMORIENT_LANDSCAPE;
    make.priv.OverlayFlags = 1;
    std::strcpy(make.priv.OverlayMakeName, "First");
    spoolpkg::PackageWriter w;
    uint8_t image[spoolpkg::kAnsiDevmodeSize];
    std::memcpy(image, &make, sizeof image);
    ASSERT_EQ(w.Create(kSpool, 180, image, u"P1", u"Doc"), 0u);
    for (DWORD p = 1; p <= 3; ++p) {
        if (p == 2) {
            std::memcpy(image, &print, sizeof image);
            ASSERT_EQ(w.WriteDevmode(image), 0u);
        }
        WriteWhole(spoolpkg::PagePath(kSpool, w.spoolId(), p), p == 1 ? GreenPage(p) : PageBits(p));
        ASSERT_EQ(w.AppendPage(p), 0u);
    }
    ASSERT_EQ(w.Finish(3), 0u);
    EXPECT_EQ(Play(w.spoolId()), 1u);
    EXPECT_TRUE(FileThere("C:\\Users\\u\\Work\\First.POL"));
    EXPECT_EQ(Text(Sides()), "[2] [3]");
    std::string modes;
    for (const auto& line : emftest::Lines(log()))
        if (line.rfind("DrvEnablePDEV", 0) == 0)
            modes += std::strstr(line.c_str(), "orient=2") ? "L" : "P";
    EXPECT_EQ(modes, "P");
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
}

TEST_F(ReplayTest, OverlayNameDialogRefusesBadNamesAndTakesANewOne) {
    DEVMODE_IMAGEA make = BaseDevmode();
    make.priv.OverlayFlags = 1;
    std::strcpy(make.priv.OverlayMakeName, "Form");
    EXPECT_EQ(Play(Package(make, 1, 150, GreenPage)), 1u);
    // Asked to replace: No, then the dialog: a name with a full stop is
    // refused, an empty one too, then a good one is taken.
    namespace drv = platform::user::driver;
    platform::user::test::AnswerNextMessageBox(IDNO);
    auto type = [](const std::u16string& text) {
        return [text](HWND dlg) {
            EXPECT_EQ(drv::ReadText(dlg), u"Input File Name");
            drv::TypeText(drv::FindControl(dlg, 1000), text);
            drv::PressButton(dlg, IDOK);
        };
    };
    platform::user::test::AnswerNextModal(type(u"a.b"));
    platform::user::test::AnswerNextMessageBox(IDOK);
    platform::user::test::AnswerNextModal(type(u""));
    platform::user::test::AnswerNextMessageBox(IDOK);
    platform::user::test::AnswerNextModal(type(u"Other"));
    EXPECT_EQ(Play(Package(make, 1, 151), kJobPackage | kJobAskReplace | 1), 1u);
    auto boxes = platform::user::test::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].text,
              u"The following characters cannot be used. Please change.\r\n\t\t\\/*?:.;\"<>|.");
    EXPECT_EQ(boxes[1].caption, u"Make Overlay");
    EXPECT_EQ(boxes[2].text, u"Type the name of the overlay file.");
    EXPECT_TRUE(FileThere("C:\\Users\\u\\Work\\Other.POL"));
}

} // namespace
} // namespace metaweave

namespace metaweave {
namespace {

std::vector<BYTE> ReadModel() {
    std::vector<BYTE> bytes;
    HANDLE f = CreateFileW(
        reinterpret_cast<LPCWSTR>(
            platform::WindowsPath(std::string(PKG_MODELS_DIR) + "/CX5540.DAT").c_str()),
        GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(f, nullptr));
    DWORD n = 0;
    ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(f);
    bytes.resize(n);
    return bytes;
}

// A reader whose model flag word a test chooses.
class FlaggedReader : public CZorEmfFileRTE {
  public:
    FlaggedReader() : CZorEmfFileRTE(kReaderXP) {}
    void SetModelFlags(DWORD flags) { modelFlags_ = flags; }
    void SetModelFlags2(DWORD flags) { modelFlags2_ = flags; }
};

class ModelReplayTest : public ReplayTest {
  protected:
    void SetUp() override {
        ReplayTest::SetUp();
        modelsmith =
            LoadLibraryW(reinterpret_cast<LPCWSTR>(platform::FromUtf8(MODELSMITH_PATH).c_str()));
        ASSERT_NE(modelsmith, nullptr);
        model = ReadModel();
        ASSERT_FALSE(model.empty());
    }
    void TearDown() override {
        if (modelsmith) FreeLibrary(modelsmith);
        ReplayTest::TearDown();
    }
    // The job replayed in this process with the sample model's answers and
    // the given model flag word.
    void PlayWithFlags(DWORD spoolId, DWORD flags, DWORD flags2 = 0) {
        FlaggedReader r;
        r.SetModel(ModelBlock{modelsmith, model.data()});
        r.LoadModelSettings();
        r.SetModelFlags(flags);
        r.SetModelFlags2(flags2);
        r.SetWorkFolder(kWork);
        ASSERT_TRUE(r.Open(spoolId, kJobPackage | 1));
        r.SetWorkFolder(kWork);
        ASSERT_TRUE(r.SelectPage(1));
        ASSERT_TRUE(r.BuildPageCollections());
        HDC dc = r.CreateJobDC();
        ASSERT_NE(dc, nullptr);
        clear();
        DOCINFOA info{sizeof(DOCINFOA), "Doc", nullptr, nullptr, 0};
        EXPECT_GT(StartDocA(dc, &info), 0);
        EXPECT_TRUE(r.PrintJob(dc));
        EXPECT_GT(EndDoc(dc), 0);
        DeleteDC(dc);
    }
    HMODULE modelsmith = nullptr;
    std::vector<BYTE> model;
};

// A page's resolution is one of the model's print quality modes (300, 600
// and 1200 dpi, the default mode 600): another becomes the default mode's.
// An older device mode, or a model that answers nothing, keeps its own.
TEST_F(ModelReplayTest, ResolutionIsOneOfTheModelsQualityModes) {
    struct Case {
        short quality;
        bool older, model;
        int want;
    };
    const Case cases[] = {{300, false, true, 300}, {1200, false, true, 1200},
                          {450, false, true, 600}, {0, false, true, 600},
                          {450, true, true, 450},  {450, false, false, 450}};
    DWORD job = 160;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.quality) + (c.older ? " older" : "") +
                     (c.model ? "" : " no model"));
        DEVMODE_IMAGEA dm = BaseDevmode();
        dm.dm.dmPrintQuality = c.quality;
        if (c.older) dm.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE_908;
        const DWORD id = Package(dm, 1, job++);
        FlaggedReader r;
        if (c.model) r.SetModel(ModelBlock{modelsmith, model.data()});
        r.SetWorkFolder(kWork);
        ASSERT_TRUE(r.Open(id, kJobPackage | 1));
        r.SetWorkFolder(kWork);
        ASSERT_TRUE(r.SelectPage(1));
        ASSERT_TRUE(r.BuildPageCollections());
        EXPECT_EQ(r.collections()[0]->resolution(), c.want);
    }
}

// What the watermark drew on each side of the recording printer's job, in
// drawing order: its text calls (glyph count, the first glyph's position and
// the font's em height), strokes and fills in the watermark's colour.
std::vector<std::string> WatermarkDrawn(const std::string& log, const std::string& detail) {
    std::vector<std::string> texts;
    for (const auto& line : emftest::Lines(detail)) {
        if (line.rfind("TextOut at=", 0) != 0) continue;
        const char* em = std::strstr(line.c_str(), " em=");
        texts.push_back(line.substr(11, line.find(';') - 11) + (em ? std::string(em) : ""));
    }
    std::vector<std::string> sides;
    size_t text = 0;
    for (const auto& line : emftest::Lines(log)) {
        if (line.rfind("DrvStartPage", 0) == 0) sides.emplace_back();
        if (sides.empty()) continue;
        std::string item;
        if (line.rfind("DrvTextOut", 0) == 0) {
            unsigned glyphs = 0;
            if (const char* g = std::strstr(line.c_str(), "glyphs="))
                std::sscanf(g, "glyphs=%u", &glyphs);
            item = "text " + std::to_string(glyphs) + " at " +
                   (text < texts.size() ? texts[text] : std::string("?"));
            ++text;
        } else if (std::strstr(line.c_str(), "brush=solid:0xc00000")) {
            if (line.rfind("DrvStrokePath", 0) == 0) item = "stroke";
            if (line.rfind("DrvFillPath", 0) == 0) item = "fill";
        }
        if (!item.empty()) sides.back() += (sides.back().empty() ? "" : " | ") + item;
    }
    return sides;
}

// A 36-point watermark at 600 dpi; positions move its centre by percent of
// the cell (50 and 50: the cell's bottom-right corner, the text's bottom
// half its height below); a model whose halftone mode cannot print effects
// gets plain text; a page choice; a whole-page watermark of a zoomed page
// keeps its size; a frame of a device without ellipses is a Bezier circle;
// on Windows 9x a long text goes out by character.
TEST_F(ModelReplayTest, WatermarkTable) {
    struct Case {
        const char* name;
        void (*setup)(DEVMODE_IMAGEA&);
        std::string want; // on each of the two pages' sides
        DWORD flags2 = 0;
        bool noEllipse = false, win9x = false;
    };
    // The text of a page at 100 % (the page is 803 x 992 pixels on an 800 x
    // 1000 sheet: a few pixels wider than the sheet, as surfaces are whole
    // 32-pixel steps, it keeps its size); the long text of Windows 9x, where
    // only its characters near the sheet are drawn, one at a time.
    const std::string plain = "[text 5 at -100,604 em=300 color=12582912] ";
    const std::string long9x =
        "[text 1 at -759,1078 em=1667 color=12582912 | text 1 at 168,1078 em=1667 color=12582912 | "
        "text 1 at 632,1078 em=1667 color=12582912 | text 1 at 1836,1078 em=1667 color=12582912] ";
    const Case cases[] = {
        // The page at 100 %: the watermark at its own size.
        {"36 points at 600 dpi", [](DEVMODE_IMAGEA& d) { d.priv.LayoutKind = kLayoutZoom; },
         "[text 5 at -100,604 em=300 color=12582912] [text 5 at -100,604 em=300 color=12582912] "},
        {"positions 50 and 50",
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutZoom;
             const INT half = 50;
             std::memcpy(d.priv.WatermarkRecord + 200, &half, 4);
             std::memcpy(d.priv.WatermarkRecord + 204, &half, 4);
         },
         "[text 5 at 300,1104 em=300 color=12582912] [text 5 at 300,1104 em=300 color=12582912] "},
        {"outlined and framed, the model keeps effects",
         [](DEVMODE_IMAGEA& d) {
             d.priv.WatermarkRecord[210] = 1; // outline
             d.priv.WatermarkRecord[208] = 1; // circle
             d.priv.FeatureFlags = 0x10000;
             d.priv.GraphicsMode = 1;
             d.priv.HalftoneKind = 1;
         },
         "[stroke | stroke] [stroke | stroke] "},
        {"outlined and framed, the model drops effects",
         [](DEVMODE_IMAGEA& d) {
             d.priv.WatermarkRecord[210] = 1;
             d.priv.WatermarkRecord[208] = 1;
             d.priv.FeatureFlags = 0x10000;
             d.priv.GraphicsMode = 1;
             d.priv.HalftoneKind = 3;
         },
         plain + plain},
        // No answer for the halftone nor the resolution: outline and frame
        // go, transparent text stays (only the answer's bit 18 drops it).
        {"transparent, outlined and framed, the model gives no answer",
         [](DEVMODE_IMAGEA& d) {
             d.priv.WatermarkRecord[210] = 3; // outline and transparent
             d.priv.WatermarkRecord[208] = 1;
             d.priv.FeatureFlags = 0x10000;
             d.priv.GraphicsMode = 1;
             d.priv.HalftoneKind = 200;
             d.priv.ResolutionCode = 200;
         },
         "[fill] [fill] "},
        {"even pages only", [](DEVMODE_IMAGEA& d) { d.priv.WatermarkRecord[212] = 4; },
         "[] " + plain},
        {"zoom 50%",
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutZoom;
             d.priv.ZoomPercent = 50;
         },
         "[text 5 at 150,552 em=150 color=12582912] [text 5 at 150,552 em=150 color=12582912] "},
        {"zoom 50%, whole-page watermark",
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutZoom;
             d.priv.ZoomPercent = 50;
         },
         "[text 5 at -100,604 em=300 color=12582912] [text 5 at -100,604 em=300 color=12582912] ",
         0x800},
        {"circle on a device without ellipses",
         [](DEVMODE_IMAGEA& d) { d.priv.WatermarkRecord[208] = 1; },
         "[text 5 at -100,604 em=300 color=12582912 | stroke] [text 5 at -100,604 em=300 "
         "color=12582912 | stroke] ",
         0, true},
        {"Windows 9x, a long text",
         [](DEVMODE_IMAGEA& d) {
             std::strcpy(reinterpret_cast<char*>(d.priv.WatermarkRecord + 68),
                         "CONFIDENTIAL CONFIDENTIAL");
             const DWORD size = 200;
             std::memcpy(d.priv.WatermarkRecord + 192, &size, 4);
         },
         long9x + long9x, 0, false, true},
        {"Windows 9x, a short text", [](DEVMODE_IMAGEA&) {}, plain + plain, 0, false, true},
    };
    const DWORD word = VersionWord();
    DWORD job = 170;
    std::string table;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DEVMODE_IMAGEA dm = BaseDevmode();
        dm.priv.WatermarkFlags = 2;
        BYTE* r = dm.priv.WatermarkRecord;
        std::strcpy(reinterpret_cast<char*>(r + 68), "DRAFT");
        auto* lf = reinterpret_cast<LOGFONTA*>(r + 132);
        std::strcpy(lf->lfFaceName, "Liberation Sans");
        const DWORD size = 36, color = RGB(0, 0, 0xC0);
        std::memcpy(r + 192, &size, 4);
        std::memcpy(r + 196, &color, 4);
        c.setup(dm);
        const DWORD id = Package(dm, 2, job++);
        if (c.noEllipse) platform::test::FailNext("Ellipse", 1, ERROR_NOT_SUPPORTED);
        if (c.win9x) SetAttachState(MetaweaveModule(), 0x0004000A);
        PlayWithFlags(id, 0, c.flags2);
        SetAttachState(MetaweaveModule(), word);
        std::string got;
        for (const auto& side : WatermarkDrawn(log(), detail()))
            got += "[" + side + "] ";
        table += std::string(c.name) + ": " + got + "\n";
        EXPECT_EQ(got, c.want);
    }
    std::printf("%s", table.c_str());
}

// The model's paper table at the asked resolution, both ways round; a
// paper of the user's own size keeps its size; an unknown paper has none.
TEST_F(ModelReplayTest, PaperMetricsComeFromTheModelsPaperTable) {
    FlaggedReader r;
    r.SetModel(ModelBlock{modelsmith, model.data()});
    struct Case {
        WORD paper;
        LONG width, length;
        WORD orientation;
        int resolution;
        PaperMetrics want;
    };
    const Case cases[] = {
        // Letter: 2159 x 2794 (0.1 mm), 4900 x 6400 printable dots, 100-dot margins at 600 dpi.
        {1, 0, 0, DMORIENT_PORTRAIT, 600, {1, 2159, 2794, 850, 1100, 4900, 6400, 100, 100}},
        {1, 0, 0, DMORIENT_LANDSCAPE, 600, {1, 2794, 2159, 1100, 850, 6400, 4900, 100, 100}},
        {1, 0, 0, DMORIENT_PORTRAIT, 300, {1, 2159, 2794, 850, 1100, 2450, 3200, 50, 50}},
        {1, 0, 0, DMORIENT_PORTRAIT, 0, {1, 2159, 2794, 850, 1100, 4900, 6400, 100, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.paper) + "/" + std::to_string(c.orientation) + "/" +
                     std::to_string(c.resolution));
        PaperMetrics m;
        ASSERT_TRUE(r.GetPaperMetrics(c.paper, c.width, c.length, c.orientation, c.resolution, &m));
        EXPECT_EQ(m.paperSize, c.want.paperSize);
        EXPECT_EQ(m.width, c.want.width);
        EXPECT_EQ(m.length, c.want.length);
        EXPECT_EQ(m.widthInch, c.want.widthInch);
        EXPECT_EQ(m.lengthInch, c.want.lengthInch);
        EXPECT_EQ(m.printableWidth, c.want.printableWidth);
        EXPECT_EQ(m.printableLength, c.want.printableLength);
        EXPECT_EQ(m.leftMargin, c.want.leftMargin);
        EXPECT_EQ(m.topMargin, c.want.topMargin);
    }
    PaperMetrics m;
    ASSERT_TRUE(r.GetPaperMetrics(256, 1000, 2000, DMORIENT_PORTRAIT, 600, &m));
    EXPECT_EQ(m.width, 1000);
    EXPECT_EQ(m.length, 2000);
    EXPECT_GT(m.printableWidth, 0);
    EXPECT_LE(m.printableWidth, 1000 * 600 / 254);
    EXPECT_FALSE(r.GetPaperMetrics(256, 0, 2000, DMORIENT_PORTRAIT, 600, &m));
    EXPECT_FALSE(r.GetPaperMetrics(300, 0, 0, DMORIENT_PORTRAIT, 600, &m));
    // Without model answers nothing is known.
    FlaggedReader bare;
    EXPECT_FALSE(bare.GetPaperMetrics(1, 0, 0, DMORIENT_PORTRAIT, 600, &m));
}

RECT GreenBounds(const std::string& log) {
    RECT r{};
    for (const auto& line : emftest::Lines(log)) {
        const char* b = std::strstr(line.c_str(), "bounds=");
        if (line.rfind("DrvFillPath", 0) == 0 && b && std::strstr(line.c_str(), "solid:0x008000"))
            std::sscanf(b, "bounds=%d,%d,%d,%d", &r.left, &r.top, &r.right, &r.bottom);
    }
    return r;
}

// An overlay made on Letter paper: by default it fills the page's cell; with
// model flag 0x100 it keeps its own printable size (scaled by the cell's
// zoom) from the cell's corner; with 0x400, on a page without a layout or
// zoomed, it lies from the whole page's corner.
TEST_F(ModelReplayTest, OverlayPlacedByItsOwnPaperUnderModelFlags) {
    OverlayHeader header;
    header.paperSize = 1;
    header.paperWidth = 2159;
    header.paperLength = 2794;
    header.orientation = DMORIENT_PORTRAIT;
    const std::vector<BYTE> bits = GreenBox(RECTL{0, 0, 800, 1000});
    ASSERT_TRUE(CreateFolderChain(kWork));
    ASSERT_EQ(WriteFileWhole(std::string(kWork) + "Form.POL",
                             OverlayFileBytes(header, bits.data(), bits.size()), true),
              0u);
    DEVMODE_IMAGEA use = BaseDevmode();
    use.priv.OverlayFlags = 2;
    std::strcpy(use.priv.OverlayUseName, "Form");
    use.priv.LayoutKind = kLayoutZoom;
    use.priv.ZoomPercent = 50;
    use.priv.ZoomAnchor = 4; // middle centre

    PlayWithFlags(Package(use, 1, 120), 0);
    const RECT cell = GreenBounds(log());
    EXPECT_NEAR(cell.right - cell.left, 400, 8);
    EXPECT_NEAR(cell.left, 200, 8);

    PlayWithFlags(Package(use, 1, 121), kModelOverlayOwnSize);
    RECT own = GreenBounds(log());
    EXPECT_NEAR(own.left, cell.left, 2);
    EXPECT_NEAR(own.top, cell.top, 2);
    EXPECT_NEAR(own.right - own.left, 4900 / 2, 8); // Letter's printable width at 50 %
    EXPECT_NEAR(own.bottom - own.top, 6400 / 2, 8);

    PlayWithFlags(Package(use, 1, 122), kModelOverlayWholePage);
    RECT whole = GreenBounds(log());
    EXPECT_NEAR(whole.left, 0, 2);
    EXPECT_NEAR(whole.top, 0, 2);
    EXPECT_NEAR(whole.right - whole.left, 4900, 8);
    EXPECT_NEAR(whole.bottom - whole.top, 6400, 8);

    // Four pages to a sheet have no whole page: the overlay stays in its cell.
    use.priv.LayoutKind = kLayoutPagesPerSheet;
    use.priv.PagesPerSheet = 4;
    PlayWithFlags(Package(use, 1, 123), kModelOverlayWholePage);
    RECT nup = GreenBounds(log());
    EXPECT_LT(nup.right - nup.left, 400);
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
}

} // namespace
} // namespace metaweave

namespace metaweave {
namespace {

// A metafile of one image record (STRETCHDIBITS, BITBLT or STRETCHBLT) of
// a 1-bit red and white image (width x rows, bottom-up unless topDown)
// drawn 1:1 over its whole frame.
std::vector<BYTE> ImageMetafile(LONG width, LONG rows, bool topDown, COLORREF c0, DWORD rop,
                                DWORD type = EMR_STRETCHDIBITS) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = topDown ? -rows : rows;
    h.biPlanes = 1;
    h.biBitCount = 1;
    h.biCompression = BI_RGB;
    std::vector<BYTE> info(sizeof h + 2 * sizeof(RGBQUAD));
    std::memcpy(info.data(), &h, sizeof h);
    const RGBQUAD colours[2] = {{GetBValue(c0), GetGValue(c0), GetRValue(c0), 0},
                                {255, 255, 255, 0}};
    std::memcpy(info.data() + sizeof h, colours, sizeof colours);
    const size_t stride = static_cast<size_t>(width + 31) / 32 * 4;
    // Every stored row differs from its neighbours, so that a row out of
    // place shows.
    std::vector<BYTE> bits(stride * static_cast<size_t>(rows));
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = static_cast<BYTE>((i / stride) * 37 + i % 7);
    platform::gdi::EmfBuilder b(SIZEL{width, rows}, SIZEL{width / 24, rows / 24});
    const RECTL bounds{0, 0, width - 1, rows - 1};
    const DWORD cbBmi = static_cast<DWORD>(info.size()), cbBits = static_cast<DWORD>(bits.size());
    const XFORM identity{1, 0, 0, 1, 0, 0};
    const LONG zero = 0;
    if (type == EMR_STRETCHDIBITS) {
        const DWORD offBmi = 80;
        b.Fields(type, bounds, zero, zero, zero, zero, width, rows, offBmi, cbBmi, offBmi + cbBmi,
                 cbBits, DWORD{DIB_RGB_COLORS}, rop, width, rows, info, bits);
    } else if (type == EMR_BITBLT) {
        const DWORD offBmi = 100;
        b.Fields(type, bounds, zero, zero, width, rows, rop, zero, zero, identity, DWORD{0},
                 DWORD{DIB_RGB_COLORS}, offBmi, cbBmi, offBmi + cbBmi, cbBits, info, bits);
    } else {
        const DWORD offBmi = 108;
        b.Fields(type, bounds, zero, zero, width, rows, rop, zero, zero, identity, DWORD{0},
                 DWORD{DIB_RGB_COLORS}, offBmi, cbBmi, offBmi + cbBmi, cbBits, width, rows, info,
                 bits);
    }
    return b.Finish();
}

// The metafile drawn into a grey 32-bit bitmap of its size, by the page
// player or by the system's own player; the pixels.
std::vector<uint32_t> Drawn(const std::vector<BYTE>& emf, LONG width, LONG rows, bool pagePlayer) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -rows;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint32_t> out;
    if (!dc || !bmp) return out;
    HGDIOBJ old = SelectObject(dc, bmp);
    std::memset(bits, 0x80, static_cast<size_t>(width) * rows * 4);
    HENHMETAFILE mf = SetEnhMetaFileBits(static_cast<UINT>(emf.size()), emf.data());
    const RECT all{0, 0, width, rows};
    if (pagePlayer)
        PlayPageMetafile(dc, mf, all, 100);
    else
        PlayEnhMetaFile(dc, mf, &all);
    DeleteEnhMetaFile(mf);
    const auto* px = static_cast<const uint32_t*>(bits);
    out.assign(px, px + static_cast<size_t>(width) * rows);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return out;
}

// Rows where two pictures differ.
std::vector<LONG> RowsDiffering(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b,
                                LONG width) {
    std::vector<LONG> rows;
    if (a.size() != b.size()) return {-1};
    for (size_t r = 0; r * width < a.size(); ++r)
        if (std::memcmp(&a[r * width], &b[r * width], width * sizeof(uint32_t)) != 0)
            rows.push_back(static_cast<LONG>(r));
    return rows;
}

// A page image of more lines than a band holds (3668000 bytes over its
// width: 917 lines of 4000) is drawn in bands that land exactly where the
// whole image does, bottom-up or top-down. The bands meet with one line
// drawn twice when the raster operation reads the destination (which an
// inverting operation shows), five lines otherwise (which a copy hides).
TEST(PagePlayer, LargeImagesDrawnInBandsWhereTheWholeImageGoes) {
    constexpr LONG kWidth = 4000, kRows = 1000;
    struct Case {
        DWORD type;
        bool topDown;
    };
    for (const Case& c : {Case{EMR_STRETCHDIBITS, false}, Case{EMR_STRETCHDIBITS, true},
                          Case{EMR_BITBLT, false}, Case{EMR_STRETCHBLT, true}}) {
        SCOPED_TRACE(std::to_string(c.type) + (c.topDown ? " top-down" : " bottom-up"));
        const auto copy = ImageMetafile(kWidth, kRows, c.topDown, RGB(255, 0, 0), SRCCOPY, c.type);
        const auto whole = Drawn(copy, kWidth, kRows, false);
        ASSERT_FALSE(whole.empty());
        EXPECT_EQ(RowsDiffering(Drawn(copy, kWidth, kRows, true), whole, kWidth),
                  std::vector<LONG>{});
        const auto invert =
            ImageMetafile(kWidth, kRows, c.topDown, RGB(255, 0, 0), SRCINVERT, c.type);
        EXPECT_EQ(RowsDiffering(Drawn(invert, kWidth, kRows, true),
                                Drawn(invert, kWidth, kRows, false), kWidth),
                  std::vector<LONG>{916});
    }
    // Black and white images, and small ones, are drawn whole.
    const auto bw = ImageMetafile(kWidth, kRows, false, RGB(0, 0, 0), SRCINVERT);
    EXPECT_EQ(
        RowsDiffering(Drawn(bw, kWidth, kRows, true), Drawn(bw, kWidth, kRows, false), kWidth),
        std::vector<LONG>{});
    const auto small = ImageMetafile(kWidth, 900, false, RGB(255, 0, 0), SRCINVERT);
    EXPECT_EQ(
        RowsDiffering(Drawn(small, kWidth, 900, true), Drawn(small, kWidth, 900, false), kWidth),
        std::vector<LONG>{});
}

// An EXTTEXTOUTW record body of two characters at (100, y).
std::vector<BYTE> TextRecord(LONG y) {
    std::vector<BYTE> rec(76 + 4 + 8, 0);
    auto put = [&](size_t at, DWORD v) { std::memcpy(rec.data() + at, &v, 4); };
    put(16, GM_COMPATIBLE);
    put(28, 100), put(32, static_cast<DWORD>(y)); // reference point
    put(36, 2), put(40, 76);                      // count, string at record offset 76
    put(64, 84);                                  // spacing at record offset 84
    const std::u16string text = u"Hi";
    std::memcpy(rec.data() + 68, text.data(), 4);
    put(76, 50), put(80, 60);
    return rec;
}

// Text in a stock font of the page, in the page's own units or in tenths
// of a millimetre.
std::vector<BYTE> StockFontPage(bool metric) {
    platform::gdi::EmfBuilder b(SIZEL{800, 1000}, SIZEL{34, 42});
    if (metric) b.Value(EMR_SETMAPMODE, MM_LOMETRIC);
    b.SelectStock(SYSTEM_FONT);
    // Metric units count upwards: the text goes below the top all the same.
    const std::vector<BYTE> text = TextRecord(metric ? -200 : 200);
    b.Record(EMR_EXTTEXTOUTW, text.data(), text.size());
    return b.Finish();
}

// The face and em of the text calls of the last job.
std::vector<std::string> TextFaces(const std::string& detail) {
    std::vector<std::string> out;
    for (const auto& line : emftest::Lines(detail)) {
        const char* face = std::strstr(line.c_str(), " face=");
        if (line.rfind("TextOut", 0) == 0 && face) out.push_back(face + 1);
    }
    return out;
}

// A stock font becomes a 10-point fixed-pitch font of the page's units: 83
// pixels of the 600-dpi page either way the page counts its units.
TEST_F(ReplayTest, StockFontsBecomeTenPointFixedPitchFonts) {
    DEVMODE_IMAGEA dm = BaseDevmode();
    for (bool metric : {false, true}) {
        SCOPED_TRACE(metric ? "tenths of a millimetre" : "pixels");
        static bool useMetric;
        useMetric = metric;
        auto page = [](DWORD) { return StockFontPage(useMetric); };
        EXPECT_EQ(Play(Package(dm, 1, metric ? 141 : 140, +page)), 1u);
        const auto faces = TextFaces(detail());
        ASSERT_EQ(faces.size(), 1u) << detail();
        EXPECT_NE(faces[0].find("Mono"), std::string::npos) << faces[0];
        int em = 0;
        ASSERT_EQ(std::sscanf(std::strstr(faces[0].c_str(), "em=") + 3, "%d", &em), 1);
        EXPECT_NEAR(em, 83, 3);
    }
}

// A page of hairline rules drawn as filled 16-bit polygons half a pixel
// high, and a clip rectangle of one pixel: at 46 % (four pages to a sheet)
// the rules still cover whole device pixels, and the clip still lets one
// through; at 100 % they are left as they are.
std::vector<BYTE> RulesPage(DWORD) {
    platform::gdi::EmfBuilder b(SIZEL{800, 1000}, SIZEL{34, 42});
    b.SelectStock(NULL_PEN);
    b.CreateBrush(1, BS_SOLID, RGB(1, 0, 0));
    b.SelectObject(1);
    b.Poly16(EMR_POLYGON16, {{100, 300}, {700, 300}, {700, 301}, {100, 301}});
    b.Rect(EMR_INTERSECTCLIPRECT, RECTL{0, 500, 800, 501});
    b.Box(EMR_RECTANGLE, RECTL{100, 400, 700, 600});
    return b.Finish();
}

TEST_F(ReplayTest, ThinRulesSurviveAReducedPage) {
    DEVMODE_IMAGEA dm = BaseDevmode();
    dm.priv.LayoutKind = kLayoutPagesPerSheet;
    dm.priv.PagesPerSheet = 4;
    EXPECT_EQ(Play(Package(dm, 1, 150, RulesPage)), 1u);
    const auto reduced = FillBounds(log());
    ASSERT_EQ(reduced.size(), 2u) << log();
    int l = 0, t = 0, r = 0, b = 0;
    ASSERT_EQ(std::sscanf(reduced[0].c_str(), "%d,%d,%d,%d", &l, &t, &r, &b), 4);
    EXPECT_GE(b - t, 1) << reduced[0];
    // The clipped rectangle is drawn into a clip one device pixel high.
    std::string clipped;
    for (const auto& line : emftest::Lines(log()))
        if (line.rfind("DrvFillPath", 0) == 0 && line.find("solid:0x000001") != std::string::npos)
            clipped = line;
    const char* c = std::strstr(clipped.c_str(), "clip=rect:");
    ASSERT_NE(c, nullptr) << clipped;
    ASSERT_EQ(std::sscanf(c, "clip=rect:%d,%d,%d,%d", &l, &t, &r, &b), 4);
    EXPECT_GE(b - t, 1) << clipped;
}

} // namespace
} // namespace metaweave

namespace metaweave {
namespace {

// Records of the spool file of Windows 9x, laid out by hand.
struct Win9xFile {
    std::vector<BYTE> bytes;
    explicit Win9xFile(DWORD pages) { Put(pages), Put(0); }
    void Put(DWORD v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<BYTE>(v >> (8 * i)));
    }
    void Record(DWORD type, const std::vector<BYTE>& data) {
        Put(type);
        Put(static_cast<DWORD>(8 + data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    void Text(DWORD type, const std::string& text) {
        Record(type, std::vector<BYTE>(text.c_str(), text.c_str() + text.size() + 1));
    }
    void Names(const std::string& printer, const std::string& document) {
        std::vector<BYTE> data(12, 0);
        const DWORD p = 20, d = p + static_cast<DWORD>(printer.size()) + 1;
        const DWORD last = d + static_cast<DWORD>(document.size()) + 1;
        std::memcpy(&data[0], &p, 4), std::memcpy(&data[4], &d, 4), std::memcpy(&data[8], &last, 4);
        data.insert(data.end(), printer.c_str(), printer.c_str() + printer.size() + 1);
        data.insert(data.end(), document.c_str(), document.c_str() + document.size() + 1);
        data.push_back(0);
        Record(0x02445453, data);
    }
};

class Win9xReplayTest : public ReplayTest {
  protected:
    void SetUp() override {
        ReplayTest::SetUp();
        platform::OsVersion nine;
        nine.major = 4;
        nine.minor = 10;
        nine.platformId = VER_PLATFORM_WIN32_WINDOWS;
        platform::test::SetOsVersion(nine);
        ASSERT_TRUE(CreateFolderChain(kTemp));
        ASSERT_TRUE(CreateFolderChain(std::string(kWork) + "spool\\"));
    }
    DWORD Play9x(DWORD spoolId, DWORD flags, const BYTE* modelData) {
        EmfJobRecord record{};
        record.spoolId = spoolId;
        record.flags = flags;
        std::strcpy(record.workingFolder, kWork);
        ModelBlock block{recorder, const_cast<BYTE*>(modelData)};
        clear();
        return print(&record, &block);
    }
    static constexpr char kTemp[] = "C:\\Windows\\TEMP\\";
    // Model data as the graphics core hands it: the magic and the size.
    const BYTE model[16] = {'N', 'K', 'S', 'P', 16, 0, 0, 0};
};

std::vector<BYTE> DevmodeBytes(const DEVMODE_IMAGEA& dm) {
    const auto* b = reinterpret_cast<const BYTE*>(&dm);
    return std::vector<BYTE>(b, b + dm.dm.dmSize + dm.dm.dmDriverExtra);
}

// The driver's own package on Windows 9x: the file counts its pages and
// names the printer and document; its pages, itself and its copy in the
// working folder go at the close, but not a file outside the folder that it
// happens to name.
TEST_F(Win9xReplayTest, PackageFileReadAndDeleted) {
    const std::string temp = kTemp;
    WriteWhole(platform::FromUtf8(temp + "P1.EMF"), PageBits(1));
    WriteWhole(platform::FromUtf8(temp + "P2.EMF"), PageBits(2));
    const std::string outside = std::string(kWork) + "Keep.EMF";
    WriteWhole(platform::FromUtf8(outside), PageBits(3));
    DEVMODE_IMAGEA dm = BaseDevmode();
    Win9xFile f(2);
    f.Record(0x02000005, DevmodeBytes(dm));
    f.Names("P1", "Report 9x");
    f.Record(kWin9xStartOfPage, {});
    f.Text(0x024D5446, temp + "P1.EMF");
    f.Record(0x02504E45, {});
    dm.dm.dmOrientation = DMORIENT_LANDSCAPE; // a second mode for the later pages
    f.Record(0x02000005, DevmodeBytes(dm));
    f.Record(kWin9xStartOfPage, {});
    f.Text(0x024D5446, temp + "P2.EMF");
    f.Record(0x02504E45, {});
    f.Text(0x024D5446, outside); // past the count: not read, not deleted
    f.Record(0x02444E45, {});
    WriteWhole(platform::FromUtf8(temp + "XLE00031.DAT"), f.bytes);
    WriteWhole(platform::FromUtf8(std::string(kWork) + "spool\\XLE00031.DAT"), f.bytes);

    EXPECT_EQ(Play9x(31, kJobPackage | 1, model), 1u);
    EXPECT_EQ(Text(Sides()), "[1] [2]");
    EXPECT_NE(std::string(log()).find("doc=Report 9x"), std::string::npos) << log();
    EXPECT_NE(std::string(log()).find("orient=2"), std::string::npos);
    for (const std::string& gone : {temp + "P1.EMF", temp + "P2.EMF", temp + "XLE00031.DAT",
                                    std::string(kWork) + "spool\\XLE00031.DAT"})
        EXPECT_FALSE(FileThere(gone.c_str())) << gone;
    EXPECT_TRUE(FileThere(outside.c_str()));
    EXPECT_TRUE(platform::user::test::MessageBoxLog().empty());
}

// The spooler's file of a job without its own count: every page, the
// document "Untitled" when the spooler has no such job; the printer from the
// device mode when no names record says it.
TEST_F(Win9xReplayTest, SpoolerFileWithoutNamesTakesTheDeviceModesPrinter) {
    const std::string temp = kTemp;
    WriteWhole(platform::FromUtf8(temp + "Q1.EMF"), PageBits(1));
    Win9xFile f(0);
    f.Record(0x02000005, DevmodeBytes(BaseDevmode()));
    f.Text(0x024D5446, temp + "Q1.EMF");
    f.Record(0x02504E45, {});
    WriteWhole(platform::FromUtf8(temp + "XLE00032.SPL"), f.bytes);
    EXPECT_EQ(Play9x(32, 1, model), 1u);
    EXPECT_EQ(Text(Sides()), "[1]");
    EXPECT_NE(std::string(log()).find("doc=Untitled"), std::string::npos) << log();
    EXPECT_FALSE(FileThere((temp + "XLE00032.SPL").c_str()));
}

// A broken file is told once and prints nothing; model data without its
// magic fails before anything is read.
TEST_F(Win9xReplayTest, BrokenFileOrModelDataFails) {
    const std::string temp = kTemp;
    Win9xFile f(1);
    f.Text(0x024D5446, temp + "R1.EMF"); // a page before any device mode
    WriteWhole(platform::FromUtf8(temp + "XLE00033.DAT"), f.bytes);
    platform::user::test::AnswerNextMessageBox(IDOK);
    EXPECT_EQ(Play9x(33, kJobPackage | 1, model), 0u);
    auto boxes = platform::user::test::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Cannot read printing data correctly. Quit printing.");
    const BYTE noMagic[16] = {'X', 'K', 'S', 'P', 16};
    EXPECT_EQ(Play9x(33, kJobPackage | 1, noMagic), 0u);
    EXPECT_EQ(platform::user::test::MessageBoxLog().size(), 1u);
    EXPECT_EQ(StartDocs(log()), "");
}

// A page zoomed so far that its cell passes 16-bit coordinates: on Windows
// 9x the cell is halved and drawn through a mapping that doubles it back,
// and what shows on the sheet lands where it does with world transforms.
TEST_F(Win9xReplayTest, CellsPastSixteenBitsLandWhereTheyDoElsewhere) {
    DEVMODE_IMAGEA dm = BaseDevmode();
    dm.priv.LayoutKind = kLayoutZoom;
    dm.priv.ZoomPercent = 5000;
    dm.priv.ZoomAnchor = 8; // bottom right: the page's corner on the sheet's
    static const std::vector<BYTE> corner = GreenBox(RECTL{790, 990, 800, 1000});
    const std::string temp = kTemp;
    WriteWhole(platform::FromUtf8(temp + "Z1.EMF"), corner);
    Win9xFile f(1);
    f.Record(0x02000005, DevmodeBytes(dm));
    f.Names("P1", "Zoomed");
    f.Text(0x024D5446, temp + "Z1.EMF");
    f.Record(0x02504E45, {});
    WriteWhole(platform::FromUtf8(temp + "XLE00034.DAT"), f.bytes);
    EXPECT_EQ(Play9x(34, kJobPackage | 1, model), 1u);
    const RECT nine = GreenBounds(log());

    platform::test::SetOsVersion(6, 1);
    EXPECT_EQ(Play(Package(dm, 1, 35, [](DWORD) { return corner; })), 1u);
    const RECT nt = GreenBounds(log());
    EXPECT_GT(nt.right - nt.left, 100); // the corner box shows large
    EXPECT_NEAR(nine.left, nt.left, 2);
    EXPECT_NEAR(nine.top, nt.top, 2);
    EXPECT_NEAR(nine.right, nt.right, 2);
    EXPECT_NEAR(nine.bottom, nt.bottom, 2);
}

// The reader's own walk over hand-laid bytes: a record running past the
// end, a cut head and a device mode larger than its record are errors; an
// unknown record is passed over; a limit stops the walk.
TEST(Win9xSpoolFile, ReaderChecksEveryRecord) {
    std::vector<BYTE> dm = DevmodeBytes(BaseDevmode());
    Win9xFile good(2);
    good.Record(0x02000005, dm);
    good.Record(0x01020304, {1, 2, 3});
    good.Text(0x024D5446, "C:\\a.emf");
    good.Text(0x024D5446, "C:\\b.emf");
    Win9xContents c;
    std::string error;
    ASSERT_TRUE(ReadWin9xSpoolFile(good.bytes.data(), good.bytes.size(), 0, &c, &error)) << error;
    EXPECT_EQ(c.pages.size(), 2u);
    EXPECT_EQ(c.pageCount, 2u);
    ASSERT_TRUE(ReadWin9xSpoolFile(good.bytes.data(), good.bytes.size(), 1, &c, &error));
    EXPECT_EQ(c.pages.size(), 1u);

    std::vector<BYTE> past = good.bytes;
    past[12] = 0xFF; // the device mode's record size
    EXPECT_FALSE(ReadWin9xSpoolFile(past.data(), past.size(), 0, &c, &error));
    EXPECT_NE(error.find("record size outside the file"), std::string::npos) << error;
    std::vector<BYTE> cut(good.bytes.begin(), good.bytes.begin() + 12);
    EXPECT_FALSE(ReadWin9xSpoolFile(cut.data(), cut.size(), 0, &c, &error));
    Win9xFile big(1);
    std::vector<BYTE> shortMode(dm.begin(), dm.begin() + 200); // its sizes say 1320 bytes
    big.Record(0x02000005, shortMode);
    EXPECT_FALSE(ReadWin9xSpoolFile(big.bytes.data(), big.bytes.size(), 0, &c, &error));
    EXPECT_NE(error.find("device mode"), std::string::npos) << error;
    EXPECT_FALSE(ReadWin9xSpoolFile(nullptr, 0, 0, &c, &error));
}

} // namespace
} // namespace metaweave

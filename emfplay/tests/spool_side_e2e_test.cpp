// The spool-side road through the whole package: a job recorded as a spool
// package (the brochure and two sample documents) replayed 4-up by
// Metaweave into the installed printer's own driver, its stream written to a
// file through the output list, drawn by `printhost decode --png`: the first
// sheet shows a page in each of its four cells.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <fstream>
#include <iterator>
#include <string>
#include <strings.h>
#include <vector>

#include "emf_job.h"
#include "model/modelsmith.h"
#include "page_order.h"
#include "platform/emf_builder.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform_testing/fresh_root.h"
#include "spool_package.h"
#include "devmode_private.h"
#include "win/files.h"
#include "win/ini.h"
#include "win/loader.h"

namespace metaweave {
namespace {

std::vector<BYTE> ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
}

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    // Dark pixels in the rectangle.
    long Dark(int x0, int y0, int x1, int y1) const {
        long n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                size_t i = (static_cast<size_t>(y) * width + x) * 3;
                n += rgb[i] + rgb[i + 1] + rgb[i + 2] < 3 * 160;
            }
        return n;
    }
};

bool ReadPng(const std::string& png, Picture* pic) {
    std::string ppm = png + ".ppm";
    if (platform_testing::RunCommand("pngtopnm '" + png + "' > '" + ppm + "'") != 0) return false;
    std::FILE* f = std::fopen(ppm.c_str(), "rb");
    if (!f) return false;
    int maxval = 0;
    bool ok =
        std::fscanf(f, "P6 %d %d %d", &pic->width, &pic->height, &maxval) == 3 && maxval == 255;
    std::fgetc(f);
    if (ok) {
        pic->rgb.resize(static_cast<size_t>(pic->width) * pic->height * 3);
        ok = std::fread(pic->rgb.data(), 1, pic->rgb.size(), f) == pic->rgb.size();
    }
    std::fclose(f);
    return ok;
}

TEST(SpoolSide, BrochureFourUpThroughTheDriverDrawsFourCells) {
    const std::string tool = std::string("'") + PKG_TOOLS_DIR + "/printhost'";
    const std::string modelFile = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    std::string out;
    ASSERT_EQ(platform_testing::RunCommand(
                  tool + " install --name 'CX5540' --model '" + modelFile + "' 2>&1", &out),
              0)
        << out;

    // The model's default device mode, printed straight into the stream, 4-up.
    std::vector<BYTE> model = ReadHost(modelFile);
    ASSERT_FALSE(model.empty());
    DEVMODE_IMAGEA dm;
    std::memset(&dm, 0, sizeof dm);
    dm.dm.dmSize = sizeof(DEVMODEA);
    dm.dm.dmDriverExtra = sizeof(PRIVATE_DEVMODE);
    ASSERT_EQ(model::ReviseDevmode(model.data(), nullptr, 0, &dm, sizeof dm, 1), 0u);
    std::memcpy(dm.dm.dmDeviceName, "CX5540", 7);
    dm.priv.GraphicsMode = 0;
    dm.priv.LayoutKind = kLayoutPagesPerSheet;
    dm.priv.PagesPerSheet = 4;

    const std::u16string spool = u"C:\\Work\\spool\\";
    spoolpkg::PackageWriter w;
    uint8_t image[spoolpkg::kAnsiDevmodeSize];
    std::memcpy(image, &dm, sizeof image);
    ASSERT_EQ(w.Create(spool, 3, image, u"CX5540", u"Brochure"), 0u);
    const std::string docs = std::string(PKG_SOURCE_DIR) + "/samples/documents/";
    const char* pages[] = {"brochure/page-1.emf", "brochure/page-2.emf", "shapes.emf", "lines.emf"};
    for (DWORD p = 1; p <= 4; ++p) {
        std::vector<BYTE> bits = ReadHost(docs + pages[p - 1]);
        ASSERT_FALSE(bits.empty()) << pages[p - 1];
        std::u16string path = spoolpkg::PagePath(spool, w.spoolId(), p);
        HANDLE f = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        WriteFile(f, bits.data(), static_cast<DWORD>(bits.size()), &n, nullptr);
        CloseHandle(f);
        ASSERT_EQ(w.AppendPage(p), 0u);
    }
    ASSERT_EQ(w.Finish(4), 0u);
    // The job's output goes to a file through the output list.
    char key[16];
    std::snprintf(key, sizeof key, "%08lX", static_cast<unsigned long>(w.spoolId()));
    const char* list = "C:\\Work\\spool\\OutFile.INI";
    WritePrivateProfileStringA("OutputFileFlag", "JobID_00000000", key, list);
    WritePrivateProfileStringA("OutputFileFlag", "Dest_00000000", "C:\\Work\\brochure.prn", list);

    HMODULE player =
        LoadLibraryW(reinterpret_cast<LPCWSTR>(platform::FromUtf8(METAWEAVE_PATH).c_str()));
    HMODULE modelsmith =
        LoadLibraryW(reinterpret_cast<LPCWSTR>(platform::FromUtf8(MODELSMITH_PATH).c_str()));
    ASSERT_TRUE(player && modelsmith);
    auto print = reinterpret_cast<PFN_ZORPrintEMF>(
        reinterpret_cast<void (*)()>(GetProcAddress(player, "ZORPrintEMF")));
    EmfJobRecord record{};
    record.spoolId = w.spoolId();
    record.flags = kJobPackage | kJobPrintToFile | 1;
    std::strcpy(record.workingFolder, "C:\\Work\\");
    ModelBlock block{modelsmith, model.data()};
    EXPECT_EQ(print(&record, &block), 1u);
    FreeLibrary(player);
    FreeLibrary(modelsmith);

    char source[260] = {};
    GetPrivateProfileStringA("OutputFileFlag", "Source_00000000", "", source, sizeof source, list);
    ASSERT_NE(source[0], 0);
    const std::string stream = platform::HostPathUtf8(source);
    const std::string png = platform_testing::Root() + "/brochure-4up";
    ASSERT_EQ(platform_testing::RunCommand(
                  tool + " decode --png '" + png + "' '" + stream + "' 2>&1", &out),
              0)
        << out;
    EXPECT_NE(out.find("page 1: " + png + "-1.png"), std::string::npos) << out;
    Picture pic;
    ASSERT_TRUE(ReadPng(png + "-1.png", &pic));
    const int w2 = pic.width / 2, h2 = pic.height / 2;
    // Every cell holds a page: something drawn in each quarter of the sheet.
    EXPECT_GT(pic.Dark(0, 0, w2, h2), 1000);
    EXPECT_GT(pic.Dark(w2, 0, pic.width, h2), 1000);
    EXPECT_GT(pic.Dark(0, h2, w2, pic.height), 1000);
    EXPECT_GT(pic.Dark(w2, h2, pic.width, pic.height), 1000);
}

std::string Text(const std::string& path) {
    std::vector<BYTE> bytes = ReadHost(path);
    return std::string(bytes.begin(), bytes.end());
}

// The tool's answer alone (the runner appends to what it is given).
int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// An application that prints to a file while the job takes the spool-side
// road: the recorded job cannot write the file, the replayed one writes a
// temporary file, and its completion copies that into the named file. Two
// such jobs at once, in two processes, each end in their own file, and
// nothing is left behind in the spool folder.
TEST(SpoolSide, PrintToFileEndsInTheNamedFileForTwoJobsAtOnce) {
    const std::string modelFile = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    std::string out;
    ASSERT_EQ(Printhost("install --name 'CX5540' --model '" + modelFile + "'", &out), 0) << out;
    // Four pages to a sheet: a layout only the spool side lays out.
    ASSERT_EQ(Printhost("devmode 'CX5540' --set LayoutKind=1 --set PagesPerSheet=4 --store", &out),
              0)
        << out;
    const std::string root = platform_testing::Root();
    const std::string docs = std::string(PKG_SOURCE_DIR) + "/samples/documents/";
    const std::string tool = std::string("'") + PKG_TOOLS_DIR + "/printhost'";
    const std::string a = root + "/brochure to file.prn", b = root + "/shapes to file.prn";
    ASSERT_EQ(platform_testing::RunCommand("(" + tool + " print --printer CX5540 --to-file '" + a +
                                               "' '" + docs + "brochure' > '" + root +
                                               "/a.log' 2>&1 & first=$!; " + tool +
                                               " print --printer CX5540 --to-file '" + b + "' '" +
                                               docs + "shapes.emf' > '" + root +
                                               "/b.log' 2>&1 & second=$!; wait $first && wait "
                                               "$second)",
                                           &out),
              0)
        << out << Text(root + "/a.log") << Text(root + "/b.log");

    struct Expect {
        std::string file, document;
    };
    for (const Expect& e : {Expect{a, "brochure"}, Expect{b, "shapes.emf"}}) {
        SCOPED_TRACE(e.file);
        ASSERT_TRUE(std::filesystem::exists(e.file));
        EXPECT_GT(std::filesystem::file_size(e.file), 1000u);
        ASSERT_EQ(Printhost("decode '" + e.file + "'", &out), 0) << out;
        EXPECT_NE(out.find("@PJL EOJ NAME=\"" + e.document + "\""), std::string::npos) << out;
        // The brochure's two pages went 4-up onto one sheet, as did the one page of shapes.
        EXPECT_EQ(Count(out, "page start"), 1u) << out;
        EXPECT_NE(out.find(" 0 problems"), std::string::npos) << out;
    }

    // The output list has no slot left, and no temporary file stayed.
    std::string list;
    for (const auto& f : std::filesystem::recursive_directory_iterator(root + "/c")) {
        const std::string name = f.path().filename().string();
        EXPECT_EQ(name.find("~tmp"), std::string::npos) << f.path();
        if (strcasecmp(name.c_str(), "OutFile.INI") == 0) list = f.path().string();
    }
    ASSERT_FALSE(list.empty());
    const std::string text = Text(list);
    EXPECT_EQ(text.find("JobID_"), std::string::npos) << text;
    EXPECT_EQ(text.find("Dest_"), std::string::npos) << text;
}

// ---------------------------------------------------------------------------
// Jobs replayed into the installed printer's driver, read back from its
// printer stream: each page carries as many black squares as its number, so
// that the decoder's drawing of every sheet side tells which page lies in
// which cell.

constexpr LONG kPageW = 4960, kPageH = 7016; // A4 at 600 dpi

// Page p: p squares in rows of five in the upper left of the page, where a
// page zoomed to twice its size still shows them.
std::vector<BYTE> MarkedPage(DWORD p) {
    platform::gdi::EmfBuilder b(SIZEL{kPageW, kPageH}, SIZEL{210, 297});
    b.SelectStock(NULL_PEN);
    b.SelectStock(BLACK_BRUSH);
    const LONG step = kPageW * 7 / 100, side = kPageW * 4 / 100;
    for (DWORD i = 0; i < p; ++i) {
        const LONG x = kPageW * 6 / 100 + static_cast<LONG>(i % 5) * step;
        const LONG y = kPageH * 6 / 100 + static_cast<LONG>(i / 5) * step;
        b.Box(EMR_RECTANGLE, RECTL{x, y, x + side, y + side});
    }
    b.SelectStock(WHITE_BRUSH);
    return b.Finish();
}

// A page whose quarter q (across rows) carries q + 1 squares: the tiles of a
// poster tell which quarter of the page each shows.
std::vector<BYTE> QuarterPage(DWORD) {
    platform::gdi::EmfBuilder b(SIZEL{kPageW, kPageH}, SIZEL{210, 297});
    b.SelectStock(NULL_PEN);
    b.SelectStock(BLACK_BRUSH);
    const LONG side = kPageW / 20;
    for (LONG q = 0; q < 4; ++q) {
        const LONG ox = (q % 2) * kPageW / 2 + kPageW / 8, oy = (q / 2) * kPageH / 2 + kPageH / 8;
        for (LONG i = 0; i <= q; ++i)
            b.Box(EMR_RECTANGLE, RECTL{ox + i * 2 * side, oy, ox + i * 2 * side + side, oy + side});
    }
    b.SelectStock(WHITE_BRUSH);
    return b.Finish();
}

// Separate dark shapes in a rectangle of the picture (four-connected, a few
// pixels at least).
int Blobs(const Picture& pic, int x0, int y0, int x1, int y1) {
    const int w = x1 - x0, h = y1 - y0;
    std::vector<char> seen(static_cast<size_t>(w) * h, 0);
    auto dark = [&](int x, int y) {
        size_t i = (static_cast<size_t>(y) * pic.width + x) * 3;
        return pic.rgb[i] + pic.rgb[i + 1] + pic.rgb[i + 2] < 3 * 128;
    };
    int count = 0;
    std::vector<std::pair<int, int>> stack;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            if (seen[static_cast<size_t>(y - y0) * w + (x - x0)] || !dark(x, y)) continue;
            int area = 0;
            stack.assign(1, {x, y});
            seen[static_cast<size_t>(y - y0) * w + (x - x0)] = 1;
            while (!stack.empty()) {
                auto [cx, cy] = stack.back();
                stack.pop_back();
                ++area;
                const int nx[4] = {cx + 1, cx - 1, cx, cx}, ny[4] = {cy, cy, cy + 1, cy - 1};
                for (int k = 0; k < 4; ++k) {
                    if (nx[k] < x0 || nx[k] >= x1 || ny[k] < y0 || ny[k] >= y1) continue;
                    char& s = seen[static_cast<size_t>(ny[k] - y0) * w + (nx[k] - x0)];
                    if (s || !dark(nx[k], ny[k])) continue;
                    s = 1;
                    stack.push_back({nx[k], ny[k]});
                }
            }
            if (area >= 4) ++count;
        }
    return count;
}

class StreamReplay : public ::testing::Test {
  protected:
    void SetUp() override {
        Install(std::string(PKG_MODELS_DIR) + "/CX5540.DAT", "CX5540");
        player =
            LoadLibraryW(reinterpret_cast<LPCWSTR>(platform::FromUtf8(METAWEAVE_PATH).c_str()));
        modelsmith =
            LoadLibraryW(reinterpret_cast<LPCWSTR>(platform::FromUtf8(MODELSMITH_PATH).c_str()));
        ASSERT_TRUE(player && modelsmith);
        print = reinterpret_cast<PFN_ZORPrintEMF>(
            reinterpret_cast<void (*)()>(GetProcAddress(player, "ZORPrintEMF")));
        ASSERT_NE(print, nullptr);
    }
    void TearDown() override {
        if (player) FreeLibrary(player);
        if (modelsmith) FreeLibrary(modelsmith);
    }

    // A printer of the model file, which the jobs go to from now on.
    void Install(const std::string& file, const std::string& name) {
        std::string out;
        ASSERT_EQ(Printhost("install --name '" + name + "' --model '" + file + "'", &out), 0)
            << out;
        model = ReadHost(file);
        ASSERT_FALSE(model.empty());
        printer = name;
    }

    // The model's default device mode, for the driver to draw vectors.
    DEVMODE_IMAGEA ModelDevmode() {
        DEVMODE_IMAGEA dm;
        std::memset(&dm, 0, sizeof dm);
        dm.dm.dmSize = sizeof(DEVMODEA);
        dm.dm.dmDriverExtra = sizeof(PRIVATE_DEVMODE);
        EXPECT_EQ(model::ReviseDevmode(model.data(), nullptr, 0, &dm, sizeof dm, 1), 0u);
        std::snprintf(reinterpret_cast<char*>(dm.dm.dmDeviceName), sizeof dm.dm.dmDeviceName, "%s",
                      printer.c_str());
        dm.priv.GraphicsMode = 0;
        // Pages in their order, without frames around the cells.
        dm.priv.ReverseOrder = 0;
        dm.priv.PageBorders = 0;
        return dm;
    }

    // The job recorded with the device mode (the pages' own modes where
    // given) and replayed by Metaweave into a file; the decoder's listing,
    // with each page drawn into <prefix>-N.png.
    std::string Replay(const DEVMODE_IMAGEA& dm, DWORD pages, std::vector<BYTE> (*bits)(DWORD),
                       const std::string& prefix,
                       const std::vector<DEVMODE_IMAGEA>& pageModes = {}) {
        const std::u16string spool = u"C:\\Work\\spool\\";
        spoolpkg::PackageWriter w;
        uint8_t image[spoolpkg::kAnsiDevmodeSize];
        std::memcpy(image, &dm, sizeof image);
        EXPECT_EQ(w.Create(spool, ++job, image, platform::FromUtf8(printer), u"Marks"), 0u);
        for (DWORD p = 1; p <= pages; ++p) {
            if (p <= pageModes.size()) {
                std::memcpy(image, &pageModes[p - 1], sizeof image);
                EXPECT_EQ(w.WriteDevmode(image), 0u);
            }
            std::vector<BYTE> page = bits(p);
            std::u16string path = spoolpkg::PagePath(spool, w.spoolId(), p);
            HANDLE f = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE, 0,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            EXPECT_NE(f, INVALID_HANDLE_VALUE);
            DWORD n = 0;
            WriteFile(f, page.data(), static_cast<DWORD>(page.size()), &n, nullptr);
            CloseHandle(f);
            EXPECT_EQ(w.AppendPage(p), 0u);
        }
        EXPECT_EQ(w.Finish(pages), 0u);
        char key[16], entry[32];
        std::snprintf(key, sizeof key, "%08lX", static_cast<unsigned long>(w.spoolId()));
        const char* list = "C:\\Work\\spool\\OutFile.INI";
        std::snprintf(entry, sizeof entry, "JobID_%08lX", static_cast<unsigned long>(job));
        WritePrivateProfileStringA("OutputFileFlag", entry, key, list);
        std::snprintf(entry, sizeof entry, "Dest_%08lX", static_cast<unsigned long>(job));
        WritePrivateProfileStringA("OutputFileFlag", entry, "C:\\Work\\out.prn", list);
        EmfJobRecord record{};
        record.spoolId = w.spoolId();
        record.flags = kJobPackage | kJobPrintToFile | 1;
        std::strcpy(record.workingFolder, "C:\\Work\\");
        ModelBlock block{modelsmith, model.data()};
        EXPECT_EQ(print(&record, &block), 1u);
        char source[260] = {};
        std::snprintf(entry, sizeof entry, "Source_%08lX", static_cast<unsigned long>(job));
        GetPrivateProfileStringA("OutputFileFlag", entry, "", source, sizeof source, list);
        EXPECT_NE(source[0], 0);
        std::string out;
        EXPECT_EQ(
            Printhost("decode --png '" + prefix + "' '" + platform::HostPathUtf8(source) + "'",
                      &out),
            0)
            << out;
        return out;
    }

    std::string printer;
    std::vector<BYTE> model;
    HMODULE player = nullptr, modelsmith = nullptr;
    PFN_ZORPrintEMF print = nullptr;
    DWORD job = 0;
};

// The pages drawn on each sheet side of the decoded stream, cell by cell of
// a columns x rows grid (rows top to bottom, each left to right); "-" is a
// cell with nothing in it.
std::string SidesRead(const std::string& prefix, const std::string& listing, int columns,
                      int rows) {
    std::string text;
    for (int n = 1; listing.find("page " + std::to_string(n) + ": ") != std::string::npos; ++n) {
        Picture pic;
        if (!ReadPng(prefix + "-" + std::to_string(n) + ".png", &pic)) return "unreadable";
        text += n > 1 ? " [" : "[";
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                const int x0 = pic.width * c / columns, x1 = pic.width * (c + 1) / columns;
                const int y0 = pic.height * r / rows, y1 = pic.height * (r + 1) / rows;
                const int marks = Blobs(pic, x0, y0, x1, y1);
                text += (r || c ? "," : "") + (marks ? std::to_string(marks) : std::string("-"));
            }
        text += "]";
    }
    return text;
}

TEST_F(StreamReplay, LayoutsPutPagesOnSheetSidesInOrder) {
    struct Case {
        const char* name;
        DWORD pages;
        int columns, rows;
        void (*setup)(DEVMODE_IMAGEA&);
        const char* expected;
        std::vector<BYTE> (*bits)(DWORD) = MarkedPage;
        const char* listingHas = nullptr; // a line of the job's header
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
        // Each tile shows its quarter of the page, across rows.
        {"poster 2x2", 1, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPoster;
             d.priv.PosterGrid[0] = 2;
             d.priv.PosterGrid[1] = 2;
         },
         "[1] [2] [3] [4]", QuarterPage},
        {"zoom 50%", 2, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutZoom;
             d.priv.ZoomPercent = 50;
             d.priv.ZoomAnchor = 0; // top left
         },
         "[1] [2]"},
        {"zoom 200%", 2, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutZoom;
             d.priv.ZoomPercent = 200;
             d.priv.ZoomAnchor = 0;
         },
         "[1] [2]"},
        {"reverse 2 up", 5, 2, 1,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPagesPerSheet;
             d.priv.PagesPerSheet = 2;
             d.priv.ReverseOrder = 1;
         },
         "[5,-] [3,4] [1,2]"},
        // Copies the driver does not make: collated ones are made by the
        // replay, one set after the other, the printer asked for one.
        {"collated copies", 3, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.dm.dmCopies = 2;
             d.dm.dmCollate = DMCOLLATE_TRUE;
             d.dm.dmFields |= DM_COPIES | DM_COLLATE;
             d.priv.PrivateFlags &= ~0x8000u;
         },
         "[1] [2] [3] [1] [2] [3]", MarkedPage, "@PJL SET COPIES=1"},
        {"uncollated copies (made by the printer)", 3, 1, 1,
         [](DEVMODE_IMAGEA& d) {
             d.dm.dmCopies = 2;
             d.dm.dmCollate = DMCOLLATE_FALSE;
             d.dm.dmFields |= DM_COPIES | DM_COLLATE;
             d.priv.PrivateFlags &= ~0x8000u;
         },
         "[1] [2] [3]", MarkedPage, "@PJL SET COPIES=2"},
    };
    std::string table = "| layout | pages | sides read from the stream |\n|---|---|---|\n";
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DEVMODE_IMAGEA dm = ModelDevmode();
        c.setup(dm);
        const std::string prefix = platform_testing::Root() + "/layout" + std::to_string(++n);
        const std::string listing = Replay(dm, c.pages, c.bits, prefix);
        const std::string got = SidesRead(prefix, listing, c.columns, c.rows);
        EXPECT_EQ(got, c.expected) << listing;
        if (c.listingHas) {
            EXPECT_NE(listing.find(c.listingHas), std::string::npos) << listing;
        }
        table +=
            std::string("| ") + c.name + " | " + std::to_string(c.pages) + " | " + got + " |\n";
    }
    std::printf("%s", table.c_str());
}

// The input source and media type the stream names for each page, as
// "source/media", in page order (a frame names a change only).
std::vector<std::string> PageSources(const std::string& listing) {
    std::vector<std::string> pages;
    std::string source = "?", media = "?";
    size_t at = 0;
    for (size_t end; (end = listing.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = listing.substr(at, end - at);
        size_t v;
        if (line.find(" input source ") != std::string::npos &&
            (v = line.find("source=")) != std::string::npos)
            source = line.substr(v + 7);
        if (line.find(" media type ") != std::string::npos &&
            (v = line.find("media=")) != std::string::npos)
            media = line.substr(v + 6);
        if (line.find(" page start") != std::string::npos) pages.push_back(source + "/" + media);
    }
    return pages;
}

// The sample model with a stream code for each paper source and media type
// (the sample's trays and media all send none), compiled into root/name.DAT.
std::string ModelWithTrayCodes(const std::string& name) {
    std::string json = Text(std::string(PKG_SOURCE_DIR) + "/samples/models/CX5540.json");
    const size_t from = json.find("\n    \"22\": {"), to = json.find("\n    \"25\": {");
    if (from == std::string::npos || to == std::string::npos) return "";
    std::string part = json.substr(from, to - from);
    int code = 0;
    for (size_t at = 0; (at = part.find("\"e0\": \"0x04\"", at)) != std::string::npos;)
        part.replace(at, 12, "\"e0\": \"0x05\"");
    for (size_t at = 0; (at = part.find("\"e1\": 0,", at)) != std::string::npos;) {
        const std::string value = "\"e1\": " + std::to_string(++code) + ",";
        part.replace(at, 8, value);
        at += value.size();
    }
    json = json.substr(0, from) + part + json.substr(to);
    const std::string source = platform_testing::Root() + "/" + name + ".json";
    const std::string out = platform_testing::Root() + "/" + name + ".DAT";
    std::ofstream(source) << json;
    std::string log;
    if (platform_testing::RunCommand(std::string("'") + PKG_TOOLS_DIR + "/modelc' '" + source +
                                         "' -o '" + out + "' 2>&1",
                                     &log) != 0)
        return "";
    return out;
}

// The sheet sides that print on cover paper take the cover's source and
// media, N-up and booklet sides too, and the sides between them the job's
// own; a blank cover sheet the replay adds comes from the cover's source.
TEST_F(StreamReplay, CoverSidesTakeTheCoverSource) {
    const std::string variant = ModelWithTrayCodes("trays");
    ASSERT_FALSE(variant.empty());
    Install(variant, "CX5540 trays");
    // What the stream names for a page from each tray on each media.
    using Paper = std::pair<int, int>; // source, media type
    std::map<Paper, std::string> named;
    for (Paper paper : {Paper{1, 1}, Paper{1, 257}, Paper{2, 1}, Paper{4, 258}}) {
        DEVMODE_IMAGEA dm = ModelDevmode();
        dm.dm.dmDefaultSource = static_cast<short>(paper.first);
        dm.dm.dmMediaType = static_cast<DWORD>(paper.second);
        const auto pages = PageSources(Replay(dm, 1, MarkedPage, platform_testing::Root() + "/t"));
        ASSERT_EQ(pages.size(), 1u);
        for (const auto& [other, text] : named)
            ASSERT_NE(text, pages[0]) << paper.first << "/" << paper.second;
        named[paper] = pages[0];
    }

    struct Case {
        const char* name;
        DWORD pages;
        void (*setup)(DEVMODE_IMAGEA&);
        std::vector<Paper> papers; // of each page of the stream
        const char* sides = nullptr;
        int columns = 1, rows = 1;
        void (*page2)(DEVMODE_IMAGEA&) = nullptr; // the second page's own mode
    };
    const Case cases[] = {
        {"4 up, first and last sides on cover paper",
         9,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPagesPerSheet;
             d.priv.PagesPerSheet = 4;
             d.priv.FrontCoverPrinted = 1;
             d.priv.FrontCoverSource = 1;
             d.priv.FrontCoverMedia = 257;
             d.priv.BackCoverPrinted = 1;
             d.priv.BackCoverSource = 4;
             d.priv.BackCoverMedia = 258;
         },
         {{1, 257}, {2, 1}, {4, 258}},
         "[1,2,3,4] [5,6,7,8] [9,-,-,-]",
         2,
         2},
        {"booklet, both sides of the front sheet on cover paper",
         8,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutBooklet;
             d.priv.BookletKind = kBindLeft;
             d.dm.dmDuplex = 3;
             d.priv.FrontCoverPrinted = 1;
             d.priv.FrontCoverSource = 1;
             d.priv.FrontCoverMedia = 257;
         },
         {{1, 257}, {1, 257}, {2, 1}, {2, 1}},
         "[8,1] [2,7] [6,3] [4,5]",
         2,
         1},
        {"4 up after a blank front cover",
         5,
         [](DEVMODE_IMAGEA& d) {
             d.priv.LayoutKind = kLayoutPagesPerSheet;
             d.priv.PagesPerSheet = 4;
             d.priv.PrivateFlags |= 0x8000 | 0x200000 | 0x400000;
             d.priv.CollateByDriver = 1;
             d.priv.CoverFlags = 1;
             d.priv.FrontCoverPrinted = 0;
             d.priv.FrontCoverSource = 1;
             d.dm.dmCopies = 2;
             d.dm.dmCollate = DMCOLLATE_TRUE;
             d.dm.dmFields |= DM_COPIES | DM_COLLATE;
         },
         {{1, 1}, {2, 1}, {2, 1}, {1, 1}, {2, 1}, {2, 1}},
         "[-,-,-,-] [1,2,3,4] [5,-,-,-] [-,-,-,-] [1,2,3,4] [5,-,-,-]",
         2,
         2},
        // In duplex the back of the cover sheet is cover paper too when the
        // first two pages go on the same paper, not when the second changes
        // it. The odd last side gets an empty back; a change of paper starts
        // a sheet (the printer leaves the cover's back empty), so the count
        // of sides is even without one.
        {"duplex, the second page on the first one's paper",
         3,
         [](DEVMODE_IMAGEA& d) {
             d.dm.dmDuplex = DMDUP_VERTICAL;
             d.priv.FrontCoverPrinted = 1;
             d.priv.FrontCoverSource = 1;
             d.priv.FrontCoverMedia = 257;
         },
         {{1, 257}, {1, 257}, {2, 1}, {2, 1}},
         "[1] [2] [3] [-]"},
        {"duplex, the second page on other paper",
         3,
         [](DEVMODE_IMAGEA& d) {
             d.dm.dmDuplex = DMDUP_VERTICAL;
             d.priv.FrontCoverPrinted = 1;
             d.priv.FrontCoverSource = 1;
             d.priv.FrontCoverMedia = 257;
         },
         {{1, 257}, {1, 257}, {2, 1}, {2, 1}},
         "[1] [-] [2] [3]",
         1,
         1,
         [](DEVMODE_IMAGEA& d) { d.dm.dmPaperSize = 9; }}, // A4
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DEVMODE_IMAGEA dm = ModelDevmode();
        dm.dm.dmDefaultSource = 2;
        dm.dm.dmMediaType = 1;
        c.setup(dm);
        const std::string prefix = platform_testing::Root() + "/cover" + std::to_string(++n);
        std::vector<DEVMODE_IMAGEA> modes;
        if (c.page2) {
            modes = {dm, dm};
            c.page2(modes[1]);
        }
        const std::string listing = Replay(dm, c.pages, MarkedPage, prefix, modes);
        std::vector<std::string> want;
        for (const Paper& paper : c.papers)
            want.push_back(named[paper]);
        EXPECT_EQ(PageSources(listing), want) << listing;
        if (c.sides) {
            EXPECT_EQ(SidesRead(prefix, listing, c.columns, c.rows), c.sides);
        }
    }
}

} // namespace
} // namespace metaweave

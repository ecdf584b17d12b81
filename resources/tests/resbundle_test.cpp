// The resource library's contents: every dialog template of the user
// interface with its caption, size and font, the strings, the pictures and
// the cursor, read back through the platform's resource functions and the
// .res reader.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "localize_format.h"
#include "platform/loader_ctl.h"
#include "win/base.h"
#include "win/resources.h"

namespace {

class Resbundle : public ::testing::Test {
  protected:
    void SetUp() override {
        module = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override {
        FreeLibrary(module);
        EXPECT_EQ(platform::test::ModuleLoadCount(u"Resbundle.DLL"), 0);
    }
    HMODULE module = nullptr;
};

BOOL CALLBACK Collect(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    reinterpret_cast<std::set<ULONG_PTR>*>(param)->insert(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

std::set<ULONG_PTR> Names(HMODULE m, LPCWSTR type) {
    std::set<ULONG_PTR> names;
    EnumResourceNamesW(m, type, Collect, reinterpret_cast<LONG_PTR>(&names));
    return names;
}

struct Text {
    UINT id;
    const char16_t* text;
};

template <size_t N> void ExpectTexts(HMODULE m, const Text (&texts)[N]) {
    for (const Text& t : texts) {
        WCHAR buf[256] = {};
        LoadStringW(m, t.id, buf, 256);
        EXPECT_EQ(std::u16string(buf), t.text) << t.id;
    }
}

TEST_F(Resbundle, EveryDialogTemplateWithItsCaptionSizeAndFont) {
    struct Case {
        DWORD id;
        const char16_t* caption;
    } cases[] = {
        {100, u"Basic"},
        {150, u"Output"},
        {200, u"Quality"},
        {250, u"Job Type"},
        {300, u"Device"},
        {350, u"Font"},
        {366, u"Edit Substitution Table"},
        {400, u"Overlay"},
        {450, u"Watermark"},
        {500, u"Output Options"},
        {550, u"Profile"},
        {600, u"Input Profile Name"},
        {650, u"Booklet"},
        {700, u"Fit to Output Paper Size"},
        {750, u"Pages per Sheet"},
        {800, u"Poster"},
        {850, u"Zoom"},
        {900, u"Support"},
        {950, u"Effects"},
        {1000, u"Custom Paper"},
        {1050, u"Custom Paper"},
        {1100, u"Duplex Options"},
        {1150, u"Cover Page"},
        {1200, u"Form / Tray"},
        {1250, u"Input Job Information"},
        {1300, u"Print"},
        {1350, u"JobType"},
        {1360, u"Input Dept. ID"},
        {1370, u"Input Job Type"},
    };
    const std::set<DWORD> pages{100, 150, 200, 250, 550, 900, 950, 1200};
    std::set<ULONG_PTR> expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        expected.insert(c.id);
        HRSRC r = FindResourceW(module, MAKEINTRESOURCEW(c.id), RT_DIALOG);
        ASSERT_NE(r, nullptr);
        auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, r)));
        sheetwright::DialogInfo d;
        ASSERT_TRUE(sheetwright::ReadDialogTemplate(bytes, SizeofResource(module, r), &d));
        EXPECT_EQ(d.caption, c.caption);
        EXPECT_EQ(d.face, u"MS Shell Dlg");
        EXPECT_EQ(d.pointSize, 8);
        const bool page = pages.count(c.id) != 0;
        if (c.id == 300) {
            EXPECT_EQ(d.cx, 388);
            EXPECT_EQ(d.cy, 266);
        } else if (page) {
            EXPECT_EQ(d.cx, 456);
            EXPECT_EQ(d.cy, 266);
            EXPECT_TRUE(d.style & WS_CHILD);
        } else {
            EXPECT_TRUE(d.style & WS_POPUP);
        }
        // Ids are unique within a template, and every control lies inside it.
        std::set<DWORD> ids;
        for (const auto& item : d.items) {
            if (item.id != 0xFFFF && item.id != 0xFFFFFFFF) {
                EXPECT_TRUE(ids.insert(item.id).second) << item.id;
            }
            EXPECT_GE(item.x, 0);
            EXPECT_LE(item.x + item.cx, d.cx) << item.id;
            EXPECT_LE(item.y + std::min<int>(item.cy, 20), d.cy) << item.id;
        }
    }
    EXPECT_EQ(Names(module, RT_DIALOG), expected);
}

TEST_F(Resbundle, StringsPicturesAndCursor) {
    int strings = 0;
    for (UINT id = 1; id <= 32767; ++id) {
        WCHAR probe[2];
        if (LoadStringW(module, id, probe, 2) > 0) ++strings;
    }
    EXPECT_EQ(strings, 434);
    const Text texts[] = {
        {3113, u"Profile files (*.PRO)\n*.PRO\n\n"},
        {4000, u"\\/*?:.;\"<>|"},
        {3321, u"Make \"%s\""},
        {3322, u"Print \"%s\""},
        {4011, u"\""},
        {7999, u"Custom Size"},
        {7902, u"Velmora Printer Driver Help"},
        {8100, u"Custom Paper"},
        {6538, u"Finisher (LT-QN510)"},
        {9031, u"Bypass Tray"},
        {4451, u"(%d - %d %%)"},
        {20023, u"Cannot find the necessary files.\r\nInstall the printer driver again."},
        {3041, u"Paper (%s,%s) not loaded in  any tray."},
    };
    ExpectTexts(module, texts);
    auto bitmaps = Names(module, RT_BITMAP);
    EXPECT_EQ(bitmaps.size(), 123u);
    for (ULONG_PTR id :
         {2500, 2510, 2511, 2512, 2521, 2530, 2540, 2541, 2620, 2621, 2651, 2674, 2680, 2811, 2868})
        EXPECT_TRUE(bitmaps.count(id)) << id;
    auto icons = Names(module, RT_GROUP_ICON);
    EXPECT_EQ(icons.size(), 134u);
    EXPECT_EQ(*icons.begin(), 2100u);
    EXPECT_EQ(*icons.rbegin(), 2345u);
    EXPECT_EQ(Names(module, RT_GROUP_CURSOR), std::set<ULONG_PTR>{2000});

    // Sizes and depths as the preview pane expects them.
    struct Picture {
        UINT id;
        LONG w, h;
        WORD bits;
    } pictures[] = {{2500, 38, 63, 8},   {2510, 236, 374, 8}, {2530, 8, 8, 8},
                    {2540, 162, 108, 8}, {2541, 116, 158, 8}, {2560, 142, 88, 8},
                    {2562, 96, 138, 8},  {2651, 33, 20, 8},   {2672, 472, 283, 8},
                    {2653, 22, 32, 8},   {2674, 311, 458, 8}, {2680, 48, 48, 4},
                    {2851, 162, 108, 4}, {2620, 36, 48, 8}};
    for (const auto& p : pictures) {
        HRSRC r = FindResourceW(module, MAKEINTRESOURCEW(p.id), RT_BITMAP);
        ASSERT_NE(r, nullptr) << p.id;
        auto* info = static_cast<const BYTE*>(LockResource(LoadResource(module, r)));
        LONG w, h;
        WORD bits;
        std::memcpy(&w, info + 4, 4);
        std::memcpy(&h, info + 8, 4);
        std::memcpy(&bits, info + 14, 2);
        EXPECT_EQ(w, p.w) << p.id;
        EXPECT_EQ(h, p.h) << p.id;
        EXPECT_EQ(bits, p.bits) << p.id;
    }
    HICON icon = LoadIconW(module, MAKEINTRESOURCEW(2110));
    EXPECT_NE(icon, nullptr);
    if (icon) DestroyIcon(icon);
    HCURSOR cursor = LoadCursorW(module, MAKEINTRESOURCEW(2000));
    EXPECT_NE(cursor, nullptr);
    if (cursor) DestroyCursor(cursor);
}

// The texts of the lists and labels the pages and dialogs fill by string id,
// each the one its list means: a shared or misplaced id would show another
// list's word, or a format unfilled, in the list.
TEST_F(Resbundle, EveryIdAPageLoadsHoldsItsOwnText) {
    const Text texts[] = {
        // Output page: the copies range and the three sort rows.
        {6000, u"(%d - %d)"},
        {4700, u"None"},
        {4704, u"Shift"},
        {4702, u"Rotate"},
        // Output Options: who controls the copies.
        {6001, u"Printer"},
        {6002, u"Printer Driver"},
        // Cover page dialog: the two cover types.
        {6051, u"Blank"},
        {6050, u"Printed"},
        // Quality page: graphics modes, the sample models' halftone kinds,
        // colour modes and colour management.
        {3285, u"Vector"},
        {3286, u"Raster"},
        {9536, u"Dither"},
        {9537, u"Coarse"},
        {9538, u"Fine"},
        {5100, u"Color"},
        {5101, u"Photo Color"},
        {5102, u"Grayscale"},
        {5110, u"Brightness Adjustment"},
        {5111, u"ICM"},
        {5112, u"Device Color"},
        // Duplex options, booklet, zoom, poster and the punch row "None".
        {4105, u"Automatic"},
        {4106, u"Manual"},
        {4553, u"Left Binding"},
        {4554, u"Right Binding"},
        {4555, u"All Sheets"},
        {4556, u"1 Sheet"},
        {4557, u"2 Sheets"},
        {4558, u"4 Sheets"},
        {4559, u"8 Sheets"},
        {4451, u"(%d - %d %%)"},
        {4551, u"(%d - %d mm)"},
        {4552, u"(%.1f - %.1f in.)"},
        {4652, u"2 x 1"},
        {4601, u"None"},
        {5200, u"Don't Substitute"},
    };
    ExpectTexts(module, texts);
}

// The names a sample model gives its halftone kinds (model table 47) are
// names of halftone kinds: the library's block for them, never the sort or
// finishing block whose words the Output page shows.
TEST_F(Resbundle, TheSampleModelsNameTheirHalftoneKindsFromTheirOwnBlock) {
    const std::regex table("\"47\": \\{[^}]*\"entries\": \\[(\\[[\\s\\S]*?\\])\\]");
    const std::regex entry("\\[\\s*([0-9]+),\\s*([0-9]+)");
    std::ifstream file(std::string(PKG_SAMPLE_MODELS_DIR "/") + "CX5540.json");
    ASSERT_TRUE(file);
    std::stringstream source;
    source << file.rdbuf();
    const std::string text = source.str();
    std::smatch found;
    ASSERT_TRUE(std::regex_search(text, found, table));
    const std::string entries = found[1].str();
    int count = 0;
    for (std::sregex_iterator it(entries.begin(), entries.end(), entry), end; it != end; ++it) {
        const UINT id = static_cast<UINT>(std::stoul((*it)[2].str()));
        EXPECT_TRUE(id >= 9536 && id < 10048) << "halftone kind " << (*it)[1].str() << ": " << id;
        WCHAR probe[2];
        EXPECT_GT(LoadStringW(module, id, probe, 2), 0) << id;
        ++count;
    }
    EXPECT_EQ(count, 3);
}

// Every paper, media type, tray, finishing position and output bin of the
// sample models names a string of this library: the pages, the capability
// lists and the print query show these names.
TEST_F(Resbundle, EveryNameTheSampleModelsGiveIsOneOfItsStrings) {
    const std::regex nameId("\"name_id\": ([0-9]+)");
    for (const char* model : {"CX5540", "LP1220"}) {
        std::ifstream file(std::string(PKG_SAMPLE_MODELS_DIR "/") + model + ".json");
        ASSERT_TRUE(file) << model;
        std::stringstream source;
        source << file.rdbuf();
        const std::string text = source.str();
        int names = 0;
        for (std::sregex_iterator it(text.begin(), text.end(), nameId), end; it != end; ++it) {
            const UINT id = static_cast<UINT>(std::stoul((*it)[1].str()));
            WCHAR probe[2];
            EXPECT_GT(LoadStringW(module, id, probe, 2), 0) << model << ": string " << id;
            ++names;
        }
        EXPECT_GT(names, 10) << model;
    }
}

// The resource ids a sample model's table 70 gives: the Support page's
// picture and the label and status texts are this library's; the device
// pictures are the picture library's model-specific ones.
TEST_F(Resbundle, EveryResourceIdOfTheSampleModelsTable70IsThere) {
    const std::regex table("\"70\": \\{[^}]*\"entries\": \\[([\\s\\S]*?)\\]\\s*\\}");
    const std::regex entry("\\[\\s*([0-9]+),\\s*([0-9]+)\\s*\\]");
    for (const char* model : {"CX5540", "LP1220"}) {
        std::ifstream file(std::string(PKG_SAMPLE_MODELS_DIR "/") + model + ".json");
        ASSERT_TRUE(file) << model;
        std::stringstream source;
        source << file.rdbuf();
        const std::string text = source.str();
        std::smatch found;
        ASSERT_TRUE(std::regex_search(text, found, table)) << model;
        const std::string entries = found[1].str();
        int count = 0;
        for (std::sregex_iterator it(entries.begin(), entries.end(), entry), end; it != end; ++it) {
            const int index = std::stoi((*it)[1].str());
            const UINT id = static_cast<UINT>(std::stoul((*it)[2].str()));
            SCOPED_TRACE(std::string(model) + " entry " + std::to_string(index));
            WCHAR probe[2];
            if (index == 2)
                EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(id), RT_BITMAP), nullptr) << id;
            else if (index >= 14 && index <= 18)
                EXPECT_TRUE(id >= 119 && id <= 122) << id;
            else
                EXPECT_GT(LoadStringW(module, id, probe, 2), 0) << id;
            ++count;
        }
        EXPECT_GT(count, 0) << model;
    }
}

TEST_F(Resbundle, ProductVersion) {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00050001u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000035u);
}

} // namespace

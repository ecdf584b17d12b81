#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/loader_ctl.h"
#include "platform/res_file.h"
#include "platform/text.h"
#include "resprobe.h"
#include "win/base.h"
#include "platform/gdi_ctl.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/commctrl.h"
#include "win/resources.h"
#include "win/user.h"

namespace {

constexpr WORD kEnglishUs = 0x0409;
constexpr WORD kJapanese = 0x0411;
constexpr WORD kGerman = 0x0407;

class Resources : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::loader::AddSearchFolder(USER_TEST_MODULES_DIR);
        probe = LoadLibraryW(u"Resprobe.DLL");
        ASSERT_NE(probe, nullptr);
    }
    void TearDown() override {
        FreeLibrary(probe);
        EXPECT_EQ(platform::test::ModuleLoadCount(u"Resprobe.DLL"), 0);
    }
    HMODULE probe = nullptr;
};

std::u16string String(HMODULE m, UINT id, int room = 256) {
    std::vector<WCHAR> buf(static_cast<size_t>(room) + 1, u'#');
    int n = LoadStringW(m, id, buf.data(), room);
    return std::u16string(buf.data(), static_cast<size_t>(n));
}

TEST_F(Resources, StringsByIdAcrossBlocksAndLanguages) {
    struct Case {
        UINT id;
        const char16_t* text;
    } cases[] = {
        {IDS_FIRST, u"First"}, // English chosen over Japanese
        {IDS_SECOND, u"Second string"},
        {IDS_LAST_OF_BLOCK, u"Fifteen"}, // last slot of block 1
        {IDS_NEXT_BLOCK, u"Sixteen"},    // first slot of block 2
        {IDS_NON_ASCII, u"Größe – 用紙"},
        {IDS_LONG, u"Cannot find the necessary files.\r\nInstall the printer driver again."},
        {IDS_JAPANESE_ONLY, u"日本語"}, // only language there is
        {3, u""},                       // empty slot inside a block
        {999, u""},                     // no such block
        {0x10000, u""},                 // beyond any block
    };
    for (const auto& c : cases)
        EXPECT_EQ(String(probe, c.id), c.text) << c.id;
}

// A tool registered with a string id takes its text from the module it names.
TEST_F(Resources, TipTextFromAStringId) {
    HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               nullptr, nullptr);
    ASSERT_NE(tip, nullptr);
    struct Case {
        UINT id;
        HMODULE module;
        const char16_t* text;
    } cases[] = {{IDS_SECOND, probe, u"Second string"}, {999, probe, u""}};
    for (const Case& c : cases) {
        TOOLINFOW info{};
        info.cbSize = sizeof info;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = tip;
        info.uId = c.id;
        info.hinst = c.module;
        info.lpszText = MAKEINTRESOURCEW(c.id);
        ASSERT_TRUE(SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)));
        WCHAR text[32] = {u'#'};
        info.lpszText = text;
        SendMessageW(tip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(std::u16string(text), c.text) << c.id;
    }
    DestroyWindow(tip);
}

TEST_F(Resources, StringBufferRules) {
    WCHAR buf[8];
    std::fill(std::begin(buf), std::end(buf), u'#');
    // Truncated to the room there is, always terminated.
    EXPECT_EQ(LoadStringW(probe, IDS_SECOND, buf, 7), 6);
    EXPECT_EQ(std::u16string(buf), u"Second");
    EXPECT_EQ(LoadStringW(probe, IDS_SECOND, buf, 1), 0);
    EXPECT_EQ(buf[0], 0);
    // Room 0: a read-only pointer into the module and the full length.
    const WCHAR* ro = nullptr;
    EXPECT_EQ(LoadStringW(probe, IDS_SECOND, reinterpret_cast<LPWSTR>(&ro), 0), 13);
    ASSERT_NE(ro, nullptr);
    EXPECT_EQ(std::u16string(ro, 13), u"Second string");
    EXPECT_EQ(LoadStringW(probe, IDS_FIRST, nullptr, 10), 0);
    char ansi[16];
    EXPECT_EQ(LoadStringA(probe, IDS_FIRST, ansi, sizeof ansi), 5);
    EXPECT_STREQ(ansi, "First");
}

TEST_F(Resources, FindResourceErrors) {
    struct Case {
        LPCWSTR type;
        LPCWSTR name;
        bool found;
        DWORD error;
    } cases[] = {
        {RT_DIALOG, MAKEINTRESOURCEW(IDD_PROBE), true, 0},
        {RT_DIALOG, u"#100", true, 0},
        {RT_DIALOG, MAKEINTRESOURCEW(IDD_PROBE_EX), true, 0},
        {u"OID", u"oidname", true, 0}, // names and types compare without case
        {u"#5", MAKEINTRESOURCEW(IDD_PROBE), true, 0},
        {RT_DIALOG, MAKEINTRESOURCEW(999), false, ERROR_RESOURCE_NAME_NOT_FOUND},
        {RT_MENU, MAKEINTRESOURCEW(1), false, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {u"OID", u"OTHER", false, ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        HRSRC r = FindResourceW(probe, c.name, c.type);
        EXPECT_EQ(r != nullptr, c.found);
        if (!c.found) {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    // A module without embedded resources (the test program itself).
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(0x1234), MAKEINTRESOURCEW(1), RT_STRING),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Resources, DialogBytesAndCustomData) {
    HRSRC r = FindResourceW(probe, MAKEINTRESOURCEW(IDD_PROBE), RT_DIALOG);
    ASSERT_NE(r, nullptr);
    auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(probe, r)));
    ASSERT_NE(bytes, nullptr);
    ASSERT_GE(SizeofResource(probe, r), 18u);
    DWORD style;
    std::memcpy(&style, bytes, 4);
    EXPECT_EQ(style & (DS_SETFONT | WS_POPUP), static_cast<DWORD>(DS_SETFONT | WS_POPUP));
    WORD count;
    std::memcpy(&count, bytes + 8, 2);
    EXPECT_EQ(count, 5);

    r = FindResourceW(probe, u"OIDNAME", u"OID");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(SizeofResource(probe, r), 4u);
    auto* oid = static_cast<const BYTE*>(LockResource(LoadResource(probe, r)));
    EXPECT_EQ(std::vector<BYTE>(oid, oid + 4), (std::vector<BYTE>{0x2B, 0x06, 0x01, 0x02}));
}

TEST_F(Resources, LanguageChoice) {
    // String block 1 is held in English and Japanese.
    HRSRC en = FindResourceExW(probe, RT_STRING, MAKEINTRESOURCEW(1), kEnglishUs);
    HRSRC ja = FindResourceExW(probe, RT_STRING, MAKEINTRESOURCEW(1), kJapanese);
    ASSERT_NE(en, nullptr);
    ASSERT_NE(ja, nullptr);
    EXPECT_NE(en, ja);
    EXPECT_EQ(FindResourceW(probe, MAKEINTRESOURCEW(1), RT_STRING), en);
    EXPECT_EQ(FindResourceExW(probe, RT_STRING, MAKEINTRESOURCEW(1), 0), en);
    EXPECT_EQ(FindResourceExW(probe, RT_STRING, MAKEINTRESOURCEW(1), kGerman), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
}

TEST_F(Resources, ImagesFromTheModule) {
    // A bitmap is a GDI bitmap of the caller's, with the resource's pixels.
    long gdiObjects = platform::test::LiveGdiObjects();
    HBITMAP bmp = LoadBitmapW(probe, MAKEINTRESOURCEW(IDB_PROBE));
    ASSERT_NE(bmp, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO top{};
    top.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, -2, 1, 32, 0, 0, 0, 0, 0, 0};
    std::vector<DWORD> pixels(8, 0);
    EXPECT_EQ(GetDIBits(dc, bmp, 0, 2, pixels.data(), &top, DIB_RGB_COLORS), 2);
    DeleteDC(dc);
    // The file's rows run bottom-up: blue first on top, red first at the bottom.
    EXPECT_EQ(pixels[0] & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(pixels[1] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(pixels[4] & 0xFFFFFF, 0xFF0000u);
    HBITMAP second = LoadBitmapW(probe, MAKEINTRESOURCEW(IDB_PROBE));
    EXPECT_NE(second, bmp);
    EXPECT_TRUE(DeleteObject(second));
    EXPECT_EQ(LoadBitmapW(probe, MAKEINTRESOURCEW(999)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

    HICON icon = LoadIconW(probe, MAKEINTRESOURCEW(IDI_PROBE));
    ASSERT_NE(icon, nullptr);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 16u); // the 32-pixel image by default
    HANDLE small =
        LoadImageW(probe, MAKEINTRESOURCEW(IDI_PROBE), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    ASSERT_NE(small, nullptr);
    ASSERT_TRUE(GetIconInfo(static_cast<HICON>(small), &info));
    EXPECT_EQ(info.xHotspot, 8u);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_NE(LoadIconW(nullptr, IDI_WARNING), nullptr);
    EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
    EXPECT_FALSE(GetIconInfo(static_cast<HICON>(static_cast<void*>(bmp)), &info));
    EXPECT_TRUE(DeleteObject(bmp));
    EXPECT_EQ(platform::test::LiveGdiObjects(), gdiObjects);
}

TEST_F(Resources, EnumeratesNamesStringsFirst) {
    std::vector<std::u16string> names;
    auto collect = [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
        auto* out = reinterpret_cast<std::vector<std::u16string>*>(param);
        out->push_back(IS_INTRESOURCE(name) ? u"#" + platform::FromUtf8(std::to_string(
                                                         reinterpret_cast<ULONG_PTR>(name)))
                                            : std::u16string(name));
        return TRUE;
    };
    ASSERT_TRUE(EnumResourceNamesW(probe, u"OID", collect, reinterpret_cast<LONG_PTR>(&names)));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"OIDNAME", u"#7"}));
    names.clear();
    ASSERT_TRUE(EnumResourceNamesW(probe, RT_STRING, collect, reinterpret_cast<LONG_PTR>(&names)));
    // Block 1 once although it is held in two languages; blocks 2, 3 and 4.
    EXPECT_EQ(names, (std::vector<std::u16string>{u"#1", u"#2", u"#3", u"#4"}));
    EXPECT_FALSE(EnumResourceNamesW(probe, RT_MENU, collect, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST_F(Resources, VersionInformation) {
    WCHAR path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(probe, path, MAX_PATH), 0u);
    DWORD handle = 7;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    EXPECT_EQ(handle, 0u);
    ASSERT_GT(size, sizeof(VS_FIXEDFILEINFO));
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00030001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x0004000Fu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation",
                               reinterpret_cast<LPVOID*>(&translation), &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(*translation, 0x04B00409u);

    WCHAR* text = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\FileVersion",
                               reinterpret_cast<LPVOID*>(&text), &length));
    EXPECT_EQ(std::u16string(text), u"3.1.4.15");
    EXPECT_FALSE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\Missing",
                                reinterpret_cast<LPVOID*>(&text), &length));

    EXPECT_EQ(GetFileVersionInfoSizeW(u"Z:\\no\\such\\module.dll", nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Resprobe.DLL"), 1);
}

TEST(ResourceOnlyLibrary, LoadsAndGivesItsStrings) {
    platform::loader::AddSearchFolder(USER_TEST_MODULES_DIR);
    HMODULE m = LoadLibraryW(u"Resonly.DLL");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(String(m, 100), u"Error");
    EXPECT_EQ(String(m, 101), u"");
    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Resonly.DLL"), 0);
}

// ---- the reader over hand-laid resource files ----

struct Bytes {
    std::vector<BYTE> v;
    Bytes& dw(DWORD x) {
        for (int i = 0; i < 4; ++i)
            v.push_back(static_cast<BYTE>(x >> (8 * i)));
        return *this;
    }
    Bytes& w(WORD x) {
        v.push_back(static_cast<BYTE>(x));
        v.push_back(static_cast<BYTE>(x >> 8));
        return *this;
    }
    Bytes& text(const char16_t* s) {
        for (; *s; ++s)
            w(*s);
        return w(0);
    }
    Bytes& pad4() {
        while (v.size() % 4)
            v.push_back(0);
        return *this;
    }
};

// The empty entry that begins every file: 32 bytes.
Bytes Start() {
    Bytes b;
    b.dw(0).dw(32).w(0xFFFF).w(0).w(0xFFFF).w(0).dw(0).w(0).w(0).dw(0).dw(0);
    return b;
}

TEST(ResFileReader, HandLaidFiles) {
    // Type "OID" (a string), name 7, language 0x0409, 3 data bytes then padding.
    Bytes good = Start();
    good.dw(3)
        .dw(8 + 8 + 4 + 16)
        .text(u"OID")
        .w(0xFFFF)
        .w(7)
        .pad4()
        .dw(0)
        .w(0x30)
        .w(0x0409)
        .dw(0)
        .dw(0);
    good.v.insert(good.v.end(), {0x2B, 0x06, 0x01});
    good.pad4();

    std::vector<platform::res::ResEntry> entries;
    std::string error;
    ASSERT_TRUE(platform::res::ReadResFile(good.v.data(), good.v.size(), &entries, &error))
        << error;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_FALSE(entries[0].type.isOrdinal);
    EXPECT_EQ(entries[0].type.text, u"OID");
    EXPECT_EQ(entries[0].name.ordinal, 7);
    EXPECT_EQ(entries[0].language, kEnglishUs);
    EXPECT_EQ(entries[0].size, 3u);
    EXPECT_EQ(entries[0].data[0], 0x2B);

    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
        bool ok;
    };
    auto header = [](DWORD dataSize, DWORD headerSize) {
        Bytes b = Start();
        b.dw(dataSize)
            .dw(headerSize)
            .w(0xFFFF)
            .w(10)
            .w(0xFFFF)
            .w(1)
            .dw(0)
            .w(0)
            .w(0x409)
            .dw(0)
            .dw(0);
        return b.v;
    };
    std::vector<BYTE> unterminated = Start().dw(0).dw(40).text(u"ABCDEFGHIJKLMNOP").v;
    unterminated.resize(Start().v.size() + 40);
    std::fill(unterminated.begin() + 40, unterminated.end(), 0x41);
    std::vector<BYTE> truncated = good.v;
    truncated.pop_back();
    truncated.pop_back();
    truncated.pop_back();
    truncated.pop_back();
    truncated.pop_back();
    Case cases[] = {
        {"empty file", {}, true},
        {"only the start entry", Start().v, true},
        {"good file", good.v, true},
        {"data ends exactly at the end", header(0, 32), true},
        {"header size below the smallest", header(0, 24), false},
        {"header size past the end", header(0, 64), false},
        {"data past the end", header(4, 32), false},
        {"huge data size", header(0xFFFFFFF0u, 32), false},
        {"name without terminator", unterminated, false},
        {"data cut short", truncated, false},
        {"stray bytes after the last entry",
         [] {
             auto v = Start().v;
             v.insert(v.end(), {1, 2});
             return v;
         }(),
         false},
    };
    for (const auto& c : cases) {
        bool ok = platform::res::ReadResFile(c.bytes.data(), c.bytes.size(), &entries, &error);
        EXPECT_EQ(ok, c.ok) << c.what << ": " << error;
    }
}

TEST(ResFileReader, VersionBlockBounds) {
    // VS_VERSION_INFO with a 4-byte value and one child "A" holding 2 bytes;
    // every length checked against the block.
    Bytes b;
    b.w(0).w(4).w(0).text(u"V").pad4().dw(0x11223344);
    size_t child = b.v.size();
    b.w(0).w(2).w(0).text(u"A").pad4().w(0x5566).pad4();
    WORD childLength = static_cast<WORD>(b.v.size() - child);
    std::memcpy(&b.v[child], &childLength, 2);
    WORD total = static_cast<WORD>(b.v.size());
    std::memcpy(&b.v[0], &total, 2);
    const BYTE* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(platform::res::FindVersionValue(b.v.data(), b.v.size(), u"\\a", &value, &length));
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(value[0], 0x66);
    // The child claiming more than its parent holds.
    auto bad = b.v;
    WORD tooLong = static_cast<WORD>(childLength + 8);
    std::memcpy(&bad[child], &tooLong, 2);
    EXPECT_FALSE(platform::res::FindVersionValue(bad.data(), bad.size(), u"\\A", &value, &length));
    // A block shorter than its own length.
    EXPECT_FALSE(
        platform::res::FindVersionValue(b.v.data(), b.v.size() - 4, u"\\", &value, &length));
}

} // namespace

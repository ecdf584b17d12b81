// The localisation cache on hand-laid templates: file names, the text and
// geometry sections, template conversion, and the cache built, reused,
// rebuilt when stale or broken, and answered from.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>

#include "localize.h"
#include "platform/paths.h"
#include "platform/settings_file.h"
#include "platform/testctl.h"
#include "win/base.h"

namespace {

using namespace sheetwright;
using Bytes = std::vector<std::uint8_t>;

// Files of the machine root, by their host paths.
Bytes ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void WriteHostFile(const std::string& path, const Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void Put(Bytes& b, const void* p, size_t n) {
    b.insert(b.end(), (const uint8_t*)p, (const uint8_t*)p + n);
}
void W(Bytes& b, uint16_t v) {
    Put(b, &v, 2);
}
void D(Bytes& b, uint32_t v) {
    Put(b, &v, 4);
}
void Text(Bytes& b, const std::u16string& s) {
    for (char16_t c : s)
        W(b, c);
    W(b, 0);
}
void Align(Bytes& b) {
    while (b.size() % 4)
        b.push_back(0);
}

// A DLGTEMPLATE laid out by hand: style with DS_SETFONT (0x40), no menu, no
// class, the caption, the font, then two items (a static and a button, by
// class ordinals 0x82 and 0x80), each on a 4-byte boundary.
Bytes HandDialog(const std::u16string& caption = u"Probe",
                 const std::u16string& buttonText = u"OK") {
    Bytes b;
    D(b, 0x80C800C0); // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_MODALFRAME
    D(b, 0);          // extended style
    W(b, 2);          // items
    W(b, 0);
    W(b, 0);
    W(b, 160);
    W(b, 80);
    W(b, 0); // no menu
    W(b, 0); // default class
    Text(b, caption);
    W(b, 8);
    Text(b, u"MS Shell Dlg");
    struct Item {
        uint16_t id, cls;
        std::u16string text;
        int16_t x, y, cx, cy;
    } items[] = {{100, 0x82, u"&Name:", 7, 9, 40, 8}, {1, 0x80, buttonText, 50, 59, 50, 14}};
    for (const auto& it : items) {
        Align(b);
        D(b, 0x50010000);
        D(b, 0);
        W(b, it.x);
        W(b, it.y);
        W(b, it.cx);
        W(b, it.cy);
        W(b, it.id);
        W(b, 0xFFFF);
        W(b, it.cls);
        Text(b, it.text);
        W(b, 0);
    }
    return b;
}

class FakeSource : public ResourceSource {
  public:
    std::u16string path;
    std::map<DWORD, Bytes> dialogs;
    std::map<DWORD, std::u16string> strings;
    DWORD ms = 0x00010002, ls = 0x00030004;
    std::u16string ModulePath() const override { return path; }
    BOOL Dialog(DWORD id, const BYTE** data, DWORD* size) const override {
        auto it = dialogs.find(id);
        if (it == dialogs.end()) return FALSE;
        *data = it->second.data();
        *size = static_cast<DWORD>(it->second.size());
        return TRUE;
    }
    std::u16string String(DWORD id) const override {
        auto it = strings.find(id);
        return it == strings.end() ? std::u16string() : it->second;
    }
    BOOL ProductVersion(DWORD* a, DWORD* b) const override {
        *a = ms;
        *b = ls;
        return TRUE;
    }
};

TEST(Localize, FileNamesBesideTheLibrary) {
    struct Case {
        std::u16string module, rct, rcp, rcb;
    } cases[] = {
        {u"C:\\D\\Panelkit.DLL", u"C:\\D\\Panelk.RCT", u"C:\\D\\Panelk.RCP",
         u"C:\\D\\Panelkit.RCB"},
        {u"C:\\D\\Pane.DLL", u"C:\\D\\Pane.RCT", u"C:\\D\\Pane.RCP", u"C:\\D\\Pane.RCB"},
        {u"C:\\D\\Resbundle.DLL", u"C:\\D\\Resbun.RCT", u"C:\\D\\Resbun.RCP",
         u"C:\\D\\Resbundle.RCB"},
    };
    for (const auto& c : cases) {
        LocalizePaths p = LocalizePathsOf(c.module);
        EXPECT_EQ(p.rct, c.rct);
        EXPECT_EQ(p.rcp, c.rcp);
        EXPECT_EQ(p.rcb, c.rcb);
    }
}

TEST(Localize, LanguageIdsAndValues) {
    EXPECT_EQ(ComposeLanguageId(17, 1), 0x0411u);
    EXPECT_EQ(ComposeLanguageId(17, 0), 17u);
    EXPECT_EQ(ComposeLanguageId(0, 1), 0u);
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"\"Two\\nlines\"", u"Two\nlines"},
        {u"\"only start", u"\"only start"},
        {u"tab\\tquote\\\"q\\?\\'\\\\", u"tab\tquote\"q?'\\"},
        {u"unknown \\x stays", u"unknown \\x stays"},
        {u"ends with \\", u"ends with \\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnquoteValue(c.in), c.out);
    static const char16_t block[] = u"a=1\0no equals\0b=x=y\0\0c=3";
    SectionMap m = ParseSectionLines(std::u16string(block, sizeof block / sizeof block[0] - 1));
    EXPECT_EQ(m.size(), 2u);
    EXPECT_EQ(m[u"b"], u"x=y");
}

TEST(Localize, TemplateConversion) {
    Bytes tmpl = HandDialog();
    DialogInfo before;
    ASSERT_TRUE(ReadDialogTemplate(tmpl.data(), tmpl.size(), &before));
    EXPECT_EQ(before.caption, u"Probe");
    ASSERT_EQ(before.items.size(), 2u);
    // Written back unchanged, the bytes are the same.
    EXPECT_EQ(WriteDialogTemplate(before), tmpl);

    SectionMap values{{u"DialogInfo", u"0,0,200,90,Probe, translated"},
                      {u"DialogFont", u"9,Tahoma"},
                      {u"1", u"10,20,100,14,Save, then close"},
                      {u"100", u"5,6,30,8,"}}; // no text: the module's stays
    std::vector<BYTE> out;
    bool fits = false;
    ASSERT_TRUE(
        ConvertDialogTemplate(tmpl.data(), tmpl.size(), values, kRcbStagingSize, &out, &fits));
    ASSERT_TRUE(fits);
    DialogInfo after;
    ASSERT_TRUE(ReadDialogTemplate(out.data(), out.size(), &after));
    EXPECT_EQ(after.caption, u"Probe, translated");
    EXPECT_EQ(after.x, 0);
    EXPECT_EQ(after.cx, 200);
    EXPECT_EQ(after.cy, 90);
    EXPECT_EQ(after.pointSize, 9);
    EXPECT_EQ(after.face, u"Tahoma");
    EXPECT_EQ(after.items[1].title, u"Save, then close");
    EXPECT_EQ(std::vector<SHORT>(
                  {after.items[1].x, after.items[1].y, after.items[1].cx, after.items[1].cy}),
              std::vector<SHORT>({10, 20, 100, 14}));
    EXPECT_EQ(after.items[0].title, u"&Name:");
    EXPECT_EQ(after.items[0].x, 5);
    EXPECT_EQ(out.size() % 2, 0u);

    // No room: the template stays the module's.
    ASSERT_TRUE(ConvertDialogTemplate(tmpl.data(), tmpl.size(), values, tmpl.size(), &out, &fits));
    EXPECT_FALSE(fits);
    // A template cut anywhere is refused, never read past its end.
    for (size_t cut = 0; cut < tmpl.size(); ++cut) {
        Bytes part(tmpl.begin(), tmpl.begin() + static_cast<long>(cut));
        EXPECT_FALSE(
            ConvertDialogTemplate(part.data(), part.size(), values, kRcbStagingSize, &out, &fits))
            << cut;
    }
}

// An old-style item's creation data counts its own count word; converted
// and written back, the template keeps its bytes.
TEST(Localize, OldTemplateCreationDataSurvives) {
    Bytes b = HandDialog();
    // The last item's count word (0) becomes 4: the word and two bytes of data.
    b.resize(b.size() - 2);
    W(b, 4);
    W(b, 0xBEEF);
    DialogInfo d;
    ASSERT_TRUE(ReadDialogTemplate(b.data(), b.size(), &d));
    ASSERT_EQ(d.items.back().extra.size(), 2u);
    EXPECT_EQ(WriteDialogTemplate(d), b);
    std::vector<BYTE> out;
    bool fits = false;
    ASSERT_TRUE(ConvertDialogTemplate(b.data(), b.size(), {{u"1", u"1,2,3,4,Go"}}, kRcbStagingSize,
                                      &out, &fits));
    ASSERT_TRUE(ReadDialogTemplate(out.data(), out.size(), &d));
    EXPECT_EQ(d.items.back().title, u"Go");
    EXPECT_EQ(d.items.back().extra, (std::vector<BYTE>{0xEF, 0xBE}));
}

// A cache laid out by hand: one dialog of 4 bytes and two strings, one of
// them absent.
TEST(Localize, HandLaidCache) {
    Bytes b(72, 0);
    std::memcpy(b.data(), "LCBN", 4);
    auto put = [&b](size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
    put(4, 1);
    put(8, 3);      // text version
    put(44, 0x407); // language
    put(48, 72);
    put(52, 1);
    put(56, 72 + 12);
    put(60, 2);
    put(64, 72 + 12 + 24);
    put(68, 72 + 12 + 24 + 4);
    for (uint32_t v : {100u, 0u, 4u, 7u, 0u, 6u, 8u, 0u, 0u})
        D(b, v);
    D(b, 0xDDCCBBAA);
    Text(b, u"Ja");
    RcbImage image;
    ASSERT_TRUE(ParseRcb(b.data(), b.size(), &image));
    const BYTE* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(RcbDialog(image, 100, &data, &size));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[0], 0xAA);
    std::u16string s;
    EXPECT_TRUE(RcbString(image, 7, &s));
    EXPECT_EQ(s, u"Ja");
    EXPECT_FALSE(RcbString(image, 8, &s)); // size 0: the module's string
    EXPECT_FALSE(RcbDialog(image, 101, &data, &size));

    // Each broken count or offset is refused.
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"magic unwritten", 0, 0},
        {"dialog count past the file", 52, 1000},
        {"string index misplaced", 56, 72},
        {"string data past the end", 68, 4096},
        {"dialog entry past its area", 72 + 8, 5},
        {"string entry past the end", 72 + 12 + 4, 2},
        {"odd string size", 72 + 12 + 8, 5},
    };
    for (const auto& c : cases) {
        Bytes x = b;
        std::memcpy(x.data() + c.at, &c.value, 4);
        EXPECT_FALSE(ParseRcb(x.data(), x.size(), &image)) << c.what;
    }
    for (size_t cut = 0; cut < b.size(); ++cut)
        EXPECT_FALSE(ParseRcb(b.data(), cut, &image)) << cut;
}

class LocalizeCache : public ::testing::Test {
  protected:
    void SetUp() override {
        source_.path = u"C:\\Drv\\Panelkit.DLL";
        source_.dialogs[100] = HandDialog();
        source_.dialogs[200] = HandDialog(u"Other");
        source_.strings = {{7, u"Paper"}, {8, u"Tray"}, {9, u"Only here"}};
        WriteHostFile(platform::HostPath(source_.path), {1, 2, 3});
        WriteText("[Main]\r\nVersion=3\r\nLanguageID=7\r\nSubLanguageID=1\r\n"
                  "[String]\r\n7=Papier\r\n8=\"Fach\\n2\"\r\n"
                  "[Dlg100]\r\nDialogInfo=Probe (de)\r\n1=Speichern\r\n");
        WriteGeometry("[Dlg100]\r\nDialogInfo=0,0,180,80\r\n1=50,59,60,14\r\n");
    }
    void WriteText(const std::string& s) { Write(u"C:\\Drv\\Panelk.RCT", s); }
    void WriteGeometry(const std::string& s) { Write(u"C:\\Drv\\Panelk.RCP", s); }
    void Write(const std::u16string& path, const std::string& s) {
        WriteHostFile(platform::HostPath(path), Bytes(s.begin(), s.end()));
    }
    std::unique_ptr<CLocalize> Make() {
        return std::make_unique<CLocalize>(std::make_unique<FakeSource>(source_));
    }
    std::string CacheHost() { return platform::HostPath(u"C:\\Drv\\Panelkit.RCB"); }
    // Moves a file's last-write time on, as a later edit would.
    void Touch(const std::u16string& path) {
        auto host = platform::HostPath(path);
        std::filesystem::last_write_time(host, std::filesystem::last_write_time(host) +
                                                   std::chrono::seconds(5));
    }
    FakeSource source_;
};

TEST_F(LocalizeCache, BuiltReusedAndAnswered) {
    auto loc = Make();
    EXPECT_FALSE(loc->IsCacheCurrent()); // no cache yet
    ASSERT_TRUE(loc->BuildCache());
    EXPECT_EQ(loc->LanguageId(), 0x0407u);
    EXPECT_TRUE(Make()->IsCacheCurrent());
    Bytes cache = ReadHostFile(CacheHost());
    RcbImage image;
    ASSERT_TRUE(ParseRcb(cache.data(), cache.size(), &image));
    EXPECT_EQ(image.header.textVersion, 3u);
    EXPECT_EQ(image.header.productVersionMS, 0x00010002u);
    EXPECT_EQ(image.dialogs.size(), 2u);
    EXPECT_EQ(image.strings.size(), 3u);

    std::u16string s;
    EXPECT_EQ(loc->LoadString(7, &s), 6);
    EXPECT_EQ(s, u"Papier");
    loc->LoadString(8, &s);
    EXPECT_EQ(s, u"Fach\n2");
    loc->LoadString(9, &s); // not translated: the module's
    EXPECT_EQ(s, u"Only here");
    WCHAR buf[4] = {u'x', 0};
    loc->CopyString(7, buf, 4);
    EXPECT_EQ(std::u16string(buf), u"Pap");
    loc->CopyString(55, buf, 4); // no such string: untouched
    EXPECT_EQ(std::u16string(buf), u"Pap");

    DWORD size = 0;
    const BYTE* t = loc->LoadDialogTemplate(100, &size);
    DialogInfo d;
    ASSERT_TRUE(ReadDialogTemplate(t, size, &d));
    EXPECT_EQ(d.caption, u"Probe (de)");
    EXPECT_EQ(d.cx, 180);
    EXPECT_EQ(d.items[1].title, u"Speichern");
    EXPECT_EQ(d.items[1].cx, 60);
    t = loc->LoadDialogTemplate(200, &size); // no section: the template unchanged
    ASSERT_TRUE(ReadDialogTemplate(t, size, &d));
    EXPECT_EQ(d.caption, u"Other");
    EXPECT_EQ(loc->LoadDialogTemplate(300, &size), nullptr);
}

TEST_F(LocalizeCache, StaleBrokenAndMissingSources) {
    ASSERT_TRUE(Make()->BuildCache());
    struct Case {
        const char* what;
        std::function<void()> change;
        bool current;
    } cases[] = {
        {"geometry touched", [&] { Touch(u"C:\\Drv\\Panelk.RCP"); }, false},
        {"text touched", [&] { Touch(u"C:\\Drv\\Panelk.RCT"); }, false},
        {"module touched", [&] { Touch(source_.path); }, false},
        {"product version changed", [&] { source_.ls = 5; }, false},
        {"text version changed",
         [&] { WritePrivateProfileStringW(u"Main", u"Version", u"4", u"C:\\Drv\\Panelk.RCT"); },
         false},
        {"cache cut short",
         [&] {
             Bytes c = ReadHostFile(CacheHost());
             c.resize(c.size() - 3);
             WriteHostFile(CacheHost(), c);
         },
         false},
        {"cache magic unwritten",
         [&] {
             Bytes c = ReadHostFile(CacheHost());
             std::memset(c.data(), 0, 4);
             WriteHostFile(CacheHost(), c);
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Make()->IsCacheCurrent());
        c.change();
        auto loc = Make();
        EXPECT_EQ(loc->IsCacheCurrent(), c.current);
        ASSERT_TRUE(loc->BuildCache());
        EXPECT_TRUE(Make()->IsCacheCurrent());
    }
    // Without the geometry file nothing is rebuilt and the old cache stays in use.
    Touch(u"C:\\Drv\\Panelk.RCT");
    std::filesystem::remove(platform::HostPath(u"C:\\Drv\\Panelk.RCP"));
    auto loc = Make();
    EXPECT_TRUE(loc->IsCacheCurrent());
    std::u16string s;
    loc->LoadString(7, &s);
    EXPECT_EQ(s, u"Papier");
    // Without a cache the module answers.
    std::filesystem::remove(CacheHost());
    Make()->LoadString(7, &s);
    EXPECT_EQ(s, u"Paper");
}

TEST_F(LocalizeCache, OversizeTemplateStaysUntranslated) {
    // A template so long that with its translation it passes the staging buffer.
    source_.dialogs[100] = HandDialog(std::u16string(30600, u'x'));
    WriteText("[Main]\r\nVersion=1\r\n[Dlg100]\r\nDialogInfo=" + std::string(250, 'y') + "\r\n");
    WriteGeometry("[Dlg100]\r\nDialogInfo=0,0,180,80\r\n");
    auto loc = Make();
    ASSERT_TRUE(loc->BuildCache());
    DWORD size = 0;
    const BYTE* t = loc->LoadDialogTemplate(100, &size);
    DialogInfo d;
    ASSERT_TRUE(ReadDialogTemplate(t, size, &d));
    EXPECT_EQ(d.caption, std::u16string(30600, u'x'));
    EXPECT_EQ(d.cx, 160);
}

TEST_F(LocalizeCache, BrokenTextFileUsesTheModulesOwn) {
    // Binary rubbish in place of the text file: no section, no translation.
    Write(u"C:\\Drv\\Panelk.RCT", std::string("\0\xFF\x01[\0=\n\xFE", 9));
    auto loc = Make();
    EXPECT_TRUE(loc->BuildCache()) << GetLastError();
    std::u16string s;
    loc->LoadString(7, &s);
    EXPECT_EQ(s, u"Paper");
    DWORD size = 0;
    DialogInfo d;
    const BYTE* t = loc->LoadDialogTemplate(100, &size);
    ASSERT_TRUE(ReadDialogTemplate(t, size, &d));
    EXPECT_EQ(d.caption, u"Probe");
}

TEST_F(LocalizeCache, DamagedTemplateIsNotUsedAndTheCacheIsRebuilt) {
    ASSERT_TRUE(Make()->BuildCache());
    // The cached template of dialog 100 claims 200 items it does not have.
    Bytes cache = ReadHostFile(CacheHost());
    RcbImage image;
    ASSERT_TRUE(ParseRcb(cache.data(), cache.size(), &image));
    const size_t at = image.header.dialogDataOffset + image.dialogs[0].offset + 8;
    cache[at] = 200;
    WriteHostFile(CacheHost(), cache);

    auto loc = Make();
    DWORD size = 0;
    const BYTE* t = loc->LoadDialogTemplate(100, &size);
    DialogInfo d;
    ASSERT_TRUE(ReadDialogTemplate(t, size, &d)); // the module's own, whole
    EXPECT_EQ(d.caption, u"Probe");
    EXPECT_EQ(d.items.size(), 2u);
    EXPECT_FALSE(loc->IsCacheCurrent()); // damaged: rebuilt from its sources
    ASSERT_TRUE(loc->BuildCache());
    auto rebuilt = Make();
    t = rebuilt->LoadDialogTemplate(100, &size);
    ASSERT_TRUE(ReadDialogTemplate(t, size, &d));
    EXPECT_EQ(d.caption, u"Probe (de)");
}

TEST_F(LocalizeCache, TextFileIsReadInTheCodePageOfItsLanguage) {
    // Japanese, in Shift-JIS, on a system whose ANSI code page is 1252.
    const std::string basic = "\x8A\xEE\x96\x7B\x90\xDD\x92\xE8"; // the words "basic settings"
    WriteText("[Main]\r\nVersion=1\r\nLanguageID=17\r\nSubLanguageID=1\r\n[String]\r\n7=" + basic +
              "\r\n[Dlg100]\r\nDialogInfo=" + basic + "\r\n");
    WriteGeometry("[Dlg100]\r\nDialogInfo=0,0,180,80\r\n");
    auto loc = Make();
    ASSERT_TRUE(loc->BuildCache());
    EXPECT_EQ(loc->LanguageId(), 0x0411u);
    std::u16string s;
    loc->LoadString(7, &s);
    EXPECT_EQ(s, u"\u57FA\u672C\u8A2D\u5B9A");
    DWORD size = 0;
    DialogInfo d;
    const BYTE* t = loc->LoadDialogTemplate(100, &size);
    ASSERT_TRUE(ReadDialogTemplate(t, size, &d));
    EXPECT_EQ(d.caption, u"\u57FA\u672C\u8A2D\u5B9A");
}

TEST_F(LocalizeCache, LookUpsReadTheirEntryAndWaitForNoWriter) {
    ASSERT_TRUE(Make()->BuildCache());
    auto loc = Make();
    std::u16string s;
    const int before = platform::test::CallCount("ReadFile");
    loc->LoadString(7, &s);
    EXPECT_EQ(s, u"Papier");
    // The header, the string index and the string: nothing else of the file.
    EXPECT_EQ(platform::test::CallCount("ReadFile") - before, 3);

    // A writer holds the cache's settings lock: a look-up still answers.
    auto writer = std::make_unique<platform::SettingsFile>(u"C:\\Drv\\Panelkit.RCB");
    ASSERT_TRUE(writer->locked());
    auto lookUp = std::async(std::launch::async, [&] {
        std::u16string text;
        Make()->LoadString(8, &text);
        return text;
    });
    const bool answered = lookUp.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    writer.reset(); // lets a look-up that waited for the lock go on
    EXPECT_TRUE(answered);
    EXPECT_EQ(lookUp.get(), u"Fach\n2");
}

// A gigabyte of sparse file in place of the text, geometry or cache file is
// refused from its size, none of it read: with a huge text or geometry file
// there is nothing to build from and the cache made before stays in use; a
// huge cache is none, and is built again.
TEST_F(LocalizeCache, HugeFilesAreRefusedUnread) {
    ASSERT_TRUE(Make()->BuildCache());
    const std::u16string files[] = {u"C:\\Drv\\Panelk.RCT", u"C:\\Drv\\Panelk.RCP",
                                    u"C:\\Drv\\Panelkit.RCB"};
    std::map<std::u16string, Bytes> kept;
    for (const auto& f : files)
        kept[f] = ReadHostFile(platform::HostPath(f));
    struct Case {
        const char* what;
        std::u16string path;
        bool current, built;
    } cases[] = {
        {"text file", files[0], true, false},
        {"geometry file", files[1], true, false},
        {"cache", files[2], false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& [path, bytes] : kept)
            WriteHostFile(platform::HostPath(path), bytes);
        const std::string host = platform::HostPath(c.path);
        ASSERT_EQ(::truncate(host.c_str(), off_t{1} << 30), 0);
        // What the calls may read: the other files, each whole a few times.
        unsigned long long others = 0;
        for (const auto& [path, bytes] : kept)
            if (path != c.path) others += bytes.size();
        const unsigned long long before = platform::test::FileBytesRead();
        auto loc = Make();
        EXPECT_EQ(loc->IsCacheCurrent(), c.current);
        EXPECT_EQ(loc->BuildCache(), c.built);
        std::u16string s;
        loc->LoadString(7, &s);
        EXPECT_EQ(s, u"Papier");
        EXPECT_LE(platform::test::FileBytesRead() - before, 4 * others);
        if (!c.built) EXPECT_EQ(std::filesystem::file_size(host), uintmax_t{1} << 30);
    }
}

} // namespace

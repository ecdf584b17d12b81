#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "platform/codepage_ctl.h"
#include "platform/testctl.h"
#include "win/ini.h"

namespace {

using namespace filetest;

const char* const kSample = "; leading comment\r\n"
                            "[Main]\r\n"
                            "Version = 3 \r\n"
                            "Name=\"Quoted Value\"\r\n"
                            "Single='single'\r\n"
                            "Mixed=\"half'\r\n"
                            "Empty=\r\n"
                            "  Spaced Key  =   spaced value   \r\n"
                            "; a comment inside\r\n"
                            "NoEquals\r\n"
                            "dup=first\r\n"
                            "DUP=second\r\n"
                            "\r\n"
                            "  [ Other ]  \r\n"
                            "key=other\r\n"
                            "[main]\r\n"
                            "late=in a second main section\r\n";

constexpr const char16_t* kFile = u"C:\\cfg\\sample.ini";

std::u16string W(const char* s) {
    std::u16string out;
    for (; *s; ++s)
        out += static_cast<char16_t>(static_cast<unsigned char>(*s));
    return out;
}

// A returned list with its NULs made visible as '|'.
std::u16string Visible(const WCHAR* buf, DWORD count) {
    std::u16string out(buf, count);
    for (auto& c : out)
        if (c == 0) c = u'|';
    return out;
}

TEST(Ini, ReadsValuesAsTheSystemDoes) {
    Put(kFile, kSample);
    const struct {
        const char16_t* app;
        const char16_t* key;
        const char16_t* def;
        DWORD size;
        DWORD result;
        const char* text;
    } cases[] = {
        {u"Main", u"Version", u"d", 64, 1, "3"},
        {u"MAIN", u"version", u"d", 64, 1, "3"},          // no case
        {u"Main", u"Name", u"d", 64, 12, "Quoted Value"}, // quotes off
        {u"Main", u"Single", u"d", 64, 6, "single"},
        {u"Main", u"Mixed", u"d", 64, 6, "\"half'"},             // unmatched quotes stay
        {u"Main", u"Empty", u"d", 64, 0, ""},                    // present but empty: no default
        {u"Main", u"spaced key", u"d", 64, 12, "spaced value"},  // blanks trimmed
        {u"Main", u"dup", u"d", 64, 5, "first"},                 // the first one counts
        {u"Main", u"late", u"d", 64, 1, "d"},                    // only the first [Main] is read
        {u"other", u"KEY", u"d", 64, 5, "other"},                // blanks inside the brackets
        {u"Main", u"missing", u"fallback  ", 64, 8, "fallback"}, // default without trailing blanks
        {u"Main", u"missing", nullptr, 64, 0, ""},
        {u"Absent", u"x", u"dflt", 64, 4, "dflt"},
        {u"Main", u"Name", u"d", 6, 5, "Quote"},       // cut: nSize - 1
        {u"Main", u"missing", u"abcdef", 4, 3, "abc"}, // the default is cut too
        {u"Main", u"Version", u"d", 1, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        WCHAR buf[64];
        std::fill(std::begin(buf), std::end(buf), u'#');
        DWORD n = GetPrivateProfileStringW(c.app, c.key, c.def, buf, c.size, kFile);
        EXPECT_EQ(n, c.result);
        EXPECT_EQ(std::u16string(buf), W(c.text));
    }
}

TEST(Ini, ListsSectionsKeysAndLinesWithTruncation) {
    Put(kFile, kSample);
    const struct {
        const char* name;
        const char16_t* app; // nullptr: sections
        DWORD size;
        DWORD result;
        const char16_t* text; // the buffer's first `shown` characters, '|' for each NUL
        DWORD shown;
    } cases[] = {
        {"sections", nullptr, 64, 16, u"Main|Other|main||", 17},
        {"sections cut", nullptr, 8, 6, u"Main|O||", 8}, // nSize - 2, two NULs
        {"sections cut after a name", nullptr, 7, 5, u"Main|||", 7},
        {"keys", u"main", 128, 60, u"Version|Name|Single|Mixed|Empty|Spaced Key|NoEquals|dup|DUP||",
         61},
        {"keys cut", u"Main", 11, 9, u"Version|N||", 11},
        {"keys of no section", u"Absent", 16, 0, u"||", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WCHAR buf[128];
        DWORD n = GetPrivateProfileStringW(c.app, nullptr, u"ignored", buf, c.size, kFile);
        EXPECT_EQ(n, c.result);
        EXPECT_EQ(Visible(buf, c.shown), c.text);
    }
    WCHAR buf[64];
    EXPECT_EQ(GetPrivateProfileSectionNamesW(buf, 64, kFile), 16u);
    EXPECT_EQ(Visible(buf, 17), u"Main|Other|main||");
    EXPECT_EQ(GetPrivateProfileSectionW(u"OTHER", buf, 64, kFile), 10u);
    EXPECT_EQ(Visible(buf, 11), u"key=other||");
    // Lines come trimmed, comments left out, quotes kept.
    EXPECT_EQ(GetPrivateProfileSectionW(u"Main", buf, 40, kFile), 38u);
    EXPECT_EQ(Visible(buf, 40), u"Version=3|Name=\"Quoted Value\"|Single='||");
}

TEST(Ini, ReadsIntegers) {
    Put(kFile,
        "[n]\r\ndec=42\r\nneg=-7\r\nhex=0x1F\r\nHEXU=0XfF\r\nlead=12abc\r\ntext=abc\r\nempty=\r\n"
        "quoted=\"15\"\r\nbig=4294967297\r\n");
    const struct {
        const char16_t* key;
        UINT expected;
    } cases[] = {
        {u"dec", 42},    {u"neg", static_cast<UINT>(-7)},
        {u"hex", 31},    {u"hexu", 255},
        {u"lead", 12},   {u"text", 0},
        {u"empty", 99},  {u"missing", 99},
        {u"quoted", 15}, {u"big", 1}, // wraps as 32 bits do
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key, c.key + std::char_traits<char16_t>::length(c.key)));
        EXPECT_EQ(GetPrivateProfileIntW(u"N", c.key, 99, kFile), c.expected);
    }
    EXPECT_EQ(GetPrivateProfileIntA("n", "dec", 5, "C:\\cfg\\sample.ini"), 42u);
    EXPECT_EQ(GetPrivateProfileIntW(u"n", u"dec", -1, u"C:\\cfg\\absent.ini"),
              static_cast<UINT>(-1));
}

TEST(Ini, MissingFileGivesTheDefaultAndFileNotFound) {
    WCHAR buf[16];
    SetLastError(0);
    EXPECT_EQ(GetPrivateProfileStringW(u"a", u"b", u"dflt", buf, 16, u"C:\\nowhere\\x.ini"), 4u);
    EXPECT_EQ(std::u16string(buf), u"dflt");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetPrivateProfileSectionNamesW(buf, 16, u"C:\\nowhere\\x.ini"), 0u);
    EXPECT_EQ(buf[0], 0);
}

TEST(Ini, WritesEditInPlaceOfLinesAndKeepTheRest) {
    Put(kFile, "; settings\r\n"
               "[General]\r\n"
               "; keep me\r\n"
               "Alpha=1\r\n"
               "\r\n"
               "[Other]\r\n"
               "x=y\r\n");
    EXPECT_TRUE(
        WritePrivateProfileStringW(u"general", u"ALPHA", u"2", kFile)); // keeps the file's spelling
    EXPECT_TRUE(WritePrivateProfileStringW(u"General", u"Beta", u"3", kFile)); // after the last key
    EXPECT_TRUE(WritePrivateProfileStringW(u"New", u"k", u"v", kFile)); // a new section at the end
    EXPECT_TRUE(WritePrivateProfileStringW(u"Other", u"x", nullptr, kFile));    // delete a key
    EXPECT_TRUE(WritePrivateProfileStringW(u"Other", nullptr, nullptr, kFile)); // delete a section
    EXPECT_TRUE(WritePrivateProfileStringW(u"Absent", u"k", nullptr, kFile));   // nothing to delete
    EXPECT_EQ(Get(kFile), "; settings\r\n"
                          "[General]\r\n"
                          "; keep me\r\n"
                          "Alpha=2\r\n"
                          "Beta=3\r\n"
                          "\r\n"
                          "[New]\r\n"
                          "k=v\r\n");
    WCHAR buf[16];
    EXPECT_EQ(GetPrivateProfileStringW(u"NEW", u"K", u"", buf, 16, kFile), 1u);
    EXPECT_EQ(std::u16string(buf), u"v");
}

TEST(Ini, NewFilesAndBareNames) {
    // A name without a folder is a file in the Windows folder.
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"k", u"v", u"Test.ini"));
    EXPECT_EQ(Get(u"C:\\Windows\\Test.ini"), "[S]\r\nk=v\r\n");
    WCHAR buf[8];
    EXPECT_EQ(GetPrivateProfileStringW(u"s", u"K", u"", buf, 8, u"TEST.INI"), 1u);
    // Deleting from a file that is not there creates nothing.
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"k", nullptr, u"C:\\cfg\\none.ini"));
    EXPECT_EQ(Get(u"C:\\cfg\\none.ini"), "<missing>");
    // The folder is not created.
    EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"k", u"v", u"C:\\nofolder\\x.ini"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // A file with only "\n" line ends keeps them.
    Put(kFile, "[a]\nb=c\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"a", u"d", u"e", kFile));
    EXPECT_EQ(Get(kFile), "[a]\nb=c\nd=e\n");
}

TEST(Ini, FailedWriteLeavesTheOldFile) {
    const std::string original = "[keep]\r\nvalue=old\r\n";
    const struct {
        const char* fault;
        DWORD error;
    } faults[] = {
        {"CreateFileW", ERROR_ACCESS_DENIED},
        {"WriteFile", ERROR_DISK_FULL},
        {"FlushFileBuffers", ERROR_WRITE_FAULT},
        {"MoveFileExW", ERROR_SHARING_VIOLATION},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.fault);
        Put(kFile, original);
        platform::test::FailNext(f.fault, 1, f.error);
        EXPECT_FALSE(WritePrivateProfileStringW(u"keep", u"value", u"new", kFile));
        EXPECT_EQ(GetLastError(), f.error);
        EXPECT_EQ(Get(kFile), original);
        // No temporary file stays behind.
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(Host(u"C:\\cfg")))
            names.push_back(e.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{"sample.ini"});
        platform::test::ClearFaults();
    }
    EXPECT_TRUE(WritePrivateProfileStringW(u"keep", u"value", u"new", kFile));
    EXPECT_EQ(Get(kFile), "[keep]\r\nvalue=new\r\n");
}

TEST(Ini, RefusedWrites) {
    Put(kFile, "[s]\r\nk=v\r\n");
    SetFileAttributesW(kFile, FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"w", kFile));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetFileAttributesW(kFile, FILE_ATTRIBUTE_NORMAL);
    // A line break would add keys or sections of its own.
    EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"a\r\n[evil]", kFile));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WritePrivateProfileStringW(nullptr, u"k", u"v", kFile));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    {
        // A file that another handle keeps from reading is not replaced by a blank one.
        Handle exclusive(Open(kFile, GENERIC_READ, 0, OPEN_EXISTING));
        ASSERT_TRUE(exclusive.valid());
        EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"other", u"x", kFile));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(Get(kFile), "[s]\r\nk=v\r\n");
}

TEST(Ini, Utf16FilesStayUtf16) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[Sect]\r\nname=caf\u00e9\r\n")) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    Put(kFile, bytes);
    WCHAR buf[16];
    EXPECT_EQ(GetPrivateProfileStringW(u"sect", u"NAME", u"", buf, 16, kFile), 4u);
    EXPECT_EQ(std::u16string(buf), u"caf\u00e9");
    EXPECT_TRUE(WritePrivateProfileStringW(u"Sect", u"k", u"\u00fc", kFile));
    std::string expected = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[Sect]\r\nname=caf\u00e9\r\nk=\u00fc\r\n")) {
        expected += static_cast<char>(c & 0xFF);
        expected += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(Get(kFile), expected);
}

TEST(Ini, AnsiFunctions) {
    MakeDir(u"C:\\cfg");
    EXPECT_TRUE(
        WritePrivateProfileStringA("Support", "UrlTitle1", "\" padded\"", "C:\\cfg\\a.ini"));
    EXPECT_TRUE(WritePrivateProfileStringA("Support", "Url1", "http://x", "C:\\cfg\\a.ini"));
    char buf[32];
    EXPECT_EQ(GetPrivateProfileStringA("support", "urltitle1", "", buf, 32, "C:\\cfg\\a.ini"), 7u);
    EXPECT_STREQ(buf, " padded");
    EXPECT_EQ(GetPrivateProfileStringA("Support", "Url1", "", buf, 5, "C:\\cfg\\a.ini"), 4u);
    EXPECT_STREQ(buf, "http");
    EXPECT_EQ(GetPrivateProfileSectionA("Support", buf, 32, "C:\\cfg\\a.ini"), 30u);
    EXPECT_EQ(std::string(buf, 31), std::string("UrlTitle1=\" padded\"\0Url1=http:", 30) + '\0');
    EXPECT_EQ(GetPrivateProfileSectionNamesA(buf, 32, "C:\\cfg\\a.ini"), 8u);
    EXPECT_EQ(std::string(buf, 9), std::string("Support\0\0", 9));
}

TEST(Ini, AnsiCodePageFilesAndCuts) {
    MakeDir(u"C:\\cfg");
    // A file in the ANSI code page (not UTF-8) reads through it and is written back in it.
    Put(kFile, "[s]\r\nname=caf\xE9\r\n");
    WCHAR w[16];
    EXPECT_EQ(GetPrivateProfileStringW(u"s", u"name", u"", w, 16, kFile), 4u);
    EXPECT_EQ(std::u16string(w), u"caf\u00e9");
    EXPECT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"\u00fc", kFile));
    EXPECT_EQ(Get(kFile), "[s]\r\nname=caf\xE9\r\nk=\xFC\r\n");
    // Under code page 932 a cut never leaves half of a double-byte character.
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    const char* value = "\x82\xA0\x82\xA2\x82\xA4"; // three kana
    EXPECT_TRUE(WritePrivateProfileStringA("j", "v", value, "C:\\cfg\\j.ini"));
    char buf[8];
    std::fill(std::begin(buf), std::end(buf), '#');
    EXPECT_EQ(GetPrivateProfileStringA("j", "v", "", buf, 4, "C:\\cfg\\j.ini"), 3u);
    EXPECT_EQ(std::string(buf, 4), std::string("\x82\xA0\0\0", 4));
    EXPECT_EQ(GetPrivateProfileStringA("j", "v", "", buf, 8, "C:\\cfg\\j.ini"), 6u);
    EXPECT_STREQ(buf, value);
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 8, "C:\\cfg\\j.ini"), 2u);
}

} // namespace

// CString and the collections: tables of cases over empty, long and non-ASCII
// text, clamped positions, and the formatter.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "platform/text.h"

namespace {

std::string U8(const CString& s) {
    return s.ToNarrow(CP_UTF8);
}

struct SliceCase {
    const char16_t* text;
    int first, count;
    const char16_t* mid;
    const char16_t* left;  // Left(count)
    const char16_t* right; // Right(count)
};

TEST(CStringTest, SlicesClampToTheString) {
    const SliceCase cases[] = {
        {u"", 0, 0, u"", u"", u""},
        {u"", 3, 2, u"", u"", u""},
        {u"abcdef", 2, 3, u"cde", u"abc", u"def"},
        {u"abcdef", 4, 10, u"ef", u"abcdef", u"abcdef"},
        {u"abcdef", -2, 3, u"abc", u"abc", u"def"},
        {u"abcdef", 9, 1, u"", u"a", u"f"},
        {u"abc", 1, -1, u"", u"", u""},
        {u"Größe用紙", 3, 3, u"ße用", u"Grö", u"e用紙"},
    };
    for (const auto& c : cases) {
        CString s(c.text);
        SCOPED_TRACE(U8(s));
        EXPECT_EQ(s.Mid(c.first, c.count), c.mid);
        EXPECT_EQ(s.Left(c.count), c.left);
        EXPECT_EQ(s.Right(c.count), c.right);
    }
}

TEST(CStringTest, FindAndReplace) {
    struct Case {
        const char16_t* text;
        const char16_t* sub;
        int start, found;
    } cases[] = {
        {u"", u"a", 0, -1},         {u"abcabc", u"bc", 0, 1}, {u"abcabc", u"bc", 2, 4},
        {u"abcabc", u"bc", 6, -1},  {u"abc", u"", 0, 0},      {u"abc", u"x", -1, -1},
        {u"用紙用紙", u"紙", 2, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CString(c.text).Find(c.sub, c.start), c.found) << U8(CString(c.text));
    EXPECT_EQ(CString(u"a.b.c").ReverseFind(u'.'), 3);
    EXPECT_EQ(CString(u"abc").Find(u'c', 3), -1);

    CString s(u"aXbXXc");
    EXPECT_EQ(s.Replace(u"X", u"XX"), 3); // replacement text is not searched again
    EXPECT_EQ(s, u"aXXbXXXXc");
    EXPECT_EQ(s.Replace(u"", u"y"), 0);
    EXPECT_EQ(s.Remove(u'X'), 6);
    EXPECT_EQ(s, u"abc");
}

TEST(CStringTest, TrimCaseAndCompare) {
    struct Case {
        const char16_t* text;
        const char16_t* trimmed;
        const char16_t* upper;
    } cases[] = {
        {u"", u"", u""},
        {u" \t\r\n", u"", u" \t\r\n"},
        {u"  a b  ", u"a b", u"  A B  "},
        {u"größe öä", u"größe öä", u"GRÖßE ÖÄ"},
    };
    for (const auto& c : cases) {
        CString t(c.text), u(c.text);
        EXPECT_EQ(t.Trim(), c.trimmed);
        u.MakeUpper();
        // Upper-casing keeps the length: ß has no one-unit capital and stays.
        EXPECT_EQ(u, c.upper);
    }
    EXPECT_EQ(CString(u"xxabcxy").Trim(u"xy"), u"abc");

    struct CompareCase {
        const char16_t* a;
        const char16_t* b;
        int sign;
        int signNoCase;
    } compares[] = {
        {u"", u"", 0, 0},        {u"abc", u"ABC", 1, 0},      {u"abc", u"abd", -1, -1},
        {u"ab", u"abc", -1, -1}, {u"Größe", u"GRÖSSE", 1, 1}, {u"größe", u"GRÖßE", 1, 0},
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const auto& c : compares) {
        SCOPED_TRACE(U8(CString(c.a)) + " / " + U8(CString(c.b)));
        EXPECT_EQ(sign(CString(c.a).Compare(c.b)), c.sign);
        EXPECT_EQ(sign(CString(c.a).CompareNoCase(c.b)), c.signNoCase);
    }
    EXPECT_GT(CString(u"abc").CompareNoCase(nullptr), 0);
}

TEST(CStringTest, OutOfRangeCharactersThrow) {
    CString s(u"ab");
    EXPECT_EQ(s[1], u'b');
    EXPECT_THROW(s.GetAt(2), std::out_of_range);
    EXPECT_THROW(s.SetAt(-1, u'x'), std::out_of_range);
    EXPECT_THROW(CString().GetAt(0), std::out_of_range);
}

TEST(CStringTest, Format) {
    const std::u16string longText(3000, u'w');
    struct Case {
        const char* name;
        CString got;
        std::u16string want;
    };
    auto fmt = [](LPCWSTR f, auto... args) {
        CString s;
        s.Format(f, args...);
        return s;
    };
    const Case cases[] = {
        {"empty", fmt(u""), u""},
        {"numbers", fmt(u"%d|%5d|%-5d|%05d|%u|%x|%X", -7, 42, 42, 42, 4000000000u, 255, 255),
         u"-7|   42|42   |00042|4000000000|ff|FF"},
        {"64-bit", fmt(u"%I64d %I64u", -5000000000LL, 18000000000000000000ULL),
         u"-5000000000 18000000000000000000"},
        {"wide and narrow strings", fmt(u"%s/%S/%hs/%ls", u"用紙", "abc", "n", u"w"),
         u"用紙/abc/n/w"},
        {"width and precision", fmt(u"[%6s][%-6s][%.2s]", u"ab", u"ab", u"abcdef"),
         u"[    ab][ab    ][ab]"},
        {"characters", fmt(u"%c%C%%", u'Ö', 'x'), u"Öx%"},
        {"null string", fmt(u"%s", static_cast<LPCWSTR>(nullptr)), u"(null)"},
        {"past the system formatter's limit", fmt(u"<%s>%d", longText.c_str(), 9),
         u"<" + longText + u">9"},
        {"unknown conversion kept", fmt(u"%q%d", 3), u"%q3"},
        {"format ending in %", fmt(u"100%"), u"100"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got.str(), c.want) << c.name;

    CString s(u"a");
    s.AppendFormat(u"%d", 12);
    EXPECT_EQ(s, u"a12");
}

TEST(CStringTest, ConversionsAndBuffers) {
    CString narrow("Gr\xf6\xdf"
                   "e"); // the ANSI code page: 1252
    EXPECT_EQ(narrow, u"Größe");
    EXPECT_EQ(narrow.ToNarrow(), "Gr\xf6\xdf"
                                 "e");
    LPCWSTR p = narrow;
    EXPECT_EQ(std::u16string(p), u"Größe");
    EXPECT_EQ(CString(static_cast<LPCWSTR>(nullptr)).GetLength(), 0);

    CString b;
    LPWSTR buf = b.GetBuffer(10);
    lstrcpyW(buf, u"abc");
    b.ReleaseBuffer();
    EXPECT_EQ(b, u"abc");
    EXPECT_EQ(b.GetLength(), 3);
    b.GetBuffer(0);
    b.ReleaseBuffer(1);
    EXPECT_EQ(b, u"a");
}

TEST(CStringTest, LoadStringFromAMissingIdIsEmptyAndFalse) {
    CString s(u"left over");
    EXPECT_FALSE(s.LoadString(AfxGetResourceHandle(), 4711));
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CollectionsTest, Arrays) {
    CStringArray a;
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.GetUpperBound(), -1);
    EXPECT_EQ(a.Add(u"b"), 0);
    a.InsertAt(0, u"a");
    a.SetAtGrow(4, u"e");
    ASSERT_EQ(a.GetSize(), 5);
    EXPECT_EQ(a[0], u"a");
    EXPECT_EQ(a[1], u"b");
    EXPECT_TRUE(a[2].IsEmpty());
    a.RemoveAt(1, 3);
    ASSERT_EQ(a.GetSize(), 2);
    EXPECT_EQ(a[1], u"e");
    EXPECT_THROW(a.GetAt(2), std::out_of_range);
    EXPECT_THROW(a.RemoveAt(1, 2), std::out_of_range);
    EXPECT_THROW(a.SetAt(-1, u"x"), std::out_of_range);

    CDWordArray d;
    d.SetSize(3);
    d[2] = 7;
    CDWordArray e;
    e.Add(1);
    EXPECT_EQ(e.Append(d), 1);
    EXPECT_EQ(e.GetSize(), 4);
    EXPECT_EQ(e[3], 7u);
    e.InsertAt(6, 9); // past the end: grows
    EXPECT_EQ(e.GetSize(), 7);
    EXPECT_EQ(e[6], 9u);

    int x = 0;
    CPtrArray p;
    p.Add(&x);
    EXPECT_EQ(p[0], &x);
    CObArray o;
    o.Add(nullptr);
    o.RemoveAll();
    EXPECT_EQ(o.GetSize(), 0);
}

TEST(CollectionsTest, Maps) {
    CMapStringToPtr m;
    int one = 1, two = 2;
    void* v = nullptr;
    EXPECT_FALSE(m.Lookup(u"a", v));
    EXPECT_EQ(m.GetStartPosition(), nullptr);
    m.SetAt(u"b", &two);
    m[u"a"] = &one;
    m.SetAt(u"B", &one); // keys are case-sensitive
    EXPECT_EQ(m.GetCount(), 3);
    ASSERT_TRUE(m.Lookup(u"b", v));
    EXPECT_EQ(v, &two);

    std::vector<std::u16string> keys;
    POSITION pos = m.GetStartPosition();
    while (pos) {
        CString key;
        m.GetNextAssoc(pos, key, v);
        keys.push_back(key.str());
    }
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"B", u"a", u"b"}));
    EXPECT_TRUE(m.RemoveKey(u"a"));
    EXPECT_FALSE(m.RemoveKey(u"a"));
    EXPECT_EQ(m.GetCount(), 2);

    CMap<int, int, CString, LPCWSTR> n;
    n[3] = u"three";
    CString s;
    EXPECT_TRUE(n.Lookup(3, s));
    EXPECT_EQ(s, u"three");
    POSITION none = nullptr;
    int k;
    EXPECT_THROW(n.GetNextAssoc(none, k, s), std::out_of_range);
}

} // namespace

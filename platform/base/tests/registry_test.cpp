#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage_ctl.h"
#include "platform/facts.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "platform_testing/fresh_root.h"
#include "win/base.h"

extern char** environ;

namespace {

using Bytes = std::vector<BYTE>;

Bytes B(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

Bytes W(std::u16string_view s) {
    Bytes out(s.size() * 2);
    std::memcpy(out.data(), s.data(), out.size());
    return out;
}

// A key handle that closes itself.
struct Key {
    HKEY h = nullptr;
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (h) RegCloseKey(h);
    }
    operator HKEY() const { return h; }
};

LSTATUS Create(HKEY base, const char16_t* path, Key* out, DWORD* disposition = nullptr,
               REGSAM sam = KEY_ALL_ACCESS) {
    return RegCreateKeyExW(base, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &out->h,
                           disposition);
}

LSTATUS Set(HKEY key, const char16_t* name, DWORD type, const Bytes& data) {
    return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}

// Reads a value by the two-call protocol.
LSTATUS Get(HKEY key, const char16_t* name, DWORD* type, Bytes* data) {
    DWORD size = 0;
    LSTATUS st = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    if (st != ERROR_SUCCESS) return st;
    data->assign(size, 0xCC);
    DWORD got = size;
    st = RegQueryValueExW(key, name, nullptr, type, data->data(), &got);
    if (st == ERROR_SUCCESS) {
        EXPECT_EQ(got, size);
    }
    return st;
}

std::vector<std::u16string> SubKeys(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD cch = 256;
        LSTATUS st = RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (st == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(st, ERROR_SUCCESS);
        if (st != ERROR_SUCCESS) break;
        names.emplace_back(name, cch);
    }
    return names;
}

std::vector<std::u16string> ValueNames(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD cch = 256;
        LSTATUS st = RegEnumValueW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (st == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(st, ERROR_SUCCESS);
        if (st != ERROR_SUCCESS) break;
        names.emplace_back(name, cch);
    }
    return names;
}

struct TypedCase {
    const char* what;
    DWORD type;
    Bytes data;
};

TEST(Registry, TypedValuesKeepTheirBytesAcrossConnections) {
    const std::vector<TypedCase> cases = {
        {"string without terminator", REG_SZ, W(u"abc")},
        {"string with terminator", REG_SZ, W(std::u16string(u"abc\0", 4))},
        {"fixed-size string with bytes after the NUL", REG_SZ, B(std::string("ID\0\0xyz\x01", 8))},
        {"odd-sized string", REG_SZ, B("abc")},
        {"empty string", REG_SZ, {}},
        {"expandable string", REG_EXPAND_SZ, W(std::u16string(u"%SystemRoot%\\x\0", 15))},
        {"binary with zeros", REG_BINARY, B(std::string("\0\x01\xFF\0", 4))},
        {"empty binary", REG_BINARY, {}},
        {"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {"short dword kept as given", REG_DWORD, {0x01, 0x02}},
        {"big-endian dword", REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}},
        {"multi-string", REG_MULTI_SZ, W(std::u16string(u"a\0bc\0\0", 6))},
        {"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"none", REG_NONE, {}},
        {"none with data", REG_NONE, {9, 8, 7}},
        {"unknown type number", 0x12345, {42}},
        {"large binary", REG_BINARY, Bytes(100000, 0x5A)},
    };
    {
        Key k;
        ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Types", &k), ERROR_SUCCESS);
        for (size_t i = 0; i < cases.size(); ++i) {
            std::u16string name = u"v" + platform::FromUtf8(std::to_string(i));
            ASSERT_EQ(Set(k, name.c_str(), cases[i].type, cases[i].data), ERROR_SUCCESS)
                << cases[i].what;
        }
    }
    // A new connection (and a new handle) sees exactly the same bytes.
    platform::test::ResetForTests();
    Key k;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Types", 0, KEY_READ, &k.h),
              ERROR_SUCCESS);
    for (size_t i = 0; i < cases.size(); ++i) {
        std::u16string name = u"v" + platform::FromUtf8(std::to_string(i));
        DWORD type = 0xFFFF;
        Bytes data;
        ASSERT_EQ(Get(k, name.c_str(), &type, &data), ERROR_SUCCESS) << cases[i].what;
        EXPECT_EQ(type, cases[i].type) << cases[i].what;
        EXPECT_EQ(data, cases[i].data) << cases[i].what;
    }
}

TEST(Registry, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
    Key k;
    DWORD disposition = 0;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\MixedCase\\Ärger", &k, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));

    struct {
        const char16_t* path;
        LSTATUS expected;
    } const opens[] = {
        {u"SOFTWARE\\MIXEDCASE\\ÄRGER", ERROR_SUCCESS},
        {u"software\\mixedcase\\ärger", ERROR_SUCCESS},
        {u"Software\\MixedCase\\Arger", ERROR_FILE_NOT_FOUND}, // A and Ä are different letters
        {u"Software\\MixedCase\\Ärger\\", ERROR_SUCCESS},      // one trailing backslash is fine
        {u"\\Software\\MixedCase", ERROR_BAD_PATHNAME},
        {u"Software\\\\MixedCase", ERROR_BAD_PATHNAME},
    };
    for (const auto& o : opens) {
        Key other;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, o.path, 0, KEY_READ, &other.h), o.expected)
            << platform::ToUtf8(o.path);
        EXPECT_EQ(other.h == nullptr, o.expected != ERROR_SUCCESS);
    }
    Key again;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\mixedcase\\ÄRGER", &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

    Key parent;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software", 0, KEY_READ, &parent.h), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(parent), std::vector<std::u16string>{u"MixedCase"});

    ASSERT_EQ(Set(k, u"Value", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(Set(k, u"VALUE", REG_BINARY, {2}), ERROR_SUCCESS); // the same value
    ASSERT_EQ(Set(k, u"Привет", REG_BINARY, {3}), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(k), (std::vector<std::u16string>{u"Value", u"Привет"}));
    DWORD type = 0;
    Bytes data;
    ASSERT_EQ(Get(again, u"vAlUe", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data, Bytes{2});
    ASSERT_EQ(Get(again, u"пРИВЕТ", &type, &data), ERROR_SUCCESS);
}

TEST(Registry, QueryFollowsTheTwoCallSizeProtocol) {
    Key k;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Sizes", &k), ERROR_SUCCESS);
    const Bytes value = W(std::u16string(u"hello\0", 6));
    ASSERT_EQ(Set(k, u"s", REG_SZ, value), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(k, u"s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    struct {
        DWORD capacity;
        LSTATUS expected;
        DWORD sizeAfter;
    } const calls[] = {{0, ERROR_MORE_DATA, 12},
                       {11, ERROR_MORE_DATA, 12},
                       {12, ERROR_SUCCESS, 12},
                       {100, ERROR_SUCCESS, 12}};
    for (const auto& c : calls) {
        Bytes buffer(100, 0xEE);
        DWORD cb = c.capacity;
        type = 0;
        EXPECT_EQ(RegQueryValueExW(k, u"s", nullptr, &type, buffer.data(), &cb), c.expected)
            << c.capacity;
        EXPECT_EQ(cb, c.sizeAfter) << c.capacity;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << c.capacity;
        if (c.expected == ERROR_SUCCESS) {
            EXPECT_TRUE(std::equal(value.begin(), value.end(), buffer.begin()));
            EXPECT_EQ(buffer[12], 0xEE); // nothing written past the data
        }
    }
    Bytes buffer(4);
    EXPECT_EQ(RegQueryValueExW(k, u"s", nullptr, nullptr, buffer.data(), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(k, u"s", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    size = 7;
    EXPECT_EQ(RegQueryValueExW(k, u"missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);

    // The default value: a NULL or an empty name.
    EXPECT_EQ(RegQueryValueExW(k, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(Set(k, nullptr, REG_SZ, W(u"default")), ERROR_SUCCESS);
    Bytes data;
    ASSERT_EQ(Get(k, u"", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, W(u"default"));
    ASSERT_EQ(RegDeleteValueW(k, u""), ERROR_SUCCESS);
    EXPECT_EQ(Get(k, nullptr, &type, &data), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, SetRejectsBadArguments) {
    Key k;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Args", &k), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(k, u"x", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(RegSetValueExW(k, u"x", 1, REG_BINARY, nullptr, 0), ERROR_INVALID_PARAMETER);
    std::u16string longName(16384, u'n');
    EXPECT_EQ(RegSetValueExW(k, longName.c_str(), 0, REG_BINARY, nullptr, 0),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(k, longName.c_str() + 1, 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    DWORD values = 0, longest = 0;
    ASSERT_EQ(RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               &longest, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(longest, 16383u);
    std::u16string longKey = u"Software\\" + std::u16string(256, u'k');
    Key bad;
    EXPECT_EQ(Create(HKEY_CURRENT_USER, longKey.c_str(), &bad), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, nullptr, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &bad.h, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(HKEY_CURRENT_USER, u"\\Software", &bad), ERROR_BAD_PATHNAME);
    EXPECT_EQ(bad.h, nullptr);
}

TEST(Registry, EnumerationOrderAndEnds) {
    Key k;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Enum", &k), ERROR_SUCCESS);
    // Subkeys come in the order of their upper-cased names: '_' sorts after
    // the letters, digits before them.
    for (const char16_t* name : {u"b", u"_x", u"A", u"C", u"a1", u"9"}) {
        Key sub;
        ASSERT_EQ(Create(k, name, &sub), ERROR_SUCCESS);
    }
    EXPECT_EQ(SubKeys(k), (std::vector<std::u16string>{u"9", u"A", u"a1", u"b", u"C", u"_x"}));

    // Values come in the order they were created; overwriting keeps the place,
    // deleting and setting again moves to the end.
    for (const char16_t* name : {u"zeta", u"alpha", u"Mid", u"beta"})
        ASSERT_EQ(Set(k, name, REG_DWORD, {0, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(Set(k, u"ALPHA", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(k, u"zeta"), ERROR_SUCCESS);
    ASSERT_EQ(Set(k, u"Zeta", REG_DWORD, {2, 0, 0, 0}), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(k), (std::vector<std::u16string>{u"alpha", u"Mid", u"beta", u"Zeta"}));

    // Name buffers: the name and its NUL must fit ("alpha" is value 0, "a1" key 2).
    struct {
        bool key;
        DWORD capacity;
        LSTATUS expected;
    } const names[] = {{false, 0, ERROR_MORE_DATA},
                       {false, 5, ERROR_MORE_DATA},
                       {false, 6, ERROR_SUCCESS},
                       {true, 2, ERROR_MORE_DATA},
                       {true, 3, ERROR_SUCCESS}};
    for (const auto& n : names) {
        WCHAR small[8] = {};
        DWORD cch = n.capacity;
        LSTATUS st = n.key ? RegEnumKeyExW(k, 2, small, &cch, nullptr, nullptr, nullptr, nullptr)
                           : RegEnumValueW(k, 0, small, &cch, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(st, n.expected) << n.key << " " << n.capacity;
        EXPECT_EQ(cch, n.expected == ERROR_SUCCESS ? n.capacity - 1 : n.capacity);
    }
    WCHAR buffer[16];
    DWORD cch = 16;
    EXPECT_EQ(RegEnumValueW(k, 0, buffer, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(cch, 5u);
    EXPECT_EQ(std::u16string(buffer), u"alpha");

    // Data of an enumerated value by the two-call protocol.
    DWORD type = 0, cb = 2;
    BYTE data[4] = {};
    cch = 16;
    EXPECT_EQ(RegEnumValueW(k, 3, buffer, &cch, nullptr, &type, data, &cb), ERROR_MORE_DATA);
    EXPECT_EQ(cb, 4u);
    cch = 16;
    EXPECT_EQ(RegEnumValueW(k, 3, buffer, &cch, nullptr, &type, data, &cb), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(buffer), u"Zeta");
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data[0], 2);

    // Past the end.
    cch = 16;
    EXPECT_EQ(RegEnumValueW(k, 4, buffer, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    cch = 16;
    EXPECT_EQ(RegEnumKeyExW(k, 6, buffer, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    Key empty;
    ASSERT_EQ(Create(k, u"A", &empty), ERROR_SUCCESS);
    cch = 16;
    EXPECT_EQ(RegEnumKeyExW(empty, 0, buffer, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumValueW(empty, 0, buffer, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST(Registry, QueryInfoCountsAndLongestNames) {
    platform::test::SetLocalTime(SYSTEMTIME{2024, 3, 0, 15, 10, 30, 0, 0});
    Key k;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Info\\Sub", &k), ERROR_SUCCESS);
    Key info;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Info", 0, KEY_READ, &info.h),
              ERROR_SUCCESS);
    Key writable, longer;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Info", 0, KEY_ALL_ACCESS, &writable.h),
              ERROR_SUCCESS);
    ASSERT_EQ(Create(writable, u"LongerName", &longer), ERROR_SUCCESS);
    ASSERT_EQ(Set(writable, u"v", REG_BINARY, Bytes(10)), ERROR_SUCCESS);
    ASSERT_EQ(Set(writable, u"value2", REG_BINARY, Bytes(3)), ERROR_SUCCESS);

    DWORD subKeys = 99, maxSubKey = 99, values = 99, maxValueName = 99, maxValue = 99;
    FILETIME written{};
    ASSERT_EQ(RegQueryInfoKeyW(info, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr,
                               &values, &maxValueName, &maxValue, nullptr, &written),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(maxSubKey, 10u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxValueName, 6u);
    EXPECT_EQ(maxValue, 10u);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    EXPECT_EQ(written.dwLowDateTime, now.dwLowDateTime);
    EXPECT_EQ(written.dwHighDateTime, now.dwHighDateTime);
}

TEST(Registry, DeletionRules) {
    Key parent, child;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Del\\Parent", &parent), ERROR_SUCCESS);
    ASSERT_EQ(Create(parent, u"Child", &child), ERROR_SUCCESS);
    ASSERT_EQ(Set(child, u"v", REG_DWORD, {1, 2, 3, 4}), ERROR_SUCCESS);

    struct {
        HKEY base;
        const char16_t* path;
        LSTATUS expected;
    } const steps[] = {
        {HKEY_CURRENT_USER, u"Software\\Del\\Parent", ERROR_ACCESS_DENIED}, // still has a subkey
        {HKEY_CURRENT_USER, u"Software\\Del\\Missing", ERROR_FILE_NOT_FOUND},
        {HKEY_CURRENT_USER, u"", ERROR_ACCESS_DENIED}, // a root cannot go
        {HKEY_CURRENT_USER, u"SOFTWARE\\DEL\\PARENT\\CHILD", ERROR_SUCCESS},
        {HKEY_CURRENT_USER, u"Software\\Del\\Parent\\Child", ERROR_FILE_NOT_FOUND},
        {HKEY_CURRENT_USER, u"Software\\Del\\Parent", ERROR_SUCCESS},
    };
    for (const auto& s : steps)
        EXPECT_EQ(RegDeleteKeyW(s.base, s.path), s.expected) << platform::ToUtf8(s.path);

    // Handles to deleted keys answer ERROR_KEY_DELETED, and closing them works.
    DWORD size = 0;
    WCHAR name[8];
    DWORD cch = 8;
    Key sub;
    EXPECT_EQ(RegQueryValueExW(child, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(Set(child, u"v", REG_DWORD, {0, 0, 0, 0}), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueW(child, u"v"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExW(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(Create(parent, u"Again", &sub), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExW(parent, nullptr, 0, KEY_READ, &sub.h), ERROR_KEY_DELETED);

    // A key made again under the same name is a new, empty key.
    Key fresh;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Del\\Parent\\Child", &fresh), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(fresh, u"v", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(child, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(child.h), ERROR_SUCCESS);
    child.h = nullptr;

    EXPECT_EQ(RegDeleteValueW(fresh, u"v"), ERROR_FILE_NOT_FOUND);
    // A key can delete itself through its own handle.
    EXPECT_EQ(RegDeleteKeyW(fresh, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Del\\Parent\\Child", 0, KEY_READ, &sub.h),
        ERROR_FILE_NOT_FOUND);
}

TEST(Registry, HandlesAndAccess) {
    Key k;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Handles", &k), ERROR_SUCCESS);
    HKEY closed = k.h;
    ASSERT_EQ(RegCloseKey(k.h), ERROR_SUCCESS);
    k.h = nullptr;
    DWORD size = 0;
    EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExW(closed, u"x", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS); // predefined keys stay usable
    Key again;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Handles", 0, KEY_READ, &again.h),
              ERROR_SUCCESS);

    // A handle can do what it was opened for.
    Key reader, writer;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Handles", 0, KEY_READ, &reader.h),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Handles", 0, KEY_SET_VALUE, &writer.h),
              ERROR_SUCCESS);
    EXPECT_EQ(Set(reader, u"x", REG_DWORD, {1, 0, 0, 0}), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Set(writer, u"x", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(writer, u"x", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExW(reader, u"x", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    Key sub;
    EXPECT_EQ(Create(reader, u"Sub", &sub), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Create(reader, u"", &sub), ERROR_SUCCESS); // opening needs no create right
    Key generic;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Handles", 0,
                            0x80000000u /* GENERIC_READ */, &generic.h),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(generic, u"x", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);

    // The predefined keys are separate trees.
    Key user;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Handles", 0, KEY_READ, &user.h),
              ERROR_FILE_NOT_FOUND);
}

TEST(Registry, ClassesRootIsMachineSoftwareClasses) {
    Key root;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &root.h), ERROR_SUCCESS);
    WCHAR name[16];
    DWORD cch = 16;
    EXPECT_EQ(RegEnumKeyExW(root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    Key missing;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u".prn", 0, KEY_READ, &missing.h),
              ERROR_FILE_NOT_FOUND);

    Key ext;
    ASSERT_EQ(Create(HKEY_CLASSES_ROOT, u".prn", &ext), ERROR_SUCCESS);
    ASSERT_EQ(Set(ext, nullptr, REG_SZ, W(std::u16string(u"PrnFile\0", 8))), ERROR_SUCCESS);
    Key viaMachine;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.PRN", 0, KEY_READ, &viaMachine.h),
        ERROR_SUCCESS);
    DWORD type;
    Bytes data;
    ASSERT_EQ(Get(viaMachine, nullptr, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, W(std::u16string(u"PrnFile\0", 8)));
    // The handle opened before the classes key existed sees it now.
    EXPECT_EQ(SubKeys(root), std::vector<std::u16string>{u".prn"});
}

// The DWORD value "View" of a key, or an error number as a negative.
long ViewMark(HKEY base, const char16_t* path, REGSAM sam) {
    Key k;
    if (LSTATUS st = RegOpenKeyExW(base, path, 0, KEY_READ | sam, &k.h)) return -st;
    DWORD type = 0;
    Bytes data;
    if (LSTATUS st = Get(k, u"View", &type, &data)) return -st;
    if (type != REG_DWORD || data.size() != 4) return -1;
    DWORD v;
    std::memcpy(&v, data.data(), 4);
    return static_cast<long>(v);
}

Bytes Dword(DWORD v) {
    Bytes out(4);
    std::memcpy(out.data(), &v, 4);
    return out;
}

TEST(Registry, ThirtyTwoBitViewOfMachineSoftwareIsWow6432Node) {
    DWORD disposition = 0;
    Key k32;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", &k32, &disposition,
                     KEY_ALL_ACCESS | KEY_WOW64_32KEY),
              ERROR_SUCCESS);
    ASSERT_EQ(Set(k32, u"View", REG_DWORD, Dword(32)), ERROR_SUCCESS);
    Key k64;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", &k64, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY)); // not the 32-bit one
    ASSERT_EQ(Set(k64, u"View", REG_DWORD, Dword(64)), ERROR_SUCCESS);

    Key software, software32;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &software.h),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Velmora", 0, KEY_READ | KEY_WOW64_32KEY,
                            &software32.h),
              ERROR_SUCCESS);
    struct Case {
        const char* what;
        HKEY base;
        const char16_t* path;
        REGSAM sam;
        long view;
    } cases[] = {
        {"32-bit view", HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", KEY_WOW64_32KEY, 32},
        {"plain view", HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", 0, 64},
        {"64-bit view", HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", KEY_WOW64_64KEY, 64},
        {"node named, plain", HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Velmora\\Cache", 0, 32},
        {"node named, 32-bit view is not doubled", HKEY_LOCAL_MACHINE,
         u"software\\WOW6432NODE\\Velmora\\Cache", KEY_WOW64_32KEY, 32},
        {"from SOFTWARE, 32-bit view", software, u"Velmora\\Cache", KEY_WOW64_32KEY, 32},
        {"from SOFTWARE, plain", software, u"Velmora\\Cache", 0, 64},
        {"below a 32-bit handle, plain", software32, u"Cache", 0, 32},
        {"a missing 32-bit key", HKEY_LOCAL_MACHINE, u"SOFTWARE\\Other", KEY_WOW64_32KEY,
         -ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ViewMark(c.base, c.path, c.sam), c.view) << c.what;
    EXPECT_EQ(SubKeys(software), (std::vector<std::u16string>{u"Velmora", u"Wow6432Node"}));

    // Each delete goes to its own view's key.
    EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", KEY_WOW64_32KEY, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(ViewMark(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", KEY_WOW64_32KEY),
              -ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ViewMark(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", 0), 64);
    EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", KEY_WOW64_64KEY, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(ViewMark(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", 0), -ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\Cache", KEY_WOW64_32KEY, 0),
              ERROR_FILE_NOT_FOUND);
}

TEST(Registry, KeysOutsideMachineSoftwareAreSharedByBothViews) {
    struct Case {
        const char* what;
        HKEY root;
        const char16_t* path;
    } cases[] = {
        {"current user's software", HKEY_CURRENT_USER, u"Software\\Velmora\\Shared"},
        {"machine system", HKEY_LOCAL_MACHINE, u"SYSTEM\\Velmora\\Shared"},
        {"a key merely starting like SOFTWARE", HKEY_LOCAL_MACHINE, u"SOFTWAREX\\Shared"},
    };
    for (const Case& c : cases) {
        Key k;
        ASSERT_EQ(Create(c.root, c.path, &k, nullptr, KEY_ALL_ACCESS | KEY_WOW64_32KEY),
                  ERROR_SUCCESS)
            << c.what;
        ASSERT_EQ(Set(k, u"View", REG_DWORD, Dword(7)), ERROR_SUCCESS) << c.what;
        EXPECT_EQ(ViewMark(c.root, c.path, 0), 7) << c.what;
        EXPECT_EQ(ViewMark(c.root, c.path, KEY_WOW64_64KEY), 7) << c.what;
        EXPECT_EQ(RegDeleteKeyExW(c.root, c.path, KEY_WOW64_32KEY, 0), ERROR_SUCCESS) << c.what;
        EXPECT_EQ(ViewMark(c.root, c.path, 0), -ERROR_FILE_NOT_FOUND) << c.what;
    }
}

TEST(Registry, CurrentUserIsTheUsersOwnTree) {
    platform::test::SetUserName(u"Ann");
    Key ann;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Saved", &ann), ERROR_SUCCESS);
    ASSERT_EQ(Set(ann, u"JobName", REG_SZ, W(u"ann's job")), ERROR_SUCCESS);
    Key userRoot;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &userRoot.h), ERROR_SUCCESS);

    platform::test::SetUserName(u"Bob");
    Key bob;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Saved", 0, KEY_READ, &bob.h),
              ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(SubKeys(userRoot).empty()); // the predefined key follows the user
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, nullptr), ERROR_ACCESS_DENIED);

    platform::test::SetUserName(u"ANN"); // user names are case-insensitive too
    DWORD type;
    Bytes data;
    EXPECT_EQ(Get(ann, u"JobName", &type, &data), ERROR_SUCCESS); // an opened key stays what it was
    Key again;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Saved", 0, KEY_READ, &again.h),
              ERROR_SUCCESS);
    ASSERT_EQ(Get(again, u"JobName", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, W(u"ann's job"));
}

TEST(Registry, AnsiFormsConvertStringsOnly) {
    platform::test::SetAnsiCodePage(1252);
    Key k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Ansi\\Caf\xE9", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &k.h, nullptr),
              ERROR_SUCCESS);
    Key wide;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Ansi\\CAFÉ", 0, KEY_ALL_ACCESS, &wide.h),
              ERROR_SUCCESS);

    // A fixed-size ANSI string, bytes after the NUL included, is stored as UTF-16.
    const char id[8] = {'I', 'D', '\xE9', 0, 0, 0, 'x', 0};
    ASSERT_EQ(
        RegSetValueExA(k, "UserName", 0, REG_SZ, reinterpret_cast<const BYTE*>(id), sizeof id),
        ERROR_SUCCESS);
    DWORD type;
    Bytes data;
    ASSERT_EQ(Get(wide, u"USERNAME", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, W(std::u16string(u"IDé\0\0\0x\0", 8)));
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(k, "username", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    char back[8] = {};
    size = 7;
    EXPECT_EQ(RegQueryValueExA(k, "username", nullptr, &type, reinterpret_cast<BYTE*>(back), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    ASSERT_EQ(RegQueryValueExA(k, "username", nullptr, &type, reinterpret_cast<BYTE*>(back), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(back, id, 8), 0);

    // Other types pass unchanged.
    const BYTE bin[3] = {0xE9, 0, 1};
    ASSERT_EQ(RegSetValueExA(k, "Bin", 0, REG_BINARY, bin, 3), ERROR_SUCCESS);
    ASSERT_EQ(Get(wide, u"Bin", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, Bytes(bin, bin + 3));
    EXPECT_EQ(RegDeleteValueA(k, "BIN"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Ansi\\CAF\xC9"), ERROR_SUCCESS);
}

TEST(Registry, InjectedFailuresAreAnswered) {
    platform::test::FailNext("RegOpenKeyExW", 1, ERROR_ACCESS_DENIED);
    platform::test::FailNext("RegSetValueExW", 1, ERROR_REGISTRY_IO_FAILED, 1);
    SetLastError(1234);
    Key k;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &k.h), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_ALL_ACCESS, &k.h), ERROR_SUCCESS);
    EXPECT_EQ(Set(k, u"a", REG_BINARY, {1}), ERROR_SUCCESS);
    EXPECT_EQ(Set(k, u"b", REG_BINARY, {1}), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(Set(k, u"c", REG_BINARY, {1}), ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), 1234u); // registry calls answer, never set the last error
    EXPECT_EQ(ValueNames(k), (std::vector<std::u16string>{u"a", u"c"}));
}

TEST(Registry, HandlesDoNotOutliveAReset) {
    Key k;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Reset", &k), ERROR_SUCCESS);
    ASSERT_EQ(Set(k, u"kept", REG_DWORD, {7, 0, 0, 0}), ERROR_SUCCESS);
    platform::test::ResetForTests();
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(k, u"kept", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    k.h = nullptr;
    Key again;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Reset", 0, KEY_READ, &again.h),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(again, u"kept", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
}

TEST(Registry, ThreadsWritingAtOnceLoseNothing) {
    constexpr int kThreads = 4, kValues = 100;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            Key k;
            if (Create(HKEY_CURRENT_USER, u"Software\\Threads", &k) != ERROR_SUCCESS) ++failures[t];
            for (int i = 0; i < kValues; ++i) {
                std::u16string name =
                    platform::FromUtf8(std::to_string(t) + "-" + std::to_string(i));
                DWORD v = static_cast<DWORD>(t * 1000 + i);
                if (RegSetValueExW(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4) !=
                    ERROR_SUCCESS)
                    ++failures[t];
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    Key k;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Threads", 0, KEY_READ, &k.h),
              ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(k).size(), static_cast<size_t>(kThreads * kValues));
}

// Starts registry_writer with its standard input on a pipe that is closed
// once every writer runs, and its output in a file.
pid_t StartWriter(const std::string& tag, int count, int stdinFd, const std::string& outPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::string countText = std::to_string(count);
    char* argv[] = {const_cast<char*>(REGISTRY_WRITER), const_cast<char*>(tag.c_str()),
                    const_cast<char*>(countText.c_str()), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, REGISTRY_WRITER, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

TEST(Registry, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kCount = 500;
    const std::string tags[2] = {"alpha", "beta"};
    int gate[2];
    ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0); // only the parent may hold the write end
    pid_t pids[2];
    std::string outputs[2];
    for (int i = 0; i < 2; ++i) {
        outputs[i] = platform_testing::Root() + "/writer-" + tags[i] + ".out";
        pids[i] = StartWriter(tags[i], kCount, gate[0], outputs[i]);
        ASSERT_GT(pids[i], 0);
    }
    close(gate[0]);
    close(gate[1]); // both writers start now

    int createdTotal = 0;
    for (int i = 0; i < 2; ++i) {
        int status = 0;
        ASSERT_EQ(waitpid(pids[i], &status, 0), pids[i]);
        std::ifstream in(outputs[i]);
        std::string word;
        int created = -1;
        in >> word >> created;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << tags[i] << " status " << status;
        EXPECT_EQ(word, "created");
        createdTotal += created;
    }
    // Each of the 50 common keys was created by exactly one writer.
    EXPECT_EQ(createdTotal, 50);

    Key shared;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Race\\Shared", 0, KEY_READ, &shared.h),
              ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(shared, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u * kCount);
    for (const auto& tag : tags) {
        for (int i = 0; i < kCount; ++i) {
            std::u16string name = platform::FromUtf8(tag + "-" + std::to_string(i));
            DWORD type = 0, value = 0, size = 4;
            ASSERT_EQ(RegQueryValueExW(shared, name.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size),
                      ERROR_SUCCESS)
                << tag << i;
            EXPECT_EQ(value, static_cast<DWORD>(i));
        }
        std::u16string own = platform::FromUtf8("Software\\Race\\" + tag);
        Key ownKey;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, own.c_str(), 0, KEY_READ, &ownKey.h),
                  ERROR_SUCCESS);
        EXPECT_EQ(SubKeys(ownKey).size(), static_cast<size_t>(kCount));
    }
    Key keys;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Race\\Keys", 0, KEY_READ, &keys.h),
              ERROR_SUCCESS);
    std::vector<std::u16string> common = SubKeys(keys);
    ASSERT_EQ(common.size(), 50u);
    for (const auto& name : common) {
        Key k;
        ASSERT_EQ(RegOpenKeyExW(keys, name.c_str(), 0, KEY_READ, &k.h), ERROR_SUCCESS);
        EXPECT_EQ(SubKeys(k), (std::vector<std::u16string>{u"alpha", u"beta"}));
    }
}

} // namespace

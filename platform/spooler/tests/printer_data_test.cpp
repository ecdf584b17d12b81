// Printer data keeps every value byte for byte with its type.
#include "platform/testctl.h"
#include "spooler_fixture.h"

namespace spooler_test {
namespace {

using PrinterDataTest = SpoolerTest;

DWORD Set(HANDLE h, const char16_t* name, DWORD type, const std::vector<BYTE>& data) {
    return SetPrinterDataW(h, const_cast<LPWSTR>(name), type, const_cast<BYTE*>(data.data()),
                           static_cast<DWORD>(data.size()));
}

TEST_F(PrinterDataTest, RoundTripsKeepBytesAndTypes) {
    HANDLE h = Open(u"Office");
    std::vector<BYTE> install(48);
    for (size_t i = 0; i < install.size(); ++i)
        install[i] = static_cast<BYTE>(i * 37);
    // "Frontdoornt.DLL" without its NUL, as the printer interface writes it.
    std::u16string text = u"Frontdoornt.DLL";
    std::vector<BYTE> sz(reinterpret_cast<const BYTE*>(text.data()),
                         reinterpret_cast<const BYTE*>(text.data()) + 2 * text.size());
    struct Case {
        const char16_t* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {u"InstallOption", 3, install},
        {u"InstallOptionSize", 4, {48, 0, 0, 0}},
        {u"ChangePaperTray", 3, {1}},
        {u"SPLUserModePrinterDriver", 1, sz},
        {u"Empty", 3, {}},
        {u"OddDword", 4, {1, 2}},
    };
    for (const auto& c : cases)
        ASSERT_EQ(Set(h, c.name, c.type, c.data), static_cast<DWORD>(ERROR_SUCCESS));
    for (const auto& c : cases) {
        DWORD type = 99, needed = 12345;
        EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(c.name), &type, nullptr, 0, &needed),
                  c.data.empty() ? static_cast<DWORD>(ERROR_SUCCESS)
                                 : static_cast<DWORD>(ERROR_MORE_DATA));
        EXPECT_EQ(needed, c.data.size());
        std::vector<BYTE> out(needed + 4, 0xEE);
        type = 99;
        ASSERT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(c.name), &type, out.data(),
                                  static_cast<DWORD>(out.size()), &needed),
                  static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + needed), c.data);
        EXPECT_EQ(out[needed], 0xEE); // nothing is added behind the value
    }
    // Values are found without regard to case and listed as written.
    DWORD needed = 0;
    EXPECT_EQ(
        GetPrinterDataW(h, const_cast<LPWSTR>(u"installoption"), nullptr, nullptr, 0, &needed),
        static_cast<DWORD>(ERROR_MORE_DATA));
    auto values = spl::PrinterData(u"Office");
    ASSERT_EQ(values.size(), 6u);
    EXPECT_EQ(values[0].name, u"InstallOption");
    EXPECT_EQ(values[0].key, u"PrinterDriverData");
    EXPECT_EQ(values[3].data, sz);
}

TEST_F(PrinterDataTest, RewritingReplacesTheValue) {
    HANDLE h = Open(u"Office");
    ASSERT_EQ(Set(h, u"FormTrayEx", 3, std::vector<BYTE>(32, 7)),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(Set(h, u"FORMTRAYEX", 3, std::vector<BYTE>(16, 9)),
              static_cast<DWORD>(ERROR_SUCCESS));
    DWORD needed = 0, type = 0;
    std::vector<BYTE> out(64);
    ASSERT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"FormTrayEx"), &type, out.data(), 64, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(needed, 16u);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(spl::PrinterData(u"Office").size(), 1u);
}

TEST_F(PrinterDataTest, Errors) {
    HANDLE h = Open(u"Office");
    ASSERT_EQ(Set(h, u"MetricCountry", 4, {1, 0, 0, 0}), static_cast<DWORD>(ERROR_SUCCESS));
    DWORD needed = 0, type = 0;
    BYTE small[2];
    EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"Missing"), &type, small, 2, &needed),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"MetricCountry"), &type, small, 2, &needed),
              static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(type, 4u);
    EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"MetricCountry"), &type, nullptr, 8, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"MetricCountry"), &type, small, 2, nullptr),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetPrinterDataW(h, nullptr, &type, small, 2, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(
        GetPrinterDataW(nullptr, const_cast<LPWSTR>(u"MetricCountry"), &type, small, 2, &needed),
        static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(SetPrinterDataW(h, const_cast<LPWSTR>(u"X"), 3, nullptr, 4),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetPrinterDataW(h, nullptr, 3, small, 1),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    HANDLE reader = Open(u"Office", PRINTER_ACCESS_USE);
    EXPECT_EQ(Set(reader, u"MetricCountry", 4, {0, 0, 0, 0}),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    BYTE value[4] = {};
    EXPECT_EQ(
        GetPrinterDataW(reader, const_cast<LPWSTR>(u"MetricCountry"), &type, value, 4, &needed),
        static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(value[0], 1);

    platform::test::FailNext("SetPrinterDataW", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Set(h, u"MetricCountry", 4, {0, 0, 0, 0}),
              static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"MetricCountry"), &type, value, 4, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(value[0], 1);
}

TEST_F(PrinterDataTest, KeysSeparateValuesAndTheDriverKeyIsTheDefault) {
    HANDLE h = Open(u"Office");
    BYTE a = 1, b = 2;
    ASSERT_EQ(SetPrinterDataExW(h, u"PrinterDriverData", u"Value", 3, &a, 1),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(SetPrinterDataExW(h, u"Other", u"Value", 3, &b, 1),
              static_cast<DWORD>(ERROR_SUCCESS));
    BYTE out = 0;
    DWORD needed = 0, type = 0;
    ASSERT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"Value"), &type, &out, 1, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(out, 1);
    ASSERT_EQ(GetPrinterDataExW(h, u"other", u"value", &type, &out, 1, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(out, 2);
    EXPECT_EQ(GetPrinterDataExW(h, u"Missing", u"Value", &type, &out, 1, &needed),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetPrinterDataExW(h, u"", u"Value", &type, &out, 1, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PrinterDataTest, TheLocalServerNamesItsSpoolFolder) {
    HANDLE server = Open(nullptr, SERVER_READ);
    DWORD needed = 0, type = 0;
    EXPECT_EQ(GetPrinterDataW(server, const_cast<LPWSTR>(u"DefaultSpoolDirectory"), &type, nullptr,
                              0, &needed),
              static_cast<DWORD>(ERROR_MORE_DATA));
    std::u16string folder(needed / 2, u'\0');
    ASSERT_EQ(GetPrinterDataW(server, const_cast<LPWSTR>(u"DefaultSpoolDirectory"), &type,
                              reinterpret_cast<BYTE*>(folder.data()), needed, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(std::u16string(folder.c_str()), u"C:\\Windows\\System32\\spool\\PRINTERS");
}

TEST_F(PrinterDataTest, EachPrinterHasItsOwnValues) {
    InstallPrinter(u"Kitchen");
    HANDLE office = Open(u"Office"), kitchen = Open(u"Kitchen");
    BYTE one = 1;
    ASSERT_EQ(SetPrinterDataW(office, const_cast<LPWSTR>(u"ChangePaperTray"), 3, &one, 1),
              static_cast<DWORD>(ERROR_SUCCESS));
    DWORD needed = 0;
    EXPECT_EQ(GetPrinterDataW(kitchen, const_cast<LPWSTR>(u"ChangePaperTray"), nullptr, nullptr, 0,
                              &needed),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

} // namespace
} // namespace spooler_test

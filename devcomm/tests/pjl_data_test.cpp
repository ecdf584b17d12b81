// The older PJL job header and trailer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devprobe_fixture.h"
#include "platform/codepage_ctl.h"
#include "platform/facts.h"
#include "platform/net_ctl.h"

namespace {

class PjlData : public DevprobeTest {
  protected:
    void SetUp() override {
        DevprobeTest::SetUp();
        get = Export<PFN_GetPJLData_w9x_32>("GetPJLData_w9x_32");
        platform::test::SetUserName(u"alice");
        platform::test::SetComputerName(u"WS01");
        platform::test::SetHostAddresses("WS01", {"192.168.5.7"});
    }

    struct Result {
        std::string header, trailer;
        DWORD needed = 0;
        int headerOffset = 0, trailerOffset = 0;
    };
    Result Build(const char* document, int nup = 1) {
        Result r;
        EXPECT_EQ(get(document, nup, nullptr, 0, &r.needed, nullptr, nullptr), 0);
        std::vector<BYTE> buffer(r.needed);
        auto* data = reinterpret_cast<PjlJobData*>(buffer.data());
        EXPECT_EQ(
            get(document, nup, data, r.needed - 1, &r.needed, &r.headerOffset, &r.trailerOffset),
            0);
        EXPECT_EQ(get(document, nup, data, r.needed, &r.needed, &r.headerOffset, &r.trailerOffset),
                  1);
        EXPECT_EQ(data->header, reinterpret_cast<char*>(buffer.data()) + r.headerOffset);
        EXPECT_EQ(data->trailer, reinterpret_cast<char*>(buffer.data()) + r.trailerOffset);
        r.header.assign(data->header, data->headerLength);
        r.trailer.assign(data->trailer, data->trailerLength);
        return r;
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
            lines.push_back(text.substr(start, at - start));
        if (start < text.size()) lines.push_back(text.substr(start));
        return lines;
    }

    PFN_GetPJLData_w9x_32 get = nullptr;
};

TEST_F(PjlData, HeaderAndTrailerOfADocument) {
    Result r = Build("C:\\Users\\alice\\Documents\\report.txt", 4);
    EXPECT_EQ(r.header, "\x1b%-12345X@PJL JOB NAME=\"report.txt\"\r\n"
                        "@PJL SET LOG_NUP=4\r\n"
                        "@PJL JOB OWNER=\"alice\"\r\n"
                        "@PJL SET HOSTIP=192.168.5.7\r\n"
                        "@PJL ENTER LANGUAGE=GDI\r\n");
    EXPECT_EQ(r.trailer, "\x1b%-12345X@PJL EOJ=\"report.txt\"\r\n\x1b%-12345X");
    EXPECT_EQ(r.needed, r.header.size() + r.trailer.size() + 34);
    EXPECT_EQ(r.headerOffset, 24);
    EXPECT_EQ(r.trailerOffset, static_cast<int>(24 + r.header.size() + 10));
}

TEST_F(PjlData, NamesCannotStartCommandsOfTheirOwn) {
    platform::test::SetUserName(u"bob\"\r\n@PJL SET COPIES=9");
    Result r = Build("x\"\r\n@PJL SET COPIES=99\r\n\x1b%-12345X@PJL ENTER LANGUAGE=PCL\r\n");
    std::vector<std::string> lines = Lines(r.header);
    ASSERT_EQ(lines.size(), 5u) << r.header;
    EXPECT_EQ(
        lines[0],
        "\x1b%-12345X@PJL JOB NAME=\"x'  @PJL SET COPIES=99   %-12345X@PJL ENTER LANGUAGE=PCL  \"");
    EXPECT_EQ(lines[2], "@PJL JOB OWNER=\"bob'  @PJL SET COPIES=9\"");
    EXPECT_EQ(Lines(r.trailer).size(), 2u);
    // The only escapes are the header's and the trailer's own.
    EXPECT_EQ(r.header.find('\x1b', 1), std::string::npos);
    EXPECT_EQ(std::count(r.trailer.begin(), r.trailer.end(), '\x1b'), 2);
}

TEST_F(PjlData, NamesAreCutTo80Bytes) {
    std::string longName(100, 'd');
    platform::test::SetUserName(std::u16string(100, u'u'));
    Result r = Build(("C:\\x\\" + longName).c_str());
    EXPECT_NE(r.header.find("NAME=\"" + std::string(80, 'd') + "\"\r\n"), std::string::npos);
    EXPECT_NE(r.header.find("OWNER=\"" + std::string(80, 'u') + "\"\r\n"), std::string::npos);
}

TEST_F(PjlData, DoubleByteNamesKeepTheirCharacters) {
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    // 0x95 0x5C is one character whose second byte is a backslash.
    Result r = Build("C:\\dir\\\x95\x5c\x95\x5c.txt");
    EXPECT_NE(r.header.find("NAME=\"\x95\x5c\x95\x5c.txt\""), std::string::npos) << r.header;
    // A character that would cross the 80-byte limit is left out whole.
    std::string name = std::string(79, 'a') + "\x95\x5c";
    r = Build(name.c_str());
    EXPECT_NE(r.header.find("NAME=\"" + std::string(79, 'a') + "\"\r\n"), std::string::npos);
}

TEST_F(PjlData, UnknownComputerAddressIsEmpty) {
    platform::test::SetComputerName(u"NOWHERE");
    Result r = Build("doc", 1);
    EXPECT_NE(r.header.find("@PJL SET HOSTIP=\r\n"), std::string::npos);
    r = Build(nullptr, 1);
    EXPECT_NE(r.header.find("NAME=\"\""), std::string::npos);
}

} // namespace

// The PJL header and footer: text conversion, line breaks, the item table of
// the model, and texts from the job and the device mode that must not start
// lines of their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "output_writer.h"
#include "pjl.h"
#include "platform/codepage_ctl.h"
#include "platform/facts.h"
#include "platform/loader_ctl.h"
#include "platform/net_ctl.h"
#include "render_fixture.h"
#include "text_convert.h"
#include "win/base.h"
#include "win/winsock.h"

namespace {

using namespace render_test;
namespace priv = inkforge::priv;
namespace flag = inkforge::pjlflag;

std::string Convert(DWORD flags, DWORD max, const std::u16string& text) {
    CHAR out[inkforge::kPjlString];
    inkforge::PjlConvertString(flags, max, text.c_str(), out);
    return out;
}

TEST(PjlText, ControlCharactersByTheItemFlags) {
    const std::u16string text = u"a\"b\x1B"
                                u"c\x7F"
                                u"d\te\r\nf";
    EXPECT_EQ(Convert(0, 0, text), "a b c d e  f");
    EXPECT_EQ(Convert(flag::KeepQuote, 0, text), "a\"b c d e  f");
    EXPECT_EQ(Convert(flag::KeepEsc | flag::KeepDel, 0, text), "a b\x1B"
                                                               "c\x7F"
                                                               "d e  f");
    // Other control characters may be kept; CR and LF never, so that no text
    // starts a PJL line of its own.
    EXPECT_EQ(Convert(flag::KeepControl | flag::KeepQuote | flag::KeepEsc | flag::KeepDel, 0, text),
              "a\"b\x1B"
              "c\x7F"
              "d\te  f");
}

TEST(PjlText, TruncationKeepsHeadOrTail) {
    EXPECT_EQ(Convert(flag::Truncate, 5, u"abcdefgh"), "abcde");
    EXPECT_EQ(Convert(flag::Truncate | flag::KeepTail, 5, u"abcdefgh"), "defgh");
    EXPECT_EQ(Convert(flag::Truncate, 0, u"abcdefgh"), "abcdefgh");
    EXPECT_EQ(Convert(0, 5, u"abcdefgh"), "abcdefgh");
    std::u16string longText(300, u'x');
    EXPECT_EQ(Convert(0, 0, longText).size(), 255u);
    EXPECT_EQ(Convert(flag::Truncate, 1000, longText).size(), 255u);
    EXPECT_EQ(Convert(0, 0, u""), "");
}

TEST(PjlText, TruncationNeverSplitsADoubleByteCharacter) {
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    const std::u16string text = u"a\u3042\u3044\u3046"; // 1 + 3 x 2 bytes
    std::string a = inkforge::ToAnsi(u"a"), ai = inkforge::ToAnsi(u"\u3042"),
                i = inkforge::ToAnsi(u"\u3044"), u = inkforge::ToAnsi(u"\u3046");
    EXPECT_EQ(Convert(flag::Truncate, 4, text), a + ai);
    EXPECT_EQ(Convert(flag::Truncate, 5, text), a + ai + i);
    EXPECT_EQ(Convert(flag::Truncate | flag::KeepTail, 5, text), i + u);
    EXPECT_EQ(Convert(flag::Truncate | flag::KeepTail, 6, text), ai + i + u);
    // A 255-byte cut without the truncate flag respects characters too.
    std::u16string wide(200, u'\u3042');
    std::string cut = Convert(0, 0, wide);
    EXPECT_EQ(cut.size(), 254u);
}

TEST(PjlText, DeviceModeTextsStayInTheirFieldAndOnTheirLine) {
    BYTE field[40];
    std::memset(field, 'Z', sizeof field);
    std::memcpy(field, "ABCDEFGH", 8);
    EXPECT_EQ(inkforge::PjlDevmodeText(field, 8), "ABCDEFGH");
    const char injected[] = "id\"\r\n@PJL SET X=1\x1B";
    std::memset(field, 0, sizeof field);
    std::memcpy(field, injected, sizeof injected - 1);
    EXPECT_EQ(inkforge::PjlDevmodeText(field, 32), "id   @PJL SET X=1 ");
}

TEST(PjlText, LineBreaksOfFormats) {
    EXPECT_EQ(inkforge::ExpandPjlLineBreaks("SET A\\n@PJL SET B", "\r\n"), "SET A\r\n@PJL SET B");
    EXPECT_EQ(inkforge::ExpandPjlLineBreaks("X\\nY", "\n"), "X\nY");
    std::string longFormat(70, 'x');
    EXPECT_EQ(inkforge::ExpandPjlLineBreaks(longFormat.c_str(), "\n").size(), 63u);
    // A break that no longer fits is dropped.
    std::string edge = std::string(62, 'x') + "\\nY";
    EXPECT_EQ(inkforge::ExpandPjlLineBreaks(edge.c_str(), "\r\n"), std::string(62, 'x') + "Y");
}

TEST(PjlText, OutputTrayCodeMaps) {
    const std::vector<std::pair<WORD, WORD>> codes = {
        {0, 1}, {1, 2}, {2, 5}, {257, 3}, {513, 4}, {514, 6}, {769, 7}, {770, 8}, {771, 9}};
    for (auto [code, index] : codes) {
        EXPECT_EQ(inkforge::CodeToQuery34Index(code), index);
        if (code) {
            EXPECT_EQ(inkforge::Query34IndexToCode(index), code);
        }
    }
    EXPECT_EQ(inkforge::CodeToQuery34Index(3), 0);
    EXPECT_EQ(inkforge::Query34IndexToCode(1), 0);
    EXPECT_EQ(inkforge::Query34IndexToCode(10), 0);
    EXPECT_EQ(inkforge::ClampCodeOneToSix(6), 6);
    EXPECT_EQ(inkforge::ClampCodeOneToSix(7), 0);
}

// A model whose PJL table holds the given items: {id, flags, max, lines}.
nlohmann::json PjlModel(bool crlf, const std::vector<nlohmann::json>& items) {
    nlohmann::json codes = SampleSource("CX5540")["codes"];
    nlohmann::json entries = nlohmann::json::array();
    for (const auto& item : items)
        entries.push_back(item);
    codes["65"] = {{"s0", crlf ? "0x40000000" : "0"}, {"s1", 0}, {"entries", entries}};
    return nlohmann::json{{"format", 303}, {"codes", codes}};
}

nlohmann::json Item(int id, const std::vector<std::pair<int, std::string>>& lines, int flags = 0,
                    int max = 0) {
    nlohmann::json l = nlohmann::json::array();
    for (const auto& [variant, text] : lines)
        l.push_back({variant, text});
    return {{"id", id}, {"flags", flags}, {"max", max}, {"s3", 0}, {"lines", l}};
}

class PjlHeaderTest : public ::testing::Test {
  protected:
    void Install(const nlohmann::json& model) {
        platform::test::MakeModuleAbsent(u"wsock32.dll");
        InstallPrinter(u"P1", Compile(model));
        dev = std::make_unique<TestDevice>(u"P1");
        SetDoc(u"Doc");
        dev->get()->userName = inkforge::HeapString(dev->get(), u"alice");
        dev->get()->machineName = inkforge::HeapString(dev->get(), u"WS01");
    }
    void SetDoc(const std::u16string& name) {
        inkforge::HeapFreeString(dev->get(), &dev->get()->docName);
        dev->get()->docName = inkforge::HeapString(dev->get(), name.c_str());
    }
    // The header (or footer) as text.
    std::string Header() {
        inkforge::WriteJobHeader(dev->get());
        inkforge::FlushOutput(dev->get());
        Bytes b = dev->Finish();
        return std::string(b.begin(), b.end());
    }
    std::string Footer() {
        inkforge::WritePjlFooter(dev->get());
        inkforge::FlushOutput(dev->get());
        Bytes b = dev->Finish();
        return std::string(b.begin(), b.end());
    }
    std::unique_ptr<TestDevice> dev;
};

TEST_F(PjlHeaderTest, ItemsUpToTenGetNoCommentLines) {
    Install(PjlModel(false, {Item(3, {{0, "JOB"}}), Item(4, {{0, "SET V=\"%s %s\""}})}));
    EXPECT_EQ(Header(), "@PJL JOB\n@PJL SET V=\"2K 5.01.053.001\"\n@PJL ENTER LANGUAGE=GDI\n");
}

TEST_F(PjlHeaderTest, CommentLinesBeforeTheFirstItemAboveTenAndAlwaysWithLf) {
    platform::test::SetOsVersion(5, 1, 2600);
    Install(PjlModel(true, {Item(3, {{0, "JOB"}}), Item(54, {{0, "SET A\\n@PJL SET B"}})}));
    // The driver's version file, named by the component table.
    WritePrivateProfileStringW(u"Version", u"DriverVersion", u"2.00.017",
                               u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\P1\\DrvVer.INI");
    WritePrivateProfileStringW(u"Version", u"OriginalVersion", u"1.9 \"beta\"",
                               u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\P1\\DrvVer.INI");
    EXPECT_EQ(Header(), "@PJL JOB\r\n"
                        "@PJL COMMENT DriverVersion=\"2.00.017\"\n"
                        "@PJL COMMENT DriverOrgVer=\"1.9  beta \"\n"
                        "@PJL COMMENT OSVersion=\"Windows XP;Build 2600;AMD64\"\n"
                        "@PJL SET A\r\n@PJL SET B\r\n"
                        "@PJL ENTER LANGUAGE=GDI\r\n");
}

TEST_F(PjlHeaderTest, AFormatOfAnotherVariantIsNeverUsed) {
    Install(PjlModel(false, {Item(72, {{1, "SET ORIENTATION=LANDSCAPE"}})}));
    dev->get()->devmode.dm.dmOrientation = 1;
    std::string portrait = Header();
    EXPECT_EQ(portrait.find("ORIENTATION"), std::string::npos) << portrait;
    // The same item in landscape finds its format.
    dev = std::make_unique<TestDevice>(u"P1");
    dev->get()->devmode.dm.dmOrientation = 2;
    EXPECT_NE(Header().find("@PJL SET ORIENTATION=LANDSCAPE\n"), std::string::npos);
}

TEST_F(PjlHeaderTest, JobTextsAreConvertedByTheirItemsFlags) {
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    Install(PjlModel(false, {Item(12, {{0, "SET JOBNAME=\"%s\""}}, flag::Truncate, 4),
                             Item(13, {{0, "SET USER=\"%s\""}}, flag::Truncate | flag::KeepTail, 4),
                             Item(14, {{0, "SET HOST=\"%s\""}})}));
    SetDoc(u"a\u3042\u3044\u3046");
    inkforge::HeapFreeString(dev->get(), &dev->get()->userName);
    dev->get()->userName = inkforge::HeapString(dev->get(), u"x\"y\r\nz");
    inkforge::HeapFreeString(dev->get(), &dev->get()->machineName);
    dev->get()->machineName = inkforge::HeapString(dev->get(), u"");
    std::string expected =
        std::string("@PJL COMMENT OSVersion=\"Windows Vista;Build 19045;AMD64\"\n") +
        "@PJL SET JOBNAME=\"" + inkforge::ToAnsi(u"a\u3042") + "\"\n" + "@PJL SET USER=\"y  z\"\n" +
        "@PJL ENTER LANGUAGE=GDI\n";
    EXPECT_EQ(Header(), expected);
}

TEST_F(PjlHeaderTest, FooterNamesTheDocumentOrUntitled) {
    Install(PjlModel(true, {Item(501, {{0, "EOJ NAME=\"%s\""}}, flag::Truncate, 80)}));
    SetDoc(u"Plan \"B\"");
    EXPECT_EQ(Footer(), "@PJL EOJ NAME=\"Plan  B \"\r\n");
    dev = std::make_unique<TestDevice>(u"P1");
    EXPECT_EQ(Footer(), "@PJL EOJ NAME=\"Untitled\"\r\n");
}

TEST_F(PjlHeaderTest, DeviceModeTextsCannotStartALine) {
    Install(
        PjlModel(false, {Item(17, {{0, "SET HOLDKEY=\"%s\""}}), Item(18, {{0, "SET PASS=\"%s\""}}),
                         Item(58, {{0, "SET USER=\"%s\""}})}));
    inkforge::DevmodeImage& d = dev->get()->devmode;
    inkforge::SetPrivU32(d, priv::PrivateFlags, (1u << 26));
    inkforge::SetPrivU16(d, priv::JobType, 3);
    const char box[] = "B1\"\r\n@PJL SET EVIL=1";
    std::memcpy(d.priv + priv::SecureBoxId, box, sizeof box - 1);
    // A password that fills its field runs into the next one without a NUL.
    std::memset(d.priv + priv::SecurePassword, 'P', priv::JobTextSize);
    std::memset(d.priv + priv::LayoutKind, 'Q', 8);
    inkforge::SetPrivU32(d, priv::JobInfoFlags, 1);
    std::memset(d.priv + priv::UserName, 'U', priv::UserNameSize);
    std::string header = Header();
    EXPECT_EQ(header, "@PJL COMMENT OSVersion=\"Windows Vista;Build 19045;AMD64\"\n"
                      "@PJL SET HOLDKEY=\"B1   @PJL SET EVIL=1\"\n"
                      "@PJL SET PASS=\"" +
                          std::string(32, 'P') +
                          "\"\n"
                          "@PJL SET USER=\"" +
                          std::string(32, 'U') +
                          "\"\n"
                          "@PJL ENTER LANGUAGE=GDI\n");
}

TEST_F(PjlHeaderTest, CopiesLineMarksTheJob) {
    Install(PjlModel(false, {Item(121, {{0, "SET COPIES=1"}, {1, "SET COPIES=%d"}})}));
    inkforge::DevmodeImage& d = dev->get()->devmode;
    inkforge::SetPrivU32(d, priv::PrivateFlags, 1u << 15);
    d.dm.dmCopies = 4;
    d.dm.dmCollate = 0;
    EXPECT_EQ(Header(), "@PJL COMMENT OSVersion=\"Windows Vista;Build 19045;AMD64\"\n"
                        "@PJL SET COPIES=4\n@PJL ENTER LANGUAGE=GDI\n");
    EXPECT_TRUE(dev->get()->jobFlags & inkforge::job::CopiesLineWritten);
}

TEST_F(PjlHeaderTest, ResolutionAndDuplexTablesOfTheModel) {
    Install(PjlModel(false, {Item(61, {{0, "SET RESOLUTION=%d"}, {1, "SET RESOLUTION=%dX%d"}}),
                             Item(62, {{0, "SET RESO=%dX%d"}}),
                             Item(94, {{0, "SET %s"}, {1, "SET %s\\n@PJL SET %s"}})}));
    inkforge::DevmodeImage& d = dev->get()->devmode;
    inkforge::SetPrivU32(d, priv::FeatureFlags, 1u << 11);
    inkforge::SetPrivU16(d, priv::ResolutionCode, 4);
    d.dm.dmDuplex = 3;
    // Mode 4 is 600 x 1200: its quality entry names x, the resolution table both.
    EXPECT_EQ(Header(),
              "@PJL COMMENT OSVersion=\"Windows Vista;Build 19045;AMD64\"\n"
              "@PJL SET RESOLUTION=600\n@PJL SET RESO=600X1200\n"
              "@PJL SET DUPLEX=ON\n@PJL SET BINDING=SHORTEDGE\n@PJL ENTER LANGUAGE=GDI\n");
}

TEST_F(PjlHeaderTest, HostAddressLine) {
    Install(PjlModel(false, {Item(15, {{0, "SET IP=%d.%d.%d.%d"}})}));
    platform::test::ClearAbsent();
    // The system's Winsock does not hand these two out by name yet.
    auto exported = [](auto f) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
    };
    platform::loader::RegisterSystemExport(u"wsock32.dll", "gethostbyname",
                                           exported(&gethostbyname));
    platform::loader::RegisterSystemExport(u"wsock32.dll", "inet_ntoa", exported(&inet_ntoa));
    platform::test::SetComputerName(u"WS01");
    platform::test::SetHostAddresses("WS01", {"192.0.2.7"});
    EXPECT_EQ(inkforge::GetLocalIPv4Address(), 0x070200C0u);
    EXPECT_EQ(Header(), "@PJL COMMENT OSVersion=\"Windows Vista;Build 19045;AMD64\"\n"
                        "@PJL SET IP=192.0.2.7\n@PJL ENTER LANGUAGE=GDI\n");
    // Without Winsock, or without an address, there is no line.
    dev = std::make_unique<TestDevice>(u"P1");
    platform::test::MakeModuleAbsent(u"wsock32.dll");
    EXPECT_EQ(inkforge::GetLocalIPv4Address(), 0u);
    EXPECT_EQ(Header(), "@PJL COMMENT OSVersion=\"Windows Vista;Build 19045;AMD64\"\n"
                        "@PJL ENTER LANGUAGE=GDI\n");
}

} // namespace

// The prior-print check against the sample device as snmpd serves it, in
// each of its states: the question the user sees, the answer, and whether
// the job prints. Gatekeep and Tallyport are the real libraries.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/facts.h"
#include "platform/net_ctl.h"
#include "platform/spooler_ctl.h"
#include "platform/user_ctl.h"
#include "prior_print_check.h"
#include "revise_devmode.h"
#include "sample_device.h"
#include "ui_fixture.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
namespace spl = platform::spooler;
namespace scripts = platform::user::test;

constexpr char16_t kPrinter[] = u"Checked";
constexpr char16_t kPort[] = u"IP_printer1";

class PriorPrintPeer : public ::testing::Test {
  protected:
    void Start(const std::string& state) {
        ASSERT_TRUE(agent.Start(snmp_testing::SampleDevice(state))) << agent.Log();
        platform::test::RedirectUdpPort(161, agent.Port());
        platform::test::SetHostAddresses("printer1", {"127.0.0.1"});
        ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"),
                                {"Resbundle.DLL", "Devprobe.DLL", "Gatekeep.DLL", "Tallyport.DLL"});
        ASSERT_EQ(spl::AddTcpIpPort(kPort, u"printer1"), 0u);
        spl::PrinterRecord printer;
        ASSERT_TRUE(spl::FindPrinter(kPrinter, &printer));
        printer.port = kPort;
        ASSERT_EQ(spl::AddPrinter(printer, true), 0u);
        bound = std::make_unique<ui_test::BoundPrinter>(kPrinter);
        ASSERT_TRUE(bound->ok());
        image = std::make_unique<DEVMODE_IMAGEW>();
        ASSERT_TRUE(
            StampAndReviseDevmode(bound->printer(), bound->binding()->modelData, image.get()));
        image->priv.JobCheckFlags |= 0x8;
        image->priv.PriorPrintOn = 1;
        std::strcpy(image->priv.DeptCode, "1234");
    }
    BOOL Check() {
        return CheckPriorPrint(bound->printer(), nullptr, kPort, &image->dm, &image->priv,
                               bound->binding()->modelData, 1);
    }
    std::vector<std::u16string> BoxesSince(size_t from) {
        std::vector<std::u16string> texts;
        auto log = scripts::MessageBoxLog();
        for (size_t i = from; i < log.size(); ++i)
            texts.push_back(log[i].text);
        return texts;
    }
    void TearDown() override { bound.reset(); }

    snmp_testing::SnmpdAgent agent;
    std::unique_ptr<ui_test::BoundPrinter> bound;
    std::unique_ptr<DEVMODE_IMAGEW> image;
};

constexpr char16_t kCheckPrinter[] =
    u"Please check the printer.\r\nDo you want to continue printing ?";
constexpr char16_t kNoPaper[] =
    u"There is no paper. Please supply. \r\nDo you want to continue printing ?";
constexpr char16_t kMismatch[] =
    u"The paper size you specified (Letter) is different from the size (unknown paper) in the "
    u"paper tray you specified.\r\nDo you want to continue printing ?";
constexpr char16_t kNoDeptCode[] =
    u"The Department ID has not been inputted yet. \r\nPlease print again after inputting it.";

constexpr short kAutoTray = 7, kTray1 = 1;
constexpr short kLetter = 1, kPaperInTray1 = 3;

TEST_F(PriorPrintPeer, EachDeviceStateAsksAndTheAnswerDecides) {
    struct Case {
        const char* state;
        short source;
        short paper;
        const char* deptCode;
        std::u16string question; // empty: none asked
        int answer;
        BOOL result;
    } cases[] = {
        {"ready", kAutoTray, kLetter, "1234", u"", 0, TRUE},
        {"ready", kTray1, kLetter, "1234", kMismatch, IDYES, TRUE},
        {"ready", kTray1, kLetter, "1234", kMismatch, IDNO, FALSE},
        {"ready", kAutoTray, kLetter, "", kNoDeptCode, IDOK, FALSE},
        {"tray-empty", kTray1, kPaperInTray1, "1234", kNoPaper, IDYES, TRUE},
        {"tray-empty", kTray1, kPaperInTray1, "1234", kNoPaper, IDNO, FALSE},
        {"tray-empty", kAutoTray, kLetter, "1234", u"", 0, TRUE},
        {"toner-low", kAutoTray, kLetter, "1234", u"", 0, TRUE},
        {"jammed", kTray1, kPaperInTray1, "1234", kCheckPrinter, IDYES, TRUE},
        {"jammed", kTray1, kPaperInTray1, "1234", kCheckPrinter, IDNO, FALSE},
        {"down", kAutoTray, kLetter, "1234", kCheckPrinter, IDYES, TRUE},
        {"down", kAutoTray, kLetter, "1234", kCheckPrinter, IDNO, FALSE},
    };
    std::string running;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.state) + " source " + std::to_string(c.source) + " answer " +
                     std::to_string(c.answer));
        if (running != c.state) {
            bound.reset();
            agent.Stop();
            Start(c.state);
            running = c.state;
        }
        image->dm.dmDefaultSource = c.source;
        image->dm.dmPaperSize = c.paper;
        std::strcpy(image->priv.DeptCode, c.deptCode);
        if (!c.question.empty()) scripts::AnswerNextMessageBox(c.answer);
        const size_t before = scripts::MessageBoxLog().size();
        EXPECT_EQ(Check(), c.result);
        auto log = scripts::MessageBoxLog();
        ASSERT_EQ(log.size() - before, c.question.empty() ? 0u : 1u);
        if (!c.question.empty()) {
            EXPECT_EQ(log.back().text, c.question);
            EXPECT_EQ(log.back().caption, u"Printing Error");
            // Nobody owns the box: it is shown on the interactive desktop.
            EXPECT_TRUE(log.back().type & MB_SERVICE_NOTIFICATION);
        }
    }
}

// The job's paper in the tray question: the model's name, the user paper's
// own name, else a custom size named by the model's long-paper limit.
TEST_F(PriorPrintPeer, TrayQuestionNamesTheJobsPaper) {
    Start("ready");
    CUserPaper papers;
    papers.SetDefaultPath(bound->binding());
    UserPaperRecord banner{};
    std::strcpy(banner.name, "Banner");
    banner.paperId = 456;
    banner.widthTenthMm = 2100;
    banner.lengthTenthMm = 9000;
    ASSERT_TRUE(papers.Add(&banner));
    ASSERT_TRUE(papers.Write());
    const struct {
        WORD paper;
        WORD outputPaper;
        short width, length; // 0.1 mm
        const char16_t* name;
    } cases[] = {
        {kLetter, 0, 2159, 2794, u"Letter"},   {456, 0, 2100, 9000, u"Banner"},
        {457, 0, 2100, 2970, u"Custom"},       {457, 0, 2100, 4572, u"Custom"},
        {457, 0, 2100, 4573, u"Custom Long"},  {457, 0, 9000, 2100, u"Custom Long"},
        {kLetter, 456, 2159, 2794, u"Banner"}, {kLetter, 458, 2159, 2794, u"Custom"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.paper) + " " + std::to_string(c.outputPaper) + " " +
                     std::to_string(c.length));
        image->dm.dmDefaultSource = kTray1;
        image->dm.dmPaperSize = static_cast<short>(c.paper);
        image->dm.dmPaperWidth = c.width;
        image->dm.dmPaperLength = c.length;
        image->priv.OutputPaperId = c.outputPaper;
        scripts::AnswerNextMessageBox(IDYES);
        const size_t before = scripts::MessageBoxLog().size();
        EXPECT_EQ(Check(), TRUE);
        auto log = scripts::MessageBoxLog();
        ASSERT_EQ(log.size() - before, 1u);
        EXPECT_EQ(log.back().text,
                  u"The paper size you specified (" + std::u16string(c.name) +
                      u") is different from the size (unknown paper) in the paper tray you "
                      u"specified.\r\nDo you want to continue printing ?");
    }
}

TEST_F(PriorPrintPeer, DepartmentCounterModeOffIsToldHowToTurnItOn) {
    Start("ready");
    image->priv.DeptCounterFlags &= ~1;
    scripts::AnswerNextMessageBox(IDOK);
    EXPECT_EQ(Check(), FALSE);
    auto log = scripts::MessageBoxLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text.substr(0, 22), u"Open the Device tab in");
    EXPECT_EQ(log[0].type & MB_ICONMASK, UINT(MB_ICONERROR));
}

TEST_F(PriorPrintPeer, NobodyToAskInTheServicesSession) {
    Start("down");
    platform::test::SetSessionId(0);
    // No box: the question takes its fixed answer and the job prints on;
    // the department refusal still stops it.
    EXPECT_EQ(Check(), TRUE);
    std::strcpy(image->priv.DeptCode, "");
    EXPECT_EQ(Check(), FALSE);
    EXPECT_TRUE(scripts::MessageBoxLog().empty());
    platform::test::SetSessionId(1);
}

TEST_F(PriorPrintPeer, OnlyTheDepartmentCheckOutsideModeOne) {
    Start("down");
    EXPECT_EQ(CheckPriorPrint(bound->printer(), nullptr, kPort, &image->dm, &image->priv,
                              bound->binding()->modelData, 0),
              TRUE);
    EXPECT_TRUE(scripts::MessageBoxLog().empty());
    // Not wanted: nothing is asked of anyone.
    image->priv.PriorPrintOn = 0;
    EXPECT_EQ(Check(), TRUE);
}

} // namespace

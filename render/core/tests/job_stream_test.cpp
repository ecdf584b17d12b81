// Jobs run through the platform's device-context life cycle on printers whose
// driver is the built Inkforge: the stream that reaches the spooler, read
// back with the stream decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/facts.h"
#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "platform/loader_ctl.h"
#include "platform/testctl.h"
#include "render_fixture.h"
#include "win/base.h"
#include "win/gdi.h"

namespace {

using namespace render_test;
using inkforge::DevmodeImage;
namespace priv = inkforge::priv;

// Facts that PJL lines carry, fixed so that the header is the same every run.
void FixHostFacts() {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 3;
    t.wDay = 4;
    t.wHour = 5;
    t.wMinute = 6;
    t.wSecond = 7;
    platform::test::SetLocalTime(t);
    platform::test::SetUserName(u"alice");
    platform::test::SetComputerName(u"WS01");
    platform::test::SetOsVersion(10, 0, 19045);
    // The host address is looked up through the system's Winsock; the golden
    // header leaves that line out.
    platform::test::MakeModuleAbsent(u"wsock32.dll");
}

class JobStreamTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        FixHostFacts();
        InstallPrinter(u"P1", SampleModel(GetParam()));
    }
    void TearDown() override {
        // Everything a job made is given back.
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        EXPECT_EQ(platform::test::LoadedGraphicsDrivers(), 0);
        EXPECT_EQ(platform::test::LiveSurfaces(), 0);
        EXPECT_EQ(platform::test::LivePalettes(), 0);
        EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
        EXPECT_EQ(platform::test::LiveGlobalAllocations(), 0);
        EXPECT_EQ(platform::test::LiveHeapAllocations(), 0);
        EXPECT_EQ(platform::test::ModuleLoadCount(u"Modelsmith.DLL"), 0);
    }
};

// The parts of a job's outline: what precedes the job open, the job frames,
// the frames of each page, and what follows the last page.
struct Parts {
    std::vector<std::string> header; // up to and including ENTER LANGUAGE
    std::vector<std::string> job;    // OPEN .. before the first page's frames
    std::vector<std::vector<std::string>> pages;
    std::vector<std::string> trailer; // after the last 'q'
};

bool IsPageFrame(const std::string& s) {
    static const std::string kPage = "lambMkECpqD";
    return !s.empty() && s.size() >= 1 && (s.size() == 1 || s[1] == ' ') &&
           kPage.find(s[0]) != std::string::npos;
}

Parts Split(const std::vector<std::string>& outline) {
    Parts p;
    size_t i = 0;
    while (i < outline.size() && outline[i] != "OPEN")
        p.header.push_back(outline[i++]);
    while (i < outline.size() && !IsPageFrame(outline[i]))
        p.job.push_back(outline[i++]);
    while (i < outline.size() && IsPageFrame(outline[i]) && outline[i] != "D") {
        std::vector<std::string> page;
        while (i < outline.size() && outline[i] != "q")
            page.push_back(outline[i++]);
        if (i < outline.size()) page.push_back(outline[i++]);
        p.pages.push_back(page);
    }
    while (i < outline.size())
        p.trailer.push_back(outline[i++]);
    return p;
}

// The PJL lines that the model's header table calls for with an empty private block.
std::vector<std::string> ExpectedHeader(const std::string& model, const std::string& doc) {
    if (model == "LP1220") return {"UEL", "PJL @PJL ENTER LANGUAGE=GDI"};
    return {"UEL",
            "PJL @PJL SET JOBATTR=\"@DRV=Velmora Velmora CX5540 MFP CX5500\"",
            "PJL @PJL JOB",
            "PJL @PJL SET JOBATTR=\"@DRVR=2K 5.01.053.001\"",
            "PJL @PJL COMMENT OSVersion=\"Windows Vista;Build 19045;AMD64\"",
            "PJL @PJL SET JOBATTR=\"@TIME=2026/03/04 05:06:07\"",
            "PJL @PJL SET JOBATTR=\"@JOBN=" + doc + "\"",
            "PJL @PJL SET USERNAME=\"alice\"",
            "PJL @PJL SET JOBATTR=\"@CNAM=WS01\"",
            "PJL @PJL SET HOLD=OFF",
            "PJL @PJL SET PAGEPROTECT=AUTO",
            "PJL @PJL SET PAPER=A4",
            "PJL @PJL SET ORIENTATION=PORTRAIT",
            "PJL @PJL SET DUPLEX=OFF",
            "PJL @PJL SET COLLATE=OFF",
            "PJL @PJL SET COPIES=1",
            "PJL @PJL SET IMAGEADAPT=OFF",
            "PJL @PJL ENTER LANGUAGE=GDI"};
}

TEST_P(JobStreamTest, ThreeBlankPagesOnThePrintersDefaultDeviceMode) {
    JobResult r = PrintBlankPages(u"P1", nullptr, 3);
    ASSERT_GT(r.startDoc, 0) << r.startDocError;
    EXPECT_EQ(r.pagesOk, 3);
    EXPECT_EQ(r.endDoc, 1);
    streamdump::Decoding d = streamdump::Decode(r.stream);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    Parts p = Split(Outline(d, r.stream));
    ASSERT_FALSE(p.header.empty());
    EXPECT_EQ(p.header.front(), "UEL");
    EXPECT_EQ(p.header.back(), "PJL @PJL ENTER LANGUAGE=GDI");
    ASSERT_GE(p.job.size(), 7u) << streamdump::Format(d);
    EXPECT_EQ(std::vector<std::string>(p.job.begin(), p.job.begin() + 7),
              (std::vector<std::string>{"OPEN", "c 01", "j 10", "d 04", "F 00", "u 00", "v 00"}));
    ASSERT_EQ(p.pages.size(), 3u) << streamdump::Format(d);
    for (size_t i = 0; i < 3; ++i) {
        // Letter by the model's default for a device mode without a paper.
        std::vector<std::string> page = {"a 58 02", "b 58 02", "m 01", "M 00", "k 01"};
        // The model's default media type, where the model has media types.
        if (i == 0 && std::string(GetParam()) == "CX5540") page.push_back("E 00");
        if (i == 0) page.push_back("C");
        page.push_back("p");
        page.push_back("q");
        EXPECT_EQ(p.pages[i], page) << "page " << i + 1;
    }
    ASSERT_GE(p.trailer.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(p.trailer.begin(), p.trailer.begin() + 3),
              (std::vector<std::string>{"D", "CLOSE", "UEL"}));
    if (std::string(GetParam()) == "CX5540") {
        EXPECT_EQ(p.trailer.back(), "PJL @PJL EOJ NAME=\"Report\"");
        // The header names the paper the pages are set up for (k 01).
        EXPECT_NE(std::find(p.header.begin(), p.header.end(), "PJL @PJL SET PAPER=LETTER"),
                  p.header.end())
            << streamdump::Format(d);
        EXPECT_EQ(std::find(p.header.begin(), p.header.end(), "PJL @PJL SET PAPER=CUSTOM"),
                  p.header.end());
    } else
        EXPECT_EQ(p.trailer.size(), 3u);
}

TEST_P(JobStreamTest, HeaderFramesAndPagesOfAnA4Job) {
    DevmodeImage dm = OwnDevmode();
    JobResult r = PrintBlankPages(u"P1", &dm.dm, 3, u"Quarterly \"Plan\"");
    ASSERT_GT(r.startDoc, 0);
    streamdump::Decoding d = streamdump::Decode(r.stream);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    Parts p = Split(Outline(d, r.stream));
    // The quote of the document name became a blank.
    EXPECT_EQ(p.header, ExpectedHeader(GetParam(), "Quarterly  Plan ")) << streamdump::Format(d);
    std::vector<std::string> job = {"OPEN", "c 01", "j 10", "d 04", "F 00", "u 00", "v 00"};
    // The output tray of the model's bin table (CX5540 has one).
    if (std::string(GetParam()) == "CX5540") job.push_back("x 00");
    EXPECT_EQ(p.job, job);
    ASSERT_EQ(p.pages.size(), 3u);
    EXPECT_EQ(p.pages[0], (std::vector<std::string>{"a 58 02", "b 58 02", "m 01", "M 00", "k 09",
                                                    "C", "p", "q"}));
}

TEST_P(JobStreamTest, GoldenHeaderBytes) {
    DevmodeImage dm = OwnDevmode();
    JobResult r = PrintBlankPages(u"P1", &dm.dm, 1, u"Report");
    std::string stream(r.stream.begin(), r.stream.end());
    size_t open = stream.find("\x1B\x27\x31");
    ASSERT_NE(open, std::string::npos);
    std::string header = stream.substr(0, open);
    if (std::string(GetParam()) == "LP1220") {
        EXPECT_EQ(header, "\x1B%-12345X@PJL ENTER LANGUAGE=GDI\n");
        return;
    }
    EXPECT_EQ(header, "\x1B%-12345X"
                      "@PJL SET JOBATTR=\"@DRV=Velmora Velmora CX5540 MFP CX5500\"\r\n"
                      "@PJL JOB\r\n"
                      "@PJL SET JOBATTR=\"@DRVR=2K 5.01.053.001\"\r\n"
                      "@PJL COMMENT OSVersion=\"Windows Vista;Build 19045;AMD64\"\n"
                      "@PJL SET JOBATTR=\"@TIME=2026/03/04 05:06:07\"\r\n"
                      "@PJL SET JOBATTR=\"@JOBN=Report\"\r\n"
                      "@PJL SET USERNAME=\"alice\"\r\n"
                      "@PJL SET JOBATTR=\"@CNAM=WS01\"\r\n"
                      "@PJL SET HOLD=OFF\r\n"
                      "@PJL SET PAGEPROTECT=AUTO\r\n"
                      "@PJL SET PAPER=A4\r\n"
                      "@PJL SET ORIENTATION=PORTRAIT\r\n"
                      "@PJL SET DUPLEX=OFF\r\n"
                      "@PJL SET COLLATE=OFF\r\n"
                      "@PJL SET COPIES=1\r\n"
                      "@PJL SET IMAGEADAPT=OFF\r\n"
                      "@PJL ENTER LANGUAGE=GDI\r\n");
}

TEST_P(JobStreamTest, DuplexJobGetsABlankBackSideAtTheEnd) {
    DevmodeImage dm = OwnDevmode();
    dm.dm.dmDuplex = DMDUP_VERTICAL;
    JobResult r = PrintBlankPages(u"P1", &dm.dm, 3);
    streamdump::Decoding d = streamdump::Decode(r.stream);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    Parts p = Split(Outline(d, r.stream));
    EXPECT_NE(std::find(p.job.begin(), p.job.end(), "u 01"), p.job.end());
    ASSERT_EQ(p.pages.size(), 4u) << streamdump::Format(d);
    // The fourth "page" is the blank back of the second sheet.
    EXPECT_EQ(p.pages[3], (std::vector<std::string>{"p", "q"}));
    EXPECT_EQ(p.trailer.front(), "D");
    if (std::string(GetParam()) == "CX5540") {
        std::vector<std::string> lines = PjlLines(d);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "@PJL SET DUPLEX=ON"), lines.end());
        EXPECT_NE(std::find(lines.begin(), lines.end(), "@PJL SET BINDING=LONGEDGE"), lines.end());
    }
}

TEST_P(JobStreamTest, DuplexPageOnAnotherTrayStartsANewSheet) {
    DevmodeImage first = OwnDevmode();
    first.dm.dmDuplex = DMDUP_VERTICAL;
    first.dm.dmDefaultSource = 1;
    DevmodeImage second = first;
    second.dm.dmDefaultSource = 4;
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &first.dm);
    ASSERT_NE(hdc, nullptr);
    DOCINFOW di{sizeof(DOCINFOW), u"Trays", nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    ASSERT_GT(job, 0);
    EXPECT_EQ(StartPage(hdc), 1);
    EXPECT_EQ(EndPage(hdc), 1);
    EXPECT_EQ(ResetDCW(hdc, &second.dm), hdc);
    EXPECT_EQ(StartPage(hdc), 1);
    EXPECT_EQ(EndPage(hdc), 1);
    EXPECT_EQ(EndDoc(hdc), 1);
    EXPECT_TRUE(DeleteDC(hdc));
    Bytes stream = JobOutput(static_cast<DWORD>(job));
    streamdump::Decoding d = streamdump::Decode(stream);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    std::vector<std::string> o = Outline(d, stream);
    // One header; after the reset the job commands again, then a blank side
    // so that page 2 (another tray) starts a sheet of its own, and at the end
    // the blank back of that sheet.
    auto firstEnd = std::find(o.begin(), o.end(), "q");
    auto reopen = std::find(firstEnd, o.end(), "OPEN");
    ASSERT_EQ(reopen, firstEnd + 1) << streamdump::Format(d);
    auto jobEnd = std::find(reopen, o.end(), "v 00");
    ASSERT_NE(jobEnd, o.end());
    auto afterJob = jobEnd + 1;
    if (afterJob != o.end() && *afterJob == "x 00") ++afterJob;
    ASSERT_GE(o.end() - afterJob, 2);
    EXPECT_EQ(std::vector<std::string>(afterJob, afterJob + 2),
              (std::vector<std::string>{"p", "q"}));
    EXPECT_EQ(std::count(o.begin(), o.end(), "UEL"), 2);
    EXPECT_EQ(std::count(o.begin(), o.end(), "p"), 4) << streamdump::Format(d);
    auto close = std::find(o.begin(), o.end(), "CLOSE");
    ASSERT_GE(close - o.begin(), 3);
    EXPECT_EQ(std::vector<std::string>(close - 3, close),
              (std::vector<std::string>{"p", "q", "D"}));
}

TEST_P(JobStreamTest, CopiesAreSetUpByTheDevice) {
    DevmodeImage dm = OwnDevmode();
    dm.dm.dmCopies = 3;
    dm.dm.dmCollate = DMCOLLATE_TRUE;
    JobResult r = PrintBlankPages(u"P1", &dm.dm, 2);
    streamdump::Decoding d = streamdump::Decode(r.stream);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    Parts p = Split(Outline(d, r.stream));
    std::vector<std::string> expected = {"OPEN",    "c 01", "j 10", "d 04", "O 03 00",
                                         "s 01 01", "F 00", "u 00", "v 00"};
    if (std::string(GetParam()) == "CX5540") expected.push_back("x 00");
    expected.push_back("K 00");
    EXPECT_EQ(p.job, expected);
    ASSERT_EQ(p.pages.size(), 2u);
    EXPECT_EQ(std::count(p.pages[1].begin(), p.pages[1].end(), "C"), 0);
    EXPECT_EQ(p.trailer.front(), "D");
    if (std::string(GetParam()) == "CX5540") {
        std::vector<std::string> lines = PjlLines(d);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "@PJL SET COLLATE=ON"), lines.end());
        EXPECT_NE(std::find(lines.begin(), lines.end(), "@PJL SET QTY=3"), lines.end());
        EXPECT_NE(std::find(lines.begin(), lines.end(), "@PJL SET COPIES=1"), lines.end());
    }
}

INSTANTIATE_TEST_SUITE_P(SampleModels, JobStreamTest, ::testing::Values("LP1220", "CX5540"));

} // namespace

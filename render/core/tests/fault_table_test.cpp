// A whole print through the graphics library with each platform call it
// reaches made to fail in turn: the job ends with an error (and its spooler
// job is not left as printed with part of its bytes), or it ends exactly as
// without the fault; nothing is leaked either way.
#include <gtest/gtest.h>

#include <string>

#include "platform/facts.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "platform_testing/fault_table.h"
#include "render_fixture.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/gdi_dc.h"
#include "win/spool.h"

namespace render_test {
namespace {

// Prints two pages with a few drawing calls; on the first failing step it
// aborts the document the way an application does and says which step failed.
platform_testing::JobOutcome PrintDrawnJob() {
    platform_testing::JobOutcome r;
    auto fail = [&](const char* step) {
        r.error = std::string(step) + " failed, error " + std::to_string(GetLastError());
        return r;
    };
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, nullptr);
    if (!hdc) return fail("CreateDCW");
    DOCINFOW di{sizeof(DOCINFOW), u"Faults", nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    bool ok = job > 0;
    if (!ok) fail("StartDocW");
    for (int page = 0; ok && page < 2; ++page) {
        if (StartPage(hdc) <= 0) {
            fail("StartPage");
            ok = false;
            break;
        }
        LOGBRUSH lb{BS_SOLID, RGB(0, 0, 0), 0};
        HPEN pen = CreatePen(PS_SOLID, 0, RGB(0, 0, 0));
        HBRUSH brush = CreateBrushIndirect(&lb);
        HGDIOBJ oldPen = pen ? SelectObject(hdc, pen) : nullptr;
        HGDIOBJ oldBrush = brush ? SelectObject(hdc, brush) : nullptr;
        POINT line[3] = {{100, 100}, {600, 150}, {300, 700}};
        bool drawn = pen && brush && oldPen && oldBrush &&
                     Rectangle(hdc, 200, 200, 900, 800 + page * 100) && Polyline(hdc, line, 3);
        if (oldPen) SelectObject(hdc, oldPen);
        if (oldBrush) SelectObject(hdc, oldBrush);
        if (pen) DeleteObject(pen);
        if (brush) DeleteObject(brush);
        if (!drawn) {
            fail("drawing");
            ok = false;
            break;
        }
        if (EndPage(hdc) <= 0) {
            fail("EndPage");
            ok = false;
        }
    }
    if (ok && EndDoc(hdc) <= 0) {
        fail("EndDoc");
        ok = false;
    }
    if (!ok && job > 0) AbortDoc(hdc);
    DeleteDC(hdc);
    r.ok = ok;
    if (job > 0) {
        platform::spooler::JobRecord rec;
        bool known = platform::spooler::FindJob(static_cast<DWORD>(job), &rec);
        if (ok || (known && (rec.status & JOB_STATUS_PRINTED))) {
            Bytes stream = JobOutput(static_cast<DWORD>(job));
            r.output.assign(stream.begin(), stream.end());
        }
    }
    return r;
}

TEST(RenderFaultTable, EveryPlatformCallOfAPrintFailingInTurn) {
    SYSTEMTIME noon{2024, 3, 5, 12, 12, 0, 0, 0};
    platform::test::SetLocalTime(noon);
    InstallPrinter(u"P1", SampleModel("CX5540"));
    platform_testing::FaultTableOptions options;
    // The job header names the computer, the user and the system; when the
    // system cannot say, the header carries its default, as the system's own
    // drivers do.
    options.mayChangeOutput = {"GetComputerNameW", "GetUserNameW", "GetVersionExA"};
    int runs = platform_testing::RunFaultTable(PrintDrawnJob, options);
    EXPECT_GT(runs, 10);
}

// The model data file that is not there is an absence: the job prints with
// the model's defaults. The same file unreadable for want of memory is no
// absence: the job fails with that error rather than print other settings.
TEST(RenderFaultTable, AnAbsentModelFileIsADefaultAFailedReadIsAnError) {
    InstallPrinter(u"P1", SampleModel("CX5540"));
    struct Case {
        DWORD error;
        bool prints;
    };
    for (const Case& c : {Case{ERROR_FILE_NOT_FOUND, true}, Case{ERROR_PATH_NOT_FOUND, true},
                          Case{ERROR_OUTOFMEMORY, false}, Case{ERROR_SHARING_VIOLATION, false}}) {
        platform::test::FailNext("CreateFileW", 1, c.error);
        platform_testing::JobOutcome outcome = PrintDrawnJob();
        platform::test::ClearFaults();
        EXPECT_EQ(outcome.ok, c.prints) << c.error << ": " << outcome.error;
        if (!c.prints) {
            EXPECT_NE(outcome.error.find("error " + std::to_string(c.error)), std::string::npos)
                << outcome.error;
            EXPECT_TRUE(outcome.output.empty());
        }
    }
}

} // namespace
} // namespace render_test

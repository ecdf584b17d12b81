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

TEST(RenderFaultTable, EveryPlatformCallOfAPrintFailingInTurn) {
    SYSTEMTIME noon{2024, 3, 5, 12, 12, 0, 0, 0};
    platform::test::SetLocalTime(noon);
    InstallPrinter(u"P1", SampleModel("CX5540"));
    platform_testing::FaultTableOptions options;
    // The job header names the computer, the user and the system; when the
    // system cannot say, the header carries its default, as the system's own
    // drivers do.
    options.mayChangeOutput = {"GetComputerNameW", "GetUserNameW", "GetVersionExA"};
    int runs = platform_testing::RunFaultTable([] { return PrintDrawnJob(); }, options);
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

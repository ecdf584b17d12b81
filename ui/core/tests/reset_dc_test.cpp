// A RESETDC in the middle of a job, through the graphics library's running
// job: the new device mode keeps the resolution and finishing settings the
// printed pages used.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "devmode_helpers.h"
#include "revise_devmode.h"
#include "ui_entry_points.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/gdi.h"
#include "win/printer_interface.h"

namespace {

using namespace sheetwright;

// The output-and-finishing group a carry takes: bytes +296 to +351 and the
// words +352 to +376 named below.
constexpr size_t kGroupWords[] = {352, 354, 356, 360, 362, 366, 372, 374, 376};

bool GroupEqual(const PRIVATE_DEVMODE& a, const PRIVATE_DEVMODE& b) {
    auto* x = reinterpret_cast<const BYTE*>(&a);
    auto* y = reinterpret_cast<const BYTE*>(&b);
    if (std::memcmp(x + 296, y + 296, 352 - 296) != 0) return false;
    for (size_t at : kGroupWords)
        if (std::memcmp(x + at, y + at, 2) != 0) return false;
    return true;
}

enum class Job { NotStarted, Started, PagesPrinted };

TEST(ResetDc, ARunningJobKeepsItsResolutionAndFinishing) {
    auto carrying = ui_test::SampleSource("CX5540");
    carrying["codes"]["79"]["1"][0] = "0xAEF"; // carry also on an equal graphics mode
    ui_test::InstallPrinter(u"Plain", ui_test::SampleModel("CX5540"), {"Inkforge.DLL"});
    ui_test::InstallPrinter(u"Carrying", ui_test::Compile(carrying), {"Inkforge.DLL"});
    struct Case {
        const char* what;
        const char16_t* printer;
        Job job;
        bool sameGraphicsMode;
        bool carried;      // resolution and the whole group from the running job
        bool graphicsMode; // only +372 from the running job
    } cases[] = {
        {"pages printed", u"Plain", Job::PagesPrinted, false, true, true},
        {"pages printed, same graphics mode", u"Plain", Job::PagesPrinted, true, false, false},
        {"pages printed, same mode, model carries", u"Carrying", Job::PagesPrinted, true, true,
         true},
        {"started without pages", u"Plain", Job::Started, false, false, true},
        {"no job yet", u"Plain", Job::NotStarted, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui_test::BoundPrinter p(c.printer);
        ASSERT_TRUE(p.ok());
        // The running job at 1200 dpi, stapled and punched.
        auto first = std::make_unique<DEVMODE_IMAGEW>();
        ASSERT_TRUE(StampAndReviseDevmode(p.printer(), p.binding()->modelData, first.get()));
        DEVMODE_IMAGEW defaults = *first;
        first->dm.dmPrintQuality = 1200;
        first->dm.dmYResolution = 1200;
        first->priv.ResolutionCode = 3;
        first->priv.StapleMode = 1;
        first->priv.PunchMode = 2;
        HDC hdc = CreateDCW(nullptr, c.printer, nullptr, &first->dm);
        ASSERT_NE(hdc, nullptr);
        DOCINFOW di{sizeof(DOCINFOW), u"Doc", nullptr, nullptr, 0};
        if (c.job != Job::NotStarted) {
            ASSERT_GT(StartDocW(hdc, &di), 0);
        }
        if (c.job == Job::PagesPrinted) {
            ASSERT_GT(StartPage(hdc), 0);
            ASSERT_GT(EndPage(hdc), 0);
        }
        auto running = std::make_unique<DEVMODE_IMAGEW>();
        ASSERT_EQ(ExtEscape(hdc, kEscapeGetDriverDevmode, 0, nullptr, sizeof *running,
                            reinterpret_cast<LPSTR>(running.get())),
                  1);
        ASSERT_TRUE(IsOwnDevmode(&running->dm));

        // The new device mode: the model's defaults, another graphics mode
        // unless the case wants the same.
        auto next = std::make_unique<DEVMODE_IMAGEW>(defaults);
        next->priv.GraphicsMode = c.sameGraphicsMode
                                      ? running->priv.GraphicsMode
                                      : static_cast<WORD>(running->priv.GraphicsMode ^ 1);
        ASSERT_NE(next->dm.dmPrintQuality, running->dm.dmPrintQuality);
        ASSERT_FALSE(GroupEqual(next->priv, running->priv));
        const DEVMODE_IMAGEW before = *next;
        DEVMODEW* given = &next->dm;
        DEVMODEW* answer[2] = {};
        EXPECT_EQ(UiDrvDocumentEvent(p.printer(), hdc, DOCUMENTEVENT_RESETDCPRE, sizeof given,
                                     &given, sizeof answer, answer),
                  DOCUMENTEVENT_SUCCESS);
        ASSERT_NE(answer[0], nullptr);
        const auto* result = reinterpret_cast<const DEVMODE_IMAGEW*>(answer[0]);
        if (c.carried) {
            EXPECT_EQ(result->dm.dmPrintQuality, running->dm.dmPrintQuality);
            EXPECT_EQ(result->dm.dmYResolution, running->dm.dmYResolution);
            EXPECT_TRUE(GroupEqual(result->priv, running->priv));
        } else {
            EXPECT_EQ(result->dm.dmPrintQuality, before.dm.dmPrintQuality);
            EXPECT_EQ(result->priv.ResolutionCode, before.priv.ResolutionCode);
            EXPECT_EQ(result->priv.StapleMode, before.priv.StapleMode);
        }
        EXPECT_EQ(result->priv.GraphicsMode,
                  c.graphicsMode ? running->priv.GraphicsMode : before.priv.GraphicsMode);
        UiDrvDocumentEvent(p.printer(), hdc, DOCUMENTEVENT_RESETDCPOST, sizeof answer[0],
                           &answer[0], 0, nullptr);
        // The job itself is not the point here: it is given up.
        if (c.job != Job::NotStarted) {
            EXPECT_GT(AbortDoc(hdc), 0);
        }
        EXPECT_TRUE(DeleteDC(hdc));
    }
}

} // namespace

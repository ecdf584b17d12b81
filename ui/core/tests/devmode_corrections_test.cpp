// Corrections of a device-mode image by the installed options, over a sample
// model whose units are installed and removed case by case.
#include <gtest/gtest.h>

#include "devmode_corrections.h"
#include "model_codes.h"
#include "ui_fixture.h"

namespace {

using namespace sheetwright;

TEST(DevmodeCorrections, ByOptionsFollowsTheInstalledUnits) {
    auto source = ui_test::SampleSource("CX5540");
    source["codes"]["27"]["entries"][0]["staple"]["default"] = 3; // stapling code 3
    source["codes"]["25"]["record"][1] = 4; // two-sided only with the unit installed
    ui_test::InstallPrinter(u"P1", ui_test::Compile(source));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());

    struct Case {
        const char* what;
        DWORD privateFlags;
        DWORD duplexUnit, counter, finisher; // states of the list entries
        WORD duplexType, deptCounter, bin;
    } cases[] = {
        {"nothing offered, nothing installed", 0, 0, 0, 0, 7, 0, 5},
        {"two-sided offered without the unit", 1u << 9, 0, 0, 0, 1, 0, 5},
        {"two-sided offered with the unit", 1u << 9, 1, 0, 0, 0, 0, 5},
        {"unit installed but not offered", 0, 1, 0, 0, 7, 0, 5},
        {"department counter", 0, 0, 1, 0, 7, 1, 5},
        {"finisher's stapling", 0, 0, 0, 1, 7, 0, 0x101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CInstallOption list(p.printer(), p.binding());
        InstallOptionEntry* duplex = list.FindNth(kOption25, 1);
        InstallOptionEntry* counter = list.FindNth(kOption63, 1);
        InstallOptionEntry* finisher = list.Find(kOptionFinisher, 1);
        ASSERT_TRUE(duplex && counter && finisher);
        list.ClearOption(kOption25);
        duplex->state = c.duplexUnit;
        counter->state = c.counter;
        finisher->state = c.finisher;
        DEVMODE_IMAGEW image{};
        image.priv.PrivateFlags = c.privateFlags;
        image.priv.DuplexType = 7;
        image.priv.DeptCounterFlags = 1; // cleared when the counter is not installed
        image.priv.OutputBin = 5;
        ModelOptionPair pair{p.binding(), &list};
        EXPECT_TRUE(ReviseDevmodeByOptions(&pair, &image));
        EXPECT_EQ(image.priv.DuplexType, c.duplexType);
        EXPECT_EQ(image.priv.DeptCounterFlags, c.deptCounter);
        EXPECT_EQ(image.priv.OutputBin, c.bin);
    }
    DEVMODE_IMAGEW image{};
    ModelOptionPair none{p.binding(), nullptr};
    EXPECT_FALSE(ReviseDevmodeByOptions(&none, &image));
    CInstallOption list(p.printer(), p.binding());
    ModelOptionPair pair{p.binding(), &list};
    EXPECT_FALSE(ReviseDevmodeByOptions(&pair, nullptr));
}

} // namespace

// Detected memory sizes and finisher names turned into installed entries of
// the installed-option list, over models compiled for each case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detected_options.h"
#include "model_codes.h"
#include "ui_fixture.h"

namespace {

using namespace sheetwright;

class DetectedOptionsTest : public ::testing::Test {
  protected:
    void Install(const nlohmann::json& source) {
        ui_test::InstallPrinter(u"P1", ui_test::Compile(source));
    }
};

TEST_F(DetectedOptionsTest, MemorySizeToModules) {
    struct Case {
        const char* what;
        DWORD start;
        const char* modules; // [id, name id, size, flags]
        DWORD size;
        BOOL result;
        std::vector<DWORD> states; // of modules 1, 2, 3
    } cases[] = {
        {"standard module makes it up",
         64,
         R"([[1, 3601, 64, "0x02"], [2, 3602, 128, "0x01"]])",
         128,
         TRUE,
         {1, 0}},
        {"largest first, then the next",
         64,
         R"([[1, 3601, 128, "0x01"], [2, 3602, 256, "0x01"]])",
         448,
         TRUE,
         {1, 1}},
        {"two passes at most",
         0,
         R"([[1, 3601, 128, "0x01"], [2, 3602, 128, "0x01"], [3, 3603, 128, "0x01"]])",
         512,
         FALSE,
         {1, 1, 0}},
        {"nothing fits: the smallest stands in",
         0,
         R"([[1, 3601, 128, "0x01"], [2, 3602, 64, "0x01"]])",
         32,
         FALSE,
         {0, 1}},
        {"a later module only when strictly larger",
         0,
         R"([[1, 3601, 256, "0x01"], [2, 3602, 256, "0x01"]])",
         256,
         TRUE,
         {1, 0}},
        {"memory left over", 64, R"([[1, 3601, 128, "0x01"]])", 256, FALSE, {1}},
        {"a module too large gives way to a later one of its id",
         0,
         R"([[1, 3601, 512, "0x01"], [1, 3601, 128, "0x01"], [2, 3602, 64, "0x01"]])",
         192,
         TRUE,
         {1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto source = ui_test::SampleSource("CX5540");
        source["codes"]["36"]["record"] = {c.start, c.start, 0, 8192, 0};
        source["codes"]["36"]["entries"] = nlohmann::json::parse(c.modules);
        Install(source);
        ui_test::BoundPrinter p(u"P1");
        ASSERT_TRUE(p.ok());
        CInstallOption list(p.printer(), p.binding());
        EXPECT_EQ(SetInstalledMemory(p.binding(), &list, c.size), c.result);
        for (size_t i = 0; i < c.states.size(); ++i) {
            const InstallOptionEntry* e = list.Find(kOptionMemory36, static_cast<WORD>(i + 1));
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->state, c.states[i]) << "module " << i + 1;
        }
    }
}

TEST_F(DetectedOptionsTest, MemoryArgumentsChangeNothing) {
    Install(ui_test::SampleSource("CX5540"));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    InstallOptionEntry* e = list.Find(kOptionMemory36, 1);
    ASSERT_NE(e, nullptr);
    e->state = 1;
    EXPECT_FALSE(SetInstalledMemory(p.binding(), &list, 0));
    EXPECT_FALSE(SetInstalledMemory(nullptr, &list, 1024));
    EXPECT_FALSE(SetInstalledMemory(p.binding(), nullptr, 1024));
    EXPECT_EQ(e->state, 1u);
}

TEST_F(DetectedOptionsTest, FinisherByName) {
    auto source = ui_test::SampleSource("CX5540");
    auto& finishers = source["codes"]["27"]["entries"];
    // Finisher 1 has no punch unit (-1) and its stapler always (1), finisher 2
    // a punch only when reported (0) and its stapler always (1);
    // an unknown finisher 99 stands for what the model does not name.
    finishers[1]["fold"]["default"] = 1;
    auto unknown = finishers[0];
    unknown["id"] = 99;
    unknown["name"] = "OTHER";
    finishers.push_back(unknown);
    Install(source);
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());

    struct Case {
        const char* name;
        DWORD punch;
        BOOL result;
        DWORD state1, state2, state99;
    } cases[] = {
        {"FS-5500", 1, TRUE, kFinisherFoldUnit | 1, 0, 0},
        {"FS-5520 Booklet", 0, TRUE, 0, kFinisherFoldUnit | 1, 0},
        {"FS-5520 Booklet", 1, TRUE, 0, kFinisherPunchUnit | kFinisherFoldUnit | 1, 0},
        {"fs-5500", 0, FALSE, 0, 0, 1},
        {"FS-55", 0, FALSE, 0, 0, 1},
        {"FS-5500 ", 0, FALSE, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.punch ? " punch" : ""));
        CInstallOption list(p.printer(), p.binding());
        ASSERT_NE(list.Find(kOptionFinisher, 99), nullptr);
        list.Find(kOptionFinisher, 2)->state = 1; // a stale choice goes
        EXPECT_EQ(FindFinisherByName(p.binding(), &list, c.name, c.punch), c.result);
        EXPECT_EQ(list.Find(kOptionFinisher, 1)->state, c.state1);
        EXPECT_EQ(list.Find(kOptionFinisher, 2)->state, c.state2);
        EXPECT_EQ(list.Find(kOptionFinisher, 99)->state & 1, c.state99);
    }
    CInstallOption list(p.printer(), p.binding());
    list.Find(kOptionFinisher, 2)->state = 1;
    EXPECT_FALSE(FindFinisherByName(p.binding(), &list, "", 0));
    EXPECT_FALSE(FindFinisherByName(p.binding(), &list, nullptr, 0));
    EXPECT_FALSE(FindFinisherByName(nullptr, &list, "FS-5500", 0));
    EXPECT_EQ(list.Find(kOptionFinisher, 2)->state, 1u);
}

} // namespace

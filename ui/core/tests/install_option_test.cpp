// The installed-option list: built from the model, read from and written to
// the printer data, and the availability tests over it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "install_option.h"
#include "model_codes.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;

void SetData(HANDLE printer, const char16_t* name, DWORD type, const std::vector<BYTE>& bytes) {
    ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(name), type,
                              const_cast<LPBYTE>(bytes.data()), static_cast<DWORD>(bytes.size())),
              0u);
}

std::vector<BYTE> Record(WORD option, WORD value, DWORD state) {
    InstallOptionEntry e{option, value, 0, 0, state, 1};
    std::vector<BYTE> b(sizeof e);
    std::memcpy(b.data(), &e, sizeof e);
    return b;
}

// The sample's department counter default: bit 2 of the first value of its table.
DWORD SampleDepartmentDefault() {
    auto first = ui_test::SampleSource("CX5540")["codes"]["63"]["2"][0];
    DWORD v =
        first.is_string() ? std::stoul(first.get<std::string>(), nullptr, 0) : first.get<DWORD>();
    return (v & 0x4) ? 1 : 0;
}

class InstallOptionTest : public ::testing::Test {
  protected:
    void Install(const ui_test::Bytes& model) { ui_test::InstallPrinter(u"P1", model); }
};

TEST_F(InstallOptionTest, ModelListReadChangedAndWrittenBack) {
    Install(ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    ASSERT_EQ(list.Count(), 17u);
    // Model defaults: nothing optional installed; option 63 from its table.
    EXPECT_EQ(list.Find(kOptionTray, 3)->state, 0u);
    EXPECT_EQ(list.Find(kOption63, 1)->state, SampleDepartmentDefault());
    EXPECT_EQ(list.Find(kOptionTray, 258)->trayKind, 2);
    EXPECT_EQ(list.Find(kOptionTray, 3)->modelWord, 9027); // "Tray 3"
    EXPECT_EQ(list.CountEntries(kOptionTray, kAnyTrayKind), 3u);
    EXPECT_EQ(list.CountEntries(kOptionTray, 5), 1u);
    ASSERT_NE(list.FindKind5Tray(), nullptr);
    EXPECT_EQ(list.FindKind5Tray()->value, 11);
    EXPECT_EQ(list.FindNth(kOptionFinisher, 2), list.Find(kOptionFinisher, 2));
    EXPECT_EQ(list.FindByValue(kOptionTray, 258), list.Find(kOptionTray, 258));
    EXPECT_EQ(list.FindInstalledFinisher(0), nullptr);

    // The user installs the second feeder and the second finisher.
    list.Find(kOptionTray, 258)->state = 1;
    list.Find(kOptionFinisher, 2)->state = 1 | kFinisherFoldUnit;
    EXPECT_EQ(list.FindInstalledFinisher(0), list.Find(kOptionFinisher, 2));
    EXPECT_EQ(list.FindInstalledFinisher(0), list.FindInstalledFinisher(1));
    ASSERT_EQ(list.Write(), 0u);

    // The printer data holds the list byte for byte and its size.
    DWORD type = 0, got = 0, size = 0;
    std::vector<BYTE> stored(17 * 16);
    EXPECT_EQ(GetPrinterDataW(p.printer(), const_cast<LPWSTR>(kInstallOptionValue), &type,
                              stored.data(), static_cast<DWORD>(stored.size()), &got),
              0u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(got, 17u * 16);
    EXPECT_EQ(std::memcmp(stored.data(), list.Entries(), got), 0);
    EXPECT_EQ(GetPrinterDataW(p.printer(), const_cast<LPWSTR>(kInstallOptionSizeValue), &type,
                              reinterpret_cast<LPBYTE>(&size), 4, &got),
              0u);
    EXPECT_EQ(size, 17u * 16);

    // A new list takes the stored states.
    CInstallOption again(p.printer(), p.binding());
    EXPECT_EQ(again.Find(kOptionTray, 258)->state, 1u);
    EXPECT_EQ(again.Find(kOptionFinisher, 2)->state, 1u | kFinisherFoldUnit);
    EXPECT_EQ(again.Find(kOption63, 1)->state, SampleDepartmentDefault());
    // Reload ignores the stored list: the model defaults again.
    EXPECT_TRUE(again.Reload());
    EXPECT_EQ(again.Find(kOptionTray, 258)->state, 0u);
    EXPECT_EQ(again.Find(kOptionFinisher, 2)->state, 0u);
}

TEST_F(InstallOptionTest, StoredRecordsApplyOnlyWhereTheUserMaySet) {
    auto source = ui_test::SampleSource("CX5540");
    // The first feeder's tray becomes standard equipment.
    source["codes"]["26"]["entries"][0]["trays"][0]["option_flags"] = "0x02";
    Install(ui_test::Compile(source));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());
    std::vector<BYTE> value;
    for (auto r : {Record(kOptionTray, 3, 0), Record(kOptionTray, 11, 1)})
        value.insert(value.end(), r.begin(), r.end());
    value.insert(value.end(), 8, 0xEE); // a torn tail: not a whole record
    SetData(p.printer(), kInstallOptionValue, REG_BINARY, value);
    CInstallOption list(p.printer(), p.binding());
    ASSERT_GT(list.Count(), 0u);
    EXPECT_EQ(list.Find(kOptionTray, 3)->flags & kOptionUserSettable, 0u);
    EXPECT_EQ(list.Find(kOptionTray, 3)->state, 1u); // standard: the stored 0 does not apply
    EXPECT_EQ(list.Find(kOptionTray, 11)->state, 1u);
    EXPECT_EQ(list.Find(kOptionTray, 258)->state, 0u); // no stored record: model default
}

TEST_F(InstallOptionTest, DepartmentCounterDefaultFromItsTable) {
    auto source = ui_test::SampleSource("CX5540");
    for (const char* first : {"0x04", "0x13"}) {
        source["codes"]["63"]["2"][0] = first;
        Install(ui_test::Compile(source));
        ui_test::BoundPrinter p(u"P1");
        ASSERT_TRUE(p.ok());
        CInstallOption list(p.printer(), p.binding());
        ASSERT_NE(list.Find(kOption63, 1), nullptr);
        EXPECT_EQ(list.Find(kOption63, 1)->state, std::string(first) == "0x04" ? 1u : 0u) << first;
    }
}

TEST_F(InstallOptionTest, ChangePaperTrayFromModelAndPrinterData) {
    Install(ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());
    {
        CInstallOption list(p.printer(), p.binding());
        EXPECT_EQ(list.ChangePaperTraySupported(), 1u);
        EXPECT_EQ(list.ChangePaperTray(), 1u);
    }
    SetData(p.printer(), kChangePaperTrayValue, REG_BINARY, {0});
    CInstallOption list(p.printer(), p.binding());
    EXPECT_EQ(list.ChangePaperTray(), 0u);
    EXPECT_TRUE(list.Reload());
    EXPECT_EQ(list.ChangePaperTray(), 1u);
}

TEST_F(InstallOptionTest, ArgumentsAndMissingTables) {
    Install(ui_test::SampleModel("LP1220"));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());
    DWORD size = 0, count = 0;
    EXPECT_EQ(ReadInstallOption(p.printer(), nullptr, nullptr, &count, p.binding()),
              static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(ReadInstallOption(p.printer(), nullptr, &size, &count, nullptr),
              static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(WriteInstallOption(p.printer(), nullptr, 0, p.binding()),
              static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_NE(ReadInstallOption(p.printer(), nullptr, &size, &count, p.binding()), 0u);
    // A model without an option directory: an empty list, and every test answers 0.
    CInstallOption list(p.printer(), p.binding());
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Find(kOptionTray, 1), nullptr);
    EXPECT_EQ(list.FindInstalledFinisher(0), nullptr);
    ModelOptionPair pair{p.binding(), &list};
    EXPECT_TRUE(IsFeatureAvailable(&pair, 0, nullptr)); // mask 0
    for (auto test : {HasModelFlag25Bits0To1, IsOption25AInstalled, IsTable29FeatureAvailable,
                      IsJobType60Available, HasTable79Flags})
        EXPECT_FALSE(test(&pair));
    EXPECT_FALSE(MarkFinisherInstalled(&pair, 1, 1, 1));
}

TEST_F(InstallOptionTest, AvailabilityFollowsTheInstalledUnits) {
    Install(ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    ModelOptionPair pair{p.binding(), &list};
    // Memory of class 36: the on-board 512 plus installed modules (512, 1024).
    EXPECT_EQ(GetInstalledMemorySize(&pair), 512u);
    FeatureLimits need1024{2, 1024, 0};
    EXPECT_FALSE(IsFeatureAvailable(&pair, 0x2, &need1024));
    list.Find(kOptionMemory36, 2)->state = 1;
    EXPECT_EQ(GetInstalledMemorySize(&pair), 1536u);
    EXPECT_TRUE(IsFeatureAvailable(&pair, 0x2, &need1024));
    // Presence of the optional hard disk (class 35).
    EXPECT_FALSE(IsFeatureAvailable(&pair, 0x1, nullptr));
    list.Find(kOptionMemory35, 1)->state = 1;
    EXPECT_TRUE(IsFeatureAvailable(&pair, 0x1, nullptr));
    // A finisher.
    EXPECT_FALSE(IsFeatureAvailable(&pair, 0x8, nullptr));
    EXPECT_TRUE(MarkFinisherInstalled(&pair, 1, 0, 0));
    EXPECT_NE(list.Find(kOptionFinisher, 1)->state & 1, 0u);
    EXPECT_TRUE(IsFeatureAvailable(&pair, 0x8, nullptr));
    // Trays: the model's own, or an installed feeder's.
    EXPECT_FALSE(IsTrayAvailable(&pair, 258));
    list.Find(kOptionTray, 258)->state = 1;
    EXPECT_TRUE(IsTrayAvailable(&pair, 258));
    EXPECT_TRUE(HasTable37Entry(&pair, kOptionTray));
    EXPECT_TRUE(HasModelFlag25Bit4(&pair));  // 0x15 has bit 4
    EXPECT_FALSE(HasModelFlag25Bit8(&pair)); // and not 0x100
}

TEST_F(InstallOptionTest, MemoryLimitKeepsTheChosenModule) {
    auto source = ui_test::SampleSource("CX5540");
    // Three 1024 modules beside a 512 start and a 2048 maximum.
    source["codes"]["36"]["entries"] = nlohmann::json::parse(
        R"([[1, 3601, 1024, "0x01"], [2, 3602, 1024, "0x01"], [3, 3603, 1024, "0x01"]])");
    Install(ui_test::Compile(source));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    InstallOptionEntry* a = list.Find(kOptionMemory36, 1);
    InstallOptionEntry* b = list.Find(kOptionMemory36, 2);
    InstallOptionEntry* c = list.Find(kOptionMemory36, 3);
    ASSERT_TRUE(a && b && c);
    // The first and the last are installed; the user adds the middle one. Every
    // installed module counts, also one behind the chosen one, so that what
    // remains fits: the others go, in list order, until it does.
    a->state = 1;
    c->state = 1;
    b->state = 1;
    EXPECT_TRUE(EnforceMemoryLimit(list.Entries(), list.Count(), b, p.binding()));
    EXPECT_EQ(a->state, 0u);
    EXPECT_EQ(b->state, 1u);
    EXPECT_EQ(c->state, 0u);
    ModelOptionPair pair{p.binding(), &list};
    EXPECT_EQ(GetInstalledMemorySize(&pair), 1536u);
    // Choosing the first again removes the middle one.
    a->state = 1;
    EnforceMemoryLimit(list.Entries(), list.Count(), a, p.binding());
    EXPECT_EQ(a->state, 1u);
    EXPECT_EQ(b->state, 0u);
    // Within the maximum nothing changes; another class is not looked at.
    c->state = 1;
    b->state = 0;
    a->state = 0;
    EnforceMemoryLimit(list.Entries(), list.Count(), c, p.binding());
    EXPECT_EQ(c->state, 1u);
    EXPECT_TRUE(
        EnforceMemoryLimit(list.Entries(), list.Count(), list.Find(kOptionTray, 3), p.binding()));
}

TEST_F(InstallOptionTest, StandardModulesWithoutAStoredList) {
    auto source = ui_test::SampleSource("CX5540");
    // Every module standard: installing each in turn keeps only the last.
    source["codes"]["36"]["entries"] = nlohmann::json::parse(
        R"([[1, 3601, 1024, "0x03"], [2, 3602, 1024, "0x03"], [3, 3603, 1024, "0x03"]])");
    Install(ui_test::Compile(source));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    ASSERT_NE(list.Find(kOptionMemory36, 3), nullptr);
    EXPECT_EQ(list.Find(kOptionMemory36, 1)->state, 0u);
    EXPECT_EQ(list.Find(kOptionMemory36, 2)->state, 0u);
    EXPECT_EQ(list.Find(kOptionMemory36, 3)->state, 1u);
}

} // namespace

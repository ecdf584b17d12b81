// The settings comparison and its difference lines, with the sample model's
// papers and the package's own strings.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "profile_compare.h"
#include "sheet_context.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/user.h"

namespace {

using namespace sheetwright;

std::unique_ptr<DEVMODE_IMAGEW> Settings() {
    auto d = std::make_unique<DEVMODE_IMAGEW>();
    std::memset(d.get(), 0, sizeof *d);
    d->dm.dmSize = DEVMODEW_SIZE;
    d->dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    d->dm.dmOrientation = 1;
    d->dm.dmPaperSize = 9; // A4
    d->dm.dmCopies = 1;
    d->priv.Signature = PRIVATE_DEVMODE_SIGNATURE;
    return d;
}

class ProfileCompare : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(u"P", ui_test::SampleModel("CX5540"), {"Resbundle.DLL"});
        printer_ = std::make_unique<ui_test::BoundPrinter>(u"P");
        ASSERT_TRUE(printer_->ok());
        resources_ = LoadLibraryW((ui_test::DriverFolder(u"P") + u"\\Resbundle.DLL").c_str());
        ASSERT_NE(resources_, nullptr);
        context_ = std::make_unique<SheetContext>();
        std::memset(context_.get(), 0, sizeof *context_);
        context_->resourceModule = resources_;
        context_->model = *printer_->binding();
        list_ = CreateWindowExW(0, u"LISTBOX", u"", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                                nullptr);
        ASSERT_NE(list_, nullptr);
    }
    void TearDown() override {
        if (list_) DestroyWindow(list_);
        if (resources_) FreeLibrary(resources_);
    }
    std::vector<std::string> Lines() {
        std::vector<std::string> out;
        const LRESULT count = SendMessageW(list_, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char16_t text[256] = {};
            SendMessageW(list_, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            out.push_back(platform::ToUtf8(text));
        }
        return out;
    }
    std::unique_ptr<ui_test::BoundPrinter> printer_;
    HMODULE resources_ = nullptr;
    std::unique_ptr<SheetContext> context_;
    HWND list_ = nullptr;
};

TEST_F(ProfileCompare, EqualSettingsGiveNoLines) {
    auto a = Settings(), b = Settings();
    EXPECT_TRUE(CompareSettings(nullptr, a.get(), b.get(), nullptr, context_.get()));
    EXPECT_TRUE(CompareSettings(nullptr, a.get(), b.get(), list_, context_.get()));
    EXPECT_TRUE(Lines().empty());
}

TEST_F(ProfileCompare, OneLinePerSetting) {
    const struct {
        const char* what;
        void (*change)(DEVMODE_IMAGEW*);
        std::vector<std::string> lines;
    } kCases[] = {
        {"paper size", [](DEVMODE_IMAGEW* d) { d->dm.dmPaperSize = 8; }, {"Paper Size\t:A3"}},
        {"custom size in two fields",
         [](DEVMODE_IMAGEW* d) { d->dm.dmPaperLength = 2000, d->dm.dmPaperWidth = 1000; },
         {"Paper Size\t:A4"}},
        {"reversed landscape",
         [](DEVMODE_IMAGEW* d) { d->dm.dmOrientation = 2, d->priv.Rotate180 = 1; },
         {"Orientation\t:Reverse Landscape"}},
        {"copies and collate",
         [](DEVMODE_IMAGEW* d) { d->dm.dmCopies = 3, d->dm.dmCollate = 1; },
         {"Copies\t:3", "Collate\t:On"}},
        {"secure mailbox with its box",
         [](DEVMODE_IMAGEW* d) {
             d->priv.JobType = 3;
             std::strcpy(d->priv.SecureBoxId, "12");
             d->priv.JobTypeOptions = 1;
         },
         {"Job Type\t:Secure Mailbox ( ID=12 )", "Job Type\t:Input when printing"}},
        {"watermark by name",
         [](DEVMODE_IMAGEW* d) {
             d->priv.WatermarkFlags = 2;
             std::strcpy(reinterpret_cast<char*>(d->priv.WatermarkRecord) + 4, "DRAFT");
         },
         {"Watermark\t:DRAFT"}},
        {"layout", [](DEVMODE_IMAGEW* d) { d->priv.LayoutKind = 2; }, {"Booklet\t:On"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        SendMessageW(list_, LB_RESETCONTENT, 0, 0);
        auto shown = Settings(), reference = Settings();
        c.change(shown.get());
        EXPECT_FALSE(
            CompareSettings(nullptr, shown.get(), reference.get(), nullptr, context_.get()));
        EXPECT_FALSE(CompareSettings(nullptr, shown.get(), reference.get(), list_, context_.get()));
        EXPECT_EQ(Lines(), c.lines);
        // A second pass adds nothing: each setting is listed once.
        CompareSettings(nullptr, shown.get(), reference.get(), list_, context_.get());
        EXPECT_EQ(Lines().size(), c.lines.size());
    }
}

} // namespace

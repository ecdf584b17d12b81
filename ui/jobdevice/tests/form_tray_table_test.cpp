// The form-to-tray table against the printer data "FormTrayEx": records laid
// out by hand, a deleted user paper cleared, removed trays dropped, and what
// reaches the printer data (an emptied table included).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "form_tray_table.h"
#include "install_option.h"
#include "ui_fixture.h"
#include "user_paper.h"
#include "win/registry.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
using ui_test::Bytes;

constexpr char16_t kPrinter[] = u"Trays";

// One record as the stored value lays it out: marker, tray, paper, media.
Bytes Record(WORD tray, WORD paper, WORD media, DWORD marker = kFormTrayMarker) {
    Bytes b(16, 0);
    b[0] = static_cast<BYTE>(marker);
    b[4] = static_cast<BYTE>(tray);
    b[5] = static_cast<BYTE>(tray >> 8);
    b[6] = static_cast<BYTE>(paper);
    b[7] = static_cast<BYTE>(paper >> 8);
    b[8] = static_cast<BYTE>(media);
    b[9] = static_cast<BYTE>(media >> 8);
    return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

class FormTrayTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"));
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &defaults));
        table_.printer = printer_;
    }
    void TearDown() override {
        FreeFormTrayTable(&table_);
        if (printer_) ClosePrinter(printer_);
    }
    void Store(const Bytes& bytes) {
        Bytes copy = bytes;
        ASSERT_EQ(SetPrinterDataW(printer_, const_cast<LPWSTR>(kFormTrayValue), REG_BINARY,
                                  copy.data(), static_cast<DWORD>(copy.size())),
                  DWORD(ERROR_SUCCESS));
    }
    Bytes Stored() {
        DWORD type = 0, needed = 0;
        GetPrinterDataW(printer_, const_cast<LPWSTR>(kFormTrayValue), &type, nullptr, 0, &needed);
        Bytes b(needed);
        if (needed) {
            EXPECT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(kFormTrayValue), &type, b.data(),
                                      needed, &needed),
                      DWORD(ERROR_SUCCESS));
        }
        return b;
    }
    HANDLE printer_ = nullptr;
    FormTrayTable table_{};
};

TEST_F(FormTrayTableTest, HandLaidRecordsLoadAndSaveByteForByte) {
    // A record of another writer's marker is read; saving writes it back as stored.
    const Bytes stored = Concat({Record(1, 9, 0), Record(260, 456, 3, 0)});
    Store(stored);
    ASSERT_TRUE(LoadFormTrayTable(&table_));
    ASSERT_EQ(table_.count, 2u);
    const FormTrayRecord* second = FindFormTrayRecord(&table_, 260);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->paperId, 456);
    EXPECT_EQ(second->mediaId, 3);
    EXPECT_EQ(FindFormTrayRecord(&table_, 2), nullptr);
    EXPECT_EQ(SaveFormTrayTable(&table_), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Stored(), stored);
}

TEST_F(FormTrayTableTest, SetReplacesTheTraysRecordOrAppendsOneWithTheMarker) {
    Store(Record(1, 9, 0, 0));
    ASSERT_TRUE(LoadFormTrayTable(&table_));
    FormTrayRecord r{};
    r.trayId = 1;
    r.paperId = 5;
    ASSERT_TRUE(SetFormTrayRecord(&table_, r));
    r.trayId = 3;
    r.paperId = 0;
    r.mediaId = 2;
    ASSERT_TRUE(SetFormTrayRecord(&table_, r));
    ASSERT_EQ(SaveFormTrayTable(&table_), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Stored(), Concat({Record(1, 5, 0), Record(3, 0, 2)}));
}

TEST_F(FormTrayTableTest, DeletedUserPapersBecomeUnspecified) {
    ui_test::BoundPrinter bound(kPrinter);
    ASSERT_TRUE(bound.ok());
    CUserPaper papers;
    papers.SetDefaultPath(bound.binding());
    UserPaperRecord kept{};
    std::strcpy(kept.name, "Kept");
    kept.widthTenthMm = 1000;
    kept.lengthTenthMm = 1500;
    ASSERT_TRUE(papers.Add(&kept));
    const WORD keptId = papers.At(0)->paperId;
    ASSERT_TRUE(papers.Write());

    // A model paper, a kept and a deleted user paper, and an id that reads as
    // negative (no paper of either kind, left alone).
    Store(Concat({Record(1, 9, 1), Record(2, keptId, 0), Record(3, 470, 2), Record(4, 0x8001, 0)}));
    ASSERT_TRUE(LoadFormTrayTable(&table_));
    EXPECT_TRUE(FixFormTrayUserPapers(&table_, bound.binding()));
    EXPECT_FALSE(FixFormTrayUserPapers(&table_, bound.binding()));
    ASSERT_EQ(SaveFormTrayTable(&table_), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Stored(), Concat({Record(1, 9, 1), Record(2, keptId, 0), Record(3, 0, 2),
                                Record(4, 0x8001, 0)}));
}

TEST_F(FormTrayTableTest, RemovedOptionalTraysLoseTheirRecords) {
    ui_test::BoundPrinter bound(kPrinter);
    ASSERT_TRUE(bound.ok());
    CInstallOption options(printer_, bound.binding());
    const InstallOptionEntry* first = options.FindNth(kOptionInputTray, 1);
    const InstallOptionEntry* second = options.FindNth(kOptionInputTray, 2);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    options.Find(kOptionInputTray, first->value)->state = 1;
    options.Find(kOptionInputTray, second->value)->state = 0;
    // Tray 1 is standard (no option entry): it always stays.
    Store(Concat({Record(1, 9, 0), Record(first->value, 5, 0), Record(second->value, 6, 0)}));
    ASSERT_TRUE(LoadFormTrayTable(&table_));
    ReconcileFormTrayTable(&table_, &options);
    ASSERT_EQ(SaveFormTrayTable(&table_), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Stored(), Concat({Record(1, 9, 0), Record(first->value, 5, 0)}));

    // With every record dropped the stored value empties as well.
    options.Find(kOptionInputTray, first->value)->state = 0;
    FreeFormTrayTable(&table_);
    Store(Record(first->value, 5, 0));
    ASSERT_TRUE(LoadFormTrayTable(&table_));
    ReconcileFormTrayTable(&table_, &options);
    EXPECT_EQ(table_.count, 0u);
    ASSERT_EQ(SaveFormTrayTable(&table_), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(Stored().empty());
    FreeFormTrayTable(&table_);
    EXPECT_FALSE(LoadFormTrayTable(&table_));
}

TEST_F(FormTrayTableTest, ACutRecordIsIgnored) {
    Bytes stored = Concat({Record(1, 9, 0), Record(2, 5, 0)});
    stored.resize(stored.size() - 3);
    Store(stored);
    ASSERT_TRUE(LoadFormTrayTable(&table_));
    EXPECT_EQ(table_.count, 1u);
}

} // namespace

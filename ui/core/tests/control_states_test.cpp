// The constraint run after a user change, on a small dialog over a sheet's
// context: a paper chosen in one box refuses media types, which leave the
// other box, and the image is resolved; the cached constraint items; a
// dialog locked on a read-only sheet.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "control_states.h"
#include "kinsoku_list.h"
#include "list_helpers.h"
#include "platform/user_ctl.h"
#include "prop_page.h"
#include "track_dm.h"
#include "sheet_context.h"
#include "ui_fixture.h"
#include "user_fixture.h"
#include "win/base.h"
#include "win/spool.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;

constexpr char16_t kPrinter[] = u"Controls";
constexpr int kPaperBox = 1001, kMediaBox = 1002, kDuplexCheck = 1003;
// Sample model CX5540: Letter and Ledger, and the media types Ledger refuses
// (Bond among them).
constexpr SHORT kLetter = 1, kLegal = 5, kLedger = 8;
constexpr DWORD kPlain = 1, kBond = 3, kThick = 257;
const std::set<LRESULT> kRefusedOnLedger = {2, 3, 259, 260};

std::vector<BYTE> DialogTemplate() {
    user_test::TemplateBuilder b;
    b.Dialog(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT, 200, 120, u"Paper")
        .Item(0x85, nullptr, CBS_DROPDOWNLIST | WS_TABSTOP, 7, 7, 120, 80, kPaperBox, u"")
        .Item(0x85, nullptr, CBS_DROPDOWNLIST | WS_TABSTOP, 7, 27, 120, 80, kMediaBox, u"")
        .Item(0x80, nullptr, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 47, 120, 12, kDuplexCheck, u"Duplex")
        .Item(0x80, nullptr, BS_DEFPUSHBUTTON, 7, 90, 50, 14, IDOK, u"OK")
        .Item(0x80, nullptr, BS_PUSHBUTTON, 60, 90, 50, 14, IDCANCEL, u"Cancel")
        .Item(0x80, nullptr, BS_PUSHBUTTON, 113, 90, 50, 14, kDialogHelpButtonId, u"Help");
    return b.Bytes();
}

std::set<LRESULT> ItemData(HWND box) {
    std::set<LRESULT> data;
    const LRESULT n = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
        data.insert(SendMessageW(box, CB_GETITEMDATA, static_cast<WPARAM>(i), 0));
    return data;
}

int IndexOfData(HWND box, LRESULT data) {
    const LRESULT n = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
        if (SendMessageW(box, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == data)
            return static_cast<int>(i);
    return -1;
}

LONG_PTR CALLBACK AcceptAll(HANDLE, UINT, LPARAM, LPARAM) {
    return 1;
}

// The context of a document sheet on a printer of a model.
class SheetContextTest : public ::testing::Test {
  protected:
    void OpenContext(const ui_test::Bytes& model, PFNCOMPROPSHEET callback) {
        ui_test::InstallPrinter(kPrinter, model, {"Resbundle.DLL"});
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &defaults));
        DEVICEPROPERTYHEADER header{sizeof header, 0, printer_, const_cast<LPWSTR>(kPrinter)};
        PropPageParams p{};
        p.size = sizeof p;
        p.printerName = const_cast<LPWSTR>(kPrinter);
        p.propertyHeader = &header;
        p.sheetKind = kSheetDocument;
        p.pfnComPropSheet = callback;
        context_ = CreateSheetContext(&p);
        ASSERT_NE(context_, nullptr);
        ASSERT_NE(context_->constraints, nullptr);
    }
    void TearDown() override {
        FreeSheetContext(context_);
        if (printer_) ClosePrinter(printer_);
        EXPECT_EQ(platform::user::test::LiveWindows(), 0u);
    }
    DEVMODE_IMAGEW& Image() { return context_->workingImage; }

    HANDLE printer_ = nullptr;
    SheetContext* context_ = nullptr;
};

class SheetDialog : public SheetContextTest {
  protected:
    void SetUp() override { OpenContext(ui_test::SampleModel("CX5540"), nullptr); }
    void TearDown() override {
        if (dialog_) DestroyWindow(dialog_);
        SheetContextTest::TearDown();
    }

    // The dialog's handlers, as a page's: a paper chosen runs the rules on
    // the working image and refills the media box from the cached item.
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
            auto* self = reinterpret_cast<SheetDialog*>(lParam);
            self->dialog_ = dialog;
            self->FillPapers();
            self->FillMedia();
            return TRUE;
        }
        auto* self = reinterpret_cast<SheetDialog*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
        if (message == WM_COMMAND && self && LOWORD(wParam) == kPaperBox &&
            HIWORD(wParam) == CBN_SELCHANGE) {
            self->Image().dm.dmPaperSize =
                static_cast<SHORT>(GetComboSelData(GetDlgItem(dialog, kPaperBox)));
            ApplyRulesAndRefresh(self->context_, nullptr, FALSE);
            self->FillMedia();
            return TRUE;
        }
        return FALSE;
    }
    HWND Open() {
        bytes_ = DialogTemplate();
        return CreateDialogIndirectParamW(nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(bytes_.data()),
                                          nullptr, Procedure, reinterpret_cast<LPARAM>(this));
    }
    void FillPapers() {
        HWND box = GetDlgItem(dialog_, kPaperBox);
        CKinsokuItem* papers = context_->constraintItems[kSlotPaper];
        FillComboFromModelList(context_->resourceModule, box,
                               papers ? papers->BuildValueChain() : nullptr);
        SelectComboByData(box, Image().dm.dmPaperSize);
    }
    void FillMedia() {
        HWND box = GetDlgItem(dialog_, kMediaBox);
        CKinsokuItem* media = context_->constraintItems[kSlotMedia];
        FillComboFromModelList(context_->resourceModule, box,
                               media ? media->BuildValueChain() : nullptr);
        SelectComboByData(box, static_cast<LPARAM>(Image().dm.dmMediaType));
    }
    HWND Box(int id) const { return GetDlgItem(dialog_, id); }

    HWND dialog_ = nullptr;
    std::vector<BYTE> bytes_;
};

// The sheet starts with its items cached; after the rules are taken from
// the list again, a missing item leaves its slot empty.
TEST_F(SheetDialog, TheContextCachesTheFiveItems) {
    const WORD items[kConstraintSlots] = {kItemPaper, kItemMedia, kItemSource, kItemDuplex,
                                          kItemSort};
    for (size_t slot = 0; slot < kConstraintSlots; ++slot)
        EXPECT_EQ(context_->constraintItems[slot], context_->constraints->FindItem(items[slot]))
            << "slot " << slot;
    ASSERT_NE(context_->constraintItems[kSlotPaper], nullptr);
    ASSERT_NE(context_->constraintItems[kSlotMedia], nullptr);
    context_->constraints->RemoveItem(kItemSort);
    ASSERT_TRUE(RefreshControlStates(context_));
    EXPECT_EQ(context_->constraintItems[kSlotSort], nullptr);
    EXPECT_NE(context_->constraintItems[kSlotMedia], nullptr);

    EXPECT_FALSE(RefreshControlStates(nullptr));
    EXPECT_EQ(ApplyRulesAndRefresh(nullptr, nullptr, TRUE), 0u);
    CKinsokuList* list = std::exchange(context_->constraints, nullptr);
    EXPECT_FALSE(RefreshControlStates(context_));
    EXPECT_EQ(ApplyRulesAndRefresh(context_, nullptr, TRUE), 0u) << "nothing to resolve with";
    context_->constraints = list;
}

// Choosing Ledger refuses Bond: the resolve gives the media type its
// default, and Bond and the other refused types leave the media box; back
// on Letter they return, while the resolved media type stays.
TEST_F(SheetDialog, APaperChoiceTakesRefusedMediaOutOfTheBox) {
    Image().dm.dmPaperSize = kLetter;
    Image().dm.dmMediaType = kBond;
    ApplyRulesAndRefresh(context_, nullptr, TRUE);
    ASSERT_EQ(Image().dm.dmPaperSize, kLetter);
    ASSERT_EQ(Image().dm.dmMediaType, kBond);
    ASSERT_TRUE(Open());
    const std::set<LRESULT> all = ItemData(Box(kMediaBox));
    EXPECT_TRUE(all.count(kBond));
    EXPECT_EQ(GetComboSelData(Box(kMediaBox)), static_cast<LRESULT>(kBond));

    ASSERT_TRUE(drv::SelectItem(Box(kPaperBox), IndexOfData(Box(kPaperBox), kLedger)));
    EXPECT_EQ(Image().dm.dmPaperSize, kLedger);
    EXPECT_EQ(Image().dm.dmMediaType, kPlain) << "the refused media type gave way";
    std::set<LRESULT> left = all;
    for (LRESULT media : kRefusedOnLedger)
        left.erase(media);
    EXPECT_EQ(ItemData(Box(kMediaBox)), left);
    EXPECT_EQ(GetComboSelData(Box(kMediaBox)), static_cast<LRESULT>(kPlain));
    EXPECT_EQ(context_->constraintItems[kSlotMedia], context_->constraints->FindItem(kItemMedia));

    ASSERT_TRUE(drv::SelectItem(Box(kPaperBox), IndexOfData(Box(kPaperBox), kLetter)));
    EXPECT_EQ(ItemData(Box(kMediaBox)), all);
    EXPECT_EQ(Image().dm.dmMediaType, kPlain);
}

// The rules run on a copy leave the working image alone.
TEST_F(SheetDialog, RulesOnACopy) {
    Image().dm.dmPaperSize = kLetter;
    Image().dm.dmMediaType = kBond;
    ApplyRulesAndRefresh(context_, nullptr, TRUE);
    DEVMODE_IMAGEW copy = Image();
    copy.dm.dmPaperSize = kLedger;
    EXPECT_EQ(ApplyRulesAndRefresh(context_, &copy, FALSE), 0u);
    EXPECT_EQ(copy.dm.dmMediaType, kPlain);
    EXPECT_EQ(Image().dm.dmPaperSize, kLetter);
    EXPECT_EQ(Image().dm.dmMediaType, kBond);
}

// A read-only sheet leaves a dialog only its OK, Cancel and Help; a sheet
// that may change settings leaves it alone.
TEST_F(SheetDialog, ReadOnlySheetsLockTheDialog) {
    struct Case {
        DWORD kind;
        DWORD flags;
        bool locked;
    } cases[] = {
        {kSheetDocument, DM_NOPERMISSION, true},
        {kSheetDocument, 0, false},
        {kSheetDevice, DPS_NOPERMISSION, true},
        {kSheetDevice, DM_NOPERMISSION, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << " " << c.flags);
        ASSERT_TRUE(Open());
        context_->sheetKind = c.kind;
        context_->callerFlags = c.flags;
        DisableAllChildren(context_, dialog_);
        for (int id : {kPaperBox, kMediaBox, kDuplexCheck})
            EXPECT_EQ(IsWindowEnabled(Box(id)), !c.locked) << id;
        for (int id : {IDOK, IDCANCEL, kDialogHelpButtonId})
            EXPECT_TRUE(IsWindowEnabled(Box(id))) << id;
        DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
    DisableAllChildren(nullptr, nullptr);
}

// A page's change that the tracker follows up (Legal brings its own media
// type here) takes the constraint items afresh; a change it leaves alone
// does not.
TEST_F(SheetContextTest, ATrackedFixUpRefreshesTheCachedItems) {
    auto source = ui_test::SampleSource("CX5540");
    for (auto& e : source["codes"]["20"]["entries"])
        if (e["id"] == kLegal) {
            e["tied_media"] = kThick;
            e["links"] = {1, 0, kLinkSelectMedia};
        } else if (e["id"] == kLetter) {
            e["links"] = {7, 0, 0};
        }
    OpenContext(ui_test::Compile(source), AcceptAll);
    SheetContext* context = std::exchange(context_, nullptr); // the page frees it
    context->workingImage.dm.dmPaperSize = kLetter;
    context->workingImage.dm.dmMediaType = kPlain;
    context->tracker->Snapshot(&context->workingImage);
    auto* page = new CPropPage(kPageBasic, context);
    HWND window = CreateWindowExW(0, u"Static", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_TRUE(page->Attach(window));
    struct Step {
        SHORT paper;
        bool refreshed;
    };
    for (const Step& step : {Step{kLetter, false}, Step{kLegal, true}}) {
        SCOPED_TRACE(step.paper);
        std::fill(std::begin(context->constraintItems), std::end(context->constraintItems),
                  nullptr);
        context->workingImage.dm.dmPaperSize = step.paper;
        page->NotifySettingsChanged(TRUE, FALSE);
        EXPECT_EQ(context->constraintItems[kSlotMedia] != nullptr, step.refreshed);
    }
    EXPECT_EQ(context->workingImage.dm.dmMediaType, kThick);
    page->Detach();
    DestroyWindow(window);
    delete page; // the last page takes the context with it
}

// Rules that never settle: the run reports it, and the image is the one the
// last run settled on. Collate may only be what reverse order is not and
// reverse order only what collate is not; both on flip together for ever.
TEST(ApplyRules, ReportsRulesThatNeverSettle) {
    auto context = std::make_unique<SheetContext>();
    std::memset(static_cast<void*>(context.get()), 0, sizeof *context);
    auto* raw = reinterpret_cast<BYTE*>(&context->workingImage);
    DEVMODE_IMAGEW& img = context->workingImage;
    img.dm.dmSize = 220;
    img.dm.dmDriverExtra = 1100;
    img.dm.dmFields = DM_COLLATE;
    img.priv.PrivateFlags |= 1u << 12; // reverse order, trigger 229
    CKinsokuList list(nullptr, nullptr, raw);
    for (WORD item : {WORD{kItemCollate}, WORD{kItemReverse}}) {
        list.GetItem(item)->AddValue(0, 0, 0);
        list.GetItem(item)->AddValue(1, 0, 0);
    }
    const WORD zero = 0, one = 1;
    list.AddDependency(229, kItemCollate);
    list.FindItem(kItemCollate)->AddRuleValues(229, 0, &one, 1);
    list.FindItem(kItemCollate)->AddRuleValues(229, 1, &zero, 1);
    list.AddDependency(211, kItemReverse);
    list.FindItem(kItemReverse)->AddRuleValues(211, 0, &one, 1);
    list.FindItem(kItemReverse)->AddRuleValues(211, 1, &zero, 1);
    context->constraints = &list;

    img.dm.dmCollate = 0;
    img.priv.ReverseOrder = 1;
    EXPECT_EQ(ApplyRulesAndRefresh(context.get(), nullptr, FALSE), kResolveSettled);
    img.dm.dmCollate = 1;
    EXPECT_EQ(ApplyRulesAndRefresh(context.get(), nullptr, FALSE), kResolveUnsettled);
    EXPECT_EQ(img.dm.dmCollate, 0);
    EXPECT_EQ(img.priv.ReverseOrder, 1);
    EXPECT_EQ(ApplyRulesAndRefresh(context.get(), nullptr, FALSE), kResolveSettled);
}

// A change whose tracker fix-up never settles: the tracker puts the image
// back, so the sheet's own run finds it settled; the change is still
// reported as unsettled.
TEST(ApplyRules, ReportsATrackerFixUpThatNeverSettled) {
    auto context = std::make_unique<SheetContext>();
    std::memset(static_cast<void*>(context.get()), 0, sizeof *context);
    auto* raw = reinterpret_cast<BYTE*>(&context->workingImage);
    DEVMODE_IMAGEW& img = context->workingImage;
    img.dm.dmSize = 220;
    img.dm.dmDriverExtra = 1100;
    img.dm.dmFields = DM_COLLATE;
    img.priv.PrivateFlags |= 1u << 12; // reverse order, trigger 229
    img.priv.FeatureFlags |= 1u << 10; // text as black
    CKinsokuList list(nullptr, nullptr, raw);
    const WORD zero = 0, one = 1, both[] = {0, 1};
    for (WORD item : {WORD{kItemCollate}, WORD{kItemReverse}, WORD{kItemTextAsBlack}}) {
        list.GetItem(item)->AddValue(0, 0, 0);
        list.GetItem(item)->AddValue(1, 0, 0);
    }
    // Collate and reverse order flip each other for ever once both are on.
    list.AddDependency(kTriggerReverse, kItemCollate);
    list.FindItem(kItemCollate)->AddRuleValues(kTriggerReverse, 0, &one, 1);
    list.FindItem(kItemCollate)->AddRuleValues(kTriggerReverse, 1, &zero, 1);
    list.AddDependency(kTriggerCollate, kItemReverse);
    list.FindItem(kItemReverse)->AddRuleValues(kTriggerCollate, 0, &one, 1);
    list.FindItem(kItemReverse)->AddRuleValues(kTriggerCollate, 1, &zero, 1);
    // Halftone 1 wants text as black; halftone 2 leaves it free, which the
    // tracker answers by turning it off.
    list.AddDependency(kTriggerHalftone, kItemTextAsBlack);
    list.FindItem(kItemTextAsBlack)->AddRuleValues(kTriggerHalftone, 1, &one, 1);
    list.FindItem(kItemTextAsBlack)->AddRuleValues(kTriggerHalftone, 2, both, 2);
    context->constraints = &list;
    ModelBlock binding{};
    ModelOptionPair pair{&binding, nullptr};
    CTrackDM tracker;
    tracker.SetBinding(&binding);
    tracker.SetOptionPair(&pair);
    tracker.SetConstraints(&list);
    context->tracker = &tracker;

    img.dm.dmCollate = 0;
    img.priv.ReverseOrder = 1;
    img.priv.HalftoneKind = 1;
    img.priv.TextAsBlack = 1;
    ASSERT_EQ(ApplyRulesAndRefresh(context.get(), nullptr, FALSE), kResolveSettled);
    ASSERT_TRUE(tracker.Snapshot(&img));
    // The user picks halftone 2 and collation together.
    img.priv.HalftoneKind = 2;
    img.dm.dmCollate = 1;
    EXPECT_TRUE(tracker.Track(&img));
    EXPECT_TRUE(tracker.Unsettled());
    EXPECT_EQ(ApplyRulesAndRefresh(context.get(), nullptr, FALSE), kResolveUnsettled);
    // The next change that settles is reported settled.
    ASSERT_TRUE(tracker.Snapshot(&img));
    EXPECT_FALSE(tracker.Track(&img));
    EXPECT_EQ(ApplyRulesAndRefresh(context.get(), nullptr, FALSE), kResolveSettled);
}

} // namespace

// The edits as framework window objects on the custom paper dialog (a
// localised dialog from the resource library), typed into through the test
// driver under a comma-decimal locale: the same rules as the plain edits.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "edit_classes.h"
#include "local_dlg.h"
#include "platform/facts.h"
#include "platform/user_ctl.h"
#include "win/base.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr UINT kCustomPaperDialog = 1000;
constexpr int kWidthEdit = 1015;

// The custom paper dialog with one edit object bound to its width edit.
class EditDialog : public CLocalDlg {
  public:
    explicit EditDialog(CWnd* edit) : CLocalDlg(kCustomPaperDialog), edit_(edit) {}
    bool FromTemplateBlock() const { return m_lpDialogTemplate && !m_lpszTemplateName; }
    std::function<void(CWnd*)> onInit;

  protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kWidthEdit, *edit_); }
    BOOL OnInitDialog() override {
        CLocalDlg::OnInitDialog();
        if (onInit) onInit(edit_);
        return TRUE;
    }

  private:
    CWnd* edit_;
};

class EditClasses : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::test::SetLocale(0x0407);
        resources_ = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
        ASSERT_NE(resources_, nullptr);
        AfxSetResourceHandle(resources_);
    }
    void TearDown() override {
        AfxSetResourceHandle(nullptr);
        FreeLibrary(resources_);
        EXPECT_EQ(ut::LiveWindows(), 0u);
        for (const auto& u : ut::TakeUnanswered())
            ADD_FAILURE() << "left unanswered: " << u;
    }
    // Types into the bound edit and answers what it shows.
    std::u16string Type(CWnd& edit, const std::u16string& keys, int limit,
                        std::function<void(CWnd*)> setup = nullptr) {
        EditDialog dialog(&edit);
        EXPECT_TRUE(dialog.FromTemplateBlock());
        dialog.onInit = [&](CWnd* e) {
            e->SendMessage(EM_LIMITTEXT, limit);
            if (setup) setup(e);
        };
        std::u16string shown;
        ut::AnswerNextModal([&](HWND h) {
            HWND e = GetDlgItem(h, kWidthEdit);
            drv::TypeText(e, keys);
            shown = drv::ReadText(e);
            drv::PressButton(h, IDCANCEL);
        });
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        return shown;
    }
    HMODULE resources_ = nullptr;
};

TEST_F(EditClasses, EachEditKeepsToItsRule) {
    {
        CDoubleEdit e;
        EXPECT_EQ(Type(e, u"21a0.,5x", 6), u"210,5");
        EXPECT_EQ(e.Separator(), u",");
    }
    {
        CDoubleEdit e;
        e.SetIntegersOnly(TRUE);
        EXPECT_EQ(Type(e, u"21,5", 6), u"215");
    }
    {
        CIntEdit e;
        EXPECT_EQ(Type(e, u"1-2x3", 5), u"123");
    }
    {
        CIntEdit e;
        e.SetNegativeAllowed(TRUE);
        EXPECT_EQ(Type(e, u"12-", 5), u"-12");
    }
    {
        CMultiByteLimitEdit e;
        EXPECT_EQ(Type(e, u"ab\u65E5\u65E5c", 6), u"ab\u65E5\u65E5");
    }
    {
        CMultiCapEdit e; // digits only by default
        EXPECT_EQ(Type(e, u"12ab34", 8), u"1234");
    }
    {
        CMultiCapEdit e;
        EXPECT_EQ(
            Type(e, u"ab-1?x", 8,
                 [&](CWnd*) { e.Setup(kRuleRestricted | kRuleLetters | kRuleExtra, 0, "-"); }),
            u"ab-x");
        EXPECT_EQ(e.Rule().limit, 8u); // no limit given: eight characters
    }
}

TEST_F(EditClasses, DecimalValueReadsTheUsersSeparator) {
    CDoubleEdit e;
    double value = 0;
    EditDialog dialog(&e);
    ut::AnswerNextModal([&](HWND h) {
        drv::TypeText(GetDlgItem(h, kWidthEdit), u"148,5");
        value = e.GetValue();
        drv::PressButton(h, IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_DOUBLE_EQ(value, 148.5);
}

} // namespace

// Objects and run-time classes, and two libraries built with the framework:
// each keeps its own application, instance and resource handles.
#include <gtest/gtest.h>

#include <cstdlib>

#include "afxwin.h"
#include "mfcmodule.h"
#include "platform/loader_ctl.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "win/loader.h"

namespace {

class CShape : public CObject {
    DECLARE_DYNAMIC(CShape)
};
IMPLEMENT_DYNAMIC(CShape, CObject)

class CCircle : public CShape {
    DECLARE_DYNCREATE(CCircle)
  public:
    int radius = 5;
};
IMPLEMENT_DYNCREATE(CCircle, CShape)

TEST(RuntimeClassTest, KindsAndCreation) {
    CCircle circle;
    CShape shape;
    struct Case {
        const CObject* object;
        CRuntimeClass* cls;
        bool kind;
    } cases[] = {
        {&circle, RUNTIME_CLASS(CCircle), true}, {&circle, RUNTIME_CLASS(CShape), true},
        {&circle, RUNTIME_CLASS(CObject), true}, {&shape, RUNTIME_CLASS(CCircle), false},
        {&circle, RUNTIME_CLASS(CWnd), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.object->IsKindOf(c.cls) != 0, c.kind)
            << c.object->GetRuntimeClass()->m_lpszClassName << " / " << c.cls->m_lpszClassName;

    EXPECT_STREQ(circle.GetRuntimeClass()->m_lpszClassName, "CCircle");
    EXPECT_EQ(RUNTIME_CLASS(CShape)->CreateObject(), nullptr); // not DYNCREATE
    CObject* made = CRuntimeClass::FromName("CCircle")->CreateObject();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(DYNAMIC_DOWNCAST(CCircle, made)->radius, 5);
    EXPECT_EQ(DYNAMIC_DOWNCAST(CWnd, made), nullptr);
    delete made;
    EXPECT_EQ(CRuntimeClass::FromName("CNoSuchClass"), nullptr);
}

// The two test libraries, loaded by path for one test.
class Module {
  public:
    explicit Module(const char* name) {
        platform::loader::AddSearchFolder(MFC_TEST_MODULES_DIR);
        handle = LoadLibraryW(platform::FromUtf8(std::string(name) + ".DLL").c_str());
    }
    ~Module() {
        if (handle) FreeLibrary(handle);
    }
    template <class F> F* Get(const char* fn) const {
        return reinterpret_cast<F*>(reinterpret_cast<void (*)()>(GetProcAddress(handle, fn)));
    }
    std::u16string String(UINT id) const {
        WCHAR buf[128] = {};
        Get<BOOL(UINT, LPWSTR, int)>("MfcModuleString")(id, buf, 128);
        return buf;
    }
    HMODULE handle;
};

TEST(ModuleStateTest, EachLibraryHasItsOwnApplicationAndResources) {
    Module alpha("MfcAlpha"), beta("MfcBeta");
    ASSERT_NE(alpha.handle, nullptr);
    ASSERT_NE(beta.handle, nullptr);
    EXPECT_EQ(alpha.Get<int()>("MfcModuleInitCount")(), 1);
    EXPECT_EQ(beta.Get<int()>("MfcModuleInitCount")(), 1);

    struct Case {
        const Module* module;
        UINT id;
        std::u16string text;
    } cases[] = {
        {&alpha, IDS_MODULE_NAME, u"Alpha"},
        {&beta, IDS_MODULE_NAME, u"Beta – Größe"},
        {&alpha, IDS_GREETING, u"Hello from Alpha"},
        {&beta, IDS_GREETING, u"Grüße von Beta"},
        {&beta, IDS_FORMAT, u""}, // only Alpha has it
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.module->String(c.id), c.text) << c.id;

    for (const Module* m : {&alpha, &beta}) {
        HINSTANCE instance, resources, appInstance;
        m->Get<void(HINSTANCE*, HINSTANCE*, HINSTANCE*)>("MfcModuleHandles")(&instance, &resources,
                                                                             &appInstance);
        EXPECT_EQ(instance, m->handle);
        EXPECT_EQ(resources, m->handle);
        EXPECT_EQ(appInstance, m->handle);
    }

    // Alpha reads its strings from Beta once told to, and Beta is unaffected.
    alpha.Get<void(HINSTANCE)>("MfcModuleSetResources")(beta.handle);
    EXPECT_EQ(alpha.String(IDS_MODULE_NAME), u"Beta – Größe");
    alpha.Get<void(HINSTANCE)>("MfcModuleSetResources")(alpha.handle);
    EXPECT_EQ(alpha.String(IDS_MODULE_NAME), u"Alpha");
    // This program's own state is untouched by either.
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxGetResourceHandle(), GetModuleHandleW(nullptr));
}

TEST(ModuleStateTest, UnloadEndsTheApplication) {
    int exits = 0;
    {
        Module alpha("MfcAlpha");
        ASSERT_NE(alpha.handle, nullptr);
        alpha.Get<void(int*)>("MfcModuleCountExits")(&exits);
        Module again("MfcAlpha"); // a second load starts nothing
        EXPECT_EQ(again.Get<int()>("MfcModuleInitCount")(), 1);
    }
    EXPECT_EQ(exits, 1);
}

TEST(ModuleStateTest, RefusedStartFailsTheLoad) {
    setenv("MFC_TEST_REFUSE_INIT", "MfcBeta", 1);
    Module beta("MfcBeta");
    unsetenv("MFC_TEST_REFUSE_INIT");
    EXPECT_EQ(beta.handle, nullptr);
    Module alpha("MfcAlpha");
    EXPECT_NE(alpha.handle, nullptr);
}

TEST(ModuleStateTest, MessageBoxesCarryTheLibrarysTextAndName) {
    Module beta("MfcBeta");
    ASSERT_NE(beta.handle, nullptr);
    platform::user::test::AnswerNextMessageBox(IDNO);
    EXPECT_EQ(beta.Get<int(UINT, UINT)>("MfcModuleMessageBox")(IDS_GREETING, MB_YESNO), IDNO);
    auto log = platform::user::test::MessageBoxLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().text, u"Grüße von Beta");
    EXPECT_EQ(log.back().caption, u"MfcBeta"); // named after its file
    EXPECT_EQ(log.back().type, static_cast<UINT>(MB_YESNO));
}

TEST(ModuleStateTest, DialogsComeFromTheLibrarysOwnResources) {
    namespace driver = platform::user::driver;
    Module alpha("MfcAlpha"), beta("MfcBeta");
    ASSERT_NE(alpha.handle, nullptr);
    ASSERT_NE(beta.handle, nullptr);
    struct Case {
        const Module* module;
        const char16_t* caption;
        const char16_t* typed;
    } cases[] = {{&alpha, u"Alpha name", u"Größe"}, {&beta, u"Beta name", u"用紙"}};
    for (const auto& c : cases) {
        std::u16string caption;
        platform::user::test::AnswerNextModal([&](HWND modal) {
            caption = driver::ReadText(modal);
            HWND edit = driver::FindControl(modal, IDC_NAME);
            EXPECT_EQ(driver::ReadText(edit), u"initial");
            driver::TypeText(edit, c.typed);
            driver::PressButton(modal, IDOK);
        });
        WCHAR name[64] = {};
        EXPECT_EQ(c.module->Get<INT_PTR(LPWSTR, int)>("MfcModuleRunDialog")(name, 64), IDOK);
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(std::u16string(name), c.typed);
    }
    EXPECT_TRUE(platform::user::test::TakeUnanswered().empty());
    EXPECT_EQ(platform::user::test::LiveWindows(), 0u);
}

} // namespace

namespace {

TEST(ModuleStateTest, SheetOfTwoPagesFromTheLibrarysResources) {
    namespace driver = platform::user::driver;
    using platform::user::test::AnswerNextModal;
    Module alpha("MfcAlpha"), beta("MfcBeta");
    ASSERT_NE(alpha.handle, nullptr);
    ASSERT_NE(beta.handle, nullptr);
    struct Case {
        const char* name;
        const Module* module;
        int startPage;
        const char16_t* copies; // typed on the first page, when it is shown
        bool staple;            // ticked on the second page
        int button;
        INT_PTR want;
        int wantCopies, wantStaple;
    } cases[] = {
        {"OK keeps both pages' values", &alpha, 0, u"3", true, IDOK, 1, 3, BST_CHECKED},
        {"Cancel keeps nothing", &alpha, 0, u"7", true, IDCANCEL, 0, 2, BST_UNCHECKED},
        {"a page never shown keeps its value", &alpha, 1, nullptr, true, IDOK, 1, 2, BST_CHECKED},
        {"a number out of range is refused", &alpha, 0, u"0", false, IDOK, 0, 2, BST_UNCHECKED},
        // Beta has no page templates: no sheet, and both pages still go.
        {"no templates", &beta, 0, nullptr, false, IDOK, -1, 2, BST_UNCHECKED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string caption;
        if (c.want >= 0) {
            AnswerNextModal([&](HWND sheet) {
                caption = driver::ReadText(sheet);
                if (c.copies) {
                    HWND edit = driver::FindControl(sheet, IDC_COPIES);
                    EXPECT_EQ(driver::ReadText(edit), u"2");
                    driver::TypeText(edit, c.copies);
                }
                if (c.staple) {
                    if (c.startPage == 0) driver::SwitchPage(sheet, 1);
                    driver::Click(driver::FindControl(sheet, IDC_STAPLE));
                }
                if (c.copies && std::u16string(c.copies) == u"0") {
                    platform::user::test::AnswerNextMessageBox(IDOK);
                    driver::PressButton(sheet, IDOK);
                    EXPECT_TRUE(IsWindow(sheet)); // still open on the refused page
                    driver::PressButton(sheet, IDCANCEL);
                } else {
                    driver::PressButton(sheet, c.button);
                }
            });
        }
        int copies = 2, staple = BST_UNCHECKED;
        EXPECT_EQ(c.module->Get<INT_PTR(int, int*, int*)>("MfcModuleRunSheet")(c.startPage, &copies,
                                                                               &staple),
                  c.want);
        if (c.want >= 0) {
            EXPECT_EQ(caption, u"Alpha Settings");
        }
        EXPECT_EQ(copies, c.wantCopies);
        EXPECT_EQ(staple, c.wantStaple);
        EXPECT_EQ(platform::user::test::LivePropertySheetPages(), 0u);
        EXPECT_EQ(platform::user::test::LiveWindows(), 0u);
    }
    EXPECT_TRUE(platform::user::test::TakeUnanswered().empty());
}

} // namespace

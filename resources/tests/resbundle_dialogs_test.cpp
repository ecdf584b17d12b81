// Every dialog template of the resource library opens through the dialog
// manager with all its controls, and reads through the platform's template
// reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "localize_format.h"
#include "platform/dialog_template.h"
#include "platform/loader_ctl.h"
#include "platform/user_ctl.h"
#include "win/base.h"
#include "win/resources.h"
#include "win/user.h"

namespace {

INT_PTR CALLBACK Quiet(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

TEST(ResbundleDialogs, EveryTemplateOpensWithItsControls) {
    HMODULE module = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
    ASSERT_NE(module, nullptr);
    // Pages are child dialogs: they open inside a host window.
    HWND host = CreateDialogParamW(module, MAKEINTRESOURCEW(1300), nullptr, Quiet, 0);
    ASSERT_NE(host, nullptr);
    for (DWORD id :
         {100, 150, 200, 250, 300,  350,  366,  400,  450,  500,  550,  600,  650,  700, 750,
          800, 850, 900, 950, 1000, 1050, 1100, 1150, 1200, 1250, 1300, 1350, 1360, 1370}) {
        SCOPED_TRACE(id);
        HRSRC r = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
        ASSERT_NE(r, nullptr);
        auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, r)));
        platform::user::DialogTemplateData data;
        std::string error;
        EXPECT_TRUE(
            platform::user::ReadDialogTemplate(bytes, SizeofResource(module, r), &data, &error))
            << error;
        const bool child = (data.style & WS_CHILD) != 0;
        HWND dlg =
            CreateDialogParamW(module, MAKEINTRESOURCEW(id), child ? host : nullptr, Quiet, 0);
        EXPECT_NE(dlg, nullptr) << GetLastError();
        if (!dlg) continue;
        for (const auto& item : data.items) {
            if (item.id == 0xFFFF || item.id == 0xFFFFFFFF) continue;
            EXPECT_NE(GetDlgItem(dlg, static_cast<int>(item.id)), nullptr) << item.id;
        }
        // RESBUNDLE_PNG_DIR=folder keeps a picture of every template, to look at the layout.
        if (const char* folder = getenv("RESBUNDLE_PNG_DIR")) {
            ShowWindow(dlg, SW_SHOW);
            EXPECT_TRUE(platform::user::driver::SavePng(dlg, std::string(folder) + "/template-" +
                                                                 std::to_string(id) + ".png"));
        }
        DestroyWindow(dlg);
    }
    DestroyWindow(host);
    FreeLibrary(module);
}

} // namespace

// printhost profiles: the profiles of the user's profile store for a printer,
// as the Profile page lists them: the default settings first, then every
// saved profile in the store's order, each with its kind and comment. With
// --save, the printer's printing defaults are saved as a profile the way a
// person does it: the document sheet's Profile page, "Save as ...", the name
// dialog filled in and OK.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "platform/user_ctl.h"
#include "win/printer_sheets.h"
#include "win/user.h"
#include "driver_env.h"
#include "platform/text.h"
#include "profile_file.h"
#include "win/base.h"
#include "win/spool.h"

namespace printhost {
namespace {

using namespace sheetwright;

// Why the store could not be read, in the words of the store's error codes.
const char* StoreProblem(DWORD code) {
    switch (code) {
    case kProfileBadMagic:
    case kProfileBadHeadSize:
    case kProfileBadVersion:
        return "is not a profile file";
    case kProfileOtherModel:
        return "belongs to another printer model";
    case kProfileForeignDevmode:
        return "holds profiles of another driver, left out";
    case kProfileMalformed:
    case kProfileShortRecord:
        return "is damaged; what could be read is listed";
    case kProfileRefusedPath:
        return "is a link or not a plain file, and is not followed";
    default:
        return nullptr;
    }
}

namespace drv = platform::user::driver;
namespace ut = platform::user::test;

struct SaveRequest {
    std::string name;
    std::string comment;
    bool keepPaper = false;
};

// Controls of the Profile page and its name dialog.
constexpr int kSaveAsButton = 564, kNameEdit = 612, kCommentEdit = 614, kKeepPaperBox = 616;
constexpr char16_t kProfilePage[] = u"Profile";

// The sheet's page of that name; -1 when it has none.
int PageIndex(HWND sheet, const std::u16string& wanted) {
    HWND tab = GetDlgItem(sheet, IDC_PROPSHEET_TABCONTROL);
    const LRESULT count = tab ? SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; ++i) {
        WCHAR text[128] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        if (platform::EqualsNoCase(text, wanted)) return static_cast<int>(i);
    }
    return -1;
}

// Opens the printer's document sheet on its printing defaults and saves them
// as a profile through the Profile page; the sheet is then cancelled, so the
// printing defaults stay as they were.
int Save(HANDLE printer, std::u16string name, const SaveRequest& request) {
    std::string error;
    bool dialogSeen = false;
    ut::AnswerNextModal([&](HWND sheet) {
        const int page = PageIndex(sheet, kProfilePage);
        if (page < 0 || !drv::SwitchPage(sheet, page)) {
            error = "the sheet has no Profile page";
        } else {
            ut::AnswerNextModal([&](HWND dialog) {
                dialogSeen = true;
                drv::TypeText(drv::FindControl(dialog, kNameEdit),
                              platform::FromUtf8(request.name));
                drv::TypeText(drv::FindControl(dialog, kCommentEdit),
                              platform::FromUtf8(request.comment));
                HWND box = drv::FindControl(dialog, kKeepPaperBox);
                if (IsWindowEnabled(box))
                    drv::SetCheck(box, request.keepPaper ? BST_CHECKED : BST_UNCHECKED);
                drv::PressButton(dialog, IDOK);
            });
            HWND button = drv::FindControl(sheet, kSaveAsButton);
            if (!button || !IsWindowEnabled(button) || !drv::Click(button))
                error = "\"Save as ...\" cannot be pressed for the settings shown";
        }
        drv::PressButton(sheet, IDCANCEL);
    });
    LONG size = DocumentPropertiesW(nullptr, printer, name.data(), nullptr, nullptr, 0);
    std::vector<BYTE> out(size > 0 ? static_cast<size_t>(size) : 0);
    if (size > 0)
        DocumentPropertiesW(nullptr, printer, name.data(), reinterpret_cast<DEVMODEW*>(out.data()),
                            nullptr, DM_IN_PROMPT | DM_OUT_BUFFER);
    // What the page said (a refused name, a failed save) is the answer.
    for (const auto& box : ut::MessageBoxLog())
        std::fprintf(stderr, "printhost profiles: \"%s\": %s\n",
                     platform::ToUtf8(box.caption).c_str(), platform::ToUtf8(box.text).c_str());
    for (const auto& text : ut::TakeUnanswered())
        std::fprintf(stderr, "printhost profiles: left unanswered: %s\n", text.c_str());
    if (!error.empty() || !dialogSeen) {
        std::fprintf(stderr, "printhost profiles: %s\n",
                     error.empty() ? "the name dialog did not open" : error.c_str());
        return 1;
    }
    return 0;
}

int Run(const Args& args) {
    SaveRequest save;
    bool saving = false;
    std::string printerName;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--save" && hasValue) {
            saving = true;
            save.name = args[++i];
        } else if (args[i] == "--comment" && hasValue) {
            save.comment = args[++i];
        } else if (args[i] == "--keep-paper") {
            save.keepPaper = true;
        } else if (printerName.empty() && !args[i].empty() && args[i][0] != '-') {
            printerName = args[i];
        } else {
            std::fprintf(stderr, "printhost profiles: unexpected argument '%s'\n", args[i].c_str());
            return 2;
        }
    }
    if (printerName.empty()) {
        std::fprintf(stderr, "printhost profiles: give a printer name\n");
        return 2;
    }
    std::u16string name = platform::FromUtf8(printerName);
    HANDLE printer = nullptr;
    if (!OpenPrinterW(name.data(), &printer, nullptr)) {
        std::fprintf(stderr, "printhost profiles: no printer '%s'\n", printerName.c_str());
        return 1;
    }
    if (saving && Save(printer, name, save) != 0) {
        ClosePrinter(printer);
        return 1;
    }
    int status = 1;
    bool saved = true;
    ModelBlock block{nullptr, LoadDriverDataFile(printer)};
    if (block.modelData)
        block.modelsmith = LoadDriverModule(printer, block.modelData, kSelectModelsmith);
    std::u16string path;
    if (!block.modelsmith || !GetProfileStorePath(&block, &path)) {
        std::fprintf(stderr, "printhost profiles: the printer's model data cannot be read\n");
    } else {
        ProfileFile store(&block, path);
        store.SetPrinter(printer);
        const ProfileEntry* list = nullptr;
        DWORD count = 0;
        store.GetProfileList(&list, &count);
        if (saving && !store.FindProfileW(platform::FromUtf8(save.name).c_str())) {
            std::fprintf(stderr, "printhost profiles: no profile '%s' was saved\n",
                         save.name.c_str());
            saved = false;
        }
        std::printf("store: %s\n", platform::ToUtf8(path).c_str());
        if (const char* problem = StoreProblem(store.ErrorCode()))
            std::fprintf(stderr, "printhost profiles: the store %s (error %lu)\n", problem,
                         static_cast<unsigned long>(store.ErrorCode()));
        std::printf("%-24s %-8s %-8s %s\n", "name", "kind", "paper", "comment");
        std::printf("%-24s %-8s %-8s %s\n", "DEFAULT", "default", "-", "Default Settings");
        for (DWORD i = 0; i < count; ++i) {
            const ProfileEntry& e = list[i];
            const std::u16string profileName = AnsiToWide(e.name, strnlen(e.name, sizeof e.name));
            const std::u16string comment =
                AnsiToWide(e.comment, strnlen(e.comment, sizeof e.comment));
            std::printf("%-24s %-8s %-8s %s\n", platform::ToUtf8(profileName).c_str(), "profile",
                        (e.profileFlags & kProfileKeepsPaper) ? "kept" : "saved",
                        platform::ToUtf8(comment).c_str());
        }
        status = saved ? 0 : 1;
    }
    if (block.modelsmith) FreeLibrary(block.modelsmith);
    if (block.modelData) GlobalFree(block.modelData);
    ClosePrinter(printer);
    return status;
}

Command gCommand{"profiles", "PRINTER [--save NAME [--comment TEXT] [--keep-paper]]",
                 "list the user's profiles for a printer (name, kind, paper, comment); --save "
                 "first saves the printing defaults as a profile through the Profile page",
                 Run};

} // namespace
} // namespace printhost

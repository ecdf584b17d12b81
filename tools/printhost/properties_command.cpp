// printhost properties: opens a printer's document sheet (its printing
// defaults) or device sheet headlessly, makes the changes a person's clicks
// would, presses OK and shows the result: the sheet's snapshot, pictures of
// its pages when asked, and the printing defaults that a next print uses.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "command.h"
#include "control_labels.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "devmode_private.h"
#include "win/printer_sheets.h"
#include "win/spool.h"
#include "win/user.h"

namespace printhost {
namespace {

namespace drv = platform::user::driver;
namespace ut = platform::user::test;

// One --set: a control by its id, or by the label a person reads beside it
// on the page shown.
struct Change {
    int control = 0;
    std::string label;
    std::string value;
    // --dialog: set in the dialog the change before it opened, by label.
    bool inDialog = false;
};

struct Options {
    std::string printer;
    bool device = false;
    std::string page;
    std::vector<Change> changes;
    std::string pngFolder;
};

bool Parse(const Args& args, Options* o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--device") {
            o->device = true;
        } else if (a == "--page" && hasValue) {
            o->page = args[++i];
        } else if (a == "--png" && hasValue) {
            o->pngFolder = args[++i];
        } else if ((a == "--set" || a == "--dialog") && hasValue) {
            const bool inDialog = a == "--dialog";
            const std::string& s = args[++i];
            size_t eq = s.find('=');
            if (eq == std::string::npos || eq == 0) {
                std::fprintf(stderr,
                             "printhost properties: --set wants CONTROL=VALUE, the control by "
                             "its id or its label, not '%s'\n",
                             s.c_str());
                return false;
            }
            const std::string name = s.substr(0, eq);
            Change change{0, {}, s.substr(eq + 1), inDialog};
            if (inDialog && o->changes.empty()) {
                std::fprintf(stderr, "printhost properties: --dialog follows the --set that "
                                     "opens the dialog\n");
                return false;
            }
            if (name.find_first_not_of("0123456789") == std::string::npos) {
                long id = name.size() <= 5 ? std::strtol(name.c_str(), nullptr, 10) : 0;
                if (id <= 0 || id > 0xFFFF) {
                    std::fprintf(stderr, "printhost properties: no control has the id %s\n",
                                 name.c_str());
                    return false;
                }
                change.control = static_cast<int>(id);
            } else {
                change.label = name;
            }
            o->changes.push_back(change);
        } else if (o->printer.empty() && !a.empty() && a[0] != '-') {
            o->printer = a;
        } else {
            std::fprintf(stderr, "printhost properties: unexpected argument '%s'\n", a.c_str());
            return false;
        }
    }
    if (o->printer.empty()) {
        std::fprintf(stderr, "printhost properties: give the printer's name\n");
        return false;
    }
    return true;
}

std::u16string ClassOf(HWND window) {
    WCHAR name[64] = {};
    int n = GetClassNameW(window, name, 64);
    return std::u16string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

// Sets one control as a person would: a box is checked or cleared, an edit
// typed into, a list chosen from by text, a slider moved. A control given by
// its label is looked for on the page shown; one given by its id anywhere on
// the sheet, and its list also takes an item's position.
bool Apply(HWND sheet, const std::u16string& pageName, const Change& c, std::string* error) {
    if (!c.label.empty()) {
        // A dialog's controls are its own; a sheet's are on its current page.
        HWND page = c.inDialog
                        ? sheet
                        : reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        HWND control =
            page ? FindControlByLabel(page, pageName, platform::FromUtf8(c.label), error) : nullptr;
        if (!page) *error = "the sheet shows no page";
        return control && SetControlValue(control, "'" + c.label + "'", c.value, error);
    }
    HWND control = drv::FindControl(sheet, c.control);
    if (!control) {
        *error = "no control " + std::to_string(c.control) + " on the sheet";
        return false;
    }
    const std::string name = "control " + std::to_string(c.control);
    std::u16string kind = ClassOf(control);
    if (platform::EqualsNoCase(kind, u"ComboBox") || platform::EqualsNoCase(kind, u"ListBox")) {
        char* end = nullptr;
        long index = std::strtol(c.value.c_str(), &end, 10);
        if (!c.value.empty() && *end == 0) { // an item of that text, else at that position
            if (drv::SelectItemText(control, platform::FromUtf8(c.value)) ||
                drv::SelectItem(control, static_cast<int>(index)))
                return true;
            *error = name + " has no item " + c.value;
            return false;
        }
    } else if (platform::EqualsNoCase(kind, u"Button")) {
        // By id any button takes a click, and a box reads any other word than
        // on, 1 or checked as off.
        bool on = c.value == "1" || c.value == "on" || c.value == "checked";
        if (c.value == "click" ? drv::Click(control)
                               : drv::SetCheck(control, on ? BST_CHECKED : BST_UNCHECKED))
            return true;
        *error = name + " does not take '" + c.value + "' on the page shown";
        return false;
    }
    return SetControlValue(control, name, c.value, error);
}

// The sheet's page names in tab order.
std::vector<std::u16string> PageNames(HWND sheet) {
    std::vector<std::u16string> names;
    HWND tab = GetDlgItem(sheet, IDC_PROPSHEET_TABCONTROL);
    LRESULT count = tab ? SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; ++i) {
        WCHAR text[128] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        names.emplace_back(text);
    }
    return names;
}

// A window's title as a file name: a page called "Form / Tray" is no folder;
// other letters and digits stay, runs of the rest become one '-', the
// mnemonic marker goes.
std::string SafeName(const std::u16string& title) {
    std::string safe;
    for (char c : platform::ToUtf8(title)) {
        bool keep = static_cast<unsigned char>(c) >= 0x80 || (c >= '0' && c <= '9') ||
                    (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (keep)
            safe += c;
        else if (c != '&' && !safe.empty() && safe.back() != '-')
            safe += '-';
    }
    while (!safe.empty() && safe.back() == '-')
        safe.pop_back();
    return safe;
}

// What the person does once the sheet is up; false (and Cancel) on a failure.
struct Script {
    const Options& o;
    std::string error;
    std::string snapshot;
    std::string dialogSnapshot;
    // The title of the dialog the change being made opened and, given no
    // changes, cancelled; empty when none.
    std::string cancelled;
    // Answers the dialog the change being made opens.
    std::function<void(HWND)> onDialog;

    // A dialog a change opened: pictured as it opens, then given the changes
    // [from, last) and OK; with none (or after a failure) it is cancelled.
    // A change with more after it that opens a dialog of its own hands them
    // to that one, which gets its OK first.
    void Answer(HWND dialog, size_t from, size_t last) {
        WCHAR title[128] = {};
        GetWindowTextW(dialog, title, 128);
        if (!o.pngFolder.empty()) {
            std::string safe = SafeName(title);
            std::string file = o.pngFolder + "/dialog" + (safe.empty() ? "" : "-" + safe) + ".png";
            if (!drv::SavePng(dialog, file) && error.empty()) error = "cannot write '" + file + "'";
        }
        for (size_t k = from; k < last && error.empty(); ++k)
            if (Make(dialog, title, k, k + 1, last)) break;
        if (from < last) dialogSnapshot += drv::Snapshot(dialog);
        // A dialog given no changes, or opened again after a failure, is
        // cancelled; a box that reopens it on every click (until it reads as
        // asked) finds it cancelled again. A dialog that refused OK (it said
        // why in a message box, answered once) stays open: it is reported and
        // cancelled, never pressed again.
        if (from == last) cancelled = platform::ToUtf8(title);
        const bool ok = from < last && error.empty();
        if (!ok) ArmAnswer();
        drv::PressButton(dialog, ok ? IDOK : IDCANCEL);
        if (ok && IsWindow(dialog) && !drv::DialogEnded(dialog)) {
            error = "the dialog \"" + platform::ToUtf8(title) + "\" refused OK";
            ArmAnswer();
            drv::PressButton(dialog, IDCANCEL);
        }
    }

    // Makes change i in a sheet or dialog; a dialog it opens gets the changes
    // [from, last). True when it opened one.
    bool Make(HWND window, const std::u16string& where, size_t i, size_t from, size_t last) {
        bool opened = false;
        std::function<void(HWND)> outer = std::move(onDialog);
        onDialog = [&, from, last](HWND dialog) {
            opened = true;
            Answer(dialog, from, last);
        };
        // Every change may open a dialog: one with no --dialog changes is
        // cancelled.
        cancelled.clear();
        ArmAnswer();
        // What went wrong in a dialog it opened comes first.
        std::string failed;
        if (!Apply(window, where, o.changes[i], &failed) && error.empty())
            error = cancelled.empty()
                        ? failed
                        : "'" + o.changes[i].label + "' opened the dialog \"" + cancelled +
                              "\", which was cancelled: give its changes with "
                              "--dialog";
        onDialog = std::move(outer);
        return opened;
    }

    // An answer armed for a change that opened nothing stays queued; each one
    // hands the dialog to the change now made.
    void ArmAnswer() {
        ut::AnswerNextModal([this](HWND dialog) {
            if (onDialog)
                onDialog(dialog);
            else
                drv::PressButton(dialog, IDCANCEL);
        });
    }

    void operator()(HWND sheet) {
        std::vector<std::u16string> names = PageNames(sheet);
        if (!o.pngFolder.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(o.pngFolder, ec);
            for (size_t i = 0; i < names.size(); ++i) {
                drv::SwitchPage(sheet, static_cast<int>(i));
                std::string safe = SafeName(names[i]);
                std::string file = o.pngFolder + "/page-" + std::to_string(i + 1) +
                                   (safe.empty() ? "" : "-" + safe) + ".png";
                if (!drv::SavePng(sheet, file)) error = "cannot write '" + file + "'";
            }
            drv::SwitchPage(sheet, 0);
        }
        if (!o.page.empty()) {
            int found = -1;
            for (size_t i = 0; i < names.size() && found < 0; ++i)
                if (platform::EqualsNoCase(names[i], platform::FromUtf8(o.page)))
                    found = static_cast<int>(i);
            if (found < 0 || !drv::SwitchPage(sheet, found)) {
                std::string list;
                for (const auto& n : names)
                    list += (list.empty() ? "" : ", ") + platform::ToUtf8(n);
                error = "no page '" + o.page + "' (pages: " + list + ")";
            }
        }
        int current = static_cast<int>(
            SendMessageW(GetDlgItem(sheet, IDC_PROPSHEET_TABCONTROL), TCM_GETCURSEL, 0, 0));
        std::u16string pageName =
            current >= 0 && static_cast<size_t>(current) < names.size() ? names[current] : u"";
        for (size_t i = 0; i < o.changes.size() && error.empty(); ++i) {
            const Change& c = o.changes[i];
            // The --dialog changes after this one go into the dialog it opens.
            size_t last = i + 1;
            while (last < o.changes.size() && o.changes[last].inDialog)
                ++last;
            if (!Make(sheet, pageName, i, i + 1, last) && last > i + 1 && error.empty())
                error = "'" + c.label + "' opened no dialog for the --dialog changes";
            i = last - 1;
        }
        snapshot = drv::Snapshot(sheet);
        drv::PressButton(sheet, error.empty() ? IDOK : IDCANCEL);
    }
};

void ShowDevmode(const DEVMODEW* dm) {
    std::printf("printing defaults: paper %d, orientation %d, copies %d, collate %d, duplex %d, "
                "quality %d dpi, source %d\n",
                dm->dmPaperSize, dm->dmOrientation, dm->dmCopies, dm->dmCollate, dm->dmDuplex,
                dm->dmPrintQuality, dm->dmDefaultSource);
}

// The printer's printing defaults (PRINTER_INFO_2 pDevMode), or empty. A
// device mode is taken only when it and the length its size words give lie
// within the spooler's answer; one that does not is reported in *damaged.
std::vector<BYTE> Defaults(HANDLE printer, bool* damaged) {
    *damaged = false;
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    if (needed < sizeof(PRINTER_INFO_2W) || !GetPrinterW(printer, 2, info.data(), needed, &needed))
        return {};
    const DEVMODEW* dm = reinterpret_cast<PRINTER_INFO_2W*>(info.data())->pDevMode;
    if (!dm) return {};
    const BYTE* at = reinterpret_cast<const BYTE*>(dm);
    const BYTE* begin = info.data();
    const BYTE* end = begin + info.size();
    constexpr size_t kSizeWordsEnd = offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD);
    if (at < begin || at > end || static_cast<size_t>(end - at) < kSizeWordsEnd ||
        dm->dmSize < kSizeWordsEnd ||
        static_cast<size_t>(dm->dmSize) + dm->dmDriverExtra > static_cast<size_t>(end - at)) {
        *damaged = true;
        return {};
    }
    return std::vector<BYTE>(at, at + dm->dmSize + dm->dmDriverExtra);
}

int Run(const Args& args) {
    Options o;
    if (!Parse(args, &o)) return 2;
    std::u16string name = platform::FromUtf8(o.printer);
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!OpenPrinterW(name.data(), &printer, &access)) {
        std::fprintf(stderr, "printhost properties: cannot open printer '%s' (error %u)\n",
                     o.printer.c_str(), static_cast<unsigned>(GetLastError()));
        return 1;
    }
    Script script{o, {}, {}, {}, {}, {}};
    ut::AnswerNextModal([&](HWND sheet) { script(sheet); });
    int code = 0;
    if (o.device) {
        if (!PrinterProperties(nullptr, printer)) code = 1;
    } else {
        bool damaged = false;
        std::vector<BYTE> in = Defaults(printer, &damaged);
        if (damaged)
            std::fprintf(stderr,
                         "printhost properties: the printer's stored printing defaults do not "
                         "fit their own size; the sheet opens on the driver's defaults\n");
        LONG size = DocumentPropertiesW(nullptr, printer, name.data(), nullptr, nullptr, 0);
        std::vector<BYTE> out(size > 0 ? static_cast<size_t>(size) : 0);
        // The sheet of the printer's printing defaults is the user's own
        // (DM_USER_DEFAULT), the one that offers the user's font
        // substitution table.
        LONG r = size <= 0
                     ? -1
                     : DocumentPropertiesW(
                           nullptr, printer, name.data(), reinterpret_cast<DEVMODEW*>(out.data()),
                           in.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(in.data()),
                           DM_IN_PROMPT | DM_OUT_BUFFER | DM_USER_DEFAULT |
                               (in.empty() ? 0 : DM_IN_BUFFER));
        if (r == IDOK) {
            PRINTER_INFO_8W info{reinterpret_cast<DEVMODEW*>(out.data())};
            if (!SetPrinterW(printer, 8, reinterpret_cast<LPBYTE>(&info), 0)) {
                std::fprintf(stderr,
                             "printhost properties: cannot store the printing defaults "
                             "(error %u)\n",
                             static_cast<unsigned>(GetLastError()));
                code = 1;
            } else {
                ShowDevmode(reinterpret_cast<DEVMODEW*>(out.data()));
            }
        } else if (r != IDCANCEL || script.error.empty()) {
            code = 1;
        }
    }
    for (const auto& text : ut::TakeUnanswered())
        std::fprintf(stderr, "printhost properties: left unanswered: %s\n", text.c_str());
    if (!script.dialogSnapshot.empty()) std::printf("%s", script.dialogSnapshot.c_str());
    if (!script.snapshot.empty()) std::printf("%s", script.snapshot.c_str());
    if (!script.error.empty()) {
        std::fprintf(stderr, "printhost properties: %s; the sheet was cancelled\n",
                     script.error.c_str());
        code = 1;
    } else if (script.snapshot.empty()) {
        std::fprintf(stderr, "printhost properties: the printer's sheet could not be opened\n");
        code = 1;
    }
    ClosePrinter(printer);
    return code;
}

Command cmd{
    "properties",
    "PRINTER [--device] [--page NAME] [--set CONTROL=VALUE [--dialog CONTROL=VALUE ...] ...] "
    "[--png FOLDER]",
    "open a printer's document (or device) sheet, make changes, press OK and show the "
    "result; CONTROL is a control's id or the label beside it on the page shown "
    "(\"Paper Size=A5\"), VALUE on or off (or click) for a check box, on (or click) for "
    "a radio button, click for a button, an item's text, unique beginning or first column "
    "(before a tab) for a list, "
    "a number for a slider or up-down, text for an edit; --dialog changes go, by the "
    "labels of the dialog, into the dialog the --set before them opened, which then gets "
    "OK (a dialog with none is cancelled, so a box that its dialog's OK must confirm "
    "stays as it was and the command fails; a dialog that refuses OK, saying why in a "
    "message box, is reported and cancelled and the command fails); a --dialog change "
    "with more after it that opens a dialog of its own (\"Font Substitution Table...=click\") "
    "hands those to "
    "that dialog, which gets OK before the one around it; --png also pictures each "
    "dialog a change opens, as it opens",
    Run};

} // namespace
} // namespace printhost

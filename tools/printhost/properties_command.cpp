// printhost properties: opens a printer's document sheet (its printing
// defaults) or device sheet headlessly, makes the changes a person's clicks
// would, presses OK and shows the result: the sheet's snapshot, pictures of
// its pages when asked, and the printing defaults that a next print uses.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "win/devmode_private.h"
#include "win/printer_sheets.h"
#include "win/spool.h"
#include "win/user.h"

namespace printhost {
namespace {

namespace drv = platform::user::driver;
namespace ut = platform::user::test;

struct Change {
    int control = 0;
    std::string value;
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
        } else if (a == "--set" && hasValue) {
            const std::string& s = args[++i];
            size_t eq = s.find('=');
            char* end = nullptr;
            long id = eq == std::string::npos ? 0 : std::strtol(s.c_str(), &end, 10);
            if (eq == std::string::npos || end != s.c_str() + eq || id <= 0 || id > 0xFFFF) {
                std::fprintf(stderr,
                             "printhost properties: --set wants CONTROL=VALUE with a "
                             "control id, not '%s'\n",
                             s.c_str());
                return false;
            }
            o->changes.push_back({static_cast<int>(id), s.substr(eq + 1)});
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
// typed into, a list chosen from by text (or by position), a slider moved.
bool Apply(HWND sheet, const Change& c, std::string* error) {
    HWND control = drv::FindControl(sheet, c.control);
    if (!control) {
        *error = "no control " + std::to_string(c.control) + " on the sheet";
        return false;
    }
    std::u16string kind = ClassOf(control);
    std::u16string value = platform::FromUtf8(c.value);
    bool ok = false;
    if (platform::EqualsNoCase(kind, u"Button")) {
        bool on = c.value == "1" || c.value == "on" || c.value == "checked";
        ok = c.value == "click" ? drv::Click(control)
                                : drv::SetCheck(control, on ? BST_CHECKED : BST_UNCHECKED);
    } else if (platform::EqualsNoCase(kind, u"Edit")) {
        ok = drv::TypeText(control, value);
    } else if (platform::EqualsNoCase(kind, u"ComboBox") ||
               platform::EqualsNoCase(kind, u"ListBox")) {
        ok = drv::SelectItemText(control, value);
        char* end = nullptr;
        long index = std::strtol(c.value.c_str(), &end, 10);
        if (!ok && !c.value.empty() && *end == 0)
            ok = drv::SelectItem(control, static_cast<int>(index));
    } else if (platform::EqualsNoCase(kind, u"msctls_trackbar32")) {
        ok = drv::MoveSlider(control, std::atoi(c.value.c_str()));
    } else if (platform::EqualsNoCase(kind, u"msctls_updown32")) {
        ok = drv::SpinBy(control, std::atoi(c.value.c_str()));
    }
    if (!ok)
        *error = "control " + std::to_string(c.control) + " (" + platform::ToUtf8(kind) +
                 ") does not take '" + c.value + "' on the page shown";
    return ok;
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

// What the person does once the sheet is up; false (and Cancel) on a failure.
struct Script {
    const Options& o;
    std::string error;
    std::string snapshot;

    void operator()(HWND sheet) {
        std::vector<std::u16string> names = PageNames(sheet);
        if (!o.pngFolder.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(o.pngFolder, ec);
            for (size_t i = 0; i < names.size(); ++i) {
                drv::SwitchPage(sheet, static_cast<int>(i));
                // The title as a file name: a page called "Form / Tray" is no
                // folder; other letters and digits stay, runs of the rest
                // become one '-', the mnemonic marker goes.
                std::string safe;
                for (char c : platform::ToUtf8(names[i])) {
                    bool keep = static_cast<unsigned char>(c) >= 0x80 || (c >= '0' && c <= '9') ||
                                (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
                    if (keep)
                        safe += c;
                    else if (c != '&' && !safe.empty() && safe.back() != '-')
                        safe += '-';
                }
                while (!safe.empty() && safe.back() == '-')
                    safe.pop_back();
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
        for (const auto& c : o.changes)
            if (error.empty()) Apply(sheet, c, &error);
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
    Script script{o, {}, {}};
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
        LONG r = size <= 0
                     ? -1
                     : DocumentPropertiesW(
                           nullptr, printer, name.data(), reinterpret_cast<DEVMODEW*>(out.data()),
                           in.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(in.data()),
                           DM_IN_PROMPT | DM_OUT_BUFFER | (in.empty() ? 0 : DM_IN_BUFFER));
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

Command cmd{"properties",
            "PRINTER [--device] [--page NAME] [--set CONTROL=VALUE ...] [--png FOLDER]",
            "open a printer's document (or device) sheet, make changes, press OK and show the "
            "result",
            Run};

} // namespace
} // namespace printhost

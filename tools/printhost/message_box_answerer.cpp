// Message boxes that the package shows while printhost runs are printed on
// the terminal and answered there: by the button's number or name. At the end
// of the input the box's default button answers, and printhost says so.
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/user_ctl.h"

namespace printhost {
namespace {

struct Button {
    int id;
    const char* name;
};

std::vector<Button> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO:
        return {{IDYES, "Yes"}, {IDNO, "No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    case MB_CANCELTRYCONTINUE:
        return {{IDCANCEL, "Cancel"}, {IDTRYAGAIN, "Try Again"}, {IDCONTINUE, "Continue"}};
    default:
        return {{IDOK, "OK"}};
    }
}

bool SameWord(const std::string& a, const char* b) {
    std::string x, y(b);
    for (char c : a)
        if (c != ' ') x += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string z;
    for (char c : y)
        if (c != ' ') z += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return x == z;
}

int AskOnTerminal(const platform::user::test::MessageBoxCall& box) {
    std::vector<Button> buttons = ButtonsOf(box.type);
    size_t def = ((box.type & MB_DEFMASK) >> 8) < buttons.size() ? (box.type & MB_DEFMASK) >> 8 : 0;
    std::fprintf(stderr, "\n[%s]\n%s\n", platform::ToUtf8(box.caption).c_str(),
                 platform::ToUtf8(box.text).c_str());
    for (;;) {
        for (size_t i = 0; i < buttons.size(); ++i)
            std::fprintf(stderr, "  %zu) %s%s\n", i + 1, buttons[i].name,
                         i == def ? " (default)" : "");
        std::fprintf(stderr, "> ");
        std::string line;
        if (!std::getline(std::cin, line)) {
            std::fprintf(stderr, "\n(no answer: %s)\n", buttons[def].name);
            return buttons[def].id;
        }
        if (line.empty()) return buttons[def].id;
        for (size_t i = 0; i < buttons.size(); ++i)
            if (line == std::to_string(i + 1) || SameWord(line, buttons[i].name))
                return buttons[i].id;
        std::fprintf(stderr, "Answer with a number or a button's name.\n");
    }
}

struct Installer {
    Installer() { platform::user::test::SetMessageBoxAnswerer(AskOnTerminal); }
} gInstaller;

} // namespace
} // namespace printhost

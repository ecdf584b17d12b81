#include "prompt_answers.h"

#include <cstdlib>
#include <sstream>

#include "driver_env.h"
#include "platform/user_ctl.h"

namespace jobprompt {

std::vector<AnswerStep> ParseAnswers(const std::string& text) {
    std::vector<AnswerStep> steps;
    std::istringstream all(text);
    std::string part;
    while (std::getline(all, part, ';')) {
        std::istringstream words(part);
        AnswerStep step;
        if (!(words >> step.verb)) continue;
        if (step.verb != "ok" && step.verb != "cancel" && step.verb != "yes" && step.verb != "no")
            break;
        std::string field;
        bool bad = false;
        while (words >> field) {
            const size_t eq = field.find('=');
            const std::string id = field.substr(0, eq);
            if (eq == std::string::npos || id.empty() ||
                id.find_first_not_of("0123456789") != std::string::npos || id.size() > 5) {
                bad = true;
                break;
            }
            const std::string value = field.substr(eq + 1);
            step.text.emplace_back(std::atoi(id.c_str()),
                                   sheetwright::AnsiToWide(value.data(), value.size()));
        }
        if (bad) break;
        steps.push_back(step);
    }
    return steps;
}

void TakeScriptedAnswers() {
    namespace ui = platform::user::test;
    namespace person = platform::user::driver;
    const char* env = std::getenv("PRINTHOST_PROMPT_ANSWER");
    if (!env) return;
    for (const AnswerStep& step : ParseAnswers(env)) {
        if (step.verb == "yes" || step.verb == "no") {
            ui::AnswerNextMessageBox(step.verb == "yes" ? IDYES : IDNO);
            continue;
        }
        ui::AnswerNextModal([step](HWND modal) {
            for (const auto& [id, text] : step.text)
                person::TypeText(person::FindControl(modal, id), text);
            person::PressButton(modal, step.verb == "ok" ? IDOK : IDCANCEL);
        });
    }
}

} // namespace jobprompt

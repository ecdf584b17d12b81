// On this headless platform nobody sits at the prompt: a person trying a job
// from the command line (printhost print --answer) or a test hands its answers
// to Jobprompt through the environment variable PRINTHOST_PROMPT_ANSWER,
// steps separated by ';', each answering the next window that waits:
//   ok [ID=TEXT]...  types TEXT into the prompt's control ID, then presses OK
//   cancel           presses Cancel
//   yes | no         answers a question box
// Without the variable, a prompt nobody answers is left as cancelled.
#pragma once

#include <string>
#include <vector>

namespace jobprompt {

struct AnswerStep {
    std::string verb;                                 // ok, cancel, yes, no
    std::vector<std::pair<int, std::u16string>> text; // control id, text to type
};

// The steps of an answer text; an unknown verb or a malformed field ends the list.
std::vector<AnswerStep> ParseAnswers(const std::string& text);

// Registers the steps of PRINTHOST_PROMPT_ANSWER with the platform's answerers.
void TakeScriptedAnswers();

} // namespace jobprompt

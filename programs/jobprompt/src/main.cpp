// Jobprompt.EXE NAME: runs the job prompt or the prior-print check that the
// shared memory block NAME asks for, and answers through the block. The exit
// code is always 0.
#include "job_prompt_host.h"
#include "prompt_answers.h"
#include "win/process.h"

int main() {
    jobprompt::TakeScriptedAnswers();
    const std::u16string name(jobprompt::MappingNameOf(GetCommandLineW()));
    jobprompt::RunJobPrompt(name);
    return 0;
}

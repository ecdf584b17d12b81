// A logon of the current user, as the system runs it: every value under the
// user's "Run once" key is taken off the key and its command line started,
// one after the other. Nothing else of a logon is stood in for.
#pragma once

#include <string>
#include <vector>

#include "win/types.h"

namespace platform {

struct LogonCommand {
    std::u16string name;        // the value's name
    std::u16string commandLine; // the value's text
    DWORD exitCode = 0;         // the program's exit code; 0xFFFFFFFF when it did not start
};

// Runs the current user's run-once commands, each to its end; the commands
// in the order they ran.
std::vector<LogonCommand> RunLogon();

} // namespace platform

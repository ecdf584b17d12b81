// Processes and named shared memory inside the platform: the command-line
// rules, and the controls tests use to see what was started, to set the
// user of a session and to keep long waits short.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace platform {

// Splits a Windows command line into the arguments a program sees, by the
// rules of the system's C runtime: blanks and tabs separate; the program name
// ends at the next blank, or at the closing quote when it opens with one;
// 2n backslashes before a quote give n backslashes and the quote opens or
// closes a quoted part, 2n+1 give n backslashes and a literal quote; other
// backslashes stand as they are; "" inside a quoted part is a literal quote.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

// When a process started (clock ticks after boot), or -1 when there is no such
// process or it has ended. A process id alone may have been given to another
// process since: a process is the same while its id and start agree.
long long ProcessStarted(long long pid);

} // namespace platform

namespace platform::test {

// One process started by CreateProcessW, CreateProcessA or CreateProcessAsUserW.
struct ProcessLaunch {
    DWORD processId = 0;
    std::string hostProgram;               // the host file that runs
    std::u16string applicationName;        // as given (empty for NULL)
    std::u16string commandLine;            // as given (empty for NULL)
    std::vector<std::u16string> arguments; // what the program sees, its name first
    std::u16string desktop;                // STARTUPINFO lpDesktop (empty for NULL)
    DWORD startupFlags = 0;                // STARTUPINFO dwFlags
    WORD showWindow = 0;                   // STARTUPINFO wShowWindow
    DWORD creationFlags = 0;
    bool asUser = false;     // started by CreateProcessAsUserW
    std::u16string userName; // the user it runs as: the token's, or this process's
    DWORD sessionId = 0;     // the session it runs in
};
// The processes started since the last ResetForTests, oldest first.
std::vector<ProcessLaunch> ProcessLaunches();

// The user logged on to a session (WTSQueryUserToken's answer); an empty name
// logs the session off (ERROR_NO_TOKEN). Without a setting the console session
// has this process's user and every other session has nobody.
void SetSessionUser(DWORD session, std::u16string_view userName);

// Cuts every finite wait time-out above maxMilliseconds down to it (INFINITE,
// the default, cuts nothing), so that a test sees a program's real time-out
// expire at once. LastWaitTimeout is the time-out the last wait asked for.
void LimitWaitTimeouts(DWORD maxMilliseconds);
DWORD LastWaitTimeout();

// The host shared-memory object name (for shm_open) that a named file
// mapping of the current machine root uses; empty for a name that is not valid.
std::string SharedMemoryObjectName(std::u16string_view mappingName);

} // namespace platform::test

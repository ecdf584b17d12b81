// Tempsweep.EXE FOLDER: empties FOLDER. The exit code is the error that
// stopped the sweep; the entry it stopped at goes to the error output.
#include <cstdio>
#include <string>

#include "platform/text.h"
#include "sweep.h"
#include "win/errors.h"
#include "win/process.h"

int main() {
    // The folder is the whole command line after the program name, its
    // blanks as given (a folder named with two blanks in a row is that folder).
    tempsweep::SweepReport report;
    const std::u16string_view arguments = tempsweep::ArgumentsOf(GetCommandLineW());
    DWORD code = tempsweep::SweepTempMain(arguments, &report);
    const std::string given = platform::ToUtf8(std::u16string(arguments));
    if (code == ERROR_BAD_PATHNAME && report.stoppedAt.empty()) {
        const std::string leadsTo = report.resolved.empty()
                                        ? std::string()
                                        : " (" + platform::ToUtf8(report.resolved) + ")";
        std::fprintf(stderr,
                     "Tempsweep: refused to empty %s%s: a drive's root, a share, the folder of "
                     "the users' folders or one above it, a place off this machine's drives, or "
                     "a path with \"..\", is never swept\n",
                     given.c_str(), leadsTo.c_str());
    } else if (code) {
        std::fprintf(stderr, "Tempsweep: stopped at %s: error %lu\n",
                     platform::ToUtf8(report.stoppedAt.empty() ? std::u16string(arguments)
                                                               : report.stoppedAt)
                         .c_str(),
                     static_cast<unsigned long>(code));
    }
    return static_cast<int>(code);
}

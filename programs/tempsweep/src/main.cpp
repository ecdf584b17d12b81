// Tempsweep.EXE FOLDER: empties FOLDER. The exit code is the first error that
// left something behind; every path it could not delete goes to the error
// output.
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
    if (code == ERROR_BAD_PATHNAME && report.leftOver.empty())
        std::fprintf(stderr,
                     "Tempsweep: refused to empty %s: a drive or share root, or a path with "
                     "\"..\", is never swept\n",
                     platform::ToUtf8(std::u16string(arguments)).c_str());
    for (const auto& path : report.leftOver)
        std::fprintf(stderr, "Tempsweep: could not delete %s\n", platform::ToUtf8(path).c_str());
    return static_cast<int>(code);
}

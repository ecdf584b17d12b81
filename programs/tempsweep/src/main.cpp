// Tempsweep.EXE FOLDER: empties FOLDER. The exit code is the first error that
// left something behind; every path it could not delete goes to the error
// output.
#include <cstdio>
#include <string>

#include "platform/text.h"
#include "sweep.h"

int main(int argc, char** argv) {
    // The folder is the whole command line after the program name.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    tempsweep::SweepReport report;
    DWORD code = tempsweep::SweepTempMain(platform::FromUtf8(line), &report);
    for (const auto& path : report.leftOver)
        std::fprintf(stderr, "Tempsweep: could not delete %s\n", platform::ToUtf8(path).c_str());
    return static_cast<int>(code);
}

// One way for tests to install a printer over the build's driver folder: the
// driver folder of the printer in the machine root, the files it holds, its
// model data file, and the port, driver and printer records of the spooler.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

// What a printer's driver folder holds besides its model data file.
struct DriverFolderFiles {
    std::vector<std::string> built;          // copied from the build's driver folder
    std::vector<std::string> builtIfPresent; // the same, where the build made them
    std::vector<std::pair<std::string, std::string>> copies; // {host path, file name}
    std::vector<std::string> standIns;       // present only: the full check asks for them
    std::string driverFile = "Inkforge.DLL"; // the graphics driver's file
    std::vector<std::string> dependentFiles; // listed as the driver's dependent files
    bool makeDefault = true;                 // the machine's default printer
};

// The Windows folder of printer `name`'s driver files, without a closing
// backslash.
std::u16string PrinterDriverFolder(const std::u16string& name);

// Installs printer `name` with `model` as its "MODEL.DAT" and the files named,
// on port "LPT1:" (added when missing). Test assertions report a failure.
void InstallPrinter(const std::u16string& name, const std::vector<std::uint8_t>& model,
                    const DriverFolderFiles& files);

} // namespace test_support

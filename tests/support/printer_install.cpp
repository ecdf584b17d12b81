#include "test_support/printer_install.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/paths.h"
#include "platform/spooler_ctl.h"

namespace test_support {
namespace fs = std::filesystem;
namespace spl = platform::spooler;

std::u16string PrinterDriverFolder(const std::u16string& name) {
    return spl::DriversFolder() + u"\\" + name;
}

void InstallPrinter(const std::u16string& name, const std::vector<std::uint8_t>& model,
                    const DriverFolderFiles& files) {
    const std::u16string folder = PrinterDriverFolder(name);
    const fs::path host(platform::HostPath(folder));
    const fs::path built(PKG_DRIVER_DIR);
    fs::create_directories(host);
    for (const std::string& file : files.built)
        fs::copy_file(built / file, host / file, fs::copy_options::overwrite_existing);
    for (const std::string& file : files.builtIfPresent)
        if (fs::exists(built / file))
            fs::copy_file(built / file, host / file, fs::copy_options::overwrite_existing);
    for (const auto& [from, file] : files.copies)
        fs::copy_file(from, host / file, fs::copy_options::overwrite_existing);
    for (const std::string& file : files.standIns)
        if (!fs::exists(host / file)) std::ofstream(host / file) << "stand-in";
    {
        std::ofstream out(host / "MODEL.DAT", std::ios::binary);
        out.write(reinterpret_cast<const char*>(model.data()),
                  static_cast<std::streamsize>(model.size()));
    }
    bool havePort = false;
    for (const auto& p : spl::Ports())
        havePort |= p.name == u"LPT1:";
    if (!havePort) {
        ASSERT_EQ(spl::AddPort({u"LPT1:", u"Local Port", u""}), 0u);
    }
    auto inFolder = [&](const std::string& file) {
        return folder + u"\\" + std::u16string(file.begin(), file.end());
    };
    spl::DriverRecord d;
    d.name = name + u" Driver";
    d.driverPath = inFolder(files.driverFile);
    d.dataFile = folder + u"\\MODEL.DAT";
    d.configFile = folder + u"\\Frontdoor.DLL";
    for (const std::string& file : files.dependentFiles)
        d.dependentFiles.push_back(inFolder(file));
    ASSERT_EQ(spl::AddDriver(d), 0u);
    spl::PrinterRecord p;
    p.name = name;
    p.port = u"LPT1:";
    p.driver = d.name;
    ASSERT_EQ(spl::AddPrinter(p, files.makeDefault), 0u);
}

} // namespace test_support

#include "ui_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "model_compiler.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "win/base.h"
#include "win/spool.h"

namespace ui_test {
namespace {

namespace fs = std::filesystem;
namespace spl = platform::spooler;

} // namespace

Bytes ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteHostFile(const std::string& path, const Bytes& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes SampleModel(const std::string& name) {
    Bytes b = ReadHostFile(std::string(PKG_MODELS_DIR) + "/" + name + ".DAT");
    if (b.empty()) throw std::runtime_error("missing sample model " + name);
    return b;
}

nlohmann::json SampleSource(const std::string& name) {
    return modelc::LoadSource(std::string(PKG_SOURCE_DIR) + "/samples/models/" + name + ".json");
}

Bytes Compile(const nlohmann::json& source) {
    return modelc::Compile(source);
}

std::u16string DriverFolder(const std::u16string& name) {
    return spl::DriversFolder() + u"\\" + name;
}

void InstallPrinter(const std::u16string& name, const Bytes& model,
                    const std::vector<std::string>& extraFiles) {
    std::u16string folder = DriverFolder(name);
    fs::path host(platform::HostPath(folder));
    fs::create_directories(host);
    std::vector<std::string> files{"Modelsmith.DLL", "Sheetwright.DLL"};
    files.insert(files.end(), extraFiles.begin(), extraFiles.end());
    for (const auto& file : files)
        fs::copy_file(fs::path(PKG_DRIVER_DIR) / file, host / file,
                      fs::copy_options::overwrite_existing);
    WriteHostFile((host / "MODEL.DAT").string(), model);
    bool havePort = false;
    for (const auto& p : spl::Ports())
        havePort |= p.name == u"LPT1:";
    if (!havePort) {
        ASSERT_EQ(spl::AddPort({u"LPT1:", u"Local Port", u""}), 0u);
    }
    spl::DriverRecord d;
    d.name = name + u" Driver";
    d.driverPath = folder + u"\\Inkforge.DLL";
    d.dataFile = folder + u"\\MODEL.DAT";
    d.configFile = folder + u"\\Frontdoor.DLL";
    d.dependentFiles = {folder + u"\\Modelsmith.DLL", folder + u"\\Sheetwright.DLL"};
    ASSERT_EQ(spl::AddDriver(d), 0u);
    spl::PrinterRecord p;
    p.name = name;
    p.port = u"LPT1:";
    p.driver = d.name;
    ASSERT_EQ(spl::AddPrinter(p, true), 0u);
}

BoundPrinter::BoundPrinter(const std::u16string& name) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &printer_, &defaults)) {
        printer_ = nullptr;
        return;
    }
    block_.modelData = sheetwright::LoadDriverDataFile(printer_);
    block_.modelsmith =
        sheetwright::LoadDriverModule(printer_, block_.modelData, sheetwright::kSelectModelsmith);
}

BoundPrinter::~BoundPrinter() {
    if (block_.modelsmith) FreeLibrary(block_.modelsmith);
    if (block_.modelData) GlobalFree(block_.modelData);
    if (printer_) ClosePrinter(printer_);
}

} // namespace ui_test

#include "ui_fixture.h"

#include "test_support/printer_install.h"

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
    test_support::DriverFolderFiles files;
    files.built = {"Modelsmith.DLL", "Sheetwright.DLL"};
    files.built.insert(files.built.end(), extraFiles.begin(), extraFiles.end());
    files.dependentFiles = {"Modelsmith.DLL", "Sheetwright.DLL"};
    test_support::InstallPrinter(name, model, files);
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

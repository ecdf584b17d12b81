#include "frontdoor_fixture.h"

#include "test_support/printer_install.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "model_compiler.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"

namespace frontdoor_test {
namespace {
namespace fs = std::filesystem;
namespace spl = platform::spooler;
} // namespace

Bytes SampleModel(const std::string& name) {
    std::ifstream in(std::string(PKG_MODELS_DIR) + "/" + name + ".DAT", std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
    return spl::DriversFolder() + u"\\" + name + u"\\";
}

std::string HostFile(const std::u16string& printer, const std::u16string& file) {
    return platform::HostPath(DriverFolder(printer) + file);
}

void InstallPrinter(const std::u16string& name, const Bytes& model, Ui ui, bool recorder) {
    test_support::DriverFolderFiles files;
    files.built = {"Frontdoor.DLL", "Inkforge.DLL", "Modelsmith.DLL", "Resbundle.DLL"};
    if (recorder) {
        files.copies.push_back({RECORDING_DRIVER_PATH, "RECORDER.DLL"});
        files.driverFile = "RECORDER.DLL";
    }
    if (ui == Ui::Built)
        files.built.push_back("Sheetwright.DLL");
    else if (ui != Ui::None)
        files.copies.push_back(
            {(fs::path(FAKE_UI_DIR) / (ui == Ui::Whole ? "whole" : "bare") / "Sheetwright.DLL")
                 .string(),
             "Sheetwright.DLL"});
    // The files the full check asks for; their contents are not read.
    files.standIns = {"Metaweave.DLL", "Devprobe.DLL", "Gatekeep.DLL", "Tallyport.DLL"};
    test_support::InstallPrinter(name, model, files);
}

void FrontdoorTest::Open(const Bytes& model, Ui ui_, bool recorder) {
    InstallPrinter(u"P", model, ui_, recorder);
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &printer, nullptr));
    frontdoor = LoadLibraryW((DriverFolder(u"P") + u"Frontdoor.DLL").c_str());
    ASSERT_NE(frontdoor, nullptr);
    // The inner functions this program calls directly show the library's own strings.
    frontdoor::gModule = reinterpret_cast<HINSTANCE>(frontdoor);
    if (ui_ != Ui::None) {
        ui = LoadLibraryW((DriverFolder(u"P") + u"Sheetwright.DLL").c_str());
        ASSERT_NE(ui, nullptr);
    }
}

void FrontdoorTest::TearDown() {
    frontdoor::gModule = nullptr;
    if (ui) FreeLibrary(ui);
    if (frontdoor) FreeLibrary(frontdoor);
    if (printer) ClosePrinter(printer);
}

std::string FrontdoorTest::UiLog() {
    return ui ? As<const char* (*)()>(GetProcAddress(ui, "FakeSheetwrightLog"))() : "";
}

void FrontdoorTest::ClearUiLog() {
    if (ui) As<void (*)()>(GetProcAddress(ui, "FakeSheetwrightClearLog"))();
}

} // namespace frontdoor_test

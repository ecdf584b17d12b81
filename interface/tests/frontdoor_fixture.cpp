#include "frontdoor_fixture.h"

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
    std::u16string folder = DriverFolder(name);
    fs::path host(platform::HostPath(folder));
    fs::create_directories(host);
    for (const char* file : {"Frontdoor.DLL", "Inkforge.DLL", "Modelsmith.DLL", "Resbundle.DLL"})
        fs::copy_file(fs::path(PKG_DRIVER_DIR) / file, host / file,
                      fs::copy_options::overwrite_existing);
    if (recorder)
        fs::copy_file(RECORDING_DRIVER_PATH, host / "RECORDER.DLL",
                      fs::copy_options::overwrite_existing);
    if (ui == Ui::Built)
        fs::copy_file(fs::path(PKG_DRIVER_DIR) / "Sheetwright.DLL", host / "Sheetwright.DLL",
                      fs::copy_options::overwrite_existing);
    else if (ui != Ui::None)
        fs::copy_file(fs::path(FAKE_UI_DIR) / (ui == Ui::Whole ? "whole" : "bare") /
                          "Sheetwright.DLL",
                      host / "Sheetwright.DLL", fs::copy_options::overwrite_existing);
    // The files the full check asks for; their contents are not read.
    for (const char* file : {"Metaweave.DLL", "Devprobe.DLL", "Gatekeep.DLL", "Tallyport.DLL"})
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
    spl::DriverRecord d;
    d.name = name + u" Driver";
    d.driverPath = folder + (recorder ? u"RECORDER.DLL" : u"Inkforge.DLL");
    d.dataFile = folder + u"MODEL.DAT";
    d.configFile = folder + u"Frontdoor.DLL";
    ASSERT_EQ(spl::AddDriver(d), 0u);
    spl::PrinterRecord p;
    p.name = name;
    p.port = u"LPT1:";
    p.driver = d.name;
    ASSERT_EQ(spl::AddPrinter(p, true), 0u);
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

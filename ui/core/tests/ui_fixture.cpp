#include "ui_fixture.h"

#include "test_support/printer_install.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "model_compiler.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/user_ctl.h"
#include "sheet_app.h"
#include "win/base.h"
#include "win/spool.h"
#include "win/user.h"

namespace ui_test {
namespace {

namespace fs = std::filesystem;
namespace spl = platform::spooler;
namespace ut = platform::user::test;

LONG_PTR CALLBACK AcceptAll(HANDLE, UINT, LPARAM, LPARAM) {
    return 1;
}

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

SheetParams::SheetParams(HANDLE printer, const char16_t* name, DWORD sheetKind, DWORD modeFlags) {
    header = {sizeof header, static_cast<WORD>(modeFlags), printer, const_cast<LPWSTR>(name)};
    params.size = sizeof params;
    params.printerName = const_cast<LPWSTR>(name);
    params.propertyHeader = &header;
    params.sheetKind = sheetKind;
    params.modeFlags = modeFlags;
    params.pfnComPropSheet = AcceptAll;
}

void PageSheet::OpenPrinter(const char16_t* name, DWORD access) {
    if (printer_) ClosePrinter(printer_);
    printer_ = nullptr;
    name_ = name;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name), &printer_, &defaults));
}

void PageSheet::TearDown() {
    if (printer_) ClosePrinter(printer_);
    printer_ = nullptr;
    for (const auto& u : ut::TakeUnanswered())
        ADD_FAILURE() << "left unanswered: " << u;
}

void PageSheet::Show(const Sheet& sheet, const Script& script) {
    SheetParams p(printer_, name_.c_str(), sheet.kind, sheet.modeFlags);
    sheetwright::CTovaUi16 app;
    sheetwright::SheetContext* context = sheetwright::CreateSheetContext(&p.params);
    ASSERT_NE(context, nullptr);
    if (sheet.prepare) sheet.prepare(context);
    if (sheet.holdContext) ++context->pageReferences;
    std::vector<HPROPSHEETPAGE> handles;
    for (sheetwright::CPropPage* page : sheet.pages(context))
        handles.push_back(CreatePropertySheetPageW(&page->m_psp));
    ut::AnswerNextModal([&](HWND shown) {
        if (sheet.startPage) platform::user::driver::SwitchPage(shown, sheet.startPage);
        script(shown, reinterpret_cast<HWND>(SendMessageW(shown, PSM_GETCURRENTPAGEHWND, 0, 0)));
    });
    PROPSHEETHEADERW psh{};
    psh.dwSize = sizeof psh;
    psh.pszCaption = name_.c_str();
    psh.nPages = static_cast<UINT>(handles.size());
    psh.phpage = handles.data();
    PropertySheetW(&psh);
    if (!sheet.holdContext) return;
    if (sheet.done) sheet.done(context);
    sheetwright::FreeSheetContext(context);
}

} // namespace ui_test

// Helpers of the UI core tests: printers whose driver folder holds the built
// model library and UI library beside a sample or custom model data file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "driver_env.h"
#include "prop_page.h"
#include "sheet_context.h"
#include "win/printer_sheets.h"
#include "win/spool.h"
#include "win/types.h"

namespace ui_test {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadHostFile(const std::string& path);
void WriteHostFile(const std::string& path, const Bytes& bytes);
Bytes SampleModel(const std::string& name);
nlohmann::json SampleSource(const std::string& name);
Bytes Compile(const nlohmann::json& source);

// The Windows folder of printer `name`'s driver files.
std::u16string DriverFolder(const std::u16string& name);
// Installs printer `name` with Modelsmith and Sheetwright (and any extra
// files of the build's driver folder) copied beside the model data file.
void InstallPrinter(const std::u16string& name, const Bytes& model,
                    const std::vector<std::string>& extraFiles = {});

// An open printer with its model data and Modelsmith bound, released with
// the object.
class BoundPrinter {
  public:
    explicit BoundPrinter(const std::u16string& name);
    ~BoundPrinter();
    BoundPrinter(const BoundPrinter&) = delete;
    BoundPrinter& operator=(const BoundPrinter&) = delete;

    HANDLE printer() const { return printer_; }
    const sheetwright::ModelBlock* binding() const { return &block_; }
    bool ok() const { return printer_ && block_.modelsmith && block_.modelData; }

  private:
    HANDLE printer_ = nullptr;
    sheetwright::ModelBlock block_{};
};

// The parameters a sheet of printer `name` is opened with, over a header
// naming the open printer; the sheet's callback accepts every change.
struct SheetParams {
    SheetParams(HANDLE printer, const char16_t* name, DWORD sheetKind, DWORD modeFlags = 0);
    // `params` points at `header`.
    SheetParams(const SheetParams&) = delete;
    SheetParams& operator=(const SheetParams&) = delete;

    DEVICEPROPERTYHEADER header{};
    PropPageParams params{};
};

// A test of pages shown in a sheet over an installed printer: opens the
// printer, shows the pages and works them with a script, and fails the test
// for any modal left unanswered.
class PageSheet : public ::testing::Test {
  protected:
    using Script = std::function<void(HWND sheet, HWND page)>;

    struct Sheet {
        DWORD kind = kSheetDocument;
        DWORD modeFlags = 0;
        // Called on the new context before the pages are made.
        std::function<void(sheetwright::SheetContext*)> prepare;
        // Makes the sheet's pages over the context (they own it).
        std::function<std::vector<sheetwright::CPropPage*>(sheetwright::SheetContext*)> pages;
        // The page the script starts on.
        int startPage = 0;
        // Holds the context over the sheet: `done` reads it, then it is freed.
        bool holdContext = false;
        std::function<void(sheetwright::SheetContext*)> done;
    };

    // Opens printer `name` (closing the one open before).
    void OpenPrinter(const char16_t* name, DWORD access = PRINTER_ALL_ACCESS);
    void TearDown() override;
    // Shows the sheet and runs `script` on it and its current page.
    void Show(const Sheet& sheet, const Script& script);

    HANDLE printer_ = nullptr;
    std::u16string name_;
};

} // namespace ui_test

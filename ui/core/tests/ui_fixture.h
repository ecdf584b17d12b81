// Helpers of the UI core tests: printers whose driver folder holds the built
// model library and UI library beside a sample or custom model data file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "driver_env.h"
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

} // namespace ui_test

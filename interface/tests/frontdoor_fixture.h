// Printers whose interface library is the built Frontdoor, with the sample
// models or compiled variants, and the stand-in UI library beside it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "frontdoor.h"

namespace frontdoor_test {

using Bytes = std::vector<std::uint8_t>;

Bytes SampleModel(const std::string& name);
nlohmann::json SampleSource(const std::string& name);
Bytes Compile(const nlohmann::json& source);

// The stand-in UI library (whole or bare), none, or the built Sheetwright.
enum class Ui { Whole, Bare, None, Built };

// The driver folder of printer `name`.
std::u16string DriverFolder(const std::u16string& name);
// A file of that folder on the host.
std::string HostFile(const std::u16string& printer, const std::u16string& file);

// Installs printer `name` on LPT1: with Frontdoor, Inkforge, Modelsmith and
// Resbundle, the chosen UI library and the model data file.
// With `recorder` the graphics driver is the recording test driver, so that
// the escapes a document event sends can be seen.
void InstallPrinter(const std::u16string& name, const Bytes& model, Ui ui = Ui::Whole,
                    bool recorder = false);

template <class F> F As(FARPROC p) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}

class FrontdoorTest : public ::testing::Test {
  protected:
    void TearDown() override;
    // Installs and opens printer "P" and loads its Frontdoor and UI library.
    void Open(const Bytes& model, Ui ui = Ui::Whole, bool recorder = false);
    template <class F> F Entry(const char* name) { return As<F>(GetProcAddress(frontdoor, name)); }
    std::string UiLog();
    void ClearUiLog();
    HANDLE printer = nullptr;
    HMODULE frontdoor = nullptr;
    HMODULE ui = nullptr;
};

} // namespace frontdoor_test

// libFuzzer harness over uiReviseDevmodeEx's revision with device modes of
// any bytes: a standard part and a private part of the sizes their header
// states (cut to the bytes there are), in a buffer exactly that long, revised
// in both modes against a second device mode from the same input. Nothing is
// read or written past either buffer, and the header keeps its sizes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "revise_devmode.h"
#include "win/base.h"
#include "win/spool.h"

namespace {

HANDLE gPrinter = nullptr;
LPVOID gData = nullptr;

std::u16string WindowsPath(const std::string& hostPath) {
    std::string p = "Z:" + hostPath;
    for (char& c : p)
        if (c == '/') c = '\\';
    return platform::FromUtf8(p);
}

// A buffer of one device mode from the input, its sizes cut to the bytes.
std::vector<std::uint8_t> DeviceMode(const std::uint8_t* data, std::size_t size) {
    WORD dmSize, dmExtra;
    std::memcpy(&dmSize, data + offsetof(DEVMODEW, dmSize), sizeof dmSize);
    std::memcpy(&dmExtra, data + offsetof(DEVMODEW, dmDriverExtra), sizeof dmExtra);
    if (dmSize < offsetof(DEVMODEW, dmFields)) dmSize = offsetof(DEVMODEW, dmFields);
    if (dmSize > size) dmSize = static_cast<WORD>(size);
    if (dmExtra > size - dmSize) dmExtra = static_cast<WORD>(size - dmSize);
    std::vector<std::uint8_t> out(data, data + dmSize + dmExtra);
    std::memcpy(out.data() + offsetof(DEVMODEW, dmSize), &dmSize, sizeof dmSize);
    std::memcpy(out.data() + offsetof(DEVMODEW, dmDriverExtra), &dmExtra, sizeof dmExtra);
    out.shrink_to_fit();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char root[] = "/tmp/revise-fuzz-root-XXXXXX";
    if (!mkdtemp(root)) std::abort();
    setenv("PRINTHOST_ROOT", root, 1);
    platform::test::ResetForTests();
    platform::spooler::AddPort({u"LPT1:", u"Local Port", u""});
    platform::spooler::DriverRecord driver;
    driver.name = u"Fuzz";
    driver.driverPath = WindowsPath(std::string(PKG_DRIVER_DIR) + "/Inkforge.DLL");
    driver.dataFile = WindowsPath(std::string(PKG_MODELS_DIR) + "/CX5540.DAT");
    platform::spooler::AddDriver(driver);
    platform::spooler::PrinterRecord printer;
    printer.name = u"F";
    printer.port = u"LPT1:";
    printer.driver = u"Fuzz";
    platform::spooler::AddPrinter(printer, false);
    if (!OpenPrinterW(const_cast<LPWSTR>(u"F"), &gPrinter, nullptr)) std::abort();
    gData = sheetwright::LoadDriverDataFile(gPrinter);
    if (!gData) std::abort();
    // Every call loads and frees the libraries it binds; held here for the
    // run, they stay mapped and their coverage counters with them.
    for (const char* library : {"Modelsmith.DLL", "Devprobe.DLL"})
        LoadLibraryW(platform::FromUtf8(std::string(PKG_DRIVER_DIR) + "/" + library).c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One byte for the mode and the split, then the two device modes.
    if (size < 1 + 2 * offsetof(DEVMODEW, dmFields)) return 0;
    const DWORD mode = (data[0] & 1) ? sheetwright::kReviseCarryOver : sheetwright::kReviseDefaults;
    const std::size_t rest = size - 1;
    std::size_t split = offsetof(DEVMODEW, dmFields) + data[0] * rest / 256;
    if (split > rest - offsetof(DEVMODEW, dmFields)) split = rest - offsetof(DEVMODEW, dmFields);
    std::vector<std::uint8_t> target = DeviceMode(data + 1, split);
    std::vector<std::uint8_t> old = DeviceMode(data + 1 + split, rest - split);
    auto* dm = reinterpret_cast<DEVMODEW*>(target.data());
    const WORD dmSize = dm->dmSize, dmExtra = dm->dmDriverExtra;
    sheetwright::ReviseDevmodeEx(gPrinter, gData, reinterpret_cast<DEVMODEW*>(old.data()), dm,
                                 mode);
    if (dm->dmSize != dmSize || dm->dmDriverExtra != dmExtra) __builtin_trap();
    return 0;
}

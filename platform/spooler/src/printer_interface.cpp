// The spooler's calls into a printer's interface library outside the
// property sheets: the events of a new printer and its default device mode,
// device capabilities, and the impersonation pair a driver calls back.
#include <vector>

#include "spooler_internal.h"
#include "win/loader.h"
#include "win/gdi_text.h"
#include "win/printer_interface.h"
#include "win/spool.h"

namespace platform::spooler {

template <class F> F As(FARPROC p) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}

namespace {

// The interface library of a printer by its name, for the events the spooler
// raises on its own: no handle is opened, so nothing shows in the calls the
// printer's clients see.
HMODULE LoadPrinterInterface(const std::u16string& name, const char* exportName, FARPROC* entry) {
    PrinterRecord printer;
    DriverRecord driver;
    if (!FindPrinter(name, &printer) || !FindDriver(printer.driver, &driver) ||
        driver.configFile.empty())
        return nullptr;
    HMODULE module = LoadLibraryW(driver.configFile.c_str());
    if (!module) return nullptr;
    *entry = GetProcAddress(module, exportName);
    if (!*entry) {
        FreeLibrary(module);
        return nullptr;
    }
    return module;
}

// The driver's default device mode in two calls; empty when it has none.
std::vector<BYTE> DriverDefaultDevmode(const std::u16string& name) {
    FARPROC entry = nullptr;
    HMODULE module = LoadPrinterInterface(name, "DrvConvertDevMode", &entry);
    if (!module) return {};
    auto convert = As<PFN_DrvConvertDevMode>(entry);
    std::u16string printerName = name;
    std::vector<BYTE> block;
    LONG needed = 0;
    if (!convert(printerName.data(), nullptr, nullptr, &needed, CDM_DRIVER_DEFAULT) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > 0) {
        block.resize(static_cast<size_t>(needed));
        LONG size = needed;
        if (!convert(printerName.data(), nullptr, reinterpret_cast<PDEVMODEW>(block.data()), &size,
                     CDM_DRIVER_DEFAULT) ||
            !IsWellFormedDevmodeW(block))
            block.clear();
        else
            block.resize(static_cast<size_t>(size));
    }
    FreeLibrary(module);
    return block;
}

} // namespace

std::vector<BYTE> InDriverFormat(const std::u16string& name, std::vector<BYTE> devmode) {
    if (!IsWellFormedDevmodeW(devmode)) return devmode;
    std::vector<BYTE> target = DriverDefaultDevmode(name);
    if (target.empty()) return devmode;
    const auto* in = reinterpret_cast<const DEVMODEW*>(devmode.data());
    const auto* own = reinterpret_cast<const DEVMODEW*>(target.data());
    if (in->dmSize == own->dmSize && in->dmDriverExtra == own->dmDriverExtra &&
        in->dmDriverVersion == own->dmDriverVersion)
        return devmode;
    // The driver converts into its own default, whose size fields say what it holds.
    FARPROC entry = nullptr;
    HMODULE module = LoadPrinterInterface(name, "DrvConvertDevMode", &entry);
    if (!module) return devmode;
    std::u16string printerName = name;
    LONG size = static_cast<LONG>(target.size());
    BOOL ok = As<PFN_DrvConvertDevMode>(entry)(
        printerName.data(), reinterpret_cast<PDEVMODEW>(devmode.data()),
        reinterpret_cast<PDEVMODEW>(target.data()), &size, CDM_CONVERT);
    FreeLibrary(module);
    if (!ok || size <= 0 || static_cast<size_t>(size) > target.size()) return devmode;
    target.resize(static_cast<size_t>(size));
    return IsWellFormedDevmodeW(target) ? target : devmode;
}

void RaisePrinterEvent(const std::u16string& name, int event, LPARAM lParam) {
    std::u16string printerName = name;
    FARPROC entry = nullptr;
    if (HMODULE module = LoadPrinterInterface(name, "DrvPrinterEvent", &entry)) {
        As<PFN_DrvPrinterEvent>(entry)(printerName.data(), event, PRINTER_EVENT_FLAG_NO_UI, lParam);
        FreeLibrary(module);
    }
}

void UpgradePrinter(const std::u16string& name, const std::u16string& oldDriverDirectory) {
    std::u16string printerName = name, oldDirectory = oldDriverDirectory;
    FARPROC entry = nullptr;
    if (HMODULE module = LoadPrinterInterface(name, "DrvUpgradePrinter", &entry)) {
        DRIVER_UPGRADE_INFO_1W info{printerName.data(), oldDirectory.data()};
        // The upgrade reads, revises and writes back the printer's settings:
        // nobody else's store may land in between.
        SettingsLock lock;
        As<PFN_DrvUpgradePrinter>(entry)(1, reinterpret_cast<LPBYTE>(&info));
        FreeLibrary(module);
    }
}

void InitializeNewPrinter(const std::u16string& name, bool created) {
    std::u16string printerName = name;
    HANDLE printer = nullptr;
    // The spooler acts as itself here: storing the printer's default needs administration.
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(printerName.data(), &printer, &access)) return;
    FARPROC entry = nullptr;
    if (created) {
        if (HMODULE module = LoadInterfaceLibrary(printer, "DrvPrinterEvent", &entry)) {
            As<PFN_DrvPrinterEvent>(entry)(printerName.data(), PRINTER_EVENT_INITIALIZE,
                                           PRINTER_EVENT_FLAG_NO_UI, 0);
            FreeLibrary(module);
        }
    }
    PrinterRecord record;
    if (FindPrinter(name, &record) && record.devmode.empty()) {
        std::vector<BYTE> devmode = DriverDefaultDevmode(name);
        if (!devmode.empty()) {
            PRINTER_INFO_8W info{reinterpret_cast<PDEVMODEW>(devmode.data())};
            SetPrinterW(printer, 8, reinterpret_cast<LPBYTE>(&info), 0);
        }
    }
    ClosePrinter(printer);
}

} // namespace platform::spooler

extern "C" {

// One user runs everything here: the spooler's own identity is the caller's,
// so the token only has to come back to ImpersonatePrinterClient.
HANDLE WINAPI RevertToPrinterSelf() {
    static int token;
    return &token;
}

BOOL WINAPI ImpersonatePrinterClient(HANDLE hToken) {
    if (!hToken) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI DeviceCapabilitiesW(LPCWSTR pDevice, LPCWSTR pPort, WORD fwCapability, LPWSTR pOutput,
                                 const DEVMODEW* pDevMode) {
    (void)pPort;
    std::u16string name = pDevice ? pDevice : u"";
    HANDLE printer = nullptr;
    if (name.empty() || !OpenPrinterW(name.data(), &printer, nullptr)) return GDI_ERROR;
    DWORD result = GDI_ERROR;
    FARPROC entry = nullptr;
    if (HMODULE module =
            platform::spooler::LoadInterfaceLibrary(printer, "DrvDeviceCapabilities", &entry)) {
        result = platform::spooler::As<PFN_DrvDeviceCapabilities>(entry)(
            printer, name.data(), fwCapability, pOutput, const_cast<PDEVMODEW>(pDevMode));
        FreeLibrary(module);
    }
    ClosePrinter(printer);
    return result;
}

} // extern "C"

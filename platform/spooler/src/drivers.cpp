// Driver information of a printer: GetPrinterDriver levels 2 and 3.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/text.h"
#include "spooler_internal.h"

using namespace platform::spooler;

namespace {

bool KnownEnvironment(std::u16string_view env) {
    static const char16_t* const kKnown[] = {u"Windows x64", u"Windows NT x86", u"Windows IA64",
                                             u"Windows ARM64", u"Windows 4.0"};
    for (const char16_t* k : kKnown)
        if (platform::EqualsNoCase(env, k)) return true;
    return false;
}

BOOL GetDriverImpl(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                   DWORD cbBuf, LPDWORD pcbNeeded) {
    auto h = FindPrinterHandle(hPrinter);
    if (!h) return FALSE;
    std::u16string env = pEnvironment ? std::u16string(pEnvironment) : std::u16string(kEnvironment);
    if (!KnownEnvironment(env)) {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    if (Level != 2 && Level != 3) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    OneSettingsReading reading;
    auto row = SharedPrinter(h->key);
    if (!row) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    auto driver =
        platform::EqualsNoCase(env, kEnvironment) ? SharedDriver(row->rec.driver) : nullptr;
    if (!driver) {
        SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
        return FALSE;
    }
    // The answer of the same records is the same: built once per printer and level.
    struct Kept {
        std::shared_ptr<const PrinterRow> row;
        std::shared_ptr<const DriverRecord> driver;
        std::shared_ptr<const Answer> answer;
    };
    static std::mutex keptMutex;
    static std::map<std::pair<std::string, DWORD>, Kept> kept;
    {
        std::lock_guard lock(keptMutex);
        auto it = kept.find({h->key, Level});
        if (it != kept.end() && it->second.row == row && it->second.driver == driver)
            return it->second.answer->Deliver(pDriverInfo, cbBuf, pcbNeeded) ? TRUE : FALSE;
    }
    const DriverRecord& d = *driver;
    auto built = std::make_shared<Answer>();
    Answer& a = *built;
    // Levels 2 and 3 share their first six fields.
    size_t r = a.Record(Level == 2 ? sizeof(DRIVER_INFO_2W) : sizeof(DRIVER_INFO_3W));
    a.Put<DWORD>(r + offsetof(DRIVER_INFO_3W, cVersion), d.version);
    a.String(r + offsetof(DRIVER_INFO_3W, pName), d.name);
    a.String(r + offsetof(DRIVER_INFO_3W, pEnvironment), d.environment);
    a.String(r + offsetof(DRIVER_INFO_3W, pDriverPath), d.driverPath);
    a.String(r + offsetof(DRIVER_INFO_3W, pDataFile), d.dataFile);
    a.String(r + offsetof(DRIVER_INFO_3W, pConfigFile), d.configFile);
    if (Level == 3) {
        if (!d.helpFile.empty()) a.String(r + offsetof(DRIVER_INFO_3W, pHelpFile), d.helpFile);
        a.MultiString(r + offsetof(DRIVER_INFO_3W, pDependentFiles), d.dependentFiles);
        if (!d.monitorName.empty())
            a.String(r + offsetof(DRIVER_INFO_3W, pMonitorName), d.monitorName);
        if (!d.defaultDataType.empty())
            a.String(r + offsetof(DRIVER_INFO_3W, pDefaultDataType), d.defaultDataType);
    }
    {
        std::lock_guard lock(keptMutex);
        if (kept.size() >= 64) kept.clear(); // printers come and go; a few are in use
        kept[{h->key, Level}] = Kept{row, driver, built};
    }
    return a.Deliver(pDriverInfo, cbBuf, pcbNeeded) ? TRUE : FALSE;
}

} // namespace

extern "C" BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level,
                                         LPBYTE pDriverInfo, DWORD cbBuf, LPDWORD pcbNeeded) {
    return GuardedBool("GetPrinterDriverW", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = Level;
        call.bytes = cbBuf;
        call.name = WideFrom(pEnvironment);
        SPOOLER_FAULT_POINT("GetPrinterDriverW", FALSE);
        return GetDriverImpl(hPrinter, pEnvironment, Level, pDriverInfo, cbBuf, pcbNeeded);
    });
}

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

// The answer of the printer's driver record at a level: built once per
// printer, level and record, and shared by the handles that ask.
std::shared_ptr<const Answer> DriverInfoAnswer(const std::shared_ptr<const PrinterRow>& row,
                                               const std::shared_ptr<const DriverRecord>& driver,
                                               DWORD Level) {
    struct Kept {
        std::shared_ptr<const PrinterRow> row;
        std::shared_ptr<const DriverRecord> driver;
        std::shared_ptr<const Answer> answer;
    };
    static std::mutex keptMutex;
    static std::map<std::pair<std::string, DWORD>, Kept> kept;
    {
        std::lock_guard lock(keptMutex);
        auto it = kept.find({row->key, Level});
        if (it != kept.end() && it->second.row == row && it->second.driver == driver)
            return it->second.answer;
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
    std::lock_guard lock(keptMutex);
    if (kept.size() >= 64) kept.clear(); // printers come and go; a few are in use
    kept[{row->key, Level}] = Kept{row, driver, built};
    return built;
}

BOOL GetDriverImpl(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                   DWORD cbBuf, LPDWORD pcbNeeded) {
    auto h = FindPrinterHandle(hPrinter);
    if (!h) return FALSE;
    // No environment named is the spooler's own.
    const bool own = !pEnvironment || platform::EqualsNoCase(pEnvironment, kEnvironment);
    if (!own && !KnownEnvironment(pEnvironment)) {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    if (Level != 2 && Level != 3) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    // The driver libraries ask on every call they serve. The handle's last
    // answer at this level holds while the records it was built from are
    // what the look-ups below would give now: every process raises the
    // stamp after it commits a change of a printer or a driver, this one
    // moves the generation whenever it drops its records, and nothing kept
    // stands inside a transaction.
    SpoolHandle::DriverAnswer& mine = h->driverAnswers[Level - 2];
    if (own) {
        std::lock_guard lock(h->driverMutex);
        if (mine.answer && SettingsStillAt(mine.mark))
            return mine.answer->Deliver(pDriverInfo, cbBuf, pcbNeeded) ? TRUE : FALSE;
    }
    OneSettingsReading reading;
    SettingsMark mark;
    const bool keep = MarkSettings(&mark);
    auto row = SharedPrinter(h->key);
    if (!row) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    auto driver = own ? SharedDriver(row->rec.driver) : nullptr;
    if (!driver) {
        SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
        return FALSE;
    }
    auto answer = DriverInfoAnswer(row, driver, Level);
    if (keep) {
        std::lock_guard lock(h->driverMutex);
        mine = SpoolHandle::DriverAnswer{std::move(mark), answer};
    }
    return answer->Deliver(pDriverInfo, cbBuf, pcbNeeded) ? TRUE : FALSE;
}

} // namespace

extern "C" BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level,
                                         LPBYTE pDriverInfo, DWORD cbBuf, LPDWORD pcbNeeded) {
    return GuardedBool("GetPrinterDriverW", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = Level;
        call.bytes = cbBuf;
        if (LoggingCalls()) call.name = WideFrom(pEnvironment);
        SPOOLER_FAULT_POINT("GetPrinterDriverW", FALSE);
        return GetDriverImpl(hPrinter, pEnvironment, Level, pDriverInfo, cbBuf, pcbNeeded);
    });
}

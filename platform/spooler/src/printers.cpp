// Printer handles and printer information: OpenPrinter, ClosePrinter,
// GetPrinter and SetPrinter.
#include "platform/text.h"
#include "spooler_internal.h"
#include "win/printer_interface.h"

namespace platform::spooler {
namespace {

constexpr std::u16string_view kXcvPort = u",XcvPort ";

ACCESS_MASK MapAccess(ACCESS_MASK access, bool server) {
    if (access & GENERIC_READ) access |= server ? SERVER_READ : PRINTER_READ;
    if (access & GENERIC_WRITE)
        access |= server
                      ? (STANDARD_RIGHTS_WRITE | SERVER_ACCESS_ADMINISTER | SERVER_ACCESS_ENUMERATE)
                      : PRINTER_WRITE;
    if (access & GENERIC_EXECUTE) access |= server ? SERVER_READ : PRINTER_EXECUTE;
    if (access & GENERIC_ALL) access |= server ? SERVER_ALL_ACCESS : PRINTER_ALL_ACCESS;
    access &=
        ~static_cast<ACCESS_MASK>(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (access == 0) access = server ? SERVER_READ : PRINTER_ACCESS_USE;
    return access;
}

bool IsLocalServer(std::u16string_view server) {
    return EqualsNoCase(server, ComputerName()) || EqualsNoCase(server, u"localhost") ||
           server == u"127.0.0.1" || server == u".";
}

// Opens a handle for a name; sets the error and returns null when the name
// does not resolve or the access is refused.
std::shared_ptr<SpoolHandle> Resolve(const std::u16string& fullName, ACCESS_MASK desired) {
    auto handle = std::make_shared<SpoolHandle>();
    std::u16string rest = fullName;
    std::u16string server;
    if (rest.size() >= 2 && rest[0] == u'\\' && rest[1] == u'\\') {
        size_t slash = rest.find(u'\\', 2);
        server = rest.substr(2, slash == std::u16string::npos ? std::u16string::npos : slash - 2);
        rest = slash == std::u16string::npos ? u"" : rest.substr(slash + 1);
        if (server.empty()) {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return nullptr;
        }
    }
    bool local = server.empty() || IsLocalServer(server);

    if (rest.empty()) {
        if (!local) {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return nullptr;
        }
        handle->kind = SpoolHandle::Kind::Server;
        handle->access = MapAccess(desired, true);
        if ((handle->access & SERVER_ACCESS_ADMINISTER) && !CallerIsAdministrator()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        return handle;
    }

    if (rest.compare(0, kXcvPort.size(), kXcvPort) == 0) {
        std::u16string port = rest.substr(kXcvPort.size());
        Stmt s("SELECT name FROM spl_ports WHERE key = ?");
        s.Bind(1, FoldKey(port));
        if (!local || port.empty() || !s.Step()) {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return nullptr;
        }
        handle->kind = SpoolHandle::Kind::XcvPort;
        handle->key = FoldKey(port);
        handle->name = s.Wide(0);
        handle->access = MapAccess(desired, true);
        return handle;
    }

    PrinterRow row;
    if (rest.find(u',') != std::u16string::npos || !LoadPrinter(FoldKey(rest), &row)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return nullptr;
    }
    // "\\server\name" names the printer only on the server it belongs to.
    if (!server.empty()) {
        std::u16string own = row.rec.server;
        while (!own.empty() && own[0] == u'\\')
            own.erase(0, 1);
        bool match = own.empty() ? local : EqualsNoCase(own, server);
        if (!match) {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return nullptr;
        }
    }
    handle->kind = SpoolHandle::Kind::Printer;
    handle->key = row.key;
    handle->name = row.rec.name;
    handle->access = MapAccess(desired, false);
    if ((handle->access & PRINTER_ACCESS_ADMINISTER) && !CallerIsAdministrator()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return handle;
}

BOOL Open(const std::u16string& name, LPHANDLE phPrinter, const std::u16string* datatype,
          const std::vector<BYTE>* devmode, ACCESS_MASK desired) {
    if (!phPrinter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phPrinter = nullptr;
    if (datatype && !datatype->empty() && !IsValidDatatype(*datatype)) {
        SetLastError(ERROR_INVALID_DATATYPE);
        return FALSE;
    }
    auto handle = Resolve(name, desired);
    if (!handle) return FALSE;
    if (datatype) handle->datatype = *datatype;
    if (devmode) handle->devmode = *devmode;
    *phPrinter = InsertHandle(handle);
    return TRUE;
}

std::u16string DisplayName(const PrinterRecord& p) {
    return p.server.empty() ? p.name : p.server + u"\\" + p.name;
}

// Builds a GetPrinter answer in the wide or the ANSI layout (the two share
// offsets; only the strings and the device mode differ).
bool BuildPrinterAnswer(const SpoolHandle& h, DWORD level, bool ansi, Answer* a) {
    PrinterRow row;
    if (!LoadPrinter(h.key, &row)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return false;
    }
    auto str = [&](size_t field, const std::u16string& s) {
        if (ansi)
            a->StringA(field, AnsiFromWide(s));
        else
            a->String(field, s);
    };
    auto devmode = [&](size_t field, const std::vector<BYTE>& block) {
        if (block.empty()) return;
        if (!ansi) {
            a->Block(field, block);
            return;
        }
        std::vector<BYTE> converted = DevmodeWideToAnsi(block);
        if (!converted.empty()) a->Block(field, converted);
    };
    switch (level) {
    case 2: {
        size_t r = a->Record(sizeof(PRINTER_INFO_2W));
        if (!row.rec.server.empty())
            str(r + offsetof(PRINTER_INFO_2W, pServerName), row.rec.server);
        str(r + offsetof(PRINTER_INFO_2W, pPrinterName), DisplayName(row.rec));
        str(r + offsetof(PRINTER_INFO_2W, pShareName), row.rec.share);
        str(r + offsetof(PRINTER_INFO_2W, pPortName), row.rec.port);
        str(r + offsetof(PRINTER_INFO_2W, pDriverName), row.rec.driver);
        str(r + offsetof(PRINTER_INFO_2W, pComment), row.rec.comment);
        str(r + offsetof(PRINTER_INFO_2W, pLocation), row.rec.location);
        str(r + offsetof(PRINTER_INFO_2W, pSepFile), row.sepFile);
        str(r + offsetof(PRINTER_INFO_2W, pPrintProcessor), row.processor);
        str(r + offsetof(PRINTER_INFO_2W, pDatatype), row.datatype);
        str(r + offsetof(PRINTER_INFO_2W, pParameters), row.parameters);
        devmode(r + offsetof(PRINTER_INFO_2W, pDevMode), row.rec.devmode);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_2W, Attributes), row.rec.attributes);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_2W, Priority), row.priority);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_2W, DefaultPriority), row.defaultPriority);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_2W, StartTime), row.startTime);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_2W, UntilTime), row.untilTime);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_2W, Status), row.status);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_2W, cJobs), ActiveJobCount(row.key));
        return true;
    }
    case 5: {
        size_t r = a->Record(sizeof(PRINTER_INFO_5W));
        str(r + offsetof(PRINTER_INFO_5W, pPrinterName), DisplayName(row.rec));
        str(r + offsetof(PRINTER_INFO_5W, pPortName), row.rec.port);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_5W, Attributes), row.rec.attributes);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_5W, DeviceNotSelectedTimeout), 15000);
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_5W, TransmissionRetryTimeout), 45000);
        return true;
    }
    case 7: {
        size_t r = a->Record(sizeof(PRINTER_INFO_7W));
        DWORD action = (row.rec.attributes & PRINTER_ATTRIBUTE_PUBLISHED) ? DSPRINT_PUBLISH
                                                                          : DSPRINT_UNPUBLISH;
        a->Put<DWORD>(r + offsetof(PRINTER_INFO_7W, dwAction), action);
        return true;
    }
    case 8: {
        size_t r = a->Record(sizeof(PRINTER_INFO_8W));
        devmode(r, row.rec.devmode);
        return true;
    }
    case 9: {
        size_t r = a->Record(sizeof(PRINTER_INFO_9W));
        devmode(r, LoadUserDevmode(row.key, CurrentUserName()));
        return true;
    }
    default:
        SetLastError(ERROR_INVALID_LEVEL);
        return false;
    }
}

BOOL GetPrinterImpl(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded,
                    bool ansi) {
    auto h = FindPrinterHandle(hPrinter);
    if (!h) return FALSE;
    Answer a;
    if (!BuildPrinterAnswer(*h, Level, ansi, &a)) return FALSE;
    return a.Deliver(pPrinter, cbBuf, pcbNeeded) ? TRUE : FALSE;
}

bool PortExists(const std::u16string& port) {
    Stmt s("SELECT 1 FROM spl_ports WHERE key = ?");
    s.Bind(1, FoldKey(port));
    return s.Step();
}

bool DriverExists(const std::u16string& driver) {
    Stmt s("SELECT 1 FROM spl_drivers WHERE key = ?");
    s.Bind(1, FoldKey(driver));
    return s.Step();
}

BOOL SetLevel2(const SpoolHandle& h, const PRINTER_INFO_2W& info) {
    PrinterRow row;
    if (!LoadPrinter(h.key, &row)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    if (!info.pPrinterName || !info.pPortName || !info.pDriverName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string name = info.pPrinterName;
    // The printer keeps its name: renaming is not offered.
    if (!EqualsNoCase(name, row.rec.name) && !EqualsNoCase(name, DisplayName(row.rec))) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::u16string port = info.pPortName, driver = info.pDriverName;
    if (!PortExists(port)) {
        SetLastError(ERROR_UNKNOWN_PORT);
        return FALSE;
    }
    if (!DriverExists(driver)) {
        SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
        return FALSE;
    }
    std::u16string datatype = info.pDatatype && *info.pDatatype ? info.pDatatype : u"RAW";
    if (!IsValidDatatype(datatype)) {
        SetLastError(ERROR_INVALID_DATATYPE);
        return FALSE;
    }
    if (info.Priority > MAX_PRIORITY || info.DefaultPriority > MAX_PRIORITY) {
        SetLastError(ERROR_INVALID_PRIORITY);
        return FALSE;
    }
    std::vector<BYTE> devmode;
    if (info.pDevMode && !CopyDevmodeW(info.pDevMode, &devmode)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A device mode of another version is stored as the printer's driver
    // makes it; one for a new driver is that driver's to take on, and the
    // one the printer has already needs nothing.
    if (!devmode.empty() && devmode != row.rec.devmode && EqualsNoCase(driver, row.rec.driver))
        devmode = InDriverFormat(row.rec.name, std::move(devmode));
    // Where the printer lives is not the caller's to change.
    constexpr DWORD kFixed =
        PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_PUBLISHED;
    DWORD attributes = (info.Attributes & ~kFixed) | (row.rec.attributes & kFixed);
    bool ok = MachineDb::Transaction([&] {
        Stmt s(
            "UPDATE spl_printers SET share = ?, port = ?, driver = ?, comment = ?, location = ?, "
            "sepfile = ?, processor = ?, datatype = ?, parameters = ?, attributes = ?, priority = "
            "?, "
            "default_priority = ?, start_time = ?, until_time = ?, devmode = COALESCE(?, devmode) "
            "WHERE key = ?");
        s.Bind(1, WideFrom(info.pShareName)).Bind(2, port).Bind(3, driver);
        s.Bind(4, WideFrom(info.pComment)).Bind(5, WideFrom(info.pLocation));
        s.Bind(6, WideFrom(info.pSepFile));
        s.Bind(7, info.pPrintProcessor && *info.pPrintProcessor
                      ? std::u16string(info.pPrintProcessor)
                      : std::u16string(u"winprint"));
        s.Bind(8, datatype).Bind(9, WideFrom(info.pParameters));
        s.Bind(10, static_cast<long long>(attributes))
            .Bind(11, static_cast<long long>(info.Priority));
        s.Bind(12, static_cast<long long>(info.DefaultPriority));
        s.Bind(13, static_cast<long long>(info.StartTime))
            .Bind(14, static_cast<long long>(info.UntilTime));
        s.BindBlob(15, devmode).Bind(16, h.key);
        s.Run();
        return true;
    });
    RaiseSettingsStamp(); // after the commit: nobody keeps what it replaced
    if (!ok) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return FALSE;
    }
    if (attributes != row.rec.attributes) {
        PRINTER_EVENT_ATTRIBUTES_INFO change{sizeof change, row.rec.attributes, attributes};
        RaisePrinterEvent(row.rec.name, PRINTER_EVENT_ATTRIBUTES_CHANGED,
                          reinterpret_cast<LPARAM>(&change));
    }
    return TRUE;
}

BOOL SetLevel7(const SpoolHandle& h, const PRINTER_INFO_7W& info) {
    DWORD action = info.dwAction;
    if (action != DSPRINT_PUBLISH && action != DSPRINT_UPDATE && action != DSPRINT_UNPUBLISH &&
        action != DSPRINT_REPUBLISH) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool ok = MachineDb::Transaction([&] {
        Stmt s("UPDATE spl_printers SET ds_action = ?, ds_updates = ds_updates + ?, "
               "attributes = CASE ? WHEN 1 THEN attributes | ? WHEN 8 THEN attributes | ? "
               "WHEN 4 THEN attributes & ~? ELSE attributes END WHERE key = ?");
        s.Bind(1, static_cast<long long>(action)).Bind(2, action == DSPRINT_UPDATE ? 1LL : 0LL);
        s.Bind(3, static_cast<long long>(action));
        s.Bind(4, static_cast<long long>(PRINTER_ATTRIBUTE_PUBLISHED));
        s.Bind(5, static_cast<long long>(PRINTER_ATTRIBUTE_PUBLISHED));
        s.Bind(6, static_cast<long long>(PRINTER_ATTRIBUTE_PUBLISHED)).Bind(7, h.key);
        s.Run();
        return Changes() == 1;
    });
    RaiseSettingsStamp(); // after the commit: nobody keeps what it replaced
    if (!ok) SetLastError(ERROR_INVALID_PRINTER_NAME);
    return ok ? TRUE : FALSE;
}

BOOL SetDevmodeLevel(const SpoolHandle& h, DWORD level, LPDEVMODEW devmode) {
    std::vector<BYTE> block;
    if (devmode && !CopyDevmodeW(devmode, &block)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (level == 8 && block.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!block.empty()) block = InDriverFormat(h.name, std::move(block));
    bool ok = MachineDb::Transaction([&] {
        if (level == 8) {
            Stmt s("UPDATE spl_printers SET devmode = ? WHERE key = ?");
            s.BindBlob(1, block).Bind(2, h.key);
            s.Run();
            return Changes() == 1;
        }
        std::string user = FoldKey(CurrentUserName());
        if (block.empty()) {
            Stmt s("DELETE FROM spl_user_devmodes WHERE printer = ? AND user = ?");
            s.Bind(1, h.key).Bind(2, user);
            s.Run();
            return true;
        }
        Stmt s("INSERT INTO spl_user_devmodes(printer, user, devmode) VALUES(?,?,?) "
               "ON CONFLICT(printer, user) DO UPDATE SET devmode = excluded.devmode");
        s.Bind(1, h.key).Bind(2, user).BindBlob(3, block);
        s.Run();
        return true;
    });
    RaiseSettingsStamp(); // after the commit: nobody keeps what it replaced
    if (!ok) SetLastError(ERROR_INVALID_PRINTER_NAME);
    return ok ? TRUE : FALSE;
}

// Everything the spooler keeps of the printer; finished jobs' output stays
// where it was written.
bool RemovePrinterRows(const std::string& key) {
    bool removed = MachineDb::Transaction([&] {
        for (const char* sql :
             {"DELETE FROM spl_printer_data WHERE printer = ?",
              "DELETE FROM spl_user_devmodes WHERE printer = ?",
              "DELETE FROM spl_connections WHERE printer = ?",
              "DELETE FROM spl_jobs WHERE printer = ?", "DELETE FROM spl_printers WHERE key = ?"}) {
            Stmt s(sql);
            s.Bind(1, key);
            s.Run();
        }
        return true;
    });
    RaiseSettingsStamp(); // after the commit: nobody keeps what it replaced
    RaiseStatusStamp();   // its jobs are gone too
    return removed;
}

template <class T> T ReadRecord(const BYTE* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

} // namespace
} // namespace platform::spooler

using namespace platform::spooler;

extern "C" {

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
    return GuardedBool("OpenPrinterW", nullptr, [&](test::Call& call) -> BOOL {
        call.name = WideFrom(pPrinterName);
        SPOOLER_FAULT_POINT("OpenPrinterW", FALSE);
        std::u16string datatype;
        std::vector<BYTE> devmode;
        ACCESS_MASK access = 0;
        if (pDefault) {
            datatype = WideFrom(pDefault->pDatatype);
            if (pDefault->pDevMode && !CopyDevmodeW(pDefault->pDevMode, &devmode)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            access = pDefault->DesiredAccess;
            call.level = access;
        }
        return Open(WideFrom(pPrinterName), phPrinter, pDefault ? &datatype : nullptr,
                    pDefault ? &devmode : nullptr, access);
    });
}

BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA pDefault) {
    return GuardedBool("OpenPrinterA", nullptr, [&](test::Call& call) -> BOOL {
        call.name = WideFromAnsi(pPrinterName);
        SPOOLER_FAULT_POINT("OpenPrinterA", FALSE);
        std::u16string datatype;
        std::vector<BYTE> devmode;
        ACCESS_MASK access = 0;
        if (pDefault) {
            datatype = WideFromAnsi(pDefault->pDatatype);
            if (pDefault->pDevMode) {
                std::vector<BYTE> ansi;
                if (!CopyDevmodeA(pDefault->pDevMode, &ansi) ||
                    (devmode = DevmodeAnsiToWide(ansi)).empty()) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return FALSE;
                }
            }
            access = pDefault->DesiredAccess;
            call.level = access;
        }
        return Open(WideFromAnsi(pPrinterName), phPrinter, pDefault ? &datatype : nullptr,
                    pDefault ? &devmode : nullptr, access);
    });
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    return GuardedBool("ClosePrinter", hPrinter, [&](test::Call&) -> BOOL {
        // A close that fails lets the handle go all the same: the caller has
        // no other way to give it back.
        DWORD faultError = ERROR_SUCCESS;
        bool fault = platform::ShouldFail("ClosePrinter", &faultError);
        auto h = FindHandle(hPrinter);
        if (!h) return FALSE;
        // A document left open is finished, so that its bytes are kept.
        bool open;
        {
            std::lock_guard lock(h->mutex);
            open = h->jobId != 0;
        }
        if (open) EndDocPrinter(hPrinter);
        platform::RemoveHandle(hPrinter);
        if (fault) {
            SetLastError(faultError);
            return FALSE;
        }
        return TRUE;
    });
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
    return GuardedBool("GetPrinterW", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = Level;
        call.bytes = cbBuf;
        SPOOLER_FAULT_POINT("GetPrinterW", FALSE);
        return GetPrinterImpl(hPrinter, Level, pPrinter, cbBuf, pcbNeeded, false);
    });
}

BOOL WINAPI GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
    return GuardedBool("GetPrinterA", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = Level;
        call.bytes = cbBuf;
        SPOOLER_FAULT_POINT("GetPrinterA", FALSE);
        return GetPrinterImpl(hPrinter, Level, pPrinter, cbBuf, pcbNeeded, true);
    });
}

BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    return GuardedBool("SetPrinterW", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = Level;
        call.command = Command;
        if (Level == 7 && pPrinter) call.command = ReadRecord<PRINTER_INFO_7W>(pPrinter).dwAction;
        SPOOLER_FAULT_POINT("SetPrinterW", FALSE);
        auto h = FindPrinterHandle(hPrinter);
        if (!h) return FALSE;
        if (Level != 2 && Level != 7 && Level != 8 && Level != 9) {
            SetLastError(ERROR_INVALID_LEVEL);
            return FALSE;
        }
        if (Command != 0 || !pPrinter) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // Everything but the caller's own device mode is the administrator's.
        if (Level != 9 && !(h->access & PRINTER_ACCESS_ADMINISTER)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        SettingsLock lock;
        switch (Level) {
        case 2:
            return SetLevel2(*h, ReadRecord<PRINTER_INFO_2W>(pPrinter));
        case 7:
            return SetLevel7(*h, ReadRecord<PRINTER_INFO_7W>(pPrinter));
        case 8:
            return SetDevmodeLevel(*h, 8, ReadRecord<PRINTER_INFO_8W>(pPrinter).pDevMode);
        default:
            return SetDevmodeLevel(*h, 9, ReadRecord<PRINTER_INFO_9W>(pPrinter).pDevMode);
        }
    });
}

BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
    return GuardedBool("DeletePrinter", hPrinter, [&](test::Call&) -> BOOL {
        SPOOLER_FAULT_POINT("DeletePrinter", FALSE);
        auto h = FindPrinterHandle(hPrinter);
        if (!h) return FALSE;
        if (!(h->access & DELETE) || !CallerIsAdministrator()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        PrinterRow row;
        if (!LoadPrinter(h->key, &row)) {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return FALSE;
        }
        // A job still waiting would lose its printer.
        if (ActiveJobCount(h->key) != 0) {
            SetLastError(ERROR_PRINTER_HAS_JOBS_QUEUED);
            return FALSE;
        }
        // The driver hears of it while the printer is still there to open.
        RaisePrinterEvent(row.rec.name, PRINTER_EVENT_DELETE, 0);
        if (!RemovePrinterRows(h->key)) {
            SetLastError(RPC_S_SERVER_UNAVAILABLE);
            return FALSE;
        }
        return TRUE;
    });
}

// A connection is the user's own: the printer's interface library hears of
// it being made, and of its removal while the printer can still be opened.
BOOL WINAPI AddPrinterConnectionW(LPWSTR pName) {
    return GuardedBool("AddPrinterConnectionW", nullptr, [&](test::Call& call) -> BOOL {
        call.name = WideFrom(pName);
        SPOOLER_FAULT_POINT("AddPrinterConnectionW", FALSE);
        auto handle = pName ? Resolve(call.name, 0) : nullptr;
        if (!handle || handle->kind != SpoolHandle::Kind::Printer) {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return FALSE;
        }
        Stmt s("INSERT OR IGNORE INTO spl_connections(printer, user) VALUES(?,?)");
        s.Bind(1, handle->key).Bind(2, FoldKey(CurrentUserName()));
        s.Run();
        if (Changes() > 0) RaisePrinterEvent(handle->name, PRINTER_EVENT_ADD_CONNECTION, 0);
        return TRUE;
    });
}

BOOL WINAPI DeletePrinterConnectionW(LPWSTR pName) {
    return GuardedBool("DeletePrinterConnectionW", nullptr, [&](test::Call& call) -> BOOL {
        call.name = WideFrom(pName);
        SPOOLER_FAULT_POINT("DeletePrinterConnectionW", FALSE);
        auto handle = pName ? Resolve(call.name, 0) : nullptr;
        const std::string user = FoldKey(CurrentUserName());
        bool connected = false;
        if (handle && handle->kind == SpoolHandle::Kind::Printer) {
            Stmt s("SELECT 1 FROM spl_connections WHERE printer = ? AND user = ?");
            s.Bind(1, handle->key).Bind(2, user);
            connected = s.Step();
        }
        if (!connected) {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return FALSE;
        }
        RaisePrinterEvent(handle->name, PRINTER_EVENT_DELETE_CONNECTION, 0);
        Stmt s("DELETE FROM spl_connections WHERE printer = ? AND user = ?");
        s.Bind(1, handle->key).Bind(2, user);
        s.Run();
        return TRUE;
    });
}

} // extern "C"

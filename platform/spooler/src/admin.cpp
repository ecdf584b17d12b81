// The spooler's records as its own administration sees them: adding drivers,
// printers and ports, listing them, and the facts about the caller.
#include "platform/text.h"
#include "spooler_internal.h"
#include "win/environment.h"
#include "win/printer_interface.h"

namespace platform::spooler {

const char16_t kEnvironment[] = u"Windows x64";

std::u16string DriversFolder() {
    return u"C:\\Windows\\System32\\spool\\drivers\\x64\\3";
}
std::u16string SpoolFolder() {
    return u"C:\\Windows\\System32\\spool\\PRINTERS";
}

namespace {

constexpr char kPrinterColumns[] =
    "key, name, server, share, port, driver, comment, location, attributes, devmode, sepfile, "
    "processor, datatype, parameters, priority, default_priority, start_time, until_time, status, "
    "ds_action, ds_updates";

void ReadPrinterRow(const Stmt& s, PrinterRow* out) {
    out->key = s.Text(0);
    out->rec.name = s.Wide(1);
    out->rec.server = s.Wide(2);
    out->rec.share = s.Wide(3);
    out->rec.port = s.Wide(4);
    out->rec.driver = s.Wide(5);
    out->rec.comment = s.Wide(6);
    out->rec.location = s.Wide(7);
    out->rec.attributes = static_cast<DWORD>(s.Int(8));
    out->rec.devmode = s.Blob(9);
    // A stored block whose sizes disagree with its length is not handed out.
    if (!IsWellFormedDevmodeW(out->rec.devmode)) out->rec.devmode.clear();
    out->sepFile = s.Wide(10);
    out->processor = s.Wide(11);
    out->datatype = s.Wide(12);
    out->parameters = s.Wide(13);
    out->priority = static_cast<DWORD>(s.Int(14));
    out->defaultPriority = static_cast<DWORD>(s.Int(15));
    out->startTime = static_cast<DWORD>(s.Int(16));
    out->untilTime = static_cast<DWORD>(s.Int(17));
    out->status = static_cast<DWORD>(s.Int(18));
    out->dsAction = static_cast<DWORD>(s.Int(19));
    out->dsUpdates = static_cast<DWORD>(s.Int(20));
}

bool ValidPrinterName(const std::u16string& name) {
    if (name.empty() || name.size() > 220) return false;
    for (char16_t c : name)
        if (c == u'\\' || c == u',' || c < 0x20) return false;
    return true;
}

bool Exists(const char* sql, const std::string& key) {
    Stmt s(sql);
    s.Bind(1, key);
    return s.Step();
}

} // namespace

namespace {

const std::string kSelectPrinter =
    std::string("SELECT ") + kPrinterColumns + " FROM spl_printers WHERE key = ?";

bool ReadPrinter(const std::string& key, PrinterRow* out) {
    Stmt s(kSelectPrinter.c_str());
    s.Bind(1, key);
    if (!s.Step()) return false;
    ReadPrinterRow(s, out);
    return true;
}

} // namespace

std::shared_ptr<const PrinterRow> SharedPrinter(const std::string& key) {
    EnsureSchema();
    return CachedPrinter(key, &ReadPrinter);
}

bool LoadPrinter(const std::string& key, PrinterRow* out) {
    auto row = SharedPrinter(key);
    if (!row) return false;
    *out = *row;
    return true;
}

std::vector<BYTE> LoadUserDevmode(const std::string& printerKey, const std::u16string& user) {
    Stmt s("SELECT devmode FROM spl_user_devmodes WHERE printer = ? AND user = ?");
    s.Bind(1, printerKey).Bind(2, FoldKey(user));
    if (!s.Step()) return {};
    std::vector<BYTE> block = s.Blob(0);
    if (!IsWellFormedDevmodeW(block)) block.clear();
    return block;
}

DWORD ActiveJobCount(const std::string& printerKey) {
    Stmt s("SELECT COUNT(*) FROM spl_jobs WHERE printer = ? AND " SPL_JOB_WAITING);
    s.Bind(1, printerKey);
    s.Step();
    return static_cast<DWORD>(s.Int(0));
}

std::u16string CurrentUserName() {
    char16_t buffer[257];
    DWORD size = 257;
    if (GetUserNameW(buffer, &size) && size > 1) return std::u16string(buffer, size - 1);
    return u"User";
}

std::u16string ComputerName() {
    char16_t buffer[64];
    DWORD size = 64;
    if (GetComputerNameW(buffer, &size) && size > 0) return std::u16string(buffer, size);
    return u"PRINTHOST";
}

bool IsValidDatatype(std::u16string_view datatype) {
    static const char16_t* const kTypes[] = {
        u"RAW",          u"RAW [FF appended]", u"RAW [FF auto]", u"TEXT",
        u"NT EMF 1.003", u"NT EMF 1.006",      u"NT EMF 1.007",  u"NT EMF 1.008"};
    for (const char16_t* t : kTypes)
        if (EqualsNoCase(datatype, t)) return true;
    return false;
}

DWORD AddDriver(const DriverRecord& d) {
    try {
        EnsureSchema();
        if (d.name.empty() || d.environment.empty()) return ERROR_INVALID_PARAMETER;
        std::u16string dependents;
        for (const auto& f : d.dependentFiles) {
            if (f.empty() || f.find(u'\n') != std::u16string::npos) return ERROR_INVALID_PARAMETER;
            if (!dependents.empty()) dependents += u'\n';
            dependents += f;
        }
        bool ok = MachineDb::Transaction([&] {
            Stmt s(
                "INSERT INTO spl_drivers(key, environment, name, version, driver_path, data_file, "
                "config_file, help_file, dependent_files, monitor, default_datatype) "
                "VALUES(?,?,?,?,?,?,?,?,?,?,?) ON CONFLICT(key, environment) DO UPDATE SET "
                "name = excluded.name, version = excluded.version, driver_path = "
                "excluded.driver_path, "
                "data_file = excluded.data_file, config_file = excluded.config_file, "
                "help_file = excluded.help_file, dependent_files = excluded.dependent_files, "
                "monitor = excluded.monitor, default_datatype = excluded.default_datatype");
            s.Bind(1, FoldKey(d.name)).Bind(2, FoldKey(d.environment)).Bind(3, d.name);
            s.Bind(4, static_cast<long long>(d.version)).Bind(5, d.driverPath).Bind(6, d.dataFile);
            s.Bind(7, d.configFile).Bind(8, d.helpFile).Bind(9, dependents).Bind(10, d.monitorName);
            s.Bind(11, d.defaultDataType);
            s.Run();
            return true;
        });
        RaiseSettingsStamp(); // after the commit: nobody keeps what it replaced
        return ok ? ERROR_SUCCESS : RPC_S_SERVER_UNAVAILABLE;
    } catch (const std::exception&) {
        return RPC_S_SERVER_UNAVAILABLE;
    }
}

namespace {

bool ReadDriver(const std::string& key, DriverRecord* out) {
    Stmt s("SELECT name, environment, version, driver_path, data_file, config_file, help_file, "
           "dependent_files, monitor, default_datatype FROM spl_drivers WHERE key = ? AND "
           "environment = ?");
    s.Bind(1, key).Bind(2, FoldKey(kEnvironment));
    if (!s.Step()) return false;
    out->name = s.Wide(0);
    out->environment = kEnvironment;
    out->version = static_cast<DWORD>(s.Int(2));
    out->driverPath = s.Wide(3);
    out->dataFile = s.Wide(4);
    out->configFile = s.Wide(5);
    out->helpFile = s.Wide(6);
    out->dependentFiles.clear();
    std::u16string list = s.Wide(7);
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(u'\n', start);
        if (end == std::u16string::npos) end = list.size();
        if (end > start) out->dependentFiles.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    out->monitorName = s.Wide(8);
    out->defaultDataType = s.Wide(9);
    return true;
}

} // namespace

std::shared_ptr<const DriverRecord> SharedDriver(const std::u16string& name) {
    EnsureSchema();
    return CachedDriver(FoldKey(name), &ReadDriver);
}

bool FindDriver(const std::u16string& name, DriverRecord* out) {
    auto driver = SharedDriver(name);
    if (!driver) return false;
    *out = *driver;
    return true;
}

DWORD AddPrinter(const PrinterRecord& p, bool replace) {
    try {
        EnsureSchema();
        if (!ValidPrinterName(p.name)) return ERROR_INVALID_PRINTER_NAME;
        if (!p.devmode.empty() && !IsWellFormedDevmodeW(p.devmode)) return ERROR_INVALID_PARAMETER;
        DWORD error = ERROR_SUCCESS;
        bool created = false;
        // The folder of the driver the printer had, for the upgrade of a
        // printer whose driver is installed again.
        std::u16string oldDriverDirectory;
        if (PrinterRecord old; FindPrinter(p.name, &old))
            if (DriverRecord d; FindDriver(old.driver, &d))
                oldDriverDirectory = d.driverPath.substr(0, d.driverPath.find_last_of(u"\\/"));
        bool ok = MachineDb::Transaction([&] {
            created = false;
            if (!Exists("SELECT 1 FROM spl_drivers WHERE key = ?", FoldKey(p.driver))) {
                error = ERROR_UNKNOWN_PRINTER_DRIVER;
                return false;
            }
            if (!Exists("SELECT 1 FROM spl_ports WHERE key = ?", FoldKey(p.port))) {
                error = ERROR_UNKNOWN_PORT;
                return false;
            }
            std::string key = FoldKey(p.name);
            if (Exists("SELECT 1 FROM spl_printers WHERE key = ?", key)) {
                if (!replace) {
                    error = ERROR_PRINTER_ALREADY_EXISTS;
                    return false;
                }
                Stmt u("UPDATE spl_printers SET name = ?, server = ?, share = ?, port = ?, driver "
                       "= ?, "
                       "comment = ?, location = ?, attributes = ?, devmode = COALESCE(?, devmode) "
                       "WHERE key = ?");
                u.Bind(1, p.name)
                    .Bind(2, p.server)
                    .Bind(3, p.share)
                    .Bind(4, p.port)
                    .Bind(5, p.driver);
                u.Bind(6, p.comment)
                    .Bind(7, p.location)
                    .Bind(8, static_cast<long long>(p.attributes));
                u.BindBlob(9, p.devmode).Bind(10, key);
                u.Run();
                return true;
            }
            Stmt s("INSERT INTO spl_printers(key, name, server, share, port, driver, comment, "
                   "location, "
                   "attributes, devmode) VALUES(?,?,?,?,?,?,?,?,?,?)");
            s.Bind(1, key).Bind(2, p.name).Bind(3, p.server).Bind(4, p.share).Bind(5, p.port);
            s.Bind(6, p.driver).Bind(7, p.comment).Bind(8, p.location);
            s.Bind(9, static_cast<long long>(p.attributes)).BindBlob(10, p.devmode);
            s.Run();
            created = true;
            return true;
        });
        RaiseSettingsStamp(); // after the commit: nobody keeps what it replaced
        if (error != ERROR_SUCCESS) return error;
        if (!ok) return RPC_S_SERVER_UNAVAILABLE;
        // As the spooler does for a new printer: the driver hears of it and
        // gives its default device mode.
        if (!created) UpgradePrinter(p.name, oldDriverDirectory);
        InitializeNewPrinter(p.name, created);
        return ERROR_SUCCESS;
    } catch (const std::exception&) {
        return RPC_S_SERVER_UNAVAILABLE;
    }
}

std::vector<PrinterRecord> Printers() {
    EnsureSchema();
    std::vector<PrinterRecord> out;
    Stmt s((std::string("SELECT ") + kPrinterColumns + " FROM spl_printers ORDER BY key").c_str());
    while (s.Step()) {
        PrinterRow row;
        ReadPrinterRow(s, &row);
        out.push_back(std::move(row.rec));
    }
    return out;
}

bool FindPrinter(const std::u16string& name, PrinterRecord* out) {
    PrinterRow row;
    if (!LoadPrinter(FoldKey(name), &row)) return false;
    *out = std::move(row.rec);
    return true;
}

std::vector<PrinterDataValue> PrinterData(const std::u16string& printer) {
    EnsureSchema();
    std::vector<PrinterDataValue> out;
    Stmt s("SELECT key, name, type, data FROM spl_printer_data WHERE printer = ? ORDER BY rowid");
    s.Bind(1, FoldKey(printer));
    while (s.Step())
        out.push_back({s.Wide(0), s.Wide(1), static_cast<DWORD>(s.Int(2)), s.Blob(3)});
    return out;
}

DWORD DirectoryUpdates(const std::u16string& printer) {
    PrinterRow row;
    return LoadPrinter(FoldKey(printer), &row) ? row.dsUpdates : 0;
}

DWORD NotifyConfigurationChange(const std::u16string& printer, const std::u16string& notification) {
    PrinterRecord record;
    if (!FindPrinter(printer, &record)) return ERROR_INVALID_PRINTER_NAME;
    std::u16string text = notification;
    RaisePrinterEvent(record.name, PRINTER_EVENT_CONFIGURATION_UPDATE,
                      reinterpret_cast<LPARAM>(text.c_str()));
    return ERROR_SUCCESS;
}

DWORD RefreshPrinterCache(const std::u16string& printer) {
    PrinterRecord record;
    if (!FindPrinter(printer, &record)) return ERROR_INVALID_PRINTER_NAME;
    RaisePrinterEvent(record.name, PRINTER_EVENT_CACHE_REFRESH, 0);
    return ERROR_SUCCESS;
}

} // namespace platform::spooler

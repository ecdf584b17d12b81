// The spooler's own administration (what installing a printer does, what the
// printhost tool lists) and the controls that tests use: fault plans for job
// output, the caller's rights and a log of spooler calls.
#pragma once

#include <string>
#include <vector>

#include "win/types.h"

namespace platform::spooler {

// "Windows x64", version 3: the environment this system's drivers are for.
extern const char16_t kEnvironment[];
constexpr DWORD kDriverVersion = 3;

// C:\Windows\System32\spool\drivers\x64\3: the parent of every installed
// driver's folder.
std::u16string DriversFolder();
// C:\Windows\System32\spool\PRINTERS: where job spool files are kept.
std::u16string SpoolFolder();

struct DriverRecord {
    std::u16string name;
    std::u16string environment = kEnvironment;
    DWORD version = kDriverVersion;
    std::u16string driverPath; // full Windows paths
    std::u16string dataFile;
    std::u16string configFile;
    std::u16string helpFile;
    std::vector<std::u16string> dependentFiles;
    std::u16string monitorName;
    std::u16string defaultDataType;
};

struct PrinterRecord {
    std::u16string name;
    std::u16string server; // "" for a printer of this machine
    std::u16string share;
    std::u16string port;
    std::u16string driver;
    std::u16string comment;
    std::u16string location;
    DWORD attributes = 0x40;   // PRINTER_ATTRIBUTE_LOCAL
    std::vector<BYTE> devmode; // the global default device mode; empty: none
};

struct PortRecord {
    std::u16string name;
    std::u16string monitor; // "Local Port", "Standard TCP/IP Port", "USB Monitor"
    std::u16string address; // TCP/IP ports: host name or dotted address
};

struct PrinterDataValue {
    std::u16string key; // "PrinterDriverData" for GetPrinterData's values
    std::u16string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct JobRecord {
    DWORD id = 0;
    std::u16string printer;
    std::u16string document;
    std::u16string user;
    DWORD status = 0;
    DWORD pages = 0;
    ULONGLONG size = 0;
    std::string outputPath; // host path of the job's bytes
    // Still being written by a process that has ended: the spooler fails and
    // removes the job the next time it looks at the printer's jobs.
    bool writerGone = false;
};

// Each returns ERROR_SUCCESS or the error number.
// Adds or replaces a driver record (matched by name and environment).
DWORD AddDriver(const DriverRecord& driver);
// Adds a printer; with replace, an existing printer of that name takes the new
// port, driver and attributes and keeps its data, device modes and jobs. The
// driver and port must exist (ERROR_UNKNOWN_PRINTER_DRIVER, ERROR_UNKNOWN_PORT).
DWORD AddPrinter(const PrinterRecord& printer, bool replace);
// A local port ("LPT1:", "FILE:", "USB001") of the given monitor.
DWORD AddPort(const PortRecord& port);
// A standard TCP/IP port with its address; also writes the monitor's
// registry values (HKLM ...\Monitors\Standard TCP/IP Port\Ports\<name>).
DWORD AddTcpIpPort(const std::u16string& name, const std::u16string& address);

std::vector<PrinterRecord> Printers();
bool FindPrinter(const std::u16string& name, PrinterRecord* out);
bool FindDriver(const std::u16string& name, DriverRecord* out);
std::vector<PortRecord> Ports();
std::vector<PrinterDataValue> PrinterData(const std::u16string& printer);
// All printers when empty. Looking at the jobs fails and removes those whose
// writer has ended, as every other look of the spooler does.
std::vector<JobRecord> Jobs(const std::u16string& printer);
bool FindJob(DWORD jobId, JobRecord* out);
// Cancels a job from outside its writer (as another process's SetJob would):
// a job still being written is marked deleting and its writer's next
// WritePrinter fails; a finished job is deleted with its output.
DWORD CancelJob(DWORD jobId);
// A port monitor's report that the printer's configuration changed: the
// driver hears PRINTER_EVENT_CONFIGURATION_UPDATE with the notification text.
DWORD NotifyConfigurationChange(const std::u16string& printer, const std::u16string& notification);
// The spooler refreshing the printer's cached driver files: the driver hears
// PRINTER_EVENT_CACHE_REFRESH.
DWORD RefreshPrinterCache(const std::u16string& printer);
// How many times SetPrinter level 7 asked for a directory update (any process).
DWORD DirectoryUpdates(const std::u16string& printer);

// The user the per-user device mode and new jobs belong to.
std::u16string CurrentUserName();

} // namespace platform::spooler

namespace platform::spooler::test {

// Whether the caller holds administration rights (default true). Without
// them, opening with PRINTER_ACCESS_ADMINISTER or SERVER_ACCESS_ADMINISTER
// fails with ERROR_ACCESS_DENIED.
void SetAdministrator(bool administrator);
// The next `count` WritePrinter calls (after `skip` normal ones) write at most
// maxBytes and report that count.
void ShortWriteNext(int count, DWORD maxBytes, int skip = 0);
// Job output is counted but not kept (for measuring writers).
void DiscardJobOutput(bool discard);

// This process reads and raises the spooler's stamps through their files in
// the machine root, as a process does that cannot attach the stamp table.
void ReadStampsFromFiles();

// One spooler call as the log keeps it.
struct Call {
    std::string function;   // "WritePrinter"
    std::u16string printer; // the handle's printer (or port) name
    DWORD level = 0;        // level; job id for GetJob/SetJob; type for SetPrinterData
    DWORD command = 0;      // SetJob/SetPrinter command, PRINTER_INFO_7 action
    DWORD bytes = 0;        // bytes given or asked for
    std::u16string name;    // value name, document name, data name
    bool ok = false;
    DWORD error = 0; // the call's error number when it failed
};
// Whether calls are logged (off by default, and again after a reset): a long
// job would otherwise keep every call it made. A test that reads the log
// turns it on first.
void RecordCalls(bool on);
// The most recent calls recorded (at most 65536), oldest first.
std::vector<Call> Calls();
void ClearCalls();

} // namespace platform::spooler::test

// Internals shared by the spooler's source files.
#pragma once

#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sql_statement.h"
#include "platform/core.h"
#include "platform/handles.h"
#include "platform/spooler_ctl.h"
#include "win/errors.h"
#include "win/spool.h"

namespace platform::spooler {

// ---- the database -------------------------------------------------------

// Registers the spooler's tables (and the seeded forms and ports) with the
// machine database; cheap after the first call.
void EnsureSchema();

// A prepared statement on this thread's connection. Errors throw
// std::runtime_error, which the exported calls turn into an error number.
using Stmt = platform::SqlStatement;

long long LastInsertId();
int Changes();

// Case-folded form of a name, the key that lookups compare.
std::string FoldKey(std::u16string_view name);

// ---- device modes -------------------------------------------------------

constexpr size_t kDevmodeSizeOffsetW = 68; // dmSize, then dmDriverExtra (WORDs)
constexpr size_t kDevmodeSizeOffsetA = 36;
constexpr size_t kDevmodeMinimumW = 72; // up to and including dmFields
constexpr size_t kDevmodeMinimumA = 40;

// Copies a caller's device mode: dmSize + dmDriverExtra bytes. False (and
// nothing copied) when dmSize is too small to hold its own header.
bool CopyDevmodeW(const void* devmode, std::vector<BYTE>* out);
bool CopyDevmodeA(const void* devmode, std::vector<BYTE>* out);
// A stored block is used only when its size fields agree with its length.
bool IsWellFormedDevmodeW(const std::vector<BYTE>& block);
// Conversions between the wide and ANSI layouts (names through the ANSI code
// page; the driver's private part is copied unchanged).
std::vector<BYTE> DevmodeWideToAnsi(const std::vector<BYTE>& wide);
std::vector<BYTE> DevmodeAnsiToWide(const std::vector<BYTE>& ansi);

// ---- text ---------------------------------------------------------------

std::u16string WideFrom(const char16_t* text); // NULL gives ""
std::string AnsiFromWide(std::u16string_view text);
std::u16string WideFromAnsi(const char* text); // NULL gives ""

// ---- answers in the two-call protocol ----------------------------------

// Builds an answer: fixed records first, then the strings and blocks they
// point at. Pointers are stored as offsets and relocated when the answer is
// copied into the caller's buffer, so the caller's buffer needs no alignment.
class Answer {
  public:
    // Appends a zeroed fixed record of n bytes and returns its offset.
    size_t Record(size_t n);
    template <class T> void Put(size_t offset, const T& value) {
        std::memcpy(bytes_.data() + offset, &value, sizeof value);
    }
    // Appends data and points the pointer field at `field` to it.
    void String(size_t field, std::u16string_view text);
    void StringA(size_t field, std::string_view text);
    void MultiString(size_t field, const std::vector<std::u16string>& list);
    void MultiStringA(size_t field, const std::vector<std::string>& list);
    void Block(size_t field, const std::vector<BYTE>& block);
    size_t Size() const { return bytes_.size(); }

    // Two-call delivery: sets *pcbNeeded; a short buffer fails with
    // ERROR_INSUFFICIENT_BUFFER; a missing buffer or size pointer with
    // ERROR_INVALID_PARAMETER.
    bool Deliver(LPBYTE buffer, DWORD cbBuf, LPDWORD pcbNeeded) const;

  private:
    void Align(size_t n);
    void PointAt(size_t field);
    std::vector<BYTE> bytes_;
    std::vector<std::pair<size_t, size_t>> fixups_; // field offset, target offset
};

// ---- handles ------------------------------------------------------------

// Where the settings stood when an answer was built from the printers' and
// drivers' records (settings_cache.cpp): the settings stamp they were read
// under, the machine root, and this process's generation of kept records,
// which moves whenever the process drops what it kept.
struct SettingsMark {
    unsigned long long stamp = 0;
    unsigned long long generation = 0;
    std::string root;
};

struct SpoolHandle final : HandleObject {
    enum class Kind { Printer, Server, XcvPort };
    Kind kind = Kind::Printer;
    std::string key;     // printer or port key
    std::u16string name; // printer or port name as stored
    ACCESS_MASK access = 0;
    std::u16string datatype;   // from PRINTER_DEFAULTS
    std::vector<BYTE> devmode; // from PRINTER_DEFAULTS (wide)

    // The document this handle is writing.
    std::mutex mutex;
    DWORD jobId = 0;
    int fd = -1;
    // A document's own output file: written under a temporary name beside
    // it (the job's output path while it is written) and put in place only
    // by a finished job with something in it.
    std::string finalPath;
    // The empty file made at the destination when the document started (the
    // driver looks for its output file), by device and inode; 0 for none.
    unsigned long long placeholderDev = 0, placeholderIno = 0;
    bool discard = false;
    bool pageOpen = false;
    ULONGLONG written = 0;
    bool stampKnown = false; // the job's status was read at `stamp`
    unsigned long long stamp = 0;

    // GetPrinterDriverW's answers of levels 2 and 3 for this printer, and
    // where the settings stood when each was built (drivers.cpp).
    struct DriverAnswer {
        SettingsMark mark;
        std::shared_ptr<const Answer> answer;
    };
    std::mutex driverMutex;
    DriverAnswer driverAnswers[2];

    ~SpoolHandle() override;
    const char* KindName() const override { return "Printer"; }
    bool ClosableByCloseHandle() const override { return false; }
};

// A counter of the machine root that any process raises after a change
// (status_stamp.cpp): a slot of the user's stamp table, or a file of the root
// where the table cannot be had. Read is false when it cannot be read, and
// then the caller reads what the counter guards itself.
class StampCounter {
  public:
    explicit StampCounter(const char* fileName); // "/name", under the machine root
    ~StampCounter();
    StampCounter(const StampCounter&) = delete;
    StampCounter& operator=(const StampCounter&) = delete;
    bool Read(unsigned long long* value);
    bool Read(const std::string& root, unsigned long long* value); // root: MachineRoot() as read
    void Raise();
    void Close(); // the file is opened again at the next use

  private:
    int DescriptorLocked(const std::string& root);
    unsigned long long* SlotLocked(const std::string& root);
    const char* fileName_;
    std::mutex mutex_;
    std::string root_;
    int fd_ = -1;
    std::string slotRoot_; // the root slot_ was found for
    size_t slot_ = 0;
};

// The machine's job-status stamp: raised after every change of a job's status.
bool ReadStatusStamp(unsigned long long* stamp);
void RaiseStatusStamp();

// The printers' settings lock (settings_lock.cpp), held while a printer's
// settings are read, revised and written back, and around every write of
// them; between processes and threads, and taken again by its own thread.
class SettingsLock {
  public:
    SettingsLock();
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;
};

std::shared_ptr<SpoolHandle> FindHandle(HANDLE h); // sets ERROR_INVALID_HANDLE when unknown
std::shared_ptr<SpoolHandle> FindPrinterHandle(HANDLE h);

// ---- printers -----------------------------------------------------------

struct PrinterRow {
    std::string key;
    PrinterRecord rec;
    std::u16string sepFile, processor, datatype, parameters;
    DWORD priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0, status = 0;
    DWORD dsAction = 0, dsUpdates = 0;
};
// The printer's interface library (its driver's configuration file) and one
// of its exports; nullptr with the last error set when either is missing.
HMODULE LoadInterfaceLibrary(HANDLE printer, const char* exportName, FARPROC* entry);
// What the spooler asks of the printer interface library once a printer is
// added: the initialisation event, and the driver's default device mode
// when the printer has none.
void InitializeNewPrinter(const std::u16string& name, bool created);
// A device mode of another version than the printer's driver makes,
// converted by its interface library; as it stands when the driver has no
// conversion or refuses it.
std::vector<BYTE> InDriverFormat(const std::u16string& name, std::vector<BYTE> devmode);
// A printer event for the printer's interface library (when it takes them).
void RaisePrinterEvent(const std::u16string& name, int event, LPARAM lParam);
// A printer whose driver was installed again over it: the interface library
// brings the printer's settings up to the driver it has now.
void UpgradePrinter(const std::u16string& name, const std::u16string& oldDriverDirectory);

bool LoadPrinter(const std::string& key, PrinterRow* out);

// The settings stamp (settings_cache.cpp): raised after every committed
// change of a printer's or a driver's record, in any process; the records
// a process read are kept while it stays put. load reads the database.
// Null when there is no such record.
void RaiseSettingsStamp();
std::shared_ptr<const PrinterRow> CachedPrinter(const std::string& key,
                                                bool (*load)(const std::string&, PrinterRow*));
std::shared_ptr<const DriverRecord> CachedDriver(const std::string& foldedName,
                                                 bool (*load)(const std::string&, DriverRecord*));
// The settings stamp as the thread's current OneSettingsReading has it (read
// at its first use), or read now; false when it cannot be read.
bool ReadSettingsStamp(unsigned long long* stamp);
// While one lives, the look-ups of its thread share one reading of the
// settings stamp, taken at the first of them (a call that asks for a
// printer's and then its driver's record reads the counter once). Every
// look-up still reads the counter before the database, so the records are
// never older than that reading. A raise by the thread reads it again.
class OneSettingsReading {
  public:
    OneSettingsReading();
    ~OneSettingsReading();
    OneSettingsReading(const OneSettingsReading&) = delete;
    OneSettingsReading& operator=(const OneSettingsReading&) = delete;

  private:
    OneSettingsReading* outer_;
    bool known_ = false;
    unsigned long long stamp_ = 0;
    friend bool ReadSettingsStamp(unsigned long long* stamp);
    friend void RaiseSettingsStamp();
};
// Marks where the settings stand for the look-ups of the thread's current
// OneSettingsReading, before they are made; false when what they read may
// not be kept (inside a transaction, or with no stamp to be read).
bool MarkSettings(SettingsMark* mark);
// Whether the records read under mark are still what the look-ups of a new
// OneSettingsReading would give: outside a transaction, on the same root
// and generation, and the counter where it was.
bool SettingsStillAt(const SettingsMark& mark);
// The printer's and the driver's records as kept (no copy).
std::shared_ptr<const PrinterRow> SharedPrinter(const std::string& key);
std::shared_ptr<const DriverRecord> SharedDriver(const std::u16string& name);
std::vector<BYTE> LoadUserDevmode(const std::string& printerKey, const std::u16string& user);
DWORD ActiveJobCount(const std::string& printerKey);
// A job that has left its queue, printed or deleted, as SQL reads it: the index
// of the jobs still waiting is defined on these words, and a query reaches that
// index only by spelling them alike.
#define SPL_JOB_WAITING "(status & 384) = 0"
static_assert((JOB_STATUS_PRINTED | JOB_STATUS_DELETED) == 384);

// Test controls as the calls consult them.
bool CallerIsAdministrator();
bool DiscardingOutput();
DWORD ShortWriteLimit(DWORD cbBuf); // how many of cbBuf bytes the next write takes
std::u16string ComputerName();
bool IsValidDatatype(std::u16string_view datatype);

// ---- the call log and guarded exports -----------------------------------

// Whether a test asked for the call log; the fields of a call are filled only then.
bool LoggingCalls();
void LogCall(test::Call call);

// Runs an exported call: no exception escapes; a database failure reads as
// the spooler being unreachable. The call is logged with its outcome.
template <class R, class Fn, class Ok>
R Guarded(const char* function, HANDLE handle, R failValue, Ok isOk, Fn&& body) {
    test::Call call;
    const bool logging = LoggingCalls();
    if (logging) {
        call.function = function;
        if (handle) {
            if (auto h = std::dynamic_pointer_cast<SpoolHandle>(LookupHandle(handle)))
                call.printer = h->name;
        }
    }
    R result = failValue;
    try {
        EnsureSchema();
        result = body(call);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        result = failValue;
    } catch (const std::exception&) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        result = failValue;
    }
    if (logging) {
        call.ok = isOk(result);
        call.error = call.ok ? 0 : GetLastError();
        LogCall(std::move(call));
    }
    return result;
}

// The same for calls that answer an error number instead of a BOOL.
template <class Fn> DWORD GuardedStatus(const char* function, HANDLE handle, Fn&& body) {
    test::Call call;
    const bool logging = LoggingCalls();
    if (logging) {
        call.function = function;
        if (handle) {
            if (auto h = std::dynamic_pointer_cast<SpoolHandle>(LookupHandle(handle)))
                call.printer = h->name;
        }
    }
    DWORD result;
    try {
        EnsureSchema();
        result = body(call);
    } catch (const std::bad_alloc&) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    } catch (const std::exception&) {
        result = RPC_S_SERVER_UNAVAILABLE;
    }
    if (logging) {
        call.ok = result == ERROR_SUCCESS;
        call.error = result;
        LogCall(std::move(call));
    }
    return result;
}

template <class Fn> BOOL GuardedBool(const char* function, HANDLE handle, Fn&& body) {
    return Guarded<BOOL>(
        function, handle, FALSE, [](BOOL r) { return r != FALSE; }, std::forward<Fn>(body));
}

// Fault injection for a call that reports failure through the last error.
#define SPOOLER_FAULT_POINT(name, failValue)                                                       \
    do {                                                                                           \
        DWORD spoolerFaultError_ = 0;                                                              \
        if (::platform::ShouldFail(name, &spoolerFaultError_)) {                                   \
            ::SetLastError(spoolerFaultError_);                                                    \
            return failValue;                                                                      \
        }                                                                                          \
    } while (0)

} // namespace platform::spooler

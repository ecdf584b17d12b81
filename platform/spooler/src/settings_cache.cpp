// What the settings stamp guards: the stamp is raised after each change of
// a printer's or a driver's record. A process keeps the records it read
// while the counter stays where it was when it read them, so that a job
// asking for its printer and driver on every page reads the database only
// after somebody changed a setting.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <sqlite3.h>

#include "spooler_internal.h"

namespace platform::spooler {
namespace {

template <class T> struct Cached {
    unsigned long long stamp = 0;
    std::shared_ptr<const T> record;
};

StampCounter gStamp("/spool-settings.stamp");
std::mutex gMutex;
std::string gRoot;                                    // the machine root whose records are kept
std::map<std::string, Cached<PrinterRow>> gPrinters;  // by the printer's key
std::map<std::string, Cached<DriverRecord>> gDrivers; // by the driver's folded name

// Drops what was kept of another machine root. Called with gMutex held.
void FollowRootLocked() {
    const std::string& root = MachineRoot();
    if (gRoot == root) return;
    gRoot = root;
    gPrinters.clear();
    gDrivers.clear();
}

// Inside a transaction a read sees the thread's own uncommitted writes,
// which a rollback may still take back: such reads are neither kept nor
// answered from what is kept.
bool InTransaction() {
    return sqlite3_get_autocommit(MachineDb::Connection()) == 0;
}

template <class T>
std::shared_ptr<const T> Lookup(std::map<std::string, Cached<T>>& cache, const std::string& key,
                                bool (*load)(const std::string&, T*)) {
    auto read = [&]() -> std::shared_ptr<const T> {
        auto record = std::make_shared<T>();
        if (!load(key, record.get())) return nullptr;
        return record;
    };
    if (InTransaction()) return read();
    // Read before the database, so that a change committed meanwhile moves
    // the counter past what is kept.
    unsigned long long stamp;
    if (!ReadSettingsStamp(&stamp)) return read();
    {
        std::lock_guard lock(gMutex);
        FollowRootLocked();
        auto it = cache.find(key);
        if (it != cache.end() && it->second.stamp == stamp) return it->second.record;
    }
    auto record = read();
    if (!record) return nullptr; // an absent record is asked for again next time
    std::lock_guard lock(gMutex);
    if (gRoot == MachineRoot()) cache[key] = Cached<T>{stamp, record};
    return record;
}

thread_local OneSettingsReading* tReading = nullptr;

void Forget() {
    gStamp.Close();
    std::lock_guard lock(gMutex);
    gRoot.clear();
    gPrinters.clear();
    gDrivers.clear();
}

struct ResetRegistrar {
    ResetRegistrar() { RegisterResetHook(&Forget); }
} gResetRegistrar;

} // namespace

OneSettingsReading::OneSettingsReading() : outer_(tReading) {
    tReading = this;
}

OneSettingsReading::~OneSettingsReading() {
    tReading = outer_;
}

bool ReadSettingsStamp(unsigned long long* stamp) {
    OneSettingsReading* reading = tReading;
    if (reading && reading->known_) {
        *stamp = reading->stamp_;
        return true;
    }
    if (!gStamp.Read(stamp)) return false;
    if (reading) {
        reading->known_ = true;
        reading->stamp_ = *stamp;
    }
    return true;
}

void RaiseSettingsStamp() {
    for (OneSettingsReading* r = tReading; r; r = r->outer_)
        r->known_ = false;
    gStamp.Raise();
    // This process's own records go at once, whether or not the counter could be raised.
    std::lock_guard lock(gMutex);
    gPrinters.clear();
    gDrivers.clear();
}

std::shared_ptr<const PrinterRow> CachedPrinter(const std::string& key,
                                                bool (*load)(const std::string&, PrinterRow*)) {
    return Lookup(gPrinters, key, load);
}

std::shared_ptr<const DriverRecord> CachedDriver(const std::string& foldedName,
                                                 bool (*load)(const std::string&, DriverRecord*)) {
    return Lookup(gDrivers, foldedName, load);
}

} // namespace platform::spooler

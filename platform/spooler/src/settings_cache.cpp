// What the settings stamp guards: the stamp is raised after each change of
// a printer's or a driver's record. A process keeps the records it read
// while the counter stays where it was when it read them, so that a job
// asking for its printer and driver on every page reads the database only
// after somebody changed a setting. An answer built from the records is
// kept with a mark of where the settings stood (SettingsMark) and holds
// while the counter, the root and this process's generation of kept
// records stay there.
#include <atomic>
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
// Moves (under gMutex) whenever the records kept are dropped, so that what
// was built from them before is not taken for what a look-up gives now.
std::atomic<unsigned long long> gGeneration{0};

// Called with gMutex held.
void DropLocked() {
    gPrinters.clear();
    gDrivers.clear();
    gGeneration.fetch_add(1, std::memory_order_release);
}

// Drops what was kept of another machine root. Called with gMutex held.
void FollowRootLocked() {
    const std::string& root = MachineRoot();
    if (gRoot == root) return;
    gRoot = root;
    DropLocked();
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
    unsigned long long generation;
    {
        std::lock_guard lock(gMutex);
        FollowRootLocked();
        auto it = cache.find(key);
        if (it != cache.end() && it->second.stamp == stamp) return it->second.record;
        generation = gGeneration.load(std::memory_order_relaxed);
    }
    auto record = read();
    if (!record) return nullptr; // an absent record is asked for again next time
    // A record read before a drop is not kept past it: everything kept was
    // read after the last drop.
    std::lock_guard lock(gMutex);
    if (gRoot == MachineRoot() && gGeneration.load(std::memory_order_relaxed) == generation)
        cache[key] = Cached<T>{stamp, record};
    return record;
}

thread_local OneSettingsReading* tReading = nullptr;

void Forget() {
    gStamp.Close();
    std::lock_guard lock(gMutex);
    gRoot.clear();
    DropLocked();
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
    DropLocked();
}

bool MarkSettings(SettingsMark* mark) {
    // The generation before the look-ups: a drop while they run leaves the
    // mark behind, whatever they found.
    mark->generation = gGeneration.load(std::memory_order_acquire);
    if (InTransaction() || !ReadSettingsStamp(&mark->stamp)) return false;
    mark->root = MachineRoot();
    return true;
}

bool SettingsStillAt(const SettingsMark& mark) {
    // As the first look-up of a reading would: nothing kept is used inside a
    // transaction, and the counter is read now, before anything is compared.
    if (InTransaction()) return false;
    const std::string& root = MachineRoot();
    unsigned long long stamp;
    return root == mark.root && gStamp.Read(root, &stamp) && stamp == mark.stamp &&
           gGeneration.load(std::memory_order_acquire) == mark.generation;
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

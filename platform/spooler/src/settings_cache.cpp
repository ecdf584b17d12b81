// The settings stamp and what it guards: a counter in a small file of the
// machine root, mapped shared by every process and raised after each change
// of a printer's or a driver's record. A process keeps the records it read
// while the counter stays where it was when it read them, so that a job
// asking for its printer and driver on every page reads the database only
// after somebody changed a setting.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include <sqlite3.h>

#include "spooler_internal.h"

namespace platform::spooler {
namespace {

constexpr char kStampFile[] = "/spool-settings.stamp";
constexpr size_t kStampBytes = 4096;

struct Cached {
    unsigned long long stamp = 0;
    PrinterRow printer;
    DriverRecord driver;
};

std::mutex gMutex;
std::string gRoot;
std::atomic<unsigned long long>* gCounter = nullptr;
std::map<std::string, Cached> gPrinters; // by the printer's key
std::map<std::string, Cached> gDrivers;  // by the driver's folded name

// The counter of the current machine root, mapped on first use (and again
// when the root changes, dropping what was kept of the old one); null when
// the file cannot be made or mapped. Called with gMutex held.
std::atomic<unsigned long long>* CounterLocked() {
    const std::string& root = MachineRoot();
    if (gCounter && gRoot == root) return gCounter;
    if (gCounter) ::munmap(gCounter, kStampBytes);
    gCounter = nullptr;
    gRoot.clear();
    gPrinters.clear();
    gDrivers.clear();
    const std::string path = root + kStampFile;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    void* p = nullptr;
    // Growing a file that another process has already sized keeps its counter.
    if (::ftruncate(fd, kStampBytes) == 0)
        p = ::mmap(nullptr, kStampBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (!p || p == MAP_FAILED) return nullptr;
    static_assert(std::atomic<unsigned long long>::is_always_lock_free);
    gRoot = root;
    gCounter = static_cast<std::atomic<unsigned long long>*>(p);
    return gCounter;
}

// Inside a transaction a read sees the thread's own uncommitted writes,
// which a rollback may still take back: such reads are neither kept nor
// answered from what is kept.
bool InTransaction() {
    return sqlite3_get_autocommit(MachineDb::Connection()) == 0;
}

template <class T, class Load>
bool Lookup(std::map<std::string, Cached>& cache, const std::string& key, T Cached::*field, T* out,
            Load&& load) {
    if (InTransaction()) return load(out);
    unsigned long long stamp;
    {
        std::lock_guard lock(gMutex);
        auto* counter = CounterLocked();
        if (!counter) return load(out);
        // Read before the database, so that a change committed meanwhile
        // moves the counter past what is kept.
        stamp = counter->load(std::memory_order_acquire);
        auto it = cache.find(key);
        if (it != cache.end() && it->second.stamp == stamp) {
            *out = it->second.*field;
            return true;
        }
    }
    if (!load(out)) return false;
    std::lock_guard lock(gMutex);
    if (gCounter && gRoot == MachineRoot()) {
        Cached& c = cache[key];
        c.stamp = stamp;
        c.*field = *out;
    }
    return true;
}

void Forget() {
    std::lock_guard lock(gMutex);
    if (gCounter) ::munmap(gCounter, kStampBytes);
    gCounter = nullptr;
    gRoot.clear();
    gPrinters.clear();
    gDrivers.clear();
}

struct ResetRegistrar {
    ResetRegistrar() { RegisterResetHook(&Forget); }
} gResetRegistrar;

} // namespace

void RaiseSettingsStamp() {
    std::lock_guard lock(gMutex);
    if (auto* c = CounterLocked()) c->fetch_add(1, std::memory_order_acq_rel);
    // This process's own records go at once, whether or not the counter could be mapped.
    gPrinters.clear();
    gDrivers.clear();
}

bool CachedPrinter(const std::string& key, PrinterRow* out,
                   bool (*load)(const std::string&, PrinterRow*)) {
    return Lookup(gPrinters, key, &Cached::printer, out,
                  [&](PrinterRow* row) { return load(key, row); });
}

bool CachedDriver(const std::string& foldedName, DriverRecord* out,
                  bool (*load)(const std::string&, DriverRecord*)) {
    return Lookup(gDrivers, foldedName, &Cached::driver, out,
                  [&](DriverRecord* d) { return load(foldedName, d); });
}

} // namespace platform::spooler

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
#include <memory>
#include <mutex>
#include <string>

#include <sqlite3.h>

#include "spooler_internal.h"

namespace platform::spooler {
namespace {

constexpr char kStampFile[] = "/spool-settings.stamp";
constexpr size_t kStampBytes = 4096;

template <class T> struct Cached {
    unsigned long long stamp = 0;
    std::shared_ptr<const T> record;
};

std::mutex gMutex;
std::string gRoot;
std::atomic<unsigned long long>* gCounter = nullptr;
std::map<std::string, Cached<PrinterRow>> gPrinters;  // by the printer's key
std::map<std::string, Cached<DriverRecord>> gDrivers; // by the driver's folded name

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

template <class T>
std::shared_ptr<const T> Lookup(std::map<std::string, Cached<T>>& cache, const std::string& key,
                                bool (*load)(const std::string&, T*)) {
    auto read = [&]() -> std::shared_ptr<const T> {
        auto record = std::make_shared<T>();
        if (!load(key, record.get())) return nullptr;
        return record;
    };
    if (InTransaction()) return read();
    unsigned long long stamp;
    {
        std::lock_guard lock(gMutex);
        auto* counter = CounterLocked();
        if (!counter) return read();
        // Read before the database, so that a change committed meanwhile
        // moves the counter past what is kept.
        stamp = counter->load(std::memory_order_acquire);
        auto it = cache.find(key);
        if (it != cache.end() && it->second.stamp == stamp) return it->second.record;
    }
    auto record = read();
    if (!record) return nullptr; // an absent record is asked for again next time
    std::lock_guard lock(gMutex);
    if (gCounter && gRoot == MachineRoot()) cache[key] = Cached<T>{stamp, record};
    return record;
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

std::shared_ptr<const PrinterRow> CachedPrinter(const std::string& key,
                                                bool (*load)(const std::string&, PrinterRow*)) {
    return Lookup(gPrinters, key, load);
}

std::shared_ptr<const DriverRecord> CachedDriver(const std::string& foldedName,
                                                 bool (*load)(const std::string&, DriverRecord*)) {
    return Lookup(gDrivers, foldedName, load);
}

} // namespace platform::spooler

// The spooler's stamps: counters that every process raises after a change.
// The job-status stamp moves with every change of a job's status: a job's
// writer reads its status from the database only when the stamp has moved
// since it last looked, so that a cancel from any process still stops the
// next write without a database read for every write. The settings stamp
// (settings_cache.cpp) moves with every change of a printer's or a driver's
// record.
//
// A counter lives in two places. Its slot in the stamp table of the user who
// owns the machine root, a System V shared memory segment that every process
// working on that user's roots attaches once, is what a reader reads: a load
// from memory, where a printed page asks some twenty times. Unlike a file's
// mapping, such a segment cannot be cut short under a reader (its size is
// fixed when it is made), so nobody can kill a reader through it. Each
// counter's slot is raised by one, never set, so that two machine roots that
// share a slot only see each other's raises. A process that cannot attach the
// table (no System V memory, or a segment of that key that is not the
// owner's) reads the counter's small file in the machine root instead, which
// every raise moves too: a short read of it only says "unknown", which sends
// the reader to the database.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <string>

#include "spooler_internal.h"

namespace platform::spooler {
namespace {

bool ReadCounter(int fd, unsigned long long* value) {
    unsigned long long v = 0;
    ssize_t n;
    do {
        n = ::pread(fd, &v, sizeof v, 0);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof v)) return false;
    *value = v;
    return true;
}

// Where a counter starts again after its file was cut short or removed: the
// clock in nanoseconds, far past any count a reader may still hold, so that
// the new value never equals an old one.
unsigned long long FreshStart() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<unsigned long long>(now.tv_sec) * 1000000000ull +
           static_cast<unsigned long long>(now.tv_nsec);
}

// The stamp table of the user who owns the machine roots: the key names the
// table's layout and that user, so that a process of the administrator
// working on a user's root raises the slots the user's processes read.
constexpr size_t kStampSlots = 4096;
constexpr key_t kStampTableKey = 0x53740000;

// The table, attached at the first use; null when this process reads files.
unsigned long long* StampTable() {
    static unsigned long long* const table = []() -> unsigned long long* {
        struct stat rootStatus {};
        const uid_t owner =
            ::stat(MachineRoot().c_str(), &rootStatus) == 0 ? rootStatus.st_uid : ::geteuid();
        const key_t key = kStampTableKey | static_cast<key_t>(owner & 0xFFFF);
        const size_t size = kStampSlots * sizeof(unsigned long long);
        int id = ::shmget(key, size, IPC_CREAT | IPC_EXCL | 0600);
        if (id >= 0 && owner != ::geteuid()) {
            // Made by the administrator for the owner: handed to the owner.
            struct shmid_ds ds {};
            if (::shmctl(id, IPC_STAT, &ds) == 0) {
                ds.shm_perm.uid = owner;
                ds.shm_perm.gid = rootStatus.st_gid;
                ::shmctl(id, IPC_SET, &ds);
            }
        }
        if (id < 0 && errno == EEXIST) id = ::shmget(key, size, 0);
        if (id < 0) return nullptr;
        struct shmid_ds ds {};
        if (::shmctl(id, IPC_STAT, &ds) != 0 || ds.shm_perm.uid != owner ||
            (ds.shm_perm.mode & 0077) != 0 || ds.shm_segsz < size)
            return nullptr;
        void* at = ::shmat(id, nullptr, 0);
        return at == reinterpret_cast<void*>(-1) ? nullptr : static_cast<unsigned long long*>(at);
    }();
    return table;
}

// The slot of a counter file of a machine root (FNV-1a of its path).
size_t SlotOf(const std::string& path) {
    unsigned long long h = 14695981039346656037ull;
    for (unsigned char c : path)
        h = (h ^ c) * 1099511628211ull;
    return static_cast<size_t>(h % kStampSlots);
}

StampCounter gStatusStamp("/spool-status.stamp");
std::atomic<bool> gFilesOnly{false}; // test::ReadStampsFromFiles

} // namespace

StampCounter::StampCounter(const char* fileName) : fileName_(fileName) {}

StampCounter::~StampCounter() {
    if (fd_ >= 0) ::close(fd_);
}

// The stamp file of the current machine root, opened on first use (and again
// when the root changes); -1 when it cannot be made. Called under the mutex.
int StampCounter::DescriptorLocked(const std::string& root) {
    if (fd_ >= 0 && root_ == root) return fd_;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    root_.clear();
    const std::string path = root + fileName_;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    root_ = root;
    fd_ = fd;
    return fd;
}

void StampCounter::Close() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    root_.clear();
    slotRoot_.clear();
}

unsigned long long* StampCounter::SlotLocked(const std::string& root) {
    unsigned long long* table = gFilesOnly.load(std::memory_order_relaxed) ? nullptr : StampTable();
    if (!table) return nullptr;
    if (slotRoot_ != root) {
        slotRoot_ = root;
        slot_ = SlotOf(root + fileName_);
    }
    return table + slot_;
}

bool StampCounter::Read(unsigned long long* value) {
    return Read(MachineRoot(), value);
}

bool StampCounter::Read(const std::string& root, unsigned long long* value) {
    std::lock_guard lock(mutex_);
    if (unsigned long long* slot = SlotLocked(root)) {
        *value = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
        return true;
    }
    const int fd = DescriptorLocked(root);
    return fd >= 0 && ReadCounter(fd, value);
}

void StampCounter::Raise() {
    const std::string& root = MachineRoot();
    std::lock_guard lock(mutex_);
    if (unsigned long long* slot = SlotLocked(root)) __atomic_fetch_add(slot, 1, __ATOMIC_ACQ_REL);
    const int fd = DescriptorLocked(root);
    if (fd < 0) return;
    // One raise at a time between processes.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    unsigned long long v = 0;
    v = ReadCounter(fd, &v) ? v + 1 : FreshStart();
    ssize_t n;
    do {
        n = ::pwrite(fd, &v, sizeof v, 0);
    } while (n < 0 && errno == EINTR);
    ::flock(fd, LOCK_UN);
}

bool ReadStatusStamp(unsigned long long* stamp) {
    return gStatusStamp.Read(stamp);
}

void RaiseStatusStamp() {
    gStatusStamp.Raise();
}

void test::ReadStampsFromFiles() {
    gFilesOnly = true;
}

} // namespace platform::spooler

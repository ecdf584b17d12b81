// The job-status stamp: a counter in a small file of the machine root that
// every process maps shared and raises after it changes a job's status. A
// job's writer reads its status from the database only when the stamp has
// moved since it last looked, so that a cancel from any process still stops
// the next write without a database read for every write.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>

#include "spooler_internal.h"

namespace platform::spooler {
namespace {

constexpr char kStampFile[] = "/spool-status.stamp";
constexpr size_t kStampBytes = 4096;

struct Mapping {
    std::string root;
    std::atomic<unsigned long long>* counter = nullptr;
};

std::mutex gStampMutex;
Mapping gStamp;

// The counter of the current machine root, mapped on first use (and again
// when the root changes); null when the file cannot be made or mapped.
std::atomic<unsigned long long>* Counter() {
    const std::string& root = MachineRoot();
    std::lock_guard lock(gStampMutex);
    if (gStamp.counter && gStamp.root == root) return gStamp.counter;
    if (gStamp.counter) ::munmap(gStamp.counter, kStampBytes);
    gStamp = Mapping{};
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
    gStamp.root = root;
    gStamp.counter = static_cast<std::atomic<unsigned long long>*>(p);
    return gStamp.counter;
}

} // namespace

bool ReadStatusStamp(unsigned long long* stamp) {
    auto* c = Counter();
    if (!c) return false;
    *stamp = c->load(std::memory_order_acquire);
    return true;
}

void RaiseStatusStamp() {
    if (auto* c = Counter()) c->fetch_add(1, std::memory_order_acq_rel);
}

} // namespace platform::spooler

// The spooler's stamps: counters in small files of the machine root that
// every process raises after a change. The job-status stamp moves with every
// change of a job's status: a job's writer reads its status from the
// database only when the stamp has moved since it last looked, so that a
// cancel from any process still stops the next write without a database read
// for every write. The settings stamp (settings_cache.cpp) moves with every
// change of a printer's or a driver's record.
//
// A counter is read and written through its file, never mapped: anybody
// may cut the file short under a running job, and a mapped page past a
// file's end kills the process that touches it. A short read only says
// "unknown", which sends the reader to the database.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

StampCounter gStatusStamp("/spool-status.stamp");

} // namespace

StampCounter::StampCounter(const char* fileName) : fileName_(fileName) {}

StampCounter::~StampCounter() {
    if (fd_ >= 0) ::close(fd_);
}

// The stamp file of the current machine root, opened on first use (and again
// when the root changes); -1 when it cannot be made. Called under the mutex.
int StampCounter::DescriptorLocked() {
    const std::string& root = MachineRoot();
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
}

bool StampCounter::Read(unsigned long long* value) {
    std::lock_guard lock(mutex_);
    const int fd = DescriptorLocked();
    return fd >= 0 && ReadCounter(fd, value);
}

void StampCounter::Raise() {
    std::lock_guard lock(mutex_);
    const int fd = DescriptorLocked();
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

} // namespace platform::spooler

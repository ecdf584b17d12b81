// The job-status stamp: a counter in a small file of the machine root that
// every process raises after it changes a job's status. A job's writer reads
// its status from the database only when the stamp has moved since it last
// looked, so that a cancel from any process still stops the next write
// without a database read for every write.
//
// The counter is read and written through the file, never mapped: anybody
// may cut the file short under a running job, and a mapped page past a
// file's end kills the process that touches it. A short read only says
// "unknown", which sends the writer to the database.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "spooler_internal.h"

namespace platform::spooler {
namespace {

constexpr char kStampFile[] = "/spool-status.stamp";

struct StampFile {
    std::string root;
    int fd = -1;
};

std::mutex gStampMutex;
StampFile gStamp;

// The stamp file of the current machine root, opened on first use (and again
// when the root changes); -1 when it cannot be made. Called under the mutex.
int StampDescriptor() {
    const std::string& root = MachineRoot();
    if (gStamp.fd >= 0 && gStamp.root == root) return gStamp.fd;
    if (gStamp.fd >= 0) ::close(gStamp.fd);
    gStamp = StampFile{};
    const std::string path = root + kStampFile;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    gStamp.root = root;
    gStamp.fd = fd;
    return fd;
}

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

} // namespace

bool ReadStatusStamp(unsigned long long* stamp) {
    std::lock_guard lock(gStampMutex);
    const int fd = StampDescriptor();
    return fd >= 0 && ReadCounter(fd, stamp);
}

void RaiseStatusStamp() {
    std::lock_guard lock(gStampMutex);
    const int fd = StampDescriptor();
    if (fd < 0) return;
    // One raise at a time between processes; a file cut short starts again
    // from zero, which every reader sees as a move.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    unsigned long long v = 0;
    if (!ReadCounter(fd, &v)) v = 0;
    ++v;
    ssize_t n;
    do {
        n = ::pwrite(fd, &v, sizeof v, 0);
    } while (n < 0 && errno == EINTR);
    ::flock(fd, LOCK_UN);
}

} // namespace platform::spooler

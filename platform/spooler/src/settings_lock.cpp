// The printers' settings lock: one lock file of the machine root that every
// process takes, exclusively, while it changes a printer's settings. An
// interface library's upgrade reads the printer's device mode, revises it and
// writes it back; holding the lock across that whole step keeps a store made
// meanwhile by any other process from being written over with the old one.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "spooler_internal.h"

namespace platform::spooler {
namespace {

constexpr char kLockFile[] = "/spool-settings.lock";

// Held by this thread already (the upgrade's own writes take it again).
thread_local int tDepth = 0;
thread_local int tFd = -1;

} // namespace

SettingsLock::SettingsLock() {
    if (tDepth++ > 0) return;
    const std::string path = MachineRoot() + kLockFile;
    tFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // Without the file the change goes ahead unlocked, as it always did.
    if (tFd < 0) return;
    while (::flock(tFd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

SettingsLock::~SettingsLock() {
    if (--tDepth > 0 || tFd < 0) return;
    ::flock(tFd, LOCK_UN);
    ::close(tFd);
    tFd = -1;
}

} // namespace platform::spooler

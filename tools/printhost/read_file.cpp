// Reading the files the command line names: only regular files, opened so
// that a pipe or a device never blocks, read up to their size at the open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "command.h"

namespace printhost {
namespace {

// Far above any model data, printer stream or spool index the package makes.
constexpr off_t kLargestFile = off_t{1} << 30;

std::string KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// The one check of what a command line names as a file.
std::string ProblemOf(const struct stat& st) {
    return S_ISREG(st.st_mode) ? std::string() : "it is " + KindOf(st.st_mode) + ", not a file";
}

} // namespace

std::string FileProblem(const std::string& path) {
    // Looked at, not opened: a pipe or a device is never waited on.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    return ProblemOf(st);
}

std::string OutputFileProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? std::string() : std::strerror(errno);
    return ProblemOf(st);
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* data, std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat st {};
    bool ok = false;
    std::string reason = ::fstat(fd, &st) != 0 ? std::strerror(errno) : ProblemOf(st);
    if (reason.empty() && st.st_size > kLargestFile)
        reason = "it holds " + std::to_string(st.st_size) + " bytes, more than any file read here";
    if (reason.empty()) {
        // What the file held when opened; a file that grows meanwhile is read
        // only that far, one that shrinks ends early.
        data->assign(static_cast<size_t>(st.st_size), 0);
        size_t done = 0;
        ok = true;
        while (done < data->size()) {
            ssize_t n = ::read(fd, data->data() + done, data->size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                reason = std::strerror(errno);
                ok = false;
                break;
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        data->resize(done);
    }
    ::close(fd);
    return ok || fail(reason);
}

} // namespace printhost

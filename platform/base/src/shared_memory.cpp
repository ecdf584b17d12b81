// Named shared memory and pagefile-backed memory for file mappings.
//
// A named object is a POSIX shared-memory object whose name is the Windows
// name made safe and scoped by the machine root, so that machines (and the
// tests, each on its own root) never meet. "Global\" and "Local\" name the
// one namespace of the machine. Objects are created exclusively and readable
// and writable by their owner only, whatever security descriptor the caller
// passes; an object found under a name must be a private object of this user,
// else it is refused.
//
// Lifetime across processes: the object keeps its name while the process that
// created it holds a handle or a view on it; when that process's last one goes
// the name is removed. A process that opened it keeps its memory, not its
// name. The creator holds a shared lock on the object for as long as it holds
// it, so that an object whose creator died (its name left behind) is told
// apart from a live one and replaced, as the system forgets the objects of a
// dead process. Only a process holding the exclusive lock on an object, which
// it has checked is still the one under the name, removes that name. A process
// that exits with handles still open removes its names on the way out; one
// that is killed leaves them to be replaced by the next creator.
#include "shared_memory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "platform/core.h"
#include "platform/process_ctl.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/files.h"

namespace platform::shm {

namespace {

// The host allows 255 bytes for the object's file name (after the slash);
// longer escaped names keep a prefix and a hash of the whole name.
constexpr size_t kMaxHostComponent = 250;

std::uint64_t Fnv1a(const void* data, size_t size, std::uint64_t h = 0xcbf29ce484222325ULL) {
    auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ULL;
    }
    return h;
}

std::string Hex64(std::uint64_t v) {
    static const char digits[] = "0123456789abcdef";
    std::string s(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4)
        s[static_cast<size_t>(i)] = digits[v & 15];
    return s;
}

// Both outlive every Section: handles still open at exit are destroyed after
// the statics of this file would be.
std::recursive_mutex& RegistryMutex() {
    static auto* m = new std::recursive_mutex;
    return *m;
}

// This process's sections by host name: every handle on one name shares one
// descriptor, and the creator's name lives until its last handle goes.
std::map<std::string, std::weak_ptr<Section>>& Registry() {
    static auto* r = new std::map<std::string, std::weak_ptr<Section>>;
    return *r;
}

// Handles still open at exit are never closed: their names are removed here.
void RemoveNamesAtExit() {
    std::vector<std::shared_ptr<Section>> live;
    {
        std::lock_guard lock(RegistryMutex());
        for (auto& [host, weak] : Registry())
            if (auto section = weak.lock()) live.push_back(std::move(section));
    }
    for (auto& section : live)
        section->RemoveName();
}

void RemoveNamesAtExitOnce() {
    static const bool registered = (std::atexit(&RemoveNamesAtExit), true);
    (void)registered;
}

std::shared_ptr<Section> FindLive(const std::string& host) {
    auto& r = Registry();
    auto it = r.find(host);
    if (it == r.end()) return nullptr;
    std::shared_ptr<Section> s = it->second.lock();
    if (!s) r.erase(it);
    return s;
}

DWORD ErrorFromShm(int err) {
    switch (err) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:
        return ERROR_INVALID_NAME;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case ENOMEM:
    case EFBIG:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

bool SameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the object under `host` that fd holds was left behind by a creator
// that is gone; if so its name is removed (when it still names this object).
bool Abandoned(int fd, const std::string& host) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false; // its creator holds it
    bool abandoned = false;
    struct stat st;
    // Size 0: a creator between making the object and locking it. Left alone.
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        abandoned = true;
        int probe = ::shm_open(host.c_str(), O_RDONLY, 0);
        if (probe >= 0) {
            struct stat now;
            if (::fstat(probe, &now) == 0 && SameObject(st, now)) ::shm_unlink(host.c_str());
            ::close(probe);
        }
    }
    ::flock(fd, LOCK_UN);
    return abandoned;
}

// Opens an existing named object. ERROR_FILE_NOT_FOUND when there is none (or
// only an abandoned one, which is then gone).
DWORD OpenExisting(const std::string& host, bool write, std::shared_ptr<Section>* out) {
    int fd = ::shm_open(host.c_str(), write ? O_RDWR : O_RDONLY, 0);
    if (fd < 0) return ErrorFromShm(errno);
    struct stat st;
    // Only a private object of this user is ours to use: an object someone
    // else made, or one others may read or write, is refused.
    // The owner's own bits decide too, even for a host user whom they do not bind.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0 || (write && !(st.st_mode & S_IWUSR))) {
        ::close(fd);
        return ERROR_ACCESS_DENIED;
    }
    if (Abandoned(fd, host)) {
        ::close(fd);
        return ERROR_FILE_NOT_FOUND;
    }
    auto section = std::make_shared<Section>(fd, host, false, write);
    Registry()[host] = section;
    *out = std::move(section);
    return ERROR_SUCCESS;
}

DWORD Allocate(int fd, unsigned long long size) {
    // Reserve the memory now, as the system commits it at creation: a full
    // host fails here rather than faulting a view later.
    int rc = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    return rc == 0 ? ERROR_SUCCESS : ErrorFromShm(rc);
}

} // namespace

// A child with the same root, perhaps written differently, finds the same objects.
std::string RootKey() {
    const std::string& root = platform::MachineRoot();
    if (char* real = ::realpath(root.c_str(), nullptr)) {
        std::string key(real);
        std::free(real);
        return key;
    }
    return root;
}

Section::Section(int fd, std::string hostName, bool creator, bool writable)
    : fd_(fd), hostName_(std::move(hostName)), creator_(creator), writable_(writable) {}

Section::~Section() {
    std::lock_guard lock(RegistryMutex());
    if (!hostName_.empty()) {
        auto& r = Registry();
        auto it = r.find(hostName_);
        if (it != r.end() && it->second.expired()) r.erase(it);
    }
    RemoveName(); // the name goes with the creator's last hold
    ::close(fd_);
}

void Section::RemoveName() {
    if (!creator_) return;
    creator_ = false;
    ::flock(fd_, LOCK_EX);
    struct stat mine, named;
    int probe = ::shm_open(hostName_.c_str(), O_RDONLY, 0);
    if (probe >= 0) {
        if (::fstat(fd_, &mine) == 0 && ::fstat(probe, &named) == 0 && SameObject(mine, named))
            ::shm_unlink(hostName_.c_str());
        ::close(probe);
    }
}

unsigned long long Section::CurrentSize() const {
    struct stat st;
    if (::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<unsigned long long>(st.st_size);
}

DWORD HostObjectName(std::u16string_view name, std::string* out) {
    if (name.size() > MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    for (std::u16string_view prefix :
         {std::u16string_view(u"Global\\"), std::u16string_view(u"Local\\")}) {
        if (name.substr(0, prefix.size()) == prefix) {
            name.remove_prefix(prefix.size());
            break;
        }
    }
    if (name.empty()) return ERROR_INVALID_NAME;
    // Object names hold no further namespace.
    if (name.find(u'\\') != std::u16string_view::npos) return ERROR_PATH_NOT_FOUND;

    // Letters, digits, '_', '-' and '.' stand; every other unit becomes %XXXX.
    // Names are compared with case, as the system's object names are.
    std::string escaped;
    static const char digits[] = "0123456789ABCDEF";
    for (char16_t c : name) {
        bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                     (c >= u'0' && c <= u'9') || c == u'_' || c == u'-' || c == u'.';
        if (plain) {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            for (int shift = 12; shift >= 0; shift -= 4)
                escaped += digits[(c >> shift) & 15];
        }
    }
    std::string rootKey = RootKey();
    std::string host = "/printhost." + Hex64(Fnv1a(rootKey.data(), rootKey.size())) + ".";
    if (host.size() - 1 + escaped.size() > kMaxHostComponent) {
        // '~' never appears in an escaped name, so a cut name meets no whole one.
        std::string hash = "~" + Hex64(Fnv1a(name.data(), name.size() * sizeof(char16_t)));
        size_t keep = kMaxHostComponent - (host.size() - 1) - hash.size();
        if (keep > 0 && keep < escaped.size()) {
            size_t escape = escaped.rfind('%', keep - 1);
            if (escape != std::string::npos && keep - escape < 5)
                keep = escape; // never cut inside an escape
        }
        escaped = escaped.substr(0, keep) + hash;
    }
    *out = host + escaped;
    return ERROR_SUCCESS;
}

DWORD Create(std::u16string_view name, unsigned long long size, DWORD protect,
             std::shared_ptr<Section>* out, bool* existed) {
    *existed = false;
    if (size == 0) return ERROR_INVALID_PARAMETER;
    if (size > static_cast<unsigned long long>(INT64_MAX)) return ERROR_NOT_ENOUGH_MEMORY;
    bool writable = protect == PAGE_READWRITE;

    if (name.empty()) {
        int fd = ::memfd_create("printhost-mapping", MFD_CLOEXEC);
        if (fd < 0) return ErrorFromShm(errno);
        if (DWORD e = Allocate(fd, size)) {
            ::close(fd);
            return e;
        }
        *out = std::make_shared<Section>(fd, std::string(), false, writable);
        return ERROR_SUCCESS;
    }

    std::string host;
    if (DWORD e = HostObjectName(name, &host)) return e;
    std::lock_guard lock(RegistryMutex());
    if (auto live = FindLive(host)) {
        if (writable && !live->writable()) return ERROR_ACCESS_DENIED;
        *out = std::move(live);
        *existed = true;
        return ERROR_SUCCESS;
    }
    // A few rounds at most: each lost race means another process just made
    // or removed the name.
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::shm_open(host.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            ::flock(fd, LOCK_SH); // held while this process holds the object
            DWORD e = Allocate(fd, size);
            // A read-only object cannot be written through any later handle either.
            if (!e && !writable && ::fchmod(fd, 0400) != 0) e = ErrorFromShm(errno);
            if (e) {
                ::shm_unlink(host.c_str());
                ::close(fd);
                return e;
            }
            auto section = std::make_shared<Section>(fd, host, true, writable);
            Registry()[host] = section;
            RemoveNamesAtExitOnce();
            *out = std::move(section);
            return ERROR_SUCCESS;
        }
        if (errno != EEXIST) return ErrorFromShm(errno);
        DWORD e = OpenExisting(host, writable, out);
        if (e == ERROR_FILE_NOT_FOUND) continue; // gone meanwhile, or abandoned: make it anew
        if (e) return e;
        *existed = true;
        return ERROR_SUCCESS;
    }
    return ERROR_ACCESS_DENIED;
}

DWORD Open(std::u16string_view name, bool write, std::shared_ptr<Section>* out) {
    std::string host;
    if (DWORD e = HostObjectName(name, &host)) return e;
    std::lock_guard lock(RegistryMutex());
    if (auto live = FindLive(host); live && (live->writable() || !write)) {
        *out = std::move(live);
        return ERROR_SUCCESS;
    }
    return OpenExisting(host, write, out);
}

} // namespace platform::shm

namespace platform::test {

std::string SharedMemoryObjectName(std::u16string_view mappingName) {
    std::string host;
    return platform::shm::HostObjectName(mappingName, &host) == ERROR_SUCCESS ? host
                                                                              : std::string();
}

} // namespace platform::test

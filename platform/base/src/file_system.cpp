// Path checks, error mapping, attributes, times and share reservations shared
// by the file functions.
#include "file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "win/strings.h"

namespace platform::files {

std::u16string Widen(const char* text) {
    return text ? WidenBytes(text) : std::u16string();
}

std::u16string WidenBytes(std::string_view text) {
    return AnsiToWide(text, CP_ACP);
}

std::string Narrow(std::u16string_view text) {
    return WideToAnsi(text, CP_ACP);
}

size_t CutPoint(std::string_view text, size_t max) {
    if (max >= text.size()) return text.size();
    size_t at = 0;
    while (at < max) {
        size_t len = AnsiCharLength(text.substr(at), CP_ACP);
        if (at + len > max) break;
        at += len;
    }
    return at;
}

size_t CutPoint(std::u16string_view text, size_t max) {
    if (max >= text.size()) return text.size();
    if (max > 0 && text[max - 1] >= 0xD800 && text[max - 1] <= 0xDBFF) return max - 1;
    return max;
}

std::recursive_mutex& NamespaceMutex() {
    static std::recursive_mutex m;
    return m;
}

namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool IsDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Characters that no Windows file name may hold (wildcards included).
bool ForbiddenInName(char16_t c) {
    return c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*';
}

} // namespace

bool Resolve(const WCHAR* path, HostName* out, Mapping mapping) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::u16string_view p(path, WideLength(path));
    std::u16string stripped;
    // "\\?\C:\x" and "\\?\UNC\server\share" name the same files as without the prefix.
    if (p.size() >= 4 && p.substr(0, 4) == u"\\\\?\\") {
        p.remove_prefix(4);
        if (p.size() >= 4 && EqualsNoCase(p.substr(0, 3), u"UNC") && IsSeparator(p[3])) {
            stripped = u"\\\\" + std::u16string(p.substr(4));
            p = stripped;
        }
    }
    if (p.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    // Host paths pass through unchecked (tools and tests hand them in).
    if (p[0] != u'/') {
        for (size_t i = 0; i < p.size(); ++i) {
            char16_t c = p[i];
            bool driveColon = c == u':' && i == 1 && IsDriveLetter(p[0]);
            if (ForbiddenInName(c) || (c == u':' && !driveColon)) {
                SetLastError(ERROR_INVALID_NAME);
                return false;
            }
        }
    }
    out->windows.assign(p);
    out->trailingSeparator = IsSeparator(p.back());
    if (mapping == Mapping::kAsWritten) {
        out->host = HostPathAsWritten(p);
        out->facts = PathFacts{};
    } else {
        out->host = HostPath(p, &out->facts);
    }
    return true;
}

DWORD MissingError(const std::string& host) {
    size_t slash = host.find_last_of('/');
    std::string parent =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : host.substr(0, slash));
    struct stat st;
    if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

DWORD ErrorFromErrno(int err, const std::string& host) {
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return MissingError(host);
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case EIO:
        return ERROR_WRITE_FAULT;
    default: // EACCES, EPERM, EROFS, EISDIR and the rest
        return ERROR_ACCESS_DENIED;
    }
}

namespace {

// Attributes that the host has no place for are kept in an extended attribute.
constexpr const char* kAttributeName = "user.printhost.attributes";
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE;

bool ReadKept(const std::string& host, DWORD* kept) {
    char buf[16] = {};
    ssize_t n = ::getxattr(host.c_str(), kAttributeName, buf, sizeof buf - 1);
    if (n <= 0) return false;
    *kept = static_cast<DWORD>(std::strtoul(buf, nullptr, 10));
    return true;
}

} // namespace

DWORD AttributesOf(const std::string& host, const struct stat& st) {
    bool dir = S_ISDIR(st.st_mode);
    DWORD kept = 0;
    // A file that never had attributes set carries ARCHIVE, as a new file does on the system.
    if (!ReadKept(host, &kept)) kept = dir ? 0 : FILE_ATTRIBUTE_ARCHIVE;
    DWORD a = kept & (kKeptAttributes | (dir ? FILE_ATTRIBUTE_READONLY : 0));
    if (dir) a |= FILE_ATTRIBUTE_DIRECTORY;
    if (!dir && !(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
    return a == 0 ? FILE_ATTRIBUTE_NORMAL : a;
}

int StoreAttributes(const std::string& host, const struct stat& st, DWORD attributes, bool fresh) {
    bool dir = S_ISDIR(st.st_mode);
    if (!dir) {
        // Read-only is the owner's write bit, so that other host tools see it too. On a
        // folder it is only a mark (the system does not stop changes inside it).
        mode_t mode = st.st_mode & 07777;
        mode_t wanted = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | S_IWUSR);
        if (wanted != mode && ::chmod(host.c_str(), wanted) != 0) return errno;
    }
    DWORD kept = attributes & (kKeptAttributes | (dir ? FILE_ATTRIBUTE_READONLY : 0));
    DWORD current = 0;
    bool had = !fresh && ReadKept(host, &current);
    DWORD defaultKept = dir ? 0 : FILE_ATTRIBUTE_ARCHIVE;
    if ((had && current == kept) || (!had && kept == defaultKept)) return 0;
    std::string text = std::to_string(kept);
    if (::setxattr(host.c_str(), kAttributeName, text.data(), text.size(), 0) != 0) {
        // A host file system without user attributes keeps only read-only and folder.
        if (errno != ENOTSUP && errno != EOPNOTSUPP) return errno;
    }
    return 0;
}

namespace {
constexpr long long kEpochDifference = 116444736000000000LL; // 1601-01-01 to 1970-01-01 in 100 ns
}

FILETIME ToFileTime(const struct timespec& ts) {
    long long v =
        static_cast<long long>(ts.tv_sec) * 10000000LL + ts.tv_nsec / 100 + kEpochDifference;
    if (v < 0) v = 0;
    auto u = static_cast<unsigned long long>(v);
    return FILETIME{static_cast<DWORD>(u & 0xFFFFFFFFu), static_cast<DWORD>(u >> 32)};
}

struct timespec FromFileTime(const FILETIME& ft) {
    unsigned long long u =
        (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    // Times past the year 30828 do not exist on the system either; clamp.
    if (u > 0x7FFFFFFFFFFFFFFFULL) u = 0x7FFFFFFFFFFFFFFFULL;
    long long v = static_cast<long long>(u) - kEpochDifference;
    long long sec = v / 10000000LL;
    long long rem = v % 10000000LL;
    if (rem < 0) {
        rem += 10000000LL;
        --sec;
    }
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(sec);
    ts.tv_nsec = static_cast<long>(rem * 100);
    return ts;
}

struct timespec BirthTime(const std::string& host, const struct stat& st) {
    struct statx sx {};
    if (::statx(AT_FDCWD, host.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME)) {
        struct timespec ts {};
        ts.tv_sec = sx.stx_btime.tv_sec;
        ts.tv_nsec = sx.stx_btime.tv_nsec;
        return ts;
    }
    return st.st_mtim;
}

ShareAccess AccessForSharing(DWORD access) {
    ShareAccess a;
    a.read =
        access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA | FILE_EXECUTE);
    a.write = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
    a.del = access & (GENERIC_ALL | DELETE);
    return a;
}

namespace {

struct OpenEntry {
    const FileObject* owner;
    ShareAccess access;
    DWORD shareMode;
};

struct FileState {
    std::vector<OpenEntry> opens;
    int mappings = 0;
    bool deletePending = false;
    std::string deletePath;
};

// Never destroyed: views and handles still open when the process exits are
// released after the other statics are gone.
std::map<FileId, FileState>& States() {
    static auto* states = new std::map<FileId, FileState>;
    return *states;
}

bool Conflicts(const OpenEntry& e, ShareAccess a, DWORD share) {
    if (!e.access.Any()) return false;
    if (a.read && !(e.shareMode & FILE_SHARE_READ)) return true;
    if (a.write && !(e.shareMode & FILE_SHARE_WRITE)) return true;
    if (a.del && !(e.shareMode & FILE_SHARE_DELETE)) return true;
    if (e.access.read && !(share & FILE_SHARE_READ)) return true;
    if (e.access.write && !(share & FILE_SHARE_WRITE)) return true;
    if (e.access.del && !(share & FILE_SHARE_DELETE)) return true;
    return false;
}

} // namespace

bool ShareAllows(const FileId& id, ShareAccess access, DWORD shareMode) {
    if (!access.Any()) return true;
    auto it = States().find(id);
    if (it == States().end()) return true;
    for (const OpenEntry& e : it->second.opens)
        if (Conflicts(e, access, shareMode)) return false;
    return true;
}

bool DeletePending(const FileId& id) {
    auto it = States().find(id);
    return it != States().end() && it->second.deletePending;
}

FileObject::FileObject(int fd, std::string host, const FileId& id, DWORD access, DWORD shareMode,
                       DWORD flags, bool directory)
    : fd_(fd), host_(std::move(host)), id_(id), sharing_(AccessForSharing(access)),
      shareMode_(shareMode), deleteOnClose_(flags & FILE_FLAG_DELETE_ON_CLOSE),
      directory_(directory) {
    if (deleteOnClose_) sharing_.del = true;
    canRead_ = access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
    canWrite_ = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
    canWriteAttributes_ = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_ATTRIBUTES);
    std::lock_guard lock(NamespaceMutex());
    States()[id_].opens.push_back(OpenEntry{this, sharing_, shareMode_});
}

FileObject::~FileObject() {
    std::lock_guard lock(NamespaceMutex());
    auto it = States().find(id_);
    if (it != States().end()) {
        FileState& state = it->second;
        for (auto e = state.opens.begin(); e != state.opens.end(); ++e) {
            if (e->owner == this) {
                state.opens.erase(e);
                break;
            }
        }
        if (deleteOnClose_ && !state.deletePending) {
            state.deletePending = true;
            state.deletePath = host_;
        }
        // The file goes when the last handle of a file marked for deletion closes.
        if (state.opens.empty() && state.mappings == 0) {
            if (state.deletePending) {
                struct stat st;
                if (::lstat(state.deletePath.c_str(), &st) == 0 && IdOf(st) == id_)
                    ::unlink(state.deletePath.c_str());
            }
            States().erase(it);
        }
    }
    if (fd_ >= 0) ::close(fd_);
}

void AddMapping(const FileId& id) {
    std::lock_guard lock(NamespaceMutex());
    ++States()[id].mappings;
}

void RemoveMapping(const FileId& id) {
    std::lock_guard lock(NamespaceMutex());
    auto it = States().find(id);
    if (it == States().end()) return;
    if (--it->second.mappings <= 0 && it->second.opens.empty()) States().erase(it);
}

bool HasMapping(const FileId& id) {
    std::lock_guard lock(NamespaceMutex());
    auto it = States().find(id);
    return it != States().end() && it->second.mappings > 0;
}

int HoldAsModule(const std::string& host) {
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    int rc;
    while ((rc = ::flock(fd, LOCK_SH)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool LoadedAsModule(const std::string& host) {
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    // An exclusive lock that cannot be had now means some process holds the file as a module.
    bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool IsVolumeRoot(const std::string& host) {
    const std::string& root = MachineRoot();
    if (host.size() <= root.size() + 1 || host.compare(0, root.size(), root) != 0 ||
        host[root.size()] != '/')
        return false;
    std::string_view rel = std::string_view(host).substr(root.size() + 1);
    while (!rel.empty() && rel.back() == '/')
        rel.remove_suffix(1);
    if (rel.size() == 1) return true;
    if (rel.substr(0, 3) != "unc" || (rel.size() > 3 && rel[3] != '/')) return false;
    size_t parts = 0;
    for (size_t i = 0; i < rel.size(); ++i)
        if (rel[i] == '/' && i + 1 < rel.size() && rel[i + 1] != '/') ++parts;
    return parts <= 2;
}

std::u16string WindowsFolder() {
    return u"C:\\Windows";
}

std::u16string TempFolder() {
    return u"C:\\Windows\\Temp\\";
}

} // namespace platform::files

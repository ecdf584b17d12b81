#include "platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/core.h"
#include "platform/text.h"

namespace platform {

// FindNoCase for a name known not to be there as written; status, when
// given, is the folder's own, just taken (so it is not asked for again).
std::string FindInFolder(const std::string& dir, std::string_view name,
                         const struct stat* status = nullptr);

namespace {

// Whether a name is there (a link is, wherever it points): the host's access
// check with no access asked walks the path as lstat() would, without
// gathering the status.
bool Exists(const std::string& p) {
    return ::faccessat(AT_FDCWD, p.c_str(), F_OK, AT_SYMLINK_NOFOLLOW | AT_EACCESS) == 0;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// A name goes onto a host path in UTF-8.
void AppendName(std::string_view name, std::string* out) {
    out->append(name);
}

void AppendName(std::u16string_view name, std::string* out) {
    EncodeUtf8(name, false, out);
}

// Appends the components of path to *out, which holds the host folder they
// are under (its first baseSize bytes), each as "/" and its name as written.
// "." and ".." are resolved lexically and never climb above that folder. In
// Windows paths a name never ends in dots or blanks ("x." and "x " are "x"),
// as the system trims them. Built in place: a path is mapped on every open.
template <class Char>
void AppendComponents(std::basic_string_view<Char> path, bool windows, size_t baseSize,
                      std::string* out) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        std::basic_string_view<Char> part = path.substr(start, end - start);
        start = end + 1;
        if (part.size() == 1 && part[0] == Char('.')) continue;
        if (part.size() == 2 && part[0] == Char('.') && part[1] == Char('.')) {
            // Names hold no separator, so the last one starts the last component.
            if (out->size() > baseSize) out->resize(out->rfind('/'));
            continue;
        }
        if (windows)
            while (!part.empty() && (part.back() == Char('.') || part.back() == Char(' ')))
                part.remove_suffix(1);
        if (part.empty()) continue;
        *out += '/';
        AppendName(part, out);
    }
}

// The system drive is always there; its folder is made on first use of a root.
void EnsureSystemDrive(const std::string& root) {
    static std::mutex m;
    static std::string ensured;
    std::lock_guard lock(m);
    if (ensured == root) return;
    ::mkdir((root + "/c").c_str(), 0777);
    ensured = root;
}

// Finds on disk the components that `whole` holds after its first baseSize
// bytes (AppendComponents' form), matching case.
std::string Resolve(std::string whole, size_t baseSize, PathFacts* facts) {
    if (whole.size() == baseSize) return whole;
    // Most paths are written as they are on disk: then one look-up of the
    // whole path answers for every component (the host's own look-up is
    // exact, so all of them exist as written).
    struct stat st;
    if (!facts) {
        if (Exists(whole)) return whole;
    } else if (::lstat(whole.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            facts->known = true;
            facts->status = st;
        }
        return whole;
    }
    size_t last = whole.rfind('/');
    // A file yet to be made in a folder written as it is on disk: only its
    // own name is looked for in the folder.
    if (last > baseSize) {
        std::string parent = whole.substr(0, last);
        if (::lstat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            std::string onDisk =
                FindInFolder(parent, std::string_view(whole).substr(last + 1), &st);
            if (onDisk.empty()) return whole;
            parent += '/';
            parent += onDisk;
            return parent;
        }
    }
    std::string out = whole.substr(0, baseSize);
    for (size_t at = baseSize; at < whole.size();) {
        size_t end = whole.find('/', at + 1);
        if (end == std::string::npos) end = whole.size();
        std::string_view part = std::string_view(whole).substr(at + 1, end - at - 1);
        std::string onDisk = FindNoCase(out, part);
        out += '/';
        if (onDisk.empty())
            out += part;
        else
            out += onDisk;
        at = end;
    }
    return out;
}

} // namespace

namespace {

std::u16string Folded(std::string_view name) {
    std::u16string folded = FromUtf8(name);
    for (char16_t& c : folded)
        c = FoldCase(c);
    return folded;
}

FolderStamp StampOf(const struct stat& st) {
    FolderStamp stamp;
    if (!S_ISDIR(st.st_mode)) return stamp;
    stamp.valid = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.seconds = st.st_mtim.tv_sec;
    stamp.nanoseconds = st.st_mtim.tv_nsec;
    return stamp;
}

FolderStamp StampOf(const std::string& dir) {
    struct stat st;
    if (::stat(dir.empty() ? "/" : dir.c_str(), &st) != 0) return {};
    return StampOf(st);
}

// The names of a folder by their folded spelling, first on disk first.
struct FolderIndex {
    FolderStamp stamp;
    std::unordered_map<std::u16string, std::string> names;
    // Two names of one folded spelling: removing one cannot tell whether the
    // other stays, so the index is read again instead.
    bool twins = false;
};

// Folders whose index was asked for; a handful at a time in practice.
constexpr size_t kMaxIndexedFolders = 64;

std::mutex gIndexMutex;
std::unordered_map<std::string, FolderIndex> gIndexes;

void ForgetIndexes() {
    std::lock_guard lock(gIndexMutex);
    gIndexes.clear();
}

struct IndexResetRegistrar {
    IndexResetRegistrar() { RegisterResetHook(&ForgetIndexes); }
} gIndexResetRegistrar;

bool ReadFolder(const std::string& dir, FolderIndex* index) {
    DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
    if (!d) return false;
    index->names.clear();
    index->twins = false;
    while (dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n == "." || n == "..") continue;
        if (!index->names.emplace(Folded(n), std::string(n)).second) index->twins = true;
    }
    ::closedir(d);
    return true;
}

std::pair<std::string, std::string> SplitParent(const std::string& hostPath) {
    size_t slash = hostPath.find_last_of('/');
    if (slash == std::string::npos) return {std::string(), hostPath};
    return {hostPath.substr(0, slash), hostPath.substr(slash + 1)};
}

} // namespace

std::string FindNoCase(const std::string& dir, std::string_view name) {
    std::string exact = dir + "/" + std::string(name);
    if (Exists(exact)) return std::string(name);
    return FindInFolder(dir, name);
}

std::string FindInFolder(const std::string& dir, std::string_view name, const struct stat* status) {
    // Stamped before the folder is read, so that a change while reading it
    // leaves the index stale rather than wrong.
    FolderStamp stamp = status ? StampOf(*status) : StampOf(dir);
    if (!stamp.valid) return {};
    std::u16string wanted = Folded(name);
    std::lock_guard lock(gIndexMutex);
    auto it = gIndexes.find(dir);
    if (it == gIndexes.end() || it->second.stamp != stamp) {
        FolderIndex fresh;
        fresh.stamp = stamp;
        if (!ReadFolder(dir, &fresh)) return {};
        if (it == gIndexes.end()) {
            if (gIndexes.size() >= kMaxIndexedFolders) gIndexes.clear();
            it = gIndexes.emplace(dir, std::move(fresh)).first;
        } else {
            it->second = std::move(fresh);
        }
    }
    auto found = it->second.names.find(wanted);
    return found == it->second.names.end() ? std::string() : found->second;
}

FolderStamp StampFolderOf(const std::string& hostPath) {
    std::string dir = SplitParent(hostPath).first;
    {
        // A folder without an index has nothing to keep true.
        std::lock_guard lock(gIndexMutex);
        if (gIndexes.find(dir) == gIndexes.end()) return {};
    }
    return StampOf(dir);
}

void NoteFolderChange(const std::string& hostPath, const FolderStamp& before, bool present) {
    auto [dir, name] = SplitParent(hostPath);
    std::lock_guard lock(gIndexMutex);
    auto it = gIndexes.find(dir);
    if (it == gIndexes.end()) return;
    FolderStamp after = StampOf(dir);
    FolderIndex& index = it->second;
    if (!before.valid || index.stamp != before || !after.valid || (!present && index.twins)) {
        gIndexes.erase(it);
        return;
    }
    index.stamp = after;
    std::u16string folded = Folded(name);
    if (present) {
        if (!index.names.emplace(std::move(folded), name).second) index.twins = true;
    } else {
        auto entry = index.names.find(folded);
        if (entry != index.names.end() && entry->second == name) index.names.erase(entry);
    }
}

namespace {

// Whether a mapped path is looked up on disk (each component matched
// without case) or left as written.
enum class Lookup { kOnDisk, kAsWritten };

template <class Char> bool IsUncWord(std::basic_string_view<Char> w) {
    return w.size() == 3 && (w[0] == Char('U') || w[0] == Char('u')) &&
           (w[1] == Char('N') || w[1] == Char('n')) && (w[2] == Char('C') || w[2] == Char('c'));
}

template <class Char> bool IsDriveLetter(Char c) {
    return (c >= Char('A') && c <= Char('Z')) || (c >= Char('a') && c <= Char('z'));
}

template <class Char>
std::string MapPath(std::basic_string_view<Char> path, Lookup lookup, PathFacts* facts) {
    std::string out; // the host folder the components go under, then the components
    std::basic_string_view<Char> rest = path;
    bool windows = true;
    auto under = [&](const std::string& root, std::string_view folder) {
        out.reserve(root.size() + folder.size() + rest.size() + 16);
        out = root;
        out += folder;
    };
    // A host path; but "//server/share" is a share written with forward slashes.
    if (!path.empty() && path[0] == Char('/') && !(path.size() >= 2 && IsSeparator(path[1]))) {
        windows = false;
        under(std::string(), "");
    } else {
        const std::string& root = MachineRoot();
        bool unc = false;
        // "\\?\C:\x" and "\\?\UNC\server\share\x" are the same names without the prefix.
        if (path.size() >= 4 && path[0] == Char('\\') && path[1] == Char('\\') &&
            path[2] == Char('?') && path[3] == Char('\\')) {
            path.remove_prefix(4);
            rest = path;
            if (path.size() >= 4 && IsUncWord(path.substr(0, 3)) && IsSeparator(path[3])) {
                unc = true;
                rest = path.substr(4);
            }
        }
        if (unc) {
            under(root, "/unc");
        } else if (path.size() >= 2 && path[1] == Char(':') && IsDriveLetter(path[0])) {
            char drive[] = {'/', static_cast<char>(path[0] | 0x20), 0};
            rest = path.substr(2);
            // Z: is the host's own file system, so that files outside the machine root (the
            // build's driver folder, a document given on the command line) have a Windows
            // path that maps back to them.
            if (drive[1] == 'z') {
                under(std::string(), "");
            } else {
                if (drive[1] == 'c') EnsureSystemDrive(root);
                under(root, drive);
            }
        } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
            rest = path.substr(2);
            under(root, "/unc");
        } else if (!path.empty() && path[0] == Char('\\')) {
            EnsureSystemDrive(root);
            under(root, "/c");
        } else {
            char cwd[4096];
            if (!::getcwd(cwd, sizeof cwd)) std::strcpy(cwd, ".");
            under(std::string(), std::strcmp(cwd, "/") == 0 ? "" : cwd);
        }
    }
    const size_t baseSize = out.size();
    AppendComponents(rest, windows, baseSize, &out);
    // "Z:\", "Z:\." and "/" name the host's own root, not an empty path.
    if (out.empty()) out = "/";
    if (lookup == Lookup::kAsWritten) return out;
    return Resolve(std::move(out), baseSize, facts);
}

} // namespace

std::string HostPathUtf8(std::string_view path) {
    return MapPath(path, Lookup::kOnDisk, nullptr);
}

std::string HostPath(std::u16string_view path) {
    return MapPath(path, Lookup::kOnDisk, nullptr);
}

std::string HostPath(std::u16string_view path, PathFacts* facts) {
    *facts = PathFacts{};
    return MapPath(path, Lookup::kOnDisk, facts);
}

std::string HostPathAsWritten(std::u16string_view path) {
    return MapPath(path, Lookup::kAsWritten, nullptr);
}

std::u16string WindowsPath(std::string_view hostPath) {
    const std::string& root = MachineRoot();
    std::string out;
    bool underRoot = hostPath.size() >= root.size() + 2 &&
                     hostPath.substr(0, root.size()) == root && hostPath[root.size()] == '/';
    std::string_view rel = underRoot ? hostPath.substr(root.size() + 1) : std::string_view();
    if (underRoot && rel.size() >= 1 && (rel.size() == 1 || rel[1] == '/') &&
        ((rel[0] >= 'a' && rel[0] <= 'z') || (rel[0] >= 'A' && rel[0] <= 'Z'))) {
        char drive = static_cast<char>(rel[0] & ~0x20);
        out = std::string(1, drive) + ":" + std::string(rel.substr(1));
        if (out.size() == 2) out += '/';
    } else if (underRoot && rel.size() > 4 && rel.substr(0, 4) == "unc/") {
        out = "//" + std::string(rel.substr(4));
    } else if (!hostPath.empty() && hostPath[0] == '/') {
        out = "Z:" + std::string(hostPath);
    } else {
        out = std::string(hostPath);
    }
    for (char& c : out)
        if (c == '/') c = '\\';
    return FromUtf8(out);
}

} // namespace platform

#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/core.h"
#include "platform/text.h"

namespace platform {

// FindNoCase for a name known not to be there as written.
std::string FindInFolder(const std::string& dir, std::string_view name);

namespace {

bool Exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// Splits at both separators. In Windows paths a name never ends in dots or
// blanks ("x." and "x " are "x"), as the system trims them. The parts view
// the path.
std::vector<std::string_view> SplitComponents(std::string_view path, bool windows = false) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    auto flush = [&](size_t end) {
        std::string_view cur = path.substr(start, end - start);
        if (windows && cur != "." && cur != "..")
            while (!cur.empty() && (cur.back() == '.' || cur.back() == ' '))
                cur.remove_suffix(1);
        if (!cur.empty()) parts.push_back(cur);
    };
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\' || path[i] == '/') {
            flush(i);
            start = i + 1;
        }
    }
    flush(path.size());
    return parts;
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

// Appends the components to base, resolving "." and "..", matching case.
std::string Resolve(std::string base, const std::vector<std::string_view>& parts,
                    PathFacts* facts) {
    std::vector<std::string_view> stack;
    stack.reserve(parts.size());
    for (std::string_view part : parts) {
        if (part == ".") continue;
        if (part == "..") {
            if (!stack.empty()) stack.pop_back();
            continue;
        }
        stack.push_back(part);
    }
    // Most paths are written as they are on disk: then one look-up of the
    // whole path answers for every component (the host's own look-up is
    // exact, so all of them exist as written).
    std::string whole = base;
    for (std::string_view part : stack) {
        whole += '/';
        whole += part;
    }
    if (!stack.empty()) {
        struct stat st;
        if (::lstat(whole.c_str(), &st) == 0) {
            if (facts && !S_ISLNK(st.st_mode)) {
                facts->known = true;
                facts->status = st;
            }
            return whole;
        }
    }
    // A file yet to be made in a folder written as it is on disk: only its
    // own name is looked for in the folder.
    if (stack.size() >= 2) {
        std::string parent = whole.substr(0, whole.size() - stack.back().size() - 1);
        struct stat st;
        if (::lstat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            std::string onDisk = FindInFolder(parent, stack.back());
            return onDisk.empty() ? whole : parent + "/" + onDisk;
        }
    }
    std::string out = std::move(base);
    for (std::string_view part : stack) {
        std::string onDisk = FindNoCase(out, part);
        out += '/';
        if (onDisk.empty())
            out += part;
        else
            out += onDisk;
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

FolderStamp StampOf(const std::string& dir) {
    struct stat st;
    FolderStamp stamp;
    if (::stat(dir.empty() ? "/" : dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return stamp;
    stamp.valid = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.seconds = st.st_mtim.tv_sec;
    stamp.nanoseconds = st.st_mtim.tv_nsec;
    return stamp;
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

std::string FindInFolder(const std::string& dir, std::string_view name) {
    // Stamped before the folder is read, so that a change while reading it
    // leaves the index stale rather than wrong.
    FolderStamp stamp = StampOf(dir);
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

std::string MapPath(std::string_view path, PathFacts* facts) {
    // A host path; but "//server/share" is a share written with forward slashes.
    if (!path.empty() && path[0] == '/' &&
        !(path.size() >= 2 && (path[1] == '/' || path[1] == '\\'))) {
        return Resolve("", SplitComponents(path), facts);
    }
    const std::string& root = MachineRoot();
    // "\\?\C:\x" and "\\?\UNC\server\share\x" are the same names without the prefix.
    if (path.size() >= 4 && path.substr(0, 4) == "\\\\?\\") {
        path.remove_prefix(4);
        if (path.size() >= 4 && EqualsNoCaseUtf8(path.substr(0, 3), "UNC") &&
            (path[3] == '\\' || path[3] == '/'))
            return Resolve(root + "/unc", SplitComponents(path.substr(4), true), facts);
    }
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        char drive = static_cast<char>(path[0] | 0x20);
        // Z: is the host's own file system, so that files outside the machine root (the
        // build's driver folder, a document given on the command line) have a Windows
        // path that maps back to them.
        if (drive == 'z') return Resolve("", SplitComponents(path.substr(2), true), facts);
        if (drive == 'c') EnsureSystemDrive(root);
        return Resolve(root + "/" + drive, SplitComponents(path.substr(2), true), facts);
    }
    if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
        (path[1] == '\\' || path[1] == '/')) {
        return Resolve(root + "/unc", SplitComponents(path.substr(2), true), facts);
    }
    if (!path.empty() && path[0] == '\\') {
        EnsureSystemDrive(root);
        return Resolve(root + "/c", SplitComponents(path, true), facts);
    }
    char cwd[4096];
    std::string base = ::getcwd(cwd, sizeof cwd) ? cwd : ".";
    if (base == "/") base.clear();
    return Resolve(base, SplitComponents(path, true), facts);
}

} // namespace

std::string HostPathUtf8(std::string_view path) {
    return MapPath(path, nullptr);
}

std::string HostPath(std::u16string_view path) {
    return MapPath(ToUtf8(path), nullptr);
}

std::string HostPath(std::u16string_view path, PathFacts* facts) {
    *facts = PathFacts{};
    return MapPath(ToUtf8(path), facts);
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

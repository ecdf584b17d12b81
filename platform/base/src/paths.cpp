#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/core.h"
#include "platform/text.h"

namespace platform {

namespace {

bool Exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!cur.empty()) parts.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(std::move(cur));
    return parts;
}

// Appends the components to base, resolving "." and "..", matching case.
std::string Resolve(std::string base, const std::vector<std::string>& parts) {
    std::vector<std::string> stack;
    for (const auto& part : parts) {
        if (part == ".") continue;
        if (part == "..") {
            if (!stack.empty()) stack.pop_back();
            continue;
        }
        stack.push_back(part);
    }
    std::string out = base;
    for (const auto& part : stack) {
        std::string onDisk = FindNoCase(out, part);
        out += '/';
        out += onDisk.empty() ? part : onDisk;
    }
    return out;
}

} // namespace

std::string FindNoCase(const std::string& dir, std::string_view name) {
    std::string exact = dir + "/" + std::string(name);
    if (Exists(exact)) return std::string(name);
    DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
    if (!d) return {};
    std::string found;
    std::u16string wanted = FromUtf8(name);
    while (dirent* e = ::readdir(d)) {
        if (EqualsNoCase(FromUtf8(e->d_name), wanted)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string HostPathUtf8(std::string_view path) {
    if (!path.empty() && path[0] == '/') {
        return Resolve("", SplitComponents(path));
    }
    const std::string& root = MachineRoot();
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        char drive = static_cast<char>(path[0] | 0x20);
        return Resolve(root + "/" + drive, SplitComponents(path.substr(2)));
    }
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        return Resolve(root + "/unc", SplitComponents(path.substr(2)));
    }
    if (!path.empty() && path[0] == '\\') {
        return Resolve(root + "/c", SplitComponents(path));
    }
    char cwd[4096];
    std::string base = ::getcwd(cwd, sizeof cwd) ? cwd : ".";
    if (base == "/") base.clear();
    return Resolve(base, SplitComponents(path));
}

std::string HostPath(std::u16string_view path) { return HostPathUtf8(ToUtf8(path)); }

std::u16string WindowsPath(std::string_view hostPath) {
    const std::string& root = MachineRoot();
    std::string out;
    if (hostPath.size() > root.size() + 2 && hostPath.substr(0, root.size()) == root &&
        hostPath[root.size()] == '/' && (hostPath.size() == root.size() + 2 || hostPath[root.size() + 2] == '/')) {
        char drive = static_cast<char>(hostPath[root.size() + 1] & ~0x20);
        out = std::string(1, drive) + ":" + std::string(hostPath.substr(root.size() + 2));
        if (out.size() == 2) out += '/';
    } else {
        out = std::string(hostPath);
    }
    for (char& c : out)
        if (c == '/') c = '\\';
    return FromUtf8(out);
}

} // namespace platform

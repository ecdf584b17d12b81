// The module loader: modules are ELF shared objects found by Windows names
// without regard to case. An HMODULE is our own record, so that one file is
// one module with one load count however its name is spelled.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "file_system.h"
#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/loader.h"
#include "win/strings.h"

namespace {

enum class Kind { File, System, Main };

struct ExportNameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
};

struct Module {
    Kind kind = Kind::File;
    std::u16string fileName; // as on disk, or the system module's name
    std::string hostPath;
    std::u16string windowsPath;
    std::u16string foldedPath; // windowsPath folded, as a full path asked for is matched
    std::string root;          // the machine root windowsPath was under
    dev_t dev = 0;
    ino_t ino = 0;
    void* native = nullptr;
    link_map* map = nullptr;
    const PLATFORM_EXPORT_ORDINAL* ordinals = nullptr;
    int count = 0;
    int imageLock = -1; // the file held as a loaded image (see platform::files::LoadedAsModule)
    // The module's own exports asked for so far, by name (null when it has
    // none of that name): a driver asks for the same few on every call.
    std::unordered_map<std::string, void*, ExportNameHash, std::equal_to<>> exports;
};

using DllEntry = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

// The modules the system has itself; this library stands in for all of them.
// Folded, as the names asked for are compared folded.
constexpr std::u16string_view kSystemModules[] = {
    u"kernel32.dll", u"advapi32.dll", u"user32.dll",  u"gdi32.dll",    u"shell32.dll",
    u"shfolder.dll", u"shlwapi.dll",  u"ole32.dll",   u"comctl32.dll", u"comdlg32.dll",
    u"wtsapi32.dll", u"wsock32.dll",  u"ws2_32.dll",  u"winspool.drv", u"spoolss.dll",
    u"setupapi.dll", u"version.dll",  u"userenv.dll", u"uxtheme.dll"};
constexpr size_t kLongestSystemModule = [] {
    size_t longest = 0;
    for (std::u16string_view name : kSystemModules)
        longest = std::max(longest, name.size());
    return longest;
}();

// The extension a module name without one gets.
constexpr std::u16string_view kDefaultExtension = u".DLL";

// platform::FoldCase, with the letters of path names taken inline: a loaded
// module's path is compared letter by letter on every load.
inline char16_t FoldChar(char16_t c) {
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    return platform::FoldCase(c);
}

std::u16string Fold(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        c = FoldChar(c);
    return out;
}

// Whether text, folded letter by letter, is folded (as long as text): from the
// end, where the paths of one folder differ.
bool MatchesFolded(std::u16string_view text, std::u16string_view folded) {
    for (size_t i = text.size(); i-- > 0;)
        if (FoldChar(text[i]) != folded[i]) return false;
    return true;
}

// A module name as asked for, with the Windows rule for its extension taken
// without a copy: a name without extension gets ".DLL"; a trailing '.' means
// the name has no extension and is dropped. Views the caller's text.
class ModuleName {
  public:
    explicit ModuleName(std::u16string_view requested) : stem_(requested) {
        bool trailingDot = !stem_.empty() && stem_.back() == u'.';
        if (trailingDot) stem_.remove_suffix(1);
        baseStart_ = BaseStart(stem_);
        addsExtension_ = !trailingDot && stem_.find(u'.', baseStart_) == std::u16string_view::npos;
    }

    size_t size() const { return stem_.size() + Extension().size(); }
    size_t BaseSize() const { return size() - baseStart_; }
    bool HasFolder() const { return baseStart_ > 0; }
    // The name's folder as written, without its last separator (HasFolder only).
    std::u16string_view Folder() const { return stem_.substr(0, baseStart_ - 1); }

    std::u16string String() const { return std::u16string(stem_).append(Extension()); }
    std::u16string Base() const {
        return std::u16string(stem_.substr(baseStart_)).append(Extension());
    }
    // Whether the name, folded, is folded (a loaded module's folded path).
    bool FoldsTo(std::u16string_view folded) const {
        return folded.size() == size() && MatchesFolded(stem_, folded.substr(0, stem_.size())) &&
               MatchesFolded(Extension(), folded.substr(stem_.size()));
    }
    // The same for the name's file name.
    bool BaseFoldsTo(std::u16string_view folded) const {
        std::u16string_view base = stem_.substr(baseStart_);
        return folded.size() == BaseSize() && MatchesFolded(base, folded.substr(0, base.size())) &&
               MatchesFolded(Extension(), folded.substr(base.size()));
    }

  private:
    static size_t BaseStart(std::u16string_view name) {
        for (size_t i = name.size(); i > 0; --i)
            if (name[i - 1] == u'\\' || name[i - 1] == u'/') return i;
        return 0;
    }
    std::u16string_view Extension() const {
        return addsExtension_ ? kDefaultExtension : std::u16string_view();
    }

    std::u16string_view stem_; // the name asked for, less a trailing '.'
    size_t baseStart_ = 0;     // where its file name starts
    bool addsExtension_ = false;
};

// Loader state. DllMain may load or free modules itself, so the lock is
// recursive. Never destroyed: modules may be used until the process ends.
struct State {
    std::recursive_mutex lock;
    std::set<const Module*> live;             // every valid handle
    std::vector<Module*> files;               // loaded module files, in load order
    std::map<std::u16string, Module*> system; // by folded name, made on first use, kept
    Module* main = nullptr;
    std::vector<std::string> searchFolders;
    std::set<std::u16string> absentModules;                         // folded file names
    std::set<std::pair<std::u16string, std::string>> absentExports; // folded file name, export
    std::map<std::pair<std::u16string, std::string>, FARPROC> systemExports;
    std::vector<Module*> retired; // unloaded, by file; see Unload
};

State& S() {
    static State* state = new State;
    return *state;
}

void ResetLoader() {
    std::lock_guard lock(S().lock);
    S().searchFolders.clear();
    S().absentModules.clear();
    S().absentExports.clear();
}

void EnsureResetHook() {
    static const bool registered = (platform::RegisterResetHook(&ResetLoader), true);
    (void)registered;
}

link_map* LinkMap(void* native) {
    link_map* map = nullptr;
    if (native && dlinfo(native, RTLD_DI_LINKMAP, &map) != 0) map = nullptr;
    return map;
}

// A symbol defined by the module itself: dlsym also searches the module's
// dependencies, whose exports are not the module's.
void* OwnSymbol(const Module& m, const char* name) {
    if (!m.native) return nullptr;
    void* p = dlsym(m.native, name);
    if (!p) return nullptr;
    Dl_info info;
    link_map* owner = nullptr;
    if (!dladdr1(p, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) || owner != m.map)
        return nullptr;
    return p;
}

std::string ExePath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string HostDirName(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

Module* MainModule() {
    if (!S().main) {
        auto* m = new Module;
        m->kind = Kind::Main;
        m->hostPath = ExePath();
        m->fileName = platform::FromUtf8(m->hostPath.substr(m->hostPath.rfind('/') + 1));
        m->native = dlopen(nullptr, RTLD_NOW);
        m->map = LinkMap(m->native);
        S().main = m;
        S().live.insert(m);
    }
    return S().main;
}

void* PlatformNativeHandle() {
    static void* handle = [] {
        Dl_info info;
        if (!dladdr(reinterpret_cast<void*>(&LoadLibraryW), &info) || !info.dli_fname)
            return static_cast<void*>(nullptr);
        return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    }();
    return handle;
}

// Whether the name's file name is one of the system's modules (wherever it is
// asked for): cheap, so that a package library's load never resolves the
// system folder; it copies nothing, and most package libraries' names are
// longer than any of the system's.
bool IsSystemModuleName(const ModuleName& name) {
    if (name.BaseSize() > kLongestSystemModule) return false;
    for (std::u16string_view system : kSystemModules)
        if (name.BaseFoldsTo(system)) return true;
    return false;
}

// The system module with this file name, or nullptr.
Module* SystemModule(std::u16string_view fileName) {
    std::u16string key = Fold(fileName);
    auto it = S().system.find(key);
    if (it != S().system.end()) return it->second;
    for (std::u16string_view name : kSystemModules) {
        if (key != name) continue;
        auto* m = new Module;
        m->kind = Kind::System;
        m->fileName = name;
        m->windowsPath = std::u16string(u"C:\\Windows\\System32\\").append(name);
        m->native = PlatformNativeHandle();
        m->map = LinkMap(m->native);
        S().system.emplace(key, m);
        S().live.insert(m);
        return m;
    }
    return nullptr;
}

Module* FindHandle(HMODULE h) {
    auto* m = reinterpret_cast<Module*>(h);
    return S().live.count(m) ? m : nullptr;
}

bool HasFolder(std::u16string_view name) {
    return name.find_first_of(u"\\/") != std::u16string_view::npos;
}

bool IsAbsent(std::u16string_view fileName) {
    return !S().absentModules.empty() && S().absentModules.count(Fold(fileName)) != 0;
}

// The name's file name folded, as the switches of the tests keep it.
std::u16string FoldedBase(const ModuleName& name) {
    return Fold(name.Base());
}

// Copies the name only when a test has made a module absent.
bool IsAbsent(const ModuleName& name) {
    return !S().absentModules.empty() && S().absentModules.count(FoldedBase(name)) != 0;
}

std::string SystemFolder() {
    return platform::HostPath(u"C:\\Windows\\System32");
}

bool InSystemFolder(const ModuleName& name) {
    return platform::HostPath(name.Folder()) == SystemFolder();
}

bool IsRegularFile(const std::string& path, struct stat* st) {
    return ::stat(path.c_str(), st) == 0 && S_ISREG(st->st_mode);
}

std::vector<std::string> SearchFolders() {
    std::vector<std::string> folders;
    folders.push_back(HostDirName(ExePath()));
    folders.insert(folders.end(), S().searchFolders.begin(), S().searchFolders.end());
    folders.push_back(SystemFolder());
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd)) folders.emplace_back(cwd);
    return folders;
}

// The host file for a module name, "" when there is none.
std::string FindModuleFile(const std::u16string& name, struct stat* st) {
    if (HasFolder(name)) {
        platform::PathFacts facts;
        std::string path = platform::HostPath(name, &facts);
        if (facts.known) {
            *st = facts.status;
            return S_ISREG(st->st_mode) ? path : std::string();
        }
        return IsRegularFile(path, st) ? path : std::string();
    }
    std::string utf8 = platform::ToUtf8(name);
    for (const std::string& folder : SearchFolders()) {
        std::string onDisk = platform::FindNoCase(folder, utf8);
        if (onDisk.empty()) continue;
        std::string path = (folder == "/" ? "" : folder) + "/" + onDisk;
        if (IsRegularFile(path, st)) return path;
    }
    return {};
}

// The module loaded from the full path asked for under the machine root in use;
// compared in place, as every load of a package library asks by path.
Module* FindLoadedPath(const ModuleName& name) {
    const std::string* root = nullptr;
    for (Module* m : S().files) {
        if (!name.FoldsTo(m->foldedPath)) continue;
        if (!root) root = &platform::MachineRoot();
        if (m->root == *root) return m;
    }
    return nullptr;
}

Module* FindFile(dev_t dev, ino_t ino) {
    for (Module* m : S().files)
        if (m->dev == dev && m->ino == ino) return m;
    return nullptr;
}

bool CallEntry(Module* m, DWORD reason) {
    auto entry = reinterpret_cast<DllEntry>(OwnSymbol(*m, "DllMain"));
    if (!entry) return true;
    try {
        return entry(reinterpret_cast<HINSTANCE>(m), reason, nullptr) != FALSE;
    } catch (...) {
        return false; // an exception never leaves a module's entry point
    }
}

// The record itself is kept, so that its address never becomes another
// module's handle: a stale handle stays invalid until the same file is
// loaded again (and then names it again, as the system's usually does).
void Unload(Module* m) {
    S().live.erase(m);
    std::erase(S().files, m);
    if (m->native) dlclose(m->native);
    if (m->imageLock >= 0) ::close(m->imageLock);
    Module empty;
    empty.dev = m->dev;
    empty.ino = m->ino;
    *m = std::move(empty);
    S().retired.push_back(m);
}

Module* NewRecord(dev_t dev, ino_t ino) {
    auto& retired = S().retired;
    for (auto it = retired.begin(); it != retired.end(); ++it) {
        if ((*it)->dev == dev && (*it)->ino == ino) {
            Module* m = *it;
            retired.erase(it);
            return m;
        }
    }
    auto* m = new Module;
    m->dev = dev;
    m->ino = ino;
    return m;
}

bool IsElf(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char magic[4] = {};
    size_t n = std::fread(magic, 1, 4, f);
    std::fclose(f);
    return n == 4 && std::memcmp(magic,
                                 "\x7f"
                                 "ELF",
                                 4) == 0;
}

HMODULE Load(std::u16string_view requested) {
    EnsureResetHook();
    if (requested.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard lock(S().lock);
    // The name is copied only when the disk is asked (or a test has made a
    // module absent): a package library asks for the others, loaded long
    // since, by their full paths on every call.
    ModuleName name(requested);
    if (IsAbsent(name)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (IsSystemModuleName(name) && (!name.HasFolder() || InSystemFolder(name))) {
        if (Module* sys = SystemModule(name.Base())) {
            ++sys->count;
            return reinterpret_cast<HMODULE>(sys);
        }
    }
    // A module already loaded from the full path asked for is that module, as
    // the system matches loaded modules by their names before it looks at a
    // disk (a loaded image cannot be written over meanwhile).
    if (name.HasFolder()) {
        if (Module* m = FindLoadedPath(name)) {
            ++m->count;
            return reinterpret_cast<HMODULE>(m);
        }
    }
    struct stat st;
    std::string path = FindModuleFile(name.String(), &st);
    if (path.empty() || IsAbsent(platform::FromUtf8(path.substr(path.rfind('/') + 1)))) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (Module* m = FindFile(st.st_dev, st.st_ino)) {
        ++m->count;
        return reinterpret_cast<HMODULE>(m);
    }
    void* native = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!native) {
        // Not an ELF object at all, or one whose own dependencies are missing.
        SetLastError(IsElf(path) ? ERROR_MOD_NOT_FOUND : ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    for (Module* m : S().files) {
        if (m->native == native) { // the same object reached through another link
            dlclose(native);
            ++m->count;
            return reinterpret_cast<HMODULE>(m);
        }
    }
    Module* m = NewRecord(st.st_dev, st.st_ino);
    m->fileName = platform::FromUtf8(path.substr(path.rfind('/') + 1));
    m->hostPath = path;
    m->windowsPath = platform::WindowsPath(path);
    m->foldedPath = Fold(m->windowsPath);
    m->root = platform::MachineRoot();
    m->native = native;
    m->map = LinkMap(native);
    m->ordinals =
        static_cast<const PLATFORM_EXPORT_ORDINAL*>(OwnSymbol(*m, "PlatformExportOrdinals"));
    m->count = 1;
    m->imageLock = platform::files::HoldAsModule(path);
    S().files.push_back(m);
    S().live.insert(m);
    if (!CallEntry(m, DLL_PROCESS_ATTACH)) {
        // The system tells a module whose start failed that it is leaving.
        CallEntry(m, DLL_PROCESS_DETACH);
        Unload(m);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(m);
}

// The export name an ordinal stands for in the module's table, or nullptr.
const char* OrdinalName(const Module& m, WORD ordinal) {
    if (!m.ordinals || ordinal == 0) return nullptr;
    for (size_t i = 0; i < 0x10000 && m.ordinals[i].name; ++i)
        if (m.ordinals[i].ordinal == ordinal) return m.ordinals[i].name;
    return nullptr;
}

std::u16string CurrentWindowsPath(const Module& m) {
    return m.kind == Kind::Main ? platform::WindowsPath(m.hostPath) : m.windowsPath;
}

} // namespace

namespace platform::loader {

void AddSearchFolder(const std::string& hostFolder) {
    EnsureResetHook();
    std::lock_guard lock(S().lock);
    std::string folder = hostFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    for (const auto& f : S().searchFolders)
        if (f == folder) return;
    S().searchFolders.push_back(folder);
}

void RegisterSystemExport(std::u16string_view moduleName, const char* exportName,
                          FARPROC function) {
    std::lock_guard lock(S().lock);
    S().systemExports[{Fold(moduleName), exportName}] = function;
}

std::string ModuleHostPath(HMODULE module) {
    std::lock_guard lock(S().lock);
    Module* m = module ? FindHandle(module) : MainModule();
    return m ? m->hostPath : std::string();
}

void* ModuleNativeHandle(HMODULE module) {
    std::lock_guard lock(S().lock);
    Module* m = module ? FindHandle(module) : MainModule();
    return m ? m->native : nullptr;
}

} // namespace platform::loader

namespace platform::test {

void MakeModuleAbsent(std::u16string_view fileName) {
    EnsureResetHook();
    std::lock_guard lock(S().lock);
    S().absentModules.insert(FoldedBase(ModuleName(fileName)));
}

void MakeExportAbsent(std::u16string_view moduleFileName, const std::string& exportName) {
    EnsureResetHook();
    std::lock_guard lock(S().lock);
    S().absentExports.insert({FoldedBase(ModuleName(moduleFileName)), exportName});
}

void ClearAbsent() {
    std::lock_guard lock(S().lock);
    S().absentModules.clear();
    S().absentExports.clear();
}

std::vector<LoadedModule> LoadedModules() {
    std::lock_guard lock(S().lock);
    std::vector<LoadedModule> out;
    for (const Module* m : S().files)
        out.push_back({m->fileName, m->windowsPath, m->count, false});
    for (const auto& [key, m] : S().system)
        if (m->count > 0) out.push_back({m->fileName, m->windowsPath, m->count, true});
    return out;
}

int ModuleLoadCount(std::u16string_view fileName) {
    std::lock_guard lock(S().lock);
    std::u16string key = FoldedBase(ModuleName(fileName));
    int count = 0;
    for (const Module* m : S().files)
        if (Fold(m->fileName) == key) count += m->count;
    auto it = S().system.find(key);
    if (it != S().system.end()) count += it->second->count;
    return count;
}

} // namespace platform::test

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    PLATFORM_FAULT_POINT("LoadLibraryW", nullptr);
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        return Load(lpLibFileName);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    PLATFORM_FAULT_POINT("LoadLibraryA", nullptr);
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        return Load(platform::AnsiToWide(lpLibFileName));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// Every module is loaded whole: LOAD_LIBRARY_AS_DATAFILE and
// LOAD_LIBRARY_AS_IMAGE_RESOURCE give a module whose resources and exports
// can both be used.
HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
    (void)dwFlags;
    if (hFile) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryW(lpLibFileName);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    try {
        std::lock_guard lock(S().lock);
        Module* m = FindHandle(hLibModule);
        if (!m) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (m->kind != Kind::File) {
            if (m->count > 0) --m->count;
            return TRUE;
        }
        if (--m->count > 0) return TRUE;
        CallEntry(m, DLL_PROCESS_DETACH);
        Unload(m);
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    PLATFORM_FAULT_POINT("GetProcAddress", nullptr);
    try {
        std::lock_guard lock(S().lock);
        Module* m = hModule ? FindHandle(hModule) : MainModule();
        if (!m) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        const char* name =
            IS_INTRESOURCE(lpProcName)
                ? OrdinalName(*m, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(lpProcName)))
                : lpProcName;
        if (!name ||
            (!S().absentExports.empty() && S().absentExports.count({Fold(m->fileName), name}))) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        if (m->kind == Kind::System) {
            auto it = S().systemExports.find({Fold(m->fileName), name});
            if (it != S().systemExports.end()) return it->second;
        }
        auto known = m->exports.find(std::string_view(name));
        if (known == m->exports.end()) known = m->exports.emplace(name, OwnSymbol(*m, name)).first;
        void* p = known->second;
        if (!p) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        return reinterpret_cast<FARPROC>(p);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    try {
        std::u16string path;
        {
            std::lock_guard lock(S().lock);
            Module* m = hModule ? FindHandle(hModule) : MainModule();
            if (!m) {
                SetLastError(ERROR_INVALID_HANDLE);
                return 0;
            }
            path = CurrentWindowsPath(*m);
        }
        if (nSize > 0 && !lpFilename) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (path.size() < nSize) {
            std::memcpy(lpFilename, path.data(), path.size() * sizeof(WCHAR));
            lpFilename[path.size()] = 0;
            return static_cast<DWORD>(path.size());
        }
        // Too long: as much as fits, NUL-terminated, and the size given.
        if (nSize > 0) {
            std::memcpy(lpFilename, path.data(), (nSize - 1) * sizeof(WCHAR));
            lpFilename[nSize - 1] = 0;
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    try {
        std::u16string wide;
        {
            std::lock_guard lock(S().lock);
            Module* m = hModule ? FindHandle(hModule) : MainModule();
            if (!m) {
                SetLastError(ERROR_INVALID_HANDLE);
                return 0;
            }
            wide = CurrentWindowsPath(*m);
        }
        if (nSize > 0 && !lpFilename) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        std::string path = platform::WideToAnsi(wide);
        if (path.size() < nSize) {
            std::memcpy(lpFilename, path.data(), path.size());
            lpFilename[path.size()] = 0;
            return static_cast<DWORD>(path.size());
        }
        if (nSize > 0) {
            // Whole characters only: never half of a double-byte one.
            size_t keep = 0;
            while (keep < nSize - 1) {
                size_t len = platform::AnsiCharLength(std::string_view(path).substr(keep));
                if (keep + len > nSize - 1) break;
                keep += len;
            }
            std::memcpy(lpFilename, path.data(), keep);
            lpFilename[keep] = 0;
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    EnsureResetHook();
    try {
        std::lock_guard lock(S().lock);
        if (!lpModuleName) return reinterpret_cast<HMODULE>(MainModule());
        ModuleName name(lpModuleName);
        if (!lpModuleName[0] || IsAbsent(name)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        if (IsSystemModuleName(name) && (!name.HasFolder() || InSystemFolder(name)))
            if (Module* sys = SystemModule(name.Base())) return reinterpret_cast<HMODULE>(sys);
        if (name.HasFolder()) {
            struct stat st;
            if (IsRegularFile(platform::HostPath(name.String()), &st))
                if (Module* m = FindFile(st.st_dev, st.st_ino)) return reinterpret_cast<HMODULE>(m);
        } else {
            std::u16string key = FoldedBase(name);
            for (Module* m : S().files)
                if (Fold(m->fileName) == key) return reinterpret_cast<HMODULE>(m);
            Module* main = MainModule();
            if (Fold(main->fileName) == key) return reinterpret_cast<HMODULE>(main);
        }
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}
}

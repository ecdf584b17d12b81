// Top-level windows seen by every process of one machine root, as far as
// finding a window of another program and raising it needs.
//
// Each process that has top-level windows publishes them in
// <root>/windows/<pid>-<start>.list (handle, style, rectangle, class and
// title, one window a line), rewritten whole through a temporary file when
// they change and read by other processes. What another process asks of such
// a window (a posted message, a show command, a move, a settings change) is
// appended under a lock to that process's <pid>-<start>.mail, which its
// message loop takes in whenever it looks for messages. A process that has
// ended is known by its id and start time no longer agreeing; its files go
// when another process reads the lists or publishes its first one. Registered message names are
// numbered in <root>/windows/messages, so that every process agrees on them.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/core.h"
#include "platform/process_ctl.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/errors.h"

namespace platform::user {
namespace {

namespace fs = std::filesystem;

// Handles of other processes' windows: apart from this process's own (which
// count up from 0x10010 in steps of 4).
constexpr ULONG_PTR kFirstForeign = 0x40000000;
constexpr UINT kFirstRegistered = 0xC000;
constexpr UINT kLastRegistered = 0xFFFF;

struct Foreign {
    long long pid = 0;
    long long started = 0;
    ULONG_PTR remote = 0; // the handle in its own process
};

// A published window as another process reads it.
struct Published {
    ULONG_PTR handle = 0;
    DWORD style = 0;
    RECT rect{};
    std::u16string className, title;
};

struct Shared {
    std::recursive_mutex lock;
    std::map<ULONG_PTR, Foreign> foreign;                                   // by proxy handle
    std::map<std::tuple<long long, long long, ULONG_PTR>, ULONG_PTR> proxy; // and back
    ULONG_PTR nextProxy = kFirstForeign;
    std::string publishedPath, publishedText;
    std::string sweptFolder; // where this process last swept what ended processes left
    std::map<std::pair<std::string, std::u16string>, UINT> messages; // (root, folded name)
};

Shared& X() {
    static Shared* x = new Shared;
    return *x;
}

thread_local bool tPumping = false;

void ResetShared() {
    std::lock_guard lock(X().lock);
    X().foreign.clear();
    X().proxy.clear();
    X().nextProxy = kFirstForeign;
}

void EnsureReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetShared), true);
    (void)registered;
}

long long OwnStart() {
    static const long long started = platform::ProcessStarted(::getpid());
    return started;
}

std::string Folder() {
    return platform::MachineRoot() + "/windows";
}

std::string ProcessFile(long long pid, long long started, const char* kind) {
    return Folder() + "/" + std::to_string(pid) + "-" + std::to_string(started) + kind;
}

std::string Escape(const std::u16string& s) {
    std::string out;
    for (char c : platform::ToUtf8(s)) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::u16string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char e = s[++i];
        out += e == 't' ? '\t' : e == 'n' ? '\n' : e;
    }
    return platform::FromUtf8(out);
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        out.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return out;
        start = tab + 1;
    }
}

unsigned long long Number(const std::string& s, int base = 10) {
    return std::strtoull(s.c_str(), nullptr, base);
}

// The temporary file a process writes its list through.
std::string TempOf(const std::string& path, long long pid) {
    return path + ".~" + std::to_string(pid) + ".tmp";
}

// Writes a whole file through a temporary one renamed over it, so that a
// reader sees the old list or the new one.
bool WriteWhole(const std::string& path, const std::string& text) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::string temp = TempOf(path, ::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        if (!out.flush()) return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

// The other processes' published windows, by process (those of ended
// processes are removed on the way).
struct ProcessWindows {
    long long pid, started;
    std::vector<Published> windows;
};

std::vector<Published> ReadList(const std::string& path) {
    std::vector<Published> out;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f = Fields(line);
        if (f.size() != 8) continue; // a line of another layout is not ours to read
        Published p;
        p.handle = Number(f[0], 16);
        p.style = static_cast<DWORD>(Number(f[1], 16));
        p.rect = {std::atoi(f[2].c_str()), std::atoi(f[3].c_str()), std::atoi(f[4].c_str()),
                  std::atoi(f[5].c_str())};
        p.className = Unescape(f[6]);
        p.title = Unescape(f[7]);
        out.push_back(std::move(p));
    }
    return out;
}

bool Alive(long long pid, long long started) {
    return platform::ProcessStarted(pid) == started;
}

// The process a file of the folder belongs to: "<pid>-<start>" and then
// ".list", ".mail" or the list's temporary name. False for any other name.
bool OwnerOf(const std::string& name, long long* pid, long long* started, bool* list) {
    int used = 0;
    if (std::sscanf(name.c_str(), "%lld-%lld%n", pid, started, &used) != 2 || *pid <= 0)
        return false;
    const std::string rest = name.substr(static_cast<size_t>(used));
    const std::string own = std::to_string(*pid) + "-" + std::to_string(*started);
    if (name.compare(0, static_cast<size_t>(used), own) != 0) return false; // no signs or zeros
    *list = rest == ".list";
    return *list || rest == ".mail" || rest == ".list.~" + std::to_string(*pid) + ".tmp";
}

// The files of processes that have ended. Run when another process reads the
// lists and when a process first publishes its own, so that what a killed
// process left goes even when nobody looks for its windows.
void SweepEnded() {
    std::error_code ec;
    fs::directory_iterator it(Folder(), ec);
    if (ec) return;
    for (const auto& entry : it) {
        long long pid = 0, started = 0;
        bool list = false;
        if (!OwnerOf(entry.path().filename().string(), &pid, &started, &list)) continue;
        if (pid == ::getpid() && started == OwnStart()) continue;
        if (!Alive(pid, started)) fs::remove(entry.path(), ec);
    }
}

std::vector<ProcessWindows> OtherProcesses() {
    SweepEnded();
    std::vector<ProcessWindows> out;
    std::error_code ec;
    fs::directory_iterator it(Folder(), ec);
    if (ec) return out;
    for (const auto& entry : it) {
        long long pid = 0, started = 0;
        bool list = false;
        if (!OwnerOf(entry.path().filename().string(), &pid, &started, &list) || !list) continue;
        if (pid == ::getpid() && started == OwnStart()) continue;
        // One that ended since the sweep is read as having no windows.
        if (Alive(pid, started)) out.push_back({pid, started, ReadList(entry.path().string())});
    }
    return out;
}

ULONG_PTR ProxyOf(long long pid, long long started, ULONG_PTR remote) {
    std::lock_guard lock(X().lock);
    auto key = std::make_tuple(pid, started, remote);
    auto it = X().proxy.find(key);
    if (it != X().proxy.end()) return it->second;
    X().nextProxy += 4;
    X().proxy[key] = X().nextProxy;
    X().foreign[X().nextProxy] = {pid, started, remote};
    return X().nextProxy;
}

bool ForeignOf(HWND h, Foreign* out) {
    std::lock_guard lock(X().lock);
    auto it = X().foreign.find(reinterpret_cast<ULONG_PTR>(h));
    if (it == X().foreign.end()) return false;
    *out = it->second;
    return true;
}

// The window as its process publishes it now; false when it or its process
// is gone.
bool Current(const Foreign& f, Published* out) {
    if (!Alive(f.pid, f.started)) return false;
    for (Published& p : ReadList(ProcessFile(f.pid, f.started, ".list")))
        if (p.handle == f.remote) return *out = std::move(p), true;
    return false;
}

// Appends one request to a process's mailbox.
bool Mail(long long pid, long long started, const std::string& line) {
    if (!Alive(pid, started)) return false;
    std::string path = ProcessFile(pid, started, ".mail");
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = ::flock(fd, LOCK_EX) == 0;
    std::string text = line + "\n";
    ok = ok && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return ok;
}

// Takes in this process's mail: every request in it, and empties it.
std::vector<std::string> TakeMail() {
    std::vector<std::string> lines;
    std::string path = ProcessFile(::getpid(), OwnStart(), ".mail");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || st.st_size == 0) return lines;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return lines;
    if (::flock(fd, LOCK_EX) == 0) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        if (ftruncate(fd, 0) != 0) text.clear(); // never take a request twice
        ::flock(fd, LOCK_UN);
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line))
            if (!line.empty()) lines.push_back(line);
    }
    ::close(fd);
    return lines;
}

// Whether a message may travel to another process. Its parameters arrive as
// bare numbers, so system messages whose parameters are pointers there (a
// text, a record, a timer's procedure) cannot: only these below WM_USER do.
// The program's own messages and registered ones travel as they are.
bool Travels(UINT msg) {
    switch (msg) {
    case WM_NULL:
    case WM_CLOSE:
    case WM_COMMAND:
    case WM_SYSCOMMAND:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        return true;
    default:
        return msg >= WM_USER;
    }
}

// The z-order positions a move can name across processes.
bool SpecialInsertAfter(HWND after) {
    return after == HWND_TOP || after == HWND_BOTTOM || after == HWND_TOPMOST ||
           after == HWND_NOTOPMOST;
}

HWND Local(const std::string& handle) {
    HWND h = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(Number(handle, 16)));
    auto w = Find(h);
    return w && !w->parent ? h : nullptr;
}

void Deliver(const std::string& line) {
    std::vector<std::string> f = Fields(line);
    if (f.size() < 2) return;
    const std::string& kind = f[0];
    if (kind == "post" && f.size() == 5) {
        // A request file is anyone's to write: what could not have been
        // posted is dropped, never delivered.
        UINT msg = static_cast<UINT>(Number(f[2]));
        if (HWND h = Local(f[1]); h && Travels(msg))
            PostMessageW(h, msg, static_cast<WPARAM>(Number(f[3])),
                         static_cast<LPARAM>(Number(f[4])));
    } else if (kind == "show" && f.size() == 3) {
        if (HWND h = Local(f[1])) ShowWindow(h, static_cast<int>(Number(f[2])));
    } else if (kind == "pos" && f.size() == 8) {
        HWND after = reinterpret_cast<HWND>(static_cast<LONG_PTR>(std::atoll(f[2].c_str())));
        if (!SpecialInsertAfter(after)) after = HWND_TOP;
        if (HWND h = Local(f[1]))
            SetWindowPos(h, after, std::atoi(f[3].c_str()), std::atoi(f[4].c_str()),
                         std::atoi(f[5].c_str()), std::atoi(f[6].c_str()),
                         static_cast<UINT>(Number(f[7])));
    } else if (kind == "setting" && f.size() == 4) {
        std::u16string section = Unescape(f[3]);
        LPARAM lp = f[2] == "1" ? reinterpret_cast<LPARAM>(section.c_str()) : 0;
        for (HWND h : TopLevelWindows())
            if (IsWindow(h)) SendMessageW(h, WM_SETTINGCHANGE, 0, lp);
    }
}

std::string Hex(ULONG_PTR v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llx", static_cast<unsigned long long>(v));
    return buffer;
}

} // namespace

void PublishTopLevelWindows() {
    EnsureReset();
    std::string text;
    for (HWND h : TopLevelWindows()) {
        auto w = Find(h);
        if (!w || w->destroying) continue;
        text += Hex(reinterpret_cast<ULONG_PTR>(h)) + "\t" + Hex(w->style) + "\t" +
                std::to_string(w->rect.left) + "\t" + std::to_string(w->rect.top) + "\t" +
                std::to_string(w->rect.right) + "\t" + std::to_string(w->rect.bottom) + "\t" +
                Escape(w->windowClass->name) + "\t" + Escape(w->text) + "\n";
    }
    std::lock_guard lock(X().lock);
    std::string path = ProcessFile(::getpid(), OwnStart(), ".list");
    if (path == X().publishedPath && text == X().publishedText) return;
    std::error_code ec;
    if (!X().publishedPath.empty() && X().publishedPath != path)
        fs::remove(X().publishedPath, ec); // a list of an earlier machine root
    if (text.empty()) {
        fs::remove(path, ec);
        fs::remove(ProcessFile(::getpid(), OwnStart(), ".mail"), ec);
    } else if (!WriteWhole(path, text)) {
        return; // tried again at the next look for messages
    } else if (X().sweptFolder != Folder()) {
        SweepEnded(); // at the first list of this process under this root
        X().sweptFolder = Folder();
    }
    X().publishedPath = path;
    X().publishedText = text;
}

void PumpSharedWindows() {
    if (tPumping) return;
    tPumping = true;
    try {
        PublishTopLevelWindows();
        bool any = false;
        {
            std::lock_guard lock(X().lock);
            any = !X().publishedText.empty();
        }
        if (any) {
            std::vector<std::string> mail = TakeMail();
            for (const std::string& line : mail)
                Deliver(line);
            if (!mail.empty()) PublishTopLevelWindows();
        }
    } catch (...) {
        // A full disk or a vanished folder must not break a message loop.
    }
    tPumping = false;
}

bool IsForeignWindow(HWND h) {
    Foreign f;
    return ForeignOf(h, &f);
}

bool IsLiveForeignWindow(HWND h) {
    Foreign f;
    Published p;
    return ForeignOf(h, &f) && Current(f, &p);
}

HWND FindForeignWindow(LPCWSTR cls, LPCWSTR title) {
    EnsureReset();
    if (cls && IS_INTRESOURCE(cls)) return nullptr; // atoms are each process's own
    try {
        for (const ProcessWindows& pw : OtherProcesses())
            for (const Published& p : pw.windows) {
                if (cls && !platform::EqualsNoCase(p.className, cls)) continue;
                if (title && !platform::EqualsNoCase(p.title, title)) continue;
                return reinterpret_cast<HWND>(ProxyOf(pw.pid, pw.started, p.handle));
            }
    } catch (...) {
    }
    return nullptr;
}

bool ForeignWindowState(HWND h, DWORD* style, std::u16string* title) {
    Foreign f;
    Published p;
    if (!ForeignOf(h, &f) || !Current(f, &p)) return false;
    if (style) *style = p.style;
    if (title) *title = p.title;
    return true;
}

BOOL PostToForeignWindow(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (!Travels(msg)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    Foreign f;
    Published p;
    if (!ForeignOf(h, &f) || !Current(f, &p) ||
        !Mail(f.pid, f.started,
              "post\t" + Hex(f.remote) + "\t" + std::to_string(msg) + "\t" + std::to_string(wp) +
                  "\t" + std::to_string(static_cast<ULONG_PTR>(lp)))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

void PostToForeignTopLevels(UINT msg, WPARAM wp, LPARAM lp) {
    if (!Travels(msg)) return;
    try {
        for (const ProcessWindows& pw : OtherProcesses())
            for (const Published& p : pw.windows)
                Mail(pw.pid, pw.started,
                     "post\t" + Hex(p.handle) + "\t" + std::to_string(msg) + "\t" +
                         std::to_string(wp) + "\t" + std::to_string(static_cast<ULONG_PTR>(lp)));
    } catch (...) {
    }
}

BOOL ShowForeignWindow(HWND h, int cmd) {
    Foreign f;
    Published p;
    if (!ForeignOf(h, &f) || !Current(f, &p) ||
        !Mail(f.pid, f.started, "show\t" + Hex(f.remote) + "\t" + std::to_string(cmd))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return (p.style & WS_VISIBLE) != 0; // as it was
}

BOOL SetForeignWindowPos(HWND h, HWND after, int x, int y, int cx, int cy, UINT flags) {
    Foreign f;
    Published p;
    // Another process's windows are no handles here: only the named places
    // in the z-order travel.
    if (!SpecialInsertAfter(after)) flags |= SWP_NOZORDER;
    LONG_PTR place = SpecialInsertAfter(after) ? reinterpret_cast<LONG_PTR>(after) : 0;
    if (!ForeignOf(h, &f) || !Current(f, &p) ||
        !Mail(f.pid, f.started,
              "pos\t" + Hex(f.remote) + "\t" + std::to_string(place) + "\t" + std::to_string(x) +
                  "\t" + std::to_string(y) + "\t" + std::to_string(cx) + "\t" + std::to_string(cy) +
                  "\t" + std::to_string(flags))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

void SendSettingChangeToForeign(const char16_t* section) {
    try {
        std::string line = std::string("setting\t0\t") + (section ? "1\t" : "0\t") +
                           (section ? Escape(section) : std::string());
        for (const ProcessWindows& pw : OtherProcesses())
            if (!pw.windows.empty()) Mail(pw.pid, pw.started, line);
    } catch (...) {
    }
}

UINT RegisterSharedMessage(LPCWSTR name) {
    EnsureReset();
    std::u16string folded(name);
    for (auto& c : folded)
        c = platform::FoldCase(c);
    std::string root = platform::MachineRoot();
    std::lock_guard lock(X().lock);
    auto key = std::make_pair(root, folded);
    if (auto it = X().messages.find(key); it != X().messages.end()) return it->second;
    std::error_code ec;
    fs::create_directories(Folder(), ec);
    std::string path = Folder() + "/messages";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    UINT number = 0;
    if (::flock(fd, LOCK_EX) == 0) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        std::istringstream in(text);
        std::string line;
        UINT index = 0;
        std::string wanted = Escape(folded);
        while (std::getline(in, line)) {
            if (line == wanted) {
                number = kFirstRegistered + index;
                break;
            }
            ++index;
        }
        if (!number && kFirstRegistered + index <= kLastRegistered) {
            std::string add = wanted + "\n";
            if (::lseek(fd, 0, SEEK_END) >= 0 &&
                ::write(fd, add.data(), add.size()) == static_cast<ssize_t>(add.size()))
                number = kFirstRegistered + index;
        }
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    if (!number) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    X().messages[key] = number;
    return number;
}

} // namespace platform::user

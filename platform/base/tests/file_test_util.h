// Small helpers of the file, mapping and INI tests.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/paths.h"
#include "win/errors.h"
#include "win/files.h"

namespace filetest {

inline std::string Host(std::u16string_view windowsPath) {
    return platform::HostPath(windowsPath);
}

// Writes bytes to a Windows path straight on the host, making its folders.
inline void Put(std::u16string_view windowsPath, std::string_view bytes) {
    std::string host = Host(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
}

// The bytes of a Windows path straight from the host ("<missing>" when absent).
inline std::string Get(std::u16string_view windowsPath) {
    std::ifstream in(Host(windowsPath), std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void MakeDir(std::u16string_view windowsPath) {
    std::filesystem::create_directories(Host(windowsPath));
}

// Runs change in a process of its own and waits for it: true when it ran and
// returned true. The change makes plain host calls only.
inline bool InAnotherProcess(const std::function<bool()>& change) {
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::alarm(60); // never outlive a test that went wrong
        ::_exit(change() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Closes the handle at the end of the scope.
class Handle {
  public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }

  private:
    HANDLE h_;
};

inline HANDLE Open(const char16_t* path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags = 0) {
    return CreateFileW(path, access, share, nullptr, disposition,
                       flags ? flags : FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace filetest

// The files through which processes of one machine root see each other's
// top-level windows are anyone's to write: a list of another process's
// windows and this process's own request file must be read safely whatever
// they hold. The input is a list, a NUL, then requests.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/process_ctl.h"
#include "platform/testctl.h"
#include "win/user.h"

namespace {

std::string gRoot;
HWND gWindow = nullptr;

// Takes every message and does nothing with it, as a window that trusts no
// parameter would (but lets itself be made).
LRESULT CALLBACK Quiet(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return msg == WM_NCCREATE ? DefWindowProcW(h, msg, wp, lp) : 0;
}

void Setup() {
    if (!gRoot.empty()) return;
    char pattern[] = "/tmp/windows-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    gRoot = pattern;
    setenv("PRINTHOST_ROOT", pattern, 1);
    platform::test::ResetForTests();
    WNDCLASSW wc{};
    wc.lpfnWndProc = Quiet;
    wc.lpszClassName = u"FuzzTarget";
    RegisterClassW(&wc);
    gWindow = CreateWindowExW(0, u"FuzzTarget", u"Target", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
    if (!gWindow) std::abort();
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(gRoot, ec);
    });
}

std::string ProcessFile(long long pid, const char* kind) {
    return gRoot + "/windows/" + std::to_string(pid) + "-" +
           std::to_string(platform::ProcessStarted(pid)) + kind;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t nul = input.find('\0');
    std::string list = input.substr(0, nul);
    std::string mail = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    // The parent process is alive: its list is read as another program's.
    Write(ProcessFile(getppid(), ".list"), list);
    Write(ProcessFile(getpid(), ".mail"), mail);
    for (const char16_t* title :
         {u"Target", u"Status Monitor", static_cast<const char16_t*>(nullptr)})
        if (HWND h = FindWindowW(u"PeerMonitor", title)) {
            IsIconic(h);
            IsWindow(h);
        }
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&m);
    // Requests are taken once: the file is empty now.
    std::ifstream left(ProcessFile(getpid(), ".mail"), std::ios::binary | std::ios::ate);
    if (left && left.tellg() > 0) std::abort();
    if (!IsWindow(gWindow)) std::abort();
    return 0;
}

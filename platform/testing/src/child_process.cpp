#include "platform_testing/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace platform_testing {

bool RunInChildProcess(const std::function<bool()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::alarm(60); // never outlive a test that went wrong
        bool ok = false;
        std::thread([&] { ok = body(); }).join();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace platform_testing

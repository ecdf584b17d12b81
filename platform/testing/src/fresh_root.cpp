#include "platform_testing/fresh_root.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/testctl.h"

namespace platform_testing {
namespace {

std::string gRoot;

class FreshRootListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        char pattern[] = "/tmp/printhost-test-XXXXXX";
        const char* dir = mkdtemp(pattern);
        if (!dir) std::abort();
        gRoot = dir;
        setenv("PRINTHOST_ROOT", gRoot.c_str(), 1);
        platform::test::ResetForTests();
    }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        platform::test::ResetForTests();
        // Keep the root of a failed test for inspection.
        if (info.result() && info.result()->Passed() && !getenv("PRINTHOST_KEEP_ROOTS")) {
            std::error_code ec;
            std::filesystem::remove_all(gRoot, ec);
        } else {
            std::fprintf(stderr, "machine root kept: %s\n", gRoot.c_str());
        }
    }
};

struct Registrar {
    Registrar() {
        // The listener list exists before main(); gtest takes ownership.
        ::testing::UnitTest::GetInstance()->listeners().Append(new FreshRootListener);
    }
} gRegistrar;

} // namespace

const std::string& Root() { return gRoot; }

int RunCommand(const std::string& command, std::string* out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        if (out) out->append(buf, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace platform_testing

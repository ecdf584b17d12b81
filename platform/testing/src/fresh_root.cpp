#include "platform_testing/fresh_root.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "platform/handles.h"
#include "platform/loader_ctl.h"
#include "platform/net_ctl.h"
#include "platform/testctl.h"
#include "platform/text.h"

namespace platform_testing {
namespace {

std::string gRoot;
LiveObjects gAtStart;

class FreshRootListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        char pattern[] = "/tmp/printhost-test-XXXXXX";
        const char* dir = mkdtemp(pattern);
        if (!dir) std::abort();
        gRoot = dir;
        setenv("PRINTHOST_ROOT", gRoot.c_str(), 1);
        platform::test::ResetForTests();
        gAtStart = CountLiveObjects();
    }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        // Whatever the test was handed by the platform it gives back.
        std::string leaks = LeftSince(gAtStart);
        if (!leaks.empty()) ADD_FAILURE() << "the test left platform objects behind:" << leaks;
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

const std::string& Root() {
    return gRoot;
}

LiveObjects CountLiveObjects() {
    LiveObjects now;
    for (const auto& [kind, n] : platform::test::OpenHandleKinds())
        now.counts["handles (" + kind + ")"] = long(n);
    now.counts["registry keys"] = platform::test::OpenRegistryKeys();
    now.counts["mapped views"] = platform::test::LiveViews();
    now.counts["GDI objects"] = platform::test::LiveGdiObjects();
    now.counts["device contexts"] = platform::test::LiveDeviceContexts();
    now.counts["metafiles"] = platform::test::LiveEnhMetaFiles();
    now.counts["Global blocks"] = platform::test::LiveGlobalAllocations();
    now.counts["Heap blocks"] = platform::test::LiveHeapAllocations();
    now.counts["EngAllocMem blocks"] = platform::test::LiveEngAllocations();
    now.counts["engine surfaces"] = platform::test::LiveSurfaces();
    now.counts["engine palettes"] = platform::test::LivePalettes();
    now.counts["engine devices"] = platform::test::LiveDevices();
    now.counts["engine objects"] = platform::test::LiveEngineObjects();
    now.counts["sockets"] = platform::test::OpenSocketCount();
    for (const auto& m : platform::test::LoadedModules())
        now.counts["module loads (" + platform::ToUtf8(m.fileName) + ")"] += m.loadCount;
    return now;
}

std::string LeftSince(const LiveObjects& before) {
    LiveObjects now = CountLiveObjects();
    std::string out;
    for (const auto& [what, n] : now.counts) {
        auto it = before.counts.find(what);
        long was = it == before.counts.end() ? 0 : it->second;
        if (n > was) out += "\n  " + std::to_string(n - was) + " " + what;
    }
    return out;
}

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

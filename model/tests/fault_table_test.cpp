// Model queries through Modelsmith.DLL, bound as its callers bind it, with
// each platform call they reach made to fail in turn: a query fails with an
// error or answers exactly as without the fault, and nothing is leaked.
#include <gtest/gtest.h>

#include <string>

#include "model/modelsmith.h"
#include "model_fixture.h"
#include "platform/text.h"
#include "platform_testing/fault_table.h"
#include "win/errors.h"
#include "win/loader.h"

namespace model_test {
namespace {

TEST(ModelFaultTable, EveryPlatformCallOfAQueryFailingInTurn) {
    const Bytes model = SampleModel("CX5540");
    // A few queries of different kinds: the component table, a catalogue, a list.
    const struct {
        int code, index, layout;
    } queries[] = {{7, 20, 1}, {76, 16, 1}, {80, 2, 1}, {27, 0, 6}};
    auto job = [&] {
        platform_testing::JobOutcome r;
        std::u16string path = platform::FromUtf8(std::string(PKG_DRIVER_DIR) + "/Modelsmith.DLL");
        HMODULE module = LoadLibraryW(path.c_str());
        if (!module) {
            r.error = "LoadLibraryW: " + std::to_string(GetLastError());
            return r;
        }
        auto fn = reinterpret_cast<PFN_mdGetMyPrinterInfo>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "mdGetMyPrinterInfo")));
        if (!fn) r.error = "GetProcAddress: " + std::to_string(GetLastError());
        for (const auto& q : queries) {
            if (!fn) break;
            Bytes data(model);
            DWORD length = 0, count = 0;
            DWORD rc = fn(data.data(), q.code, q.index, q.layout, nullptr, &length, &count);
            Bytes out(length);
            if (rc == 0)
                rc = fn(data.data(), q.code, q.index, q.layout, out.data(), &length, &count);
            if (rc != 0) {
                r.error = "query " + std::to_string(q.code) + ": " + std::to_string(rc);
                break;
            }
            r.output += std::to_string(q.code) + ":" + std::to_string(count) + ":";
            r.output.append(out.begin(), out.end());
        }
        FreeLibrary(module);
        r.ok = r.error.empty();
        if (!r.ok) r.output.clear();
        return r;
    };
    EXPECT_GT(platform_testing::RunFaultTable(job), 0);
}

} // namespace
} // namespace model_test

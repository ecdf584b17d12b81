#include "platform_testing/fault_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <vector>

#include "platform/testctl.h"
#include "platform_testing/fresh_root.h"

namespace platform_testing {
namespace {

std::map<std::string, int> CallsDuring(const std::function<JobOutcome()>& job,
                                       JobOutcome* outcome) {
    auto before = platform::test::FaultPointCalls();
    *outcome = job();
    auto after = platform::test::FaultPointCalls();
    std::map<std::string, int> calls;
    for (const auto& [name, n] : after) {
        auto it = before.find(name);
        int made = n - (it == before.end() ? 0 : it->second);
        if (made > 0) calls[name] = made;
    }
    return calls;
}

} // namespace

int RunFaultTable(const std::function<JobOutcome()>& job, const FaultTableOptions& options) {
    JobOutcome clean;
    LiveObjects start = CountLiveObjects();
    auto calls = CallsDuring(job, &clean);
    EXPECT_TRUE(clean.ok) << "the job fails without faults: " << clean.error;
    EXPECT_EQ(LeftSince(start), "") << "the job leaks without faults";
    if (!clean.ok) return 0;
    EXPECT_FALSE(calls.empty()) << "the job reaches no fault point";

    std::string reached;
    for (const auto& [name, count] : calls)
        reached += " " + name + "(" + std::to_string(count) + ")";
    std::printf("fault points the job reaches:%s\n", reached.c_str());
    int runs = 0;
    for (const auto& [name, count] : calls) {
        if (options.skip.count(name)) continue;
        std::vector<int> which{0};
        if (count > 2) which.push_back(count / 2);
        if (count > 1) which.push_back(count - 1);
        for (int skip : which) {
            SCOPED_TRACE(name + " failing at call " + std::to_string(skip + 1) + " of " +
                         std::to_string(count));
            LiveObjects before = CountLiveObjects();
            platform::test::FailNext(name, 1, options.error, skip);
            int callsBefore = platform::test::CallCount(name);
            JobOutcome faulted = job();
            bool hit = platform::test::CallCount(name) > callsBefore + skip;
            platform::test::ClearFaults();
            ++runs;
            if (!hit) continue; // the job took another path this time
            if (faulted.ok && faulted.output != clean.output && options.pending.count(name)) {
                std::printf(
                    "pending: %s failing at call %d answered with success over different output\n",
                    name.c_str(), skip + 1);
            } else if (faulted.ok) {
                if (!options.mayChangeOutput.count(name)) {
                    EXPECT_TRUE(faulted.output == clean.output)
                        << "reported success over different output (" << faulted.output.size()
                        << " bytes, " << clean.output.size() << " without faults)";
                }
            } else {
                EXPECT_FALSE(faulted.error.empty()) << "failed without saying why";
                // What a failed job leaves is nothing, or all of it.
                EXPECT_TRUE(faulted.output.empty() || faulted.output == clean.output)
                    << faulted.error << ": left " << faulted.output.size()
                    << " bytes as a finished job";
            }
            EXPECT_EQ(LeftSince(before), "") << "left behind";
        }
    }
    return runs;
}

} // namespace platform_testing

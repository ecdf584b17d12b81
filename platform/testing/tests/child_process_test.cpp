// A piece of a test in a process of its own: its answer reaches the test,
// and what it changes in its own memory does not.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>

#include "platform_testing/child_process.h"

namespace {

TEST(RunInChildProcess, AnswersWhetherTheBodySucceededThere) {
    struct Case {
        const char* what;
        std::function<bool()> body;
        bool expected;
    };
    const Case cases[] = {
        {"true", [] { return true; }, true},
        {"false", [] { return false; }, false},
        {"killed",
         []() -> bool {
             std::raise(SIGKILL);
             return true;
         },
         false},
        {"exited with 3", []() -> bool { std::_Exit(3); }, false},
        {"exited with 0 before the body's end", []() -> bool { std::_Exit(0); }, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform_testing::RunInChildProcess(c.body), c.expected) << c.what;
}

TEST(RunInChildProcess, RunsInAProcessOfItsOwn) {
    int value = 1;
    EXPECT_TRUE(platform_testing::RunInChildProcess([&] {
        value = 2;
        return value == 2;
    }));
    EXPECT_EQ(value, 1);
}

} // namespace

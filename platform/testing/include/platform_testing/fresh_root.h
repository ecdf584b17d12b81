// Every test program links a listener that gives each test a fresh, empty
// machine root (PRINTHOST_ROOT) and resets the platform's process state.
#pragma once

#include <string>

namespace platform_testing {

// The machine root of the running test.
const std::string& Root();

// Runs a shell command with the test's machine root in the environment and
// returns its exit status; its standard output goes to *out when given.
int RunCommand(const std::string& command, std::string* out = nullptr);

} // namespace platform_testing

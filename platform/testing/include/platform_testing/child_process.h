// A piece of a test run in a process of its own: another process's view of
// the machine root (its own database connections, its own caches), as a
// second program would have it.
#pragma once

#include <functional>

namespace platform_testing {

// Forks, runs body on a thread of its own in the child (a fresh thread has
// no connection the parent opened) and waits for the child. True when body
// returned true there. The child ends itself after a minute, so a body that
// hangs fails the test instead of holding it.
bool RunInChildProcess(const std::function<bool()>& body);

} // namespace platform_testing

// Every test program links a listener that gives each test a fresh, empty
// machine root (PRINTHOST_ROOT) and resets the platform's process state. At
// the end of each test it fails the test if the platform holds more live
// objects than at its start (handles, registry keys, GDI objects and device
// contexts, metafiles, Global, Heap and EngAllocMem blocks, engine objects,
// sockets, module loads), naming what was left.
#pragma once

#include <map>
#include <string>

namespace platform_testing {

// The machine root of the running test.
const std::string& Root();

// Runs a shell command with the test's machine root in the environment and
// returns its exit status; its standard output goes to *out when given.
int RunCommand(const std::string& command, std::string* out = nullptr);

// The platform's live objects, by what they are.
struct LiveObjects {
    std::map<std::string, long> counts;
};
LiveObjects CountLiveObjects();
// What is live now beyond `before`, one "\n  <n> <what>" line each; empty when nothing.
std::string LeftSince(const LiveObjects& before);

} // namespace platform_testing

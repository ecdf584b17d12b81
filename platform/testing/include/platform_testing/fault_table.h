// A whole job run again and again with one platform call made to fail each
// time: every fault point the job reaches, at its first, middle and last call.
// Each run must end either with an error the job reports, or with exactly
// the output of the run without faults (the failure was made good another
// way); in both cases nothing the platform handed out may be left live.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "win/types.h"

namespace platform_testing {

struct JobOutcome {
    bool ok = false; // the job reported success
    // What it produced, compared with the run without faults; for a failed
    // job, what it left as finished (nothing, or all of it).
    std::string output;
    std::string error; // how it reported failure (must not be empty when !ok)
};

struct FaultTableOptions {
    DWORD error = 0x0000000E; // ERROR_OUTOFMEMORY: what each failing call answers
    // Calls whose failure a job may answer with success and another output,
    // because the system's own answer to that failure is a default (a
    // missing setting, say); each such entry says why where it is listed.
    std::set<std::string> mayChangeOutput;
    // Calls whose failure the library is known to answer with success over a
    // different output, still to be mended there: printed as pending on
    // every run (so they stay in sight) instead of failing the test.
    std::set<std::string> pending;
    // Calls left out (the listener's own, or ones the job cannot meet).
    std::set<std::string> skip;
};

// Runs `job` once without faults (it must succeed), then once per fault.
// Adds a test failure naming the call for every run that broke the rules;
// returns the number of faulted runs.
int RunFaultTable(const std::function<JobOutcome()>& job, const FaultTableOptions& options = {});

} // namespace platform_testing

// A Google Benchmark main that also prints, for each pair of benchmarks named
// "<group>/<subject>" and "<group>/<reference>", the subject's time relative to the
// reference's, measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testkit {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // One iteration run, or the median of repetitions when there are some.
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            // Processor time: on a machine shared with other work the wall clock
            // says more about the others than about the code.
            if (r.run_type == Run::RT_Iteration || median)
                seconds_[r.run_name.str()] =
                    r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Seconds per iteration of a benchmark, or 0 when it did not run.
    double Seconds(const std::string& name) const {
        auto it = seconds_.find(name);
        return it == seconds_.end() ? 0 : it->second;
    }

  private:
    std::map<std::string, double> seconds_;
};

struct Ratio {
    std::string subject, reference, label;
};

// `more`, when given, prints what else the run's times say.
inline int RunWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios,
                         const std::function<void(const RatioReporter&)>& more = {}) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-60s %10s\n", "time relative to the reference in this run", "ratio");
    for (const Ratio& r : ratios) {
        double s = reporter.Seconds(r.subject), ref = reporter.Seconds(r.reference);
        if (s > 0 && ref > 0) std::printf("%-60s %10.2f\n", r.label.c_str(), s / ref);
    }
    if (more) more(reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace testkit

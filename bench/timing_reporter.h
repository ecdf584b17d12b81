// A console reporter that also keeps each benchmark's time per iteration in
// seconds, so that a program can print its ratios against the reference it
// ran in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

class TimingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
            double unit = benchmark::GetTimeUnitMultiplier(r.time_unit);
            real_[r.benchmark_name()] = r.GetAdjustedRealTime() / unit;
            cpu_[r.benchmark_name()] = r.GetAdjustedCPUTime() / unit;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Seconds per iteration; 0 for a benchmark that did not run.
    double Real(const std::string& name) const { return Find(real_, name); }
    double Cpu(const std::string& name) const { return Find(cpu_, name); }

  private:
    static double Find(const std::map<std::string, double>& m, const std::string& name) {
        auto it = m.find(name);
        return it == m.end() ? 0 : it->second;
    }
    std::map<std::string, double> real_, cpu_;
};

} // namespace bench

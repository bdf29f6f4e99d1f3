// The console report of a benchmark run that also keeps each case's median wall and CPU
// times, in microseconds, for the figures a benchmark prints after its table.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace ftir::bench {

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  using benchmark::ConsoleReporter::ConsoleReporter;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
      const double to_us = benchmark::GetTimeUnitMultiplier(benchmark::kMicrosecond) /
                           benchmark::GetTimeUnitMultiplier(run.time_unit);
      wall_[run.run_name.function_name] = run.GetAdjustedRealTime() * to_us;
      cpu_[run.run_name.function_name] = run.GetAdjustedCPUTime() * to_us;
    }
  }

 protected:
  std::map<std::string, double> wall_;  // median per case, microseconds
  std::map<std::string, double> cpu_;
};

}  // namespace ftir::bench

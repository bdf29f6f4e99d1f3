// The cost of the transform controls, one conversion in memory at a time (no file): a
// single-sided record of 65536 samples (and of 131072, whose F = 2 is the longest transform) and a
// double-sided one of 32768, each converted as the classic rule does, with --zero-fill 1, 2
// and 4, and a record of two 65536-sample single-sided scans converted one direction or both.
//
//   cmake -S . -B build-bench -DFTIR_BENCH=ON && cmake --build build-bench --target controls_bench
//   build-bench/controls_bench            # 5 repetitions of each case, then the ratios
//
// The closing lines set zero-fill 2 against zero-fill 1 (limit 2.2), both directions against
// one (limit 2.2), and zero-fill 1 given against none given (the classic path, about 1).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/memory.h"

namespace {

using ftir::driver::ConversionSettings;
using ftir::driver::Sides;

constexpr double kLaser = 15800.823;
constexpr int kRepetitions = 5;

// Lines under a Gaussian envelope around sample `center`, with a little noise.
std::vector<double> record(int n, int center) {
  std::vector<double> y(static_cast<std::size_t>(n));
  unsigned state = 5;
  for (int j = 0; j < n; ++j) {
    const double x = (j - center) / kLaser;
    double v = 0.0;
    for (double nu : {900.0, 1601.0, 2300.0, 3050.0})
      v += std::cos(2.0 * 3.141592653589793 * nu * x);
    state = state * 1103515245u + 12345u;
    y[static_cast<std::size_t>(j)] =
        v * std::exp(-x * x / 1e-4) + 1e-4 * ((state >> 8) / 16777216.0);
  }
  return y;
}

ftir::driver::Workspace& workspace() {
  static const std::unique_ptr<ftir::driver::Workspace> ws =
      std::make_unique<ftir::driver::Workspace>();
  return *ws;
}

void convert(benchmark::State& state, std::vector<double> samples, int scans,
             ConversionSettings settings) {
  ftir::values::Interferogram ig;
  ig.samples = samples;
  ig.declared_points = ig.points_held = static_cast<int>(samples.size());
  ig.laser = kLaser;
  ig.scans = scans;
  for (auto _ : state) {
    const ftir::driver::MemorySpectrum s =
        ftir::driver::convert_in_memory(ig, settings, workspace());
    if (s.record.status != ftir::driver::FileStatus::kConverted) {
      state.SkipWithError(s.record.reason.c_str());
      return;
    }
    benchmark::DoNotOptimize(s.y.data());
  }
}

ConversionSettings with(Sides sides, std::optional<int> fill,
                        std::optional<ftir::driver::Direction> direction = std::nullopt) {
  ConversionSettings s;
  s.sides = sides;
  s.res = 0.1;  // the whole record: no shortening to a resolution
  s.zero_fill = fill;
  s.direction = direction;
  return s;
}

// Keeps the median wall and CPU times of each case, then prints the ratios, each also as a
// line "figure <key> <wall a> <wall b> <cpu a> <cpu b>" (ms) for bench/run_all.sh.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.aggregate_name == "median") {
        wall_[run.run_name.function_name] = run.GetAdjustedRealTime();
        cpu_[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto line = [&](const char* key, const char* what, const std::string& a,
                          const std::string& b) {
      std::printf("%-46s %8.3f / %8.3f ms  ratio %5.2f   CPU %8.3f / %8.3f ms  ratio %5.2f\n", what,
                  wall_[a], wall_[b], wall_[a] / wall_[b], cpu_[a], cpu_[b], cpu_[a] / cpu_[b]);
      std::printf("figure %s %.6f %.6f %.6f %.6f\n", key, wall_[a], wall_[b], cpu_[a], cpu_[b]);
    };
    std::printf("\nMedians of %d repetitions:\n", kRepetitions);
    line("fill-single", "zero-fill 2 / 1, single-sided 65536:", "single/fill2", "single/fill1");
    line("fill-large", "zero-fill 2 / 1, single-sided 131072:", "large/fill2", "large/fill1");
    line("fill-double", "zero-fill 2 / 1, double-sided 32768:", "double/fill2", "double/fill1");
    line("directions", "both directions / one, two scans of 65536:", "two/both", "two/forward");
    line("fill-given", "zero-fill 1 given / none given, single-sided:", "single/fill1",
         "single/classic");
  }

 private:
  std::map<std::string, double> wall_;  // ms
  std::map<std::string, double> cpu_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const std::vector<double> single = record(65536, 1024);
  const std::vector<double> large = record(131072, 1024);  // F = 2: the longest transform
  const std::vector<double> twice = [&] {
    std::vector<double> y(single);
    y.insert(y.end(), single.rbegin(), single.rend());
    return y;
  }();
  const std::vector<double> dbl = record(32768, 16383);
  using ftir::driver::Direction;
  const struct {
    const char* name;
    const std::vector<double>& samples;
    int scans;
    ConversionSettings settings;
  } cases[] = {
      {"single/classic", single, 1, with(Sides::kSingle, std::nullopt)},
      {"single/fill1", single, 1, with(Sides::kSingle, 1)},
      {"single/fill2", single, 1, with(Sides::kSingle, 2)},
      {"single/fill4", single, 1, with(Sides::kSingle, 4)},
      {"large/fill1", large, 1, with(Sides::kSingle, 1)},
      {"large/fill2", large, 1, with(Sides::kSingle, 2)},
      {"double/classic", dbl, 1, with(Sides::kDouble, std::nullopt)},
      {"double/fill1", dbl, 1, with(Sides::kDouble, 1)},
      {"double/fill2", dbl, 1, with(Sides::kDouble, 2)},
      {"two/forward", twice, 2, with(Sides::kSingle, std::nullopt, Direction::kForward)},
      {"two/both", twice, 2, with(Sides::kSingle, std::nullopt, Direction::kBoth)},
  };
  for (const auto& c : cases) {
    benchmark::RegisterBenchmark(c.name, convert, c.samples, c.scans, c.settings)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(kRepetitions)
        ->ReportAggregatesOnly(true)
        ->UseRealTime();
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

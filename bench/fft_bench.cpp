// CFFT next to FFTW's complex double transform (in place, forward, same sizes) in one run.
//
//   cmake -S . -B build-bench -DFTIR_BENCH=ON && cmake --build build-bench --target fft_bench
//   build-bench/fft_bench                 # 5 repetitions of each case, then the ratio table
//
// FFTW plans are made before the timed loop (FFTW_MEASURE planning takes a few seconds at
// the larger sizes); CFFT's twiddle tables are filled by one untimed call. Sizes are run
// one after the other (CFFT, FFTW_ESTIMATE, FFTW_MEASURE at 2^10, then at 2^14, ...), so
// that the three see the same machine. The closing table divides CFFT's time by FFTW's,
// from the fastest repetition and from the median.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "transform/complex.h"
#include "transform/fft.h"
#include "transform/fixed_array.h"

namespace {

using ftir::transform::Complex;
using ftir::transform::Fft;
using ftir::transform::FixedArray;

constexpr int kSizes[] = {10, 14, 18, 19};
constexpr int kRepetitions = 5;
// Each transform multiplies the magnitudes by about sqrt(nb); the input is restored (time
// stopped) every so many transforms so that the values stay finite.
constexpr int kRefill = 16;

std::vector<Complex> random_input(int nb) {
  std::mt19937_64 rng(20240601);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<Complex> v(static_cast<std::size_t>(nb));
  for (Complex& c : v) c = {dist(rng), dist(rng)};
  return v;
}

void bm_cfft(benchmark::State& state, Fft& fft) {
  const int n = static_cast<int>(state.range(0));
  const int nb = 1 << n;
  const std::vector<Complex> input = random_input(nb);
  // The converter's work array is run storage, which starts on a cache line (FFTW's arrays
  // are aligned too); a transform on an array that does not is up to a fifth slower.
  const FixedArray<Complex> storage(static_cast<std::size_t>(nb));
  const std::span<Complex> work(storage.data(), storage.size());
  std::copy(input.begin(), input.end(), work.begin());
  fft.CFFT(work, n, nb, 1);
  int done = kRefill;
  for (auto _ : state) {
    if (done == kRefill) {
      state.PauseTiming();
      std::copy(input.begin(), input.end(), work.begin());
      done = 0;
      state.ResumeTiming();
    }
    fft.CFFT(work, n, nb, 1);
    ++done;
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
}

void bm_fftw(benchmark::State& state, unsigned flags) {
  const int n = static_cast<int>(state.range(0));
  const int nb = 1 << n;
  const std::vector<Complex> input = random_input(nb);
  fftw_complex* work = fftw_alloc_complex(static_cast<std::size_t>(nb));
  // Planning with FFTW_MEASURE overwrites the array, so the input goes in afterwards.
  fftw_plan plan = fftw_plan_dft_1d(nb, work, work, FFTW_FORWARD, flags);
  const std::size_t bytes = static_cast<std::size_t>(nb) * sizeof(fftw_complex);
  static_assert(sizeof(fftw_complex) == sizeof(Complex));
  int done = kRefill;
  for (auto _ : state) {
    if (done == kRefill) {
      state.PauseTiming();
      std::memcpy(work, input.data(), bytes);
      done = 0;
      state.ResumeTiming();
    }
    fftw_execute(plan);
    ++done;
    benchmark::DoNotOptimize(work);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(work);
}

double min_of(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// The console report, then the table of ratios from the "min" and "median" aggregates.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate) continue;
      if (run.aggregate_name != "min" && run.aggregate_name != "median") continue;
      // Times in milliseconds per transform: wall time, and for the median also CPU time
      // (the same on an idle machine; on a shared one it leaves out the time others took).
      const double to_ms = benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
                           benchmark::GetTimeUnitMultiplier(run.time_unit);
      times_[run.aggregate_name][run.run_name.args][run.run_name.function_name] =
          run.GetAdjustedRealTime() * to_ms;
      if (run.aggregate_name == "median") {
        times_["median CPU"][run.run_name.args][run.run_name.function_name] =
            run.GetAdjustedCPUTime() * to_ms;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* statistic : {"min", "median", "median CPU"}) {
      std::printf("\nCFFT against FFTW (%s of %d repetitions), ms per transform\n",
                  statistic == std::string("median CPU") ? "median CPU time" : statistic,
                  kRepetitions);
      std::printf("%8s %10s %10s %10s %12s %12s\n", "points", "CFFT", "ESTIMATE", "MEASURE",
                  "/ESTIMATE", "/MEASURE");
      for (int n : kSizes) {
        const auto& row = times_[statistic][std::to_string(n)];
        const auto get = [&row](const char* name) {
          const auto it = row.find(name);
          return it == row.end() ? 0.0 : it->second;
        };
        const double cfft = get("CFFT");
        const double est = get("FFTW_ESTIMATE");
        const double meas = get("FFTW_MEASURE");
        if (cfft == 0.0 || est == 0.0 || meas == 0.0) continue;
        std::printf("%8d %10.5f %10.5f %10.5f %12.2f %12.2f\n", 1 << n, cfft, est, meas, cfft / est,
                    cfft / meas);
      }
    }
    std::fflush(stdout);
  }

 private:
  // statistic -> size exponent -> case -> ms
  std::map<std::string, std::map<std::string, std::map<std::string, double>>> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Fft fft;  // the run's one transform object, as in the converter
  for (int n : kSizes) {
    const auto add = [n](benchmark::internal::Benchmark* b) {
      b->Arg(n)
          ->Unit(benchmark::kMicrosecond)
          ->Repetitions(kRepetitions)
          ->ComputeStatistics("min", min_of)
          ->DisplayAggregatesOnly(true);
    };
    add(benchmark::RegisterBenchmark("CFFT", [&fft](benchmark::State& s) { bm_cfft(s, fft); }));
    add(benchmark::RegisterBenchmark("FFTW_ESTIMATE",
                                     [](benchmark::State& s) { bm_fftw(s, FFTW_ESTIMATE); }));
    add(benchmark::RegisterBenchmark("FFTW_MEASURE",
                                     [](benchmark::State& s) { bm_fftw(s, FFTW_MEASURE); }));
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  fftw_cleanup();
  return 0;
}

// The instrument's transform of one scan of an instrument file's size (3177 samples, the
// centerburst at 562, P 296.21, L 2369.69, zero filling 2: Nph 1024, N 8192) next to the two
// CFFT calls of the same sizes alone, the floor of any conversion of such a scan.
//
//   cmake -S . -B build-bench -DFTIR_BENCH=ON && cmake --build build-bench --target
//   instrument_bench build-bench/instrument_bench          # 5 repetitions of each case, then the
//   medians
//
// The transform fills its own buffers (zeros, weighted samples) on every call, as a batch
// does; the CFFT inputs are restored, untimed, every few calls so that the values stay finite.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "medians.h"
#include "driver/batch.h"
#include "driver/instrument.h"
#include "driver/memory.h"
#include "transform/fft.h"
#include "transform/fixed_array.h"
#include "transform/instrument_path.h"

namespace {

using namespace ftir::transform;

constexpr int kRepetitions = 5;
constexpr int kRefill = 16;
constexpr int kSamples = 3177;
constexpr int kZpd = 562;
constexpr double kNyquist = 5265.987;  // cm-1

// A few cosine lines under a decaying envelope, centred on the centerburst.
std::vector<double> scan() {
  std::vector<double> y(kSamples);
  for (int i = 0; i < kSamples; ++i) {
    const double x = (i - kZpd) / (2.0 * kNyquist);
    double v = 0.0;
    for (double nu = 800.0; nu < 3900.0; nu += 211.3)
      v += std::cos(6.283185307179586 * nu * x + 0.3);
    y[static_cast<std::size_t>(i)] = v * std::exp(-std::fabs(x) * 20.0);
  }
  return y;
}

InstrumentRecipe test_recipe() {
  InstrumentRecipe r;
  r.zpd = kZpd;
  r.phase_halfwidth = 296.21;
  r.long_side = 2369.69;
  r.window = window_by_code(3);
  r.ramp = Ramp::kQuintic;
  r.zero_fill = 2;
  r.nyquist = kNyquist;
  r.wlow = 700.0;
  r.whigh = 4000.0;
  return r;
}

void bm_transform(benchmark::State& state, Fft& fft) {
  const std::vector<double> y = scan();
  const InstrumentRecipe r = test_recipe();
  InstrumentWork work(1 << 14);
  std::vector<double> out(8192);
  for (auto _ : state) {
    const InstrumentSpectrum s = instrument_transform(y, r, work, fft, out);
    if (s.refused || s.n != 8192 || s.nph != 1024) state.SkipWithError("unexpected transform");
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

void bm_cfft(benchmark::State& state, Fft& fft) {
  const FixedArray<Complex> storage(8192 + 1024);
  const std::span<Complex> large(storage.data(), 8192), small(storage.data() + 8192, 1024);
  std::vector<Complex> input(8192 + 1024);
  const std::vector<double> y = scan();
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = {y[i % y.size()], 0.0};
  int done = kRefill;
  for (auto _ : state) {
    if (done == kRefill) {
      state.PauseTiming();
      std::copy(input.begin(), input.end(), storage.begin());
      done = 0;
      state.ResumeTiming();
    }
    fft.CFFT(small, 10, 1024, 1);
    fft.CFFT(large, 13, 8192, 1);
    ++done;
    benchmark::DoNotOptimize(storage.data());
    benchmark::ClobberMemory();
  }
}

// The shared test.0000 (3177 points, Nph 1024, N 8192): its whole conversion in memory
// (read, plan, nonlinearity, mean, transform, range, record) against the transform of its
// scan alone.
const std::string kTestFile = FTIR_SOURCE_DIR "/tests/data/opus/test.0000";

void bm_file_transform(benchmark::State& state, ftir::driver::Workspace& ws) {
  using namespace ftir::driver;
  const ReadOutcome read = read_interferogram(kTestFile, ws);
  if (read.refused) return state.SkipWithError("test.0000 not readable");
  const InstrumentPlan plan = plan_instrument(read.ig, nullptr);
  std::vector<double> y(read.ig.samples.begin(), read.ig.samples.end());
  remove_scan_mean(y, Nonlinearity{*plan.nla, plan.nlb});
  std::vector<double> out(8192);
  for (auto _ : state) {
    const InstrumentSpectrum s = instrument_transform(y, plan.recipe, ws.instrument, ws.fft, out);
    if (s.refused) state.SkipWithError("unexpected transform");
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

void bm_file_conversion(benchmark::State& state, ftir::driver::Workspace& ws) {
  using namespace ftir::driver;
  const ConversionSettings settings;
  for (auto _ : state) {
    const ReadOutcome read = read_interferogram(kTestFile, ws);
    const MemorySpectrum s = convert_in_memory(read.ig, settings, ws);
    if (s.record.status != FileStatus::kConverted) state.SkipWithError("not converted");
    benchmark::DoNotOptimize(s.y.data());
  }
}

// The console report, then one line of medians: wall and CPU time of both cases.
class FiguresReporter : public ftir::bench::MedianReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf(
        "\ninstrument transform (median of %d), us: transform %.3f CFFT %.3f"
        " CPU: transform %.3f CFFT %.3f\n",
        kRepetitions, wall_["transform"], wall_["CFFT_1024+8192"], cpu_["transform"],
        cpu_["CFFT_1024+8192"]);
    std::printf(
        "test.0000 conversion (median of %d), us: conversion %.3f transform %.3f"
        " CPU: conversion %.3f transform %.3f\n",
        kRepetitions, wall_["test.0000_conversion"], wall_["test.0000_transform"],
        cpu_["test.0000_conversion"], cpu_["test.0000_transform"]);
    std::fflush(stdout);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Fft fft;
  const auto ws = std::make_unique<ftir::driver::Workspace>();
  for (auto* b :
       {benchmark::RegisterBenchmark("transform",
                                     [&fft](benchmark::State& s) { bm_transform(s, fft); }),
        benchmark::RegisterBenchmark("CFFT_1024+8192",
                                     [&fft](benchmark::State& s) { bm_cfft(s, fft); }),
        benchmark::RegisterBenchmark(
            "test.0000_transform", [&ws](benchmark::State& s) { bm_file_transform(s, *ws); }),
        benchmark::RegisterBenchmark("test.0000_conversion", [&ws](benchmark::State& s) {
          bm_file_conversion(s, *ws);
        })}) {
    b->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions)->DisplayAggregatesOnly(true);
  }
  FiguresReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

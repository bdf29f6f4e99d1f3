// Reading an instrument file, warm cache: the converter's read of the shared OPUS file
// test.0000 (the reader chosen by content, the whole file read, parsed, the sample
// interferogram into the workspace, the stored curves kept), next to the floor of plain
// stream calls on the same bytes: fopen, one fread of the whole file, fclose.
//
//   cmake -S . -B build-bench -DFTIR_BENCH=ON && cmake --build build-bench --target
//   instrument_bench build-bench/instrument_bench          # 5 repetitions of each case, then the
//   ratio
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "medians.h"
#include "driver/batch.h"

namespace {

constexpr int kRepetitions = 5;
const std::string kFile =
    (std::filesystem::path(FTIR_SOURCE_DIR) / "tests/data/opus/test.0000")
        .string();

void bm_read_opus(benchmark::State& state) {
  auto ws = std::make_unique<ftir::driver::Workspace>();
  for (auto _ : state) {
    const ftir::driver::ReadOutcome r = ftir::driver::read_interferogram(kFile, *ws);
    if (r.refused || r.ig.samples.size() != 3177) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(r.ig.samples.data());
  }
}

void bm_fread(benchmark::State& state) {
  const std::size_t size = std::filesystem::file_size(kFile);
  std::vector<unsigned char> buffer(size + 1);
  for (auto _ : state) {
    std::FILE* file = std::fopen(kFile.c_str(), "rb");
    if (file == nullptr || std::fread(buffer.data(), 1, buffer.size(), file) != size) {
      state.SkipWithError("fread failed");
    }
    if (file != nullptr) std::fclose(file);
    benchmark::DoNotOptimize(buffer.data());
  }
}

double min_of(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// The console report, then the read against its floor from the "median" aggregates.
class RatioReporter : public ftir::bench::MedianReporter {
 public:
  RatioReporter() : MedianReporter(OO_Tabular) {}

  void Finalize() override {
    ConsoleReporter::Finalize();
    if (wall_["OPUS read"] > 0.0 && wall_["fread"] > 0.0) {
      std::printf("\nOPUS read of test.0000 (median of %d repetitions), microseconds\n",
                  kRepetitions);
      std::printf("  OPUS read %8.2f   fread %8.2f   ratio %5.2f   CPU %8.2f / %8.2f\n",
                  wall_["OPUS read"], wall_["fread"], wall_["OPUS read"] / wall_["fread"],
                  cpu_["OPUS read"], cpu_["fread"]);
    }
    std::fflush(stdout);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!std::filesystem::exists(kFile)) {
    std::printf("instrument_bench: %s not found\n", kFile.c_str());
    return 1;
  }
  const auto add = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMicrosecond)
        ->Repetitions(kRepetitions)
        ->ComputeStatistics("min", min_of)
        ->DisplayAggregatesOnly(true);
  };
  add(benchmark::RegisterBenchmark("OPUS read", bm_read_opus));
  add(benchmark::RegisterBenchmark("fread", bm_fread));
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

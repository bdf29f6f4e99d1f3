// The I/O of one file, warm cache: READSC of a 262144-point interferogram (new format,
// 32-bit, 1 MB) and WRITSC of a 262144-point spectrum (1 MB), next to the floor of plain
// stream calls on the same bytes: one fread of the whole file, one fwrite of a 1 MB file.
//
//   cmake -S . -B build-bench -DFTIR_BENCH=ON && cmake --build build-bench --target io_bench
//   build-bench/io_bench                  # 5 repetitions of each case, then the table
//
// The files live in a fresh folder under the system's temporary directory; every timed
// call opens, reads or writes, and closes its file, as a run does (WRITSC writes a
// temporary file and renames it to the target). Writes are timed twice: making a new file,
// as a run usually does, and replacing the file of the previous iteration, as a rerun does.
// The closing table sets READSC + WRITSC against fread + fwrite.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "report/clock.h"
#include "report/console.h"
#include "report/report.h"
#include "spcfile/reader.h"
#include "spcfile/writer.h"
#include "synth/interferogram.h"

namespace {

namespace fs = std::filesystem;
using ftir::spcfile::kIoBufferBytes;

constexpr int kPoints = 262144;
constexpr int kCapacity = 270000;  // the run's yin and xin
constexpr int kRepetitions = 5;
// The read range the driver uses: every point of any file lies inside it.
constexpr double kReadLow = -89999998976.0;
constexpr double kReadHigh = 89999998976.0;

class NullConsole : public ftir::report::Console {
 public:
  void write(std::string_view) override {}
  std::optional<std::string> read_line(int) override { return std::nullopt; }
  void run_command(const std::string&) override {}
};

class FixedClock : public ftir::report::Clock {
 public:
  ftir::report::LocalDateTime now() const override { return {2024, 6, 1, 12, 0}; }
};

// The folder of the benchmark's files and the interferogram in it.
struct Files {
  fs::path dir;
  std::string interferogram;
  std::size_t interferogram_bytes = 0;
};

Files& files() {
  static Files f;
  return f;
}

// A damped cosine burst with a slow drift: the sample values matter little to the timing,
// but every one of them is decoded and stored.
void make_interferogram_file() {
  Files& f = files();
  f.dir = fs::temp_directory_path() / ("ftir_io_bench_" + std::to_string(getpid()));
  fs::create_directories(f.dir);
  std::vector<double> y(kPoints);
  for (int i = 0; i < kPoints; ++i) {
    const double t = (i - 1023) / 40.0;
    y[static_cast<std::size_t>(i)] = 1e4 * std::exp(-t * t / 50.0) * std::cos(t) + 0.01 * i;
  }
  ftir::synth::SpcFileSpec recipe;
  recipe.lastx = 7900.0;
  const std::vector<unsigned char> bytes = ftir::synth::encode_spc(y, recipe);
  f.interferogram = (f.dir / "interferogram.spc").string();
  ftir::synth::write_file(f.interferogram, bytes);
  f.interferogram_bytes = bytes.size();
}

void bm_readsc(benchmark::State& state) {
  NullConsole console;
  ftir::report::Report report(console);
  std::vector<double> yin(kCapacity);
  std::vector<unsigned char> io(kIoBufferBytes);
  for (auto _ : state) {
    // As the converter reads: no X values.
    const ftir::spcfile::ReadResult r = ftir::spcfile::READSC(
        report, files().interferogram, kReadLow, kReadHigh, kCapacity, {}, yin, io);
    if (r.npts != kPoints) state.SkipWithError("READSC did not read every point");
    benchmark::DoNotOptimize(yin.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(files().interferogram_bytes));
}

void bm_fread(benchmark::State& state) {
  std::vector<unsigned char> buffer(kIoBufferBytes);
  const std::size_t size = files().interferogram_bytes;
  for (auto _ : state) {
    std::FILE* file = std::fopen(files().interferogram.c_str(), "rb");
    if (file == nullptr || std::fread(buffer.data(), 1, size, file) != size) {
      state.SkipWithError("fread failed");
    }
    if (file != nullptr) std::fclose(file);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}

// Whether each timed write makes a new file (the target removed beforehand, untimed) or
// replaces the one the previous iteration wrote. On ext4 a replacement (by truncation or by
// renaming over the old file) starts the write-back of the new data at once, which costs
// far more than the copy into the page cache.
enum class Target { kNew, kReplaced };

void remove_untimed(benchmark::State& state, const std::string& path) {
  state.PauseTiming();
  std::remove(path.c_str());
  state.ResumeTiming();
}

void bm_writsc(benchmark::State& state, Target target_kind) {
  std::vector<double> xout(kPoints);
  std::vector<double> yout(kPoints);
  for (int i = 0; i < kPoints; ++i) {
    const double x = i * (7900.0 / (kPoints - 1));
    xout[static_cast<std::size_t>(i)] = x;
    yout[static_cast<std::size_t>(i)] = 3.0e-3 * std::exp(-(x - 2000.0) * (x - 2000.0) / 2.0e6);
  }
  std::vector<unsigned char> io(kIoBufferBytes);
  const FixedClock clock;
  const std::string target = (files().dir / "spectrum.spc").string();
  const std::string title(80, ' ');
  // As the converter writes: the exponent comes from the largest value, which the
  // converter's last pass over the spectrum (scale_and_cut) finds on its way.
  const int iexp = ftir::spcfile::spectrum_exponent(yout);
  for (auto _ : state) {
    if (target_kind == Target::kNew) remove_untimed(state, target);
    ftir::spcfile::WRITSC(target, title, 1, 0, 0.06, kPoints, 0.0, xout, yout, clock, io, iexp);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(target)));
}

// fopen, one fwrite of as many bytes as WRITSC writes (256 + 4 * 262144), fclose.
void bm_fwrite(benchmark::State& state, Target target_kind) {
  const std::size_t size = 256 + 4 * static_cast<std::size_t>(kPoints);
  std::vector<unsigned char> buffer(size, 0x5A);
  const std::string target = (files().dir / "plain.spc").string();
  for (auto _ : state) {
    if (target_kind == Target::kNew) remove_untimed(state, target);
    std::FILE* file = std::fopen(target.c_str(), "wb");
    if (file == nullptr || std::fwrite(buffer.data(), 1, size, file) != size) {
      state.SkipWithError("fwrite failed");
    }
    if (file != nullptr && std::fclose(file) != 0) state.SkipWithError("fclose failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}

double min_of(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// The console report, then the I/O of one file against the floor, from the "min" and
// "median" aggregates.
class IoReporter : public benchmark::ConsoleReporter {
 public:
  IoReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate) continue;
      if (run.aggregate_name != "min" && run.aggregate_name != "median") continue;
      // Wall time, and for the median also CPU time (system time included).
      const double to_us = benchmark::GetTimeUnitMultiplier(benchmark::kMicrosecond) /
                           benchmark::GetTimeUnitMultiplier(run.time_unit);
      times_[run.aggregate_name][run.run_name.function_name] = run.GetAdjustedRealTime() * to_us;
      if (run.aggregate_name == "median") {
        times_["median CPU"][run.run_name.function_name] = run.GetAdjustedCPUTime() * to_us;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* statistic : {"min", "median", "median CPU"}) {
      auto& t = times_[statistic];
      const double read = t["READSC"];
      const double fread = t["fread"];
      const double write_new = t["WRITSC/new"];
      const double fwrite_new = t["fwrite/new"];
      const double write_replaced = t["WRITSC/replacing"];
      const double fwrite_replaced = t["fwrite/replacing"];
      if (read == 0.0 || fread == 0.0 || write_new == 0.0 || fwrite_new == 0.0 ||
          write_replaced == 0.0 || fwrite_replaced == 0.0) {
        continue;
      }
      std::printf("\nI/O of one file, warm cache (%s of %d repetitions), microseconds\n",
                  statistic == std::string("median CPU") ? "median CPU time" : statistic,
                  kRepetitions);
      const auto row = [](const char* name, double value, const char* floor_name, double floor) {
        std::printf("  %-30s %8.1f   floor %-26s %8.1f   ratio %5.2f\n", name, value, floor_name,
                    floor, value / floor);
      };
      row("READSC, 262144 points", read, "fread of 1 MB", fread);
      row("WRITSC, 262144 points, new", write_new, "fwrite of 1 MB, new", fwrite_new);
      row("WRITSC, replacing", write_replaced, "fwrite of 1 MB, replacing", fwrite_replaced);
      row("READSC + WRITSC (new)", read + write_new, "fread + fwrite (new)", fread + fwrite_new);
      std::printf("  (the target for READSC + WRITSC: at most twice the floor)\n");
    }
    std::fflush(stdout);
  }

 private:
  std::map<std::string, std::map<std::string, double>> times_;  // statistic -> case -> us
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  make_interferogram_file();
  const auto add = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMicrosecond)
        ->Repetitions(kRepetitions)
        ->ComputeStatistics("min", min_of)
        ->DisplayAggregatesOnly(true);
  };
  add(benchmark::RegisterBenchmark("READSC", bm_readsc));
  add(benchmark::RegisterBenchmark("fread", bm_fread));
  add(benchmark::RegisterBenchmark("WRITSC/new",
                                   [](benchmark::State& s) { bm_writsc(s, Target::kNew); }));
  add(benchmark::RegisterBenchmark("fwrite/new",
                                   [](benchmark::State& s) { bm_fwrite(s, Target::kNew); }));
  add(benchmark::RegisterBenchmark("WRITSC/replacing",
                                   [](benchmark::State& s) { bm_writsc(s, Target::kReplaced); }));
  add(benchmark::RegisterBenchmark("fwrite/replacing",
                                   [](benchmark::State& s) { bm_fwrite(s, Target::kReplaced); }));
  IoReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(files().dir, ignored);
  return 0;
}

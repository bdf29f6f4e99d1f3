// The cost of the quality checks against the conversion they judge, one record at a time in
// memory: single-sided records of 2056 and 311 samples (an instrument scan's length and an
// imaging pixel's), with DC, 0.5 % noise, converted as the command line does; the checks
// read the record's samples, its found and stored centerbursts and the phase the path
// found.
//
//   cmake -S . -B build-bench -DFTIR_BENCH=ON && cmake --build build-bench --target quality_bench
//   build-bench/quality_bench            # 5 repetitions of each case, then the ratios
//
// The closing lines set the checks against the conversion of the same record (target: at
// most 0.05).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver/memory.h"
#include "medians.h"
#include "quality/checks.h"
#include "report/console.h"
#include "report/report.h"
#include "synth/interferogram.h"
#include "transform/single_sided.h"

namespace {

constexpr int kRepetitions = 5;

ftir::driver::Workspace& workspace() {
  static const std::unique_ptr<ftir::driver::Workspace> ws =
      std::make_unique<ftir::driver::Workspace>();
  return *ws;
}

ftir::synth::InterferogramSpec recipe(int points) {
  ftir::synth::InterferogramSpec synthetic;
  synthetic.points = points;
  synthetic.center = points / 16;
  synthetic.source.lines = {{1600.0, 8.0, 0.5}};
  synthetic.dc = 7000.0;
  synthetic.noise = 0.005;
  return synthetic;
}

ftir::values::Interferogram interferogram(const std::vector<double>& samples, double laser) {
  ftir::values::Interferogram ig;
  ig.samples = std::span<double>(const_cast<double*>(samples.data()), samples.size());
  ig.declared_points = ig.points_held = static_cast<int>(samples.size());
  ig.laser = laser;
  return ig;
}

void convert(benchmark::State& state, const std::vector<double>& samples, double laser) {
  const ftir::values::Interferogram ig = interferogram(samples, laser);
  for (auto _ : state) {
    const ftir::driver::MemorySpectrum s = ftir::driver::convert_in_memory(ig, {}, workspace());
    if (s.record.status != ftir::driver::FileStatus::kConverted) {
      state.SkipWithError(s.record.reason.c_str());
      return;
    }
    benchmark::DoNotOptimize(s.y.data());
  }
}

// The inputs the conversion leaves: the found centerburst and the phase of its path.
struct Inputs {
  std::vector<double> angle;
  std::vector<double> magnitude;
  ftir::quality::RecordInput in;
};

std::unique_ptr<Inputs> inputs(const std::vector<double>& samples,
                               const ftir::synth::InterferogramSpec& synthetic) {
  auto k = std::make_unique<Inputs>();
  ftir::driver::Workspace& ws = workspace();
  const ftir::quality::Centerburst c = ftir::quality::find_centerburst(samples);
  for (std::size_t i = 0; i < samples.size(); ++i) ws.yin[i] = samples[i] - c.mean;
  ftir::transform::PathRequest req;
  req.sampr = synthetic.sampr;
  req.wlref = 1.0 / synthetic.wref;
  req.iapod = 1;
  req.npts = static_cast<int>(samples.size());
  req.jmax = c.index + 1;
  ftir::report::QuietConsole quiet;
  ftir::report::Report report(quiet);
  ftir::transform::PathStorage storage = ws.paths();
  const ftir::transform::PhaseOutcome p =
      ftir::transform::phase_determination(report, req, storage);
  k->angle.assign(ws.phase.angle.begin(), ws.phase.angle.begin() + p.points);
  k->magnitude.assign(ws.phase.magnitude.begin(), ws.phase.magnitude.begin() + p.points);
  k->in.samples = samples;
  k->in.found_zpd = {c.index, -1};
  k->in.stored_zpd = {synthetic.center, std::nullopt};
  k->in.phase = {k->angle, p.first, p.delta};
  k->in.magnitude = {k->magnitude, p.first, p.delta};
  return k;
}

void checks(benchmark::State& state, const Inputs* k) {
  for (auto _ : state) {
    const ftir::quality::Result r = ftir::quality::check_record(k->in, {});
    if (r.mask != 0) {
      state.SkipWithError(("flagged: " + ftir::quality::flag_names(r.mask)).c_str());
      return;
    }
    benchmark::DoNotOptimize(r.mask);
  }
}

class RatioReporter : public ftir::bench::MedianReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nMedians of %d repetitions (checks / conversion):\n", kRepetitions);
    for (const char* n : {"2056", "311"}) {
      const std::string a = std::string("checks/") + n;
      const std::string b = std::string("convert/") + n;
      std::printf("%-6s points: %9.3f / %9.3f us  ratio %6.4f   CPU ratio %6.4f\n", n, wall_[a],
                  wall_[b], wall_[a] / wall_[b], cpu_[a] / cpu_[b]);
      std::printf("figure quality-%s %.6f %.6f %.6f %.6f\n", n, wall_[a] / 1000, wall_[b] / 1000,
                  cpu_[a] / 1000, cpu_[b] / 1000);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::vector<std::unique_ptr<std::vector<double>>> records;
  std::vector<std::unique_ptr<Inputs>> kept;
  for (int points : {2056, 311}) {
    const ftir::synth::InterferogramSpec synthetic = recipe(points);
    records.push_back(std::make_unique<std::vector<double>>(ftir::synth::make_interferogram(synthetic)));
    kept.push_back(inputs(*records.back(), synthetic));
    const std::string n = std::to_string(points);
    for (auto* b :
         {benchmark::RegisterBenchmark(("convert/" + n).c_str(), convert,
                                       std::cref(*records.back()), synthetic.wref),
          benchmark::RegisterBenchmark(("checks/" + n).c_str(), checks, kept.back().get())}) {
      b->Unit(benchmark::kMicrosecond)
          ->Repetitions(kRepetitions)
          ->ReportAggregatesOnly(true)
          ->UseRealTime();
    }
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

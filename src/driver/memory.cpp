#include "driver/memory.h"

#include <algorithm>
#include <memory>

#include "driver/batch.h"
#include "driver/instrument.h"
#include "driver/output_names.h"
#include "spcfile/header.h"
#include "spcfile/writer.h"

namespace ftir::driver {

MemorySpectrum convert_in_memory(const values::Interferogram& ig,
                                 const ConversionSettings& settings, Workspace& ws) {
  MemorySpectrum out;
  FileRecord& record = out.record;
  record.input = ig.name;
  record.iapod = settings.iapod;
  record.res_requested = settings.res;
  record.asked = controls_asked(settings);
  record.status = FileStatus::kStopped;
  report::QuietConsole quiet;
  report::Report report(quiet);
  // An instrument file's plan names what it lacks (a laser too) in the file's own terms.
  if (ig.instrument) {
    if (const InstrumentPlan plan = plan_instrument(ig, &settings); plan.refused) {
      refuse(Road::kMemory, report, record, ig.name, *plan.refused);
      return out;
    }
  }
  std::optional<double> wref = settings.laser;
  if (!wref) wref = ig.laser;
  if (!wref) wref = spcfile::laser_from_x(ig.x, settings.sampr);
  if (!wref) {
    refuse(Road::kMemory, report, record, ig.name, {values::Refusal::kNoLaser, {}, 0, 0});
    return out;
  }
  if (!usable_sample_spacing(*wref, settings.sampr)) {
    refuse(Road::kMemory, report, record, ig.name, {values::Refusal::kUnusableSpacing, {}, 0, 0});
    return out;
  }
  if (ig.samples.size() > static_cast<std::size_t>(Workspace::kSamples)) {
    refuse(Road::kMemory, report, record, ig.name,
           {values::Refusal::kTooManyPoints,
            {},
            Workspace::kSamples,
            static_cast<int>(std::min<std::size_t>(ig.samples.size(), 1u << 30))});
    return out;
  }
  out.wref = *wref;
  RunParameters params = file_parameters(settings, *wref, settings.res);
  FileOptions options;
  options.auto_side = settings.sides == Sides::kAuto;
  options.road = Road::kMemory;
  options.write_files = false;
  options.controls = file_controls(settings);
  options.settings = &settings;
  // A report::Clock is needed only by the writer, which this conversion never calls.
  const report::SystemClock clock;
  ws.title.set("");
  convert_interferogram(report, clock, params, ws, ig.name, ig, record, options);
  if (record.status != FileStatus::kConverted) return out;
  const auto n = static_cast<std::size_t>(record.points_written);
  out.x.assign(ws.xin.data(), ws.xin.data() + n);
  out.y.assign(ws.yin.data(), ws.yin.data() + n);
  out.title = std::string(ws.title.text());
  out.spare1 = ig.spare1;
  if (!ig.name.empty()) {
    out.name = output_names(ig.name, content_of(ig), naming_request(settings, "")).spectrum;
  }
  if (ig.instrument && ig.instrument->measured) {
    const values::MeasuredAt& m = *ig.instrument->measured;
    out.measured = report::LocalDateTime{m.year, m.month, m.day, m.hour, m.minute};
  }
  return out;
}

void write_spectrum_spc(const MemorySpectrum& spectrum, std::string_view path,
                        const report::Clock& clock) {
  const auto scratch = std::make_unique<unsigned char[]>(spcfile::kIoBufferBytes);
  const FileRecord& r = spectrum.record;
  const int iytype = r.instrument ? r.instrument->y_units : 0;
  // An instrument file that states no resolution has its grid step written as one.
  const double res = r.instrument && r.res == 0.0 ? r.grid_step : r.res;
  // The date a measurement states, else the clock's.
  class Fixed : public report::Clock {
   public:
    explicit Fixed(report::LocalDateTime at) : at_(at) {}
    report::LocalDateTime now() const override { return at_; }

   private:
    report::LocalDateTime at_;
  };
  const std::optional<Fixed> measured =
      spectrum.measured ? std::optional<Fixed>(Fixed(*spectrum.measured)) : std::nullopt;
  spcfile::WRITSC(path, spectrum.title, 1, iytype, res, static_cast<int>(spectrum.y.size()),
                  spectrum.spare1, spectrum.x, spectrum.y, measured ? *measured : clock,
                  {scratch.get(), spcfile::kIoBufferBytes});
}

}  // namespace ftir::driver

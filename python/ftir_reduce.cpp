// The Python module ftir_reduce: an interferogram read from a file or made from an array,
// converted in memory by the converter's own engine, the spectrum written as the command line
// writes it. The work runs with the GIL released, each thread in a working storage of its own.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "driver/batch.h"
#include "driver/file_record.h"
#include "driver/memory.h"
#include "driver/run_parameters.h"
#include "driver/settings.h"
#include "driver/workspace.h"
#include "report/clock.h"
#include "report/format_text.h"
#include "report/stop.h"
#include "spcfile/header.h"
#include "transform/windows.h"
#include "values/interferogram.h"
#include "values/refusal.h"

namespace py = pybind11;

namespace ftir::python {
namespace {

// The window names of `window=`, indexed by the window code (iapod): those of --window.
std::span<const std::string_view> window_names() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> all;
    for (const transform::Window& w : transform::window_registry()) all.push_back(w.option);
    return all;
  }();
  return names;
}

// The names of `sides=`, indexed by driver::Sides: those of --sides.
constexpr std::array<std::string_view, 3> kSideNames = {"auto", "single", "double"};
static_assert(static_cast<int>(driver::Sides::kAuto) == 0 &&
              static_cast<int>(driver::Sides::kSingle) == 1 &&
              static_cast<int>(driver::Sides::kDouble) == 2);

// A file or an interferogram the engine refuses; Python sees RefusedError, a ValueError,
// carrying the command line's skip text.
struct RefusedError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// This thread's working storage: made at the thread's first read or conversion, reused by
// every later one, freed when the thread ends.
driver::Workspace& workspace() {
  thread_local std::unique_ptr<driver::Workspace> ws;
  if (!ws) ws = std::make_unique<driver::Workspace>();
  return *ws;
}

// The command line's refusal of an option value, "<option>: '<text>' <allowed>".
[[noreturn]] void refuse_option(std::string_view option, const std::string& text,
                                std::string_view allowed) {
  throw py::value_error(std::string(option) + ": '" + text + "' " + std::string(allowed));
}

double positive_number(std::string_view option, double value) {
  if (!(value > 0.0) || !std::isfinite(value)) {
    refuse_option(option, report::shortest_text(value), "is not a number above 0");
  }
  return value;
}

// One of `names`, as CLI11 refuses another on the command line.
int member(std::string_view option, const std::string& value,
           std::span<const std::string_view> names) {
  const auto found = std::find(names.begin(), names.end(), value);
  if (found == names.end()) {
    std::string list;
    for (std::string_view n : names) list += (list.empty() ? "" : ",") + std::string(n);
    throw py::value_error(std::string(option) + ": " + value + " not in {" + list + "}");
  }
  return static_cast<int>(found - names.begin());
}

// A read-only NumPy array owning `values`: the vector moves into the array's capsule.
py::array_t<double> owning_array(std::vector<double>&& values) {
  auto owner = std::make_unique<std::vector<double>>(std::move(values));
  const auto size = static_cast<py::ssize_t>(owner->size());
  const double* data = owner->data();
  py::capsule base(owner.get(), [](void* p) { delete static_cast<std::vector<double>*>(p); });
  owner.release();  // the capsule owns it now
  py::array_t<double> array(size, data, base);
  py::setattr(array.attr("flags"), "writeable", py::bool_(false));
  return array;
}

// A read-only NumPy view of `values`, which `owner` keeps alive.
py::array_t<double> view(const std::vector<double>& values, py::handle owner) {
  py::array_t<double> array(static_cast<py::ssize_t>(values.size()), values.data(), owner);
  py::setattr(array.attr("flags"), "writeable", py::bool_(false));
  return array;
}

// An interferogram: its facts, and its samples in a read-only array that the facts' span
// views, so that a conversion reads them without the GIL.
struct Interferogram {
  values::Interferogram ig;
  py::array_t<double> samples;
};

Interferogram interferogram_of(driver::ReadOutcome&& read, std::vector<double>&& samples) {
  // The vector's buffer moves into the array as it is.
  const std::span<double> data(samples);
  Interferogram out{std::move(read.ig), owning_array(std::move(samples))};
  out.ig.samples = data;
  return out;
}

// The channel of an instrument file: "sample", "reference" or None (the file's choice).
std::optional<values::Channel> channel_of(const std::optional<std::string>& channel) {
  if (!channel) return std::nullopt;
  if (*channel == "sample") return values::Channel::kSample;
  if (*channel == "reference") return values::Channel::kReference;
  refuse_option("--channel", *channel, "is not sample or reference");
}

Interferogram read_file(const std::filesystem::path& path,
                        const std::optional<std::string>& channel) {
  const driver::ReadOptions options{channel_of(channel)};
  driver::ReadOutcome outcome;
  std::vector<double> samples;
  {
    py::gil_scoped_release nogil;
    outcome = driver::read_interferogram(path.string(), workspace(), options);
    // The one copy: out of this thread's storage, which the next read overwrites.
    if (!outcome.refused) samples.assign(outcome.ig.samples.begin(), outcome.ig.samples.end());
  }
  if (outcome.refused) throw RefusedError(outcome.refused->skip_text());
  return interferogram_of(std::move(outcome), std::move(samples));
}

// An interferogram from any 1-D array-like of numbers, refused as a file with the same
// samples would be.
Interferogram make_interferogram(const py::object& samples, std::optional<double> laser,
                                 const std::string& name, int scans) {
  if (scans != 1 && scans != 2) {
    throw py::value_error("scans: " + std::to_string(scans) + " is not 1 or 2");
  }
  using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;
  const Array array(samples);
  if (array.ndim() != 1) {
    throw py::value_error("samples: a 1-D array is needed, not " + std::to_string(array.ndim()) +
                          "-D");
  }
  if (laser) positive_number("--laser", *laser);
  const int n =
      array.size() > values::kCapacity ? values::kCapacity + 1 : static_cast<int>(array.size());
  if (n > values::kCapacity) {
    throw RefusedError(
        values::Refused{values::Refusal::kTooManyPoints, {}, values::kCapacity, n}.skip_text());
  }
  std::vector<double> copy(array.data(), array.data() + n);
  if (!std::all_of(copy.begin(), copy.end(), [](double v) { return std::isfinite(v); })) {
    throw RefusedError(values::Refused{values::Refusal::kNotFinite, {}, 0, 0}.skip_text());
  }
  driver::ReadOutcome made;
  made.ig.name = name.substr(0, name.find_last_not_of(' ') + 1);
  made.ig.declared_points = n;
  made.ig.laser = laser;
  made.ig.scans = scans;
  return interferogram_of(std::move(made), std::move(copy));
}

// The laser wavenumber an interferogram states, or infers from its X range (sampr 1).
std::optional<double> stated_laser(const values::Interferogram& ig) {
  if (ig.laser) return ig.laser;
  return spcfile::laser_from_x(ig.x, 1.0);
}

py::dict header_of(const values::Interferogram& ig) {
  py::dict header;
  header["declared_points"] = ig.declared_points;
  header["xinc"] = ig.xinc;
  header["spare1"] = ig.spare1;
  if (ig.sum) header["sum"] = *ig.sum;
  return header;
}

// What convert() is asked for, checked as the command line checks its options, with the
// command line's texts.
driver::ConversionSettings settings_of(const std::string& sides,
                                       const std::optional<std::string>& window,
                                       std::optional<double> res,
                                       std::optional<std::pair<double, double>> range,
                                       std::optional<double> laser, double sampr,
                                       std::optional<long long> points, bool no_res) {
  driver::ConversionSettings s;
  s.sides = static_cast<driver::Sides>(member("--sides", sides, kSideNames));
  // Window, resolution and range given (not None) stand over an instrument file's own.
  s.window_given = window.has_value();
  s.res_given = res.has_value();
  s.range_given = range.has_value();
  if (window) s.iapod = member("--window", *window, window_names());
  if (res) s.res = positive_number("--res", *res);
  const auto [low, high] = range.value_or(std::make_pair(s.wlow, s.whigh));
  if (!std::isfinite(low) || !std::isfinite(high) || low > high) {
    refuse_option("--range", report::shortest_text(low) + ":" + report::shortest_text(high),
                  "is not LOW:HIGH, two numbers in cm-1 with LOW not above HIGH");
  }
  s.wlow = low;
  s.whigh = high;
  if (laser) s.laser = positive_number("--laser", *laser);
  s.sampr = positive_number("--sampr", sampr);
  if (s.laser && !driver::usable_sample_spacing(*s.laser, s.sampr)) {
    refuse_option("--laser", report::shortest_text(*laser),
                  "with this --sampr gives no usable sample spacing");
  }
  if (points) {
    const long long n = *points;
    if (n < 2 || n > (1LL << 30) || (n & (n - 1)) != 0) {
      refuse_option("--points", std::to_string(n), "is not a power of two from 2 to 2^30");
    }
    while ((1LL << s.npow) < n) ++s.npow;
  }
  s.no_res = no_res;
  return s;
}

// The transform controls of convert(), each None unless given (None: the classic rule).
struct ControlArguments {
  std::optional<long long> zero_fill;
  std::optional<double> phase_resolution;
  std::optional<py::object> zpd;  // "max", "min", "abs" or a 1-based index
  std::optional<std::string> phase;
  std::optional<py::object> stored_phase;  // (first, step, angles) for phase="stored"
  std::optional<std::string> grid;
  std::optional<std::string> direction;
  std::optional<bool> two_scans;
};

// The value of a control given, or the command line's refusal of its text.
template <class T>
T taken(std::string_view option, const std::string& text, driver::FromText<T>&& parsed) {
  if (!parsed.value) refuse_option(option, text, parsed.refusal);
  return std::move(*parsed.value);
}

// The controls checked as the command line checks them, with its texts; a stored phase is
// read (or taken from the tuple given) once.
void set_controls(driver::ConversionSettings& s, const ControlArguments& c) {
  using transform::PhaseMode;
  if (c.zero_fill) {
    const std::string text = std::to_string(*c.zero_fill);
    s.zero_fill = taken("--zero-fill", text, driver::zero_fill_from_text(text));
  }
  if (c.phase_resolution) {
    s.phase_resolution = positive_number("--phase-resolution", *c.phase_resolution);
  }
  if (c.zpd) {
    // A string names a rule; an index is given as a number.
    const py::object& z = *c.zpd;
    const bool named_rule = py::isinstance<py::str>(z);
    const std::string text =
        named_rule ? z.cast<std::string>() : std::to_string(z.cast<long long>());
    driver::FromText<driver::Zpd> parsed = driver::zpd_from_text(text);
    if (named_rule && parsed.value && parsed.value->mode == driver::ZpdMode::kIndex) {
      parsed = driver::zpd_from_text("");
    }
    s.zpd = taken("--zpd", text, std::move(parsed));
  }
  if (c.phase) {
    const std::string& text = *c.phase;
    if (text == "stored" && c.stored_phase) {
      const auto [first, step, angles] =
          c.stored_phase->cast<std::tuple<double, double, std::vector<double>>>();
      auto stored = std::make_shared<values::StoredPhase>();
      stored->first = first;
      stored->step = step;
      stored->angle = angles;
      driver::PhaseChoice choice;
      choice.mode = PhaseMode::kStored;
      choice.stored = std::move(stored);
      s.phase = std::move(choice);
    } else {
      driver::FromText<driver::PhaseChoice> parsed = driver::phase_from_text(text);
      if (!parsed.value && !(text.starts_with("stored:") && text.size() > 7)) {
        parsed.refusal =
            "is not mertz, mertz-signed, power, magnitude, stored:FILE or stored with "
            "stored_phase=";
      }
      s.phase = taken("--phase", text, std::move(parsed));
    }
  }
  if (c.grid) s.grid = taken("--grid", *c.grid, driver::grid_from_text(*c.grid));
  if (c.direction) {
    s.direction = taken("--direction", *c.direction, driver::direction_from_text(*c.direction));
  }
  s.two_scans = c.two_scans;
}

// A converted spectrum; its arrays are views of it.
struct Spectrum {
  driver::MemorySpectrum spectrum;
};

Spectrum convert(const py::object& source, const std::string& sides,
                 const std::optional<std::string>& window, std::optional<double> res,
                 std::optional<std::pair<double, double>> range, std::optional<double> laser,
                 double sampr, std::optional<long long> points, bool no_res,
                 const ControlArguments& controls, const std::optional<std::string>& ratio) {
  driver::ConversionSettings settings =
      settings_of(sides, window, res, range, laser, sampr, points, no_res);
  set_controls(settings, controls);
  if (ratio) {
    if (*ratio == "absorbance") {
      settings.ratio = driver::Ratio::kAbsorbance;
    } else if (*ratio == "transmittance") {
      settings.ratio = driver::Ratio::kTransmittance;
    } else {
      refuse_option("ratio", *ratio, "is not absorbance or transmittance");
    }
  }
  // Holds the samples of a plain array while the conversion reads them.
  std::optional<Interferogram> made;
  const Interferogram* ig = nullptr;
  if (py::isinstance<Interferogram>(source)) {
    ig = &source.cast<const Interferogram&>();
  } else {
    if (!laser) {
      throw py::value_error(
          "convert: a plain array needs laser=, the reference wavenumber in cm-1 (or make an "
          "Interferogram with its laser)");
    }
    made = make_interferogram(source, std::nullopt, "", 1);
    ig = &*made;
  }
  Spectrum out;
  {
    py::gil_scoped_release nogil;
    out.spectrum = driver::convert_in_memory(ig->ig, settings, workspace());
  }
  const driver::FileStatus status = out.spectrum.record.status;
  if (status != driver::FileStatus::kConverted && status != driver::FileStatus::kCounted) {
    throw RefusedError(out.spectrum.record.reason);
  }
  return out;
}

py::dict record_of(const driver::FileRecord& r) {
  using driver::FileStatus;
  using driver::Side;
  py::dict d;
  d["input"] = r.input;
  d["npts"] = r.npts;
  d["jmax"] = r.jmax;
  d["side"] = r.side == Side::kSingle   ? py::object(py::str("single"))
              : r.side == Side::kDouble ? py::object(py::str("double"))
                                        : py::object(py::none());
  d["window"] = r.iapod >= 0 && r.iapod < static_cast<int>(window_names().size())
                    ? std::string(window_names()[static_cast<std::size_t>(r.iapod)])
                    : std::string();
  d["res_requested"] = r.res_requested;
  d["res"] = r.res;
  d["lnum"] = r.lnum;
  d["points_written"] = r.points_written;
  d["first_x"] = r.first_x;
  d["last_x"] = r.last_x;
  d["energy"] = r.energy;
  d["peak"] = r.peak;
  d["status"] = r.status == FileStatus::kConverted ? "converted"
                : r.status == FileStatus::kCounted ? "counted"
                : r.status == FileStatus::kSkipped ? "skipped"
                                                   : "stopped";
  d["reason"] = r.reason;
  d["scans"] = r.scans;
  d["jmax_forward"] = r.jmax_forward;
  d["jmax_backward"] = r.jmax_backward;
  d["energy_forward"] = r.energy_forward;
  d["energy_backward"] = r.energy_backward;
  d["scan_difference"] =
      r.scan_difference ? py::object(py::float_(*r.scan_difference)) : py::object(py::none());
  d["scans_differ"] = r.scans_differ;
  if (r.instrument) {
    const driver::InstrumentUsed& u = *r.instrument;
    py::dict i;
    i["format"] = u.format;
    i["block"] = u.block;
    i["output"] = u.output;
    i["window"] = u.window;
    i["phase"] = u.phase;
    i["phase_resolution"] = u.phase_resolution;
    i["resolution"] = u.resolution;
    i["zero_fill"] = u.zero_fill;
    i["transform_points"] = u.transform_points;
    i["phase_points"] = u.phase_points;
    i["laser"] = u.laser;
    i["nyquist"] = u.nyquist;
    i["nonlinearity"] = u.nonlinearity;
    i["range"] = py::make_tuple(u.low, u.high);
    i["grid_step"] = r.grid_step;
    i["sample"] = u.sample_name;
    i["measured"] = u.measured.empty() ? py::object(py::none()) : py::object(py::str(u.measured));
    i["contents"] = u.contents;
    i["given"] = u.replaced;
    if (u.check_block.empty()) {
      i["check"] = py::none();
    } else {
      py::dict check;
      check["block"] = u.check_block;
      check["median"] = u.check_median;
      check["p95"] = u.check_p95;
      check["scale"] = u.check_scale;
      i["check"] = check;
    }
    d["instrument"] = i;
  } else {
    d["instrument"] = py::none();
  }
  return d;
}

void write_spc(const Spectrum& s, const std::filesystem::path& path) {
  if (s.spectrum.record.status != driver::FileStatus::kConverted) {
    throw py::value_error(
        "write_spc: nothing to write: the conversion only counted the points "
        "(no_res without points)");
  }
  py::gil_scoped_release nogil;
  driver::write_spectrum_spc(s.spectrum, path.string(), report::SystemClock{});
}

}  // namespace
}  // namespace ftir::python

PYBIND11_MODULE(ftir_reduce, m) {
  using namespace ftir::python;
  using ftir::python::Interferogram;
  using ftir::python::Spectrum;
  m.doc() =
      "FTIR interferograms to spectra with the ftir-reduce engine: read(), Interferogram(), "
      "convert(), Spectrum.write_spc().";

  py::register_local_exception<RefusedError>(m, "RefusedError", PyExc_ValueError).doc() =
      "A file or interferogram the converter refuses; the message is the command line's skip "
      "reason. A subclass of ValueError.";
  // The one stop this module can meet: a spectrum file that cannot be written.
  py::register_local_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const ftir::report::RunStop& s) {
      PyErr_SetString(PyExc_OSError, s.text().c_str());
    }
  });

  py::tuple windows(window_names().size());
  for (std::size_t i = 0; i < window_names().size(); ++i) {
    windows[i] = py::str(std::string(window_names()[i]));
  }
  m.attr("WINDOWS") = windows;

  py::class_<Interferogram>(m, "Interferogram",
                            "An interferogram: samples in file order and the header's facts.")
      .def(py::init(&make_interferogram), py::arg("samples"), py::arg("laser") = py::none(),
           py::arg("name") = "", py::arg("scans") = 1,
           "From any 1-D array-like of numbers (synthetic data); `laser` in cm-1; scans=2: a "
           "forward scan, then a backward one stored reversed, each half of the samples.")
      .def_property_readonly("scans", [](const Interferogram& i) { return i.ig.scans; })
      .def_property_readonly(
          "samples", [](const Interferogram& i) { return i.samples; }, "float64 array, read-only")
      .def_property_readonly("name", [](const Interferogram& i) { return i.ig.name; })
      .def_property_readonly("format", [](const Interferogram&) { return "spc"; })
      .def_property_readonly(
          "laser", [](const Interferogram& i) { return stated_laser(i.ig); },
          "cm-1: stated, or inferred from an X range of 0 to wref/2 cm-1; None when neither")
      .def_property_readonly("x_first", [](const Interferogram& i) { return i.ig.x.first; })
      .def_property_readonly("x_last", [](const Interferogram& i) { return i.ig.x.last; })
      .def_property_readonly("x_units", [](const Interferogram& i) { return i.ig.x.units; })
      .def_property_readonly("header", [](const Interferogram& i) { return header_of(i.ig); })
      .def("__len__", [](const Interferogram& i) { return i.ig.samples.size(); })
      .def("__repr__", [](const Interferogram& i) {
        return "<ftir_reduce.Interferogram '" + i.ig.name +
               "': " + std::to_string(i.ig.samples.size()) + " samples>";
      });

  py::class_<Spectrum>(m, "Spectrum", "A converted spectrum, as the command line writes it.")
      .def_property_readonly(
          "x", [](py::object self) { return view(self.cast<const Spectrum&>().spectrum.x, self); },
          "cm-1, float64, read-only")
      .def_property_readonly(
          "y", [](py::object self) { return view(self.cast<const Spectrum&>().spectrum.y, self); },
          "float64, read-only")
      .def_property_readonly("record",
                             [](const Spectrum& s) { return record_of(s.spectrum.record); })
      .def_property_readonly("wref", [](const Spectrum& s) { return s.spectrum.wref; })
      .def_property_readonly("title", [](const Spectrum& s) { return s.spectrum.title; })
      .def_property_readonly(
          "phase",
          [](const Spectrum& s) -> py::object {
            const ftir::driver::Curve& p = s.spectrum.record.phase;
            if (p.y.empty()) return py::none();
            return py::make_tuple(p.x_first, p.x_step, p.y);
          },
          "(first cm-1, step cm-1, angles in radians) of the phase removed, None when none "
          "was (magnitude); convert(phase=\"stored\", stored_phase=...) takes it back")
      .def("write_spc", &write_spc, py::arg("path"),
           "Writes the SPC file the command line writes, stamped with the local date and time.")
      .def("__repr__", [](const Spectrum& s) {
        return "<ftir_reduce.Spectrum '" + s.spectrum.record.input +
               "': " + std::to_string(s.spectrum.y.size()) + " points>";
      });

  m.def("read", &read_file, py::arg("path"), py::arg("channel") = py::none(),
        "Reads an interferogram file (SPC, OPUS or OMNIC SPA; channel=\"reference\" the "
        "reference interferogram of an instrument file); raises RefusedError with the reason "
        "it cannot be used.");
  // The defaults are the command line's, from the one description of a conversion's settings.
  const ftir::driver::ConversionSettings defaults;
  m.def(
      "convert",
      [](const py::object& source, const std::string& sides,
         const std::optional<std::string>& window, std::optional<double> res,
         std::optional<std::pair<double, double>> range, std::optional<double> laser, double sampr,
         std::optional<long long> points, bool no_res, std::optional<long long> zero_fill,
         std::optional<double> phase_resolution, std::optional<py::object> zpd,
         std::optional<std::string> phase, std::optional<py::object> stored_phase,
         std::optional<std::string> grid, std::optional<std::string> direction,
         std::optional<bool> two_scans, const std::optional<std::string>& ratio) {
        return convert(source, sides, window, res, range, laser, sampr, points, no_res,
                       {zero_fill, phase_resolution, std::move(zpd), std::move(phase),
                        std::move(stored_phase), std::move(grid), std::move(direction), two_scans},
                       ratio);
      },
      py::arg("interferogram"), py::kw_only(),
      py::arg("sides") = std::string(kSideNames[static_cast<std::size_t>(defaults.sides)]),
      py::arg("window") = py::none(), py::arg("res") = py::none(), py::arg("range") = py::none(),
      py::arg("laser") = py::none(), py::arg("sampr") = defaults.sampr,
      py::arg("points") = py::none(), py::arg("no_res") = defaults.no_res,
      py::arg("zero_fill") = py::none(), py::arg("phase_resolution") = py::none(),
      py::arg("zpd") = py::none(), py::arg("phase") = py::none(),
      py::arg("stored_phase") = py::none(), py::arg("grid") = py::none(),
      py::arg("direction") = py::none(), py::arg("two_scans") = py::none(),
      py::arg("ratio") = py::none(),
      "Converts an Interferogram (or a 1-D array with laser=) with the command line's "
      "options and defaults; raises RefusedError with the command line's skip reason. "
      "zero_fill, phase_resolution, zpd, phase, grid, direction and two_scans are the "
      "options of those names (None: the classic rule); phase=\"stored\" with "
      "stored_phase=(first, step, angles) takes a phase given as values. window, res and "
      "range left None take the command line's defaults (happ-genzel, 4, (400, 4000)), or "
      "for an instrument file its own parameters; ratio=\"absorbance\" or "
      "\"transmittance\" converts both channels of an instrument file read from its path "
      "and gives their ratio.");
}

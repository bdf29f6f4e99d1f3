// The Python module ftir_reduce: an interferogram read from a file (by its path, its bytes or
// a file object) or made from an array, converted in memory by the converter's own engine,
// the spectrum written as the command line writes it. The work runs with the GIL released,
// each thread in a working storage of its own.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "driver/batch.h"
#include "driver/file_record.h"
#include "driver/instrument.h"
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

// A file or an interferogram the engine refuses, or an option that cannot apply to it;
// Python sees RefusedError, a ValueError, carrying the command line's skip text.
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

// The arguments of a call by name, None where not given: the first `positional` may come by
// position, every one by keyword. Too many, unknown, repeated or missing ones raise the
// TypeError Python raises for its own functions, the argument named.
class Arguments {
 public:
  Arguments(std::string_view function, std::span<const std::string_view> names,
            std::size_t positional, std::size_t required, const py::args& args,
            const py::kwargs& kwargs)
      : function_(function), names_(names), values_(names.size(), py::none()),
        given_(names.size(), false) {
    if (args.size() > positional) {
      throw py::type_error(function_ + "() takes at most " + std::to_string(positional) +
                           " positional argument" + (positional == 1 ? "" : "s") + " (" +
                           std::to_string(args.size()) + " given)");
    }
    for (std::size_t i = 0; i < args.size(); ++i) set(i, args[i]);
    for (const auto& [key, value] : kwargs) {
      const std::string name = py::str(key);
      const auto found = std::find(names_.begin(), names_.end(), name);
      if (found == names_.end()) {
        throw py::type_error(function_ + "() got an unexpected keyword argument '" + name + "'");
      }
      set(static_cast<std::size_t>(found - names_.begin()),
          py::reinterpret_borrow<py::object>(value));
    }
    for (std::size_t i = 0; i < required; ++i) {
      if (!given_[i]) {
        throw py::type_error(function_ + "() missing required argument '" +
                             std::string(names_[i]) + "'");
      }
    }
  }

  // The value given for `name`, None when not given (or given as None).
  const py::object& operator[](std::string_view name) const { return values_[index(name)]; }

  // "<function>() argument '<name>' must be <what>, not <type>", as a TypeError.
  [[noreturn]] void wrong_type(std::string_view name, std::string_view what) const {
    throw py::type_error(function_ + "() argument '" + std::string(name) + "' must be " +
                         std::string(what) + ", not " + type_name((*this)[name]));
  }

  std::optional<double> number(std::string_view name) const {
    const py::object& v = (*this)[name];
    if (v.is_none()) return std::nullopt;
    if (PyBool_Check(v.ptr()) || py::isinstance<py::str>(v) || py::isinstance<py::bytes>(v)) {
      wrong_type(name, "a number");
    }
    const double d = PyFloat_AsDouble(v.ptr());
    if (d == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      wrong_type(name, "a number");
    }
    return d;
  }

  std::optional<long long> integer(std::string_view name) const {
    const py::object& v = (*this)[name];
    if (v.is_none()) return std::nullopt;
    if (PyBool_Check(v.ptr()) || !PyIndex_Check(v.ptr())) wrong_type(name, "an integer");
    const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(v.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0) {
      throw py::value_error(function_ + "() argument '" + std::string(name) + "': " +
                            py::str(v).cast<std::string>() + " is out of range");
    }
    return n;
  }

  std::optional<std::string> text(std::string_view name) const {
    const py::object& v = (*this)[name];
    if (v.is_none()) return std::nullopt;
    if (!py::isinstance<py::str>(v)) wrong_type(name, "a str");
    return v.cast<std::string>();
  }

  std::optional<bool> flag(std::string_view name) const {
    const py::object& v = (*this)[name];
    if (v.is_none()) return std::nullopt;
    // True, False, or what NumPy gives for them.
    if (!PyBool_Check(v.ptr()) && type_name(v) != "bool_") {
      wrong_type(name, "True or False");
    }
    return PyObject_IsTrue(v.ptr()) == 1;
  }

  static std::string type_name(const py::handle& value) {
    return py::str(value.get_type().attr("__name__")).cast<std::string>();
  }

 private:
  std::size_t index(std::string_view name) const {
    return static_cast<std::size_t>(std::find(names_.begin(), names_.end(), name) -
                                    names_.begin());
  }
  void set(std::size_t i, py::object value) {
    if (given_[i]) {
      throw py::type_error(function_ + "() got multiple values for argument '" +
                           std::string(names_[i]) + "'");
    }
    given_[i] = true;
    values_[i] = std::move(value);
  }

  std::string function_;
  std::span<const std::string_view> names_;
  std::vector<py::object> values_;
  std::vector<bool> given_;
};

// A path given where an interferogram is wanted: str or os.PathLike.
bool is_path(const py::handle& value) {
  return py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__");
}

std::string path_text(const py::handle& path) {
  return py::module_::import("os").attr("fsdecode")(path).cast<std::string>();
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
  // Laser fringes per sample spacing as the spectrum folds (laser / folding limit): the
  // file's, or what an Interferogram was made with; none for an SPC file.
  std::optional<double> folding;
  // The bytes an interferogram was read from when they were given rather than a path: a
  // ratio reads the reference channel from them again.
  std::shared_ptr<const std::string> bytes;
};

Interferogram interferogram_of(driver::ReadOutcome&& read, std::vector<double>&& samples) {
  // The vector's buffer moves into the array as it is.
  const std::span<double> data(samples);
  Interferogram out{std::move(read.ig), owning_array(std::move(samples)), std::nullopt, nullptr};
  out.ig.samples = data;
  return out;
}

// The folding an instrument file's grid follows, by the conversion's own rule; none for a
// file without instrument facts or whose facts give no grid.
std::optional<double> folding_of(const values::Interferogram& ig) {
  if (!ig.instrument) return std::nullopt;
  const driver::InstrumentPlan plan = driver::plan_instrument(ig, nullptr);
  if (!(plan.used.nyquist > 0.0)) return std::nullopt;
  return plan.used.laser / plan.used.nyquist;
}

// The channel of an instrument file: "sample", "reference" or None (the file's choice).
std::optional<values::Channel> channel_of(const std::optional<std::string>& channel) {
  if (!channel) return std::nullopt;
  if (*channel == "sample") return values::Channel::kSample;
  if (*channel == "reference") return values::Channel::kReference;
  refuse_option("--channel", *channel, "is not sample or reference");
}

Interferogram read_path(const std::string& path, std::optional<values::Channel> channel) {
  const driver::ReadOptions options{channel};
  driver::ReadOutcome outcome;
  std::vector<double> samples;
  {
    py::gil_scoped_release nogil;
    outcome = driver::read_interferogram(path, workspace(), options);
    // The one copy: out of this thread's storage, which the next read overwrites.
    if (!outcome.refused) samples.assign(outcome.ig.samples.begin(), outcome.ig.samples.end());
  }
  if (outcome.refused) throw RefusedError(outcome.refused->skip_text());
  Interferogram out = interferogram_of(std::move(outcome), std::move(samples));
  out.folding = folding_of(out.ig);
  return out;
}

// `text` with every `from` replaced by `to`.
std::string replaced(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); !from.empty() && at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Bytes in a temporary file of their own, removed when this goes: the readers read files.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string_view bytes) {
    const py::tuple made =
        py::module_::import("tempfile").attr("mkstemp")(py::arg("prefix") = "ftir_reduce-");
    py::module_::import("os").attr("close")(made[0]);
    path_ = made[1].cast<std::string>();
    std::ofstream out(path_, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::system_error(errno, std::generic_category(), path_);
  }
  ~TemporaryFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Reads an interferogram from bytes, named `name`: the file's refusal texts name it too.
Interferogram read_bytes(std::shared_ptr<const std::string> bytes, const std::string& name,
                         std::optional<values::Channel> channel) {
  const TemporaryFile file(*bytes);
  try {
    Interferogram out = read_path(file.path(), channel);
    out.ig.name = name;
    out.bytes = std::move(bytes);
    return out;
  } catch (const RefusedError& refused) {
    throw RefusedError(replaced(refused.what(), file.path(), name));
  }
}

// read(source, channel=None): a path, bytes (bytes, bytearray, memoryview) or a binary file
// object, whose name (when it has one) names the interferogram.
Interferogram read_any(const py::args& args, const py::kwargs& kwargs) {
  static constexpr std::array<std::string_view, 2> kNames = {"source", "channel"};
  const Arguments a("read", kNames, 2, 1, args, kwargs);
  const std::optional<values::Channel> channel = channel_of(a.text("channel"));
  py::object source = a["source"];
  if (is_path(source)) return read_path(path_text(source), channel);
  std::string name;
  if (py::hasattr(source, "read")) {
    if (py::isinstance(source, py::module_::import("io").attr("TextIOBase"))) {
      a.wrong_type("source", "a file opened for binary reading ('rb')");
    }
    if (py::hasattr(source, "name") && is_path(source.attr("name"))) {
      name = path_text(source.attr("name"));
    }
    source = source.attr("read")();
    if (!py::isinstance<py::bytes>(source)) {
      throw py::type_error("read() argument 'source': a file opened for binary reading ('rb') "
                           "is needed, not one that gives " + Arguments::type_name(source));
    }
  } else if (!py::isinstance<py::bytes>(source) && !PyByteArray_Check(source.ptr()) &&
             !PyMemoryView_Check(source.ptr())) {
    a.wrong_type("source", "a path, bytes or a binary file");
  }
  const auto data = py::reinterpret_steal<py::bytes>(PyObject_Bytes(source.ptr()));
  if (!data) throw py::error_already_set();
  return read_bytes(std::make_shared<const std::string>(data.cast<std::string>()), name, channel);
}

// An interferogram from any 1-D array-like of numbers, refused as a file with the same
// samples would be.
Interferogram make_interferogram(const py::object& samples, std::optional<double> laser,
                                 const std::string& name, long long scans,
                                 std::optional<double> folding) {
  if (scans != 1 && scans != 2) {
    throw py::value_error("scans: " + std::to_string(scans) + " is not 1 or 2");
  }
  if (is_path(samples) || py::isinstance<py::bytes>(samples)) {
    throw py::type_error("Interferogram() argument 'samples' must be a 1-D array of numbers, "
                         "not " + Arguments::type_name(samples) + " (a file: read(path) first)");
  }
  using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;
  Array array;
  try {
    array = Array(samples);
  } catch (const py::error_already_set& e) {
    throw py::type_error("Interferogram() argument 'samples' must be a 1-D array of numbers (" +
                         std::string(e.what()) + ")");
  }
  if (array.ndim() != 1) {
    throw py::value_error("samples: a 1-D array is needed, not " + std::to_string(array.ndim()) +
                          "-D");
  }
  if (laser) positive_number("--laser", *laser);
  if (folding) positive_number("folding", *folding);
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
  made.ig.scans = static_cast<int>(scans);
  Interferogram out = interferogram_of(std::move(made), std::move(copy));
  out.folding = folding;
  return out;
}

Interferogram make_interferogram_from(const py::args& args, const py::kwargs& kwargs) {
  static constexpr std::array<std::string_view, 5> kNames = {"samples", "laser", "name", "scans",
                                                              "folding"};
  const Arguments a("Interferogram", kNames, 5, 1, args, kwargs);
  return make_interferogram(a["samples"], a.number("laser"), a.text("name").value_or(""),
                            a.integer("scans").value_or(1), a.number("folding"));
}

// The parameters an instrument file states, under the names it stores them by (the
// transform length an OMNIC file states as transform_points): `params`, and the state a
// pickled interferogram keeps.
using values::InstrumentParameters;
struct ParameterField {
  std::string_view name;
  std::variant<std::optional<double> InstrumentParameters::*,
               std::optional<int> InstrumentParameters::*,
               std::optional<long long> InstrumentParameters::*, int InstrumentParameters::*,
               double InstrumentParameters::*, std::string InstrumentParameters::*>
      member;
};
const std::array<ParameterField, 23> kParameterFields = {{
    {"LWN", &InstrumentParameters::lwn}, {"HFL", &InstrumentParameters::hfl},
    {"LFL", &InstrumentParameters::lfl}, {"SSP", &InstrumentParameters::ssp},
    {"NPT", &InstrumentParameters::npt}, {"FXV", &InstrumentParameters::fxv},
    {"LXV", &InstrumentParameters::lxv}, {"CSF", &InstrumentParameters::csf},
    {"AQM", &InstrumentParameters::aqm}, {"PKL", &InstrumentParameters::pkl},
    {"APF", &InstrumentParameters::apf}, {"PHR", &InstrumentParameters::phr},
    {"PHZ", &InstrumentParameters::phz}, {"ZFF", &InstrumentParameters::zff},
    {"LFQ", &InstrumentParameters::lfq}, {"HFQ", &InstrumentParameters::hfq},
    {"RES", &InstrumentParameters::res}, {"NLI", &InstrumentParameters::nli},
    {"NLA", &InstrumentParameters::nla}, {"NLB", &InstrumentParameters::nlb},
    {"GFW", &InstrumentParameters::gfw}, {"GBW", &InstrumentParameters::gbw},
    {"transform_points", &InstrumentParameters::transform_points},
}};

py::dict params_of(const InstrumentParameters& p) {
  py::dict d;
  for (const ParameterField& f : kParameterFields) {
    const py::str key(std::string(f.name));
    std::visit(
        [&](auto member) {
          const auto& value = p.*member;
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::string>) {
            if (!value.empty()) d[key] = value;
          } else if constexpr (std::is_arithmetic_v<T>) {
            d[key] = value;
          } else {
            if (value) d[key] = *value;
          }
        },
        f.member);
  }
  return d;
}

InstrumentParameters params_from(const py::dict& d) {
  InstrumentParameters p;
  for (const ParameterField& f : kParameterFields) {
    const py::str key(std::string(f.name));
    if (!d.contains(key)) continue;
    const py::object value = d[key];
    std::visit(
        [&](auto member) {
          auto& field = p.*member;
          using T = std::decay_t<decltype(field)>;
          if constexpr (std::is_same_v<T, std::string> || std::is_arithmetic_v<T>) {
            field = value.cast<T>();
          } else {
            field = value.cast<typename T::value_type>();
          }
        },
        f.member);
  }
  return p;
}

// A stored curve as (x_first, x_last, y_scale, values) and back.
py::object curve_state(const std::optional<values::StoredCurve>& c) {
  if (!c) return py::none();
  return py::make_tuple(c->x_first, c->x_last, c->y_scale, c->values);
}

std::optional<values::StoredCurve> curve_from(const py::handle& state) {
  if (state.is_none()) return std::nullopt;
  const auto t = state.cast<py::tuple>();
  return values::StoredCurve{t[0].cast<double>(), t[1].cast<double>(), t[2].cast<double>(),
                             t[3].cast<std::vector<float>>()};
}

py::object measured_state(const std::optional<values::MeasuredAt>& m) {
  if (!m) return py::none();
  return py::make_tuple(m->year, m->month, m->day, m->hour, m->minute, m->second, m->zone);
}

py::list problems_state(const std::vector<values::ParameterProblem>& problems) {
  py::list out;
  for (const auto& p : problems) out.append(py::make_tuple(p.key, p.text));
  return out;
}

// What pickle keeps of an interferogram: its samples and every fact a conversion reads.
py::tuple interferogram_state(const Interferogram& i) {
  const values::Interferogram& g = i.ig;
  py::object instrument = py::none();
  if (g.instrument) {
    const values::Instrument& f = *g.instrument;
    instrument = py::make_tuple(
        static_cast<int>(f.channel), f.block, params_of(f.parameters), f.scans, f.scan_points,
        curve_state(f.sample_spectrum), curve_state(f.reference_spectrum),
        curve_state(f.absorbance), curve_state(f.transmittance), curve_state(f.sample_phase),
        f.sample_name, measured_state(f.measured), problems_state(f.parameters.problems));
  }
  const py::object bytes = i.bytes ? py::object(py::bytes(*i.bytes)) : py::object(py::none());
  return py::make_tuple(i.samples, g.name, static_cast<int>(g.format), g.sum, g.declared_points,
                        g.points_held, g.xinc, py::make_tuple(g.x.first, g.x.last, g.x.units),
                        g.laser, g.spare1, g.scans, instrument, i.folding, bytes);
}

Interferogram interferogram_from(const py::tuple& t) {
  const auto samples = t[0].cast<py::array_t<double, py::array::c_style | py::array::forcecast>>();
  std::vector<double> copy(samples.data(), samples.data() + samples.size());
  driver::ReadOutcome read;
  values::Interferogram& g = read.ig;
  g.name = t[1].cast<std::string>();
  g.format = static_cast<values::SourceFormat>(t[2].cast<int>());
  g.sum = t[3].cast<std::optional<double>>();
  g.declared_points = t[4].cast<int>();
  g.points_held = t[5].cast<int>();
  g.xinc = t[6].cast<double>();
  const auto x = t[7].cast<py::tuple>();
  g.x = {x[0].cast<double>(), x[1].cast<double>(), x[2].cast<int>()};
  g.laser = t[8].cast<std::optional<double>>();
  g.spare1 = t[9].cast<double>();
  g.scans = t[10].cast<int>();
  if (!t[11].is_none()) {
    const auto s = t[11].cast<py::tuple>();
    auto f = std::make_shared<values::Instrument>();
    f->channel = static_cast<values::Channel>(s[0].cast<int>());
    f->block = s[1].cast<std::string>();
    f->parameters = params_from(s[2].cast<py::dict>());
    f->scans = s[3].cast<int>();
    f->scan_points = s[4].cast<int>();
    f->sample_spectrum = curve_from(s[5]);
    f->reference_spectrum = curve_from(s[6]);
    f->absorbance = curve_from(s[7]);
    f->transmittance = curve_from(s[8]);
    f->sample_phase = curve_from(s[9]);
    f->sample_name = s[10].cast<std::string>();
    if (!s[11].is_none()) {
      const auto m = s[11].cast<std::tuple<int, int, int, int, int, int, std::string>>();
      f->measured = values::MeasuredAt{std::get<0>(m), std::get<1>(m), std::get<2>(m),
                                       std::get<3>(m), std::get<4>(m), std::get<5>(m),
                                       std::get<6>(m)};
    }
    for (const auto& [key, text] : s[12].cast<std::vector<std::pair<std::string, std::string>>>()) {
      f->parameters.problems.push_back({key, text});
    }
    g.instrument = std::move(f);
  }
  Interferogram out = interferogram_of(std::move(read), std::move(copy));
  out.folding = t[12].cast<std::optional<double>>();
  if (!t[13].is_none()) out.bytes = std::make_shared<const std::string>(t[13].cast<std::string>());
  return out;
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

// The keywords of convert(), after the interferogram.
constexpr std::array<std::string_view, 18> kConvertNames = {
    "interferogram", "sides",  "window",           "res",   "range",        "laser",
    "sampr",         "points", "no_res",           "zero_fill", "phase_resolution", "zpd",
    "phase",         "stored_phase", "grid",       "direction", "two_scans", "ratio"};

// `range=`: (low, high), any sequence of two numbers.
std::optional<std::pair<double, double>> range_of(const Arguments& a) {
  const py::object& v = a["range"];
  if (v.is_none()) return std::nullopt;
  if (py::isinstance<py::str>(v) || !py::isinstance<py::sequence>(v) || py::len(v) != 2) {
    a.wrong_type("range", "(low, high)");
  }
  try {
    return std::make_pair(v[py::int_(0)].cast<double>(), v[py::int_(1)].cast<double>());
  } catch (const py::cast_error&) {
    a.wrong_type("range", "(low, high), two numbers");
  }
}

// What convert() is asked for, checked as the command line checks its options, with the
// command line's texts. `sampr` left None is what the interferogram's folding implies (a
// spectrum folding at laser / folding is one sampled at 2 / folding samples a fringe), else 1.
driver::ConversionSettings settings_of(const Arguments& a, std::optional<double> folding) {
  driver::ConversionSettings s;
  const std::optional<std::string> sides = a.text("sides");
  if (sides) s.sides = static_cast<driver::Sides>(member("--sides", *sides, kSideNames));
  const std::optional<std::string> window = a.text("window");
  const std::optional<double> res = a.number("res");
  const std::optional<std::pair<double, double>> range = range_of(a);
  const std::optional<double> laser = a.number("laser");
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
  s.sampr = positive_number("--sampr", a.number("sampr").value_or(folding ? 2.0 / *folding
                                                                          : s.sampr));
  if (s.laser && !driver::usable_sample_spacing(*s.laser, s.sampr)) {
    refuse_option("--laser", report::shortest_text(*laser),
                  "with this --sampr gives no usable sample spacing");
  }
  if (const std::optional<long long> points = a.integer("points")) {
    const long long n = *points;
    if (n < 2 || n > (1LL << 30) || (n & (n - 1)) != 0) {
      refuse_option("--points", std::to_string(n), "is not a power of two from 2 to 2^30");
    }
    while ((1LL << s.npow) < n) ++s.npow;
  }
  s.no_res = a.flag("no_res").value_or(s.no_res);
  return s;
}

// The value of a control given, or the command line's refusal of its text.
template <class T>
T taken(std::string_view option, const std::string& text, driver::FromText<T>&& parsed) {
  if (!parsed.value) refuse_option(option, text, parsed.refusal);
  return std::move(*parsed.value);
}

// The transform controls (each None unless given: the classic rule) checked as the command
// line checks them, with its texts; a stored phase is taken from the tuple given.
void set_controls(driver::ConversionSettings& s, const Arguments& a) {
  using transform::PhaseMode;
  if (const std::optional<long long> zero_fill = a.integer("zero_fill")) {
    const std::string text = std::to_string(*zero_fill);
    s.zero_fill = taken("--zero-fill", text, driver::zero_fill_from_text(text));
  }
  if (const std::optional<double> phr = a.number("phase_resolution")) {
    s.phase_resolution = positive_number("--phase-resolution", *phr);
  }
  if (const py::object& z = a["zpd"]; !z.is_none()) {
    // A string names a rule; an index is given as a number.
    const bool named_rule = py::isinstance<py::str>(z);
    if (!named_rule && (PyBool_Check(z.ptr()) || !PyIndex_Check(z.ptr()))) {
      a.wrong_type("zpd", "'max', 'min', 'abs' or a 1-based index");
    }
    const std::string text = named_rule ? z.cast<std::string>() : std::to_string(*a.integer("zpd"));
    driver::FromText<driver::Zpd> parsed = driver::zpd_from_text(text);
    if (named_rule && parsed.value && parsed.value->mode == driver::ZpdMode::kIndex) {
      parsed = driver::zpd_from_text("");
    }
    s.zpd = taken("--zpd", text, std::move(parsed));
  }
  const std::optional<std::string> phase = a.text("phase");
  const py::object& stored_phase = a["stored_phase"];
  if (!stored_phase.is_none() && phase != "stored") {
    throw py::value_error("convert() argument 'stored_phase' is taken only with phase=\"stored\"");
  }
  if (phase == "stored" && !stored_phase.is_none()) {
    std::tuple<double, double, std::vector<double>> given;
    try {
      given = stored_phase.cast<std::tuple<double, double, std::vector<double>>>();
    } catch (const py::cast_error&) {
      a.wrong_type("stored_phase", "(first, step, angles), as Spectrum.phase gives it");
    }
    auto stored = std::make_shared<values::StoredPhase>();
    stored->first = std::get<0>(given);
    stored->step = std::get<1>(given);
    stored->angle = std::move(std::get<2>(given));
    driver::PhaseChoice choice;
    choice.mode = PhaseMode::kStored;
    choice.stored = std::move(stored);
    s.phase = std::move(choice);
  } else if (phase) {
    const std::string& text = *phase;
    driver::FromText<driver::PhaseChoice> parsed = driver::phase_from_text(text);
    if (!parsed.value && !(text.starts_with("stored:") && text.size() > 7)) {
      parsed.refusal =
          "is not mertz, mertz-signed, power, magnitude, stored:FILE or stored with "
          "stored_phase=";
    }
    s.phase = taken("--phase", text, std::move(parsed));
  }
  if (const std::optional<std::string> grid = a.text("grid")) {
    s.grid = taken("--grid", *grid, driver::grid_from_text(*grid));
  }
  if (const std::optional<std::string> direction = a.text("direction")) {
    s.direction = taken("--direction", *direction, driver::direction_from_text(*direction));
  }
  s.two_scans = a.flag("two_scans");
  if (const std::optional<std::string> ratio = a.text("ratio")) {
    if (*ratio == "absorbance") {
      s.ratio = driver::Ratio::kAbsorbance;
    } else if (*ratio == "transmittance") {
      s.ratio = driver::Ratio::kTransmittance;
    } else {
      refuse_option("ratio", *ratio, "is not absorbance or transmittance");
    }
  }
}

// A converted spectrum; its arrays are views of it.
struct Spectrum {
  driver::MemorySpectrum spectrum;
};

Spectrum convert(const py::args& args, const py::kwargs& kwargs) {
  const Arguments a("convert", kConvertNames, 1, 1, args, kwargs);
  const py::object& source = a["interferogram"];
  if (is_path(source) || py::isinstance<py::bytes>(source)) {
    throw py::type_error(
        "convert() takes an Interferogram or an array of samples, not a path: read(path) first");
  }
  // Holds the samples of a plain array while the conversion reads them.
  std::optional<Interferogram> made;
  const Interferogram* ig = nullptr;
  if (py::isinstance<Interferogram>(source)) {
    ig = &source.cast<const Interferogram&>();
  } else {
    if (a["laser"].is_none()) {
      throw py::value_error(
          "convert: a plain array needs laser=, the reference wavenumber in cm-1 (or make an "
          "Interferogram with its laser)");
    }
    made = make_interferogram(source, std::nullopt, "", 1, std::nullopt);
    ig = &*made;
  }
  driver::ConversionSettings settings = settings_of(a, ig->folding);
  set_controls(settings, a);
  // A ratio reads the reference channel from the file again: from the bytes given, when
  // the interferogram came from bytes.
  std::optional<TemporaryFile> file;
  values::Interferogram renamed;
  const values::Interferogram* facts = &ig->ig;
  if (settings.ratio != driver::Ratio::kNone && ig->bytes) {
    file.emplace(*ig->bytes);
    renamed = ig->ig;
    renamed.name = file->path();
    facts = &renamed;
  }
  Spectrum out;
  {
    py::gil_scoped_release nogil;
    out.spectrum = driver::convert_in_memory(*facts, settings, workspace());
  }
  driver::FileRecord& record = out.spectrum.record;
  if (file) {
    record.input = ig->ig.name;
    record.reason = replaced(record.reason, file->path(), ig->ig.name);
  }
  if (record.status != driver::FileStatus::kConverted &&
      record.status != driver::FileStatus::kCounted) {
    throw RefusedError(record.reason);
  }
  return out;
}

py::object none_if_zero(int jmax, double figure) {
  return jmax == 0 ? py::object(py::none()) : py::object(py::float_(figure));
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
  // A record of one scan has the forward direction's figures only (its own); a direction
  // not converted has none.
  const bool one = r.scans == 1;
  const int jmax_forward = one ? r.jmax : r.jmax_forward;
  d["jmax_forward"] = jmax_forward == 0 ? py::object(py::none()) : py::object(py::int_(jmax_forward));
  d["jmax_backward"] =
      one || r.jmax_backward == 0 ? py::object(py::none()) : py::object(py::int_(r.jmax_backward));
  d["energy_forward"] = none_if_zero(jmax_forward, one ? r.energy : r.energy_forward);
  d["energy_backward"] = none_if_zero(one ? 0 : r.jmax_backward, r.energy_backward);
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
    // (part, the instrument's default taken) for each part the file does not state.
    py::list not_stated;
    for (const auto& n : u.not_stated) not_stated.append(py::make_tuple(n.part, n.value));
    i["not_stated"] = not_stated;
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

// The record record_of() showed, back (for a pickled spectrum).
driver::FileRecord record_from(const py::dict& d, int y_units) {
  using driver::FileStatus;
  using driver::Side;
  driver::FileRecord r;
  r.input = d["input"].cast<std::string>();
  r.npts = d["npts"].cast<int>();
  r.jmax = d["jmax"].cast<int>();
  const py::object side = d["side"];
  r.side = side.is_none()                        ? Side::kNone
           : side.cast<std::string>() == "single" ? Side::kSingle
                                                  : Side::kDouble;
  const std::string window = d["window"].cast<std::string>();
  const auto names = window_names();
  r.iapod = static_cast<int>(std::find(names.begin(), names.end(), window) - names.begin());
  r.res_requested = d["res_requested"].cast<double>();
  r.res = d["res"].cast<double>();
  r.lnum = d["lnum"].cast<int>();
  r.points_written = d["points_written"].cast<int>();
  r.first_x = d["first_x"].cast<double>();
  r.last_x = d["last_x"].cast<double>();
  r.energy = d["energy"].cast<double>();
  r.peak = d["peak"].cast<double>();
  const std::string status = d["status"].cast<std::string>();
  r.status = status == "converted" ? FileStatus::kConverted
             : status == "counted" ? FileStatus::kCounted
             : status == "skipped" ? FileStatus::kSkipped
                                   : FileStatus::kStopped;
  r.reason = d["reason"].cast<std::string>();
  r.scans = d["scans"].cast<int>();
  r.jmax_forward = d["jmax_forward"].cast<std::optional<int>>().value_or(0);
  r.jmax_backward = d["jmax_backward"].cast<std::optional<int>>().value_or(0);
  r.energy_forward = d["energy_forward"].cast<std::optional<double>>().value_or(0.0);
  r.energy_backward = d["energy_backward"].cast<std::optional<double>>().value_or(0.0);
  r.scan_difference = d["scan_difference"].cast<std::optional<double>>();
  r.scans_differ = d["scans_differ"].cast<bool>();
  if (const py::object i = d["instrument"]; !i.is_none()) {
    driver::InstrumentUsed u;
    u.format = i["format"].cast<std::string>();
    u.block = i["block"].cast<std::string>();
    u.output = i["output"].cast<std::string>();
    u.y_units = y_units;
    u.window = i["window"].cast<std::string>();
    u.phase = i["phase"].cast<std::string>();
    u.phase_resolution = i["phase_resolution"].cast<double>();
    u.resolution = i["resolution"].cast<double>();
    u.zero_fill = i["zero_fill"].cast<int>();
    u.transform_points = i["transform_points"].cast<int>();
    u.phase_points = i["phase_points"].cast<int>();
    u.laser = i["laser"].cast<double>();
    u.nyquist = i["nyquist"].cast<double>();
    u.nonlinearity = i["nonlinearity"].cast<bool>();
    std::tie(u.low, u.high) = i["range"].cast<std::pair<double, double>>();
    r.grid_step = i["grid_step"].cast<double>();
    u.sample_name = i["sample"].cast<std::string>();
    u.measured = i["measured"].cast<std::optional<std::string>>().value_or("");
    u.contents = i["contents"].cast<std::string>();
    u.replaced = i["given"].cast<std::vector<std::string>>();
    for (const auto& [part, value] :
         i["not_stated"].cast<std::vector<std::pair<std::string, std::string>>>()) {
      u.not_stated.push_back({part, value});
    }
    if (const py::object check = i["check"]; !check.is_none()) {
      u.check_block = check["block"].cast<std::string>();
      u.check_median = check["median"].cast<double>();
      u.check_p95 = check["p95"].cast<double>();
      u.check_scale = check["scale"].cast<double>();
    }
    r.instrument = u;
  }
  return r;
}

// The SPC Y-unit code the spectrum is written with: 0 (arbitrary, a single channel),
// 2 (absorbance) or 128 (transmittance).
int y_units(const driver::MemorySpectrum& s) {
  return s.record.instrument ? s.record.instrument->y_units : 0;
}

py::object phase_of(const driver::FileRecord& r) {
  const driver::Curve& p = r.phase;
  if (p.y.empty()) return py::none();
  return py::make_tuple(p.x_first, p.x_step, p.y);
}

// What pickle keeps of a spectrum: the points, the record and the header fields.
py::tuple spectrum_state(const Spectrum& s) {
  const driver::MemorySpectrum& m = s.spectrum;
  return py::make_tuple(record_of(m.record), m.x, m.y, m.wref, m.title, m.spare1,
                        phase_of(m.record), y_units(m), m.name);
}

Spectrum spectrum_from(const py::tuple& t) {
  Spectrum s;
  driver::MemorySpectrum& m = s.spectrum;
  m.record = record_from(t[0].cast<py::dict>(), t[7].cast<int>());
  m.x = t[1].cast<std::vector<double>>();
  m.y = t[2].cast<std::vector<double>>();
  m.wref = t[3].cast<double>();
  m.title = t[4].cast<std::string>();
  m.spare1 = t[5].cast<double>();
  m.name = t[8].cast<std::string>();
  if (!t[6].is_none()) {
    const auto p = t[6].cast<std::tuple<double, double, std::vector<double>>>();
    m.record.phase = {std::get<0>(p), std::get<1>(p), std::get<2>(p)};
  }
  return s;
}

void write_spc(const Spectrum& s, const std::filesystem::path& path) {
  if (s.spectrum.record.status != driver::FileStatus::kConverted) {
    throw py::value_error(
        "write_spc: nothing to write: the conversion only counted the points "
        "(no_res without points)");
  }
  py::gil_scoped_release nogil;
  // A folder gets the file under the name the command line gives it there.
  std::filesystem::path target = path;
  std::error_code ec;
  if (!s.spectrum.name.empty() && std::filesystem::is_directory(path, ec)) {
    target /= s.spectrum.name;
  }
  // As the command line: an interferogram or instrument file under that name is kept.
  if (std::optional<std::string> why = driver::not_a_spectrum(target.string())) {
    throw RefusedError("write_spc: " + *why);
  }
  driver::write_spectrum_spc(s.spectrum, target.string(), report::SystemClock{});
}

// The format of an interferogram's file, as Python names it.
const char* format_name(values::SourceFormat f) {
  switch (f) {
    case values::SourceFormat::kOpus:
      return "opus";
    case values::SourceFormat::kOmnic:
      return "omnic";
    case values::SourceFormat::kSpc:
      break;
  }
  return "spc";
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
  m.attr("__version__") = FTIR_VERSION;

  py::register_local_exception<RefusedError>(m, "RefusedError", PyExc_ValueError).doc() =
      "A file or interferogram the converter refuses, or an option that cannot apply to it; "
      "the message is the command line's skip reason. A subclass of ValueError.";
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
      .def(py::init(&make_interferogram_from),
           "Interferogram(samples, laser=None, name=\"\", scans=1, folding=None): from any "
           "1-D array-like of numbers; `laser` in cm-1; scans=2: a forward scan, then a "
           "backward one stored reversed, each half of the samples; `folding`: laser fringes "
           "per sample spacing as an instrument file's `folding` states it (its samples then "
           "convert onto the file's wavenumbers).")
      .def_property_readonly(
          "scans",
          [](const Interferogram& i) {
            return i.ig.instrument ? i.ig.instrument->scans : i.ig.scans;
          },
          "1, or 2 for a forward and a backward scan in one record")
      .def_property_readonly(
          "samples", [](const Interferogram& i) { return i.samples; }, "float64 array, read-only")
      .def_property_readonly("name", [](const Interferogram& i) { return i.ig.name; })
      .def_property_readonly(
          "format", [](const Interferogram& i) { return format_name(i.ig.format); },
          "\"spc\", \"opus\" or \"omnic\"")
      .def_property_readonly(
          "laser", [](const Interferogram& i) { return stated_laser(i.ig); },
          "cm-1: stated, or inferred from an X range of 0 to wref/2 cm-1; None when neither")
      .def_property_readonly(
          "folding", [](const Interferogram& i) { return i.folding; },
          "laser / folding limit of an instrument file (its undersampling; OPUS LWN/HFL or "
          "SSP), or what the Interferogram was made with; None for an SPC file")
      .def_property_readonly(
          "params",
          [](const Interferogram& i) {
            return i.ig.instrument ? params_of(i.ig.instrument->parameters) : py::dict();
          },
          "the parameters an instrument file states, by their names (LWN, APF, ZFF, ...); "
          "empty for an SPC file")
      .def_property_readonly("x_first", [](const Interferogram& i) { return i.ig.x.first; })
      .def_property_readonly("x_last", [](const Interferogram& i) { return i.ig.x.last; })
      .def_property_readonly("x_units", [](const Interferogram& i) { return i.ig.x.units; })
      .def_property_readonly("header", [](const Interferogram& i) { return header_of(i.ig); })
      .def("__len__", [](const Interferogram& i) { return i.ig.samples.size(); })
      .def("__copy__", [](const Interferogram& i) { return Interferogram(i); })
      .def("__deepcopy__", [](const Interferogram& i, const py::object&) { return Interferogram(i); })
      .def(py::pickle(&interferogram_state, &interferogram_from))
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
      .def_property_readonly(
          "title",
          [](const Spectrum& s) {
            // The SPC comment holds single-byte (Latin-1) text, as a sample name gives it.
            const std::string& t = s.spectrum.title;
            const std::size_t n = t.find_last_not_of(' ') + 1;
            return py::reinterpret_steal<py::str>(
                PyUnicode_DecodeLatin1(t.data(), static_cast<Py_ssize_t>(n), nullptr));
          },
          "the SPC comment it is written with, without the blanks that pad it")
      .def_property_readonly(
          "y_units", [](const Spectrum& s) { return y_units(s.spectrum); },
          "the SPC Y-unit code it is written with: 0 arbitrary, 2 absorbance, 128 "
          "transmittance")
      .def_property_readonly(
          "phase", [](const Spectrum& s) { return phase_of(s.spectrum.record); },
          "(first cm-1, step cm-1, angles in radians) of the phase removed, None when none "
          "was (magnitude); convert(phase=\"stored\", stored_phase=...) takes it back")
      .def_property_readonly(
          "output_name", [](const Spectrum& s) { return s.spectrum.name; },
          "the name the command line gives this spectrum's file (\"test.0000.absorbance.spc\"), "
          "\"\" for an interferogram made from an array")
      .def("write_spc", &write_spc, py::arg("path"),
           "Writes the SPC file the command line writes, stamped with the local date and time; "
           "into a folder under output_name. An interferogram or instrument file under that "
           "name is not replaced (RefusedError).")
      .def("__copy__", [](const Spectrum& s) { return Spectrum(s); })
      .def("__deepcopy__", [](const Spectrum& s, const py::object&) { return Spectrum(s); })
      .def(py::pickle(&spectrum_state, &spectrum_from))
      .def("__repr__", [](const Spectrum& s) {
        return "<ftir_reduce.Spectrum '" + s.spectrum.record.input +
               "': " + std::to_string(s.spectrum.y.size()) + " points>";
      });

  m.def("read", &read_any,
        "read(source, channel=None): an Interferogram from an interferogram file (SPC, OPUS "
        "or OMNIC SPA), given as a path, as bytes or as a binary file object; "
        "channel=\"reference\" the reference interferogram of an instrument file. Raises "
        "RefusedError with the reason it cannot be used.");
  m.def("convert", &convert,
        "convert(interferogram, *, sides=\"auto\", window=None, res=None, range=None, "
        "laser=None, sampr=None, points=None, no_res=False, zero_fill=None, "
        "phase_resolution=None, zpd=None, phase=None, stored_phase=None, grid=None, "
        "direction=None, two_scans=None, ratio=None)\n\n"
        "Converts an Interferogram (or a 1-D array with laser=) with the command line's "
        "options and defaults; raises RefusedError with the command line's skip reason. "
        "zero_fill, phase_resolution, zpd, phase, grid, direction and two_scans are the "
        "options of those names (None: the classic rule); phase=\"stored\" with "
        "stored_phase=(first, step, angles) takes a phase given as values. window, res and "
        "range left None take the command line's defaults (happ-genzel, 4, (400, 4000)), or "
        "for an instrument file its own parameters; sampr left None is 2 / folding for an "
        "interferogram with a folding, else 1; ratio=\"absorbance\" or \"transmittance\" "
        "converts both channels of an instrument file and gives their ratio.");
}

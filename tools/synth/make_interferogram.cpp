// make-interferogram: writes a synthetic interferogram of a described source spectrum as an
// SPC file, for trying the converter on data whose answer is known.
#include <charconv>
#include <cstdio>
#include <exception>
#include <new>
#include <ctime>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "synth/interferogram.h"

namespace {

using ftir::synth::SynthError;

constexpr std::string_view kHelp = R"(Usage: make-interferogram [OPTION]... -o FILE

Writes a synthetic FTIR interferogram as an SPC file. The source spectrum is a smooth
broadband envelope with absorption lines; the phase is a sampling offset plus dispersion.
Sample j lies (j - center) * xstep from the centerburst, xstep = 1 / (sampr * wref) cm, and
the spectrum spans 0 .. fmax = 1 / (2 * xstep) cm-1. X in the file runs from 0 to fmax, as
instruments store interferograms (the converter does not use it).

Record:
  --points N            samples in the record (default 16384)
  --center N            samples before the centerburst, i.e. its 0-based index
                        (default 1024; with --double, points/2 - 1)
  --double              double-sided record: the centerburst in the middle
  --sampr F             samples per reference-laser fringe (default 1)
  --wref F              reference wavenumber in cm-1 (default 15800.823)
Source spectrum:
  --envelope LO:HI      band in cm-1; zero outside, smooth edges (default 400:4000)
  --shape NAME          envelope shape: planck (blackbody, default), gauss, flat
  --temperature K       blackbody temperature for --shape planck (default 1300)
  --line NU:FWHM:DEPTH[:SHAPE]
                        absorption line at NU cm-1, full width FWHM cm-1, taking away
                        DEPTH (0..1) of the light at its centre; SHAPE lorentz (default)
                        or gauss. Repeat for more lines.
Phase:
  --offset F            zero path difference lies F samples after the centre sample
                        (|F| < 0.5 keeps the nearest sample there; default 0); should
                        dispersion move the burst's largest sample off --center, the
                        record is shifted by whole samples to put it back
  --dispersion F        quadratic phase F * (nu - band middle)^2, rad/(cm-1)^2 (default 0)
Amplitude:
  --peak F              value of the centerburst before DC and noise (default 10000;
                        negative for a negative-going centerburst)
  --dc F                DC offset added to every sample (default 0)
  --noise F             Gaussian noise, standard deviation F * |peak| (default 0)
  --seed N              seed of the noise (default 1)
File:
  --format new|old      new (0x4B, 512-byte header) or old (0x4D, 256-byte header);
                        default new
  --bits 16|32          integer sample width (default 32)
  --float               IEEE f32 samples, exponent -128 (new format only)
  --comment TEXT        header comment (default: a description of the source)
  --date YYYY-MM-DDTHH:MM
                        date stamp (default: now, local time)
  -o, --output FILE     file to write (required)
  -h, --help            show this text

Example:
  make-interferogram --points 16384 --center 1024 --envelope 400:4000 \
    --line 1600:4:0.5 --line 2900:8:0.3 --offset 0.3 --dispersion 1e-7 \
    --noise 1e-4 --seed 7 --format old --bits 32 -o sample.spc
)";

[[noreturn]] void fail(const std::string& what) { throw SynthError(what); }

double to_double(std::string_view text, std::string_view option) {
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    fail(std::string(option) + " needs a number, not '" + std::string(text) + "'");
  }
  return value;
}

long long to_integer(std::string_view text, std::string_view option) {
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    fail(std::string(option) + " needs a whole number, not '" + std::string(text) + "'");
  }
  return value;
}

int to_int(std::string_view text, std::string_view option) {
  const long long value = to_integer(text, option);
  if (value < -2147483647LL || value > 2147483647LL) fail(std::string(option) + " is out of range");
  return static_cast<int>(value);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

ftir::synth::Line parse_line(std::string_view text) {
  const auto parts = split(text, ':');
  if (parts.size() != 3 && parts.size() != 4) fail("--line needs NU:FWHM:DEPTH[:SHAPE]");
  ftir::synth::Line line;
  line.wavenumber = to_double(parts[0], "--line");
  line.width = to_double(parts[1], "--line");
  line.depth = to_double(parts[2], "--line");
  if (parts.size() == 4) {
    if (parts[3] == "gauss") {
      line.shape = ftir::synth::LineShape::kGauss;
    } else if (parts[3] != "lorentz") {
      fail("--line shape must be lorentz or gauss");
    }
  }
  return line;
}

ftir::synth::Stamp parse_date(std::string_view text) {
  // YYYY-MM-DDTHH:MM (a blank in place of the T is taken too).
  if (text.size() != 16 || text[4] != '-' || text[7] != '-' ||
      (text[10] != 'T' && text[10] != ' ') || text[13] != ':') {
    fail("--date needs YYYY-MM-DDTHH:MM");
  }
  ftir::synth::Stamp s;
  s.year = to_int(text.substr(0, 4), "--date");
  s.month = to_int(text.substr(5, 2), "--date");
  s.day = to_int(text.substr(8, 2), "--date");
  s.hour = to_int(text.substr(11, 2), "--date");
  s.minute = to_int(text.substr(14, 2), "--date");
  if (s.month < 1 || s.month > 12 || s.day < 1 || s.day > 31 || s.hour > 23 || s.minute > 59) {
    fail("--date is out of range");
  }
  return s;
}

ftir::synth::Stamp now_stamp() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

std::string describe(const ftir::synth::InterferogramSpec& recipe, bool double_sided) {
  const auto& s = recipe.source;
  const char* shape = s.shape == ftir::synth::EnvelopeShape::kPlanck  ? "blackbody"
                      : s.shape == ftir::synth::EnvelopeShape::kGauss ? "Gaussian band"
                                                                      : "flat band";
  char text[200];
  std::snprintf(text, sizeof text, "Synthetic %s interferogram, %s %g-%g cm-1, %zu line%s",
                double_sided ? "double-sided" : "single-sided", shape, s.low, s.high,
                s.lines.size(), s.lines.size() == 1 ? "" : "s");
  return text;
}

int run(int argc, char** argv) {
  ftir::synth::InterferogramSpec recipe;
  ftir::synth::SpcFileSpec file;
  bool double_sided = false;
  bool center_given = false;
  bool comment_given = false;
  bool date_given = false;
  bool float_samples = false;
  int bits = 32;
  std::string output;

  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view value;
    bool has_inline_value = false;
    if (arg.starts_with("--")) {
      const std::size_t eq = arg.find('=');
      if (eq != std::string_view::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        has_inline_value = true;
      }
    }
    auto next = [&]() -> std::string_view {
      if (has_inline_value) return value;
      if (i + 1 >= argc) fail(std::string(arg) + " needs a value");
      return argv[++i];
    };
    auto no_value = [&] {
      if (has_inline_value) fail(std::string(arg) + " takes no value");
    };
    if (arg == "-h" || arg == "--help") {
      std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
      return 0;
    } else if (arg == "--points") {
      recipe.points = to_int(next(), arg);
    } else if (arg == "--center") {
      recipe.center = to_int(next(), arg);
      center_given = true;
    } else if (arg == "--double") {
      no_value();
      double_sided = true;
    } else if (arg == "--sampr") {
      recipe.sampr = to_double(next(), arg);
    } else if (arg == "--wref") {
      recipe.wref = to_double(next(), arg);
    } else if (arg == "--envelope") {
      const auto parts = split(next(), ':');
      if (parts.size() != 2) fail("--envelope needs LO:HI");
      recipe.source.low = to_double(parts[0], arg);
      recipe.source.high = to_double(parts[1], arg);
    } else if (arg == "--shape") {
      const std::string_view shape = next();
      if (shape == "planck") {
        recipe.source.shape = ftir::synth::EnvelopeShape::kPlanck;
      } else if (shape == "gauss") {
        recipe.source.shape = ftir::synth::EnvelopeShape::kGauss;
      } else if (shape == "flat") {
        recipe.source.shape = ftir::synth::EnvelopeShape::kFlat;
      } else {
        fail("--shape must be planck, gauss or flat");
      }
    } else if (arg == "--temperature") {
      recipe.source.temperature = to_double(next(), arg);
    } else if (arg == "--line") {
      recipe.source.lines.push_back(parse_line(next()));
    } else if (arg == "--offset") {
      recipe.offset = to_double(next(), arg);
    } else if (arg == "--dispersion") {
      recipe.dispersion = to_double(next(), arg);
    } else if (arg == "--peak") {
      recipe.peak = to_double(next(), arg);
    } else if (arg == "--dc") {
      recipe.dc = to_double(next(), arg);
    } else if (arg == "--noise") {
      recipe.noise = to_double(next(), arg);
    } else if (arg == "--seed") {
      const long long seed = to_integer(next(), arg);
      if (seed < 0) fail("--seed must be 0 or more");
      recipe.seed = static_cast<std::uint64_t>(seed);
    } else if (arg == "--format") {
      const std::string_view format = next();
      if (format == "new") {
        file.format = ftir::synth::SpcFormat::kNew;
      } else if (format == "old") {
        file.format = ftir::synth::SpcFormat::kOld;
      } else {
        fail("--format must be new or old");
      }
    } else if (arg == "--bits") {
      bits = to_int(next(), arg);
      if (bits != 16 && bits != 32) fail("--bits must be 16 or 32");
    } else if (arg == "--float") {
      no_value();
      float_samples = true;
    } else if (arg == "--comment") {
      file.comment = std::string(next());
      comment_given = true;
    } else if (arg == "--date") {
      file.stamp = parse_date(next());
      date_given = true;
    } else if (arg == "-o" || arg == "--output") {
      output = std::string(next());
    } else {
      fail("unknown argument '" + std::string(arg) + "' (see --help)");
    }
  }
  if (output.empty()) fail("no output file: give -o FILE (see --help)");
  if (float_samples && file.format == ftir::synth::SpcFormat::kOld) {
    fail("--float needs --format new");
  }
  if (double_sided && !center_given) recipe.center = recipe.points / 2 - 1;

  const std::vector<double> y = ftir::synth::make_interferogram(recipe);

  file.type = float_samples ? ftir::synth::SampleType::kFloat32
              : bits == 16  ? ftir::synth::SampleType::kInt16
                            : ftir::synth::SampleType::kInt32;
  file.firstx = 0.0;
  file.lastx = ftir::synth::folding_wavenumber(recipe);
  file.xunits = 1;
  file.yunits = 1;
  file.stamp = date_given ? file.stamp : now_stamp();
  char restext[32];
  std::snprintf(restext, sizeof restext, "%.2gcm-1",
                ftir::synth::nominal_resolution(recipe, double_sided));
  file.restext = restext;
  file.source = "synthetic";
  file.comment = comment_given ? file.comment : describe(recipe, double_sided);
  file.peakpoint = recipe.center + 1;
  ftir::synth::write_file(output, ftir::synth::encode_spc(y, file));

  std::printf("wrote %s: %d points, centerburst at point %d, xstep %.6g cm, fmax %.6g cm-1\n",
              output.c_str(), recipe.points, recipe.center + 1, ftir::synth::sampling_step(recipe),
              ftir::synth::folding_wavenumber(recipe));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const SynthError& e) {
    std::fprintf(stderr, "make-interferogram: %s\n", e.what());
  } catch (const std::bad_alloc&) {  // a record too large for the memory left to the process
    std::fputs("make-interferogram: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make-interferogram: %s\n", e.what());
  }
  return 1;
}

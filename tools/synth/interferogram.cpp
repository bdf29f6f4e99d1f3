// Synthetic interferograms: the source spectrum, the phase, the inverse transform that turns
// them into samples, and the SPC encoding of those samples.
#include "synth/interferogram.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <optional>
#include <random>

#include "report/stop.h"
#include "spcfile/bytes.h"
#include "spcfile/file_access.h"
#include "spcfile/layout.h"
#include "spcfile/writer.h"
#include "transform/complex.h"
#include "transform/fft.h"
#include "values/interferogram.h"

namespace ftir::synth {
namespace {

using spcfile::Bytes;
using transform::Complex;

constexpr double kPi = std::numbers::pi;
// Second radiation constant h*c/k, cm*K.
constexpr double kC2 = 1.438776877;
// The blackbody in wavenumber, nu^3 / (exp(c2*nu/T) - 1), peaks where x = c2*nu/T solves
// 3 * (1 - exp(-x)) = x.
constexpr double kWienX = 2.821439372122079;
// The reader holds at most this many samples, and the transform at most 2^19 points.
constexpr int kMaxPoints = values::kCapacity;
constexpr int kMaxTransformExponent = 19;
constexpr int kMinTransformExponent = 10;

// How far from the zero path difference the burst's largest sample is looked for.
constexpr int kBurstSearch = 8;

// Whole-band edge: the envelope rises and falls over this fraction of the band.
constexpr double kEdgeFraction = 0.1;

double line_profile(const Line& line, double nu) {
  const double u = (nu - line.wavenumber) / (0.5 * line.width);
  if (line.shape == LineShape::kGauss) return std::exp(-std::numbers::ln2 * u * u);
  return 1.0 / (1.0 + u * u);
}

double planck(double nu, double temperature) {
  const double x = kC2 * nu / temperature;
  return nu * nu * nu / std::expm1(x);
}

void check_spec(const InterferogramSpec& recipe) {
  auto fail = [](const std::string& what) { throw SynthError(what); };
  if (recipe.points < 2 || recipe.points > kMaxPoints) {
    fail("points must lie in 2.." + std::to_string(kMaxPoints));
  }
  if (recipe.center < 0 || recipe.center >= recipe.points) {
    fail("the centerburst sample must lie inside the record (0.." +
         std::to_string(recipe.points - 1) + ")");
  }
  if (!(recipe.sampr > 0.0) || !std::isfinite(recipe.sampr)) fail("sampr must be positive");
  if (!(recipe.wref > 0.0) || !std::isfinite(recipe.wref)) fail("wref must be positive");
  const SourceSpectrum& s = recipe.source;
  const double fmax = folding_wavenumber(recipe);
  if (!(s.low >= 0.0) || !(s.high > s.low) || !std::isfinite(s.high)) {
    fail("the band needs 0 <= low < high");
  }
  if (!(s.high < fmax)) {
    char text[160];
    std::snprintf(text, sizeof text, "the band reaches %g cm-1, beyond fmax = %g cm-1", s.high,
                  fmax);
    fail(text);
  }
  if (s.shape == EnvelopeShape::kPlanck && !(s.temperature > 0.0 && std::isfinite(s.temperature))) {
    fail("the temperature must be positive");
  }
  for (const Line& line : s.lines) {
    if (!(line.width > 0.0) || !std::isfinite(line.width) || !std::isfinite(line.wavenumber)) {
      fail("a line needs a finite position and a positive width");
    }
    if (!(line.depth >= 0.0 && line.depth <= 1.0)) fail("a line's depth must lie in 0..1");
  }
  if (!std::isfinite(recipe.offset) || !std::isfinite(recipe.dispersion)) {
    fail("offset and dispersion must be finite");
  }
  if (!(recipe.peak != 0.0) || !std::isfinite(recipe.peak) || std::fabs(recipe.peak) > 1e30) {
    fail("the peak must be non-zero and at most 1e30 in size");
  }
  if (!std::isfinite(recipe.dc) || std::fabs(recipe.dc) > 1e30) fail("the DC offset must be finite");
  if (!(recipe.noise >= 0.0) || !std::isfinite(recipe.noise)) fail("the noise must be 0 or more");
}

// The transform length exponent: the transform must hold both sides of the record without
// overlap; four times the longer side, and a grid four times finer than the narrowest
// line's half width, keep the periodic copies of the record's tails negligible.
int transform_exponent(const InterferogramSpec& recipe) {
  const int maxdist = std::max(recipe.center, recipe.points - 1 - recipe.center) + kBurstSearch;
  const double needed = 2.0 * maxdist + 1.0;
  double wanted = 4.0 * maxdist;
  for (const Line& line : recipe.source.lines) {
    wanted = std::max(wanted, 8.0 * folding_wavenumber(recipe) / line.width);
  }
  int p = kMinTransformExponent;
  while (p < kMaxTransformExponent && std::ldexp(1.0, p) < wanted) ++p;
  if (std::ldexp(1.0, p) < needed) {
    throw SynthError("the record reaches " + std::to_string(maxdist) +
                     " samples from its centerburst; at most " +
                     std::to_string((1 << kMaxTransformExponent) / 2 - 1) + " are possible");
  }
  return p;
}

// The whole-sample distance from the zero path difference to the largest |sample| of the
// burst: 0 unless dispersion moves the burst's peak by half a sample or more. `c` is the
// periodic interferogram, distance d at index d mod nb.
int burst_shift(const std::vector<Complex>& c, int nb) {
  int best = 0;
  for (int d = -kBurstSearch; d <= kBurstSearch; ++d) {
    const auto m = static_cast<std::size_t>((d + nb) % nb);
    if (std::fabs(c[m].re) > std::fabs(c[static_cast<std::size_t>((best + nb) % nb)].re)) best = d;
  }
  return best;
}

// Gaussian deviates from a fully specified generator (Box-Muller on 53-bit uniforms), so a
// seed gives the same samples on every platform.
class GaussianNoise {
 public:
  explicit GaussianNoise(std::uint64_t seed) : gen_(seed) {}
  double next() {
    const double u1 = (static_cast<double>(gen_() >> 11) + 1.0) * 0x1p-53;  // (0, 1]
    const double u2 = static_cast<double>(gen_() >> 11) * 0x1p-53;          // [0, 1)
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
  }

 private:
  std::mt19937_64 gen_;
};

void put_text(Bytes bytes, std::size_t offset, std::size_t width, const std::string& text) {
  const std::size_t n = std::min(width, text.size());
  for (std::size_t i = 0; i < n; ++i) bytes[offset + i] = static_cast<unsigned char>(text[i]);
}

template <std::size_t N>
std::array<char, N> text_field(const std::string& text) {
  std::array<char, N> field{};
  std::copy_n(text.begin(), std::min(N, text.size()), field.begin());
  return field;
}

// The integer stored for y: y / 2^(exponent - bits) rounded to nearest; clamped to the
// width, which only the rounding of a value just below the limit can reach.
std::int64_t stored_integer(double y, int exponent, int bits) {
  const double scaled = std::nearbyint(std::ldexp(y, bits - exponent));
  const auto limit = static_cast<double>((std::int64_t{1} << (bits - 1)) - 1);
  return static_cast<std::int64_t>(std::clamp(scaled, -limit - 1.0, limit));
}

std::uint32_t packed_stamp(const Stamp& t) {
  if (t.year < 0 || t.year > 4095 || t.month < 0 || t.month > 12 || t.day < 0 || t.day > 31 ||
      t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59) {
    throw SynthError("the date is out of range");
  }
  // Minute in bits 0-5, hour 6-10, day 11-15, month 16-19, year 20-31.
  return (static_cast<std::uint32_t>(t.year) << 20) | (static_cast<std::uint32_t>(t.month) << 16) |
         (static_cast<std::uint32_t>(t.day) << 11) | (static_cast<std::uint32_t>(t.hour) << 6) |
         static_cast<std::uint32_t>(t.minute);
}

void encode_new_header(const SpcFileSpec& recipe, int npoints, int exponent, Bytes out) {
  namespace o = spcfile::new_offset;
  const bool is_float = recipe.type == SampleType::kFloat32;
  const auto stored_exponent =
      static_cast<std::int8_t>(is_float ? spcfile::kExponentFloatY : exponent);
  spcfile::put_u8(out, spcfile::kFlagsOffset,
                  recipe.type == SampleType::kInt16 ? spcfile::kFlagShortY : std::uint8_t{0});
  spcfile::put_u8(out, spcfile::kVersionOffset, spcfile::kVersionNew);
  spcfile::put_i8(out, o::kExponent, stored_exponent);
  spcfile::put_i32le(out, o::kPointcount, npoints);
  spcfile::put_f64le(out, o::kFirstx, recipe.firstx);
  spcfile::put_f64le(out, o::kLastx, recipe.lastx);
  spcfile::put_i32le(out, o::kSubfiles, 1);
  spcfile::put_u8(out, o::kXunits, static_cast<std::uint8_t>(recipe.xunits));
  spcfile::put_u8(out, o::kYunits, static_cast<std::uint8_t>(recipe.yunits));
  spcfile::put_u32le(out, o::kStamp, packed_stamp(recipe.stamp));
  put_text(out, o::kRestext, o::kSource - o::kRestext, recipe.restext);
  put_text(out, o::kSource, o::kPeakpoint - o::kSource, recipe.source);
  if (recipe.peakpoint > 0 && recipe.peakpoint <= std::numeric_limits<std::int16_t>::max()) {
    spcfile::put_i16le(out, o::kPeakpoint, static_cast<std::int16_t>(recipe.peakpoint));
  }
  put_text(out, o::kComment, o::kAxislabels - o::kComment, recipe.comment);
  // The subheader carries the exponent again, as instruments write it.
  spcfile::put_i8(out, spcfile::kNewHeaderBytes + spcfile::sub_offset::kSubexp, stored_exponent);
}

void encode_old_header(const SpcFileSpec& recipe, int npoints, int exponent, Bytes out) {
  spcfile::SpcOldHeader h;
  h.flags = recipe.type == SampleType::kInt16 ? spcfile::kFlagShortY : std::uint8_t{0};
  h.version = spcfile::kVersionOld;
  h.exponent = static_cast<std::int16_t>(exponent);
  h.pointcount = static_cast<float>(npoints);
  h.firstx = static_cast<float>(recipe.firstx);
  h.lastx = static_cast<float>(recipe.lastx);
  h.xunits = static_cast<std::uint8_t>(recipe.xunits);
  h.yunits = static_cast<std::uint8_t>(recipe.yunits);
  packed_stamp(recipe.stamp);  // range check only: the old format keeps separate fields
  h.year = static_cast<std::int16_t>(recipe.stamp.year);
  h.month = static_cast<std::uint8_t>(recipe.stamp.month);
  h.day = static_cast<std::uint8_t>(recipe.stamp.day);
  h.hour = static_cast<std::uint8_t>(recipe.stamp.hour);
  h.minute = static_cast<std::uint8_t>(recipe.stamp.minute);
  h.restext = text_field<8>(recipe.restext);
  if (recipe.peakpoint > 0 && recipe.peakpoint <= std::numeric_limits<std::int16_t>::max()) {
    h.peakpoint = static_cast<std::int16_t>(recipe.peakpoint);
  }
  h.comment = text_field<130>(recipe.comment);
  if (exponent >= -127 && exponent <= 127) h.subheader.subexp = static_cast<std::int8_t>(exponent);
  spcfile::encode_old_header(h, out.first<spcfile::kOldHeaderBytes>());
}

}  // namespace

double sampling_step(const InterferogramSpec& recipe) { return 1.0 / (recipe.sampr * recipe.wref); }

double folding_wavenumber(const InterferogramSpec& recipe) {
  return 1.0 / (2.0 * sampling_step(recipe));
}

double envelope_value(const SourceSpectrum& source, double nu) {
  if (!(nu > source.low && nu < source.high)) return 0.0;
  const double edge = kEdgeFraction * (source.high - source.low);
  double taper = 1.0;
  if (nu < source.low + edge) {
    const double s = std::sin(0.5 * kPi * (nu - source.low) / edge);
    taper = s * s;
  } else if (nu > source.high - edge) {
    const double s = std::sin(0.5 * kPi * (source.high - nu) / edge);
    taper = s * s;
  }
  switch (source.shape) {
    case EnvelopeShape::kPlanck: {
      const double nu_peak = kWienX * source.temperature / kC2;
      return taper * planck(nu, source.temperature) / planck(nu_peak, source.temperature);
    }
    case EnvelopeShape::kGauss: {
      const double mid = 0.5 * (source.low + source.high);
      const double sigma = (source.high - source.low) / 6.0;
      const double u = (nu - mid) / sigma;
      return taper * std::exp(-0.5 * u * u);
    }
    case EnvelopeShape::kFlat:
      break;
  }
  return taper;
}

double source_value(const SourceSpectrum& source, double nu) {
  double value = envelope_value(source, nu);
  if (value == 0.0) return 0.0;
  for (const Line& line : source.lines) value *= 1.0 - line.depth * line_profile(line, nu);
  return value;
}

double phase_value(const InterferogramSpec& recipe, double nu) {
  const double mid = 0.5 * (recipe.source.low + recipe.source.high);
  const double d = nu - mid;
  return -2.0 * kPi * nu * recipe.offset * sampling_step(recipe) + recipe.dispersion * d * d;
}

std::vector<double> make_interferogram(const InterferogramSpec& recipe) {
  check_spec(recipe);
  const int p = transform_exponent(recipe);
  const int nb = 1 << p;
  const double xstep = sampling_step(recipe);
  // Grid point k lies at k / (nb * xstep) cm-1, so k = nb/2 is fmax; the band ends below
  // fmax, so the upper half (negative wavenumbers) stays zero and the real part of the
  // inverse transform is the interferogram.
  const double dnu = 1.0 / (static_cast<double>(nb) * xstep);
  std::vector<Complex> c(static_cast<std::size_t>(nb), Complex{0.0, 0.0});
  for (int k = 1; k < nb / 2; ++k) {
    const double nu = k * dnu;
    const double b = source_value(recipe.source, nu);
    if (b == 0.0) continue;
    const double phi = phase_value(recipe, nu);
    c[static_cast<std::size_t>(k)] = {b * std::cos(phi), b * std::sin(phi)};
  }
  transform::Fft fft;
  fft.CFFT(c, p, nb, -1);

  // Sample j lies (j - center + shift) steps from the zero path difference; negative
  // distances wrap. The shift puts the largest sample of the burst at `center`.
  const int shift = burst_shift(c, nb);
  std::vector<double> y(static_cast<std::size_t>(recipe.points));
  double largest = 0.0;
  for (int j = 0; j < recipe.points; ++j) {
    const int m = (j - recipe.center + shift + nb) % nb;
    y[static_cast<std::size_t>(j)] = c[static_cast<std::size_t>(m)].re;
    largest = std::max(largest, std::fabs(c[static_cast<std::size_t>(m)].re));
  }
  if (!(largest > 0.0)) throw SynthError("the source spectrum holds no light");

  std::optional<GaussianNoise> noise;
  if (recipe.noise > 0.0) noise.emplace(recipe.seed);
  const double sigma = recipe.noise * std::fabs(recipe.peak);
  for (double& v : y) {
    v = recipe.peak * (v / largest) + recipe.dc;
    if (noise) v += sigma * noise->next();
  }
  return y;
}

double nominal_resolution(const InterferogramSpec& recipe, bool double_sided) {
  const int after = recipe.points - 1 - recipe.center;
  const int side = double_sided ? std::min(recipe.center, after) : after;
  if (side <= 0) return 0.0;
  return 1.0 / (side * sampling_step(recipe));
}

int sample_exponent(std::span<const double> y) { return spcfile::spectrum_exponent(y); }

std::vector<unsigned char> encode_spc(std::span<const double> y, const SpcFileSpec& recipe) {
  if (y.empty()) throw SynthError("the record holds no samples");
  if (y.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 4)) {
    throw SynthError("the record is too long for an SPC file");
  }
  for (double v : y) {
    if (!std::isfinite(v)) throw SynthError("a sample is not a finite number");
  }
  const bool old_format = recipe.format == SpcFormat::kOld;
  if (old_format && recipe.type == SampleType::kFloat32) {
    throw SynthError("f32 samples need the new format");
  }
  const int exponent = sample_exponent(y);
  if (recipe.type != SampleType::kFloat32 && (exponent < -127 || exponent > 127)) {
    throw SynthError("the samples are too large or too small for the exponent field");
  }
  const auto npoints = static_cast<int>(y.size());
  const std::size_t width = recipe.type == SampleType::kInt16 ? 2 : 4;
  const std::size_t data_offset = old_format ? spcfile::kOldDataOffset : spcfile::kNewDataOffset;
  std::vector<unsigned char> bytes(data_offset + width * y.size(), 0);
  const Bytes out(bytes);
  if (old_format) {
    encode_old_header(recipe, npoints, exponent, out);
  } else {
    encode_new_header(recipe, npoints, exponent, out);
  }

  std::size_t at = data_offset;
  for (double v : y) {
    switch (recipe.type) {
      case SampleType::kInt16:
        spcfile::put_i16le(out, at, static_cast<std::int16_t>(stored_integer(v, exponent, 16)));
        break;
      case SampleType::kInt32: {
        const auto k = static_cast<std::int32_t>(stored_integer(v, exponent, 32));
        if (old_format) {
          spcfile::put_i32_high_half_first(out, at, k);
        } else {
          spcfile::put_i32le(out, at, k);
        }
        break;
      }
      case SampleType::kFloat32: {
        const auto f = static_cast<float>(v);
        if (!std::isfinite(f)) throw SynthError("a sample does not fit an f32");
        spcfile::put_f32le(out, at, f);
        break;
      }
    }
    at += width;
  }
  return bytes;
}

void write_file(const std::string& path, std::span<const unsigned char> bytes) {
  try {
    const int error = spcfile::write_whole_file(path, bytes);
    if (error != 0) throw SynthError("cannot write " + path + ": " + std::strerror(error));
  } catch (const report::RunStop& stop) {  // the temporary file could not be created
    throw SynthError(stop.text());
  }
}

}  // namespace ftir::synth

// Accuracy end to end: interferograms of known spectra made with the generator, converted as a
// user would (red.dat in a temporary folder), the written spectra read back through the
// reader and checked against the physics: where the lines are, how deep and how wide, the
// broadband envelope, the phase.
//
// Every record is sampled with sampr 1 and wref 16384 cm-1: xstep = 2^-14 cm and the grid
// runs from 0 to fmax = 8192 cm-1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "run/run_support.h"
#include "synth/interferogram.h"

namespace ftir::testing {
namespace {

using synth::EnvelopeShape;
using synth::InterferogramSpec;
using synth::Line;
using synth::LineShape;
using synth::SampleType;
using synth::SpcFormat;

constexpr double kWref = 16384.0;
constexpr double kFmax = 8192.0;
constexpr double kPi = std::numbers::pi;

// A 16384-point record of a 1300 K blackbody seen through two absorption lines, with a
// sampling offset and some dispersion. Single-sided: the centerburst at point 1025 (1024
// samples before it); double-sided: at point 8192, the middle.
InterferogramSpec film(bool double_sided) {
  InterferogramSpec recipe;
  recipe.points = 16384;
  recipe.center = double_sided ? 8191 : 1024;
  recipe.sampr = 1.0;
  recipe.wref = kWref;
  recipe.source.low = 400.0;
  recipe.source.high = 4000.0;
  recipe.source.shape = EnvelopeShape::kPlanck;
  recipe.source.temperature = 1300.0;
  recipe.source.lines = {{1600.4, 6.0, 0.5, LineShape::kLorentz},
                       {2900.7, 10.0, 0.4, LineShape::kLorentz}};
  recipe.offset = 0.3;
  recipe.dispersion = 2e-7;
  return recipe;
}

// The generator's record of `recipe`, written into the run folder in the given layout.
void write_synthetic(const RunDir& dir, const std::string& name, const InterferogramSpec& recipe,
                     SpcFormat format = SpcFormat::kNew, SampleType type = SampleType::kInt32) {
  synth::SpcFileSpec file;
  file.format = format;
  file.type = type;
  file.lastx = synth::folding_wavenumber(recipe);
  file.stamp = {2024, 5, 14, 9, 30};
  file.comment = name;
  synth::write_file(dir.file(name), synth::encode_spc(synth::make_interferogram(recipe), file));
}

// What one run asks for: the path (idbl), the window (iapod), the resolution text of the
// decimal field and whether the phase files are written. The output range is the whole grid.
struct Request {
  int idbl = 0;
  int iapod = 0;
  std::string res = "2.0";
  int iphase = 0;
};

// Runs the converter in `dir` on `files` and reads back out/<base>.spc of each.
std::vector<SpectrumFile> convert(RunDir& dir, const std::vector<std::string>& files,
                                  const Request& request) {
  std::filesystem::create_directories(dir.path() / "out");
  RedDat red;
  red.files = files;
  red.idbl = request.idbl;
  red.iapod = request.iapod;
  red.res = request.res;
  red.iphase = request.iphase;
  red.ires = 1;
  red.ipow2 = 0;
  red.wref = "16384.0";
  red.wlow = "0";
  red.whigh = "9000";
  red.ilog = "";
  EXPECT_EQ(dir.run(red), 0) << dir.console.output;
  std::vector<SpectrumFile> spectra;
  for (const std::string& name : files) {
    const std::string base = name.substr(0, name.rfind('.'));
    spectra.push_back(read_spectrum(dir.file("out/" + base + ".spc")));
    EXPECT_EQ(spectra.back().skip_reason, nullptr) << name;
    EXPECT_GE(spectra.back().x.size(), 2u) << name;
  }
  return spectra;
}

double grid_step(const SpectrumFile& s) {
  return (s.x.back() - s.x.front()) / static_cast<double>(s.x.size() - 1);
}

// Index of the grid point nearest `nu`.
std::size_t index_near(const SpectrumFile& s, double nu) {
  const double at = (nu - s.x.front()) / grid_step(s);
  return static_cast<std::size_t>(
      std::clamp(std::lround(at), 0L, static_cast<long>(s.x.size()) - 1));
}

// Index of the lowest point of `y` within `half_window` cm-1 of `nu`.
std::size_t lowest_near(const SpectrumFile& s, const std::vector<double>& y, double nu,
                        double half_window) {
  const std::size_t hi = index_near(s, nu + half_window);
  std::size_t best = index_near(s, nu - half_window);
  for (std::size_t i = best; i <= hi; ++i) {
    if (y[i] < y[best]) best = i;
  }
  return best;
}

// The wavenumber of the lowest point of `y` within `half_window` cm-1 of `nu`, refined by the
// parabola through it and its two neighbours.
double dip_position(const SpectrumFile& s, const std::vector<double>& y, double nu,
                    double half_window) {
  const std::size_t best = lowest_near(s, y, nu, half_window);
  if (best == 0 || best + 1 >= y.size()) return s.x[best];
  const double a = y[best - 1];
  const double b = y[best];
  const double c = y[best + 1];
  const double curvature = a - 2.0 * b + c;
  const double shift = curvature > 0.0 ? 0.5 * (a - c) / curvature : 0.0;
  return s.x[best] + shift * grid_step(s);
}

// Full width at half depth of the dip of the transmittance `t` (1 away from lines) nearest
// `nu`: the half-depth crossings on both sides of the lowest point, interpolated linearly.
// NaN when a crossing lies outside the window.
double dip_width(const SpectrumFile& s, const std::vector<double>& t, double nu,
                 double half_window) {
  const std::size_t lo = index_near(s, nu - half_window);
  const std::size_t hi = index_near(s, nu + half_window);
  const std::size_t best = lowest_near(s, t, nu, half_window);
  const double half = 1.0 - 0.5 * (1.0 - t[best]);
  std::size_t left = best;
  while (left > lo && t[left] < half) --left;
  std::size_t right = best;
  while (right < hi && t[right] < half) ++right;
  if (t[left] < half || t[right] < half) return std::nan("");
  const double step = grid_step(s);
  const double x_left = s.x[left] + step * (t[left] - half) / (t[left] - t[left + 1]);
  const double x_right = s.x[right] - step * (t[right] - half) / (t[right] - t[right - 1]);
  return x_right - x_left;
}

// Sample over reference, point by point, where the reference is above 1% of its peak (1
// elsewhere): the transmittance as a spectroscopist measures it.
std::vector<double> transmittance(const SpectrumFile& sample, const SpectrumFile& reference) {
  const double peak = *std::max_element(reference.y.begin(), reference.y.end());
  std::vector<double> t(sample.y.size(), 1.0);
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (reference.y[i] > 0.01 * peak) t[i] = sample.y[i] / reference.y[i];
  }
  return t;
}

// The factor k for which k * model best matches measured (least squares) over the points
// where `use` holds.
template <typename Use>
double fitted_level(const std::vector<double>& measured, const std::vector<double>& model,
                    Use use) {
  double num = 0.0;
  double den = 0.0;
  for (std::size_t i = 0; i < measured.size(); ++i) {
    if (!use(i)) continue;
    num += measured[i] * model[i];
    den += model[i] * model[i];
  }
  return num / den;
}

double peak_of(const SpectrumFile& s) { return *std::max_element(s.y.begin(), s.y.end()); }

// Every window, both paths, the four sample layouts: both lines of film() where the source
// puts them, to within one grid step (about 1 cm-1: res 2, 8192 spectrum points). The lowest
// point is refined by a parabola. What remains is the grid's own convention: it spreads lnum
// points over 0 .. fmax inclusive (spacing fmax / (lnum - 1)), which labels a line at
// nu * lnum / (lnum - 1), 0.35 of a step high at 2900 cm-1.
TEST(Accuracy, LinePositionsWithinOneGridStepForEveryWindowAndPath) {
  RunDir dir;
  write_synthetic(dir, "ss_new32.spc", film(false), SpcFormat::kNew, SampleType::kInt32);
  write_synthetic(dir, "ss_old16.spc", film(false), SpcFormat::kOld, SampleType::kInt16);
  write_synthetic(dir, "ds_old32.spc", film(true), SpcFormat::kOld, SampleType::kInt32);
  write_synthetic(dir, "ds_new16.spc", film(true), SpcFormat::kNew, SampleType::kInt16);
  for (int idbl : {0, 1}) {
    for (int iapod = 0; iapod <= 6; ++iapod) {
      const std::vector<std::string> files =
          idbl == 0 ? std::vector<std::string>{"ss_new32.spc", "ss_old16.spc"}
                    : std::vector<std::string>{"ds_old32.spc", "ds_new16.spc"};
      const std::vector<SpectrumFile> spectra = convert(dir, files, {idbl, iapod, "2.0"});
      for (std::size_t f = 0; f < files.size(); ++f) {
        const SpectrumFile& s = spectra[f];
        const double step = grid_step(s);
        for (const Line& line : film(false).source.lines) {
          SCOPED_TRACE(::testing::Message()
                       << files[f] << ", iapod " << iapod << ", line " << line.wavenumber);
          EXPECT_NEAR(dip_position(s, s.y, line.wavenumber, line.width), line.wavenumber, step);
        }
      }
    }
  }
}

// With boxcar the lines keep their depths, so their ratio survives: 0.6 and 0.3 come back as
// a ratio of 2. The lines (12 and 16 cm-1 wide) are far wider than the resolution (2 cm-1),
// so the window's cut at opd = 0.5 cm removes a fraction exp(-pi * width * opd) < 1e-8 of
// their depth; taking the lowest grid point, at most half a step (0.5 cm-1) from the centre,
// costs at most 1 - 1/(1 + (0.5/6)^2) = 0.7% of a depth. The ratio sample/reference takes
// away the envelope; one fitted factor absorbs the generator's normalisation of each record.
TEST(Accuracy, BoxcarKeepsTheRelativeDepthsOfTwoLines) {
  RunDir dir;
  for (int idbl : {0, 1}) {
    SCOPED_TRACE(idbl == 0 ? "single-sided" : "double-sided");
    InterferogramSpec recipe = film(idbl != 0);
    recipe.source.lines = {{1600.5, 12.0, 0.6, LineShape::kLorentz},
                         {2900.3, 16.0, 0.3, LineShape::kLorentz}};
    write_synthetic(dir, "sample.spc", recipe);
    InterferogramSpec reference = recipe;
    reference.source.lines.clear();
    write_synthetic(dir, "reference.spc", reference);
    const std::vector<SpectrumFile> spectra =
        convert(dir, {"sample.spc", "reference.spc"}, {idbl, 0, "2.0"});
    const SpectrumFile& s = spectra[0];
    const std::vector<double> t = transmittance(s, spectra[1]);

    std::vector<double> expected(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
      const double envelope = synth::envelope_value(recipe.source, s.x[i]);
      expected[i] = envelope > 0.0 ? synth::source_value(recipe.source, s.x[i]) / envelope : 1.0;
    }
    const double k = fitted_level(t, expected, [&](std::size_t i) {
      return synth::envelope_value(recipe.source, s.x[i]) > 0.25;
    });
    const double d1 = 1.0 - t[lowest_near(s, t, 1600.5, 12.0)] / k;
    const double d2 = 1.0 - t[lowest_near(s, t, 2900.3, 16.0)] / k;
    EXPECT_NEAR(d1, 0.6, 0.6 * 0.01);
    EXPECT_NEAR(d2, 0.3, 0.3 * 0.01);
    EXPECT_NEAR(d1 / d2, 2.0, 2.0 * 0.02);
  }
}

// A line far narrower than the resolution shows the instrument line shape, and a stronger
// window widens it. Single-sided at res 3.99 the transform stays 8192 points (opd 0.2506 cm
// needs 4106 of them), so the grid step (1 cm-1) is a quarter of the resolution and the width
// can be read against theory: boxcar gives the sinc's FWHM 1.2067 / (2 * opd), triangle the
// sinc^2's 1.7718 / (2 * opd). With 2.4 or more points across the width, the half-depth
// crossings interpolated linearly on a curved flank come within a few percent of the width,
// and the 0.2 cm-1 line itself adds under 0.5%: hence 5%. The double-sided path
// apodizes only the side after the centerburst, so its lines widen less, and its grid step is
// half the resolution, too coarse for theory; the order of the windows must hold there too.
TEST(Accuracy, StrongerWindowsGiveWiderLines) {
  constexpr int kBoxcar = 0;
  constexpr int kTriangle = 1;
  constexpr int kNortonBeerWeak = 4;
  constexpr int kNortonBeerMedium = 5;
  constexpr int kNortonBeerStrong = 6;
  RunDir dir;
  for (const auto& [idbl, res] : {std::pair{0, "3.99"}, std::pair{1, "2.0"}}) {
    SCOPED_TRACE(idbl == 0 ? "single-sided" : "double-sided");
    InterferogramSpec recipe = film(idbl != 0);
    recipe.source.lines = {{2000.3, 0.2, 0.6, LineShape::kGauss}};
    write_synthetic(dir, "narrow.spc", recipe);
    recipe.source.lines.clear();
    write_synthetic(dir, "reference.spc", recipe);
    double fwhm[7];
    for (int iapod = 0; iapod <= 6; ++iapod) {
      const std::vector<SpectrumFile> spectra =
          convert(dir, {"narrow.spc", "reference.spc"}, {idbl, iapod, res});
      fwhm[iapod] = dip_width(spectra[0], transmittance(spectra[0], spectra[1]), 2000.3, 12.0);
    }
    if (idbl == 0) {
      const double opd = 1.0 / 3.99;
      EXPECT_NEAR(fwhm[kBoxcar], 1.2067 / (2.0 * opd), 0.05 * 1.2067 / (2.0 * opd));
      EXPECT_NEAR(fwhm[kTriangle], 1.7718 / (2.0 * opd), 0.05 * 1.7718 / (2.0 * opd));
    }
    for (int iapod = 1; iapod <= 6; ++iapod) {
      SCOPED_TRACE(::testing::Message() << "iapod " << iapod);
      EXPECT_GT(fwhm[iapod], fwhm[kBoxcar]);
    }
    EXPECT_LT(fwhm[kNortonBeerWeak], fwhm[kNortonBeerMedium]);
    EXPECT_LT(fwhm[kNortonBeerMedium], fwhm[kNortonBeerStrong]);
  }
}

// One source, recorded single-sided and double-sided, converted on the same grid (res 2:
// 8192 points each): the lines where each other has them, and the same broadband envelope.
// The single-sided spectrum stands at half the double-sided level: both paths scale by the
// ratio of interferogram to spectrum energy, which by Parseval's theorem depends on the grid
// alone, and the Mertz ramp runs from 0 to 1 across the centerburst, so the symmetric part
// enters once where the double-sided record holds it twice. The envelope is compared after
// that level is fitted.
TEST(Accuracy, SingleAndDoubleSidedSpectraOfOneSourceAgree) {
  RunDir dir;
  write_synthetic(dir, "ss.spc", film(false), SpcFormat::kNew, SampleType::kInt32);
  write_synthetic(dir, "ds.spc", film(true), SpcFormat::kOld, SampleType::kInt32);
  for (int iapod : {0, 2, 6}) {
    SCOPED_TRACE(::testing::Message() << "iapod " << iapod);
    const SpectrumFile ss = convert(dir, {"ss.spc"}, {0, iapod, "2.0"})[0];
    const SpectrumFile ds = convert(dir, {"ds.spc"}, {1, iapod, "2.0"})[0];
    ASSERT_EQ(ss.x.size(), ds.x.size());
    const double step = grid_step(ds);
    for (const Line& line : film(false).source.lines) {
      SCOPED_TRACE(::testing::Message() << "line " << line.wavenumber);
      EXPECT_NEAR(dip_position(ss, ss.y, line.wavenumber, line.width),
                  dip_position(ds, ds.y, line.wavenumber, line.width), step);
    }
    const double peak = peak_of(ds);
    const double level =
        fitted_level(ss.y, ds.y, [&](std::size_t i) { return ds.y[i] > 0.5 * peak; });
    EXPECT_NEAR(level, 0.5, 0.5 * 0.01);
    for (std::size_t i = 0; i < ss.y.size(); ++i) {
      ASSERT_NEAR(ss.y[i] / level, ds.y[i], 0.1 * peak) << "at " << ss.x[i] << " cm-1";
    }
  }
}

// A single-sided record with a sampling offset of 0.45 sample and dispersion (the phase swings
// by 1.6 rad across the band, so an uncorrected real part would dip towards zero at the band
// edges): after the Mertz correction the spectrum is the envelope itself, positive wherever
// the source is and near zero where it is not. With boxcar the smooth envelope (edges 360
// cm-1 wide) passes the 0.6 cm-1 instrument line shape unchanged, and a residual phase error
// of a few hundredths of a radian costs under 0.1% of the real part; 2% of the peak leaves
// room for the 16-bit samples.
TEST(Accuracy, PhaseCorrectedSpectrumIsRealAndPositiveWhereTheSourceIs) {
  RunDir dir;
  InterferogramSpec recipe = film(false);
  recipe.source.lines.clear();
  recipe.offset = 0.45;
  recipe.dispersion = 5e-7;
  write_synthetic(dir, "phased.spc", recipe, SpcFormat::kOld, SampleType::kInt16);
  const SpectrumFile s = convert(dir, {"phased.spc"}, {0, 0, "2.0"})[0];
  std::vector<double> envelope(s.x.size());
  for (std::size_t i = 0; i < envelope.size(); ++i) {
    envelope[i] = synth::envelope_value(recipe.source, s.x[i]);
  }
  const double k = fitted_level(s.y, envelope, [&](std::size_t i) { return envelope[i] > 0.2; });
  const double peak = peak_of(s);
  for (std::size_t i = 0; i < s.y.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "at " << s.x[i] << " cm-1");
    ASSERT_NEAR(s.y[i], k * envelope[i], 0.02 * peak);
    if (envelope[i] > 0.02) {
      ASSERT_GT(s.y[i], 0.0);
    }
  }
}

// With iphase 1 the phase angle file holds the phase piece's is = 1024 angles (centerburst at
// point 1025) on 0 .. fmax, each within -pi .. pi, and where the source is strong they are the
// phase the generator put in (offset 0.3 sample and dispersion). The piece spans 1024
// samples on each side, so its spectrum is the source seen at about 16 cm-1 resolution; where
// the envelope falls towards the band edges that blur bends the phase by up to a few
// hundredths of a radian, hence 0.03 rad where the envelope is above 30% of its peak. The
// phase spectrum file has the same grid.
TEST(Accuracy, PhaseFileHoldsTheSourcePhaseFromZeroToFmax) {
  RunDir dir;
  const InterferogramSpec recipe = film(false);
  write_synthetic(dir, "ph.spc", recipe);
  convert(dir, {"ph.spc"}, {0, 3, "4.0", 1});
  const SpectrumFile phz = read_spectrum(dir.file("out/ph.phz"));
  const SpectrumFile shr = read_spectrum(dir.file("out/ph.shr"));
  ASSERT_EQ(phz.x.size(), 1024u);
  ASSERT_EQ(shr.x.size(), 1024u);
  EXPECT_EQ(phz.x.front(), 0.0);
  EXPECT_NEAR(phz.x.back(), kFmax, kFmax * 0x1p-23);
  EXPECT_EQ(shr.x.front(), 0.0);
  EXPECT_NEAR(shr.x.back(), kFmax, kFmax * 0x1p-23);
  int compared = 0;
  for (std::size_t i = 0; i < phz.x.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "at " << phz.x[i] << " cm-1");
    ASSERT_LE(std::fabs(phz.y[i]), kPi * (1.0 + 0x1p-23));
    if (synth::envelope_value(recipe.source, phz.x[i]) < 0.3) continue;
    ASSERT_NEAR(std::remainder(phz.y[i] - synth::phase_value(recipe, phz.x[i]), 2.0 * kPi), 0.0,
                0.03);
    ++compared;
  }
  EXPECT_GT(compared, 300);
}

// The double-sided spectrum is a magnitude: no value below zero, and it reads back through
// the reader as the whole grid, 0 .. fmax in lnum = 4096 points at res 4 (segment 2 * 4096).
TEST(Accuracy, DoubleSidedSpectrumIsNonNegativeAndReadsBack) {
  RunDir dir;
  write_synthetic(dir, "ds.spc", film(true), SpcFormat::kNew, SampleType::kInt16);
  const SpectrumFile s = convert(dir, {"ds.spc"}, {1, 3, "4.0"})[0];
  EXPECT_EQ(s.skip_reason, nullptr);
  EXPECT_EQ(s.console, "");
  ASSERT_EQ(s.x.size(), 4096u);
  EXPECT_EQ(s.x.front(), 0.0);
  EXPECT_NEAR(s.x.back(), kFmax, kFmax * 0x1p-23);
  EXPECT_GE(*std::min_element(s.y.begin(), s.y.end()), 0.0);
  EXPECT_GT(peak_of(s), 0.0);
}

}  // namespace
}  // namespace ftir::testing

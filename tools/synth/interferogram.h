// Synthetic interferograms: a described source spectrum (a smooth broadband envelope with
// absorption lines) and a smooth phase become the samples an instrument would record, and
// those samples become an SPC file in the new or the old format.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace ftir::synth {

// A description that cannot be turned into an interferogram or a file; what() says why in
// one line.
class SynthError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class EnvelopeShape {
  kPlanck,  // a blackbody at `temperature`, 1 at its own peak
  kGauss,   // a Gaussian hump centred in the band, sigma a sixth of the band's width
  kFlat,    // 1 across the band
};

enum class LineShape { kLorentz, kGauss };

// An absorption line: at its centre it takes away `depth` (0..1) of the light.
struct Line {
  double wavenumber = 0.0;  // centre, cm-1
  double width = 1.0;       // full width at half depth, cm-1
  double depth = 0.5;
  LineShape shape = LineShape::kLorentz;
};

// B(nu): the envelope times the transmission of every line. The envelope is zero outside
// [low, high] and rises and falls smoothly (a sine-squared edge over a tenth of the band at
// each end), so the interferogram has no ringing from a cut band.
struct SourceSpectrum {
  double low = 400.0;    // cm-1
  double high = 4000.0;  // cm-1
  EnvelopeShape shape = EnvelopeShape::kPlanck;
  double temperature = 1300.0;  // K, for kPlanck
  std::vector<Line> lines;
};

// Everything that fixes the samples of one interferogram.
struct InterferogramSpec {
  int points = 16384;       // samples in the record
  int center = 1024;        // 0-based index of the centerburst sample (samples before it)
  double sampr = 1.0;       // samples per reference-laser fringe
  double wref = 15800.823;  // reference wavenumber, cm-1
  SourceSpectrum source;
  // phase(nu) = -2*pi*nu*offset*xstep + dispersion*(nu - nu_mid)^2 radians, nu_mid the middle
  // of the band: the zero path difference lies `offset` samples after `center` (|offset| <
  // 0.5 keeps the sample nearest to it at `center`), and the quadratic term chirps the
  // centerburst about it.
  double offset = 0.0;
  double dispersion = 0.0;  // rad/(cm-1)^2
  double peak = 10000.0;    // value of the largest sample of the noiseless, DC-free record
  double dc = 0.0;          // added to every sample
  double noise = 0.0;       // standard deviation of added Gaussian noise, relative to |peak|
  std::uint64_t seed = 1;
};

// The sampling step in optical path difference, 1 / (sampr * wref) cm, and the folding
// wavenumber 1 / (2 * xstep) cm-1: the spectral grid of the record runs from 0 to fmax.
double sampling_step(const InterferogramSpec& recipe);
double folding_wavenumber(const InterferogramSpec& recipe);

// The envelope alone at `nu` (cm-1): 0 outside the band, at most 1.
double envelope_value(const SourceSpectrum& source, double nu);
// B(nu): envelope_value times the product of (1 - depth * profile) over the lines, each
// profile 1 at its centre.
double source_value(const SourceSpectrum& source, double nu);
// phase(nu) in radians, as described at InterferogramSpec::offset.
double phase_value(const InterferogramSpec& recipe, double nu);

// The samples y[0..points-1]: the real inverse transform of B(nu)*exp(i*phase(nu)) over
// 0..fmax, sample j at path difference (j - center + shift) * xstep, scaled so the largest
// |sample| is |peak| (its sign that of peak), then dc and the seeded noise added. The shift
// is 0 unless dispersion moves the burst's largest sample away from the sample nearest the
// zero path difference; it is then the whole number of samples that brings that sample back
// to `center`, so the converter finds the centerburst where asked (noise aside, when two
// samples are nearly equal). The spectrum is
// sampled finely enough (a transform of at least four times the longer side, up to 2^19
// points) that the periodic wrap of the transform stays far from the record. Throws
// SynthError for a description it cannot honour (band beyond fmax, centre outside the
// record, too many points, a line of no width, ...).
std::vector<double> make_interferogram(const InterferogramSpec& recipe);

// The nominal resolution of a record, 1 / opd in cm-1: opd is the path difference of the
// longer side for a single-sided record, of the shorter side for a double-sided one.
double nominal_resolution(const InterferogramSpec& recipe, bool double_sided);

enum class SpcFormat {
  kNew,  // version 0x4B: 512-byte header, 32-byte subheader, data at 544
  kOld,  // version 0x4D: 256-byte header (subheader included), data at 256
};

enum class SampleType {
  kInt32,    // 32-bit integers, Y = k * 2^(exponent - 32)
  kInt16,    // 16-bit integers (flags bit 0x01), Y = k * 2^(exponent - 16)
  kFloat32,  // IEEE binary32, exponent -128; new format only
};

struct Stamp {
  int year = 0;  // four digits
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
};

// The header of a written file, beyond what the samples decide.
struct SpcFileSpec {
  SpcFormat format = SpcFormat::kNew;
  SampleType type = SampleType::kInt32;
  double firstx = 0.0;
  double lastx = 0.0;
  int xunits = 1;  // 1: wavenumber, cm-1
  int yunits = 1;  // 1: interferogram
  Stamp stamp;
  std::string restext;  // at most 9 bytes (8 in the old format); longer is cut
  std::string source;   // instrument text, new format only, at most 9 bytes
  std::string comment;  // at most 130 bytes; longer is cut
  int peakpoint = 0;    // 1-based centerburst point, 0 for none; stored when it fits an i16
};

// The exponent the integer samples are stored with: the smallest e for which every |y| is
// below 2^(e - 1), so every value fits its integer width after division by 2^(e - 32)
// (32-bit) or 2^(e - 16) (16-bit).
int sample_exponent(std::span<const double> y);

// The whole file: header, subheader and data block. Integers are the samples divided by
// the exponent's factor, rounded to nearest. Throws SynthError for f32 in the old format,
// an empty record, a non-finite sample or an exponent the header cannot hold.
std::vector<unsigned char> encode_spc(std::span<const double> y, const SpcFileSpec& recipe);

// Writes `bytes` to "<path>.tmp" and renames it to `path`, so a failed write leaves no
// partial file; throws SynthError naming the file and the reason.
void write_file(const std::string& path, std::span<const unsigned char> bytes);

}  // namespace ftir::synth

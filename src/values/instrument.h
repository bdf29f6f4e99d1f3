// What an instrument file states beside its interferogram: the parameters that fix the
// transform the instrument's own software made, and the curves it computed (the
// single-channel spectra, the ratio and the phase), kept as the checks of a conversion.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ftir::values {

// The interferograms an instrument file may hold: of the sample, or of the reference
// (background) channel.
enum class Channel { kSample, kReference };

// A curve stored by the instrument, on the evenly spaced X axis its file states: the first
// value lies at x_first, the last at x_last (x_first > x_last for spectra stored from high
// to low wavenumber). The values are kept as the file stores them (f32), with the file's Y
// scale beside them: the curve's value i is y(i).
struct StoredCurve {
  double x_first = 0.0;
  double x_last = 0.0;
  double y_scale = 1.0;
  std::vector<float> values;

  double y(std::size_t i) const { return static_cast<double>(values[i]) * y_scale; }
  // The X step between successive values (negative for a descending axis); 0 below 2 values.
  double x_step() const {
    return values.size() < 2 ? 0.0 : (x_last - x_first) / static_cast<double>(values.size() - 1);
  }
};

// A parameter the file states in a form no value can be read from (a ZFF of "abc", an HFQ
// stored as text, an APF stated empty), or a block of parameters it lacks: the key a
// setting replaces it by ("ZFF"; empty for none) and the reason in words.
struct ParameterProblem {
  std::string key;
  std::string text;
};

// The acquisition and processing parameters under their three-letter names; a parameter
// the file does not state is empty, one it states unreadably is empty and in `problems`.
// Text codes are kept as stored (APF "B3", PHZ "ML", AQM "SN" or "DD").
struct InstrumentParameters {
  std::optional<double> lwn;  // laser wavenumber, cm-1
  std::optional<double> hfl;  // high folding limit, cm-1
  std::optional<double> lfl;  // low folding limit, cm-1
  std::optional<int> ssp;     // sample spacing in laser fringes (undersampling)
  int npt = 0;                // points of the interferogram block
  double fxv = 0.0;           // first and last X of the interferogram block
  double lxv = 0.0;
  double csf = 1.0;           // Y scale the stored values are multiplied by
  std::string aqm;            // acquisition mode: "SN" single direction, "DD" forward + backward
  std::optional<int> pkl;     // peak location, 0-based point of the interferogram
  std::string apf;            // apodization function code
  std::optional<double> phr;  // phase resolution, cm-1
  std::string phz;            // phase correction mode
  std::optional<int> zff;     // zero filling factor
  std::optional<double> lfq;  // range of the computed spectrum, cm-1 (as stored: LFQ may be
  std::optional<double> hfq;  // above HFQ)
  std::optional<double> res;  // resolution, cm-1
  // The detector's nonlinearity correction y = NLA * y + NLB * y^2, applied when NLI is 1.
  std::optional<int> nli;
  std::optional<double> nla;
  std::optional<double> nlb;
  // The transform length the instrument used, where the file states it (OMNIC).
  std::optional<long long> transform_points;
  // Good forward and backward scans averaged into a two-direction record.
  std::optional<double> gfw;
  std::optional<double> gbw;
  std::vector<ParameterProblem> problems;
};

// When a channel's interferogram was measured, as its file states it (local time of the
// instrument; `zone` the offset text the file adds, "GMT+1", or empty).
struct MeasuredAt {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  std::string zone;
};

// An instrument file's facts, attached to the interferogram read from it.
struct Instrument {
  Channel channel = Channel::kSample;  // the channel the interferogram's samples are of
  std::string block;                   // the block they came from ("IgSm", "IgRf", ...)
  InstrumentParameters parameters;     // of that channel
  // Scans in the interferogram's samples: 1, or 2 when forward and backward scans lie one
  // after the other (AQM "DD"), each of scan_points samples.
  int scans = 1;
  int scan_points = 0;
  std::optional<StoredCurve> sample_spectrum;     // ScSm
  std::optional<StoredCurve> reference_spectrum;  // ScRf
  std::optional<StoredCurve> absorbance;          // AB
  std::optional<StoredCurve> transmittance;       // TR
  std::optional<StoredCurve> sample_phase;        // PhSm
  // What the file says of the measurement: the sample's name, as stored (single-byte text,
  // empty when the file names none), and when the channel's interferogram was measured.
  std::string sample_name;
  std::optional<MeasuredAt> measured;
};

}  // namespace ftir::values

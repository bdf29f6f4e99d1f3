// The OPUS interferogram reader: the block of the chosen channel, its status block's
// points and scale, the channel's parameters and the curves the instrument computed.
#include "opusfile/reader.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "opusfile/opus_file.h"

namespace ftir::opusfile {
namespace {

// The parameter block kinds the transform parameters sit in.
constexpr int kInstrumentBlock = 2;
constexpr int kAcquisitionBlock = 3;
constexpr int kTransformBlock = 4;
constexpr int kSampleOriginBlock = 10;

// The leading whole number of `text` from `at` on, and where it ends; nullopt when no digit
// stands there.
std::optional<int> leading_number(std::string_view text, std::size_t& at) {
  int value = 0;
  const std::size_t start = at;
  while (at < text.size() && at - start < 6 && text[at] >= '0' && text[at] <= '9') {
    value = value * 10 + (text[at++] - '0');
  }
  if (at == start) return std::nullopt;
  return value;
}

// The date DAT ("06/02/2020", day first; or "2020/02/06") and time TIM ("13:09:58.095
// (GMT+1)") a data status block states; nullopt unless both read as a calendar date and a
// time of day.
std::optional<values::MeasuredAt> measured_of(std::string_view dat, std::string_view tim) {
  int parts[3] = {};
  std::size_t at = 0;
  std::size_t year_digits = 0;
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && (at >= dat.size() || (dat[at] != '/' && dat[at] != '.' && dat[at] != '-'))) {
      return std::nullopt;
    }
    if (i > 0) ++at;
    const std::size_t start = at;
    const std::optional<int> v = leading_number(dat, at);
    if (!v) return std::nullopt;
    if (i == 0) year_digits = at - start;
    parts[i] = *v;
  }
  values::MeasuredAt m;
  const bool year_first = year_digits == 4;
  m.year = year_first ? parts[0] : parts[2];
  m.month = parts[1];
  m.day = year_first ? parts[2] : parts[0];
  at = 0;
  int clock[3] = {};
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && (at >= tim.size() || tim[at++] != ':')) return std::nullopt;
    const std::optional<int> v = leading_number(tim, at);
    if (!v) return std::nullopt;
    clock[i] = *v;
  }
  m.hour = clock[0];
  m.minute = clock[1];
  m.second = clock[2];
  if (m.month < 1 || m.month > 12 || m.day < 1 || m.day > 31 || m.year < 1900 || m.year > 9999 ||
      m.hour > 23 || m.minute > 59 || m.second > 60) {
    return std::nullopt;
  }
  const std::size_t open = tim.find('(');
  const std::size_t close = tim.find(')', open);
  if (open != std::string_view::npos && close != std::string_view::npos) {
    m.zone = std::string(tim.substr(open + 1, close - open - 1));
  }
  return m;
}

// The parameters of one channel, read from its blocks: a value stated in a form none can be
// read from is left unset and noted among the problems with its key.
class ParameterReader {
 public:
  explicit ParameterReader(std::vector<values::ParameterProblem>& problems)
      : problems_(problems) {}

  std::optional<double> real(const Block* block, std::string_view key) {
    const Parameter* p = find(block, key);
    if (p == nullptr) return std::nullopt;
    if (p->type == 1) return p->real;
    if (p->type == 0) return static_cast<double>(p->integer);
    return unreadable(key, "\"" + std::string(p->text) + "\" is text, not a number");
  }

  // An integer parameter; the instrument stores some (ZFF) as an enumeration text.
  std::optional<int> integer(const Block* block, std::string_view key) {
    const Parameter* p = find(block, key);
    if (p == nullptr) return std::nullopt;
    if (p->type == 0) return p->integer;
    // Six digits at most: far beyond any factor or count, and clear of int's range.
    if (p->is_text() && !p->text.empty() && p->text.size() <= 6 &&
        p->text.find_first_not_of("0123456789") == std::string::npos) {
      return std::stoi(std::string(p->text));
    }
    if (p->is_text()) {
      return unreadable(key, "\"" + std::string(p->text) + "\" is not a whole number");
    }
    return unreadable(key, "is a real number, not a whole one");
  }

  // A text code; one stated empty or as a number is a problem, not an absent code.
  std::string text(const Block* block, std::string_view key) {
    const Parameter* p = find(block, key);
    if (p == nullptr) return {};
    if (!p->is_text()) unreadable(key, "is a number, not a code");
    if (p->is_text() && p->text.empty()) unreadable(key, "is stated empty");
    return p->is_text() ? std::string(p->text) : std::string();
  }

 private:
  static const Parameter* find(const Block* block, std::string_view key) {
    return block == nullptr ? nullptr : block->find(key);
  }
  std::nullopt_t unreadable(std::string_view key, const std::string& what) {
    problems_.push_back({std::string(key), "its " + std::string(key) + " " + what});
    return std::nullopt;
  }

  std::vector<values::ParameterProblem>& problems_;
};

// A text the file states for information only (sample name, date): empty where absent or
// not text, never a problem.
std::string text_of(const Block* block, std::string_view key) {
  if (block == nullptr) return {};
  const Parameter* p = block->find(key);
  return p != nullptr && p->is_text() ? std::string(p->text) : std::string();
}

std::optional<values::StoredCurve> curve_of(std::span<const unsigned char> bytes,
                                            const OpusFile& file, int data, int channel) {
  const Block* block = find_data_block(file, data, channel);
  if (block == nullptr) return std::nullopt;
  values::StoredCurve curve;
  curve.x_first = block->fxv;
  curve.x_last = block->lxv;
  curve.y_scale = block->csf;
  curve.values.resize(static_cast<std::size_t>(block->npt));
  read_stored_values(bytes, *block, curve.values);
  return curve;
}

}  // namespace

values::Instrument instrument_facts(std::span<const unsigned char> bytes, const OpusFile& file,
                                    const Block& interferogram, values::Channel channel) {
  const int ch = channel == values::Channel::kSample ? kChannelSample : kChannelReference;
  const Block* instrument = find_parameter_block(file, kInstrumentBlock, ch);
  const Block* acquisition = find_parameter_block(file, kAcquisitionBlock, ch);
  const Block* transform = find_parameter_block(file, kTransformBlock, ch);
  values::Instrument facts;
  facts.channel = channel;
  facts.block = block_name(interferogram.type);
  values::InstrumentParameters& p = facts.parameters;
  ParameterReader read(p.problems);
  p.lwn = read.real(instrument, "LWN");
  p.hfl = read.real(instrument, "HFL");
  p.lfl = read.real(instrument, "LFL");
  p.ssp = read.integer(instrument, "SSP");
  p.pkl = read.integer(instrument, "PKL");
  p.npt = interferogram.npt;
  p.fxv = interferogram.fxv;
  p.lxv = interferogram.lxv;
  p.csf = interferogram.csf;
  p.aqm = read.text(acquisition, "AQM");
  p.res = read.real(acquisition, "RES");
  p.apf = read.text(transform, "APF");
  p.phr = read.real(transform, "PHR");
  p.phz = read.text(transform, "PHZ");
  p.zff = read.integer(transform, "ZFF");
  p.lfq = read.real(transform, "LFQ");
  p.hfq = read.real(transform, "HFQ");
  p.nli = read.integer(transform, "NLI");
  p.nla = read.real(instrument, "NLA");
  p.nlb = read.real(instrument, "NLB");
  p.gfw = read.real(instrument, "GFW");
  p.gbw = read.real(instrument, "GBW");
  if (transform == nullptr) {
    p.problems.push_back({"", "it holds no transform parameter block (APF, PHZ, ZFF, ...), "
                              "which states how the instrument converted it"});
  }
  // Forward and backward scans lie one after the other, half the points each.
  facts.scans = p.aqm.size() == 2 && p.aqm[1] == 'D' ? 2 : 1;
  facts.scan_points = interferogram.npt / facts.scans;
  facts.sample_spectrum = curve_of(bytes, file, kDataSpectrum, kChannelSample);
  facts.reference_spectrum = curve_of(bytes, file, kDataSpectrum, kChannelReference);
  facts.absorbance = curve_of(bytes, file, kDataAbsorbance, kChannelRatio);
  facts.transmittance = curve_of(bytes, file, kDataTransmittance, kChannelRatio);
  facts.sample_phase = curve_of(bytes, file, kDataPhase, kChannelSample);
  facts.sample_name = text_of(find_parameter_block(file, kSampleOriginBlock, ch), "SNM");
  if (interferogram.status >= 0) {
    const Block* status = &file.blocks[static_cast<std::size_t>(interferogram.status)];
    facts.measured = measured_of(text_of(status, "DAT"), text_of(status, "TIM"));
  }
  return facts;
}

std::optional<values::Channel> channel_taken(const OpusFile& file,
                                             std::optional<values::Channel> channel) {
  const values::Channel asked = channel.value_or(values::Channel::kSample);
  if (asked == values::Channel::kSample &&
      find_data_block(file, kDataInterferogram, kChannelSample) != nullptr) {
    return values::Channel::kSample;
  }
  // A file of the reference channel alone (a background) gives its IgRf unless the sample
  // channel was asked for by name.
  if ((!channel || asked == values::Channel::kReference) &&
      find_data_block(file, kDataInterferogram, kChannelReference) != nullptr) {
    return values::Channel::kReference;
  }
  return std::nullopt;
}

OpusRead read_opus(std::string_view name, std::span<const unsigned char> bytes,
                   std::optional<values::Channel> channel, std::span<double> yin) {
  OpusRead read;
  read.ig.name = name;
  read.ig.format = values::SourceFormat::kOpus;
  OpusParse parse = parse_opus(bytes);
  if (parse.refused) {
    read.refused = std::move(parse.refused);
    return read;
  }
  const OpusFile& file = parse.file;
  const std::optional<values::Channel> taken = channel_taken(file, channel);
  const values::Channel chosen = taken.value_or(values::Channel::kSample);
  const Block* block =
      taken ? find_data_block(file, kDataInterferogram,
                              chosen == values::Channel::kSample ? kChannelSample
                                                                 : kChannelReference)
            : nullptr;
  if (block == nullptr) {
    // A channel asked for by name: say which the file holds instead.
    std::string detail;
    if (channel) {
      const bool sample = *channel == values::Channel::kSample;
      const bool other = find_data_block(file, kDataInterferogram,
                                         sample ? kChannelReference : kChannelSample) != nullptr;
      detail = std::string("it holds no ") + (sample ? "sample" : "reference") +
               " interferogram (" + (sample ? "IgSm" : "IgRf") + ")" +
               (other ? std::string(", only the ") + (sample ? "reference" : "sample") +
                            " channel's (" + (sample ? "IgRf" : "IgSm") + "): a file of one channel"
                      : "");
    }
    read.refused = values::Refused{values::Refusal::kNoInterferogram, std::move(detail), 0, 0};
    return read;
  }
  if (static_cast<std::size_t>(block->npt) > yin.size()) {
    read.refused = values::Refused{
        values::Refusal::kTooManyPoints, {}, static_cast<int>(yin.size()), block->npt};
    return read;
  }
  read.ig.declared_points = block->npt;
  read.ig.points_held = block->npt;
  read.ig.samples = yin.first(static_cast<std::size_t>(block->npt));
  const bool finite = read_values(bytes, *block, read.ig.samples);
  if (!finite) {
    read.ig.samples = {};
    read.refused = values::Refused{values::Refusal::kNotFinite, {}, 0, 0};
    return read;
  }
  read.ig.x = {block->fxv, block->lxv, 0};
  read.ig.xinc = block->npt < 2 ? 0.0 : (block->lxv - block->fxv) / (block->npt - 1);
  auto facts = std::make_shared<values::Instrument>(instrument_facts(bytes, file, *block, chosen));
  read.ig.laser = facts->parameters.lwn;
  read.ig.instrument = std::move(facts);
  return read;
}

}  // namespace ftir::opusfile

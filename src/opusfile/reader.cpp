// The OPUS interferogram reader: the block of the chosen channel, its status block's
// points and scale, the channel's parameters and the curves the instrument computed.
#include "opusfile/reader.h"

#include <cmath>
#include <limits>
#include <memory>

#include "opusfile/opus_file.h"

namespace ftir::opusfile {
namespace {

// The parameter block kinds the transform parameters sit in.
constexpr int kInstrumentBlock = 2;
constexpr int kAcquisitionBlock = 3;
constexpr int kTransformBlock = 4;

std::optional<double> real_of(const Block* block, std::string_view key) {
  if (block == nullptr) return std::nullopt;
  const Parameter* p = block->find(key);
  if (p == nullptr) return std::nullopt;
  if (p->type == 1) return p->real;
  if (p->type == 0) return static_cast<double>(p->integer);
  return std::nullopt;
}

// An integer parameter; the instrument stores some (ZFF) as an enumeration text.
std::optional<int> int_of(const Block* block, std::string_view key) {
  if (block == nullptr) return std::nullopt;
  const Parameter* p = block->find(key);
  if (p == nullptr) return std::nullopt;
  if (p->type == 0) return p->integer;
  if (p->is_text() && !p->text.empty() && p->text.size() <= 6 &&
      p->text.find_first_not_of("0123456789") == std::string::npos) {
    return std::stoi(std::string(p->text));
  }
  return std::nullopt;
}

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
  p.lwn = real_of(instrument, "LWN");
  p.hfl = real_of(instrument, "HFL");
  p.lfl = real_of(instrument, "LFL");
  p.ssp = int_of(instrument, "SSP");
  p.pkl = int_of(instrument, "PKL");
  p.npt = interferogram.npt;
  p.fxv = interferogram.fxv;
  p.lxv = interferogram.lxv;
  p.csf = interferogram.csf;
  p.aqm = text_of(acquisition, "AQM");
  p.res = real_of(acquisition, "RES");
  p.apf = text_of(transform, "APF");
  p.phr = real_of(transform, "PHR");
  p.phz = text_of(transform, "PHZ");
  p.zff = int_of(transform, "ZFF");
  p.lfq = real_of(transform, "LFQ");
  p.hfq = real_of(transform, "HFQ");
  p.nli = int_of(transform, "NLI");
  p.nla = real_of(instrument, "NLA");
  p.nlb = real_of(instrument, "NLB");
  p.gfw = real_of(instrument, "GFW");
  p.gbw = real_of(instrument, "GBW");
  // Forward and backward scans lie one after the other, half the points each.
  facts.scans = p.aqm.size() == 2 && p.aqm[1] == 'D' ? 2 : 1;
  facts.scan_points = interferogram.npt / facts.scans;
  facts.sample_spectrum = curve_of(bytes, file, kDataSpectrum, kChannelSample);
  facts.reference_spectrum = curve_of(bytes, file, kDataSpectrum, kChannelReference);
  facts.absorbance = curve_of(bytes, file, kDataAbsorbance, kChannelRatio);
  facts.transmittance = curve_of(bytes, file, kDataTransmittance, kChannelRatio);
  facts.sample_phase = curve_of(bytes, file, kDataPhase, kChannelSample);
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
    read.refused = values::Refused{values::Refusal::kNoInterferogram, {}, 0, 0};
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

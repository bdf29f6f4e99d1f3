// The record set's small helpers: names, refusal text, and the set of one.
#include "values/record_set.h"

#include <charconv>

namespace ftir::values {

const char* set_format_name(SetFormat f) {
  switch (f) {
    case SetFormat::kSpc: return "SPC";
    case SetFormat::kOpus: return "OPUS";
    case SetFormat::kOmnic: return "OMNIC";
    case SetFormat::kImagingTile: return "tile";
    case SetFormat::kImagingMosaic: return "mosaic";
  }
  return "";
}

const std::string* SharedFacts::parameter(std::string_view key) const {
  for (const auto& [k, v] : parameters) {
    if (k == key) return &v;
  }
  return nullptr;
}

std::string SetRefusal::text() const {
  std::string t = file + ": ";
  if (record) t += "record " + std::to_string(*record) + ": ";
  return t + reason.skip_text();
}

namespace {

// The shortest text that reads back as the same double.
std::string number_text(double v) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

void add(SharedFacts& f, const char* key, const std::optional<double>& v) {
  if (v) f.parameters.emplace_back(key, number_text(*v));
}
void add(SharedFacts& f, const char* key, const std::optional<int>& v) {
  if (v) f.parameters.emplace_back(key, std::to_string(*v));
}
void add(SharedFacts& f, const char* key, const std::string& v) {
  if (!v.empty()) f.parameters.emplace_back(key, v);
}

SetFormat set_format_of(SourceFormat f) {
  switch (f) {
    case SourceFormat::kOpus: return SetFormat::kOpus;
    case SourceFormat::kOmnic: return SetFormat::kOmnic;
    case SourceFormat::kSpc: break;
  }
  return SetFormat::kSpc;
}

}  // namespace

RecordSet set_of_one(const Interferogram& ig) {
  RecordSet set;
  set.name = ig.name;
  SharedFacts& f = set.facts;
  f.format = set_format_of(ig.format);
  f.points = static_cast<int>(ig.samples.size());
  f.scans = ig.scans;
  f.laser = ig.laser;
  f.xinc = ig.xinc;
  f.xinc_unit = ig.format == SourceFormat::kSpc ? "file X unit" : "cm";
  RecordFacts row;
  if (ig.instrument) {
    const InstrumentParameters& p = ig.instrument->parameters;
    f.undersampling = p.ssp;
    f.nominal_zpd = p.pkl;
    f.symmetry = p.aqm;
    add(f, "LWN", p.lwn);
    add(f, "HFL", p.hfl);
    add(f, "LFL", p.lfl);
    add(f, "SSP", p.ssp);
    add(f, "AQM", p.aqm);
    add(f, "PKL", p.pkl);
    add(f, "APF", p.apf);
    add(f, "PHR", p.phr);
    add(f, "PHZ", p.phz);
    add(f, "ZFF", p.zff);
    add(f, "LFQ", p.lfq);
    add(f, "HFQ", p.hfq);
    add(f, "RES", p.res);
    row.zpd = p.pkl;
    row.scale = p.csf;
    if (p.gfw) row.good_scans = static_cast<int>(*p.gfw);
  }
  set.shape = {1};
  set.table.push_back(row);
  set.samples.assign(ig.samples.begin(), ig.samples.end());
  return set;
}

}  // namespace ftir::values

// The geometry plan and the set conversion built on it.
#include "transform/record_plan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <thread>

#include "transform/windows.h"

namespace ftir::transform {

using values::Refusal;
using values::Refused;

namespace {

Refused cannot_honour(std::string text) { return Refused{Refusal::kInstrumentParameter, std::move(text)}; }

// The vendor's apodization names.
struct NamedWindow {
  std::string_view name;
  double (*weight)(double, double);
};
constexpr NamedWindow kWindows[] = {
    {"Blackman Harris 4 Term", APBH4}, {"Blackman Harris 3 Term", APBH3},
    {"Happ-Genzel", APHG},             {"Triangular", APTRI},
    {"Boxcar", APBOX},
};

// The two numbers of a range text such as "2100, 2000 Wavenumber".
std::optional<std::pair<double, double>> range_of(const std::string& text) {
  double a = 0.0, b = 0.0;
  const char* p = text.data();
  const char* end = p + text.size();
  auto r = std::from_chars(p, end, a);
  if (r.ec != std::errc()) return std::nullopt;
  p = r.ptr;
  while (p < end && (*p == ',' || *p == ' ')) ++p;
  r = std::from_chars(p, end, b);
  if (r.ec != std::errc()) return std::nullopt;
  return std::pair{std::min(a, b), std::max(a, b)};
}

}  // namespace

std::variant<RecordRecipe, Refused> imaging_recipe(const values::SharedFacts& f) {
  RecordRecipe r;
  r.points = f.points;
  if (!f.nominal_zpd) return cannot_honour("the header states no zero path difference");
  r.zpd = *f.nominal_zpd;
  r.xinc = f.xinc;
  if (!(r.xinc > 0.0) || r.points < 4) return cannot_honour("the interferogram axis is unusable");
  r.asymmetric = f.symmetry != "SYM";
  const std::string* apod = f.parameter("Apodization Type");
  if (!apod) return cannot_honour("the header states no apodization");
  for (const NamedWindow& w : kWindows) {
    if (w.name == *apod) r.window = w.weight;
  }
  if (!r.window) return cannot_honour("apodization \"" + *apod + "\" is not known");
  for (const char* key : {"Phase Correction", "Phase Size", "Phase Apodization"}) {
    const std::string* v = f.parameter(key);
    if (v && *v != "Auto") return cannot_honour(std::string(key) + " \"" + *v + "\" is not known");
  }
  int factor = 1;
  if (const std::string* zff = f.parameter("Zero Filling Factor"); zff && *zff != "Auto") {
    const auto res = std::from_chars(zff->data(), zff->data() + zff->size(), factor);
    if (res.ec != std::errc() || factor < 1 || factor > 16 || (factor & (factor - 1)) != 0) {
      return cannot_honour("zero filling factor \"" + *zff + "\" is not known");
    }
  }
  int n = 1;
  while (n < r.points) n *= 2;
  r.fft_points = n * factor;
  if (r.fft_points > Fft::kMaxPoints) return cannot_honour("the transform would be too long");
  // The phase piece: as many samples before the ZPD as there are, as many after.
  r.phase_half = std::min(r.zpd, r.points - r.zpd);
  if (r.zpd < 1 || r.zpd >= r.points - 1 || r.phase_half < 2) {
    return cannot_honour("the zero path difference leaves no phase piece");
  }
  const std::string* region = f.parameter("Region");
  const auto range = region ? range_of(*region) : std::nullopt;
  const double nyquist = 1.0 / (2.0 * r.xinc);
  r.low = range ? range->first : 0.0;
  r.high = range ? range->second : nyquist;
  return r;
}

RecordPlan::RecordPlan(const RecordRecipe& recipe) : recipe_(recipe) {
  const RecordRecipe& r = recipe_;
  while ((1 << log2n_) < r.fft_points) ++log2n_;
  const int n = r.points;
  const double long_side = std::max(r.zpd, n - 1 - r.zpd);
  main_weight_.resize(static_cast<std::size_t>(n));
  phase_weight_.resize(static_cast<std::size_t>(n));
  place_.resize(static_cast<std::size_t>(n));
  const double half = r.phase_half;
  for (int j = 0; j < n; ++j) {
    const double d = j - r.zpd;
    // The ramp weighs the symmetric piece's samples (i + 1) / (2 * half), i = 0 .. 2 * half
    // - 1, so that each path difference counts once between the two sides; the long side
    // beyond keeps weight 1 (the vendor's spectra show this ramp, and no doubling: their
    // single beams are these to 2 parts in 10^4).
    double ramp = 1.0;
    if (r.asymmetric) ramp = std::clamp((d + half + 1.0) / (2.0 * half), 0.0, 1.0);
    main_weight_[static_cast<std::size_t>(j)] = r.window(d, long_side) * ramp;
    phase_weight_[static_cast<std::size_t>(j)] = d >= -half && d < half ? APTRI(d, half) : 0.0;
    place_[static_cast<std::size_t>(j)] = (j - r.zpd + r.fft_points) % r.fft_points;
  }
  // The kept points: those inside the range and one beyond each end, within 0 .. N/2.
  const double step = 1.0 / (r.fft_points * r.xinc);
  const int last_bin = r.fft_points / 2;
  int first = static_cast<int>(std::ceil(r.low / step)) - 1;
  int last = static_cast<int>(std::floor(r.high / step)) + 1;
  first = std::clamp(first, 0, last_bin);
  last = std::clamp(last, first, last_bin);
  first_kept_ = first;
  for (int k = first; k <= last; ++k) wavenumbers_.push_back(k * step);
}

bool RecordPlan::single_beam(std::span<const double> record, RecordWork& work,
                             std::span<double> out) const {
  const RecordRecipe& r = recipe_;
  double sum = 0.0;
  for (const double v : record) sum += v;
  const double mean = sum / r.points;
  std::span<Complex> buf(work.buffer.data(), static_cast<std::size_t>(r.fft_points));
  std::fill(buf.begin(), buf.end(), Complex{0.0, 0.0});
  // The weighted record in the real part, its phase piece in the imaginary part: one
  // transform gives both spectra.
  for (std::size_t j = 0; j < record.size(); ++j) {
    const double a = record[j] - mean;
    buf[static_cast<std::size_t>(place_[j])] = {a * main_weight_[j], a * phase_weight_[j]};
  }
  work.fft.CFFT(buf, log2n_, r.fft_points, 1);
  bool defined = true;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int k = first_kept_ + static_cast<int>(i);
    const Complex x = buf[static_cast<std::size_t>(k)];
    const Complex y = buf[static_cast<std::size_t>((r.fft_points - k) % r.fft_points)];
    // Spectrum a = (X_k + conj X_-k) / 2, phase piece b = (X_k - conj X_-k) / 2i.
    const Complex a{(x.re + y.re) / 2.0, (x.im - y.im) / 2.0};
    const Complex b{(x.im + y.im) / 2.0, (y.re - x.re) / 2.0};
    const double mag = std::hypot(b.re, b.im);
    if (!(mag > 0.0)) {
      defined = false;
      out[i] = 0.0;
      continue;
    }
    out[i] = (a.re * b.re + a.im * b.im) / mag;
  }
  return defined;
}

const RecordPlan& PlanCache::plan(const RecordRecipe& recipe) {
  auto& slot = plans_[recipe.key()];
  if (!slot) slot = std::make_unique<RecordPlan>(recipe);
  return *slot;
}

namespace {

// The recipe of `base` with its ZPD at `zpd`, or nothing when that leaves no phase piece.
std::optional<RecordRecipe> at_zpd(RecordRecipe r, int zpd) {
  r.zpd = zpd;
  r.phase_half = std::min(zpd, r.points - zpd);
  if (zpd < 1 || zpd >= r.points - 1 || r.phase_half < 2) return std::nullopt;
  return r;
}

int zpd_of(const values::RecordSet& set, long r, int nominal, ZpdRule rule) {
  if (rule == ZpdRule::kStored) {
    return set.table[static_cast<std::size_t>(r)].zpd.value_or(nominal);
  }
  if (rule == ZpdRule::kNominal) return nominal;
  const auto x = set.record(r);
  double sum = 0.0;
  for (const double v : x) sum += v;
  const double mean = sum / static_cast<double>(x.size());
  std::size_t at = 0;
  for (std::size_t i = 1; i < x.size(); ++i) {
    if (std::fabs(x[i] - mean) > std::fabs(x[at] - mean)) at = i;
  }
  return static_cast<int>(at);
}

}  // namespace

std::variant<SetSpectra, Refused> convert_set(const values::RecordSet& sample,
                                              const values::RecordSet* background,
                                              RatioKind kind, PlanCache& plans, ZpdRule zpd,
                                              int threads) {
  auto recipe = imaging_recipe(sample.facts);
  if (auto* refused = std::get_if<Refused>(&recipe)) return *refused;
  const RecordRecipe base = std::get<RecordRecipe>(recipe);
  RecordRecipe bg_base = base;
  if (background) {
    auto bg = imaging_recipe(background->facts);
    if (auto* refused = std::get_if<Refused>(&bg)) return *refused;
    // The sample's processing on the background's geometry.
    const RecordRecipe& own = std::get<RecordRecipe>(bg);
    std::tie(bg_base.points, bg_base.zpd, bg_base.xinc, bg_base.fft_points, bg_base.phase_half) =
        std::tie(own.points, own.zpd, own.xinc, own.fft_points, own.phase_half);
  }
  // The background pixel of each record: the same record, or in an image made of
  // background-sized tiles, the same place within its tile.
  const auto bg_record = [&](long r) -> std::optional<long> {
    if (background->records() == sample.records()) return r;
    if (sample.shape.size() != 2 || background->shape.size() != 2) return std::nullopt;
    const long h = background->shape[0], w = background->shape[1];
    if (h < 1 || w < 1 || sample.shape[0] % h != 0 || sample.shape[1] % w != 0) return std::nullopt;
    const long row = r / sample.shape[1], col = r % sample.shape[1];
    return (row % h) * w + col % w;
  };
  if (background && !bg_record(0)) {
    return Refused{Refusal::kInstrumentParameter,
                   "the background's pixels do not match the sample's image"};
  }
  SetSpectra out;
  const long records = sample.records();
  out.refused.resize(static_cast<std::size_t>(records));
  // Every plan the records need, made before any worker starts: the workers only read.
  std::vector<const RecordPlan*> plan_of(static_cast<std::size_t>(records), nullptr);
  std::vector<const RecordPlan*> bg_plan_of(static_cast<std::size_t>(records), nullptr);
  const RecordPlan& first = plans.plan(base);
  out.wavenumbers.assign(first.wavenumbers().begin(), first.wavenumbers().end());
  const auto same_grid = [&](const RecordPlan& p) {
    return std::equal(p.wavenumbers().begin(), p.wavenumbers().end(), out.wavenumbers.begin(),
                      out.wavenumbers.end());
  };
  int most_points = base.fft_points;
  for (long r = 0; r < records; ++r) {
    auto& refused = out.refused[static_cast<std::size_t>(r)];
    refused = sample.table[static_cast<std::size_t>(r)].refused;
    if (refused) continue;
    const auto rs = at_zpd(base, zpd_of(sample, r, base.zpd, zpd));
    std::optional<RecordRecipe> rb;
    if (background) {
      const long b = *bg_record(r);
      if (background->table[static_cast<std::size_t>(b)].refused) {
        refused = Refused{Refusal::kNoSignal, "its background pixel is refused"};
        continue;
      }
      rb = at_zpd(bg_base, zpd_of(*background, b, bg_base.zpd, zpd));
    }
    if (!rs || (background && !rb)) {
      refused = Refused{Refusal::kInstrumentGeometry, {}};
      continue;
    }
    plan_of[static_cast<std::size_t>(r)] = &plans.plan(*rs);
    if (rb) {
      bg_plan_of[static_cast<std::size_t>(r)] = &plans.plan(*rb);
      if (!same_grid(*bg_plan_of[static_cast<std::size_t>(r)])) {
        return Refused{Refusal::kChannelsApart, {}};
      }
      most_points = std::max(most_points, rb->fft_points);
    }
  }
  const auto kept = out.wavenumbers.size();
  out.values.assign(static_cast<std::size_t>(records) * kept, 0.0);
  // One worker's chunk: records [begin, end), written only to their own rows.
  const auto work_on = [&](long begin, long end) {
    RecordWork work(most_points);
    std::vector<double> bg(kept);
    for (long r = begin; r < end; ++r) {
      const RecordPlan* plan = plan_of[static_cast<std::size_t>(r)];
      if (!plan) continue;
      auto& refused = out.refused[static_cast<std::size_t>(r)];
      const std::span<double> y(out.values.data() + static_cast<std::size_t>(r) * kept, kept);
      if (!plan->single_beam(sample.record(r), work, y)) {
        refused = Refused{Refusal::kNoSignal, {}};
        continue;
      }
      if (!background) continue;
      if (!bg_plan_of[static_cast<std::size_t>(r)]->single_beam(background->record(*bg_record(r)),
                                                                  work, bg)) {
        refused = Refused{Refusal::kNoSignal, "its background pixel yields no single beam"};
        continue;
      }
      for (std::size_t i = 0; i < kept; ++i) {
        const double t = y[i] / bg[i];
        y[i] = kind == RatioKind::kAbsorbance ? -std::log10(t) : t;
      }
    }
  };
  const long workers = std::clamp<long>(threads, 1, std::max<long>(1, records));
  if (workers == 1) {
    work_on(0, records);
    return out;
  }
  std::vector<std::thread> pool;
  for (long w = 0; w < workers; ++w) {
    pool.emplace_back(work_on, records * w / workers, records * (w + 1) / workers);
  }
  for (std::thread& t : pool) t.join();
  return out;
}

}  // namespace ftir::transform

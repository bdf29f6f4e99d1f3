// The width of this process, read once from the processor and FTIR_SIMD.
#include "simd/width.h"

#include <cstdlib>

namespace ftir::simd {

std::string_view width_name(Width width) {
  switch (width) {
    case Width::kPlain:
      return "plain";
    case Width::kSse2:
      return "sse2";
    case Width::kAvx2:
      return "avx2";
  }
  return "plain";
}

std::optional<Width> parse_width(std::string_view name) {
  for (Width w : {Width::kPlain, Width::kSse2, Width::kAvx2}) {
    if (name == width_name(w)) return w;
  }
  return std::nullopt;
}

bool processor_has(Width width) {
  switch (width) {
    case Width::kPlain:
      return true;
    case Width::kSse2:
      return __builtin_cpu_supports("sse2") != 0;
    case Width::kAvx2:
      return __builtin_cpu_supports("avx2") != 0;
  }
  return false;
}

Width widest_width() {
  static const Width widest = processor_has(Width::kAvx2)   ? Width::kAvx2
                              : processor_has(Width::kSse2) ? Width::kSse2
                                                            : Width::kPlain;
  return widest;
}

Width choose_width(const char* requested, Width widest) {
  if (requested == nullptr) return widest;
  const std::optional<Width> named = parse_width(requested);
  // The widths are ordered: a processor that has one has every narrower one.
  if (named && static_cast<int>(*named) <= static_cast<int>(widest)) return *named;
  return widest;
}

Width active_width() {
  static const Width active = choose_width(std::getenv("FTIR_SIMD"), widest_width());
  return active;
}

}  // namespace ftir::simd

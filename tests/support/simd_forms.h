// The forms a kernel test runs: every width, each skipped where the processor lacks it.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "simd/width.h"

namespace ftir::simd {

class FormTest : public ::testing::TestWithParam<Width> {
 protected:
  void SetUp() override {
    if (!processor_has(GetParam())) GTEST_SKIP() << "this processor lacks the form";
  }
  Width width() const { return GetParam(); }
};

// Every form, for INSTANTIATE_TEST_SUITE_P(Forms, Suite, ValuesIn(all_forms()), form_name).
inline std::vector<Width> all_forms() { return {Width::kPlain, Width::kSse2, Width::kAvx2}; }

inline std::string form_name(const ::testing::TestParamInfo<Width>& info) {
  return std::string(width_name(info.param));
}

inline bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

template <class T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

}  // namespace ftir::simd

// The forms a kernel test runs: every width, each skipped where the processor lacks it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
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

template <std::integral T>
bool same_bits(T a, T b) {
  return a == b;
}

// Several arrays a kernel writes, compared row by row.
using Rows = std::vector<std::vector<double>>;
inline bool same_bits(const Rows& a, const Rows& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const auto& x, const auto& y) { return same_bits(x, y); });
}

// Runs `call(form, state)` on one copy of `state` with `form` and on another with the plain
// form: the results (if any) and the states afterwards agree bit for bit.
template <class State, class Call>
void expect_same_as_plain(Width form, const State& state, Call call) {
  State fast = state;
  State plain = state;
  if constexpr (std::is_void_v<decltype(call(form, fast))>) {
    call(form, fast);
    call(Width::kPlain, plain);
  } else {
    const auto result = call(form, fast);
    EXPECT_TRUE(same_bits(result, call(Width::kPlain, plain)));
  }
  EXPECT_TRUE(same_bits(fast, plain));
}

}  // namespace ftir::simd

// The forms a kernel test runs: every width, each skipped where the processor lacks it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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

// Numbers (of any width) and arrays of them, arrays of arrays row by row.
template <class T>
  requires std::is_arithmetic_v<T>
bool same_bits(T a, T b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

template <class T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const T& x, const T& y) { return same_bits(x, y); });
}

// Several arrays a kernel writes.
using Rows = std::vector<std::vector<double>>;

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

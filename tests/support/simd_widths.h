// Runs a check with the loops' AVX2 variants (where the processor has them), then again
// with their SSE2 forms, so that both are held to the same expectations on any machine.
#pragma once

#include <gtest/gtest.h>

#include "spcfile/simd.h"

namespace ftir::testing {

template <class Fn>
void for_each_simd_width(Fn&& check) {
  for (bool wide : {true, false}) {
    SCOPED_TRACE(wide ? "AVX2 variants" : "SSE2 forms");
    spcfile::allow_avx2(wide);
    check();
  }
  spcfile::allow_avx2(true);
}

}  // namespace ftir::testing

// The width of a process: FTIR_SIMD's value against what the processor has.
#include "simd/width.h"

#include <gtest/gtest.h>

namespace ftir::simd {
namespace {

TEST(WidthTest, ForcedWidthsFallBackToTheWidestTheProcessorHas) {
  const struct {
    const char* requested;
    Width widest;
    Width chosen;
  } cases[] = {
      {nullptr, Width::kAvx2, Width::kAvx2},
      {nullptr, Width::kSse2, Width::kSse2},
      {"plain", Width::kAvx2, Width::kPlain},
      {"sse2", Width::kAvx2, Width::kSse2},
      {"avx2", Width::kAvx2, Width::kAvx2},
      {"avx2", Width::kSse2, Width::kSse2},  // forced beyond the processor
      {"sse2", Width::kPlain, Width::kPlain},
      {"plain", Width::kPlain, Width::kPlain},
      {"AVX2", Width::kAvx2, Width::kAvx2},  // unknown names are ignored
      {"avx512", Width::kSse2, Width::kSse2},
      {"", Width::kAvx2, Width::kAvx2},
      {"sse2 ", Width::kAvx2, Width::kAvx2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << (c.requested ? c.requested : "(unset)") << " on " << width_name(c.widest));
    EXPECT_EQ(choose_width(c.requested, c.widest), c.chosen);
  }
}

TEST(WidthTest, NamesAndTheProcessor) {
  EXPECT_EQ(width_name(Width::kPlain), "plain");
  EXPECT_EQ(width_name(Width::kSse2), "sse2");
  EXPECT_EQ(width_name(Width::kAvx2), "avx2");
  for (Width w : {Width::kPlain, Width::kSse2, Width::kAvx2})
    EXPECT_EQ(parse_width(width_name(w)), w);
  EXPECT_EQ(parse_width("Plain"), std::nullopt);
  // Every x86-64 processor has SSE2, and the widest form is one it has.
  EXPECT_TRUE(processor_has(Width::kPlain));
  EXPECT_TRUE(processor_has(Width::kSse2));
  EXPECT_TRUE(processor_has(widest_width()));
  EXPECT_TRUE(processor_has(active_width()));
}

}  // namespace
}  // namespace ftir::simd

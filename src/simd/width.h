// Which form of the hot loops runs: the plain one (the rule, and the reference of the
// others), two doubles to a register (SSE2, every x86-64 processor) or four (AVX2). Every
// form gives the same bits; only the speed differs. The width is chosen once per process.
#pragma once

#include <optional>
#include <string_view>

namespace ftir::simd {

enum class Width { kPlain, kSse2, kAvx2 };

// "plain", "sse2" or "avx2".
std::string_view width_name(Width width);

// The width a name given by width_name stands for; nullopt for any other text.
std::optional<Width> parse_width(std::string_view name);

// Whether this processor runs the width's instructions (the plain form runs anywhere).
bool processor_has(Width width);

// The widest form this processor has.
Width widest_width();

// The width of a process whose FTIR_SIMD variable holds `requested` (nullptr: unset) on a
// processor whose widest form is `widest`: the named width where the processor has it,
// else `widest`; an unknown name is ignored.
Width choose_width(const char* requested, Width widest);

// The width of this process: FTIR_SIMD (plain, sse2 or avx2) forces one, otherwise the
// widest the processor has. Read once, at the first call.
Width active_width();

}  // namespace ftir::simd

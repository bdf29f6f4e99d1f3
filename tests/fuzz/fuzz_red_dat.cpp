// libFuzzer target for the red.dat parser: each input is parsed as the text of red.dat. A
// stop naming a line and a field is a normal outcome; a sanitizer report, a crash, any
// other stop or parameters that break what the batch loop and the paths rely on are
// findings.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "driver/run_parameters.h"
#include "report/stop.h"

namespace {

using ftir::driver::kMaxFiles;
using ftir::driver::kNameLength;

void check(bool condition) {
  if (!condition) std::abort();
}

void check_parameters(const ftir::driver::RunParameters& p) {
  check(p.nfiles <= kMaxFiles);
  check(p.files.size() == static_cast<std::size_t>(p.nfiles > 0 ? p.nfiles : 0));
  // Names and outdir come from 40 columns without their trailing blanks.
  const auto kept = [](const std::string& name) {
    return name.size() <= kNameLength && (name.empty() || name.back() != ' ');
  };
  for (const std::string& name : p.files) check(kept(name));
  check(kept(p.outdir));
  for (double value : {p.sampr, p.res, p.wlow, p.whigh, p.wref, p.wlref}) {
    check(std::isfinite(value));
  }
  check(p.sampr > 0.0 && p.wref > 0.0);
  // The sample spacing and the folding wavenumber that both paths derive.
  const double xstep = p.wlref / p.sampr;
  check(std::isnormal(xstep) && std::isnormal(1.0 / (2.0 * xstep)));
  const bool npow_used = p.idbl != 0 ? p.ipow2 != 0 : p.ipow2 == 1;
  check(!npow_used || (p.npow >= 1 && p.npow <= 30));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    check_parameters(ftir::driver::parse_run_parameters(text));
  } catch (const ftir::report::RunStop& stop) {
    check(stop.exit_status() == ftir::report::kExitFailure);
    // One console line: "red.dat line N: <field>: <reason>" (or "red.dat line N: the file is
    // longer than ..."), without a line end or any other control byte.
    check(stop.text().rfind("red.dat line ", 0) == 0);
    // Text quoted from the input shows its control bytes escaped.
    for (char c : stop.text()) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  }
  return 0;
}

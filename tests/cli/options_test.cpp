// The command line's options as the window registry gives them: every --window choice and
// the help's list of red.dat's window codes.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <variant>
#include <vector>

#include "transform/windows.h"

namespace ftir::testing {
namespace {

cli::Command parse(std::vector<const char*> args) {
  args.insert(args.begin(), "ftir-reduce");
  return cli::parse_options(static_cast<int>(args.size()), args.data(), 1);
}

TEST(Options, EveryWindowOfTheRegistryIsAWindowChoice) {
  for (const transform::Window& w : transform::window_registry()) {
    SCOPED_TRACE(w.option);
    const std::string option(w.option);
    const cli::Command command = parse({"x.spc", "--window", option.c_str()});
    ASSERT_TRUE(std::holds_alternative<cli::Settings>(command));
    EXPECT_EQ(std::get<cli::Settings>(command).iapod, w.code);
  }
  EXPECT_EQ(std::get<cli::Settings>(parse({"x.spc"})).iapod, 2);  // happ-genzel
  EXPECT_THROW(parse({"x.spc", "--window", "Happ-Genzel"}), cli::OptionError);
}

// The iapod lines of --help, grouped and wrapped from the registry's names as they have
// always been written.
TEST(Options, HelpListsTheWindowCodes) {
  const cli::Command command = parse({"--help"});
  ASSERT_TRUE(std::holds_alternative<cli::PrintAndLeave>(command));
  const std::string& help = std::get<cli::PrintAndLeave>(command).text;
  EXPECT_NE(help.find("free form\n"
                      "  iapod              window: 0 boxcar, 1 triangle, 2 Happ-Genzel, "
                      "3 Blackman-Harris,\n"
                      "                     4/5/6 Norton-Beer weak/medium/strong\n"
                      "  ipow2              1: take"),
            std::string::npos)
      << help;
}

}  // namespace
}  // namespace ftir::testing

namespace ftir::testing {
namespace {

// Each transform control: unset unless given (a default value given stays given), refused
// in one line naming what it allows.
TEST(Options, TransformControls) {
  const cli::Settings plain = std::get<cli::Settings>(parse({"x.spc"}));
  EXPECT_FALSE(plain.zero_fill || plain.phase_resolution || plain.zpd || plain.phase ||
               plain.grid || plain.direction || plain.two_scans);
  const cli::Settings s = std::get<cli::Settings>(
      parse({"x.spc", "--zero-fill", "1", "--phase-resolution", "8", "--zpd", "17", "--phase",
             "mertz-signed", "--grid", "classic", "--direction", "both", "--two-scans"}));
  EXPECT_EQ(s.zero_fill, 1);
  EXPECT_EQ(s.phase_resolution, 8.0);
  ASSERT_TRUE(s.zpd);
  EXPECT_EQ(s.zpd->mode, driver::ZpdMode::kIndex);
  EXPECT_EQ(s.zpd->index, 17);
  EXPECT_EQ(s.phase->mode, transform::PhaseMode::kMertzSigned);
  EXPECT_EQ(s.grid, driver::Grid::kClassic);
  EXPECT_EQ(s.direction, driver::Direction::kBoth);
  EXPECT_EQ(s.two_scans, true);

  const struct {
    std::vector<const char*> args;
    const char* what;
  } refused[] = {
      {{"--zero-fill", "3"}, "--zero-fill: '3' is not 1, 2, 4, 8 or 16"},
      {{"--zero-fill", "32"}, "--zero-fill: '32' is not 1, 2, 4, 8 or 16"},
      {{"--phase-resolution", "0"}, "--phase-resolution: '0' is not a number above 0"},
      {{"--zpd", "0"}, "--zpd: '0' is not max, min, abs or an index from 1 to 270000"},
      {{"--zpd", "Max"}, "--zpd: 'Max' is not max, min, abs or an index from 1 to 270000"},
      {{"--phase", "stored:"},
       "--phase: 'stored:' is not mertz, mertz-signed, power, magnitude or stored:FILE"},
      {{"--phase", "stored:/nonexistent/a.phz"},
       "--phase: 'stored:/nonexistent/a.phz' cannot be used: /nonexistent/a.phz: Cannot open "
       "/nonexistent/a.phz: No such file or directory"},
      {{"--grid", "fine"}, "--grid: 'fine' is not classic or exact"},
      {{"--direction", "up"}, "--direction: 'up' is not forward, backward or both"},
  };
  for (const auto& r : refused) {
    std::vector<const char*> args = r.args;
    args.insert(args.begin(), "x.spc");
    try {
      parse(args);
      ADD_FAILURE() << "accepted: " << r.what;
    } catch (const cli::OptionError& e) {
      EXPECT_EQ(std::string(e.what()), r.what);
    }
  }
}

}  // namespace
}  // namespace ftir::testing

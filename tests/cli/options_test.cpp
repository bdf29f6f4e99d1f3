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

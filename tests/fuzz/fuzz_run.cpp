// libFuzzer target for a whole run, on either road. An input is
//   byte 0      which options take a value, one bit each (kValueOptions, in that order)
//   byte 1      flags (kFlags) in bits 0-3; bits 4-5 the road: 0 and 3 the command line,
//               1 no arguments (./red.dat), 2 --check with the first argument line
//   lines       up to a line "--red.dat--": the chosen options' values in order, then the
//               FILE arguments, one a line
//   red.dat     its text, then a line "--spc--" and the bytes of one interferogram, i.spc
// The converter runs in a fresh temporary folder of its own per input, entered as a user
// starts it there, the command line's entry called in-process as main() does. Any stop,
// skip or refused option is a normal outcome; a finding is a sanitizer report, a crash, an
// exit status outside the road's set, a temporary file left behind, i.spc or red.dat
// changed, a command run at the pause, or a spectrum the run names that is not whole or
// that the reader cannot take back. A name that would leave the folder (absolute, or with a
// ".." part) is not run, whether it comes from red.dat, a FILE or an option.
#include <unistd.h>

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_support.h"
#include "cli/command_line.h"
#include "driver/batch.h"
#include "driver/run_parameters.h"
#include "report/fake_console.h"
#include "report/report.h"
#include "report/stop.h"
#include "spcfile/reader.h"
#include "spcfile/writer.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kArgumentsEnd = "--red.dat--\n";
constexpr std::string_view kSeparator = "--spc--\n";
constexpr int kMaxRunFiles = 4;  // longer lists only repeat work

// The options byte 0 chooses, in the order their values are taken from the lines; a path
// option's value must stay inside the folder. Values go as --name=value, so that no value
// is taken for an option of its own.
struct ValueOption {
  std::string_view name;
  bool path;
};
constexpr ValueOption kValueOptions[8][4] = {
    {{"--out", true}},
    {{"--log", true}},
    {{"--summary", true}},
    {{"--report", true}},
    {{"--save-red-dat", true}},
    {{"--window", false}, {"--sides", false}},
    {{"--res", false}, {"--range", false}, {"--laser", false}, {"--sampr", false}},
    {{"--points", false}, {"--jobs", false}, {"--shard", false}},
};
constexpr std::string_view kFlags[4] = {"--phase-files", "--no-res", "--carry-resolution",
                                        "--quiet"};

enum class Road { kCommandLine, kRedDat, kCheck };

// A finding: says which check failed (the fuzzer's log keeps it beside the input).
void check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz_run: %s\n", what);
  std::abort();
}

// The input's own folder, made fresh and entered for one run; the working directory is
// given back and the folder removed when it goes (the fuzzer's own paths are relative to
// where it started).
class Folder {
 public:
  Folder() : started_(fs::current_path()) {
    std::string name = (fs::temp_directory_path() / "ftir-fuzz-run-XXXXXX").string();
    check(::mkdtemp(name.data()) != nullptr, "cannot make the run's folder");
    path_ = name;
  }
  ~Folder() {
    std::error_code ignored;
    fs::current_path(started_, ignored);
    fs::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const fs::path& path() const { return path_; }
  void enter() const { fs::current_path(path_); }
  void leave() const { fs::current_path(started_); }

 private:
  fs::path started_;
  fs::path path_;
};

std::string trimmed(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

// A name that stays inside the folder: relative, and no part of it is "..", blanks around it
// or not.
bool stays_inside(const std::string& padded) {
  std::string name = trimmed(padded);
  name.erase(0, name.find_first_not_of(' '));
  if (!name.empty() && (name.front() == '/' || name.front() == '\\')) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of("/\\", start);
    if (name.substr(start, end == std::string::npos ? end : end - start) == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// Whether a red.dat run may go ahead: red.dat parses (a refusal is run too, it touches no
// file) and every name it holds stays inside the folder.
bool safe_to_run(std::string_view red_dat) {
  try {
    const ftir::driver::RunParameters p = ftir::driver::parse_run_parameters(red_dat);
    if (p.nfiles > kMaxRunFiles) return false;
    for (const std::string& name : p.files) {
      if (!stays_inside(name)) return false;
    }
    return stays_inside(p.outdir);
  } catch (const ftir::report::RunStop&) {
    return true;
  }
}

// Where `marker` starts a line of `text` (npos when it does not).
std::size_t find_line(std::string_view text, std::string_view marker) {
  for (std::size_t at = text.find(marker); at != std::string_view::npos;
       at = text.find(marker, at + 1)) {
    if (at == 0 || text[at - 1] == '\n') return at;
  }
  return std::string_view::npos;
}

// The text before a line found by find_line, without that line's line end.
std::string_view before_line(std::string_view text, std::size_t at) {
  return text.substr(0, at == 0 || at == std::string_view::npos ? at : at - 1);
}

// The argument section cut into lines; a last line without its line end counts too.
std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

// The command line the first two bytes and the lines ask for (without the program's name),
// or nullopt when a name would leave the folder or the list is too long.
std::optional<std::vector<std::string>> arguments(std::uint8_t options, std::uint8_t flags,
                                                  Road road,
                                                  const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (line.find('\0') != std::string::npos) return std::nullopt;  // argv would cut it
  }
  if (road == Road::kRedDat) return std::vector<std::string>{};
  if (road == Road::kCheck) {
    if (lines.empty()) return std::vector<std::string>{"--check"};
    if (!stays_inside(lines.front())) return std::nullopt;
    return std::vector<std::string>{"--check", lines.front()};
  }
  std::vector<std::string> args;
  std::size_t next = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if ((options & (1U << bit)) == 0) continue;
    for (const ValueOption& option : kValueOptions[bit]) {
      if (option.name.empty()) break;
      const std::string value = next < lines.size() ? lines[next++] : std::string();
      if (option.path && !stays_inside(value)) return std::nullopt;
      args.push_back(std::string(option.name) + "=" + value);
    }
  }
  for (int bit = 0; bit < 4; ++bit) {
    if ((flags & (1U << bit)) != 0) args.emplace_back(kFlags[bit]);
  }
  if (lines.size() - next > kMaxRunFiles) return std::nullopt;
  args.emplace_back("--");
  for (; next < lines.size(); ++next) {
    if (!stays_inside(lines[next])) return std::nullopt;
    args.push_back(lines[next]);
  }
  return args;
}

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_all(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every output a report line names (a name holds no line end) that is there is whole, a
// header and 4 bytes for each of its points (at least one), and the reader takes it back
// without a stop; when `all_there`, every one is there.
void check_outputs(const fs::path& folder, const std::string& report, bool all_there) {
  constexpr std::string_view kOutput = "Output spectrum file name: ";
  static std::vector<double> xin(ftir::spcfile::kMaxPoints);
  static std::vector<double> yin(ftir::spcfile::kMaxPoints);
  static std::vector<unsigned char> io(ftir::spcfile::kIoBufferBytes);
  for (std::size_t at = report.find(kOutput); at != std::string::npos;
       at = report.find(kOutput, at + 1)) {
    const std::size_t start = at + kOutput.size();
    const fs::path path =
        folder / trimmed(report.substr(start, report.find_first_of("\r\n", start) - start));
    if (!fs::exists(path)) {
      check(!all_there, "a named output is missing");
      continue;
    }
    // A folder under that name is none of the run's outputs: its write stopped the run.
    if (!fs::is_regular_file(path)) continue;
    const std::string bytes = read_all(path);
    check(bytes.size() >= 256 + 4 && (bytes.size() - 256) % 4 == 0, "an output is not whole");
    ftir::testing::FakeConsole quiet;
    ftir::report::Report reader_report(quiet);
    try {
      ftir::spcfile::READSC(reader_report, path.string(), -9.0e10, 9.0e10,
                            ftir::spcfile::kMaxPoints, xin, yin, io);
    } catch (const ftir::report::RunStop&) {
      check(false, "the reader cannot take an output back");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t options = data[0];
  const std::uint8_t flags = data[1];
  const int road_bits = (flags >> 4) & 3;
  const Road road = road_bits == 1   ? Road::kRedDat
                    : road_bits == 2 ? Road::kCheck
                                     : Road::kCommandLine;
  std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::vector<std::string> lines;
  if (const std::size_t end = find_line(input, kArgumentsEnd); end != std::string_view::npos) {
    lines = lines_of(before_line(input, end));
    input.remove_prefix(end + kArgumentsEnd.size());
  }
  const std::size_t split = find_line(input, kSeparator);
  const std::string_view red_dat = before_line(input, split);
  const std::optional<std::vector<std::string>> args = arguments(options, flags, road, lines);
  if (!args || !safe_to_run(red_dat)) return 0;

  const Folder folder;
  write_all(folder.path() / "red.dat", red_dat);
  std::string interferogram;
  if (split != std::string_view::npos) {
    interferogram = std::string(input.substr(split + kSeparator.size()));
    write_all(folder.path() / "i.spc", interferogram);
  }
  fs::create_directory(folder.path() / "out");
  // --check reads the names the checked file lists: that file too may name nothing outside.
  if (road == Road::kCheck) {
    const fs::path checked = folder.path() / (args->size() > 1 ? (*args)[1] : "red.dat");
    std::error_code ec;
    if (fs::is_regular_file(checked, ec) && !safe_to_run(read_all(checked))) return 0;
  }

  ftir::testing::FakeConsole console;  // end of input at the pause: no command is ever run
  ftir::testing::FakeClock clock;
  ftir::testing::TextSink out;
  ftir::testing::TextSink err;
  folder.enter();
  int status = 0;
  if (road == Road::kRedDat) {
    status = ftir::driver::run_program(console, clock);
  } else {
    std::vector<const char*> argv = {"ftir-reduce"};
    for (const std::string& a : *args) argv.push_back(a.c_str());
    ftir::cli::Streams streams{out, err, false, &console};
    status =
        ftir::cli::run_command_line(static_cast<int>(argv.size()), argv.data(), clock, streams, 1);
  }
  folder.leave();

  if (road == Road::kCheck) {
    check(status == 0 || status == 1 || status == 3, "--check: an exit status outside 0, 1, 3");
  } else {
    check(status == 0 || status == 1 || status == 2, "an exit status outside 0, 1, 2");
  }
  check(console.commands.empty(), "a command was run at the pause");
  if (road == Road::kRedDat && status == 0) {
    check(console.output.find(" Skipped ") == std::string::npos, "status 0 after a skip");
  }
  // No temporary file is left on any road, and no input is ever written over: not by a
  // spectrum, not by a log, summary, page or saved red.dat.
  // A writer's temporary name is "<target>.<six letters or digits>.tmp"; a side output the
  // run was asked to write under such a name is the run's own file.
  std::vector<fs::path> named;
  for (const std::string& arg : *args) {
    const std::size_t equals = arg.find('=');
    if (arg.starts_with("--") && equals != std::string::npos) {
      named.push_back((folder.path() / arg.substr(equals + 1)).lexically_normal());
    }
  }
  for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
    const std::string name = entry.path().filename().string();
    const bool temporary =
        name.size() > 11 && name.ends_with(".tmp") && name[name.size() - 11] == '.' &&
        std::all_of(name.end() - 10, name.end() - 4, [](char c) {
          return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        });
    const bool asked = std::find(named.begin(), named.end(), entry.path().lexically_normal()) !=
                       named.end();
    check(!temporary || asked, "a temporary file was left");
  }
  check(read_all(folder.path() / "red.dat") == red_dat, "red.dat was written over");
  if (split != std::string_view::npos) {
    check(read_all(folder.path() / "i.spc") == interferogram, "the input was written over");
  }
  if (road == Road::kRedDat) {
    // After a stop the last name shown may be the file that could not be written.
    if (status != 1) check_outputs(folder.path(), console.output, true);
  } else if (road == Road::kCommandLine) {
    // A file that could not be written is skipped: only a clean run has every output.
    check_outputs(folder.path(), console.output, false);
    check_outputs(folder.path(), out.text, status == 0);
  }
  return 0;
}

// libFuzzer target for a whole run: each input is the text of red.dat, a line "--spc--",
// then the bytes of one interferogram, written as i.spc (without the line, red.dat alone).
// The converter runs on them in a temporary folder of its own, as a user starts it, through
// preparation, either path, every window, the writer and the output names. Any stop or skip
// is a normal outcome; a finding is a sanitizer report, a crash, an exit status other than
// 0, 1 or 2, a temporary file left behind, a changed input, or an output the reader cannot
// take back. Names that would leave the folder (absolute, or with a ".." part) are not run.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "driver/batch.h"
#include "driver/run_parameters.h"
#include "report/fake_console.h"
#include "report/report.h"
#include "report/stop.h"
#include "spcfile/reader.h"
#include "spcfile/writer.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSeparator = "\n--spc--\n";
constexpr int kMaxRunFiles = 4;  // longer lists only repeat work

void check(bool condition) {
  if (!condition) std::abort();
}

// The session's folder, made once; the working directory only while a run goes on (the
// fuzzer's own paths are relative to where it started).
struct Folder {
  fs::path path;
  Folder() {
    std::random_device seed;
    path = fs::temp_directory_path() / ("ftir-fuzz-run-" + std::to_string(seed()));
    fs::create_directories(path);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  void empty() const {
    for (const auto& entry : fs::directory_iterator(path)) fs::remove_all(entry.path());
  }
};

std::string trimmed(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

// A name that stays inside the folder: relative, and no part of it is "..".
bool stays_inside(const std::string& padded) {
  const std::string name = trimmed(padded);
  if (!name.empty() && (name.front() == '/' || name.front() == '\\')) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of("/\\", start);
    if (name.substr(start, end == std::string::npos ? end : end - start) == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// Whether the run may go ahead: red.dat parses (a refusal is run too, it touches no file)
// and every name it holds stays inside the folder.
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

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every output the console names (a name holds no line end) is whole, a header and 4 bytes
// for each of its points (at least one), and the reader takes it back without a stop.
void check_outputs(const fs::path& folder, const std::string& console) {
  constexpr std::string_view kOutput = "Output spectrum file name: ";
  static std::vector<double> xin(ftir::spcfile::kMaxPoints);
  static std::vector<double> yin(ftir::spcfile::kMaxPoints);
  static std::vector<unsigned char> io(ftir::spcfile::kIoBufferBytes);
  for (std::size_t at = console.find(kOutput); at != std::string::npos;
       at = console.find(kOutput, at + 1)) {
    const std::size_t start = at + kOutput.size();
    const fs::path path =
        folder / trimmed(console.substr(start, console.find("\r\n", start) - start));
    const std::string bytes = read_all(path);
    check(bytes.size() >= 256 + 4 && (bytes.size() - 256) % 4 == 0);
    ftir::testing::FakeConsole quiet;
    ftir::report::Report report(quiet);
    try {
      ftir::spcfile::READSC(report, path.string(), -9.0e10, 9.0e10, ftir::spcfile::kMaxPoints, xin,
                            yin, io);
    } catch (const ftir::report::RunStop&) {
      check(false);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Folder folder;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find(kSeparator);
  const std::string_view red_dat = input.substr(0, split);
  if (!safe_to_run(red_dat)) return 0;

  folder.empty();
  std::ofstream(folder.path / "red.dat", std::ios::binary)
      .write(red_dat.data(), static_cast<std::streamsize>(red_dat.size()));
  std::string interferogram;
  if (split != std::string_view::npos) {
    interferogram = std::string(input.substr(split + kSeparator.size()));
    std::ofstream(folder.path / "i.spc", std::ios::binary)
        .write(interferogram.data(), static_cast<std::streamsize>(interferogram.size()));
  }
  fs::create_directory(folder.path / "out");

  ftir::testing::FakeConsole console;  // end of input at the pause: no command is ever run
  ftir::testing::FakeClock clock;
  const fs::path started = fs::current_path();
  fs::current_path(folder.path);
  const int status = ftir::driver::run_program(console, clock);
  fs::current_path(started);
  check(status == 0 || status == 1 || status == 2);
  check(console.commands.empty());
  if (status == 0) check(console.output.find(" Skipped ") == std::string::npos);
  // No temporary file is left on any road, and the input is never written over.
  for (const auto& entry : fs::recursive_directory_iterator(folder.path)) {
    check(entry.path().extension() != ".tmp");
  }
  if (split != std::string_view::npos) check(read_all(folder.path / "i.spc") == interferogram);
  // After a stop the last name shown may be the file that could not be written.
  if (status != 1) check_outputs(folder.path, console.output);
  return 0;
}

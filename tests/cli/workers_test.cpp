// Workers and shards: the same bytes for every number of workers, every file in exactly one
// shard, and the recipes for many machines (GNU parallel over hosts, a Slurm job array)
// run here as on a cluster.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "cli/command_line.h"
#include "cli/cli_support.h"
#include "run/run_support.h"

namespace ftir::testing {
namespace {

// The rows of a --summary CSV without its header and the milliseconds column.
std::vector<std::string> summary_rows(const std::string& csv) {
  std::vector<std::string> rows;
  std::size_t at = csv.find('\n') + 1;
  while (at < csv.size()) {
    const std::size_t end = csv.find('\n', at);
    const std::string row = csv.substr(at, end - at);
    rows.push_back(row.substr(0, row.rfind(',')));
    at = end + 1;
  }
  return rows;
}

// A written file with its date stamp (bytes 18..23) blanked: a run as a separate process
// stamps the time of day.
ByteImage undated(ByteImage bytes) {
  std::fill(bytes.begin() + 18, bytes.begin() + 24, 0);
  return bytes;
}

// A list of files of every kind: both paths, skips of each sort, a clash of outputs.
std::vector<std::string> write_batch(RunDir& dir) {
  std::vector<std::string> files;
  for (int k = 0; k < 9; ++k) {
    const std::string name = "f" + std::to_string(k) + ".spc";
    dir.write_interferogram(name,
                            k % 2 == 0 ? burst(10000, 5001 - 97 * k) : burst(6000, 600 + 50 * k));
    files.push_back(name);
  }
  OldHeaderFields multi;
  multi.flags = 0x04;
  multi.pointcount = 4.0f;
  dir.write("multi.spc", old_format_header(multi));
  files.insert(files.begin() + 3, "multi.spc");
  files.insert(files.begin() + 5, "missing.spc");
  std::filesystem::create_directory("again");
  dir.write_interferogram("again/f2.spc", burst(8000, 4000));
  files.push_back("again/f2.spc");
  return files;
}

TEST(Workers, EveryNumberOfWorkersGivesTheSameBytes) {
  RunDir dir;
  const std::vector<std::string> files = write_batch(dir);
  CliResult first;
  std::vector<ByteImage> outputs;
  std::string log;
  std::vector<std::string> rows;
  for (int jobs : {1, 2, 3, 7}) {
    SCOPED_TRACE(jobs);
    std::filesystem::remove_all("out");
    std::vector<std::string> args = files;
    args.insert(args.end(), {"-j", std::to_string(jobs), "-o", "out", "--laser", "16384",
                             "--phase-files", "--log", "run.log", "--summary", "s.csv"});
    const CliResult cli = run_cli(dir.clock, args);
    std::vector<ByteImage> written;
    for (const std::string& f : files) {
      for (const char* ext : {".spc", ".phz", ".shr"}) {
        const std::string path = "out/" + std::filesystem::path(f).stem().string() + ext;
        written.push_back(std::filesystem::exists(path) ? read_file_bytes(path) : ByteImage{});
      }
    }
    if (jobs == 1) {
      first = cli;
      outputs = written;
      log = dir.read_text("run.log");
      rows = summary_rows(dir.read_text("s.csv"));
      EXPECT_EQ(cli.status, 2);
      EXPECT_EQ(rows.size(), files.size());
      continue;
    }
    EXPECT_EQ(cli.status, first.status);
    EXPECT_EQ(cli.out, first.out);
    EXPECT_EQ(cli.err, first.err);
    EXPECT_EQ(dir.read_text("run.log"), log);
    EXPECT_EQ(summary_rows(dir.read_text("s.csv")), rows);
    EXPECT_TRUE(written == outputs);
  }
}

TEST(Shards, EveryFileInExactlyOneShard) {
  for (std::size_t files = 0; files <= 20; ++files) {
    for (int n = 1; n <= 7; ++n) {
      SCOPED_TRACE(::testing::Message() << files << " files, " << n << " shards");
      std::vector<int> seen(files, 0);
      for (int k = 1; k <= n; ++k) {
        const std::vector<std::size_t> mine = cli::shard_indices(files, k, n);
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
        for (std::size_t i : mine) {
          ASSERT_LT(i, files);
          EXPECT_EQ(i % static_cast<std::size_t>(n), static_cast<std::size_t>(k - 1));
          ++seen[i];
        }
      }
      EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(files));
    }
  }
}

// Runs `command` in the working directory with the built ftir-reduce on PATH.
int shell(const std::string& command) {
  const std::string path = std::filesystem::path(FTIR_REDUCE_EXE).parent_path().string();
  const int status = std::system(("PATH='" + path + "':\"$PATH\" " + command).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The recipes of README and contrib/ on this machine: three shards by GNU parallel (this
// host as the only one), and three tasks of the Slurm array script; each covers the list
// once with the outputs of a single run, and their summaries together hold its rows.
TEST(Shards, TheRecipesForManyMachinesCoverTheList) {
  RunDir dir;
  const std::vector<std::string> files = write_batch(dir);
  std::vector<std::string> args = files;
  args.insert(args.end(), {"-o", "whole", "--laser", "16384", "-q", "--summary", "whole.csv"});
  ASSERT_EQ(run_cli(dir.clock, args).status, 2);
  std::vector<std::string> whole = summary_rows(dir.read_text("whole.csv"));
  std::sort(whole.begin(), whole.end());
  std::string list;
  for (const std::string& f : files) list += f + "\n";
  dir.write_text("list.txt", list);

  auto check = [&](const std::string& folder) {
    std::vector<std::string> rows;
    for (int k = 1; k <= 3; ++k) {
      const std::vector<std::string> part =
          summary_rows(dir.read_text(folder + "/summary-" + std::to_string(k) + ".csv"));
      rows.insert(rows.end(), part.begin(), part.end());
    }
    for (std::string& row : rows) {
      for (std::size_t at; (at = row.find(folder + "/")) != std::string::npos;) {
        row.replace(at, folder.size(), "whole");
      }
    }
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, whole);
    for (const auto& entry : std::filesystem::directory_iterator("whole")) {
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(undated(read_file_bytes(folder + "/" + name)),
                undated(read_file_bytes(entry.path().string())))
          << name;
    }
  };

  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(shell("SLURM_ARRAY_TASK_ID=" + std::to_string(k) +
                    " SLURM_ARRAY_TASK_COUNT=3 SLURM_CPUS_PER_TASK=2 bash '" FTIR_SOURCE_DIR
                    "/contrib/slurm-array.sh' list.txt slurm --laser 16384 >/dev/null 2>&1"),
              0);
  }
  check("slurm");
  // An array from 0 with a step, and no task count: the lowest index is shard 1.
  for (int id : {0, 2, 4}) {
    EXPECT_EQ(shell("SLURM_ARRAY_TASK_ID=" + std::to_string(id) +
                    " SLURM_ARRAY_TASK_MIN=0 SLURM_ARRAY_TASK_MAX=4 SLURM_ARRAY_TASK_STEP=2 bash '"
                    FTIR_SOURCE_DIR "/contrib/slurm-array.sh' list.txt slurm0 --laser 16384 "
                    ">/dev/null 2>&1"),
              0);
  }
  check("slurm0");

  if (shell("command -v parallel >/dev/null") != 0) GTEST_SKIP() << "GNU parallel not installed";
  std::filesystem::create_directory("parallel");
  EXPECT_EQ(shell("parallel -S : --workdir . ftir-reduce --shard {}/3 -o parallel -q --laser 16384 "
                  "--summary parallel/summary-{}.csv $(cat list.txt) ::: 1 2 3 >/dev/null 2>&1"),
            2);
  check("parallel");
}

}  // namespace
}  // namespace ftir::testing

#include "cli/run.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "cli/interrupts.h"
#include "cli/run_page.h"
#include "cli/side_outputs.h"
#include "cli/summary.h"
#include "driver/output_names.h"
#include "driver/workspace.h"
#include "page/page.h"
#include "spcfile/file_access.h"

namespace ftir::cli {
namespace {

using spcfile::file_id;
using spcfile::FileId;

// The files a list entry may write, named as the emit step will name them.
std::vector<std::string> outputs_of(const Settings& settings, const std::string& name) {
  return driver::output_names(name, driver::naming_request(settings, settings.outdir)).all();
}

// The stored phase of --phase stored:FILE, when given: an input of the run.
const std::string* stored_phase_file(const Settings& settings) {
  if (!settings.phase || settings.phase->mode != transform::PhaseMode::kStored ||
      settings.phase->file.empty()) {
    return nullptr;
  }
  return &settings.phase->file;
}

// The folders create_directories() would make for `dir`, the outermost first.
std::vector<std::filesystem::path> missing_folders(const std::string& dir) {
  std::vector<std::filesystem::path> missing;
  std::error_code ec;
  for (std::filesystem::path p = std::filesystem::path(dir).lexically_normal();
       !p.empty() && !std::filesystem::exists(p, ec) && !ec; p = p.parent_path()) {
    missing.insert(missing.begin(), p);
    if (p == p.parent_path()) break;
  }
  return missing;
}

// Removes the folders a refused run made, the innermost first; a folder that is no longer
// empty (another run wrote into it meanwhile) stays.
void remove_folders(const std::vector<std::filesystem::path>& made) {
  for (auto it = made.rbegin(); it != made.rend(); ++it) {
    std::error_code ec;
    std::filesystem::remove(*it, ec);
  }
}

std::string lf_lines(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  return lines;
}

std::string lower_extension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string fixed(double value, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return {buffer, result.ptr};
}

// "<done>/<total> files, <rate> files/s, <seconds> s left", redrawn on one terminal line.
class Progress {
 public:
  Progress(report::Sink& err, bool shown, std::size_t total)
      : err_(err), shown_(shown), total_(total), start_(std::chrono::steady_clock::now()) {}
  void show(std::size_t done) {
    if (!shown_) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
    const double left = rate > 0.0 ? static_cast<double>(total_ - done) / rate : 0.0;
    err_.write("\r" + std::to_string(done) + "/" + std::to_string(total_) + " files, " +
               fixed(rate, 1) + " files/s, " + fixed(left, 0) + " s left\x1b[K");
  }
  void clear() {
    if (shown_) err_.write("\r\x1b[K");
  }

 private:
  report::Sink& err_;
  bool shown_;
  std::size_t total_;
  std::chrono::steady_clock::time_point start_;
};

std::string signal_name(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal);
  }
}

// Converts every job and hands each outcome to `take` in file order, on this thread. With
// one worker, or with --carry-resolution (each file waits for the resolution the previous
// one leaves), the files go one after another. Otherwise each of the workers has its own
// Workspace and takes the next file as it comes free, at most kAhead files per worker
// beyond the one `take` waits for, so that memory stays flat however long the list.
// Once a stop signal has arrived no file is started: the files being converted are
// finished and handed over, so that the files taken are the list's first ones, each whole.
void convert_in_order(const Settings& settings, const report::Clock& clock,
                      std::vector<FileJob>& jobs, Interrupts& interrupts,
                      const std::function<void(FileOutcome)>& take) {
  const std::size_t n = jobs.size();
  const auto workers = static_cast<std::size_t>(settings.carry_resolution ? 1 : settings.jobs);
  if (workers <= 1 || n <= 1) {
    auto ws = std::make_unique<driver::Workspace>();
    double res = settings.res;
    for (FileJob& job : jobs) {
      if (interrupts.poll() != 0) return;
      if (settings.carry_resolution) job.res_request = res;
      FileOutcome out = convert_file(settings, *ws, clock, job);
      res = out.res_left;
      take(std::move(out));
    }
    return;
  }
  constexpr std::size_t kAhead = 4;
  std::vector<std::optional<FileOutcome>> done(n);
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next = 0;   // the next file a worker takes
  std::size_t shown = 0;  // files handed to `take`
  // What ended a worker (its storage, or a file's outcome, could not be allocated): no worker
  // starts a further file, and this thread throws it on.
  std::exception_ptr failure;
  auto stop_workers = [&] {
    {
      const std::lock_guard lock(mutex);
      next = n;
    }
    changed.notify_all();
  };
  bool stopping = false;  // a stop signal has arrived: no file is started any more
  auto work_files = [&] {
    auto ws = std::make_unique<driver::Workspace>();
    for (;;) {
      const bool stop = interrupts.poll() != 0;
      std::size_t i = 0;
      {
        std::unique_lock lock(mutex);
        stopping = stopping || stop;
        changed.wait(lock,
                     [&] { return stopping || next >= n || next < shown + kAhead * workers; });
        if (stopping || next >= n) break;
        i = next++;
      }
      FileOutcome out = convert_file(settings, *ws, clock, jobs[i]);
      {
        const std::lock_guard lock(mutex);
        done[i] = std::move(out);
      }
      changed.notify_all();
    }
    changed.notify_all();  // others may wait for a file this one will not start
  };
  auto work = [&] {
    try {
      work_files();
    } catch (const std::exception&) {
      {
        const std::lock_guard lock(mutex);
        if (!failure) failure = std::current_exception();
      }
      stop_workers();
    }
  };
  std::vector<std::jthread> threads;
  // Leaving by an exception, this thread first stops the workers, so that joining them ends.
  struct StopOnThrow {
    const decltype(stop_workers)& stop;
    int uncaught = std::uncaught_exceptions();
    ~StopOnThrow() {
      if (std::uncaught_exceptions() > uncaught) stop();
    }
  } const stop_on_throw{stop_workers};
  for (std::size_t w = 0; w < std::min(workers, n); ++w) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {  // no more threads: those started do the work
      if (threads.empty()) throw;
      break;
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    FileOutcome out;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] {
        return done[i].has_value() || failure || (stopping && i >= next);
      });
      if (!done[i]) {
        if (failure) std::rethrow_exception(failure);
        return;  // stopped: every file started has been handed over
      }
      out = std::move(*done[i]);
      done[i].reset();
      shown = i + 1;
    }
    changed.notify_all();
    take(std::move(out));
  }
}

}  // namespace

std::string spc_only_note(const std::vector<std::string>& options, const std::string& first) {
  std::string named;
  for (std::size_t i = 0; i < options.size(); ++i) {
    named += (i == 0 ? "" : i + 1 == options.size() ? " and " : ", ") + options[i];
  }
  return "note: " + named + (options.size() == 1 ? " does" : " do") +
         " not apply to instrument files (" + first +
         " is one): each file's own processing decides";
}

std::vector<std::size_t> shard_indices(std::size_t files, int k, int n) {
  std::vector<std::size_t> indices;
  for (std::size_t i = static_cast<std::size_t>(k - 1); i < files;
       i += static_cast<std::size_t>(n)) {
    indices.push_back(i);
  }
  return indices;
}

std::vector<FileJob> plan_jobs(const Settings& settings) {
  std::set<FileId> inputs;
  // The first entry naming each file; a later entry naming the same file is noted, not
  // converted again.
  std::map<FileId, std::size_t> first_entry;
  std::vector<std::string> repeated(settings.files.size());
  for (std::size_t i = 0; i < settings.files.size(); ++i) {
    const std::string& name = settings.files[i];
    if (std::optional<FileId> id = file_id(name)) inputs.insert(*id);
    if (std::optional<FileId> id = file_id(name, true, true)) {
      const auto [first, inserted] = first_entry.emplace(*id, i);
      if (!inserted) {
        repeated[i] = "note: " + name + ", entry " + std::to_string(i + 1) +
                      " of the list, is the same file as entry " +
                      std::to_string(first->second + 1) + ", " + settings.files[first->second] +
                      ": converted once";
      }
    }
  }
  // Refusals are decided over the whole list, so that every shard decides alike.
  std::vector<std::string> refusals(settings.files.size());
  std::map<std::string, std::size_t> writer_of;
  for (std::size_t i = 0; i < settings.files.size(); ++i) {
    if (!repeated[i].empty()) continue;
    for (const std::string& output : outputs_of(settings, settings.files[i])) {
      const auto [first, inserted] = writer_of.emplace(output, i);
      if (refusals[i].empty() && !inserted) {
        refusals[i] = "its output " + output + " is also the output of " +
                      settings.files[first->second] + ", listed earlier";
      }
      const std::optional<FileId> id = file_id(output);
      if (refusals[i].empty() && id && inputs.contains(*id)) {
        refusals[i] = "its output " + output + " would replace an input file";
      }
    }
  }
  std::vector<FileJob> jobs;
  for (std::size_t i : shard_indices(settings.files.size(), settings.shard, settings.shard_count)) {
    jobs.push_back({settings.files[i], settings.res, refusals[i], repeated[i]});
  }
  return jobs;
}

int run_files(const Settings& settings, const report::Clock& clock, Streams& streams) {
  auto error = [&](const std::string& text) {
    streams.err.write("ftir-reduce: " + text + "\n");
    return 1;
  };
  // Before the first thread: the workers inherit the signals held back.
  Interrupts interrupts;
  // The side outputs are decided before anything is written: none may replace a file the
  // run reads or writes, or another side output.
  const bool summary_to_stdout = settings.summary_path == "-";
  SideFile log;
  SideFile summary;
  SideFile red_dat;
  SideFile page_file;
  std::vector<std::pair<SideOutput, SideFile*>> sides;
  for (const auto& [option, path, file] :
       {std::tuple{"--log", &settings.log_path, &log},
        std::tuple{"--summary", &settings.summary_path, &summary},
        std::tuple{"--save-red-dat", &settings.red_dat_path, &red_dat},
        std::tuple{"--report", &settings.report_path, &page_file}}) {
    if (!path->empty() && !(file == &summary && summary_to_stdout)) {
      sides.push_back({SideOutput{option, *path}, file});
    }
  }
  std::vector<SideOutput> names;
  for (const auto& side : sides) names.push_back(side.first);
  const bool writes = settings.npow > 0 || !settings.no_res;  // not count-only
  std::vector<TakenName> taken = {
      {"red.dat", "the red.dat a run with no arguments reads", "--save-red-dat"},
      {settings.outdir, "the output folder", {}}};
  if (const std::string* phase = stored_phase_file(settings)) {
    taken.push_back({*phase, "the stored phase of --phase", {}});
  }
  const OutputsOf outputs = [&](const std::string& input) {
    return writes ? outputs_of(settings, input) : std::vector<std::string>{};
  };
  std::string clash = side_output_clash(names, settings.files, outputs, taken);
  if (const std::string* phase = stored_phase_file(settings); phase && clash.empty()) {
    clash = stored_phase_clash(*phase, settings.files, outputs);
  }
  if (!clash.empty()) return error(clash);
  const std::vector<std::filesystem::path> made = missing_folders(settings.outdir);
  std::error_code ec;
  std::filesystem::create_directories(settings.outdir, ec);
  if (ec || !std::filesystem::is_directory(settings.outdir)) {
    remove_folders(made);
    return error("cannot create the output folder " + settings.outdir + ": " +
                 (ec ? ec.message() : std::string("a file of that name exists")));
  }
  // Each side output gets its temporary file now (the output folder first: a summary may
  // go into it), so that one that cannot be written stops the run before its first file;
  // the run then leaves no folder it made.
  for (const auto& [side, file] : sides) {
    const std::string problem = file->open(side.path);
    if (!problem.empty()) {
      for (const auto& opened : sides) opened.second->discard();
      remove_folders(made);
      return error(problem);
    }
  }

  // With the summary on standard output, that holds the CSV alone: no report lines or
  // table, and the closing line goes to standard error.
  const bool quiet = settings.quiet || summary_to_stdout;
  report::Sink& closing = summary_to_stdout ? streams.err : streams.out;
  std::vector<FileJob> jobs;
  for (FileJob& job : plan_jobs(settings)) {
    if (job.repeated.empty()) {
      jobs.push_back(std::move(job));
    } else if (!quiet) {
      streams.err.write("ftir-reduce: " + job.repeated + "\n");
    }
  }
  std::vector<FileOutcome> outcomes;
  outcomes.reserve(jobs.size());
  std::vector<driver::FileRecord> records;
  records.reserve(jobs.size());
  Progress progress(streams.err, streams.err_is_terminal && !quiet, jobs.size());
  bool spc_only_noted = settings.spc_only_given.empty() || quiet;
  convert_in_order(settings, clock, jobs, interrupts, [&](FileOutcome out) {
    progress.clear();
    if (out.instrument_file && !spc_only_noted) {
      streams.err.write("ftir-reduce: " + spc_only_note(settings.spc_only_given, out.record.input) +
                        "\n");
      spc_only_noted = true;
    }
    if (!quiet) streams.out.write(lf_lines(out.console));
    const driver::FileRecord& r = out.record;
    if (r.status == driver::FileStatus::kSkipped ||
        r.status == driver::FileStatus::kStopped) {
      streams.err.write("ftir-reduce: skipped " + r.input + ": " + r.reason + "\n");
    }
    log.write(out.log);
    out.console.clear();
    out.log.clear();
    if (settings.keep_curves) page::shrink_for_page(out.record);
    records.push_back(out.record);
    out.record.spectrum = {};  // the page reads the curves from `records` alone
    out.record.phase = {};
    outcomes.push_back(std::move(out));
    progress.show(outcomes.size());
  });
  progress.clear();

  int status = 0;
  for (const driver::FileRecord& r : records) {
    if (r.status == driver::FileStatus::kSkipped ||
        r.status == driver::FileStatus::kStopped) {
      status = 2;
    }
  }
  if (!quiet) streams.out.write("\n" + summary_table(records));
  closing.write(closing_line(records));

  const auto finish = [&](SideFile& file, const std::string& text) {
    file.write(text);
    const std::string problem = file.commit();
    if (!problem.empty()) status = error(problem);
  };
  if (log.is_open()) finish(log, "");
  const bool json = lower_extension(settings.summary_path) == ".json";
  if (summary_to_stdout) streams.out.write(summary_csv(records));
  if (summary.is_open()) finish(summary, json ? summary_json(records) : summary_csv(records));
  if (page_file.is_open()) finish(page_file, run_page(settings, clock, records));
  if (red_dat.is_open() && outcomes.size() < jobs.size()) {
    red_dat.discard();
    streams.err.write("ftir-reduce: no red.dat written: the run was interrupted\n");
  } else if (red_dat.is_open()) {
    const RedDatText red = equivalent_red_dat(settings, jobs, outcomes);
    if (red.text.empty()) {
      red_dat.discard();
      status = error("no red.dat written: " + red.reason);
    } else {
      finish(red_dat, red.text);
    }
  }
  // The status a signal would have given, with the outputs of the files finished left
  // whole; writes to a closed stream meanwhile are still held back.
  streams.out.flush();
  const CaughtSignals caught = interrupts.caught();
  if (caught.stop != 0) {
    streams.err.write("ftir-reduce: interrupted by " + signal_name(caught.stop) + " after " +
                      std::to_string(records.size()) + " of " + std::to_string(jobs.size()) +
                      " files\n");
    return 128 + caught.stop;
  }
  if (caught.pipe_closed) return 128 + SIGPIPE;
  return status;
}

}  // namespace ftir::cli

#include "report/report.h"

#include <cerrno>
#include <cstring>

#include "report/stop.h"

namespace ftir::report {

// red.out: a byte stream written through stdio's buffer.
class Report::FileSink : public Sink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  ~FileSink() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  void write(std::string_view bytes) override {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
  }
  // Closes the file; false when anything written was lost.
  bool close() {
    bool ok = !failed_ && std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }

 private:
  std::FILE* file_;
  bool failed_ = false;
};

namespace {
constexpr int kPauseLineChars = 128;
constexpr std::string_view kPausePrompt =
    "Pause - Please enter a blank line (to continue) or a DOS command.";
// With standard input a file or a pipe the line is a script's or a list's, not a person's
// command: it is read, so that the run goes on as at a terminal, but never run.
constexpr std::string_view kCommandNotRun =
    "The command was not run: standard input is not a terminal";
}  // namespace

Report::Report(Console& console) : console_sink_(console), console_(console) {}

// A run that ends while the log is open still ends the log's last line.
Report::~Report() {
  if (log_) log_->end_pending_line();
}

void Report::open_log(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    stop(path + ": cannot be created: " + std::strerror(errno), kExitFailure);
  }
  log_sink_ = std::make_unique<FileSink>(file);
  log_ = std::make_unique<Destination>(*log_sink_);
}

void Report::open_log(Sink& sink) { log_ = std::make_unique<Destination>(sink); }

void Report::close_log() {
  if (!log_) return;
  log_->end_pending_line();
  log_.reset();
  if (!log_sink_) return;
  bool ok = log_sink_->close();
  log_sink_.reset();
  if (!ok) stop("red.out: could not be written completely", kExitFailure);
}

bool Report::logging() const { return log_ != nullptr; }

void Report::console(std::string_view format, FormatValues values) {
  console_.write_records(format_records(format, values));
}

void Report::log(std::string_view format, FormatValues values) {
  if (log_) log_->write_records(format_records(format, values));
}

void Report::console_if_log(std::string_view format, FormatValues values) {
  if (log_) console(format, values);
}

void Report::skipped(std::string_view name, std::string_view reason) {
  constexpr std::string_view kFormat = "(' Skipped ',A,': ',A)";
  const std::string listed = padded(name, kListedNameLength);
  console(kFormat, {listed, reason});
  log(kFormat, {listed, reason});
}

void Report::pause() {
  console_.end_pending_line();
  console_sink_.write(kPausePrompt);
  console_sink_.write(kLineEnd);
  std::optional<std::string> line = console_sink_.read_line(kPauseLineChars);
  if (!line) return;  // end of input counts as a blank line
  std::size_t keep = line->find_last_not_of(" \t");
  if (keep == std::string::npos) return;
  line->resize(keep + 1);
  if (!console_sink_.interactive()) {
    console_sink_.write(kCommandNotRun);
    console_sink_.write(kLineEnd);
    return;
  }
  console_sink_.run_command(*line);
}

void Report::show_stop_text(std::string_view text) {
  console_.end_pending_line();
  console_sink_.write(text);
  console_sink_.write(kLineEnd);
  console_sink_.flush();
}

}  // namespace ftir::report

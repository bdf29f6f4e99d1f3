#include "spcfile/file_access.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <random>

#include "report/escape.h"
#include "report/stop.h"
#include "spcfile/file_error.h"

namespace ftir::spcfile {
namespace {

// Names of temporary files tried before giving up: a clash is already unlikely at the first.
constexpr int kTempAttempts = 100;
constexpr std::string_view kNameCharacters = "abcdefghijklmnopqrstuvwxyz0123456789";

std::string nul_text(std::string_view action, std::string_view name) {
  return std::string(action) + ' ' + report::escape_controls(name) + ": the name holds a NUL byte";
}

[[noreturn]] void stop_on_nul(std::string_view action, std::string_view name) {
  report::stop(nul_text(action, name), report::kExitFailure);
}

// The letters of a temporary name need only make a clash unlikely (O_EXCL rules one out):
// a generator seeded once per thread from the system's randomness, instead of asking the
// system for every letter, which costs more than writing the file's data.
std::string random_suffix() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, kNameCharacters.size() - 1);
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kNameCharacters[pick(engine)];
  return suffix;
}

// The temporary name of `target` with `suffix` ("<6 letters>"): "<target>.<suffix>.tmp",
// its last component shortened to NAME_MAX bytes where it would be longer. The cut backs off
// over UTF-8 continuation bytes, so that the name stays whole characters. Two targets
// whose long names share their first NAME_MAX - 11 bytes may get the same shortened part;
// the letters and O_EXCL keep their temporary files apart.
std::string temporary_name(std::string_view target, std::string_view suffix) {
  const std::size_t slash = target.rfind('/');
  const std::size_t base_start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t added = 1 + suffix.size() + 4;  // "." suffix ".tmp"
  static_assert(NAME_MAX > 16);
  std::size_t base_end = target.size();
  if (base_end - base_start + added > NAME_MAX) {
    base_end = base_start + (NAME_MAX - added);
    while (base_end > base_start && (static_cast<unsigned char>(target[base_end]) & 0xC0) == 0x80) {
      --base_end;
    }
  }
  std::string path(target.substr(0, base_end));
  path += '.';
  path += suffix;
  path += ".tmp";
  return path;
}

}  // namespace

OpenedInput try_open_input(std::string_view name) {
  OpenedInput opened;
  if (name.find('\0') != std::string_view::npos) {
    opened.problem = nul_text("Cannot open", name);
    return opened;
  }
  const std::string path(name);
  // Non-blocking, so that a FIFO with no writer is refused at once instead of hanging here.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    opened.error = errno;
    opened.problem = file_error_text("Cannot open", name, opened.error);
    return opened;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    opened.error = errno;
    ::close(fd);
    opened.problem = file_error_text("Cannot read", name, opened.error);
    return opened;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    opened.not_regular = true;
    opened.problem = "Cannot read " + report::escape_controls(name) + ": not a regular file";
    return opened;
  }
  opened.file = ::fdopen(fd, "rb");
  if (opened.file == nullptr) {
    opened.error = errno;
    ::close(fd);
    opened.problem = file_error_text("Cannot open", name, opened.error);
  }
  return opened;
}

std::optional<FileId> file_id(std::string_view name, bool follow_links, bool regular_only) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string path(name);
  struct stat st {};
  const int got = follow_links ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (got != 0 || (regular_only && !S_ISREG(st.st_mode))) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

TempFile::SignalHold::SignalHold() {
  sigset_t held;
  sigemptyset(&held);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&held, signal);
  ::pthread_sigmask(SIG_BLOCK, &held, &saved_);
}

// A signal that came meanwhile is delivered here, as if it had come now.
TempFile::SignalHold::~SignalHold() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

namespace {

// Whether a file opened with O_TMPFILE can be given a name: through its /proc/self/fd link,
// which needs /proc (linkat's AT_EMPTY_PATH would need a privilege instead).
bool unnamed_files_can_be_linked() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

// The folder of `target`, as open() takes it.
std::string folder_of(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : target.substr(0, slash);
}

}  // namespace

bool TempFile::open_unnamed() {
#ifdef O_TMPFILE
  if (!unnamed_files_can_be_linked()) return false;
  const int fd = ::open(folder_of(target_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return false;  // a file system without them, or an error the named file reports
  const int kept = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  file_ = kept < 0 ? nullptr : ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    if (kept >= 0) ::close(kept);
    ::close(fd);
    return false;
  }
  unnamed_ = kept;
  return true;
#else
  return false;
#endif
}

bool TempFile::link_unnamed() {
  const std::string self = "/proc/self/fd/" + std::to_string(unnamed_);
  // A file already under the target's name goes first, as in commit(); another process may
  // put one back meanwhile, so a few rounds, then under a temporary name renamed over it.
  for (int round = 0; round < 3; ++round) {
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return true;
    }
    if (errno != EEXIST) return false;
    ::unlink(target_.c_str());
  }
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    std::string path = temporary_name(target_, random_suffix());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (std::rename(path.c_str(), target_.c_str()) == 0) return true;
    const int error = errno;
    ::unlink(path.c_str());
    errno = error;
    return false;
  }
  errno = EEXIST;
  return false;
}

TempFile::TempFile(std::string target, Kind kind) : target_(std::move(target)) {
  if (target_.find('\0') != std::string::npos) stop_on_nul("Cannot write", target_);
  if (kind == Kind::kAny && open_unnamed()) return;
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    std::string path = temporary_name(target_, random_suffix());
    // O_EXCL with O_CREAT never opens an existing name, a link included; the mode is the
    // one an ordinary new file gets (0666 less the umask).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      stop_on_file_error("Cannot write", target_, errno);
    }
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
      const int error = errno;
      ::close(fd);
      ::unlink(path.c_str());
      stop_on_file_error("Cannot write", target_, error);
    }
    path_ = std::move(path);
    return;
  }
  stop_on_file_error("Cannot write", target_, EEXIST);
}

TempFile::~TempFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (unnamed_ >= 0) {
    ::close(unnamed_);  // an unnamed file not linked goes with its last descriptor
  } else if (!committed_) {
    ::unlink(path_.c_str());
  }
}

bool TempFile::close() {
  std::FILE* file = file_;
  file_ = nullptr;
  return std::fclose(file) == 0;
}

bool TempFile::commit() {
  // Renamed over an existing file, a new file has its data sent to the disk at once, in this
  // thread (ext4 does so for files replaced that way), which costs about as much as
  // converting a spectrum; into a free name, the system writes it back later on its own.
  // So a file already under the target's name goes first: the rename that refuses to
  // replace one tells whether there is one, in the one call a new name needs. Either way no
  // half-written file ever bears the name; a run killed between the removal and the rename
  // leaves the old file removed.
  if (unnamed_ >= 0) {
    committed_ = link_unnamed();
    return committed_;
  }
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) == 0) {
    committed_ = true;
    return true;
  }
#endif
  ::unlink(target_.c_str());
  committed_ = std::rename(path_.c_str(), target_.c_str()) == 0;
  return committed_;
}

int write_whole_file(const std::string& target, std::span<const unsigned char> bytes) {
  TempFile temp(target);
  errno = 0;
  const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), temp.file());
  const int write_error = written == bytes.size() ? 0 : (errno != 0 ? errno : EIO);
  errno = 0;
  const bool closed = temp.close();
  if (write_error != 0) return write_error;
  if (!closed) return errno != 0 ? errno : EIO;
  if (!temp.commit()) return errno;
  return 0;
}

}  // namespace ftir::spcfile

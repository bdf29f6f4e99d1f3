// How the run opens its files: an input only when it is a regular file, without ever
// blocking on a FIFO or a device; an output through a temporary file of its own, created
// beside the target and renamed over it. The one place the program goes past the standard
// library to the system's file calls.
#pragma once

#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ftir::spcfile {

// Opens `name` for reading. Without a file, `problem` is the text a run stops or skips
// with: "Cannot open <name>: <reason>" when it cannot be opened (a name holding a NUL byte
// included) and "Cannot read <name>: not a regular file" for a FIFO, socket, device or
// directory. The caller closes the file. `error` and `not_regular` say the same for a
// caller that words its own messages: the errno of the call that failed (0 otherwise), and
// whether the name stands for something other than a regular file.
struct OpenedInput {
  std::FILE* file = nullptr;
  std::string problem;
  int error = 0;
  bool not_regular = false;
};
OpenedInput try_open_input(std::string_view name);

// The file a name stands for on this machine: device and inode number. Two names with the
// same FileId are the same file; every identity check of the program goes through file_id().
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
  auto operator<=>(const FileId&) const = default;
};

// The identity of what `name` names (of a link itself when follow_links is false); nullopt
// when there is nothing there or the name cannot be looked up (an empty name or one holding
// a NUL byte included). `regular_only` asks for regular files alone.
std::optional<FileId> file_id(std::string_view name, bool follow_links = true,
                              bool regular_only = false);

// A temporary file beside `target`: where the file system can, one with no name at all
// (O_TMPFILE), which commit() links as the target, one step in the folder instead of a
// creation and a rename; otherwise one named "<target>.<6 letters or digits>.tmp", created
// exclusively (never an existing name, never through a link). Where that name would pass
// the system's limit of NAME_MAX bytes for one component, the target's last component is
// cut short in it (never within a UTF-8 character), so that any name the system takes as a
// target can be written. It is closed and removed on every way out unless commit() gave
// it the target's name. While it lives, SIGINT, SIGTERM, SIGHUP and SIGPIPE are held back
// from its thread: one that ends the program ends it as soon as the file has the target's
// name or is gone, never leaving it behind. Made and ended on one thread.
class TempFile {
 public:
  // kNamed asks for the named file even where an unnamed one could be had.
  enum class Kind { kAny, kNamed };
  // Creates it; a failure stops the run with "Cannot write <target>: <reason>" (exit 1).
  explicit TempFile(std::string target, Kind kind = Kind::kAny);
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  std::FILE* file() const { return file_; }
  // The temporary file's name ("" for one made with no name), for a writer that opens it
  // by name itself.
  const std::string& path() const { return path_; }
  // Closes the file; false (with errno set) when buffered bytes could not be written.
  bool close();
  // Gives the closed file the target's name, removing a file already there just before;
  // false (with errno set by the link or rename) on failure.
  bool commit();

 private:
  class SignalHold {
   public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

   private:
    sigset_t saved_;
  };
  // The file made with no name (O_TMPFILE) where the system can, linked as the target by
  // commit(): it never shows under a name of its own. `unnamed_` is a second descriptor of
  // it, kept open past close() for the link.
  bool open_unnamed();
  bool link_unnamed();

  SignalHold hold_;  // first: made before the file, ended after it is gone
  std::string target_;
  std::string path_;
  int unnamed_ = -1;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

// Writes `bytes` as the whole of `target` through a TempFile renamed over it. Returns 0, or
// the errno of the write, close or rename that failed (nothing is left behind then); a
// temporary file that cannot be created stops as TempFile does.
int write_whole_file(const std::string& target, std::span<const unsigned char> bytes);

}  // namespace ftir::spcfile

// The signals that end a command-line run early: SIGINT, SIGTERM and SIGHUP stop the run
// between files instead of killing it halfway through one, and a reader that closes
// standard output (`| head`) does not end it at all.
#pragma once

#include <signal.h>

#include <atomic>

namespace ftir::cli {

// What has arrived while an Interrupts lives.
struct CaughtSignals {
  int stop = 0;              // the first of SIGINT, SIGTERM, SIGHUP, or 0
  bool pipe_closed = false;  // a write met a pipe whose reader was gone (SIGPIPE)
};

// While it lives, SIGINT, SIGTERM, SIGHUP and SIGPIPE are held back from the thread that made
// it and from every thread started after; poll() and caught() take them. A signal the
// process was started ignoring (SIGINT of a background job, SIGHUP under nohup) stays ignored.
// Made before the run starts a thread, ended on the same thread after the last one ended.
class Interrupts {
 public:
  Interrupts();
  ~Interrupts();
  Interrupts(const Interrupts&) = delete;
  Interrupts& operator=(const Interrupts&) = delete;

  // The first stop signal that has arrived, or 0; any thread may ask.
  int poll();
  // What has arrived, every signal held back taken. SIGPIPE is taken only when it waits for
  // this thread, the one that writes the run's streams; asked once the workers have ended.
  CaughtSignals caught();

 private:
  sigset_t stops_;
  sigset_t held_;
  sigset_t saved_;
  std::atomic<int> stop_{0};
  bool pipe_closed_ = false;
};

}  // namespace ftir::cli

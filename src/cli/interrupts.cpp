#include "cli/interrupts.h"

#include <pthread.h>

#include <ctime>

namespace ftir::cli {
namespace {

bool ignored(int signal) {
  struct sigaction action {};
  return ::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN;
}

// A signal of `set` already waiting, taken; 0 when none waits.
int take_waiting(const sigset_t& set) {
  const timespec now{};
  const int taken = ::sigtimedwait(&set, nullptr, &now);
  return taken > 0 ? taken : 0;
}

}  // namespace

Interrupts::Interrupts() {
  sigemptyset(&stops_);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    if (!ignored(signal)) sigaddset(&stops_, signal);
  }
  held_ = stops_;
  if (!ignored(SIGPIPE)) sigaddset(&held_, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &held_, &saved_);
}

// Signals still held back are taken first, or they would end the process as the mask opens:
// the run has reported what it caught.
Interrupts::~Interrupts() {
  caught();
  ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

int Interrupts::poll() {
  if (const int first = stop_.load(); first != 0) return first;
  if (const int taken = take_waiting(stops_); taken != 0) {
    int none = 0;
    stop_.compare_exchange_strong(none, taken);
  }
  return stop_.load();
}

CaughtSignals Interrupts::caught() {
  for (int taken; (taken = take_waiting(held_)) != 0;) {
    if (taken == SIGPIPE) {
      pipe_closed_ = true;
    } else {
      int none = 0;
      stop_.compare_exchange_strong(none, taken);
    }
  }
  return {stop_.load(), pipe_closed_};
}

}  // namespace ftir::cli

// Runs a piece of code that may end the run and hands back the RunStop it threw.
#pragma once

#include <optional>
#include <utility>

#include "report/stop.h"

namespace ftir::testing {

template <class Fn>
std::optional<report::RunStop> stop_of(Fn&& fn) {
  try {
    std::forward<Fn>(fn)();
  } catch (const report::RunStop& stop) {
    return stop;
  }
  return std::nullopt;
}

}  // namespace ftir::testing

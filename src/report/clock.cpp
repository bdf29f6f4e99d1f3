#include "report/clock.h"

#include <ctime>

namespace ftir::report {

LocalDateTime SystemClock::now() const {
  std::time_t seconds = std::time(nullptr);
  std::tm local{};
  localtime_r(&seconds, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

}  // namespace ftir::report

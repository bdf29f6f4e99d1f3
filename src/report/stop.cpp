#include "report/stop.h"

namespace ftir::report {

void stop(std::string text, int exit_status) { throw RunStop(std::move(text), exit_status); }

}  // namespace ftir::report

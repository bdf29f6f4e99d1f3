// ftir-reduce: converts the interferograms listed in red.dat into spectra.
#include "driver/batch.h"

int main() {
  ftir::report::StdConsole console;
  ftir::report::SystemClock clock;
  return ftir::driver::run_program(console, clock);
}

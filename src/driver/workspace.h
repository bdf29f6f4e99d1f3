// All working storage of a run; made once by run_program(), reused by every file.
#pragma once

#include <vector>

#include "spcfile/writer.h"
#include "transform/path.h"

namespace ftir::driver {

struct Workspace {
  static constexpr int kSamples = 270000;  // capacity of yin and xin
  static constexpr int kComplex = 540000;  // capacity of the complex work array
  std::vector<double> yin = std::vector<double>(kSamples);
  std::vector<double> xin = std::vector<double>(kSamples);
  std::vector<transform::Complex> work = std::vector<transform::Complex>(kComplex);
  std::vector<unsigned char> io = std::vector<unsigned char>(spcfile::kIoBufferBytes);
  transform::PhaseTables phase;
  transform::Fft fft;
  transform::Title title;
  transform::Lagint lagint;

  transform::PathStorage paths() { return {xin, yin, work, phase, fft, title, lagint, io}; }
};

}  // namespace ftir::driver

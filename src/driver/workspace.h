// All working storage of a run; made once by run_program(), reused by every file.
#pragma once

#include <span>

#include "spcfile/writer.h"
#include "transform/instrument_path.h"
#include "transform/path.h"
#include "values/interferogram.h"

namespace ftir::driver {

// The arrays are not zero-filled (see FixedArray): a run touches only the memory its
// files need, and starting a run costs no pass over tens of megabytes.
struct Workspace {
  static constexpr int kSamples = values::kCapacity;  // capacity of yin and xin
  static constexpr int kComplex = 540000;             // capacity of the complex work array
  transform::FixedArray<double> yin{kSamples};
  transform::FixedArray<double> xin{kSamples};
  transform::FixedArray<transform::Complex> work{kComplex};
  // The I/O buffer lies in the work array's memory: a file is read before its path loads
  // the work array, and written once the path is done with the array's contents.
  std::span<unsigned char> io{reinterpret_cast<unsigned char*>(work.data()),
                              spcfile::kIoBufferBytes};
  transform::PhaseTables phase;
  transform::WindowTable window{kSamples};
  transform::Fft fft;
  transform::Title title;
  transform::Lagint lagint;
  // A record of two scans: its samples when a reader left them in yin (each scan is copied
  // from here into yin), and the first scan's spectrum while the second is transformed.
  transform::FixedArray<double> scans{kSamples};
  transform::FixedArray<double> first_spectrum{kSamples};
  // Zero filling (see transform::zero_filled_cfft).
  transform::FixedArray<transform::Complex> fill_work{kComplex};
  transform::FillTwiddles fill_twiddles{kComplex};
  // The instrument's transform of an instrument file's scans.
  transform::InstrumentWork instrument;

  static_assert(kComplex * sizeof(transform::Complex) >= spcfile::kIoBufferBytes);

  transform::PathStorage paths() {
    return {xin, yin, work, phase, fft, title, lagint, io, window, fill_work, fill_twiddles};
  }
};

}  // namespace ftir::driver

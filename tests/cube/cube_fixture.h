// A small cube for the tests: its description, spectra and table, chosen so that a reader
// that drops a dimension, swaps x and y, rounds through another type or loses a flag shows.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cube/cube.h"

namespace ftir::cube::testing {

// Spectrum point j of record r: every sign and size a float32 holds, NaN at (1, 2) as in a
// missing pixel, -0.0 at (0, 1).
inline double spectrum_value(int r, int j) {
  if (r == 1 && j == 2) return std::nan("");
  if (r == 0 && j == 1) return -0.0;
  return std::sin(0.37 * (r * 11 + j) + 0.1) * std::pow(10.0, (r + j) % 9 - 4);
}

struct CubeData {
  CubeDescription description;
  std::vector<double> spectra;               // records x K
  std::vector<std::vector<double>> columns;  // one per column
};

// An image of `height` x `width` pixels (or a series of `records` when height is 0) with K
// points, three columns, parameters and two inputs.
inline CubeData cube_data(int height, int width, int records, int k) {
  CubeData c;
  CubeDescription& d = c.description;
  d.height = height;
  d.width = width;
  d.records = records;
  d.pixel_pitch_um = 5.5;
  for (int j = 0; j < k; ++j) d.wavenumber.push_back(3999.5 - 1.25 * j);
  d.quantity = Quantity::kAbsorbance;
  d.columns = {
      {"zpd_index", ColumnType::kInt32, "ZPD index used", "", {}, ""},
      {"energy", ColumnType::kFloat64, "energy of the interferogram", "1", {}, ""},
      {"status", ColumnType::kInt8, "status", "", {0, 1, 2}, "converted refused no_signal"},
  };
  d.title = "tile A1";
  d.history = "2026-12-08T03:17:06Z ftir-reduce tile.seq";
  d.parameters = {{"window", std::string("APBH3")},
                  {"zero_filling", 2},
                  {"laser_wavenumber", 15798.0},
                  {"kept_range", std::vector<double>{400.0, 3999.5}}};
  d.inputs = {{"tile.seq", std::string(64, 'a')}, {"tile.bsp", std::string(64, 'b')}};
  const int m = d.record_count();
  for (int r = 0; r < m; ++r) {
    for (int j = 0; j < k; ++j) c.spectra.push_back(spectrum_value(r, j));
  }
  c.columns.resize(3);
  for (int r = 0; r < m; ++r) {
    c.columns[0].push_back(1000 + r);
    c.columns[1].push_back(0.1 * r + 1e-9);
    c.columns[2].push_back(r % 3);
  }
  return c;
}

// The float32 of point j of record r, as the cube stores it: its bits as 8 hex digits.
inline std::string float_bits(double value) {
  const auto f = static_cast<float>(value);
  std::uint32_t bits = 0;
  std::memcpy(&bits, &f, sizeof bits);
  char text[9];
  std::snprintf(text, sizeof text, "%08x", bits);
  return text;
}

// The names in `folder`.
inline std::vector<std::string> names_in(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `body` in a child process and returns its wait status.
inline int in_child(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

}  // namespace ftir::cube::testing

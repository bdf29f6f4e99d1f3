// A small cube for the tests: its description, spectra and table, chosen so that a reader
// that drops a dimension, swaps x and y, rounds through another type or loses a flag shows.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "cube/cube.h"

namespace ftir::cube::testing {

struct CubeData {
  CubeDescription description;
  std::vector<double> spectra;               // records x K
  std::vector<std::vector<double>> columns;  // one per column

  // The spectra and columns of `records`, in their order.
  CubeData part(const std::vector<int>& records) const {
    const auto k = wavenumbers();
    CubeData p;
    p.columns.resize(columns.size());
    for (int r : records) {
      const auto at = static_cast<long>(r) * static_cast<long>(k);
      p.spectra.insert(p.spectra.end(), spectra.begin() + at,
                       spectra.begin() + at + static_cast<long>(k));
      for (std::size_t i = 0; i < columns.size(); ++i)
        p.columns[i].push_back(columns[i][static_cast<std::size_t>(r)]);
    }
    return p;
  }
  std::vector<std::span<const double>> spans() const { return {columns.begin(), columns.end()}; }
  std::size_t wavenumbers() const { return description.wavenumber.size(); }
};

// An image of `height` x `width` pixels (or a series of `records` when height is 0) with K
// points: every sign and size a float32 holds, NaN at record 1 point 2 as in a missing
// pixel, -0.0 at record 0 point 1; three columns, parameters and two inputs.
inline CubeData cube_data(int height, int width, int records, int k) {
  CubeData c;
  CubeDescription& d = c.description;
  d.height = height;
  d.width = width;
  d.records = records;
  d.pixel_pitch_um = 5.5;
  for (int j = 0; j < k; ++j) d.wavenumber.push_back(3999.5 - 1.25 * j);
  d.columns = {
      {"zpd_index", ColumnType::kInt32, "ZPD index used", "", {}, ""},
      {"energy", ColumnType::kFloat64, "energy of the interferogram", "1", {}, ""},
      {"status", ColumnType::kInt8, "status", "", {0, 1, 2}, "converted refused no_signal"}};
  d.title = "tile A1";
  d.history = "2026-12-08T03:17:06Z ftir-reduce tile.seq";
  d.parameters = {{"window", std::string("APBH3")},
                  {"zero_filling", 2},
                  {"laser_wavenumber", 15798.0},
                  {"kept_range", std::vector<double>{400.0, 3999.5}}};
  d.inputs = {{"tile.seq", std::string(64, 'a')}, {"tile.bsp", std::string(64, 'b')}};
  c.columns.resize(3);
  for (int r = 0; r < d.record_count(); ++r) {
    for (int j = 0; j < k; ++j) {
      c.spectra.push_back(r == 1 && j == 2   ? std::nan("")
                          : r == 0 && j == 1 ? -0.0
                                             : std::sin(0.37 * (r * 11 + j) + 0.1) *
                                                   std::pow(10.0, (r + j) % 9 - 4));
    }
    c.columns[0].push_back(1000 + r);
    c.columns[1].push_back(0.1 * r + 1e-9);
    c.columns[2].push_back(r % 3);
  }
  return c;
}

// The float32 a value is stored as: its bits as 8 hex digits.
inline std::string float_bits(double value) {
  const auto f = static_cast<float>(value);
  std::uint32_t bits = 0;
  std::memcpy(&bits, &f, sizeof bits);
  char text[9];
  std::snprintf(text, sizeof text, "%08x", bits);
  return text;
}

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

// Standard output and error of a shell command run in `folder`, joined by "|".
inline std::string shell(const std::filesystem::path& folder, const std::string& command,
                         int& status) {
  const std::string out = (folder / "out.txt").string();
  const std::string err = (folder / "err.txt").string();
  status = std::system(
      ("cd '" + folder.string() + "' && " + command + " > '" + out + "' 2> '" + err + "'").c_str());
  std::string text;
  for (const std::string& name : {out, err}) {
    if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        text.append(buffer, n);
      std::fclose(f);
    }
    std::filesystem::remove(name);
    if (name == out) text += '|';
  }
  return text;
}

}  // namespace ftir::cube::testing

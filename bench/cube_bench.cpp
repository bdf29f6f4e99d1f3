// Writing a cube: the time to write a 128 x 128 image of K points (as the conversion would
// put it, band after band) and its size against the 4 x K bytes per pixel of its float32
// values. Spectra are made here: absorbance bands whose heights vary smoothly over the
// image, on a sloping baseline, with noise of 1e-3 (the noise is what deflate cannot take).
// Usage: cube_bench [K] [FOLDER]
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cube/writer.h"

int main(int argc, char** argv) {
  using namespace ftir::cube;
  const int k = argc > 1 ? std::atoi(argv[1]) : 900;
  const std::string folder = argc > 2 ? argv[2] : "/tmp";
  const int h = 128;
  const int w = 128;
  CubeDescription d;
  d.height = h;
  d.width = w;
  d.pixel_pitch_um = 5.5;
  for (int j = 0; j < k; ++j) d.wavenumber.push_back(3950.0 - j * (3000.0 / k));
  d.columns = {{"zpd_index", ColumnType::kInt32, "ZPD index used", "", {}, ""},
               {"energy", ColumnType::kFloat64, "energy", "1", {}, ""},
               {"status", ColumnType::kInt8, "status", "", {0, 1}, "converted refused"}};
  d.title = "bench";
  d.history = history_line(0, {"cube_bench"});
  const std::size_t m = static_cast<std::size_t>(h * w);
  std::vector<double> spectra(m * static_cast<std::size_t>(k));
  std::mt19937_64 random(1);
  std::normal_distribution<double> noise(0.0, 1e-3);
  const double centres[] = {2920, 2850, 1740, 1650, 1540, 1450, 1240, 1080};
  for (std::size_t r = 0; r < m; ++r) {
    const double y = static_cast<double>(r / w) / h;
    const double x = static_cast<double>(r % w) / w;
    for (int j = 0; j < k; ++j) {
      const double nu = d.wavenumber[static_cast<std::size_t>(j)];
      double a = 0.05 + 2e-5 * (4000 - nu);
      for (int b = 0; b < 8; ++b) {
        const double height = 0.2 + 0.5 * std::sin(3 * x + b) * std::cos(2 * y - b);
        a += height * std::exp(-std::pow((nu - centres[b]) / 15.0, 2));
      }
      spectra[r * static_cast<std::size_t>(k) + static_cast<std::size_t>(j)] = a + noise(random);
    }
  }
  std::vector<std::vector<double>> columns(3, std::vector<double>(m, 0.0));
  for (std::size_t r = 0; r < m; ++r) {
    columns[0][r] = 1024;
    columns[1][r] = 1.0 + 1e-3 * static_cast<double>(r);
  }
  const std::string target = folder + "/cube_bench.nc";
  std::vector<double> seconds;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    CubeWriter writer;
    std::string problem = writer.open(target, d);
    const int band = 16 * w;
    for (int first = 0; problem.empty() && first < h * w; first += band) {
      const auto f = static_cast<std::size_t>(first);
      std::vector<std::span<const double>> spans;
      for (const auto& c : columns)
        spans.emplace_back(c.data() + f, static_cast<std::size_t>(band));
      problem = writer.put_records(first, band,
                                   {spectra.data() + f * static_cast<std::size_t>(k),
                                    static_cast<std::size_t>(band) * static_cast<std::size_t>(k)},
                                   spans);
    }
    if (problem.empty()) problem = writer.finish();
    if (!problem.empty()) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      return 1;
    }
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  struct stat st {};
  stat(target.c_str(), &st);
  const double raw = 4.0 * k * static_cast<double>(m);
  std::printf(
      "cube %d x %d x %d: write %.3f s (median of 5, min %.3f); float32 values %.1f MB, file %.1f "
      "MB (%.0f %%)\n",
      h, w, k, seconds[2], seconds[0], raw / 1e6, static_cast<double>(st.st_size) / 1e6,
      100.0 * static_cast<double>(st.st_size) / raw);
  std::remove(target.c_str());
  return 0;
}

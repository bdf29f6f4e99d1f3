#include "cli/laser.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "spcfile/header.h"
#include "spcfile/layout.h"

namespace ftir::cli {

StatedLaser stated_laser(const std::string& path, double sampr) {
  StatedLaser stated;
  std::array<unsigned char, spcfile::kNewDataOffset> bytes{};
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    stated.problem = "Cannot open " + path + ": " + std::strerror(errno);
    return stated;
  }
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  const spcfile::HeaderDescription d = spcfile::describe_header(std::span(bytes.data(), got));
  // The refusals the header alone decides; fewer than 2 points still leave the X range.
  if (d.refused && d.refused->code != values::Refusal::kFewPoints) {
    stated.problem = d.refused->skip_text();
    return stated;
  }
  if (!d.complete) {
    stated.problem = "Cannot read " + path + ": the file ends inside its header";
    return stated;
  }
  stated.wref = spcfile::laser_from_x(d.x, sampr);
  return stated;
}

}  // namespace ftir::cli

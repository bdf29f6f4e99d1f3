#include "cli/laser.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>

#include "spcfile/layout.h"
#include "spcfile/reader.h"

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
  spcfile::DecodedHeader h;
  if (got < 2) {
    stated.problem = "Cannot read " + path + ": the file ends inside its header";
    return stated;
  }
  if ((bytes[spcfile::kFlagsOffset] & spcfile::kFlagsRefused) != 0) {
    stated.problem = spcfile::kReasonUnsupported;
    return stated;
  }
  if (!spcfile::decode_header(std::span(bytes.data(), got), h)) {
    stated.problem = h.variant == spcfile::SpcVariant::kNewMsbFirst
                         ? spcfile::kReasonMsbFirst
                         : "Cannot read " + path + ": the file ends inside its header";
    return stated;
  }
  constexpr int kWavenumbers = 1;
  double firstx = 0.0;
  double lastx = 0.0;
  int xunits = 0;
  if (h.variant == spcfile::SpcVariant::kNew) {
    firstx = h.header.firstx;
    lastx = h.header.lastx;
    xunits = h.header.xunits;
  } else if (h.variant == spcfile::SpcVariant::kOld) {
    firstx = h.old_header.firstx;
    lastx = h.old_header.lastx;
    xunits = h.old_header.xunits;
  } else {
    stated.problem = spcfile::kReasonMsbFirst;
    return stated;
  }
  if (firstx != 0.0 || xunits != kWavenumbers || !(lastx > 0.0)) return stated;
  const double wref = 2.0 * lastx / sampr;
  if (std::isfinite(wref)) stated.wref = wref;
  return stated;
}

}  // namespace ftir::cli

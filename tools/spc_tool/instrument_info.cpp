// The info view of OPUS and SPA files, from the readers' own parse of the layout.
#include "spc_tool/instrument_info.h"

#include <cstdio>

#include "omnicfile/spa_file.h"
#include "opusfile/opus_file.h"
#include "spc_tool/spc_trace.h"

namespace ftir::spctool {
namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.12g", value);
  return text;
}

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string parameter_text(const opusfile::Parameter& p) {
  switch (p.type) {
    case 0:
      return std::to_string(p.integer);
    case 1:
      return number(p.real);
    default:
      return "\"" + printable(std::string(p.text)) + "\"";
  }
}

const char* spa_key_name(int key) {
  switch (key) {
    case omnicfile::kKeyHeader:
      return "header";
    case omnicfile::kKeyData:
      return "data";
    case 4:
      return "user text";
    case omnicfile::kKeyHistory:
      return "history";
    case omnicfile::kKeySampleInterferogram:
      return "sample interferogram";
    case omnicfile::kKeyBackgroundInterferogram:
      return "background interferogram";
    default:
      return "";
  }
}

}  // namespace

std::string opus_info_text(const std::string& path, std::span<const unsigned char> bytes) {
  const opusfile::OpusParse parse = opusfile::parse_opus(bytes);
  const opusfile::OpusFile& f = parse.file;
  std::string out = "file:        " + printable(path) + "\n";
  out += "format:      OPUS, program version " + number(f.version) + ", directory at byte " +
         std::to_string(f.directory_offset) + " with room for " + std::to_string(f.directory_room) +
         " blocks, " + std::to_string(f.blocks.size()) + " blocks\n";
  for (std::size_t i = 0; i < f.blocks.size(); ++i) {
    const opusfile::Block& b = f.blocks[i];
    out += "block " + std::to_string(i) + ": " + opusfile::block_name(b.type) + ", type " +
           hex(b.type.code) + ", offset " + std::to_string(b.offset) + ", " +
           std::to_string(b.bytes) + " bytes";
    if (b.superseded) out += ", replaced by a later block of its type";
    if (b.status >= 0) {
      out += ", " + std::to_string(b.npt) + " points (room for " + std::to_string(b.bytes / 4) +
             "), X " + number(b.fxv) + " to " + number(b.lxv) + ", Y scale " + number(b.csf);
    }
    out += "\n";
    for (const opusfile::Parameter& p : b.parameters) {
      out += "  " + printable(std::string(p.key)) + " = " + parameter_text(p) + "\n";
    }
  }
  if (parse.refused) out += "not readable: " + parse.refused->skip_text() + "\n";
  return out;
}

std::string spa_info_text(const std::string& path, std::span<const unsigned char> bytes) {
  const omnicfile::SpaParse parse = omnicfile::parse_spa(bytes);
  const omnicfile::SpaFile& f = parse.file;
  std::string out = "file:        " + printable(path) + "\n";
  out += "format:      OMNIC SPA, title \"" + printable(f.title) + "\", " +
         std::to_string(f.sections.size()) + " sections\n";
  for (std::size_t i = 0; i < f.sections.size(); ++i) {
    const omnicfile::Section& s = f.sections[i];
    out += "section " + std::to_string(i) + ": key " + std::to_string(s.key);
    const std::string name = spa_key_name(s.key);
    if (!name.empty()) out += " (" + name + ")";
    out += ", offset " + std::to_string(s.offset) + ", " + std::to_string(s.bytes) + " bytes\n";
  }
  if (f.find(omnicfile::kKeyHeader) != nullptr && !parse.refused) {
    const omnicfile::SpaHeader& h = f.header;
    out += "points:      " + std::to_string(h.points) + "\n";
    out += "x units:     " + std::to_string(h.x_units) +
           (h.x_units == omnicfile::kXWavenumbers  ? " (wavenumber, cm-1)"
            : h.x_units == omnicfile::kXDataPoints ? " (data points: an interferogram)"
                                                   : "") +
           "\n";
    out += "y units:     " + std::to_string(h.y_units) + "\n";
    out += "first X:     " + number(h.first_x) + "\n";
    out += "last X:      " + number(h.last_x) + "\n";
    out += "scan points: " + std::to_string(h.scan_points) + "\n";
    out += "scans:       " + std::to_string(h.scans) + " (background " +
           std::to_string(h.background_scans) + ")\n";
    out += "transform:   " + std::to_string(h.transform_points) + " points\n";
    out += "laser:       " + number(h.laser) + " cm-1\n";
    out += "spacing:     " + number(h.sampling_spacing) + " laser fringes\n";
  }
  if (parse.refused) out += "not readable: " + parse.refused->skip_text() + "\n";
  return out;
}

}  // namespace ftir::spctool

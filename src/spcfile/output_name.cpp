// OUTNAM: output directory + base name of the input file + "." + extension.
#include "spcfile/output_name.h"

namespace ftir::spcfile {
namespace {

std::string_view trim_trailing_blanks(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

}  // namespace

std::string OUTNAM(std::string_view fname, std::string_view outdir, std::string_view ext) {
  const std::string_view name = trim_trailing_blanks(fname);
  // The base name ends before the last "." of the whole name (directory part included)
  // and starts after the last "\", ":" or "/" before that point.
  const std::size_t dot = name.rfind('.');
  const std::size_t end = dot == std::string_view::npos ? name.size() : dot;
  const std::size_t separator = name.substr(0, end).find_last_of("\\:/");
  const std::size_t start = separator == std::string_view::npos ? 0 : separator + 1;

  const std::string_view dir = trim_trailing_blanks(outdir);
  std::string oname(dir);
  // A DOS-style directory (one holding a "\") gets "\", any other "/"; none when the
  // directory already ends in a separator, and a blank directory means the working one.
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') {
    oname += dir.find('\\') != std::string_view::npos ? '\\' : '/';
  }
  oname += name.substr(start, end - start);
  oname += '.';
  oname += ext.substr(0, 3);
  return oname;
}

}  // namespace ftir::spcfile

#include "spcfile/file_place.h"

#include <filesystem>

namespace ftir::spcfile {
namespace {

namespace fs = std::filesystem;

bool names_a_file(const std::string& name) {
  return !name.empty() && name.find('\0') == std::string::npos;
}

// The absolute path of `name` with the links of its existing part resolved and the rest
// folded lexically: what the system will reach when the file is made.
fs::path normal_path(const std::string& name) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(name, ec);
  if (ec) return fs::path(name).lexically_normal();
  const fs::path resolved = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal() : resolved;
}

}  // namespace

FilePlace file_place(std::string_view name) {
  FilePlace place;
  place.name = name;
  if (!names_a_file(place.name)) return place;
  place.id = file_id(place.name);
  place.leaf = fs::path(place.name).lexically_normal().filename().string();
  if (place.leaf == "." || place.leaf == "..") place.leaf.clear();
  return place;
}

bool same_place(const FilePlace& a, const FilePlace& b) {
  if (!names_a_file(a.name) || !names_a_file(b.name)) return false;
  if (a.id && b.id) return *a.id == *b.id;
  // One of them names no file now: they meet only where its path, folders resolved, is the
  // other's, and resolving folders never changes a last component.
  if (!a.leaf.empty() && !b.leaf.empty() && a.leaf != b.leaf) return false;
  return normal_path(a.name) == normal_path(b.name);
}

}  // namespace ftir::spcfile

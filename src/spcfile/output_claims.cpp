#include "spcfile/output_claims.h"

#include "report/escape.h"

namespace ftir::spcfile {
OutputClaims::OutputClaims(std::span<const std::string> inputs) {
  for (const std::string& listed : inputs) {
    std::string name = listed;
    if (std::optional<FileId> id = file_id(name, true, true)) {
      inputs_.push_back({*id, std::move(name)});
    }
  }
}

OutputClaims::Owner OutputClaims::owner_of(const std::string& fname) const {
  for (const Input& input : inputs_) {
    if (input.name == fname) return {input.id, fname};
  }
  return {file_id(fname, true, true), fname};
}

std::optional<std::string> OutputClaims::claim(std::string_view fname, std::string_view oname) {
  const std::string input(fname);
  const std::string target(oname);
  // A rename replaces the name itself, a link included, so the target is not followed.
  if (std::optional<FileId> there = file_id(target, false, false)) {
    for (const Input& listed : inputs_) {
      if (listed.id == *there) {
        return "the output " + report::escape_controls(target) + " would replace the input " +
               report::escape_controls(listed.name);
      }
    }
  }
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  OutputKey key{0, 0, target};
  if (std::optional<FileId> dir = file_id(folder, true, false)) {
    key = {dir->device, dir->inode, target.substr(slash == std::string::npos ? 0 : slash + 1)};
  }
  Owner owner = owner_of(input);
  const auto [it, added] = written_.try_emplace(std::move(key), owner);
  const Owner& earlier = it->second;
  const bool same_input = earlier.first && owner.first ? *earlier.first == *owner.first
                                                       : earlier.second == owner.second;
  if (added || same_input) return std::nullopt;
  return "the output " + report::escape_controls(target) + " was already written for " +
         report::escape_controls(earlier.second);
}

}  // namespace ftir::spcfile

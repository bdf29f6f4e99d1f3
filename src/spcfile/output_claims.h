// The output names of one run and the input files they came from, so that no output
// replaces a file the run reads and no output of one input is lost under another's.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "spcfile/file_access.h"

namespace ftir::spcfile {

// Made once per run from its list of input names and handed to every path of the run. A
// red.dat run claims in file order; the command line decides its clashes over the whole list
// before converting, so its workers share no claims.
class OutputClaims {
 public:
  // Takes the identity (device and inode) of every listed name that is a regular file now.
  explicit OutputClaims(std::span<const std::string> inputs);

  // May input `fname` write output `oname`? nullopt, with the
  // name now claimed for that input, when it may; otherwise the reason for the skip line:
  // the output would replace one of the run's input files, or an earlier, different input
  // file of the run already wrote it. The same input file listed again may write its own
  // outputs again.
  std::optional<std::string> claim(std::string_view fname, std::string_view oname);

 private:
  struct Input {
    FileId id;
    std::string name;
  };
  // Where an output lands: its folder's identity and its own name in that folder (the folder
  // 0/0 and the whole name when the folder cannot be looked up).
  using OutputKey = std::tuple<std::uint64_t, std::uint64_t, std::string>;
  // Which input a claim belongs to: its identity, or its name when it has none.
  using Owner = std::pair<std::optional<FileId>, std::string>;

  Owner owner_of(const std::string& fname) const;

  std::vector<Input> inputs_;  // fixed once made
  std::map<OutputKey, Owner> written_;
};

}  // namespace ftir::spcfile

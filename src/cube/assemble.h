// Joining shard cubes: the cube one run writes, from the shards that runs over parts of its
// records (tiles of a mosaic, files of a collected run) wrote.
#pragma once

#include <string>
#include <vector>

#include "report/console.h"

namespace ftir::cube {

// Writes `target` from the cubes `shards`: the same values, table and attributes as the cube
// of the single run, with `history` as its history. The shards must be shards of one run
// (equal but for history, their index and the SHA-256 of the inputs they did not read),
// all `count` of them, each record held by exactly one. "" or the line saying why not
// ("Cannot assemble <target>: ...", "Cannot read <shard>: ..."); nothing is written then.
std::string assemble(const std::string& target, const std::vector<std::string>& shards,
                     const std::string& history);

// The command `ftir-reduce assemble OUT.nc SHARD.nc...`; `arguments` from "assemble" on.
// Returns the exit status: 0, or 1 after a line on `err` ("ftir-reduce assemble: ...").
int assemble_command(const std::vector<std::string>& arguments, report::Sink& err,
                     long long unix_seconds);

}  // namespace ftir::cube

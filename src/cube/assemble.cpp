#include "cube/assemble.h"

#include <algorithm>
#include <memory>
#include <span>

#include "cube/reader.h"
#include "cube/writer.h"
#include "report/escape.h"
#include "spcfile/file_access.h"

namespace ftir::cube {
namespace {

// The description a shard shares with every other shard of its run.
CubeDescription shared_part(CubeDescription d) {
  d.history.clear();
  d.shard.index = 0;
  for (InputFile& input : d.inputs) input.sha256.clear();
  return d;
}

// What two shards' shared parts differ in, named for the message.
std::string difference(const CubeDescription& a, const CubeDescription& b) {
  if (a.height != b.height || a.width != b.width || a.records != b.records) return "shape";
  if (a.pixel_pitch_um != b.pixel_pitch_um) return "pixel pitch";
  if (a.wavenumber != b.wavenumber) return "wavenumbers";
  if (a.time != b.time || a.time_units != b.time_units) return "times";
  if (a.quantity != b.quantity || a.spectrum_units != b.spectrum_units) return "quantity";
  if (a.columns != b.columns) return "table";
  if (a.title != b.title) return "title";
  if (a.parameters != b.parameters) return "processing parameters";
  if (a.inputs != b.inputs) return "input files";
  if (a.shard.count != b.shard.count) return "shard count";
  return "";
}

}  // namespace

std::string assemble(const std::string& target, const std::vector<std::string>& shards,
                     const std::string& history) {
  const std::string cannot = "Cannot assemble " + report::escape_controls(target) + ": ";
  if (shards.empty()) return cannot + "no shards";
  std::vector<std::unique_ptr<CubeReader>> readers;
  for (const std::string& shard : shards) {
    readers.push_back(std::make_unique<CubeReader>());
    if (std::string problem = readers.back()->open(shard); !problem.empty()) return problem;
    if (!readers.back()->description().is_shard) {
      return cannot + report::escape_controls(shard) + " is not a shard";
    }
  }
  const CubeDescription& first_shard = readers[0]->description();
  const CubeDescription shared = shared_part(first_shard);
  CubeDescription whole = first_shard;
  whole.history = history;
  whole.is_shard = false;
  whole.shard = {};
  const int count = first_shard.shard.count;
  std::vector<int> shard_of_index(static_cast<std::size_t>(count), -1);
  for (std::size_t s = 0; s < readers.size(); ++s) {
    const CubeDescription& d = readers[s]->description();
    const std::string name = report::escape_controls(shards[s]);
    if (const std::string what = difference(shared_part(d), shared); !what.empty()) {
      return cannot + name + " and " + report::escape_controls(shards[0]) +
             " are not shards of one run (their " + what + " differ)";
    }
    if (readers[s]->source() != readers[0]->source()) {
      return cannot + name + " was written by " + readers[s]->source() + ", " +
             report::escape_controls(shards[0]) + " by " + readers[0]->source();
    }
    if (d.shard.index < 0 || d.shard.index >= count) {
      return cannot + name + " is shard " + std::to_string(d.shard.index + 1) + " of " +
             std::to_string(count);
    }
    int& taken = shard_of_index[static_cast<std::size_t>(d.shard.index)];
    if (taken >= 0) {
      return cannot + name + " and " +
             report::escape_controls(shards[static_cast<std::size_t>(taken)]) + " are both shard " +
             std::to_string(d.shard.index + 1) + " of " + std::to_string(count);
    }
    taken = static_cast<int>(s);
    for (std::size_t i = 0; i < d.inputs.size(); ++i) {
      std::string& digest = whole.inputs[i].sha256;
      const std::string& theirs = d.inputs[i].sha256;
      if (theirs.empty()) continue;
      if (!digest.empty() && digest != theirs) {
        return cannot + "the shards read different files as " +
               report::escape_controls(d.inputs[i].name);
      }
      digest = theirs;
    }
  }
  for (int i = 0; i < count; ++i) {
    if (shard_of_index[static_cast<std::size_t>(i)] < 0) {
      return cannot + "shard " + std::to_string(i + 1) + " of " + std::to_string(count) +
             " is missing";
    }
  }

  // Which shard holds each record, and the table from the shards that hold them.
  const auto m = static_cast<std::size_t>(whole.record_count());
  const std::size_t k = whole.wavenumber.size();
  std::vector<int> holder(m, -1);
  std::vector<std::vector<double>> table(whole.columns.size(), std::vector<double>(m, 0.0));
  for (std::size_t s = 0; s < readers.size(); ++s) {
    std::vector<unsigned char> covered;
    if (std::string problem = readers[s]->read_covered(covered); !problem.empty()) return problem;
    for (std::size_t r = 0; r < m; ++r) {
      if (covered[r] == 0) continue;
      if (holder[r] >= 0) {
        return cannot + "record " + std::to_string(r) + " is held by " +
               report::escape_controls(shards[static_cast<std::size_t>(holder[r])]) + " and " +
               report::escape_controls(shards[s]);
      }
      holder[r] = static_cast<int>(s);
    }
    for (std::size_t c = 0; c < whole.columns.size(); ++c) {
      std::vector<double> values;
      if (std::string problem = readers[s]->read_column(c, values); !problem.empty())
        return problem;
      for (std::size_t r = 0; r < m; ++r) {
        if (covered[r] != 0) table[c][r] = values[r];
      }
    }
  }
  if (const auto gap = std::find(holder.begin(), holder.end(), -1); gap != holder.end()) {
    return cannot + "record " + std::to_string(gap - holder.begin()) + " is held by no shard";
  }

  // The spectra in bands of whole rows (an image) or of records, as the single run puts them.
  const int band =
      whole.is_image() ? whole.width * std::min(16, whole.height) : std::min(256, whole.records);
  CubeWriter writer;
  if (std::string problem = writer.open(target, whole); !problem.empty()) return problem;
  std::vector<double> spectra;
  std::vector<float> read;
  for (std::size_t first = 0; first < m; first += static_cast<std::size_t>(band)) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(band), m - first);
    spectra.assign(n * k, 0.0);
    for (std::size_t s = 0; s < readers.size(); ++s) {
      if (std::none_of(holder.begin() + static_cast<long>(first),
                       holder.begin() + static_cast<long>(first + n),
                       [&](int h) { return h == static_cast<int>(s); })) {
        continue;
      }
      if (std::string problem =
              readers[s]->read_records(static_cast<int>(first), static_cast<int>(n), read);
          !problem.empty()) {
        return problem;
      }
      for (std::size_t i = 0; i < n; ++i) {
        if (holder[first + i] != static_cast<int>(s)) continue;
        std::copy(read.begin() + static_cast<long>(i * k),
                  read.begin() + static_cast<long>((i + 1) * k),
                  spectra.begin() + static_cast<long>(i * k));
      }
    }
    std::vector<std::span<const double>> columns;
    for (const auto& c : table) columns.emplace_back(c.data() + first, n);
    if (std::string problem =
            writer.put_records(static_cast<int>(first), static_cast<int>(n), spectra, columns);
        !problem.empty()) {
      return problem;
    }
  }
  return writer.finish();
}

int assemble_command(const std::vector<std::string>& arguments, report::Sink& err,
                     long long unix_seconds) {
  if (arguments.size() < 3) {
    err.write("usage: ftir-reduce assemble OUT.nc SHARD.nc...\n");
    return 1;
  }
  const std::string& target = arguments[1];
  const std::vector<std::string> shards(arguments.begin() + 2, arguments.end());
  const auto target_id = spcfile::file_id(target);
  for (const std::string& shard : shards) {
    if (target_id && spcfile::file_id(shard) == target_id) {
      err.write("ftir-reduce assemble: " + report::escape_controls(target) +
                ": the output would replace the shard " + report::escape_controls(shard) + "\n");
      return 1;
    }
  }
  std::vector<std::string> command = {"ftir-reduce"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  const std::string problem = assemble(target, shards, history_line(unix_seconds, command));
  if (problem.empty()) return 0;
  err.write("ftir-reduce assemble: " + problem + "\n");
  return 1;
}

}  // namespace ftir::cube

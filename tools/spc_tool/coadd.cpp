// Co-adding: records of one geometry averaged point by point.
#include "spc_tool/coadd.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

#include "spc_tool/command_line.h"
#include "spc_tool/encode.h"
#include "spc_tool/split.h"
#include "spcfile/file_access.h"

namespace ftir::spctool {
namespace {

constexpr std::size_t kCommentBytes = 130;

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// The reason `record` cannot be averaged with `first`, or "" when it can.
std::string geometry_difference(const Trace& first, const Trace& record) {
  if (record.present < record.declared) {
    return "it holds only " + std::to_string(record.present) + " of its " +
           std::to_string(record.declared) + " points";
  }
  if (record.declared != first.declared) {
    return std::to_string(record.declared) + " points where " + first.path + " has " +
           std::to_string(first.declared);
  }
  if (record.firstx() != first.firstx() || record.lastx() != first.lastx()) {
    return "X runs from " + number(record.firstx()) + " to " + number(record.lastx()) + " where " +
           first.path + " runs from " + number(first.firstx()) + " to " + number(first.lastx());
  }
  const int here = centerburst(record.y);
  const int there = centerburst(first.y);
  if (here != there) {
    return "centerburst at point " + std::to_string(here) + " where " + first.path + " has it at " +
           std::to_string(there);
  }
  return "";
}

}  // namespace

int centerburst(std::span<const double> y) {
  double sum = 0.0;
  for (double value : y) sum += value;
  const double mean = sum / static_cast<double>(y.size());
  double largest = -1.0;
  int at = 0;
  for (std::size_t i = 0; i < y.size(); ++i) {
    if (std::fabs(y[i] - mean) > largest) {
      largest = std::fabs(y[i] - mean);
      at = static_cast<int>(i) + 1;
    }
  }
  return at;
}

std::vector<double> coadd(std::span<const Trace> records) {
  const Trace& first = records.front();
  for (const Trace& record : records) {
    const std::string reason = geometry_difference(first, record);
    if (!reason.empty()) throw ToolError(record.path + ": cannot co-add: " + reason);
  }
  std::vector<double> sum(first.y.size(), 0.0);
  for (const Trace& record : records) {
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += record.y[i];
  }
  for (double& value : sum) value /= static_cast<double>(records.size());
  return sum;
}

int run_coadd(std::span<char* const> args) {
  const Arguments a = parse_arguments(args, {{"--output", "-o", true}, {"--traces", "", false}});
  const std::string output = a.value("--output");
  if (output.empty()) usage_error("coadd needs -o OUT");
  if (a.files.empty()) usage_error("coadd needs at least one FILE");
  if (a.has("--traces") && a.files.size() != 1) usage_error("coadd --traces takes one FILE");
  refuse_overwriting_inputs(output, a.files);
  // A file named twice would count twice in the average.
  std::map<spcfile::FileId, const std::string*> named;
  for (const std::string& file : a.files) {
    const std::optional<spcfile::FileId> id = spcfile::file_id(file);
    if (!id) continue;  // reading it says why
    const auto [first, fresh] = named.emplace(*id, &file);
    if (!fresh) throw ToolError(file + ": the same file as " + *first->second + ", named earlier");
  }

  std::vector<Trace> records;
  std::string sources;
  if (a.has("--traces")) {
    records = split_traces(read_trace(a.files[0]), "");
    for (Trace& record : records) {
      record.path = a.files[0] + " trace " + std::to_string(&record - records.data() + 1);
    }
    sources = a.files[0] + " traces 1-" + std::to_string(records.size());
  } else {
    for (const std::string& file : a.files) {
      records.push_back(read_trace(file));
      sources += (sources.empty() ? "" : ", ") + records.back().name;
    }
    // Too many names for the comment: the first and the last.
    if (sources.size() + 20 > kCommentBytes) {
      sources = records.front().name + ", ..., " + records.back().name;
    }
  }
  for (Trace& record : records) load_points(record);
  const std::vector<double> average = coadd(records);

  const Trace& first = records.front();
  TraceContent content;
  content.firstx = first.firstx();
  content.lastx = first.lastx();
  content.y = average;
  content.yunits = first.yunits();
  content.comment = "Co-added " + std::to_string(records.size()) + ": " + sources;
  if (content.comment.size() > kCommentBytes) {
    content.comment = content.comment.substr(0, kCommentBytes - 3) + "...";
  }
  write_file(output, encode_like(first, content));
  write_stdout(output + ": average of " + std::to_string(records.size()) + " records of " +
               std::to_string(first.declared) + " points, centerburst at point " +
               std::to_string(centerburst(first.y)) + "\n");
  return 0;
}

}  // namespace ftir::spctool

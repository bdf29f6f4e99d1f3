// The cube reader: gives back the description, spectra and table of a cube the writer made,
// for joining shards and for checking a cube.
#pragma once

#include <string>
#include <vector>

#include "cube/cube.h"

namespace ftir::cube {

// Every call returns "" or the line saying why ("Cannot read <path>: <reason>").
class CubeReader {
 public:
  CubeReader() = default;
  CubeReader(const CubeReader&) = delete;
  CubeReader& operator=(const CubeReader&) = delete;
  ~CubeReader();

  // Opens the cube and reads its description: the layout the writer makes, with the global
  // attributes other than the writer's own as its parameters.
  std::string open(const std::string& path);
  const CubeDescription& description() const { return d_; }
  const std::string& source() const { return source_; }

  // The float32 spectra of records [first, first + count), record after record. In an image
  // the records are whole rows or lie within one row.
  std::string read_records(int first, int count, std::vector<float>& out);
  // All values of the description's column `index`.
  std::string read_column(std::size_t index, std::vector<double>& out);
  // Per record, 1 where the cube holds it: all records unless it is a shard.
  std::string read_covered(std::vector<unsigned char>& out);

 private:
  std::string fail(const std::string& reason);

  std::string path_;
  int ncid_ = -1;
  int spectrum_ = -1;
  std::vector<int> column_ids_;
  int covered_id_ = -1;
  CubeDescription d_;
  std::string source_;
};

}  // namespace ftir::cube

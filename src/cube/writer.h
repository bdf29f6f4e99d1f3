// The cube writer: a NetCDF-4 file (CF-1.10) made through the netCDF library, written under
// a temporary name beside its target and given the target's name only once whole.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cube/cube.h"
#include "spcfile/file_access.h"

namespace ftir::cube {

// Layout: dimensions y, x, wavenumber for an image, record, wavenumber otherwise; the
// coordinate variables wavenumber (cm-1), x and y (pixel centres, um) and time where given;
// `spectrum` as float32 in chunks of (min(16, H), min(16, W), K) or (min(256, M), K),
// shuffled and deflated at level 1; each column a variable over the record dimensions; the
// global attributes Conventions, title, source, history, the parameters, input_files and
// input_sha256 (string arrays, one entry per input), and for a shard shard_index,
// shard_count and the variable shard_covered (1 for each record the shard holds).
//
// Every call returns "" or the line saying why the cube cannot be written ("Cannot write
// <target>: <reason>"); after a failure the temporary file is gone and later calls fail
// the same way. While the writer lives its thread holds back SIGINT, SIGTERM, SIGHUP and
// SIGPIPE (as TempFile does): a stop signal found waiting at a put or at finish() abandons
// the cube, and the signal takes effect once the temporary file is gone, so that it leaves
// neither a cube nor a temporary file. A run whose workers do not hold these signals back
// themselves must not let them reach the workers. Made, fed and ended on one thread.
class CubeWriter {
 public:
  CubeWriter() = default;
  CubeWriter(const CubeWriter&) = delete;
  CubeWriter& operator=(const CubeWriter&) = delete;
  ~CubeWriter();

  // Creates the temporary file beside `target` and lays out the cube `description` gives.
  std::string open(const std::string& target, const CubeDescription& description);

  // Records [first, first + count) in record order: `first` is next_record(). `spectra`
  // holds count x K values (rounded to float32 here), `columns` one span of `count` values
  // per column of the description, in its order. Spectra are kept until a whole band of
  // chunks is complete, so that each chunk is compressed and written once.
  std::string put_records(int first, int count, std::span<const double> spectra,
                          std::span<const std::span<const double>> columns);
  int next_record() const { return next_; }

  // An image's rectangle of pixels, rows [row, row + height) and columns [column, column +
  // width), in any order (the file's bytes follow the order of the calls): spectra and
  // columns as for put_records, row by row within the rectangle. Not mixed with
  // put_records in one cube.
  std::string put_tile(int row, int column, int height, int width, std::span<const double> spectra,
                       std::span<const std::span<const double>> columns);

  // Writes the table, closes the file and gives it the target's name. A cube that is not a
  // shard must have had every record put.
  std::string finish();

  // Removes the temporary file; the target is left as it was.
  void abandon();

 private:
  std::string fail(const std::string& reason);
  std::string fail_nc(int status);
  std::string check_running();
  std::string take_columns(std::span<const std::span<const double>> columns, int count,
                           const std::vector<int>& records);
  std::string write_block(const std::vector<std::size_t>& start,
                          const std::vector<std::size_t>& count, std::span<const float> values);
  std::string flush_band();

  CubeDescription d_;
  std::string target_;
  std::string problem_;
  std::optional<spcfile::TempFile> temp_;
  int ncid_ = -1;
  int spectrum_ = -1;
  std::vector<int> column_ids_;
  int covered_id_ = -1;
  std::vector<std::vector<double>> table_;  // per column, one value per record
  std::vector<unsigned char> covered_;      // per record
  std::vector<float> band_;                 // put_records: the band of chunks being filled
  int band_records_ = 0;                    // records in a whole band
  int next_ = 0;
  bool used_records_ = false;
  bool used_tiles_ = false;
};

// The whole cube in one call: spectra of all records (record_count() x K), columns with one
// vector of record_count() values each.
std::string write_cube(const std::string& target, const CubeDescription& description,
                       std::span<const double> spectra,
                       const std::vector<std::vector<double>>& columns);

}  // namespace ftir::cube

#include "cube/writer.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "cube/netcdf_api.h"
#include "report/escape.h"
#include "report/stop.h"

namespace ftir::cube {
namespace {

constexpr int kImageChunk = 16;    // pixels along y and along x
constexpr int kSeriesChunk = 256;  // records
constexpr int kTableChunk = 256;   // per-record columns: values along each record dimension
constexpr int kDeflateLevel = 1;

// The first of the run's stop signals waiting for this thread or the process, or 0.
int waiting_stop_signal() {
  sigset_t pending;
  if (::sigpending(&pending) != 0) return 0;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    if (sigismember(&pending, signal) == 1) return signal;
  }
  return 0;
}

nc_type nc_type_of(ColumnType type) {
  switch (type) {
    case ColumnType::kInt8:
      return NC_BYTE;
    case ColumnType::kInt32:
      return NC_INT;
    case ColumnType::kFloat32:
      return NC_FLOAT;
    case ColumnType::kFloat64:
      return NC_DOUBLE;
  }
  return NC_DOUBLE;
}

bool is_integer(ColumnType type) { return type == ColumnType::kInt8 || type == ColumnType::kInt32; }

// The first failing status of a sequence of netCDF calls; later calls still run but change
// nothing that matters, as the file is then abandoned.
struct Status {
  int first = NC_NOERR;
  void operator()(int status) {
    if (first == NC_NOERR) first = status;
  }
};

void put_text(Status& st, int ncid, int varid, const char* name, const std::string& text) {
  st(nc().put_att_text(ncid, varid, name, text.size(), text.data()));
}

void put_strings(Status& st, int ncid, const char* name, const std::vector<std::string>& texts) {
  std::vector<const char*> pointers;
  for (const std::string& text : texts) pointers.push_back(text.c_str());
  st(nc().put_att_string(ncid, NC_GLOBAL, name, pointers.size(), pointers.data()));
}

// Defines a double coordinate variable over its own dimension.
int define_coordinate(Status& st, int ncid, const char* name, int dim, const char* units,
                      const char* long_name, const char* axis) {
  int id = -1;
  st(nc().def_var(ncid, name, NC_DOUBLE, 1, &dim, &id));
  put_text(st, ncid, id, "units", units);
  put_text(st, ncid, id, "long_name", long_name);
  if (axis != nullptr) put_text(st, ncid, id, "axis", axis);
  return id;
}

// What is wrong with a description, or "".
std::string description_problem(const CubeDescription& d) {
  if (d.points() <= 0) return "no wavenumbers";
  if (d.is_image() ? (d.height > 46340 || d.width > 46340) : d.records <= 0) {
    return "no records, or an image too large";
  }
  if (d.is_image() && !(d.pixel_pitch_um > 0)) return "no pixel pitch";
  if (!d.time.empty() && (d.is_image() || static_cast<int>(d.time.size()) != d.records)) {
    return "times that do not match the records";
  }
  for (const Column& c : d.columns) {
    if (c.name.empty() || c.name == "spectrum" || c.name == "wavenumber" || c.name == "x" ||
        c.name == "y" || c.name == "time" || c.name == "record" || c.name == "shard_covered") {
      return "a column named \"" + c.name + "\"";
    }
    if (!c.flag_values.empty() && !is_integer(c.type)) return "flags on a non-integer column";
  }
  if (d.is_shard && (d.shard.count < 1 || d.shard.index < 0 || d.shard.index >= d.shard.count)) {
    return "a shard outside its count";
  }
  return "";
}

}  // namespace

CubeWriter::~CubeWriter() { abandon(); }

void CubeWriter::abandon() {
  if (ncid_ >= 0) nc().abort(ncid_);
  ncid_ = -1;
  temp_.reset();  // removes the file; a signal held back takes effect here
}

std::string CubeWriter::fail(const std::string& reason) {
  abandon();
  if (problem_.empty())
    problem_ = "Cannot write " + report::escape_controls(target_) + ": " + reason;
  return problem_;
}

std::string CubeWriter::fail_nc(int status) { return fail(nc().strerror(status)); }

std::string CubeWriter::check_running() {
  if (!problem_.empty()) return problem_;
  if (ncid_ < 0) return fail("the cube is not open");
  if (const int signal = waiting_stop_signal(); signal != 0) {
    return fail(std::string("stopped by ") + (signal == SIGINT    ? "SIGINT"
                                              : signal == SIGTERM ? "SIGTERM"
                                                                  : "SIGHUP"));
  }
  return "";
}

std::string CubeWriter::open(const std::string& target, const CubeDescription& description) {
  target_ = target;
  d_ = description;
  if (const std::string problem = description_problem(d_); !problem.empty()) return fail(problem);
  if (const std::string problem = load_netcdf(); !problem.empty()) return fail(problem);
  try {
    temp_.emplace(target_, spcfile::TempFile::Kind::kNamed);
  } catch (const report::RunStop& s) {  // the temporary file cannot be created: its line
    problem_ = s.text();
    return problem_;
  }
  Status st;
  st(nc().create(temp_->path().c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid_));
  if (st.first != NC_NOERR) {
    ncid_ = -1;
    return fail_nc(st.first);
  }
  const auto k = static_cast<std::size_t>(d_.points());
  std::vector<int> record_dims;
  int wavenumber_dim = -1;
  if (d_.is_image()) {
    int y = -1;
    int x = -1;
    st(nc().def_dim(ncid_, "y", static_cast<std::size_t>(d_.height), &y));
    st(nc().def_dim(ncid_, "x", static_cast<std::size_t>(d_.width), &x));
    record_dims = {y, x};
  } else {
    int record = -1;
    st(nc().def_dim(ncid_, "record", static_cast<std::size_t>(d_.records), &record));
    record_dims = {record};
  }
  st(nc().def_dim(ncid_, "wavenumber", k, &wavenumber_dim));

  const int wavenumber_id =
      define_coordinate(st, ncid_, "wavenumber", wavenumber_dim, "cm-1", "wavenumber", nullptr);
  int y_id = -1;
  int x_id = -1;
  int time_id = -1;
  if (d_.is_image()) {
    y_id = define_coordinate(st, ncid_, "y", record_dims[0], "um", "y of the pixel centre", "Y");
    x_id = define_coordinate(st, ncid_, "x", record_dims[1], "um", "x of the pixel centre", "X");
  } else if (!d_.time.empty()) {
    time_id =
        define_coordinate(st, ncid_, "time", record_dims[0], d_.time_units.c_str(), "time", "T");
  }

  std::vector<int> spectrum_dims = record_dims;
  spectrum_dims.push_back(wavenumber_dim);
  st(nc().def_var(ncid_, "spectrum", NC_FLOAT, static_cast<int>(spectrum_dims.size()),
                  spectrum_dims.data(), &spectrum_));
  std::vector<std::size_t> chunks;
  if (d_.is_image()) {
    chunks = {static_cast<std::size_t>(std::min(kImageChunk, d_.height)),
              static_cast<std::size_t>(std::min(kImageChunk, d_.width)), k};
    band_records_ = std::min(kImageChunk, d_.height) * d_.width;
  } else {
    chunks = {static_cast<std::size_t>(std::min(kSeriesChunk, d_.records)), k};
    band_records_ = std::min(kSeriesChunk, d_.records);
  }
  st(nc().def_var_chunking(ncid_, spectrum_, NC_CHUNKED, chunks.data()));
  st(nc().def_var_deflate(ncid_, spectrum_, 1, 1, kDeflateLevel));
  put_text(st, ncid_, spectrum_, "long_name", long_name_of(d_.quantity));
  put_text(st, ncid_, spectrum_, "units", d_.spectrum_units);
  if (time_id >= 0) put_text(st, ncid_, spectrum_, "coordinates", "time");

  std::vector<std::size_t> table_chunks;
  for (int dim : record_dims) {
    std::size_t length = 0;
    st(nc().inq_dimlen(ncid_, dim, &length));
    table_chunks.push_back(std::min<std::size_t>(length, kTableChunk));
  }
  const auto define_table_variable = [&](const char* name, nc_type type) {
    int id = -1;
    st(nc().def_var(ncid_, name, type, static_cast<int>(record_dims.size()), record_dims.data(),
                    &id));
    st(nc().def_var_chunking(ncid_, id, NC_CHUNKED, table_chunks.data()));
    st(nc().def_var_deflate(ncid_, id, 1, 1, kDeflateLevel));
    return id;
  };
  for (const Column& c : d_.columns) {
    const int id = define_table_variable(c.name.c_str(), nc_type_of(c.type));
    if (!c.long_name.empty()) put_text(st, ncid_, id, "long_name", c.long_name);
    if (!c.units.empty()) put_text(st, ncid_, id, "units", c.units);
    if (!c.flag_values.empty()) {
      if (c.type == ColumnType::kInt8) {
        std::vector<signed char> values;
        for (int v : c.flag_values) values.push_back(static_cast<signed char>(v));
        st(nc().put_att_schar(ncid_, id, "flag_values", NC_BYTE, values.size(), values.data()));
      } else {
        st(nc().put_att_int(ncid_, id, "flag_values", NC_INT, c.flag_values.size(),
                            c.flag_values.data()));
      }
      put_text(st, ncid_, id, "flag_meanings", c.flag_meanings);
    }
    column_ids_.push_back(id);
  }
  if (d_.is_shard) {
    covered_id_ = define_table_variable("shard_covered", NC_BYTE);
    put_text(st, ncid_, covered_id_, "long_name", "record held by this shard");
  }

  put_text(st, ncid_, NC_GLOBAL, "Conventions", "CF-1.10");
  put_text(st, ncid_, NC_GLOBAL, "title", d_.title);
  put_text(st, ncid_, NC_GLOBAL, "source", source_text());
  put_text(st, ncid_, NC_GLOBAL, "history", d_.history);
  for (const Attribute& a : d_.parameters) {
    if (const auto* text = std::get_if<std::string>(&a.value)) {
      put_text(st, ncid_, NC_GLOBAL, a.name.c_str(), *text);
    } else if (const auto* integer = std::get_if<int>(&a.value)) {
      st(nc().put_att_int(ncid_, NC_GLOBAL, a.name.c_str(), NC_INT, 1, integer));
    } else if (const auto* real = std::get_if<double>(&a.value)) {
      st(nc().put_att_double(ncid_, NC_GLOBAL, a.name.c_str(), NC_DOUBLE, 1, real));
    } else {
      const auto& reals = std::get<std::vector<double>>(a.value);
      st(nc().put_att_double(ncid_, NC_GLOBAL, a.name.c_str(), NC_DOUBLE, reals.size(),
                             reals.data()));
    }
  }
  if (!d_.inputs.empty()) {
    std::vector<std::string> names;
    std::vector<std::string> digests;
    for (const InputFile& input : d_.inputs) {
      names.push_back(input.name);
      digests.push_back(input.sha256);
    }
    put_strings(st, ncid_, "input_files", names);
    put_strings(st, ncid_, "input_sha256", digests);
  }
  if (d_.is_shard) {
    st(nc().put_att_int(ncid_, NC_GLOBAL, "shard_index", NC_INT, 1, &d_.shard.index));
    st(nc().put_att_int(ncid_, NC_GLOBAL, "shard_count", NC_INT, 1, &d_.shard.count));
  }
  st(nc().enddef(ncid_));

  st(nc().put_var_double(ncid_, wavenumber_id, d_.wavenumber.data()));
  if (d_.is_image()) {
    for (auto [id, n] : {std::pair{y_id, d_.height}, std::pair{x_id, d_.width}}) {
      std::vector<double> centres(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i)
        centres[static_cast<std::size_t>(i)] = (i + 0.5) * d_.pixel_pitch_um;
      st(nc().put_var_double(ncid_, id, centres.data()));
    }
  } else if (time_id >= 0) {
    st(nc().put_var_double(ncid_, time_id, d_.time.data()));
  }
  if (st.first != NC_NOERR) return fail_nc(st.first);

  const auto m = static_cast<std::size_t>(d_.record_count());
  table_.assign(d_.columns.size(), std::vector<double>(m, 0.0));
  covered_.assign(m, 0);
  return "";
}

std::string CubeWriter::take_columns(std::span<const std::span<const double>> columns, int count,
                                     const std::vector<int>& records) {
  if (columns.size() != table_.size()) return fail("a put without one span per column");
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (columns[c].size() != static_cast<std::size_t>(count))
      return fail("a column of the wrong length");
  }
  for (int record : records) {
    if (covered_[static_cast<std::size_t>(record)] != 0) return fail("a record put twice");
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto r = static_cast<std::size_t>(records[i]);
    covered_[r] = 1;
    for (std::size_t c = 0; c < columns.size(); ++c) table_[c][r] = columns[c][i];
  }
  return "";
}

std::string CubeWriter::write_block(const std::vector<std::size_t>& start,
                                    const std::vector<std::size_t>& count,
                                    std::span<const float> values) {
  const int status =
      nc().put_vara_float(ncid_, spectrum_, start.data(), count.data(), values.data());
  return status == NC_NOERR ? "" : fail_nc(status);
}

// The band of put_records() holding records up to next_ (a whole band, or the last one;
// a shard's band may end within a row, whose rest it does not hold).
std::string CubeWriter::flush_band() {
  const int first = (next_ - 1) / band_records_ * band_records_;
  const int count = next_ - first;
  const auto k = static_cast<std::size_t>(d_.points());
  if (d_.is_image()) {
    const int rows = (count + d_.width - 1) / d_.width;
    return write_block({static_cast<std::size_t>(first / d_.width), 0, 0},
                       {static_cast<std::size_t>(rows), static_cast<std::size_t>(d_.width), k},
                       {band_.data(), static_cast<std::size_t>(rows * d_.width) * k});
  }
  return write_block({static_cast<std::size_t>(first), 0}, {static_cast<std::size_t>(count), k},
                     {band_.data(), static_cast<std::size_t>(count) * k});
}

std::string CubeWriter::put_records(int first, int count, std::span<const double> spectra,
                                    std::span<const std::span<const double>> columns) {
  if (std::string problem = check_running(); !problem.empty()) return problem;
  const auto k = static_cast<std::size_t>(d_.points());
  if (used_tiles_) return fail("records put after tiles");
  if (first < next_ || (first != next_ && !d_.is_shard) || count < 0 ||
      count > d_.record_count() - first) {
    return fail("records put out of order");
  }
  if (spectra.size() != static_cast<std::size_t>(count) * k)
    return fail("spectra of the wrong length");
  used_records_ = true;
  if (first != next_) {  // a shard passes over records it does not hold
    if (next_ % band_records_ != 0 && first / band_records_ != (next_ - 1) / band_records_) {
      if (std::string problem = flush_band(); !problem.empty()) return problem;
    }
    next_ = first;
  }
  std::vector<int> records(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) records[static_cast<std::size_t>(i)] = first + i;
  if (std::string problem = take_columns(columns, count, records); !problem.empty()) return problem;
  band_.resize(static_cast<std::size_t>(band_records_) * k);
  for (int i = 0; i < count; ++i) {
    const std::size_t slot = static_cast<std::size_t>(next_ % band_records_) * k;
    const std::size_t from = static_cast<std::size_t>(i) * k;
    for (std::size_t j = 0; j < k; ++j) band_[slot + j] = static_cast<float>(spectra[from + j]);
    ++next_;
    if (next_ % band_records_ == 0 || next_ == d_.record_count()) {
      if (std::string problem = flush_band(); !problem.empty()) return problem;
    }
  }
  return "";
}

std::string CubeWriter::put_tile(int row, int column, int height, int width,
                                 std::span<const double> spectra,
                                 std::span<const std::span<const double>> columns) {
  if (std::string problem = check_running(); !problem.empty()) return problem;
  if (!d_.is_image() || used_records_) return fail("a tile put into a series or after records");
  if (row < 0 || column < 0 || height < 1 || width < 1 || height > d_.height - row ||
      width > d_.width - column) {
    return fail("a tile outside the image");
  }
  const auto k = static_cast<std::size_t>(d_.points());
  const int count = height * width;
  if (spectra.size() != static_cast<std::size_t>(count) * k)
    return fail("spectra of the wrong length");
  used_tiles_ = true;
  std::vector<int> records;
  for (int y = row; y < row + height; ++y) {
    for (int x = column; x < column + width; ++x) records.push_back(y * d_.width + x);
  }
  if (std::string problem = take_columns(columns, count, records); !problem.empty()) return problem;
  std::vector<float> values(spectra.size());
  std::transform(spectra.begin(), spectra.end(), values.begin(),
                 [](double v) { return static_cast<float>(v); });
  return write_block({static_cast<std::size_t>(row), static_cast<std::size_t>(column), 0},
                     {static_cast<std::size_t>(height), static_cast<std::size_t>(width), k},
                     values);
}

std::string CubeWriter::finish() {
  if (std::string problem = check_running(); !problem.empty()) return problem;
  if (!d_.is_shard && std::find(covered_.begin(), covered_.end(), 0) != covered_.end()) {
    return fail("records missing");
  }
  if (used_records_ && next_ % band_records_ != 0 && next_ != d_.record_count()) {
    if (std::string problem = flush_band(); !problem.empty()) return problem;  // a shard's last
  }
  Status st;
  for (std::size_t c = 0; c < table_.size(); ++c) {
    st(nc().put_var_double(ncid_, column_ids_[c], table_[c].data()));
  }
  if (d_.is_shard) st(nc().put_var_uchar(ncid_, covered_id_, covered_.data()));
  if (st.first != NC_NOERR) return fail_nc(st.first);
  const int closed = nc().close(ncid_);
  ncid_ = -1;
  if (closed != NC_NOERR) return fail_nc(closed);
  errno = 0;
  if (!temp_->close() || !temp_->commit()) {
    return fail(std::strerror(errno != 0 ? errno : EIO));
  }
  temp_.reset();
  return "";
}

std::string write_cube(const std::string& target, const CubeDescription& description,
                       std::span<const double> spectra,
                       const std::vector<std::vector<double>>& columns) {
  CubeWriter writer;
  if (std::string problem = writer.open(target, description); !problem.empty()) return problem;
  std::vector<std::span<const double>> spans(columns.begin(), columns.end());
  const int m = description.record_count();
  if (std::string problem = writer.put_records(0, m, spectra, spans); !problem.empty())
    return problem;
  return writer.finish();
}

}  // namespace ftir::cube

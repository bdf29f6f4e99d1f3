#include "cube/reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "cube/netcdf_api.h"
#include "report/escape.h"

namespace ftir::cube {
namespace {

// The global attributes the writer sets itself; every other one is a parameter.
constexpr std::array<const char*, 8> kOwnAttributes = {"Conventions", "title",       "source",
                                                       "history",     "input_files", "input_sha256",
                                                       "shard_index", "shard_count"};

std::string text_attribute(int ncid, int varid, const char* name) {
  std::size_t length = 0;
  nc_type type = NC_NAT;
  if (nc().inq_att(ncid, varid, name, &type, &length) != NC_NOERR || type != NC_CHAR) return "";
  std::string text(length, '\0');
  if (length > 0 && nc().get_att_text(ncid, varid, name, text.data()) != NC_NOERR) return "";
  return text;
}

std::vector<std::string> string_attribute(int ncid, const char* name) {
  std::size_t length = 0;
  nc_type type = NC_NAT;
  if (nc().inq_att(ncid, NC_GLOBAL, name, &type, &length) != NC_NOERR || type != NC_STRING)
    return {};
  std::vector<char*> pointers(length, nullptr);
  if (nc().get_att_string(ncid, NC_GLOBAL, name, pointers.data()) != NC_NOERR) return {};
  std::vector<std::string> texts(pointers.begin(), pointers.end());
  nc().free_string(length, pointers.data());
  return texts;
}

int int_attribute(int ncid, const char* name, int otherwise) {
  int value = otherwise;
  return nc().get_att_int(ncid, NC_GLOBAL, name, &value) == NC_NOERR ? value : otherwise;
}

std::vector<double> double_variable(int ncid, const char* name, bool& found) {
  int id = -1;
  found = nc().inq_varid(ncid, name, &id) == NC_NOERR;
  if (!found) return {};
  int dim = -1;
  std::size_t length = 0;
  nc().inq_vardimid(ncid, id, &dim);
  nc().inq_dimlen(ncid, dim, &length);
  std::vector<double> values(length);
  if (length > 0 && nc().get_var_double(ncid, id, values.data()) != NC_NOERR) found = false;
  return values;
}

}  // namespace

CubeReader::~CubeReader() {
  if (ncid_ >= 0) nc().close(ncid_);
}

std::string CubeReader::fail(const std::string& reason) {
  return "Cannot read " + report::escape_controls(path_) + ": " + reason;
}

std::string CubeReader::open(const std::string& path) {
  path_ = path;
  if (const std::string problem = load_netcdf(); !problem.empty()) return fail(problem);
  if (const int status = nc().open(path.c_str(), NC_NOWRITE, &ncid_); status != NC_NOERR) {
    ncid_ = -1;
    return fail(nc().strerror(status));
  }
  int wavenumber_dim = -1;
  if (nc().inq_varid(ncid_, "spectrum", &spectrum_) != NC_NOERR ||
      nc().inq_dimid(ncid_, "wavenumber", &wavenumber_dim) != NC_NOERR) {
    return fail("not a cube (no spectrum over wavenumber)");
  }
  int ndims = 0;
  nc().inq_varndims(ncid_, spectrum_, &ndims);
  if (ndims != 2 && ndims != 3)
    return fail("not a cube (spectrum of " + std::to_string(ndims) + " dimensions)");
  std::vector<int> dims(static_cast<std::size_t>(ndims));
  nc().inq_vardimid(ncid_, spectrum_, dims.data());
  std::vector<std::size_t> lengths(dims.size());
  for (std::size_t i = 0; i < dims.size(); ++i) nc().inq_dimlen(ncid_, dims[i], &lengths[i]);
  bool found = false;
  d_.wavenumber = double_variable(ncid_, "wavenumber", found);
  if (!found || dims.back() != wavenumber_dim) return fail("not a cube (no wavenumber axis)");
  const std::vector<int> record_dims(dims.begin(), dims.end() - 1);
  if (ndims == 3) {
    d_.height = static_cast<int>(lengths[0]);
    d_.width = static_cast<int>(lengths[1]);
    const std::vector<double> x = double_variable(ncid_, "x", found);
    if (!found || x.empty()) return fail("not a cube (no x axis)");
    d_.pixel_pitch_um = 2 * x[0];  // the first centre lies half a pitch in
  } else {
    d_.records = static_cast<int>(lengths[0]);
    int time_id = -1;
    if (nc().inq_varid(ncid_, "time", &time_id) == NC_NOERR) {
      d_.time = double_variable(ncid_, "time", found);
      d_.time_units = text_attribute(ncid_, time_id, "units");
    }
  }
  const std::string quantity = text_attribute(ncid_, spectrum_, "long_name");
  for (Quantity q : {Quantity::kSingleBeam, Quantity::kAbsorbance, Quantity::kTransmittance}) {
    if (quantity == long_name_of(q)) d_.quantity = q;
  }
  d_.spectrum_units = text_attribute(ncid_, spectrum_, "units");

  // The columns: every other variable over exactly the record dimensions, in file order.
  int nvars = 0;
  nc().inq_nvars(ncid_, &nvars);
  for (int id = 0; id < nvars; ++id) {
    std::array<char, NC_MAX_NAME + 1> name{};
    nc_type type = NC_NAT;
    int var_ndims = 0;
    std::array<int, NC_MAX_VAR_DIMS> var_dims{};
    nc().inq_var(ncid_, id, name.data(), &type, &var_ndims, var_dims.data(), nullptr);
    if (var_ndims != static_cast<int>(record_dims.size()) ||
        !std::equal(record_dims.begin(), record_dims.end(), var_dims.begin())) {
      continue;
    }
    const std::string column_name = name.data();
    if (column_name == "time") continue;
    if (column_name == "shard_covered") {
      covered_id_ = id;
      continue;
    }
    Column c;
    c.name = column_name;
    switch (type) {
      case NC_BYTE:
        c.type = ColumnType::kInt8;
        break;
      case NC_INT:
        c.type = ColumnType::kInt32;
        break;
      case NC_FLOAT:
        c.type = ColumnType::kFloat32;
        break;
      case NC_DOUBLE:
        c.type = ColumnType::kFloat64;
        break;
      default:
        return fail("a column \"" + column_name + "\" of a type cubes do not use");
    }
    c.long_name = text_attribute(ncid_, id, "long_name");
    c.units = text_attribute(ncid_, id, "units");
    std::size_t flags = 0;
    if (nc().inq_attlen(ncid_, id, "flag_values", &flags) == NC_NOERR) {
      c.flag_values.resize(flags);
      nc().get_att_int(ncid_, id, "flag_values", c.flag_values.data());
      c.flag_meanings = text_attribute(ncid_, id, "flag_meanings");
    }
    d_.columns.push_back(c);
    column_ids_.push_back(id);
  }

  d_.title = text_attribute(ncid_, NC_GLOBAL, "title");
  d_.history = text_attribute(ncid_, NC_GLOBAL, "history");
  source_ = text_attribute(ncid_, NC_GLOBAL, "source");
  const std::vector<std::string> names = string_attribute(ncid_, "input_files");
  const std::vector<std::string> digests = string_attribute(ncid_, "input_sha256");
  for (std::size_t i = 0; i < names.size(); ++i) {
    d_.inputs.push_back({names[i], i < digests.size() ? digests[i] : ""});
  }
  d_.shard.index = int_attribute(ncid_, "shard_index", 0);
  d_.shard.count = int_attribute(ncid_, "shard_count", 1);
  d_.is_shard = covered_id_ >= 0;

  int natts = 0;
  nc().inq_varnatts(ncid_, NC_GLOBAL, &natts);
  for (int i = 0; i < natts; ++i) {
    std::array<char, NC_MAX_NAME + 1> name{};
    nc().inq_attname(ncid_, NC_GLOBAL, i, name.data());
    if (std::any_of(kOwnAttributes.begin(), kOwnAttributes.end(),
                    [&](const char* own) { return std::strcmp(own, name.data()) == 0; })) {
      continue;
    }
    nc_type type = NC_NAT;
    std::size_t length = 0;
    nc().inq_att(ncid_, NC_GLOBAL, name.data(), &type, &length);
    Attribute a{name.data(), std::string()};
    if (type == NC_CHAR) {
      a.value = text_attribute(ncid_, NC_GLOBAL, name.data());
    } else if (type == NC_INT && length == 1) {
      int value = 0;
      nc().get_att_int(ncid_, NC_GLOBAL, name.data(), &value);
      a.value = value;
    } else if (type == NC_DOUBLE) {
      std::vector<double> values(length);
      nc().get_att_double(ncid_, NC_GLOBAL, name.data(), values.data());
      if (length == 1) {
        a.value = values[0];
      } else {
        a.value = values;
      }
    } else {
      return fail(std::string("a global attribute \"") + name.data() +
                  "\" of a type cubes do not use");
    }
    d_.parameters.push_back(a);
  }
  return "";
}

std::string CubeReader::read_records(int first, int count, std::vector<float>& out) {
  const auto k = d_.wavenumber.size();
  out.resize(static_cast<std::size_t>(count) * k);
  if (count == 0) return "";
  int status = NC_NOERR;
  if (d_.is_image()) {
    std::size_t start[3] = {static_cast<std::size_t>(first / d_.width),
                            static_cast<std::size_t>(first % d_.width), 0};
    std::size_t counts[3] = {1, static_cast<std::size_t>(count), k};
    if (first % d_.width == 0 && count % d_.width == 0) {
      counts[0] = static_cast<std::size_t>(count / d_.width);
      counts[1] = static_cast<std::size_t>(d_.width);
    } else if (first % d_.width + count > d_.width) {
      return fail("records that are neither whole rows nor within one row");
    }
    status = nc().get_vara_float(ncid_, spectrum_, start, counts, out.data());
  } else {
    const std::size_t start[2] = {static_cast<std::size_t>(first), 0};
    const std::size_t counts[2] = {static_cast<std::size_t>(count), k};
    status = nc().get_vara_float(ncid_, spectrum_, start, counts, out.data());
  }
  return status == NC_NOERR ? "" : fail(nc().strerror(status));
}

std::string CubeReader::read_column(std::size_t index, std::vector<double>& out) {
  out.resize(static_cast<std::size_t>(d_.record_count()));
  const int status = nc().get_var_double(ncid_, column_ids_.at(index), out.data());
  return status == NC_NOERR ? "" : fail(nc().strerror(status));
}

std::string CubeReader::read_covered(std::vector<unsigned char>& out) {
  out.assign(static_cast<std::size_t>(d_.record_count()), 1);
  if (covered_id_ < 0) return "";
  const int status = nc().get_var_uchar(ncid_, covered_id_, out.data());
  return status == NC_NOERR ? "" : fail(nc().strerror(status));
}

}  // namespace ftir::cube

// The netCDF library's functions, loaded when the first cube is opened rather than when the
// program starts: linked in, the library and the dozens it needs (HDF5, curl, XML, TLS)
// would cost every run of the converter, a cube or not, about 20 ms of start-up.
#pragma once

#include <netcdf.h>

#include <string>

namespace ftir::cube {

// One member per function the cube uses, named as the function without its "nc_".
struct NetcdfApi {
  decltype(&::nc_abort) abort = nullptr;
  decltype(&::nc_close) close = nullptr;
  decltype(&::nc_create) create = nullptr;
  decltype(&::nc_def_dim) def_dim = nullptr;
  decltype(&::nc_def_var) def_var = nullptr;
  decltype(&::nc_def_var_chunking) def_var_chunking = nullptr;
  decltype(&::nc_def_var_deflate) def_var_deflate = nullptr;
  decltype(&::nc_enddef) enddef = nullptr;
  decltype(&::nc_free_string) free_string = nullptr;
  decltype(&::nc_get_att_double) get_att_double = nullptr;
  decltype(&::nc_get_att_int) get_att_int = nullptr;
  decltype(&::nc_get_att_string) get_att_string = nullptr;
  decltype(&::nc_get_att_text) get_att_text = nullptr;
  decltype(&::nc_get_var_double) get_var_double = nullptr;
  decltype(&::nc_get_var_uchar) get_var_uchar = nullptr;
  decltype(&::nc_get_vara_float) get_vara_float = nullptr;
  decltype(&::nc_inq_att) inq_att = nullptr;
  decltype(&::nc_inq_attlen) inq_attlen = nullptr;
  decltype(&::nc_inq_attname) inq_attname = nullptr;
  decltype(&::nc_inq_dimid) inq_dimid = nullptr;
  decltype(&::nc_inq_dimlen) inq_dimlen = nullptr;
  decltype(&::nc_inq_nvars) inq_nvars = nullptr;
  decltype(&::nc_inq_var) inq_var = nullptr;
  decltype(&::nc_inq_vardimid) inq_vardimid = nullptr;
  decltype(&::nc_inq_varid) inq_varid = nullptr;
  decltype(&::nc_inq_varnatts) inq_varnatts = nullptr;
  decltype(&::nc_inq_varndims) inq_varndims = nullptr;
  decltype(&::nc_open) open = nullptr;
  decltype(&::nc_put_att_double) put_att_double = nullptr;
  decltype(&::nc_put_att_int) put_att_int = nullptr;
  decltype(&::nc_put_att_schar) put_att_schar = nullptr;
  decltype(&::nc_put_att_string) put_att_string = nullptr;
  decltype(&::nc_put_att_text) put_att_text = nullptr;
  decltype(&::nc_put_var_double) put_var_double = nullptr;
  decltype(&::nc_put_var_uchar) put_var_uchar = nullptr;
  decltype(&::nc_put_vara_float) put_vara_float = nullptr;
  decltype(&::nc_strerror) strerror = nullptr;
};

// Loads the library once per process (any thread may ask): "" or the line saying why it
// cannot be had ("the netCDF library libnetcdf.so.19 cannot be loaded: <reason>").
std::string load_netcdf();

// The functions; only after load_netcdf() has returned "".
const NetcdfApi& nc();

}  // namespace ftir::cube

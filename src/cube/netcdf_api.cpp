#include "cube/netcdf_api.h"

#include <dlfcn.h>

#include <cassert>

namespace ftir::cube {
namespace {

struct Loaded {
  NetcdfApi api;
  std::string problem;
};

template <class Function>
bool bind(void* library, Function& function, const char* name) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

Loaded load() {
  Loaded loaded;
  const std::string cannot =
      std::string("the netCDF library ") + FTIR_NETCDF_LIBRARY + " cannot be loaded: ";
  // Never closed: the process keeps the library to its end.
  void* library = ::dlopen(FTIR_NETCDF_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    loaded.problem = cannot + ::dlerror();
    return loaded;
  }
  NetcdfApi& a = loaded.api;
  const bool bound =
      bind(library, a.abort, "nc_abort") && bind(library, a.close, "nc_close") &&
      bind(library, a.create, "nc_create") && bind(library, a.def_dim, "nc_def_dim") &&
      bind(library, a.def_var, "nc_def_var") &&
      bind(library, a.def_var_chunking, "nc_def_var_chunking") &&
      bind(library, a.def_var_deflate, "nc_def_var_deflate") &&
      bind(library, a.enddef, "nc_enddef") && bind(library, a.free_string, "nc_free_string") &&
      bind(library, a.get_att_double, "nc_get_att_double") &&
      bind(library, a.get_att_int, "nc_get_att_int") &&
      bind(library, a.get_att_string, "nc_get_att_string") &&
      bind(library, a.get_att_text, "nc_get_att_text") &&
      bind(library, a.get_var_double, "nc_get_var_double") &&
      bind(library, a.get_var_uchar, "nc_get_var_uchar") &&
      bind(library, a.get_vara_float, "nc_get_vara_float") &&
      bind(library, a.inq_att, "nc_inq_att") && bind(library, a.inq_attlen, "nc_inq_attlen") &&
      bind(library, a.inq_attname, "nc_inq_attname") &&
      bind(library, a.inq_dimid, "nc_inq_dimid") && bind(library, a.inq_dimlen, "nc_inq_dimlen") &&
      bind(library, a.inq_nvars, "nc_inq_nvars") && bind(library, a.inq_var, "nc_inq_var") &&
      bind(library, a.inq_vardimid, "nc_inq_vardimid") &&
      bind(library, a.inq_varid, "nc_inq_varid") &&
      bind(library, a.inq_varnatts, "nc_inq_varnatts") &&
      bind(library, a.inq_varndims, "nc_inq_varndims") && bind(library, a.open, "nc_open") &&
      bind(library, a.put_att_double, "nc_put_att_double") &&
      bind(library, a.put_att_int, "nc_put_att_int") &&
      bind(library, a.put_att_schar, "nc_put_att_schar") &&
      bind(library, a.put_att_string, "nc_put_att_string") &&
      bind(library, a.put_att_text, "nc_put_att_text") &&
      bind(library, a.put_var_double, "nc_put_var_double") &&
      bind(library, a.put_var_uchar, "nc_put_var_uchar") &&
      bind(library, a.put_vara_float, "nc_put_vara_float") &&
      bind(library, a.strerror, "nc_strerror");
  if (!bound) loaded.problem = cannot + ::dlerror();
  return loaded;
}

const Loaded& loaded() {
  static const Loaded once = load();
  return once;
}

}  // namespace

std::string load_netcdf() { return loaded().problem; }

const NetcdfApi& nc() {
  assert(loaded().problem.empty());
  return loaded().api;
}

}  // namespace ftir::cube

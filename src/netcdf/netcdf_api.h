// The netCDF C library, loaded when the first NetCDF file is written.
//
// Linking qz5 against libnetcdf would load it, HDF5 and some forty other
// shared libraries into every run; relocating them costs about 18 million
// instructions at start-up, 2 % of the bundled scenario's whole run, also
// for runs that write no NetCDF file. So the executable is built against the
// library's header only and opens the library (by the soname found when it
// was built) the first time a NetCDF file is asked for.
#pragma once

#include <netcdf.h>

#include <string>

namespace qz5::netcdf {

struct NetcdfApi {
  decltype(&::nc_create) create = nullptr;
  decltype(&::nc_close) close = nullptr;
  decltype(&::nc_abort) abort = nullptr;
  decltype(&::nc_sync) sync = nullptr;
  decltype(&::nc_redef) redef = nullptr;
  decltype(&::nc_enddef) enddef = nullptr;
  decltype(&::nc_def_dim) def_dim = nullptr;
  decltype(&::nc_def_var) def_var = nullptr;
  decltype(&::nc_def_var_chunking) def_var_chunking = nullptr;
  decltype(&::nc_put_att_text) put_att_text = nullptr;
  decltype(&::nc_put_att_double) put_att_double = nullptr;
  decltype(&::nc_put_att_longlong) put_att_longlong = nullptr;
  decltype(&::nc_put_var_double) put_var_double = nullptr;
  decltype(&::nc_put_var_string) put_var_string = nullptr;
  decltype(&::nc_put_vara_double) put_vara_double = nullptr;
  decltype(&::nc_strerror) strerror = nullptr;
  decltype(&::nc_inq_libvers) inq_libvers = nullptr;
  std::string error;  // why the library could not be loaded; "" when it was
};

// The library's entry points, loaded on the first call (thread-safe); when
// loading failed, error says why and the pointers are null.
const NetcdfApi& netcdf_api();

}  // namespace qz5::netcdf

#include "netcdf/netcdf_api.h"

#include <dlfcn.h>

namespace qz5::netcdf {
namespace {

NetcdfApi load() {
  NetcdfApi api;
  // The handle stays open for the life of the process.
  void* lib = dlopen(QZ5_NETCDF_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    const char* why = dlerror();
    api.error = std::string("cannot load the netCDF library ") + QZ5_NETCDF_SONAME + ": " +
                (why != nullptr ? why : "unknown reason");
    return api;
  }
  // A file whose writing failed (a full disk) cannot always be closed: the
  // HDF5 library beneath keeps it, and its exit handler then crashes on it
  // while the process ends. Every file qz5 opens it also closes (or gives
  // up on), so the library's own clean-up at exit is not needed; it is
  // turned off before the library starts. (When the process had started
  // the library before, as a Python session that used netCDF4 first, this
  // does nothing.)
  using DontAtexit = int (*)();
  if (auto dont_atexit = reinterpret_cast<DontAtexit>(dlsym(lib, "H5dont_atexit")))
    dont_atexit();
  bool complete = true;
  auto bind = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
    if (fn == nullptr && complete) {
      complete = false;
      api.error = std::string("the netCDF library ") + QZ5_NETCDF_SONAME + " lacks " + name;
    }
  };
  bind(api.create, "nc_create");
  bind(api.close, "nc_close");
  bind(api.abort, "nc_abort");
  bind(api.sync, "nc_sync");
  bind(api.redef, "nc_redef");
  bind(api.enddef, "nc_enddef");
  bind(api.def_dim, "nc_def_dim");
  bind(api.def_var, "nc_def_var");
  bind(api.def_var_chunking, "nc_def_var_chunking");
  bind(api.put_att_text, "nc_put_att_text");
  bind(api.put_att_double, "nc_put_att_double");
  bind(api.put_att_longlong, "nc_put_att_longlong");
  bind(api.put_var_double, "nc_put_var_double");
  bind(api.put_var_string, "nc_put_var_string");
  bind(api.put_vara_double, "nc_put_vara_double");
  bind(api.strerror, "nc_strerror");
  bind(api.inq_libvers, "nc_inq_libvers");
  if (!complete) return NetcdfApi{.error = api.error};
  return api;
}

}  // namespace

const NetcdfApi& netcdf_api() {
  static const NetcdfApi api = load();
  return api;
}

}  // namespace qz5::netcdf

#include "netcdf/netcdf_sink.h"

#include <netcdf.h>

#include <algorithm>
#include <vector>

namespace qz5::netcdf {

using results::Attribute;
using results::Dimension;
using results::RunRecord;
using results::Variable;

NetcdfSink::NetcdfSink(const std::string& path) : path_(path) {
  check(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid_), "cannot create the file");
}

NetcdfSink::~NetcdfSink() { close(); }

std::string library_version() { return nc_inq_libvers(); }

bool NetcdfSink::check(int status, const std::string& what) {
  if (status == NC_NOERR) return true;
  if (error_.empty()) error_ = path_ + ": " + what + ": " + nc_strerror(status);
  return false;
}

void NetcdfSink::close() {
  if (ncid_ < 0) return;
  check(nc_close(ncid_), "closing");
  ncid_ = -1;
}

void NetcdfSink::put_attributes(int varid, const std::vector<Attribute>& attrs) {
  for (const Attribute& a : attrs) {
    int status = NC_NOERR;
    if (const std::string* s = std::get_if<std::string>(&a.value)) {
      status = nc_put_att_text(ncid_, varid, a.name.c_str(), s->size(), s->c_str());
    } else if (const double* d = std::get_if<double>(&a.value)) {
      status = nc_put_att_double(ncid_, varid, a.name.c_str(), NC_DOUBLE, 1, d);
    } else {
      const long long v = std::get<long long>(a.value);
      status = nc_put_att_longlong(ncid_, varid, a.name.c_str(), NC_INT, 1, &v);
    }
    if (!check(status, "attribute " + a.name)) return;
  }
}

void NetcdfSink::begin(const RunRecord& r) {
  if (!error_.empty()) return;
  for (const Dimension& d : r.dimensions) {
    int id = -1;
    if (!check(nc_def_dim(ncid_, d.name.c_str(), d.unlimited ? NC_UNLIMITED : d.size, &id),
               "dimension " + d.name))
      return;
    dimids_[d.name] = id;
    if (d.unlimited) written_[d.name] = 0;
  }
  for (const Variable& v : r.variables) {
    std::vector<int> dims;
    std::size_t row = 1;  // values per entry of the first dimension
    for (std::size_t i = 0; i < v.dimensions.size(); ++i) {
      dims.push_back(dimids_.at(v.dimensions[i]));
      if (i > 0) row *= r.dimension(v.dimensions[i])->size;
    }
    int id = -1;
    if (!check(nc_def_var(ncid_, v.name.c_str(), NC_DOUBLE, static_cast<int>(dims.size()),
                          dims.data(), &id),
               "variable " + v.name))
      return;
    varids_[v.name] = id;
    // A growing variable gets chunks of about a thousand values along its
    // growing dimension instead of the library's one row per chunk, which
    // would make a station series of thousands of steps thousands of chunks.
    if (!v.dimensions.empty() && r.dimension(v.dimensions[0])->unlimited) {
      std::vector<std::size_t> chunks;
      chunks.push_back(std::max<std::size_t>(1, 1024 / std::max<std::size_t>(row, 1)));
      for (std::size_t i = 1; i < v.dimensions.size(); ++i)
        chunks.push_back(std::max<std::size_t>(1, r.dimension(v.dimensions[i])->size));
      if (!check(nc_def_var_chunking(ncid_, id, NC_CHUNKED, chunks.data()), "chunks of " + v.name))
        return;
    }
    put_attributes(id, v.attributes);
  }
  put_attributes(NC_GLOBAL, r.attributes);
  if (!check(nc_enddef(ncid_), "ending the definitions")) return;
  // Variables of fixed size are complete from the start (station positions).
  for (const Variable& v : r.variables) {
    const bool grows = !v.dimensions.empty() && r.dimension(v.dimensions[0])->unlimited;
    if (grows || v.data.empty()) continue;
    if (!check(nc_put_var_double(ncid_, varids_.at(v.name), v.data.data()), "writing " + v.name))
      return;
  }
  check(nc_sync(ncid_), "synchronising");
}

void NetcdfSink::update(const RunRecord& r) {
  if (!error_.empty() || ncid_ < 0) return;
  for (const Variable& v : r.variables) {
    if (v.dimensions.empty()) continue;
    const Dimension* first = r.dimension(v.dimensions[0]);
    if (!first->unlimited) continue;
    const std::size_t from = written_.at(first->name);
    if (first->size <= from) continue;
    std::vector<std::size_t> start(v.dimensions.size(), 0), count(v.dimensions.size(), 0);
    std::size_t row = 1;
    for (std::size_t i = 1; i < v.dimensions.size(); ++i) {
      count[i] = r.dimension(v.dimensions[i])->size;
      row *= count[i];
    }
    start[0] = from;
    count[0] = first->size - from;
    if (!check(nc_put_vara_double(ncid_, varids_.at(v.name), start.data(), count.data(),
                                  v.data.data() + from * row),
               "writing " + v.name))
      return;
  }
  for (auto& [name, rows] : written_) rows = r.dimension(name)->size;
  // Global attributes change as the run goes (statistics, status).
  if (!check(nc_redef(ncid_), "redefining")) return;
  put_attributes(NC_GLOBAL, r.attributes);
  if (!check(nc_enddef(ncid_), "ending the definitions")) return;
  check(nc_sync(ncid_), "synchronising");
}

void NetcdfSink::end(const RunRecord&) { close(); }

}  // namespace qz5::netcdf

#include "netcdf/netcdf_sink.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "netcdf/netcdf_api.h"

namespace qz5::netcdf {

using results::Attribute;
using results::Dimension;
using results::RunRecord;
using results::Variable;

namespace {

namespace fs = std::filesystem;

// Why a NetCDF file cannot be made at the path, in words the library does
// not find ("Permission denied" for a folder, a missing folder or a device).
std::string path_problem(const std::string& path) {
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (fs::is_directory(st)) return "is a folder, not a file";
  if (fs::exists(st) && !fs::is_regular_file(st)) return "is a device or special file, not a file";
  const fs::path parent = fs::absolute(path, ec).parent_path();
  if (!fs::exists(parent, ec)) return "the folder " + parent.string() + " does not exist";
  if (!fs::is_directory(parent, ec)) return parent.string() + " is not a folder";
  return {};
}

}  // namespace

NetcdfSink::NetcdfSink(const std::string& path) : path_(path), api_(netcdf_api()) {
  if (!api_.error.empty()) {
    error_ = api_.error;
    return;
  }
  if (const std::string problem = path_problem(path); !problem.empty()) {
    error_ = path + ": cannot create the file: " + problem;
    return;
  }
  int id = -1;
  if (!check(api_.create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id), "cannot create the file"))
    return;
  ncid_ = id;
  // A valid, empty file from the start: a run killed before its first
  // output still leaves a file that opens (status absent: it never began).
  if (check(api_.enddef(ncid_), "ending the definitions")) check(api_.sync(ncid_), "synchronising");
}

NetcdfSink::~NetcdfSink() { close(); }

std::string library_version() {
  const NetcdfApi& api = netcdf_api();
  return api.error.empty() ? api.inq_libvers() : api.error;
}

bool NetcdfSink::check(int status, const std::string& what) {
  if (status == NC_NOERR) return true;
  if (error_.empty()) {
    error_ = path_ + ": " + what + ": " + api_.strerror(status);
    // Nothing more is written; the file is closed at once, so that the
    // library holds no half-written file when the process ends.
    abandon();
  }
  return false;
}

void NetcdfSink::abandon() {
  if (ncid_ < 0) return;
  const int id = ncid_;
  ncid_ = -1;
  if (api_.close(id) == NC_NOERR) {
    error_ += "; the file is closed and holds what was written before";
  } else {
    api_.abort(id);
    std::error_code ec;
    std::filesystem::remove(path_, ec);
    error_ += ec ? "; the file could not be closed and is unreadable"
                 : "; the file could not be closed and was removed";
  }
}

void NetcdfSink::close() {
  if (ncid_ < 0) return;
  const int id = ncid_;
  ncid_ = -1;
  const int status = api_.close(id);
  if (status != NC_NOERR && error_.empty()) {
    error_ = path_ + ": closing: " + api_.strerror(status);
    api_.abort(id);
    std::error_code ec;
    std::filesystem::remove(path_, ec);
    error_ += ec ? "; the file is unreadable" : "; the unreadable file was removed";
  }
}

void NetcdfSink::put_attributes(int varid, const std::vector<Attribute>& attrs) {
  for (const Attribute& a : attrs) {
    int status = NC_NOERR;
    if (const std::string* s = std::get_if<std::string>(&a.value)) {
      status = api_.put_att_text(ncid_, varid, a.name.c_str(), s->size(), s->c_str());
    } else if (const double* d = std::get_if<double>(&a.value)) {
      status = api_.put_att_double(ncid_, varid, a.name.c_str(), NC_DOUBLE, 1, d);
    } else {
      const long long v = std::get<long long>(a.value);
      status = api_.put_att_longlong(ncid_, varid, a.name.c_str(), NC_INT, 1, &v);
    }
    if (!check(status, "attribute " + a.name)) return;
  }
}

void NetcdfSink::begin(const RunRecord& r) {
  if (!error_.empty() || ncid_ < 0) return;
  if (!check(api_.redef(ncid_), "redefining")) return;
  for (const Dimension& d : r.dimensions) {
    int id = -1;
    if (!check(api_.def_dim(ncid_, d.name.c_str(), d.unlimited ? NC_UNLIMITED : d.size, &id),
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
    if (!check(api_.def_var(ncid_, v.name.c_str(), v.is_text ? NC_STRING : NC_DOUBLE,
                            static_cast<int>(dims.size()), dims.data(), &id),
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
      if (!check(api_.def_var_chunking(ncid_, id, NC_CHUNKED, chunks.data()),
                 "chunks of " + v.name))
        return;
    }
    put_attributes(id, v.attributes);
  }
  put_attributes(NC_GLOBAL, r.attributes);
  attributes_written_ = r.attributes;
  if (!check(api_.enddef(ncid_), "ending the definitions")) return;
  // Variables of fixed size are complete from the start (station positions).
  for (const Variable& v : r.variables) {
    const bool grows = !v.dimensions.empty() && r.dimension(v.dimensions[0])->unlimited;
    if (grows) continue;
    if (v.is_text) {
      std::vector<const char*> texts;
      for (const std::string& t : v.strings) texts.push_back(t.c_str());
      if (!check(api_.put_var_string(ncid_, varids_.at(v.name), texts.data()), "writing " + v.name))
        return;
      continue;
    }
    if (v.data.empty()) continue;
    if (!check(api_.put_var_double(ncid_, varids_.at(v.name), v.data.data()), "writing " + v.name))
      return;
  }
  check(api_.sync(ncid_), "synchronising");
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
    if (!check(api_.put_vara_double(ncid_, varids_.at(v.name), start.data(), count.data(),
                                    v.data.data() + (from - first->first_held) * row),
               "writing " + v.name))
      return;
  }
  for (auto& [name, rows] : written_) rows = r.dimension(name)->size;
  // Global attributes that changed (the status and statistics at the end).
  // Only those: leaving data mode rewrites the whole file's metadata, which
  // at every output time would cost more than all the data.
  std::vector<Attribute> changed;
  for (const Attribute& a : r.attributes) {
    const auto same = [&a](const Attribute& b) { return b.name == a.name && b.value == a.value; };
    if (std::none_of(attributes_written_.begin(), attributes_written_.end(), same))
      changed.push_back(a);
  }
  if (!changed.empty()) {
    if (!check(api_.redef(ncid_), "redefining")) return;
    put_attributes(NC_GLOBAL, changed);
    if (!check(api_.enddef(ncid_), "ending the definitions")) return;
    attributes_written_ = r.attributes;
  }
  check(api_.sync(ncid_), "synchronising");
}

void NetcdfSink::end(const RunRecord&) { close(); }

}  // namespace qz5::netcdf

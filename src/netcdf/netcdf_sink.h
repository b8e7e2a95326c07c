// Writes a run record (results/run_record.h) to a NetCDF-4 file as the run
// advances, through the netCDF C library.
//
// The file's dimensions, variables and attributes are the record's, name for
// name, so xarray.open_dataset of the file gives what the Python package
// builds in memory. The layout is written when the run starts; after every
// output time the new rows of every growing variable and the global
// attributes are written and the file is synchronised (nc_sync), so a run
// that fails, or is killed between two output times, leaves a valid file
// holding every completed time and a status attribute that says how far it
// got ("running" when it never finished).
#pragma once

#include <map>
#include <string>

#include "results/recorder.h"

namespace qz5::netcdf {

struct NetcdfApi;

class NetcdfSink : public results::RecordSink {
 public:
  // Creates (or replaces) the file and makes it a valid, empty NetCDF file
  // at once; error() tells when that failed (also when the netCDF library
  // cannot be loaded, or the path is a folder, a device or in a missing
  // folder). Every later failure is kept in error() too and ends the
  // writing: the file is closed at once, keeping what was synchronised
  // before, or removed when it cannot be closed; error() then says which.
  explicit NetcdfSink(const std::string& path);
  ~NetcdfSink() override;
  NetcdfSink(const NetcdfSink&) = delete;
  NetcdfSink& operator=(const NetcdfSink&) = delete;

  const std::string& error() const { return error_; }

  void begin(const results::RunRecord& record) override;
  void update(const results::RunRecord& record) override;
  void end(const results::RunRecord& record) override;

 private:
  bool check(int status, const std::string& what);
  void put_attributes(int varid, const std::vector<results::Attribute>& attrs);
  void close();
  void abandon();  // after a failure: close now, or remove the file

  std::string path_;
  const NetcdfApi& api_;
  std::string error_;
  int ncid_ = -1;
  std::map<std::string, int> dimids_;
  std::map<std::string, int> varids_;
  std::map<std::string, std::size_t> written_;          // rows written, per unlimited dimension
  std::vector<results::Attribute> attributes_written_;  // global, as last written
};

// The netCDF library's version text.
std::string library_version();

}  // namespace qz5::netcdf

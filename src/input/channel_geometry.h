// A channel described by data instead of the built-in laws.
//
// The built-in area and dispersion laws belong to one estuary. A modeller of
// another river gives the channel as a table: rows of position (file length
// units), cross-section area (their square) and dispersion (their square per
// day), linearly interpolated between rows. An empty table means the built-in
// laws.
#pragma once

#include <string>
#include <vector>

#include "textio/textio.h"

namespace qz5 {

struct ChannelGeometry {
  std::string source;             // file the table came from ("" when built in code)
  std::vector<double> x;          // strictly increasing positions
  std::vector<double> area;       // > 0
  std::vector<double> dispersion; // > 0, per day

  bool empty() const { return x.empty(); }
  int rows() const { return static_cast<int>(x.size()); }
};

// Reads a geometry file on `unit`: a title line, then one row per line of
// exactly three numbers (position, area, dispersion; separated by blanks,
// tabs or a comma; '#' starts a comment; blank lines are skipped) up to the
// end of the file. Stops the run (status 1) naming the file and the line for
// a row of fewer or more values or one that is not a number, positions that
// do not strictly increase, an area or dispersion that is not positive,
// finite and normal, adjacent values so far apart that interpolating between
// them could round to zero, or fewer than two rows.
ChannelGeometry read_geometry_file(Units& io, int unit, const std::string& file);

// Checks a table built in code the same way; on a fault returns the message
// (naming the row, 1-based), else "".
std::string check_geometry(const ChannelGeometry& g);

}  // namespace qz5

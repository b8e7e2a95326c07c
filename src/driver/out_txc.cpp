#include "driver/out_txc.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <span>
#include <string>

#include "input/limits.h"

namespace qz5 {

void OUT_TXC(Units& io, int unit, double t, const double* x, const double* c, int NCOMP,
             int NPTS) {
  assert(NCOMP >= 1 && NCOMP <= kMaxNcomp);
  io.write_formatted(kUnitConsoleOut, "(1x,A,G13.5,A)", {"Saving data at: ", t, " days"});
  // The row format carries the number of values after the time: NCOMP + 1.
  std::string fmt = "(1x,G13.5,##(1x,G13.5))";
  fmt.resize(26, ' ');
  write_into_field(fmt, 11, 12, "(I2)", {NCOMP + 1});
  const std::string_view row_format(fmt.data(), fmt.find_last_not_of(' ') + 1);
  std::array<Item, kMaxNcomp + 2> row;
  const std::span<const Item> items(row.data(), static_cast<std::size_t>(NCOMP + 2));
  for (int j = 0; j < NPTS; ++j) {
    const double* point = c + static_cast<std::ptrdiff_t>(j) * NCOMP;
    row[0] = static_cast<float>(t);
    row[1] = static_cast<float>(x[j]);
    for (int k = 0; k < NCOMP; ++k) row[static_cast<std::size_t>(k + 2)] = static_cast<float>(point[k]);
    io.write_formatted(unit, row_format, items);
  }
}

}  // namespace qz5

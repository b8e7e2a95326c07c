#include "input/out_txc.h"

#include <array>
#include <cassert>
#include <span>
#include <string>

namespace qz5 {

void OUT_TXC(Units& io, const Inputs& ms, int unit, double T, const double* U,
             int NCOMP, int NPTS) {
  assert(NCOMP >= 1 && NCOMP <= kMaxNcomp);
  const double q = ms.TUNIT_DAY / ms.TUNIT_MODEL;
  io.write_formatted(kUnitConsoleOut, "(1x,A,G13.5,A)", {"Saving data at: ", T * q, " days"});

  // The row format carries the number of values after the time: NCOMP + 1.
  std::string fmt = "(1x,G13.5,##(1x,G13.5))";
  fmt.resize(26, ' ');
  write_into_field(fmt, 11, 12, "(I2)", {NCOMP + 1});
  const std::string_view row_format(fmt.data(), fmt.find_last_not_of(' ') + 1);

  const int nvar = NCOMP + 1;
  std::array<Item, kMaxNcomp + 2> row;
  const std::span<const Item> items(row.data(), static_cast<std::size_t>(NCOMP + 2));
  for (int j = 1; j <= NPTS; ++j) {
    const double* point = U + (j - 1) * nvar;
    row[0] = static_cast<float>(T * q);
    row[1] = static_cast<float>(point[NCOMP] * ms.XCONV);
    for (int k = 1; k <= NCOMP; ++k) {
      row[static_cast<std::size_t>(k + 1)] = static_cast<float>(point[k - 1] * ms.CCONV(k));
    }
    io.write_formatted(unit, row_format, items);
  }
}

}  // namespace qz5

#include "input/uinit.h"

#include <array>
#include <cassert>

#include "input/read_values.h"

namespace qz5 {
namespace {

// U(k, j): row k of point j in the point-after-point layout.
inline double& at(double* U, int NCOMP, int k, int j) {
  return U[(j - 1) * (NCOMP + 1) + (k - 1)];
}

void read_profile(Units& io, const ModelState& ms, int NCOMP, int NPTS, double* U) {
  io.open_existing(kUnitInput, trim_name(ms.FN_UT0));
  // One group: an ignored number, the position, NCOMP concentrations.
  std::array<double, kMaxNcomp + 2> group{};
  int j = 0;
  while (read_reals(io, kUnitInput, group.data(), NCOMP + 2, true) == ReadStatus::kOk) {
    if (j < NPTS) {
      at(U, NCOMP, NCOMP + 1, j + 1) = group[1] / ms.XCONV;
      for (int k = 1; k <= NCOMP; ++k) {
        at(U, NCOMP, k, j + 1) = group[static_cast<std::size_t>(k + 1)] / ms.CCONV(k);
      }
    }
    ++j;
  }
  if (j != NPTS) {
    io.write_list(kUnitConsoleOut,
                  {"UINIT::Error, Number of points read in file *.UT0 differs from that in "
                   "*.PRM file.  Program terminating..."});
    stop();
  }
  io.close(kUnitInput);
}

void linear_profile(const ModelState& ms, int NCOMP, int NPTS, double* U) {
  for (int k = 1; k <= NCOMP; ++k) {
    const double d = ms.CBND0(k, 2) - ms.CBND0(k, 1);
    for (int j = 1; j <= NPTS; ++j) {
      at(U, NCOMP, k, j) =
          (ms.CBND0(k, 1) + (static_cast<double>(j - 1) * d) / static_cast<double>(NPTS - 1)) /
          ms.CCONV(k);
    }
  }
}

}  // namespace

void UINIT(Units& io, const ModelState& ms, int NCOMP, int NPTS, double* U) {
  assert(NCOMP >= 1 && NCOMP <= kMaxNcomp);
  if (ms.USE_UT0) {
    read_profile(io, ms, NCOMP, NPTS, U);
  } else {
    linear_profile(ms, NCOMP, NPTS, U);
  }
}

}  // namespace qz5

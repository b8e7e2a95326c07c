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

void fill_point(const Inputs& ms, int NCOMP, const double* group, int j, double* U) {
  at(U, NCOMP, NCOMP + 1, j) = group[1] / ms.XCONV;
  for (int k = 1; k <= NCOMP; ++k) at(U, NCOMP, k, j) = group[k + 1] / ms.CCONV(k);
}

[[noreturn]] void wrong_point_count(Units& io) {
  io.write_list(kUnitConsoleOut,
                {"UINIT::Error, Number of points read in file *.UT0 differs from that in "
                 "*.PRM file.  Program terminating..."});
  stop();
}

void read_profile(Units& io, const Inputs& ms, int NCOMP, int NPTS, double* U) {
  open_input(io, kUnitInput, ms, ms.FN_UT0);
  // One group: an ignored number, the position, NCOMP concentrations.
  std::array<double, kMaxNcomp + 2> group{};
  int j = 0;
  while (read_reals(io, kUnitInput, group.data(), NCOMP + 2, true) == ReadStatus::kOk) {
    if (j < NPTS) fill_point(ms, NCOMP, group.data(), j + 1, U);
    ++j;
  }
  if (j != NPTS) wrong_point_count(io);
  io.close(kUnitInput);
}

void profile_read_ahead(Units& io, const Inputs& ms, int NCOMP, int NPTS, double* U) {
  if (ms.nut0_groups != NPTS) wrong_point_count(io);
  const std::size_t width = static_cast<std::size_t>(NCOMP + 2);
  for (int j = 1; j <= NPTS; ++j)
    fill_point(ms, NCOMP, ms.ut0_tab.data() + static_cast<std::size_t>(j - 1) * width, j, U);
}

void linear_profile(const Inputs& ms, int NCOMP, int NPTS, double* U) {
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

void UINIT(Units& io, const Inputs& ms, int NCOMP, int NPTS, double* U) {
  assert(NCOMP >= 1 && NCOMP <= kMaxNcomp);
  if (ms.USE_UT0 && ms.nut0_groups > 0) {
    profile_read_ahead(io, ms, NCOMP, NPTS, U);
  } else if (ms.USE_UT0) {
    read_profile(io, ms, NCOMP, NPTS, U);
  } else {
    linear_profile(ms, NCOMP, NPTS, U);
  }
}

}  // namespace qz5

namespace qz5 {

void load_initial_profile(Units& io, Inputs& ms) {
  assert(ms.NCOMP >= 1 && ms.NCOMP <= kMaxNcomp);
  open_input(io, kUnitInput, ms, ms.FN_UT0);
  std::array<double, kMaxNcomp + 2> group{};
  const int width = ms.NCOMP + 2;
  ms.ut0_tab.clear();
  ms.nut0_groups = 0;
  while (read_reals(io, kUnitInput, group.data(), width, true) == ReadStatus::kOk) {
    ms.ut0_tab.insert(ms.ut0_tab.end(), group.begin(), group.begin() + width);
    ++ms.nut0_groups;
  }
  io.close(kUnitInput);
}

}  // namespace qz5

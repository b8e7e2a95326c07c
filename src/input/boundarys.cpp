#include "input/boundarys.h"

#include <array>
#include <cassert>

#include "input/interpolate.h"
#include "input/inputs.h"
#include "input/read_values.h"
#include "input/series_checks.h"

namespace qz5 {

void Boundarys::setup(Units& io, Inputs& ms, int UNIT, const ReaderOptions& options) {
  const int ncomp = ms.NCOMP;
  assert(ncomp >= 1 && ncomp <= kMaxNcomp);
  const std::string file = ms.FN_BND.string();
  open_input(io, UNIT, ms, ms.FN_BND);
  io.read_list(UNIT, {&ms.XBND(1), &ms.XBND(2)});

  // Each record goes to a scratch row first: the record beyond the table's
  // capacity must be recognised before anything is stored for it.
  const int width = 2 * ncomp + 1;
  std::array<double, kBndCols> row{};
  nbnd_tpts = 0;
  while (read_reals(io, UNIT, row.data(), width, true) == ReadStatus::kOk) {
    if (nbnd_tpts == bnd_tab.rows()) {
      if (options.legacy_limits) {
        io.write_list(kUnitConsoleOut, {"Boundarys::ERROR, nbnd_tpts .Gt. max_bndry_tpts"});
        say_capacity_hint(io, options);
        stop();
      }
      bnd_tab.resize(2 * bnd_tab.rows(), bnd_tab.cols());
    }
    ++nbnd_tpts;
    for (int c = 1; c <= width; ++c) bnd_tab(nbnd_tpts, c) = row[static_cast<std::size_t>(c - 1)];
  }
  io.close(UNIT);
  if (nbnd_tpts <= 1) {
    io.write_list(kUnitConsoleOut, {"Boundarys::ERROR, less the 2 boundry points given"});
    stop();
  }
  require_ordered_times(io, "Boundarys", file, &bnd_tab(1, 1), nbnd_tpts);

  const double T0 = (ms.TUNIT_DAY * ms.TSTART) / ms.TUNIT_MODEL;
  int ilast = 1;
  lookup(io, ms, T0, &ms.CBND0(1, 1), &ms.CBND0(1, 2), ilast);
}

void Boundarys::lookup(Units& io, const Inputs& ms, double T, double* CL, double* CR,
                       int& ilast_bnd) const {
  assert(nbnd_tpts >= 2);
  const int ncomp = ms.NCOMP;
  double F = 0.0;
  INTERPOLATE(io, T, nbnd_tpts, &bnd_tab(1, 1), ilast_bnd, F);
  const int i = ilast_bnd;
  for (int m = 1; m <= ncomp; ++m) {
    CL[m - 1] = (bnd_tab(i + 1, 1 + m) - bnd_tab(i, 1 + m)) * F + bnd_tab(i, 1 + m);
    CR[m - 1] = (bnd_tab(i + 1, 1 + ncomp + m) - bnd_tab(i, 1 + ncomp + m)) * F +
                bnd_tab(i, 1 + ncomp + m);
  }
}

}  // namespace qz5

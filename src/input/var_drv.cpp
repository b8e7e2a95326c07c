#include "input/var_drv.h"

#include <cassert>
#include <string>

#include "input/interpolate.h"
#include "input/inputs.h"
#include "input/read_values.h"
#include "input/series_checks.h"

namespace qz5 {
namespace {

// First slot of driver K: the drivers are stored one after another.
int first_slot(const Array1<int, kMaxDrv>& npts_drv, int K) {
  int start = 1;
  for (int k = 1; k < K; ++k) start += npts_drv(k);
  return start;
}

}  // namespace

void VarDrv::DRV_INIT(Units& io, Inputs& ms, int UNIT, int K, const ReaderOptions& options) {
  assert(K >= 1 && K <= kMaxDrv);
  const std::string file = ms.FN_DRV(K).string();
  open_input(io, UNIT, ms, ms.FN_DRV(K));
  const int start = first_slot(npts_drv, K);
  npts_drv(K) = 0;
  // Points that no longer fit are still counted, so that the message can say
  // how much room the data would need.
  double t = 0.0;
  double v = 0.0;
  while (io.read_list(UNIT, {&t, &v}, true) == ReadStatus::kOk) {
    const int slot = start + npts_drv(K);
    if (!options.legacy_limits && slot > t_drv.size()) {
      t_drv.resize(2 * slot);
      v_drv.resize(2 * slot);
    }
    if (slot <= t_drv.size()) {
      t_drv(slot) = t;
      v_drv(slot) = v;
    }
    ++npts_drv(K);
  }
  const int needed = start + npts_drv(K) - 1;
  if (options.legacy_limits && needed > kMaxPtsDrv) {
    io.write_list(kUnitConsoleOut,
                  {"DRV_INIT::MAX_PTS_DRV exceeded while loading variable driver: ", K});
    io.write_list(kUnitConsoleOut, {"  Required size: ", needed});
    io.write_list(kUnitConsoleOut, {"  Increase max_pts_drv, or modify data length"});
    io.write_list(kUnitConsoleOut, {"  Program terminating..."});
    say_capacity_hint(io, options);
    stop();
  }
  if (npts_drv(K) < 2) {
    refuse_input(io, "DRV_INIT", "fewer than 2 points (" + std::to_string(npts_drv(K)) + ")",
                 file);
  }
  require_ordered_times(io, "DRV_INIT", file, &t_drv(start), npts_drv(K));
  io.close(UNIT);
}

void VarDrv::lookup(Units& io, double T, double& VALUE, int K, int& ilast_drv) const {
  assert(K >= 1 && K <= kMaxDrv && npts_drv(K) >= 2);
  const int start = first_slot(npts_drv, K);
  const int end = start + npts_drv(K) - 1;
  if (!(t_drv(start) <= T && T <= t_drv(end))) {
    io.write_list(kUnitConsoleOut, {"Var_drv::t outside data range of driver: ", K});
    io.write_list(kUnitConsoleOut, {" t, t0, tf: ", static_cast<float>(T),
                                    static_cast<float>(t_drv(start)),
                                    static_cast<float>(t_drv(end))});
    io.write_list(kUnitConsoleOut, {" Program terminating..."});
    stop();
  }
  double F = 0.0;
  INTERPOLATE(io, T, npts_drv(K), &t_drv(start), ilast_drv, F);
  const int i = start + ilast_drv - 1;
  VALUE = (v_drv(i + 1) - v_drv(i)) * F + v_drv(i);
}

}  // namespace qz5

// The inputs of one run: what the readers produce from the input files, or
// what a host program builds in code.
//
// Dimensions, switches, unit factors, tolerances, reaction parameters,
// times, file names and the three input series. A run only reads them: the
// solution, the integrator's work area and the series' remembered look-up
// positions belong to the run (engine/run_state.h, input/series_positions.h),
// so one inputs value can be shared by any number of runs and threads.
//
// Fields keep the names the model's documentation and input files use, and
// every array is indexed from 1. Every number starts at zero.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "input/boundarys.h"
#include "input/limits.h"
#include "input/load_best.h"
#include "input/var_drv.h"
#include "textio/array1.h"

namespace qz5 {

struct Inputs {
  // --- dimensions, counts and switches
  int NCOMP = 0;        // constituents per grid point (6, or those of declared kinetics)
  int kinetics_ncomp = 0;  // constituents of the declared kinetics; 0: the built-in ones
  int NPTS = 0;         // grid points
  int NTIMES = 0;       // output times read
  int NDRV = 0;         // variable-driver files (set-up makes it 1)
  int M = 0;            // polar parameter of the grid (0: Cartesian slab)
  int INFO10 = 0;       // integrator option INFO(10): 1 keeps the solution non-negative
  bool USE_UT0 = false;      // initial profile from the *.UT0 file, else linear between the boundaries
  bool LI_FROM_BND = false;  // lateral inputs carry the first boundary's concentrations

  // --- unit conversion: days per model time unit = TUNIT_DAY / TUNIT_MODEL;
  // file value = model value * XCONV (positions) or * CCONV(k) (concentrations)
  double TUNIT_MODEL = 0.0;
  double TUNIT_DAY = 0.0;
  double XCONV = 0.0;
  Array1<double, kCconvSlots> CCONV;

  // --- times, model units
  double TSTART = 0.0;
  DynArray1<double> TOUTS{kMaxTimes};

  // --- grid and tolerance parameters
  double TAU = 0.0;
  double KAPPA = 0.0;
  double ALPHA = 0.0;
  double ATOL = 0.0;
  double RTOL = 0.0;

  // --- reaction parameters
  Array1<double, kNumRxpar> RXPAR;

  // --- boundary positions (file length units) and start values (file units)
  Array1<double, 2> XBND;
  Table1<double, kMaxNcomp, 2> CBND0;  // CBND0(k, 1) first boundary, CBND0(k, 2) second

  // --- file names as the names file gives them (without the blanks that
  // pad its records); a relative name is relative to base_folder
  std::filesystem::path FN_PRM;
  std::filesystem::path FN_LI;
  std::filesystem::path FN_BND;
  std::filesystem::path FN_T;
  std::filesystem::path FN_UT0;
  Array1<std::filesystem::path, kMaxDrv> FN_DRV;
  std::filesystem::path FN_TXC;
  // The folder the names were read in (empty: the process's working folder).
  std::filesystem::path base_folder;

  // The file to open for a name: relative names lie in base_folder.
  std::filesystem::path resolved(const std::filesystem::path& name) const {
    return name.is_absolute() || base_folder.empty() ? name : base_folder / name;
  }

  // --- the initial profile as read from FN_UT0, when it was read ahead of
  // the run (a scenario for a host program): every complete group of the
  // file, NCOMP + 2 values each. Empty: UINIT reads the file itself.
  std::vector<double> ut0_tab;
  int nut0_groups = 0;

  // --- the input series (their look-up positions are the run's: SeriesPositions)
  Boundarys boundarys;
  LoadBest load_best;
  VarDrv var_drv;
};

}  // namespace qz5

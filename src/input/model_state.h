// The model state: everything the routines of qz5 share about one run.
//
// Problem set-up fills it once from the input files (dimensions, switches,
// unit factors, tolerances, reaction parameters, times, file names and the
// three input series); the run driver then fills the integrator work area.
// During the integration only the solution, the integrator's work arrays, the
// residual workspace and the remembered indices of the series change.
//
// Fields keep the names the model's documentation and input files use, and
// every array is indexed from 1. Every number starts at zero except the
// remembered interval indices, which start at 1. The integrator's work area
// is sized when a run is set up, from the number of grid points.
#pragma once

#include <string>
#include <vector>

#include "input/boundarys.h"
#include "input/limits.h"
#include "input/load_best.h"
#include "input/var_drv.h"
#include "textio/array1.h"

namespace qz5 {

// An 80-character blank file-name field.
inline std::string blank_file_name() { return std::string(kFileNameLength, ' '); }

struct ModelState {
  // --- the legacy capacities: with legacy_limits the loaders refuse what
  // does not fit the legacy tables (and print capacity_hint after the
  // refusal, when not empty); without, the tables grow to fit
  bool legacy_limits = true;
  std::string capacity_hint;

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

  // --- file names, 80 characters, blank-padded
  std::string FN_PRM = blank_file_name();
  std::string FN_LI = blank_file_name();
  std::string FN_BND = blank_file_name();
  std::string FN_T = blank_file_name();
  std::string FN_UT0 = blank_file_name();
  Array1<std::string, kMaxDrv> FN_DRV = blank_driver_names();
  std::string FN_TXC = blank_file_name();

  // --- the initial profile as read from FN_UT0, when it was read ahead of
  // the run (a scenario for a host program): every complete group of the
  // file, NCOMP + 2 values each. Empty: UINIT reads the file itself.
  std::vector<double> ut0_tab;
  int nut0_groups = 0;

  // --- the input series, each owning its table and remembered index
  Boundarys boundarys;
  LoadBest load_best;
  VarDrv var_drv;

  // --- integrator work area (sized and filled by the engine and SETSKM;
  // empty until the run is set up, so a scenario's copy of the state is small)
  int NEQ = 0;                     // (NCOMP + 1) * NPTS
  DynArray1<double> Y;                  // per point: NCOMP model concentrations, then the model position
  DynArray1<double> YPRIME;
  Array1<int, kInfoSlots> INFO;
  DynArray1<double> RWORK;
  int LRW = 0;
  DynArray1<int> IWORK;
  int LIW = 0;
  DynArray1<double> RPAR;               // residual workspace
  int LENWK = 0;
  Array1<int, kIparSlots> IPAR;    // IPAR(2..6): integrator counters after each output time
  int IBAND = 0;                   // half-bandwidth, 2 * (NCOMP + 1)
  int MAXORD = 0;
  double XLEFT = 0.0;              // domain ends, model length units
  double XRIGHT = 0.0;
  double T = 0.0;
  double TOUT = 0.0;
  int IDID = 0;

 private:
  static Array1<std::string, kMaxDrv> blank_driver_names() {
    Array1<std::string, kMaxDrv> a;
    a.fill(blank_file_name());
    return a;
  }
};

}  // namespace qz5

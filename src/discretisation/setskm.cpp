// One-time set-up of the moving-grid discretisation.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "discretisation/skm.h"
#include "discretisation/skm_kernels.h"

namespace qz5 {

namespace {

constexpr std::string_view kWorkspaceFormat =
    "(38H SETSKM - ERROR REAL WORKSPACE OF SIZE, I10,                   "
    "28H, IS SMALLER THAN REQUIRED :, I10)";
// The same message for a requirement beyond an int: its count comes as the
// text of an I10 field (see i10_text).
constexpr std::string_view kWideWorkspaceFormat =
    "(38H SETSKM - ERROR REAL WORKSPACE OF SIZE, I10, 28H, IS SMALLER THAN REQUIRED :, A)";
constexpr std::string_view kPolarFormat =
    "(44H SETSKM - POLAR PARAMETER LESS THAN ZERO, M=,                  I10)";
// The residual reads points 0..2 and N-3..N-1; a grid needs three points.
constexpr std::string_view kTooFewPointsFormat =
    "(50H SETSKM - NUMBER OF GRID POINTS LESS THAN 3, NPTS=, I10)";
constexpr int kMinPoints = 3;
constexpr int kMessageUnit = kUnitConsoleOut;

using Wide = std::int64_t;
constexpr Wide kWideMax = std::numeric_limits<Wide>::max();

// A size formed in 64 bits, stored in an int field: values beyond the int
// range stay at its ends. Such a size never fits a workspace, so the set-up
// fails and the saturated value is never used for indexing.
int saturated(Wide v) {
  constexpr Wide lo = std::numeric_limits<int>::min();
  constexpr Wide hi = std::numeric_limits<int>::max();
  return static_cast<int>(v < lo ? lo : (v > hi ? hi : v));
}

// What I10 writes for v: right-justified in 10 columns, or 10 asterisks when
// v needs more.
std::string i10_text(Wide v) {
  std::string digits = std::to_string(v);
  if (digits.size() > 10) return std::string(10, '*');
  return std::string(10 - digits.size(), ' ') + digits;
}

// x with every intermediate forced through a double in memory, so that the
// probing sees double arithmetic whatever the compiler keeps in registers.
double stored(double x) {
  volatile double v = x;
  return v;
}

}  // namespace

std::int64_t skm_workspace_length(std::int64_t NEQ, int NCOMP) {
  // For 32-bit counts |NEQ| <= 2^62 and the constituent sections lie in
  // [-9, 2^62 + 2^34]: each is exact in 64 bits, only their sum can pass
  // the top, and a sum that does is a workspace no int length can hold.
  const Wide sections = Wide{6} * NCOMP + Wide{NCOMP} * NCOMP;
  if (sections > 0 && NEQ > kWideMax - sections) return kWideMax;
  return NEQ + sections;
}

MachineParameters MACHINE_PARAMETERS() {
  MachineParameters mp{};
  // Radix: the first power of two A whose successor A + 1 is not exact, then
  // the smallest B that changes A.
  double a = 1.0;
  while (stored(stored(a + 1.0) - a) == 1.0) a = stored(a + a);
  double b = 1.0;
  double radix = 0.0;
  while ((radix = stored(stored(a + b) - a)) == 0.0) b = stored(b + b);
  mp.ibeta = static_cast<int>(radix);
  // Digits: powers of the radix that still have a unit in the last place.
  mp.it = 0;
  for (double p = 1.0; stored(stored(p + 1.0) - p) == 1.0; p = stored(p * radix)) ++mp.it;
  // eps: smallest power of the radix with 1 + eps != 1; epsneg likewise with 1 - epsneg.
  mp.eps = 1.0;
  mp.machep = 0;
  while (stored(1.0 + mp.eps / radix) != 1.0) {
    mp.eps = stored(mp.eps / radix);
    --mp.machep;
  }
  mp.epsneg = 1.0;
  mp.negep = 0;
  while (stored(1.0 - mp.epsneg / radix) != 1.0) {
    mp.epsneg = stored(mp.epsneg / radix);
    --mp.negep;
  }
  // Rounding and exponent range are the platform's IEEE double parameters.
  using Lim = std::numeric_limits<double>;
  mp.irnd =
      (Lim::round_style == std::round_to_nearest && Lim::has_denorm == std::denorm_present) ? 5 : 2;
  mp.ngrd = 0;
  mp.iexp = 11;
  mp.minexp = Lim::min_exponent - 1;
  mp.maxexp = Lim::max_exponent;
  mp.xmin = Lim::min();
  mp.xmax = Lim::max();
  return mp;
}

void SKM_INITIAL_STATE(PdeProblem& p, int NCOMP, int NPTS, double XLEFT, double XRIGHT, double* Y) {
  const int nvar = NCOMP + 1;
  const int ninner = NPTS - 2;
  const double h = (XRIGHT - XLEFT) / static_cast<double>(ninner + 1);
  for (int n = 0; n < NPTS; ++n) Y[skm_at(nvar, nvar, n)] = static_cast<double>(n) * h + XLEFT;
  p.uinit(NCOMP, NPTS, Y);
}

void SETSKM(Units& io, SkmState& s, PdeProblem& p, int& NEQ, int NCOMP, int NPTS, double XLEFT,
            double XRIGHT, double TAU, double KAPPA, double ALPHA, double* Y, double* /*RPAR*/,
            int LENWK, int M, double /*TSTART*/, int& IBAND, int& IFAIL) {
  // NEQ and the workspace grow with the product of two 32-bit counts: they
  // are formed in 64 bits, so a grid far too large for any workspace is
  // reported as one instead of wrapping round to a small size.
  const Wide nvar = Wide{NCOMP} + 1;
  const Wide neq = nvar * NPTS;
  s.NVAR = saturated(nvar);
  s.NINNER = saturated(Wide{NPTS} - 2);
  s.LUNSKM = kMessageUnit;
  s.M = M;
  s.TAU = TAU;
  s.KAPPA = KAPPA;
  s.ALPHA = ALPHA;

  const MachineParameters mp = MACHINE_PARAMETERS();
  s.EPSMACH = (mp.eps < mp.epsneg) ? mp.epsneg : mp.eps;

  s.AT_ORIGIN = 0;
  if (M >= 1 && std::fabs(XLEFT) <= (XRIGHT - XLEFT) * s.EPSMACH) s.AT_ORIGIN = 1;

  IBAND = saturated(2 * nvar);
  NEQ = saturated(neq);
  const Wide required = skm_workspace_length(neq, NCOMP);
  if (LENWK < required) {
    if (required <= std::numeric_limits<int>::max()) {
      io.write_formatted(s.LUNSKM, kWorkspaceFormat, {LENWK, static_cast<int>(required)});
    } else {
      const std::string count = i10_text(required);
      io.write_formatted(s.LUNSKM, kWideWorkspaceFormat, {LENWK, std::string_view(count)});
    }
    IFAIL = -1;
  }
  if (M < 0) {
    io.write_formatted(s.LUNSKM, kPolarFormat, {M});
    IFAIL = -1;
  }
  if (NPTS < kMinPoints) {
    io.write_formatted(s.LUNSKM, kTooFewPointsFormat, {NPTS});
    IFAIL = -1;
  }
  if (IFAIL == -1) return;

  SKM_INITIAL_STATE(p, NCOMP, NPTS, XLEFT, XRIGHT, Y);
  for (std::size_t i = 0; i < s.SKM_MARK.size(); ++i) s.SKM_MARK[i] = kSkmMarkSetUp[i];
}

}  // namespace qz5

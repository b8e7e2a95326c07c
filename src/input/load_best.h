// The lateral inputs: water and substances entering along the channel.
//
// Each input sits at a fixed position with a fixed flow, switched on by a
// smooth (logistic) step there, and carries concentrations that vary in time.
// From them the look-up derives, at any position and time, the flow carried
// along the channel (the sum of the inputs upstream) and the mass of each
// constituent entering per unit length. Set-up and look-up share the tables.
#pragma once

#include "input/limits.h"
#include "input/reader_options.h"
#include "input/series_positions.h"
#include "textio/array1.h"
#include "textio/textio.h"

namespace qz5 {

struct Inputs;

class LoadBest {
 public:
  // Reads ms.FN_LI on UNIT (opened and closed here). Stops the run (status 1)
  // for nlat outside 0..10, fewer than 2 or more than 10 time points, a time
  // point earlier than the one before it, a missing file or an unreadable
  // value. When too few time points remain because the end of the file cut
  // the last record short, the message names that record, its line(s) and
  // how many values it held against the 1 + NCOMP*nlat expected. Nothing is
  // stored past a table.
  // nlat = 0 is a run without lateral inflow: records 3 and 4 then hold no
  // values (each still takes its line) and a time point is the time alone.
  // A time may be repeated on the next record: a step change (see
  // INTERPOLATE).
  void setup(Units& io, Inputs& ms, int UNIT, const ReaderOptions& options = {});

  // At time T (days) and position X (file length units), with flow
  // multiplier S: QL the flow along the channel (volume per day) and SL(1..
  // NCOMP) the lateral mass input per unit length. SL points to element 1.
  // With nlat = 0 both are zero. At a repeated time and after it the later
  // of its records gives the concentrations.
  // With LI_FROM_BND the concentrations come from ms.boundarys. The look-up
  // positions and the last concentrations are the caller's (one set per
  // run): the residual asks for the same time once per grid interval, so the
  // concentrations interpolated from the table are kept in pos for the time
  // of the last look-up inside the table's time range and reused while the
  // time stays the same. A SeriesPositions belongs to one set of inputs.
  void lookup(Units& io, const Inputs& ms, SeriesPositions& pos, double T, double X, double S,
              double& QL, double* SL) const;

  // As lookup, for the interval [XA, XB] (XA < XB): QL the mean of the flows
  // at its two ends and SL the lateral mass input of the interval divided by
  // its length, integrated in closed form. The interval then receives the
  // inputs' loads as specified however coarse the grid, and the flow's
  // difference between neighbouring intervals is what enters between their
  // midpoints' control volume, so a uniform concentration stays uniform.
  void mean_over(Units& io, const Inputs& ms, SeriesPositions& pos, double T, double XA,
                 double XB, double S, double& QL, double* SL) const;

  int nlat = 0;
  DynArray1<double> x_lat{kMaxLat};
  DynArray1<double> q_lat{kMaxLat};
  double k_lat = 0.0;
  DynTable1<double> lat_tab{kMaxLatTpts, kLatCols};
  int nlat_tpts = 0;

 private:
  // Beyond this the logistic step is flat to machine precision, and exp() of
  // the clamped argument stays finite for any distance and steepness. The
  // look-up reads its copy from the object, a value the compiler cannot fold
  // (see LateralSums in the look-up).
  static constexpr double kMaxExponent = 300.0;
  double max_exponent_ = kMaxExponent;
};

// s(b) - s(a) for the logistic s(z) = 1 / (1 + exp(-z)), a <= b, without
// the cancellation of the difference; the arguments are clamped to
// [-300, 300] as in the look-up.
double logistic_rise(double a, double b);

}  // namespace qz5

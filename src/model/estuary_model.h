// The estuary model as a PDE problem of the moving-grid discretisation.
//
// The discretisation solves any system of the coefficient form
//   sum_j C(k,j) du_j/dt + Q(k) = dR(k)/dx,  BETA(k) R(k) = GAMMA(k) at the ends;
// this class states the estuary's advection-dispersion-reaction equations in
// that form, in model units. In file units (days, file length units, file
// concentrations c = u * CCONV(m)) the equations are
//   A dc/dtau = -d(QL c)/dX + d(A D dc/dX)/dX + A RX(m) + SL(m),
// with A the cross-section area, D the dispersion, QL the along-channel flow
// and SL the lateral mass input of the lateral inputs, and RX the reaction
// rates. The coefficient form is that equation multiplied by XCONV/TUNIT_MODEL
// and divided by CCONV(m), which makes the capacity negative and the flux the
// advective minus the dispersive flux.
//
// The first (left) end is the inflow end: the flux leaving through it equals
// the advective flux of the water entering there at the first boundary's
// concentration. The second (right) end holds the second boundary's
// concentration, or, as a free outflow, passes the advective flux of the
// water leaving at the concentration it has (no dispersive flux).
//
// The area and dispersion come from the channel: the built-in laws, or a
// geometry table.
//
// The reaction rates come from the kinetics given (the built-in six-pool
// kinetics by default), through an evaluator of the model's own. A
// constituent the kinetics declare not transported has neither flux nor
// lateral load: R = 0 everywhere and a zero flux at both ends, so it only
// reacts. A rate that is not finite makes the residual illegal (IRES = 3).
//
// Every call consults the variable driver, the lateral inputs and (for the
// ends) the boundary series of the model state, which advances their
// remembered indices; nothing else changes. No call allocates.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "discretisation/pde_problem.h"
#include "input/inputs.h"
#include "input/series_positions.h"
#include "model/channel.h"
#include "model/kinetics.h"
#include "model/model_query.h"
#include "model/reaction_kinetics.h"
#include "textio/textio.h"

namespace qz5 {

// The position terms an interval may take as means over it instead of at its
// midpoint (both off: the midpoint values).
struct IntervalMeans {
  bool sources = false;  // the lateral inputs' flow and load, in closed form
  bool channel = false;  // the geometry table's area and effective A*D
  bool any() const { return sources || channel; }
};

class EstuaryModel : public PdeProblem, public ModelQuery {
 public:
  // Keeps references to both: they must outlive the model. ms must be fully
  // set up (parameters, driver, boundary series, lateral inputs) before the
  // first call; io receives the series' warnings and stop lines.
  // The kinetics (when given) must outlive the model too.
  EstuaryModel(Units& io, const Inputs& ms, Channel channel = Channel(),
               Outflow outflow = Outflow::kFixedConcentration,
               const Kinetics* kinetics = nullptr, IntervalMeans means = {});

  // Coefficients at model time T and model position XI. Writes every element
  // of C (NCOMP x NCOMP by columns: diagonal, all diagonal elements equal,
  // off-diagonal exactly 0.0), Q(1..NCOMP) and R(1..NCOMP). Never changes
  // IRES. A time outside variable driver 1 stops the run (in the driver's
  // look-up).
  void spdef(double T, double XI, int NCOMP, const double* U, const double* UX, double* C,
             double* Q, double* R, int& IRES) override;

  // C is the capacity times the identity (see spdef).
  bool capacity_is_diagonal() const override { return true; }
  // With the built-in kinetics, every constituent transported and no
  // interval means, the intervals may be taken together: their kinetics are
  // then evaluated two points at a time.
  bool capacity_is_scalar() const override {
    return built_in_ && all_move_ && !means_.any();
  }
  void spdef_intervals(double T, int NCOMP, int count, const double* XI, const double* U,
                       const double* UX, double* capacity, double* Q, double* R,
                       int& IRES) override;

  // With interval means: spdef with the position terms of [XA, XB] as the
  // means ask (spdef itself when neither is asked for).
  bool means_over_intervals() const override { return means_.any(); }
  void spdef_over(double T, double XI, double XA, double XB, int NCOMP, const double* U,
                  const double* UX, double* C, double* Q, double* R, int& IRES) override;

  // LEFT != 0: BETA = 1 and GAMMA the advective inflow flux at the first
  // boundary's concentration. LEFT == 0: BETA = 0 and GAMMA = U(m) - CR(m) /
  // CCONV(m), so the row pins U to the second boundary's concentration; with
  // a free outflow BETA = 1 and GAMMA = U(m) QL / TUNIT_MODEL, the advective
  // flux at the second end's flow QL. UX is not used. Never changes IRES. Both sides consult all three series.
  void bndr(double T, double* BETA, double* GAMMA, const double* U, const double* UX,
            int NCOMP, int LEFT, int& IRES) override;

  // Derivatives of spdef's coefficients (for the analytic iteration matrix):
  // the area, dispersion and lateral terms by the position, the kinetics by
  // the concentrations. Makes the look-ups spdef makes.
  bool coefficient_derivatives(double T, double XI, int NCOMP, const double* U, const double* UX,
                               CoefficientDerivatives& d) override;
  // GAMMA by U: 0 at the first end, the identity (fixed concentration) or
  // QL/TUNIT_MODEL (free outflow) at the second.
  bool boundary_derivatives(double T, const double* U, const double* UX, int NCOMP, int LEFT,
                            double* dGAMMA_dU, double* dGAMMA_dUX) override;

  // The initial profile (from the initial-profile file or linear between the
  // boundaries' start values), through the input layer's UINIT.
  void uinit(int NCOMP, int NPTS, double* U) override;

  // The query of a run's observers (see ModelQuery): what spdef takes at a
  // point, with look-up positions and a console of its own.
  void coefficients(double T, double XI, const double* U, const double* UX,
                    Coefficients& out) const override;
  void coefficients_over(double T, double XI, double XA, double XB, const double* U,
                         const double* UX, Coefficients& out) const override;
  double flow_at(double T, double X) const override;
  bool transported(int k) const override;

  const Channel& channel() const { return channel_; }
  // How many spdef calls used remembered position terms (see below).
  long reused_terms() const { return reused_; }
  Outflow outflow() const { return outflow_; }
  const Kinetics& kinetics() const { return kinetics_; }
  const IntervalMeans& means() const { return means_; }

 private:
  // Time in days of model time T.
  double days(double T) const;
  bool declared_rate_derivatives(const ReactionPoint& point, int NCOMP, const double* U,
                                 const double* UX);

  // What spdef takes from the position and the time alone: the area, the
  // driver, the lateral flow and loads, the dispersion.
  struct PositionTerms {
    std::uint64_t generation = 0;
    double XI = 0.0;
    double A = 0.0;
    double S = 0.0;
    double QL = 0.0;
    double D = 0.0;
    std::array<double, kMaxNcomp> SL{};
    double XA = 0.0, XB = 0.0, AD = 0.0;  // with interval means: the interval, A*D
  };
  void position_terms(double T, double XI, PositionTerms& p);
  // The position terms of the next interval of the residual, at XI: the
  // remembered ones when they hold, else made (and remembered).
  const PositionTerms& terms_at(double T, double XI);
  // The unit factors of the transport terms: XCONV * TUNIT_MODEL and
  // k3 = XCONV / TUNIT_MODEL.
  struct TransportFactors {
    double xconv_tunit;
    double k3;
  };
  TransportFactors transport_factors() const;
  // spdef_intervals' capacity, Q and R of one interval (transport_terms with
  // the factors made once).
  void interval_coefficients(const TransportFactors& f, const PositionTerms& p, const double* U,
                             const double* UX, const KineticsLanes* RX, double& capacity,
                             double* Q, double* R) const;
  // Q and R of the built-in kinetics' six transported constituents from the
  // rates RX (two constituents a register), the factors k1 = -A D / (XCONV
  // TUNIT_MODEL), k2 = QL / TUNIT_MODEL and k3 = XCONV / TUNIT_MODEL, the area
  // and the lateral loads SL.
  void transport_terms(const double* U, const double* UX, double k1, double k2, double k3,
                       double A, const double* SL, const KineticsLanes* RX, double* Q,
                       double* R) const;
  // The same over [XA, XB] with the means asked for (AD the effective A*D).
  void interval_terms(double T, double XI, double XA, double XB, PositionTerms& p);
  // C, Q and R of spdef from the position terms A, D, A*D (the effective one
  // over an interval), QL and SL; IRES = 3 when declared rates are not finite.
  void write_coefficients(double T, double XI, int NCOMP, const double* U, const double* UX,
                          double A, double D, double AD, double QL, const double* SL, double* C,
                          double* Q, double* R, int& IRES);
  // Variable driver 1 at day TD (its look-up, which stops the run outside
  // the driver's range). A look-up at the same day from the same remembered
  // position as the last one, which left that position as it found it, is
  // the same call: its value is taken again instead of interpolated. As the
  // kinetics' constants, forgotten at the start of every residual and at
  // every call beyond the grid's intervals (the series may have changed
  // between residuals).
  double driver_flow(double TD);
  double driver_lookup(double TD);  // driver_flow's look-up
  // Starts a new generation of remembered terms when T is not the time of
  // the last look-ups.
  void note_time(double T);
  // Whether the look-ups at day TD warn (and so must be made every time).
  bool lookups_warn(double TD) const;
  // lookups_warn at model time T, the time of the current generation: asked
  // once per generation (the series and their ranges do not change).
  bool lookups_warn_now(double T);

  Units& io_;
  // The query's own look-up positions and silent console, made when first
  // asked (a run without such observers never makes them).
  struct QueryScratch;
  QueryScratch& query() const;

  const Inputs& ms_;
  SeriesPositions pos_;  // this run's look-up positions in the input series
  mutable std::shared_ptr<QueryScratch> query_;
  Channel channel_;
  Outflow outflow_;
  const Kinetics& kinetics_;
  std::unique_ptr<KineticsEvaluator> rates_;
  // The built-in kinetics' constants of ms's RXPAR, made afresh at the start
  // of every residual (the first end's bndr call) and at every spdef call
  // beyond the grid's intervals: the parameters do not change within one
  // residual, but may between the model's construction and its first use.
  KineticsConstants rx_constants_;
  // The same in both lanes, made again when rx_constants_ were.
  KineticsPairConstants rx_pair_constants_{};
  std::uint64_t rx_generation_ = 0, rx_pair_generation_ = ~std::uint64_t{0};
  int ncomp_;
  bool built_in_;
  std::array<bool, kMaxNcomp> moves_{};  // transported, per constituent
  bool all_move_ = true;
  IntervalMeans means_;
  // Scratch of the look-ups and the kinetics, sized once.
  std::array<double, kMaxNcomp> RX_{};
  std::array<double, kMaxNcomp> SL_{};
  std::array<double, kMaxNcomp> CL_{};
  std::array<double, kMaxNcomp> CR_{};
  std::array<double, kMaxNcomp * kMaxNcomp> dRX_{};
  std::array<double, kMaxNcomp> Upert_{}, RXpert_{};  // differences of declared rates
  // The position terms of every interval of the current residual, remembered
  // while the time stays the same: the difference quotients of the iteration
  // matrix change the concentrations of most intervals but not their
  // positions. A term is used again only when the interval's evaluation point
  // has the same bits and every look-up since it was made was at the same
  // time (so the series' remembered positions are where they were); look-ups
  // that warn are never skipped. Sized once, when the initial state is set.
  std::vector<PositionTerms> remembered_;
  int n_remembered_ = 0;  // its size
  PositionTerms unremembered_;  // for calls beyond the grid's intervals
  struct DriverLookup {
    bool valid = false;
    double TD = 0.0;
    int position = 0;  // the remembered position before and after
    double S = 0.0;
  } driver_;
  // What bndr takes from the series at one end: the flow there (QL at the
  // first end, QR at a free second end) and the boundary's concentrations
  // (CL, or CR). Remembered for the current time as the position terms are:
  // every residual at one time asks both ends again, and the look-ups at an
  // unchanged time give the same values, unless they warn.
  struct EndTerms {
    std::uint64_t generation = 0;
    double Q = 0.0;
    std::array<double, kMaxNcomp> C{};
  };
  const EndTerms& end_terms(double T, int LEFT);
  std::array<EndTerms, 2> ends_;
  std::uint64_t generation_ = 1;
  std::uint64_t warn_generation_ = 0;  // the generation warn_ belongs to (0: none)
  bool warn_ = false;
  double time_ = 0.0;
  int interval_ = 0;  // spdef calls since the left boundary's bndr call
  long reused_ = 0;
};

}  // namespace qz5

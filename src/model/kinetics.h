// Reaction kinetics of the six coupled pools of the estuary model.
//
// Constituent 1 is a conservative tracer; 2 is a substrate, 3 a nutrient,
// 4 and 5 two growing pools (5 feeds on 4 and on 2), 6 a detrital pool. The
// nutrient is bookkept through fixed content ratios (RXPAR(13) for pools 4
// and 5, RXPAR(14) for pools 2 and 6), so the rate of the nutrient pool is
// the balance of what the other pools take up and release: apart from the
// part of the loss of pool 6 that is not released, nutrient is conserved.
//
// The rates are evaluated at every evaluation point of every residual, so
// the routine allocates nothing and keeps no state.
#pragma once

#include "input/inputs.h"

namespace qz5 {

// Number of constituents the kinetics are written for.
inline constexpr int kKineticsComponents = 6;

// Net reaction rates RX(1..6), in file concentration units per day, from the
// model concentrations U(1..6) (converted with CCONV) and the parameters
// RXPAR(1..19) of `ms`. T, XI, NCOMP and UX are accepted for kinetics that
// depend on them; the present ones do not. Always reads six entries of U and
// writes six of RX, whatever NCOMP is. Zero denominators among the
// parameters (RXPAR 7, 8, 13, 14, or a half-saturation constant together with
// a zero concentration) give non-finite rates; nothing is checked here.
void RXNS_QZ5(const Inputs& ms, double T, double XI, int NCOMP, const double* U,
              const double* UX, double* RX);

// The parts of those rates that depend on RXPAR alone, each formed as the
// rates form it, so that the rates computed with them have the same bits.
struct KineticsConstants {
  double f = 0.0;  // share of the need of growth covered by the substrate, at most 1
  double one_minus_f = 0.0;
  double p12_p16 = 0.0;   // RXPAR(12) * RXPAR(16)
  double p4_p15 = 0.0;    // RXPAR(4) * RXPAR(15)
  double released = 0.0;  // e of the nutrient balance: -1/RXPAR(14) + 1/RXPAR(13)
  double uptake = 0.0;    // 1/(RXPAR(14) RXPAR(7)) - 1/RXPAR(13)
  double p12_e = 0.0;
  double loss8 = 0.0;  // 1/RXPAR(8) - 1
  double p4_e = 0.0;
  double detritus5 = 0.0;  // (1 - RXPAR(16)) RXPAR(12)
  double detritus4 = 0.0;  // (1 - RXPAR(15)) RXPAR(4)
  double p19_p18 = 0.0;
};
KineticsConstants RXNS_QZ5_CONSTANTS(const Inputs& ms);

// RXNS_QZ5 with the constants of ms's RXPAR made beforehand (bit for bit
// the same rates).
void RXNS_QZ5(const Inputs& ms, const KineticsConstants& k, const double* U, double* RX);
// Two points' values, one in each lane of a register.
typedef double KineticsLanes __attribute__((vector_size(16)));
// RXPAR(1..), CCONV(1..6) and the KineticsConstants, each in both lanes.
struct KineticsPairConstants {
  KineticsLanes P[kNumRxpar + 1];
  KineticsLanes CCONV[kKineticsComponents + 1];
  KineticsLanes f, one_minus_f, p12_p16, p4_p15, released, uptake, p12_e, loss8, p4_e;
  KineticsLanes detritus5, detritus4, p19_p18;
};
void RXNS_QZ5_PAIR_CONSTANTS(const Inputs& ms, const KineticsConstants& k,
                             KineticsPairConstants& p);
// The rates at two points a and b at once, each point's bit for bit those
// of RXNS_QZ5 with the constants k was made from (a NaN rate a NaN, its sign
// and payload as the operands' order leaves them).
void RXNS_QZ5_PAIR(const KineticsPairConstants& k, const double* Ua, const double* Ub,
                   double* RXa, double* RXb);

// The derivatives of those rates by the model concentrations: dRX(m, j) =
// dRX(m)/dU(j) at [(m-1) + (j-1)*6], for the analytic iteration matrix.
void RXNS_QZ5_JACOBIAN(const Inputs& ms, const double* U, double* dRX);

}  // namespace qz5

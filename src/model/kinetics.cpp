#include "model/kinetics.h"

#include "model/kinetics_rates.h"


namespace qz5 {

KineticsConstants RXNS_QZ5_CONSTANTS(const Inputs& ms) {
  const auto P = [&ms](int k) { return ms.RXPAR(k); };
  KineticsConstants k;
  // Share of the nutrient need of growth of 5 on 2 that the substrate itself
  // covers; when it covers all of it, constituent 3 does not limit growth.
  k.f = P(13) / (P(14) * P(7));
  if (k.f > 1.0) k.f = 1.0;
  k.one_minus_f = 1.0 - k.f;
  k.p12_p16 = P(12) * P(16);
  k.p4_p15 = P(4) * P(15);
  // e: nutrient freed per unit of growing pool that becomes pool 2 or 6.
  k.released = (-1.0 / P(14)) + (1.0 / P(13));
  k.uptake = (1.0 / (P(14) * P(7))) - (1.0 / P(13));
  k.p12_e = P(12) * k.released;
  k.loss8 = (1.0 / P(8)) - 1.0;
  k.p4_e = P(4) * k.released;
  k.detritus5 = (1.0 - P(16)) * P(12);
  k.detritus4 = (1.0 - P(15)) * P(4);
  k.p19_p18 = P(19) + P(18);
  return k;
}


void RXNS_QZ5(const Inputs& ms, const KineticsConstants& k, const double* U, double* RX) {
  const auto P = [&ms](int i) { return ms.RXPAR(i); };
  // File concentrations c(1..6); c[0] unused so that c[i] is constituent i.
  double c[kKineticsComponents + 1];
  c[0] = 0.0;
  for (int i = 1; i <= kKineticsComponents; ++i) c[i] = U[i - 1] * ms.CCONV(i);
  kinetics_detail::rates_of(P, k, c, RX);
}

void RXNS_QZ5_PAIR_CONSTANTS(const Inputs& ms, const KineticsConstants& k,
                             KineticsPairConstants& p) {
  const auto both = [](double v) { return KineticsLanes{v, v}; };
  for (int i = 1; i <= kNumRxpar; ++i) p.P[i] = both(ms.RXPAR(i));
  for (int i = 1; i <= kKineticsComponents; ++i) p.CCONV[i] = both(ms.CCONV(i));
  p.f = both(k.f), p.one_minus_f = both(k.one_minus_f), p.p12_p16 = both(k.p12_p16);
  p.p4_p15 = both(k.p4_p15), p.released = both(k.released), p.uptake = both(k.uptake);
  p.p12_e = both(k.p12_e), p.loss8 = both(k.loss8), p.p4_e = both(k.p4_e);
  p.detritus5 = both(k.detritus5), p.detritus4 = both(k.detritus4);
  p.p19_p18 = both(k.p19_p18);
}

void RXNS_QZ5_PAIR(const KineticsPairConstants& k, const double* Ua, const double* Ub,
                   double* RXa, double* RXb) {
  KineticsLanes RX[kKineticsComponents];
  kinetics_detail::rates_of_pair(k, Ua, Ub, RX);
#pragma GCC unroll 8
  for (int m = 0; m < kKineticsComponents; ++m) {
    RXa[m] = RX[m][0];
    RXb[m] = RX[m][1];
  }
}

void RXNS_QZ5(const Inputs& ms, double T, double XI, int NCOMP, const double* U, const double* UX,
              double* RX) {
  static_cast<void>(T);
  static_cast<void>(XI);
  static_cast<void>(NCOMP);
  static_cast<void>(UX);
  RXNS_QZ5(ms, RXNS_QZ5_CONSTANTS(ms), U, RX);
}

void RXNS_QZ5_JACOBIAN(const Inputs& ms, const double* U, double* dRX) {
  const auto P = [&ms](int k) { return ms.RXPAR(k); };
  double c[kKineticsComponents + 1];
  c[0] = 0.0;
  for (int i = 1; i <= kKineticsComponents; ++i) c[i] = U[i - 1] * ms.CCONV(i);
  double f = P(13) / (P(14) * P(7));
  if (f > 1.0) f = 1.0;
  const double g3 = (c[3] * P(1)) / (c[3] + P(3));
  const double dg3 = P(1) * P(3) / ((c[3] + P(3)) * (c[3] + P(3)));
  const double h3 = c[3] / (c[3] + P(11));
  const double dh3 = P(11) / ((c[3] + P(11)) * (c[3] + P(11)));
  const double g2 = (c[2] * P(6)) / (c[2] + P(10));
  const double dg2 = P(6) * P(10) / ((c[2] + P(10)) * (c[2] + P(10)));
  const double share = ((1.0 - f) * h3) + f;
  const double g25 = share * g2;
  const double dg25_2 = share * dg2;
  const double dg25_3 = (1.0 - f) * dh3 * g2;
  const double g4 = (P(5) * c[4]) / (P(9) + c[4]);
  const double dg4 = P(5) * P(9) / ((P(9) + c[4]) * (P(9) + c[4]));
  const double e = (-1.0 / P(14)) + (1.0 / P(13));
  const double a1 = (1.0 / (P(14) * P(7))) - (1.0 / P(13));
  const double loss4 = ((1.0 / P(8)) - 1.0) / P(13);
  // By file concentration: d[m][j] = dRX(m)/dc(j), m, j = 1..6.
  double d[7][7] = {};
  d[2][2] = -dg25_2 / P(7) * c[5];
  d[2][3] = -dg25_3 / P(7) * c[5];
  d[2][4] = P(4) * P(15);
  d[2][5] = P(12) * P(16) - g25 / P(7);
  d[2][6] = P(19);
  d[3][2] = a1 * dg25_2 * c[5];
  d[3][3] = a1 * dg25_3 * c[5] - dg3 * c[4] / P(13);
  d[3][4] = loss4 * dg4 * c[5] - g3 / P(13) + P(4) * e;
  d[3][5] = a1 * g25 + P(12) * e + loss4 * g4;
  d[3][6] = P(18) * P(17) / P(14);
  d[4][3] = dg3 * c[4];
  d[4][4] = (g3 - P(4)) - dg4 * c[5] / P(8);
  d[4][5] = -g4 / P(8);
  d[5][2] = dg25_2 * c[5];
  d[5][3] = dg25_3 * c[5];
  d[5][4] = dg4 * c[5];
  d[5][5] = (g4 - P(12)) + g25;
  d[6][4] = (1.0 - P(15)) * P(4);
  d[6][5] = (1.0 - P(16)) * P(12);
  d[6][6] = -(P(19) + P(18));
  for (int m = 1; m <= kKineticsComponents; ++m)
    for (int j = 1; j <= kKineticsComponents; ++j)
      dRX[(m - 1) + (j - 1) * kKineticsComponents] = d[m][j] * ms.CCONV(j);
}

}  // namespace qz5

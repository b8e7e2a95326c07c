// The built-in kinetics' rates as templates, for the callers that evaluate
// them two points at a time inside their own loops.
#pragma once

#include "model/kinetics.h"

namespace qz5::kinetics_detail {

// The rates of the file concentrations c(1..6) (c[0] unused), for one point
// (V = double, k the KineticsConstants) or two (V = KineticsLanes, k the
// KineticsPairConstants): each lane does the same IEEE operations as the
// one-point code, so its rates have the same bits. P(i) is RXPAR(i) as a V.
template <class V, class Params, class Constants>
[[gnu::always_inline]] inline void rates_of(const Params& P, const Constants& k, const V* c, V* RX) {
  const V g3 = (c[3] * P(1)) / (c[3] + P(3));
  const V h3 = c[3] / (c[3] + P(11));
  const V g2 = (c[2] * P(6)) / (c[2] + P(10));
  RX[0] = V{};
  const V g25 = ((k.one_minus_f * h3) + k.f) * g2;
  const V g4 = (P(5) * c[4]) / (P(9) + c[4]);

  RX[1] = ((k.p12_p16 - (g25 / P(7))) * c[5] + k.p4_p15 * c[4]) + P(19) * c[6];

  RX[2] = ((((k.uptake * g25 + k.p12_e) * c[5] + ((P(18) * c[6]) / P(14)) * P(17)) +
            ((k.loss8 * g4) * c[5]) / P(13)) -
           (g3 * c[4]) / P(13)) +
          k.p4_e * c[4];

  RX[3] = ((g3 - P(4)) * c[4]) - ((g4 * c[5]) / P(8));
  RX[4] = ((g4 - P(12)) + g25) * c[5];
  RX[5] = (k.detritus5 * c[5] + k.detritus4 * c[4]) - (k.p19_p18 * c[6]);
}


// The rates of two points, one per lane: RX[m] holds constituent m + 1's
// rate at a in lane 0 and at b in lane 1.
[[gnu::always_inline]] inline void rates_of_pair(const KineticsPairConstants& k, const double* Ua,
                                                 const double* Ub, KineticsLanes* RX) {
  const auto P = [&k](int i) { return k.P[i]; };
  KineticsLanes c[kKineticsComponents + 1];
  c[0] = KineticsLanes{};
#pragma GCC unroll 8
  for (int i = 1; i <= kKineticsComponents; ++i)
    c[i] = KineticsLanes{Ua[i - 1], Ub[i - 1]} * k.CCONV[i];
  rates_of(P, k, c, RX);
}

}  // namespace qz5::kinetics_detail

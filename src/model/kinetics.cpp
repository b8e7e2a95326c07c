#include "model/kinetics.h"

namespace qz5 {

void RXNS_QZ5(const Inputs& ms, double T, double XI, int NCOMP, const double* U,
              const double* UX, double* RX) {
  static_cast<void>(T);
  static_cast<void>(XI);
  static_cast<void>(NCOMP);
  static_cast<void>(UX);
  const auto P = [&ms](int k) { return ms.RXPAR(k); };

  // File concentrations c(1..6); c[0] unused so that c[i] is constituent i.
  double c[kKineticsComponents + 1];
  c[0] = 0.0;
  for (int i = 1; i <= kKineticsComponents; ++i) c[i] = U[i - 1] * ms.CCONV(i);

  // Share of the nutrient need of growth of 5 on 2 that the substrate itself
  // covers; when it covers all of it, constituent 3 does not limit growth.
  double f = P(13) / (P(14) * P(7));
  if (f > 1.0) f = 1.0;

  const double g3 = (c[3] * P(1)) / (c[3] + P(3));
  const double h3 = c[3] / (c[3] + P(11));
  const double g2 = (c[2] * P(6)) / (c[2] + P(10));
  RX[0] = 0.0;
  const double g25 = (((1.0 - f) * h3) + f) * g2;
  const double g4 = (P(5) * c[4]) / (P(9) + c[4]);

  RX[1] = (((P(12) * P(16)) - (g25 / P(7))) * c[5] + (P(4) * P(15)) * c[4]) + P(19) * c[6];

  // e: nutrient freed per unit of growing pool that becomes pool 2 or 6.
  const double e = (-1.0 / P(14)) + (1.0 / P(13));
  RX[2] = ((((((1.0 / (P(14) * P(7))) - (1.0 / P(13))) * g25 + P(12) * e) * c[5] +
             ((P(18) * c[6]) / P(14)) * P(17)) +
            ((((1.0 / P(8)) - 1.0) * g4) * c[5]) / P(13)) -
           (g3 * c[4]) / P(13)) +
          (P(4) * e) * c[4];

  RX[3] = ((g3 - P(4)) * c[4]) - ((g4 * c[5]) / P(8));
  RX[4] = ((g4 - P(12)) + g25) * c[5];
  RX[5] = (((1.0 - P(16)) * P(12)) * c[5] + ((1.0 - P(15)) * P(4)) * c[4]) -
          ((P(19) + P(18)) * c[6]);
}

}  // namespace qz5

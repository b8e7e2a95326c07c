// Shared data of the model tests: a kinetics parameter set under which the
// rates at one state follow exactly from hand arithmetic.
#pragma once

#include <array>

#include "input/inputs.h"

namespace qz5::testing {

using Six = std::array<double, 6>;
using Params = std::array<double, 19>;

// At the file concentrations kDyadicConc every intermediate is a short binary
// fraction: f = P13/(P14*P7) = 0.5, g3 = 1, h3 = 0.5, g2 = 2, g25 = 1.5,
// g4 = 1.5, e = -1/4 + 1/2 = 0.25, so
//   RX2 = ((0.25*0.75 - 1.5/1)*2 + (0.5*0.5)*1) + 0.25*4 = -1.375
//   RX3 = (((-0.25*1.5 + 0.0625)*2 + 0.0625) + (-0.75*1.5*2)/2 - 1/2) + 0.125 = -2.0625
//   RX4 = (1 - 0.5)*1 - 1.5*2/4 = -0.25
//   RX5 = (1.5 - 0.25 + 1.5)*2 = 5.5
//   RX6 = (0.25*0.25*2 + 0.5*0.5*1) - 0.375*4 = -1.125
inline constexpr Params kDyadicParams = {2, 0,    1, 0.5, 3,   4,    1,   4,     1,   1,
                                         1, 0.25, 2, 4,   0.5, 0.75, 0.5, 0.125, 0.25};
inline constexpr Six kDyadicConc = {5, 1, 1, 1, 2, 4};
inline constexpr Six kDyadicRates = {0.0, -1.375, -2.0625, -0.25, 5.5, -1.125};  // per day

inline void set_kinetics(Inputs& ms, const Params& p, const Six& cconv) {
  ms.NCOMP = 6;
  for (int k = 1; k <= 19; ++k) ms.RXPAR(k) = p[static_cast<std::size_t>(k - 1)];
  for (int m = 1; m <= 6; ++m) ms.CCONV(m) = cconv[static_cast<std::size_t>(m - 1)];
}

}  // namespace qz5::testing

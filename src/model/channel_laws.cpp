#include "model/channel_laws.h"

#include <cmath>

namespace qz5 {

double AREA_ORG(const double& X) {
  return std::pow(X, 2.0) * 3.4e-06 + 17.0;
}

double DISP_ORG(const double& X, const double& QS) {
  static_cast<void>(QS);  // the present law does not depend on the flow
  return ((5000.0 * 1.36e6) / ((23330.0 - X) + 5000.0)) / 86400.0;
}

}  // namespace qz5

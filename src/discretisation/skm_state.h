// State of the moving-grid discretisation.
//
// SETSKM fills this record once before the integration starts; SKMRES and the
// routines beneath it only read it. It lives inside the caller's model state
// and is passed by reference, so the discretisation keeps no state of its
// own. A default-constructed record means "not set up": SKMRES refuses to
// evaluate until SETSKM has succeeded and written the mark.
#pragma once

#include <array>
#include <string_view>

namespace qz5 {

// Text of SKM_MARK once the set-up has succeeded.
inline constexpr std::string_view kSkmMarkSetUp = "SPSKLM";

struct SkmState {
  double EPSMACH = 0.0;  // relative machine precision
  int LUNSKM = 0;        // unit of the discretisation's messages; 0 before set-up
  double TAU = 0.0;      // time smoothing of the grid equations
  double KAPPA = 0.0;    // spatial smoothing of the grid equations
  double ALPHA = 0.0;    // floor of the grid monitor
  int NVAR = 0;          // unknowns per grid point: NCOMP + 1
  int NINNER = 0;        // interior points: NPTS - 2
  int M = 0;             // polar parameter: 0 slab, 1 cylinder, 2 sphere
  int AT_ORIGIN = 0;     // 1 when M >= 1 and the left end lies at the origin
  std::array<char, 6> SKM_MARK = {' ', ' ', ' ', ' ', ' ', ' '};  // blank until set up

  // True once SETSKM has succeeded (the mark reads "SPSKLM").
  bool is_set_up() const {
    return std::string_view(SKM_MARK.data(), SKM_MARK.size()) == kSkmMarkSetUp;
  }
};

}  // namespace qz5

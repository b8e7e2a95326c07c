// What the reader and the evaluator of declared kinetics share: the
// expression library's set-up and the layout of the variables it binds.
#pragma once

#include <array>
#include <muParser.h>
#include <string>
#include <vector>

#include "kinetics/declared_kinetics.h"

namespace qz5::kinetics_detail {

// The names every expression may use besides the declared ones, in the
// order of their variable slots after the declared names.
inline constexpr std::array<const char*, 5> kPointNames = {"t", "x", "area", "dispersion",
                                                           "flow"};

// A parser with the functions expressions may call beyond muParser's own
// (pow(a, b), the same as a^b).
void prepare_parser(mu::Parser& p);

// Slot layout of the variables: constituents, parameters, forcings,
// definitions, then kPointNames.
struct Slots {
  int constituents = 0, parameters = 0, forcings = 0, definitions = 0, point = 0, count = 0;
  explicit Slots(const DeclaredKinetics& k);
};

// One expression for the whole kinetics: every definition with a true entry
// in `assigned` assigned in its order, then every rate there is, comma
// separated; `rate_result` gets the index among the results of each
// constituent's rate (-1: no rate).
std::string combined_expression(const DeclaredKinetics& k, const std::vector<bool>& assigned,
                                std::vector<int>& rate_result);
// The same with only the rates with a true entry in `rated`.
std::string combined_expression(const DeclaredKinetics& k, const std::vector<bool>& assigned,
                                const std::vector<bool>& rated, std::vector<int>& rate_result);

}  // namespace qz5::kinetics_detail

// The run-time side of declared kinetics: one compiled expression per run,
// evaluated from variables bound by address.
#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "kinetics/declared_kinetics.h"
#include "kinetics/expression.h"

namespace qz5 {
namespace kinetics_detail {

namespace {
double power(double a, double b) { return std::pow(a, b); }
}  // namespace

void prepare_parser(mu::Parser& p) { p.DefineFun("pow", power); }

Slots::Slots(const DeclaredKinetics& k)
    : constituents(0),
      parameters(k.ncomp()),
      forcings(parameters + static_cast<int>(k.parameters().size())),
      definitions(forcings + static_cast<int>(k.forcings().size())),
      point(definitions + static_cast<int>(k.definitions().size())),
      count(point + static_cast<int>(kPointNames.size())) {}

std::string combined_expression(const DeclaredKinetics& k, const std::vector<bool>& assigned,
                                std::vector<int>& rate_result) {
  std::string e;
  int results = 0;
  for (std::size_t j = 0; j < k.definitions().size(); ++j) {
    if (!assigned[j]) continue;
    const KineticsDefinition& d = k.definitions()[j];
    if (!e.empty()) e += ", ";
    e += d.name + " = (" + d.expression + ")";
    ++results;
  }
  rate_result.assign(static_cast<std::size_t>(k.ncomp()), -1);
  for (int c = 0; c < k.ncomp(); ++c) {
    if (k.rate(c).empty()) continue;
    if (!e.empty()) e += ", ";
    e += "(" + k.rate(c) + ")";
    rate_result[static_cast<std::size_t>(c)] = results++;
  }
  if (e.empty()) e = "0";
  return e;
}

}  // namespace kinetics_detail

namespace {

using kinetics_detail::Slots;

// Linear interpolation in an increasing table, holding the end values
// outside it; `i` remembers the interval of the last call (no search while
// the argument moves little).
double interpolate(const std::vector<double>& xs, const std::vector<double>& vs, double x,
                   std::size_t& i) {
  const std::size_t n = xs.size();
  if (n == 1 || x <= xs.front()) return vs.front();
  if (x >= xs.back()) return vs.back();
  if (i + 1 >= n) i = n - 2;
  while (i > 0 && x < xs[i]) --i;
  while (i + 2 < n && x >= xs[i + 1]) ++i;
  const double f = (x - xs[i]) / (xs[i + 1] - xs[i]);
  return vs[i] + (vs[i + 1] - vs[i]) * f;
}

class DeclaredEvaluator final : public KineticsEvaluator {
 public:
  DeclaredEvaluator(const DeclaredKinetics& k, const Inputs& ms)
      : k_(k), ms_(ms), slots_(k), values_(static_cast<std::size_t>(slots_.count), 0.0) {
    const std::vector<KineticsParameter>& params = k.parameters();
    for (std::size_t j = 0; j < params.size(); ++j) {
      if (params[j].varies()) {
        varying_.push_back(j);
      } else {
        values_[static_cast<std::size_t>(slots_.parameters) + j] = params[j].value;
      }
    }
    param_at_.assign(params.size(), 0);
    for (int c = 1; c <= k.ncomp(); ++c) cconv_.push_back(ms.CCONV(c));
    forcing_at_.assign(k.forcings().size(), 0);
    kinetics_detail::prepare_parser(parser_);
    auto define = [this](const std::string& name, int slot) {
      parser_.DefineVar(name, &values_[static_cast<std::size_t>(slot)]);
    };
    for (int c = 0; c < k.ncomp(); ++c) define(k.constituents()[static_cast<std::size_t>(c)].name, c);
    for (std::size_t j = 0; j < params.size(); ++j)
      define(params[j].name, slots_.parameters + static_cast<int>(j));
    for (std::size_t j = 0; j < k.forcings().size(); ++j)
      define(k.forcings()[j].name, slots_.forcings + static_cast<int>(j));
    for (std::size_t j = 0; j < k.definitions().size(); ++j)
      define(k.definitions()[j].name, slots_.definitions + static_cast<int>(j));
    for (std::size_t j = 0; j < kinetics_detail::kPointNames.size(); ++j)
      define(kinetics_detail::kPointNames[j], slots_.point + static_cast<int>(j));
    const std::vector<bool> varying = evaluate_constant_definitions();
    parser_.SetExpr(kinetics_detail::combined_expression(k, varying, rate_result_));
    // Compiles now, at set-up, so that stepping only evaluates.
    int n = 0;
    parser_.Eval(n);
  }

  // Definitions that depend only on parameters constant along the channel
  // (and on such definitions) are the same at every point: they are
  // evaluated here, once, each with its own written order of operations,
  // and left out of the expression evaluated at every point. Returns which
  // definitions remain to be evaluated there.
  std::vector<bool> evaluate_constant_definitions() {
    const std::vector<KineticsDefinition>& defs = k_.definitions();
    std::vector<bool> varying(defs.size(), true);
    std::set<std::string> constant;
    for (const KineticsParameter& p : k_.parameters())
      if (!p.varies()) constant.insert(p.name);
    for (std::size_t j = 0; j < defs.size(); ++j) {
      mu::Parser once;
      kinetics_detail::prepare_parser(once);
      for (const std::string& name : constant) once.DefineVar(name, &values_[slot_of(name)]);
      once.SetExpr(defs[j].expression);
      try {
        const double v = once.Eval();
        values_[static_cast<std::size_t>(slots_.definitions) + j] = v;
        varying[j] = false;
        constant.insert(defs[j].name);
      } catch (const mu::Parser::exception_type&) {
        // It uses a name that is not constant: evaluated at every point.
      }
    }
    return varying;
  }

  std::size_t slot_of(const std::string& name) const {
    const std::vector<KineticsParameter>& params = k_.parameters();
    for (std::size_t j = 0; j < params.size(); ++j)
      if (params[j].name == name) return static_cast<std::size_t>(slots_.parameters) + j;
    const std::vector<KineticsDefinition>& defs = k_.definitions();
    for (std::size_t j = 0; j < defs.size(); ++j)
      if (defs[j].name == name) return static_cast<std::size_t>(slots_.definitions) + j;
    return 0;  // not reached: only declared names are asked for
  }

  bool rates(const ReactionPoint& p, const double* U, const double* UX, double* RX) override {
    static_cast<void>(UX);
    double* v = values_.data();
    const int nc = slots_.parameters;
    const double* cconv = cconv_.data();
    for (int c = 0; c < nc; ++c) v[c] = U[c] * cconv[c];
    if (!varying_.empty()) {
      const std::vector<KineticsParameter>& params = k_.parameters();
      for (const std::size_t j : varying_)
        v[static_cast<std::size_t>(slots_.parameters) + j] =
            interpolate(params[j].table_x, params[j].table_v, p.x, param_at_[j]);
    }
    const std::vector<KineticsForcing>& forcings = k_.forcings();
    for (std::size_t j = 0; j < forcings.size(); ++j)
      v[static_cast<std::size_t>(slots_.forcings) + j] =
          interpolate(forcings[j].t, forcings[j].v, p.t_days, forcing_at_[j]);
    double* point = v + slots_.point;
    point[0] = p.t_days;
    point[1] = p.x;
    point[2] = p.area;
    point[3] = p.dispersion;
    point[4] = p.flow;
    int n = 0;
    const double* r = parser_.Eval(n);
    const int* at = rate_result_.data();
    bool finite = true;
    for (int c = 0; c < nc; ++c) {
      const double rate = at[c] < 0 ? 0.0 : r[at[c]];
      RX[c] = rate;
      finite &= std::isfinite(rate);
    }
    return finite;
  }

 private:
  const DeclaredKinetics& k_;
  const Inputs& ms_;
  Slots slots_;
  std::vector<double> values_;  // the bound variables; never resized after binding
  std::vector<std::size_t> varying_;
  std::vector<std::size_t> param_at_, forcing_at_;
  std::vector<int> rate_result_;
  std::vector<double> cconv_;  // the run's concentration factors, CCONV(1..NCOMP)
  mu::Parser parser_;
};

std::string number_text(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

}  // namespace

std::unique_ptr<KineticsEvaluator> DeclaredKinetics::evaluator(const Inputs& ms) const {
  return std::make_unique<DeclaredEvaluator>(*this, ms);
}

std::string DeclaredKinetics::check_run(const Inputs& ms) const {
  if (ms.NCOMP != ncomp())
    return "NCOMP is " + std::to_string(ms.NCOMP) + ", the kinetics " + source_ + " declare " +
           std::to_string(ncomp()) + " constituents";
  if (ms.NTIMES >= 1 && ms.TUNIT_MODEL != 0.0) {
    const double q = ms.TUNIT_DAY / ms.TUNIT_MODEL;
    double first = ms.TSTART * q, last = first;
    for (int i = 1; i <= ms.NTIMES; ++i) {
      first = std::min(first, ms.TOUTS(i) * q);
      last = std::max(last, ms.TOUTS(i) * q);
    }
    for (const KineticsForcing& f : forcings_) {
      if (f.t.size() == 1 || (f.t.front() <= first && f.t.back() >= last)) continue;
      return "forcing " + f.name + " (" + f.file + ") covers days " + number_text(f.t.front()) +
             " .. " + number_text(f.t.back()) + ", the run needs " + number_text(first) + " .. " +
             number_text(last);
    }
  }
  const double lo = std::min(ms.XBND(1), ms.XBND(2)), hi = std::max(ms.XBND(1), ms.XBND(2));
  for (const KineticsParameter& p : parameters_) {
    if (!p.varies() || p.table_x.size() == 1 ||
        (p.table_x.front() <= lo && p.table_x.back() >= hi))
      continue;
    return "parameter " + p.name + " has a table over " + number_text(p.table_x.front()) +
           " .. " + number_text(p.table_x.back()) + ", the reach is " + number_text(lo) + " .. " +
           number_text(hi);
  }
  return {};
}

}  // namespace qz5

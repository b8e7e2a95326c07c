// The run-time side of declared kinetics: one compiled expression per run,
// evaluated from variables bound by address.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
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
  return combined_expression(k, assigned, std::vector<bool>(static_cast<std::size_t>(k.ncomp()), true),
                             rate_result);
}

std::string combined_expression(const DeclaredKinetics& k, const std::vector<bool>& assigned,
                                const std::vector<bool>& rated, std::vector<int>& rate_result) {
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
    if (k.rate(c).empty() || !rated[static_cast<std::size_t>(c)]) continue;
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
    bind_variables(parser_);
    const std::vector<bool> varying = evaluate_constant_definitions();
    parser_.SetExpr(kinetics_detail::combined_expression(k, varying, rate_result_));
    // Compiles now, at set-up, so that stepping only evaluates.
    int n = 0;
    parser_.Eval(n);
    prepare_partials(varying);
    for (const std::size_t j : varying_) per_point_.push_back(static_cast<std::size_t>(slots_.parameters) + j);
    for (std::size_t j = 0; j < k.forcings().size(); ++j)
      per_point_.push_back(static_cast<std::size_t>(slots_.forcings) + j);
    for (std::size_t j = 0; j < varying.size(); ++j)
      if (varying[j]) per_point_.push_back(static_cast<std::size_t>(slots_.definitions) + j);
    // Sixteen entries a point: the difference matrix's moved positions take
    // entries too, and an entry taken from a point still to be met again
    // costs that point a full evaluation (eight a point cost the bundled
    // run 1 % more instructions, four 2 %).
    const std::size_t wanted = 16 * static_cast<std::size_t>(std::max(ms.NPTS, 16));
    entries_ = 1;
    shift_ = 64;
    while (entries_ < wanted) entries_ *= 2, --shift_;
    stride_ = 2 * static_cast<std::size_t>(slots_.parameters) + kinetics_detail::kPointNames.size() +
              per_point_.size();
    remembered_.assign(entries_ * stride_, 0.0);
    flags_.assign(entries_, 0);
  }

  void bind_variables(mu::Parser& p) {
    kinetics_detail::prepare_parser(p);
    auto define = [&](const std::string& name, int slot) {
      p.DefineVar(name, &values_[static_cast<std::size_t>(slot)]);
    };
    const std::vector<KineticsParameter>& params = k_.parameters();
    for (int c = 0; c < k_.ncomp(); ++c) define(k_.constituents()[static_cast<std::size_t>(c)].name, c);
    for (std::size_t j = 0; j < params.size(); ++j)
      define(params[j].name, slots_.parameters + static_cast<int>(j));
    for (std::size_t j = 0; j < k_.forcings().size(); ++j)
      define(k_.forcings()[j].name, slots_.forcings + static_cast<int>(j));
    for (std::size_t j = 0; j < k_.definitions().size(); ++j)
      define(k_.definitions()[j].name, slots_.definitions + static_cast<int>(j));
    for (std::size_t j = 0; j < kinetics_detail::kPointNames.size(); ++j)
      define(kinetics_detail::kPointNames[j], slots_.point + static_cast<int>(j));
  }

  // The constituents an expression reads, directly or through the
  // definitions it uses (whose own are in `of_definition`).
  std::vector<bool> constituents_read(mu::Parser& scan, const std::string& expression,
                                      const std::vector<std::vector<bool>>& of_definition) {
    std::vector<bool> read(static_cast<std::size_t>(slots_.parameters), false);
    scan.SetExpr(expression);
    for (const auto& [name, at] : scan.GetUsedVar()) {
      const std::ptrdiff_t slot = at - values_.data();
      if (slot < slots_.parameters) {
        read[static_cast<std::size_t>(slot)] = true;
      } else if (slot >= slots_.definitions && slot < slots_.point) {
        const std::vector<bool>& d = of_definition[static_cast<std::size_t>(slot - slots_.definitions)];
        for (std::size_t c = 0; c < read.size(); ++c) read[c] = read[c] || d[c];
      }
    }
    return read;
  }

  // For each constituent, one expression of just the definitions (among
  // those evaluated at every point) and rates that read it.
  void prepare_partials(const std::vector<bool>& varying) {
    const std::size_t nc = static_cast<std::size_t>(slots_.parameters);
    const std::size_t nd = k_.definitions().size();
    mu::Parser scan;
    bind_variables(scan);
    std::vector<std::vector<bool>> of_definition(nd, std::vector<bool>(nc, false));
    for (std::size_t j = 0; j < nd; ++j)
      if (varying[j]) of_definition[j] = constituents_read(scan, k_.definitions()[j].expression, of_definition);
    std::vector<std::vector<bool>> of_rate(nc, std::vector<bool>(nc, false));
    for (std::size_t c = 0; c < nc; ++c)
      if (!k_.rate(static_cast<int>(c)).empty())
        of_rate[c] = constituents_read(scan, k_.rate(static_cast<int>(c)), of_definition);
    partial_ = std::vector<Partial>(nc);
    for (std::size_t changed = 0; changed < nc; ++changed) {
      std::vector<bool> assigned(nd), rated(nc);
      for (std::size_t j = 0; j < nd; ++j) assigned[j] = varying[j] && of_definition[j][changed];
      for (std::size_t c = 0; c < nc; ++c) rated[c] = of_rate[c][changed];
      Partial& q = partial_[changed];
      q.any = std::find(rated.begin(), rated.end(), true) != rated.end();
      if (!q.any) continue;
      bind_variables(q.parser);
      q.parser.SetExpr(kinetics_detail::combined_expression(k_, assigned, rated, q.rate_result));
      int n = 0;
      q.parser.Eval(n);
    }
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
    double* point = v + slots_.point;
    point[0] = p.t_days;
    point[1] = p.x;
    point[2] = p.area;
    point[3] = p.dispersion;
    point[4] = p.flow;
    const std::size_t slot = slot_for(point);
    const Remembered m = entry(slot);
    if ((*m.flags & kUsed) != 0 &&
        std::memcmp(m.point, point, kinetics_detail::kPointNames.size() * sizeof(double)) == 0) {
      const int changed = changed_constituent(m, v);
      if (changed == kNoneChanged) return recall(m, RX);
      if (changed >= 0) return evaluate_changed(m, changed, RX);
    }
    return evaluate_all(p, m, RX);
  }

 private:
  // The rates are a function of the bound inputs alone (constituents and
  // point values), so a point met again with the same bits, or with one
  // constituent changed, need not be evaluated in full: the banded
  // difference matrix re-evaluates every point with at most one of its
  // unknowns moved. One entry per hashed point, filled at every full
  // evaluation; a miss costs only a full evaluation.
  struct Partial {
    bool any = false;  // whether any rate reads the constituent
    mu::Parser parser;
    std::vector<int> rate_result;
  };
  // One entry of remembered_, laid out as its members in turn.
  struct Remembered {
    double* constituents;
    double* point;
    double* bound;  // the per_point_ values
    double* rates;
    unsigned char* flags;
  };
  static constexpr unsigned char kUsed = 1, kFinite = 2;
  static constexpr int kNoneChanged = -1, kSeveralChanged = -2;

  Remembered entry(std::size_t slot) {
    const std::size_t nc = static_cast<std::size_t>(slots_.parameters);
    double* e = remembered_.data() + slot * stride_;
    double* point = e + nc;
    double* bound = point + kinetics_detail::kPointNames.size();
    return {e, point, bound, bound + per_point_.size(), &flags_[slot]};
  }

  std::size_t slot_for(const double* point) const {
    std::uint64_t t = 0, x = 0;
    std::memcpy(&t, &point[0], sizeof t);
    std::memcpy(&x, &point[1], sizeof x);
    const std::uint64_t h = (x ^ (t * 0x9E3779B97F4A7C15ULL)) * 0xBF58476D1CE4E5B9ULL;
    return static_cast<std::size_t>(h >> shift_);
  }

  int changed_constituent(const Remembered& m, const double* v) const {
    int changed = kNoneChanged;
    for (int c = 0; c < slots_.parameters; ++c) {
      if (std::memcmp(&m.constituents[static_cast<std::size_t>(c)], &v[c], sizeof(double)) == 0)
        continue;
      if (changed != kNoneChanged) return kSeveralChanged;
      changed = c;
    }
    return changed;
  }

  bool recall(const Remembered& m, double* RX) const {
    std::copy(m.rates, m.rates + slots_.parameters, RX);
    return (*m.flags & kFinite) != 0;
  }

  // Only the definitions and rates that depend on constituent `c` are
  // evaluated, each with its written operations; the others are the
  // remembered ones, as are the values the evaluated expressions read.
  bool evaluate_changed(const Remembered& m, int c, double* RX) {
    Partial& q = partial_[static_cast<std::size_t>(c)];
    if (!q.any) return recall(m, RX);
    for (std::size_t j = 0; j < per_point_.size(); ++j) values_[per_point_[j]] = m.bound[j];
    int n = 0;
    const double* r = q.parser.Eval(n);
    bool finite = true;
    for (std::size_t k = 0; k < static_cast<std::size_t>(slots_.parameters); ++k) {
      const int at = q.rate_result[k];
      RX[k] = at < 0 ? m.rates[k] : r[at];
      finite &= std::isfinite(RX[k]);
    }
    return finite;
  }

  bool evaluate_all(const ReactionPoint& p, const Remembered& m, double* RX) {
    double* v = values_.data();
    const int nc = slots_.parameters;
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
    int n = 0;
    const double* r = parser_.Eval(n);
    const int* at = rate_result_.data();
    bool finite = true;
    for (int c = 0; c < nc; ++c) {
      const double rate = at[c] < 0 ? 0.0 : r[at[c]];
      RX[c] = rate;
      finite &= std::isfinite(rate);
    }
    remember(m, RX, finite);
    return finite;
  }

  void remember(const Remembered& m, const double* RX, bool finite) {
    const double* v = values_.data();
    std::copy(v, v + slots_.parameters, m.constituents);
    std::copy(v + slots_.point, v + slots_.count, m.point);
    for (std::size_t j = 0; j < per_point_.size(); ++j) m.bound[j] = v[per_point_[j]];
    std::copy(RX, RX + slots_.parameters, m.rates);
    *m.flags = finite ? kUsed | kFinite : kUsed;
  }

  const DeclaredKinetics& k_;
  const Inputs& ms_;
  Slots slots_;
  std::vector<double> values_;  // the bound variables; never resized after binding
  std::vector<std::size_t> varying_;
  std::vector<std::size_t> param_at_, forcing_at_;
  std::vector<int> rate_result_;
  std::vector<double> cconv_;  // the run's concentration factors, CCONV(1..NCOMP)
  mu::Parser parser_;
  std::vector<Partial> partial_;         // by the constituent changed
  std::vector<double> remembered_;       // entries_ entries (a power of two) of stride_ values
  std::vector<unsigned char> flags_;     // kUsed, kFinite of each entry
  std::size_t entries_ = 0, stride_ = 0;
  int shift_ = 64;  // of the hash, leaving the entry's index in its top bits
  // The slots of the bound values that differ from point to point besides
  // the constituents and point values: varying parameters, forcings and the
  // definitions evaluated at every point.
  std::vector<std::size_t> per_point_;
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

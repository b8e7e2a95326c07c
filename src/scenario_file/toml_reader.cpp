#include "scenario_file/toml_reader.h"

#include <fstream>
#include <set>
#include <sstream>
#include <toml++/toml.h>

#include "kinetics/kinetics_table.h"
#include "scenario_file/csv_table.h"

namespace qz5::scenario_file {
namespace {

namespace fs = std::filesystem;

std::string read_whole_file(const fs::path& p, const Place& named_at) {
  std::ifstream in(p, std::ios::binary);
  if (!in) refuse(named_at, p.string(), "cannot be opened", "a readable file (paths resolve against the scenario file's folder)");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string type_name(const toml::node& n) {
  switch (n.type()) {
    case toml::node_type::string: return "a text";
    case toml::node_type::integer: return "a whole number";
    case toml::node_type::floating_point: return "a number";
    case toml::node_type::boolean: return "true or false";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time of day";
    case toml::node_type::date_time: return "a date and time";
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "nothing";
  }
}

std::string value_text(const toml::node& n) {
  if (const auto* s = n.as_string()) return s->get();
  std::ostringstream o;
  if (n.is_table()) return "{...}";
  if (n.is_array()) return "[...]";
  n.visit([&o](const auto& v) { o << v; });
  return o.str();
}

CalendarMoment moment_of(const toml::date& d, const toml::time* t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  std::string s = buf;
  if (t != nullptr) {
    std::snprintf(buf, sizeof buf, "T%02d:%02d:%02d", t->hour, t->minute, t->second);
    s += buf;
  }
  auto m = parse_iso_moment(s);
  double frac = t != nullptr ? t->nanosecond / 86400e9 : 0.0;
  m->day_fraction += frac;
  return *m;
}

// The context of one scenario file: where it is, its reference date.
struct Context {
  fs::path file;
  std::string name;  // as messages give it
  std::optional<CalendarMoment> reference;
};

// A TOML table of the layout: reads its keys by type and, at the end,
// refuses any key it was not asked for.
class Table {
 public:
  Table(const Context& cx, const toml::table& t, std::string path)
      : cx_(cx), t_(t), path_(std::move(path)) {}

  Place place(const toml::node& n) const {
    return {cx_.name, static_cast<long>(n.source().begin.line),
            static_cast<long>(n.source().begin.column), ""};
  }
  Place place() const { return place(t_); }

  const toml::node* find(std::string_view key) {
    asked_.insert(std::string(key));
    return t_.get(key);
  }
  bool has(std::string_view key) const { return t_.contains(key); }

  const toml::node& need(std::string_view key) {
    const toml::node* n = find(key);
    if (n == nullptr)
      refuse(place(), "", "the table " + label() + " lacks the key " + std::string(key),
             "a line " + std::string(key) + " = ...");
    return *n;
  }

  [[noreturn]] void wrong(const toml::node& n, std::string_view key, std::string_view expected) const {
    std::string problem = "is " + type_name(n) + " for " + full(key);
    if (const auto* s = n.as_string(); s != nullptr && looks_like_decimal_comma(s->get()))
      problem += " (with a decimal comma)";
    refuse(place(n), value_text(n), problem, expected);
  }

  double number(std::string_view key) { return number_of(need(key), key); }
  double number(std::string_view key, double fallback) {
    const toml::node* n = find(key);
    return n == nullptr ? fallback : number_of(*n, key);
  }
  double number_of(const toml::node& n, std::string_view key) const {
    if (const auto* f = n.as_floating_point()) {
      if (!std::isfinite(f->get())) wrong(n, key, "a finite number");
      return f->get();
    }
    if (const auto* i = n.as_integer()) return static_cast<double>(i->get());
    wrong(n, key, "a number");
  }
  double positive(std::string_view key) {
    const toml::node& n = need(key);
    const double v = number_of(n, key);
    if (!(v > 0.0)) refuse(place(n), value_text(n), "is not positive for " + full(key), "a number above zero");
    return v;
  }
  int integer(std::string_view key) {
    const toml::node& n = need(key);
    const auto* i = n.as_integer();
    if (i == nullptr) wrong(n, key, "a whole number");
    if (i->get() < 1 || i->get() > 1000000) refuse(place(n), value_text(n), "is out of range for " + full(key), "a whole number from 1 to 1000000");
    return static_cast<int>(i->get());
  }
  bool boolean(std::string_view key, bool fallback) {
    const toml::node* n = find(key);
    if (n == nullptr) return fallback;
    if (const auto* b = n->as_boolean()) return b->get();
    wrong(*n, key, "true or false");
  }
  std::string text(std::string_view key) {
    const toml::node& n = need(key);
    if (const auto* s = n.as_string()) return s->get();
    wrong(n, key, "a text in quotes");
  }
  std::string text(std::string_view key, std::string fallback) {
    return has(key) ? text(key) : (find(key), fallback);
  }
  // A time in days, or a date (a TOML date, date-time or an ISO text) when
  // the scenario has a reference date.
  double time_of(const toml::node& n, std::string_view key) const {
    if (n.is_number()) return number_of(n, key);
    std::optional<CalendarMoment> m;
    if (const auto* d = n.as_date()) m = moment_of(d->get(), nullptr);
    if (const auto* dt = n.as_date_time()) {
      if (dt->get().offset) refuse(place(n), value_text(n), "carries a time zone for " + full(key), "a local date and time");
      m = moment_of(dt->get().date, &dt->get().time);
    }
    if (const auto* s = n.as_string()) {
      m = parse_iso_moment(s->get());
      if (!m) wrong(n, key, "a time in days or an ISO 8601 date such as 2024-03-01");
    }
    if (!m) wrong(n, key, "a time in days or a date");
    if (!cx_.reference)
      refuse(place(n), value_text(n), "is a date, but the scenario has no reference_date",
             "a time in days, or reference_date = YYYY-MM-DD at the top of the file");
    return days_between(*cx_.reference, *m);
  }
  double time(std::string_view key) { return time_of(need(key), key); }

  const toml::table& sub_table(std::string_view key) {
    const toml::node& n = need(key);
    if (const auto* t = n.as_table()) return *t;
    wrong(n, key, "a table [" + full(key) + "]");
  }
  const toml::array& array(std::string_view key) {
    const toml::node& n = need(key);
    if (const auto* a = n.as_array()) return *a;
    wrong(n, key, "a list [ ... ]");
  }

  // Refuses every key that was not asked for.
  void finish() const {
    for (const auto& [k, v] : t_) {
      if (asked_.count(std::string(k.str())) != 0) continue;
      std::string known;
      for (const std::string& a : asked_) known += (known.empty() ? "" : ", ") + a;
      static_cast<void>(v);
      const Place where{cx_.name, static_cast<long>(k.source().begin.line),
                        static_cast<long>(k.source().begin.column), ""};
      refuse(where, std::string(k.str()), "is not a key of " + label(),
             known.empty() ? "no keys here" : "one of " + known);
    }
  }

  std::string label() const { return path_.empty() ? "the top level" : "[" + path_ + "]"; }
  std::string full(std::string_view key) const {
    return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
  }
  const Context& context() const { return cx_; }

 private:
  const Context& cx_;
  const toml::table& t_;
  std::string path_;
  std::set<std::string> asked_;
};

// A table's text: a CSV file named by the value, or the value itself when
// it holds more than one line (a table written inline).
struct TableText {
  std::string text;
  TextSource source;
};

TableText table_text(Table& t, std::string_view key) {
  const toml::node& n = t.need(key);
  const auto* s = n.as_string();
  if (s == nullptr) t.wrong(n, key, "a CSV file name in quotes, or a table written inline in \"\"\" quotes");
  const std::string& v = s->get();
  if (v.find('\n') != std::string::npos) {
    return {v, {t.context().name, static_cast<long>(n.source().begin.line) + 1}};
  }
  const fs::path p = t.context().file.parent_path() / v;
  return {read_whole_file(p, t.place(n)), {p.string(), 1}};
}

std::vector<ColumnSpec> constituent_columns(const std::vector<Constituent>& cs) {
  std::vector<ColumnSpec> cols;
  for (const Constituent& c : cs) cols.push_back({c.name, c.unit});
  return cols;
}

Series read_series(Table& t, std::string_view key, const std::vector<ColumnSpec>& cols) {
  const TableText tt = table_text(t, key);
  CsvTable table = read_csv_table(tt.text, tt.source, KeyKind::kTime, cols, t.context().reference);
  return {tt.source.file, std::move(table.key), std::move(table.columns), std::move(table.lines)};
}

bool is_identifier(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

Constituent read_constituent(Table& c) {
  Constituent k{c.text("name"), c.text("unit", ""), 1.0};
  k.factor = c.number("factor", 1.0);
  if (k.factor == 0.0) refuse(c.place(), "0", "is the factor of " + k.name, "a factor other than zero (file value = model value * factor)");
  if (!is_identifier(k.name) || k.name == "time" || k.name == "date" || k.name == "x")
    refuse(c.place(), k.name, "cannot name a constituent (it heads CSV columns and names NetCDF variables)",
           "letters, digits and _, not starting with a digit, other than time, date and x");
  c.finish();
  return k;
}

// Declared kinetics name the constituents; [[constituents]], when there,
// must list the same names in the same order and may give each its factor
// (a unit, when given, must be the kinetics' unit).
void check_against_kinetics(const Table& c, const Constituent& k, const ConstituentDecl& decl,
                            const DeclaredKinetics& kin) {
  if (k.name != decl.name)
    refuse(c.place(), k.name, "is not the kinetics' constituent here (" + kin.source() + ")",
           "the kinetics' constituents in their order: here " + decl.name);
  if (!k.unit.empty() && k.unit != decl.unit)
    refuse(c.place(), k.unit, "is not the unit the kinetics give " + k.name,
           decl.unit.empty() ? std::string("no unit (the kinetics give none)") : "\"" + decl.unit + "\", or no unit entry");
}

void read_constituents(Table& top, ScenarioDocument& d) {
  const toml::node* list_node = top.find("constituents");
  if (d.kinetics != nullptr && list_node == nullptr) {
    for (const ConstituentDecl& c : d.kinetics->constituents()) {
      // "time" and "date" head the tables' key columns.
      if (c.name == "time" || c.name == "date")
        refuse(top.place(*top.find("kinetics")), c.name, "is a constituent of the kinetics (" + d.kinetics->source() + ") that cannot head a CSV column",
               "constituent names other than time and date");
      d.constituents.push_back({c.name, c.unit, 1.0});
    }
    return;
  }
  const toml::array& list = top.array("constituents");
  for (const toml::node& n : list) {
    const auto* tt = n.as_table();
    if (tt == nullptr) top.wrong(n, "constituents", "a [[constituents]] table");
    Table c(top.context(), *tt, "constituents");
    Constituent k = read_constituent(c);
    for (const Constituent& o : d.constituents)
      if (o.name == k.name) refuse(c.place(), k.name, "is named twice among the constituents", "a name of its own for each");
    if (d.kinetics != nullptr && d.constituents.size() < d.kinetics->constituents().size()) {
      const ConstituentDecl& decl = d.kinetics->constituents()[d.constituents.size()];
      check_against_kinetics(c, k, decl, *d.kinetics);
      k.unit = decl.unit;
    }
    d.constituents.push_back(k);
  }
  const std::size_t wanted = d.kinetics != nullptr ? d.kinetics->constituents().size() : 6;
  if (d.constituents.size() != wanted)
    refuse(top.place(*list_node), "", "declares " + std::to_string(d.constituents.size()) + " constituents",
           d.kinetics != nullptr
               ? std::to_string(wanted) + " [[constituents]], those of the kinetics, or none"
               : "six [[constituents]], in the order of the built-in kinetics: tracer, substrate, nutrient, two growing pools, detritus");
}

void read_times(Table& top, ScenarioDocument& d) {
  Table t(top.context(), top.sub_table("times"), "times");
  d.start = t.time("start");
  const toml::node& out = t.need("outputs");
  if (const auto* a = out.as_array()) {
    for (const toml::node& v : *a) d.outputs.push_back(t.time_of(v, "outputs"));
  } else if (const auto* r = out.as_table()) {
    Table range(top.context(), *r, "times.outputs");
    const double from = range.time("from");
    const double to = range.time("to");
    const double step = range.positive("step");
    range.finish();
    if (to < from) refuse(range.place(), "", "ends before it begins", "to at or after from");
    // Each time computed from the first, so no rounding error accumulates.
    const long n = static_cast<long>(std::floor((to - from) / step * (1.0 + 1e-12) + 1e-9));
    for (long i = 0; i <= n; ++i) d.outputs.push_back(from + static_cast<double>(i) * step);
  } else {
    t.wrong(out, "outputs", "a list of times, or { from = ..., to = ..., step = ... }");
  }
  for (std::size_t i = 1; i < d.outputs.size(); ++i)
    if (d.outputs[i] <= d.outputs[i - 1])
      refuse(t.place(out), number_text(d.outputs[i]), "does not come after the output time before it", "increasing output times");
  if (!d.outputs.empty() && d.outputs.front() <= d.start)
    refuse(t.place(out), number_text(d.outputs.front()), "is not after the start", "output times after the start time");
  t.finish();
}

void read_channel(Table& top, ScenarioDocument& d) {
  Table c(top.context(), top.sub_table("channel"), "channel");
  d.first_end = c.number("first_end");
  d.second_end = c.number("second_end");
  if (!(d.second_end > d.first_end)) refuse(c.place(), "", "second_end does not lie beyond first_end", "first_end < second_end");
  const std::string outflow = c.text("outflow", "fixed");
  if (outflow == "free") {
    d.outflow = Outflow::kFree;
  } else if (outflow != "fixed") {
    refuse(c.place(*c.find("outflow")), outflow, "is not an outflow type", "fixed (the second end holds its boundary series) or free");
  }
  const toml::node& g = c.need("geometry");
  const auto* gs = g.as_string();
  if (gs == nullptr) c.wrong(g, "geometry", "\"built-in\" or a CSV table of x, area, dispersion");
  if (gs->get() != "built-in") {
    const TableText tt = table_text(c, "geometry");
    CsvTable t = read_csv_table(tt.text, tt.source, KeyKind::kPosition, {{"area", ""}, {"dispersion", ""}}, std::nullopt, d.length_unit);
    d.geometry.source = tt.source.file;
    d.geometry.x = t.key;
    d.geometry.area = t.columns[0];
    d.geometry.dispersion = t.columns[1];
    for (std::size_t i = 0; i < t.key.size(); ++i) {
      if (!(d.geometry.area[i] > 0.0) || !(d.geometry.dispersion[i] > 0.0))
        refuse({tt.source.file, t.lines[i], 0, ""}, "", "holds an area or dispersion that is not positive", "area and dispersion above zero");
    }
    // Placed at the row that falls short: the first, or else the last.
    const bool short_first = d.geometry.x.front() > d.first_end;
    if (short_first || d.geometry.x.back() < d.second_end) {
      const std::size_t r = short_first ? 0 : t.key.size() - 1;
      refuse({tt.source.file, t.lines[r], 1, "x"}, number_text(t.key[r]),
             "leaves the reach from first_end to second_end uncovered",
             "rows from at or before " + number_text(d.first_end) + " to at or after " + number_text(d.second_end));
    }
  }
  c.finish();
}

// Both ends' series must share their times: the model keeps one table.
void require_same_times(const Series& a, const Series& b, std::string_view what) {
  if (a.time == b.time) return;
  std::size_t i = 0;
  while (i < a.time.size() && i < b.time.size() && a.time[i] == b.time[i]) ++i;
  // The first row that differs, or the last row of the shorter table.
  const std::size_t r = i < b.time.size() ? i : b.time.size() - 1;
  const std::string problem = i < b.time.size()
      ? "is not the time of row " + std::to_string(i + 1) + " in " + a.source +
            (i < a.time.size() ? " (" + number_text(a.time[i]) + ")" : " (which has " + std::to_string(a.time.size()) + " rows)")
      : "ends the table, but " + a.source + " goes on";
  refuse({b.source, r < b.lines.size() ? b.lines[r] : 0, 1, "time"}, number_text(b.time[r]), problem,
         "the same times in every " + std::string(what) + " table (the model keeps them in one table)");
}

void read_boundaries(Table& top, ScenarioDocument& d) {
  Table b(top.context(), top.sub_table("boundaries"), "boundaries");
  const auto cols = constituent_columns(d.constituents);
  d.first_boundary = read_series(b, "first", cols);
  d.second_boundary = read_series(b, "second", cols);
  require_same_times(d.first_boundary, d.second_boundary, "boundary");
  b.finish();
}

void read_laterals(Table& top, ScenarioDocument& d) {
  Table l(top.context(), top.sub_table("laterals"), "laterals");
  d.steepness = l.number("steepness");
  d.from_first_boundary = l.boolean("from_first_boundary", false);
  const auto cols = constituent_columns(d.constituents);
  if (const toml::node* inputs = l.find("inputs")) {
    const auto* a = inputs->as_array();
    if (a == nullptr) l.wrong(*inputs, "inputs", "[[laterals.inputs]] tables");
    for (const toml::node& n : *a) {
      const auto* t = n.as_table();
      if (t == nullptr) l.wrong(n, "inputs", "a [[laterals.inputs]] table");
      Table in(top.context(), *t, "laterals.inputs");
      LateralInput li{in.text("name"), in.number("position"), in.number("flow"), {}};
      if (d.from_first_boundary && !in.has("concentrations")) {
        in.find("concentrations");
      } else {
        li.concentrations = read_series(in, "concentrations", cols);
      }
      in.finish();
      for (const LateralInput& o : d.laterals)
        if (o.name == li.name) refuse(in.place(), li.name, "is named twice among the lateral inputs", "a name of its own for each");
      if (!d.laterals.empty() && !li.concentrations.time.empty() &&
          !d.laterals.front().concentrations.time.empty())
        require_same_times(d.laterals.front().concentrations, li.concentrations, "lateral-input");
      d.laterals.push_back(std::move(li));
    }
  }
  l.finish();
}

void read_driver(Table& top, ScenarioDocument& d) {
  Table f(top.context(), top.sub_table("flow_driver"), "flow_driver");
  d.flow_driver = read_series(f, "series", {{"factor", ""}});
  f.finish();
}

void read_initial_profile(Table& top, ScenarioDocument& d) {
  Table p(top.context(), top.sub_table("initial_profile"), "initial_profile");
  const bool linear = p.boolean("linear", false);
  if (linear == p.has("table"))
    refuse(p.place(), "", "the initial profile needs exactly one of linear = true and table = ...", "a CSV table of x and every constituent, or linear = true");
  if (!linear) {
    const TableText tt = table_text(p, "table");
    CsvTable t = read_csv_table(tt.text, tt.source, KeyKind::kPosition, constituent_columns(d.constituents), std::nullopt, d.length_unit);
    // Placed at the last row, or at the first row beyond the grid's points.
    const std::size_t rows = t.key.size();
    if (static_cast<int>(rows) != d.points) {
      const std::size_t r = std::min(rows, static_cast<std::size_t>(d.points) + 1) - 1;
      refuse({tt.source.file, t.lines[r], 0, ""}, "",
             static_cast<int>(rows) < d.points ? "ends the profile after " + std::to_string(rows) + " points"
                                               : "is point " + std::to_string(r + 1) + " of the profile",
             "one row per grid point: " + std::to_string(d.points));
    }
    d.profile_x = std::move(t.key);
    d.profile = std::move(t.columns);
  }
  p.finish();
}

// Declared kinetics, or their refusal placed at the scenario's kinetics
// entry (the kinetics reader's message names its own file and line).
template <class Read>
std::shared_ptr<const DeclaredKinetics> declared(const Place& where, std::string_view value, Read read) {
  try {
    return read();
  } catch (const KineticsError& e) {
    refuse(where, value, std::string("holds kinetics that cannot be used: ") + e.what(),
           "kinetics written as examples/kinetics/README.md describes");
  }
}

// kinetics = "file.toml" (resolved against the scenario's folder), a
// [kinetics] table written exactly as a kinetics file is, or [kinetics] with
// model = "built-in" and [kinetics.parameters].
void read_kinetics(Table& top, ScenarioDocument& d) {
  const toml::node& n = top.need("kinetics");
  const fs::path folder = top.context().file.parent_path();
  if (const auto* s = n.as_string()) {
    d.kinetics_file = folder / s->get();
    if (!fs::is_regular_file(d.kinetics_file))
      refuse(top.place(n), s->get(), "cannot be opened", "a readable kinetics file (paths resolve against the scenario file's folder)");
    d.kinetics = declared(top.place(n), s->get(), [&] { return DeclaredKinetics::read_file(d.kinetics_file); });
    return;
  }
  const auto* t = n.as_table();
  if (t == nullptr) top.wrong(n, "kinetics", "a kinetics file name in quotes, or a [kinetics] table");
  if (!t->contains("model")) {
    d.kinetics = declared(top.place(n), "[kinetics]", [&] { return read_kinetics_table(*t, top.context().name, folder); });
    return;
  }
  Table k(top.context(), *t, "kinetics");
  const std::string model = k.text("model");
  if (model != "built-in")
    refuse(k.place(*k.find("model")), model, "is not a kinetics model",
           "\"built-in\"; declared kinetics are written without a model key, inline or as kinetics = \"file.toml\"");
  Table p(top.context(), k.sub_table("parameters"), "kinetics.parameters");
  for (std::size_t i = 0; i < kBuiltInParameterNames.size(); ++i) {
    const std::string_view key = kBuiltInParameterNames[i].key;
    d.parameters[i] = key == "unused" ? p.number(key, 0.0) : p.number(key);
  }
  p.finish();
  k.finish();
}

void read_output(Table& top, ScenarioDocument& d) {
  if (!top.has("output")) return;
  Table o(top.context(), top.sub_table("output"), "output");
  const fs::path base = top.context().file.parent_path();
  auto path = [&](std::string_view key) -> fs::path {
    const std::string v = o.text(key, "");
    return v.empty() ? fs::path() : base / v;
  };
  d.output.txc = path("txc");
  d.output.netcdf = path("netcdf");
  d.output.stations_csv = path("stations_csv");
  d.output.budget_csv = path("budget");
  if (const toml::node* s = o.find("stations")) {
    const auto* a = s->as_array();
    if (a == nullptr) o.wrong(*s, "stations", "a list of { name = ..., position = ... }");
    for (const toml::node& e : *a) {
      const auto* t = e.as_table();
      if (t == nullptr) o.wrong(e, "stations", "{ name = ..., position = ... }");
      Table st(top.context(), *t, "output.stations");
      Station station{st.text("name"), st.number("position")};
      if (station.position < d.first_end || station.position > d.second_end)
        refuse(st.place(), number_text(station.position), "lies outside the reach for station " + station.name, "a position from first_end to second_end");
      st.finish();
      d.output.stations.push_back(station);
    }
    if (d.output.stations_csv.empty() && d.output.netcdf.empty())
      refuse(o.place(*s), "", "stations need a file to go to", "stations_csv = ... or netcdf = ...");
  }
  o.finish();
}

void read_top(const toml::table& root, const Context& cx, ScenarioDocument& d) {
  Table top(cx, root, "");
  d.title = top.text("title", "");
  Table grid(cx, top.sub_table("grid"), "grid");
  d.points = grid.integer("points");
  d.tau = grid.number("tau");
  d.kappa = grid.number("kappa");
  d.alpha = grid.number("alpha");
  grid.finish();
  Table in(cx, top.sub_table("integrator"), "integrator");
  d.rtol = in.number("rtol");
  d.atol = in.number("atol");
  d.non_negative = in.boolean("non_negative", false);
  in.finish();
  if (top.has("units")) {
    Table u(cx, top.sub_table("units"), "units");
    d.length_unit = u.text("length", "");
    d.length_factor = u.number("length_factor", 1.0);
    d.time_model = u.number("time_model", 1.0);
    d.time_days = u.number("time_days", 1.0);
    for (const double f : {d.length_factor, d.time_model, d.time_days})
      if (f == 0.0) refuse(u.place(), "0", "is a unit factor of zero", "factors other than zero (each divides)");
    u.finish();
  }
  read_kinetics(top, d);  // declared kinetics name the constituents
  read_constituents(top, d);
  read_times(top, d);
  read_channel(top, d);
  read_boundaries(top, d);
  read_laterals(top, d);
  read_driver(top, d);
  read_initial_profile(top, d);
  read_output(top, d);
  top.find("reference_date");
  top.finish();
}

std::optional<CalendarMoment> reference_of(const toml::table& root, const std::string& name,
                                           std::string& text) {
  const toml::node* n = root.get("reference_date");
  if (n == nullptr) return std::nullopt;
  const Place where{name, static_cast<long>(n->source().begin.line), static_cast<long>(n->source().begin.column), ""};
  if (const auto* d = n->as_date()) {
    text = value_text(*n);
    return moment_of(d->get(), nullptr);
  }
  if (const auto* dt = n->as_date_time(); dt != nullptr && !dt->get().offset) {
    text = value_text(*n);
    return moment_of(dt->get().date, &dt->get().time);
  }
  if (const auto* s = n->as_string()) {
    if (auto m = parse_iso_moment(s->get())) {
      text = s->get();
      return m;
    }
  }
  refuse(where, value_text(*n), "is not a date for reference_date", "a date such as 2024-01-01 (or 2024-01-01T00:00:00)");
}

}  // namespace

ScenarioDocument read_scenario_text(std::string_view text, const fs::path& file) {
  const std::string name = file.string();
  toml::table root;
  try {
    root = toml::parse(text, name);
  } catch (const toml::parse_error& e) {
    const auto& b = e.source().begin;
    // The line as written, to say what was there.
    std::string line;
    std::istringstream lines{std::string(text)};
    for (std::size_t i = 0; i < b.line && std::getline(lines, line);) ++i;
    std::string problem = "is not valid TOML: " + std::string(e.description());
    for (std::size_t i = 0; i + 2 < line.size(); ++i)
      if (std::isdigit(static_cast<unsigned char>(line[i])) && line[i + 1] == ',' &&
          std::isdigit(static_cast<unsigned char>(line[i + 2])))
        problem += " (a decimal comma? write numbers with a decimal point)";
    refuse({name, static_cast<long>(b.line), static_cast<long>(b.column), ""}, line, problem,
           "key = value lines and [table] headers");
  }
  ScenarioDocument d;
  d.file = file;
  Context cx{file, name, reference_of(root, name, d.reference_text)};
  d.reference_date = cx.reference;
  read_top(root, cx, d);
  return d;
}

ScenarioDocument read_scenario_document(const fs::path& file) {
  const std::string text = read_whole_file(file, {"qz5", 0, 0, ""});
  return read_scenario_text(text, file);
}

bool is_scenario_file(const fs::path& file) {
  if (file.extension() == ".toml") return true;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t s = line.find_first_not_of(" \t\r");
    if (s == std::string::npos || line[s] == '#') continue;
    if (line[s] == '[') return true;
    std::size_t e = s;
    while (e < line.size() && (std::isalnum(static_cast<unsigned char>(line[e])) || line[e] == '_' || line[e] == '-')) ++e;
    const bool key = e > s;
    while (e < line.size() && (line[e] == ' ' || line[e] == '\t')) ++e;
    return key && e < line.size() && line[e] == '=';
  }
  return false;
}

}  // namespace qz5::scenario_file

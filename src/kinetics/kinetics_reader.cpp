// Reading and checking a kinetics file (the layout is in declared_kinetics.h).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <toml++/toml.h>

#include "kinetics/declared_kinetics.h"
#include "kinetics/kinetics_table.h"
#include "kinetics/expression.h"
#include "model/reaction_kinetics.h"

namespace qz5 {

namespace {

using kinetics_detail::kPointNames;

bool is_identifier(std::string_view s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

std::string trim(std::string_view s) {
  const auto a = s.find_first_not_of(" \t\r\n");
  if (a == std::string_view::npos) return {};
  const auto b = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(a, b - a + 1));
}

int line_of(const toml::node& n) { return static_cast<int>(n.source().begin.line); }

// The entries of a table in the order they are written (the library keeps
// them sorted by key), so that parameters and forcings keep the file's order.
std::vector<std::pair<std::string, const toml::node*>> in_file_order(const toml::table& t) {
  std::vector<std::pair<std::string, const toml::node*>> entries;
  for (const auto& [key, node] : t) entries.emplace_back(std::string(key.str()), &node);
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    const toml::source_position pa = a.second->source().begin, pb = b.second->source().begin;
    return pa.line != pb.line ? pa.line < pb.line : pa.column < pb.column;
  });
  return entries;
}

// Position (from 1) of an assignment '=' in an expression, or 0: the
// expression language would let a rate overwrite a variable.
std::size_t assignment_at(const std::string& e) {
  for (std::size_t i = 0; i < e.size(); ++i) {
    if (e[i] != '=') continue;
    const char before = i > 0 ? e[i - 1] : ' ';
    const char after = i + 1 < e.size() ? e[i + 1] : ' ';
    if (after == '=') {
      ++i;
      continue;
    }
    if (before == '<' || before == '>' || before == '!' || before == '=') continue;
    return i + 1;
  }
  return 0;
}

}  // namespace

class KineticsReader {
 public:
  KineticsReader(std::string source, std::filesystem::path folder)
      : source_(std::move(source)), folder_(std::move(folder)) {
    k_.source_ = source_;
    k_.folder_ = folder_;
  }

  std::shared_ptr<const DeclaredKinetics> read(std::string_view text) {
    k_.text_ = std::string(text);
    toml::table doc;
    try {
      doc = toml::parse(text, source_);
    } catch (const toml::parse_error& e) {
      fail(static_cast<int>(e.source().begin.line), std::string(e.description()));
    }
    return read_parsed(doc);
  }

  // The same from a table parsed elsewhere (a kinetics table inside a
  // scenario file): its lines are those of the file it was parsed from.
  std::shared_ptr<const DeclaredKinetics> read_table(const toml::table& doc) {
    std::ostringstream text;
    text << toml::toml_formatter(doc);
    k_.text_ = text.str();
    return read_parsed(doc);
  }

 private:
  std::shared_ptr<const DeclaredKinetics> read_parsed(const toml::table& doc) {
    check_keys(doc);
    if (const toml::node* t = doc.get("title")) {
      if (!t->is_string()) fail(line_of(*t), "title must be a text");
      k_.title_ = **t->as_string();
    }
    read_constituents(doc);
    read_parameters(doc);
    read_forcings(doc);
    read_definitions(doc);
    read_rates(doc);
    check_expressions();
    return std::make_shared<const DeclaredKinetics>(std::move(k_));
  }

  [[noreturn]] void fail(int line, const std::string& what) const {
    throw KineticsError(source_ + ":" + std::to_string(line) + ": " + what);
  }

  void check_keys(const toml::table& doc) const {
    static const std::set<std::string> known = {"title",      "definitions", "constituents",
                                                "parameters", "forcings",    "rates"};
    for (const auto& [key, node] : doc) {
      if (known.count(std::string(key.str())) == 0)
        fail(line_of(node), "unknown key \"" + std::string(key.str()) + "\"");
    }
  }

  // Every name is declared once, whatever it names, and none hides a name
  // of the expression language or of the point.
  void claim_name(const std::string& name, int line, const std::string& what) {
    if (!is_identifier(name))
      fail(line, what + " name \"" + name +
                     "\" is not a name (a letter or '_', then letters, digits, '_')");
    for (const char* p : kPointNames)
      if (name == p) fail(line, what + " name \"" + name + "\" is reserved (t, x, area, dispersion, flow)");
    if (reserved_.empty()) {
      mu::Parser p;
      kinetics_detail::prepare_parser(p);
      for (const auto& f : p.GetFunDef()) reserved_.insert(f.first);
      for (const auto& c : p.GetConst()) reserved_.insert(c.first);
    }
    if (reserved_.count(name) != 0)
      fail(line, what + " name \"" + name + "\" is a function or constant of the expressions");
    const auto [it, fresh] = lines_.emplace(name, line);
    if (!fresh)
      fail(line, "duplicate name \"" + name + "\" (first declared on line " +
                     std::to_string(it->second) + ")");
  }

  void read_constituents(const toml::table& doc) {
    const toml::node* node = doc.get("constituents");
    if (node == nullptr) fail(1, "no [[constituents]] declared");
    const toml::array* list = node->as_array();
    if (list == nullptr || list->empty()) fail(line_of(*node), "no [[constituents]] declared");
    if (static_cast<int>(list->size()) > kMaxNcomp)
      fail(line_of(*node), std::to_string(list->size()) + " constituents declared, at most " +
                               std::to_string(kMaxNcomp) + " can be run");
    for (const toml::node& item : *list) {
      const toml::table* t = item.as_table();
      if (t == nullptr) fail(line_of(item), "a constituent must be a table");
      ConstituentDecl c;
      const int line = line_of(item);
      for (const auto& [key, value] : *t) {
        const std::string k(key.str());
        if (k == "name" && value.is_string()) {
          c.name = **value.as_string();
        } else if (k == "unit" && value.is_string()) {
          c.unit = **value.as_string();
        } else if (k == "transported" && value.is_boolean()) {
          c.transported = **value.as_boolean();
        } else {
          fail(line_of(value), "constituent key \"" + k +
                                   "\" is unknown or of the wrong type (name and unit are texts, "
                                   "transported true or false)");
        }
      }
      if (c.name.empty()) fail(line, "a constituent without a name");
      claim_name(c.name, line, "constituent");
      k_.constituents_.push_back(c);
    }
    k_.rates_.assign(k_.constituents_.size(), std::string());
    rate_lines_.assign(k_.constituents_.size(), 0);
  }

  static std::optional<double> number(const toml::node& n) {
    if (const auto* f = n.as_floating_point()) return **f;
    if (const auto* i = n.as_integer()) return static_cast<double>(**i);
    return std::nullopt;
  }

  void read_parameter_table(KineticsParameter& p, const toml::table& t) {
    for (const auto& [key, value] : t) {
      const std::string k(key.str());
      const int line = line_of(value);
      if (k == "value" || k == "min" || k == "max") {
        const auto v = number(value);
        if (!v) fail(line, "parameter " + p.name + ": " + k + " must be a number");
        (k == "value" ? p.value : k == "min" ? p.min : p.max) = *v;
      } else if (k == "unit" && value.is_string()) {
        p.unit = **value.as_string();
      } else if (k == "description" && value.is_string()) {
        p.description = **value.as_string();
      } else if (k == "table" && value.is_array()) {
        read_profile(p, *value.as_array(), line);
      } else {
        fail(line, "parameter " + p.name + ": key \"" + k + "\" is unknown or of the wrong type");
      }
    }
    if (!p.varies() && t.get("value") == nullptr)
      fail(p.line, "parameter " + p.name + " has neither a value nor a table");
    if (!p.varies() && !(p.value >= p.min && p.value <= p.max))
      fail(p.line, "parameter " + p.name + ": value outside its min .. max");
    for (std::size_t i = 0; i < p.table_v.size(); ++i)
      if (!(p.table_v[i] >= p.min && p.table_v[i] <= p.max))
        fail(p.line, "parameter " + p.name + ": the table's value " + toml_number(p.table_v[i]) +
                         " at " + toml_number(p.table_x[i]) + " is outside its min .. max");
  }

  void read_profile(KineticsParameter& p, const toml::array& rows, int line) {
    for (const toml::node& row : rows) {
      const toml::array* pair = row.as_array();
      std::optional<double> x, v;
      if (pair != nullptr && pair->size() == 2) {
        x = number(*pair->get(0));
        v = number(*pair->get(1));
      }
      if (!x || !v) fail(line_of(row), "parameter " + p.name + ": a table row is [position, value]");
      if (!p.table_x.empty() && !(*x > p.table_x.back()))
        fail(line_of(row), "parameter " + p.name + ": table positions must increase (" +
                               toml_number(*x) + " after " + toml_number(p.table_x.back()) + ")");
      p.table_x.push_back(*x);
      p.table_v.push_back(*v);
    }
    if (p.table_x.empty()) fail(line, "parameter " + p.name + ": the table is empty");
  }

  static std::string toml_number(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
  }

  void read_parameters(const toml::table& doc) {
    const toml::node* node = doc.get("parameters");
    if (node == nullptr) return;
    const toml::table* t = node->as_table();
    if (t == nullptr) fail(line_of(*node), "parameters must be a table");
    for (const auto& [name, node] : in_file_order(*t)) {
      const toml::node& value = *node;
      KineticsParameter p;
      p.name = name;
      p.line = line_of(value);
      claim_name(p.name, p.line, "parameter");
      if (const auto v = number(value)) {
        p.value = *v;
      } else if (const toml::table* pt = value.as_table()) {
        read_parameter_table(p, *pt);
      } else {
        fail(p.line, "parameter " + p.name + " must be a number or a table");
      }
      k_.parameters_.push_back(std::move(p));
    }
  }

  void read_forcings(const toml::table& doc) {
    const toml::node* node = doc.get("forcings");
    if (node == nullptr) return;
    const toml::table* t = node->as_table();
    if (t == nullptr) fail(line_of(*node), "forcings must be a table");
    for (const auto& [name, node] : in_file_order(*t)) {
      const toml::node& value = *node;
      KineticsForcing f;
      f.name = name;
      f.line = line_of(value);
      claim_name(f.name, f.line, "forcing");
      if (value.is_string()) {
        f.file = **value.as_string();
      } else if (const toml::table* ft = value.as_table()) {
        for (const auto& [fk, fv] : *ft) {
          const std::string k(fk.str());
          if (k == "file" && fv.is_string()) {
            f.file = **fv.as_string();
          } else if (k == "column" && fv.is_string()) {
            f.column = **fv.as_string();
          } else {
            fail(line_of(fv), "forcing " + f.name + ": key \"" + k +
                                  "\" is unknown or of the wrong type (file and column are texts)");
          }
        }
      }
      if (f.file.empty()) fail(f.line, "forcing " + f.name + " needs a file");
      read_series(f);
      k_.forcings_.push_back(std::move(f));
    }
  }

  static std::vector<std::string> split_csv(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream s(line);
    std::string cell;
    while (std::getline(s, cell, ',')) cells.push_back(trim(cell));
    if (!line.empty() && line.back() == ',') cells.emplace_back();
    return cells;
  }

  // A CSV file: a header (time, then the columns' names), then rows of
  // numbers; blank lines and lines starting with '#' are skipped.
  void read_series(KineticsForcing& f) {
    const std::filesystem::path path = folder_ / f.file;
    std::ifstream in(path);
    if (!in) fail(f.line, "forcing " + f.name + ": cannot read file " + path.string());
    const std::string where = path.string();
    auto bad = [&](long line, const std::string& what) {
      throw KineticsError(where + ":" + std::to_string(line) + ": " + what);
    };
    std::string text;
    long line = 0;
    int column = -1;
    std::size_t width = 0;
    while (std::getline(in, text)) {
      ++line;
      const std::string t = trim(text);
      if (t.empty() || t[0] == '#') continue;
      const std::vector<std::string> cells = split_csv(t);
      if (column < 0) {
        width = cells.size();
        if (width < 2) bad(line, "the header needs a time column and a value column");
        if (f.column.empty()) {
          if (width > 2) bad(line, "more than one value column: name one with column = \"...\"");
          column = 1;
          f.column = cells[1];
        } else {
          const auto it = std::find(cells.begin() + 1, cells.end(), f.column);
          if (it == cells.end()) bad(line, "no column \"" + f.column + "\"");
          column = static_cast<int>(it - cells.begin());
        }
        continue;
      }
      if (cells.size() != width)
        bad(line, std::to_string(cells.size()) + " values, the header has " + std::to_string(width));
      double tv = 0.0, vv = 0.0;
      if (!parse_number(cells[0], tv) || !parse_number(cells[static_cast<std::size_t>(column)], vv))
        bad(line, "not a number");
      if (!f.t.empty() && !(tv > f.t.back())) bad(line, "times must increase");
      f.t.push_back(tv);
      f.v.push_back(vv);
    }
    if (column < 0) bad(line, "no header");
    if (f.t.empty()) bad(line, "no values");
  }

  static bool parse_number(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(v);
  }

  void read_definitions(const toml::table& doc) {
    const toml::node* node = doc.get("definitions");
    if (node == nullptr) return;
    const toml::array* list = node->as_array();
    if (list == nullptr) fail(line_of(*node), "definitions must be a list of texts");
    for (const toml::node& item : *list) {
      const int line = line_of(item);
      if (!item.is_string()) fail(line, "a definition must be a text \"name = expression\"");
      const std::string text = **item.as_string();
      const auto eq = text.find('=');
      if (eq == std::string::npos || (eq + 1 < text.size() && text[eq + 1] == '='))
        fail(line, "definition \"" + text + "\" is not of the form name = expression");
      KineticsDefinition d{trim(text.substr(0, eq)), trim(text.substr(eq + 1)), line};
      claim_name(d.name, line, "definition");
      if (d.expression.empty()) fail(line, "definition of " + d.name + " has no expression");
      k_.definitions_.push_back(std::move(d));
    }
  }

  void read_rates(const toml::table& doc) {
    const toml::node* node = doc.get("rates");
    if (node == nullptr) return;
    const toml::table* t = node->as_table();
    if (t == nullptr) fail(line_of(*node), "rates must be a table");
    for (const auto& [name, node] : in_file_order(*t)) {
      const toml::node& value = *node;
      const int line = line_of(value);
      const auto it = std::find_if(k_.constituents_.begin(), k_.constituents_.end(),
                                   [&](const ConstituentDecl& c) { return c.name == name; });
      if (it == k_.constituents_.end())
        fail(line, "rate for \"" + name + "\", which is not a declared constituent");
      std::string e;
      if (value.is_string()) {
        e = trim(**value.as_string());
      } else if (const auto v = number(value)) {
        e = toml_number(*v);
      } else {
        fail(line, "rate of " + name + " must be an expression in quotes");
      }
      if (e.empty()) fail(line, "rate of " + name + " is empty");
      const auto k = static_cast<std::size_t>(it - k_.constituents_.begin());
      k_.rates_[k] = e;
      rate_lines_[k] = line;
    }
  }

  // Compiles every expression on its own, with only the names it may use,
  // so that a refusal can say which expression and where.
  void check_expressions() {
    const kinetics_detail::Slots slots(k_);
    std::vector<double> values(static_cast<std::size_t>(slots.count), 1.0);
    std::vector<std::string> names;
    for (const auto& c : k_.constituents_) names.push_back(c.name);
    for (const auto& p : k_.parameters_) names.push_back(p.name);
    for (const auto& f : k_.forcings_) names.push_back(f.name);
    for (const auto& d : k_.definitions_) names.push_back(d.name);
    for (const char* p : kPointNames) names.emplace_back(p);
    // The definitions' own slots come after the rest; a definition may use
    // only those before it.
    auto define_all = [&](mu::Parser& p, int definitions_known) {
      for (int i = 0; i < slots.count; ++i) {
        const bool is_def = i >= slots.definitions && i < slots.point;
        if (is_def && i - slots.definitions >= definitions_known) continue;
        p.DefineVar(names[static_cast<std::size_t>(i)], &values[static_cast<std::size_t>(i)]);
      }
    };
    for (std::size_t d = 0; d < k_.definitions_.size(); ++d) {
      mu::Parser p;
      kinetics_detail::prepare_parser(p);
      define_all(p, static_cast<int>(d));
      const KineticsDefinition& def = k_.definitions_[d];
      check_one(p, def.expression, def.line, "definition of " + def.name, static_cast<int>(d));
    }
    mu::Parser p;
    kinetics_detail::prepare_parser(p);
    define_all(p, static_cast<int>(k_.definitions_.size()));
    for (std::size_t k = 0; k < k_.rates_.size(); ++k) {
      if (k_.rates_[k].empty()) continue;
      check_one(p, k_.rates_[k], rate_lines_[k], "rate of " + k_.constituents_[k].name,
                static_cast<int>(k_.definitions_.size()));
    }
  }

  void check_one(mu::Parser& p, const std::string& e, int line, const std::string& what,
                 int definitions_known) {
    const std::string quoted = " in \"" + e + "\"";
    if (const std::size_t at = assignment_at(e))
      fail(line, what + ": an expression cannot assign (\"=\" at position " + std::to_string(at) +
                     quoted + ")");
    int results = 0;
    try {
      p.SetExpr(e);
      p.Eval(results);
    } catch (const mu::Parser::exception_type& err) {
      const int pos = err.GetPos() + 1;
      const std::string token = err.GetToken();
      if (err.GetCode() == mu::ecUNASSIGNABLE_TOKEN && is_identifier(token)) {
        for (std::size_t d = 0; d < k_.definitions_.size(); ++d) {
          if (k_.definitions_[d].name == token && static_cast<int>(d) >= definitions_known)
            fail(line, what + ": definition \"" + token + "\" (line " +
                           std::to_string(k_.definitions_[d].line) +
                           ") is used before it is defined, at position " +
                           std::to_string(pos) + quoted);
        }
        fail(line, what + ": unknown name \"" + token + "\" at position " + std::to_string(pos) +
                       quoted);
      }
      fail(line, what + ": " + plain_message(err.GetMsg()) + " at position " +
                     std::to_string(pos) + quoted);
    }
    if (results != 1) fail(line, what + ": one expression expected, found " +
                                     std::to_string(results) + quoted);
  }

  // The library's message without its own position (counted from 0).
  static std::string plain_message(std::string m) {
    for (const char* tail : {" found at position", " at position", " at expression position"}) {
      const auto at = m.find(tail);
      if (at != std::string::npos) m.erase(at);
    }
    while (!m.empty() && (m.back() == '.' || m.back() == ' ')) m.pop_back();
    if (!m.empty()) m[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(m[0])));
    return m;
  }

  std::string source_;
  std::filesystem::path folder_;
  DeclaredKinetics k_;
  std::map<std::string, int> lines_;
  std::set<std::string> reserved_;
  std::vector<int> rate_lines_;
};

std::shared_ptr<const DeclaredKinetics> DeclaredKinetics::read_file(
    const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw KineticsError(path.string() + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  return KineticsReader(path.string(), path.parent_path()).read(text.str());
}

std::shared_ptr<const DeclaredKinetics> DeclaredKinetics::read_text(
    std::string_view text, const std::string& source, const std::filesystem::path& folder) {
  return KineticsReader(source, folder).read(text);
}

std::shared_ptr<const DeclaredKinetics> read_kinetics_table(const toml::table& table,
                                                            const std::string& source,
                                                            const std::filesystem::path& folder) {
  return KineticsReader(source, folder).read_table(table);
}

std::shared_ptr<const DeclaredKinetics> DeclaredKinetics::with_parameter(const std::string& name,
                                                                         double value) const {
  auto copy = std::make_shared<DeclaredKinetics>(*this);
  for (KineticsParameter& p : copy->parameters_) {
    if (p.name != name) continue;
    if (p.varies())
      throw KineticsError("parameter " + name +
                          " varies along the channel: give it a table of (x, value) rows");
    if (!(value >= p.min && value <= p.max))
      throw KineticsError("parameter " + name + ": value outside its min .. max");
    p.value = value;
    return copy;
  }
  throw KineticsError("no parameter \"" + name + "\" in " + source_);
}

namespace {

std::string number_text(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

// Why the rows (x, v) cannot be the table of parameter p; "" when they can.
std::string table_fault(const KineticsParameter& p, const std::vector<double>& x,
                        const std::vector<double>& v) {
  if (x.empty()) return "the table is empty";
  if (x.size() != v.size())
    return std::to_string(x.size()) + " positions but " + std::to_string(v.size()) + " values";
  for (std::size_t i = 0; i < x.size(); ++i) {
    const std::string row = "row " + std::to_string(i + 1) + " (" + number_text(x[i]) + ", " +
                            number_text(v[i]) + ")";
    if (!std::isfinite(x[i]) || !std::isfinite(v[i])) return row + ": numbers must be finite";
    if (i > 0 && !(x[i] > x[i - 1]))
      return row + ": table positions must increase (" + number_text(x[i]) + " after " +
             number_text(x[i - 1]) + ")";
    if (!(v[i] >= p.min && v[i] <= p.max))
      return row + ": value outside its min .. max (" + number_text(p.min) + " .. " +
             number_text(p.max) + ")";
  }
  return "";
}

}  // namespace

std::shared_ptr<const DeclaredKinetics> DeclaredKinetics::with_table(
    const std::string& name, const std::vector<double>& x, const std::vector<double>& v) const {
  auto copy = std::make_shared<DeclaredKinetics>(*this);
  for (KineticsParameter& p : copy->parameters_) {
    if (p.name != name) continue;
    const std::string fault = table_fault(p, x, v);
    if (!fault.empty()) throw KineticsError("parameter " + name + ": " + fault);
    p.table_x = x;
    p.table_v = v;
    return copy;
  }
  throw KineticsError("no parameter \"" + name + "\" in " + source_);
}

}  // namespace qz5

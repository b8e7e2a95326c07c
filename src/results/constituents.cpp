#include "results/constituents.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace qz5::results {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

bool is_identifier(std::string_view s) {
  if (s.empty() || std::isalpha(static_cast<unsigned char>(s[0])) == 0) return false;
  return std::all_of(s.begin(), s.end(), [](char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) != 0 || ch == '_';
  });
}

// Names the record uses for its own variables, and the prefixes of the
// station and budget variables made from a constituent's name.
bool is_reserved(std::string_view s) {
  for (std::string_view r : {"time", "x", "point", "interval", "interval_bounds", "nv"})
    if (s == r) return true;
  return s.rfind("station_", 0) == 0 || s.rfind("budget_", 0) == 0;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Constituent 1 is the conservative tracer; named salinity it is sea water
// salinity in the CF sense. Other constituents have no CF name that the
// model could vouch for.
void set_standard_name(ConstituentInfo& c, int k) {
  c.standard_name =
      (k == 1 && equals_ignoring_case(c.name, "salinity")) ? "sea_water_salinity" : "";
}

ConstituentInfo generic(int k) {
  return ConstituentInfo{"c" + std::to_string(k), "file units", "constituent " + std::to_string(k),
                         ""};
}

}  // namespace

ConstituentList parse_constituents(std::string_view spec) {
  ConstituentList out;
  std::size_t pos = 0;
  int k = 0;
  while (pos <= spec.size()) {
    const std::size_t comma = std::min(spec.find(',', pos), spec.size());
    const std::string_view entry = trim(spec.substr(pos, comma - pos));
    ++k;
    if (entry.empty()) {
      out.error = "constituent " + std::to_string(k) + " has an empty entry";
      return out;
    }
    const std::size_t colon = entry.find(':');
    const std::string_view name = trim(entry.substr(0, colon));
    std::string_view unit = colon == std::string_view::npos ? "" : trim(entry.substr(colon + 1));
    if (!is_identifier(name)) {
      out.error = "constituent " + std::to_string(k) + ": \"" + std::string(name) +
                  "\" is not a name (a letter, then letters, digits or _)";
      return out;
    }
    if (is_reserved(name)) {
      out.error = "constituent " + std::to_string(k) + ": the name \"" + std::string(name) +
                  "\" is used by the result files themselves";
      return out;
    }
    for (const ConstituentInfo& c : out.items) {
      if (c.name == name) {
        out.error = "constituent name \"" + std::string(name) + "\" given twice";
        return out;
      }
    }
    if (colon != std::string_view::npos && unit.empty()) {
      out.error =
          "constituent " + std::to_string(k) + " (" + std::string(name) + ") has an empty unit";
      return out;
    }
    if (unit.empty()) unit = "file units";
    ConstituentInfo c{std::string(name), std::string(unit), std::string(name), ""};
    set_standard_name(c, k);
    out.items.push_back(std::move(c));
    pos = comma + 1;
  }
  return out;
}

ConstituentList read_constituents(const std::string& spec_or_file) {
  std::ifstream in(spec_or_file);
  if (!in) return parse_constituents(spec_or_file);
  // The file: comments dropped, line ends turned into separators, blank
  // lines skipped.
  std::string joined;
  std::string line;
  while (std::getline(in, line)) {
    const std::string_view body = trim(std::string_view(line).substr(0, line.find('#')));
    if (body.empty()) continue;
    if (!joined.empty()) joined += ',';
    joined += body;
  }
  if (joined.empty())
    return ConstituentList{{}, "the constituents file " + spec_or_file + " names none"};
  ConstituentList out = parse_constituents(joined);
  if (!out.error.empty()) out.error = spec_or_file + ": " + out.error;
  return out;
}

ConstituentList complete_constituents(const std::vector<ConstituentInfo>& named, int ncomp) {
  ConstituentList out;
  if (static_cast<int>(named.size()) > ncomp) {
    out.error = std::to_string(named.size()) + " constituent names given for " +
                std::to_string(ncomp) + " constituents";
    return out;
  }
  out.items = named;
  for (int k = static_cast<int>(named.size()) + 1; k <= ncomp; ++k) {
    ConstituentInfo g = generic(k);
    for (const ConstituentInfo& c : named) {
      if (c.name == g.name) {
        out.error = "the name \"" + c.name + "\" is also the generic name of constituent " +
                    std::to_string(k);
        return out;
      }
    }
    out.items.push_back(std::move(g));
  }
  return out;
}

ConstituentList run_constituents(const std::vector<ConstituentInfo>& options_named,
                                 const Kinetics* kinetics, int ncomp) {
  if (!options_named.empty() || kinetics == nullptr || !kinetics->declared())
    return complete_constituents(options_named, ncomp);
  std::vector<ConstituentInfo> named;
  std::string names;
  for (const ConstituentDecl& c : kinetics->constituents()) {
    ConstituentInfo info;
    info.name = c.name;
    info.unit = c.unit.empty() ? "file units" : c.unit;
    info.long_name = c.name;
    info.transported = c.transported ? 1 : 0;
    named.push_back(std::move(info));
    names += (names.empty() ? "" : ",") + c.name;
  }
  // The names pass the same rules as names given on the command line.
  ConstituentList checked = parse_constituents(names);
  if (!checked.error.empty()) {
    checked.error = "the kinetics' constituent names: " + checked.error;
    return checked;
  }
  for (std::size_t k = 0; k < named.size() && k < checked.items.size(); ++k)
    named[k].standard_name = checked.items[k].standard_name;
  return complete_constituents(named, ncomp);
}

}  // namespace qz5::results

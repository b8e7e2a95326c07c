#include "results/constituents.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "results/run_record.h"

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

// Every name of the record's own layout - dimensions, coordinates, fixed
// variables - and the ensemble's member dimension: a constituent of the same
// name would collide with it in the file or in xarray. Names starting with
// the station and budget prefixes are refused too, since the variables made
// from a constituent's name carry those prefixes (station_x would meet the
// station positions).
bool is_reserved(std::string_view s) {
  for (std::string_view r : {kDimTime, kDimPoint, kDimStation, kDimStationTime, kDimInterval,
                             kDimBounds, kDimTerm, kVarTime, kVarX, kVarStationX, kVarStationTime,
                             kVarInterval, kVarIntervalBounds, kVarTermName, "member"})
    if (s == r) return true;
  return s.rfind(kStationPrefix, 0) == 0 || s.rfind(kBudgetPrefix, 0) == 0;
}

// NetCDF limits a name to this many bytes; the longest name made from a
// constituent's carries the station_ prefix.
constexpr std::size_t kMaxNetcdfName = 256;
constexpr std::size_t kMaxConstituentName = kMaxNetcdfName - std::string_view("station_").size();

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
    if (name.size() > kMaxConstituentName) {
      out.error = "constituent " + std::to_string(k) + ": the name \"" +
                  std::string(name.substr(0, 20)) + "...\" has " + std::to_string(name.size()) +
                  " characters; at most " + std::to_string(kMaxConstituentName) +
                  " fit a NetCDF name with its station_ prefix";
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

ConstituentList read_constituents_file(const std::string& path) {
  // Six names and units fit in far less; a device or a huge file would
  // otherwise be read without end.
  constexpr std::uintmax_t kMaxBytes = 1 << 20;
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec))
    return ConstituentList{{}, "the constituents file " + path + " is not a regular file", path};
  if (std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) > kMaxBytes)
    return ConstituentList{{}, "the constituents file " + path + " is larger than 1 MB", path};
  std::ifstream in(path);
  if (!in) {
    ConstituentList out;
    out.error = "cannot read the constituents file " + path;
    out.source_file = path;
    return out;
  }
  // Comments dropped, line ends turned into separators, blank lines skipped.
  std::string joined;
  std::string line;
  while (std::getline(in, line)) {
    const std::string_view body = trim(std::string_view(line).substr(0, line.find('#')));
    if (body.empty()) continue;
    if (!joined.empty()) joined += ',';
    joined += body;
  }
  if (in.bad()) return ConstituentList{{}, "cannot read the constituents file " + path, path};
  if (joined.empty()) return ConstituentList{{}, "the constituents file " + path + " names none", path};
  ConstituentList out = parse_constituents(joined);
  if (!out.error.empty()) out.error = path + ": " + out.error;
  out.source_file = path;
  return out;
}

ConstituentList read_constituents(const std::string& spec_or_file) {
  if (spec_or_file.rfind('@', 0) == 0) return read_constituents_file(spec_or_file.substr(1));
  ConstituentList list = parse_constituents(spec_or_file);
  if (list.error.empty()) return list;
  // Not a list: a file of that name, as earlier versions took it.
  std::error_code ec;
  if (std::filesystem::is_regular_file(spec_or_file, ec)) return read_constituents_file(spec_or_file);
  if (spec_or_file.find_first_of("/.") != std::string::npos)
    list.error += "; nor is it a file (write @FILE to read the names from a file)";
  return list;
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

#include "input/channel_geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>
#include <vector>

namespace qz5 {
namespace {

// Adjacent rows whose values differ by a larger factor would let linear
// interpolation between them round to zero just inside the table: with
// v1 < v0 * 2^-53 the difference v1 - v0 rounds to -v0, and (v1 - v0) * f
// + v0 rounds to 0 for f just below 1. Within this factor the difference
// stays smaller than v0 in magnitude and the interpolated value stays
// positive (and at least the smaller of the two, halved, for normal values).
constexpr double kMaxRowRatio = 4503599627370496.0;  // 2^52

bool positive_normal(double v) { return std::isnormal(v) && v > 0.0; }

std::string value_fault(const std::vector<double>& v, std::size_t i, const char* what) {
  if (!(std::isfinite(v[i]) && v[i] > 0.0)) return std::string(what) + " is not positive";
  if (!positive_normal(v[i]))
    return std::string(what) + " is too small to interpolate (below 2.2250738585072014e-308)";
  if (i > 0) {
    const double hi = std::max(v[i], v[i - 1]), lo = std::min(v[i], v[i - 1]);
    if (hi / lo > kMaxRowRatio)
      return std::string(what) + " changes by a factor over 2^52 from the row before, " +
             "beyond what linear interpolation keeps positive";
  }
  return {};
}

// What is wrong with row i (0-based) given the rows before it, or "".
std::string row_fault(const ChannelGeometry& g, std::size_t i) {
  if (!std::isfinite(g.x[i])) return "position is not finite";
  if (i > 0 && !(g.x[i] > g.x[i - 1])) return "positions do not increase strictly";
  if (i > 0 && !std::isfinite(g.x[i] - g.x[i - 1]))
    return "positions are too far apart to interpolate between";
  if (std::string f = value_fault(g.area, i, "area"); !f.empty()) return f;
  return value_fault(g.dispersion, i, "dispersion");
}

[[noreturn]] void refuse_geometry(Units& io, const std::string& file, long line,
                                  const std::string& what) {
  std::string text = "Geometry::Error, " + what + " in file " + file;
  if (line > 0) text += ", line " + std::to_string(line);
  io.write_list(kUnitConsoleOut, {std::string_view(text)});
  stop();
}

// Lines are read into a field of this many characters; a data row must fit
// (a comment after it may run on).
constexpr std::size_t kLineField = 4096;

constexpr std::string_view kSeparators = " \t\r,";

// One number as the table writes it: decimal, optional sign and exponent
// (E or the Fortran D).
bool parse_number(std::string_view text, double& value) {
  std::string t(text);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  for (char& ch : t)
    if (ch == 'd' || ch == 'D') ch = 'e';
  if (t.empty() || t[0] == '+') return false;
  const char* end = t.data() + t.size();
  const auto r = std::from_chars(t.data(), end, value);
  return r.ec == std::errc() && r.ptr == end && std::isfinite(value);
}

// The values of one line before its comment; refuses (naming the file and
// line) anything that is not a number.
std::vector<double> row_values(Units& io, const std::string& file, long line,
                               std::string_view text) {
  std::vector<double> values;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t first = text.find_first_not_of(kSeparators, pos);
    if (first == std::string_view::npos) break;
    const std::size_t last = std::min(text.find_first_of(kSeparators, first), text.size());
    const std::string_view token = text.substr(first, last - first);
    double v = 0.0;
    if (!parse_number(token, v))
      refuse_geometry(io, file, line, "\"" + std::string(token.substr(0, 40)) + "\" is not a number");
    values.push_back(v);
    pos = last;
  }
  return values;
}

}  // namespace

std::string check_geometry(const ChannelGeometry& g) {
  if (g.area.size() != g.x.size() || g.dispersion.size() != g.x.size())
    return "the position, area and dispersion columns differ in length";
  if (g.x.size() < 2) return "fewer than two rows";
  for (std::size_t i = 0; i < g.x.size(); ++i) {
    const std::string fault = row_fault(g, i);
    if (!fault.empty()) return fault + " at row " + std::to_string(i + 1);
  }
  return {};
}

ChannelGeometry read_geometry_file(Units& io, int unit, const std::string& file) {
  ChannelGeometry g;
  g.source = file;
  io.open_existing(unit, file);
  std::string line;
  io.read_line(unit, line, 80);  // the title
  while (io.read_line(unit, line, kLineField, true) == ReadStatus::kOk) {
    const long number = io.line_number(unit);
    const std::size_t hash = line.find('#');
    const std::string_view body = std::string_view(line).substr(0, hash);
    if (hash == std::string::npos && line.back() != ' ')
      refuse_geometry(io, file, number,
                      "a row longer than " + std::to_string(kLineField) + " characters");
    const std::vector<double> v = row_values(io, file, number, body);
    if (v.empty()) continue;  // a blank or comment line
    if (v.size() != 3)
      refuse_geometry(io, file, number,
                      "a row holds " + std::to_string(v.size()) +
                          " values, not 3 (position, area, dispersion)");
    g.x.push_back(v[0]);
    g.area.push_back(v[1]);
    g.dispersion.push_back(v[2]);
    const std::string fault = row_fault(g, g.x.size() - 1);
    if (!fault.empty()) refuse_geometry(io, file, number, fault);
  }
  io.close(unit);
  if (g.x.size() < 2) refuse_geometry(io, file, 0, "fewer than two rows");
  return g;
}

}  // namespace qz5

#include "scenario_file/errors.h"

#include <cctype>

namespace qz5::scenario_file {
namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

std::string printable(std::string_view v) {
  std::string s;
  for (char c : v) s += (c >= ' ' && c <= '~') ? c : '?';
  if (s.size() > 60) s = s.substr(0, 60) + "...";
  return s;
}

}  // namespace

[[noreturn]] void refuse(const Place& where, std::string_view value, std::string_view problem,
                         std::string_view expected) {
  std::string m = where.file;
  if (where.line > 0) m += ", line " + std::to_string(where.line);
  if (where.column > 0) m += ", column " + std::to_string(where.column);
  if (!where.column_name.empty()) m += " (" + where.column_name + ")";
  m += ": ";
  if (!value.empty()) m += "\"" + printable(value) + "\" ";
  m += problem;
  if (!expected.empty()) m += "; expected " + std::string(expected);
  throw ScenarioFileError(m);
}

bool looks_like_decimal_comma(std::string_view t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  const std::size_t int_start = i;
  while (i < t.size() && digit(t[i])) ++i;
  if (i == int_start || i >= t.size() || t[i] != ',') return false;
  const std::size_t frac_start = ++i;
  while (i < t.size() && digit(t[i])) ++i;
  if (i == frac_start) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    const std::size_t exp_start = i;
    while (i < t.size() && digit(t[i])) ++i;
    if (i == exp_start) return false;
  }
  return i == t.size();
}

}  // namespace qz5::scenario_file

#include "textio/tokens.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace qz5::textio_detail {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Advances over digits; returns how many there were.
std::size_t skip_digits(std::string_view s, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < s.size() && is_digit(s[pos])) ++pos;
  return pos - start;
}

void skip_sign(std::string_view s, std::size_t& pos) {
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
}

}  // namespace

bool parse_integer(std::string_view token, int& value) {
  std::size_t pos = 0;
  skip_sign(token, pos);
  const std::size_t first_digit = pos;
  if (skip_digits(token, pos) == 0 || pos != token.size()) return false;
  long long magnitude = 0;
  for (std::size_t i = first_digit; i < token.size(); ++i) {
    magnitude = magnitude * 10 + (token[i] - '0');
    if (magnitude > 1LL + std::numeric_limits<int>::max()) return false;
  }
  const long long signed_value = token[0] == '-' ? -magnitude : magnitude;
  if (signed_value > std::numeric_limits<int>::max() ||
      signed_value < std::numeric_limits<int>::min())
    return false;
  value = static_cast<int>(signed_value);
  return true;
}

bool parse_real(std::string_view token, double& value) {
  // Validate the form first, then hand a C-library-ready copy (exponent
  // letter 'e') to strtod, which rounds correctly.
  std::size_t pos = 0;
  skip_sign(token, pos);
  std::size_t digits = skip_digits(token, pos);
  if (pos < token.size() && token[pos] == '.') {
    ++pos;
    digits += skip_digits(token, pos);
  }
  if (digits == 0) return false;
  std::string text(token.substr(0, pos));
  if (pos < token.size()) {
    const char letter = token[pos];
    if (letter != 'E' && letter != 'e' && letter != 'D' && letter != 'd') return false;
    const std::size_t exponent_start = ++pos;
    skip_sign(token, pos);
    if (skip_digits(token, pos) == 0 || pos != token.size()) return false;
    text += 'e';
    text += token.substr(exponent_start);
  }
  const double result = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(result)) return false;  // overflow
  value = result;
  return true;
}

bool parse_logical(std::string_view token, bool& value) {
  std::size_t pos = 0;
  if (pos < token.size() && token[pos] == '.') ++pos;
  if (pos >= token.size()) return false;
  const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(token[pos])));
  if (c != 'T' && c != 'F') return false;
  value = c == 'T';
  return true;
}

std::string printable_token(std::string_view token) {
  constexpr std::size_t kShown = 40;
  std::string out;
  for (std::size_t i = 0; i < token.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(token[i]);
    out.push_back(c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
  }
  if (token.size() > kShown) out += "...";
  return out;
}

}  // namespace qz5::textio_detail

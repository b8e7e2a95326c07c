#include "textio/decimal.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qz5::textio_detail {

Decimal decimal_digits(double x, int n) {
  assert(std::isfinite(x) && n >= 1 && n <= 100);
  Decimal result;
  result.negative = x < 0.0;
  result.count = n;
  if (x == 0.0) {
    result.buffer.fill('0');
    return result;
  }
  // "%.*e" gives d.ddd...e±XX with n significant digits, correctly rounded
  // from the exact binary value; a carry shows up in the exponent already.
  char text[160];
  const int length = std::snprintf(text, sizeof text, "%.*e", n - 1, std::fabs(x));
  assert(length > 0 && length < static_cast<int>(sizeof text));
  (void)length;
  const char* p = text;
  std::size_t count = 0;
  for (; *p != 'e'; ++p) {
    if (*p != '.') result.buffer[count++] = *p;
  }
  assert(count == static_cast<std::size_t>(n));
  // One digit stood before the point, so 0.d1d2... needs the exponent + 1.
  result.exponent = std::atoi(p + 1) + 1;
  return result;
}

std::string right_justify(const std::string& text, int width) {
  const auto size = static_cast<int>(text.size());
  if (size >= width) return text;
  return std::string(static_cast<std::size_t>(width - size), ' ') + text;
}

std::string non_finite_text(double x, int width) {
  if (std::isnan(x)) return "NaN";
  std::string text = x < 0 ? "-Infinity" : "Infinity";
  if (width > 0 && static_cast<int>(text.size()) > width) text = x < 0 ? "-Inf" : "Inf";
  return text;
}

}  // namespace qz5::textio_detail

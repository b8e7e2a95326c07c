// Value tokens of free-form input.
//
// A free-form line is cut into tokens at blanks, tabs and commas; each token
// then has to be one value of the type the reader asks for. These parsers
// accept exactly the forms the input files may use and reject the rest, so
// that a typing mistake in an input file ends the run with a message rather
// than becoming a silent zero.
#pragma once

#include <string>
#include <string_view>

namespace qz5::textio_detail {

// Optional sign and decimal digits, within the 32-bit range.
bool parse_integer(std::string_view token, int& value);
// Optional sign; digits with an optional point (at least one digit on either
// side of it); optional exponent: E, e, D or d, optional sign, digits. The
// result must be finite (NaN, Inf and overflowing values are rejected).
bool parse_real(std::string_view token, double& value);
// Optional leading point, then T or F in either case; the rest is ignored.
bool parse_logical(std::string_view token, bool& value);

// The token as it may appear inside a one-line message: bytes outside
// printable ASCII become '?', and a long token is cut to its first 40
// characters followed by "...".
std::string printable_token(std::string_view token);

}  // namespace qz5::textio_detail

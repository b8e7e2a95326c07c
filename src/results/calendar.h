// Calendar dates for scenario times.
//
// The model counts time in days from an arbitrary origin. A scenario that
// names a reference date fixes that origin in the calendar, so its times can
// be written as dates ("2024-03-01", "2024-03-01T12:00") and its result files
// can label time with dates. Dates follow the proleptic Gregorian calendar
// (the Gregorian rules extended backwards), which is what CF calls
// "proleptic_gregorian"; times of day are taken as they stand, without time
// zones or leap seconds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qz5::results {

// A moment as days since 0001-01-01T00:00 of the proleptic Gregorian
// calendar (whole days exact; the time of day as a fraction).
struct CalendarMoment {
  long days = 0;            // whole days since 0001-01-01
  double day_fraction = 0;  // 0 <= fraction < 1
};

// Parses "YYYY-MM-DD", optionally followed by "T" or one blank and
// "hh:mm" or "hh:mm:ss" (seconds may carry a fraction), optionally "Z".
// Returns nothing for any other text or an impossible date (month 13,
// 30 February, hour 24).
std::optional<CalendarMoment> parse_iso_moment(std::string_view text);

// Days from `reference` to `moment`: whole days subtracted exactly, then the
// time-of-day fractions.
double days_between(const CalendarMoment& reference, const CalendarMoment& moment);

// The moment `days` after `reference`, written as "YYYY-MM-DD" when it falls
// on a whole second of midnight, else "YYYY-MM-DDThh:mm:ss" (rounded to the
// second).
std::string iso_after(const CalendarMoment& reference, double days);

// "YYYY-MM-DD hh:mm:ss" of a moment, as CF time units want the origin.
std::string cf_origin(const CalendarMoment& moment);

}  // namespace qz5::results

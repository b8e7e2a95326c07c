#include "results/calendar.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace qz5::results {
namespace {

// Days from 0001-01-01 to y-m-d, proleptic Gregorian (the civil-from-days
// algorithm run backwards, with years counted from March so that the leap
// day comes last).
long days_from_civil(long y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153L * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  constexpr long kDaysTo0001 = 306;  // 0000-03-01 to 0001-01-01
  return era * 146097 + doe - kDaysTo0001;
}

struct Civil {
  long y;
  int m, d;
};

Civil civil_from_days(long days) {
  const long z = days + 306;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {era * 400 + yoe + (m <= 2 ? 1 : 0), m, d};
}

bool leap(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(long y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

// Exactly `width` digits at `pos`.
bool digits(std::string_view s, std::size_t pos, std::size_t width, int& value) {
  if (pos + width > s.size()) return false;
  for (std::size_t i = pos; i < pos + width; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  std::from_chars(s.data() + pos, s.data() + pos + width, value);
  return true;
}

}  // namespace

std::optional<CalendarMoment> parse_iso_moment(std::string_view s) {
  int y = 0, mo = 0, d = 0;
  if (!digits(s, 0, 4, y) || s.size() < 10 || s[4] != '-' || !digits(s, 5, 2, mo) ||
      s[7] != '-' || !digits(s, 8, 2, d))
    return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo)) return std::nullopt;
  CalendarMoment m{days_from_civil(y, mo, d), 0.0};
  std::string_view rest = s.substr(10);
  if (!rest.empty() && rest.back() == 'Z') rest.remove_suffix(1);
  if (rest.empty()) return m;
  int hh = 0, mm = 0;
  if ((rest[0] != 'T' && rest[0] != ' ') || !digits(rest, 1, 2, hh) || rest.size() < 6 ||
      rest[3] != ':' || !digits(rest, 4, 2, mm))
    return std::nullopt;
  double seconds = 0.0;
  rest = rest.substr(6);
  if (!rest.empty()) {
    if (rest[0] != ':' || rest.size() < 3) return std::nullopt;
    const char* end = rest.data() + rest.size();
    int whole = 0;
    if (!digits(rest, 1, 2, whole)) return std::nullopt;
    seconds = whole;
    if (rest.size() > 3) {
      if (rest[3] != '.' || rest.size() == 4) return std::nullopt;
      double frac = 0.0;
      const std::string fraction = "0" + std::string(rest.substr(3));
      const auto r = std::from_chars(fraction.data(), fraction.data() + fraction.size(), frac);
      if (r.ec != std::errc() || r.ptr != fraction.data() + fraction.size()) return std::nullopt;
      seconds += frac;
    }
    static_cast<void>(end);
  }
  if (hh > 23 || mm > 59 || seconds >= 60.0) return std::nullopt;
  m.day_fraction = ((hh * 60.0 + mm) * 60.0 + seconds) / 86400.0;
  return m;
}

double days_between(const CalendarMoment& reference, const CalendarMoment& moment) {
  return static_cast<double>(moment.days - reference.days) +
         (moment.day_fraction - reference.day_fraction);
}

std::string iso_after(const CalendarMoment& reference, double days) {
  const double total = static_cast<double>(reference.days) + reference.day_fraction + days;
  long whole = static_cast<long>(std::floor(total));
  long seconds = std::lround((total - static_cast<double>(whole)) * 86400.0);
  if (seconds == 86400) {
    ++whole;
    seconds = 0;
  }
  const Civil c = civil_from_days(whole);
  char buf[40];
  if (seconds == 0) {
    std::snprintf(buf, sizeof buf, "%04ld-%02d-%02d", c.y, c.m, c.d);
  } else {
    std::snprintf(buf, sizeof buf, "%04ld-%02d-%02dT%02ld:%02ld:%02ld", c.y, c.m, c.d,
                  seconds / 3600, seconds / 60 % 60, seconds % 60);
  }
  return buf;
}

std::string cf_origin(const CalendarMoment& moment) {
  const Civil c = civil_from_days(moment.days);
  const long seconds = std::lround(moment.day_fraction * 86400.0);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04ld-%02d-%02d %02ld:%02ld:%02ld", c.y, c.m, c.d,
                seconds / 3600, seconds / 60 % 60, seconds % 60);
  return buf;
}

}  // namespace qz5::results

// Calendar arithmetic of scenario dates, checked against Python's
// datetime.date.toordinal() (minus one, since it counts 0001-01-01 as day 1).
#include "results/calendar.h"

#include <gtest/gtest.h>

namespace qz5::results {
namespace {

TEST(Dates, WholeDaysAgreeWithAnIndependentCalendar) {
  const struct {
    const char* text;
    long days;
  } kCases[] = {
      {"0001-01-01", 0},      {"1970-01-01", 719162}, {"2000-02-29", 730178},
      {"2024-03-01", 738945}, {"1900-03-01", 693654}, {"2100-12-31", 767008},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto m = parse_iso_moment(c.text);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->days, c.days);
    EXPECT_EQ(m->day_fraction, 0.0);
    // And back: the date of that many days after day 0.
    EXPECT_EQ(iso_after(CalendarMoment{0, 0.0}, static_cast<double>(c.days)), c.text);
  }
}

TEST(Dates, TimesOfDayAreFractionsOfTheDay) {
  const struct {
    const char* text;
    double fraction;
  } kCases[] = {
      {"2024-01-01T12:00", 0.5},
      {"2024-01-01 06:00:00", 0.25},
      {"2024-01-01T18:00:00Z", 0.75},
      {"2024-01-01T00:00:30", 30.0 / 86400.0},
      {"2024-01-01T00:00:01.5", 1.5 / 86400.0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto m = parse_iso_moment(c.text);
    ASSERT_TRUE(m.has_value());
    EXPECT_DOUBLE_EQ(m->day_fraction, c.fraction);
  }
  const auto ref = parse_iso_moment("2024-02-28");
  const auto later = parse_iso_moment("2024-03-01T12:00");
  // 2024 is a leap year: 28 Feb -> 1 Mar is two days.
  EXPECT_EQ(days_between(*ref, *later), 2.5);
  EXPECT_EQ(iso_after(*ref, 2.5), "2024-03-01T12:00:00");
  EXPECT_EQ(iso_after(*ref, -1.0), "2024-02-27");
  EXPECT_EQ(cf_origin(*later), "2024-03-01 12:00:00");
}

TEST(Dates, ImpossibleOrMalformedDatesAreRefused) {
  for (const char* text : {"2023-02-29", "2024-13-01", "2024-00-10", "2024-04-31",
                           "2024-01-01T24:00", "2024-01-01T12:60", "2024-1-01", "01/02/2024",
                           "2024-01-01T12", "2024-01-01x", "", "2024-01-01T12:00:61"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(parse_iso_moment(text).has_value());
  }
}

}  // namespace
}  // namespace qz5::results

// Date-times: the fixed current time, texts, local calendar days across daylight-saving
// changes, and arithmetic at the ends of the range.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "../../standin/standin_internal.h"
#include "standin_test_support.h"

namespace standin_test {
namespace {

class TimeTest : public ::testing::Test {
 protected:
  void Start(const std::string& tz) {
    Env env{data_.path().string(), std::nullopt, "2026-12-07 12:00:00", tz};
    ASSERT_EQ(Restart(env), 0);
  }
  void TearDown() override { RuntimeTerm(); }
  static TimeDate Utc(const char* text) {
    int64_t seconds = 0;
    EXPECT_TRUE(standin::ParseUtcText(text, true, &seconds)) << text;
    return standin::MakeTime(seconds);
  }
  static TimeDate Plus(const TimeDate& value, int64_t seconds) {
    int64_t at = 0;
    EXPECT_TRUE(standin::SecondsOf(value, &at));
    return standin::MakeTime(at + seconds);
  }
  static std::string Text(const TimeDate& value) {
    char text[kMaxTimeText];
    uint16_t length = 0;
    if (TimeToText(nullptr, nullptr, &value, text, kMaxTimeText, &length) != 0) return "invalid";
    return std::string(text, length);
  }
  TempDir data_;
};

TEST_F(TimeTest, NowComesFromTheVariableAndTextsAreLocal) {
  Start("UTC");
  TimeDate now;
  TimeNow(&now);
  EXPECT_EQ(Text(now), "2026-12-07 12:00:00");
  Start("Europe/Berlin");
  TimeNow(&now);
  EXPECT_EQ(Text(now), "2026-12-07 13:00:00");
  Start("America/New_York");
  TimeNow(&now);
  EXPECT_EQ(Text(now), "2026-12-07 07:00:00");
}

TEST_F(TimeTest, TextIsNotTerminatedAndNeedsAValidValue) {
  Start("UTC");
  const TimeDate value = Utc("2026-03-04 05:06:07");
  char buffer[96];
  std::memset(buffer, '#', sizeof buffer);
  uint16_t length = 99;
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(TimeToText(nullptr, nullptr, &value, buffer, kMaxTimeText, &length), 0);
  EXPECT_EQ(length, 19);
  EXPECT_EQ(std::string(buffer, 19), "2026-03-04 05:06:07");
  EXPECT_EQ(buffer[19], '#');  // not terminated
  const TimeDate zero{};
  EXPECT_EQ(TimeToText(nullptr, nullptr, &zero, buffer, kMaxTimeText, &length),
            standin::kInvalidTime);
  const TimeDate garbage{{0xffffffffu, 0xffffffffu}};
  EXPECT_EQ(TimeToText(nullptr, nullptr, &garbage, buffer, kMaxTimeText, &length),
            standin::kInvalidTime);
}

// Local noon and late evening on the days around each change.
TEST_F(TimeTest, CalendarDaysAreLocalAcrossDaylightSavingChanges) {
  struct Zone {
    const char* tz;
    const char* changeDay;  // local date of a change
    int standardOffset;     // hours east of UTC before the change
  };
  const Zone zones[] = {{"Europe/Berlin", "2026-03-29", 1},
                        {"Europe/Berlin", "2026-10-25", 2},
                        {"America/New_York", "2026-03-08", -5},
                        {"America/New_York", "2026-11-01", -4}};
  for (const Zone& zone : zones) {
    SCOPED_TRACE(std::string(zone.tz) + " " + zone.changeDay);
    Start(zone.tz);
    // 10:00 local on the day before the change, still on the old offset.
    TimeDate dayBefore = Utc((std::string(zone.changeDay) + " 00:00:00").c_str());
    dayBefore = Plus(dayBefore, (10 - zone.standardOffset) * 3600 - 86400);
    ASSERT_EQ(Text(dayBefore).substr(11), "10:00:00");
    TimeDate day = dayBefore;
    for (int step = 1; step <= 3; ++step) {
      TimeDate next = day;
      ASSERT_EQ(TimeAdjust(&next, 0, 0, 0, 1, 0, 0), 0);
      EXPECT_EQ(Text(next).substr(11), "10:00:00") << Text(next);  // same clock time
      EXPECT_EQ(TimeDayNumber(&next), TimeDayNumber(&day) + 1);
      TimeDate midnight;
      TimeDateOnly(&next, 0, &midnight);
      EXPECT_EQ(Text(midnight), Text(next).substr(0, 10) + " 00:00:00");
      EXPECT_EQ(TimeDayNumber(&midnight), TimeDayNumber(&next));
      // 22.5 hours after midnight is still the same local day (even one of 23
      // hours), though in New York no longer the same UTC day.
      const TimeDate late = Plus(midnight, (22 * 60 + 30) * 60);
      EXPECT_EQ(TimeDayNumber(&late), TimeDayNumber(&next)) << Text(late);
      day = next;
    }
  }
}

// The first instant whose local date is `day` (days since 1970-01-01), by
// trying every second from 30 hours before `near` on.
int64_t FirstInstantOfDay(int64_t day, int64_t near) {
  static std::map<std::pair<std::string, int64_t>, int64_t> known;
  const auto key = std::make_pair(std::string(getenv("TZ")), day);
  if (known.count(key) != 0) return known[key];
  for (int64_t t = near - 30 * 3600;; ++t) {
    const time_t value = static_cast<time_t>(t);
    struct tm local {};
    localtime_r(&value, &local);
    if (local.tm_sec < 60 &&
        standin::DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) == day) {
      return known[key] = t;
    }
  }
}

// Every conversion beside the system's own around offset changes: daylight saving in both
// hemispheres, a 30-minute change, a change of a 45-minute zone, a leap second. The
// instants come in shuffled order, some 8,192 hours apart, so that remembered hours are
// reused, replaced and looked up out of order. Kathmandu skipped the midnight of
// 1986-01-01, whose day begins at 00:15.
TEST_F(TimeTest, LocalTimesMatchTheSystemAroundEveryOffsetChange) {
  struct Change {
    const char* tz;
    const char* utc;  // an instant at or near the change
  };
  const Change changes[] = {
      {"Europe/Berlin", "2026-03-29 01:00:00"},
      {"Europe/Berlin", "2026-10-25 01:00:00"},
      {"America/New_York", "2026-03-08 07:00:00"},
      {"America/New_York", "2026-11-01 06:00:00"},
      {"Australia/Lord_Howe", "2026-04-04 15:00:00"},
      {"Australia/Lord_Howe", "2026-10-03 15:30:00"},
      {"Asia/Kathmandu", "1985-12-31 18:30:00"},
      {"right/UTC", "2017-01-01 00:00:26"},
      {"UTC", "2026-12-07 12:00:00"},
      // Offsets that are not whole hours, nor whole minutes: a local hour then
      // begins within a UTC hour.
      {"America/St_Johns", "2026-03-08 05:30:00"},
      {"Africa/Monrovia", "1972-01-07 00:44:30"},
  };
  std::mt19937 random(7);
  for (const Change& change : changes) {
    SCOPED_TRACE(std::string(change.tz) + " " + change.utc);
    Start(change.tz);
    int64_t at = 0;
    ASSERT_TRUE(standin::ParseUtcText(change.utc, true, &at));
    std::vector<int64_t> instants;
    for (int64_t t = at - 3 * 3600; t <= at + 3 * 3600; t += 59) instants.push_back(t);
    for (int64_t t = at - 3; t <= at + 3; ++t) instants.push_back(t);
    for (int64_t t : {at, at - 1}) {
      instants.push_back(t + 8192 * int64_t{3600});
      instants.push_back(t - 8192 * int64_t{3600});
    }
    std::shuffle(instants.begin(), instants.end(), random);
    for (const int64_t t : instants) {
      const time_t value = static_cast<time_t>(t);
      struct tm local {};
      ASSERT_NE(localtime_r(&value, &local), nullptr);
      char want[32];
      std::strftime(want, sizeof want, "%Y-%m-%d %H:%M:%S", &local);
      const TimeDate time = standin::MakeTime(t);
      ASSERT_EQ(Text(time), want) << t;
      const int64_t day =
          standin::DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
      ASSERT_EQ(TimeDayNumber(&time), day + 2440588) << t;
      const int64_t wantMidnight = FirstInstantOfDay(day, t);
      TimeDate date;
      TimeDateOnly(&time, 0, &date);
      int64_t gotMidnight = 0;
      ASSERT_TRUE(standin::SecondsOf(date, &gotMidnight));
      ASSERT_EQ(gotMidnight, wantMidnight) << t;
    }
  }
}

// A log's date-time texts read with its last date remembered, against the strict
// reader's rules taken loosely: the same verdict and the same seconds, in any order.
TEST_F(TimeTest, LogTimesReadAsTheSingleTextReaderReadsThem) {
  Start("UTC");
  const char* const texts[] = {
      "2026-12-01 10:00:00",  "2026-12-01 10:00:01",  "2026-12-01T23:59:59Z",
      "2026-12-01 24:00:00",  "2026-12-01 10:60:00",  "2026-12-01 10:00:60",
      "2026-12-01 10:00:00 ", "2026-12-01 10:00:00Y", "2026-12-01 1:00:000",
      "2026-12-01X10:00:00",  "2026-12-01 10:00:00",  "2026-12-32 10:00:00",
      "2026-12-32 10:00:01",  "2024-02-29 00:00:00",  "2023-02-29 00:00:00",
      "2023-02-29 00:00:00",  "0001-01-01 23:59:59",  "0001-01-02 00:00:00",
      "0001-01-01 23:59:59",  "9999-12-30 23:59:59",  "9999-12-31 00:00:00",
      "9999-12-30 23:59:59",  "2026-00-10 10:00:00",  "2026-13-10 10:00:00",
      "2026-1a-10 10:00:00",  "2026-10-10",           "",
      "2026-10-10 10:00:00Z",
  };
  standin::UtcTextReader reader;
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    int64_t want = -1;
    int64_t got = -1;
    const bool valid = standin::ParseUtcText(text, false, &want);
    EXPECT_EQ(reader.Parse(text, &got), valid);
    if (valid) {
      EXPECT_EQ(got, want);
    }
  }
}

// Whole days back from today's date, in zones where a change of offset skipped a midnight
// (in Apia the whole of 2011-12-30): the result is the first instant of exactly the day
// asked for (of the next day, where that day has none), whatever was converted before, and
// every day around counts one day number per day.
TEST_F(TimeTest, DaysBackLandOnTheDayAskedForWhereMidnightWasSkipped) {
  struct Case {
    const char* tz;
    const char* now;  // UTC
    int32_t daysBack;
    const char* want;  // local
  };
  const Case cases[] = {
      {"Asia/Kathmandu", "1986-01-03 06:00:00", 2, "1986-01-01 00:15:00"},
      {"America/Eirunepe", "2008-06-26 17:00:00", 2, "2008-06-24 01:00:00"},
      {"America/Argentina/Catamarca", "2004-06-22 15:00:00", 2, "2004-06-20 01:00:00"},
      {"America/Argentina/Buenos_Aires", "2008-10-21 15:00:00", 2, "2008-10-19 01:00:00"},
      {"America/Sao_Paulo", "1986-10-27 15:00:00", 2, "1986-10-25 01:00:00"},
      {"Pacific/Apia", "2012-01-01 00:00:00", 2, "2011-12-31 00:00:00"},
      {"Pacific/Apia", "2012-01-01 00:00:00", 3, "2011-12-29 00:00:00"},
      {"Europe/Berlin", "2026-12-07 12:00:00", 7, "2026-11-30 00:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tz) + " " + c.now);
    Start(c.tz);
    const TimeDate now = Utc(c.now);
    TimeDate today;
    TimeDateOnly(&now, 0, &today);
    // The day before and a summer's day first, so that no conversion state
    // left behind by earlier calls can decide the answer.
    for (const int32_t before : {0, -1, -180}) {
      TimeDate other = now;
      ASSERT_EQ(TimeAdjust(&other, 0, 0, 0, before, 0, 0), 0);
      TimeDate start = today;
      ASSERT_EQ(TimeAdjust(&start, 0, 0, 0, -c.daysBack, 0, 0), 0);
      EXPECT_EQ(Text(start), c.want);
    }
    // Day numbers and moves agree on the days around, both ways.
    for (int32_t d = -40; d <= 40; ++d) {
      TimeDate day = today;
      ASSERT_EQ(TimeAdjust(&day, 0, 0, 0, d, 0, 0), 0);
      TimeDate back = day;
      ASSERT_EQ(TimeAdjust(&back, 0, 0, 0, -1, 0, 0), 0);
      // A day the zone skips whole has no day number of its own.
      if (std::string(c.tz) != "Pacific/Apia") {
        EXPECT_EQ(TimeDayNumber(&day) - TimeDayNumber(&back), 1)
            << Text(back) << " to " << Text(day);
      }
      TimeDate only;
      TimeDateOnly(&day, 0, &only);
      EXPECT_EQ(Text(only), Text(day)) << "a date moved by days stays a date";
    }
  }
}

TEST_F(TimeTest, AdjustAndDifferenceClampAtTheEndsOfTheRange) {
  Start("Europe/Berlin");
  struct Case {
    int32_t days;
    const char* expectedPrefix;
  };
  const Case cases[] = {
      {std::numeric_limits<int32_t>::max(), "9999-12-3"},
      {std::numeric_limits<int32_t>::min(), "0001-01-0"},
      {1, "2026-12-08 13:00:00"},
      {-36865, "1926-01-01 13:00:00"},
      {0, "2026-12-07 13:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expectedPrefix);
    TimeDate value;
    TimeNow(&value);
    ASSERT_EQ(TimeAdjust(&value, 0, 0, 0, c.days, 0, 0), 0);
    EXPECT_EQ(Text(value).rfind(c.expectedPrefix, 0), 0u) << Text(value);
    EXPECT_NE(TimeDayNumber(&value), 0);
  }
  TimeDate far = Utc("2026-12-07 12:00:00");
  TimeDate past = far;
  ASSERT_EQ(TimeAdjust(&far, 0, 0, 0, 100000, 0, 0), 0);
  ASSERT_EQ(TimeAdjust(&past, 0, 0, 0, -100000, 0, 0), 0);
  EXPECT_EQ(TimeDiffSeconds(&far, &past), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(TimeDiffSeconds(&past, &far), std::numeric_limits<int32_t>::min());
  const TimeDate a = Utc("2026-12-07 12:00:00");
  const TimeDate b = Utc("2026-12-06 11:59:59");
  EXPECT_EQ(TimeDiffSeconds(&a, &b), 86401);
  EXPECT_EQ(TimeDiffSeconds(&b, &a), -86401);

  TimeDate invalid{};
  EXPECT_EQ(TimeAdjust(&invalid, 0, 0, 0, 1, 0, 0), standin::kInvalidTime);
  TimeDate only;
  TimeDateOnly(&invalid, 0, &only);
  EXPECT_EQ(Text(only), "invalid");
}

}  // namespace
}  // namespace standin_test

// The date window and the user-name patterns that decide which log entries
// count.
#include "report/entry_filter.h"

#include <cstddef>
#include <cstring>

#include "cli/run_settings.h"
#include "match/wildcard.h"

namespace {

constexpr int32_t kSecondsPerDay = 86400;

// Day number of `today` moved back by `offset` days. A negative offset is
// no bound at all, so the date is moved by 0 instead of negating a value
// that may be INT32_MIN; -INT32_MAX itself is representable. The runtime
// moves the date; should it refuse, or land on another day (a day whose
// midnight a change of offset skips may be resolved to an instant of the day
// before or after), the days are counted here, since day numbers count one
// per calendar day.
int64_t BoundDay(const TimeDate& today, int32_t offset) {
  const int32_t move = offset < 0 ? 0 : -offset;
  const int64_t counted = int64_t{TimeDayNumber(&today)} + move;
  TimeDate date = today;
  if (TimeAdjust(&date, 0, 0, 0, move, 0, 0) != 0) return counted;
  const int64_t moved = TimeDayNumber(&date);
  return moved == counted ? moved : counted;
}

// Day number of the calendar date of `time`.
int64_t DayNumberOf(const TimeDate& time) {
  TimeDate date{};
  TimeDateOnly(&time, 0, &date);
  return TimeDayNumber(&date);
}

// One star or more and nothing else; the empty pattern is not one.
bool OnlyStars(const char* pattern) {
  if (*pattern != '*') return false;
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

// Seconds from the start of the calendar day of `time` to `time`.
int64_t SecondOfDay(const TimeDate& time) {
  TimeDate date{};
  TimeDateOnly(&time, 0, &date);
  return TimeDiffSeconds(&time, &date);
}

}  // namespace

Status TimeTextOf(const TimeDate& time, TimeText& text) {
  // The text is terminated here, so the buffer is not cleared first: every
  // entry would pay for that.
  uint16_t length = 0;
  const Status status = TimeToText(nullptr, nullptr, &time, text.data(), kMaxTimeText, &length);
  text[length < kMaxTimeText ? length : kMaxTimeText] = '\0';
  return status;
}

Status ReadEntry(const unsigned char* block, uint32_t index, ActivityEntry& entry, TimeText& time) {
  std::memcpy(&entry, block + std::size_t{index} * sizeof entry, sizeof entry);
  return TimeTextOf(entry.time, time);
}

DateWindow MakeDateWindow() {
  TimeDate now{};
  TimeNow(&now);
  TimeDate today{};
  TimeDateOnly(&now, 0, &today);
  DateWindow window{};
  window.hasStart = gRunSettings.startDays >= 0;
  window.startDay = BoundDay(today, gRunSettings.startDays);
  window.hasEnd = gRunSettings.endDays >= 0;
  window.endDay = BoundDay(today, gRunSettings.endDays);
  return window;
}

bool InWindow(const DateWindow& window, const TimeDate& time) {
  if (!window.hasStart && !window.hasEnd) return true;
  const int64_t day = DayNumberOf(time);
  return (!window.hasEnd || day <= window.endDay) && (!window.hasStart || day >= window.startDay);
}

bool NamePasses(const char* name) {
  // The default patterns, "*" and "", are decided without the matcher: it is
  // asked twice for every entry. A pattern of stars alone matches every
  // text; the empty one only the empty text. A pattern that lost characters
  // on the command line matches no name at all (cli/lost_arguments.h).
  const char* include = gRunSettings.includePattern.data();
  const char* exclude = gRunSettings.excludePattern.data();
  if (gRunSettings.includePatternLost != 0) return false;
  if (!OnlyStars(include) && WildcardMatch(include, name, 0) == 0) return false;
  if (gRunSettings.excludePatternLost != 0) return true;
  if (exclude[0] == '\0') return name[0] != '\0';
  return WildcardMatch(exclude, name, 0) == 0;
}

namespace {
// Whether the runtime's seconds between times more than 68 years apart stop
// at the largest value, keeping their sign; learned for each log.
bool differencesKeepTheirSign = true;
}  // namespace

void LearnTimeDifferences() {
  // Two times 82 years apart: a runtime that stops at the largest value says
  // which is later by the sign alone; one that wraps round (or cannot move a
  // date so far) has its times compared by day numbers where they lie far
  // apart, which costs two more calls a comparison.
  TimeDate now{};
  TimeNow(&now);
  TimeDate past = now;
  differencesKeepTheirSign = TimeAdjust(&past, 0, 0, 0, -30000, 0, 0) == 0 &&
                             TimeDiffSeconds(&now, &past) == INT32_MAX &&
                             TimeDiffSeconds(&past, &now) == INT32_MIN;
}

bool IsLater(const TimeDate& a, const TimeDate& b) {
  if (!differencesKeepTheirSign) {
    // Day numbers tell times far apart; nearer times are told by the
    // seconds, which also order the hours that a clock set back repeats.
    constexpr int64_t kTrustedDays = 24000;  // 2^31 seconds are 24,855 days
    const int64_t days = int64_t{TimeDayNumber(&a)} - TimeDayNumber(&b);
    if (days > kTrustedDays || days < -kTrustedDays) return days > 0;
  }
  return TimeDiffSeconds(&a, &b) > 0;
}

int64_t TodayDayNumber() {
  TimeDate now{};
  TimeNow(&now);
  return DayNumberOf(now);
}

int32_t DaysSince(const TimeDate& time, int64_t today) {
  const int64_t days = today - DayNumberOf(time);
  return days > INT32_MAX ? INT32_MAX : days < INT32_MIN ? INT32_MIN : static_cast<int32_t>(days);
}

uint32_t SummaryPeriodDays(const ActivitySummary& summary) {
  // Seconds are 32 bits, so a period of more than 68 years is walked from
  // its start in steps of whole days that the seconds can hold, each step
  // measured in seconds as it moved, until what is left can be measured; the
  // rounding is that of the seconds throughout. Day numbers tell how far is
  // left. A step that the runtime refuses, or that does not bring the start
  // a day nearer the end, ends the walk: what is left is then counted from
  // day numbers and the times of day, when both ends are times the runtime
  // can convert (the day number of one it cannot is meaningless). A period
  // that ends before it starts (a clock set back, entries dated ahead) is no
  // days, not a wrapped-around count.
  constexpr int32_t kStepDays = 20000;  // 1,728,000,000 seconds
  TimeDate start = summary.periodStart;
  const int64_t endDay = DayNumberOf(summary.periodEnd);
  int64_t left = endDay - DayNumberOf(start);
  if (left < -1) return 0;  // too far back for the seconds to say so
  int64_t seconds = 0;
  while (left > kStepDays) {
    TimeDate next = start;
    if (TimeAdjust(&next, 0, 0, 0, kStepDays, 0, 0) != 0) break;
    const int32_t step = TimeDiffSeconds(&next, &start);
    const int64_t nextLeft = endDay - DayNumberOf(next);
    if (step <= 0 || nextLeft >= left) break;
    seconds += step;
    start = next;
    left = nextLeft;
  }
  TimeText text;
  if (left > kStepDays && TimeTextOf(start, text) == 0 &&
      TimeTextOf(summary.periodEnd, text) == 0) {
    seconds += left * kSecondsPerDay + SecondOfDay(summary.periodEnd) - SecondOfDay(start);
  } else {  // near enough for the seconds, or a time that is not one (no day to count from)
    seconds += TimeDiffSeconds(&summary.periodEnd, &start);
  }
  if (seconds <= 0) return 0;
  const int64_t days = seconds / kSecondsPerDay + (seconds % kSecondsPerDay != 0 ? 1 : 0);
  return days > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(days);
}

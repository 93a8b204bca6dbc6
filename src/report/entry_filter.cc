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
// that may be INT32_MIN; -INT32_MAX itself is representable.
int64_t BoundDay(const TimeDate& today, int32_t offset) {
  const int32_t move = offset < 0 ? 0 : -offset;
  TimeDate date = today;
  if (TimeAdjust(&date, 0, 0, 0, move, 0, 0) != 0) {
    // A runtime that will not move a date that far: count the days here.
    return int64_t{TimeDayNumber(&today)} + move;
  }
  return TimeDayNumber(&date);
}

int64_t DayOf(const TimeDate& time) {
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
  TimeDate date{};
  TimeDateOnly(&time, 0, &date);
  const int64_t day = TimeDayNumber(&date);
  return (!window.hasEnd || day <= window.endDay) && (!window.hasStart || day >= window.startDay);
}

bool NamePasses(const char* name) {
  // The default patterns, "*" and "", are decided without the matcher: it is
  // asked twice for every entry. A pattern of stars alone matches every
  // text; the empty one only the empty text.
  const char* include = gRunSettings.includePattern.data();
  const char* exclude = gRunSettings.excludePattern.data();
  if (!OnlyStars(include) && WildcardMatch(include, name, 0) == 0) return false;
  if (exclude[0] == '\0') return name[0] != '\0';
  return WildcardMatch(exclude, name, 0) == 0;
}

bool IsLater(const TimeDate& a, const TimeDate& b) { return TimeDiffSeconds(&a, &b) > 0; }

int64_t TodayDayNumber() {
  TimeDate now{};
  TimeNow(&now);
  return DayOf(now);
}

int32_t DaysSince(const TimeDate& time, int64_t today) {
  const int64_t days = today - DayOf(time);
  return days > INT32_MAX ? INT32_MAX : days < INT32_MIN ? INT32_MIN : static_cast<int32_t>(days);
}

uint32_t SummaryPeriodDays(const ActivitySummary& summary) {
  // A period that ends before it starts (a clock set back, entries dated
  // ahead) is no days, not a wrapped-around count.
  const int32_t seconds = TimeDiffSeconds(&summary.periodEnd, &summary.periodStart);
  if (seconds <= 0) return 0;
  return static_cast<uint32_t>(seconds / kSecondsPerDay + (seconds % kSecondsPerDay != 0 ? 1 : 0));
}

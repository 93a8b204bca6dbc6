// Which log entries count: the window of calendar days of /s and /e and the
// user-name patterns of /f and /x, shared by the report and the overview.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/notes_runtime.h"

// Calendar-day bounds of the entries that count, as runtime day numbers; a
// bound applies only when its offset is 0 or more. Held in 64 bits so that
// a bound millions of days away compares without overflow.
struct DateWindow {
  bool hasStart;
  int64_t startDay;
  bool hasEnd;
  int64_t endDay;
};

// A date-time text of the runtime, terminated.
using TimeText = std::array<char, kMaxTimeText + 1>;

// Converts `time` into its text, terminated, as the report shows it.
// Returns the conversion's status; `text` is valid when it is 0.
Status TimeTextOf(const TimeDate& time, TimeText& text);

// Copies entry `index` out of the entries block (which need not be aligned)
// and converts its date-time into `time`. Every entry is converted before
// any filter, so a bad date-time is found even on an entry that would not
// count. Returns the conversion's status; `time` is valid when it is 0.
Status ReadEntry(const unsigned char* block, uint32_t index, ActivityEntry& entry, TimeText& time);

// The window from the current time and the run settings. Made for every
// database, as a long run may cross midnight.
DateWindow MakeDateWindow();

// Whether an entry of `time` lies in the window.
bool InWindow(const DateWindow& window, const TimeDate& time);

// Whether a user name passes the include pattern and not the exclude one.
bool NamePasses(const char* name);

// Finds out how the runtime's seconds behave for times more than 68 years
// apart, for IsLater; called before the entries of each log are compared.
void LearnTimeDifferences();

// Whether `a` is later than `b`. Every comparison of entries' times ("the
// latest", and which of equal times is kept) goes through here.
bool IsLater(const TimeDate& a, const TimeDate& b);

// Today's day number, from the current time.
int64_t TodayDayNumber();

// Calendar days from the day of `time` to `today` (0: today; negative: dated
// ahead), held to the signed 32-bit range.
int32_t DaysSince(const TimeDate& time, int64_t today);

// Whole days of a summary's logging period, a started day counting as one;
// a period that ends before it starts is no days.
uint32_t SummaryPeriodDays(const ActivitySummary& summary);

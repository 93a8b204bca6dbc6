// Date-times: the stand-in's TimeDate layout (UTC seconds plus a validity mark), their
// texts, calendar days and arithmetic in local time.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <limits>

#include "platform.h"
#include "standin_internal.h"

namespace standin {
namespace {

// innards[1] holds this mark in its top byte when the value is valid; a
// zeroed TimeDate therefore counts as invalid.
constexpr uint32_t kValidMark = 0x5a000000;
constexpr uint32_t kMarkMask = 0xff000000;
constexpr int64_t kSecondsPerDay = 86400;
// Julian day number of 1970-01-01, so that day numbers are positive.
constexpr int64_t kJulianEpochDay = 2440588;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
  days += 719468;
  const int64_t era = FloorDiv(days, 146097);
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = yoe + era * 400 + (*month <= 2 ? 1 : 0);
}

int64_t Clamp(int64_t seconds) {
  return seconds < kMinSeconds ? kMinSeconds : seconds > kMaxSeconds ? kMaxSeconds : seconds;
}

bool ReadDigits(std::string_view text, size_t at, size_t count, int* value) {
  *value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

// Local date-times of UTC seconds, with one system conversion per hour of
// the log rather than one per entry: an hour whose local offset is the same
// at its first and last second (neither a leap second) keeps that offset for
// every second in it, as no zone changes its offset twice within an hour (the
// zone database's closest changes are days apart). An hour with a change in
// it is converted second by second.
struct SteadyHour {
  int64_t hour = std::numeric_limits<int64_t>::min();
  int32_t offset = 0;  // local less UTC seconds
  bool steady = false;
};
SteadyHour hours[8192];

// The local midnight of a local date (the first instant of the day when a
// daylight-saving change skips midnight), by day number.
struct Midnight {
  int64_t day = std::numeric_limits<int64_t>::min();
  int64_t seconds = 0;
  bool ok = false;
};
Midnight midnights[256];

int64_t LocalSecondsOf(const platform::LocalParts& parts) {
  return DaysFromCivil(parts.year, parts.month, parts.day) * kSecondsPerDay + parts.hour * 3600 +
         parts.minute * 60 + parts.second;
}

// The span of UTC seconds of the last steady hour that lies in one local day,
// with that day's date: a log's next entry is mostly in it, and then needs
// no more than a subtraction and the clock's three fields.
struct LocalSpan {
  int64_t begin = 0;
  int64_t end = 0;       // empty until the first conversion
  int64_t midnight = 0;  // UTC seconds of the local midnight the span counts from
  int64_t offset = 0;
  platform::LocalParts date;
};
LocalSpan span;

void SetClock(int64_t secondsOfDay, platform::LocalParts* parts) {
  const auto rest = static_cast<int>(secondsOfDay);
  parts->hour = rest / 3600;
  parts->minute = rest / 60 % 60;
  parts->second = rest % 60;
}

// The offset of UTC hour `hour` (seconds since 1970 over 3600), worked out
// when the slot does not hold it yet.
const SteadyHour& HourAt(int64_t hour) {
  SteadyHour& slot = hours[static_cast<uint64_t>(hour) % std::size(hours)];
  if (slot.hour != hour) {
    slot.hour = hour;
    slot.steady = false;
    platform::LocalParts first;
    platform::LocalParts last;
    if (platform::ToLocal(hour * 3600, &first) && platform::ToLocal(hour * 3600 + 3599, &last) &&
        first.second < 60 && last.second < 60) {
      const int64_t offset = LocalSecondsOf(first) - hour * 3600;
      slot.offset = static_cast<int32_t>(offset);
      slot.steady = slot.offset == offset && LocalSecondsOf(last) - (hour * 3600 + 3599) == offset;
    }
  }
  return slot;
}

bool LocalPartsOf(int64_t seconds, platform::LocalParts* parts) {
  if (seconds >= span.begin && seconds < span.end) {
    *parts = span.date;
    SetClock(seconds - span.midnight, parts);
    return true;
  }
  const int64_t hour = FloorDiv(seconds, 3600);
  const SteadyHour& slot = HourAt(hour);
  if (!slot.steady) return platform::ToLocal(seconds, parts);
  const int64_t day = FloorDiv(seconds + slot.offset, kSecondsPerDay);
  if (span.end == 0 || day != FloorDiv(span.midnight + span.offset, kSecondsPerDay)) {
    CivilFromDays(day, &span.date.year, &span.date.month, &span.date.day);
  }
  span.offset = slot.offset;
  span.midnight = day * kSecondsPerDay - slot.offset;
  span.begin = std::max(hour * 3600, span.midnight);
  span.end = std::min(hour * 3600 + 3600, span.midnight + kSecondsPerDay);
  *parts = span.date;
  SetClock(seconds - span.midnight, parts);
  return true;
}

// Local seconds less UTC seconds at `seconds`.
bool OffsetAt(int64_t seconds, int64_t* offset) {
  platform::LocalParts parts;
  if (!LocalPartsOf(seconds, &parts)) return false;
  *offset = LocalSecondsOf(parts) - seconds;
  return true;
}

bool OnLocalDay(int64_t seconds, int64_t day) {
  platform::LocalParts parts;
  return LocalPartsOf(seconds, &parts) && parts.second < 60 &&
         DaysFromCivil(parts.year, parts.month, parts.day) == day;
}

// The first instant of local day `day`: its midnight, or the instant the
// clock jumps past a midnight that a change of offset skips; for a day the
// zone skips whole, the first instant of the day after. Offsets lie within 15
// hours of UTC and no zone changes its offset twice in 32 hours, so at most
// one change lies between the two probes. (The system's mktime is not asked:
// for a skipped midnight its answer depends on earlier calls.)
bool FirstInstantOfDay(int64_t day, int64_t* first) {
  const int64_t midnight = day * kSecondsPerDay;
  int64_t low = midnight - 16 * 3600;
  int64_t high = midnight + 16 * 3600;
  int64_t before = 0;
  int64_t after = 0;
  if (!OffsetAt(low, &before) || !OffsetAt(high, &after)) return false;
  if (before != after) {
    while (high - low > 1) {  // the offset is `before` at low and `after` at high
      const int64_t middle = low + (high - low) / 2;
      int64_t offset = 0;
      if (!OffsetAt(middle, &offset)) return false;
      (offset == before ? low : high) = middle;
    }
  }
  // Midnight under either offset, the earlier first, if the day has it;
  // else the change itself.
  const int64_t candidates[] = {std::min(midnight - before, midnight - after),
                                std::max(midnight - before, midnight - after), high};
  for (const int64_t candidate : candidates) {
    if (OnLocalDay(candidate, day)) {
      *first = candidate;
      return true;
    }
  }
  // No instant has this date (a zone that moved across the date line): the
  // change opens the next day.
  if (before != after && OnLocalDay(high, day + 1)) {
    *first = high;
    return true;
  }
  return false;
}

// Whether `seconds` reads as clock time `clock` (seconds after midnight) on
// local day `day`.
bool ReadsAs(int64_t seconds, int64_t day, int64_t clock) {
  platform::LocalParts parts;
  return LocalPartsOf(seconds, &parts) &&
         DaysFromCivil(parts.year, parts.month, parts.day) == day &&
         parts.hour * 3600 + parts.minute * 60 + parts.second == clock;
}

// The instant of local day `day` whose clock reads `clock`: the first such
// instant where a change of offset repeats the time, the instant as far past
// the change as the time lay in it where the change skips it, and the day's
// first instant for a time before it. The result always lies on `day`, or on
// the next day when the zone skips `day` whole.
bool LocalInstant(int64_t day, int64_t clock, int64_t* seconds) {
  int64_t first = 0;
  if (!FirstInstantOfDay(day, &first)) return false;
  platform::LocalParts parts;
  if (!LocalPartsOf(first, &parts)) return false;
  const int64_t firstClock = parts.hour * 3600 + parts.minute * 60 + parts.second;
  if (DaysFromCivil(parts.year, parts.month, parts.day) != day || clock <= firstClock) {
    *seconds = first;
    return true;
  }
  int64_t offset = 0;
  if (!OffsetAt(first, &offset)) return false;
  const int64_t local = day * kSecondsPerDay + clock;
  const int64_t guess = local - offset;  // right unless a change lies between
  int64_t offsetThere = 0;
  if (!OffsetAt(guess, &offsetThere)) return false;
  for (const int64_t candidate : {guess, local - offsetThere}) {
    if (ReadsAs(candidate, day, clock)) {
      *seconds = candidate;
      return true;
    }
  }
  // Skipped by a change: read on the old offset, past the change.
  if (OnLocalDay(guess, day)) {
    *seconds = guess;
    return true;
  }
  int64_t next = 0;
  if (!FirstInstantOfDay(day + 1, &next)) return false;
  *seconds = next - 1;
  return true;
}

bool LocalMidnight(const platform::LocalParts& date, int64_t* seconds) {
  const int64_t day = DaysFromCivil(date.year, date.month, date.day);
  Midnight& slot = midnights[static_cast<uint64_t>(day) % std::size(midnights)];
  if (slot.day != day) {
    slot.day = day;
    slot.ok = FirstInstantOfDay(day, &slot.seconds);
  }
  *seconds = slot.seconds;
  return slot.ok;
}

// Two digits of a value from 0 to 99.
void Put2(char* at, int value) {
  static constexpr char kDigits[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  std::memcpy(at, kDigits + 2 * value, 2);
}

// The first 14 characters of the texts of a local hour, "YYYY-MM-DD HH:", by
// its number (local seconds since 1970 over 3600). They depend on the calendar
// alone; a log's entries fall in the same few thousand hours, so each text
// mostly costs a copy and its minutes and seconds.
struct HourText {
  int64_t hour = std::numeric_limits<int64_t>::min();
  bool fourDigits = false;  // the year has four digits
  char text[14];
};
HourText hourTexts[2048];

// The text of `seconds` as TimeToText writes it, into `text`, when the local
// offset is the same all through its UTC hour and the local year has four
// digits; false otherwise.
bool SteadyText(int64_t seconds, char (&text)[19]) {
  const SteadyHour& slot = HourAt(FloorDiv(seconds, 3600));
  if (!slot.steady) return false;
  const int64_t local = seconds + slot.offset;
  const int64_t hour = FloorDiv(local, 3600);
  HourText& cached = hourTexts[static_cast<uint64_t>(hour) % std::size(hourTexts)];
  if (cached.hour != hour) {
    const int64_t day = FloorDiv(hour, 24);
    int64_t year = 0;
    int month = 0;
    int dayOfMonth = 0;
    CivilFromDays(day, &year, &month, &dayOfMonth);
    cached.hour = hour;
    cached.fourDigits = year >= 0 && year <= 9999;
    if (cached.fourDigits) {
      const auto digits = static_cast<int>(year);
      Put2(cached.text, digits / 100);
      Put2(cached.text + 2, digits % 100);
      cached.text[4] = '-';
      Put2(cached.text + 5, month);
      cached.text[7] = '-';
      Put2(cached.text + 8, dayOfMonth);
      cached.text[10] = ' ';
      Put2(cached.text + 11, static_cast<int>(hour - day * 24));
      cached.text[13] = ':';
    }
  }
  if (!cached.fourDigits) return false;
  const auto rest = static_cast<int>(local - hour * 3600);
  std::memcpy(text, cached.text, sizeof cached.text);
  Put2(text + 14, rest / 60);
  text[16] = ':';
  Put2(text + 17, rest % 60);
  return true;
}

// Local calendar day (days since 1970-01-01) of a valid value.
bool LocalDay(int64_t seconds, platform::LocalParts* parts, int64_t* day) {
  if (!LocalPartsOf(seconds, parts)) return false;
  *day = DaysFromCivil(parts->year, parts->month, parts->day);
  return true;
}

}  // namespace

int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

TimeDate MakeTime(int64_t utcSeconds) {
  const auto bits = static_cast<uint64_t>(Clamp(utcSeconds));
  TimeDate value;
  value.innards[0] = static_cast<uint32_t>(bits);
  // The span fits in 40 bits; the top byte carries the validity mark.
  value.innards[1] = (static_cast<uint32_t>(bits >> 32) & ~kMarkMask) | kValidMark;
  return value;
}

TimeDate InvalidTime() { return TimeDate{{0, 0}}; }

bool SecondsOf(const TimeDate& value, int64_t* utcSeconds) {
  if ((value.innards[1] & kMarkMask) != kValidMark) return false;
  uint64_t bits = (static_cast<uint64_t>(value.innards[1] & ~kMarkMask) << 32) | value.innards[0];
  if ((bits & (uint64_t{1} << 55)) != 0) bits |= uint64_t{0xff} << 56;  // sign-extend 56 bits
  const auto seconds = static_cast<int64_t>(bits);
  if (seconds < kMinSeconds || seconds > kMaxSeconds) return false;
  *utcSeconds = seconds;
  return true;
}

namespace {

// Days since 1970-01-01 of the "YYYY-MM-DD" that `text` starts with.
bool ParseDatePart(std::string_view text, int64_t* days) {
  if (text[4] != '-' || text[7] != '-') return false;
  int year, month, day;
  if (!ReadDigits(text, 0, 4, &year) || !ReadDigits(text, 5, 2, &month) ||
      !ReadDigits(text, 8, 2, &day)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  *days = DaysFromCivil(year, month, day);
  return true;
}

// The seconds of the day of the " HH:MM:SS" (or "THH:MM:SS") that follows the
// date. The eight characters are checked and read as one 64-bit word: this runs
// once for every entry of a log.
bool ParseClockPart(std::string_view text, bool strict, int64_t* seconds) {
  if (text[10] != ' ' && (strict || text[10] != 'T')) return false;
  uint64_t word = 0;
  for (int i = 7; i >= 0; --i) word = word << 8 | static_cast<unsigned char>(text[11 + i]);
  // Byte i of the word is character 11 + i: digits at 0, 1, 3, 4, 6, 7, colons at 2, 5.
  constexpr uint64_t kColons = 0x0000ff0000ff0000;
  if ((word & kColons) != 0x00003a00003a0000) return false;
  const uint64_t digits = word & ~kColons;
  if ((digits & 0xf0f000f0f000f0f0) != 0x3030003030003030) return false;  // 0x30 to 0x3f
  const uint64_t values = digits & 0x0f0f000f0f000f0f;
  if (((values + 0x0606000606000606) & 0x1010001010001010) != 0) return false;  // above 9
  const auto at = [values](int byte) { return static_cast<int>(values >> (8 * byte) & 0xff); };
  const int hour = at(0) * 10 + at(1);
  const int minute = at(3) * 10 + at(4);
  const int second = at(6) * 10 + at(7);
  if (hour > 23 || minute > 59 || second > 59) return false;
  *seconds = hour * 3600 + minute * 60 + second;
  return true;
}

// Strips the trailing 'Z' a loose text may have; false when no 19 characters remain.
bool TrimUtcText(std::string_view* text, bool strict) {
  if (!strict && text->size() == 20 && (*text)[19] == 'Z') text->remove_suffix(1);
  return text->size() == 19;
}

}  // namespace

bool ParseUtcText(std::string_view text, bool strict, int64_t* utcSeconds) {
  int64_t days = 0;
  int64_t clock = 0;
  if (!TrimUtcText(&text, strict) || !ParseDatePart(text, &days) ||
      !ParseClockPart(text, strict, &clock)) {
    return false;
  }
  const int64_t seconds = days * kSecondsPerDay + clock;
  if (seconds < kMinSeconds || seconds > kMaxSeconds) return false;
  *utcSeconds = seconds;
  return true;
}

bool UtcTextReader::Parse(std::string_view text, int64_t* utcSeconds) {
  int64_t clock = 0;
  if (!TrimUtcText(&text, false) || !ParseClockPart(text, false, &clock)) return false;
  if (!haveDate_ || std::memcmp(date_, text.data(), sizeof date_) != 0) {
    haveDate_ = false;
    if (!ParseDatePart(text, &days_)) return false;
    std::memcpy(date_, text.data(), sizeof date_);
    haveDate_ = true;
  }
  const int64_t seconds = days_ * kSecondsPerDay + clock;
  if (seconds < kMinSeconds || seconds > kMaxSeconds) return false;
  *utcSeconds = seconds;
  return true;
}

void ReloadLocalTime() {
  platform::ReloadTimeZone();
  std::fill(std::begin(hours), std::end(hours), SteadyHour{});
  span = LocalSpan{};
  std::fill(std::begin(midnights), std::end(midnights), Midnight{});
}

int64_t NowSeconds() {
  if (Started() && CurrentConfig().fixedNow) return *CurrentConfig().fixedNow;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return Clamp(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

}  // namespace standin

using standin::SecondsOf;

extern "C" {

void TimeNow(TimeDate* now) {
  if (now != nullptr) *now = standin::MakeTime(standin::NowSeconds());
}

// No status to refuse a call with: a reserved argument that is not 0 makes
// the date invalid, so that the next operation on it fails and says so.
void TimeDateOnly(const TimeDate* in, uint32_t reserved, TimeDate* out) {
  if (out == nullptr) return;
  int64_t seconds = 0;
  standin::platform::LocalParts parts;
  if (in == nullptr || reserved != 0 || !SecondsOf(*in, &seconds) ||
      !standin::LocalPartsOf(seconds, &parts)) {
    *out = standin::InvalidTime();
    return;
  }
  int64_t midnight = 0;
  // A midnight that a daylight-saving change skips becomes the day's first
  // existing instant.
  if (!standin::LocalMidnight(parts, &midnight)) {
    *out = standin::InvalidTime();
    return;
  }
  *out = standin::MakeTime(midnight);
}

int32_t TimeDayNumber(const TimeDate* value) {
  int64_t seconds = 0;
  int64_t day = 0;
  standin::platform::LocalParts parts;
  if (value == nullptr || !SecondsOf(*value, &seconds) ||
      !standin::LocalDay(seconds, &parts, &day)) {
    return 0;  // no valid value has day number 0
  }
  return static_cast<int32_t>(day + standin::kJulianEpochDay);
}

// Moves by whole days alone, the same clock time on the target day; every
// other unit is fixed at 0.
Status TimeAdjust(TimeDate* value, int32_t hundredths, int32_t seconds, int32_t minutes,
                  int32_t days, int32_t months, int32_t years) {
  using standin::Fail;
  if (value == nullptr) return Fail(standin::kBadArgument);
  if (const Status fault = standin::CheckFixed("TimeAdjust", {{"hundredths", hundredths, 0},
                                                              {"seconds", seconds, 0},
                                                              {"minutes", minutes, 0},
                                                              {"months", months, 0},
                                                              {"years", years, 0}})) {
    return fault;
  }
  int64_t current = 0;
  if (!SecondsOf(*value, &current)) return Fail(standin::kInvalidTime);
  if (days == 0) return 0;
  standin::platform::LocalParts parts;
  if (!standin::LocalPartsOf(current, &parts)) return Fail(standin::kInvalidTime);
  // Day arithmetic in 64 bits, then clamped: the largest moves take the value
  // to the end of the valid span instead of overflowing.
  const int64_t day = standin::DaysFromCivil(parts.year, parts.month, parts.day) + days;
  const int64_t firstDay = standin::FloorDiv(standin::kMinSeconds, standin::kSecondsPerDay) + 1;
  const int64_t lastDay = standin::FloorDiv(standin::kMaxSeconds, standin::kSecondsPerDay) - 1;
  if (day < firstDay) {
    current = standin::kMinSeconds;
  } else if (day > lastDay) {
    current = standin::kMaxSeconds;
  } else {
    // The same clock time on the target day, worked out from local dates
    // and day numbers alone.
    const int64_t clock = parts.hour * 3600 + parts.minute * 60 + std::min(parts.second, 59);
    if (!standin::LocalInstant(day, clock, &current)) return Fail(standin::kInvalidTime);
  }
  *value = standin::MakeTime(current);
  return 0;
}

Status TimeToText(const void* intlFormat, const void* textFormat, const TimeDate* value,
                  char* buffer, uint16_t size, uint16_t* length) {
  using standin::Fail;
  if (length != nullptr) *length = 0;
  if (value == nullptr || buffer == nullptr) return Fail(standin::kBadArgument);
  // Only the default format, into a buffer of the size every text is asked
  // for with.
  if (const Status fault =
          standin::CheckFixed("TimeToText", {standin::NullArgument("intlFormat", intlFormat),
                                             standin::NullArgument("textFormat", textFormat),
                                             {"size", size, kMaxTimeText}})) {
    return fault;
  }
  int64_t seconds = 0;
  if (!SecondsOf(*value, &seconds)) return Fail(standin::kInvalidTime);
  constexpr uint16_t kTextLength = 19;
  char text[kTextLength] = {'0', '0', '0', '0', '-', '0', '0', '-', '0', '0',
                            ' ', '0', '0', ':', '0', '0', ':', '0', '0'};
  if (standin::SteadyText(seconds, text)) {
    std::memcpy(buffer, text, kTextLength);
    if (length != nullptr) *length = kTextLength;
    return 0;
  }
  standin::platform::LocalParts parts;
  if (!standin::LocalPartsOf(seconds, &parts)) return Fail(standin::kInvalidTime);
  // Every valid value has a four-digit local year.
  if (parts.year < 0 || parts.year > 9999) return Fail(standin::kInvalidTime);
  const auto year = static_cast<int>(parts.year);
  standin::Put2(text, year / 100);
  standin::Put2(text + 2, year % 100);
  standin::Put2(text + 5, parts.month);
  standin::Put2(text + 8, parts.day);
  standin::Put2(text + 11, parts.hour);
  standin::Put2(text + 14, parts.minute);
  standin::Put2(text + 17, parts.second);
  std::memcpy(buffer, text, kTextLength);
  if (length != nullptr) *length = kTextLength;
  return 0;
}

int32_t TimeDiffSeconds(const TimeDate* later, const TimeDate* earlier) {
  int64_t a = 0;
  int64_t b = 0;
  if (later == nullptr || earlier == nullptr || !SecondsOf(*later, &a) ||
      !SecondsOf(*earlier, &b)) {
    return 0;
  }
  const int64_t difference = a - b;
  if (difference > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (difference < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(difference);
}

}  // extern "C"

// Date-times: the stand-in's TimeDate layout (UTC seconds plus a validity mark), their
// texts, calendar days and arithmetic in local time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
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

// Local calendar day (days since 1970-01-01) of a valid value.
bool LocalDay(int64_t seconds, platform::LocalParts* parts, int64_t* day) {
  if (!platform::ToLocal(seconds, parts)) return false;
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

bool ParseUtcText(std::string_view text, bool strict, int64_t* utcSeconds) {
  if (!strict && text.size() == 20 && text[19] == 'Z') text.remove_suffix(1);
  if (text.size() != 19) return false;
  if (text[4] != '-' || text[7] != '-' || text[13] != ':' || text[16] != ':') return false;
  if (text[10] != ' ' && (strict || text[10] != 'T')) return false;
  int year, month, day, hour, minute, second;
  if (!ReadDigits(text, 0, 4, &year) || !ReadDigits(text, 5, 2, &month) ||
      !ReadDigits(text, 8, 2, &day) || !ReadDigits(text, 11, 2, &hour) ||
      !ReadDigits(text, 14, 2, &minute) || !ReadDigits(text, 17, 2, &second)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return false;
  }
  const int64_t seconds =
      DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
  if (seconds < kMinSeconds || seconds > kMaxSeconds) return false;
  *utcSeconds = seconds;
  return true;
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

void TimeDateOnly(const TimeDate* in, uint32_t /*reserved*/, TimeDate* out) {
  if (out == nullptr) return;
  int64_t seconds = 0;
  standin::platform::LocalParts parts;
  if (in == nullptr || !SecondsOf(*in, &seconds) || !standin::platform::ToLocal(seconds, &parts)) {
    *out = standin::InvalidTime();
    return;
  }
  parts.hour = parts.minute = parts.second = 0;
  int64_t midnight = 0;
  // A midnight that a daylight-saving change skips becomes the day's first
  // existing instant (the system moves it forward).
  if (!standin::platform::FromLocal(parts, &midnight)) {
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

Status TimeAdjust(TimeDate* value, int32_t hundredths, int32_t seconds, int32_t minutes,
                  int32_t days, int32_t months, int32_t years) {
  using standin::Fail;
  if (value == nullptr) return Fail(standin::kBadArgument);
  int64_t current = 0;
  if (!SecondsOf(*value, &current)) return Fail(standin::kInvalidTime);
  if (days != 0 || months != 0 || years != 0) {
    standin::platform::LocalParts parts;
    if (!standin::platform::ToLocal(current, &parts)) return Fail(standin::kInvalidTime);
    // Calendar arithmetic in 64 bits, then clamped: the largest inputs move
    // the value to the end of the valid span instead of overflowing.
    const int64_t monthIndex =
        parts.year * 12 + (parts.month - 1) + int64_t{years} * 12 + int64_t{months};
    const int64_t year = standin::FloorDiv(monthIndex, 12);
    const int month = static_cast<int>(monthIndex - year * 12) + 1;
    int64_t day = 0;
    if (year < 1) {
      day = std::numeric_limits<int32_t>::min();
    } else if (year > 9999) {
      day = std::numeric_limits<int32_t>::max();
    } else {
      const int dayOfMonth = std::min(parts.day, standin::DaysInMonth(year, month));
      day = standin::DaysFromCivil(year, month, dayOfMonth) + days;
    }
    const int64_t firstDay = standin::FloorDiv(standin::kMinSeconds, standin::kSecondsPerDay) + 1;
    const int64_t lastDay = standin::FloorDiv(standin::kMaxSeconds, standin::kSecondsPerDay) - 1;
    if (day < firstDay) {
      current = standin::kMinSeconds;
    } else if (day > lastDay) {
      current = standin::kMaxSeconds;
    } else {
      standin::CivilFromDays(day, &parts.year, &parts.month, &parts.day);
      if (!standin::platform::FromLocal(parts, &current)) return Fail(standin::kInvalidTime);
    }
  }
  current += int64_t{hundredths} / 100 + int64_t{seconds} + int64_t{minutes} * 60;
  *value = standin::MakeTime(current);
  return 0;
}

Status TimeToText(const void* intlFormat, const void* textFormat, const TimeDate* value,
                  char* buffer, uint16_t size, uint16_t* length) {
  using standin::Fail;
  if (length != nullptr) *length = 0;
  if (value == nullptr || buffer == nullptr) return Fail(standin::kBadArgument);
  if (intlFormat != nullptr || textFormat != nullptr) return Fail(standin::kUnsupportedFormat);
  int64_t seconds = 0;
  standin::platform::LocalParts parts;
  if (!SecondsOf(*value, &seconds) || !standin::platform::ToLocal(seconds, &parts)) {
    return Fail(standin::kInvalidTime);
  }
  constexpr uint16_t kTextLength = 19;
  if (size < kTextLength) return Fail(standin::kTextBufferTooSmall);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(parts.year),
                parts.month, parts.day, parts.hour, parts.minute, parts.second);
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

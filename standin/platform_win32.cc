// Windows implementation of the stand-in's operating-system services.
#include <stdlib.h>
#include <time.h>
#include <windows.h>

#include "platform.h"

namespace standin::platform {
namespace {

// The C runtime converts only 1970-01-01 to 3000-12-31; outside that span
// the offset of the nearest convertible year is used.
constexpr int64_t kFirstConvertible = 0;
constexpr int64_t kLastConvertible = 32503679999;  // 3000-12-31 23:59:59 UTC
constexpr int64_t kSecondsPer400Years = 12622780800;

}  // namespace

void ReloadTimeZone() { _tzset(); }

bool ToLocal(int64_t utcSeconds, LocalParts* out) {
  int64_t shift = 0;  // whole 400-year cycles keep the calendar identical
  while (utcSeconds + shift < kFirstConvertible) shift += kSecondsPer400Years;
  while (utcSeconds + shift > kLastConvertible) shift -= kSecondsPer400Years;
  const __time64_t value = static_cast<__time64_t>(utcSeconds + shift);
  struct tm parts {};
  if (_localtime64_s(&parts, &value) != 0) return false;
  out->year = static_cast<int64_t>(parts.tm_year) + 1900 - shift / kSecondsPer400Years * 400;
  out->month = parts.tm_mon + 1;
  out->day = parts.tm_mday;
  out->hour = parts.tm_hour;
  out->minute = parts.tm_min;
  out->second = parts.tm_sec;
  return true;
}

std::optional<std::string> GetEnvironment(const char* name) {
  // The system's own copy of the variable: msvcrt.dll has no _dupenv_s.
  DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) return std::nullopt;
  std::string value(size, '\0');
  DWORD length = GetEnvironmentVariableA(name, value.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  value.resize(length);
  return value;
}

bool FileStamp(const std::filesystem::path& path, uint64_t* size, int64_t* modified) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  *modified =
      static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                           data.ftLastWriteTime.dwLowDateTime);
  return true;
}

char PathSeparator() { return '\\'; }
bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace standin::platform

// Windows implementation of the stand-in's operating-system services.
#include <stdlib.h>
#include <time.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "platform.h"

namespace standin::platform {
namespace {

// The C runtime converts only 1970-01-01 to 3000-12-31; outside that span
// the offset of the nearest convertible year is used.
constexpr int64_t kFirstConvertible = 0;
constexpr int64_t kLastConvertible = 32503679999;  // 3000-12-31 23:59:59 UTC
constexpr int64_t kSecondsPer400Years = 12622780800;

bool Ascii(const char* text, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

// `size` bytes (-1: up to the terminator) of code page `codePage` as wide text.
std::wstring Wide(UINT codePage, const char* text, int size) {
  const int length = MultiByteToWideChar(codePage, 0, text, size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(codePage, 0, text, size, wide.data(), length);
  if (size < 0 && !wide.empty()) wide.pop_back();  // the terminator
  return wide;
}

// `size` wide characters in code page `codePage`; in the system's code
// page a character it lacks becomes '?', never a look-alike.
std::string Narrow(UINT codePage, const wchar_t* wide, int size) {
  const bool system = codePage == CP_ACP;
  const DWORD flags = system ? WC_NO_BEST_FIT_CHARS : 0;
  const char* fallback = system ? "?" : nullptr;
  const int length =
      WideCharToMultiByte(codePage, flags, wide, size, nullptr, 0, fallback, nullptr);
  std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(codePage, flags, wide, size, text.data(), length, fallback, nullptr);
  }
  return text;
}

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
  // The system's own copy of the variable (msvcrt.dll has no _dupenv_s), as
  // wide text, so that a folder of any name is read whole.
  const std::wstring wideName = Wide(CP_UTF8, name, -1);
  DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  return Narrow(CP_UTF8, value.data(), static_cast<int>(length));
}

std::string ToProgramText(std::string utf8) {
  if (Ascii(utf8.data(), utf8.size()) || GetACP() == CP_UTF8) return utf8;
  const std::wstring wide = Wide(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()));
  return Narrow(CP_ACP, wide.data(), static_cast<int>(wide.size()));
}

void PackedToProgramText(char* texts, size_t size) {
  if (Ascii(texts, size) || GetACP() == CP_UTF8) return;
  for (size_t at = 0; at < size;) {
    size_t length = 0;
    while (at + length < size && texts[at + length] != '\0') ++length;
    if (!Ascii(texts + at, length)) {
      const std::string converted = ToProgramText(std::string(texts + at, length));
      const size_t kept = converted.size() < length ? converted.size() : length;
      std::memcpy(texts + at, converted.data(), kept);
      std::memset(texts + at + kept, 0, length - kept);
    }
    at += length + 1;
  }
}

std::string FromProgramText(const char* text) {
  const size_t length = std::strlen(text);
  if (Ascii(text, length) || GetACP() == CP_UTF8) return text;
  const std::wstring wide = Wide(CP_ACP, text, static_cast<int>(length));
  return Narrow(CP_UTF8, wide.data(), static_cast<int>(wide.size()));
}

std::filesystem::path PathOf(const std::string& utf8) {
  // A narrow text would be read in another encoding than the one the
  // library writes names back in; UTF-8 is read as such only as char8_t.
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
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

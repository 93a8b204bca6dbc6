// POSIX implementation of the stand-in's operating-system services.
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "platform.h"

namespace standin::platform {

void ReloadTimeZone() { tzset(); }

bool ToLocal(int64_t utcSeconds, LocalParts* out) {
  const time_t value = static_cast<time_t>(utcSeconds);
  struct tm parts {};
  if (localtime_r(&value, &parts) == nullptr) return false;
  out->year = static_cast<int64_t>(parts.tm_year) + 1900;
  out->month = parts.tm_mon + 1;
  out->day = parts.tm_mday;
  out->hour = parts.tm_hour;
  out->minute = parts.tm_min;
  out->second = parts.tm_sec;
  return true;
}

std::optional<std::string> GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool FileStamp(const std::filesystem::path& path, uint64_t* size, int64_t* modified) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return false;
  *size = static_cast<uint64_t>(status.st_size);
  *modified = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  return true;
}

std::string ToProgramText(std::string utf8) { return utf8; }
void PackedToProgramText(char* /*texts*/, size_t /*size*/) {}
std::string FromProgramText(const char* text) { return text; }
std::filesystem::path PathOf(const std::string& utf8) { return utf8; }

char PathSeparator() { return '/'; }
bool IsPathSeparator(char c) { return c == '/'; }

}  // namespace standin::platform

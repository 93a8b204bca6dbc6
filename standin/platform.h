// The few operating-system services the stand-in needs, one file per platform behind them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace standin::platform {

// A broken-down local date-time; `year` is the full year.
struct LocalParts {
  int64_t year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Re-reads the time-zone setting (TZ) so later conversions follow it.
void ReloadTimeZone();

// Local date-time of `utcSeconds`; false when the system cannot convert it.
bool ToLocal(int64_t utcSeconds, LocalParts* out);

// The value of an environment variable, or nothing when it is unset.
std::optional<std::string> GetEnvironment(const char* name);

// The size and modification time (in the system's own unit) of the file at
// `path`, with one request to the system; false when it cannot be asked.
bool FileStamp(const std::filesystem::path& path, uint64_t* size, int64_t* modified);

// Text between the stand-in and the program. The program takes the runtime's
// text to be single bytes in the system's code page, while the stand-in's
// own texts (its files, the file system's names) are UTF-8. On Windows each
// text is converted once, where it leaves or enters the stand-in, and a
// character the code page lacks becomes '?'; on POSIX the bytes stay as
// they are.
std::string ToProgramText(std::string utf8);
// The same in place for `size` bytes of zero-terminated texts packed one
// after another: each keeps its place (a converted text is never longer),
// and the room it no longer needs is zeroed.
void PackedToProgramText(char* texts, size_t size);
// A text that the program hands in (a path), as UTF-8.
std::string FromProgramText(const char* text);
// The file-system path that a UTF-8 text names.
std::filesystem::path PathOf(const std::string& utf8);

// The separator that `$Path` texts use, and whether `c` separates path parts.
char PathSeparator();
bool IsPathSeparator(char c);

}  // namespace standin::platform

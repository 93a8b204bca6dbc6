// Formatted writes to the report stream.
#include "cli/report_printf.h"

#include <array>
#include <cstdarg>
#include <cstdio>

int ReportPrintf(const char* format, ...) {
  // A line is formatted here and handed over whole: some C runtimes empty the
  // stream's buffer at the end of every formatted print to it, which would
  // make each report line its own write again.
  std::array<char, 1024> line;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(line.data(), line.size(), format, args);
  va_end(args);
  int written = length;
  if (length >= 0 && static_cast<std::size_t>(length) < line.size()) {
    if (std::fwrite(line.data(), 1, static_cast<std::size_t>(length), stderr) !=
        static_cast<std::size_t>(length)) {
      written = -1;
    }
  } else if (length >= 0) {
    written = std::vfprintf(stderr, format, again);  // longer than any usual line
  }
  va_end(again);
  return written;
}

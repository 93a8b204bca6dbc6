// Formatted writes to the report stream.
#include "cli/report_printf.h"

#include <cstdarg>
#include <cstdio>

int ReportPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = std::vfprintf(stderr, format, args);
  va_end(args);
  return written;
}

// Formatted writes to the report stream.
#include "cli/report_printf.h"

#include <cstdarg>
#include <cstdio>

#include "cli/output_check.h"
#include "cli/streams.h"

int ReportPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = PrintToStream(stderr, format, args);
  va_end(args);
  NoteWriteResult(stderr, written);
  return written;
}

int ReportWrite(const char* data, std::size_t size) {
  const int written = WriteToStream(stderr, data, size);
  NoteWriteResult(stderr, written);
  return written;
}

int StreamPrintf(std::FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = PrintToStream(stream, format, args);
  va_end(args);
  NoteWriteResult(stream, written);
  return written;
}

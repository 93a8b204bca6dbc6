// The one sink of every report line and message: formatted output to the
// standard error stream, which the main routine sends to the initial
// standard output once the streams are exchanged.
#pragma once

#if defined(__GNUC__)
#define USETRAIL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define USETRAIL_PRINTF(fmt, args)
#endif

#include <cstddef>
#include <cstdio>

int ReportPrintf(const char* format, ...) USETRAIL_PRINTF(1, 2);

// The same sink without formatting: writes `size` bytes as they stand, as
// ReportPrintf("%.*s", ...) would, for lines the caller has put together
// itself. Returns the number written, or -1.
int ReportWrite(const char* data, std::size_t size);

// Formatted output to another standard stream (the usage text, the start-up
// messages) in the same way, so that on a console it reads as the report does.
int StreamPrintf(std::FILE* stream, const char* format, ...) USETRAIL_PRINTF(2, 3);

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

int ReportPrintf(const char* format, ...) USETRAIL_PRINTF(1, 2);

// The same sink without formatting: writes `size` bytes as they stand, as
// ReportPrintf("%.*s", ...) would, for lines the caller has put together
// itself. Returns the number written, or -1.
int ReportWrite(const char* data, std::size_t size);

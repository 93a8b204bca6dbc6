// The one sink of every report line and message: formatted output to the
// standard error stream, which the main routine sends to the initial
// standard output once the streams are exchanged.
#pragma once

#if defined(__GNUC__)
#define USETRAIL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define USETRAIL_PRINTF(fmt, args)
#endif

int ReportPrintf(const char* format, ...) USETRAIL_PRINTF(1, 2);

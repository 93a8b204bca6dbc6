// The exchange of the standard output and standard error streams and the
// writing of the report stream, one implementation per platform.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "cli/report_printf.h"  // USETRAIL_PRINTF

// After the call descriptor 1 refers to what descriptor 2 did and the other
// way round (and so do the process's standard handles where it keeps them).
void SwapStandardStreams();

// Buffers the report stream: line by line on a terminal, so a person
// watching sees lines as they come, in large blocks otherwise.
void BufferReportStream();

// Writes `size` bytes to the report stream as they stand; returns `size`,
// or -1 when not all could be written.
int WriteToReportStream(const char* data, std::size_t size);

// Whether `stream` writes to a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

// Formats onto the report stream (standard error) as vfprintf does and
// returns what it returns, keeping the stream's buffering in force.
int PrintToReportStream(const char* format, va_list args) USETRAIL_PRINTF(1, 0);

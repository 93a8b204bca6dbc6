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

// Writes `size` bytes of text to `stream` (the standard output or error
// stream); returns `size`, or -1 when not all could be written. To a file or
// a pipe the bytes go as they stand. On Windows, a console is shown the
// characters the bytes stand for in the system's code page (the runtime's
// text), where it would otherwise read them in a code page of its own.
int WriteToStream(std::FILE* stream, const char* data, std::size_t size);

// From now on the report stream carries UTF-8 (JSON Lines), not the
// runtime's text: on Windows a console is shown it as UTF-8. Files and pipes
// get the bytes as they stand either way.
void MarkReportTextUtf8();

// Whether `stream` writes to a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

// Formats onto `stream` as vfprintf does and returns what it returns,
// keeping the stream's buffering in force; the text reaches a console as
// WriteToStream's does.
int PrintToStream(std::FILE* stream, const char* format, va_list args) USETRAIL_PRINTF(2, 0);

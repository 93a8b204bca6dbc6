// Progress of a long run, on the terminal: while the report goes to a file or
// a pipe, one line on the initial standard error tells how many databases
// have been searched and reported and how many entries written, rewritten in
// place a few times a second. Runs shorter than half a second show nothing.
#pragma once

#include <cstdint>

#include "cli/report_printf.h"  // USETRAIL_PRINTF

// Decides, before the stream exchange, whether progress is shown: only when
// the initial standard error is a terminal and the initial standard output
// is not. Starts the run's clock.
void StartProgress();

// One database handed out by the scan; `reported` when it matched.
void NoteDatabaseSearched(bool reported);

// Entries written (or counted, by the overview) for the current database.
void NoteEntriesCounted(uint32_t count);

// Erases the progress line, if one is shown. Called before the run ends and
// before any other text goes to the initial standard error.
void EndProgress();

// Writes a message to the initial standard error (the standard output
// stream since the exchange), where the tables tell what they leave out.
// The progress line is erased first and comes back at its next refresh.
void PrintAside(const char* format, ...) USETRAIL_PRINTF(1, 2);

// The clock, in milliseconds; tests replace it. Null puts the system's back.
using ProgressClock = int64_t (*)();
void SetProgressClock(ProgressClock clock);

// Back to the state at process start (the clock stays as set).
void ResetProgress();

// The activity report of one database: its user-activity log, filtered by
// the date window and the user-name patterns, and its summary on request.
#pragma once

#include "runtime/notes_runtime.h"

// Opens `dbPath` (relative to the data directory of `serverName`, empty for
// the local one), prints its report and its own failures, and closes it.
// Returns the failure of opening it or of reading its log, or else the
// status of the last date-time conversion (0 for an empty log).
Status ProcessDatabase(const char* serverName, const char* dbPath);

// Prints "(Error %d: %s)" with the runtime's text for `status`, when it has one.
void PrintStatus(Status status);

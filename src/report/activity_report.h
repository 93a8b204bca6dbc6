// The activity report of one database: its user-activity log, filtered by
// the date window and the user-name patterns, and its summary on request.
#pragma once

#include "runtime/notes_runtime.h"

// Opens `dbPath` (relative to the data directory of `serverName`, empty for
// the local one), prints its report and its own failures, and closes it.
Status ProcessDatabase(const char* serverName, const char* dbPath);

// Prints the log entries and the optional summary of an open database.
// Returns the status of the last date-time conversion (0 for an empty log) or
// the failure of reading the log.
Status PrintUserActivity(DbHandle handle);

// Prints "(Error %d: %s)" with the runtime's text for `status`, when it has one.
void PrintStatus(Status status);

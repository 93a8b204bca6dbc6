// The overview: one line per database instead of its report, telling when
// it was last used, how much and by how many users, or why that is unknown.
#pragma once

#include "runtime/notes_runtime.h"

// Writes the overview's header line (the column names), once per run.
void PrintOverviewHeader();

// Opens `dbPath` (relative to the data directory of `serverName`), counts
// the entries of its log that the date window and the name patterns let
// through, writes the database's overview line, and closes it. `title` is
// the title the scan gave. Returns the status the report would return.
Status ProcessDatabaseOverview(const char* serverName, const char* dbPath, const char* title);

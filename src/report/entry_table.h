// The entry table: every entry the report would print, of every matching
// database, as the lines of one table (path and title in each), for
// spreadsheets and other tools; or as JSON Lines.
#pragma once

#include "runtime/notes_runtime.h"

// Writes the table's header line (none for JSON Lines), once per run.
void PrintEntryTableHeader();

// Opens `dbPath` (relative to the data directory of `serverName`), writes a
// line for each entry of its log that counts, in log order, and closes it.
// `title` is the title the scan gave. A log that cannot be read in full is
// told in one line "<path>: <words>" on the initial standard error. Returns
// the status the report would return.
Status ProcessDatabaseEntries(const char* serverName, const char* dbPath, const char* title);

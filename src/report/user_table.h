// The user table: one line per different user name among the entries that
// count, across all matching databases, ordered by the bytes of the name:
// in how many databases it has entries, their number, reads and writes, and
// its latest entry (when, and in which database). The first part of the
// program that holds data across databases: it keeps the names in memory
// of its own, which grows with the number of different names, not entries.
#pragma once

#include <cstddef>

#include "runtime/notes_runtime.h"

// Opens `dbPath` (relative to the data directory of `serverName`), counts
// each entry of its log that counts under its user name, and closes it. A
// log that cannot be read in full is told in one line "<path>: <words>" on
// the initial standard error. Returns the status the report would return.
Status ProcessDatabaseUsers(const char* serverName, const char* dbPath);

// Writes the header line (none for JSON Lines) and one line per name, then
// empties the table. When memory ran short, says so on the initial standard
// error instead, writes nothing, and marks the run as failed.
void PrintUserTable();

// Empties the table and gives its memory back.
void ResetUserTable();

// The most bytes the table may hold (0: no bound); tests use it to run
// short of memory.
void SetUserTableMemoryLimit(std::size_t bytes);

// Bytes the table holds now.
std::size_t UserTableMemory();

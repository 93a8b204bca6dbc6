// The network path of a database that the scan handed out. A path the scan
// could keep only in part names another database, or none, so it is never
// built or opened: every view shows it as a path that cannot be built.
#pragma once

#include "common/fixed_text.h"
#include "runtime/notes_runtime.h"

// The status of a path that was not kept whole. No runtime operation gave
// it, so it has no runtime text, and the program's own words say why.
constexpr Status kPathNotKept = kStatusAlreadyShown | kErrorCodeMask;

// Whether the path of the database handed to the views next was cut to fit
// (the main routine tells this for every database).
void NoteDatabasePathCut(bool cut);

// Builds the network path of `dbPath` on `serverName` into `path`, always
// terminated. Returns the runtime's status, or kPathNotKept for a path that
// was cut, without asking the runtime.
Status BuildDatabasePath(const char* serverName, const char* dbPath, Text& path);

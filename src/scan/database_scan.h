// The database directory scan: a directory search of a server's data
// directory, held batch by batch in a fixed table of 1024 entries and handed
// out one database at a time. A path is handed out at most once in a scan,
// also when the directory changes between batches: a database there from
// the first search to the last is handed out exactly once.
#pragma once

#include <array>
#include <cstdint>

#include "common/fixed_text.h"
#include "runtime/notes_runtime.h"

constexpr int32_t kDatabaseCacheSize = 1024;

struct DatabaseEntry {
  Text server;
  Text title;
  Text path;
  Text physicalPath;
};
static_assert(sizeof(DatabaseEntry) == 1024);

struct ScanState {
  Text lastServer;
  Text lastDirectory;
  int32_t nextIndex;     // slot of the next entry to hand out
  int32_t entryCount;    // entries stored by the current batch
  int32_t scanFinished;  // no further batch is to be searched
  int32_t matchCount;    // callbacks so far in the current search
  int32_t resumeAfter;   // leading positions that earlier batches took
};

extern std::array<DatabaseEntry, kDatabaseCacheSize> gDatabaseCache;
extern ScanState gScanState;

// Puts the table and the scan state back to their values at process start.
void ResetDatabaseScan();

// Hands out the path of the next database (1), or an empty path at the end
// (0). `pathOut` holds kTextSize bytes. `statusOut` gets 0, then the status
// of every batch search the call runs.
int32_t NextDatabase(const char* serverName, const char* directory, char* pathOut,
                     Status* statusOut);

// Title and physical path of the entry NextDatabase handed out last, or the
// empty string; each buffer holds kTextSize bytes.
void CurrentDatabaseTitle(char* titleOut);
void CurrentDatabasePhysicalPath(char* pathOut);

// Whether the path of the entry NextDatabase handed out last was too long to
// keep, so that the path handed out is only its first 255 characters: such
// a path names another database, or none, and must never be opened.
bool CurrentDatabasePathCut();

// One batch search of the directory.
Status FillDatabaseCache(const char* serverName, const char* directory);

// The step whose failure gave the last batch search's non-zero status, so a
// message can say what failed; kNone after a batch that succeeded.
// kMemory: memory ran short for the paths handed out, so the scan stopped
// before a further batch that could not have told old entries from new.
enum class ScanStep { kNone, kPath, kOpen, kSearch, kClose, kMemory };

// The status of a scan stopped for want of memory. No runtime operation gave
// it, so it has no runtime text.
constexpr Status kScanMemoryShort = kStatusAlreadyShown | (kErrorCodeMask - 1);
ScanStep LastScanFailure();

// Called by the runtime for each entry of the search; always returns 0.
Status DirectoryEntryCallback(void* context, const MatchRecord* matchRecord, const void* summary);

// Reads one summary buffer and stores the entry unless it is a folder.
Status ParseDirectoryEntry(const void* summary, const char* serverName);

// One sequence for the report, the overview and the tables, so that they
// open, read and give back a database alike, and word its failures alike.
#include "report/database_log.h"

#include <cstdio>

#include "cli/progress.h"
#include "report/activity_block.h"
#include "report/database_path.h"
#include "report/entry_filter.h"
#include "report/report_fields.h"

namespace {

// The words of a failure, with the runtime's text for `status` when it has one.
void Describe(const char* words, Status status, LogWords& out) {
  Text text{};
  if (LoadErrorText(status, text) == 0) {
    std::snprintf(out.data(), out.size(), "%s", words);
  } else {
    std::snprintf(out.data(), out.size(), "%s (Error %d: %s)", words,
                  static_cast<int>(ErrorCode(status)), text.data());
  }
}

// Hands on the entries of the block that count; returns the status of the
// last date-time conversion.
//
// The block is the runtime's, and the runtime gives no size for it: the
// entry count and the name offsets are taken on trust, and a name is read
// to its terminator, whole, as it is matched and handed on. Entries are
// copied out (the block need not be aligned); nothing from the block goes
// into a buffer of ours.
Status WalkEntries(const unsigned char* block, uint16_t count, const LogHooks& hooks, void* context,
                   LogOutcome& outcome) {
  const DateWindow window = MakeDateWindow();
  if (hooks.comparesTimes) LearnTimeDifferences();
  Status status = 0;
  uint32_t counted = 0;
  for (uint32_t i = 0; i < count; ++i) {
    ActivityEntry entry;
    TimeText time;
    status = ReadEntry(block, i, entry, time);
    if (status != 0) {
      ++outcome.unconverted;
      if (hooks.unconverted != nullptr) hooks.unconverted(context, i);
      continue;
    }
    if (!InWindow(window, entry.time)) continue;
    const char* name = reinterpret_cast<const char*>(block) + entry.nameOffset;
    if (!NamePasses(name)) continue;
    hooks.counted(context, entry, TextOf(time), name);
    ++counted;
  }
  NoteEntriesCounted(counted);
  return status;
}

// Reads the log of an open database.
void ReadLog(DbHandle handle, const LogHooks& hooks, void* context, LogOutcome& outcome) {
  MemHandle entriesHandle = 0;
  uint16_t count = 0;
  outcome.status = DbGetUserActivity(handle, 0, &outcome.summary, &entriesHandle, &count);
  if (outcome.status != 0) {
    if (ErrorCode(outcome.status) == kErrorNoActivityLog) {
      std::snprintf(outcome.words.data(), outcome.words.size(), "%s",
                    "User activity is not currently being logged in this database.");
    } else {
      Describe("Unable to get User Activity Log", outcome.status, outcome.words);
    }
    return;
  }
  outcome.reach = LogReach::kRead;
  outcome.known = true;
  if (hooks.logRead != nullptr) hooks.logRead(context);
  // No block, or one that cannot be locked: no entries.
  const ActivityBlock block = LockActivityBlock(entriesHandle, count);
  if (block.entries != nullptr) {
    outcome.status = WalkEntries(block.entries, block.count, hooks, context, outcome);
  }
  ReleaseActivityBlock(block);
}

}  // namespace

void ReadDatabaseLog(const char* serverName, const char* dbPath, const LogHooks& hooks,
                     void* context, LogOutcome& outcome) {
  outcome = LogOutcome{};
  Text path{};
  outcome.status = BuildDatabasePath(serverName, dbPath, path);
  if (outcome.status != 0) {
    std::snprintf(outcome.words.data(), outcome.words.size(), "%s",
                  "Cannot create path to database");
    return;
  }

  // Judged by the handle, as the report judges it.
  DbHandle handle = 0;
  outcome.status = DbOpen(path.data(), &handle);
  if (handle == 0) {
    outcome.reach = LogReach::kNotOpened;
    Describe("Unable to open database", outcome.status, outcome.words);
    return;
  }
  outcome.reach = LogReach::kOpened;
  ReadLog(handle, hooks, context, outcome);
  DbClose(handle);

  if (!outcome.known) return;
  if (outcome.unconverted == 0) {
    std::snprintf(outcome.words.data(), outcome.words.size(), "%s", "ok");
  } else {
    std::snprintf(outcome.words.data(), outcome.words.size(),
                  "%lu %s with a date-time that cannot be converted",
                  static_cast<unsigned long>(outcome.unconverted),
                  outcome.unconverted == 1 ? "entry" : "entries");
  }
}

void ReadDatabaseLog(const char* serverName, const char* dbPath, CountedEntry visit, void* context,
                     LogOutcome& outcome) {
  ReadDatabaseLog(serverName, dbPath, LogHooks{visit, nullptr, nullptr, true}, context, outcome);
}

bool LogReadInFull(const LogOutcome& outcome) { return outcome.known && outcome.unconverted == 0; }

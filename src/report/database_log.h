// The log of one database as every view reads it: the path built, the
// database opened, its log read, each entry that counts handed on,
// everything given back; or, when that fails, the words that say why.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "common/fixed_text.h"
#include "runtime/notes_runtime.h"

// Room for the words of a failure with the runtime's text for it.
using LogWords = std::array<char, 2 * kTextSize>;

// How far reading a log came.
enum class LogReach : uint8_t {
  kNoPath,     // the path could not be built
  kNotOpened,  // the database could not be opened
  kOpened,     // open, but its log could not be had
  kRead,       // the log was read
};

// What reading one database's log came to.
struct LogOutcome {
  LogReach reach;           // how far it came
  bool known;               // the log was read: its counts stand
  ActivitySummary summary;  // the database's own totals (all users), when known
  uint32_t unconverted;     // entries whose date-time could not be converted; they do not count
  Status status;            // what the report would return for the database
  LogWords words;           // "ok", or why the log is unknown or not read in full
};

// Called for each entry of the log that counts (in the date window, its
// name passing the patterns), in log order. `time` is the entry's date-time
// text; `time` and `name` hold only for the call.
using CountedEntry = void (*)(void* context, const ActivityEntry& entry, std::string_view time,
                              const char* name);

// What a view is told as a log is read; a hook left null is not called.
struct LogHooks {
  CountedEntry counted;
  // The log was had: its entries come next.
  void (*logRead)(void* context);
  // Entry `index` has a date-time that cannot be converted; it does not count.
  void (*unconverted)(void* context, uint32_t index);
  // Whether the view compares entries' times (IsLater), which is learned
  // for each log.
  bool comparesTimes;
};

// Reads the log of `dbPath` (relative to the data directory of
// `serverName`) and tells `hooks` as it goes. Fills `outcome`; its words
// are those of the overview's Status column.
void ReadDatabaseLog(const char* serverName, const char* dbPath, const LogHooks& hooks,
                     void* context, LogOutcome& outcome);

// The same, for a view that is told only of the entries that count.
void ReadDatabaseLog(const char* serverName, const char* dbPath, CountedEntry visit, void* context,
                     LogOutcome& outcome);

// Whether the whole log was read: known, and every date-time converted.
bool LogReadInFull(const LogOutcome& outcome);

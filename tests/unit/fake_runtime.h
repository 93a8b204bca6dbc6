// A scripted runtime for unit tests: it links in place of the runtime
// library, answers as each test says, and records the calls made, in order.
//
// Time in the fake is whole seconds since 1970-01-01 UTC; calendar days are
// UTC days. Network paths are "server!!file" ("file" for the local server).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/notes_runtime.h"

namespace fake {

// Error codes of the fake's own status table (texts in Runtime::texts).
constexpr Status kNoSuchFile = 259;
constexpr Status kBadTime = 1037;
constexpr Status kBadHandle = 6;
constexpr Status kPathTooLong = 1016;
// A call with an argument out of place: one the runtime's operations fix to
// a value (a reserved 0, a buffer size, a structure type) holds another.
constexpr Status kArgumentOutOfPlace = 1090;

// What becomes of an argument out of place, besides the answer below: the
// unit tests make it fail the test; elsewhere (benchmarks, fuzzing) it ends
// the process, since the program is wrong.
using FaultHandler = void (*)(const std::string& fault);
void SetFaultHandler(FaultHandler handler);

TimeDate At(std::string_view text);  // "YYYY-MM-DD HH:MM:SS", UTC
TimeDate InvalidTime();
int64_t SecondsOf(const TimeDate& value);
std::string TextOf(const TimeDate& value);                 // as TimeToText writes it
std::size_t FormatTime(const TimeDate& value, char* out);  // the same into 128 bytes

struct LogEntry {
  TimeDate time;
  uint16_t reads = 0;
  uint16_t writes = 0;
  std::string user;
};

struct Database {
  Status openStatus = 0;  // DbOpen's status
  bool opens = true;      // false: DbOpen leaves the handle 0
  Status activityStatus = 0;
  ActivitySummary summary{};
  std::vector<LogEntry> log;
  // When set, the entries block is exactly these bytes (count = rawCount).
  std::vector<uint8_t> rawBlock;
  uint16_t rawCount = 0;
  // The entries block is handed back as handle 0 (none), with the count as
  // usual: 0 for an empty log, the way a runtime may hand back one.
  bool noBlock = false;
};

struct DirectoryEntry {
  uint8_t matchFlags = 1;
  // Items in order: name and text; the 2-byte type word is added.
  std::vector<std::pair<std::string, std::string>> items;
  // When not empty, handed to the callback as the summary buffer as is.
  std::vector<uint8_t> raw;
};

// A database entry with the four items a directory search carries.
DirectoryEntry DbEntry(std::string path, std::string title = "");
// A folder entry ("$DIR").
DirectoryEntry FolderEntry(std::string path);
// The summary buffer the fake builds for `entry`.
std::vector<uint8_t> SummaryBytes(const DirectoryEntry& entry, uint16_t headerSize);

struct Runtime {
  // --- answers ---
  TimeDate now = At("2026-12-07 12:00:00");
  std::map<std::string, Database> databases;                       // by network path
  std::map<std::string, std::vector<DirectoryEntry>> directories;  // by network path
  Status searchStatus = 0;
  int searchFailAfter = -1;  // >= 0: DbSearch returns searchStatus after this many
  // Benchmarks: DbSearch walks the directory in place and hands raw summaries
  // over without copying them (the callback must change neither).
  bool searchInPlace = false;
  uint16_t summaryHeaderSize = 6;
  std::map<uint16_t, std::string> texts;                 // by error code
  std::function<std::string(const TimeDate&)> timeText;  // default: TextOf
  // TimeDiffSeconds wraps a difference beyond 32 bits instead of stopping at
  // the largest value; both are a runtime's right.
  bool diffWraps = false;
  // Seconds added to every move of TimeAdjust by whole days: a runtime that
  // resolves a skipped midnight to an instant of the day before (< 0).
  int64_t dayMoveSlip = 0;
  // How TimeAdjust answers a call that moves by anything but days: it
  // refuses it (kArgumentOutOfPlace), or reads the days alone and moves by
  // them. Either way the call is a fault.
  bool adjustReadsOnlyDays = false;
  // MemLock hands back null (and locks nothing).
  bool lockFails = false;
  // Benchmarks: the per-entry time calls (TimeToText, TimeDateOnly,
  // TimeDayNumber, TimeNow) are neither counted nor scripted to fail.
  bool countTimeCalls = true;

  Status initStatus = 0;
  Status takeArgsStatus = 0;
  Status enterMainStatus = 0;
  int startupExitValue = 3;
  std::vector<std::string> takeArgsVector;  // non-empty: RuntimeTakeArgs hands this back

  // Fails the nth call (1-based) of `op` with `status`, instead of its answer;
  // a failed MemLock call hands back null.
  void Fail(std::string_view op, int nth, Status status);

  // --- records ---
  std::vector<std::string> calls;     // e.g. "DbOpen(db/a.db)"; time calls left out
  std::map<std::string, int> counts;  // calls per operation, time calls too
  EntryRoutine enteredRoutine = nullptr;
  char** takeArgsOut = nullptr;  // the vector RuntimeTakeArgs handed back

  // Calls whose text starts with `prefix`.
  std::vector<std::string> CallsOf(std::string_view prefix) const;
  int OpenHandles() const;   // databases and directories not closed
  int LockedBlocks() const;  // locks not undone, also of blocks freed while locked
  int LiveBlocks() const;    // blocks not freed
  int callsOnNone = 0;       // MemLock, MemUnlock or MemFree of handle 0
  // Arguments out of place, e.g. "TimeAdjust: seconds is 1728000000, not 0".
  std::vector<std::string> faults;

  // --- internals of the fake ---
  struct Block {
    std::string owner;
    std::vector<uint8_t> bytes;
    int locks = 0;
  };
  std::map<DbHandle, std::string> handles;
  std::map<MemHandle, Block> blocks;
  int freedLocks = 0;  // locks still held when their block was freed
  std::map<std::string, std::vector<std::pair<int, Status>>> failures;
  uint32_t nextHandle = 100;
  std::vector<std::string> argStorage;
  std::vector<char*> argPointers;

  // Records a fault when `value` is not `fixed`; returns whether it was.
  // Every argument of a call is checked, so that each fault is recorded.
  bool Fixed(const char* op, const char* argument, int64_t value, int64_t fixed);
  bool Null(const char* op, const char* argument, const void* value);
  // Counts a call of `op`; returns a scripted failure for it, or 0.
  Status Count(const std::string& op);
  // The same for the time calls made for every log entry, unless a
  // benchmark has turned their counting off.
  Status CountTimeCall(const char* op);
};

// The fake every runtime call answers from.
Runtime& Fake();
// A fresh fake for the next test.
void Reset();

}  // namespace fake

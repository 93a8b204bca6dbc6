// Interfaces shared by the units of the stand-in runtime, and the hooks its tests use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/notes_runtime.h"

namespace standin {

// --- statuses ---

// Error codes with a fixed text, and the families of texts that are made at
// failure time (those get a code of their own, see Fail below).
enum Code : uint16_t {
  kNotStarted = 1,
  kBadArgument = 2,
  kUnknownHandle = 3,
  kUnknownMemory = 4,
  kNotLocked = 5,
  kPathTooLong = 6,
  kInvalidTime = 7,
  kTextBufferTooSmall = 8,
  kUnsupportedFormat = 9,
  kNotADatabaseHandle = 10,
  kNotAFolderHandle = 11,
  kOutOfMemory = 12,
  kBadServerName = 13,
  // Families whose texts name a variable, file, field, entry or server.
  kBadEnvironment = 20,
  kNoSuchPath = 21,
  kPathEscapes = 22,
  kUnknownServer = 23,
  kNotJson = 24,
  kBadField = 25,
  kBadEntry = 26,
  kCannotRead = 27,
  kLogTooLarge = 28,
  kMemoryShort = 29,
  kArgumentOutOfPlace = 40,
  kNoActivityLog = 578,
};

// Texts made at failure time take codes from this range in turn; an equal
// text gets the code it already has, and a code is reused only after every
// other one of the range has been handed out since.
constexpr uint16_t kFirstMessageCode = 0x2000;
constexpr uint16_t kLastMessageCode = 0x3fff;
constexpr size_t kMaxStatusText = 255;

Status Fail(Code code);                      // a status with its fixed text
Status Fail(Code family, std::string text);  // a status with a text of its own
uint16_t FamilyOf(Status status);            // the Code behind a status; 0 when unknown
// Memory ran short for the database `name`; the fixed kOutOfMemory when even
// its text finds no room. Never throws.
Status MemoryShort(std::string_view name) noexcept;
std::string TextOf(Status status);  // its text; empty when it has none

// An argument that the operations fix to a value (a reserved 0 or null, a
// buffer size, a structure type), with the value it holds.
struct FixedArgument {
  const char* name;
  int64_t value;
  int64_t fixed;
  bool pointer = false;  // then value and fixed say null (0) or not (1)
};
inline FixedArgument NullArgument(const char* name, const void* value) {
  return {name, value != nullptr ? 1 : 0, 0, true};
}
// 0 when every argument holds its value; otherwise a kArgumentOutOfPlace
// status whose text names the operation and the first argument out of place.
Status CheckFixed(const char* operation, std::initializer_list<FixedArgument> arguments);

// --- configuration (set by RuntimeInit) ---

struct Config {
  std::filesystem::path dataDir;                    // absolute
  std::optional<std::filesystem::path> serversDir;  // absolute, when set
  bool serversEmpty = false;                        // USETRAIL_SERVERS set to ""
  std::optional<int64_t> fixedNow;                  // UTC seconds from USETRAIL_NOW
};
bool Started();
const Config& CurrentConfig();

// --- date-times ---

// The span every valid value lies in (0001-01-02 to 9999-12-30 UTC), so that
// local texts always have four-digit years.
constexpr int64_t kMinSeconds = -62135510400;
constexpr int64_t kMaxSeconds = 253402214399;

TimeDate MakeTime(int64_t utcSeconds);  // clamped into the valid span
TimeDate InvalidTime();
bool SecondsOf(const TimeDate& value, int64_t* utcSeconds);
// "YYYY-MM-DD HH:MM:SS" in UTC; unless `strict`, a 'T' for the blank and a
// trailing 'Z' are accepted too.
bool ParseUtcText(std::string_view text, bool strict, int64_t* utcSeconds);
// Reads the date-time texts of a log as ParseUtcText does when not strict,
// keeping the last date read: a log's neighbouring entries mostly share it.
class UtcTextReader {
 public:
  bool Parse(std::string_view text, int64_t* utcSeconds);

 private:
  char date_[10] = {};
  int64_t days_ = 0;
  bool haveDate_ = false;
};
int64_t NowSeconds();
// Re-reads the time zone and forgets every local date-time worked out before.
void ReloadLocalTime();
int64_t DaysFromCivil(int64_t year, int month, int day);  // days since 1970-01-01

// --- data directories ---

// Whether a file name ends in ".db", in any letter case.
bool IsDatabaseName(const std::string& name);

// --- handles and memory ---

// Handle numbers come from one counter for databases and memory blocks
// alike, so that a handle of one kind is never taken for the other.
uint32_t NewHandleNumber();
Status AllocateBlock(std::vector<uint8_t> bytes, MemHandle* handle);
// Empty storage for a new block, with the room of a block freed before.
std::vector<uint8_t> SpareBlock();
bool BlockExists(MemHandle handle);
void FreeAllBlocks();
void CloseAllDatabases();

// The largest entries block DbGetUserActivity hands out: the place of every
// name in it must fit the 32 bits of nameOffset. Tests lower it to try logs
// beyond it without gigabytes of names.
constexpr size_t kEntriesBlockLimit = size_t{1} << 32;
size_t EntriesBlockLimit();
void SetEntriesBlockLimit(size_t bytes);

// --- test hooks ---

// How many times a database file has been opened for reading, and how many
// of those the fast reader declined.
uint64_t DatabaseFileReads();
uint64_t FastReaderDeclines();
// Takes change times up to `stampTime` (in the unit of stamps) as lying well
// back: a test cannot set a change time back, so it says when its tree was
// written in full instead of waiting 2 s.
void SettleChangesUpTo(int64_t stampTime);
// How many times a folder has been listed, and a database's stamp looked at
// by its name, by directory searches.
uint64_t FolderListings();
uint64_t FileLooks();
// Number of live memory blocks and open database or folder handles.
size_t LiveBlocks();
size_t OpenHandles();

}  // namespace standin

// The one door to the database runtime library: its value types, status
// convention, the records it fills, and every operation the program calls.
// Each operation is bound by export number (see runtime_operations.h);
// nothing else in the program knows how the runtime is reached.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// Runtime status: 0 is success, the low 14 bits are the error code, bit 15
// says the runtime has already shown the message.
typedef uint16_t Status;

// 8-byte date-time of the runtime's own layout; only copied and passed back.
struct TimeDate {
  uint32_t innards[2];
};

typedef uint32_t DbHandle;   // open database or directory; 0 = none
typedef uint32_t MemHandle;  // block of runtime memory; 0 = none

// The user-activity summary that DbGetUserActivity fills (little-endian).
struct ActivitySummary {
  TimeDate periodStart;
  TimeDate periodEnd;
  uint32_t uses;
  uint32_t reads;
  uint32_t writes;
  uint32_t dayUses;
  uint32_t dayReads;
  uint32_t dayWrites;
  uint32_t weekUses;
  uint32_t weekReads;
  uint32_t weekWrites;
  uint32_t monthUses;
  uint32_t monthReads;
  uint32_t monthWrites;
};

// One logged access; the entries block starts with `count` of these back to
// back, and the user names lie elsewhere in the same block.
struct ActivityEntry {
  TimeDate time;
  uint16_t reads;
  uint16_t writes;
  uint32_t nameOffset;  // from the start of the block
};

// The record handed to the directory-search callback with each entry.
struct MatchRecord {
  uint8_t reserved1[50];
  uint8_t matchFlags;  // bit 0: the entry's summary is valid
  uint8_t reserved2[5];
};

// Directory-search callback: (context, match record, summary buffer).
typedef Status (*SearchCallback)(void* context, const MatchRecord* match, const void* summary);

// The routine the runtime is told is the program's entry.
typedef int (*EntryRoutine)(int argc, char** argv);

// --- start-up and shutdown ---
Status RuntimeInit(int argc, char** argv);
Status RuntimeTakeArgs(int argc, char** argv, int* argcOut, char*** argvOut);
Status RuntimeEnterMain(EntryRoutine entry, int argc, char** argv, uint32_t reserved1,
                        void* reserved2);
void RuntimeReleaseArgs(int argc, char** argv);
void RuntimeTerm(void);

// --- status texts ---
// Fills `buffer` (at most `size` characters and a terminator) and returns the
// exit status for a failed start.
int StartupStatusText(Status status, char* buffer, uint16_t size);
uint16_t StatusText(Status status, char* buffer, uint16_t size);
// Returns the number of characters written; 0 when there is no text.
uint16_t LoadStatusString(uint32_t module, Status code, char* buffer, uint16_t size);

// --- paths and databases ---
// `pathOut` must hold 256 bytes.
Status BuildNetPath(const char* port, const char* server, const char* file, char* pathOut);
Status DbOpen(const char* path, DbHandle* handle);
Status DbClose(DbHandle handle);
Status DbSearch(DbHandle handle, MemHandle formula, const char* viewTitle, uint16_t searchFlags,
                uint16_t classMask, const TimeDate* since, SearchCallback callback, void* context,
                TimeDate* until);
uint16_t StoredStructSize(uint16_t structureType);
Status DbGetUserActivity(DbHandle handle, uint32_t flags, ActivitySummary* summary,
                         MemHandle* entries, uint16_t* count);

// --- runtime memory ---
void* MemLock(MemHandle handle);
Status MemUnlock(MemHandle handle);
Status MemFree(MemHandle handle);

// --- date-times ---
void TimeNow(TimeDate* now);
void TimeDateOnly(const TimeDate* in, uint32_t reserved, TimeDate* out);
Status TimeAdjust(TimeDate* value, int32_t hundredths, int32_t seconds, int32_t minutes,
                  int32_t days, int32_t months, int32_t years);
// Writes at most `size` characters, not terminated; the count goes to *length.
Status TimeToText(const void* intlFormat, const void* textFormat, const TimeDate* value,
                  char* buffer, uint16_t size, uint16_t* length);
int32_t TimeDayNumber(const TimeDate* value);
int32_t TimeDiffSeconds(const TimeDate* later, const TimeDate* earlier);

}  // extern "C"

// Status helpers.
constexpr uint16_t kErrorCodeMask = 0x3fff;
constexpr uint16_t kStatusAlreadyShown = 0x8000;
constexpr uint16_t ErrorCode(Status status) { return status & kErrorCodeMask; }
constexpr bool AlreadyShown(Status status) { return (status & kStatusAlreadyShown) != 0; }

// Error code of a database that does not record user activity.
constexpr uint16_t kErrorNoActivityLog = 578;
// Structure type whose stored size is the summary-buffer header.
constexpr uint16_t kSummaryHeaderStruct = 18;
// Directory search arguments of the scan.
constexpr uint16_t kSearchFlagsSummary = 6;
constexpr uint16_t kClassMaskDatabases = 0x6002;
// Date-time texts are at most this many characters.
constexpr uint16_t kMaxTimeText = 80;

static_assert(sizeof(TimeDate) == 8);
static_assert(sizeof(ActivitySummary) == 64);
static_assert(offsetof(ActivitySummary, periodEnd) == 8);
static_assert(offsetof(ActivitySummary, uses) == 16);
static_assert(offsetof(ActivitySummary, reads) == 20);
static_assert(offsetof(ActivitySummary, writes) == 24);
static_assert(offsetof(ActivitySummary, dayUses) == 28);
static_assert(offsetof(ActivitySummary, weekUses) == 40);
static_assert(offsetof(ActivitySummary, monthUses) == 52);
static_assert(offsetof(ActivitySummary, monthWrites) == 60);
static_assert(sizeof(ActivityEntry) == 16);
static_assert(offsetof(ActivityEntry, reads) == 8);
static_assert(offsetof(ActivityEntry, writes) == 10);
static_assert(offsetof(ActivityEntry, nameOffset) == 12);
static_assert(sizeof(MatchRecord) == 56);
static_assert(offsetof(MatchRecord, matchFlags) == 50);

// A second runtime library for the Windows tests, written from the
// description of the runtime's operations alone: it does not include the
// program's header, so where the program reads the description one way and
// the stand-in (built from that header) agrees, this one may not. It takes
// the other choices the description leaves open:
//
// - every integer argument is read as a whole 8-byte slot and recorded, and
//   a slot that is not exactly the intended value (a handle it gave, 6 and
//   0x6002 for the search, 255 and 80 for text buffers, 18 for the summary
//   header, a day count sign-extended) is recorded as a FAULT;
// - every result is returned in a whole register whose bits above the
//   documented width are set, so the program must read the documented width;
// - handles have their top bit set, and a call on handle 0 is a FAULT;
// - an empty log is handed back as no block: handle 0 with a count of 0;
// - the summary header of a directory entry is 10 bytes, not 4 or 6, and the
//   items come in another order, with one the program does not know;
// - status texts are exactly 255 characters, with no terminator;
// - the date-time text is of its own shape, and the rest of the 80-byte
//   buffer is filled with '#' rather than left alone;
// - RuntimeTakeArgs hands back a vector of its own, without the arguments
//   meant for the runtime itself (those that begin with '='); with
//   SECOND_RUNTIME_BEST_FIT set, made from the wide command line with the
//   system's best-fit mapping, as an ANSI command line would be;
// - every buffer it hands out (argument vector and texts, match records,
//   summaries, entries blocks) ends where a no-access page begins, and is
//   unmapped when it is given back, so a read past its end or after its time
//   ends the program.
//
// It serves a fixed set of databases, with names in code page 1252 (the
// runtime's text is single bytes in the system's code page): a folder, a log
// that shares one name between entries, an empty log, a name with 'ü', a
// database that does not open, one without a log, one whose last entry has
// a date-time that cannot be converted, and one whose logging period began
// a hundred years ago (more than its signed 32-bit seconds can tell, which
// wrap round).
//
// The record goes to the file named by SECOND_RUNTIME_RECORD, one line per
// call. SECOND_RUNTIME_FAIL_START makes RuntimeInit fail.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

using Slot = uint64_t;  // one integer argument, read whole

// Bits set above every result's documented width.
constexpr uint64_t kAbove16 = 0x5ec0'0000'beef'0000;
constexpr uint64_t kAbove32 = 0x5ec0'0000'0000'0000;

uint64_t Result16(uint16_t value) { return kAbove16 | value; }
uint64_t Result32(int32_t value) { return kAbove32 | static_cast<uint32_t>(value); }

// --- the record ---

std::FILE* record = nullptr;

void Record(const char* format, ...) {
  if (record == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(record, format, args);
  va_end(args);
  std::fputc('\n', record);
  std::fflush(record);
}

#define FAULT(...) Record("FAULT " __VA_ARGS__)

unsigned long long Hex(Slot slot) { return static_cast<unsigned long long>(slot); }

// A slot that must hold exactly `want`.
void Exactly(const char* op, const char* name, Slot slot, Slot want) {
  if (slot != want) {
    FAULT("%s: %s=0x%016llx, not 0x%016llx", op, name, Hex(slot), Hex(want));
  }
}

// A slot that must hold a signed 32-bit value, sign-extended.
int32_t Signed32(const char* op, const char* name, Slot slot) {
  const auto value = static_cast<int32_t>(static_cast<uint32_t>(slot));
  if (static_cast<int64_t>(slot) != value) {
    FAULT("%s: %s=0x%016llx is not a signed 32-bit value sign-extended", op, name, Hex(slot));
  }
  return value;
}

// --- memory whose end is followed by a no-access page ---

struct Guarded {
  char* base = nullptr;  // of the reservation; null when not in use
  char* data = nullptr;  // the buffer handed out
};

char* Allocate(size_t size, Guarded& slot) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  const size_t room = (size + page - 1) / page * page;
  auto* base = static_cast<char*>(
      VirtualAlloc(nullptr, room + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD old = 0;
  VirtualProtect(base + room, page, PAGE_NOACCESS, &old);
  slot.base = base;
  slot.data = base + room - size;
  return slot.data;
}

void Release(Guarded& slot) {
  if (slot.base != nullptr) VirtualFree(slot.base, 0, MEM_RELEASE);
  slot = Guarded{};
}

// --- date-times: day number since 1970-01-01 and second of the day, UTC ---

struct Time {
  uint32_t day;
  uint32_t second;  // kInvalid: not a date-time
};
static_assert(sizeof(Time) == 8);
constexpr uint32_t kInvalid = 0xffffffff;

int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

Time At(int y, int m, int d, int hh, int mm) {
  return {static_cast<uint32_t>(DaysFromCivil(y, m, d)),
          static_cast<uint32_t>(hh * 3600 + mm * 60)};
}

const Time kNow = At(2026, 12, 7, 12, 0);

// --- the databases it serves ---

struct LogEntry {
  Time time;
  uint16_t reads;
  uint16_t writes;
  int name;  // index into the database's names
};

// What sets a database apart.
enum : unsigned { kIsFolder = 1, kHidden = 2, kWillNotOpen = 4, kNoLog = 8, kCentury = 16 };

struct Database {
  const char* path;  // the $Path item, and what BuildNetPath is given
  const char* title;
  unsigned kind;
  const char* names[3];
  LogEntry log[4];
  int entries;
};

const Database kDatabases[] = {
    {"Archiv", "Archiv", kIsFolder, {}, {}, 0},
    {"Archiv\\alt.db",
     "Altes Archiv",
     kCentury,
     {"CN=Ann Lee/O=Acme", "CN=Bob Stone/O=Acme"},
     {{At(2026, 11, 2, 9, 30), 5, 1, 0},
      {At(2026, 12, 6, 17, 5), 2, 0, 1},
      {At(2026, 12, 7, 8, 0), 1, 1, 0}},
     3},
    {"leer.db", "Leer", 0, {}, {}, 0},
    {"M\xfcller.db",
     "Kunden M\xfcller",
     0,
     {"CN=J\xfcrgen M\xfcller/O=Acme"},
     {{At(2026, 12, 5, 10, 15), 4, 2, 0}},
     1},
    {"gesperrt.db", "Gesperrt", kWillNotOpen, {}, {}, 0},
    {"ohnelog.db", "Ohne Log", kNoLog, {}, {}, 0},
    {"versteckt.db", "Versteckt", kHidden, {}, {}, 0},
    {"zeiten.db",
     "Zeiten",
     0,
     {"CN=Cy Dunn/O=Acme"},
     {{At(2026, 12, 1, 7, 45), 3, 0, 0}, {{0, kInvalid}, 1, 0, 0}},
     2},
};
constexpr int kDatabaseCount = sizeof kDatabases / sizeof kDatabases[0];

// --- statuses: a 14-bit code and a text of exactly 255 characters ---

constexpr uint16_t kNoSuchDatabase = 259;
constexpr uint16_t kNotLogged = 578;
constexpr uint16_t kBadTime = 1037;
constexpr uint16_t kBadHandle = 6;
constexpr uint16_t kFailedStart = 421;
constexpr uint16_t kPathTooLong = 1016;
constexpr uint16_t kUnknownServer = 1050;

const char* Description(uint16_t code) {
  switch (code) {
    case kNoSuchDatabase:
      return "the database cannot be opened";
    case kNotLogged:
      return "the database does not record user activity";
    case kBadTime:
      return "the date-time is not valid";
    case kBadHandle:
      return "the handle is not one of this runtime's";
    case kFailedStart:
      return "the runtime was told not to start";
    case kPathTooLong:
      return "the path would be longer than 255 characters";
    case kUnknownServer:
      return "no server of that name can be reached";
    default:
      return "no text for this code";
  }
}

// Fills exactly `size` characters and no terminator.
void FillStatusText(uint16_t code, char* buffer, size_t size) {
  char text[512];
  const int length = std::snprintf(text, sizeof text, "Second runtime, error %u: %s ",
                                   static_cast<unsigned>(code), Description(code));
  for (size_t i = 0; i < size; ++i) {
    buffer[i] = i < static_cast<size_t>(length) ? text[i] : (i + 1 == size ? '|' : '.');
  }
}

// --- handles ---

constexpr uint32_t kDbHandleBase = 0x80000100;
constexpr uint32_t kMemHandleBase = 0xc0000100;
constexpr int kHandles = 64;
constexpr int kFolder = -1;  // the open object is the data directory

struct OpenDb {
  bool open = false;
  int database = 0;  // index into kDatabases, or kFolder
};
OpenDb openDbs[kHandles];
uint32_t dbsGiven = 0;

struct Block {
  bool live = false;
  int locks = 0;
  Guarded memory;
};
Block blocks[kHandles];
uint32_t blocksGiven = 0;

OpenDb* FindDb(const char* op, Slot handle) {
  if (handle == 0) {
    FAULT("%s on handle 0", op);
    return nullptr;
  }
  if (handle < kDbHandleBase || handle >= kDbHandleBase + dbsGiven ||
      !openDbs[handle - kDbHandleBase].open) {
    FAULT("%s: handle=0x%016llx is no open database", op, Hex(handle));
    return nullptr;
  }
  return &openDbs[handle - kDbHandleBase];
}

Block* FindBlock(const char* op, Slot handle) {
  if (handle == 0) {
    FAULT("%s on handle 0", op);
    return nullptr;
  }
  if (handle < kMemHandleBase || handle >= kMemHandleBase + blocksGiven ||
      !blocks[handle - kMemHandleBase].live) {
    FAULT("%s: handle=0x%016llx is no live block", op, Hex(handle));
    return nullptr;
  }
  return &blocks[handle - kMemHandleBase];
}

// --- the argument vector handed back ---

constexpr int kMaxArgs = 32;
Guarded argTexts[kMaxArgs];
Guarded argVector;
int argCount = 0;

}  // namespace

extern "C" {

// ---------------------------------------------------------------- start-up

uint64_t RuntimeInit(Slot argc, char** argv) {
  char path[MAX_PATH] = {};
  if (GetEnvironmentVariableA("SECOND_RUNTIME_RECORD", path, MAX_PATH) > 0) {
    record = std::fopen(path, "wb");
  }
  Record("RuntimeInit argc=0x%016llx argv=%s", Hex(argc), argv != nullptr ? "set" : "null");
  Signed32("RuntimeInit", "argc", argc);
  if (GetEnvironmentVariableA("SECOND_RUNTIME_FAIL_START", path, MAX_PATH) > 0) {
    return Result16(kFailedStart);
  }
  return Result16(0);
}

uint64_t RuntimeTakeArgs(Slot argc, char** argv, int* argcOut, char*** argvOut) {
  Record("RuntimeTakeArgs argc=0x%016llx", Hex(argc));
  int32_t count = Signed32("RuntimeTakeArgs", "argc", argc);
  // With best fit, the texts come from the command line itself: "Ł" becomes
  // "L" where the program's text has '?'.
  char path[8];
  const bool bestFit = GetEnvironmentVariableA("SECOND_RUNTIME_BEST_FIT", path, sizeof path) > 0;
  static char converted[kMaxArgs][1024];
  if (bestFit) {
    int wideCount = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
    count = wide != nullptr && wideCount < kMaxArgs ? wideCount : 0;
    for (int32_t i = 0; i < count; ++i) {
      if (WideCharToMultiByte(CP_ACP, 0, wide[i], -1, converted[i], sizeof converted[i], nullptr,
                              nullptr) == 0) {
        converted[i][0] = '\0';
      }
    }
    LocalFree(wide);
  }
  // A vector of its own, without the arguments meant for the runtime.
  char** vector = reinterpret_cast<char**>(Allocate(sizeof(char*) * (kMaxArgs + 1), argVector));
  argCount = 0;
  for (int32_t i = 0; i < count && argCount < kMaxArgs; ++i) {
    const char* text = bestFit ? converted[i] : argv[i];
    if (i > 0 && text[0] == '=') continue;
    const size_t size = std::strlen(text) + 1;
    if (bestFit) Record("RuntimeTakeArgs arg=%s", text);
    vector[argCount] = Allocate(size, argTexts[argCount]);
    std::memcpy(vector[argCount], text, size);
    ++argCount;
  }
  vector[argCount] = nullptr;
  *argcOut = argCount;
  *argvOut = vector;
  return Result16(0);
}

uint64_t RuntimeEnterMain(void* entry, Slot argc, char** argv, Slot reserved1, void* reserved2) {
  Record("RuntimeEnterMain argc=0x%016llx reserved1=0x%016llx", Hex(argc), Hex(reserved1));
  if (entry == nullptr) FAULT("RuntimeEnterMain: no entry routine");
  Exactly("RuntimeEnterMain", "argc", argc, static_cast<Slot>(argCount));
  if (argv != reinterpret_cast<char**>(argVector.data)) {
    FAULT("RuntimeEnterMain: not the vector RuntimeTakeArgs handed back");
  }
  Exactly("RuntimeEnterMain", "reserved1", reserved1, 0);
  if (reserved2 != nullptr) FAULT("RuntimeEnterMain: reserved2 is not null");
  return Result16(0);
}

void RuntimeReleaseArgs(Slot argc, char** argv) {
  Record("RuntimeReleaseArgs argc=0x%016llx", Hex(argc));
  Exactly("RuntimeReleaseArgs", "argc", argc, static_cast<Slot>(argCount));
  if (argv != reinterpret_cast<char**>(argVector.data)) {
    FAULT("RuntimeReleaseArgs: not the vector RuntimeTakeArgs handed back");
  }
  for (Guarded& text : argTexts) Release(text);
  Release(argVector);
}

void RuntimeTerm() {
  Record("RuntimeTerm");
  for (uint32_t i = 0; i < dbsGiven; ++i) {
    if (openDbs[i].open) FAULT("RuntimeTerm: database handle 0x%08x still open", kDbHandleBase + i);
  }
  for (uint32_t i = 0; i < blocksGiven; ++i) {
    if (blocks[i].live) FAULT("RuntimeTerm: block 0x%08x not freed", kMemHandleBase + i);
  }
  if (argVector.base != nullptr) FAULT("RuntimeTerm: the argument vector was not released");
  if (record != nullptr) std::fclose(record);
  record = nullptr;
}

// ---------------------------------------------------------------- statuses

uint64_t StartupStatusText(Slot status, char* buffer, Slot size) {
  Record("StartupStatusText status=0x%016llx size=0x%016llx", Hex(status), Hex(size));
  Exactly("StartupStatusText", "status", status, kFailedStart);
  Exactly("StartupStatusText", "size", size, 255);
  FillStatusText(static_cast<uint16_t>(status & 0x3fff), buffer, 255);
  return Result32(77);
}

uint64_t StatusText(Slot status, char* buffer, Slot size) {
  Record("StatusText status=0x%016llx size=0x%016llx", Hex(status), Hex(size));
  if (status > 0xffff) FAULT("StatusText: status=0x%016llx is not 16 bits", Hex(status));
  Exactly("StatusText", "size", size, 255);
  FillStatusText(static_cast<uint16_t>(status & 0x3fff), buffer, 255);
  return Result16(255);
}

uint64_t LoadStatusString(Slot module, Slot code, char* buffer, Slot size) {
  Record("LoadStatusString module=0x%016llx code=0x%016llx size=0x%016llx", Hex(module), Hex(code),
         Hex(size));
  Exactly("LoadStatusString", "module", module, 0);
  if (code > 0x3fff) FAULT("LoadStatusString: code=0x%016llx is not 14 bits", Hex(code));
  Exactly("LoadStatusString", "size", size, 255);
  FillStatusText(static_cast<uint16_t>(code & 0x3fff), buffer, 255);
  return Result16(255);
}

// ---------------------------------------------------------------- paths and databases

namespace {
// The server of the last path built: the search's context is its name.
char lastServer[256];
}  // namespace

uint64_t BuildNetPath(const char* port, const char* server, const char* file, char* pathOut) {
  Record("BuildNetPath server=\"%s\" file=\"%s\"", server, file);
  std::snprintf(lastServer, sizeof lastServer, "%s", server);
  if (port != nullptr) FAULT("BuildNetPath: a port was given");
  char path[512];
  const int length = server[0] == '\0' ? std::snprintf(path, sizeof path, "%s", file)
                                       : std::snprintf(path, sizeof path, "%s::%s", server, file);
  if (length < 0 || length > 255) return Result16(kPathTooLong);
  std::memcpy(pathOut, path, static_cast<size_t>(length) + 1);
  return Result16(0);
}

uint64_t DbOpen(const char* path, uint32_t* handle) {
  Record("DbOpen path=\"%s\"", path);
  *handle = 0;
  if (std::strstr(path, "::") != nullptr) return Result16(kUnknownServer);
  int found = path[0] == '\0' ? kFolder : -2;
  for (int i = 0; found == -2 && i < kDatabaseCount; ++i) {
    if ((kDatabases[i].kind & kIsFolder) == 0 && std::strcmp(kDatabases[i].path, path) == 0)
      found = i;
  }
  if (found == -2 || (found != kFolder && (kDatabases[found].kind & kWillNotOpen) != 0)) {
    return Result16(kNoSuchDatabase);
  }
  if (dbsGiven == kHandles) return Result16(kBadHandle);
  openDbs[dbsGiven] = {true, found};
  *handle = kDbHandleBase + dbsGiven++;
  return Result16(0);
}

uint64_t DbClose(Slot handle) {
  Record("DbClose handle=0x%016llx", Hex(handle));
  OpenDb* db = FindDb("DbClose", handle);
  if (db == nullptr) return Result16(kBadHandle);
  db->open = false;
  return Result16(0);
}

uint64_t StoredStructSize(Slot type) {
  Record("StoredStructSize type=0x%016llx", Hex(type));
  Exactly("StoredStructSize", "type", type, 18);
  return Result16(10);
}

using Callback = uint64_t (*)(void* context, const void* match, const void* summary);

namespace {

void Put16(char* at, size_t value) {
  at[0] = static_cast<char>(value & 0xff);
  at[1] = static_cast<char>((value >> 8) & 0xff);
}

// The summary of one entry: a 10-byte header, then the descriptors and the
// items, in an order of its own and with one item the program does not know.
char* BuildSummary(const Database& db, Guarded& memory) {
  char physical[300];
  std::snprintf(physical, sizeof physical, "D:\\Daten\\%s", db.path);
  const char* names[5] = {"$PHYSICALPATH", "$Type", "$Flags", "$TITLE", "$Path"};
  const char* values[5] = {physical, (db.kind & kIsFolder) != 0 ? "$DIR" : "$NOTEFILE", "c",
                           db.title, db.path};
  constexpr size_t kHeader = 10;
  size_t size = kHeader + 5 * 4;
  for (int i = 0; i < 5; ++i) size += std::strlen(names[i]) + 2 + std::strlen(values[i]);
  char* summary = Allocate(size, memory);
  std::memset(summary, 0xee, kHeader);
  Put16(summary + 2, 5);
  char* at = summary + kHeader + 5 * 4;
  for (int i = 0; i < 5; ++i) {
    const size_t nameLength = std::strlen(names[i]);
    const size_t textLength = std::strlen(values[i]);
    Put16(summary + kHeader + 4 * i, nameLength);
    Put16(summary + kHeader + 4 * i + 2, textLength + 2);
    std::memcpy(at, names[i], nameLength);
    at += nameLength;
    Put16(at, 0x0500);  // the data-type word: text
    at += 2;
    std::memcpy(at, values[i], textLength);
    at += textLength;
  }
  return summary;
}

}  // namespace

uint64_t DbSearch(Slot handle, Slot formula, const char* viewTitle, Slot searchFlags,
                  Slot classMask, const void* since, Callback callback, void* context,
                  void* until) {
  Record("DbSearch handle=0x%016llx formula=0x%016llx searchFlags=0x%016llx classMask=0x%016llx",
         Hex(handle), Hex(formula), Hex(searchFlags), Hex(classMask));
  Exactly("DbSearch", "formula", formula, 0);
  Exactly("DbSearch", "searchFlags", searchFlags, 6);
  Exactly("DbSearch", "classMask", classMask, 0x6002);
  if (viewTitle != nullptr || since != nullptr || until != nullptr) {
    FAULT("DbSearch: arguments 3, 6 and 9 must be null");
  }
  OpenDb* db = FindDb("DbSearch", handle);
  if (db == nullptr) return Result16(kBadHandle);
  if (db->database != kFolder) FAULT("DbSearch on a database, not on the data directory");
  if (context == nullptr || std::strcmp(static_cast<const char*>(context), lastServer) != 0) {
    FAULT("DbSearch: the context is not the server name");
  }
  for (const Database& entry : kDatabases) {
    Guarded matchMemory, summaryMemory;
    char* match = Allocate(56, matchMemory);
    std::memset(match, 0xa5, 56);
    match[50] = (entry.kind & kHidden) != 0 ? 0x00 : 0x01;
    const char* summary = BuildSummary(entry, summaryMemory);
    const uint64_t result = callback(context, match, summary);
    Record("callback entry=\"%s\" result=0x%016llx", entry.path, Hex(result));
    Exactly("DbSearch callback", "result", result, 0);
    Release(matchMemory);
    Release(summaryMemory);
  }
  return Result16(0);
}

namespace {

// The 64-byte activity summary, at the offsets the description gives.
void FillSummary(const Database& db, unsigned char* out) {
  Time start = kNow;
  uint32_t counts[12] = {};  // uses, reads, writes, then day, week and month
  for (int i = 0; i < db.entries; ++i) {
    const LogEntry& e = db.log[i];
    if (e.time.second == kInvalid) continue;
    if (e.time.day < start.day) start = e.time;
    const uint32_t age = kNow.day - e.time.day;
    for (int span = 0; span < 4; ++span) {
      const uint32_t days[4] = {UINT32_MAX, 1, 7, 30};
      if (span > 0 && age >= days[span]) continue;
      counts[span * 3] += 1;
      counts[span * 3 + 1] += e.reads;
      counts[span * 3 + 2] += e.writes;
    }
  }
  if ((db.kind & kCentury) != 0) start = At(1926, 1, 1, 0, 0);
  std::memcpy(out, &start, 8);
  std::memcpy(out + 8, &kNow, 8);
  std::memcpy(out + 16, counts, sizeof counts);
}

}  // namespace

uint64_t DbGetUserActivity(Slot handle, Slot flags, unsigned char* summary, uint32_t* entries,
                           uint16_t* count) {
  Record("DbGetUserActivity handle=0x%016llx flags=0x%016llx", Hex(handle), Hex(flags));
  Exactly("DbGetUserActivity", "flags", flags, 0);
  *entries = 0;
  *count = 0;
  OpenDb* open = FindDb("DbGetUserActivity", handle);
  if (open == nullptr) return Result16(kBadHandle);
  if (open->database == kFolder) return Result16(kBadHandle);
  const Database& db = kDatabases[open->database];
  if ((db.kind & kNoLog) != 0) return Result16(0x8000 | kNotLogged);
  FillSummary(db, summary);
  if (db.entries == 0) return Result16(0);  // no block: handle 0, count 0

  // The records, then each name once (entries may share one): the block
  // ends with the last name's terminator, where a no-access page begins.
  size_t namesSize = 0;
  for (const char* name : db.names) namesSize += name != nullptr ? std::strlen(name) + 1 : 0;
  const size_t size = namesSize + 16 * static_cast<size_t>(db.entries);
  if (blocksGiven == kHandles) return Result16(kBadHandle);
  Block& block = blocks[blocksGiven];
  char* bytes = Allocate(size, block.memory);
  uint32_t nameOffsets[3] = {};
  size_t at = 16 * static_cast<size_t>(db.entries);
  for (int i = 0; i < 3 && db.names[i] != nullptr; ++i) {
    nameOffsets[i] = static_cast<uint32_t>(at);
    std::memcpy(bytes + at, db.names[i], std::strlen(db.names[i]) + 1);
    at += std::strlen(db.names[i]) + 1;
  }
  for (int i = 0; i < db.entries; ++i) {
    unsigned char record16[16];
    std::memcpy(record16, &db.log[i].time, 8);
    std::memcpy(record16 + 8, &db.log[i].reads, 2);
    std::memcpy(record16 + 10, &db.log[i].writes, 2);
    std::memcpy(record16 + 12, &nameOffsets[db.log[i].name], 4);
    std::memcpy(bytes + 16 * i, record16, 16);
  }
  block.live = true;
  block.locks = 0;
  *entries = kMemHandleBase + blocksGiven++;
  *count = static_cast<uint16_t>(db.entries);
  return Result16(0);
}

// ---------------------------------------------------------------- memory

void* MemLock(Slot handle) {
  Record("MemLock handle=0x%016llx", Hex(handle));
  Block* block = FindBlock("MemLock", handle);
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->memory.data;
}

uint64_t MemUnlock(Slot handle) {
  Record("MemUnlock handle=0x%016llx", Hex(handle));
  Block* block = FindBlock("MemUnlock", handle);
  if (block == nullptr) return Result16(kBadHandle);
  if (block->locks == 0) {
    FAULT("MemUnlock: block 0x%016llx is not locked", Hex(handle));
    return Result16(kBadHandle);
  }
  --block->locks;
  return Result16(0);
}

uint64_t MemFree(Slot handle) {
  Record("MemFree handle=0x%016llx", Hex(handle));
  Block* block = FindBlock("MemFree", handle);
  if (block == nullptr) return Result16(kBadHandle);
  if (block->locks != 0) FAULT("MemFree: block 0x%016llx is still locked", Hex(handle));
  block->live = false;
  Release(block->memory);
  return Result16(0);
}

// ---------------------------------------------------------------- date-times

void TimeNow(Time* now) {
  Record("TimeNow");
  *now = kNow;
}

void TimeDateOnly(const Time* in, Slot reserved, Time* out) {
  Record("TimeDateOnly reserved=0x%016llx", Hex(reserved));
  Exactly("TimeDateOnly", "reserved", reserved, 0);
  *out = {in->day, in->second == kInvalid ? kInvalid : 0};
}

uint64_t TimeAdjust(Time* value, Slot hundredths, Slot seconds, Slot minutes, Slot days,
                    Slot months, Slot years) {
  Record("TimeAdjust days=0x%016llx", Hex(days));
  Exactly("TimeAdjust", "hundredths", hundredths, 0);
  Exactly("TimeAdjust", "seconds", seconds, 0);
  Exactly("TimeAdjust", "minutes", minutes, 0);
  Exactly("TimeAdjust", "months", months, 0);
  Exactly("TimeAdjust", "years", years, 0);
  const int32_t move = Signed32("TimeAdjust", "days", days);
  if (value->second == kInvalid) return Result16(kBadTime);
  value->day = static_cast<uint32_t>(static_cast<int64_t>(value->day) + move);
  return Result16(0);
}

uint64_t TimeToText(const void* intlFormat, const void* textFormat, const Time* value, char* buffer,
                    Slot size, uint16_t* length) {
  Record("TimeToText size=0x%016llx", Hex(size));
  Exactly("TimeToText", "size", size, 80);
  if (intlFormat != nullptr || textFormat != nullptr) FAULT("TimeToText: a format was given");
  std::memset(buffer, '#', 80);
  if (value->second == kInvalid) {
    *length = 0;
    return Result16(kBadTime);
  }
  int y = 0, m = 0, d = 0;
  CivilFromDays(value->day, y, m, d);
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%02d.%02d.%04d %02u.%02u Uhr", d, m, y,
                              value->second / 3600, value->second / 60 % 60);
  std::memcpy(buffer, text, static_cast<size_t>(n));  // no terminator
  *length = static_cast<uint16_t>(n);
  return Result16(0);
}

uint64_t TimeDayNumber(const Time* value) {
  // A Julian day number: not the stand-in's count, one more per day all the same.
  return Result32(static_cast<int32_t>(value->day + 2440588));
}

uint64_t TimeDiffSeconds(const Time* later, const Time* earlier) {
  const int64_t seconds =
      (static_cast<int64_t>(later->day) - earlier->day) * 86400 + later->second - earlier->second;
  return Result32(static_cast<int32_t>(seconds));
}

}  // extern "C"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

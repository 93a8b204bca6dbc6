// The names live in an arena of large chunks, taken as new names come, each
// record followed by its name; a hash table of pointers to the records,
// keyed by the run's name hash and grown by doubling, finds them. At the
// end the table's slots are packed and sorted in place, so printing needs
// no memory of its own.
#include "report/user_table.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "cli/output_check.h"
#include "cli/progress.h"
#include "cli/report_printf.h"
#include "cli/run_settings.h"
#include "common/arena.h"
#include "common/fixed_text.h"
#include "report/database_log.h"
#include "report/entry_filter.h"
#include "report/json_writer.h"
#include "report/name_hash.h"
#include "report/report_fields.h"

namespace {

constexpr const char* kColumns[] = {"User Name", "Databases",   "Entries",   "Reads",
                                    "Writes",    "Last Access", "Days Since"};
constexpr const char* kLastColumn = "Last Database";

// One user name and what its entries add up to; the name's bytes and a
// terminator follow the record in the arena.
struct UserRecord {
  uint64_t entries;
  uint64_t reads;  // 64 bits: no sum of 16-bit counts overflows them
  uint64_t writes;
  TimeDate latest;
  const char* latestDatabase;  // path of the database of the latest entry, in the arena
  uint32_t databases;
  uint32_t seenIn;  // number of the last database that counted the name
  uint32_t nameLength;
  uint32_t hash;  // the low bits of the name's hash, to grow the table without hashing again
};

std::string_view NameOf(const UserRecord* record) {
  return {reinterpret_cast<const char*>(record + 1), record->nameLength};
}

constexpr std::size_t kChunkSize = std::size_t{1} << 20;
static_assert(alignof(UserRecord) <= kArenaAlign);

struct Table {
  Arena arena{kChunkSize};
  UserRecord** slots = nullptr;
  std::size_t slotCount = 0;  // a power of two
  std::size_t names = 0;
  bool memoryShort = false;  // memory ran short: the table is given up
  uint32_t database = 0;     // number of the database being read
  const char* dbPath = nullptr;
  const char* keptPath = nullptr;  // its path in the arena, once needed
};

Table table;

// --- the hash table ---

// Doubles the slots (or makes the first ones) and puts every record back.
bool Grow() {
  const std::size_t count = table.slotCount == 0 ? 1024 : 2 * table.slotCount;
  auto** slots = static_cast<UserRecord**>(ArenaAllocate(table.arena, count * sizeof(UserRecord*)));
  if (slots == nullptr) return false;
  std::fill(slots, slots + count, nullptr);
  const std::size_t mask = count - 1;
  for (std::size_t i = 0; i < table.slotCount; ++i) {
    UserRecord* record = table.slots[i];
    if (record == nullptr) continue;
    std::size_t slot = record->hash & mask;
    while (slots[slot] != nullptr) slot = (slot + 1) & mask;
    slots[slot] = record;
  }
  if (table.slots != nullptr) {
    ArenaRelease(table.arena, table.slots, table.slotCount * sizeof(UserRecord*));
  }
  table.slots = slots;
  table.slotCount = count;
  return true;
}

// The record of `name`, made when it is new; null when memory is short.
UserRecord* Find(std::string_view name) {
  // At most half the slots are used, so probes stay short.
  if (2 * (table.names + 1) > table.slotCount && !Grow()) return nullptr;
  const auto hash = static_cast<uint32_t>(NameHash(name));
  const std::size_t mask = table.slotCount - 1;
  std::size_t slot = hash & mask;
  for (; table.slots[slot] != nullptr; slot = (slot + 1) & mask) {
    UserRecord* record = table.slots[slot];
    if (record->hash == hash && NameOf(record) == name) return record;
  }
  if (name.size() > UINT32_MAX - 1) return nullptr;
  char* memory = ArenaTake(table.arena, sizeof(UserRecord) + name.size() + 1);
  if (memory == nullptr) return nullptr;
  auto* record = reinterpret_cast<UserRecord*>(memory);
  *record = UserRecord{};
  record->nameLength = static_cast<uint32_t>(name.size());
  record->hash = hash;
  char* text = memory + sizeof(UserRecord);
  std::memcpy(text, name.data(), name.size());
  text[name.size()] = '\0';
  table.slots[slot] = record;
  ++table.names;
  return record;
}

// The current database's path in the arena, kept the first time it is needed.
const char* KeptPath() {
  if (table.keptPath == nullptr) {
    const std::size_t size = std::strlen(table.dbPath) + 1;
    char* memory = ArenaTake(table.arena, size);
    if (memory == nullptr) return nullptr;
    std::memcpy(memory, table.dbPath, size);
    table.keptPath = memory;
  }
  return table.keptPath;
}

void CountEntry(void*, const ActivityEntry& entry, std::string_view, const char* name) {
  if (table.memoryShort) return;
  UserRecord* record = Find(name);
  const char* path = record != nullptr ? KeptPath() : nullptr;
  if (path == nullptr) {
    table.memoryShort = true;
    return;
  }
  if (record->seenIn != table.database) {
    record->seenIn = table.database;
    ++record->databases;
  }
  ++record->entries;
  record->reads += entry.reads;
  record->writes += entry.writes;
  // Databases come in the order of the run: of equal times the first stays.
  if (record->entries == 1 || IsLater(entry.time, record->latest)) {
    record->latest = entry.time;
    record->latestDatabase = path;
  }
}

// --- the lines ---

bool ByNameBytes(const UserRecord* a, const UserRecord* b) {
  const std::string_view x = NameOf(a);
  const std::string_view y = NameOf(b);
  // Compared as unsigned bytes, a shorter name before its own extensions.
  const int order = std::memcmp(x.data(), y.data(), std::min(x.size(), y.size()));
  return order != 0 ? order < 0 : x.size() < y.size();
}

// Room for a usual line put together here: a quoted name of up to
// kLongName bytes, a quoted path of 255, the time text and the numbers.
constexpr std::size_t kLongName = 512;
constexpr std::size_t kLineRoom = 4096;
static_assert(2 * kLongName + 3 + 2 * kTextSize + 3 + 2 * kMaxTimeText + 3 + 6 * 21 + 8 <=
              kLineRoom);

void PrintTextLine(const UserRecord& r, std::string_view name, std::string_view time,
                   int32_t days) {
  const FieldForm form = TableForm(gRunSettings.separator);
  const char s = SeparatorOf(form);
  const std::string_view path(r.latestDatabase);
  if (name.size() <= kLongName && path.size() < kTextSize) {
    std::array<char, kLineRoom> line;
    std::size_t n = PutTextField(name, form, line.data());
    for (const uint64_t value : {uint64_t{r.databases}, r.entries, r.reads, r.writes}) {
      line[n++] = s;
      n += PutDecimal(value, line.data() + n);
    }
    line[n++] = s;
    n += PutTextField(time, form, line.data() + n);
    line[n++] = s;
    n += PutSignedDecimal(days, line.data() + n);
    line[n++] = s;
    n += PutTextField(path, form, line.data() + n);
    line[n++] = '\n';
    ReportWrite(line.data(), n);
    return;
  }
  // A name too long for the room: the fields one by one, the counts put
  // together here as in the usual line.
  PrintTextField(name, form);
  std::array<char, 4 * 21 + 1> counts;
  std::size_t n = 0;
  for (const uint64_t value : {uint64_t{r.databases}, r.entries, r.reads, r.writes}) {
    counts[n++] = s;
    n += PutDecimal(value, counts.data() + n);
  }
  counts[n++] = s;
  ReportWrite(counts.data(), n);
  PrintTextField(time, form);
  ReportPrintf("%c%d%c", s, static_cast<int>(days), s);
  PrintTextField(path, form);
  ReportPrintf("\n");
}

void PrintJsonLine(const UserRecord& r, std::string_view name, std::string_view time,
                   bool timeKnown, int32_t days) {
  static JsonLine line;
  JsonBegin(line);
  JsonText(line, "user", name);
  JsonNumber(line, "databases", r.databases);
  JsonNumber(line, "entries", r.entries);
  JsonNumber(line, "reads", r.reads);
  JsonNumber(line, "writes", r.writes);
  if (timeKnown) {
    JsonText(line, "lastAccess", time);
  } else {
    JsonNull(line, "lastAccess");
  }
  JsonSignedNumber(line, "daysSince", days);
  JsonText(line, "lastDatabase", r.latestDatabase);
  JsonEnd(line);
}

void PrintHeader() {
  const char s = gRunSettings.separator;
  for (const char* column : kColumns) ReportPrintf("%s%c", column, s);
  ReportPrintf("%s\n", kLastColumn);
}

}  // namespace

Status ProcessDatabaseUsers(const char* serverName, const char* dbPath) {
  ++table.database;
  table.dbPath = dbPath;
  table.keptPath = nullptr;
  LogOutcome log;
  ReadDatabaseLog(serverName, dbPath, CountEntry, nullptr, log);
  if (!LogReadInFull(log)) PrintAside("%s: %s\n", dbPath, log.words.data());
  table.dbPath = nullptr;
  return log.status;
}

void PrintUserTable() {
  if (table.memoryShort) {
    PrintAside(
        "Not enough memory for the user table (%lu different names held): no table written\n",
        static_cast<unsigned long>(table.names));
    NoteOutputIncomplete();
    ResetUserTable();
    return;
  }
  const bool json = gRunSettings.json != 0;
  if (!json) PrintHeader();
  // The slots, packed to the front, are the list to sort.
  std::size_t count = 0;
  for (std::size_t i = 0; i < table.slotCount; ++i) {
    if (table.slots[i] != nullptr) table.slots[count++] = table.slots[i];
  }
  std::sort(table.slots, table.slots + count, ByNameBytes);
  const int64_t today = TodayDayNumber();
  for (std::size_t i = 0; i < count && !OutputLost(); ++i) {
    const UserRecord& record = *table.slots[i];
    // The latest time was converted when it was read, so converting it again
    // gives the same text; should the runtime fail now, the field is empty.
    TimeText time;
    const bool timeKnown = TimeTextOf(record.latest, time) == 0;
    if (!timeKnown) time[0] = '\0';
    const int32_t days = DaysSince(record.latest, today);
    if (json) {
      PrintJsonLine(record, NameOf(&record), TextOf(time), timeKnown, days);
    } else {
      PrintTextLine(record, NameOf(&record), TextOf(time), days);
    }
  }
  ResetUserTable();
}

void ResetUserTable() {
  ArenaFreeChunks(table.arena);
  if (table.slots != nullptr) {
    ArenaRelease(table.arena, table.slots, table.slotCount * sizeof(UserRecord*));
  }
  const std::size_t limit = table.arena.limit;
  table = Table{};
  table.arena.limit = limit;
}

void SetUserTableMemoryLimit(std::size_t bytes) { table.arena.limit = bytes; }

std::size_t UserTableMemory() { return table.arena.held; }

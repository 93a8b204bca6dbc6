// The scripted runtime of the unit tests.
#include "fake_runtime.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace fake {
namespace {

constexpr int64_t kInvalid = std::numeric_limits<int64_t>::min();

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y = yoe + era * 400 + (m <= 2);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

TimeDate Make(int64_t seconds) {
  TimeDate t;
  std::memcpy(&t, &seconds, sizeof t);
  return t;
}

Runtime* gFake = new Runtime();

void EndOnFault(const std::string& fault) {
  std::fprintf(stderr, "fake runtime: %s\n", fault.c_str());
  std::abort();
}

FaultHandler gFaultHandler = EndOnFault;

// A program that goes round on a refused call would never end otherwise.
constexpr std::size_t kMostFaults = 1000;

std::string HandleName(DbHandle h) {
  auto it = Fake().handles.find(h);
  return it == Fake().handles.end() ? "?" + std::to_string(h) : it->second;
}

std::string BlockName(MemHandle h) {
  auto it = Fake().blocks.find(h);
  return it == Fake().blocks.end() ? "?" + std::to_string(h) : it->second.owner;
}

void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v & 0xff);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

uint16_t WriteText(const std::string& text, char* buffer, uint16_t size) {
  uint16_t n = static_cast<uint16_t>(std::min<size_t>(text.size(), size));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

}  // namespace

TimeDate At(std::string_view text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  std::string copy(text);
  if (std::sscanf(copy.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) {
    return InvalidTime();
  }
  return Make(DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s);
}

TimeDate InvalidTime() { return Make(kInvalid); }

int64_t SecondsOf(const TimeDate& value) {
  int64_t s;
  std::memcpy(&s, &value, sizeof s);
  return s;
}

// Writes the text of `value` into `out` (128 bytes) and returns its length.
// Years 0 to 9999 are written digit by digit: benchmarks convert every entry
// of a long log, and the runtime's share should not swamp the program's.
std::size_t FormatTime(const TimeDate& value, char* out) {
  int64_t s = SecondsOf(value);
  int64_t days = FloorDiv(s, 86400);
  int64_t rest = s - days * 86400;
  int64_t y, m, d;
  CivilFromDays(days, y, m, d);
  if (y < 0 || y > 9999) {
    return static_cast<std::size_t>(std::snprintf(
        out, 128, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(y),
        static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(rest / 3600),
        static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60)));
  }
  const int64_t fields[] = {y / 100, y % 100, m, d, rest / 3600, rest / 60 % 60, rest % 60};
  const char after[] = {'\0', '-', '-', ' ', ':', ':', '\0'};
  std::size_t n = 0;
  for (std::size_t i = 0; i < 7; ++i) {
    out[n++] = static_cast<char>('0' + fields[i] / 10);
    out[n++] = static_cast<char>('0' + fields[i] % 10);
    if (after[i] != '\0') out[n++] = after[i];
  }
  out[n] = '\0';
  return n;
}

std::string TextOf(const TimeDate& value) {
  char buf[128];
  return std::string(buf, FormatTime(value, buf));
}

DirectoryEntry DbEntry(std::string path, std::string title) {
  DirectoryEntry e;
  e.items = {{"$TITLE", std::move(title)},
             {"$Path", path},
             {"$Type", "$DB"},
             {"$PHYSICALPATH", "/data/" + path}};
  return e;
}

DirectoryEntry FolderEntry(std::string path) {
  DirectoryEntry e;
  e.items = {
      {"$TITLE", path}, {"$Path", path}, {"$Type", "$DIR"}, {"$PHYSICALPATH", "/data/" + path}};
  return e;
}

std::vector<uint8_t> SummaryBytes(const DirectoryEntry& entry, uint16_t headerSize) {
  if (!entry.raw.empty()) return entry.raw;
  size_t size = std::max<size_t>(headerSize, 4) + 4 * entry.items.size();
  for (const auto& [name, text] : entry.items) size += name.size() + 2 + text.size();
  std::vector<uint8_t> b(size, 0);
  PutU16(b, 2, static_cast<uint16_t>(entry.items.size()));
  size_t at = headerSize;
  for (const auto& [name, text] : entry.items) {
    PutU16(b, at, static_cast<uint16_t>(name.size()));
    PutU16(b, at + 2, static_cast<uint16_t>(text.size() + 2));
    at += 4;
  }
  for (const auto& [name, text] : entry.items) {
    std::memcpy(b.data() + at, name.data(), name.size());
    at += name.size();
    PutU16(b, at, 0x0500);  // type word: text
    at += 2;
    std::memcpy(b.data() + at, text.data(), text.size());
    at += text.size();
  }
  return b;
}

void SetFaultHandler(FaultHandler handler) { gFaultHandler = handler; }

bool Runtime::Fixed(const char* op, const char* argument, int64_t value, int64_t fixed) {
  if (value == fixed) return true;
  faults.push_back(std::string(op) + ": " + argument + " is " + std::to_string(value) + ", not " +
                   std::to_string(fixed));
  gFaultHandler(faults.back());
  if (faults.size() >= kMostFaults) EndOnFault("too many faults; the program goes round");
  return false;
}

bool Runtime::Null(const char* op, const char* argument, const void* value) {
  return Fixed(op, argument, value == nullptr ? 0 : 1, 0);
}

void Runtime::Fail(std::string_view op, int nth, Status status) {
  failures[std::string(op)].push_back({nth, status});
}

Status Runtime::CountTimeCall(const char* op) { return countTimeCalls ? Count(op) : 0; }

Status Runtime::Count(const std::string& op) {
  int n = ++counts[op];
  for (const auto& [nth, status] : failures[op]) {
    if (nth == n) return status;
  }
  return 0;
}

std::vector<std::string> Runtime::CallsOf(std::string_view prefix) const {
  std::vector<std::string> out;
  for (const auto& c : calls) {
    if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
  }
  return out;
}

int Runtime::OpenHandles() const { return static_cast<int>(handles.size()); }

int Runtime::LockedBlocks() const {
  int n = freedLocks;
  for (const auto& [h, b] : blocks) n += b.locks;
  return n;
}

int Runtime::LiveBlocks() const { return static_cast<int>(blocks.size()); }

Runtime& Fake() { return *gFake; }

void Reset() {
  delete gFake;
  gFake = new Runtime();
}

}  // namespace fake

using fake::Fake;

extern "C" {

Status RuntimeInit(int, char**) {
  Fake().calls.push_back("RuntimeInit");
  if (Status s = Fake().Count("RuntimeInit")) return s;
  return Fake().initStatus;
}

Status RuntimeTakeArgs(int argc, char** argv, int* argcOut, char*** argvOut) {
  auto& f = Fake();
  f.calls.push_back("RuntimeTakeArgs");
  if (Status s = f.Count("RuntimeTakeArgs")) return s;
  if (f.takeArgsStatus != 0) return f.takeArgsStatus;
  if (f.takeArgsVector.empty()) {
    *argcOut = argc;
    *argvOut = argv;
  } else {
    f.argStorage = f.takeArgsVector;
    f.argPointers.clear();
    for (auto& a : f.argStorage) f.argPointers.push_back(a.data());
    f.argPointers.push_back(nullptr);
    *argcOut = static_cast<int>(f.argStorage.size());
    *argvOut = f.argPointers.data();
  }
  f.takeArgsOut = *argvOut;
  return 0;
}

Status RuntimeEnterMain(EntryRoutine entry, int, char**, uint32_t reserved1, void* reserved2) {
  Fake().calls.push_back("RuntimeEnterMain");
  Fake().enteredRoutine = entry;
  const std::size_t faults = Fake().faults.size();
  Fake().Fixed("RuntimeEnterMain", "reserved1", reserved1, 0);
  Fake().Null("RuntimeEnterMain", "reserved2", reserved2);
  if (Fake().faults.size() != faults) return fake::kArgumentOutOfPlace;
  if (Status s = Fake().Count("RuntimeEnterMain")) return s;
  return Fake().enterMainStatus;
}

void RuntimeReleaseArgs(int, char**) {
  Fake().calls.push_back("RuntimeReleaseArgs");
  Fake().Count("RuntimeReleaseArgs");
}

void RuntimeTerm(void) {
  Fake().calls.push_back("RuntimeTerm");
  Fake().Count("RuntimeTerm");
}

int StartupStatusText(Status status, char* buffer, uint16_t size) {
  auto& f = Fake();
  f.calls.push_back("StartupStatusText(" + std::to_string(status) + "," + std::to_string(size) +
                    ")");
  f.Count("StartupStatusText");
  if (!f.Fixed("StartupStatusText", "size", size, 255)) return f.startupExitValue;
  auto it = f.texts.find(ErrorCode(status));
  if (it != f.texts.end()) fake::WriteText(it->second, buffer, size);
  return f.startupExitValue;
}

uint16_t StatusText(Status status, char* buffer, uint16_t size) {
  auto& f = Fake();
  f.calls.push_back("StatusText(" + std::to_string(status) + "," + std::to_string(size) + ")");
  f.Count("StatusText");
  if (!f.Fixed("StatusText", "size", size, 255)) return 0;
  // With no text the buffer is left as it was, as a runtime may do.
  auto it = f.texts.find(ErrorCode(status));
  return it == f.texts.end() ? 0 : fake::WriteText(it->second, buffer, size);
}

uint16_t LoadStatusString(uint32_t module, Status code, char* buffer, uint16_t size) {
  auto& f = Fake();
  f.calls.push_back("LoadStatusString(" + std::to_string(code) + "," + std::to_string(size) + ")");
  f.Count("LoadStatusString");
  const std::size_t faults = f.faults.size();
  f.Fixed("LoadStatusString", "module", module, 0);
  f.Fixed("LoadStatusString", "size", size, 255);
  if (f.faults.size() != faults) return 0;
  auto it = f.texts.find(code);
  return it == f.texts.end() ? 0 : fake::WriteText(it->second, buffer, size);
}

Status BuildNetPath(const char* port, const char* server, const char* file, char* pathOut) {
  auto& f = Fake();
  f.calls.push_back(std::string("BuildNetPath(") + server + "," + file + ")");
  if (!f.Null("BuildNetPath", "port", port)) return fake::kArgumentOutOfPlace;
  if (Status s = f.Count("BuildNetPath")) return s;
  std::string path = *server ? std::string(server) + "!!" + file : std::string(file);
  if (path.size() > 255) return fake::kPathTooLong;
  std::memcpy(pathOut, path.c_str(), path.size() + 1);
  return 0;
}

Status DbOpen(const char* path, DbHandle* handle) {
  auto& f = Fake();
  f.calls.push_back(std::string("DbOpen(") + path + ")");
  if (Status s = f.Count("DbOpen")) return s;
  auto db = f.databases.find(path);
  bool isDir = f.directories.count(path) != 0;
  if (db == f.databases.end() && !isDir) return fake::kNoSuchFile;
  if (!isDir && !db->second.opens) return db->second.openStatus;
  *handle = f.nextHandle++;
  f.handles[*handle] = path;
  return isDir ? 0 : db->second.openStatus;
}

Status DbClose(DbHandle handle) {
  auto& f = Fake();
  f.calls.push_back("DbClose(" + fake::HandleName(handle) + ")");
  if (f.handles.erase(handle) == 0) return fake::kBadHandle;
  return f.Count("DbClose");
}

Status DbSearch(DbHandle handle, MemHandle formula, const char* viewTitle, uint16_t searchFlags,
                uint16_t classMask, const TimeDate* since, SearchCallback callback, void* context,
                TimeDate* until) {
  auto& f = Fake();
  f.calls.push_back("DbSearch(" + fake::HandleName(handle) + "," + std::to_string(searchFlags) +
                    "," + std::to_string(classMask) + ")");
  const std::size_t faults = f.faults.size();
  f.Fixed("DbSearch", "formula", formula, 0);
  f.Null("DbSearch", "viewTitle", viewTitle);
  f.Fixed("DbSearch", "searchFlags", searchFlags, kSearchFlagsSummary);
  f.Fixed("DbSearch", "classMask", classMask, kClassMaskDatabases);
  f.Null("DbSearch", "since", since);
  f.Null("DbSearch", "until", until);
  if (f.faults.size() != faults) return fake::kArgumentOutOfPlace;
  if (Status s = f.Count("DbSearch")) return s;
  auto name = f.handles.find(handle);
  if (name == f.handles.end()) return fake::kBadHandle;
  // Copy: a callback must not be able to change what is being searched.
  const std::vector<fake::DirectoryEntry> copy =
      f.searchInPlace ? std::vector<fake::DirectoryEntry>() : f.directories[name->second];
  const std::vector<fake::DirectoryEntry>& entries =
      f.searchInPlace ? f.directories[name->second] : copy;
  int delivered = 0;
  for (const auto& e : entries) {
    if (f.searchFailAfter >= 0 && delivered == f.searchFailAfter) return f.searchStatus;
    MatchRecord match{};
    match.matchFlags = e.matchFlags;
    const uint8_t* bytes = e.raw.data();
    std::vector<uint8_t> built;
    if (!f.searchInPlace || e.raw.empty()) {
      built = fake::SummaryBytes(e, f.summaryHeaderSize);
      bytes = built.data();
    }
    callback(context, &match, bytes);
    ++delivered;
  }
  return f.searchStatus;
}

uint16_t StoredStructSize(uint16_t type) {
  Fake().Count("StoredStructSize");
  return Fake().Fixed("StoredStructSize", "type", type, kSummaryHeaderStruct)
             ? Fake().summaryHeaderSize
             : 0;
}

Status DbGetUserActivity(DbHandle handle, uint32_t flags, ActivitySummary* summary,
                         MemHandle* entries, uint16_t* count) {
  auto& f = Fake();
  std::string name = fake::HandleName(handle);
  f.calls.push_back("DbGetUserActivity(" + name + ")");
  if (!f.Fixed("DbGetUserActivity", "flags", flags, 0)) return fake::kArgumentOutOfPlace;
  if (Status s = f.Count("DbGetUserActivity")) return s;
  auto db = f.databases.find(name);
  if (db == f.databases.end()) return fake::kBadHandle;
  if (db->second.activityStatus != 0) return db->second.activityStatus;
  *summary = db->second.summary;
  fake::Runtime::Block block;
  block.owner = name;
  if (!db->second.rawBlock.empty()) {
    block.bytes = db->second.rawBlock;
    *count = db->second.rawCount;
  } else {
    const auto& log = db->second.log;
    size_t size = log.size() * sizeof(ActivityEntry);
    for (const auto& e : log) size += e.user.size() + 1;
    block.bytes.assign(size, 0);
    size_t nameAt = log.size() * sizeof(ActivityEntry);
    for (size_t i = 0; i < log.size(); ++i) {
      ActivityEntry rec{log[i].time, log[i].reads, log[i].writes, static_cast<uint32_t>(nameAt)};
      std::memcpy(block.bytes.data() + i * sizeof rec, &rec, sizeof rec);
      std::memcpy(block.bytes.data() + nameAt, log[i].user.c_str(), log[i].user.size() + 1);
      nameAt += log[i].user.size() + 1;
    }
    *count = static_cast<uint16_t>(log.size());
  }
  if (db->second.noBlock) {
    *entries = 0;
    return 0;
  }
  *entries = f.nextHandle++;
  f.blocks[*entries] = std::move(block);
  return 0;
}

void* MemLock(MemHandle handle) {
  auto& f = Fake();
  f.calls.push_back("MemLock(" + fake::BlockName(handle) + ")");
  if (handle == 0) ++f.callsOnNone;
  // A scripted failure of a call makes that one call hand back null.
  const bool failed = f.Count("MemLock") != 0;
  auto it = f.blocks.find(handle);
  if (it == f.blocks.end() || f.lockFails || failed) return nullptr;
  ++it->second.locks;
  return it->second.bytes.data();
}

Status MemUnlock(MemHandle handle) {
  auto& f = Fake();
  f.calls.push_back("MemUnlock(" + fake::BlockName(handle) + ")");
  if (handle == 0) ++f.callsOnNone;
  f.Count("MemUnlock");
  auto it = f.blocks.find(handle);
  if (it == f.blocks.end() || it->second.locks == 0) return fake::kBadHandle;
  --it->second.locks;
  return 0;
}

Status MemFree(MemHandle handle) {
  auto& f = Fake();
  f.calls.push_back("MemFree(" + fake::BlockName(handle) + ")");
  if (handle == 0) ++f.callsOnNone;
  f.Count("MemFree");
  auto it = f.blocks.find(handle);
  if (it == f.blocks.end()) return fake::kBadHandle;
  f.freedLocks += it->second.locks;
  f.blocks.erase(it);
  return 0;
}

void TimeNow(TimeDate* now) {
  Fake().CountTimeCall("TimeNow");
  *now = Fake().now;
}

void TimeDateOnly(const TimeDate* in, uint32_t reserved, TimeDate* out) {
  Fake().CountTimeCall("TimeDateOnly");
  // No status to refuse with: the date made is one no operation accepts.
  if (!Fake().Fixed("TimeDateOnly", "reserved", reserved, 0)) {
    *out = fake::InvalidTime();
    return;
  }
  int64_t s = fake::SecondsOf(*in);
  *out = s == fake::kInvalid ? *in : fake::Make(fake::FloorDiv(s, 86400) * 86400);
}

Status TimeAdjust(TimeDate* value, int32_t hundredths, int32_t seconds, int32_t minutes,
                  int32_t days, int32_t months, int32_t years) {
  auto& f = Fake();
  f.calls.push_back("TimeAdjust(" + std::to_string(days) + ")");
  if (Status s = f.Count("TimeAdjust")) return s;
  const std::size_t faults = f.faults.size();
  f.Fixed("TimeAdjust", "hundredths", hundredths, 0);
  f.Fixed("TimeAdjust", "seconds", seconds, 0);
  f.Fixed("TimeAdjust", "minutes", minutes, 0);
  f.Fixed("TimeAdjust", "months", months, 0);
  f.Fixed("TimeAdjust", "years", years, 0);
  if (f.faults.size() != faults && !f.adjustReadsOnlyDays) return fake::kArgumentOutOfPlace;
  int64_t s = fake::SecondsOf(*value);
  if (s == fake::kInvalid) return fake::kBadTime;
  *value = fake::Make(s + int64_t{days} * 86400 + (days != 0 ? f.dayMoveSlip : 0));
  return 0;
}

Status TimeToText(const void* intlFormat, const void* textFormat, const TimeDate* value,
                  char* buffer, uint16_t size, uint16_t* length) {
  auto& f = Fake();
  if (Status s = f.CountTimeCall("TimeToText")) return s;
  const std::size_t faults = f.faults.size();
  f.Null("TimeToText", "intlFormat", intlFormat);
  f.Null("TimeToText", "textFormat", textFormat);
  f.Fixed("TimeToText", "size", size, kMaxTimeText);
  if (f.faults.size() != faults) {
    *length = 0;
    return fake::kArgumentOutOfPlace;
  }
  if (fake::SecondsOf(*value) == fake::kInvalid) return fake::kBadTime;
  char ready[128];
  std::string_view text;
  std::string scripted;
  if (f.timeText) {
    scripted = f.timeText(*value);
    text = scripted;
  } else {
    text = std::string_view(ready, fake::FormatTime(*value, ready));
  }
  uint16_t n = static_cast<uint16_t>(std::min<size_t>(text.size(), size));
  std::memcpy(buffer, text.data(), n);  // not terminated, as the runtime does
  *length = n;
  return 0;
}

int32_t TimeDayNumber(const TimeDate* value) {
  Fake().CountTimeCall("TimeDayNumber");
  int64_t day = fake::FloorDiv(fake::SecondsOf(*value), 86400) + 2440588;  // Julian day
  return static_cast<int32_t>(std::clamp<int64_t>(day, INT32_MIN, INT32_MAX));
}

int32_t TimeDiffSeconds(const TimeDate* later, const TimeDate* earlier) {
  Fake().Count("TimeDiffSeconds");
  int64_t a = fake::SecondsOf(*later), b = fake::SecondsOf(*earlier);
  if (a == fake::kInvalid || b == fake::kInvalid) return 0;
  int64_t d = a - b;
  if (Fake().diffWraps) return static_cast<int32_t>(static_cast<uint32_t>(d));
  return static_cast<int32_t>(std::clamp<int64_t>(d, INT32_MIN, INT32_MAX));
}

}  // extern "C"

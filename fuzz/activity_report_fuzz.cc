// Fuzzes ProcessDatabase over the fake runtime: random logs, entries blocks,
// summaries and run settings; checks what is printed against the filter rules
// and that every handle and block is given back. The entry table and the user
// table then read the same log and must count the same entries; the tab form
// of the entry table keeps one row a line.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/run_settings.h"
#include "fake_runtime.h"
#include "fuzz_support.h"
#include "report/activity_report.h"
#include "report/entry_table.h"
#include "report/user_table.h"

namespace {

// Date-time texts are "\x01" and the seconds: no name holds that byte, so
// the count of it in the output is the count of entry lines printed. No name
// holds 'E' either, so "Error converting" is only ever the program's message.
constexpr char kLineMark = '\x01';
// The fake keeps its arithmetic in 64 bits; times stay well inside that.
constexpr int64_t kTimeSpan = int64_t{1} << 40;
constexpr std::size_t kMaxEntries = 80;

int64_t NowSeconds() { return fake::SecondsOf(fake::Fake().now); }

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// The fake's day number of a time: Julian days, clamped to 32 bits.
int64_t DayNumber(int64_t seconds) {
  const int64_t day = FloorDiv(seconds, 86400) + 2440588;
  return day < INT32_MIN ? INT32_MIN : day > INT32_MAX ? INT32_MAX : day;
}

int32_t PickDays(FuzzedDataProvider& in) {
  static const int32_t kChoices[] = {-1, INT32_MIN, 0, 1, 7, 14, 30, INT32_MAX, -2};
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      return in.PickValueInArray(kChoices);
    case 1:
      return in.ConsumeIntegralInRange<int32_t>(0, 40000);
    default:
      return in.ConsumeIntegral<int32_t>();
  }
}

TimeDate PickTime(FuzzedDataProvider& in, int64_t* seconds, bool* valid) {
  const int64_t now = NowSeconds();
  *valid = true;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      *valid = false;
      return fake::InvalidTime();
    case 1:  // within a few weeks of now, where the day bounds are
      *seconds = now + in.ConsumeIntegralInRange<int64_t>(-40 * 86400, 2 * 86400);
      break;
    case 2:  // exactly on a midnight
      *seconds = FloorDiv(now, 86400) * 86400 - 86400 * in.ConsumeIntegralInRange<int64_t>(-2, 40);
      break;
    default:
      *seconds = in.ConsumeIntegralInRange<int64_t>(-kTimeSpan, kTimeSpan);
      break;
  }
  TimeDate t;
  std::memcpy(&t, seconds, sizeof t);
  return t;
}

std::string PickName(FuzzedDataProvider& in, bool allowNul) {
  static const char* const kNames[] = {
      "", "CN=Jane Doe/O=Acme", "a,b", "\"q\"", "SRV1", "x\ny", "*", "?", "jane", "\xe9t\xe9"};
  std::string name = in.ConsumeBool() ? std::string(in.PickValueInArray(kNames))
                                      : in.ConsumeRandomLengthString(320);
  for (char& c : name) {
    if (c == kLineMark) c = 'm';
    if (c == 'E') c = 'e';  // keeps the conversion message out of names
    if (c == '\0' && !allowNul) c = 'z';
  }
  return name;
}

struct Logged {
  bool valid;
  int64_t seconds;
  std::string name;  // as the program reads it: up to the first NUL
};

// An entries block laid out by hand: records, then a region of names each
// ending in NUL. Every offset points into that region, so every name it
// points at is terminated inside the block.
std::vector<uint8_t> MakeRawBlock(FuzzedDataProvider& in, std::size_t count,
                                  std::vector<Logged>* logged) {
  std::string names;
  const std::size_t nameCount = in.ConsumeIntegralInRange<std::size_t>(1, 8);
  for (std::size_t i = 0; i < nameCount; ++i) names += PickName(in, false) + '\0';
  // Optionally slack bytes after the names and between records and names.
  const std::size_t gap = in.ConsumeIntegralInRange<std::size_t>(0, 3);
  const std::size_t namesAt = count * sizeof(ActivityEntry) + gap;
  std::vector<uint8_t> block(namesAt + names.size(), 0);
  std::memcpy(block.data() + namesAt, names.data(), names.size());
  for (std::size_t i = 0; i < count; ++i) {
    Logged entry{};
    ActivityEntry record{};
    record.time = PickTime(in, &entry.seconds, &entry.valid);
    record.reads = in.ConsumeIntegral<uint16_t>();
    record.writes = in.ConsumeIntegral<uint16_t>();
    const std::size_t offset = in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1);
    record.nameOffset = static_cast<uint32_t>(namesAt + offset);
    entry.name = std::string(names.c_str() + offset);
    std::memcpy(block.data() + i * sizeof record, &record, sizeof record);
    logged->push_back(entry);
  }
  return block;
}

std::size_t CountOf(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos;
       at = text.find(what, at + what.size())) {
    ++n;
  }
  return n;
}

// Lines of `text` that begin with `start`. A row is told by how its line
// begins, where a name never stands.
std::size_t LinesStartingWith(std::string_view text, std::string_view start) {
  std::size_t n = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (text.substr(at, start.size()) == start) ++n;
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  fake::Reset();
  fake::Runtime& rt = fake::Fake();
  rt.timeText = [](const TimeDate& t) {
    return std::string(1, kLineMark) + std::to_string(fake::SecondsOf(t));
  };

  ResetRunSettings();
  RunSettings& settings = gRunSettings;
  settings.separator = in.ConsumeBool() ? ',' : '\t';
  settings.showSummary = in.ConsumeBool() ? 1 : 0;
  settings.startDays = PickDays(in);
  settings.endDays = PickDays(in);
  if (in.ConsumeBool()) CopyText(settings.includePattern, PickName(in, false).c_str());
  if (in.ConsumeBool()) CopyText(settings.excludePattern, PickName(in, false).c_str());

  fake::Database& db = rt.databases["db"];
  const uint8_t failure = in.ConsumeIntegralInRange<uint8_t>(0, 15);
  if (failure == 1) {
    db.opens = false;
    db.openStatus = fake::kNoSuchFile;
  } else if (failure == 2) {
    db.openStatus = 0x4001;  // opened all the same: judged by the handle
  } else if (failure == 3) {
    db.activityStatus = in.PickValueInArray<Status>({578, 578 | 0x8000, 578 | 0x4000, 0x1234});
  } else if (failure == 4) {
    rt.lockFails = true;
  }
  for (TimeDate* t : {&db.summary.periodStart, &db.summary.periodEnd}) {
    int64_t seconds = 0;
    bool valid = false;
    *t = PickTime(in, &seconds, &valid);
  }
  for (uint32_t* counter : {&db.summary.uses, &db.summary.reads, &db.summary.writes,
                            &db.summary.dayUses, &db.summary.monthWrites}) {
    *counter = in.ConsumeIntegral<uint32_t>();
  }

  std::vector<Logged> logged;
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, kMaxEntries);
  if (in.ConsumeBool()) {
    db.rawBlock = MakeRawBlock(in, count, &logged);
    db.rawCount = static_cast<uint16_t>(count);
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      fake::LogEntry entry;
      Logged seen{};
      entry.time = PickTime(in, &seen.seconds, &seen.valid);
      entry.reads = in.ConsumeIntegral<uint16_t>();
      entry.writes = in.ConsumeIntegral<uint16_t>();
      entry.user = PickName(in, true);
      seen.name = std::string(entry.user.c_str());
      db.log.push_back(entry);
      logged.push_back(seen);
    }
  }

  // What the rules print: the entries that convert, fall in the window and
  // pass both patterns.
  const int64_t today = FloorDiv(NowSeconds(), 86400) * 86400;
  const bool hasStart = settings.startDays >= 0;
  const bool hasEnd = settings.endDays >= 0;
  const int64_t startDay = DayNumber(today - int64_t{settings.startDays} * 86400);
  const int64_t endDay = DayNumber(today - int64_t{settings.endDays} * 86400);
  std::size_t printed = 0;
  std::size_t unconverted = 0;
  std::set<std::string> names;  // of the entries that pass
  for (const Logged& e : logged) {
    if (!e.valid) {
      ++unconverted;
      continue;
    }
    const int64_t day = DayNumber(e.seconds);
    if (hasEnd && day > endDay) continue;
    if (hasStart && day < startDay) continue;
    const std::string& name = e.name;  // matched whole, however long
    if (!fuzz::TableMatch(settings.includePattern.data(), name, true)) continue;
    if (fuzz::TableMatch(settings.excludePattern.data(), name, true)) continue;
    ++printed;
    names.insert(name);
  }
  const bool readable = db.opens && db.activityStatus == 0;
  const bool entriesRead = readable && !rt.lockFails;
  Status expected = 0;
  if (!db.opens) {
    expected = db.openStatus;
  } else if (db.activityStatus != 0) {
    expected = db.activityStatus;
  } else if (entriesRead && !logged.empty() && !logged.back().valid) {
    expected = fake::kBadTime;
  }

  char* captured = nullptr;
  std::size_t capturedSize = 0;
  FILE* sink = open_memstream(&captured, &capturedSize);
  fuzz::Require(sink != nullptr, "output capture opens");
  Status status;
  {
    fuzz::StreamSwap swap(sink);
    status = ProcessDatabase("", "db");
  }
  std::fclose(sink);
  const std::string output(captured, capturedSize);
  std::free(captured);

  fuzz::Require(rt.OpenHandles() == 0, "the database is closed");
  fuzz::Require(rt.LockedBlocks() == 0, "the entries block is unlocked");
  fuzz::Require(rt.LiveBlocks() == 0, "the entries block is freed");
  fuzz::Require(status == expected, "the status of the open, the log, or the last conversion");

  const std::size_t lines = CountOf(output, std::string_view(&kLineMark, 1));
  fuzz::Require(lines == (entriesRead ? printed : 0), "one line for each entry that passes");
  fuzz::Require(CountOf(output, "Error converting time/date stamp on record") ==
                    (entriesRead ? unconverted : 0),
                "one message for each entry whose time does not convert");
  if (readable) {
    const std::string heading =
        std::string("Activity for database: db\n\n") +
        (settings.separator == ',' ? "Date/Time,Reads,Writes,User Name\n"
                                   : "Date/Time\t\tReads\tWrites\tUser Name\n");
    fuzz::Require(output.starts_with(heading), "the heading and the header line");
  }
  if (readable && settings.showSummary != 0) {
    // Whole days of the period, a started day counting as one.
    const int64_t diff =
        fake::SecondsOf(db.summary.periodEnd) == INT64_MIN ||
                fake::SecondsOf(db.summary.periodStart) == INT64_MIN
            ? 0
            : fake::SecondsOf(db.summary.periodEnd) - fake::SecondsOf(db.summary.periodStart);
    // Periods of any length (the seconds are 32 bits, the days are not); one
    // that ends before it starts is no days.
    const int64_t days = diff <= 0 ? 0 : diff / 86400 + (diff % 86400 != 0 ? 1 : 0);
    // The summary follows every entry, so its last heading is the summary's
    // own, whatever the names hold.
    const std::size_t summary = output.rfind("\n\nDatabase Summary Info (all users):\n");
    fuzz::Require(summary != std::string::npos &&
                      output.find("\nLast " + std::to_string(days) + " days" + settings.separator,
                                  summary) != std::string::npos,
                  "the period in whole days");
  }

  // The tables, in the text form or as JSON Lines (where the line mark is
  // escaped, and a name may hold the same six characters); their messages
  // about the log land in the same capture, each a line of its own.
  settings.json = in.ConsumeBool() ? 1 : 0;
  auto capture = [](auto body) {
    char* text = nullptr;
    std::size_t size = 0;
    FILE* sink = open_memstream(&text, &size);
    fuzz::Require(sink != nullptr, "output capture opens");
    {
      fuzz::StreamSwap swap(sink);
      body();
    }
    std::fclose(sink);
    std::string captured(text, size);
    std::free(text);
    return captured;
  };
  const std::string table = capture([] { ProcessDatabaseEntries("", "db", "T"); });
  const std::size_t rows =
      settings.json != 0
          ? LinesStartingWith(table, "{\"path\":\"db\",\"title\":\"T\",\"time\":\"\\u0001")
          : CountOf(table, std::string_view(&kLineMark, 1));
  fuzz::Require(rows == (entriesRead ? printed : 0), "the entry table has the report's entries");
  if (settings.json == 0 && settings.separator == '\t') {
    // Whatever the names hold, each row is one line with a field in each
    // column; the other lines are the messages about the log.
    std::string_view rest = table;
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      const std::string_view line = rest.substr(0, end);
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
      const std::size_t tabs = CountOf(line, "\t");
      const std::size_t marks = CountOf(line, std::string_view(&kLineMark, 1));
      fuzz::Require(marks == 1 ? tabs == 5 : marks == 0 && line.starts_with("db: "),
                    "one row a line in the tab form, every field in its column");
    }
  }
  settings.json = 1;
  const std::string users = capture([] {
    ProcessDatabaseUsers("", "db");
    PrintUserTable();
  });
  fuzz::Require(LinesStartingWith(users, "{\"user\":") == (entriesRead ? names.size() : 0),
                "one user line for each different name");
  fuzz::Require(rt.OpenHandles() == 0 && rt.LockedBlocks() == 0 && rt.LiveBlocks() == 0,
                "the tables give back what they take");
  return 0;
}

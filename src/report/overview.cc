// The overview line of one database: the entries of its log that count (the
// same ones the report would print), summed up, with the latest of them.
#include "report/overview.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli/progress.h"
#include "cli/report_printf.h"
#include "cli/run_settings.h"
#include "common/fixed_text.h"
#include "report/activity_block.h"
#include "report/entry_filter.h"
#include "report/name_set.h"
#include "report/report_fields.h"

namespace {

constexpr const char* kColumns[] = {"Path",    "Title", "Last Access", "Days Since",
                                    "Entries", "Reads", "Writes",      "Users"};
constexpr const char* kSummaryColumns[] = {"Day Uses", "Week Uses", "Month Uses", "Period Days",
                                           "Uses"};
constexpr const char* kStatusColumn = "Status";

// What one database's log adds up to.
struct Tally {
  uint32_t entries = 0;
  uint32_t reads = 0;  // at most 65,535 entries of at most 65,535 each: no overflow
  uint32_t writes = 0;
  uint32_t users = 0;
  uint32_t unconverted = 0;  // entries whose date-time could not be converted
  bool anyCounted = false;
  TimeDate latest{};
  TimeText latestText{};
  int32_t daysSince = 0;
};

// The words of a failure, with the runtime's text for `status` when it has one.
using StatusLine = std::array<char, 2 * kTextSize>;

void DescribeFailure(const char* words, Status status, StatusLine& out) {
  Text text{};
  if (LoadErrorText(status, text) == 0) {
    std::snprintf(out.data(), out.size(), "%s", words);
  } else {
    std::snprintf(out.data(), out.size(), "%s (Error %d: %s)", words,
                  static_cast<int>(ErrorCode(status)), text.data());
  }
}

unsigned long Count(uint32_t value) { return static_cast<unsigned long>(value); }

// Path and title, as every line begins.
void PrintNames(const char* dbPath, const char* title, char separator) {
  PrintTextField(dbPath, separator);
  ReportPrintf("%c", separator);
  PrintTextField(title, separator);
  ReportPrintf("%c", separator);
}

void PrintStatusField(std::string_view status, char separator) {
  PrintTextField(status, separator);
  ReportPrintf("\n");
}

// A database whose log is not known: its counting fields are empty.
void PrintUnknown(const char* dbPath, const char* title, std::string_view status) {
  const char s = gRunSettings.separator;
  PrintNames(dbPath, title, s);
  const int empties = 6 + (gRunSettings.showSummary != 0 ? 5 : 0);
  for (int i = 0; i < empties; ++i) ReportPrintf("%c", s);
  PrintStatusField(status, s);
}

void PrintKnown(const char* dbPath, const char* title, const Tally& t,
                const ActivitySummary& summary) {
  const char s = gRunSettings.separator;
  PrintNames(dbPath, title, s);
  if (t.anyCounted) {
    PrintTextField(TextOf(t.latestText), s);
    ReportPrintf("%c%d%c", s, static_cast<int>(t.daysSince), s);
  } else {
    ReportPrintf("%c%c", s, s);
  }
  ReportPrintf("%lu%c%lu%c%lu%c%lu%c", Count(t.entries), s, Count(t.reads), s, Count(t.writes), s,
               Count(t.users), s);
  if (gRunSettings.showSummary != 0) {
    ReportPrintf("%lu%c%lu%c%lu%c%lu%c%lu%c", Count(summary.dayUses), s, Count(summary.weekUses), s,
                 Count(summary.monthUses), s, Count(SummaryPeriodDays(summary)), s,
                 Count(summary.uses), s);
  }
  if (t.unconverted == 0) {
    PrintStatusField("ok", s);
    return;
  }
  StatusLine status{};
  std::snprintf(status.data(), status.size(), "%lu %s with a date-time that cannot be converted",
                Count(t.unconverted), t.unconverted == 1 ? "entry" : "entries");
  PrintStatusField(TextOf(status), s);
}

int32_t DayOf(const TimeDate& time) {
  TimeDate date{};
  TimeDateOnly(&time, 0, &date);
  return TimeDayNumber(&date);
}

// Counts the entries of the block that the report would print. The block
// is taken on trust as the report takes it: names are read to their end.
Status TallyEntries(const unsigned char* block, uint16_t count, Tally& t) {
  const DateWindow window = MakeDateWindow();
  Status status = 0;
  ClearNameSet();
  for (uint32_t i = 0; i < count; ++i) {
    ActivityEntry entry;
    TimeText time;
    status = ReadEntry(block, i, entry, time);
    if (status != 0) {
      ++t.unconverted;
      continue;
    }
    if (!InWindow(window, entry.time)) continue;
    const char* name = reinterpret_cast<const char*>(block) + entry.nameOffset;
    if (!NamePasses(name)) continue;

    ++t.entries;
    t.reads += entry.reads;
    t.writes += entry.writes;
    AddName(name);
    // The first of equal latest times is kept.
    if (!t.anyCounted || TimeDiffSeconds(&entry.time, &t.latest) > 0) {
      t.anyCounted = true;
      t.latest = entry.time;
      t.latestText = time;
    }
  }
  t.users = NameSetSize();
  NoteEntriesCounted(t.entries);
  ClearNameSet();
  if (t.anyCounted) {
    TimeDate now{};
    TimeNow(&now);
    const int64_t days = int64_t{DayOf(now)} - DayOf(t.latest);
    t.daysSince = days > INT32_MAX ? INT32_MAX : days < INT32_MIN ? INT32_MIN : int32_t(days);
  }
  return status;
}

}  // namespace

void PrintOverviewHeader() {
  const char s = gRunSettings.separator;
  for (const char* column : kColumns) ReportPrintf("%s%c", column, s);
  if (gRunSettings.showSummary != 0) {
    for (const char* column : kSummaryColumns) ReportPrintf("%s%c", column, s);
  }
  ReportPrintf("%s\n", kStatusColumn);
}

Status ProcessDatabaseOverview(const char* serverName, const char* dbPath, const char* title) {
  Text path{};
  Status status = BuildNetPath(nullptr, serverName, dbPath, path.data());
  if (status != 0) {
    PrintUnknown(dbPath, title, "Cannot create path to database");
    return status;
  }
  path.back() = '\0';

  // Judged by the handle, as the report judges it.
  DbHandle handle = 0;
  status = DbOpen(path.data(), &handle);
  StatusLine failure{};
  if (handle == 0) {
    DescribeFailure("Unable to open database", status, failure);
    PrintUnknown(dbPath, title, TextOf(failure));
    return status;
  }

  ActivitySummary summary{};
  MemHandle entriesHandle = 0;
  uint16_t count = 0;
  status = DbGetUserActivity(handle, 0, &summary, &entriesHandle, &count);
  if (status != 0) {
    if (ErrorCode(status) == kErrorNoActivityLog) {
      PrintUnknown(dbPath, title, "User activity is not currently being logged in this database.");
    } else {
      DescribeFailure("Unable to get User Activity Log", status, failure);
      PrintUnknown(dbPath, title, TextOf(failure));
    }
    DbClose(handle);
    return status;
  }

  Tally tally{};
  const ActivityBlock block = LockActivityBlock(entriesHandle, count);
  // No block, or one that cannot be locked: no entries to count.
  status = block.entries == nullptr ? Status{0} : TallyEntries(block.entries, block.count, tally);
  ReleaseActivityBlock(block);
  PrintKnown(dbPath, title, tally, summary);
  DbClose(handle);
  return status;
}

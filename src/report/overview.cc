// The overview line of one database: the entries of its log that count (the
// same ones the report would print), summed up, with the latest of them.
#include "report/overview.h"

#include <cstdio>
#include <string_view>

#include "cli/report_printf.h"
#include "cli/run_settings.h"
#include "common/fixed_text.h"
#include "report/database_log.h"
#include "report/entry_filter.h"
#include "report/json_writer.h"
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
  bool anyCounted = false;
  TimeDate latest{};
  TimeText latestText{};
  int32_t daysSince = 0;
};

unsigned long Count(uint32_t value) { return static_cast<unsigned long>(value); }

// Path and title, as every line begins.
void PrintNames(const char* dbPath, const char* title, FieldForm form) {
  const char s = SeparatorOf(form);
  PrintTextField(dbPath, form);
  ReportPrintf("%c", s);
  PrintTextField(title, form);
  ReportPrintf("%c", s);
}

void PrintStatusField(std::string_view status, FieldForm form) {
  PrintTextField(status, form);
  ReportPrintf("\n");
}

// A database whose log is not known: its counting fields are empty.
void PrintUnknown(const char* dbPath, const char* title, std::string_view status) {
  const FieldForm form = TableForm(gRunSettings.separator);
  const char s = SeparatorOf(form);
  PrintNames(dbPath, title, form);
  const int empties = 6 + (gRunSettings.showSummary != 0 ? 5 : 0);
  for (int i = 0; i < empties; ++i) ReportPrintf("%c", s);
  PrintStatusField(status, form);
}

void PrintKnown(const char* dbPath, const char* title, const Tally& t, const LogOutcome& log) {
  const FieldForm form = TableForm(gRunSettings.separator);
  const char s = SeparatorOf(form);
  PrintNames(dbPath, title, form);
  if (t.anyCounted) {
    PrintTextField(TextOf(t.latestText), form);
    ReportPrintf("%c%d%c", s, static_cast<int>(t.daysSince), s);
  } else {
    ReportPrintf("%c%c", s, s);
  }
  ReportPrintf("%lu%c%lu%c%lu%c%lu%c", Count(t.entries), s, Count(t.reads), s, Count(t.writes), s,
               Count(t.users), s);
  if (gRunSettings.showSummary != 0) {
    const ActivitySummary& summary = log.summary;
    ReportPrintf("%lu%c%lu%c%lu%c%lu%c%lu%c", Count(summary.dayUses), s, Count(summary.weekUses), s,
                 Count(summary.monthUses), s, Count(SummaryPeriodDays(summary)), s,
                 Count(summary.uses), s);
  }
  PrintStatusField(TextOf(log.words), form);
}

// The same line as one JSON object; what the text form leaves empty is null.
void PrintJson(const char* dbPath, const char* title, const Tally& t, const LogOutcome& log) {
  static JsonLine line;
  JsonBegin(line);
  JsonText(line, "path", dbPath);
  JsonText(line, "title", title);
  if (t.anyCounted) {
    JsonText(line, "lastAccess", TextOf(t.latestText));
    JsonSignedNumber(line, "daysSince", t.daysSince);
  } else {
    JsonNull(line, "lastAccess");
    JsonNull(line, "daysSince");
  }
  constexpr const char* kCounts[] = {"entries", "reads", "writes", "users"};
  const uint32_t counts[] = {t.entries, t.reads, t.writes, t.users};
  for (int i = 0; i < 4; ++i) {
    if (log.known) {
      JsonNumber(line, kCounts[i], counts[i]);
    } else {
      JsonNull(line, kCounts[i]);
    }
  }
  if (gRunSettings.showSummary != 0) {
    constexpr const char* kKeys[] = {"dayUses", "weekUses", "monthUses", "periodDays", "uses"};
    const ActivitySummary& s = log.summary;
    const uint32_t values[] = {s.dayUses, s.weekUses, s.monthUses, SummaryPeriodDays(s), s.uses};
    for (int i = 0; i < 5; ++i) {
      if (log.known) {
        JsonNumber(line, kKeys[i], values[i]);
      } else {
        JsonNull(line, kKeys[i]);
      }
    }
  }
  JsonText(line, "status", TextOf(log.words));
  JsonEnd(line);
}

void CountEntry(void* context, const ActivityEntry& entry, std::string_view time,
                const char* name) {
  Tally& t = *static_cast<Tally*>(context);
  ++t.entries;
  t.reads += entry.reads;
  t.writes += entry.writes;
  AddName(name);
  // The first of equal latest times is kept.
  if (!t.anyCounted || IsLater(entry.time, t.latest)) {
    t.anyCounted = true;
    t.latest = entry.time;
    CopyText(t.latestText, time);
  }
}

}  // namespace

void PrintOverviewHeader() {
  if (gRunSettings.json != 0) return;  // JSON Lines have no header
  const char s = gRunSettings.separator;
  for (const char* column : kColumns) ReportPrintf("%s%c", column, s);
  if (gRunSettings.showSummary != 0) {
    for (const char* column : kSummaryColumns) ReportPrintf("%s%c", column, s);
  }
  ReportPrintf("%s\n", kStatusColumn);
}

Status ProcessDatabaseOverview(const char* serverName, const char* dbPath, const char* title) {
  Tally tally{};
  LogOutcome log;
  ClearNameSet();
  ReadDatabaseLog(serverName, dbPath, CountEntry, &tally, log);
  // The names were counted as they came; the set holds them no longer.
  tally.users = NameSetSize();
  ClearNameSet();
  if (tally.anyCounted) tally.daysSince = DaysSince(tally.latest, TodayDayNumber());

  if (gRunSettings.json != 0) {
    PrintJson(dbPath, title, tally, log);
  } else if (log.known) {
    PrintKnown(dbPath, title, tally, log);
  } else {
    PrintUnknown(dbPath, title, TextOf(log.words));
  }
  return log.status;
}

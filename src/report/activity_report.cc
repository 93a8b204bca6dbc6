// The activity report of one database: its user-activity log through the date window and the
// user-name patterns, its optional summary, and plain messages for its failures.
#include "report/activity_report.h"

#include <cstdint>
#include <string_view>

#include "cli/report_printf.h"
#include "cli/run_settings.h"
#include "common/fixed_text.h"
#include "report/database_log.h"
#include "report/entry_filter.h"
#include "report/report_fields.h"

namespace {

// What the report's hooks need to print.
struct Printing {
  const char* dbPath;
  char separator;
  FieldForm form;
};

// The database's heading and the header of its entries, once its log is had.
void PrintHeading(void* context) {
  const Printing& p = *static_cast<const Printing*>(context);
  ReportPrintf("Activity for database: %s\n\n", p.dbPath);
  if (p.separator == ',') {
    ReportPrintf("Date/Time,Reads,Writes,User Name\n");
  } else {
    ReportPrintf("Date/Time\t\tReads\tWrites\tUser Name\n");
  }
}

void PrintEntry(void* context, const ActivityEntry& entry, std::string_view time,
                const char* name) {
  PrintEntryLine({}, time, entry, name, static_cast<const Printing*>(context)->form);
}

void PrintUnconverted(void*, uint32_t index) {
  ReportPrintf("Error converting time/date stamp on record %d\n", static_cast<int>(index));
}

// Counters are unsigned 32-bit: printed unsigned so that 2^31 and more are
// not shown negative.
unsigned long Count(uint32_t value) { return static_cast<unsigned long>(value); }

void PrintSummary(const ActivitySummary& summary, char separator) {
  const char s = separator;
  ReportPrintf("\n\n");
  ReportPrintf("Database Summary Info (all users):\n");
  ReportPrintf("Summary Period%cReads%cWrites%cUses\n", s, s, s);
  ReportPrintf("Last Day%c%lu%c%lu%c%lu\n", s, Count(summary.dayReads), s, Count(summary.dayWrites),
               s, Count(summary.dayUses));
  ReportPrintf("Last Week%c%lu%c%lu%c%lu\n", s, Count(summary.weekReads), s,
               Count(summary.weekWrites), s, Count(summary.weekUses));
  ReportPrintf("Last Month%c%lu%c%lu%c%lu\n", s, Count(summary.monthReads), s,
               Count(summary.monthWrites), s, Count(summary.monthUses));

  ReportPrintf("Last %lu days%c%lu%c%lu%c%lu\n", Count(SummaryPeriodDays(summary)), s,
               Count(summary.reads), s, Count(summary.writes), s, Count(summary.uses));
}

}  // namespace

Status ProcessDatabase(const char* serverName, const char* dbPath) {
  Printing printing{dbPath, gRunSettings.separator, ReportForm(gRunSettings.separator)};
  LogOutcome log;
  ReadDatabaseLog(serverName, dbPath, LogHooks{PrintEntry, PrintHeading, PrintUnconverted, false},
                  &printing, log);
  switch (log.reach) {
    case LogReach::kNoPath:
      ReportPrintf("Cannot create path to database %s\n", dbPath);
      return log.status;
    case LogReach::kNotOpened:
      ReportPrintf("Unable to open database: %s\n\n", dbPath);
      PrintStatus(log.status);
      return log.status;
    case LogReach::kOpened:
      ReportPrintf("Activity for database: %s\n\n", dbPath);
      ReportPrintf("Unable to get User Activity Log\n");
      break;
    case LogReach::kRead:
      if (gRunSettings.showSummary != 0) PrintSummary(log.summary, printing.separator);
      break;
  }
  // The log's failure, or that of the last date-time conversion.
  if (ErrorCode(log.status) == kErrorNoActivityLog) {
    ReportPrintf("User activity is not currently being logged in this database.\n");
    ReportPrintf("Go to Database Properties - User Activity, and check 'Record Activity'\n");
  } else if (log.status != 0) {
    PrintStatus(log.status);
  }
  return log.status;
}

void PrintStatus(Status status) {
  Text text{};
  if (LoadErrorText(status, text) == 0) return;
  ReportPrintf("(Error %d: %s)\n", static_cast<int>(ErrorCode(status)), text.data());
}

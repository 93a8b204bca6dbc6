// The activity report of one database: its user-activity log through the date window and the
// user-name patterns, its optional summary, and plain messages for its failures.
#include "report/activity_report.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "cli/progress.h"
#include "cli/report_printf.h"
#include "cli/run_settings.h"
#include "common/fixed_text.h"
#include "report/activity_block.h"
#include "report/database_path.h"
#include "report/entry_filter.h"
#include "report/report_fields.h"

namespace {

// Prints the entries that pass the date window and the name patterns and
// returns the status of the last date-time conversion (0 when none).
//
// The block is the runtime's, and the runtime gives no size for it: the
// entry count and the name offsets are taken on trust, and a name is read
// to its terminator, whole, as it is matched and printed. Entries are
// copied out (the block need not be aligned); nothing from the block goes
// into a buffer of ours.
Status PrintEntries(const unsigned char* block, uint16_t count, const DateWindow& window) {
  const FieldForm form = ReportForm(gRunSettings.separator);
  Status status = 0;
  uint32_t printed = 0;
  for (uint32_t i = 0; i < count; ++i) {
    ActivityEntry entry;
    TimeText time;
    status = ReadEntry(block, i, entry, time);
    if (status != 0) {
      ReportPrintf("Error converting time/date stamp on record %d\n", static_cast<int>(i));
      continue;
    }

    if (!InWindow(window, entry.time)) continue;

    const char* name = reinterpret_cast<const char*>(block) + entry.nameOffset;
    if (!NamePasses(name)) continue;
    PrintEntryLine({}, TextOf(time), entry, name, form);
    ++printed;
  }
  NoteEntriesCounted(printed);
  return status;
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
  Text path{};
  Status status = BuildDatabasePath(serverName, dbPath, path);
  if (status != 0) {
    ReportPrintf("Cannot create path to database %s\n", dbPath);
    return status;
  }

  // Judged by the handle: a runtime may report a status and still open.
  DbHandle handle = 0;
  status = DbOpen(path.data(), &handle);
  if (handle == 0) {
    ReportPrintf("Unable to open database: %s\n\n", dbPath);
    PrintStatus(status);
    return status;
  }

  ReportPrintf("Activity for database: %s\n\n", dbPath);
  status = PrintUserActivity(handle);
  if (ErrorCode(status) == kErrorNoActivityLog) {
    ReportPrintf("User activity is not currently being logged in this database.\n");
    ReportPrintf("Go to Database Properties - User Activity, and check 'Record Activity'\n");
  } else if (status != 0) {
    PrintStatus(status);
  }
  DbClose(handle);
  return status;
}

Status PrintUserActivity(DbHandle handle) {
  ActivitySummary summary{};
  MemHandle entriesHandle = 0;
  uint16_t count = 0;
  Status status = DbGetUserActivity(handle, 0, &summary, &entriesHandle, &count);
  if (status != 0) {
    ReportPrintf("Unable to get User Activity Log\n");
    return status;
  }

  const DateWindow window = MakeDateWindow();
  const ActivityBlock block = LockActivityBlock(entriesHandle, count);
  const char separator = gRunSettings.separator;
  if (separator == ',') {
    ReportPrintf("Date/Time,Reads,Writes,User Name\n");
  } else {
    ReportPrintf("Date/Time\t\tReads\tWrites\tUser Name\n");
  }
  // No block, or one that cannot be locked: no entries to print.
  status = block.entries == nullptr ? Status{0} : PrintEntries(block.entries, block.count, window);
  ReleaseActivityBlock(block);

  if (gRunSettings.showSummary != 0) PrintSummary(summary, separator);
  return status;
}

void PrintStatus(Status status) {
  Text text{};
  if (LoadErrorText(status, text) == 0) return;
  ReportPrintf("(Error %d: %s)\n", static_cast<int>(ErrorCode(status)), text.data());
}

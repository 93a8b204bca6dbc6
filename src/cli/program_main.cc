// The main routine: settings from the command line, the stream exchange,
// and every database whose path or title matches, reported in turn.
#include "cli/program_main.h"

#include <array>
#include <cstdio>

#include "cli/command_line.h"
#include "cli/output_check.h"
#include "cli/progress.h"
#include "cli/report_printf.h"
#include "cli/run_settings.h"
#include "cli/streams.h"
#include "match/wildcard.h"
#include "report/activity_report.h"
#include "report/database_path.h"
#include "report/entry_table.h"
#include "report/overview.h"
#include "report/report_fields.h"
#include "report/user_table.h"
#include "scan/database_scan.h"

namespace {

// The tables for other tools keep to their lines: the run's own messages
// go to the initial standard error. The report and the overview's text
// form carry them among their lines.
bool MessagesAside() {
  const View view = gRunSettings.view;
  return view == View::kEntries || view == View::kUsers || gRunSettings.json != 0;
}

// A server that cannot be reached must not look like an empty one. A
// directory that was searched but would not close lost nothing: say so.
void ReportScanFailure(Status status, ScanStep step) {
  const char* server = gRunSettings.serverName.data();
  std::array<char, 2 * kTextSize> words{};
  if (step == ScanStep::kMemory) {
    // The scan stopped rather than hand out a database twice or lose one.
    if (server[0] == '\0') {
      std::snprintf(words.data(), words.size(),
                    "Memory ran short while searching the local data directory: not every "
                    "database was searched");
    } else {
      std::snprintf(words.data(), words.size(),
                    "Memory ran short while searching the data directory of server %s: not every "
                    "database was searched",
                    server);
    }
  } else if (step == ScanStep::kClose) {
    if (server[0] == '\0') {
      std::snprintf(words.data(), words.size(),
                    "Unable to close the local data directory after searching it");
    } else {
      std::snprintf(words.data(), words.size(),
                    "Unable to close the data directory of server %s after searching it", server);
    }
  } else if (server[0] == '\0') {
    std::snprintf(words.data(), words.size(), "Unable to search the local data directory");
  } else {
    std::snprintf(words.data(), words.size(), "Unable to search the data directory of server %s",
                  server);
  }
  Text text{};
  const bool hasText = step != ScanStep::kMemory && LoadErrorText(status, text) != 0;
  const int code = static_cast<int>(ErrorCode(status));
  if (MessagesAside()) {
    PrintAside("%s\n", words.data());
    if (hasText) PrintAside("(Error %d: %s)\n", code, text.data());
  } else {
    ReportPrintf("%s\n", words.data());
    if (hasText) ReportPrintf("(Error %d: %s)\n", code, text.data());
  }
}

// The view is chosen once; these three tell each part of the run to it.
void StartView(View view) {
  if (gRunSettings.json != 0) MarkReportTextUtf8();
  if (view == View::kOverview) PrintOverviewHeader();
  if (view == View::kEntries) PrintEntryTableHeader();
}

void ShowDatabase(View view, const char* server, const char* path, const char* title) {
  switch (view) {
    case View::kOverview:
      ProcessDatabaseOverview(server, path, title);
      break;
    case View::kEntries:
      ProcessDatabaseEntries(server, path, title);
      break;
    case View::kUsers:
      ProcessDatabaseUsers(server, path);
      break;
    case View::kReport:
      ReportPrintf("\n===========================\n");
      ProcessDatabase(server, path);
      break;
  }
}

void FinishView(View view) {
  if (view == View::kUsers && !OutputLost()) PrintUserTable();
}

}  // namespace

Status ProgramMain(int32_t argc, char** argv) {
  if (ParseArguments(argc, argv) == 0) {
    FinishOutput(stderr);  // the usage text; a failure is told on the initial standard error
    return 0;
  }
  StartProgress();  // decided on the initial streams, before they trade places
  SwapStandardStreams();
  BufferReportStream();
  WatchOutput(stderr);  // the report stream now carries the initial standard output
  const View view = gRunSettings.view;
  StartView(view);

  const char* server = gRunSettings.serverName.data();
  const char* pattern = gRunSettings.dbPattern.data();
  Text path{};
  Text title{};
  Status scanStatus = 0;
  Status scanFailure = 0;  // the status of each call is reset by the next
  ScanStep failedStep = ScanStep::kNone;
  // A server name or database pattern that lost characters names nothing:
  // no server is asked. Once output is lost there is no point in reading
  // further databases.
  const bool searched = gRunSettings.serverNameLost == 0 && gRunSettings.dbPatternLost == 0;
  while (searched && !OutputLost() && NextDatabase(server, "", path.data(), &scanStatus) != 0) {
    if (scanStatus != 0) {
      scanFailure = scanStatus;
      failedStep = LastScanFailure();
    }
    CurrentDatabaseTitle(title.data());
    const bool matches =
        WildcardMatch(pattern, path.data(), 0) != 0 || WildcardMatch(pattern, title.data(), 0) != 0;
    if (matches) {
      NoteDatabasePathCut(CurrentDatabasePathCut());
      ShowDatabase(view, server, path.data(), title.data());
    }
    NoteDatabaseSearched(matches);
  }
  if (scanStatus != 0) {
    scanFailure = scanStatus;
    failedStep = LastScanFailure();
  }
  if (scanFailure != 0 && !OutputLost()) ReportScanFailure(scanFailure, failedStep);
  FinishView(view);
  EndProgress();
  FinishOutput(stdout);  // the initial standard error, since the exchange
  return 0;
}

// The main routine: settings from the command line, the stream exchange,
// and every database whose path or title matches, reported in turn.
#include "cli/program_main.h"

#include "cli/command_line.h"
#include "cli/output_check.h"
#include "cli/progress.h"
#include "cli/report_printf.h"
#include "cli/run_settings.h"
#include "cli/streams.h"
#include "match/wildcard.h"
#include "report/activity_report.h"
#include "report/overview.h"
#include "scan/database_scan.h"

namespace {

// A server that cannot be reached must not look like an empty one. A
// directory that was searched but would not close lost nothing: say so.
void ReportScanFailure(Status status, ScanStep step) {
  const char* server = gRunSettings.serverName.data();
  if (step == ScanStep::kClose) {
    if (server[0] == '\0') {
      ReportPrintf("Unable to close the local data directory after searching it\n");
    } else {
      ReportPrintf("Unable to close the data directory of server %s after searching it\n", server);
    }
  } else if (server[0] == '\0') {
    ReportPrintf("Unable to search the local data directory\n");
  } else {
    ReportPrintf("Unable to search the data directory of server %s\n", server);
  }
  PrintStatus(status);
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
  const bool overview = gRunSettings.overview != 0;
  if (overview) PrintOverviewHeader();

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
      if (overview) {
        ProcessDatabaseOverview(server, path.data(), title.data());
      } else {
        ReportPrintf("\n===========================\n");
        ProcessDatabase(server, path.data());
      }
    }
    NoteDatabaseSearched(matches);
  }
  if (scanStatus != 0) {
    scanFailure = scanStatus;
    failedStep = LastScanFailure();
  }
  if (scanFailure != 0 && !OutputLost()) ReportScanFailure(scanFailure, failedStep);
  EndProgress();
  FinishOutput(stdout);  // the initial standard error, since the exchange
  return 0;
}

// The command line: switches and positional arguments into the run
// settings, and the usage text.
#include "cli/command_line.h"

#include <cstdio>
#include <cstring>

#include "cli/lost_arguments.h"
#include "cli/output_check.h"
#include "cli/report_printf.h"
#include "cli/run_settings.h"
#include "cli/streams.h"

namespace {

constexpr const char* kUsagePieces[] = {
    "Displays user activity information in a database, if available.\n\n",
    "usetrail [ServerName] <DbName> [/c] [/i] [/f:filter] [/s:days] [/e:days]\n\n",
    "  ServerName      [optional] The name of the server that the database is on.\n",
    "  DbName          The name of the database to examine (wildcards are allowed).\n",
    "  /c              Display information in comma-delimited format.\n",
    "  /i              Display summary information at the end.\n",
    "  /f:filter       Filter the user names that are retrieved based on a wildcard\n",
    "                  specification using * or ? (like *John*).\n",
    "  /x:filter       Exclude names that match this wildcard pattern (like *SRV*)\n",
    "  /s:days         Get only the entries that are this many days old or newer.\n",
    "                  If this option is not specified, there is no start date.\n",
    "  /e:days         Get only the entries that are this many days old or older.\n",
    "                  If this option is not specified, there is no end date.\n",
    "\nIf the server or database name contains spaces, enclose it in quotation marks.\n",
    "You can use a combination of the /s and /e options to specify a date range.\n",
    "For example, /s:14 /e:7 gets entries from the last 7 to 14 days, /s:1 /e:1\n",
    "gets entries from yesterday, and /s:0 /e:0 gets entries from today.\n",
    ("\n/o one line per database, /t per entry, /u per user, /j JSON; see the README.\n"
     "version 1.2\n"),
};

// The value of /f, /x, /s and /e: everything after the first ':', or null
// when there is no ':' or nothing after it (the switch is then ignored).
const char* SwitchValue(const char* argument) {
  const char* colon = std::strchr(argument, ':');
  if (colon == nullptr || colon[1] == '\0') return nullptr;
  return colon + 1;
}

// /o, /t and /u each choose what the run prints; the first one given counts
// and any other is warned about, so that one run writes one table.
void ChooseView(RunSettings& s, View view, const char* arg) {
  if (s.view == View::kReport) {
    s.view = view;
  } else if (s.view != view) {
    ReportPrintf("Only the first of /o, /t and /u counts:%s (ignored)", arg);
  }
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t ReadDayCount(const char* value) {
  while (IsBlank(*value)) ++value;
  bool negative = false;
  if (*value == '+' || *value == '-') negative = *value++ == '-';
  // Saturate early: anything past 2^31 is clamped the same way below.
  constexpr int64_t kCap = int64_t{1} << 32;
  int64_t n = 0;
  for (; *value >= '0' && *value <= '9'; ++value) {
    n = n * 10 + (*value - '0');
    if (n > kCap) n = kCap;
  }
  if (negative) n = -n;
  if (n > INT32_MAX) return INT32_MAX;
  if (n < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(n);
}

void PrintUsage() {
  for (const char* piece : kUsagePieces) {
    NoteWriteResult(stdout, WriteToStream(stdout, piece, std::strlen(piece)));
  }
}

int32_t ParseArguments(int32_t argc, char** argv) {
  if (argc < 2) {
    PrintUsage();
    return 0;
  }
  RunSettings& s = gRunSettings;
  const char* positional[2] = {nullptr, nullptr};
  const char* includeArgument = nullptr;  // the /f and /x that set the patterns
  const char* excludeArgument = nullptr;
  int taken = 0;
  for (int32_t i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr) continue;
    if (arg[0] != '-' && arg[0] != '/') {
      if (taken < 2) positional[taken++] = arg;  // later ones are dropped
      continue;
    }
    const char* value = SwitchValue(arg);
    switch (arg[1]) {
      case '?':
        PrintUsage();
        return 0;
      case 'c':
      case 'C':
        s.separator = ',';
        break;
      case 'i':
      case 'I':
        s.showSummary = 1;
        break;
      case 'o':
      case 'O':
        ChooseView(s, View::kOverview, arg);
        break;
      case 't':
      case 'T':
        ChooseView(s, View::kEntries, arg);
        break;
      case 'u':
      case 'U':
        ChooseView(s, View::kUsers, arg);
        break;
      case 'j':
      case 'J':
        s.json = 1;
        break;
      case 'f':
      case 'F':
        if (value != nullptr) {
          CopyText(s.includePattern, value);
          includeArgument = arg;
        }
        break;
      case 'x':
      case 'X':
        if (value != nullptr) {
          CopyText(s.excludePattern, value);
          excludeArgument = arg;
        }
        break;
      case 's':
      case 'S':
        if (value != nullptr) s.startDays = ReadDayCount(value);
        break;
      case 'e':
      case 'E':
        if (value != nullptr) s.endDays = ReadDayCount(value);
        break;
      default:
        ReportPrintf("Unrecognized command line option:%s (ignored)", arg);
        break;
    }
  }
  if (s.json != 0 && s.view == View::kReport)
    s.view = View::kEntries;  // the report has no JSON form
  if (taken == 0) {
    ReportPrintf("** Not enough arguments! **\n");
    PrintUsage();
    return 0;
  }
  const char* server = taken == 1 ? nullptr : positional[0];
  const char* database = positional[taken - 1];
  CopyText(s.serverName, server != nullptr ? server : "");
  CopyText(s.dbPattern, database);
  WarnOfLostArguments(server, database, includeArgument, excludeArgument);
  return 1;
}

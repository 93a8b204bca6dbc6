// The record of arguments that lost characters, and what they then do.
#include "cli/lost_arguments.h"

#include <cstring>

#include "cli/report_printf.h"
#include "cli/run_settings.h"

namespace {

int32_t noted = 0;
char* const* notedArgv = nullptr;
const bool* notedLost = nullptr;

// Warns when `argument` lost characters; returns whether it did.
int32_t Lost(const char* argument, const char* role, const char* outcome) {
  if (argument == nullptr || !IsLostArgument(argument)) return 0;
  ReportPrintf("The %s \"%s\" holds characters that the system's code page cannot hold: %s.\n",
               role, argument, outcome);
  return 1;
}

}  // namespace

void NoteLostArguments(int32_t argc, char* const* argv, const bool* lost) {
  noted = argc;
  notedArgv = argv;
  notedLost = lost;
}

bool IsLostArgument(const char* argument) {
  // An argument of the noted vector itself is known by its place: a '?'
  // typed as such is not one that stands in for a lost character.
  for (int32_t i = 0; i < noted; ++i) {
    if (notedArgv[i] == argument) return notedLost[i];
  }
  // The runtime may have handed back a vector of its own: known by its text.
  for (int32_t i = 0; i < noted; ++i) {
    if (notedLost[i] && notedArgv[i] != nullptr && std::strcmp(notedArgv[i], argument) == 0) {
      return true;
    }
  }
  return false;
}

void WarnOfLostArguments(const char* serverName, const char* dbPattern, const char* include,
                         const char* exclude) {
  RunSettings& s = gRunSettings;
  s.serverNameLost = Lost(serverName, "server name", "no database is searched");
  s.dbPatternLost = Lost(dbPattern, "database name", "it matches no database");
  s.includePatternLost = Lost(include, "user filter", "it matches no user name");
  s.excludePatternLost = Lost(exclude, "user exclusion", "it leaves out no user name");
}

void ResetLostArguments() { NoteLostArguments(0, nullptr, nullptr); }

// The record of arguments that lost characters, and what they then do.
#include "cli/lost_arguments.h"

#include <cstring>

#include "cli/report_printf.h"
#include "cli/run_settings.h"

namespace {

int32_t noted = 0;
char* const* notedArgv = nullptr;
const bool* notedLost = nullptr;
const char* const* notedLookAlikes = nullptr;

bool Same(const char* a, const char* b) { return a != nullptr && std::strcmp(a, b) == 0; }

// The text to name `argument` by when it lost characters (the program's own,
// with the code page's stand-ins, where it is known), or null.
const char* LostText(const char* argument) {
  if (argument == nullptr) return nullptr;
  // An argument of the noted vector itself is known by its place: a '?'
  // typed as such is not one that stands in for a lost character.
  for (int32_t i = 0; i < noted; ++i) {
    if (notedArgv[i] == argument) return notedLost[i] ? argument : nullptr;
  }
  // A vector of the runtime's own: known by its text, the lost forms first,
  // so that a look-alike never passes for the argument it resembles.
  bool anyLost = false;
  bool kept = false;  // the text of an argument that lost nothing
  for (int32_t i = 0; i < noted; ++i) {
    if (!notedLost[i]) {
      kept = kept || Same(notedArgv[i], argument);
      continue;
    }
    anyLost = true;
    if (Same(notedArgv[i], argument)) return argument;
    if (notedLookAlikes != nullptr && Same(notedLookAlikes[i], argument)) return notedArgv[i];
  }
  return anyLost && !kept ? argument : nullptr;
}

// Warns when `argument` lost characters; returns whether it did.
int32_t Lost(const char* argument, const char* role, const char* outcome) {
  const char* text = LostText(argument);
  if (text == nullptr) return 0;
  ReportPrintf("The %s \"%s\" holds characters that the system's code page cannot hold: %s.\n",
               role, text, outcome);
  return 1;
}

}  // namespace

void NoteLostArguments(int32_t argc, char* const* argv, const bool* lost,
                       const char* const* lookAlikes) {
  noted = argc;
  notedArgv = argv;
  notedLost = lost;
  notedLookAlikes = lookAlikes;
}

bool IsLostArgument(const char* argument) { return LostText(argument) != nullptr; }

void WarnOfLostArguments(const char* serverName, const char* dbPattern, const char* include,
                         const char* exclude) {
  RunSettings& s = gRunSettings;
  s.serverNameLost = Lost(serverName, "server name", "no database is searched");
  s.dbPatternLost = Lost(dbPattern, "database name", "it matches no database");
  s.includePatternLost = Lost(include, "user filter", "it matches no user name");
  s.excludePatternLost = Lost(exclude, "user exclusion", "it leaves out no user name");
}

void ResetLostArguments() { NoteLostArguments(0, nullptr, nullptr); }

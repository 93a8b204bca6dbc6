// The process-wide run settings, made from the command line once at start-up
// and read by the main routine and the activity report.
#pragma once

#include <cstdint>

#include "common/fixed_text.h"

struct RunSettings {
  Text serverName;      // empty: the local data directory
  Text dbPattern;       // tested against each database's path and title
  Text includePattern;  // a user name must match it to be printed
  Text excludePattern;  // a user name that matches it is not printed
  int32_t startDays;    // oldest day to print, days before today; < 0: none
  int32_t endDays;      // newest day to print, days before today; < 0: none
  char separator;       // between the fields of a report line
  int32_t showSummary;  // print the database summary after the entries
  int32_t overview;     // one line per database instead of its report
  // Set when the argument held characters that the runtime's code page
  // cannot hold (lost_arguments.h): the setting then matches nothing.
  int32_t serverNameLost;
  int32_t dbPatternLost;
  int32_t includePatternLost;
  int32_t excludePatternLost;
};

extern RunSettings gRunSettings;

// Puts every field back to its value at process start.
void ResetRunSettings();

// Turns the argument vector into the run settings and prints the usage text.
#pragma once

#include <cstdint>

// Fills gRunSettings from argv[1..argc-1]. Returns 1 when the run is to go
// on, 0 when it is to end (the usage text has then been printed). Warnings go
// through ReportPrintf.
int32_t ParseArguments(int32_t argc, char** argv);

// Writes the usage text to the standard output stream.
void PrintUsage();

// Reads a day count the way the command line does: leading white space, an
// optional sign, then digits up to the first non-digit. No digits gives 0;
// values beyond the signed 32-bit range are clamped to it.
int32_t ReadDayCount(const char* value);

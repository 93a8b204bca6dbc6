// The program's main routine: settings, stream exchange, and the loop over
// the matching databases.
#pragma once

#include <cstdint>

#include "runtime/notes_runtime.h"

// Runs the whole tool for one command line; returns 0 on every path.
Status ProgramMain(int32_t argc, char** argv);

// The frame around the main routine: runtime start-up, shutdown and the
// process's exit status.
#pragma once

#include <cstdint>

#include "runtime/notes_runtime.h"

using MainRoutine = Status (*)(int32_t argc, char** argv);

// Starts the runtime, runs ProgramMain, shuts the runtime down, and returns
// the process's exit status.
int32_t StartupMain(int32_t argc, char** argv);

// StartupMain with the main routine given, so the frame can be tried with a
// routine that fails.
int32_t RunStartup(int32_t argc, char** argv, MainRoutine mainRoutine);

// Writes "\r\n<text>\r\n\r\n" to the standard output stream.
void ShowStartupMessage(const char* text);

// The program's entry routine, which the runtime is told about.
extern "C" int ProcessEntry(int argc, char** argv);

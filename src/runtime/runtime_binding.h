// Windows only: binds the runtime operations to nnotes.dll at start-up, by
// export number, so that a missing or unsuitable library is reported in the
// program's own words instead of by the system loader. (On other platforms
// the program links the runtime library directly.)
#pragma once

#include <span>

// Exit statuses of a failed binding. They lie above 255, clear of every
// status the runtime's own start-up gives; where a status is cut to its low
// 8 bits they read 133 to 136.
constexpr int kExitRuntimeNotFound = 901;
constexpr int kExitRuntimeNot64Bit = 902;
constexpr int kExitRuntimeNotLoaded = 903;
constexpr int kExitRuntimeOperationMissing = 904;

// Loads nnotes.dll, the first found in the program's own folder and then in
// the folders of PATH (never the current folder), by its full path, and
// binds every operation of runtime_operations.h by its number. Returns 0, or fills `message` with
// what is wrong and what to do, and returns the exit status for it.
int BindRuntime(std::span<char> message);

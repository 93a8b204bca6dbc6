// Windows only: binds the runtime operations to nnotes.dll at start-up, by
// export number, so that a missing or unsuitable library is reported in the
// program's own words instead of by the system loader. (On other platforms
// the program links the runtime library directly.)
#pragma once

#include <cstddef>
#include <span>

// Exit statuses of a failed binding. They lie above 255, clear of every
// status the runtime's own start-up gives; where a status is cut to its low
// 8 bits they read 133 to 136.
constexpr int kExitRuntimeNotFound = 901;
constexpr int kExitRuntimeNot64Bit = 902;
constexpr int kExitRuntimeNotLoaded = 903;
constexpr int kExitRuntimeOperationMissing = 904;

// Room for a message: the longest path the system takes, the system's text
// for an error and our words.
constexpr std::size_t kBindingMessageSize = 32768 + 1024;

// Loads nnotes.dll, the first 64-bit one found in the program's own folder
// and then in the folders of PATH (never the current folder), by its full
// path, and binds every operation of runtime_operations.h by its number.
// From then on no library is loaded by name from the current folder or PATH,
// for the program or the runtime. Returns 0, or fills `message` with what is
// wrong and what to do, as wide text (a path is shown as it is), and returns
// the exit status for it.
int BindRuntime(std::span<wchar_t> message);

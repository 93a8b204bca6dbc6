// Every operation of the runtime library that the program calls, with its
// export number in nnotes.dll. This list is the one place the numbers are
// written: the Windows program binds by it at start-up, and the build makes
// the stand-in DLL's module-definition file from it (cmake/runtime-exports.cmake
// reads the X(name, number) entries as they are written here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

// X(operation, export number), in ascending order of number.
#define USETRAIL_RUNTIME_OPERATIONS(X) \
  X(RuntimeTerm, 13)                   \
  X(RuntimeInit, 15)                   \
  X(RuntimeEnterMain, 25)              \
  X(StatusText, 27)                    \
  X(StartupStatusText, 29)             \
  X(RuntimeTakeArgs, 51)               \
  X(RuntimeReleaseArgs, 52)            \
  X(MemFree, 143)                      \
  X(TimeNow, 165)                      \
  X(MemLock, 182)                      \
  X(MemUnlock, 183)                    \
  X(TimeAdjust, 210)                   \
  X(TimeToText, 224)                   \
  X(TimeDiffSeconds, 308)              \
  X(TimeDateOnly, 398)                 \
  X(StoredStructSize, 439)             \
  X(TimeDayNumber, 448)                \
  X(LoadStatusString, 707)             \
  X(BuildNetPath, 938)                 \
  X(DbClose, 2001)                     \
  X(DbOpen, 2005)                      \
  X(DbSearch, 2195)                    \
  X(DbGetUserActivity, 2786)

// An operation's place in the list.
enum class RuntimeOperation : uint8_t {
#define USETRAIL_OPERATION_PLACE(name, number) name,
  USETRAIL_RUNTIME_OPERATIONS(USETRAIL_OPERATION_PLACE)
#undef USETRAIL_OPERATION_PLACE
};

struct RuntimeExport {
  const char* name;
  uint16_t number;
};

inline constexpr RuntimeExport kRuntimeExports[] = {
#define USETRAIL_OPERATION_EXPORT(name, number) {#name, number},
    USETRAIL_RUNTIME_OPERATIONS(USETRAIL_OPERATION_EXPORT)
#undef USETRAIL_OPERATION_EXPORT
};

inline constexpr std::size_t kRuntimeOperationCount = std::size(kRuntimeExports);

// Strictly ascending, so no number is bound to two operations.
constexpr bool ExportNumbersAscend() {
  for (std::size_t i = 1; i < kRuntimeOperationCount; ++i) {
    if (kRuntimeExports[i - 1].number >= kRuntimeExports[i].number) return false;
  }
  return true;
}
static_assert(ExportNumbersAscend(), "runtime export numbers must ascend, each used once");

// The Windows program does not import nnotes.dll: were the library missing,
// short of an export number or of the wrong kind, the system loader would
// refuse to start the program without a word a person could act on. It loads
// the library itself at start-up, looks every operation up by its number, and
// defines each operation of notes_runtime.h as a trampoline through the
// address it found, so every caller stays as it is.
#include <windows.h>

#include <cstdio>
#include <string_view>

#include "common/fixed_text.h"
#include "runtime/notes_runtime.h"
#include "runtime/runtime_binding.h"
#include "runtime/runtime_operations.h"

namespace {

constexpr char kLibrary[] = "nnotes.dll";

using RuntimeAddress = void (*)();

// The bound address of each operation, in the order of the list.
RuntimeAddress gBound[kRuntimeOperationCount];

// The system's text for a Windows error, on one line and without its closing
// full stop; where the text leaves room for a file name, the library is named.
// Empty when the system has no text for the error.
void DescribeError(DWORD error, std::span<char> text) {
  if (text.empty()) return;
  char raw[kTextSize] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, raw, sizeof raw, nullptr);
  const std::string_view source(raw, length < sizeof raw ? length : 0);
  std::size_t out = 0;
  for (std::size_t i = 0; i < source.size() && out + 1 < text.size(); ++i) {
    if (source.substr(i, 2) == "%1") {
      out += CopyText(text.subspan(out), kLibrary);
      ++i;
      continue;
    }
    const bool blank = source[i] == ' ' || source[i] == '\r' || source[i] == '\n';
    if (blank && (out == 0 || text[out - 1] == ' ')) continue;
    text[out++] = blank ? ' ' : source[i];
  }
  while (out > 0 && (text[out - 1] == ' ' || text[out - 1] == '.')) --out;
  text[out] = '\0';
}

int ReportLoadFailure(DWORD error, std::span<char> message) {
  Text description{};
  DescribeError(error, description);
  char reason[kTextSize + 32];
  std::snprintf(reason, sizeof reason, "Windows error %lu%s%s", static_cast<unsigned long>(error),
                description[0] != '\0' ? ": " : "", description.data());
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_MOD_NOT_FOUND:
      // Also what a library that nnotes.dll itself needs gives when missing.
      std::snprintf(message.data(), message.size(),
                    "The runtime library %s, or a library it needs, was not found (%s).\r\n"
                    "Run usetrail from the database client's program folder, or add that folder "
                    "to PATH.",
                    kLibrary, reason);
      return kExitRuntimeNotFound;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_BAD_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
      std::snprintf(message.data(), message.size(),
                    "The runtime library %s that was found is not a 64-bit library (%s).\r\n"
                    "This usetrail.exe is 64-bit and needs the 64-bit runtime library: run it "
                    "from the program folder of a 64-bit database client.",
                    kLibrary, reason);
      return kExitRuntimeNot64Bit;
    default:
      std::snprintf(message.data(), message.size(),
                    "The runtime library %s was found but could not be loaded (%s).", kLibrary,
                    reason);
      return kExitRuntimeNotLoaded;
  }
}

int ReportMissingOperation(HMODULE library, const RuntimeExport& operation,
                           std::span<char> message) {
  // The full path tells which of several copies on the search path was taken.
  char path[MAX_PATH + 1] = {};
  if (GetModuleFileNameA(library, path, MAX_PATH) == 0) CopyText(path, kLibrary);
  std::snprintf(message.data(), message.size(),
                "The runtime library %s has no export number %u (%s): the installed runtime "
                "does not provide an operation that usetrail needs.",
                path, static_cast<unsigned>(operation.number), operation.name);
  return kExitRuntimeOperationMissing;
}

}  // namespace

int BindRuntime(std::span<char> message) {
  // No system error box either: a scheduled run has no one to close it.
  const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const HMODULE library = LoadLibraryA(kLibrary);
  const DWORD error = GetLastError();
  SetErrorMode(errorMode);
  if (library == nullptr) return ReportLoadFailure(error, message);

  for (std::size_t i = 0; i < kRuntimeOperationCount; ++i) {
    const FARPROC address = GetProcAddress(library, MAKEINTRESOURCEA(kRuntimeExports[i].number));
    // An unused number inside the export range may come back as the
    // library's own base address rather than as none.
    if (address == nullptr || reinterpret_cast<void*>(address) == library) {
      return ReportMissingOperation(library, kRuntimeExports[i], message);
    }
    gBound[i] = reinterpret_cast<RuntimeAddress>(address);
  }
  return 0;
}

// The operation's bound address, as the operation's own type.
#define USETRAIL_BOUND(name) \
  reinterpret_cast<decltype(&::name)>(gBound[static_cast<std::size_t>(RuntimeOperation::name)])

extern "C" {

Status RuntimeInit(int argc, char** argv) { return USETRAIL_BOUND(RuntimeInit)(argc, argv); }
Status RuntimeTakeArgs(int argc, char** argv, int* argcOut, char*** argvOut) {
  return USETRAIL_BOUND(RuntimeTakeArgs)(argc, argv, argcOut, argvOut);
}
Status RuntimeEnterMain(EntryRoutine entry, int argc, char** argv, uint32_t reserved1,
                        void* reserved2) {
  return USETRAIL_BOUND(RuntimeEnterMain)(entry, argc, argv, reserved1, reserved2);
}
void RuntimeReleaseArgs(int argc, char** argv) { USETRAIL_BOUND(RuntimeReleaseArgs)(argc, argv); }
void RuntimeTerm(void) { USETRAIL_BOUND(RuntimeTerm)(); }

int StartupStatusText(Status status, char* buffer, uint16_t size) {
  return USETRAIL_BOUND(StartupStatusText)(status, buffer, size);
}
uint16_t StatusText(Status status, char* buffer, uint16_t size) {
  return USETRAIL_BOUND(StatusText)(status, buffer, size);
}
uint16_t LoadStatusString(uint32_t module, Status code, char* buffer, uint16_t size) {
  return USETRAIL_BOUND(LoadStatusString)(module, code, buffer, size);
}

Status BuildNetPath(const char* port, const char* server, const char* file, char* pathOut) {
  return USETRAIL_BOUND(BuildNetPath)(port, server, file, pathOut);
}
Status DbOpen(const char* path, DbHandle* handle) { return USETRAIL_BOUND(DbOpen)(path, handle); }
Status DbClose(DbHandle handle) { return USETRAIL_BOUND(DbClose)(handle); }
Status DbSearch(DbHandle handle, MemHandle formula, const char* viewTitle, uint16_t searchFlags,
                uint16_t classMask, const TimeDate* since, SearchCallback callback, void* context,
                TimeDate* until) {
  return USETRAIL_BOUND(DbSearch)(handle, formula, viewTitle, searchFlags, classMask, since,
                                  callback, context, until);
}
uint16_t StoredStructSize(uint16_t structureType) {
  return USETRAIL_BOUND(StoredStructSize)(structureType);
}
Status DbGetUserActivity(DbHandle handle, uint32_t flags, ActivitySummary* summary,
                         MemHandle* entries, uint16_t* count) {
  return USETRAIL_BOUND(DbGetUserActivity)(handle, flags, summary, entries, count);
}

void* MemLock(MemHandle handle) { return USETRAIL_BOUND(MemLock)(handle); }
Status MemUnlock(MemHandle handle) { return USETRAIL_BOUND(MemUnlock)(handle); }
Status MemFree(MemHandle handle) { return USETRAIL_BOUND(MemFree)(handle); }

void TimeNow(TimeDate* now) { USETRAIL_BOUND(TimeNow)(now); }
void TimeDateOnly(const TimeDate* in, uint32_t reserved, TimeDate* out) {
  USETRAIL_BOUND(TimeDateOnly)(in, reserved, out);
}
Status TimeAdjust(TimeDate* value, int32_t hundredths, int32_t seconds, int32_t minutes,
                  int32_t days, int32_t months, int32_t years) {
  return USETRAIL_BOUND(TimeAdjust)(value, hundredths, seconds, minutes, days, months, years);
}
Status TimeToText(const void* intlFormat, const void* textFormat, const TimeDate* value,
                  char* buffer, uint16_t size, uint16_t* length) {
  return USETRAIL_BOUND(TimeToText)(intlFormat, textFormat, value, buffer, size, length);
}
int32_t TimeDayNumber(const TimeDate* value) { return USETRAIL_BOUND(TimeDayNumber)(value); }
int32_t TimeDiffSeconds(const TimeDate* later, const TimeDate* earlier) {
  return USETRAIL_BOUND(TimeDiffSeconds)(later, earlier);
}

}  // extern "C"

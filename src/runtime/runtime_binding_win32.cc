// The Windows program does not import nnotes.dll: were the library missing,
// short of an export number or of the wrong kind, the system loader would
// refuse to start the program without a word a person could act on. It loads
// the library itself at start-up, looks every operation up by its number, and
// defines each operation of notes_runtime.h as a trampoline through the
// address it found, so every caller stays as it is.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
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

// A wide path for the messages, which are text in the system's code page.
void ShownPath(const wchar_t* path, std::span<char> text) {
  const int length = WideCharToMultiByte(CP_ACP, 0, path, -1, text.data(),
                                         static_cast<int>(text.size()), nullptr, nullptr);
  if (length <= 0) CopyText(text, kLibrary);
  text.back() = '\0';
}

constexpr char kWhereToPutIt[] =
    "Put usetrail.exe in the database client's program folder, or add that folder to PATH.";

int ReportNotFound(std::span<char> message) {
  std::snprintf(message.data(), message.size(),
                "The runtime library %s was not found in the folder of usetrail.exe or in the "
                "folders of PATH (the current folder is not searched).\r\n%s",
                kLibrary, kWhereToPutIt);
  return kExitRuntimeNotFound;
}

int ReportLoadFailure(const char* path, DWORD error, std::span<char> message) {
  Text description{};
  DescribeError(error, description);
  char reason[kTextSize + 32];
  std::snprintf(reason, sizeof reason, "Windows error %lu%s%s", static_cast<unsigned long>(error),
                description[0] != '\0' ? ": " : "", description.data());
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_MOD_NOT_FOUND:
      // The library itself was there: one that it needs is not.
      std::snprintf(message.data(), message.size(),
                    "The runtime library %s was found, but a library it needs was not (%s).\r\n%s",
                    path, reason, kWhereToPutIt);
      return kExitRuntimeNotFound;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_BAD_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
      std::snprintf(message.data(), message.size(),
                    "The runtime library %s that was found is not a 64-bit library (%s).\r\n"
                    "This usetrail.exe is 64-bit and needs the 64-bit runtime library: put it in "
                    "the program folder of a 64-bit database client, or add that folder to PATH.",
                    path, reason);
      return kExitRuntimeNot64Bit;
    default:
      std::snprintf(message.data(), message.size(),
                    "The runtime library %s was found but could not be loaded (%s).", path, reason);
      return kExitRuntimeNotLoaded;
  }
}

int ReportMissingOperation(const char* path, const RuntimeExport& operation,
                           std::span<char> message) {
  // The full path tells which of several copies on the search path was taken.
  std::snprintf(message.data(), message.size(),
                "The runtime library %s has no export number %u (%s): the installed runtime "
                "does not provide an operation that usetrail needs.",
                path, static_cast<unsigned>(operation.number), operation.name);
  return kExitRuntimeOperationMissing;
}

// Room for the longest path the system takes, and a terminator.
constexpr std::size_t kLongPath = 32768;

// Appends "\nnotes.dll" to the folder `folder` (of `length` characters) in
// `path`; true when that names a file (not a folder).
bool LibraryIn(const wchar_t* folder, std::size_t length, std::span<wchar_t> path) {
  constexpr std::wstring_view kName = L"nnotes.dll";
  if (length == 0 || length + 1 + kName.size() >= path.size()) return false;
  std::wmemcpy(path.data(), folder, length);
  if (folder[length - 1] != L'\\' && folder[length - 1] != L'/') path[length++] = L'\\';
  std::wmemcpy(path.data() + length, kName.data(), kName.size());
  path[length + kName.size()] = L'\0';
  const DWORD attributes = GetFileAttributesW(path.data());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A folder named in full, from a drive's root ("C:\\...") or a share
// ("\\\\server\\share"). Anything else depends on the current folder or drive.
bool FullyQualified(std::wstring_view folder) {
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (folder.size() >= 3 && folder[1] == L':' && separator(folder[2])) {
    const wchar_t drive = folder[0];
    return (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
  }
  return folder.size() >= 3 && separator(folder[0]) && separator(folder[1]);
}

// Finds nnotes.dll in the folder of the program itself, then in the folders
// of PATH in order, and puts the full path of the first one in `path`. The
// current folder is never searched: a library that someone left in a shared
// folder the tool is run from must not be loaded. A folder of PATH that is
// not named in full ("." or "bin") would be taken from the current folder,
// so it is passed over too.
bool FindLibrary(std::span<wchar_t> path) {
  static wchar_t program[kLongPath];
  const DWORD programLength = GetModuleFileNameW(nullptr, program, kLongPath);
  if (programLength > 0 && programLength < kLongPath) {
    std::size_t folderLength = programLength;
    while (folderLength > 0 && program[folderLength - 1] != L'\\' &&
           program[folderLength - 1] != L'/') {
      --folderLength;
    }
    if (LibraryIn(program, folderLength, path)) return true;
  }

  static wchar_t folders[kLongPath];
  const DWORD length = GetEnvironmentVariableW(L"PATH", folders, kLongPath);
  if (length == 0 || length >= kLongPath) return false;
  std::wstring_view rest(folders, length);
  while (!rest.empty()) {
    std::wstring_view folder;
    // A folder may be written in double quotes, as one with a ';' must be;
    // what follows the closing quote up to the next ';' is not part of it.
    const std::size_t close = rest.front() == L'"' ? rest.find(L'"', 1) : rest.npos;
    const bool quoted = close != rest.npos;
    if (quoted) {
      folder = rest.substr(1, close - 1);
      rest.remove_prefix(close + 1);
    }
    const std::size_t end = std::min(rest.find(L';'), rest.size());
    if (!quoted) folder = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    if (FullyQualified(folder) && LibraryIn(folder.data(), folder.size(), path)) return true;
  }
  return false;
}

}  // namespace

int BindRuntime(std::span<char> message) {
  static wchar_t path[kLongPath];
  if (!FindLibrary(path)) return ReportNotFound(message);
  char shown[MAX_PATH * 2];
  ShownPath(path, shown);

  // No system error box either: a scheduled run has no one to close it.
  const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // The current folder leaves the search for every library loaded from now
  // on, so neither the libraries the runtime needs nor any it loads itself
  // can come from there.
  SetDllDirectoryW(L"");
  // By its full path; the libraries it needs come from its own folder first.
  const HMODULE library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD error = GetLastError();
  SetErrorMode(errorMode);
  if (library == nullptr) return ReportLoadFailure(shown, error, message);

  for (std::size_t i = 0; i < kRuntimeOperationCount; ++i) {
    const FARPROC address = GetProcAddress(library, MAKEINTRESOURCEA(kRuntimeExports[i].number));
    // An unused number inside the export range may come back as the
    // library's own base address rather than as none.
    if (address == nullptr || reinterpret_cast<void*>(address) == library) {
      return ReportMissingOperation(shown, kRuntimeExports[i], message);
    }
    gBound[i] = reinterpret_cast<RuntimeAddress>(address);
  }
  return 0;
}

namespace {

// Every integer argument goes to the runtime as a whole 8-byte slot: the
// register or stack slot of an argument narrower than 8 bytes may hold
// anything above it, and a runtime that reads the slot at another width than
// our declaration would read that. So each operation is called through a
// type whose integer parameters are 64 bits wide; converting to them widens
// each value by its own signedness (unsigned zero-extended, signed
// sign-extended). Results are read at their documented widths.
using Unsigned = uint64_t;
using Signed = int64_t;

// The operation's bound address, called as `Wide`.
template <typename Wide>
Wide* Bound(RuntimeOperation operation) {
  return reinterpret_cast<Wide*>(gBound[static_cast<std::size_t>(operation)]);
}

// The program's directory-search callback, handed to the runtime behind one
// that gives its status back in a whole register, zero-extended, whatever
// width the runtime reads the result at. The context goes through as it is;
// the callback of the search under way is kept here (one search at a time,
// as the scan makes them).
SearchCallback gSearchCallback = nullptr;
uint64_t WideResultCallback(void* context, const MatchRecord* match, const void* summary) {
  return gSearchCallback(context, match, summary);
}

}  // namespace

using Op = RuntimeOperation;

extern "C" {

Status RuntimeInit(int argc, char** argv) {
  return Bound<Status(Signed, char**)>(Op::RuntimeInit)(argc, argv);
}
Status RuntimeTakeArgs(int argc, char** argv, int* argcOut, char*** argvOut) {
  return Bound<Status(Signed, char**, int*, char***)>(Op::RuntimeTakeArgs)(argc, argv, argcOut,
                                                                           argvOut);
}
Status RuntimeEnterMain(EntryRoutine entry, int argc, char** argv, uint32_t reserved1,
                        void* reserved2) {
  return Bound<Status(EntryRoutine, Signed, char**, Unsigned, void*)>(Op::RuntimeEnterMain)(
      entry, argc, argv, reserved1, reserved2);
}
void RuntimeReleaseArgs(int argc, char** argv) {
  Bound<void(Signed, char**)>(Op::RuntimeReleaseArgs)(argc, argv);
}
void RuntimeTerm(void) { Bound<void()>(Op::RuntimeTerm)(); }

int StartupStatusText(Status status, char* buffer, uint16_t size) {
  return Bound<int(Unsigned, char*, Unsigned)>(Op::StartupStatusText)(status, buffer, size);
}
uint16_t StatusText(Status status, char* buffer, uint16_t size) {
  return Bound<uint16_t(Unsigned, char*, Unsigned)>(Op::StatusText)(status, buffer, size);
}
uint16_t LoadStatusString(uint32_t module, Status code, char* buffer, uint16_t size) {
  return Bound<uint16_t(Unsigned, Unsigned, char*, Unsigned)>(Op::LoadStatusString)(module, code,
                                                                                    buffer, size);
}

Status BuildNetPath(const char* port, const char* server, const char* file, char* pathOut) {
  return Bound<Status(const char*, const char*, const char*, char*)>(Op::BuildNetPath)(
      port, server, file, pathOut);
}
Status DbOpen(const char* path, DbHandle* handle) {
  return Bound<Status(const char*, DbHandle*)>(Op::DbOpen)(path, handle);
}
Status DbClose(DbHandle handle) { return Bound<Status(Unsigned)>(Op::DbClose)(handle); }
Status DbSearch(DbHandle handle, MemHandle formula, const char* viewTitle, uint16_t searchFlags,
                uint16_t classMask, const TimeDate* since, SearchCallback callback, void* context,
                TimeDate* until) {
  using WideCallback = uint64_t (*)(void*, const MatchRecord*, const void*);
  const SearchCallback outer = gSearchCallback;
  gSearchCallback = callback;
  const Status status = Bound<Status(Unsigned, Unsigned, const char*, Unsigned, Unsigned,
                                     const TimeDate*, WideCallback, void*, TimeDate*)>(
      Op::DbSearch)(handle, formula, viewTitle, searchFlags, classMask, since,
                    callback != nullptr ? WideResultCallback : nullptr, context, until);
  gSearchCallback = outer;
  return status;
}
uint16_t StoredStructSize(uint16_t structureType) {
  return Bound<uint16_t(Unsigned)>(Op::StoredStructSize)(structureType);
}
Status DbGetUserActivity(DbHandle handle, uint32_t flags, ActivitySummary* summary,
                         MemHandle* entries, uint16_t* count) {
  return Bound<Status(Unsigned, Unsigned, ActivitySummary*, MemHandle*, uint16_t*)>(
      Op::DbGetUserActivity)(handle, flags, summary, entries, count);
}

void* MemLock(MemHandle handle) { return Bound<void*(Unsigned)>(Op::MemLock)(handle); }
Status MemUnlock(MemHandle handle) { return Bound<Status(Unsigned)>(Op::MemUnlock)(handle); }
Status MemFree(MemHandle handle) { return Bound<Status(Unsigned)>(Op::MemFree)(handle); }

void TimeNow(TimeDate* now) { Bound<void(TimeDate*)>(Op::TimeNow)(now); }
void TimeDateOnly(const TimeDate* in, uint32_t reserved, TimeDate* out) {
  Bound<void(const TimeDate*, Unsigned, TimeDate*)>(Op::TimeDateOnly)(in, reserved, out);
}
Status TimeAdjust(TimeDate* value, int32_t hundredths, int32_t seconds, int32_t minutes,
                  int32_t days, int32_t months, int32_t years) {
  return Bound<Status(TimeDate*, Signed, Signed, Signed, Signed, Signed, Signed)>(Op::TimeAdjust)(
      value, hundredths, seconds, minutes, days, months, years);
}
Status TimeToText(const void* intlFormat, const void* textFormat, const TimeDate* value,
                  char* buffer, uint16_t size, uint16_t* length) {
  return Bound<Status(const void*, const void*, const TimeDate*, char*, Unsigned, uint16_t*)>(
      Op::TimeToText)(intlFormat, textFormat, value, buffer, size, length);
}
int32_t TimeDayNumber(const TimeDate* value) {
  return Bound<int32_t(const TimeDate*)>(Op::TimeDayNumber)(value);
}
int32_t TimeDiffSeconds(const TimeDate* later, const TimeDate* earlier) {
  return Bound<int32_t(const TimeDate*, const TimeDate*)>(Op::TimeDiffSeconds)(later, earlier);
}

}  // extern "C"

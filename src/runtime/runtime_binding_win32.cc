// The Windows program does not import nnotes.dll: were the library missing,
// short of an export number or of the wrong kind, the system loader would
// refuse to start the program without a word a person could act on. It loads
// the library itself at start-up, looks every operation up by its number, and
// defines each operation of notes_runtime.h as a trampoline through the
// address it found, so every caller stays as it is.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string_view>

#include "common/fixed_text.h"
#include "runtime/notes_runtime.h"
#include "runtime/runtime_binding.h"
#include "runtime/runtime_operations.h"

namespace {

constexpr wchar_t kLibrary[] = L"nnotes.dll";

using RuntimeAddress = void (*)();

// The bound address of each operation, in the order of the list.
RuntimeAddress gBound[kRuntimeOperationCount];

// The system's text for a Windows error, on one line and without its closing
// full stop; where the text leaves room for a file name, the library is named.
// Empty when the system has no text for the error.
void DescribeError(DWORD error, std::span<wchar_t> text) {
  if (text.empty()) return;
  wchar_t raw[kTextSize] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, raw, kTextSize, nullptr);
  const std::wstring_view source(raw, length < kTextSize ? length : 0);
  const std::wstring_view name = kLibrary;
  std::size_t out = 0;
  for (std::size_t i = 0; i < source.size() && out + 1 < text.size(); ++i) {
    if (source.substr(i, 2) == L"%1") {
      const std::size_t n = std::min(name.size(), text.size() - 1 - out);
      std::wmemcpy(text.data() + out, name.data(), n);
      out += n;
      ++i;
      continue;
    }
    const bool blank = source[i] == L' ' || source[i] == L'\r' || source[i] == L'\n';
    if (blank && (out == 0 || text[out - 1] == L' ')) continue;
    text[out++] = blank ? L' ' : source[i];
  }
  while (out > 0 && (text[out - 1] == L' ' || text[out - 1] == L'.')) --out;
  text[out] = L'\0';
}

// "Windows error N: the system's text", or without the text when it has none.
void DescribeFailure(DWORD error, std::span<wchar_t> reason) {
  wchar_t description[kTextSize];
  DescribeError(error, description);
  std::swprintf(reason.data(), reason.size(), L"Windows error %lu%ls%ls",
                static_cast<unsigned long>(error), description[0] != L'\0' ? L": " : L"",
                description);
  reason.back() = L'\0';
}

constexpr wchar_t kWhereToPutIt[] =
    L"Put usetrail.exe in the database client's program folder, or add that folder to PATH.";

// The messages are wide text: a path is shown as it is, whatever the
// system's code page holds. Each ends terminated, however long the path.
int Report(std::span<wchar_t> message, int status, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::vswprintf(message.data(), message.size(), format, args);
  va_end(args);
  message.back() = L'\0';
  return status;
}

int ReportNotFound(std::span<wchar_t> message) {
  return Report(message, kExitRuntimeNotFound,
                L"The runtime library %ls was not found in the folder of usetrail.exe or in the "
                L"folders of PATH (the current folder is not searched).\r\n%ls",
                kLibrary, kWhereToPutIt);
}

bool WrongKind(DWORD error) {
  return error == ERROR_BAD_EXE_FORMAT || error == ERROR_BAD_FORMAT ||
         error == ERROR_EXE_MACHINE_TYPE_MISMATCH;
}

int ReportWrongKind(const wchar_t* path, DWORD error, std::span<wchar_t> message) {
  wchar_t reason[kTextSize + 32];
  DescribeFailure(error, reason);
  return Report(message, kExitRuntimeNot64Bit,
                L"The runtime library %ls that was found is not a 64-bit library (%ls), and no "
                L"64-bit one was found in the folder of usetrail.exe or in the folders of PATH.\r\n"
                L"This usetrail.exe is 64-bit and needs the 64-bit runtime library: put it in "
                L"the program folder of a 64-bit database client, or add that folder to PATH.",
                path, reason);
}

int ReportLoadFailure(const wchar_t* path, DWORD error, std::span<wchar_t> message) {
  wchar_t reason[kTextSize + 32];
  DescribeFailure(error, reason);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
      error == ERROR_MOD_NOT_FOUND) {
    // The library itself was there: one that it needs is not, in its own
    // folder or the system's, the only places such a library is taken from.
    return Report(message, kExitRuntimeNotFound,
                  L"The runtime library %ls was found, but a library it needs was not (%ls).\r\n"
                  L"%ls",
                  path, reason, kWhereToPutIt);
  }
  return Report(message, kExitRuntimeNotLoaded,
                L"The runtime library %ls was found but could not be loaded (%ls).", path, reason);
}

int ReportMissingOperation(const wchar_t* path, const RuntimeExport& operation,
                           std::span<wchar_t> message) {
  // The full path tells which of several copies on the search path was taken.
  return Report(message, kExitRuntimeOperationMissing,
                L"The runtime library %ls has no export number %u (%hs): the installed runtime "
                L"does not provide an operation that usetrail needs.",
                path, static_cast<unsigned>(operation.number), operation.name);
}

// Room for the longest path the system takes, and a terminator.
constexpr std::size_t kLongPath = 32768;

// Appends "\nnotes.dll" to the folder `folder` (of `length` characters) in
// `path`; the length of the folder with its separator when that names a
// file (not a folder), else 0.
std::size_t LibraryIn(const wchar_t* folder, std::size_t length, std::span<wchar_t> path) {
  constexpr std::wstring_view kName = kLibrary;
  if (length == 0 || length + 1 + kName.size() >= path.size()) return 0;
  std::wmemcpy(path.data(), folder, length);
  if (folder[length - 1] != L'\\' && folder[length - 1] != L'/') path[length++] = L'\\';
  std::wmemcpy(path.data() + length, kName.data(), kName.size());
  path[length + kName.size()] = L'\0';
  const DWORD attributes = GetFileAttributesW(path.data());
  const bool file =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return file ? length : 0;
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

// Offers each nnotes.dll found, by its full path in `path`, to `take` (with
// the length of its folder there), in the folder of the program itself, then
// in the folders of PATH in order, until `take` returns true; returns whether
// one did. The current folder is never searched: a library that someone left
// in a shared folder the tool is run from must not be loaded. A folder of
// PATH that is not named in full ("." or "bin") would be taken from the
// current folder, so it is passed over too.
template <typename Take>
bool EachLibrary(std::span<wchar_t> path, Take take) {
  static wchar_t program[kLongPath];
  const DWORD programLength = GetModuleFileNameW(nullptr, program, kLongPath);
  if (programLength > 0 && programLength < kLongPath) {
    std::size_t folderLength = programLength;
    while (folderLength > 0 && program[folderLength - 1] != L'\\' &&
           program[folderLength - 1] != L'/') {
      --folderLength;
    }
    if (const std::size_t folder = LibraryIn(program, folderLength, path); folder && take(folder)) {
      return true;
    }
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
    if (!FullyQualified(folder)) continue;
    if (const std::size_t found = LibraryIn(folder.data(), folder.size(), path);
        found && take(found)) {
      return true;
    }
  }
  return false;
}

}  // namespace

int BindRuntime(std::span<wchar_t> message) {
  // From here on, for good, a library loaded by name (by the runtime as it
  // starts or later, or by any library it brings along) comes from the
  // program's folder, the system's, or a folder added below, never from the
  // current folder or PATH, at whatever depth it is asked for.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);

  static wchar_t path[kLongPath];
  static wchar_t passedOver[kLongPath];  // the first library of the wrong kind
  DWORD passedOverError = 0;
  HMODULE library = nullptr;
  DWORD error = 0;
  // No system error box either: a scheduled run has no one to close it.
  const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const bool tried = EachLibrary(path, [&](std::size_t folderLength) {
    // The runtime's own folder joins the search, for the libraries it loads
    // by name; what it imports comes from that folder or the system's.
    const wchar_t kept = path[folderLength];
    path[folderLength] = L'\0';
    const DLL_DIRECTORY_COOKIE folder = AddDllDirectory(path);
    path[folderLength] = kept;
    library = LoadLibraryExW(path, nullptr,
                             LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    error = GetLastError();
    if (library != nullptr) return true;
    if (folder != nullptr) RemoveDllDirectory(folder);
    if (!WrongKind(error)) return true;
    // A 32-bit client's library, or no library at all: a 64-bit one may
    // well come later on the search path.
    if (passedOverError == 0) {
      std::wmemcpy(passedOver, path, kLongPath);
      passedOverError = error;
    }
    return false;
  });
  SetErrorMode(errorMode);
  if (!tried) {
    if (passedOverError != 0) return ReportWrongKind(passedOver, passedOverError, message);
    return ReportNotFound(message);
  }
  if (library == nullptr) return ReportLoadFailure(path, error, message);

  for (std::size_t i = 0; i < kRuntimeOperationCount; ++i) {
    const FARPROC address = GetProcAddress(library, MAKEINTRESOURCEA(kRuntimeExports[i].number));
    // An unused number inside the export range may come back as the
    // library's own base address rather than as none.
    if (address == nullptr || reinterpret_cast<void*>(address) == library) {
      return ReportMissingOperation(path, kRuntimeExports[i], message);
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

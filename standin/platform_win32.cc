// Windows implementation of the stand-in's operating-system services.
#include <stdlib.h>
#include <time.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform.h"

namespace standin::platform {
namespace {

// The C runtime converts only 1970-01-01 to 3000-12-31; outside that span
// the offset of the nearest convertible year is used.
constexpr int64_t kFirstConvertible = 0;
constexpr int64_t kLastConvertible = 32503679999;  // 3000-12-31 23:59:59 UTC
constexpr int64_t kSecondsPer400Years = 12622780800;

bool Ascii(const char* text, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

// `size` bytes (-1: up to the terminator) of code page `codePage` as wide text.
std::wstring Wide(UINT codePage, const char* text, int size) {
  const int length = MultiByteToWideChar(codePage, 0, text, size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(codePage, 0, text, size, wide.data(), length);
  if (size < 0 && !wide.empty()) wide.pop_back();  // the terminator
  return wide;
}

// `size` wide characters in code page `codePage`; in the system's code
// page a character it lacks becomes '?', never a look-alike.
std::string Narrow(UINT codePage, const wchar_t* wide, int size) {
  const bool system = codePage == CP_ACP;
  const DWORD flags = system ? WC_NO_BEST_FIT_CHARS : 0;
  const char* fallback = system ? "?" : nullptr;
  const int length =
      WideCharToMultiByte(codePage, flags, wide, size, nullptr, 0, fallback, nullptr);
  std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(codePage, flags, wide, size, text.data(), length, fallback, nullptr);
  }
  return text;
}

}  // namespace

void ReloadTimeZone() { _tzset(); }

bool ToLocal(int64_t utcSeconds, LocalParts* out) {
  int64_t shift = 0;  // whole 400-year cycles keep the calendar identical
  while (utcSeconds + shift < kFirstConvertible) shift += kSecondsPer400Years;
  while (utcSeconds + shift > kLastConvertible) shift -= kSecondsPer400Years;
  const __time64_t value = static_cast<__time64_t>(utcSeconds + shift);
  struct tm parts {};
  if (_localtime64_s(&parts, &value) != 0) return false;
  out->year = static_cast<int64_t>(parts.tm_year) + 1900 - shift / kSecondsPer400Years * 400;
  out->month = parts.tm_mon + 1;
  out->day = parts.tm_mday;
  out->hour = parts.tm_hour;
  out->minute = parts.tm_min;
  out->second = parts.tm_sec;
  return true;
}

std::optional<std::string> GetEnvironment(const char* name) {
  // The system's own copy of the variable (msvcrt.dll has no _dupenv_s), as
  // wide text, so that a folder of any name is read whole.
  const std::wstring wideName = Wide(CP_UTF8, name, -1);
  DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  return Narrow(CP_UTF8, value.data(), static_cast<int>(length));
}

std::string ToProgramText(std::string utf8) {
  if (Ascii(utf8.data(), utf8.size()) || GetACP() == CP_UTF8) return utf8;
  const std::wstring wide = Wide(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()));
  return Narrow(CP_ACP, wide.data(), static_cast<int>(wide.size()));
}

void PackedToProgramText(char* texts, size_t size) {
  if (Ascii(texts, size) || GetACP() == CP_UTF8) return;
  for (size_t at = 0; at < size;) {
    size_t length = 0;
    while (at + length < size && texts[at + length] != '\0') ++length;
    if (!Ascii(texts + at, length)) {
      const std::string converted = ToProgramText(std::string(texts + at, length));
      const size_t kept = converted.size() < length ? converted.size() : length;
      std::memcpy(texts + at, converted.data(), kept);
      std::memset(texts + at + kept, 0, length - kept);
    }
    at += length + 1;
  }
}

std::string FromProgramText(const char* text) {
  const size_t length = std::strlen(text);
  if (Ascii(text, length) || GetACP() == CP_UTF8) return text;
  const std::wstring wide = Wide(CP_ACP, text, static_cast<int>(length));
  return Narrow(CP_UTF8, wide.data(), static_cast<int>(wide.size()));
}

std::filesystem::path PathOf(const std::string& utf8) {
  // A narrow text would be read in another encoding than the one the
  // library writes names back in; UTF-8 is read as such only as char8_t.
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

namespace {

HANDLE Native(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

void CloseNative(intptr_t* handle) {
  if (*handle != -1) CloseHandle(Native(*handle));
  *handle = -1;
}

int64_t Ticks(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                              time.dwLowDateTime);
}

// The listing and a look by name give size and times but not the file's
// number, so stamps hold only what every way of asking gives.
Stamp StampOf(DWORD sizeHigh, DWORD sizeLow, const FILETIME& written, const FILETIME& created) {
  Stamp stamp;
  stamp.size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
  stamp.modified = Ticks(written);
  stamp.changed = Ticks(created);
  return stamp;
}

Opened FromError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                 error == ERROR_INVALID_NAME || error == ERROR_DIRECTORY ||
                 error == ERROR_CANT_ACCESS_FILE || error == ERROR_CANT_RESOLVE_FILENAME
             ? Opened::kNotThere
             : Opened::kDenied;
}

constexpr DWORD kLinkOrFolder = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;

// Opens `path` as a folder. Below the data directory a reparse point (a link
// or junction) is opened as itself and refused; the folder may not be renamed
// or removed while it is held, so a path through held folders stays theirs.
Opened OpenFolderAt(const std::filesystem::path& path, bool followLink, intptr_t* handle) {
  const HANDLE opened = CreateFileW(
      path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (opened == INVALID_HANDLE_VALUE) return FromError(GetLastError());
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(opened, &info) ||
      (info.dwFileAttributes & kLinkOrFolder) != FILE_ATTRIBUTE_DIRECTORY) {
    CloseHandle(opened);
    return Opened::kNotThere;
  }
  *handle = reinterpret_cast<intptr_t>(opened);
  return Opened::kYes;
}

bool AttributesAt(const std::filesystem::path& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, data) != 0;
}

}  // namespace

bool StampAt(const std::filesystem::path& path, bool followLink, Stamp* stamp) {
  if (followLink) {
    const HANDLE opened = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(opened, &info) != 0;
    CloseHandle(opened);
    if (!ok) return false;
    *stamp =
        StampOf(info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime, info.ftCreationTime);
    stamp->identity = info.dwFileAttributes;
    return true;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!AttributesAt(path, &data)) return false;
  *stamp =
      StampOf(data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime, data.ftCreationTime);
  stamp->identity = data.dwFileAttributes;  // a link or file put in a folder's place differs
  return true;
}

int64_t StampClock() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

// FAT keeps times to 2 seconds; NTFS writes a folder's time lazily too.
int64_t StampSettleTime() { return 2 * 10000000; }

File::~File() { CloseNative(&handle_); }
File::File(File&& other) noexcept : handle_(other.handle_), opened_(other.opened_) {
  other.handle_ = -1;
}
File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    CloseNative(&handle_);
    handle_ = other.handle_;
    opened_ = other.opened_;
    other.handle_ = -1;
  }
  return *this;
}

bool File::IsOpen() const { return handle_ != -1; }

bool File::GetStamp(Stamp* stamp) const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(Native(handle_), &info)) return false;
  *stamp =
      StampOf(info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime, info.ftCreationTime);
  return true;
}

bool File::Read(char* into, size_t size, size_t* got) {
  const DWORD want = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  DWORD count = 0;
  if (!ReadFile(Native(handle_), into, want, &count, nullptr)) return false;
  *got = count;
  return true;
}

bool File::Rewind() {
  LARGE_INTEGER start{};
  return SetFilePointerEx(Native(handle_), start, nullptr, FILE_BEGIN) != 0;
}

Folder::~Folder() { CloseNative(&handle_); }
Folder::Folder(Folder&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}
Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    CloseNative(&handle_);
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = -1;
  }
  return *this;
}

Opened Folder::OpenRoot(const std::filesystem::path& path, Folder* out) {
  intptr_t handle = -1;
  const Opened opened = OpenFolderAt(path, true, &handle);
  if (opened != Opened::kYes) return opened;
  *out = Folder();
  out->handle_ = handle;
  out->path_ = path;
  return Opened::kYes;
}

bool Folder::IsOpen() const { return handle_ != -1; }

// The folder was opened with the right to list it.
bool Folder::CanList() const { return handle_ != -1; }

Kind Folder::KindOf(const std::string& name) const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!AttributesAt(path_ / PathOf(name), &data)) return Kind::kNone;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::kOther;
  return data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? Kind::kFolder : Kind::kFile;
}

Opened Folder::OpenFolder(const std::string& name, bool /*toList*/, Folder* out) const {
  intptr_t handle = -1;
  const Opened opened = OpenFolderAt(path_ / PathOf(name), false, &handle);
  if (opened != Opened::kYes) return opened;
  *out = Folder();
  out->handle_ = handle;
  out->path_ = path_ / PathOf(name);
  return Opened::kYes;
}

Opened Folder::OpenFile(const std::string& name, File* out) const {
  // A reparse point is opened as itself and refused; a device (a reserved
  // name such as CON.db) is refused before anything is read from it.
  const HANDLE opened =
      CreateFileW((path_ / PathOf(name)).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return FromError(GetLastError());
  File file;
  file.handle_ = reinterpret_cast<intptr_t>(opened);
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(opened) != FILE_TYPE_DISK || !GetFileInformationByHandle(opened, &info) ||
      (info.dwFileAttributes & kLinkOrFolder) != 0) {
    return Opened::kNotThere;
  }
  file.opened_ =
      StampOf(info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime, info.ftCreationTime);
  *out = std::move(file);
  return Opened::kYes;
}

Opened Folder::OpenFolderOrFile(const std::string& name, Folder* folder, File* file) const {
  // Asked first, as the two are opened with different rights and sharing; a
  // change in between is caught by the checks of the open itself.
  switch (KindOf(name)) {
    case Kind::kFolder:
      return OpenFolder(name, true, folder);
    case Kind::kFile:
      return OpenFile(name, file);
    default:
      return Opened::kNotThere;
  }
}

bool Folder::FileStampOf(const std::string& name, Stamp* stamp) const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!AttributesAt(path_ / PathOf(name), &data) || (data.dwFileAttributes & kLinkOrFolder) != 0) {
    return false;
  }
  *stamp =
      StampOf(data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime, data.ftCreationTime);
  return true;
}

bool Folder::List(std::vector<Listed>* out) const {
  out->clear();
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileExW((path_ / L"*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    const std::wstring_view name(found.cFileName);
    if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      continue;
    }
    out->push_back({Narrow(CP_UTF8, name.data(), static_cast<int>(name.size())),
                    (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

char PathSeparator() { return '\\'; }
bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace standin::platform

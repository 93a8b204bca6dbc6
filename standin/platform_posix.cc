// POSIX implementation of the stand-in's operating-system services.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform.h"

namespace standin::platform {

void ReloadTimeZone() { tzset(); }

bool ToLocal(int64_t utcSeconds, LocalParts* out) {
  const time_t value = static_cast<time_t>(utcSeconds);
  struct tm parts {};
  if (localtime_r(&value, &parts) == nullptr) return false;
  out->year = static_cast<int64_t>(parts.tm_year) + 1900;
  out->month = parts.tm_mon + 1;
  out->day = parts.tm_mday;
  out->hour = parts.tm_hour;
  out->minute = parts.tm_min;
  out->second = parts.tm_sec;
  return true;
}

std::optional<std::string> GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

namespace {

constexpr int64_t kNanoseconds = 1000000000;

Stamp StampOf(const struct stat& status) {
  Stamp stamp;
  stamp.device = static_cast<uint64_t>(status.st_dev);
  stamp.identity = static_cast<uint64_t>(status.st_ino);
  stamp.size = static_cast<uint64_t>(status.st_size);
  stamp.modified =
      static_cast<int64_t>(status.st_mtim.tv_sec) * kNanoseconds + status.st_mtim.tv_nsec;
  stamp.changed =
      static_cast<int64_t>(status.st_ctim.tv_sec) * kNanoseconds + status.st_ctim.tv_nsec;
  return stamp;
}

Kind KindOfMode(mode_t mode) {
  return S_ISDIR(mode) ? Kind::kFolder : S_ISREG(mode) ? Kind::kFile : Kind::kOther;
}

Opened FromError(int error) {
  return error == EACCES || error == EPERM || error == EMFILE || error == ENFILE || error == EIO
             ? Opened::kDenied
             : Opened::kNotThere;
}

// Folders on the way are opened only to look up names in them.
#ifdef O_PATH
constexpr int kLookupOnly = O_PATH;
#else
constexpr int kLookupOnly = O_RDONLY;
#endif

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

void CloseHandle(intptr_t* handle) {
  if (*handle >= 0) close(Descriptor(*handle));
  *handle = -1;
}

}  // namespace

bool StampAt(const std::filesystem::path& path, bool followLink, Stamp* stamp) {
  struct stat status {};
  if ((followLink ? stat(path.c_str(), &status) : lstat(path.c_str(), &status)) != 0) return false;
  *stamp = StampOf(status);
  return true;
}

int64_t StampClock() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * kNanoseconds + now.tv_nsec;
}

// File systems keep times to a second or two at worst (FAT), most to the
// kernel's clock tick.
int64_t StampSettleTime() { return 2 * kNanoseconds; }

File::~File() { CloseHandle(&handle_); }
File::File(File&& other) noexcept : handle_(other.handle_), opened_(other.opened_) {
  other.handle_ = -1;
}
File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    CloseHandle(&handle_);
    handle_ = other.handle_;
    opened_ = other.opened_;
    other.handle_ = -1;
  }
  return *this;
}

bool File::IsOpen() const { return handle_ >= 0; }

bool File::GetStamp(Stamp* stamp) const {
  struct stat status {};
  if (fstat(Descriptor(handle_), &status) != 0) return false;
  *stamp = StampOf(status);
  return true;
}

bool File::Read(char* into, size_t size, size_t* got) {
  for (;;) {
    const ssize_t count = read(Descriptor(handle_), into, size);
    if (count >= 0) {
      *got = static_cast<size_t>(count);
      return true;
    }
    if (errno != EINTR) return false;
  }
}

bool File::Rewind() { return lseek(Descriptor(handle_), 0, SEEK_SET) == 0; }

Folder::~Folder() { CloseHandle(&handle_); }
Folder::Folder(Folder&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}
Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    CloseHandle(&handle_);
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = -1;
  }
  return *this;
}

Opened Folder::OpenRoot(const std::filesystem::path& path, Folder* out) {
  const int descriptor = open(path.c_str(), kLookupOnly | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return FromError(errno);
  *out = Folder();
  out->handle_ = descriptor;
  out->path_ = path;
  return Opened::kYes;
}

bool Folder::IsOpen() const { return handle_ >= 0; }

bool Folder::CanList() const {
  const int descriptor = openat(Descriptor(handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  close(descriptor);
  return true;
}

Kind Folder::KindOf(const std::string& name) const {
  struct stat status {};
  if (fstatat(Descriptor(handle_), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return Kind::kNone;
  }
  return KindOfMode(status.st_mode);
}

Opened Folder::OpenFolder(const std::string& name, bool toList, Folder* out) const {
  const int flags = (toList ? O_RDONLY : kLookupOnly) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  const int descriptor = openat(Descriptor(handle_), name.c_str(), flags);
  if (descriptor < 0) return FromError(errno);
  *out = Folder();
  out->handle_ = descriptor;
  out->path_ = path_ / name;
  return Opened::kYes;
}

Opened Folder::OpenFile(const std::string& name, File* out) const {
  Folder folder;
  const Opened opened = OpenFolderOrFile(name, &folder, out);
  return folder.IsOpen() ? Opened::kNotThere : opened;
}

Opened Folder::OpenFolderOrFile(const std::string& name, Folder* folder, File* file) const {
  // Without waiting: a FIFO or device put in a file's place must not hold the
  // open up, and what was opened is checked before a byte is read. Reads of
  // a regular file never wait, so the flag may stay.
  const int descriptor = openat(Descriptor(handle_), name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return FromError(errno);
  struct stat status {};
  if (fstat(descriptor, &status) != 0) {
    close(descriptor);
    return Opened::kDenied;
  }
  if (S_ISDIR(status.st_mode)) {
    *folder = Folder();
    folder->handle_ = descriptor;
    folder->path_ = path_ / name;
  } else if (S_ISREG(status.st_mode)) {
    *file = File();
    file->handle_ = descriptor;
    file->opened_ = StampOf(status);
  } else {
    close(descriptor);
    return Opened::kNotThere;
  }
  return Opened::kYes;
}

bool Folder::FileStampOf(const std::string& name, Stamp* stamp) const {
  struct stat status {};
  if (fstatat(Descriptor(handle_), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(status.st_mode)) {
    return false;
  }
  *stamp = StampOf(status);
  return true;
}

bool Folder::List(std::vector<Listed>* out) const {
  out->clear();
  const int descriptor = openat(Descriptor(handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  DIR* folder = fdopendir(descriptor);
  if (folder == nullptr) {
    close(descriptor);
    return false;
  }
  // The listing says what each entry is on most file systems; where it does
  // not, the entry itself is asked, without following a link. A folder that
  // stops being readable midway gives what was listed.
  for (;;) {
    const struct dirent* entry = readdir(folder);
    if (entry == nullptr) break;
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    Kind kind = entry->d_type == DT_DIR   ? Kind::kFolder
                : entry->d_type == DT_REG ? Kind::kFile
                                          : Kind::kOther;
    if (entry->d_type == DT_UNKNOWN) kind = KindOf(std::string(name));
    if (kind == Kind::kFolder || kind == Kind::kFile) {
      out->push_back({std::string(name), kind == Kind::kFolder});
    }
  }
  closedir(folder);
  return true;
}

std::string ToProgramText(std::string utf8) { return utf8; }
void PackedToProgramText(char* /*texts*/, size_t /*size*/) {}
std::string FromProgramText(const char* text) { return text; }
std::filesystem::path PathOf(const std::string& utf8) { return utf8; }

char PathSeparator() { return '/'; }
bool IsPathSeparator(char c) { return c == '/'; }

}  // namespace standin::platform

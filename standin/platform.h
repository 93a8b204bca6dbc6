// The few operating-system services the stand-in needs, one file per platform behind them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace standin::platform {

// A broken-down local date-time; `year` is the full year.
struct LocalParts {
  int64_t year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Re-reads the time-zone setting (TZ) so later conversions follow it.
void ReloadTimeZone();

// Local date-time of `utcSeconds`; false when the system cannot convert it.
bool ToLocal(int64_t utcSeconds, LocalParts* out);

// The value of an environment variable, or nothing when it is unset.
std::optional<std::string> GetEnvironment(const char* name);

// What the system says of a file or folder, enough to tell that it changed:
// a file written, or a folder whose names changed, gets another stamp. Times
// are in the system's own unit.
struct Stamp {
  uint64_t device = 0;
  uint64_t identity = 0;  // the file's number on its device
  uint64_t size = 0;
  int64_t modified = 0;
  int64_t changed = 0;  // when the file's status last changed (created, on Windows)
  bool operator==(const Stamp&) const = default;
};

// The stamp of what `path` names, with one request to the system; a link
// there is taken as it is unless `followLink`. False when it cannot be asked.
bool StampAt(const std::filesystem::path& path, bool followLink, Stamp* stamp);
// The current time in the unit of stamps' times.
int64_t StampClock();
// How much older than StampClock() a stamp's times must be before a later
// look that finds the same stamp may be trusted: a change within the file
// system's clock step of the one before can leave the times as they were.
int64_t StampSettleTime();

enum class Kind : uint8_t { kNone, kFolder, kFile, kOther };  // kFile: a regular file
enum class Opened : uint8_t {
  kYes,
  kNotThere,  // missing, or a link, FIFO, device or anything else but what was asked for
  kDenied,    // there, but it cannot be opened
};

// A regular file open for reading: read through the very descriptor that was
// checked, so that nothing put in its place later is read instead.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const;
  // The stamp the file had when it was opened, and the one it has now.
  const Stamp& OpenedStamp() const { return opened_; }
  bool GetStamp(Stamp* stamp) const;
  // Up to `size` bytes into `into`; `got` is 0 at the end. False on a failure.
  bool Read(char* into, size_t size, size_t* got);
  bool Rewind();

 private:
  friend class Folder;
  intptr_t handle_ = -1;
  Stamp opened_;
};

// A folder opened part by part from a data directory, never through a link
// below it, to list and to open what lies in it.
class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // The folder at `path`, which may itself be reached through a link.
  static Opened OpenRoot(const std::filesystem::path& path, Folder* out);

  bool IsOpen() const;
  // Whether it may be listed.
  bool CanList() const;

  // What `name` in this folder is; a link counts as kOther.
  Kind KindOf(const std::string& name) const;
  // The sub-folder `name`, if it is one and no link; `toList` also asks for
  // the right to list it.
  Opened OpenFolder(const std::string& name, bool toList, Folder* out) const;
  // The regular file `name`, if it is one and no link; never waits, whatever
  // is there.
  Opened OpenFile(const std::string& name, File* out) const;
  // The folder `name` to list, or the regular file `name` to read, whichever
  // it is, as OpenFolder and OpenFile open them; kNotThere for anything else.
  Opened OpenFolderOrFile(const std::string& name, Folder* folder, File* file) const;
  // The stamp of the regular file `name`; false when it is none.
  bool FileStampOf(const std::string& name, Stamp* stamp) const;

  struct Listed {
    std::string name;
    bool isFolder = false;  // else a regular file
  };
  // The folders and regular files in it; links and everything else are left
  // out. False when it cannot be listed.
  bool List(std::vector<Listed>* out) const;

 private:
  intptr_t handle_ = -1;
  std::filesystem::path path_;
};

// Text between the stand-in and the program. The program takes the runtime's
// text to be single bytes in the system's code page, while the stand-in's
// own texts (its files, the file system's names) are UTF-8. On Windows each
// text is converted once, where it leaves or enters the stand-in, and a
// character the code page lacks becomes '?'; on POSIX the bytes stay as
// they are.
std::string ToProgramText(std::string utf8);
// The same in place for `size` bytes of zero-terminated texts packed one
// after another: each keeps its place (a converted text is never longer),
// and the room it no longer needs is zeroed.
void PackedToProgramText(char* texts, size_t size);
// A text that the program hands in (a path), as UTF-8.
std::string FromProgramText(const char* text);
// The file-system path that a UTF-8 text names.
std::filesystem::path PathOf(const std::string& utf8);

// The separator that `$Path` texts use, and whether `c` separates path parts.
char PathSeparator();
bool IsPathSeparator(char c);

}  // namespace standin::platform

// Reading a database file: its title, whether it records activity, and its activity log.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "log_recording.h"
#include "platform.h"
#include "runtime/notes_runtime.h"

namespace standin {

// The most entries one activity log hands out (its count is 16 bits).
constexpr size_t kMaxEntries = 65535;

// Zero bytes that follow a file's text in memory, so that a reader may load
// a few bytes ahead of where it stands without ever leaving the buffer.
constexpr size_t kReadPadding = 64;

// One kept entry: an ActivityEntry whose name's place is wide enough for any
// log; the entries block narrows it, or refuses a log that 32 bits cannot span.
struct KeptRecord {
  TimeDate time;
  uint16_t reads;
  uint16_t writes;
  uint64_t nameOffset;  // from names[0]

  bool operator==(const KeptRecord& other) const {
    return time.innards[0] == other.time.innards[0] && time.innards[1] == other.time.innards[1] &&
           reads == other.reads && writes == other.writes && nameOffset == other.nameOffset;
  }
};

// The kept entries in the shape of the block DbGetUserActivity hands out:
// the records, and the user names each with its terminator.
struct KeptLog {
  std::vector<KeptRecord> records;  // oldest first
  std::string names;
};

// The size of the entries block of `kept`, and the block itself, made into
// `block` (false when memory runs out).
size_t EntriesBlockSize(const KeptLog& kept);
bool FillEntriesBlock(const KeptLog& kept, std::vector<uint8_t>* block);

struct DatabaseContent {
  std::string title;
  bool recordActivity = true;
  KeptLog entries;            // kFull only: the newest kMaxEntries, oldest first
  ActivitySummary summary{};  // kFull only: over every entry of the file
  std::string entryError;     // kFull and kRecord: the first bad entry; empty when none
  // kRecord only: every entry of the log, for a LogBuilder later; null when
  // the recordings' budget had no room for it.
  std::unique_ptr<LogRecording> recording;
};

enum class LoadMode {
  kTitle,   // check the file's shape and take its title; keep no entries
  kFull,    // also keep the entries and sum up the log as of `now`
  kRecord,  // check and take the title as kTitle, and record the log for a later kFull
};

// Bytes of a file held at a time while the fast reader reads it.
constexpr size_t kReadWindow = size_t{1} << 20;

// A problem that stops a file from opening, before it is made a status: the
// family of its code and its text; the status is made where the program
// asked, with the name it knows the database by.
struct ReadProblem {
  uint16_t family = 0;
  std::string text;
};
ReadProblem CannotRead(const std::string& name);
// Memory ran short: a problem with no text, which ProblemStatus words (there
// may be no room for a text where it arose).
ReadProblem MemoryShortRead() noexcept;
// The status of `problem`, met reading the database `name`. Never throws.
Status ProblemStatus(const ReadProblem& problem, const std::string& name) noexcept;

// As LoadDatabaseFile below: false, with `problem` set, where that gives a
// failure. Throws nothing: memory that runs short is a problem of its own.
bool ReadDatabaseFile(platform::File* file, const std::string& name, LoadMode mode, int64_t now,
                      DatabaseContent* out, ReadProblem* problem, size_t window = kReadWindow);

// Reads the database file open as `file` from its start; `name` is how
// failure texts call it. Returns 0, or a status whose text names the file and
// the problem. The file is read `window` bytes at a time, by the fast reader
// and, when it declines, again from the start by the exact reader.
Status LoadDatabaseFile(platform::File* file, const std::string& name, LoadMode mode, int64_t now,
                        DatabaseContent* out, size_t window = kReadWindow);
// The same for the regular file at `physical`, opened without following a link.
Status LoadDatabaseFile(const std::filesystem::path& physical, const std::string& name,
                        LoadMode mode, int64_t now, DatabaseContent* out,
                        size_t window = kReadWindow);

// The same for a file's bytes already in memory: `size` bytes followed by
// kReadPadding zero bytes. The fast reader takes what it can read exactly;
// anything else goes to the exact reader, whose result and text then stand.
Status LoadDatabaseBytes(const char* bytes, size_t size, const std::string& name, LoadMode mode,
                         int64_t now, DatabaseContent* out);

// The exact reader alone, for the checks that compare the two readers.
Status LoadDatabaseBytesExactly(const char* bytes, size_t size, const std::string& name,
                                LoadMode mode, int64_t now, DatabaseContent* out);

}  // namespace standin

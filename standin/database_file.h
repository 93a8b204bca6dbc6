// Reading a database file: its title, whether it records activity, and its activity log.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/notes_runtime.h"

namespace standin {

// The most entries one activity log hands out (its count is 16 bits).
constexpr size_t kMaxEntries = 65535;

// Zero bytes that follow a file's text in memory, so that a reader may load
// a few bytes ahead of where it stands without ever leaving the buffer.
constexpr size_t kReadPadding = 64;

// The kept entries in the shape of the block DbGetUserActivity hands out:
// the records, and the user names each with its terminator.
struct KeptLog {
  std::vector<ActivityEntry> records;  // oldest first; nameOffset counts from names[0]
  std::string names;
};

struct DatabaseContent {
  std::string title;
  bool recordActivity = true;
  KeptLog entries;            // kFull only: the newest kMaxEntries, oldest first
  ActivitySummary summary{};  // kFull only: over every entry of the file
  std::string entryError;     // kFull only: the first bad entry; empty when none
};

enum class LoadMode {
  kTitle,  // check the file's shape and take its title; keep no entries
  kFull,   // also keep the entries and sum up the log as of `now`
};

// Bytes of a file held at a time while the fast reader reads it.
constexpr size_t kReadWindow = size_t{1} << 20;

// Reads the database file at `physical`; `name` is how failure texts call it.
// Returns 0, or a status whose text names the file and the problem. The file
// is read `window` bytes at a time; a file the fast reader declines is read
// whole for the exact reader.
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

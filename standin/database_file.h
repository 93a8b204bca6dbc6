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

struct LogEntry {
  TimeDate time;  // invalid when the entry's time is missing or bad
  uint16_t reads = 0;
  uint16_t writes = 0;
  std::string user;
};

struct DatabaseContent {
  std::string title;
  bool recordActivity = true;
  std::vector<LogEntry> entries;  // the newest kMaxEntries, oldest first
  ActivitySummary summary{};      // over every entry of the file
  std::string entryError;         // the first bad entry; empty when none
};

enum class LoadMode {
  kTitle,  // check the file's shape and take its title; keep no entries
  kFull,   // also keep the entries and sum up the log as of `now`
};

// Reads the database file at `physical`; `name` is how failure texts call it.
// Returns 0, or a status whose text names the file and the problem.
Status LoadDatabaseFile(const std::filesystem::path& physical, const std::string& name,
                        LoadMode mode, int64_t now, DatabaseContent* out);

}  // namespace standin

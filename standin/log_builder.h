// Collects an activity log as a reader walks it: sums up the summary over every entry and
// keeps the newest kMaxEntries in the shape of the block that DbGetUserActivity hands out.
#pragma once

#include <cstdint>
#include <string_view>

#include "database_file.h"

namespace standin {

// Empty kept entries with the room of a log given back before, and the giving
// back: the program closes each database before it opens the next, and fresh
// pages for every log cost more than filling them.
KeptLog SpareLog();
void RecycleLog(KeptLog log);

class LogBuilder {
 public:
  // Fills out->entries and out->summary; `now` bounds the last-N-days counters.
  LogBuilder(int64_t now, DatabaseContent* out);

  // One entry, in file order; `seconds` counts only when `timeValid`. The
  // user name holds no terminator (the program reads a name up to its first).
  // When out->recording is set, the entry goes there and nothing is kept.
  void Add(bool timeValid, int64_t seconds, uint16_t reads, uint16_t writes, std::string_view user);

  // Puts the kept entries in file order and closes the summary period.
  void Finish();

 private:
  // Drops the names of entries that the ring has overwritten.
  void Compact(size_t oldest);

  int64_t now_;
  DatabaseContent* out_;
  size_t added_ = 0;      // entries of the file so far
  size_t liveNames_ = 0;  // bytes of names the kept records still use
  bool anyValid_ = false;
  int64_t earliest_ = 0;
};

}  // namespace standin

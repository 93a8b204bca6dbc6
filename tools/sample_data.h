// Writes a data directory of sample databases for the stand-in runtime.
#pragma once

#include <cstdint>
#include <string>

namespace sampledata {

struct Options {
  std::string outDir;
  int databases = 20;
  int maxEntries = 500;  // per database, at most 65,535
  bool fixedEntries = false;
  int folders = 3;
  uint64_t seed = 1;
  int64_t now = 0;  // UTC seconds the entries lead up to
  bool broken = false;
};

struct Totals {
  int databases = 0;
  uint64_t entries = 0;
};

// Writes the data directory; false with `error` set when a file cannot be written.
bool WriteSampleData(const Options& options, Totals* totals, std::string* error);

// Parses "YYYY-MM-DD HH:MM:SS" (UTC) into seconds since 1970; false when malformed.
bool ParseDateTime(const std::string& text, int64_t* seconds);

}  // namespace sampledata

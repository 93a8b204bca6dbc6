// Sample data for the stand-in's benchmarks: generated once under one folder
// and kept, so that a later run measures the reading alone (set
// USETRAIL_BENCH_DATA to choose the folder).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sample_data.h"

namespace benchdata {

// The generator's clock for every set: 2026-12-07 12:00:00 UTC.
constexpr int64_t kNow = 1796644800;

inline std::filesystem::path DataRoot() {
  const char* chosen = std::getenv("USETRAIL_BENCH_DATA");
  return chosen != nullptr ? std::filesystem::path(chosen)
                           : std::filesystem::temp_directory_path() / "usetrail-standin-bench";
}

// The folder `name` under the root, holding `databases` generated databases
// spread over `folders` subfolders; written unless a complete set is there.
inline std::filesystem::path Prepare(const std::string& name, int databases, int entries,
                                     bool fixedEntries, int folders) {
  const std::filesystem::path dir = DataRoot() / name;
  if (std::filesystem::exists(dir / ".complete")) return dir;
  std::filesystem::remove_all(dir);
  sampledata::Options options;
  options.outDir = dir.string();
  options.databases = databases;
  options.maxEntries = entries;
  options.fixedEntries = fixedEntries;
  options.folders = folders;
  options.seed = 42;
  options.now = kNow;
  sampledata::Totals totals;
  std::string error;
  if (!sampledata::WriteSampleData(options, &totals, &error)) {
    std::fprintf(stderr, "cannot write bench data: %s\n", error.c_str());
    std::exit(1);
  }
  std::ofstream(dir / ".complete") << "done\n";
  return dir;
}

}  // namespace benchdata

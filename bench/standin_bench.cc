// Benchmarks of the stand-in runtime: directory searches over 10,000 databases, the
// activity log of a 65,535-entry database with the process's peak memory, and the
// date-time conversions the report makes for every entry.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_data.h"
#include "runtime/notes_runtime.h"

namespace fs = std::filesystem;

namespace {

// Every set but a single database is spread over 8 folders.
fs::path Prepare(const std::string& name, int databases, int entries, bool fixedEntries) {
  return benchdata::Prepare(name, databases, entries, fixedEntries, databases > 1 ? 8 : 0);
}

void Start(const fs::path& data) {
  RuntimeTerm();
  setenv("USETRAIL_DATA", data.c_str(), 1);
  setenv("USETRAIL_NOW", "2026-12-07 12:00:00", 1);
  if (RuntimeInit(0, nullptr) != 0) std::exit(1);
}

Status CountEntry(void* context, const MatchRecord*, const void*) {
  ++*static_cast<int64_t*>(context);
  return 0;
}

int64_t SearchOnce() {
  char path[256];
  DbHandle handle = 0;
  int64_t entries = 0;
  if (BuildNetPath(nullptr, "", "", path) != 0 || DbOpen(path, &handle) != 0) return -1;
  DbSearch(handle, 0, nullptr, kSearchFlagsSummary, kClassMaskDatabases, nullptr, CountEntry,
           &entries, nullptr);
  DbClose(handle);
  return entries;
}

void ReportPeakMemory(benchmark::State& state) {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The first search of a process: every title is read from its file.
void BM_SearchFirstTime(benchmark::State& state) {
  const fs::path data = Prepare("many", 10000, 20, false);
  int64_t entries = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Start(data);  // a fresh runtime has an empty title cache
    state.ResumeTiming();
    entries = SearchOnce();
  }
  state.counters["entries"] = static_cast<double>(entries);
  ReportPeakMemory(state);
}
BENCHMARK(BM_SearchFirstTime)->Unit(benchmark::kMillisecond)->Iterations(3);

// Ten searches in a row, as ten batches of the program's scan would run them.
void BM_SearchTenTimes(benchmark::State& state) {
  Start(Prepare("many", 10000, 20, false));
  SearchOnce();  // fill the title cache
  int64_t entries = 0;
  for (auto _ : state) {
    for (int i = 0; i < 10; ++i) entries = SearchOnce();
  }
  state.counters["entries"] = static_cast<double>(entries);
  ReportPeakMemory(state);
}
BENCHMARK(BM_SearchTenTimes)->Unit(benchmark::kMillisecond);

// Open, read the whole log, walk every entry, free, close.
void BM_UserActivity65535(benchmark::State& state) {
  // The first database of the two is the one without a log.
  const fs::path data = Prepare("big", 2, 65535, true);
  Start(data);
  std::string name;
  for (const auto& entry : fs::recursive_directory_iterator(data)) {
    if (entry.path().extension() == ".db" && entry.path().filename() != "archive_nolog.db") {
      name = fs::relative(entry.path(), data).string();
    }
  }
  uint16_t count = 0;
  for (auto _ : state) {
    DbHandle handle = 0;
    if (DbOpen(name.c_str(), &handle) != 0) {
      state.SkipWithError("cannot open the database");
      break;
    }
    ActivitySummary summary;
    MemHandle block = 0;
    if (DbGetUserActivity(handle, 0, &summary, &block, &count) != 0) {
      state.SkipWithError("cannot read the log");
      break;
    }
    if (block == 0) {  // an empty log: no block
      DbClose(handle);
      continue;
    }
    const auto* entries = static_cast<const ActivityEntry*>(MemLock(block));
    uint64_t reads = 0;
    for (uint16_t i = 0; i < count; ++i) reads += entries[i].reads;
    benchmark::DoNotOptimize(reads);
    MemUnlock(block);
    MemFree(block);
    DbClose(handle);
  }
  state.counters["entries"] = count;
  ReportPeakMemory(state);
}
BENCHMARK(BM_UserActivity65535)->Unit(benchmark::kMillisecond);

// A log's times as the report converts them: 65,535 entries some 80 seconds apart
// (two months), in a zone with daylight saving, each to text; with a date window set,
// to its date and day number as well.
void ConvertTimes(benchmark::State& state, bool window) {
  RuntimeTerm();
  setenv("USETRAIL_DATA", fs::temp_directory_path().c_str(), 1);
  setenv("USETRAIL_NOW", "2026-12-07 12:00:00", 1);
  setenv("TZ", "Europe/Berlin", 1);
  if (RuntimeInit(0, nullptr) != 0) std::exit(1);
  std::vector<TimeDate> times(65535);
  TimeNow(&times[0]);
  for (size_t i = 1; i < times.size(); ++i) {
    times[i] = times[i - 1];
    TimeAdjust(&times[i], 0, 80, 0, 0, 0, 0);
  }
  for (auto _ : state) {
    int64_t sum = 0;
    for (const TimeDate& time : times) {
      char text[kMaxTimeText];
      uint16_t length = 0;
      TimeToText(nullptr, nullptr, &time, text, kMaxTimeText, &length);
      sum += text[18];
      if (window) {
        TimeDate date;
        TimeDateOnly(&time, 0, &date);
        sum += TimeDayNumber(&date);
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * times.size()));
  setenv("TZ", "UTC", 1);
}
void BM_TimeToText65535(benchmark::State& state) { ConvertTimes(state, false); }
BENCHMARK(BM_TimeToText65535)->Unit(benchmark::kMillisecond);
void BM_TimeToTextAndDay65535(benchmark::State& state) { ConvertTimes(state, true); }
BENCHMARK(BM_TimeToTextAndDay65535)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

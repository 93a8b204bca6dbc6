// Cost of the directory scan over 100,000 entries against the fake runtime,
// whole and per callback, beside the fake's own cost for the same searches.
#include <benchmark/benchmark.h>

#include <climits>
#include <string>
#include <vector>

#include "fake_runtime.h"
#include "scan/database_scan.h"
#include "scan/handed_out_paths.h"

namespace {

constexpr int kEntries = 100000;
constexpr int kBatches = (kEntries + kDatabaseCacheSize - 1) / kDatabaseCacheSize;  // 98

// Summary bytes are built once here, so that the searches need not build
// them per entry.
fake::DirectoryEntry Prebuilt(int i) {
  fake::DirectoryEntry e =
      fake::DbEntry("mail/user" + std::to_string(i) + ".db", "Mail of user " + std::to_string(i));
  e.raw = fake::SummaryBytes(e, fake::Fake().summaryHeaderSize);
  e.items.clear();
  return e;
}

// In place (1), the fake hands the prebuilt bytes over without copying, so
// that the time is mostly the program's; copying (0) is the fake's default.
void FreshDirectory(const benchmark::State& state) {
  fake::Reset();
  fake::Fake().searchInPlace = state.range(0) != 0;
  std::vector<fake::DirectoryEntry>& dir = fake::Fake().directories[""];
  dir.reserve(kEntries);
  for (int i = 0; i < kEntries; ++i) dir.push_back(Prebuilt(i));
}

// Every database of the directory handed out with its title, as the main
// routine asks for them: 98 full searches, 9.8 million callbacks.
void BM_WholeScan(benchmark::State& state) {
  FreshDirectory(state);
  for (auto _ : state) {
    state.PauseTiming();
    fake::Fake().calls.clear();
    fake::Fake().counts.clear();
    ResetDatabaseScan();
    state.ResumeTiming();
    char path[kTextSize];
    char title[kTextSize];
    Status status = 0;
    int handed = 0;
    while (NextDatabase("", "", path, &status) != 0) {
      CurrentDatabaseTitle(title);
      benchmark::DoNotOptimize(title);
      ++handed;
    }
    if (handed != kEntries || fake::Fake().counts["DbSearch"] != kBatches) {
      state.SkipWithError("scan did not hand out every entry in 98 searches");
      break;
    }
  }
  state.counters["callbacks"] = benchmark::Counter(
      double{kEntries} * kBatches,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  // The memory of the paths handed out, at the end of the scan.
  state.counters["pathBytes"] = static_cast<double>(HandedOutPathsMemory());
}
BENCHMARK(BM_WholeScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same directory, changed once the first database is handed out (its
// first entry deleted): every later batch reads every entry and takes it by
// its path, in as many searches.
void BM_WholeScanChanged(benchmark::State& state) {
  FreshDirectory(state);
  std::vector<fake::DirectoryEntry>& dir = fake::Fake().directories[""];
  const fake::DirectoryEntry first = dir.front();
  for (auto _ : state) {
    state.PauseTiming();
    if (dir.size() != kEntries) dir.insert(dir.begin(), first);
    fake::Fake().calls.clear();
    fake::Fake().counts.clear();
    ResetDatabaseScan();
    state.ResumeTiming();
    char path[kTextSize];
    Status status = 0;
    int handed = 0;
    while (NextDatabase("", "", path, &status) != 0) {
      if (++handed == 1) {
        state.PauseTiming();
        dir.erase(dir.begin());
        state.ResumeTiming();
      }
    }
    if (handed != kEntries || fake::Fake().counts["DbSearch"] != kBatches) {
      state.SkipWithError("scan did not hand out every entry in 98 searches");
      break;
    }
  }
  state.counters["pathBytes"] = static_cast<double>(HandedOutPathsMemory());
}
BENCHMARK(BM_WholeScanChanged)->Arg(1)->Unit(benchmark::kMillisecond);

Status CountOnly(void* context, const MatchRecord*, const void* summary) {
  ++*static_cast<int*>(context);
  benchmark::DoNotOptimize(summary);
  return 0;
}

// The fake's own share of the whole scan: the same 98 searches with a
// callback that only counts.
void BM_FakeSearchesOnly(benchmark::State& state) {
  FreshDirectory(state);
  for (auto _ : state) {
    int seen = 0;
    for (int batch = 0; batch < kBatches; ++batch) {
      char path[kTextSize];
      DbHandle handle = 0;
      BuildNetPath(nullptr, "", "", path);
      DbOpen(path, &handle);
      DbSearch(handle, 0, nullptr, kSearchFlagsSummary, kClassMaskDatabases, nullptr, CountOnly,
               &seen, nullptr);
      DbClose(handle);
    }
    benchmark::DoNotOptimize(seen);
    state.PauseTiming();
    fake::Fake().calls.clear();
    state.ResumeTiming();
  }
  state.counters["callbacks"] = benchmark::Counter(
      double{kEntries} * kBatches,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FakeSearchesOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One callback for an entry that is read and stored (the table is emptied
// whenever it fills). Includes the fake's StoredStructSize bookkeeping.
void BM_CallbackStoresEntry(benchmark::State& state) {
  fake::Reset();
  ResetDatabaseScan();
  const std::vector<uint8_t> summary = Prebuilt(4711).raw;
  MatchRecord match{};
  match.matchFlags = 1;
  for (auto _ : state) {
    DirectoryEntryCallback(const_cast<char*>("server"), &match, summary.data());
    if (gScanState.entryCount == kDatabaseCacheSize) gScanState.entryCount = 0;
  }
}
BENCHMARK(BM_CallbackStoresEntry);

// One callback for an entry an earlier batch took: counted and skipped,
// as are nearly all of the 9.8 million callbacks of the whole scan.
void BM_CallbackSkipsEntry(benchmark::State& state) {
  fake::Reset();
  ResetDatabaseScan();
  gScanState.resumeAfter = INT_MAX;
  const std::vector<uint8_t> summary = Prebuilt(4711).raw;
  MatchRecord match{};
  match.matchFlags = 1;
  for (auto _ : state) {
    DirectoryEntryCallback(const_cast<char*>("server"), &match, summary.data());
    if (gScanState.matchCount == INT_MAX) gScanState.matchCount = 0;
  }
}
BENCHMARK(BM_CallbackSkipsEntry);

// The fake's bookkeeping inside BM_CallbackStoresEntry, to subtract.
void BM_FakeStoredStructSize(benchmark::State& state) {
  fake::Reset();
  for (auto _ : state) benchmark::DoNotOptimize(StoredStructSize(kSummaryHeaderStruct));
}
BENCHMARK(BM_FakeStoredStructSize);

}  // namespace

BENCHMARK_MAIN();

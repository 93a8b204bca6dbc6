// The activity report's cost per log entry, printing a full 65,535-entry log into a file,
// against plain snprintf of the same lines into memory written in one go.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/run_settings.h"
#include "cli/streams.h"
#include "fake_runtime.h"
#include "report/activity_report.h"

namespace {

constexpr char kDb[] = "db/bench.db";
constexpr uint16_t kEntries = 65535;

// Entry i: one access a minute going back from now, a user out of 97.
std::string UserOf(uint32_t i) { return "User " + std::to_string(i % 97) + "/Sales/Acme"; }
TimeDate TimeOf(uint32_t i) {
  const int64_t seconds = fake::SecondsOf(fake::Fake().now) - int64_t{60} * i;
  TimeDate t;
  std::memcpy(&t, &seconds, sizeof t);
  return t;
}

// The runtime's block, made once: the fake then hands out a copy per call.
void ScriptDatabase() {
  fake::Reset();
  ResetRunSettings();
  // The time calls of every entry stay out of the fake's call counts, so that
  // what is timed is the program and a runtime's bare conversion.
  fake::Fake().countTimeCalls = false;
  fake::Database& db = fake::Fake().databases[kDb];
  std::vector<uint8_t>& block = db.rawBlock;
  block.assign(kEntries * sizeof(ActivityEntry), 0);
  for (uint32_t i = 0; i < kEntries; ++i) {
    const std::string user = UserOf(i);
    ActivityEntry e{TimeOf(i), static_cast<uint16_t>(i % 50), static_cast<uint16_t>(i % 7),
                    static_cast<uint32_t>(block.size())};
    std::memcpy(block.data() + i * sizeof e, &e, sizeof e);
    block.insert(block.end(), user.c_str(), user.c_str() + user.size() + 1);
  }
  db.rawCount = kEntries;
}

// Descriptor 2 goes to a scratch file for the run, buffered as the program
// buffers its report when it is not a terminal; both are undone after.
struct Redirect {
  int file = -1;
  int savedErr = -1;
};

Redirect RedirectStderr() {
  char name[] = "/tmp/report_bench_XXXXXX";
  Redirect r;
  r.file = mkstemp(name);
  if (r.file < 0) std::abort();
  unlink(name);
  std::fflush(stderr);
  r.savedErr = dup(2);
  dup2(r.file, 2);
  BufferReportStream();
  return r;
}

void Rewind(const Redirect& r) {
  if (ftruncate(r.file, 0) != 0 || lseek(r.file, 0, SEEK_SET) != 0) std::abort();
}

void Restore(const Redirect& r) {
  std::fflush(stderr);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  dup2(r.savedErr, 2);
  close(r.savedErr);
  close(r.file);
}

// arg 0: separator (tab or comma); arg 1: 1 to keep every entry, 0 for a
// window that keeps none (conversion and date test only).
void BM_ProcessDatabase(benchmark::State& state) {
  ScriptDatabase();
  gRunSettings.separator = static_cast<char>(state.range(0));
  if (state.range(1) == 0) {
    gRunSettings.startDays = 3;
    gRunSettings.endDays = 5;
  }
  const Redirect r = RedirectStderr();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ProcessDatabase("", kDb));
    std::fflush(stderr);
    state.PauseTiming();
    Rewind(r);
    fake::Fake().calls.clear();
    state.ResumeTiming();
  }
  Restore(r);
  const double lines = state.range(1) != 0 ? kEntries : 0;
  state.counters["entries"] = benchmark::Counter(static_cast<double>(kEntries),
                                                 benchmark::Counter::kIsIterationInvariantRate);
  state.counters["lines"] =
      benchmark::Counter(lines, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ProcessDatabase)
    ->Args({'\t', 1})
    ->Args({',', 1})
    ->Args({'\t', 0})
    ->Unit(benchmark::kMillisecond);

// The fake runtime's share: the date-time to text of every entry and, when a
// date window is set (arg 1), the date of the day and its day number. The
// report's own cost is BM_ProcessDatabase less this.
void BM_FakeRuntimePerEntry(benchmark::State& state) {
  ScriptDatabase();
  std::vector<TimeDate> times;
  for (uint32_t i = 0; i < kEntries; ++i) times.push_back(TimeOf(i));
  char text[kMaxTimeText + 1];
  for (auto _ : state) {
    for (const TimeDate& t : times) {
      uint16_t length = 0;
      benchmark::DoNotOptimize(TimeToText(nullptr, nullptr, &t, text, kMaxTimeText, &length));
      if (state.range(0) != 0) {
        TimeDate date;
        TimeDateOnly(&t, 0, &date);
        benchmark::DoNotOptimize(TimeDayNumber(&date));
      }
      benchmark::ClobberMemory();
    }
  }
  state.counters["entries"] = benchmark::Counter(static_cast<double>(kEntries),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FakeRuntimePerEntry)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The floor: the same lines snprintf'd into memory and written in one go.
// arg 0: from ready-made date texts; arg 1: each date converted by the
// runtime first, as the report must, so that both sides pay the runtime.
void BM_SnprintfBaseline(benchmark::State& state) {
  ScriptDatabase();
  const bool convert = state.range(0) != 0;
  std::vector<std::string> readyTimes, users;
  std::vector<TimeDate> times;
  for (uint32_t i = 0; i < kEntries; ++i) {
    readyTimes.push_back(fake::TextOf(TimeOf(i)));
    times.push_back(TimeOf(i));
    users.push_back(UserOf(i));
  }
  std::vector<char> out(kEntries * 128);
  const Redirect r = RedirectStderr();
  char converted[kMaxTimeText + 1];
  for (auto _ : state) {
    std::size_t at = 0;
    for (uint32_t i = 0; i < kEntries; ++i) {
      const char* time = readyTimes[i].c_str();
      if (convert) {
        uint16_t length = 0;
        if (TimeToText(nullptr, nullptr, &times[i], converted, kMaxTimeText, &length) != 0) {
          std::abort();
        }
        converted[length] = '\0';
        time = converted;
      }
      at += static_cast<std::size_t>(std::snprintf(
          out.data() + at, out.size() - at, "%s%c%d%c%d%c%s\n", time, '\t',
          static_cast<int>(i % 50), '\t', static_cast<int>(i % 7), '\t', users[i].c_str()));
    }
    if (write(2, out.data(), at) != static_cast<ssize_t>(at)) std::abort();
    state.PauseTiming();
    Rewind(r);
    fake::Fake().calls.clear();
    state.ResumeTiming();
  }
  Restore(r);
  state.counters["lines"] = benchmark::Counter(static_cast<double>(kEntries),
                                               benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SnprintfBaseline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// The progress line is written to the standard output stream, which reaches
// the initial standard error once the streams are exchanged. It is padded
// to cover what it replaces, and its checks cost one clock reading per
// database.
#include "cli/progress.h"

#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>

#include "cli/run_settings.h"
#include "cli/streams.h"

namespace {

constexpr int64_t kFirstShowMs = 500;
constexpr int64_t kRefreshMs = 250;

int64_t SystemClock() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

ProgressClock readClock = SystemClock;

struct Progress {
  bool enabled = false;
  int64_t startedAt = 0;
  int64_t shownAt = 0;
  bool shown = false;
  int shownLength = 0;  // characters of the line on the screen
  unsigned long searched = 0;
  unsigned long reported = 0;
  unsigned long entries = 0;
};
Progress progress;

unsigned long Add(unsigned long total, uint32_t n) {
  return total > ULONG_MAX - n ? ULONG_MAX : total + n;
}

// The overview and the user table count entries; the others print them.
const char* EntriesWord() {
  const View view = gRunSettings.view;
  return view == View::kOverview || view == View::kUsers ? "counted" : "printed";
}

void Show() {
  char line[160];
  const int length =
      std::snprintf(line, sizeof line, "%lu databases searched, %lu reported, %lu entries %s",
                    progress.searched, progress.reported, progress.entries, EntriesWord());
  if (length < 0) return;
  // Blanks over what is left of a longer line before.
  const int pad = progress.shownLength > length ? progress.shownLength - length : 0;
  std::fprintf(stdout, "\r%s%*s", line, pad, "");
  std::fflush(stdout);
  progress.shown = true;
  progress.shownLength = length;
}

}  // namespace

void StartProgress() {
  progress = Progress{};
  progress.enabled = IsTerminal(stderr) && !IsTerminal(stdout);
  if (progress.enabled) progress.startedAt = readClock();
}

void NoteDatabaseSearched(bool reported) {
  if (!progress.enabled) return;
  progress.searched = Add(progress.searched, 1);
  if (reported) progress.reported = Add(progress.reported, 1);
  const int64_t now = readClock();
  if (now - progress.startedAt < kFirstShowMs) return;
  if (progress.shown && now - progress.shownAt < kRefreshMs) return;
  progress.shownAt = now;
  Show();
}

void NoteEntriesCounted(uint32_t count) {
  if (progress.enabled) progress.entries = Add(progress.entries, count);
}

void EndProgress() {
  if (!progress.shown) return;
  std::fprintf(stdout, "\r%*s\r", progress.shownLength, "");
  std::fflush(stdout);
  progress.shown = false;
  progress.shownLength = 0;
}

void PrintAside(const char* format, ...) {
  EndProgress();
  va_list args;
  va_start(args, format);
  PrintToStream(stdout, format, args);  // a console is shown the runtime's text as it is
  va_end(args);
  // At once: a person at the terminal sees it when it happens.
  std::fflush(stdout);
}

void SetProgressClock(ProgressClock replacement) {
  readClock = replacement != nullptr ? replacement : SystemClock;
}

void ResetProgress() { progress = Progress{}; }

// What the fuzz targets share: failing loudly, quiet standard streams,
// checks on texts, and the plain wildcard rules used as a reference.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/fixed_text.h"
#include "wildcard_reference.h"

namespace fuzz {

// Stops the run with a message on the descriptor the fuzzer reports on, so a
// broken invariant is a crash that libFuzzer records with its input.
[[noreturn]] inline void Violated(const char* what) {
  const char prefix[] = "invariant violated: ";
  (void)!write(2, prefix, sizeof prefix - 1);
  (void)!write(2, what, std::strlen(what));
  (void)!write(2, "\n", 1);
  __builtin_trap();
}

inline void Require(bool condition, const char* what) {
  if (!condition) Violated(what);
}

// Points the stdout and stderr streams at `sink` while alive. Only the stream
// objects are swapped: the descriptors stay, so sanitizer and fuzzer reports
// still reach the terminal.
class StreamSwap {
 public:
  explicit StreamSwap(FILE* sink) : out_(stdout), err_(stderr) {
    stdout = sink;
    stderr = sink;
  }
  ~StreamSwap() {
    stdout = out_;
    stderr = err_;
  }
  StreamSwap(const StreamSwap&) = delete;
  StreamSwap& operator=(const StreamSwap&) = delete;

 private:
  FILE* out_;
  FILE* err_;
};

// One /dev/null stream for the whole process.
inline FILE* NullStream() {
  static FILE* sink = std::fopen("/dev/null", "w");
  return sink;
}

// Whether a fixed text buffer holds its terminator.
inline bool Terminated(const Text& text) {
  return BoundedLength(text.data(), text.size()) < text.size();
}

// A text as a C reader sees it: up to its first NUL.
inline std::string_view CText(std::string_view text) { return text.substr(0, text.find('\0')); }

using wildcard_reference::RecursiveMatch;
using wildcard_reference::TableMatch;

}  // namespace fuzz

// What the fuzz targets share: failing loudly, quiet standard streams,
// and the plain recursive wildcard rules used as a reference.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

inline unsigned char Fold(unsigned char c, bool fold) {
  return fold && c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// The matching rules at their plainest: '*' any run, '?' one character,
// anything else itself (letters folded when asked). Exponential; keep the
// inputs short.
inline bool ReferenceMatch(const char* pattern, const char* text, bool fold) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') {
    for (const char* t = text;; ++t) {
      if (ReferenceMatch(pattern + 1, t, fold)) return true;
      if (*t == '\0') return false;
    }
  }
  if (*text == '\0') return false;
  if (*pattern != '?' && Fold(static_cast<unsigned char>(*pattern), fold) !=
                             Fold(static_cast<unsigned char>(*text), fold)) {
    return false;
  }
  return ReferenceMatch(pattern + 1, text + 1, fold);
}

// The same rules by dynamic programming over (pattern, text) positions, for
// inputs too long for the recursive form.
inline bool TableMatch(const std::string& pattern, const std::string& text, bool fold) {
  const std::size_t n = text.size();
  // row[j]: pattern prefix so far matches text prefix of length j.
  std::vector<char> row(n + 1, 0);
  row[0] = 1;
  for (char pc : pattern) {
    std::vector<char> next(n + 1, 0);
    if (pc == '*') {
      char any = 0;
      for (std::size_t j = 0; j <= n; ++j) {
        any = static_cast<char>(any | row[j]);
        next[j] = any;
      }
    } else {
      for (std::size_t j = 1; j <= n; ++j) {
        const bool same = pc == '?' || Fold(static_cast<unsigned char>(pc), fold) ==
                                           Fold(static_cast<unsigned char>(text[j - 1]), fold);
        next[j] = static_cast<char>(row[j - 1] != 0 && same);
      }
    }
    row.swap(next);
  }
  return row[n] != 0;
}

}  // namespace fuzz

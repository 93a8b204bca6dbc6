// Wildcard matching without backtracking: the part before the first '*' and
// the part after the last '*' are fixed in place, and every run between two
// '*'s is taken at its leftmost place in what is left of the text. Taking
// the leftmost place never loses a match, so the cost is at most pattern
// length times text length, and a pattern without '*' costs one pass.
#include "match/wildcard.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace {

using Byte = unsigned char;

// Folding is fixed: a to z onto A to Z, no other byte, whatever the locale.
constexpr std::array<Byte, 256> MakeTable(bool fold) {
  std::array<Byte, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = static_cast<Byte>(fold && c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return table;
}
constexpr std::array<Byte, 256> kFolded = MakeTable(true);
constexpr std::array<Byte, 256> kExact = MakeTable(false);

// Whether `n` pattern characters (no '*' among them) match `n` text bytes.
bool RunMatches(const Byte* pattern, const Byte* text, std::size_t n, const Byte* map) {
  for (std::size_t i = 0; i < n; ++i) {
    if (pattern[i] != '?' && map[pattern[i]] != map[text[i]]) return false;
  }
  return true;
}

}  // namespace

int32_t WildcardMatch(const char* pattern, const char* text, int32_t caseSensitive) {
  const Byte* map = caseSensitive == 0 ? kFolded.data() : kExact.data();
  const Byte* p = reinterpret_cast<const Byte*>(pattern);
  const Byte* t = reinterpret_cast<const Byte*>(text);

  // Up to the first '*' (the whole match for a pattern without one).
  while (*p != '*') {
    if (*p == '\0') return *t == '\0' ? 1 : 0;
    if (*t == '\0') return 0;
    if (*p != '?' && map[*p] != map[*t]) return 0;
    ++p;
    ++t;
  }

  // After the last '*': must match the end of the text exactly.
  const Byte* patternEnd = p + std::strlen(reinterpret_cast<const char*>(p));
  const Byte* lastStar = patternEnd - 1;
  while (*lastStar != '*') --lastStar;
  const std::size_t tailLength = static_cast<std::size_t>(patternEnd - (lastStar + 1));
  const std::size_t textLength = std::strlen(reinterpret_cast<const char*>(t));
  if (tailLength > textLength) return 0;
  const Byte* textEnd = t + (textLength - tailLength);
  if (!RunMatches(lastStar + 1, textEnd, tailLength, map)) return 0;

  // Each run between two '*'s at its leftmost place in [t, textEnd).
  while (p < lastStar) {
    while (*p == '*' && p < lastStar) ++p;
    if (p >= lastStar) break;
    const Byte* runEnd = p;
    while (*runEnd != '*') ++runEnd;
    const std::size_t runLength = static_cast<std::size_t>(runEnd - p);
    for (;;) {
      if (static_cast<std::size_t>(textEnd - t) < runLength) return 0;
      if (RunMatches(p, t, runLength, map)) break;
      ++t;
    }
    t += runLength;
    p = runEnd;
  }
  return 1;
}

// The wildcard rules written plainly, to check the real matcher against:
// '*' any run, '?' one character, anything else itself (a to z folded onto
// A to Z when asked). Shared by the unit tests and the fuzz targets.
#pragma once

#include <string>
#include <vector>

namespace wildcard_reference {

inline unsigned char Fold(char c, bool fold) {
  const auto u = static_cast<unsigned char>(c);
  return fold && u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// By recursion: exponential in the number of '*'s; keep the inputs short.
inline bool RecursiveMatch(const char* pattern, const char* text, bool fold) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') {
    return RecursiveMatch(pattern + 1, text, fold) ||
           (*text != '\0' && RecursiveMatch(pattern, text + 1, fold));
  }
  if (*text == '\0') return false;
  if (*pattern != '?' && Fold(*pattern, fold) != Fold(*text, fold)) return false;
  return RecursiveMatch(pattern + 1, text + 1, fold);
}

// By a table of (pattern, text) positions: slow but exact for any length.
inline bool TableMatch(const std::string& pattern, const std::string& text, bool fold) {
  // row[j]: the pattern so far matches the first j characters of the text.
  std::vector<char> row(text.size() + 1, 0);
  row[0] = 1;
  for (char pc : pattern) {
    std::vector<char> next(text.size() + 1, 0);
    for (std::size_t j = 0; j <= text.size(); ++j) {
      if (pc == '*') {
        next[j] = static_cast<char>(row[j] || (j > 0 && next[j - 1]));
      } else if (j > 0) {
        next[j] = static_cast<char>(row[j - 1] &&
                                    (pc == '?' || Fold(pc, fold) == Fold(text[j - 1], fold)));
      }
    }
    row.swap(next);
  }
  return row[text.size()] != 0;
}

}  // namespace wildcard_reference

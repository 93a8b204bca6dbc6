// The wildcard rules written plainly, to check the real matcher against:
// '*' any run of characters, '?' one character, anything else itself (a to z
// folded onto A to Z when asked, and only where a letter is a character of
// its own). Characters are those of the runtime's text. Shared by the unit
// tests and the fuzz targets.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/text_characters.h"

namespace wildcard_reference {

inline unsigned char Fold(char c, bool fold) {
  const auto u = static_cast<unsigned char>(c);
  return fold && u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// The text cut into its characters (views into it).
inline std::vector<std::string_view> Characters(std::string_view text) {
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = CharacterLength(text.data() + i, text.size() - i);
    out.emplace_back(text.substr(i, n));
    i += n;
  }
  return out;
}

// Whether one pattern character other than '*' matches one text character.
inline bool Matches(std::string_view p, std::string_view t, bool fold) {
  if (p == "?") return true;
  if (p.size() == 1 && t.size() == 1) return Fold(p[0], fold) == Fold(t[0], fold);
  return p == t;
}

inline bool RecursiveMatch(const std::vector<std::string_view>& p, std::size_t i,
                           const std::vector<std::string_view>& t, std::size_t j, bool fold) {
  if (i == p.size()) return j == t.size();
  if (p[i] == "*") {
    return RecursiveMatch(p, i + 1, t, j, fold) ||
           (j < t.size() && RecursiveMatch(p, i, t, j + 1, fold));
  }
  if (j == t.size() || !Matches(p[i], t[j], fold)) return false;
  return RecursiveMatch(p, i + 1, t, j + 1, fold);
}

// By recursion: exponential in the number of '*'s; keep the inputs short.
inline bool RecursiveMatch(const char* pattern, const char* text, bool fold) {
  return RecursiveMatch(Characters(pattern), 0, Characters(text), 0, fold);
}

// By a table of (pattern, text) positions: slow but exact for any length.
inline bool TableMatch(const std::string& pattern, const std::string& text, bool fold) {
  const std::vector<std::string_view> t = Characters(text);
  // row[j]: the pattern so far matches the first j characters of the text.
  std::vector<char> row(t.size() + 1, 0);
  std::vector<char> next(t.size() + 1, 0);
  row[0] = 1;
  for (std::string_view pc : Characters(pattern)) {
    if (pc == "*") {
      next[0] = row[0];
      for (std::size_t j = 1; j <= t.size(); ++j)
        next[j] = static_cast<char>(row[j] || next[j - 1]);
    } else {
      next[0] = 0;
      for (std::size_t j = 1; j <= t.size(); ++j) {
        next[j] = static_cast<char>(row[j - 1] && Matches(pc, t[j - 1], fold));
      }
    }
    row.swap(next);
  }
  return row[t.size()] != 0;
}

}  // namespace wildcard_reference

// Fuzzes WildcardMatch against the plain recursive rules on short inputs and
// bounds the time of one call on long ones.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "match/wildcard.h"

namespace {

constexpr std::size_t kShort = 12;
constexpr std::size_t kLong = 255;
// The program's patterns and texts are at most 255 characters; far above
// what a single match of that size may take without backtracking blow-up.
constexpr auto kCallBudget = std::chrono::milliseconds(5);

// Input layout: one control byte, then pattern and text separated by the
// first NUL (NULs cannot occur inside either).
void Split(const uint8_t* data, std::size_t size, std::string* pattern, std::string* text) {
  std::size_t i = 0;
  for (; i < size && data[i] != 0; ++i) pattern->push_back(static_cast<char>(data[i]));
  for (++i; i < size; ++i) {
    if (data[i] != 0) text->push_back(static_cast<char>(data[i]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool longMode = (data[0] & 1) != 0;
  std::string pattern;
  std::string text;
  Split(data + 1, size - 1, &pattern, &text);

  if (!longMode) {
    if (pattern.size() > kShort || text.size() > kShort) return 0;
    for (int32_t caseSensitive : {0, 1, -7}) {
      const bool fold = caseSensitive == 0;
      const int32_t got = WildcardMatch(pattern.c_str(), text.c_str(), caseSensitive);
      fuzz::Require(got == 0 || got == 1, "WildcardMatch returns 0 or 1");
      fuzz::Require((got == 1) == fuzz::RecursiveMatch(pattern.c_str(), text.c_str(), fold),
                    "WildcardMatch agrees with the recursive rules");
    }
    return 0;
  }

  if (pattern.size() > kLong) pattern.resize(kLong);
  if (text.size() > kLong) text.resize(kLong);
  for (int32_t caseSensitive : {0, 1}) {
    const bool fold = caseSensitive == 0;
    const int32_t got = WildcardMatch(pattern.c_str(), text.c_str(), caseSensitive);
    fuzz::Require(got == 0 || got == 1, "WildcardMatch returns 0 or 1");
    fuzz::Require((got == 1) == fuzz::TableMatch(pattern, text, fold),
                  "WildcardMatch agrees with the table of positions");
    // Over budget only when every one of a few timings is: another process
    // may take the core away for one of them.
    bool withinBudget = false;
    for (int attempt = 0; attempt < 3 && !withinBudget; ++attempt) {
      const auto start = std::chrono::steady_clock::now();
      WildcardMatch(pattern.c_str(), text.c_str(), caseSensitive);
      withinBudget = std::chrono::steady_clock::now() - start < kCallBudget;
    }
    fuzz::Require(withinBudget, "one match of at most 255 characters within 5 ms");
  }
  return 0;
}

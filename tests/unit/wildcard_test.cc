// Wildcard matching: the table of rules, and agreement with a plain
// recursive matcher on many random patterns and texts.
#include "match/wildcard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "common/text_characters.h"
#include "wildcard_reference.h"

namespace {

struct Row {
  const char* pattern;
  const char* text;
  int folded;
  int exact;
};

constexpr Row kRules[] = {
    {"*", "", 1, 1},
    {"", "", 1, 1},
    {"", "abc", 0, 0},
    {"?", "", 0, 0},
    {"?", "a", 1, 1},
    {"a*", "ABC", 1, 0},
    {"*.LOG", "audit.log", 1, 0},
    {"audit.log", "AUDIT.LOG", 1, 0},
    {"sales*", "sales2.db", 1, 1},
    {"*a*b", "xaxb", 1, 1},
    {"*a*b", "xaxbx", 0, 0},
    {"a?c", "abc", 1, 1},
    {"a?c", "ac", 0, 0},
    {"a**", "a", 1, 1},
    {"**", "", 1, 1},
    {"*?", "", 0, 0},
    {"abc", "ab", 0, 0},
    {"ab", "abc", 0, 0},
    {"*John*", "Jane Johnson", 1, 1},
    {"*SRV*", "backup-srv-2", 1, 0},
    // '*' and '?' in the text are ordinary characters.
    {"a?c", "a*c", 1, 1},
    {"a*c", "a*c", 1, 1},
    {"abc", "a*c", 0, 0},
    // Bytes of 128 and above match only themselves; folding is a to z only.
    {"\xe9", "\xc9", 0, 0},
    {"\xa9*", "\xa9t\xa9", 1, 1},  // a9: one character in UTF-8 and in code page 932 too
    {"[", "{", 0, 0},
    {"@", "`", 0, 0},
    // Runs between stars must be found at their leftmost place, not the first seen.
    {"*ab*ab", "aabab", 1, 1},
    {"*a?b*", "xaxxaxb", 1, 1},
    {"a*b*c", "abbbbc", 1, 1},
    {"a*b*c", "acb", 0, 0},
    {"*aa", "a", 0, 0},
};

// Texts of characters longer than a byte: '?' is one character, '*' a run
// of whole characters, and no byte of such a character folds. Rows for the
// characters the system has (UTF-8, or code page 932 under a Japanese
// system), each with what a byte-wise match would have said beside it.
enum class System { kUtf8, kShiftJis };
struct CharacterRow {
  System system;
  Row row;
};

constexpr CharacterRow kCharacterRules[] = {
    {System::kUtf8, {"CN=J?rgen*", "CN=J\xc3\xbcrgen/O=Acme", 1, 1}},   // bytes: 0
    {System::kUtf8, {"CN=J??rgen*", "CN=J\xc3\xbcrgen/O=Acme", 0, 0}},  // bytes: 1
    {System::kUtf8, {"j\xc3\xbc*", "J\xc3\xbcRGEN", 1, 0}},
    {System::kUtf8, {"?", "\xe2\x82\xac", 1, 1}},
    {System::kUtf8, {"x?y", "x\xf0\x9f\x98\x80y", 1, 1}},
    {System::kUtf8, {"*\xbc*", "J\xc3\xbcrgen", 0, 0}},  // a byte inside a character
    {System::kUtf8, {"*\xa9", "caf\xc3\xa9", 0, 0}},
    {System::kUtf8, {"*\xc3\xa9", "caf\xc3\xa9", 1, 1}},
    {System::kUtf8,
     {"a?b",
      "a\xbc"
      "b",
      1, 1}},  // a lone continuation byte is one
    {System::kUtf8,
     {"a??",
      "a\xc3"
      "b",
      1, 1}},                                   // so is a sequence broken off
    {System::kUtf8, {"??", "\xc0\xaf", 1, 1}},  // and each byte of an overlong form
    {System::kUtf8, {"*\xc3\xbc?*x", "\xc3\xbc\xc3\xbcx", 1, 1}},
    {System::kUtf8, {"*\xc3\xbc?*x", "\xc3\xbcx", 0, 0}},
    {System::kUtf8, {"*?\xc3\xbc*?\xc3\xbc", "a\xc3\xbc\xc3\xbc", 0, 0}},
    // Plain runs first, then one that needs characters: the match starts
    // over by characters, the plain runs found where they were.
    {System::kUtf8, {"*a*b*J?rgen*", "ab J\xc3\xbcrgen", 1, 1}},  // bytes: 0
    {System::kUtf8, {"*a*b*?x", "ab\xc3\xbcx", 1, 1}},            // bytes: 0
    {System::kUtf8, {"*b*a?", "ba\xc3\xbc", 1, 1}},               // bytes: 0
    {System::kUtf8, {"*a?c*", "ab\xc3\xbc", 0, 0}},
    // A tail that misses at its plain end misses whatever comes before.
    {System::kUtf8, {"*?\xc3\xbcx", "a\xc3\xbcy", 0, 0}},
    {System::kUtf8, {"*?ab", "ab", 0, 0}},
    {System::kUtf8,
     {"*?ab",
      "\xc3\xbc"
      "ab",
      1, 1}},
    // Plain parts over a text of longer characters stay byte-wise.
    {System::kUtf8, {"*rgen*", "J\xc3\xbcrgen", 1, 1}},
    {System::kUtf8, {"J*n", "J\xc3\xbcrgen", 1, 1}},
    {System::kUtf8, {"j*N", "J\xc3\xbcrgen", 1, 0}},
    // サトウ (83 54 ...) is not フトウ (83 74 ...), although 54 is 'T' and 74 't'.
    {System::kShiftJis, {"CN=\x83\x54\x83\x67\x83\x45*", "CN=\x83\x74\x83\x67\x83\x45 x", 0, 0}},
    {System::kShiftJis, {"CN=\x83\x54\x83\x67\x83\x45*", "CN=\x83\x54\x83\x67\x83\x45 x", 1, 1}},
    {System::kShiftJis, {"*t*", "\x83\x74", 0, 0}},
    {System::kShiftJis, {"*\\*", "\x83\x5c", 0, 0}},  // ソ ends in the byte of '\\'
    // ソ?ト表示 and ソフト表示.
    {System::kShiftJis,
     {"\x83\x5c?\x83\x67\x95\x5c\x8e\xa6", "\x83\x5c\x83\x74\x83\x67\x95\x5c\x8e\xa6", 1, 1}},
    {System::kShiftJis, {"??", "\x95\x5c\x8e\xa6", 1, 1}},
    {System::kShiftJis, {"???", "\x95\x5c\x8e\xa6", 0, 0}},
    {System::kShiftJis, {"a?", "a\x83", 1, 1}},  // a lead byte at the end is one
    {System::kShiftJis, {"\x83*", "\x83", 1, 1}},
    {System::kShiftJis, {"*?\x83\x54", "\x83\x54\x83\x54", 1, 1}},
    {System::kShiftJis, {"*?\x83\x54", "\x54\x83\x54", 1, 1}},
    {System::kShiftJis, {"?\x54*", "\x83\x54", 0, 0}},
};

TEST(WildcardMatch, ComparesCharactersOfTheSystem) {
  System system;
  if (CharacterLength("\xc3\xbc", 2) == 2) {
    system = System::kUtf8;
  } else if (CharacterLength("\x83\x54", 2) == 2) {
    system = System::kShiftJis;
  } else {
    GTEST_SKIP() << "the system's code page has single-byte characters only";
  }
  int rows = 0;
  for (const CharacterRow& c : kCharacterRules) {
    if (c.system != system) continue;
    ++rows;
    const Row& row = c.row;
    EXPECT_EQ(WildcardMatch(row.pattern, row.text, 0), row.folded)
        << '"' << row.pattern << "\" vs \"" << row.text << "\" folded";
    EXPECT_EQ(WildcardMatch(row.pattern, row.text, 1), row.exact)
        << '"' << row.pattern << "\" vs \"" << row.text << "\" exact";
    EXPECT_EQ(wildcard_reference::TableMatch(row.pattern, row.text, true), row.folded == 1)
        << row.pattern;
  }
  EXPECT_GT(rows, 10);
}

TEST(WildcardMatch, FollowsTheRuleTable) {
  for (const Row& row : kRules) {
    EXPECT_EQ(WildcardMatch(row.pattern, row.text, 0), row.folded)
        << '"' << row.pattern << "\" vs \"" << row.text << "\" folded";
    EXPECT_EQ(WildcardMatch(row.pattern, row.text, 1), row.exact)
        << '"' << row.pattern << "\" vs \"" << row.text << "\" exact";
  }
}

TEST(WildcardMatch, AnyNonZeroFlagComparesExactly) {
  EXPECT_EQ(WildcardMatch("abc", "ABC", -7), 0);
  EXPECT_EQ(WildcardMatch("abc", "abc", 42), 1);
}

TEST(WildcardMatch, AgreesWithRecursiveReference) {
  std::mt19937 rng(20261207);
  // A small alphabet makes matches common; '*', '?' and high bytes appear in
  // both, and make characters of two bytes in UTF-8 (c3 bc) and in code page
  // 932 (83 and a letter).
  const std::string alphabet = "aAbB*?\xe9\xc9z\xc3\xbc\x83tT";
  auto randomText = [&](int maxLength) {
    std::string s(rng() % (maxLength + 1), ' ');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    return s;
  };
  int matches = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string pattern = randomText(8);
    std::string text = randomText(10);
    // Texts drawn from the pattern itself make long matches likely.
    if (i % 3 == 0) {
      text.clear();
      for (char c : pattern) text += c == '*' ? randomText(3) : c == '?' ? "x" : std::string(1, c);
    }
    for (int caseSensitive : {0, 1}) {
      const int want =
          wildcard_reference::RecursiveMatch(pattern.c_str(), text.c_str(), caseSensitive == 0);
      int got = WildcardMatch(pattern.c_str(), text.c_str(), caseSensitive);
      ASSERT_EQ(got, want) << '"' << pattern << "\" vs \"" << text << "\" caseSensitive "
                           << caseSensitive;
      matches += got;
    }
  }
  EXPECT_GT(matches, 50000);  // the draw really exercises matches, not only misses
}

TEST(WildcardMatch, LongRunsBetweenStarsAgreeWithTheTable) {
  std::mt19937 rng(7);
  const std::string alphabet = "aAbB\xe9\xc3\xbc";
  // Run lengths around the 64-bit words that long runs are tracked in.
  const std::size_t lengths[] = {7, 8, 9, 15, 16, 63, 64, 65, 127, 128, 129, 191, 192, 250, 253};
  int matches = 0;
  for (std::size_t length : lengths) {
    for (int trial = 0; trial < 60; ++trial) {
      std::string text(255, ' ');
      for (char& c : text) c = alphabet[rng() % 2 == 0 ? 0 : rng() % alphabet.size()];
      // A run copied from somewhere in the text, then blurred: some places
      // become '?', some change case, and now and then one stops fitting.
      std::string run = text.substr(rng() % (text.size() - length + 1), length);
      for (char& c : run) {
        if (rng() % 8 == 0) c = '?';
        if (c == 'a' && rng() % 4 == 0) c = 'A';
      }
      if (trial % 3 == 0) run[rng() % run.size()] = 'z';
      std::string pattern = "*" + run + "*";
      if (trial % 4 == 1) pattern = text.substr(0, 2) + pattern;
      if (trial % 4 == 2) pattern += text.substr(text.size() - 3);
      if (trial % 5 == 3 && length <= 120) pattern += run + "*";  // the same run twice
      for (int caseSensitive : {0, 1}) {
        const bool want = wildcard_reference::TableMatch(pattern, text, caseSensitive == 0);
        ASSERT_EQ(WildcardMatch(pattern.c_str(), text.c_str(), caseSensitive), want ? 1 : 0)
            << "run of " << length << ", trial " << trial << ", caseSensitive " << caseSensitive
            << "\npattern " << pattern << "\ntext    " << text;
        matches += want;
      }
    }
  }
  // Both outcomes are really exercised (fewer matches where a double-byte
  // code page joins e9 and the letter after it into one character).
  EXPECT_GT(matches, 100) << matches;
  EXPECT_LT(matches, 1500);

  // The next run starts right after the place found, never inside it.
  const std::string a(70, 'a'), c(70, 'c');
  EXPECT_EQ(WildcardMatch(("*" + a + "b*b" + c + "*").c_str(), (a + "b" + c).c_str(), 1), 0);
  EXPECT_EQ(WildcardMatch(("*" + a + "b*b" + c + "*").c_str(), (a + "bb" + c).c_str(), 1), 1);
  EXPECT_EQ(WildcardMatch(("*" + a + "*" + a + "*").c_str(), (a + a).c_str(), 1), 1);
  EXPECT_EQ(WildcardMatch(("*" + a + "*" + a + "*").c_str(), (a + a).substr(1).c_str(), 1), 0);
}

TEST(WildcardMatch, ManyStarsAgainstLongTextStayFast) {
  const std::string text(255, 'a');
  const auto start = std::chrono::steady_clock::now();
  int result = 0;
  for (int i = 0; i < 100; ++i) {
    result += WildcardMatch("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", text.c_str(), 0);
    result += WildcardMatch("*aaaaaaaaaaaaaaab", text.c_str(), 0);
    result += WildcardMatch(("*" + std::string(127, 'a') + "b*").c_str(), text.c_str(), 0);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result, 0);
  // 300 calls; a backtracking matcher would take years on the first pattern.
  EXPECT_LT(elapsed, std::chrono::milliseconds(100));
}

}  // namespace

// Where characters of the runtime's text begin and end, and cuts that keep
// them whole: UTF-8 where the text is UTF-8 (POSIX, or a Windows system
// whose code page is UTF-8), the lead and trail bytes of code page 932
// where that is the system's, and bytes in a single-byte code page.
#include "common/text_characters.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/fixed_text.h"

namespace {

enum class Characters { kUtf8, kShiftJis, kBytes };

// Told by the characters the system takes a few texts for.
Characters SystemCharacters() {
  if (CharacterLength("\xc3\xbc", 2) == 2) return Characters::kUtf8;
  if (CharacterLength("\x83\x54", 2) == 2) return Characters::kShiftJis;
  return Characters::kBytes;
}

struct TextCharactersRow {
  Characters system;
  std::string_view text;
  std::size_t first;  // bytes of the first character
  std::size_t room;
  std::size_t kept;  // bytes kept in that room
};

constexpr TextCharactersRow kRows[] = {
    // UTF-8: a valid sequence is one character, a byte that starts none is one.
    {Characters::kUtf8, "a", 1, 0, 0},
    {Characters::kUtf8, "\xc3\xbc", 2, 1, 0},
    {Characters::kUtf8, "\xc3\xbcx", 2, 2, 2},
    {Characters::kUtf8, "\xe2\x82\xac", 3, 2, 0},
    {Characters::kUtf8, "\xf0\x9f\x98\x80!", 4, 4, 4},
    {Characters::kUtf8, "\xf0\x9f\x98\x80!", 4, 3, 0},
    {Characters::kUtf8, "\xbc\xbc", 1, 1, 1},          // continuation bytes alone
    {Characters::kUtf8, "\xc3", 1, 0, 0},              // a sequence cut short
    {Characters::kUtf8, "\xc3x", 1, 1, 1},             // ... or broken
    {Characters::kUtf8, "\xe2\x82x", 1, 2, 2},         // two characters of one byte
    {Characters::kUtf8, "\xc0\xaf", 1, 1, 1},          // overlong
    {Characters::kUtf8, "\xe0\x80\xaf", 1, 2, 2},      // overlong
    {Characters::kUtf8, "\xed\xa0\x80", 1, 1, 1},      // surrogate
    {Characters::kUtf8, "\xf4\x90\x80\x80", 1, 3, 3},  // past U+10FFFF
    {Characters::kUtf8, "\xf5\x80", 1, 1, 1},
    {Characters::kUtf8, "ab\xc3\xbc", 1, 3, 2},
    {Characters::kUtf8, "ab\xc3\xbc", 1, 4, 4},
    // Code page 932: a lead byte and a trail byte, which may look like a letter.
    {Characters::kShiftJis, "\x83\x54", 2, 1, 0},           // サ
    {Characters::kShiftJis, "\x83\x74x", 2, 2, 2},          // フ
    {Characters::kShiftJis, "a\x95\x5c\x8e\xa6", 1, 4, 3},  // a表示
    {Characters::kShiftJis, "\x83", 1, 1, 1},               // a lead byte at the end
    {Characters::kShiftJis, "\x83*", 1, 1, 1},              // never takes a '*' ...
    {Characters::kShiftJis, "\x83?", 1, 1, 1},              // ... nor a '?'
    {Characters::kShiftJis, "\xb1\x83", 1, 1, 1},           // half-width katakana: one byte
    {Characters::kShiftJis, "\x83\x54\x83\x54", 2, 3, 2},
    // A single-byte code page: every byte is a character.
    {Characters::kBytes, "\xc3\xbc", 1, 1, 1},
    {Characters::kBytes, "\x83\x54", 1, 1, 1},
};

TEST(TextCharacters, FirstCharacterAndWholeCuts) {
  const Characters system = SystemCharacters();
  int rows = 0;
  for (const TextCharactersRow& row : kRows) {
    if (row.system != system) continue;
    ++rows;
    SCOPED_TRACE(testing::PrintToString(std::string(row.text)));
    EXPECT_EQ(CharacterLength(row.text.data(), row.text.size()), row.first);
    EXPECT_EQ(WholeCharactersIn(row.text, row.room), row.kept);
    EXPECT_EQ(WholeCharactersIn(row.text, row.text.size()), row.text.size());
    // A character is never read past the text's end.
    EXPECT_EQ(CharacterLength(row.text.data(), 1), 1u);
    EXPECT_EQ(CharacterLength(row.text.data(), 0), 0u);
  }
  EXPECT_GT(rows, 0);
  const TextEncoding encodings[] = {TextEncoding::kUtf8, TextEncoding::kDoubleByte,
                                    TextEncoding::kSingleByte};
  EXPECT_EQ(SystemTextEncoding(), encodings[static_cast<int>(system)]);
}

// Texts that another cut to its room keep their whole characters only.
struct FinishedRow {
  Characters system;
  std::string_view text;
  std::size_t finished;
};
constexpr FinishedRow kFinishedRows[] = {
    {Characters::kUtf8, "ab\xc3\xbc", 4},       {Characters::kUtf8, "ab\xc3", 2},
    {Characters::kUtf8, "ab\xe2\x82", 2},       {Characters::kUtf8, "ab\xf0\x9f\x98", 2},
    {Characters::kUtf8, "ab\xe0\x80", 4},  // no sequence starts so: two bytes alone
    {Characters::kUtf8, "ab\xbc", 3},      // a continuation byte alone is one
    {Characters::kUtf8, "\xc3x\xc3", 2},   // only the last character is looked at
    {Characters::kUtf8, "\xf0\x9f\x98\x80", 4}, {Characters::kUtf8, "", 0},
    {Characters::kShiftJis, "a\x83\x54", 3},    {Characters::kShiftJis, "a\x83", 1},
    {Characters::kShiftJis, "\x83\x83", 2},  // a lead byte takes the next as its trail
    {Characters::kBytes, "ab\xc3", 3},          {Characters::kBytes, "a\x83", 2},
};

TEST(TextCharacters, FinishedCharactersLeaveOutOneCutShort) {
  for (const FinishedRow& c : kFinishedRows) {
    if (c.system != SystemCharacters()) continue;
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(FinishedCharactersIn(c.text), c.finished);
  }
}

// Text known to be UTF-8 (a console's reports in JSON Lines) is cut as on a
// UTF-8 system, whatever the system's code page.
TEST(TextCharacters, Utf8IsCutAsUtf8OnEverySystem) {
  for (const TextCharactersRow& row : kRows) {
    if (row.system != Characters::kUtf8) continue;
    SCOPED_TRACE(testing::PrintToString(std::string(row.text)));
    EXPECT_EQ(WholeUtf8In(row.text, row.room), row.kept);
    EXPECT_EQ(WholeUtf8In(row.text, row.text.size()), row.text.size());
  }
  for (const FinishedRow& c : kFinishedRows) {
    if (c.system != Characters::kUtf8) continue;
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(FinishedUtf8In(c.text), c.finished);
  }
}

// A title of 254 T's and one more character of two bytes: the buffer of 255
// keeps the T's alone, unless the system takes bytes for characters.
TEST(TextCharacters, CopyTextCutsBeforeACharacterThatDoesNotFit) {
  const std::string ts(254, 'T');
  const std::string second = SystemCharacters() == Characters::kShiftJis ? "\x83\x54" : "\xc3\xbc";
  Text text{};
  const std::size_t copied = CopyText(text, ts + second + "and more");
  if (SystemCharacters() == Characters::kBytes) {
    EXPECT_EQ(copied, 255u);
    EXPECT_EQ(TextOf(text), ts + second.substr(0, 1));
  } else {
    EXPECT_EQ(copied, 254u);
    EXPECT_EQ(TextOf(text), ts);
  }
  EXPECT_EQ(CopyText(text, ts + second), copied);
  // One T less, and the character fits whole.
  EXPECT_EQ(CopyText(text, ts.substr(1) + second), 255u);
}

}  // namespace

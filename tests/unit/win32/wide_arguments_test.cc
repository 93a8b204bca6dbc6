// The wide command line into the runtime's code page: characters the code
// page holds are kept, every other becomes the default character and marks
// the argument as lost, never a look-alike that would match something else.
#include "startup/wide_arguments.h"

#include <windows.h>

#include <string>

#include "test_support.h"

namespace {

TEST(ToSystemCodePage, KeepsWhatTheCodePageHoldsAndNeverFitsALookAlike) {
  if (GetACP() != 1252) GTEST_SKIP() << "the rows are written for code page 1252";
  struct Case {
    const wchar_t* wide;
    std::size_t room;
    const char* text;  // null: default characters only (one or two, by system)
    bool whole;
  };
  const Case cases[] = {
      {L"CN=J\u00fcrgen M\u00fcller/O=Acme", 256, "CN=J\xfcrgen M\xfcller/O=Acme", true},
      {L"*\u0141ukasz*", 256, "*?ukasz*", false},  // no Ł in 1252
      {L"\u0100da", 256, "?da", false},            // best fit would make it "Ada"
      {L"\u221e", 256, "?", false},                // best fit would make it "8"
      {L"it\u2019s \u20ac5", 256,
       "it\x92s \x80"
       "5",
       true},                                // 1252's own upper half
      {L"\U0001F600", 256, nullptr, false},  // beyond the basic plane
      {L"?", 256, "?", true},                // a question mark typed as such
      {L"", 256, "", true},
      {L"abc", 4, "abc", true},
      {L"abcd", 4, "", false},  // does not fit: nothing, and lost
  };
  for (const Case& c : cases) {
    std::string out(c.room, 'x');
    EXPECT_EQ(ToSystemCodePage(c.wide, out), c.whole);
    const std::string text(out.c_str());
    if (c.text != nullptr) {
      EXPECT_EQ(text, c.text);
    } else {
      EXPECT_EQ(text.find_first_not_of('?'), std::string::npos);
      EXPECT_FALSE(text.empty());
    }
  }
}

}  // namespace

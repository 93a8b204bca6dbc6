// The runtime's text in JSON on Windows: converted from the system's ANSI
// code page (1252 under the test's Wine), in pieces that never cut a
// character.
#include <windows.h>

#include <string>

#include "report/json_writer.h"
#include "test_support.h"

namespace {

std::string Line(std::string_view text) {
  return Capture([&] {
           static JsonLine line;
           JsonBegin(line);
           JsonText(line, "user", text);
           JsonEnd(line);
         })
      .err;
}

TEST(RuntimeTextJson, ConvertedFromTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
  EXPECT_EQ(Line("J\xFCrgen \x80 \"x\""), "{\"user\":\"J\xC3\xBCrgen \xE2\x82\xAC \\\"x\\\"\"}\n");
  std::string longText;
  std::string expected;
  for (int i = 0; i < 700; ++i) {
    longText += "\x80\xE9";
    expected += "\xE2\x82\xAC\xC3\xA9";
  }
  EXPECT_EQ(Line(longText), "{\"user\":\"" + expected + "\"}\n");
}

}  // namespace
